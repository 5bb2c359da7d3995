#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class LxFile;

// Row-by-row JPEG decoding and encoding in 32-bit pixels (blue, green, red,
// then a byte that is 0xFF on decode and ignored on encode: the memory order
// of an opaque RGB32 QImage). These serve callers that place the pixels
// themselves: no LxImage block, so no second copy of the picture and no
// block size limit. Both report failure by result and an error text.

// An application segment kept from a JPEG's header: APP1 (EXIF, XMP),
// APP2 (ICC profile) or APP13 (Photoshop resources with IPTC).
struct JpegSegment {
    std::uint8_t marker = 0;
    std::vector<std::uint8_t> data; // the payload after the length field
};

// Appends a segment whole: its marker, its length field and its payload
// (which must leave the length within 16 bits).
inline void AppendJpegSegment(std::vector<std::uint8_t>& out, std::uint8_t marker,
                              const std::vector<std::uint8_t>& data) {
    const std::size_t length = data.size() + 2;
    out.push_back(0xFF);
    out.push_back(marker);
    out.push_back(static_cast<std::uint8_t>(length >> 8));
    out.push_back(static_cast<std::uint8_t>(length));
    out.insert(out.end(), data.begin(), data.end());
}

// The segments of a run of whole segments (marker, length, payload), as
// AppendJpegSegment writes them; stops at the first byte that does not start
// a whole segment.
inline std::vector<JpegSegment> SplitJpegSegments(const std::uint8_t* bytes, std::size_t size) {
    std::vector<JpegSegment> segments;
    std::size_t at = 0;
    while (at + 4 <= size && bytes[at] == 0xFF) {
        const std::size_t length = std::size_t{bytes[at + 2]} << 8 | bytes[at + 3];
        if (length < 2 || at + 2 + length > size)
            break;
        JpegSegment segment;
        segment.marker = bytes[at + 1];
        segment.data.assign(bytes + at + 4, bytes + at + 2 + length);
        segments.push_back(std::move(segment));
        at += 2 + length;
    }
    return segments;
}

// The segments kept while reading a header, in file order. Kept bytes stop at
// a budget: a segment that would pass it is skipped and `overBudget` set.
struct JpegKeptSegments {
    static constexpr std::size_t kDefaultBudget = std::size_t{1} << 20;
    static constexpr std::size_t kMaxSegments = 1024;

    std::size_t budget = kDefaultBudget;
    std::size_t keptBytes = 0;
    std::vector<JpegSegment> segments;
    bool overBudget = false;
};

// What the header says of the picture, at the size it is decoded to.
struct JpegFrame {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int components = 0;
    bool progressive = false;
    // Bytes a decoded pixel takes (see JpegDecodeOptions).
    int pixelBytes = 4;
    // The JFIF density: unit (0 none, 1 inch, 2 cm) and values.
    int densityUnit = 0;
    unsigned xDensity = 1;
    unsigned yDensity = 1;
};

// How rows are decoded.
struct JpegDecodeOptions {
    // Four bytes a pixel (blue, green, red, 0xFF), or compact: one grey
    // byte for a grey picture and blue, green, red for any other.
    bool compact = false;
    // 1, 2, 4 or 8: libjpeg's reduced decode, each side divided by it.
    unsigned scaleDenominator = 1;
    long maxLibraryMemory = 1L << 30;
};

// Where decoded rows go. Its calls must not throw.
class JpegRowSink {
public:
    virtual ~JpegRowSink() = default;
    // Called once after the header, before libjpeg or the sink allocates
    // anything picture-sized. False stops the decode with `refusal` as the
    // error text.
    virtual bool begin(const JpegFrame& frame, const JpegKeptSegments& kept) = 0;
    // The picture is decoded at 1/n of the stored size (n = 1, 2, 4 or 8),
    // scaled by libjpeg in the DCT domain with its fast inverse DCT and
    // plain upsampling: a quick look, several times faster than a whole
    // decode. Asked before begin(), whose frame is then the scaled size. Any
    // other answer decodes the whole picture exactly.
    virtual unsigned scaleDenominator(std::uint32_t storedWidth, std::uint32_t storedHeight) {
        (void)storedWidth;
        (void)storedHeight;
        return 1;
    }
    // Storage for stored row y (width x 4 bytes) that the decoder may fill
    // directly, or null to receive every row through rows(). Asked for row 0
    // first; a sink either gives every row or none.
    virtual std::uint8_t* directRow(std::uint32_t y) = 0;
    // `count` stored rows from `first` on, top first.
    virtual void rows(std::uint32_t first, std::uint32_t count,
                      const std::uint8_t* const* rows) = 0;
    // Whether stored row y is wanted at all: rows that are not are skipped
    // (libjpeg still reads their coded data, but spends no transform or
    // colour conversion on them) and never handed over. Every row by
    // default.
    virtual bool wants(std::uint32_t /*y*/) { return true; }
    // The columns [first, end) of a row the sink wants, asked once the
    // frame is known. A sink with direct rows that wants fewer than all gets
    // at least those (libjpeg widens them to whole blocks), each at its
    // place in the row, and the rest of the row untouched; others get whole
    // rows. Every column by default.
    virtual std::pair<std::uint32_t, std::uint32_t> columns(std::uint32_t width) {
        return {0, width};
    }
    // Asked between batches of rows: true stops the decode there (a
    // failure, "stopped"), for a job that was cancelled.
    virtual bool stopped() { return false; }

    std::string refusal;
};

// Decodes the stream at its current position into the sink, keeping the
// header's APP1, APP2 and APP13 segments in `kept`. Colour pictures come as
// libjpeg converts them, grey ones with the grey value in all three colours
// (or in one byte, compact), and four-component ones are taken as inverted
// CMYK. This is the one libjpeg decode set-up: LxImageJPG::Decode is a user
// of it. `maxLibraryMemory` bounds libjpeg's whole-image buffers
// (progressive files).
bool DecodeJpegRows(LxFile* stream, JpegRowSink& sink, JpegKeptSegments& kept, std::string& error,
                    long maxLibraryMemory);
bool DecodeJpegRows(LxFile* stream, JpegRowSink& sink, JpegKeptSegments& kept, std::string& error,
                    const JpegDecodeOptions& options);

// How the encoder samples colour: half resolution both ways (4:2:0, the
// size photographs are usually kept at) or every pixel (4:4:4, for fine
// coloured lines and screenshots).
enum class JpegChroma { Subsampled420, Full444 };

// How the rows handed to the encoder hold a pixel: blue, green, red and a
// byte that is ignored (an opaque RGB32 QImage), blue, green, red (an
// LxImage block), or one grey byte.
enum class JpegPixels { Bgrx, Bgr, Grey };

struct JpegEncodeSettings {
    int quality = 90;
    JpegPixels pixels = JpegPixels::Bgrx;
    JpegChroma chroma = JpegChroma::Subsampled420;
    std::uint16_t xDpi = 96;
    std::uint16_t yDpi = 96;
    // Written by the encoder right after its JFIF header.
    std::vector<JpegSegment> markers;
};

// Appends a baseline JPEG, 4:2:0 unless the settings ask for 4:4:4, with a
// JFIF header in dots per inch, of `height` rows starting at `top`, `stride`
// bytes apart: without markers and at 4:2:0, the same bytes
// LxImageJPG::Encode writes for the same picture held as 24-bit BGR.
bool EncodeJpegRows(LxFile* stream, const std::uint8_t* top, std::ptrdiff_t stride,
                    std::uint32_t width, std::uint32_t height, const JpegEncodeSettings& settings,
                    std::string& error);
