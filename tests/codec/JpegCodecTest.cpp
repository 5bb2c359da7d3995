// The row encoder against cjpeg, and the row decoder (which the block's
// Decode runs) on header segments and bad streams. (Real files: CorpusTest.)
#include "codec/LxImageJPG.h"
#include "image/LxMemFile.h"
#include "tests/support/CollectingSink.h"
#include "tests/support/ExifBuilder.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace ts = testing_support;
using Bytes = std::vector<std::uint8_t>;

namespace {
// A photo-like picture in 32-bit rows (blue, green, red, unused), top
// first: smooth gradients with a little noise.
Bytes Picture(int width, int height) {
    Bytes bgrx(std::size_t(width) * height * 4);
    std::uint32_t seed = 12345;
    for (std::size_t i = 0; i < bgrx.size(); ++i) {
        seed = seed * 1103515245 + 12345;
        const int x = static_cast<int>(i / 4) % width, y = static_cast<int>(i / 4) / width;
        const int noise = static_cast<int>((seed >> 16) % 24) - 12;
        bgrx[i] =
            static_cast<std::uint8_t>(std::clamp(x * 3 + y * 2 + 40 * int(i % 4) + noise, 0, 255));
    }
    return bgrx;
}

Bytes Jpeg(int width, int height, const std::vector<Bytes>& segments = {}) {
    return ts::JpegOfRows(Picture(width, height).data(), width * 4, width, height, segments);
}
} // namespace

// The row encoder (and the block's, over it) writes cjpeg's bytes for the same picture at quality
// 90, 4:2:0, after a JFIF header of 96 x 96 dots per inch.
TEST(JpegCodec, EncodingWritesWhatCjpegWritesAfterTheHeader) {
    ts::TempDir dir;
    for (const auto& [width, height] : {std::pair{61, 37}, {97, 61}, {1, 1}, {16, 17}}) {
        SCOPED_TRACE(testing::Message() << width << " x " << height);
        const Bytes bgrx = Picture(width, height);
        const std::string header =
            std::string("P6\n") + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
        Bytes ppm(header.begin(), header.end());
        for (std::size_t i = 0; i < bgrx.size(); i += 4)
            ppm.insert(ppm.end(), {bgrx[i + 2], bgrx[i + 1], bgrx[i]});
        ts::WriteBytes(dir.file("in.ppm"), ppm);
        const auto theirs = dir.file("cjpeg.jpg");
        ASSERT_EQ(ts::Run("cjpeg -quality 90 -sample 2x2 -outfile " + ts::Quote(theirs) + " " +
                          ts::Quote(dir.file("in.ppm")))
                      .exitCode,
                  0);
        const Bytes ours = ts::JpegOfRows(bgrx.data(), width * 4, width, height);
        // The image block's encoder is the row encoder over its rows, stored
        // bottom up.
        LxImageJPG block;
        ASSERT_NE(block.Create(width, height, 24, LxImage::kTypeJpeg), nullptr);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x)
                std::memcpy(block.GetRowPointer(height - 1 - y) + 3 * x, &bgrx[(y * width + x) * 4],
                            3);
        }
        LxMemFile stream(static_cast<std::uint8_t*>(std::malloc(16)), 16);
        EXPECT_TRUE(block.Encode(&stream)) << block.lastError();
        const std::uint8_t* encoded = stream.GetBufferPointer(false);
        EXPECT_EQ(Bytes(encoded, encoded + stream.Size()), ours);
        std::free(stream.GetBufferPointer(true));
        const Bytes reference = ts::ReadBytes(theirs);
        ASSERT_EQ(ours.size(), reference.size());
        EXPECT_TRUE(std::equal(ours.begin() + 20, ours.end(), reference.begin() + 20))
            << "same tables, same frame, same scan";
        const Bytes jfif = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J',  'F',  'I',  'F',
                            0x00, 0x01, 0x01, 0x01, 0x00, 0x60, 0x00, 0x60, 0x00, 0x00};
        EXPECT_TRUE(std::equal(jfif.begin(), jfif.end(), ours.begin()));
    }
}

// The block's codec carries a decoded file's EXIF block into its encoding.
TEST(JpegCodec, EncodingADecodedExifFileCarriesItsExifBlockAlong) {
    LUMORA_SKIP_WITHOUT_CORPUS();
    LxImageJPG image;
    ASSERT_TRUE(ts::DecodeFile(ts::CorpusDir() / "camera/etool_GE.jpg", image));
    LxMemFile stream(static_cast<std::uint8_t*>(std::malloc(16)), 16);
    ASSERT_TRUE(image.Encode(&stream)) << image.lastError();
    const std::uint8_t* encoded = stream.GetBufferPointer(false);
    ts::TempDir dir;
    const auto path = dir.file("again.jpg");
    ts::WriteBytes(path, Bytes(encoded, encoded + stream.Size()));
    std::free(stream.GetBufferPointer(true));
    EXPECT_EQ(ts::Run("exiftool -s3 -Make -ImageDescription " + ts::Quote(path.string())).output,
              "General Imaging Co.\nGE DIGITAL CAMERA\n");
    EXPECT_EQ(ts::Run("djpeg " + ts::Quote(path.string()) + " | head -c 2").output, "P6");
}

// A picture wider than a JPEG can be is refused with the reason.
TEST(JpegCodec, PicturesPastTheFormatsLimitAreRefused) {
    LxMemFile sink(static_cast<std::uint8_t*>(std::malloc(16)), 16);
    std::string error;
    const std::uint8_t pixel[4] = {};
    EXPECT_FALSE(EncodeJpegRows(&sink, pixel, 4, 70000, 1, JpegEncodeSettings{}, error));
    EXPECT_NE(error.find("65500"), std::string::npos) << error;
    std::free(sink.GetBufferPointer(true));
}

// The open pipeline reads the EXIF first, then decodes from where it began.
TEST(JpegCodec, ExifScanPutsTheStreamBackWhereItFoundIt) {
    Bytes bytes = Jpeg(16, 16);
    bytes.insert(bytes.begin(), {'j', 'u', 'n', 'k', '!'});
    LxMemFile stream(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    ASSERT_TRUE(stream.Seek(5, 0));
    LxImageJPG image;
    EXPECT_FALSE(image.ReadExif(&stream));
    EXPECT_EQ(stream.Tell(), 5);
    EXPECT_TRUE(image.Decode(&stream)) << image.lastError();
    EXPECT_EQ(image.GetWidth(), 16);
}

// The row decoder keeps EXIF, ICC and IPTC segments in order within their budget.
TEST(JpegRows, HeaderSegmentsAreKeptInOrderWithinTheirBudget) {
    ts::TempDir dir;
    const Bytes exif = ts::Segment(0xE1, {'E', 'x', 'i', 'f', 0, 0, 1, 2, 3});
    // APP5 is not a segment a save carries.
    Bytes file = Jpeg(8, 8,
                      {exif, ts::Segment(0xE5, {9}), ts::Segment(0xE2, Bytes(3000, 7)),
                       ts::Segment(0xED, {'P', 'h', 'o'})});
    ts::WriteBytes(dir.file("a.jpg"), file);
    const auto markers = [](const JpegKeptSegments& kept) {
        std::vector<int> out;
        for (const JpegSegment& s : kept.segments)
            out.push_back(s.marker);
        return out;
    };
    ts::CollectingSink sink;
    JpegKeptSegments kept;
    std::string error;
    ASSERT_TRUE(ts::DecodeRowsOf(dir.file("a.jpg"), sink, kept, error)) << error;
    EXPECT_EQ(sink.segmentsAtBegin, 3u);
    EXPECT_EQ(markers(kept), (std::vector<int>{0xE1, 0xE2, 0xED}));
    EXPECT_EQ(kept.segments[0].data, Bytes(exif.begin() + 4, exif.end()));
    EXPECT_FALSE(kept.overBudget);
    // A budget too small for the profile skips it, keeps the rest and says so.
    JpegKeptSegments tight;
    tight.budget = 100;
    ASSERT_TRUE(ts::DecodeRowsOf(dir.file("a.jpg"), sink, tight, error)) << error;
    EXPECT_EQ(markers(tight), (std::vector<int>{0xE1, 0xED}));
    EXPECT_TRUE(tight.overBudget);
}
