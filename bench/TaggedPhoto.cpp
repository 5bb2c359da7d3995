#include "bench/TaggedPhoto.h"

#include "bench/Shell.h"

#include <QDir>
#include <QFile>

#include <cmath>
#include <string>

namespace bench_support {

namespace {
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 24));
    out.push_back(static_cast<std::uint8_t>(v >> 16));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

void Put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

// Four characters, pushed one by one (GCC 12 misreads a range insert into an
// empty vector as an overflow).
void PutSignature(std::vector<std::uint8_t>& out, const char* sig) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<std::uint8_t>(sig[i]));
    }
}

std::uint32_t S15Fixed16(double v) {
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(std::lround(v * 65536.0)));
}

void PadTo4(std::vector<std::uint8_t>& out) {
    while (out.size() % 4 != 0) {
        out.push_back(0);
    }
}

std::vector<std::uint8_t> TextDescription(const std::string& text) {
    std::vector<std::uint8_t> tag;
    PutSignature(tag, "desc");
    Put32(tag, 0);
    Put32(tag, static_cast<std::uint32_t>(text.size() + 1));
    tag.insert(tag.end(), text.begin(), text.end());
    tag.push_back(0);
    Put32(tag, 0); // no Unicode description: language code
    Put32(tag, 0); // and count
    Put16(tag, 0); // no Macintosh description: script code
    tag.push_back(0);
    tag.insert(tag.end(), 67, 0);
    return tag;
}

std::vector<std::uint8_t> Text(const std::string& text) {
    std::vector<std::uint8_t> tag;
    PutSignature(tag, "text");
    Put32(tag, 0);
    tag.insert(tag.end(), text.begin(), text.end());
    tag.push_back(0);
    return tag;
}

std::vector<std::uint8_t> Xyz(double x, double y, double z) {
    std::vector<std::uint8_t> tag;
    PutSignature(tag, "XYZ ");
    Put32(tag, 0);
    Put32(tag, S15Fixed16(x));
    Put32(tag, S15Fixed16(y));
    Put32(tag, S15Fixed16(z));
    return tag;
}

// The sRGB transfer curve sampled at 1024 points, as 16-bit values.
std::vector<std::uint8_t> SrgbCurve() {
    constexpr int kPoints = 1024;
    std::vector<std::uint8_t> tag;
    PutSignature(tag, "curv");
    Put32(tag, 0);
    Put32(tag, kPoints);
    for (int i = 0; i < kPoints; ++i) {
        const double v = double(i) / (kPoints - 1);
        const double linear = v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        Put16(tag, static_cast<std::uint16_t>(std::lround(linear * 65535.0)));
    }
    return tag;
}
} // namespace

std::vector<std::uint8_t> SrgbIccProfile() {
    struct Tag {
        const char* signature;
        int data; // index into `blocks`
    };
    // The three tone curves share one block, as in the usual sRGB profiles.
    const std::vector<std::vector<std::uint8_t>> blocks = {
        TextDescription("sRGB IEC61966-2.1 (Lumora benchmark)"),
        Text("No copyright, use freely"),
        Xyz(0.9642, 1.0, 0.8249),    // media white point, D50
        Xyz(0.4361, 0.2225, 0.0139), // red colorant, adapted to D50
        Xyz(0.3851, 0.7169, 0.0971), // green colorant
        Xyz(0.1431, 0.0606, 0.7141), // blue colorant
        SrgbCurve(),
    };
    const Tag tags[] = {{"desc", 0}, {"cprt", 1}, {"wtpt", 2}, {"rXYZ", 3}, {"gXYZ", 4},
                        {"bXYZ", 5}, {"rTRC", 6}, {"gTRC", 6}, {"bTRC", 6}};
    constexpr std::size_t kHeader = 128;
    const std::size_t tableSize = 4 + std::size(tags) * 12;

    // Where each block lands, 4-byte aligned after the tag table.
    std::vector<std::uint32_t> offsets;
    std::size_t at = kHeader + tableSize;
    for (const auto& block : blocks) {
        offsets.push_back(static_cast<std::uint32_t>(at));
        at += (block.size() + 3) / 4 * 4;
    }
    const auto total = static_cast<std::uint32_t>(at);

    std::vector<std::uint8_t> profile;
    profile.reserve(total);
    Put32(profile, total);
    Put32(profile, 0);          // preferred CMM: none
    Put32(profile, 0x02100000); // version 2.1
    PutSignature(profile, "mntr");
    PutSignature(profile, "RGB ");
    PutSignature(profile, "XYZ ");
    for (const std::uint16_t v : {2024, 5, 14, 6, 0, 0}) {
        Put16(profile, v); // creation date and time
    }
    PutSignature(profile, "acsp");
    profile.resize(64, 0);              // platform, flags, device maker and model, attributes
    Put32(profile, 0);                  // perceptual rendering intent
    Put32(profile, S15Fixed16(0.9642)); // the connection space's illuminant, D50
    Put32(profile, S15Fixed16(1.0));
    Put32(profile, S15Fixed16(0.8249));
    profile.resize(kHeader, 0); // creator, profile ID, reserved

    Put32(profile, static_cast<std::uint32_t>(std::size(tags)));
    for (const Tag& tag : tags) {
        PutSignature(profile, tag.signature);
        Put32(profile, offsets[tag.data]);
        Put32(profile, static_cast<std::uint32_t>(blocks[tag.data].size()));
    }
    for (const auto& block : blocks) {
        profile.insert(profile.end(), block.begin(), block.end());
        PadTo4(profile);
    }
    return profile;
}

bool TagLikeCamera(const QString& path, int orientation, const QString& scratchDir,
                   QString& error) {
    const QString iccPath = QDir(scratchDir).filePath(QStringLiteral("srgb.icc"));
    QFile icc(iccPath);
    const std::vector<std::uint8_t> profile = SrgbIccProfile();
    if (!icc.open(QIODevice::WriteOnly) ||
        icc.write(reinterpret_cast<const char*>(profile.data()),
                  static_cast<qint64>(profile.size())) != static_cast<qint64>(profile.size())) {
        error = QStringLiteral("cannot write %1").arg(iccPath);
        return false;
    }
    icc.close();
    // -n: every value as the number it is stored as.
    std::string command =
        "exiftool -q -q -n -overwrite_original"
        " -EXIF:Make='NIKON CORPORATION' -EXIF:Model='NIKON D750'"
        " -EXIF:DateTimeOriginal='2024:05:14 06:12:31' -EXIF:CreateDate='2024:05:14 06:12:31'"
        " -EXIF:ExposureTime=0.004 -EXIF:FNumber=8 -EXIF:ISO=100 -EXIF:FocalLength=35"
        " -EXIF:Orientation=";
    command += std::to_string(orientation);
    command += " -EXIF:GPSLatitudeRef=N -EXIF:GPSLatitude=46.3636"
               " -EXIF:GPSLongitudeRef=E -EXIF:GPSLongitude=14.0938"
               " -EXIF:GPSAltitudeRef=0 -EXIF:GPSAltitude=501"
               " -XMP-dc:Description='Lake Bled at dawn from the castle terrace'"
               " -XMP-dc:Creator='Marta Kovac'"
               " -IPTC:Caption-Abstract='Lake Bled at dawn from the castle terrace'"
               " -IPTC:By-line='Marta Kovac' -IPTC:City='Bled'"
               " '-ICC_Profile<=";
    command += iccPath.toStdString();
    command += "' ";
    command += Quoted(path.toStdString());
    if (!Shell(command)) {
        error = QStringLiteral("exiftool could not tag %1").arg(path);
        return false;
    }
    return true;
}

bool SetOrientation(const QString& path, int orientation, QString& error) {
    std::string command = "exiftool -q -q -n -overwrite_original -Orientation#=";
    command += std::to_string(orientation);
    command += ' ';
    command += Quoted(path.toStdString());
    if (!Shell(command)) {
        error = QStringLiteral("exiftool could not set the orientation of %1").arg(path);
        return false;
    }
    return true;
}

} // namespace bench_support
