#include "codec/JpegRows.h"

#include "codec/JpegErrorManager.h"
#include "codec/JpegSettings.h"
#include "codec/JpegStreamAdapter.h"

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <new>

#include <jerror.h>

namespace {
// Rows per call into libjpeg when it writes into the sink's rows, and per
// hand-over when the sink places them itself: a taller batch lets a sink
// that turns the picture write longer runs into each of its rows.
constexpr unsigned kRowBatch = 16;
constexpr unsigned kHandOverRows = 64;

void SetText(char* text, const std::string& value) {
    const std::size_t n = std::min<std::size_t>(value.size(), JMSG_LENGTH_MAX - 1);
    std::memcpy(text, value.data(), n);
    text[n] = '\0';
}

// Reads one byte through the source manager; false when it suspends (ours
// never does: at the end of the file it supplies an end-of-image marker).
bool NextByte(j_decompress_ptr cinfo, JOCTET& out) {
    jpeg_source_mgr* source = cinfo->src;
    if (source->bytes_in_buffer == 0 && !source->fill_input_buffer(cinfo)) {
        return false;
    }
    out = *source->next_input_byte++;
    --source->bytes_in_buffer;
    return true;
}

// Marker processor for the application segments a save may carry: keeps the
// payload while the budget allows, skips it otherwise. Runs inside libjpeg,
// so nothing may be thrown out of it; a failed allocation leaves through
// libjpeg's own out-of-memory error, with no object of ours alive.
boolean KeepSegment(j_decompress_ptr cinfo) {
    JOCTET high = 0;
    JOCTET low = 0;
    if (!NextByte(cinfo, high) || !NextByte(cinfo, low)) {
        return FALSE;
    }
    const unsigned length = high * 256u + low;
    if (length < 2) {
        ERREXIT(cinfo, JERR_BAD_LENGTH);
    }
    std::size_t remaining = length - 2;
    auto* kept = static_cast<JpegKeptSegments*>(cinfo->client_data);
    const bool fits = kept->segments.size() < JpegKeptSegments::kMaxSegments &&
                      kept->keptBytes <= kept->budget &&
                      remaining <= kept->budget - kept->keptBytes;
    if (!fits) {
        kept->overBudget = true;
        if (remaining > 0) {
            cinfo->src->skip_input_data(cinfo, static_cast<long>(remaining));
        }
        return TRUE;
    }
    std::uint8_t* into = nullptr;
    try {
        JpegSegment segment;
        segment.marker = static_cast<std::uint8_t>(cinfo->unread_marker);
        segment.data.resize(remaining);
        kept->segments.push_back(std::move(segment));
        into = kept->segments.back().data.data();
    } catch (...) {
        into = nullptr;
    }
    if (into == nullptr && remaining > 0) {
        ERREXIT(cinfo, JERR_OUT_OF_MEMORY);
    }
    kept->keptBytes += remaining;
    jpeg_source_mgr* source = cinfo->src;
    while (remaining > 0) {
        if (source->bytes_in_buffer == 0 && !source->fill_input_buffer(cinfo)) {
            return FALSE;
        }
        const std::size_t n = std::min(remaining, source->bytes_in_buffer);
        std::memcpy(into, source->next_input_byte, n);
        into += n;
        remaining -= n;
        source->next_input_byte += n;
        source->bytes_in_buffer -= n;
    }
    return TRUE;
}

// Raw samples that libjpeg cannot convert itself, turned into blue, green,
// red (and 0xFF when `out` takes four bytes a pixel).
void ConvertRow(const JSAMPLE* s, std::uint8_t* d, std::uint32_t width, int components, int out) {
    if (components == 4) {
        InvertedCmykToBgr(s, d, width, static_cast<std::size_t>(out));
        if (out == 4) {
            for (std::uint32_t x = 0; x < width; ++x)
                d[4 * x + 3] = 0xFF;
        }
        return;
    }
    // Three components libjpeg leaves unconverted are taken in RGB order.
    for (std::uint32_t x = 0; x < width; ++x, s += 3, d += out) {
        d[0] = s[2];
        d[1] = s[1];
        d[2] = s[0];
        if (out == 4)
            d[3] = 0xFF;
    }
}

bool DecodeWith(JpegStreamAdapter& adapter, JpegRowSink& sink, JpegKeptSegments& kept, char* text,
                const JpegDecodeOptions& options) {
    jpeg_decompress_struct cinfo;
    JpegErrorManager error;
    cinfo.err = error.Install(text);
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = options.maxLibraryMemory;
    cinfo.client_data = &kept;
    for (const int app : {1, 2, 13}) {
        jpeg_set_marker_processor(&cinfo, JPEG_APP0 + app, KeepSegment);
    }
    adapter.InstallSource(&cinfo);
    jpeg_read_header(&cinfo, TRUE);

    // libjpeg's default scale is 1/1; a denominator of 0 would make it pick
    // the largest scale (2x), so 0 keeps the default.
    if (options.scaleDenominator != 0) {
        cinfo.scale_num = 1;
        cinfo.scale_denom = options.scaleDenominator;
    }
    const int components = cinfo.num_components;
    // libjpeg writes BGR pixels itself from YCbCr, RGB and grey (compact
    // grey stays one byte); other colour spaces come raw and are converted
    // here.
    const bool convertHere =
        components == 4 || (components == 3 && cinfo.out_color_space != JCS_RGB);
    const bool grey = options.compact && cinfo.out_color_space == JCS_GRAYSCALE;
    const int pixelBytes = grey ? 1 : options.compact ? 3 : 4;
    if (!convertHere && !grey) {
        cinfo.out_color_space = options.compact ? JCS_EXT_BGR : JCS_EXT_BGRX;
    }
    const unsigned denominator = sink.scaleDenominator(cinfo.image_width, cinfo.image_height);
    if (denominator == 2 || denominator == 4 || denominator == 8) {
        cinfo.scale_num = 1;
        cinfo.scale_denom = denominator;
        // A scaled picture is a quick look: the faster inverse DCT and plain
        // upsampling differ from the exact ones by a level or two at most.
        cinfo.dct_method = JDCT_IFAST;
        cinfo.do_fancy_upsampling = FALSE;
    }
    jpeg_calc_output_dimensions(&cinfo);
    JpegFrame frame;
    frame.width = cinfo.output_width;
    frame.height = cinfo.output_height;
    frame.components = components;
    frame.progressive = cinfo.progressive_mode != 0;
    frame.pixelBytes = pixelBytes;
    frame.densityUnit = cinfo.density_unit;
    frame.xDensity = cinfo.X_density;
    frame.yDensity = cinfo.Y_density;
    if (!sink.begin(frame, kept)) {
        SetText(text, sink.refusal);
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_start_decompress(&cinfo);

    const bool direct = sink.directRow(0) != nullptr;
    // Columns a direct sink does not want are neither transformed nor
    // converted: libjpeg decodes the whole blocks around the wanted ones.
    JDIMENSION left = 0;
    if (direct) {
        const auto [first, end] = sink.columns(cinfo.output_width);
        if (first < end && end <= cinfo.output_width && end - first < cinfo.output_width) {
            left = first;
            JDIMENSION cropped = end - first;
            jpeg_crop_scanline(&cinfo, &left, &cropped);
        }
    }
    const std::size_t offset = std::size_t{left} * static_cast<unsigned>(pixelBytes);
    const std::uint32_t width = cinfo.output_width;
    const std::uint32_t height = cinfo.output_height;
    auto* common = reinterpret_cast<j_common_ptr>(&cinfo);
    const unsigned batchRows = direct ? kRowBatch : kHandOverRows;
    JSAMPARRAY batch =
        direct ? nullptr
               : (*cinfo.mem->alloc_sarray)(common, JPOOL_IMAGE,
                                            width * static_cast<unsigned>(pixelBytes), batchRows);
    JSAMPARRAY raw = convertHere
                         ? (*cinfo.mem->alloc_sarray)(
                               common, JPOOL_IMAGE,
                               width * static_cast<unsigned>(cinfo.output_components), batchRows)
                         : nullptr;
    JSAMPROW targets[kHandOverRows];
    JSAMPROW reads[kHandOverRows];
    while (cinfo.output_scanline < height) {
        if (sink.stopped()) {
            SetText(text, "stopped");
            jpeg_destroy_decompress(&cinfo);
            return false;
        }
        const std::uint32_t first = cinfo.output_scanline;
        if (!sink.wants(first)) {
            std::uint32_t end = first + 1;
            while (end < height && !sink.wants(end))
                ++end;
            if (jpeg_skip_scanlines(&cinfo, end - first) == 0) {
                SetText(text, "the picture data stops early");
                jpeg_destroy_decompress(&cinfo);
                return false;
            }
            continue;
        }
        unsigned want = std::min<unsigned>(batchRows, height - first);
        for (unsigned i = 1; i < want; ++i) {
            if (!sink.wants(first + i)) {
                want = i;
                break;
            }
        }
        for (unsigned i = 0; i < want; ++i) {
            targets[i] = direct ? sink.directRow(first + i) + offset : batch[i];
            reads[i] = convertHere ? raw[i] : targets[i];
        }
        unsigned got = 0;
        while (got < want) {
            const unsigned n = jpeg_read_scanlines(&cinfo, reads + got, want - got);
            if (n == 0) {
                break;
            }
            got += n;
        }
        if (got == 0) {
            SetText(text, "the picture data stops early");
            jpeg_destroy_decompress(&cinfo);
            return false;
        }
        if (convertHere) {
            for (unsigned i = 0; i < got; ++i) {
                ConvertRow(raw[i], targets[i], width, cinfo.output_components, pixelBytes);
            }
        }
        if (!direct) {
            sink.rows(first, got, targets);
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

bool EncodeWith(JpegStreamAdapter& adapter, const std::uint8_t* top, std::ptrdiff_t stride,
                std::uint32_t width, std::uint32_t height, const JpegEncodeSettings& settings,
                char* text) {
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
    cinfo.image_height = height;
    switch (settings.pixels) {
    case JpegPixels::Bgrx:
        cinfo.input_components = 4;
        cinfo.in_color_space = JCS_EXT_BGRX;
        break;
    case JpegPixels::Bgr:
        cinfo.input_components = 3;
        cinfo.in_color_space = JCS_EXT_BGR;
        break;
    case JpegPixels::Grey:
        cinfo.input_components = 1;
        cinfo.in_color_space = JCS_GRAYSCALE;
        break;
    }
    jpeg_set_defaults(&cinfo);
    ConfigureEncoder(cinfo, settings.quality, settings.xDpi, settings.yDpi);
    if (settings.chroma == JpegChroma::Full444) {
        cinfo.comp_info[0].h_samp_factor = 1;
        cinfo.comp_info[0].v_samp_factor = 1;
    }
    jpeg_start_compress(&cinfo, TRUE);
    for (const JpegSegment& m : settings.markers) {
        jpeg_write_marker(&cinfo, m.marker, m.data.data(), static_cast<unsigned>(m.data.size()));
    }
    // libjpeg only reads the rows, so it takes them from the caller's picture.
    JSAMPROW rows[kRowBatch];
    while (cinfo.next_scanline < height) {
        const unsigned want = std::min<unsigned>(kRowBatch, height - cinfo.next_scanline);
        for (unsigned i = 0; i < want; ++i) {
            rows[i] = const_cast<JSAMPROW>(
                top + static_cast<std::ptrdiff_t>(cinfo.next_scanline + i) * stride);
        }
        jpeg_write_scanlines(&cinfo, rows, want);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}
} // namespace

bool DecodeJpegRows(LxFile* stream, JpegRowSink& sink, JpegKeptSegments& kept, std::string& error,
                    const JpegDecodeOptions& options) {
    if (stream == nullptr) {
        error = "null file handler";
        return false;
    }
    try {
        kept.segments.reserve(16);
    } catch (const std::bad_alloc&) {
        error = "out of memory";
        return false;
    }
    char text[JMSG_LENGTH_MAX] = {};
    JpegStreamAdapter adapter(stream);
    if (!DecodeWith(adapter, sink, kept, text, options)) {
        error = text;
        return false;
    }
    return true;
}

bool DecodeJpegRows(LxFile* stream, JpegRowSink& sink, JpegKeptSegments& kept, std::string& error,
                    long maxLibraryMemory) {
    JpegDecodeOptions options;
    options.maxLibraryMemory = maxLibraryMemory;
    return DecodeJpegRows(stream, sink, kept, error, options);
}

bool EncodeJpegRows(LxFile* stream, const std::uint8_t* top, std::ptrdiff_t stride,
                    std::uint32_t width, std::uint32_t height, const JpegEncodeSettings& settings,
                    std::string& error) {
    if (stream == nullptr || top == nullptr || width == 0 || height == 0) {
        error = "nothing to encode";
        return false;
    }
    char text[JMSG_LENGTH_MAX] = {};
    JpegStreamAdapter adapter(stream);
    if (!EncodeWith(adapter, top, stride, width, height, settings, text)) {
        error = text;
        return false;
    }
    return true;
}
