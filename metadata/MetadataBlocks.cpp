#include "metadata/MetadataBlocks.h"

#include "metadata/MetadataLibrary.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace {

constexpr std::uint8_t kApp1 = 0xE1;
constexpr std::uint8_t kApp2 = 0xE2;
constexpr std::uint8_t kApp13 = 0xED;
// A segment's payload stops at 65,533 bytes (its length field counts itself).
constexpr std::size_t kMaxPayload = 65533;
constexpr std::string_view kExifHeader("Exif\0\0", 6);
constexpr std::string_view kXmpHeader("http://ns.adobe.com/xap/1.0/\0", 29);
constexpr std::string_view kIccHeader("ICC_PROFILE\0", 12);
constexpr std::string_view kPhotoshopHeader("Photoshop 3.0\0", 14);
constexpr std::size_t kIccPartBytes = kMaxPayload - kIccHeader.size() - 2;

void keep(JpegKeptSegments& kept, std::uint8_t marker, std::string_view header,
          const std::uint8_t* data, std::size_t size) {
    const std::size_t bytes = header.size() + size;
    if (bytes > kMaxPayload || kept.keptBytes + bytes > kept.budget ||
        kept.segments.size() >= JpegKeptSegments::kMaxSegments) {
        kept.overBudget = true;
        return;
    }
    JpegSegment segment;
    segment.marker = marker;
    segment.data.assign(header.begin(), header.end());
    segment.data.insert(segment.data.end(), data, data + size);
    kept.keptBytes += bytes;
    kept.segments.push_back(std::move(segment));
}

// EXIF small enough for one segment: as it is, else written again by the
// library, which drops what a JPEG's EXIF has no room for.
std::vector<std::uint8_t> exifForOneSegment(const std::vector<std::uint8_t>& tiff) {
    if (tiff.size() + kExifHeader.size() <= kMaxPayload)
        return tiff;
    try {
        Exiv2::ExifData exif;
        const Exiv2::ByteOrder order =
            Exiv2::ExifParser::decode(exif, tiff.data(), static_cast<std::uint32_t>(tiff.size()));
        Exiv2::Blob blob;
        Exiv2::ExifParser::encode(blob, order, exif);
        return blob;
    } catch (const std::exception&) {
        return {};
    }
}

void keepIcc(JpegKeptSegments& kept, const std::uint8_t* data, std::size_t size) {
    const std::size_t parts = (size + kIccPartBytes - 1) / kIccPartBytes;
    if (parts == 0 || parts > 255 || kept.keptBytes + size > kept.budget) {
        kept.overBudget = kept.overBudget || parts != 0;
        return;
    }
    for (std::size_t i = 0; i < parts; ++i) {
        const std::size_t at = i * kIccPartBytes;
        const std::size_t length = std::min(kIccPartBytes, size - at);
        std::string header(kIccHeader);
        header.push_back(static_cast<char>(i + 1));
        header.push_back(static_cast<char>(parts));
        keep(kept, kApp2, header, data + at, length);
    }
}

} // namespace

JpegKeptSegments segmentsFromBlocks(const MetadataBlocks& blocks, std::size_t budget) {
    JpegKeptSegments kept;
    kept.budget = budget;
    if (blocks.exif.size() > budget) {
        kept.overBudget = true;
    } else if (!blocks.exif.empty()) {
        const std::vector<std::uint8_t> exif = exifForOneSegment(blocks.exif);
        if (exif.empty())
            kept.overBudget = true;
        else
            keep(kept, kApp1, kExifHeader, exif.data(), exif.size());
    }
    if (!blocks.xmp.empty()) {
        keep(kept, kApp1, kXmpHeader, reinterpret_cast<const std::uint8_t*>(blocks.xmp.data()),
             blocks.xmp.size());
    }
    keepIcc(kept, blocks.icc.data(), blocks.icc.size());
    return kept;
}

JpegKeptSegments readEmbeddedMetadata(const std::uint8_t* data, std::size_t size,
                                      std::string& problem) {
    MetadataBlocks blocks;
    std::vector<std::uint8_t> photoshop;
    try {
        const MetadataRead read = readFileWithLibrary(data, size);
        if (read.image == nullptr) {
            problem = read.problem;
            return {};
        }
        Exiv2::Image& image = *read.image;
        Exiv2::ExifData exif = image.exifData();
        // The library keeps a TIFF's picture layout in the same directory
        // as its EXIF; the encoder below leaves out what a JPEG does not
        // record (strips, tiles, samples), and the old thumbnail goes too.
        Exiv2::ExifThumb(exif).erase();
        if (!exif.empty()) {
            const Exiv2::ByteOrder order = image.byteOrder() == Exiv2::invalidByteOrder
                                               ? Exiv2::littleEndian
                                               : image.byteOrder();
            Exiv2::ExifParser::encode(blocks.exif, order, exif);
        }
        blocks.xmp = image.xmpPacket();
        if (blocks.xmp.empty() && !image.xmpData().empty())
            Exiv2::XmpParser::encode(blocks.xmp, image.xmpData());
        if (image.iccProfileDefined()) {
            const Exiv2::DataBuf* icc = image.iccProfile();
            blocks.icc.assign(icc->pData_, icc->pData_ + icc->size_);
        }
        if (!image.iptcData().empty()) {
            const Exiv2::DataBuf irb = Exiv2::Photoshop::setIptcIrb(nullptr, 0, image.iptcData());
            photoshop.assign(irb.pData_, irb.pData_ + irb.size_);
        }
    } catch (const std::exception& e) {
        problem = std::string("its metadata is damaged (") + e.what() + ")";
        return {};
    }
    JpegKeptSegments kept = segmentsFromBlocks(blocks);
    if (!photoshop.empty())
        keep(kept, kApp13, kPhotoshopHeader, photoshop.data(), photoshop.size());
    return kept;
}
