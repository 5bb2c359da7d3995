#pragma once

#include "codec/JpegBlocks.h"
#include "codec/JpegRows.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class LxFile;

// The fast road of a block-keeping copy, for a source that is one
// Huffman-coded sequential scan and a copy that is not turned: the source's
// coded data is walked once to find where each MCU starts and what DC it
// predicts from, and the copy is written from it directly. Every run of
// untouched MCUs is copied as the source's own bits (shifted to where the
// copy has got to); only the MCUs that hold a changed block, and the first
// one after them whose DC prediction differs, are Huffman-coded again, with
// the source's own tables. No coefficient array of the whole picture is
// made.
//
// False, with `why` set, when this road cannot serve the copy (another kind
// of source, a damaged or truncated stream, restart markers out of order, a
// new block that needs a code the source's tables lack); nothing is written
// then, and the caller takes the coefficient road. Same arguments as
// WriteJpegBlockCopy, and `drawRest` in place of the copy's own: when set,
// it may be called (once) or not; the caller calls it when it was not.
bool SpliceJpegCopy(std::vector<std::uint8_t>& out, const JpegBlockCopy& copy, JpegCanvas& canvas,
                    JpegBlockCounts& counts, std::string& why,
                    const std::function<bool()>& drawRest = {});

// Walks a source's coded data once (see JpegCodedIndex in JpegBlocks.h):
// null, with `why` set, for a source the splice cannot read. The source's
// bytes must outlive the index. `stop`, when given and set, ends the walk
// early (with null). Large data without restart markers is walked in two
// halves on two threads; `splitByte` (of the data with its stuffing taken
// out) chooses where the second half starts instead, 0 for one walk: the
// index is the same either way. `blockDcs` keeps every block's DC as well.
constexpr std::size_t kAutoSplit = static_cast<std::size_t>(-1);
std::shared_ptr<const JpegCodedIndex> IndexJpegCodedData(const std::uint8_t* source,
                                                         std::size_t size, std::string& why,
                                                         const std::atomic<bool>* stop = nullptr,
                                                         std::size_t splitByte = kAutoSplit,
                                                         bool blockDcs = false);
// Whether `index` is the walk of exactly these bytes.
bool IndexedJpegIs(const JpegCodedIndex& index, const std::uint8_t* source, std::size_t size);
// The height of the source's MCU rows, in pixels.
unsigned IndexedJpegMcuHeight(const JpegCodedIndex& index);

// A stand-in for the indexed source, of its width and look, that holds only
// the MCU rows marked in `keepRows` (one entry per row), one after another:
// decoding it gives the source's pixels in the kept rows, away from the
// edges of each run of them (chroma upsampling reads a row beyond), for a
// fraction of the work, since the decoder reads nothing of the rows between.
// False, with `why` set and `out` empty, when no row is kept or the source's
// tables have no codes for it.
bool ThinJpegRows(const JpegCodedIndex& index, const std::vector<std::uint8_t>& keepRows,
                  std::vector<std::uint8_t>& out, std::string& why);

// A quick look at a large photo: the picture at 1/8 of its size from each
// block's DC alone (what libjpeg's 1/8 decode gives, but with chroma taken
// block by block), read in the walk of the coded data, on two threads where
// it is large. The sink is told the stored size (scaleDenominator), then
// begin() with the 1/8 frame and the header's segments, then the rows.
// False, with `error` set, for a source the walk cannot read or that is not
// grey or YCbCr: then libjpeg's own reduced decode serves.
bool DecodeJpegDcRows(const std::uint8_t* data, std::size_t size, JpegRowSink& sink,
                      JpegKeptSegments& kept, std::string& error);
