#include "metadata/PhotoMetadata.h"

#include "image/Orientation.h"
#include "metadata/IccSegments.h"
#include "metadata/MetadataLibrary.h"
#include "metadata/PhotoFacts.h"
#include "metadata/TextEncoding.h"

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <array>
#include <iterator>
#include <string_view>

namespace {

constexpr std::uint8_t kApp1 = 0xE1;
constexpr std::uint8_t kApp13 = 0xED;
// ISO 2022 escape for UTF-8, as IPTC's CodedCharacterSet marks it.
constexpr std::string_view kIptcUtf8 = "\x1B%G";

bool startsWith(const std::vector<std::uint8_t>& data, std::string_view prefix) {
    return data.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), data.begin(),
                      [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
}

bool isExifOrXmp(const JpegSegment& s) {
    return s.marker == kApp1 && (startsWith(s.data, std::string_view("Exif\0\0", 6)) ||
                                 startsWith(s.data, "http://ns.adobe.com/xap/1.0/"));
}

bool isIptc(const JpegSegment& s) {
    return s.marker == kApp13 && startsWith(s.data, "Photoshop 3.0");
}

// A JPEG stream of the segments alone, which is all the library needs to
// read them: start of image, the segments, end of image.
std::vector<std::uint8_t> headerOnlyJpeg(const std::vector<JpegSegment>& segments) {
    std::vector<std::uint8_t> out = {0xFF, 0xD8};
    for (const JpegSegment& s : segments) {
        if (isExifOrXmp(s) || isIptc(s))
            AppendJpegSegment(out, s.marker, s.data);
    }
    out.push_back(0xFF);
    out.push_back(0xD9);
    return out;
}

template <typename Data, typename Key> void eraseKey(Data& data, const Key& key) {
    auto found = data.findKey(key);
    while (found != data.end()) {
        data.erase(found);
        found = data.findKey(key);
    }
}

// EXIF fields that say where the photo was taken, besides the GPS directory.
void removeExifLocation(Exiv2::ExifData& exif) {
    for (auto it = exif.begin(); it != exif.end();) {
        if (it->groupName() == "GPSInfo")
            it = exif.erase(it);
        else
            ++it;
    }
    eraseKey(exif, Exiv2::ExifKey("Exif.Image.GPSTag"));
}

// XMP properties that hold a position or a place.
constexpr std::array<std::string_view, 9> kXmpLocationPrefixes = {
    "Xmp.exif.GPS",
    "Xmp.iptc.Location",
    "Xmp.iptc.CountryCode",
    "Xmp.photoshop.City",
    "Xmp.photoshop.State",
    "Xmp.photoshop.Country",
    "Xmp.iptcExt.LocationCreated",
    "Xmp.iptcExt.LocationShown",
    "Xmp.exifEX.GPS",
};

void removeXmpLocation(Exiv2::XmpData& xmp) {
    for (auto it = xmp.begin(); it != xmp.end();) {
        const std::string key = it->key();
        const bool location = std::any_of(kXmpLocationPrefixes.begin(), kXmpLocationPrefixes.end(),
                                          [&](std::string_view p) { return key.rfind(p, 0) == 0; });
        it = location ? xmp.erase(it) : std::next(it);
    }
}

// IPTC datasets that name the place: sub-location, city, province or state,
// country code and country name.
constexpr std::array<std::string_view, 5> kIptcLocationKeys = {
    "Iptc.Application2.SubLocation",   "Iptc.Application2.City",
    "Iptc.Application2.ProvinceState", "Iptc.Application2.CountryCode",
    "Iptc.Application2.CountryName",
};

void updateExif(Exiv2::ExifData& exif, MetadataChoice choice, const std::string& description,
                std::uint32_t width, std::uint32_t height, bool keepOrientation) {
    const bool hadExif = !exif.empty();
    // Entries of a type TIFF does not define (the library keeps them as
    // bytes) would make the written directory unreadable to others.
    for (auto it = exif.begin(); it != exif.end();) {
        const int type = it->typeId();
        it = type >= Exiv2::unsignedByte && type <= Exiv2::tiffIfd ? std::next(it) : exif.erase(it);
    }
    // The old thumbnail shows the photo without its captions.
    Exiv2::ExifThumb(exif).erase();
    if (choice == MetadataChoice::KeepAllButLocation)
        removeExifLocation(exif);
    if (description.empty())
        eraseKey(exif, Exiv2::ExifKey("Exif.Image.ImageDescription"));
    else
        exif["Exif.Image.ImageDescription"] = description;
    if (!hadExif)
        return;
    if (!keepOrientation && exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation")) != exif.end())
        exif["Exif.Image.Orientation"] = static_cast<std::uint16_t>(1);
    exif["Exif.Photo.PixelXDimension"] = width;
    exif["Exif.Photo.PixelYDimension"] = height;
    if (exif.findKey(Exiv2::ExifKey("Exif.Image.ImageWidth")) != exif.end())
        exif["Exif.Image.ImageWidth"] = width;
    if (exif.findKey(Exiv2::ExifKey("Exif.Image.ImageLength")) != exif.end())
        exif["Exif.Image.ImageLength"] = height;
}

void updateXmp(Exiv2::XmpData& xmp, MetadataChoice choice, const std::string& description,
               std::uint32_t width, std::uint32_t height, bool keepOrientation) {
    if (xmp.empty())
        return;
    if (choice == MetadataChoice::KeepAllButLocation)
        removeXmpLocation(xmp);
    const Exiv2::XmpKey descriptionKey("Xmp.dc.description");
    Exiv2::LangAltValue alternatives;
    const auto found = xmp.findKey(descriptionKey);
    if (found != xmp.end()) {
        if (const auto* old = dynamic_cast<const Exiv2::LangAltValue*>(&found->value()))
            alternatives = *old;
        xmp.erase(found);
    }
    if (description.empty())
        alternatives.value_.erase("x-default");
    else
        alternatives.value_["x-default"] = description;
    if (!alternatives.value_.empty())
        xmp.add(descriptionKey, &alternatives);
    if (!keepOrientation && xmp.findKey(Exiv2::XmpKey("Xmp.tiff.Orientation")) != xmp.end())
        xmp["Xmp.tiff.Orientation"] = "1";
    if (xmp.findKey(Exiv2::XmpKey("Xmp.exif.PixelXDimension")) != xmp.end())
        xmp["Xmp.exif.PixelXDimension"] = std::to_string(width);
    if (xmp.findKey(Exiv2::XmpKey("Xmp.exif.PixelYDimension")) != xmp.end())
        xmp["Xmp.exif.PixelYDimension"] = std::to_string(height);
}

void updateIptc(Exiv2::IptcData& iptc, MetadataChoice choice, const std::string& description) {
    if (iptc.empty())
        return;
    if (choice == MetadataChoice::KeepAllButLocation) {
        for (const std::string_view key : kIptcLocationKeys)
            eraseKey(iptc, Exiv2::IptcKey(std::string(key)));
    }
    // The record is marked UTF-8 from now on: text written in another
    // character set (Latin-1 as Windows writes it, in practice) is
    // converted first.
    const auto charset = iptc.findKey(Exiv2::IptcKey("Iptc.Envelope.CharacterSet"));
    const bool wasUtf8 = charset != iptc.end() && charset->toString() == kIptcUtf8;
    if (!wasUtf8) {
        for (Exiv2::Iptcdatum& datum : iptc) {
            if (datum.typeId() != Exiv2::string || datum.record() == Exiv2::IptcDataSets::envelope)
                continue;
            const std::string text = datum.toString();
            if (!isUtf8(text))
                datum.setValue(windows1252ToUtf8(text));
        }
    }
    iptc["Iptc.Envelope.CharacterSet"] = std::string(kIptcUtf8);
    const Exiv2::IptcKey caption("Iptc.Application2.Caption");
    eraseKey(iptc, caption);
    if (!description.empty())
        iptc["Iptc.Application2.Caption"] = description;
}

// The APP1 and APP13 segments of a stream the library wrote.
std::vector<std::uint8_t> writtenSegments(const Exiv2::DataBuf& written) {
    std::vector<std::uint8_t> out;
    const std::uint8_t* p = written.pData_;
    const std::size_t size = static_cast<std::size_t>(written.size_);
    std::size_t at = 2;
    while (at + 4 <= size && p[at] == 0xFF && p[at + 1] != 0xD9) {
        const std::uint8_t marker = p[at + 1];
        const std::size_t length = p[at + 2] * 256u + p[at + 3];
        if (length < 2 || at + 2 + length > size)
            break;
        if (marker == kApp1 || marker == kApp13)
            out.insert(out.end(), p + at, p + at + 2 + length);
        at += 2 + length;
    }
    return out;
}

// The segments of one kind alone, as a header-only stream.
template <typename Kind>
std::vector<std::uint8_t> headerOf(const std::vector<JpegSegment>& segments, Kind kind) {
    std::vector<JpegSegment> some;
    std::copy_if(segments.begin(), segments.end(), std::back_inserter(some), kind);
    return headerOnlyJpeg(some);
}

template <typename Kind> void eraseSegments(std::vector<JpegSegment>& segments, Kind kind) {
    segments.erase(std::remove_if(segments.begin(), segments.end(), kind), segments.end());
}

bool isExif(const JpegSegment& s) {
    return s.marker == kApp1 && startsWith(s.data, std::string_view("Exif\0\0", 6));
}

bool isXmp(const JpegSegment& s) {
    return isExifOrXmp(s) && !isExif(s);
}

// A Photoshop segment with an IPTC resource ("8BIM", id 0x0404) in it.
bool holdsIptcRecord(const JpegSegment& s) {
    static constexpr std::uint8_t kResource[] = {'8', 'B', 'I', 'M', 0x04, 0x04};
    return isIptc(s) && std::search(s.data.begin(), s.data.end(), std::begin(kResource),
                                    std::end(kResource)) != s.data.end();
}

// Whether the library reads these segments without complaint.
bool readsClean(const std::vector<std::uint8_t>& header) {
    return header.size() <= 4 || readWithLibrary(header).problem.empty();
}

bool isMakerNote(const Exiv2::Exifdatum& datum) {
    return datum.key() == "Exif.Photo.MakerNote" || datum.groupName() == "MakerNote" ||
           Exiv2::ExifTags::isMakerGroup(datum.groupName());
}

// The EXIF segment again without its maker note, when the maker note is
// what the library found damaged; empty when EXIF is damaged elsewhere too.
std::vector<std::uint8_t> exifWithoutMakerNote(const std::vector<JpegSegment>& segments) {
    const auto exif = std::find_if(segments.begin(), segments.end(), isExif);
    if (exif == segments.end() || exif->data.size() <= 6)
        return {};
    try {
        Exiv2::ExifData data;
        const Exiv2::ByteOrder order = Exiv2::ExifParser::decode(
            data, exif->data.data() + 6, static_cast<std::uint32_t>(exif->data.size() - 6));
        const long before = data.count();
        for (auto it = data.begin(); it != data.end();)
            it = isMakerNote(*it) ? data.erase(it) : std::next(it);
        if (data.count() == before || data.empty())
            return {};
        Exiv2::Blob blob;
        Exiv2::ExifParser::encode(blob, order, data);
        std::vector<std::uint8_t> segment = {'E', 'x', 'i', 'f', 0, 0};
        segment.insert(segment.end(), blob.begin(), blob.end());
        if (segment.size() > 65533)
            return {};
        JpegSegment rebuilt{kApp1, segment};
        return readsClean(headerOnlyJpeg({rebuilt})) ? segment : std::vector<std::uint8_t>();
    } catch (const std::exception&) {
        return {};
    }
}

// Finds which part the library complained of and leaves that part out:
// the maker note (EXIF rebuilt without it), the XMP packet, the IPTC
// record. EXIF damaged elsewhere is the caller's `problem`.
void leaveOutDamagedParts(PhotoMetadata& metadata) {
    std::vector<JpegSegment>& segments = metadata.segments;
    if (!readsClean(headerOf(segments, isExif))) {
        std::vector<std::uint8_t> rebuilt = exifWithoutMakerNote(segments);
        if (rebuilt.empty()) {
            metadata.problem = "its EXIF data is damaged";
            return;
        }
        std::find_if(segments.begin(), segments.end(), isExif)->data = std::move(rebuilt);
        metadata.leftOutParts.push_back("maker note");
    }
    if (!readsClean(headerOf(segments, isXmp))) {
        eraseSegments(segments, isXmp);
        metadata.leftOutParts.push_back("XMP packet");
    }
    if (!readsClean(headerOf(segments, isIptc))) {
        eraseSegments(segments, isIptc);
        metadata.leftOutParts.push_back("IPTC record");
    }
}

} // namespace

bool PhotoMetadata::hasCarriableSegments() const {
    return std::any_of(segments.begin(), segments.end(), [](const JpegSegment& s) {
        return isExifOrXmp(s) || isIptc(s) || isIccSegment(s);
    });
}

PhotoMetadata readPhotoMetadata(JpegKeptSegments kept) {
    PhotoMetadata metadata;
    metadata.segments = std::move(kept.segments);
    metadata.overBudget = kept.overBudget;
    if (metadata.overBudget)
        metadata.problem = "the photo's metadata is larger than 1 MiB";

    std::vector<std::uint8_t> header = headerOnlyJpeg(metadata.segments);
    MetadataRead read;
    if (header.size() > 4)
        read = readWithLibrary(header);
    if (!read.problem.empty() && metadata.problem.empty()) {
        // Read again without whatever part is damaged.
        leaveOutDamagedParts(metadata);
        if (metadata.problem.empty()) {
            header = headerOnlyJpeg(metadata.segments);
            read = header.size() > 4 ? readWithLibrary(header) : MetadataRead();
            if (!read.problem.empty())
                metadata.problem = read.problem;
        }
    }
    // The library drops an IPTC record it cannot decode without an error,
    // so a record that was there and read as nothing is named too.
    if (read.image != nullptr && read.image->iptcData().empty() &&
        std::any_of(metadata.segments.begin(), metadata.segments.end(), holdsIptcRecord)) {
        eraseSegments(metadata.segments, isIptc);
        metadata.leftOutParts.push_back("IPTC record");
    }
    if (!iccProfileIsComplete(metadata.segments)) {
        eraseSegments(metadata.segments, isIccSegment);
        metadata.leftOutParts.push_back("colour profile");
    }
    if (header.size() <= 4)
        return metadata;
    if (read.image == nullptr)
        return metadata;
    try {
        const Exiv2::ExifData& exif = read.image->exifData();
        const auto orientation = exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
        if (orientation != exif.end() && orientation->count() > 0)
            metadata.orientation = uprightOrientation(orientation->toLong(0));
        metadata.facts = factsFromExif(exif);
        const Exiv2::XmpData& xmp = read.image->xmpData();
        readPhotoWords(xmp, read.image->iptcData(), exif, metadata.facts);
        const auto xmpDescription = xmp.findKey(Exiv2::XmpKey("Xmp.dc.description"));
        if (xmpDescription != xmp.end())
            metadata.xmpDescription = defaultLanguageText(xmpDescription->value());
        const Exiv2::IptcData& iptc = read.image->iptcData();
        const auto caption = iptc.findKey(Exiv2::IptcKey("Iptc.Application2.Caption"));
        if (caption != iptc.end())
            metadata.iptcDescription = caption->toString();
    } catch (const std::exception& e) {
        if (metadata.problem.empty())
            metadata.problem = std::string("its metadata is damaged (") + e.what() + ")";
    }
    return metadata;
}

CarriedMetadata carryMetadata(const PhotoMetadata& source, MetadataChoice choice,
                              const std::string& description, std::uint32_t width,
                              std::uint32_t height, bool keepOrientation) {
    CarriedMetadata carried;
    if (choice == MetadataChoice::DescriptionOnly)
        return carried;
    carried.leftOutParts = source.leftOutParts;
    if (!source.problem.empty()) {
        carried.leftOut = source.problem;
        return carried;
    }
    if (!source.hasCarriableSegments())
        return carried;
    const std::vector<std::uint8_t> header = headerOnlyJpeg(source.segments);
    const MetadataRead read = readWithLibrary(header);
    if (!read.problem.empty()) {
        carried.leftOut = read.problem;
        return carried;
    }
    try {
        Exiv2::ExifData exif = read.image->exifData();
        Exiv2::XmpData xmp = read.image->xmpData();
        Exiv2::IptcData iptc = read.image->iptcData();
        updateExif(exif, choice, description, width, height, keepOrientation);
        updateXmp(xmp, choice, description, width, height, keepOrientation);
        updateIptc(iptc, choice, description);

        const std::unique_ptr<Exiv2::Image> target = emptyJpegForWriting();
        target->setExifData(exif);
        target->setXmpData(xmp);
        target->setIptcData(iptc);
        target->writeMetadata();
        Exiv2::BasicIo& io = target->io();
        io.seek(0, Exiv2::BasicIo::beg);
        carried.segments = writtenSegments(io.read(static_cast<long>(io.size())));
        appendIccSegments(source.segments, carried.segments);
    } catch (const std::exception& e) {
        carried.segments.clear();
        carried.leftOut = std::string("its metadata could not be written again (") + e.what() + ")";
    }
    return carried;
}
