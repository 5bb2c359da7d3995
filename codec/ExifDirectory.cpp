// The tagged-directory half of the EXIF reader: directories, values, tags.
#include "codec/ExifReader.h"
#include "codec/NumericCast.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
constexpr std::size_t kFormatBytes[13] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
constexpr int kFormatCount = 13;
constexpr std::size_t kEntryBytes = 12;
constexpr std::size_t kDescriptionMax = 999;

// Copies at most n bytes, stopping at a zero byte and never reading more than
// `available`; the rest of the n destination bytes become zero.
void TextCopy(char* dst, const std::uint8_t* src, std::size_t n, std::size_t available) {
    const std::size_t limit = std::min(n, available);
    std::size_t i = 0;
    for (; i < limit && src[i] != 0; ++i) {
        dst[i] = static_cast<char>(src[i]);
    }
    std::memset(dst + i, 0, n - i);
}

// Unit factors to inches, in single precision.
bool UnitFactor(double v, float& factor) {
    switch (TruncateToInt32(v)) {
    case 1:
    case 2:
        factor = 1.0f;
        return true;
    case 3:
        factor = 0.3937008f;
        return true;
    case 4:
        factor = 0.03937008f;
        return true;
    case 5:
        factor = 0.0000393700793f;
        return true;
    default:
        return false;
    }
}
} // namespace

std::uint16_t ExifReader::Get16(const std::uint8_t* p) const {
    return byteOrderMotorola_ ? static_cast<std::uint16_t>((p[0] << 8) | p[1])
                              : static_cast<std::uint16_t>((p[1] << 8) | p[0]);
}

std::int32_t ExifReader::Get32(const std::uint8_t* p) const {
    const std::uint32_t v = byteOrderMotorola_
                                ? (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) |
                                      (std::uint32_t{p[2]} << 8) | p[3]
                                : (std::uint32_t{p[3]} << 24) | (std::uint32_t{p[2]} << 16) |
                                      (std::uint32_t{p[1]} << 8) | p[0];
    return static_cast<std::int32_t>(v);
}

double ExifReader::ConvertValue(const std::uint8_t* value, int format,
                                std::size_t available) const {
    if (format < 0 || format >= kFormatCount || available < kFormatBytes[format]) {
        return 0;
    }
    switch (format) {
    case 1:
        return value[0];
    case 3:
        return Get16(value);
    case 4: {
        const std::int32_t v = Get32(value);
        return v < 0 ? v + 4294967296.0 : v;
    }
    case 5:
    case 10: {
        const std::int32_t numerator = Get32(value);
        const std::int32_t denominator = Get32(value + 4);
        return denominator == 0 ? 0.0 : static_cast<double>(numerator) / denominator;
    }
    case 6:
        return static_cast<std::int8_t>(value[0]);
    case 8:
        return static_cast<std::int16_t>(Get16(value));
    case 9:
        return Get32(value);
    case 11: {
        float f;
        std::memcpy(&f, value, sizeof f);
        return f;
    }
    case 12: {
        double d;
        std::memcpy(&d, value, sizeof d);
        return d;
    }
    default: // 0 (no bytes), 2 (ASCII), 7 (undefined)
        return 0;
    }
}

bool ExifReader::ParseDirectory(std::uint8_t* base, std::size_t length, std::size_t directory,
                                int depth) {
    if (depth > 4 || directoryBudget_ <= 0) {
        SetError("Maximum directory nesting exceeded (corrupt exif header)");
        return false;
    }
    --directoryBudget_;
    if (directory > length || length - directory < 2) {
        SetError("Illegally sized directory");
        return false;
    }
    const std::size_t entries = Get16(base + directory);
    const std::size_t tableEnd = directory + 2 + kEntryBytes * entries;
    if (tableEnd > length) {
        SetError("Illegally sized directory");
        return false;
    }
    std::uint32_t thumbOffset = 0;
    std::uint32_t thumbLength = 0;
    for (std::size_t i = 0; i < entries; ++i) {
        std::uint8_t* entry = base + directory + 2 + kEntryBytes * i;
        const int tag = Get16(entry);
        const int format = Get16(entry + 2);
        const std::uint32_t components = static_cast<std::uint32_t>(Get32(entry + 4));
        if (format >= kFormatCount) {
            SetError("Illegal format code in EXIF dir");
            return false;
        }
        const std::uint64_t byteCount = std::uint64_t{components} * kFormatBytes[format];
        std::uint8_t* value = entry + 8;
        if (byteCount > 4) {
            const std::uint32_t offset = static_cast<std::uint32_t>(Get32(entry + 8));
            if (std::uint64_t{offset} + byteCount > length) {
                SetError("Illegal pointer offset value in EXIF.");
                return false;
            }
            value = base + offset;
        }
        // What may be read from the value without leaving the block; a value
        // in the entry's own field may run on into what follows it.
        const std::size_t available = length - static_cast<std::size_t>(value - base);
        ApplyTag(tag, format, value, static_cast<std::size_t>(byteCount), available, thumbOffset,
                 thumbLength);

        if (tag == 0x8769 || tag == 0xA005) {
            const std::uint32_t sub = static_cast<std::uint32_t>(Get32(value));
            if (sub > 8) {
                if (sub > length) {
                    SetError("Illegal subdirectory link");
                    return false;
                }
                ParseDirectory(base, length, sub, depth + 1);
            }
        }
    }
    if (tableEnd + 4 <= length) {
        const std::uint32_t link = static_cast<std::uint32_t>(Get32(base + tableEnd));
        if (link != 0) {
            if (link > length) {
                SetError("Illegal subdirectory link");
                return false;
            }
            ParseDirectory(base, length, link, depth + 1);
        }
    }
    if (thumbOffset != 0 && thumbLength != 0 &&
        std::uint64_t{thumbOffset} + thumbLength <= length) {
        info_->thumbnailPointer = base + thumbOffset;
        info_->thumbnailSize = thumbLength;
    }
    return true;
}

void ExifReader::ApplyTag(int tag, int format, std::uint8_t* value, std::size_t byteCount,
                          std::size_t available, std::uint32_t& thumbOffset,
                          std::uint32_t& thumbLength) {
    ExifInfo& info = *info_;
    const auto v = [&] { return ConvertValue(value, format, available); };
    switch (tag) {
    case 0x010E: {
        const std::size_t n = std::min(byteCount, kDescriptionMax);
        std::memcpy(info.imageDescription, value, n);
        info.imageDescription[n] = '\0';
        break;
    }
    case 0x010F:
        TextCopy(info.cameraMake, value, 31, byteCount);
        break;
    case 0x0110:
        TextCopy(info.cameraModel, value, 39, byteCount);
        break;
    case 0x0112:
        info.orientation = TruncateToInt32(v());
        if (info.orientation < 1 || info.orientation > 8) {
            SetError("Undefined rotation value");
            info.orientation = 0;
        }
        break;
    case 0x011A:
        info.xResolution = NarrowToFloat(v());
        break;
    case 0x011B:
        info.yResolution = NarrowToFloat(v());
        break;
    case 0x0128:
        UnitFactor(v(), info.resolutionUnit);
        break;
    case 0x0201:
        thumbOffset = TruncateToUint32(v());
        break;
    case 0x0202:
        thumbLength = TruncateToUint32(v());
        break;
    case 0x829A:
        info.exposureTime = NarrowToFloat(v());
        break;
    case 0x829D:
        info.apertureFNumber = NarrowToFloat(v());
        break;
    case 0x8822:
        info.exposureProgram = TruncateToInt32(v());
        break;
    case 0x8827:
        info.isoEquivalent = TruncateToInt32(v());
        if (info.isoEquivalent < 50) {
            info.isoEquivalent = TruncateToInt32(info.isoEquivalent * 200.0);
        }
        break;
    case 0x9000:
        TextCopy(info.version, value, 4, byteCount);
        break;
    case 0x9003:
        TextCopy(info.dateTime, value, 19, byteCount);
        break;
    case 0x9102:
        info.compressionLevel = TruncateToInt32(v());
        break;
    case 0x9201:
        if (info.exposureTime == 0) {
            info.exposureTime = NarrowToFloat(1.0 / std::exp(double{std::log(2.0f)} * v()));
        }
        break;
    case 0x9202:
    case 0x9205:
        if (info.apertureFNumber == 0) {
            info.apertureFNumber = NarrowToFloat(std::exp(double{std::log(2.0f)} * v() * 0.5));
        }
        break;
    case 0x9203:
        info.brightness = NarrowToFloat(v());
        break;
    case 0x9204:
        info.exposureBias = NarrowToFloat(v());
        break;
    case 0x9206:
        info.distance = NarrowToFloat(v());
        break;
    case 0x9207:
        info.meteringMode = TruncateToInt32(v());
        break;
    case 0x9208:
        info.whiteBalance = TruncateToInt32(v());
        break;
    case 0x9209:
        info.flashUsed = (TruncateToInt32(v()) & 7) != 0 ? 1 : 0;
        break;
    case 0x920A:
        info.focalLength = NarrowToFloat(v());
        break;
    case 0x9286:
        ApplyUserComment(value, byteCount);
        break;
    case 0xA002:
    case 0xA003:
        exifImageWidth_ = std::max(exifImageWidth_, TruncateToInt32(v()));
        break;
    case 0xA20E:
        info.focalPlaneXRes = NarrowToFloat(v());
        break;
    case 0xA20F:
        info.focalPlaneYRes = NarrowToFloat(v());
        break;
    case 0xA210:
        UnitFactor(v(), info.focalPlaneUnits);
        break;
    default:
        break;
    }
}

void ExifReader::ApplyUserComment(std::uint8_t* value, std::size_t byteCount) {
    if (byteCount == 0) {
        return;
    }
    for (std::size_t a = byteCount - 1; a > 0 && value[a] == ' '; --a) {
        value[a] = 0;
    }
    if (byteCount >= 5 && std::memcmp(value, "ASCII", 5) == 0) {
        for (std::size_t a = 5; a < 10 && a < byteCount; ++a) {
            if (value[a] != 0 && value[a] != ' ') {
                TextCopy(info_->comments, value + a, 199, byteCount - a);
                return;
            }
        }
        return;
    }
    TextCopy(info_->comments, value, 199, byteCount);
}
