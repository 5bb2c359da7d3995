#include "formats/PictureRead.h"

#include "formats/HeifLibrary.h"

#include "metadata/MetadataBlocks.h"

#include <libheif/heif.h>

#include <QColorSpace>
#include <QPointF>

#include <algorithm>
#include <memory>
#include <string_view>
#include <vector>

namespace {

// libheif's own limit on a side while the file is read: the copy is a JPEG,
// whose sides stop at 65,535 pixels. Before decoding, the limit comes down
// to the primary picture's longer side (the gate has bounded its area), so
// that a grid or tile claiming more than its picture is refused by libheif
// before it allocates; tiles of small pictures may still be this large.
constexpr int kMaxSide = 65535;
constexpr int kMinTileSide = 4096;
// The most libheif holds a pixel while decoding: three 16-bit planes.
constexpr std::uint64_t kPlaneBytesPerPixel = 6;
// What decoding holds besides the job's pictures: the planes (up to three of
// 16-bit samples and an alpha plane) and the interleaved 8-bit result.
constexpr std::uint64_t kDecoderBytesPerPixel = 12;
// EXIF, XMP or an ICC profile larger than this is not read.
constexpr std::size_t kMaxBlockBytes = JpegKeptSegments::kDefaultBudget;

struct ContextFree {
    void operator()(heif_context* context) const { heif_context_free(context); }
};
struct HandleRelease {
    void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
struct ImageRelease {
    void operator()(heif_image* image) const { heif_image_release(image); }
};
struct OptionsFree {
    void operator()(heif_decoding_options* options) const { heif_decoding_options_free(options); }
};
struct NclxFree {
    void operator()(heif_color_profile_nclx* nclx) const { heif_nclx_color_profile_free(nclx); }
};

// libheif's own words, without the line break some of them end with.
QString libraryWords(const heif_error& error) {
    return QString::fromUtf8(error.message ? error.message : "unknown error").trimmed();
}

QString unreadable(const heif_error& error) {
    return QStringLiteral("it is not a HEIF or AVIF picture that can be read (%1)")
        .arg(libraryWords(error));
}

// The metadata blocks of one kind ("Exif", or "mime" with a content type).
std::vector<std::vector<std::uint8_t>> metadataBlocks(const heif_image_handle* handle,
                                                      const char* type, const char* contentType) {
    std::vector<std::vector<std::uint8_t>> blocks;
    const int count = heif_image_handle_get_number_of_metadata_blocks(handle, type);
    if (count <= 0)
        return blocks;
    std::vector<heif_item_id> ids(static_cast<std::size_t>(count));
    const int listed =
        heif_image_handle_get_list_of_metadata_block_IDs(handle, type, ids.data(), count);
    for (int i = 0; i < listed; ++i) {
        if (contentType != nullptr) {
            const char* content = heif_image_handle_get_metadata_content_type(handle, ids[i]);
            if (content == nullptr || std::string_view(content) != contentType)
                continue;
        }
        const std::size_t size = heif_image_handle_get_metadata_size(handle, ids[i]);
        if (size == 0 || size > kMaxBlockBytes)
            continue;
        std::vector<std::uint8_t> block(size);
        if (heif_image_handle_get_metadata(handle, ids[i], block.data()).code == heif_error_Ok)
            blocks.push_back(std::move(block));
    }
    return blocks;
}

// HEIF's Exif item starts with the offset of the TIFF header after a 4-byte
// field; the TIFF structure is what follows.
std::vector<std::uint8_t> exifTiff(const std::vector<std::uint8_t>& item) {
    if (item.size() < 4)
        return {};
    const std::size_t offset = std::size_t{item[0]} << 24 | std::size_t{item[1]} << 16 |
                               std::size_t{item[2]} << 8 | item[3];
    if (offset > item.size() - 4 || item.size() - 4 - offset < 8)
        return {};
    return {item.begin() + static_cast<std::ptrdiff_t>(4 + offset), item.end()};
}

// An ICC profile for a colour description given as code points (nclx), or
// empty when it is sRGB or unspecified: a copy without a profile is read as
// sRGB anyway.
std::vector<std::uint8_t> iccForNclx(const heif_color_profile_nclx& nclx) {
    const bool srgbPrimaries = nclx.color_primaries == heif_color_primaries_ITU_R_BT_709_5 ||
                               nclx.color_primaries == heif_color_primaries_unspecified;
    using Transfer = QColorSpace::TransferFunction;
    Transfer transfer = Transfer::SRgb;
    float gamma = 0.0f;
    switch (nclx.transfer_characteristics) {
    case heif_transfer_characteristic_linear:
        transfer = Transfer::Linear;
        break;
    case heif_transfer_characteristic_ITU_R_BT_470_6_System_M:
        transfer = Transfer::Gamma;
        gamma = 2.2f;
        break;
    case heif_transfer_characteristic_ITU_R_BT_470_6_System_B_G:
        transfer = Transfer::Gamma;
        gamma = 2.8f;
        break;
    default:
        // BT.709, BT.601, BT.2020 and sRGB curves are near enough to sRGB's
        // for a display; PQ and HLG have no ICC curve of this kind.
        break;
    }
    if (srgbPrimaries && transfer == Transfer::SRgb)
        return {};
    QColorSpace space;
    if (nclx.color_primaries == heif_color_primaries_SMPTE_EG_432_1) {
        space = QColorSpace(QColorSpace::Primaries::DciP3D65, transfer, gamma);
        space.setDescription(QStringLiteral("Display P3"));
    } else {
        space = QColorSpace(QPointF(nclx.color_primary_white_x, nclx.color_primary_white_y),
                            QPointF(nclx.color_primary_red_x, nclx.color_primary_red_y),
                            QPointF(nclx.color_primary_green_x, nclx.color_primary_green_y),
                            QPointF(nclx.color_primary_blue_x, nclx.color_primary_blue_y), transfer,
                            gamma);
        space.setDescription(QStringLiteral("HEIF colour (primaries %1, transfer %2)")
                                 .arg(static_cast<int>(nclx.color_primaries))
                                 .arg(static_cast<int>(nclx.transfer_characteristics)));
    }
    if (!space.isValid())
        return {};
    const QByteArray icc = space.iccProfile();
    return {icc.begin(), icc.end()};
}

MetadataBlocks readBlocks(heif_image_handle* handle) {
    MetadataBlocks blocks;
    for (const std::vector<std::uint8_t>& item : metadataBlocks(handle, "Exif", nullptr)) {
        blocks.exif = exifTiff(item);
        if (!blocks.exif.empty())
            break;
    }
    for (const std::vector<std::uint8_t>& item :
         metadataBlocks(handle, "mime", "application/rdf+xml")) {
        blocks.xmp.assign(item.begin(), item.end());
        break;
    }
    const std::size_t iccSize = heif_image_handle_get_raw_color_profile_size(handle);
    if (iccSize > 0 && iccSize <= kMaxBlockBytes) {
        blocks.icc.resize(iccSize);
        if (heif_image_handle_get_raw_color_profile(handle, blocks.icc.data()).code !=
            heif_error_Ok)
            blocks.icc.clear();
    }
    if (blocks.icc.empty()) {
        // The profile may be handed out even with an error; it is freed
        // either way.
        heif_color_profile_nclx* nclx = nullptr;
        const heif_error error = heif_image_handle_get_nclx_color_profile(handle, &nclx);
        const std::unique_ptr<heif_color_profile_nclx, NclxFree> owned(nclx);
        if (error.code == heif_error_Ok && nclx != nullptr)
            blocks.icc = iccForNclx(*nclx);
    }
    return blocks;
}

} // namespace

PictureRead readHeifPicture(const std::uint8_t* data, std::size_t size, PictureGate& gate) {
    PictureRead read;
    read.upright = true;
    if (!heifLibraryLoaded()) {
        read.error = QStringLiteral("HEIF and AVIF pictures need libheif, which cannot be loaded");
        return read;
    }
    std::unique_ptr<heif_context, ContextFree> context(heif_context_alloc());
    if (!context) {
        read.error = QStringLiteral("there is not enough memory");
        return read;
    }
    heif_context_set_maximum_image_size_limit(context.get(), kMaxSide);
    heif_error error =
        heif_context_read_from_memory_without_copy(context.get(), data, size, nullptr);
    if (error.subcode == heif_suberror_Security_limit_exceeded) {
        // A side over 65,535 pixels: libheif's message gives the size.
        read.error = QStringLiteral("its picture is larger than a JPEG copy can be (%1)")
                         .arg(libraryWords(error));
        read.tooLarge = true;
        return read;
    }
    if (error.code != heif_error_Ok) {
        read.error = unreadable(error);
        return read;
    }
    heif_image_handle* rawHandle = nullptr;
    error = heif_context_get_primary_image_handle(context.get(), &rawHandle);
    const std::unique_ptr<heif_image_handle, HandleRelease> handle(rawHandle);
    if (error.code != heif_error_Ok || !handle) {
        read.error = unreadable(error);
        return read;
    }
    const int width = heif_image_handle_get_width(handle.get());
    const int height = heif_image_handle_get_height(handle.get());
    if (width <= 0 || height <= 0) {
        read.error = QStringLiteral("it is not a HEIF or AVIF picture that can be read (its "
                                    "picture has no size)");
        return read;
    }
    if (!gate.admit(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height),
                    kDecoderBytesPerPixel)) {
        read.error = gate.refusal();
        read.tooLarge = true;
        return read;
    }
    // libheif's limit is a side, not an area: a long, thin picture lets it
    // allocate up to that side squared, which must fit in memory too.
    const int side = std::max({width, height, kMinTileSide});
    const std::uint64_t square = std::uint64_t{static_cast<std::uint32_t>(side)} *
                                 static_cast<std::uint32_t>(side) * kPlaneBytesPerPixel;
    if (!gate.fitsInMemory(square)) {
        read.error = QStringLiteral("%1 × %2 pixels is too long and thin to decode safely with "
                                    "the memory this computer has now")
                         .arg(width)
                         .arg(height);
        read.tooLarge = true;
        return read;
    }
    heif_context_set_maximum_image_size_limit(context.get(), side);
    read.kept = segmentsFromBlocks(readBlocks(handle.get()));

    const bool alpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;
    const std::unique_ptr<heif_decoding_options, OptionsFree> options(
        heif_decoding_options_alloc());
    if (options)
        options->convert_hdr_to_8bit = 1;
    heif_image* rawImage = nullptr;
    error = heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB,
                              alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                              options.get());
    const std::unique_ptr<heif_image, ImageRelease> image(rawImage);
    if (error.code != heif_error_Ok || !image) {
        read.error = unreadable(error);
        return read;
    }
    int stride = 0;
    const std::uint8_t* plane =
        heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    const int decodedWidth = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int decodedHeight = heif_image_get_height(image.get(), heif_channel_interleaved);
    const bool eightBit =
        heif_image_get_bits_per_pixel_range(image.get(), heif_channel_interleaved) == 8;
    if (plane == nullptr || !eightBit || decodedWidth <= 0 || decodedHeight <= 0 ||
        std::uint64_t{static_cast<std::uint32_t>(decodedWidth)} *
                static_cast<std::uint32_t>(decodedHeight) >
            std::uint64_t{static_cast<std::uint32_t>(width)} * static_cast<std::uint32_t>(height)) {
        read.error = QStringLiteral("it is not a HEIF or AVIF picture that can be read (its "
                                    "decoded picture does not match its header)");
        return read;
    }
    const QImage wrapped(plane, decodedWidth, decodedHeight, stride,
                         alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    read.picture = opaqueOnWhite(
        wrapped.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32));
    if (read.picture.isNull())
        read.error = QStringLiteral("there is not enough memory");
    return read;
}
