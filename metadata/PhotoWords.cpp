// The words of a photo (title, creator, place, keywords...) from the first
// of XMP, IPTC and EXIF that holds them.
#include "metadata/MetadataLibrary.h"
#include "metadata/PhotoFacts.h"
#include "metadata/TextEncoding.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <string_view>

namespace {

// Where one word is kept, in the order it is looked for; null where a
// standard has no such field.
struct WordSource {
    std::string PhotoFacts::*field;
    const char* xmp;
    const char* iptc;
    const char* exif;
};
constexpr std::array<WordSource, 9> kWords{{
    {&PhotoFacts::title, "Xmp.dc.title", "Iptc.Application2.ObjectName", nullptr},
    {&PhotoFacts::headline, "Xmp.photoshop.Headline", "Iptc.Application2.Headline", nullptr},
    {&PhotoFacts::creator, "Xmp.dc.creator", "Iptc.Application2.Byline", "Exif.Image.Artist"},
    {&PhotoFacts::copyright, "Xmp.dc.rights", "Iptc.Application2.Copyright",
     "Exif.Image.Copyright"},
    {&PhotoFacts::city, "Xmp.photoshop.City", "Iptc.Application2.City", nullptr},
    {&PhotoFacts::state, "Xmp.photoshop.State", "Iptc.Application2.ProvinceState", nullptr},
    {&PhotoFacts::country, "Xmp.photoshop.Country", "Iptc.Application2.CountryName", nullptr},
    {&PhotoFacts::sublocation, "Xmp.iptc.Location", "Iptc.Application2.SubLocation", nullptr},
    {&PhotoFacts::keywords, "Xmp.dc.subject", "Iptc.Application2.Keywords", nullptr},
}};

constexpr std::string_view kSeparator = ", ";

// Text of older programs: UTF-8 where it is well formed, else Windows-1252.
std::string asUtf8(std::string bytes) {
    const std::size_t nul = bytes.find('\0');
    if (nul != std::string::npos)
        bytes.resize(nul);
    return isUtf8(bytes) ? bytes : windows1252ToUtf8(bytes);
}

void append(std::string& list, const std::string& item) {
    if (item.empty())
        return;
    if (!list.empty())
        list += kSeparator;
    list += item;
}

std::string xmpWord(const Exiv2::XmpData& xmp, const char* key) {
    const auto found = xmp.findKey(Exiv2::XmpKey(key));
    if (found == xmp.end())
        return {};
    const Exiv2::Value& value = found->value();
    if (dynamic_cast<const Exiv2::XmpArrayValue*>(&value) == nullptr)
        return defaultLanguageText(value);
    std::string list;
    for (long i = 0; i < value.count(); ++i)
        append(list, value.toString(i));
    return list;
}

// IPTC datasets may repeat (keywords, several by-lines): all are joined.
std::string iptcWord(const Exiv2::IptcData& iptc, const char* key) {
    const std::string_view wanted(key);
    std::string list;
    for (const Exiv2::Iptcdatum& datum : iptc) {
        if (datum.key() == wanted)
            append(list, asUtf8(datum.toString()));
    }
    return list;
}

std::string exifWord(const Exiv2::ExifData& exif, const char* key) {
    const auto found = exif.findKey(Exiv2::ExifKey(key));
    if (found == exif.end() || found->typeId() != Exiv2::asciiString)
        return {};
    return asUtf8(found->toString());
}

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// xmp:Rating as stars: 1 to 5 (a fraction rounds), none for 0 and for -1,
// which means rejected.
std::string stars(const Exiv2::XmpData& xmp) {
    const auto found = xmp.findKey(Exiv2::XmpKey("Xmp.xmp.Rating"));
    if (found == xmp.end())
        return {};
    const std::string text = trimmed(found->toString());
    char* end = nullptr;
    const double rating = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(rating))
        return {};
    const long count = std::lround(std::min(std::max(rating, 0.0), 5.0));
    std::string out;
    for (long i = 0; i < count; ++i)
        out += "\u2605";
    return out;
}

} // namespace

void readPhotoWords(const Exiv2::XmpData& xmp, const Exiv2::IptcData& iptc,
                    const Exiv2::ExifData& exif, PhotoFacts& facts) {
    for (const WordSource& source : kWords) {
        std::string& field = facts.*source.field;
        try {
            field = trimmed(xmpWord(xmp, source.xmp));
            if (field.empty())
                field = trimmed(iptcWord(iptc, source.iptc));
            if (field.empty() && source.exif != nullptr)
                field = trimmed(exifWord(exif, source.exif));
        } catch (const std::exception&) {
            field.clear();
        }
    }
    try {
        facts.rating = stars(xmp);
    } catch (const std::exception&) {
        facts.rating.clear();
    }
}
