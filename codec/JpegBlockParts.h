#pragma once

// The pieces the two block-keeping writers share: the copy made from the
// source's coefficients by libjpeg (JpegBlocks.cpp) and the one spliced from
// the source's coded data (JpegSplice.cpp). Not for use outside the codec.

#include "codec/JpegBlocks.h"
#include "codec/JpegErrorManager.h"

#include <array>
#include <cstdint>
#include <vector>

namespace jpeg_block_parts {

// libjpeg's whole-image buffers: the source's coefficients and the copy's.
// The open pipeline has already checked the picture against the memory the
// system has.
constexpr long kMaxLibraryMemory = 3L << 30;
constexpr int kDctSize = 8;

unsigned roundUp(unsigned value, unsigned step);
unsigned divideUp(std::uint64_t value, std::uint64_t by);
void setText(char* text, const char* value);

// What a new encode needs to give blocks the source's look: colour space,
// sampling and quantization tables, already turned for the copy.
struct BlockParams {
    J_COLOR_SPACE space = JCS_UNKNOWN;
    int components = 0;
    std::array<int, MAX_COMPONENTS> h{};
    std::array<int, MAX_COMPONENTS> v{};
    std::array<int, MAX_COMPONENTS> quantNo{};
    std::array<std::array<UINT16, DCTSIZE2>, NUM_QUANT_TBLS> quant{};
    std::array<bool, NUM_QUANT_TBLS> hasQuant{};
    int maxH = 1;
    int maxV = 1;
};

// Why a source's blocks cannot be kept, or null when they can.
const char* unsupported(const jpeg_decompress_struct& src);
BlockParams paramsOf(const jpeg_decompress_struct& src, bool transpose);

// Encodes rows [first, end) of the canvas with the source's look into
// `stream`, with the markers after the encoder's header.
bool encodeRows(LxFile* stream, const BlockParams& p, JpegCanvas& canvas, std::uint32_t width,
                std::uint32_t first, std::uint32_t end, const std::vector<JpegSegment>& markers,
                bool optimize, char* text);

// The zigzag order coefficients are coded in: position i of the scan is
// coefficient kZigzag[i] of the block in row order.
inline constexpr std::array<int, DCTSIZE2> kZigzag{
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// The bits of a value's magnitude: its JPEG size category.
inline int magnitudeBits(int value) {
    const unsigned magnitude = static_cast<unsigned>(value < 0 ? -value : value);
    return magnitude == 0 ? 0 : 32 - __builtin_clz(magnitude);
}

} // namespace jpeg_block_parts
