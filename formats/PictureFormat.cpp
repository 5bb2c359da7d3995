#include "formats/PictureFormat.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

namespace {

struct FileKind {
    const char* extension;
    const char* mimeType;
};

// Every extension a photo of an opened format commonly has.
constexpr std::array<FileKind, 10> kFileKinds = {{
    {"jpg", "image/jpeg"},
    {"jpeg", "image/jpeg"},
    {"heic", "image/heic"},
    {"heif", "image/heif"},
    {"hif", "image/heif"},
    {"avif", "image/avif"},
    {"png", "image/png"},
    {"tif", "image/tiff"},
    {"tiff", "image/tiff"},
    {"webp", "image/webp"},
}};

// ISOBMFF brands: those of AVIF first, since an AVIF also lists the general
// HEIF brand "mif1".
constexpr std::array<std::string_view, 2> kAvifBrands = {"avif", "avis"};
constexpr std::array<std::string_view, 8> kHeifBrands = {"heic", "heix", "hevc", "hevx",
                                                         "heim", "heis", "mif1", "msf1"};

std::uint32_t bigEndian32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

std::uint32_t littleEndian32(const std::uint8_t* p) {
    return std::uint32_t{p[3]} << 24 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[1]} << 8 | p[0];
}

bool bytesAre(const std::uint8_t* p, std::string_view text) {
    return std::memcmp(p, text.data(), text.size()) == 0;
}

// The brands of the leading "ftyp" box: its major brand and the compatible
// ones. Unknown unless they name HEIF or AVIF.
PictureFormat sniffBrands(const std::uint8_t* data, std::size_t size) {
    const std::size_t boxSize = bigEndian32(data);
    if (boxSize < 16 || !bytesAre(data + 4, "ftyp"))
        return PictureFormat::Unknown;
    const std::size_t end = std::min(size, boxSize);
    bool heif = false;
    for (std::size_t at = 8; at + 4 <= end; at += at == 8 ? 8 : 4) {
        const std::string_view brand(reinterpret_cast<const char*>(data + at), 4);
        for (std::string_view avif : kAvifBrands) {
            if (brand == avif)
                return PictureFormat::Avif;
        }
        for (std::string_view known : kHeifBrands)
            heif = heif || brand == known;
    }
    return heif ? PictureFormat::Heif : PictureFormat::Unknown;
}

// Lossy or lossless, from the first image chunk of a RIFF WebP file.
PictureFormat sniffWebp(const std::uint8_t* data, std::size_t size) {
    std::size_t at = 12;
    while (at + 8 <= size) {
        const std::uint8_t* chunk = data + at;
        if (bytesAre(chunk, "VP8L"))
            return PictureFormat::WebpLossless;
        if (bytesAre(chunk, "VP8 ") || bytesAre(chunk, "ANMF"))
            return PictureFormat::Webp;
        const std::size_t length = littleEndian32(chunk + 4);
        if (length > size - at - 8)
            break;
        at += 8 + length + (length & 1);
    }
    return PictureFormat::Webp;
}

} // namespace

PictureFormat sniffPictureFormat(const std::uint8_t* data, std::size_t size) {
    if (data == nullptr || size < 12)
        return PictureFormat::Unknown;
    if (data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF)
        return PictureFormat::Jpeg;
    if (bytesAre(data, "\x89PNG\r\n\x1a\n"))
        return PictureFormat::Png;
    if (bytesAre(data, "II*\0") || bytesAre(data, "MM\0*"))
        return PictureFormat::Tiff;
    if (bytesAre(data, "RIFF") && bytesAre(data + 8, "WEBP"))
        return sniffWebp(data, size);
    return sniffBrands(data, size);
}

JpegChroma copyChroma(PictureFormat format) {
    switch (format) {
    case PictureFormat::Png:
    case PictureFormat::Tiff:
    case PictureFormat::WebpLossless:
        return JpegChroma::Full444;
    default:
        return JpegChroma::Subsampled420;
    }
}

QStringList pictureNamePatterns() {
    QStringList patterns;
    for (const FileKind& kind : kFileKinds)
        patterns << QStringLiteral("*.") + QLatin1String(kind.extension);
    return patterns;
}

bool hasPictureExtension(const QString& fileName) {
    for (const FileKind& kind : kFileKinds) {
        const QString suffix = QStringLiteral(".") + QLatin1String(kind.extension);
        if (fileName.endsWith(suffix, Qt::CaseInsensitive) && fileName.size() > suffix.size())
            return true;
    }
    return false;
}

QStringList pictureMimeTypes() {
    QStringList types;
    for (const FileKind& kind : kFileKinds) {
        const QString type = QLatin1String(kind.mimeType);
        if (!types.contains(type))
            types << type;
    }
    return types;
}
