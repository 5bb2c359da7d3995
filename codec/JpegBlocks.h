#pragma once

#include "codec/JpegRows.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class LxFile;
// A source's coded data walked once: where each MCU starts and the DC it
// ends with (made in JpegSplice.h).
struct JpegCodedIndex;

// Copies of a JPEG that keep its compressed 8 x 8 blocks: the quantized DCT
// coefficients of every block whose pixels nothing changed go into the copy
// as they are, and only the blocks under new pixels are encoded again, from
// the caller's canvas, with the source's own quantization tables and
// sampling. No decode and encode of the whole picture, so no generation
// loss and no growth where nothing changed.

// What a source's block grid allows, read from its header.
struct JpegBlockGrid {
    // Empty when the blocks can be kept; otherwise why not, in words for a
    // person ("its size does not allow a lossless turn").
    std::string cannotKeep;
    // Set when only the turn stands in the way: a copy in the stored
    // orientation (orientation 1, the stored size) could keep the blocks.
    bool keepsStored = false;
    // The picture upright (after the turn the orientation asks for).
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    // The size of one MCU of the upright copy in pixels: rows above the
    // photo must be a whole number of MCU rows for its blocks to move down
    // intact.
    std::uint32_t mcuWidth = 8;
    std::uint32_t mcuHeight = 8;
};

// Reads the header of the JPEG in `data` and says whether a copy turned
// upright from EXIF orientation `orientation` (1 to 8) can keep its blocks:
// 8-bit samples, whole sampling ratios, and for a turn a picture whose moved
// edges are whole MCUs. The coefficients themselves are read only by the
// copy, which can still find them incomplete.
JpegBlockGrid ReadJpegBlockGrid(const std::uint8_t* data, std::size_t size, int orientation);

// The copy's pixels as the caller renders them, upright.
class JpegCanvas {
public:
    virtual ~JpegCanvas() = default;
    // Row y of the copy: width x 4 bytes, blue, green, red, ignored. Valid
    // until the next call.
    virtual const std::uint8_t* row(std::uint32_t y) = 0;
    // Whether any pixel of the copy's 8 x 8 cell (cellX, cellY) differs from
    // the photo's pixel under it. Asked only for cells on the photo.
    virtual bool changed(std::uint32_t cellX, std::uint32_t cellY) = 0;
    // The cells [left, right) x [top, bottom) outside of which no cell of the
    // photo is changed, so that `changed` need not be asked there. By
    // default every cell may be.
    struct Cells {
        std::uint32_t left = 0;
        std::uint32_t top = 0;
        std::uint32_t right = UINT32_MAX;
        std::uint32_t bottom = UINT32_MAX;
    };
    virtual Cells changedCells() { return {}; }
};

struct JpegBlockCopy {
    const std::uint8_t* source = nullptr; // the source JPEG, whole
    std::size_t sourceSize = 0;
    int orientation = 1; // turned upright losslessly; the grid must allow it
    // Rows above the photo in the copy: a whole number of MCU rows.
    std::uint32_t topRows = 0;
    // The copy's height.
    std::uint32_t height = 0;
    // Columns left of the photo in the copy (a whole number of MCU columns)
    // and right of it. The copy is as wide as the three together. Columns
    // right of the photo take its last, partial MCU column with them, as a
    // band below takes its last row.
    std::uint32_t leftColumns = 0;
    std::uint32_t rightColumns = 0;
    // Every block from this row of the copy on is encoded again (the rows of
    // bands below the photo, from the MCU row the photo ends in). At least
    // topRows; `height` when nothing follows the photo.
    std::uint32_t redrawFrom = 0;
    // Segments the encoder writes after its own header (EXIF, XMP, ICC...).
    std::vector<JpegSegment> markers;
    // Whether a one-scan Huffman source may be spliced from its coded data
    // (see JpegSplice.h); otherwise the copy is always written from
    // libjpeg's coefficients. Both give the same coefficients.
    bool splice = true;
    // The source's coded data already walked (see JpegSplice.h), or null to
    // walk it here.
    std::shared_ptr<const JpegCodedIndex> index;
    // When set, the canvas holds at first only the rows above the first the
    // copy needs drawn, above `redrawFrom` and the cells `changedCells`
    // names, and those below the photo's last MCU row: the bands above and
    // below the photo, say. The writer calls this once to draw
    // the rest, before it reads any other row or asks `changed`, and a splice
    // writes the rows above meanwhile on a thread of its own. False from it
    // ends the copy with nothing written.
    std::function<bool()> drawRest;
    // When set, a splice written in two steps hands over the bytes of its
    // first step, the copy's first bytes, as soon as they are final (on the
    // thread that wrote them), so that they can go to disk while it goes on.
    // The receiver may read them until `takeBack`, which the splice calls
    // before it moves or writes over them, returns.
    std::function<void(const std::uint8_t* bytes, std::size_t size)> handOver;
    std::function<void()> takeBack;
};

struct JpegBlockCounts {
    std::uint64_t kept = 0;    // blocks whose coefficients came from the source
    std::uint64_t encoded = 0; // blocks encoded again from the canvas
    // Whether the copy was spliced from the source's coded data (see
    // JpegSplice.h) rather than written from its coefficients.
    bool spliced = false;
    // How many of the copy's first bytes went to `handOver`: 0 when none
    // did or when the copy was written again from its start after that.
    std::size_t handedOver = 0;
};

// Writes the copy into `out`. False with `error` set when the source cannot
// give its blocks (a damaged or incomplete stream: libjpeg's warnings count
// as failure, since they mean blocks made up) or the encoder fails; then
// nothing of use is in `out` and the caller encodes afresh.
bool WriteJpegBlockCopy(LxFile* out, const JpegBlockCopy& copy, JpegCanvas& canvas,
                        JpegBlockCounts& counts, std::string& error);
// The same into a block of memory, which takes the spliced copy as it was
// made, without copying it again; `out` is left empty on failure.
bool WriteJpegBlockCopy(std::vector<std::uint8_t>& out, const JpegBlockCopy& copy,
                        JpegCanvas& canvas, JpegBlockCounts& counts, std::string& error);

// Encodes `height` canvas rows of the source's upright width afresh, with
// the source's quantization tables, sampling and colour space, then the
// markers: for a copy whose blocks cannot be kept. False when the source's
// header cannot be read or the encoder fails.
bool EncodeJpegLikeSource(LxFile* out, const std::uint8_t* source, std::size_t sourceSize,
                          JpegCanvas& canvas, std::uint32_t width, std::uint32_t height,
                          const std::vector<JpegSegment>& markers, std::string& error);
