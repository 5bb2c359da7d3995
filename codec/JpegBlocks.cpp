#include "codec/JpegBlocks.h"

#include "codec/JpegBlockParts.h"

#include "codec/JpegErrorManager.h"
#include "codec/JpegSplice.h"
#include "codec/JpegStreamAdapter.h"
#include "image/LxMemFile.h"

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <jerror.h>

namespace jpeg_block_parts {
unsigned roundUp(unsigned value, unsigned step) {
    return (value + step - 1) / step * step;
}

unsigned divideUp(std::uint64_t value, std::uint64_t by) {
    return static_cast<unsigned>((value + by - 1) / by);
}

void setText(char* text, const char* value) {
    std::strncpy(text, value, JMSG_LENGTH_MAX - 1);
    text[JMSG_LENGTH_MAX - 1] = '\0';
}
} // namespace jpeg_block_parts

using namespace jpeg_block_parts;

namespace {

// How each orientation turns the stored picture upright, in the terms of a
// lossless transform: whether rows and columns swap, and which of the
// stored edges move (and so must be whole MCUs for the turn to be exact).
struct Turn {
    bool transpose;   // stored columns become rows
    bool flipStoredX; // the stored x axis runs backwards
    bool flipStoredY; // the stored y axis runs backwards
};
constexpr std::array<Turn, 9> kTurns{{
    {false, false, false}, // unused
    {false, false, false}, // 1: as stored
    {false, true, false},  // 2: mirrored left to right
    {false, true, true},   // 3: half a turn
    {false, false, true},  // 4: mirrored top to bottom
    {true, false, false},  // 5: transposed
    {true, false, true},   // 6: a quarter turn clockwise
    {true, true, true},    // 7: transversed
    {true, true, false},   // 8: a quarter turn anticlockwise
}};

Turn turnOf(int orientation) {
    return orientation >= 1 && orientation <= 8 ? kTurns[static_cast<std::size_t>(orientation)]
                                                : kTurns[1];
}

// One block of a stored component turned the way `turn` turns the picture:
// transposed (coefficient u, v to v, u) and the odd frequencies of a
// reversed axis negated.
void turnBlock(const JCOEF* in, JCOEF* out, const Turn& turn) {
    if (!turn.transpose && !turn.flipStoredX && !turn.flipStoredY) {
        std::memcpy(out, in, sizeof(JBLOCK));
        return;
    }
    for (int v = 0; v < kDctSize; ++v) {
        for (int u = 0; u < kDctSize; ++u) {
            // (u, v) of the output: horizontal and vertical frequency.
            const int su = turn.transpose ? v : u;
            const int sv = turn.transpose ? u : v;
            JCOEF value = in[sv * kDctSize + su];
            if ((turn.flipStoredX && (su & 1)) != (turn.flipStoredY && (sv & 1)))
                value = static_cast<JCOEF>(-value);
            out[v * kDctSize + u] = value;
        }
    }
}

} // namespace

namespace jpeg_block_parts {
const char* unsupported(const jpeg_decompress_struct& src) {
    if (src.data_precision != 8)
        return "its samples are not 8-bit";
    const J_COLOR_SPACE space = src.jpeg_color_space;
    const bool known = (src.num_components == 1 && space == JCS_GRAYSCALE) ||
                       (src.num_components == 3 && (space == JCS_YCbCr || space == JCS_RGB)) ||
                       (src.num_components == 4 && (space == JCS_CMYK || space == JCS_YCCK));
    if (!known)
        return "its colour channels are of a kind that cannot be encoded again";
    for (int c = 0; c < src.num_components; ++c) {
        const jpeg_component_info& comp = src.comp_info[c];
        if (src.max_h_samp_factor % comp.h_samp_factor != 0 ||
            src.max_v_samp_factor % comp.v_samp_factor != 0)
            return "its colour sampling is not a whole ratio";
        // A decoder multiplies by any step; an encoder divides by it, times
        // eight in 16 bits, so a step of 0 or of 4,096 and more would divide
        // by zero. Real tables stay far below.
        const int table = comp.quant_tbl_no;
        if (table < 0 || table >= NUM_QUANT_TBLS || src.quant_tbl_ptrs[table] == nullptr)
            return "its quantization tables are missing";
        const UINT16* steps = src.quant_tbl_ptrs[table]->quantval;
        if (std::any_of(steps, steps + DCTSIZE2,
                        [](UINT16 step) { return step == 0 || step >= 4096; }))
            return "its quantization tables are damaged";
    }
    return nullptr;
}

BlockParams paramsOf(const jpeg_decompress_struct& src, bool transpose) {
    BlockParams p;
    p.space = src.jpeg_color_space;
    p.components = src.num_components;
    p.maxH = transpose ? src.max_v_samp_factor : src.max_h_samp_factor;
    p.maxV = transpose ? src.max_h_samp_factor : src.max_v_samp_factor;
    for (int c = 0; c < src.num_components; ++c) {
        const jpeg_component_info& comp = src.comp_info[c];
        p.h[c] = transpose ? comp.v_samp_factor : comp.h_samp_factor;
        p.v[c] = transpose ? comp.h_samp_factor : comp.v_samp_factor;
        p.quantNo[c] = comp.quant_tbl_no;
    }
    for (int t = 0; t < NUM_QUANT_TBLS; ++t) {
        const JQUANT_TBL* table = src.quant_tbl_ptrs[t];
        if (table == nullptr)
            continue;
        p.hasQuant[t] = true;
        for (int v = 0; v < kDctSize; ++v) {
            for (int u = 0; u < kDctSize; ++u) {
                p.quant[t][v * kDctSize + u] =
                    table->quantval[transpose ? u * kDctSize + v : v * kDctSize + u];
            }
        }
    }
    return p;
}

} // namespace jpeg_block_parts

namespace {
// The canvas rows handed to libjpeg: as they are for colour and grey, as
// inverted CMYK (red, green, blue, no black) for four-channel sources, which
// decode back to the same red, green and blue.
class RowFeeder {
public:
    RowFeeder(JpegCanvas& canvas, bool cmyk, std::uint32_t width)
        : canvas_(canvas), cmyk_(cmyk), converted_(cmyk ? std::size_t{width} * 4 : 0),
          width_(width) {}

    JSAMPROW row(std::uint32_t y) {
        const std::uint8_t* bgrx = canvas_.row(y);
        if (!cmyk_)
            return const_cast<JSAMPROW>(bgrx);
        for (std::uint32_t x = 0; x < width_; ++x) {
            converted_[4 * x] = bgrx[4 * x + 2];
            converted_[4 * x + 1] = bgrx[4 * x + 1];
            converted_[4 * x + 2] = bgrx[4 * x];
            converted_[4 * x + 3] = 0xFF;
        }
        return converted_.data();
    }

private:
    JpegCanvas& canvas_;
    bool cmyk_;
    std::vector<JSAMPLE> converted_;
    std::uint32_t width_;
};

// Sets an encoder up to give blocks of the source's look.
void configureLike(jpeg_compress_struct& cinfo, const BlockParams& p) {
    const bool cmyk = p.space == JCS_CMYK || p.space == JCS_YCCK;
    cinfo.input_components = 4;
    cinfo.in_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRX;
    jpeg_set_defaults(&cinfo);
    jpeg_set_colorspace(&cinfo, p.space);
    for (int c = 0; c < p.components; ++c) {
        cinfo.comp_info[c].h_samp_factor = p.h[c];
        cinfo.comp_info[c].v_samp_factor = p.v[c];
        cinfo.comp_info[c].quant_tbl_no = p.quantNo[c];
    }
    for (int t = 0; t < NUM_QUANT_TBLS; ++t) {
        if (!p.hasQuant[t])
            continue;
        if (cinfo.quant_tbl_ptrs[t] == nullptr)
            cinfo.quant_tbl_ptrs[t] =
                jpeg_alloc_quant_table(reinterpret_cast<j_common_ptr>(&cinfo));
        std::copy(p.quant[t].begin(), p.quant[t].end(), cinfo.quant_tbl_ptrs[t]->quantval);
        cinfo.quant_tbl_ptrs[t]->sent_table = FALSE;
    }
    cinfo.dct_method = JDCT_ISLOW;
}

} // namespace

namespace jpeg_block_parts {
bool encodeRows(LxFile* stream, const BlockParams& p, JpegCanvas& canvas, std::uint32_t width,
                std::uint32_t first, std::uint32_t end, const std::vector<JpegSegment>& markers,
                bool optimize, char* text) {
    JpegStreamAdapter adapter(stream);
    RowFeeder feeder(canvas, p.space == JCS_CMYK || p.space == JCS_YCCK, width);
    jpeg_compress_struct cinfo;
    JpegErrorManager error;
    cinfo.err = error.Install(text);
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    adapter.InstallDestination(&cinfo);
    cinfo.image_width = width;
    cinfo.image_height = end - first;
    configureLike(cinfo, p);
    cinfo.optimize_coding = optimize ? TRUE : FALSE;
    jpeg_start_compress(&cinfo, TRUE);
    for (const JpegSegment& m : markers) {
        jpeg_write_marker(&cinfo, m.marker, m.data.data(), static_cast<unsigned>(m.data.size()));
    }
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = feeder.row(first + cinfo.next_scanline);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

} // namespace jpeg_block_parts

namespace {
// The blocks of the copy: per component, the copy's grid and which of its
// blocks are encoded again.
struct ComponentPlan {
    unsigned widthInBlocks = 0;
    unsigned heightInBlocks = 0;
    unsigned cellsX = 1; // 8 x 8 pixel cells across one block
    unsigned cellsY = 1;
    std::vector<std::uint8_t> encode; // one per block, row by row
};

// Encodes canvas rows [first, end) (whole MCU rows, or up to the copy's
// end) and puts the planned blocks of that stretch into the copy's arrays.
bool encodeStretch(const BlockParams& p, JpegCanvas& canvas, std::uint32_t width,
                   std::uint32_t first, std::uint32_t end, std::vector<ComponentPlan>& plans,
                   j_common_ptr owner, jvirt_barray_ptr* arrays, char* text) {
    LxOwnedMemFile stretch;
    if (!encodeRows(&stretch, p, canvas, width, first, end, {}, false, text))
        return false;
    LxMemFile readBack(stretch.GetBufferPointer(false), static_cast<std::uint32_t>(stretch.Size()));
    JpegStreamAdapter adapter(&readBack);
    jpeg_decompress_struct cinfo;
    JpegErrorManager error;
    cinfo.err = error.Install(text);
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = kMaxLibraryMemory;
    adapter.InstallSource(&cinfo);
    jpeg_read_header(&cinfo, TRUE);
    jvirt_barray_ptr* fresh = jpeg_read_coefficients(&cinfo);
    const unsigned firstMcuRow = first / static_cast<unsigned>(p.maxV * kDctSize);
    for (int c = 0; c < p.components; ++c) {
        ComponentPlan& plan = plans[static_cast<std::size_t>(c)];
        const jpeg_component_info& comp = cinfo.comp_info[c];
        for (JDIMENSION row = 0; row < comp.height_in_blocks; ++row) {
            const unsigned by = firstMcuRow * static_cast<unsigned>(p.v[c]) + row;
            if (by >= plan.heightInBlocks)
                break;
            JBLOCKARRAY from = (*cinfo.mem->access_virt_barray)(
                reinterpret_cast<j_common_ptr>(&cinfo), fresh[c], row, 1, FALSE);
            JBLOCKARRAY to = (*owner->mem->access_virt_barray)(owner, arrays[c], by, 1, TRUE);
            const std::uint8_t* wanted = &plan.encode[std::size_t{by} * plan.widthInBlocks];
            for (unsigned bx = 0; bx < plan.widthInBlocks && bx < comp.width_in_blocks; ++bx) {
                if (wanted[bx])
                    std::memcpy(to[0][bx], from[0][bx], sizeof(JBLOCK));
            }
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

// Which symbols of each Huffman table have a code.
struct SymbolSet {
    std::array<bool, 256> has{};
};

SymbolSet symbolsOf(const JHUFF_TBL* table) {
    SymbolSet set;
    if (table == nullptr)
        return set;
    int count = 0;
    for (int length = 1; length <= 16; ++length)
        count += table->bits[length];
    for (int i = 0; i < std::min(count, 256); ++i)
        set.has[table->huffval[i]] = true;
    return set;
}

// Walks the copy's blocks in the order one interleaved scan (or, for one
// component, a raster scan) codes them, with the DC predictions reset at
// every restart: `block(c, coefficients, encoded, predicted)` for each, where
// `predicted` is the DC the block is coded against; false from it stops the
// walk with false.
template <typename Block>
bool walkCopyBlocks(j_common_ptr owner, unsigned restart, const BlockParams& p,
                    const std::vector<ComponentPlan>& plans, jvirt_barray_ptr* arrays,
                    std::uint32_t width, std::uint32_t height, Block block) {
    std::array<int, MAX_COMPONENTS> last{};
    const auto coded = [&](int c, const JCOEF* coef, bool encoded) {
        const auto k = static_cast<std::size_t>(c);
        const int predicted = last[k];
        last[k] = coef[0];
        return block(c, coef, encoded, predicted);
    };
    unsigned sinceRestart = 0;
    const auto nextMcu = [&] {
        if (restart != 0 && sinceRestart == restart) {
            last = {};
            sinceRestart = 0;
        }
        ++sinceRestart;
    };
    if (p.components == 1) {
        const ComponentPlan& plan = plans[0];
        for (unsigned by = 0; by < plan.heightInBlocks; ++by) {
            JBLOCKARRAY row = (*owner->mem->access_virt_barray)(owner, arrays[0], by, 1, FALSE);
            for (unsigned bx = 0; bx < plan.widthInBlocks; ++bx) {
                nextMcu();
                if (!coded(0, row[0][bx], plan.encode[std::size_t{by} * plan.widthInBlocks + bx]))
                    return false;
            }
        }
        return true;
    }
    const unsigned mcusWide = divideUp(width, static_cast<unsigned>(p.maxH * kDctSize));
    const unsigned mcusHigh = divideUp(height, static_cast<unsigned>(p.maxV * kDctSize));
    JBLOCK dummy{};
    for (unsigned my = 0; my < mcusHigh; ++my) {
        std::array<JBLOCKARRAY, MAX_COMPONENTS> rows{};
        for (int c = 0; c < p.components; ++c) {
            rows[static_cast<std::size_t>(c)] = (*owner->mem->access_virt_barray)(
                owner, arrays[c], my * static_cast<unsigned>(p.v[c]),
                static_cast<JDIMENSION>(p.v[c]), FALSE);
        }
        for (unsigned mx = 0; mx < mcusWide; ++mx) {
            nextMcu();
            for (int c = 0; c < p.components; ++c) {
                const ComponentPlan& plan = plans[static_cast<std::size_t>(c)];
                for (int yi = 0; yi < p.v[c]; ++yi) {
                    for (int xi = 0; xi < p.h[c]; ++xi) {
                        const unsigned bx =
                            mx * static_cast<unsigned>(p.h[c]) + static_cast<unsigned>(xi);
                        const unsigned by =
                            my * static_cast<unsigned>(p.v[c]) + static_cast<unsigned>(yi);
                        // Past the picture's edge the encoder codes a block
                        // of the last DC and no AC.
                        const bool inside = bx < plan.widthInBlocks && by < plan.heightInBlocks;
                        if (!inside) {
                            dummy[0] = static_cast<JCOEF>(last[static_cast<std::size_t>(c)]);
                            if (!coded(c, dummy, true))
                                return false;
                            continue;
                        }
                        const bool encoded =
                            plan.encode[std::size_t{by} * plan.widthInBlocks + bx] != 0;
                        if (!coded(c, rows[static_cast<std::size_t>(c)][yi][bx], encoded))
                            return false;
                    }
                }
            }
        }
    }
    return true;
}

// Whether the source's Huffman tables have a code for every symbol the copy
// will need. The source was one scan coded with these tables, so a kept
// block's AC symbols have codes; its DC difference may be new where its
// neighbour was encoded again or a restart moved. libjpeg does not check
// this for sequential files: a missing code would be written as nothing and
// the copy would not decode.
bool sourceTablesCover(j_common_ptr owner, const jpeg_decompress_struct& src, const BlockParams& p,
                       const std::vector<ComponentPlan>& plans, jvirt_barray_ptr* arrays,
                       std::uint32_t width, std::uint32_t height) {
    std::array<SymbolSet, MAX_COMPONENTS> dc{};
    std::array<SymbolSet, MAX_COMPONENTS> ac{};
    for (int c = 0; c < p.components; ++c) {
        const int dcNo = src.comp_info[c].dc_tbl_no;
        const int acNo = src.comp_info[c].ac_tbl_no;
        if (dcNo < 0 || dcNo >= NUM_HUFF_TBLS || acNo < 0 || acNo >= NUM_HUFF_TBLS ||
            src.dc_huff_tbl_ptrs[dcNo] == nullptr || src.ac_huff_tbl_ptrs[acNo] == nullptr)
            return false;
        dc[static_cast<std::size_t>(c)] = symbolsOf(src.dc_huff_tbl_ptrs[dcNo]);
        ac[static_cast<std::size_t>(c)] = symbolsOf(src.ac_huff_tbl_ptrs[acNo]);
    }
    const auto covered = [&](int c, const JCOEF* coef, bool encoded, int predicted) {
        const auto k = static_cast<std::size_t>(c);
        const int dcBits = magnitudeBits(coef[0] - predicted);
        if (dcBits > 11 || !dc[k].has[static_cast<std::size_t>(dcBits)])
            return false;
        if (!encoded)
            return true;
        int run = 0;
        for (int i = 1; i < DCTSIZE2; ++i) {
            const int value = coef[kZigzag[static_cast<std::size_t>(i)]];
            if (value == 0) {
                ++run;
                continue;
            }
            for (; run > 15; run -= 16) {
                if (!ac[k].has[0xF0])
                    return false;
            }
            const int bits = magnitudeBits(value);
            if (bits > 10 || !ac[k].has[static_cast<std::size_t>(run << 4 | bits)])
                return false;
            run = 0;
        }
        return run == 0 || ac[k].has[0x00];
    };
    return walkCopyBlocks(owner, src.restart_interval, p, plans, arrays, width, height, covered);
}

// Whether every DC difference of the copy fits what an arithmetic decoder
// reads (a magnitude of at most 32,768). libjpeg's arithmetic encoder writes
// larger ones without a word, and the copy would not decode; a Huffman
// encoder stops at them.
bool arithmeticDcFits(j_common_ptr owner, const jpeg_decompress_struct& src, const BlockParams& p,
                      const std::vector<ComponentPlan>& plans, jvirt_barray_ptr* arrays,
                      std::uint32_t width, std::uint32_t height) {
    return walkCopyBlocks(owner, src.restart_interval, p, plans, arrays, width, height,
                          [](int, const JCOEF* coef, bool, int predicted) {
                              const int difference = coef[0] - predicted;
                              return difference >= -32768 && difference <= 32768;
                          });
}

// Everything one copy holds; lives on the heap of the caller, so that what
// the recovery branch reads was not kept in a register across setjmp.
struct CopyState {
    jpeg_decompress_struct src;
    jpeg_compress_struct dst;
    JpegErrorManager error;
    bool srcMade = false;
    bool dstMade = false;
    char text[JMSG_LENGTH_MAX] = {};
    // Made after the recovery point, so kept here where a jump cannot skip
    // their destructors.
    std::vector<ComponentPlan> plans;
    std::vector<std::uint8_t> stretchRows;
};

void destroy(CopyState& s) {
    if (s.dstMade)
        jpeg_destroy_compress(&s.dst);
    if (s.srcMade)
        jpeg_destroy_decompress(&s.src);
    s.dstMade = false;
    s.srcMade = false;
}

// Reads the source's coefficients, fills the copy's arrays, and writes the
// copy: with the source's Huffman tables where they have every code the
// copy needs (the kept blocks then have their exact codes), otherwise with
// tables made for the copy.
bool writeCopy(CopyState& s, LxFile* out, const JpegBlockCopy& copy, JpegCanvas& canvas,
               JpegBlockCounts& counts) {
    JpegStreamAdapter outAdapter(out);
    s.src.err = s.error.Install(s.text);
    s.dst.err = &s.error.pub;
    if (setjmp(s.error.jump)) {
        destroy(s);
        return false;
    }
    jpeg_create_decompress(&s.src);
    s.srcMade = true;
    s.src.mem->max_memory_to_use = kMaxLibraryMemory;
    jpeg_mem_src(&s.src, copy.source, static_cast<unsigned long>(copy.sourceSize));
    jpeg_read_header(&s.src, TRUE);
    if (const char* why = unsupported(s.src)) {
        setText(s.text, why);
        destroy(s);
        return false;
    }
    const Turn turn = turnOf(copy.orientation);
    const BlockParams p = paramsOf(s.src, turn.transpose);
    const std::uint32_t photoWidth = turn.transpose ? s.src.image_height : s.src.image_width;
    const std::uint32_t photoHeight = turn.transpose ? s.src.image_width : s.src.image_height;
    const unsigned mcuWidth = static_cast<unsigned>(p.maxH * kDctSize);
    const unsigned mcuHeight = static_cast<unsigned>(p.maxV * kDctSize);
    const std::uint64_t wide = std::uint64_t{copy.leftColumns} + photoWidth + copy.rightColumns;
    if (copy.leftColumns % mcuWidth != 0 || copy.topRows % mcuHeight != 0 ||
        wide > JPEG_MAX_DIMENSION) {
        setText(s.text, "the photo does not sit on the copy's block grid");
        destroy(s);
        return false;
    }
    const auto width = static_cast<std::uint32_t>(wide);
    // Blocks of columns from here on are encoded again: a band right of the
    // photo takes its last, partial MCU column with it.
    const std::uint32_t keptRight =
        copy.leftColumns + (copy.rightColumns > 0 ? photoWidth / mcuWidth * mcuWidth : photoWidth);

    // The copy's grid, and the arrays it is written from: the source's own
    // when the copy has its shape, new ones (in the source's pool, realized
    // with its arrays) otherwise. New arrays start zeroed, so that the rows
    // that only round a component up to whole MCUs read as defined.
    const bool inPlace = copy.orientation == 1 && copy.topRows == 0 && copy.height == photoHeight &&
                         width == photoWidth;
    if ((turn.flipStoredX &&
         s.src.image_width % static_cast<unsigned>(s.src.max_h_samp_factor * kDctSize) != 0) ||
        (turn.flipStoredY &&
         s.src.image_height % static_cast<unsigned>(s.src.max_v_samp_factor * kDctSize) != 0)) {
        setText(s.text, "its size does not allow a lossless turn upright");
        destroy(s);
        return false;
    }
    std::vector<ComponentPlan>& plans = s.plans;
    plans.assign(static_cast<std::size_t>(p.components), ComponentPlan{});
    std::array<jvirt_barray_ptr, MAX_COMPONENTS> arrays{};
    auto* srcCommon = reinterpret_cast<j_common_ptr>(&s.src);
    for (int c = 0; c < p.components; ++c) {
        ComponentPlan& plan = plans[static_cast<std::size_t>(c)];
        plan.widthInBlocks = divideUp(std::uint64_t{width} * static_cast<unsigned>(p.h[c]),
                                      static_cast<unsigned>(p.maxH * kDctSize));
        plan.heightInBlocks =
            divideUp(std::uint64_t{copy.height} * static_cast<unsigned>(p.v[c]), mcuHeight);
        plan.cellsX = static_cast<unsigned>(p.maxH / p.h[c]);
        plan.cellsY = static_cast<unsigned>(p.maxV / p.v[c]);
        plan.encode.assign(std::size_t{plan.widthInBlocks} * plan.heightInBlocks, 0);
        if (!inPlace) {
            arrays[static_cast<std::size_t>(c)] = (*s.src.mem->request_virt_barray)(
                srcCommon, JPOOL_IMAGE, TRUE,
                roundUp(plan.widthInBlocks, static_cast<unsigned>(p.h[c])),
                roundUp(plan.heightInBlocks, static_cast<unsigned>(p.v[c])),
                static_cast<JDIMENSION>(p.v[c]));
        }
    }
    jvirt_barray_ptr* source = jpeg_read_coefficients(&s.src);
    if (s.error.pub.num_warnings != 0) {
        setText(s.text, "its compressed data is incomplete or damaged");
        destroy(s);
        return false;
    }
    if (inPlace) {
        for (int c = 0; c < p.components; ++c)
            arrays[static_cast<std::size_t>(c)] = source[c];
    }

    // Keep every block of the photo whose cells are unchanged; plan the rest.
    std::vector<std::uint8_t>& stretchRows = s.stretchRows;
    stretchRows.assign(divideUp(copy.height, mcuHeight), 0);
    const unsigned cellsWide = divideUp(width, kDctSize);
    const unsigned cellsHigh = divideUp(copy.height, kDctSize);
    counts = {};
    for (int c = 0; c < p.components; ++c) {
        ComponentPlan& plan = plans[static_cast<std::size_t>(c)];
        const jpeg_component_info& stored = s.src.comp_info[c];
        const unsigned blockRows = plan.cellsY * kDctSize;
        const unsigned topBlocks = copy.topRows / blockRows;
        const unsigned blockColumns = plan.cellsX * kDctSize;
        const unsigned leftBlocks = copy.leftColumns / blockColumns;
        for (unsigned by = 0; by < plan.heightInBlocks; ++by) {
            const std::uint32_t y = by * blockRows;
            const bool onPhoto =
                y >= copy.topRows && y < copy.redrawFrom && y < copy.topRows + photoHeight;
            JBLOCKARRAY to = inPlace
                                 ? nullptr
                                 : (*srcCommon->mem->access_virt_barray)(
                                       srcCommon, arrays[static_cast<std::size_t>(c)], by, 1, TRUE);
            for (unsigned bx = 0; bx < plan.widthInBlocks; ++bx) {
                const std::uint32_t x = bx * blockColumns;
                bool changed = !onPhoto || x < copy.leftColumns || x >= keptRight;
                const unsigned cellX = bx * plan.cellsX;
                const unsigned cellY = by * plan.cellsY;
                for (unsigned cy = cellY; !changed && cy < cellY + plan.cellsY && cy < cellsHigh;
                     ++cy) {
                    for (unsigned cx = cellX; cx < cellX + plan.cellsX && cx < cellsWide; ++cx) {
                        if (canvas.changed(cx, cy)) {
                            changed = true;
                            break;
                        }
                    }
                }
                if (changed) {
                    plan.encode[std::size_t{by} * plan.widthInBlocks + bx] = 1;
                    stretchRows[by / static_cast<unsigned>(p.v[c])] = 1;
                    ++counts.encoded;
                    continue;
                }
                ++counts.kept;
                if (inPlace)
                    continue;
                // The stored block under this block of the upright copy.
                const unsigned dx = bx - leftBlocks;
                const unsigned dy = by - topBlocks;
                unsigned sx = turn.transpose ? dy : dx;
                unsigned sy = turn.transpose ? dx : dy;
                if (turn.flipStoredX)
                    sx = stored.width_in_blocks - 1 - sx;
                if (turn.flipStoredY)
                    sy = stored.height_in_blocks - 1 - sy;
                JBLOCKARRAY from =
                    (*srcCommon->mem->access_virt_barray)(srcCommon, source[c], sy, 1, FALSE);
                turnBlock(from[0][sx], to[0][bx], turn);
            }
        }
    }

    // Encode the stretches of MCU rows that hold planned blocks.
    for (unsigned r = 0; r < stretchRows.size();) {
        if (!stretchRows[r]) {
            ++r;
            continue;
        }
        unsigned end = r;
        while (end < stretchRows.size() && stretchRows[end])
            ++end;
        const std::uint32_t first = r * mcuHeight;
        const std::uint32_t last = std::min<std::uint32_t>(end * mcuHeight, copy.height);
        if (!encodeStretch(p, canvas, width, first, last, plans, srcCommon, arrays.data(),
                           s.text)) {
            destroy(s);
            return false;
        }
        r = end;
    }

    jpeg_create_compress(&s.dst);
    s.dstMade = true;
    outAdapter.InstallDestination(&s.dst);
    jpeg_copy_critical_parameters(&s.src, &s.dst);
    s.dst.image_width = width;
    s.dst.image_height = copy.height;
    for (int c = 0; c < p.components; ++c) {
        s.dst.comp_info[c].h_samp_factor = p.h[c];
        s.dst.comp_info[c].v_samp_factor = p.v[c];
    }
    for (int t = 0; t < NUM_QUANT_TBLS; ++t) {
        if (p.hasQuant[t] && s.dst.quant_tbl_ptrs[t] != nullptr)
            std::copy(p.quant[t].begin(), p.quant[t].end(), s.dst.quant_tbl_ptrs[t]->quantval);
    }
    s.dst.restart_interval = s.src.restart_interval;
    s.dst.arith_code = s.src.arith_code;
    s.dst.optimize_coding = FALSE;
    if (s.src.arith_code &&
        !arithmeticDcFits(srcCommon, s.src, p, plans, arrays.data(), width, copy.height)) {
        setText(s.text, "its blocks' DC values lie too far apart to be coded again");
        destroy(s);
        return false;
    }
    if (!s.src.arith_code) {
        // One scan: its tables coded every block of the source.
        const bool sequential = !s.src.progressive_mode && s.src.input_scan_number == 1;
        if (sequential &&
            sourceTablesCover(srcCommon, s.src, p, plans, arrays.data(), width, copy.height)) {
            auto* dstCommon = reinterpret_cast<j_common_ptr>(&s.dst);
            for (int t = 0; t < NUM_HUFF_TBLS; ++t) {
                const std::array<std::pair<JHUFF_TBL*, JHUFF_TBL**>, 2> pairs{
                    {{s.src.dc_huff_tbl_ptrs[t], &s.dst.dc_huff_tbl_ptrs[t]},
                     {s.src.ac_huff_tbl_ptrs[t], &s.dst.ac_huff_tbl_ptrs[t]}}};
                for (const auto& [from, to] : pairs) {
                    if (from == nullptr)
                        continue;
                    if (*to == nullptr)
                        *to = jpeg_alloc_huff_table(dstCommon);
                    std::memcpy((*to)->bits, from->bits, sizeof from->bits);
                    std::memcpy((*to)->huffval, from->huffval, sizeof from->huffval);
                    (*to)->sent_table = FALSE;
                }
            }
            for (int c = 0; c < p.components; ++c) {
                s.dst.comp_info[c].dc_tbl_no = s.src.comp_info[c].dc_tbl_no;
                s.dst.comp_info[c].ac_tbl_no = s.src.comp_info[c].ac_tbl_no;
            }
        } else {
            s.dst.optimize_coding = TRUE;
        }
    }
    jpeg_write_coefficients(&s.dst, arrays.data());
    for (const JpegSegment& m : copy.markers) {
        jpeg_write_marker(&s.dst, m.marker, m.data.data(), static_cast<unsigned>(m.data.size()));
    }
    jpeg_finish_compress(&s.dst);
    jpeg_finish_decompress(&s.src);
    destroy(s);
    return true;
}
} // namespace

namespace {
// What a header says, in plain values, so that nothing with a destructor
// lives in the frame that libjpeg may jump back into.
struct HeaderFacts {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    unsigned mcuWidth = 8;
    unsigned mcuHeight = 8;
    const char* why = nullptr; // why the blocks cannot be kept
    BlockParams params;
};

bool readHeader(const std::uint8_t* data, std::size_t size, HeaderFacts& facts, char* text) {
    jpeg_decompress_struct cinfo;
    JpegErrorManager error;
    cinfo.err = error.Install(text);
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);
    facts.width = cinfo.image_width;
    facts.height = cinfo.image_height;
    facts.mcuWidth = static_cast<unsigned>(cinfo.max_h_samp_factor * kDctSize);
    facts.mcuHeight = static_cast<unsigned>(cinfo.max_v_samp_factor * kDctSize);
    facts.why = unsupported(cinfo);
    if (facts.why == nullptr)
        facts.params = paramsOf(cinfo, false);
    jpeg_destroy_decompress(&cinfo);
    return true;
}
} // namespace

JpegBlockGrid ReadJpegBlockGrid(const std::uint8_t* data, std::size_t size, int orientation) {
    JpegBlockGrid grid;
    if (data == nullptr || size == 0) {
        grid.cannotKeep = "there is no JPEG stream to keep";
        return grid;
    }
    char text[JMSG_LENGTH_MAX] = {};
    auto facts = std::make_unique<HeaderFacts>();
    if (!readHeader(data, size, *facts, text)) {
        grid.cannotKeep = std::string("its header cannot be read (") + text + ")";
        return grid;
    }
    const Turn turn = turnOf(orientation);
    grid.width = turn.transpose ? facts->height : facts->width;
    grid.height = turn.transpose ? facts->width : facts->height;
    grid.mcuWidth = turn.transpose ? facts->mcuHeight : facts->mcuWidth;
    grid.mcuHeight = turn.transpose ? facts->mcuWidth : facts->mcuHeight;
    if (facts->why != nullptr) {
        grid.cannotKeep = facts->why;
    } else if ((turn.flipStoredX && facts->width % facts->mcuWidth != 0) ||
               (turn.flipStoredY && facts->height % facts->mcuHeight != 0)) {
        grid.cannotKeep = "its size does not allow a lossless turn upright";
        grid.keepsStored = true;
    }
    return grid;
}

bool WriteJpegBlockCopy(std::vector<std::uint8_t>& out, const JpegBlockCopy& copy,
                        JpegCanvas& canvas, JpegBlockCounts& counts, std::string& error) {
    out.clear();
    if (copy.source == nullptr || copy.sourceSize == 0 || copy.height == 0 ||
        copy.redrawFrom < copy.topRows || copy.redrawFrom > copy.height) {
        error = "nothing to copy";
        return false;
    }
    // A one-scan Huffman source gives its coded data directly; any other,
    // or one whose data the splice finds wanting, goes through libjpeg's
    // coefficients. Neither leaves anything in `out` unless it succeeds.
    std::string notSpliced;
    bool asked = false;
    bool drawn = true;
    std::function<bool()> drawRest;
    if (copy.drawRest) {
        drawRest = [&] {
            if (!asked) {
                asked = true;
                drawn = copy.drawRest();
            }
            return drawn;
        };
    }
    if (copy.splice && SpliceJpegCopy(out, copy, canvas, counts, notSpliced, drawRest))
        return true;
    if (drawRest && !drawRest()) {
        error = "the captions could not be drawn";
        return false;
    }
    counts.handedOver = 0;
    auto written = std::make_unique<LxOwnedMemFile>();
    auto state = std::make_unique<CopyState>();
    if (!writeCopy(*state, written.get(), copy, canvas, counts)) {
        error = state->text;
        return false;
    }
    const std::uint8_t* bytes = written->GetBufferPointer(false);
    try {
        out.assign(bytes, bytes + written->Size());
    } catch (const std::bad_alloc&) {
        error = "there is not enough memory";
        return false;
    }
    return true;
}

bool WriteJpegBlockCopy(LxFile* out, const JpegBlockCopy& copy, JpegCanvas& canvas,
                        JpegBlockCounts& counts, std::string& error) {
    if (out == nullptr) {
        error = "nothing to copy";
        return false;
    }
    // The copy is made in memory and handed over whole, so that a failure
    // leaves `out` untouched for the caller's fresh encode.
    std::vector<std::uint8_t> written;
    if (!WriteJpegBlockCopy(written, copy, canvas, counts, error))
        return false;
    if (out->Write(written.data(), 1, written.size()) != written.size()) {
        error = "the copy could not be written";
        return false;
    }
    return true;
}

bool EncodeJpegLikeSource(LxFile* out, const std::uint8_t* source, std::size_t sourceSize,
                          JpegCanvas& canvas, std::uint32_t width, std::uint32_t height,
                          const std::vector<JpegSegment>& markers, std::string& error) {
    if (out == nullptr || source == nullptr || sourceSize == 0 || width == 0 || height == 0) {
        error = "nothing to encode";
        return false;
    }
    char text[JMSG_LENGTH_MAX] = {};
    auto facts = std::make_unique<HeaderFacts>();
    if (!readHeader(source, sourceSize, *facts, text)) {
        error = text;
        return false;
    }
    if (facts->why != nullptr) {
        error = facts->why;
        return false;
    }
    if (!encodeRows(out, facts->params, canvas, width, 0, height, markers, true, text)) {
        error = text;
        return false;
    }
    return true;
}
