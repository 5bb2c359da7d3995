#include "codec/JpegSplice.h"

#include "codec/JpegBlockParts.h"
#include "codec/JpegStreamAdapter.h"
#include "image/LargePages.h"
#include "image/LxFile.h"
#include "image/LxMemFile.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <csetjmp>
#include <cstring>
#include <memory>
#include <thread>

using namespace jpeg_block_parts;

namespace {
constexpr int kLookBits = 11;
constexpr int kMaxComponents = 4;
using Block = std::array<JCOEF, DCTSIZE2>;

// One Huffman table, for reading codes (a lookup of the first eleven bits,
// then the longest code of each length) and for writing them.
struct HuffTable {
    std::array<std::uint16_t, 1 << kLookBits> look{}; // length << 8 | symbol; 0: longer
    // For walking past AC coefficients: the bits that codes and their values
    // take together when they fit in the first eleven (0: read the next code
    // the long way), and how far they move along the block, with kEnds when
    // the block ends after them and kUnchecked for a run of sixteen zeros,
    // which may run past the block's end. [0] takes two codes at a time
    // where both fit, for positions from which the first cannot reach the
    // block's end (a block that ends on its last coefficient has no end
    // code); [1] one code at a time.
    std::array<std::array<std::uint8_t, 1 << kLookBits>, 2> skipBits{};
    std::array<std::array<std::uint8_t, 1 << kLookBits>, 2> skipAdvance{};
    // The last position from which two codes are taken at once: one code
    // moves at most sixteen places.
    static constexpr int kLastPairAt = DCTSIZE2 - 17;
    static constexpr std::uint8_t kEnds = 0x80;
    static constexpr std::uint8_t kUnchecked = 0x40;
    std::array<std::int32_t, 18> maxCode{};
    std::array<std::int32_t, 17> offset{};
    std::array<std::uint8_t, 256> values{};
    std::array<std::uint16_t, 256> code{};
    std::array<std::uint8_t, 256> length{}; // 0: the symbol has no code
};

// The canonical codes of a table as JPEG assigns them; false for a table
// that claims more codes of a length than there are, or (for DC) a symbol
// past 15: tables libjpeg refuses to read.
bool buildTable(const JHUFF_TBL& source, HuffTable& table, bool dc) {
    table.maxCode.fill(-1);
    std::uint32_t code = 0;
    int k = 0;
    for (int length = 1; length <= 16; ++length) {
        const int count = source.bits[length];
        table.offset[static_cast<std::size_t>(length)] = k - static_cast<std::int32_t>(code);
        for (int i = 0; i < count; ++i, ++code, ++k) {
            if (k >= 256 || code >= (1U << length))
                return false;
            const std::uint8_t symbol = source.huffval[k];
            if (dc && symbol > 15)
                return false;
            table.values[static_cast<std::size_t>(k)] = symbol;
            if (table.length[symbol] == 0) {
                table.length[symbol] = static_cast<std::uint8_t>(length);
                table.code[symbol] = static_cast<std::uint16_t>(code);
            }
            if (length <= kLookBits) {
                const unsigned spread = 1U << (kLookBits - length);
                for (unsigned j = 0; j < spread; ++j)
                    table.look[(code << (kLookBits - length)) | j] =
                        static_cast<std::uint16_t>(length << 8 | symbol);
            }
        }
        if (count > 0)
            table.maxCode[static_cast<std::size_t>(length)] = static_cast<std::int32_t>(code) - 1;
        code <<= 1;
    }
    table.maxCode[17] = 0x7FFFFFFF;
    if (!dc) {
        for (std::size_t i = 0; i < table.look.size(); ++i) {
            const std::uint16_t entry = table.look[i];
            const int length = entry >> 8;
            const int symbol = entry & 0xFF;
            const int run = symbol >> 4;
            const int size = symbol & 15;
            // Codes a block may not hold are left to the long way, which
            // refuses them.
            if (length == 0 || size > 10 || length + size > kLookBits)
                continue;
            if (size == 0 && run != 0 && run != 15)
                continue;
            table.skipBits[1][i] = static_cast<std::uint8_t>(length + size);
            table.skipAdvance[1][i] =
                static_cast<std::uint8_t>(size != 0   ? run + 1
                                          : run == 15 ? 16 | HuffTable::kUnchecked
                                                      : HuffTable::kEnds);
        }
        // Where a code with its value leaves room for the whole of the next
        // one, both are taken in one step (never a run of sixteen zeros,
        // whose end is not checked).
        const auto& single = table.skipBits[1];
        const auto& advance = table.skipAdvance[1];
        table.skipBits[0] = single;
        table.skipAdvance[0] = advance;
        for (std::size_t i = 0; i < single.size(); ++i) {
            const int first = single[i];
            if (first == 0 || first >= kLookBits || advance[i] >= HuffTable::kUnchecked)
                continue;
            const std::size_t next = (i << first) & (single.size() - 1);
            const int second = single[next];
            if (second == 0 || first + second > kLookBits || advance[next] & HuffTable::kUnchecked)
                continue;
            table.skipBits[0][i] = static_cast<std::uint8_t>(first + second);
            table.skipAdvance[0][i] = static_cast<std::uint8_t>(advance[i] + advance[next]);
        }
    }
    return true;
}

// Reads bits of the source's coded data with the stuffed zero bytes and the
// restart markers already taken out. Reads past the end give zero bits and
// are caught by `overrun`.
struct BitReader {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t next = 0;
    std::uint64_t buffer = 0;
    int count = 0;

    // Keeps at least 56 bits in the buffer: eight bytes at a time where
    // they are there (the bits of a part-byte taken along are the data's own
    // and are put there again by the next fill).
    void fill() {
        if (next + 8 <= size) {
            std::uint64_t word = 0;
            std::memcpy(&word, data + next, sizeof word);
            buffer |= __builtin_bswap64(word) >> count;
            const int bytes = (63 - count) >> 3;
            next += static_cast<std::size_t>(bytes);
            count += bytes * 8;
            return;
        }
        while (count <= 56) {
            buffer |= std::uint64_t{next < size ? data[next] : std::uint8_t{0}} << (56 - count);
            ++next;
            count += 8;
        }
    }
    unsigned peek(int n) const { return static_cast<unsigned>(buffer >> (64 - n)); }
    void skip(int n) {
        buffer <<= n;
        count -= n;
    }
    int take(int n) {
        const int value = static_cast<int>(peek(n));
        skip(n);
        return value;
    }
    std::uint64_t position() const {
        return std::uint64_t{next} * 8 - static_cast<unsigned>(count);
    }
    void seek(std::uint64_t bit) {
        next = static_cast<std::size_t>(bit / 8);
        buffer = 0;
        count = 0;
        fill();
        skip(static_cast<int>(bit % 8));
    }
    bool overrun() const { return position() > std::uint64_t{size} * 8; }
};

// A code longer than the look-up's bits, the long way.
__attribute__((noinline)) int decodeLongSymbol(BitReader& in, const HuffTable& table) {
    int length = kLookBits + 1;
    auto code = static_cast<std::int32_t>(in.peek(length));
    while (length <= 16 && code > table.maxCode[static_cast<std::size_t>(length)]) {
        ++length;
        code = static_cast<std::int32_t>(in.peek(length));
    }
    if (length > 16)
        return -1;
    in.skip(length);
    return table
        .values[static_cast<std::size_t>(code + table.offset[static_cast<std::size_t>(length)])];
}

// The next symbol; -1 for a code the table lacks. Inlined, so that the
// reader's state stays in registers through a block.
__attribute__((always_inline)) inline int decodeSymbol(BitReader& in, const HuffTable& table) {
    // A code and its extra bits take at most 16 + 11 bits.
    if (in.count < 32)
        in.fill();
    const std::uint16_t entry = table.look[in.peek(kLookBits)];
    if (entry != 0) {
        in.skip(entry >> 8);
        return entry & 0xFF;
    }
    return decodeLongSymbol(in, table);
}

int extend(int bits, int size) {
    return bits < (1 << (size - 1)) ? bits - (1 << size) + 1 : bits;
}

// Reads one block, its DC from `predicted`; with kStore, its coefficients
// into `out` in row order (the caller zeroes them). False for codes the tables lack and
// coefficients a sequential 8-bit scan cannot hold.
template <bool kStore, bool kCheckRange = true>
bool readBlockFrom(BitReader& in, const HuffTable& dc, const HuffTable& ac, int& predicted,
                   JCOEF* out);

// Reads with a copy of the reader, which the compiler keeps in registers.
template <bool kStore, bool kCheckRange = true>
bool readBlock(BitReader& in, const HuffTable& dc, const HuffTable& ac, int& predicted,
               JCOEF* out) {
    BitReader local = in;
    const bool read = readBlockFrom<kStore, kCheckRange>(local, dc, ac, predicted, out);
    in = local;
    return read;
}

template <bool kStore, bool kCheckRange>
bool readBlockFrom(BitReader& in, const HuffTable& dc, const HuffTable& ac, int& predicted,
                   JCOEF* out) {
    const int dcSize = decodeSymbol(in, dc);
    if (dcSize < 0 || dcSize > 11)
        return false;
    if (dcSize > 0)
        predicted += extend(in.take(dcSize), dcSize);
    if (kCheckRange && (predicted < -32767 || predicted > 32767))
        return false;
    if constexpr (kStore)
        out[0] = static_cast<JCOEF>(predicted);
    for (int k = 1; k < DCTSIZE2;) {
        if constexpr (!kStore) {
            // Most codes and their values are read in one step.
            if (in.count < 32)
                in.fill();
            const unsigned look = in.peek(kLookBits);
            const std::size_t one = k > HuffTable::kLastPairAt;
            const int bits = ac.skipBits[one][look];
            if (bits != 0) {
                const int step = ac.skipAdvance[one][look];
                in.skip(bits);
                k += step & (HuffTable::kUnchecked - 1);
                if (step >= HuffTable::kUnchecked) {
                    if (step & HuffTable::kUnchecked)
                        continue;
                    if (k > DCTSIZE2)
                        return false;
                    break;
                }
                if (k > DCTSIZE2)
                    return false;
                continue;
            }
        }
        const int symbol = decodeSymbol(in, ac);
        if (symbol < 0)
            return false;
        const int run = symbol >> 4;
        const int size = symbol & 15;
        if (size == 0) {
            if (run != 15)
                break;
            k += 16;
            continue;
        }
        k += run;
        if (k >= DCTSIZE2 || size > 10)
            return false;
        if constexpr (kStore)
            out[kZigzag[static_cast<std::size_t>(k)]] =
                static_cast<JCOEF>(extend(in.take(size), size));
        else
            in.skip(size);
        ++k;
    }
    return true;
}

// Writes bits after what `out` holds, stuffing a zero after every 0xFF
// byte; `finish` gives `out` its final size.
class BitWriter {
public:
    explicit BitWriter(std::vector<std::uint8_t>& out) : out_(out), at_(out.size()) {
        out_.resize(std::max<std::size_t>(out_.size() * 2, 1 << 16));
    }

    void put(std::uint32_t value, int n) {
        pending_ = (pending_ << n) | (value & ((std::uint64_t{1} << n) - 1));
        count_ += n;
        if (count_ < 8)
            return;
        room(8);
        while (count_ >= 8) {
            count_ -= 8;
            const auto byte = static_cast<std::uint8_t>(pending_ >> count_);
            out_[at_++] = byte;
            if (byte == 0xFF)
                out_[at_++] = 0;
        }
    }
    // Pads the last byte with one bits, as the standard asks before a marker.
    void align() {
        if (count_ > 0)
            put(0xFF, 8 - count_);
    }
    void marker(std::uint8_t code) {
        align();
        room(2);
        out_[at_++] = 0xFF;
        out_[at_++] = code;
    }
    void bytes(std::initializer_list<std::uint8_t> values) {
        room(values.size());
        for (std::uint8_t value : values)
            out_[at_++] = value;
    }
    // Bits [from, to) of `data`, as they are: 32 at a time, written as four
    // bytes at once where none of them is 0xFF.
    void copy(const std::uint8_t* data, std::uint64_t from, std::uint64_t to) {
        while (from < to && (from & 7) != 0) {
            const int n = static_cast<int>(std::min<std::uint64_t>(8 - (from & 7), to - from));
            const int shift = 8 - static_cast<int>(from & 7) - n;
            put(static_cast<std::uint32_t>(data[from / 8] >> shift), n);
            from += static_cast<unsigned>(n);
        }
        // Seven bytes at a time (with the fewer than eight bits pending, 63
        // bits fit), written at once where none of them is 0xFF; eight bytes
        // are read, so the last seven bytes of the data go the byte way.
        for (; to - from >= 64; from += 56) {
            std::uint64_t word = 0;
            std::memcpy(&word, data + from / 8, sizeof word);
            word = __builtin_bswap64(word) >> 8;
            pending_ = (pending_ << 56) | word;
            const std::uint64_t out = (pending_ >> count_) & 0x00FFFFFFFFFFFFFFULL;
            // Marks the bytes that are 0xFF (the top byte is always clear).
            const std::uint64_t inverted = ~out & 0x00FFFFFFFFFFFFFFULL;
            room(16);
            if (((inverted - 0x0101010101010101ULL) & ~inverted & 0x0080808080808080ULL) == 0) {
                const std::uint64_t big = __builtin_bswap64(out << 8);
                std::memcpy(&out_[at_], &big, sizeof big);
                at_ += 7;
            } else {
                for (int shift = 48; shift >= 0; shift -= 8) {
                    const auto byte = static_cast<std::uint8_t>(out >> shift);
                    out_[at_++] = byte;
                    if (byte == 0xFF)
                        out_[at_++] = 0;
                }
            }
        }
        for (; from < to; from += 8) {
            const int n = static_cast<int>(std::min<std::uint64_t>(8, to - from));
            put(static_cast<std::uint32_t>(data[from / 8] >> (8 - n)), n);
        }
    }
    void finish() { out_.resize(at_); }
    // Called before the bytes move to a larger block.
    void beforeMoving(std::function<void()> call) { beforeMoving_ = std::move(call); }
    // The bytes written whole so far.
    std::size_t written() const { return at_; }
    // Takes all the room the caller reserved now, so that the pages are
    // touched on this thread rather than by whoever writes next.
    void takeReserved() {
        if (out_.size() < out_.capacity())
            out_.resize(out_.capacity());
    }

private:
    // Grows by doubling, but not past the room the caller reserved while
    // that room suffices: a doubling past it would move a large copy's bytes
    // to a new block and clear its pages again.
    void room(std::size_t bytes) {
        if (at_ + 2 * bytes <= out_.size())
            return;
        std::size_t grown = out_.size() * 2 + 2 * bytes;
        if (at_ + 2 * bytes <= out_.capacity())
            grown = std::min(grown, out_.capacity());
        if (grown > out_.capacity() && beforeMoving_)
            beforeMoving_();
        out_.resize(grown);
    }

    std::vector<std::uint8_t>& out_;
    std::function<void()> beforeMoving_;
    std::size_t at_;
    std::uint64_t pending_ = 0;
    int count_ = 0;
};

// Runs of the source's bits to copy as they are: consecutive MCUs' bits are
// gathered into one run, which goes out before anything else is written.
class SourceRuns {
public:
    SourceRuns(BitWriter& out, const std::uint8_t* bits) : out_(out), bits_(bits) {}
    void add(std::uint64_t from, std::uint64_t to) {
        if (to_ != from) {
            flush();
            from_ = from;
        }
        to_ = to;
    }
    void flush() {
        if (to_ > from_)
            out_.copy(bits_, from_, to_);
        from_ = to_ = 0;
    }

private:
    BitWriter& out_;
    const std::uint8_t* bits_;
    std::uint64_t from_ = 0;
    std::uint64_t to_ = 0;
};

// The symbols a copy needed that its tables had no code for.
struct MissingCodes {
    std::array<bool, 256> dc{};
    std::array<bool, 256> ac{};
};

// Codes one block; a symbol without a code is noted in `missing` (and the
// output is then of no use until the tables have it). False for a
// coefficient out of an 8-bit scan's range.
bool writeBlock(BitWriter& out, const JCOEF* block, int& predicted, const HuffTable& dc,
                const HuffTable& ac, MissingCodes& missing) {
    const int diff = block[0] - predicted;
    predicted = block[0];
    const int dcSize = magnitudeBits(diff);
    if (dcSize > 11)
        return false;
    if (dc.length[static_cast<std::size_t>(dcSize)] == 0)
        missing.dc[static_cast<std::size_t>(dcSize)] = true;
    out.put(dc.code[static_cast<std::size_t>(dcSize)], dc.length[static_cast<std::size_t>(dcSize)]);
    if (dcSize > 0)
        out.put(static_cast<std::uint32_t>(diff < 0 ? diff - 1 : diff), dcSize);
    int run = 0;
    for (int k = 1; k < DCTSIZE2; ++k) {
        const int value = block[kZigzag[static_cast<std::size_t>(k)]];
        if (value == 0) {
            ++run;
            continue;
        }
        for (; run > 15; run -= 16) {
            missing.ac[0xF0] = missing.ac[0xF0] || ac.length[0xF0] == 0;
            out.put(ac.code[0xF0], ac.length[0xF0]);
        }
        const int size = magnitudeBits(value);
        const auto symbol = static_cast<std::size_t>(run << 4 | size);
        if (size > 10)
            return false;
        missing.ac[symbol] = missing.ac[symbol] || ac.length[symbol] == 0;
        out.put(ac.code[symbol], ac.length[symbol]);
        out.put(static_cast<std::uint32_t>(value < 0 ? value - 1 : value), size);
        run = 0;
    }
    if (run > 0) {
        missing.ac[0] = missing.ac[0] || ac.length[0] == 0;
        out.put(ac.code[0], ac.length[0]);
    }
    return true;
}

// Gives `missing` symbols codes in `table` without changing any code it
// has: canonical codes of a length depend only on the codes before them, so
// symbols added after the longest ones, at 16 bits, take the free room that
// follows. False when there is not room enough (the all-ones code stays
// unused, as the standard asks).
bool addCodes(JHUFF_TBL& table, std::array<bool, 256> missing) {
    std::uint32_t code = 0;
    int count = 0;
    for (int length = 1; length <= 16; ++length) {
        code = (code + table.bits[length]) << (length < 16 ? 1 : 0);
        count += table.bits[length];
    }
    for (int i = 0; i < std::min(count, 256); ++i)
        missing[table.huffval[i]] = false;
    int wanted = 0;
    for (bool m : missing)
        wanted += m ? 1 : 0;
    if (wanted == 0)
        return true;
    // `code` is now the first free 16-bit code.
    if (code + static_cast<std::uint32_t>(wanted) > 0xFFFF || count + wanted > 256 ||
        table.bits[16] + wanted > 255)
        return false;
    for (std::size_t symbol = 0; symbol < missing.size(); ++symbol) {
        if (missing[symbol])
            table.huffval[count++] = static_cast<UINT8>(symbol);
    }
    table.bits[16] = static_cast<UINT8>(table.bits[16] + wanted);
    return true;
}

// What the splice needs of the source's header, in plain values.
struct SourceHeader {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int components = 0;
    std::array<int, kMaxComponents> id{};
    std::array<int, kMaxComponents> h{};
    std::array<int, kMaxComponents> v{};
    std::array<int, kMaxComponents> quantNo{};
    std::array<int, kMaxComponents> dcNo{};
    std::array<int, kMaxComponents> acNo{};
    std::array<std::array<UINT16, DCTSIZE2>, NUM_QUANT_TBLS> quant{};
    std::array<JHUFF_TBL, NUM_HUFF_TBLS> dcTables{};
    std::array<JHUFF_TBL, NUM_HUFF_TBLS> acTables{};
    int maxH = 1;
    int maxV = 1;
    unsigned restart = 0;
    J_COLOR_SPACE space = JCS_UNKNOWN;
    bool sawJfif = false;
    std::uint8_t jfifMajor = 1;
    std::uint8_t jfifMinor = 1;
    std::uint8_t densityUnit = 0;
    std::uint16_t xDensity = 1;
    std::uint16_t yDensity = 1;
    std::size_t codedStart = 0; // where the scan's coded data begins
    BlockParams params;
    const char* why = nullptr;
};

struct HeaderState {
    jpeg_decompress_struct cinfo;
    JpegErrorManager error;
    char text[JMSG_LENGTH_MAX] = {};
};

bool readSourceHeader(HeaderState& s, const std::uint8_t* data, std::size_t size, SourceHeader& h) {
    s.cinfo.err = s.error.Install(s.text);
    if (setjmp(s.error.jump)) {
        jpeg_destroy_decompress(&s.cinfo);
        return false;
    }
    jpeg_create_decompress(&s.cinfo);
    jpeg_mem_src(&s.cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&s.cinfo, TRUE);
    const jpeg_decompress_struct& c = s.cinfo;
    h.why = unsupported(c);
    if (h.why == nullptr && (c.progressive_mode || c.arith_code))
        h.why = "it is not one Huffman-coded sequential scan";
    if (h.why == nullptr && (c.comps_in_scan != c.num_components || c.num_components > 4))
        h.why = "its components are coded in separate scans";
    if (h.why == nullptr && c.num_components == 1 &&
        (c.comp_info[0].h_samp_factor != 1 || c.comp_info[0].v_samp_factor != 1))
        h.why = "its one component declares a sampling";
    if (h.why == nullptr) {
        h.width = c.image_width;
        h.height = c.image_height;
        h.components = c.num_components;
        h.maxH = c.max_h_samp_factor;
        h.maxV = c.max_v_samp_factor;
        h.restart = c.restart_interval;
        h.space = c.jpeg_color_space;
        h.sawJfif = c.saw_JFIF_marker;
        h.jfifMajor = c.JFIF_major_version;
        h.jfifMinor = c.JFIF_minor_version;
        h.densityUnit = c.density_unit;
        h.xDensity = c.X_density;
        h.yDensity = c.Y_density;
        h.codedStart = size - c.src->bytes_in_buffer;
        h.params = paramsOf(c, false);
        for (int i = 0; i < c.num_components && h.why == nullptr; ++i) {
            const jpeg_component_info& comp = c.comp_info[i];
            const auto k = static_cast<std::size_t>(i);
            h.id[k] = comp.component_id;
            h.h[k] = comp.h_samp_factor;
            h.v[k] = comp.v_samp_factor;
            h.quantNo[k] = comp.quant_tbl_no;
            h.dcNo[k] = comp.dc_tbl_no;
            h.acNo[k] = comp.ac_tbl_no;
            if (comp.dc_tbl_no < 0 || comp.dc_tbl_no >= NUM_HUFF_TBLS || comp.ac_tbl_no < 0 ||
                comp.ac_tbl_no >= NUM_HUFF_TBLS || c.dc_huff_tbl_ptrs[comp.dc_tbl_no] == nullptr ||
                c.ac_huff_tbl_ptrs[comp.ac_tbl_no] == nullptr) {
                h.why = "its Huffman tables are missing";
                break;
            }
        }
        for (int t = 0; t < NUM_HUFF_TBLS; ++t) {
            if (c.dc_huff_tbl_ptrs[t] != nullptr)
                h.dcTables[static_cast<std::size_t>(t)] = *c.dc_huff_tbl_ptrs[t];
            if (c.ac_huff_tbl_ptrs[t] != nullptr)
                h.acTables[static_cast<std::size_t>(t)] = *c.ac_huff_tbl_ptrs[t];
        }
        for (int t = 0; t < NUM_QUANT_TBLS; ++t) {
            if (c.quant_tbl_ptrs[t] != nullptr)
                std::copy(c.quant_tbl_ptrs[t]->quantval, c.quant_tbl_ptrs[t]->quantval + DCTSIZE2,
                          h.quant[static_cast<std::size_t>(t)].begin());
        }
    }
    jpeg_destroy_decompress(&s.cinfo);
    return true;
}

// The source's coded data with its stuffing and restart markers taken out:
// where each restart marker stood (in bytes of the cleaned data) and its
// number, and the marker that ended the scan.
struct CleanData {
    std::vector<std::uint8_t> bytes;
    std::vector<std::pair<std::size_t, int>> restarts;
    int endMarker = -1;
};

void cleanCodedData(const std::uint8_t* data, std::size_t size, std::size_t at, CleanData& clean) {
    clean.bytes.reserve(size - at);
    AdviseLargePages(clean.bytes.data(), clean.bytes.capacity());
    while (at < size) {
        const auto* found =
            static_cast<const std::uint8_t*>(std::memchr(data + at, 0xFF, size - at));
        const std::size_t ff = found == nullptr ? size : static_cast<std::size_t>(found - data);
        clean.bytes.insert(clean.bytes.end(), data + at, data + ff);
        at = ff + 1;
        bool fill = false;
        while (at < size && data[at] == 0xFF) {
            ++at;
            fill = true;
        }
        if (at >= size)
            return;
        const std::uint8_t code = data[at++];
        if (code == 0x00) {
            // Fill bytes may stand only before a marker: decoders differ on
            // what "FF FF 00" means (libjpeg's fast path even leaves some
            // coefficients of its first try behind), so such data is
            // left to libjpeg's own reading.
            if (fill)
                return;
            clean.bytes.push_back(0xFF);
        } else if (code >= 0xD0 && code <= 0xD7) {
            clean.restarts.emplace_back(clean.bytes.size(), code - 0xD0);
        } else {
            clean.endMarker = code;
            return;
        }
    }
}

// Where each MCU of the source starts in the cleaned data and the DC of
// each component after it.
struct McuMark {
    std::uint64_t start = 0;
    std::array<std::int16_t, kMaxComponents> after{};
};

struct Layout {
    int components = 1;
    std::array<int, kMaxComponents> h{};
    std::array<int, kMaxComponents> v{};
    unsigned mcuWidth = 8; // pixels
    unsigned mcuHeight = 8;
    unsigned mcusWide = 0;
};

void appendMarker(std::vector<std::uint8_t>& out, std::uint8_t marker,
                  const std::vector<std::uint8_t>& payload) {
    AppendJpegSegment(out, marker, payload);
}

void appendHuffman(std::vector<std::uint8_t>& out, const JHUFF_TBL& table, int classAndIndex) {
    std::vector<std::uint8_t> payload{static_cast<std::uint8_t>(classAndIndex)};
    int count = 0;
    for (int length = 1; length <= 16; ++length) {
        payload.push_back(table.bits[length]);
        count += table.bits[length];
    }
    payload.insert(payload.end(), table.huffval, table.huffval + count);
    appendMarker(out, 0xC4, payload);
}

// The copy's header as libjpeg writes one for the source's parameters: SOI,
// JFIF or Adobe segment, the caller's segments, the quantization tables,
// the frame, the Huffman tables, the restart interval, the scan.
void appendHeader(std::vector<std::uint8_t>& out, const SourceHeader& h, std::uint32_t height,
                  const std::vector<JpegSegment>& markers) {
    out.insert(out.end(), {0xFF, 0xD8});
    if (h.space == JCS_GRAYSCALE || h.space == JCS_YCbCr) {
        const bool copyVersion = h.sawJfif && (h.jfifMajor == 1 || h.jfifMajor == 2);
        const std::uint16_t xd = h.sawJfif ? h.xDensity : 1;
        const std::uint16_t yd = h.sawJfif ? h.yDensity : 1;
        appendMarker(out, 0xE0,
                     {'J', 'F', 'I', 'F', 0, copyVersion ? h.jfifMajor : std::uint8_t{1},
                      copyVersion ? h.jfifMinor : std::uint8_t{1},
                      h.sawJfif ? h.densityUnit : std::uint8_t{0},
                      static_cast<std::uint8_t>(xd >> 8), static_cast<std::uint8_t>(xd),
                      static_cast<std::uint8_t>(yd >> 8), static_cast<std::uint8_t>(yd), 0, 0});
    } else {
        const std::uint8_t transform = h.space == JCS_YCCK ? 2 : 0;
        appendMarker(out, 0xEE, {'A', 'd', 'o', 'b', 'e', 0, 100, 0, 0, 0, 0, transform});
    }
    for (const JpegSegment& m : markers)
        appendMarker(out, m.marker, m.data);
    bool baseline = true;
    std::array<bool, NUM_QUANT_TBLS> sentQuant{};
    for (int c = 0; c < h.components; ++c) {
        const int t = h.quantNo[static_cast<std::size_t>(c)];
        const auto& table = h.quant[static_cast<std::size_t>(t)];
        const bool wide = std::any_of(table.begin(), table.end(), [](UINT16 q) { return q > 255; });
        baseline = baseline && !wide && h.dcNo[static_cast<std::size_t>(c)] <= 1 &&
                   h.acNo[static_cast<std::size_t>(c)] <= 1;
        if (sentQuant[static_cast<std::size_t>(t)])
            continue;
        sentQuant[static_cast<std::size_t>(t)] = true;
        std::vector<std::uint8_t> payload{static_cast<std::uint8_t>((wide ? 0x10 : 0) | t)};
        for (int i = 0; i < DCTSIZE2; ++i) {
            const UINT16 q = table[static_cast<std::size_t>(kZigzag[static_cast<std::size_t>(i)])];
            if (wide)
                payload.push_back(static_cast<std::uint8_t>(q >> 8));
            payload.push_back(static_cast<std::uint8_t>(q));
        }
        appendMarker(out, 0xDB, payload);
    }
    std::vector<std::uint8_t> frame{8,
                                    static_cast<std::uint8_t>(height >> 8),
                                    static_cast<std::uint8_t>(height),
                                    static_cast<std::uint8_t>(h.width >> 8),
                                    static_cast<std::uint8_t>(h.width),
                                    static_cast<std::uint8_t>(h.components)};
    for (int c = 0; c < h.components; ++c) {
        const auto k = static_cast<std::size_t>(c);
        frame.push_back(static_cast<std::uint8_t>(h.id[k]));
        frame.push_back(static_cast<std::uint8_t>(h.h[k] << 4 | h.v[k]));
        frame.push_back(static_cast<std::uint8_t>(h.quantNo[k]));
    }
    appendMarker(out, baseline ? 0xC0 : 0xC1, frame);
    std::array<bool, NUM_HUFF_TBLS> sentDc{};
    std::array<bool, NUM_HUFF_TBLS> sentAc{};
    for (int c = 0; c < h.components; ++c) {
        const auto dc = static_cast<std::size_t>(h.dcNo[static_cast<std::size_t>(c)]);
        const auto ac = static_cast<std::size_t>(h.acNo[static_cast<std::size_t>(c)]);
        if (!sentDc[dc])
            appendHuffman(out, h.dcTables[dc], static_cast<int>(dc));
        if (!sentAc[ac])
            appendHuffman(out, h.acTables[ac], 0x10 | static_cast<int>(ac));
        sentDc[dc] = sentAc[ac] = true;
    }
    if (h.restart != 0)
        appendMarker(
            out, 0xDD,
            {static_cast<std::uint8_t>(h.restart >> 8), static_cast<std::uint8_t>(h.restart)});
    std::vector<std::uint8_t> scan{static_cast<std::uint8_t>(h.components)};
    for (int c = 0; c < h.components; ++c) {
        const auto k = static_cast<std::size_t>(c);
        scan.push_back(static_cast<std::uint8_t>(h.id[k]));
        scan.push_back(static_cast<std::uint8_t>(h.dcNo[k] << 4 | h.acNo[k]));
    }
    scan.insert(scan.end(), {0, 63, 0});
    appendMarker(out, 0xDA, scan);
}

using Predictions = std::array<int, kMaxComponents>;

} // namespace

// The source's coded data walked once: where each MCU starts in the cleaned
// data and the DC of each component after it, with what reading it again
// needs. Read-only once made, so threads may share it.
struct JpegCodedIndex {
    const std::uint8_t* source = nullptr;
    std::size_t sourceSize = 0;
    SourceHeader header;
    Layout layout;
    CleanData clean;
    std::vector<McuMark> marks;
    std::vector<std::uint64_t> intervalEnds;
    std::array<HuffTable, kMaxComponents> dc;
    std::array<HuffTable, kMaxComponents> ac;
    unsigned mcusHigh = 0;
    std::size_t blocksPerMcu = 0;
    // The DC of every block, MCU by MCU in coding order, when asked for.
    std::vector<std::int16_t> dcs;

    // Where MCU `mcu`'s bits end: the next one's start, or the end of its
    // restart interval.
    std::uint64_t endOf(std::size_t mcu) const {
        const std::size_t next = mcu + 1;
        const unsigned restart = header.restart;
        if (next < marks.size() && (restart == 0 || next % restart != 0))
            return marks[next].start;
        return intervalEnds[restart == 0 ? 0 : (next - 1) / restart];
    }
    // The DC each component predicts from when MCU `mcu` starts.
    Predictions predictedBefore(std::size_t mcu) const {
        Predictions p{};
        if (mcu == 0 || (header.restart != 0 && mcu % header.restart == 0))
            return p;
        for (int c = 0; c < layout.components; ++c)
            p[static_cast<std::size_t>(c)] = marks[mcu - 1].after[static_cast<std::size_t>(c)];
        return p;
    }
    // The blocks of MCU `mcu`, component by component, with the source's
    // tables; false for damaged data.
    bool readMcu(BitReader& reader, std::size_t mcu, std::vector<Block>& blocks) const {
        reader.seek(marks[mcu].start);
        Predictions predicted = predictedBefore(mcu);
        std::size_t at = 0;
        for (int c = 0; c < layout.components; ++c) {
            const auto k = static_cast<std::size_t>(c);
            for (int b = 0; b < layout.h[k] * layout.v[k]; ++b, ++at) {
                blocks[at].fill(0);
                if (!readBlock<true>(reader, dc[k], ac[k], predicted[k], blocks[at].data()))
                    return false;
            }
        }
        return true;
    }
    // Adds MCU `mcu`'s own bits to `runs` when the copy predicts its DCs
    // from what the source does there, and moves the prediction past it.
    bool copyMcu(std::size_t mcu, Predictions& predicted, SourceRuns& runs) const {
        if (predictedBefore(mcu) != predicted)
            return false;
        runs.add(marks[mcu].start, endOf(mcu));
        for (int c = 0; c < layout.components; ++c)
            predicted[static_cast<std::size_t>(c)] = marks[mcu].after[static_cast<std::size_t>(c)];
        return true;
    }
    BitReader reader() const {
        BitReader r;
        r.data = clean.bytes.data();
        r.size = clean.bytes.size();
        return r;
    }
};

namespace {

// MCUs read from a bit position that need not be an MCU's start, with DC
// predictions from zero: once the reading falls in step with the true MCU
// starts (which only the caller can tell), its starts are the true ones and
// its DCs the true ones less a constant. Where the reading fails (as one out
// of step soon does) it starts again after that point. `low` and `high`
// keep the range each component's DC took within each MCU.
struct Guessed {
    using Values = std::array<std::int32_t, kMaxComponents>;
    std::vector<std::uint64_t> starts;
    std::vector<Values> after;
    std::vector<Values> low;
    std::vector<Values> high;
    std::vector<std::int32_t> dcs; // each block's, when asked for
    std::uint64_t end = 0;         // where the last MCU read ends
};

void guessMcus(const JpegCodedIndex& ix, std::uint64_t from, std::size_t limit,
               const std::atomic<bool>* stop, bool blockDcs, Guessed& g) noexcept {
    try {
        BitReader reader = ix.reader();
        const std::uint64_t dataEnd = std::uint64_t{reader.size} * 8;
        g.starts.reserve(limit / 2 + 1024);
        g.after.reserve(limit / 2 + 1024);
        g.low.reserve(limit / 2 + 1024);
        g.high.reserve(limit / 2 + 1024);
        reader.seek(from);
        Predictions predicted{};
        while (g.starts.size() < limit && reader.position() < dataEnd) {
            if (stop != nullptr && (g.starts.size() & 1023) == 0 &&
                stop->load(std::memory_order_relaxed)) {
                g.starts.clear();
                return;
            }
            const std::uint64_t start = reader.position();
            Guessed::Values low{};
            Guessed::Values high{};
            const std::size_t dcsBefore = g.dcs.size();
            bool read = true;
            for (int c = 0; c < ix.layout.components && read; ++c) {
                const auto k = static_cast<std::size_t>(c);
                low[k] = high[k] = predicted[k];
                for (int b = 0; b < ix.layout.h[k] * ix.layout.v[k] && read; ++b) {
                    read = readBlock<false, false>(reader, ix.dc[k], ix.ac[k], predicted[k],
                                                   nullptr) &&
                           predicted[k] > -(1 << 30) && predicted[k] < (1 << 30);
                    low[k] = std::min(low[k], predicted[k]);
                    high[k] = std::max(high[k], predicted[k]);
                    if (blockDcs)
                        g.dcs.push_back(predicted[k]);
                }
            }
            if (read && reader.overrun()) {
                g.dcs.resize(dcsBefore);
                break;
            }
            if (!read) {
                // Out of step: start again at the next byte.
                g.starts.clear();
                g.after.clear();
                g.low.clear();
                g.high.clear();
                g.dcs.clear();
                reader.seek((reader.position() / 8 + 1) * 8);
                predicted = {};
                continue;
            }
            g.starts.push_back(start);
            g.after.push_back(predicted);
            g.low.push_back(low);
            g.high.push_back(high);
            g.end = reader.position();
        }
    } catch (const std::bad_alloc&) {
        g.starts.clear();
    }
}

// Data smaller than this is walked in one go.
constexpr std::size_t kSplitBytes = std::size_t{1} << 20;

// One stretch of the copy's MCU rows encoded afresh: MCU columns
// [firstColumn, endColumn) of its rows (where its new blocks are), as a
// JPEG of the source's look, and the walk of that JPEG's coded data.
struct Stretch {
    unsigned firstRow = 0;
    unsigned endRow = 0;
    unsigned firstColumn = 0;
    unsigned endColumn = 0;
    std::unique_ptr<LxOwnedMemFile> encoded;
    std::shared_ptr<const JpegCodedIndex> index;
};

// The canvas from column `left` on, for encoding a stretch's columns.
class CanvasFrom : public JpegCanvas {
public:
    CanvasFrom(JpegCanvas& canvas, std::uint32_t left) : canvas_(canvas), left_(left) {}
    const std::uint8_t* row(std::uint32_t y) override {
        return canvas_.row(y) + std::size_t{left_} * 4;
    }
    bool changed(std::uint32_t cellX, std::uint32_t cellY) override {
        return canvas_.changed(cellX + left_ / kDctSize, cellY);
    }

private:
    JpegCanvas& canvas_;
    std::uint32_t left_;
};

// Walks the coded data. Data without restart markers is walked in two
// halves at once where it is large (or from `splitByte` of the cleaned data
// on, when given): the second half is read from its middle on before the
// first half's reading gets there, and taken once that reading meets one of
// its MCU starts.
// Takes the guessed MCUs from `j` on as MCUs `i` on, the DCs moved by what
// the walk predicts at `i`: false where a DC leaves the range a block can
// hold. `end` is where the last MCU ends.
bool takeGuessed(JpegCodedIndex& ix, const Guessed& g, std::size_t i, std::size_t j,
                 const Predictions& predicted, std::uint64_t& end) {
    const std::size_t total = ix.marks.size();
    Guessed::Values shift{};
    for (int c = 0; c < ix.layout.components; ++c) {
        const auto k = static_cast<std::size_t>(c);
        shift[k] = predicted[k] - (j > 0 ? g.after[j - 1][k] : 0);
    }
    const bool blockDcs = !ix.dcs.empty();
    for (std::size_t t = 0; i + t < total; ++t) {
        McuMark& mark = ix.marks[i + t];
        mark.start = g.starts[j + t];
        if (blockDcs) {
            std::size_t at = 0;
            for (int c = 0; c < ix.layout.components; ++c) {
                const auto k = static_cast<std::size_t>(c);
                for (int b = 0; b < ix.layout.h[k] * ix.layout.v[k]; ++b, ++at)
                    ix.dcs[(i + t) * ix.blocksPerMcu + at] =
                        static_cast<std::int16_t>(g.dcs[(j + t) * ix.blocksPerMcu + at] + shift[k]);
            }
        }
        for (int c = 0; c < ix.layout.components; ++c) {
            const auto k = static_cast<std::size_t>(c);
            const std::int64_t low = std::int64_t{g.low[j + t][k]} + shift[k];
            const std::int64_t high = std::int64_t{g.high[j + t][k]} + shift[k];
            if (low < -32767 || high > 32767)
                return false;
            mark.after[k] = static_cast<std::int16_t>(g.after[j + t][k] + shift[k]);
        }
    }
    const std::size_t last = j + (total - i);
    end = last < g.starts.size() ? g.starts[last] : g.end;
    return true;
}

bool indexCodedData(JpegCodedIndex& ix, const std::atomic<bool>* stop, std::string& why,
                    std::size_t splitByte, bool blockDcs) {
    auto state = std::make_unique<HeaderState>();
    if (!readSourceHeader(*state, ix.source, ix.sourceSize, ix.header)) {
        why = state->text;
        return false;
    }
    if (ix.header.why != nullptr) {
        why = ix.header.why;
        return false;
    }
    const SourceHeader& h = ix.header;
    Layout& layout = ix.layout;
    layout.components = h.components;
    if (h.components == 1) {
        layout.h[0] = layout.v[0] = 1;
    } else {
        layout.h = h.h;
        layout.v = h.v;
        layout.mcuWidth = static_cast<unsigned>(h.maxH * kDctSize);
        layout.mcuHeight = static_cast<unsigned>(h.maxV * kDctSize);
    }
    layout.mcusWide = divideUp(h.width, layout.mcuWidth);
    ix.mcusHigh = divideUp(h.height, layout.mcuHeight);
    for (int c = 0; c < h.components; ++c) {
        const auto k = static_cast<std::size_t>(c);
        ix.blocksPerMcu += static_cast<std::size_t>(layout.h[k] * layout.v[k]);
        if (!buildTable(h.dcTables[static_cast<std::size_t>(h.dcNo[k])], ix.dc[k], true) ||
            !buildTable(h.acTables[static_cast<std::size_t>(h.acNo[k])], ix.ac[k], false)) {
            why = "its Huffman tables are damaged";
            return false;
        }
    }

    cleanCodedData(ix.source, ix.sourceSize, h.codedStart, ix.clean);
    if (ix.clean.endMarker != 0xD9) {
        why = "its coded data does not end where the picture does";
        return false;
    }
    const std::size_t total = std::size_t{layout.mcusWide} * ix.mcusHigh;
    ix.marks.resize(total);
    if (blockDcs)
        ix.dcs.resize(total * ix.blocksPerMcu);
    BitReader reader = ix.reader();
    reader.seek(0);
    Predictions predicted{};
    std::size_t restarts = 0;

    if (splitByte == kAutoSplit)
        splitByte = ix.clean.bytes.size() >= kSplitBytes && std::thread::hardware_concurrency() > 1
                        ? ix.clean.bytes.size() / 2
                        : 0;
    const bool split = h.restart == 0 && splitByte > 0 && splitByte < ix.clean.bytes.size();
    const std::uint64_t middle = std::uint64_t{splitByte} * 8;
    Guessed guessed;
    std::jthread second;
    if (split)
        second = std::jthread([&] { guessMcus(ix, middle, total, stop, blockDcs, guessed); });
    std::size_t j = 0;
    std::uint64_t end = 0;
    bool taken = false;
    for (std::size_t i = 0; i < total; ++i) {
        if (split && reader.position() >= middle) {
            if (second.joinable())
                second.join();
            const std::uint64_t start = reader.position();
            while (j < guessed.starts.size() && guessed.starts[j] < start)
                ++j;
            if (j < guessed.starts.size() && guessed.starts[j] == start &&
                guessed.starts.size() - j >= total - i) {
                if (!takeGuessed(ix, guessed, i, j, predicted, end)) {
                    why = "its coded data is damaged";
                    return false;
                }
                taken = true;
                break;
            }
        }
        if (stop != nullptr && i % layout.mcusWide == 0 && stop->load(std::memory_order_relaxed)) {
            why = "the walk was stopped";
            return false;
        }
        if (h.restart != 0 && i > 0 && i % h.restart == 0) {
            ix.intervalEnds.push_back(reader.position());
            const std::uint64_t aligned = (reader.position() + 7) / 8 * 8;
            if (restarts >= ix.clean.restarts.size() ||
                ix.clean.restarts[restarts].first * 8 != aligned ||
                ix.clean.restarts[restarts].second != static_cast<int>(restarts % 8)) {
                why = "its restart markers are out of order";
                return false;
            }
            ++restarts;
            reader.seek(aligned);
            predicted = {};
        }
        ix.marks[i].start = reader.position();
        std::int16_t* dcs = blockDcs ? &ix.dcs[i * ix.blocksPerMcu] : nullptr;
        for (int c = 0; c < layout.components; ++c) {
            const auto k = static_cast<std::size_t>(c);
            const int blocks = layout.h[k] * layout.v[k];
            for (int b = 0; b < blocks; ++b) {
                if (!readBlock<false>(reader, ix.dc[k], ix.ac[k], predicted[k], nullptr)) {
                    why = "its coded data is damaged";
                    return false;
                }
                if (dcs != nullptr)
                    *dcs++ = static_cast<std::int16_t>(predicted[k]);
            }
            ix.marks[i].after[k] = static_cast<std::int16_t>(predicted[k]);
        }
        if (reader.overrun()) {
            why = "its coded data is incomplete";
            return false;
        }
    }
    if (!taken)
        end = reader.position();
    ix.intervalEnds.push_back(end);
    // Only the last byte's padding may follow the last MCU.
    if (restarts != ix.clean.restarts.size() || end > ix.clean.bytes.size() * 8 ||
        ix.clean.bytes.size() * 8 - end >= 8) {
        why = "its coded data does not end where the picture does";
        return false;
    }
    return true;
}

// Everything one splice holds, on the heap. The source's walk is shared; its
// header and tables are the splice's own, since codes may be added to them.
// The copy is written in two steps: the MCU rows above a given row, then the
// rest; each step plans, encodes and writes only its own rows, so the first
// needs only its rows of the canvas drawn.
class Splice {
public:
    Splice(const JpegBlockCopy& copy, std::shared_ptr<const JpegCodedIndex> index,
           JpegCanvas& canvas, JpegBlockCounts& counts)
        : copy_(copy), index_(std::move(index)), canvas_(canvas), counts_(counts),
          header_(index_->header), layout_(index_->layout), dc_(index_->dc), ac_(index_->ac),
          sourceMcusHigh_(index_->mcusHigh), reader_(index_->reader()) {}
    ~Splice() { takeBack(); }
    Splice(const Splice&) = delete;
    Splice& operator=(const Splice&) = delete;

    // Writes the MCU rows that lie wholly above row `end` of the copy, and
    // encodes those wholly below the photo.
    bool begin(std::uint32_t end, std::string& why);
    // Writes the rest (again, with codes added to the tables, when new
    // blocks needed symbols the source never used) and hands the copy over.
    bool finish(std::vector<std::uint8_t>& out, std::string& why);

private:
    bool setUp(std::string& why);
    bool planBlocks(unsigned firstRow, unsigned endRow);
    bool encodeStretches(std::size_t first, std::string& why);
    void startScan();
    // Waits until the bytes handed over are no longer read.
    void takeBack();
    bool writeScan(unsigned firstRow, unsigned endRow, std::string& why);
    bool addMissingCodes(bool& added, std::string& why);
    bool readStretchMcu(unsigned row, unsigned column, std::vector<Block>& blocks) const;
    bool mcuPlanned(unsigned row, unsigned column) const;

    const JpegBlockCopy& copy_;
    std::shared_ptr<const JpegCodedIndex> index_;
    JpegCanvas& canvas_;
    JpegBlockCounts& counts_;
    SourceHeader header_;
    Layout layout_;
    std::array<HuffTable, kMaxComponents> dc_;
    std::array<HuffTable, kMaxComponents> ac_;
    std::array<std::vector<std::uint8_t>, kMaxComponents> planned_;
    std::array<unsigned, kMaxComponents> widthInBlocks_{};
    std::array<unsigned, kMaxComponents> heightInBlocks_{};
    std::vector<std::uint8_t> cells_; // per 8 x 8 cell: 0 kept, 1 changed, 2 not asked yet
    std::vector<int> stretchOfRow_;   // per MCU row of the copy, -1 for none
    std::vector<Stretch> stretches_;
    unsigned sourceMcusHigh_ = 0;
    unsigned topMcuRows_ = 0;
    unsigned copyMcusHigh_ = 0;
    unsigned rowsWritten_ = 0;
    // The MCU rows `begin` left for `finish` to plan.
    std::pair<unsigned, unsigned> rowsPlanned_;
    std::size_t handedOver_ = 0;
    bool lent_ = false; // bytes handed over may still be read
    BitReader reader_;
    // The scan as far as it is written.
    std::vector<std::uint8_t> out_;
    std::unique_ptr<BitWriter> writer_;
    std::unique_ptr<SourceRuns> runs_;
    Predictions predicted_{};
    std::uint64_t restarts_ = 0;
    std::array<MissingCodes, kMaxComponents> missing_{};
    std::vector<Block> source_;
    std::vector<Block> fresh_;
};

bool Splice::setUp(std::string& why) {
    const unsigned mcuHeight = layout_.mcuHeight;
    if (copy_.topRows % mcuHeight != 0 || copy_.height > 65500) {
        why = "the copy's rows do not fall on the source's blocks";
        return false;
    }
    topMcuRows_ = copy_.topRows / mcuHeight;
    copyMcusHigh_ = divideUp(copy_.height, mcuHeight);
    stretchOfRow_.assign(copyMcusHigh_, -1);
    const std::uint32_t width = header_.width;
    for (int c = 0; c < layout_.components; ++c) {
        const auto k = static_cast<std::size_t>(c);
        widthInBlocks_[k] =
            divideUp(std::uint64_t{width} * static_cast<unsigned>(layout_.h[k]), layout_.mcuWidth);
        heightInBlocks_[k] =
            divideUp(std::uint64_t{copy_.height} * static_cast<unsigned>(layout_.v[k]), mcuHeight);
        planned_[k].assign(std::size_t{widthInBlocks_[k]} * heightInBlocks_[k], 0);
    }
    // Each cell is asked once, though several components' blocks cover it.
    cells_.assign(std::size_t{divideUp(width, kDctSize)} * divideUp(copy_.height, kDctSize), 2);
    source_.resize(index_->blocksPerMcu);
    fresh_.resize(index_->blocksPerMcu);
    return true;
}

// Which blocks of MCU rows [firstRow, endRow) of the copy are new: every
// block off the photo or from `redrawFrom` on, and every block of the photo
// with a changed cell. The rows with new blocks become stretches.
bool Splice::planBlocks(unsigned firstRow, unsigned endRow) {
    const unsigned mcuHeight = layout_.mcuHeight;
    // Per MCU row, the MCU columns that hold new blocks.
    std::vector<unsigned> rowFirst(copyMcusHigh_, layout_.mcusWide);
    std::vector<unsigned> rowEnd(copyMcusHigh_, 0);
    const unsigned cellsWide = divideUp(header_.width, kDctSize);
    const unsigned cellsHigh = divideUp(copy_.height, kDctSize);
    const unsigned maxH = layout_.mcuWidth / kDctSize;
    const unsigned maxV = mcuHeight / kDctSize;
    const auto cellChanged = [&](unsigned cx, unsigned cy) {
        std::uint8_t& known = cells_[std::size_t{cy} * cellsWide + cx];
        if (known == 2)
            known = canvas_.changed(cx, cy) ? 1 : 0;
        return known == 1;
    };
    // Cells outside these the canvas says are unchanged, so the blocks there
    // are counted as kept without asking.
    const JpegCanvas::Cells asked = canvas_.changedCells();
    for (int c = 0; c < layout_.components; ++c) {
        const auto k = static_cast<std::size_t>(c);
        const auto h = static_cast<unsigned>(layout_.h[k]);
        const auto v = static_cast<unsigned>(layout_.v[k]);
        const unsigned cellsX = maxH / h;
        const unsigned cellsY = maxV / v;
        const unsigned endBlockRow = std::min(endRow * v, heightInBlocks_[k]);
        for (unsigned by = firstRow * v; by < endBlockRow; ++by) {
            const std::uint32_t y = by * cellsY * kDctSize;
            const bool onPhoto =
                y >= copy_.topRows && y < copy_.redrawFrom && y < copy_.topRows + header_.height;
            const bool rowAsked = by * cellsY < asked.bottom && (by + 1) * cellsY > asked.top;
            if (onPhoto && !rowAsked) {
                counts_.kept += widthInBlocks_[k];
                continue;
            }
            for (unsigned bx = 0; bx < widthInBlocks_[k]; ++bx) {
                if (onPhoto && (bx * cellsX >= asked.right || (bx + 1) * cellsX <= asked.left)) {
                    ++counts_.kept;
                    continue;
                }
                bool changed = !onPhoto;
                for (unsigned cy = by * cellsY;
                     !changed && cy < (by + 1) * cellsY && cy < cellsHigh; ++cy) {
                    for (unsigned cx = bx * cellsX; cx < (bx + 1) * cellsX && cx < cellsWide;
                         ++cx) {
                        if (cellChanged(cx, cy)) {
                            changed = true;
                            break;
                        }
                    }
                }
                if (changed) {
                    planned_[k][std::size_t{by} * widthInBlocks_[k] + bx] = 1;
                    const unsigned row = by / v;
                    rowFirst[row] = std::min(rowFirst[row], bx / h);
                    rowEnd[row] = std::max(rowEnd[row], bx / h + 1);
                    ++counts_.encoded;
                } else {
                    ++counts_.kept;
                }
            }
        }
    }
    // Runs of rows with new blocks, each encoded as one stretch of the
    // columns its rows need; rows new from edge to edge (bands) and rows new
    // in part (captions on the photo) go in stretches of their own.
    const auto whole = [&](unsigned r) {
        return rowFirst[r] == 0 && rowEnd[r] == layout_.mcusWide;
    };
    for (unsigned r = firstRow; r < endRow;) {
        if (rowEnd[r] == 0) {
            ++r;
            continue;
        }
        Stretch stretch;
        stretch.firstRow = r;
        stretch.firstColumn = rowFirst[r];
        stretch.endColumn = rowEnd[r];
        unsigned end = r + 1;
        while (end < endRow && rowEnd[end] > 0 && whole(end) == whole(r)) {
            stretch.firstColumn = std::min(stretch.firstColumn, rowFirst[end]);
            stretch.endColumn = std::max(stretch.endColumn, rowEnd[end]);
            ++end;
        }
        stretch.endRow = end;
        stretches_.push_back(std::move(stretch));
        for (unsigned i = r; i < end; ++i)
            stretchOfRow_[i] = static_cast<int>(stretches_.size() - 1);
        r = end;
    }
    return true;
}

// Encodes stretches [first, end) with libjpeg and walks what it wrote.
bool Splice::encodeStretches(std::size_t first, std::string& why) {
    char text[JMSG_LENGTH_MAX] = {};
    for (std::size_t i = first; i < stretches_.size(); ++i) {
        Stretch& stretch = stretches_[i];
        const std::uint32_t top = stretch.firstRow * layout_.mcuHeight;
        const std::uint32_t bottom =
            std::min<std::uint32_t>(stretch.endRow * layout_.mcuHeight, copy_.height);
        const std::uint32_t left = stretch.firstColumn * layout_.mcuWidth;
        const std::uint32_t right =
            std::min<std::uint32_t>(stretch.endColumn * layout_.mcuWidth, header_.width);
        CanvasFrom columns(canvas_, left);
        stretch.encoded = std::make_unique<LxOwnedMemFile>();
        if (!encodeRows(stretch.encoded.get(), header_.params, columns, right - left, top, bottom,
                        {}, false, text)) {
            why = text;
            return false;
        }
        stretch.index = IndexJpegCodedData(stretch.encoded->GetBufferPointer(false),
                                           static_cast<std::size_t>(stretch.encoded->Size()), why);
        if (!stretch.index)
            return false;
        const Layout& made = stretch.index->layout;
        if (made.components != layout_.components || made.h != layout_.h || made.v != layout_.v ||
            made.mcusWide != stretch.endColumn - stretch.firstColumn ||
            stretch.index->mcusHigh != stretch.endRow - stretch.firstRow) {
            why = "the new blocks do not fall on the photo's";
            return false;
        }
    }
    return true;
}

// The new blocks of MCU (column, row) of the copy into `blocks`.
bool Splice::readStretchMcu(unsigned row, unsigned column, std::vector<Block>& blocks) const {
    const int index = stretchOfRow_[row];
    if (index < 0)
        return false;
    const Stretch& stretch = stretches_[static_cast<std::size_t>(index)];
    if (column < stretch.firstColumn || column >= stretch.endColumn)
        return false;
    BitReader reader = stretch.index->reader();
    const std::size_t mcu =
        std::size_t{row - stretch.firstRow} * (stretch.endColumn - stretch.firstColumn) +
        (column - stretch.firstColumn);
    return stretch.index->readMcu(reader, mcu, blocks);
}

// Whether MCU (column, row) of the copy holds a block encoded afresh.
bool Splice::mcuPlanned(unsigned row, unsigned column) const {
    if (stretchOfRow_[row] < 0)
        return false;
    for (int c = 0; c < layout_.components; ++c) {
        const auto k = static_cast<std::size_t>(c);
        const auto h = static_cast<unsigned>(layout_.h[k]);
        const auto v = static_cast<unsigned>(layout_.v[k]);
        for (unsigned by = row * v; by < (row + 1) * v && by < heightInBlocks_[k]; ++by) {
            for (unsigned bx = column * h; bx < (column + 1) * h && bx < widthInBlocks_[k]; ++bx) {
                if (planned_[k][std::size_t{by} * widthInBlocks_[k] + bx])
                    return true;
            }
        }
    }
    return false;
}

// A fresh start of the copy: the header, with the tables as they are now,
// and an empty scan.
void Splice::takeBack() {
    if (lent_ && copy_.takeBack)
        copy_.takeBack();
    lent_ = false;
}

void Splice::startScan() {
    takeBack();
    writer_.reset();
    runs_.reset();
    out_.clear();
    out_.reserve(copy_.sourceSize + copy_.sourceSize / 8 + 65536);
    AdviseLargePages(out_.data(), out_.capacity());
    appendHeader(out_, header_, copy_.height, copy_.markers);
    writer_ = std::make_unique<BitWriter>(out_);
    runs_ = std::make_unique<SourceRuns>(*writer_, index_->clean.bytes.data());
    predicted_ = {};
    restarts_ = 0;
    missing_ = {};
    rowsWritten_ = 0;
}

// Writes MCU rows [firstRow, endRow) of the copy after those written.
bool Splice::writeScan(unsigned firstRow, unsigned endRow, std::string& why) {
    const unsigned wide = layout_.mcusWide;
    const unsigned restart = header_.restart;
    const JpegCodedIndex& ix = *index_;
    BitWriter& out = *writer_;
    SourceRuns& runs = *runs_;
    Predictions& predicted = predicted_;
    for (unsigned m = firstRow; m < endRow; ++m) {
        const bool onSource = m >= topMcuRows_ && m - topMcuRows_ < sourceMcusHigh_;
        const std::size_t sourceRow = onSource ? m - topMcuRows_ : 0;
        for (unsigned mx = 0; mx < wide; ++mx) {
            const std::uint64_t j = std::uint64_t{m} * wide + mx;
            if (restart != 0 && j > 0 && j % restart == 0) {
                runs.flush();
                out.marker(static_cast<std::uint8_t>(0xD0 + (restarts_++ & 7)));
                predicted = {};
            }
            const std::size_t i = sourceRow * wide + mx;
            if (!onSource && stretchOfRow_[m] < 0) {
                why = "a row of the copy has no blocks";
                return false;
            }
            if (onSource && !mcuPlanned(m, mx)) {
                if (ix.copyMcu(i, predicted, runs))
                    continue;
            }
            runs.flush();
            bool haveSource = false;
            bool haveFresh = false;
            std::size_t at = 0;
            for (int c = 0; c < layout_.components; ++c) {
                const auto k = static_cast<std::size_t>(c);
                for (int yi = 0; yi < layout_.v[k]; ++yi) {
                    for (int xi = 0; xi < layout_.h[k]; ++xi, ++at) {
                        const unsigned bx =
                            mx * static_cast<unsigned>(layout_.h[k]) + static_cast<unsigned>(xi);
                        const unsigned by =
                            m * static_cast<unsigned>(layout_.v[k]) + static_cast<unsigned>(yi);
                        const bool inside = bx < widthInBlocks_[k] && by < heightInBlocks_[k];
                        const Block* block = nullptr;
                        if ((inside && planned_[k][std::size_t{by} * widthInBlocks_[k] + bx]) ||
                            !onSource) {
                            if (!haveFresh && !readStretchMcu(m, mx, fresh_)) {
                                why = "a new block is missing";
                                return false;
                            }
                            haveFresh = true;
                            block = &fresh_[at];
                        } else {
                            if (!haveSource && !ix.readMcu(reader_, i, source_)) {
                                why = "its coded data is damaged";
                                return false;
                            }
                            haveSource = true;
                            block = &source_[at];
                        }
                        if (block == nullptr || !writeBlock(out, block->data(), predicted[k],
                                                            dc_[k], ac_[k], missing_[k])) {
                            why = "a new block has coefficients out of range";
                            return false;
                        }
                    }
                }
            }
        }
    }
    rowsWritten_ = endRow;
    return true;
}

// Gives the tables codes for the symbols the new blocks needed and they
// lacked; `added` tells whether there were any.
bool Splice::addMissingCodes(bool& added, std::string& why) {
    added = false;
    for (int c = 0; c < layout_.components; ++c) {
        const auto k = static_cast<std::size_t>(c);
        const bool dcMissing =
            std::find(missing_[k].dc.begin(), missing_[k].dc.end(), true) != missing_[k].dc.end();
        const bool acMissing =
            std::find(missing_[k].ac.begin(), missing_[k].ac.end(), true) != missing_[k].ac.end();
        if (!dcMissing && !acMissing)
            continue;
        added = true;
        if (!addCodes(header_.dcTables[static_cast<std::size_t>(header_.dcNo[k])],
                      missing_[k].dc) ||
            !addCodes(header_.acTables[static_cast<std::size_t>(header_.acNo[k])],
                      missing_[k].ac)) {
            why = "the photo's Huffman tables have no room for the codes the new blocks need";
            return false;
        }
    }
    if (!added)
        return true;
    for (int c = 0; c < layout_.components; ++c) {
        const auto k = static_cast<std::size_t>(c);
        dc_[k] = HuffTable{};
        ac_[k] = HuffTable{};
        if (!buildTable(header_.dcTables[static_cast<std::size_t>(header_.dcNo[k])], dc_[k],
                        true) ||
            !buildTable(header_.acTables[static_cast<std::size_t>(header_.acNo[k])], ac_[k],
                        false)) {
            why = "the photo's Huffman tables have no room for the codes the new blocks need";
            return false;
        }
    }
    return true;
}

bool Splice::begin(std::uint32_t end, std::string& why) {
    if (!setUp(why))
        return false;
    const unsigned rows = std::min(end / layout_.mcuHeight, copyMcusHigh_);
    // The MCU rows wholly below the photo (a band) need nothing of it
    // either: they are planned and encoded here too, and written in turn.
    const unsigned below = std::max(
        rows, std::min(copyMcusHigh_,
                       divideUp(std::uint64_t{copy_.topRows} + header_.height, layout_.mcuHeight)));
    if (!planBlocks(0, rows) || !planBlocks(below, copyMcusHigh_) || !encodeStretches(0, why))
        return false;
    rowsPlanned_ = {rows, below};
    startScan();
    if (!writeScan(0, rows, why))
        return false;
    if (rows > 0) {
        if (copy_.handOver) {
            runs_->flush();
            handedOver_ = writer_->written();
            lent_ = true;
            writer_->beforeMoving([this] { takeBack(); });
            copy_.handOver(out_.data(), handedOver_);
        }
        writer_->takeReserved();
    }
    return true;
}

bool Splice::finish(std::vector<std::uint8_t>& out, std::string& why) {
    const std::size_t planned = stretches_.size();
    if (!planBlocks(rowsPlanned_.first, rowsPlanned_.second) || !encodeStretches(planned, why) ||
        !writeScan(rowsWritten_, copyMcusHigh_, why))
        return false;
    runs_->flush();
    writer_->align();
    // New blocks may need symbols the source never used; a second pass
    // writes them with the codes added to its tables.
    bool added = false;
    if (!addMissingCodes(added, why))
        return false;
    if (added) {
        handedOver_ = 0;
        startScan();
        if (!writeScan(0, copyMcusHigh_, why))
            return false;
        runs_->flush();
        writer_->align();
        if (!addMissingCodes(added, why))
            return false;
        if (added) {
            why = "the photo's Huffman tables have no room for the codes the new blocks need";
            return false;
        }
    }
    writer_->bytes({0xFF, 0xD9});
    writer_->finish();
    writer_.reset();
    runs_.reset();
    out = std::move(out_);
    counts_.handedOver = handedOver_;
    return true;
}
} // namespace

std::shared_ptr<const JpegCodedIndex> IndexJpegCodedData(const std::uint8_t* source,
                                                         std::size_t size, std::string& why,
                                                         const std::atomic<bool>* stop,
                                                         std::size_t splitByte, bool blockDcs) {
    if (source == nullptr || size == 0) {
        why = "nothing to read";
        return nullptr;
    }
    try {
        auto index = std::make_shared<JpegCodedIndex>();
        index->source = source;
        index->sourceSize = size;
        if (!indexCodedData(*index, stop, why, splitByte, blockDcs))
            return nullptr;
        return index;
    } catch (const std::bad_alloc&) {
        why = "there is not enough memory";
        return nullptr;
    }
}

bool IndexedJpegIs(const JpegCodedIndex& index, const std::uint8_t* source, std::size_t size) {
    return index.source == source && index.sourceSize == size;
}

unsigned IndexedJpegMcuHeight(const JpegCodedIndex& index) {
    return index.layout.mcuHeight;
}

namespace {
bool thinRows(const JpegCodedIndex& ix, const std::vector<std::uint8_t>& keepRows,
              std::vector<std::uint8_t>& out, std::string& why) {
    if (keepRows.size() != ix.mcusHigh) {
        why = "the rows do not match the picture";
        return false;
    }
    // The stand-in is as tall as the kept rows, the last one cut where the
    // picture ends when it is the picture's last.
    const unsigned mcuHeight = ix.layout.mcuHeight;
    std::uint32_t height = 0;
    for (unsigned m = 0; m < ix.mcusHigh; ++m) {
        if (keepRows[m])
            height += std::min(mcuHeight, ix.header.height - m * mcuHeight);
    }
    if (height == 0) {
        why = "no rows are kept";
        return false;
    }
    try {
        out.clear();
        out.reserve(ix.sourceSize / 4 + 65536);
        // Without restart markers: the prediction is carried across the
        // rows left out instead.
        SourceHeader header = ix.header;
        header.restart = 0;
        appendHeader(out, header, height, {});
        BitWriter writer(out);
        BitReader reader = ix.reader();
        std::vector<Block> blocks(ix.blocksPerMcu);
        MissingCodes missing;
        Predictions predicted{};
        SourceRuns runs(writer, ix.clean.bytes.data());
        const unsigned wide = ix.layout.mcusWide;
        for (unsigned m = 0; m < ix.mcusHigh; ++m) {
            if (!keepRows[m])
                continue;
            for (unsigned mx = 0; mx < wide; ++mx) {
                const std::size_t i = std::size_t{m} * wide + mx;
                if (ix.copyMcu(i, predicted, runs))
                    continue;
                runs.flush();
                // The MCU's own blocks, their DC from where this stream is.
                if (!ix.readMcu(reader, i, blocks)) {
                    why = "its coded data is damaged";
                    return false;
                }
                std::size_t at = 0;
                for (int c = 0; c < ix.layout.components; ++c) {
                    const auto k = static_cast<std::size_t>(c);
                    for (int b = 0; b < ix.layout.h[k] * ix.layout.v[k]; ++b, ++at) {
                        if (!writeBlock(writer, blocks[at].data(), predicted[k], ix.dc[k], ix.ac[k],
                                        missing)) {
                            why = "its coded data is damaged";
                            return false;
                        }
                    }
                }
            }
        }
        runs.flush();
        writer.align();
        writer.bytes({0xFF, 0xD9});
        writer.finish();
        if (std::find(missing.dc.begin(), missing.dc.end(), true) != missing.dc.end() ||
            std::find(missing.ac.begin(), missing.ac.end(), true) != missing.ac.end()) {
            why = "its Huffman tables lack a code the rows need";
            return false;
        }
        return true;
    } catch (const std::bad_alloc&) {
        why = "there is not enough memory";
        return false;
    }
}
} // namespace

bool ThinJpegRows(const JpegCodedIndex& index, const std::vector<std::uint8_t>& keepRows,
                  std::vector<std::uint8_t>& out, std::string& why) {
    if (thinRows(index, keepRows, out, why))
        return true;
    out.clear();
    return false;
}

bool SpliceJpegCopy(std::vector<std::uint8_t>& out, const JpegBlockCopy& copy, JpegCanvas& canvas,
                    JpegBlockCounts& counts, std::string& why,
                    const std::function<bool()>& drawRest) {
    if (copy.source == nullptr || copy.sourceSize == 0 || copy.height == 0 ||
        copy.redrawFrom < copy.topRows || copy.redrawFrom > copy.height) {
        why = "nothing to copy";
        return false;
    }
    if (copy.orientation != 1) {
        why = "the copy is turned";
        return false;
    }
    if (copy.leftColumns != 0 || copy.rightColumns != 0) {
        why = "the copy has columns beside the photo";
        return false;
    }
    JpegBlockCounts planned;
    std::vector<std::uint8_t> written;
    try {
        std::shared_ptr<const JpegCodedIndex> index = copy.index;
        if (!index || !IndexedJpegIs(*index, copy.source, copy.sourceSize))
            index = IndexJpegCodedData(copy.source, copy.sourceSize, why);
        if (!index)
            return false;
        auto splice = std::make_unique<Splice>(copy, std::move(index), canvas, planned);
        // The rows above the first the canvas lacks are written while the
        // caller draws the rest.
        std::uint32_t ready = 0;
        if (drawRest) {
            const JpegCanvas::Cells cells = canvas.changedCells();
            ready = static_cast<std::uint32_t>(
                std::min<std::uint64_t>(std::uint64_t{cells.top} * kDctSize, copy.redrawFrom));
        }
        bool begun = false;
        if (ready > 0) {
            std::string beginWhy;
            std::jthread above([&] {
                try {
                    begun = splice->begin(ready, beginWhy);
                } catch (const std::bad_alloc&) {
                    beginWhy = "there is not enough memory";
                }
            });
            const bool drawn = drawRest();
            above.join();
            if (!drawn) {
                why = "the captions could not be drawn";
                return false;
            }
            if (!begun)
                why = beginWhy;
        } else {
            if (drawRest && !drawRest()) {
                why = "the captions could not be drawn";
                return false;
            }
            begun = splice->begin(0, why);
        }
        if (!begun || !splice->finish(written, why))
            return false;
    } catch (const std::bad_alloc&) {
        why = "there is not enough memory";
        return false;
    }
    out = std::move(written);
    counts = planned;
    counts.spliced = true;
    return true;
}

namespace {
// Takes the header's frame and segments and stops the decode there.
class HeaderOnly : public JpegRowSink {
public:
    bool begin(const JpegFrame& frame, const JpegKeptSegments&) override {
        this->frame = frame;
        read = true;
        return false;
    }
    std::uint8_t* directRow(std::uint32_t) override { return nullptr; }
    void rows(std::uint32_t, std::uint32_t, const std::uint8_t* const*) override {}

    JpegFrame frame;
    bool read = false;
};

std::uint8_t clampSample(int value) {
    return static_cast<std::uint8_t>(std::clamp(value, 0, 255));
}
} // namespace

bool DecodeJpegDcRows(const std::uint8_t* data, std::size_t size, JpegRowSink& sink,
                      JpegKeptSegments& kept, std::string& error) {
    if (data == nullptr || size == 0 || size > 0x7FFF0000u) {
        error = "nothing to read";
        return false;
    }
    HeaderOnly header;
    LxMemFile stream(const_cast<std::uint8_t*>(data), static_cast<std::uint32_t>(size));
    DecodeJpegRows(&stream, header, kept, error, JpegDecodeOptions{});
    if (!header.read)
        return false;
    const auto index = IndexJpegCodedData(data, size, error, nullptr, kAutoSplit, true);
    if (!index)
        return false;
    const JpegCodedIndex& ix = *index;
    const SourceHeader& h = ix.header;
    if (!(h.components == 1 || (h.components == 3 && h.space == JCS_YCbCr))) {
        error = "its colours are not grey or YCbCr";
        return false;
    }
    JpegFrame frame = header.frame;
    frame.width = divideUp(h.width, kDctSize);
    frame.height = divideUp(h.height, kDctSize);
    frame.pixelBytes = 4;
    sink.scaleDenominator(h.width, h.height);
    if (!sink.begin(frame, kept)) {
        error = sink.refusal;
        return false;
    }
    const Layout& layout = ix.layout;
    const auto maxH = static_cast<unsigned>(layout.mcuWidth / kDctSize);
    const auto maxV = static_cast<unsigned>(layout.mcuHeight / kDctSize);
    // Where each component's blocks start within an MCU, and its DC scale.
    std::array<std::size_t, kMaxComponents> offset{};
    std::array<int, kMaxComponents> quant{};
    for (int c = 0, at = 0; c < h.components; ++c) {
        const auto k = static_cast<std::size_t>(c);
        offset[k] = static_cast<std::size_t>(at);
        at += layout.h[k] * layout.v[k];
        quant[k] = h.quant[static_cast<std::size_t>(h.quantNo[k])][0];
    }
    // Where each output column's block of each component is within a row
    // of MCUs, and where each output row's row of blocks starts.
    std::array<std::vector<std::size_t>, kMaxComponents> column;
    std::array<std::size_t, kMaxComponents> rowStart{};
    for (int c = 0; c < h.components; ++c) {
        const auto k = static_cast<std::size_t>(c);
        const auto ch = static_cast<unsigned>(layout.h[k]);
        column[k].resize(frame.width);
        for (std::uint32_t x = 0; x < frame.width; ++x) {
            const unsigned bx = x * ch / maxH;
            column[k][x] = std::size_t{bx / ch} * ix.blocksPerMcu + bx % ch;
        }
    }
    // A block's DC as the sample libjpeg's 1/8 decode gives.
    const auto sample = [&](std::size_t k, std::uint32_t x) {
        return ((ix.dcs[rowStart[k] + column[k][x]] * quant[k] + 4) >> 3) + 128;
    };
    std::vector<std::uint8_t> row(std::size_t{frame.width} * 4);
    for (std::uint32_t y = 0; y < frame.height; ++y) {
        for (int c = 0; c < h.components; ++c) {
            const auto k = static_cast<std::size_t>(c);
            const auto ch = static_cast<unsigned>(layout.h[k]);
            const auto cv = static_cast<unsigned>(layout.v[k]);
            const unsigned by = y * cv / maxV;
            rowStart[k] = std::size_t{by / cv} * layout.mcusWide * ix.blocksPerMcu + offset[k] +
                          std::size_t{by % cv} * ch;
        }
        std::uint8_t* out = sink.directRow(y);
        std::uint8_t* target = out != nullptr ? out : row.data();
        for (std::uint32_t x = 0; x < frame.width; ++x) {
            std::uint8_t* pixel = target + std::size_t{x} * 4;
            const int luma = sample(0, x);
            if (h.components == 1) {
                pixel[0] = pixel[1] = pixel[2] = clampSample(luma);
            } else {
                const int cb = sample(1, x) - 128;
                const int cr = sample(2, x) - 128;
                const int yy = std::clamp(luma, 0, 255);
                pixel[2] = clampSample(yy + ((91881 * cr + 32768) >> 16));
                pixel[1] = clampSample(yy - ((22554 * cb + 46802 * cr - 32768) >> 16));
                pixel[0] = clampSample(yy + ((116130 * cb + 32768) >> 16));
            }
            pixel[3] = 0xFF;
        }
        if (out == nullptr) {
            const std::uint8_t* const rows[] = {row.data()};
            sink.rows(y, 1, rows);
        }
    }
    return true;
}
