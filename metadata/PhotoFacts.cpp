#include "metadata/PhotoFacts.h"

#include "metadata/MetadataLibrary.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <optional>

namespace {

std::string trimmed(std::string text) {
    const auto notSpace = [](unsigned char c) { return c != 0 && !std::isspace(c); };
    while (!text.empty() && !notSpace(static_cast<unsigned char>(text.back())))
        text.pop_back();
    std::size_t start = 0;
    while (start < text.size() && !notSpace(static_cast<unsigned char>(text[start])))
        ++start;
    return text.substr(start);
}

const Exiv2::Exifdatum* find(const Exiv2::ExifData& exif, const char* key) {
    const auto found = exif.findKey(Exiv2::ExifKey(key));
    return found == exif.end() || found->count() == 0 ? nullptr : &*found;
}

std::string text(const Exiv2::ExifData& exif, const char* key) {
    const Exiv2::Exifdatum* datum = find(exif, key);
    if (datum == nullptr || datum->typeId() != Exiv2::asciiString)
        return {};
    return trimmed(datum->toString());
}

// The n-th value as a number, only from the numeric types that can hold it
// and never through a zero denominator.
std::optional<double> number(const Exiv2::ExifData& exif, const char* key, long n = 0) {
    const Exiv2::Exifdatum* datum = find(exif, key);
    if (datum == nullptr || datum->count() <= n)
        return std::nullopt;
    switch (datum->typeId()) {
    case Exiv2::unsignedRational: {
        // Read as stored: 32-bit unsigned parts would turn negative as signed.
        const auto* v = dynamic_cast<const Exiv2::URationalValue*>(&datum->value());
        if (v == nullptr || v->value_.size() <= static_cast<std::size_t>(n) ||
            v->value_[n].second == 0)
            return std::nullopt;
        return static_cast<double>(v->value_[n].first) / v->value_[n].second;
    }
    case Exiv2::signedRational: {
        const Exiv2::Rational r = datum->toRational(n);
        if (r.second == 0)
            return std::nullopt;
        return static_cast<double>(r.first) / r.second;
    }
    case Exiv2::unsignedShort:
    case Exiv2::unsignedLong:
    case Exiv2::signedShort:
    case Exiv2::signedLong:
    case Exiv2::unsignedByte:
        return static_cast<double>(datum->toLong(n));
    default:
        return std::nullopt;
    }
}

// A number with at most `decimals` decimals, trailing zeros dropped.
std::string compact(double value, int decimals) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    std::string out = buffer;
    if (out.find('.') != std::string::npos) {
        while (out.back() == '0')
            out.pop_back();
        if (out.back() == '.')
            out.pop_back();
    }
    return out;
}

bool digitsAt(const std::string& s, std::size_t at, std::size_t count) {
    if (at + count > s.size())
        return false;
    for (std::size_t i = at; i < at + count; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(s[i])))
            return false;
    }
    return true;
}

void readDateAndTime(const Exiv2::ExifData& exif, PhotoFacts& facts) {
    // "YYYY:MM:DD HH:MM:SS"; anything else is not a date.
    const std::string s = text(exif, "Exif.Photo.DateTimeOriginal");
    if (s.size() < 16 || !digitsAt(s, 0, 4) || s[4] != ':' || !digitsAt(s, 5, 2) || s[7] != ':' ||
        !digitsAt(s, 8, 2) || s[10] != ' ' || !digitsAt(s, 11, 2) || s[13] != ':' ||
        !digitsAt(s, 14, 2))
        return;
    const int month = std::stoi(s.substr(5, 2));
    const int day = std::stoi(s.substr(8, 2));
    const int hour = std::stoi(s.substr(11, 2));
    const int minute = std::stoi(s.substr(14, 2));
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59)
        return;
    facts.date = s.substr(0, 4) + "-" + s.substr(5, 2) + "-" + s.substr(8, 2);
    facts.time = s.substr(11, 5);
    const bool seconds = s.size() >= 19 && s[16] == ':' && digitsAt(s, 17, 2) && s[17] < '6';
    facts.dateTime = facts.date + "T" + facts.time + ":" + (seconds ? s.substr(17, 2) : "00");
}

std::string camera(const Exiv2::ExifData& exif) {
    const std::string make = text(exif, "Exif.Image.Make");
    const std::string model = text(exif, "Exif.Image.Model");
    if (model.empty())
        return make;
    if (make.empty() || model.rfind(make, 0) == 0)
        return model;
    return make + " " + model;
}

std::string exposure(const Exiv2::ExifData& exif) {
    const std::optional<double> seconds = number(exif, "Exif.Photo.ExposureTime");
    if (!seconds || !(*seconds > 0) || !std::isfinite(*seconds))
        return {};
    // Short times as a fraction of a second, as cameras show them; longer
    // ones (from a quarter second on) in seconds with one decimal.
    if (*seconds <= 0.25)
        return "1/" + compact(std::floor(1 / *seconds + 0.5), 0) + " s";
    return compact(*seconds, 1) + " s";
}

std::string coordinate(const Exiv2::ExifData& exif, const char* key, const char* refKey,
                       char positive, char negative) {
    double degrees = 0;
    for (long i = 0; i < 3; ++i) {
        const std::optional<double> part = number(exif, key, i);
        if (!part || *part < 0)
            return {};
        degrees += *part / std::pow(60.0, static_cast<double>(i));
    }
    const std::string ref = text(exif, refKey);
    if (ref != std::string(1, positive) && ref != std::string(1, negative))
        return {};
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.5f° %c", degrees, ref[0]);
    return buffer;
}

} // namespace

PhotoFacts factsFromExif(const Exiv2::ExifData& exif) {
    PhotoFacts facts;
    try {
        readDateAndTime(exif, facts);
        facts.camera = camera(exif);
        facts.lens = text(exif, "Exif.Photo.LensModel");
        facts.exposure = exposure(exif);
        if (const auto f = number(exif, "Exif.Photo.FNumber"); f && *f > 0 && std::isfinite(*f))
            facts.aperture = "f/" + compact(*f, *f < 1 ? 2 : 1);
        if (const auto iso = number(exif, "Exif.Photo.ISOSpeedRatings"); iso && *iso > 0)
            facts.iso = "ISO " + compact(*iso, 0);
        if (const auto mm = number(exif, "Exif.Photo.FocalLength");
            mm && *mm > 0 && std::isfinite(*mm))
            facts.focal = compact(*mm, 1) + " mm";
        const std::string latitude =
            coordinate(exif, "Exif.GPSInfo.GPSLatitude", "Exif.GPSInfo.GPSLatitudeRef", 'N', 'S');
        const std::string longitude =
            coordinate(exif, "Exif.GPSInfo.GPSLongitude", "Exif.GPSInfo.GPSLongitudeRef", 'E', 'W');
        if (!latitude.empty() && !longitude.empty())
            facts.gps = latitude + ", " + longitude;
    } catch (const std::exception&) {
        return PhotoFacts{};
    }
    return facts;
}
