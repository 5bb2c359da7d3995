// Row decoding and encoding against the image codec they stand beside: the
// same pixels out, the same bytes in, and the header segments kept within
// their budget.
#include "codec/JpegRows.h"
#include "codec/LxImageJPG.h"
#include "image/LxIOFile.h"
#include "image/LxMemFile.h"
#include "tests/support/ExifBuilder.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace ts = testing_support;
using Bytes = std::vector<std::uint8_t>;

namespace {

// Keeps every row it is given, top first, in 32-bit pixels.
class CollectingSink : public JpegRowSink {
public:
    bool begin(const JpegFrame& f, const JpegKeptSegments& kept) override {
        frame = f;
        segmentsAtBegin = kept.segments.size();
        pixels.assign(std::size_t{f.width} * f.height * 4, 0);
        return accept;
    }
    std::uint8_t* directRow(std::uint32_t y) override {
        return direct ? pixels.data() + std::size_t{y} * frame.width * 4 : nullptr;
    }
    bool wants(std::uint32_t y) override { return skipping ? (y / 8) % 3 == 1 : true; }
    void rows(std::uint32_t first, std::uint32_t count, const std::uint8_t* const* rows) override {
        ++handOvers;
        for (std::uint32_t i = 0; i < count; ++i)
            std::copy(rows[i], rows[i] + frame.width * 4,
                      pixels.begin() + std::size_t{first + i} * frame.width * 4);
    }

    bool accept = true;
    bool direct = false;
    bool skipping = false; // wants only every third band of 8 rows
    JpegFrame frame;
    std::size_t segmentsAtBegin = 0;
    int handOvers = 0;
    Bytes pixels;
};

// A memory stream that grows as it is written (freed by the caller).
LxMemFile GrowingStream() {
    return LxMemFile(static_cast<std::uint8_t*>(std::malloc(16)), 16);
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

bool DecodeRowsOf(const std::filesystem::path& path, CollectingSink& sink, JpegKeptSegments& kept,
                  std::string& error) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return false;
    LxIOFile stream(file.get(), false);
    return DecodeJpegRows(&stream, sink, kept, error, 1L << 30);
}

// The block's pixels as blue, green, red, 0xFF rows, top first.
Bytes AsBgrx(const LxImage& image) {
    const Bytes rgb = ts::TopDownSamples(image);
    const bool grey = rgb.size() == std::size_t(image.GetWidth()) * image.GetHeight();
    Bytes out;
    const std::size_t n = std::size_t(image.GetWidth()) * image.GetHeight();
    out.reserve(n * 4);
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t r = grey ? rgb[i] : rgb[i * 3];
        const std::uint8_t g = grey ? rgb[i] : rgb[i * 3 + 1];
        const std::uint8_t b = grey ? rgb[i] : rgb[i * 3 + 2];
        out.insert(out.end(), {b, g, r, 0xFF});
    }
    return out;
}

// Both decoders on one file: the same pixels, in direct and handed-over rows,
// and in the rows wanted when the others are skipped.
void ExpectSamePixelsAsTheImageDecoder(const std::filesystem::path& path) {
    SCOPED_TRACE(path.string());
    LxImageJPG image;
    const bool decoded = ts::DecodeFile(path, image);
    if (!decoded && std::string(image.lastError()) == "LXIMAGE_MAX_MEMORY exceeded")
        return; // only the image block has that limit
    for (const int pass : {0, 1, 2}) {
        const bool direct = pass == 1;
        CollectingSink sink;
        sink.direct = direct;
        sink.skipping = pass == 2;
        JpegKeptSegments kept;
        std::string error;
        const bool rowsDecoded = DecodeRowsOf(path, sink, kept, error);
        // Skipping may pass over a fault in rows nobody wants.
        if (!decoded && sink.skipping)
            continue;
        ASSERT_EQ(rowsDecoded, decoded) << error << " / " << image.lastError();
        if (!decoded)
            continue;
        ASSERT_EQ(sink.frame.width, std::uint32_t(image.GetWidth()));
        ASSERT_EQ(sink.frame.height, std::uint32_t(image.GetHeight()));
        Bytes expected = AsBgrx(image);
        if (sink.skipping) {
            const std::size_t row = std::size_t{sink.frame.width} * 4;
            for (std::uint32_t y = 0; y < sink.frame.height; ++y) {
                if (!sink.wants(y))
                    std::fill_n(expected.begin() + static_cast<std::ptrdiff_t>(y * row), row, 0);
            }
        }
        EXPECT_TRUE(sink.pixels == expected) << "pass " << pass;
        if (!sink.skipping) {
            EXPECT_EQ(sink.handOvers > 0, !direct);
        }
    }
}

} // namespace

TEST(JpegRows, DecodedRowsAreTheImageDecodersPixelsForEveryKindOfFile) {
    ts::TempDir dir;
    // Colour, grey, progressive and restart-marked files made here, so that
    // the comparison runs without the outside files too.
    const std::string ppm = dir.file("in.ppm").string();
    {
        std::FILE* f = std::fopen(ppm.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fprintf(f, "P6\n37 23\n255\n");
        for (int i = 0; i < 37 * 23; ++i)
            std::fprintf(f, "%c%c%c", i % 251, (i * 7) % 253, (i * 13) % 255);
        std::fclose(f);
    }
    for (const std::string options : {"", "-grayscale", "-progressive", "-restart 1 -sample 1x1"}) {
        const auto out = dir.file("made" + std::to_string(options.size()) + ".jpg");
        ASSERT_EQ(ts::Run("cjpeg " + options + " -outfile " + ts::Quote(out.string()) + " " +
                          ts::Quote(ppm))
                      .exitCode,
                  0);
        ExpectSamePixelsAsTheImageDecoder(out);
    }
    if (!ts::CorpusAvailable())
        return;
    // CMYK, YCCK, odd samplings, damaged and unreadable files from outside.
    for (const auto& row : ts::ReadManifest()) {
        const std::string& file = row.at("file");
        if (file.rfind("camera/", 0) == 0 && file.find("mei_") != std::string::npos)
            continue; // large camera photos add time and no new kind of file
        ExpectSamePixelsAsTheImageDecoder(ts::CorpusDir() / file);
    }
}

TEST(JpegRows, EncodingRowsWritesTheImageEncodersBytes) {
    for (const auto& [w, h] : {std::pair{97, 61}, std::pair{1, 1}, std::pair{16, 17}}) {
        LxImageJPG image;
        ASSERT_NE(image.Create(w, h, 24, 0), nullptr);
        Bytes bgrx(std::size_t(w) * h * 4);
        for (int y = 0; y < h; ++y) {
            std::uint8_t* row = image.GetRowPointer(h - 1 - y);
            for (int x = 0; x < w; ++x) {
                const auto b = static_cast<std::uint8_t>(x * 3 + y);
                const auto g = static_cast<std::uint8_t>(x * y);
                const auto r = static_cast<std::uint8_t>(255 - y * 2);
                row[x * 3] = b;
                row[x * 3 + 1] = g;
                row[x * 3 + 2] = r;
                std::uint8_t* p = &bgrx[(std::size_t(y) * w + x) * 4];
                p[0] = b;
                p[1] = g;
                p[2] = r;
                p[3] = static_cast<std::uint8_t>(x); // ignored
            }
        }
        LxMemFile expected = GrowingStream();
        ASSERT_TRUE(image.Encode(&expected));
        LxMemFile written = GrowingStream();
        std::string error;
        ASSERT_TRUE(EncodeJpegRows(&written, bgrx.data(), w * 4, w, h, JpegEncodeSettings{}, error))
            << error;
        ASSERT_EQ(written.Size(), expected.Size());
        const std::uint8_t* a = written.GetBufferPointer(false);
        const std::uint8_t* b = expected.GetBufferPointer(false);
        EXPECT_TRUE(std::equal(a, a + written.Size(), b)) << w << " x " << h;
        std::free(written.GetBufferPointer(true));
        std::free(expected.GetBufferPointer(true));
    }
    std::string error;
    LxMemFile sink = GrowingStream();
    const std::uint8_t pixel[4] = {};
    EXPECT_FALSE(EncodeJpegRows(&sink, pixel, 4, 70000, 1, JpegEncodeSettings{}, error));
    EXPECT_NE(error.find("65500"), std::string::npos) << error;
    std::free(sink.GetBufferPointer(true));
}

TEST(JpegRows, HeaderSegmentsAreKeptInOrderWithinTheirBudget) {
    ts::TempDir dir;
    const Bytes jpeg = [] {
        LxImageJPG image;
        image.Create(8, 8, 24, 0);
        LxMemFile out = GrowingStream();
        image.Encode(&out);
        const std::uint8_t* p = out.GetBufferPointer(false);
        Bytes bytes(p, p + out.Size());
        std::free(out.GetBufferPointer(true));
        return bytes;
    }();
    const Bytes exif = ts::Segment(0xE1, {'E', 'x', 'i', 'f', 0, 0, 1, 2, 3});
    const Bytes icc = ts::Segment(0xE2, Bytes(3000, 7));
    const Bytes other = ts::Segment(0xE5, {9, 9, 9}); // not a segment a save carries
    const Bytes iptc = ts::Segment(0xED, {'P', 'h', 'o'});
    Bytes file(jpeg.begin(), jpeg.begin() + 20);
    for (const Bytes* s : {&exif, &other, &icc, &iptc})
        file.insert(file.end(), s->begin(), s->end());
    file.insert(file.end(), jpeg.begin() + 20, jpeg.end());
    ts::WriteBytes(dir.file("a.jpg"), file);

    CollectingSink sink;
    JpegKeptSegments kept;
    std::string error;
    ASSERT_TRUE(DecodeRowsOf(dir.file("a.jpg"), sink, kept, error)) << error;
    EXPECT_EQ(sink.segmentsAtBegin, 3u); // all there when the sink decides
    ASSERT_EQ(kept.segments.size(), 3u);
    EXPECT_EQ(kept.segments[0].marker, 0xE1);
    EXPECT_EQ(kept.segments[0].data, Bytes(exif.begin() + 4, exif.end()));
    EXPECT_EQ(kept.segments[1].marker, 0xE2);
    EXPECT_EQ(kept.segments[2].marker, 0xED);
    EXPECT_FALSE(kept.overBudget);

    // A budget too small for the profile skips it, keeps the rest and says so.
    JpegKeptSegments tight;
    tight.budget = 100;
    ASSERT_TRUE(DecodeRowsOf(dir.file("a.jpg"), sink, tight, error)) << error;
    ASSERT_EQ(tight.segments.size(), 2u);
    EXPECT_EQ(tight.segments[1].marker, 0xED);
    EXPECT_TRUE(tight.overBudget);

    // A refusal stops before any row; a length field below 2 is an error.
    CollectingSink refusing;
    refusing.accept = false;
    refusing.refusal = "too big for this test";
    JpegKeptSegments ignored;
    EXPECT_FALSE(DecodeRowsOf(dir.file("a.jpg"), refusing, ignored, error));
    EXPECT_EQ(error, "too big for this test");
    EXPECT_EQ(refusing.handOvers, 0);
    Bytes broken = file;
    broken[20 + 3] = 1; // the EXIF segment's length
    ts::WriteBytes(dir.file("b.jpg"), broken);
    JpegKeptSegments none;
    EXPECT_FALSE(DecodeRowsOf(dir.file("b.jpg"), sink, none, error));
    EXPECT_FALSE(error.empty());
}
