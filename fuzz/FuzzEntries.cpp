#include "fuzz/FuzzEntries.h"

#include "codec/ExifReader.h"
#include "codec/JpegBlocks.h"
#include "codec/JpegErrorManager.h"
#include "codec/JpegSplice.h"
#include "codec/LxImageJPG.h"
#include "image/LxMemFile.h"

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace fuzz_entries {
namespace {
// A malloc'd copy, since a memory stream may grow (realloc) its block.
std::uint8_t* Copy(const std::uint8_t* data, std::size_t size) {
    auto* block = static_cast<std::uint8_t*>(std::malloc(size ? size : 1));
    if (block && size) {
        std::memcpy(block, data, size);
    }
    return block;
}

// A stream over a caller's block frees it only once it has grown it; take the
// block back in every case so that nothing leaks.
void Release(LxMemFile& stream) {
    std::free(stream.GetBufferPointer(true));
}

constexpr std::int64_t kMaxReencodePixels = 1 << 20;
} // namespace

void ExifScan(const std::uint8_t* data, std::size_t size) {
    if (size > 0x7FFF0000) {
        return;
    }
    LxMemFile stream(Copy(data, size), static_cast<std::uint32_t>(size));
    ExifReader reader(nullptr);
    reader.ScanSections(&stream, ExifReader::ReadMetadata);

    reader.KeepExifAndComment();
    stream.Seek(0, 0);
    reader.ScanSections(&stream, ExifReader::ReadImageData);
    LxMemFile out(static_cast<std::uint8_t*>(std::malloc(16)), 16);
    reader.WriteSections(&out);
    Release(out);
    Release(stream);
}

void Decode(const std::uint8_t* data, std::size_t size) {
    if (size > 0x7FFF0000) {
        return;
    }
    LxMemFile stream(Copy(data, size), static_cast<std::uint32_t>(size));
    LxImageJPG image;
    if (image.Decode(&stream) &&
        std::int64_t{image.GetWidth()} * image.GetHeight() <= kMaxReencodePixels) {
        LxMemFile out(static_cast<std::uint8_t*>(std::malloc(16)), 16);
        image.Encode(&out);
        Release(out);
    }
    Release(stream);
}

namespace {
// A canvas of a fixed pattern whose changed cells follow a seed.
// With `fromCell`, no cell of a row above that one is changed, and the
// canvas says so.
class PatternCanvas : public JpegCanvas {
public:
    PatternCanvas(std::uint32_t width, std::size_t seed, std::uint32_t fromCell = 0)
        : row_(std::size_t{width} * 4), seed_(seed), fromCell_(fromCell) {}
    const std::uint8_t* row(std::uint32_t y) override {
        for (std::size_t i = 0; i < row_.size(); ++i)
            row_[i] = static_cast<std::uint8_t>(i * 7 + y * 3 + seed_);
        return row_.data();
    }
    bool changed(std::uint32_t x, std::uint32_t y) override {
        return y >= fromCell_ && (x * 31 + y * 17 + seed_) % 5 == 0;
    }
    Cells changedCells() override { return {0, fromCell_, UINT32_MAX, UINT32_MAX}; }

private:
    std::vector<std::uint8_t> row_;
    std::size_t seed_;
    std::uint32_t fromCell_;
};

// Every quantized coefficient of a written copy, component after component;
// any libjpeg error or warning means a damaged file, which must never be
// reported as written.
std::vector<JCOEF> Coefficients(LxMemFile& written) {
    jpeg_decompress_struct cinfo;
    char text[JMSG_LENGTH_MAX] = {};
    JpegErrorManager error;
    cinfo.err = error.Install(text);
    if (setjmp(error.jump)) {
        std::abort();
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, written.GetBufferPointer(false),
                 static_cast<unsigned long>(written.Size()));
    jpeg_read_header(&cinfo, TRUE);
    jvirt_barray_ptr* arrays = jpeg_read_coefficients(&cinfo);
    std::vector<JCOEF> all;
    for (int c = 0; c < cinfo.num_components; ++c) {
        const jpeg_component_info& comp = cinfo.comp_info[c];
        for (JDIMENSION y = 0; y < comp.height_in_blocks; ++y) {
            JBLOCKARRAY row = (*cinfo.mem->access_virt_barray)(
                reinterpret_cast<j_common_ptr>(&cinfo), arrays[c], y, 1, FALSE);
            const auto* first = reinterpret_cast<const JCOEF*>(row[0]);
            all.insert(all.end(), first, first + std::size_t{comp.width_in_blocks} * DCTSIZE2);
        }
    }
    jpeg_finish_decompress(&cinfo);
    if (cinfo.err->num_warnings != 0)
        std::abort();
    jpeg_destroy_decompress(&cinfo);
    return all;
}
} // namespace

// Keeps the quick look's rows, as a window would.
class DcRows : public JpegRowSink {
public:
    bool begin(const JpegFrame& frame, const JpegKeptSegments&) override {
        if (std::uint64_t{frame.width} * frame.height > kMaxReencodePixels)
            return false;
        width_ = frame.width;
        pixels_.assign(std::size_t{frame.width} * frame.height * 4, 0);
        return true;
    }
    std::uint8_t* directRow(std::uint32_t y) override {
        return pixels_.data() + std::size_t{y} * width_ * 4;
    }
    void rows(std::uint32_t, std::uint32_t, const std::uint8_t* const*) override {}

private:
    std::uint32_t width_ = 0;
    std::vector<std::uint8_t> pixels_;
};

void BlockCopy(const std::uint8_t* data, std::size_t size) {
    // Half the inputs are copied as they stand, the road most copies take.
    const int orientation = size % 16 < 8 ? 1 : static_cast<int>(size % 8) + 1;
    const JpegBlockGrid grid = ReadJpegBlockGrid(data, size, orientation);
    if (!grid.cannotKeep.empty() || std::uint64_t{grid.width} * grid.height > kMaxReencodePixels)
        return;
    const std::uint32_t above = grid.mcuHeight * static_cast<std::uint32_t>(size % 3);
    const std::uint32_t below = size % 2 == 0 ? 13 : 0;
    JpegBlockCopy copy;
    copy.source = data;
    copy.sourceSize = size;
    copy.orientation = orientation;
    copy.topRows = above;
    copy.height = above + grid.height + below;
    copy.redrawFrom =
        below > 0 ? above + grid.height / grid.mcuHeight * grid.mcuHeight : copy.height;
    // Some copies also get columns beside the photo, as a copy kept in its
    // stored orientation has for a band.
    if (size % 5 == 0) {
        copy.leftColumns = grid.mcuWidth * static_cast<std::uint32_t>(size % 3);
        copy.rightColumns = size % 2 == 0 ? 11 : 0;
    }
    copy.markers.push_back({0xE1, std::vector<std::uint8_t>{'E', 'x', 'i', 'f', 0, 0}});
    PatternCanvas canvas(copy.leftColumns + grid.width + copy.rightColumns, size);
    LxOwnedMemFile written;
    JpegBlockCounts counts;
    std::string error;
    if (WriteJpegBlockCopy(&written, copy, canvas, counts, error)) {
        const std::vector<JCOEF> kept = Coefficients(written);
        // A spliced copy holds what libjpeg's coefficient road writes.
        copy.splice = false;
        LxOwnedMemFile other;
        JpegBlockCounts otherCounts;
        if (counts.spliced && WriteJpegBlockCopy(&other, copy, canvas, otherCounts, error) &&
            kept != Coefficients(other))
            std::abort();
    }
    LxOwnedMemFile fresh;
    if (EncodeJpegLikeSource(&fresh, data, size, canvas, grid.width, grid.height, copy.markers,
                             error))
        Coefficients(fresh);

    // A splice in two steps, whose first bytes are handed over while the
    // rest of the canvas is drawn, is the splice in one.
    if (copy.orientation == 1) {
        copy.splice = true;
        copy.leftColumns = copy.rightColumns = 0;
        PatternCanvas lower(grid.width, size, static_cast<std::uint32_t>(size % 11) * 4);
        std::vector<std::uint8_t> once;
        std::vector<std::uint8_t> twice;
        std::vector<std::uint8_t> handed;
        JpegBlockCounts onceCounts;
        const bool one = WriteJpegBlockCopy(once, copy, lower, onceCounts, error);
        copy.drawRest = [] { return true; };
        copy.handOver = [&handed](const std::uint8_t* bytes, std::size_t n) {
            handed.assign(bytes, bytes + n);
        };
        JpegBlockCounts twiceCounts;
        if (one != WriteJpegBlockCopy(twice, copy, lower, twiceCounts, error) || once != twice)
            std::abort();
        // What was handed over and not taken back is the copy's beginning.
        const std::size_t kept = twiceCounts.handedOver;
        if (kept > 0 && (handed.size() != kept || kept > twice.size() ||
                         !std::equal(handed.begin(), handed.end(), twice.begin())))
            std::abort();
    }

    // The walk in two halves is the walk in one, and so are the stand-ins
    // made from them.
    const auto whole = IndexJpegCodedData(data, size, error, nullptr, 0);
    const auto halves = IndexJpegCodedData(data, size, error, nullptr, size * (size % 7 + 1) / 8);
    if ((whole == nullptr) != (halves == nullptr))
        std::abort();
    if (whole != nullptr && orientation == 1) {
        std::vector<std::uint8_t> keep((grid.height + grid.mcuHeight - 1) / grid.mcuHeight);
        for (std::size_t r = 0; r < keep.size(); ++r)
            keep[r] = (r + size) % 3 == 0 ? 0 : 1;
        std::vector<std::uint8_t> a;
        std::vector<std::uint8_t> b;
        const bool thinned = ThinJpegRows(*whole, keep, a, error);
        if (thinned != ThinJpegRows(*halves, keep, b, error) || a != b)
            std::abort();
        if (thinned) {
            LxMemFile thin(a.data(), static_cast<std::uint32_t>(a.size()));
            Coefficients(thin);
        }
    }

    // The quick look from the blocks' DCs.
    DcRows rows;
    JpegKeptSegments kept;
    DecodeJpegDcRows(data, size, rows, kept, error);
}

} // namespace fuzz_entries
