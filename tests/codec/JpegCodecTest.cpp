// The JPEG encoder against cjpeg, and what the image block's codec adds to
// the row codec: resolution, grey ramps, its EXIF block, stream positions
// and error texts. (Decoding real files: CorpusTest.)
#include "codec/LxImageJPG.h"
#include "image/LxMemFile.h"
#include "tests/support/CollectingSink.h"
#include "tests/support/ExifBuilder.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace ts = testing_support;
using Bytes = std::vector<std::uint8_t>;

namespace {
// A photo-like test picture: smooth gradients with a little noise.
void FillPicture(LxImage& image, int width, int height, int bits) {
    ASSERT_NE(image.Create(width, height, bits, LxImage::kTypeJpeg), nullptr);
    if (bits == 8)
        image.SetGreyRamp();
    std::uint32_t seed = 12345;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = image.GetRowPointer(y);
        for (int x = 0; x < width * (bits / 8); ++x) {
            seed = seed * 1103515245 + 12345;
            const int noise = static_cast<int>((seed >> 16) % 24) - 12;
            row[x] = static_cast<std::uint8_t>(std::clamp(x * 3 + y * 2 + noise, 0, 255));
        }
    }
}

// What a memory stream holds; frees its block.
Bytes Contents(LxMemFile& stream) {
    const std::uint8_t* data = stream.GetBufferPointer(false);
    Bytes bytes(data, data + stream.Size());
    std::free(stream.GetBufferPointer(true));
    return bytes;
}

Bytes EncodeToBytes(LxImageJPG& image) {
    LxMemFile stream(static_cast<std::uint8_t*>(std::malloc(16)), 16);
    EXPECT_TRUE(image.Encode(&stream)) << image.lastError();
    return Contents(stream);
}

bool DecodeBytes(Bytes bytes, LxImageJPG& image) {
    LxMemFile stream(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    return image.Decode(&stream);
}

Bytes SpliceAfterHeader(Bytes jpeg, const Bytes& segment) {
    jpeg.insert(jpeg.begin() + 20, segment.begin(), segment.end());
    return jpeg;
}
} // namespace

// The block's encoder and the row encoder (from 32-bit rows top first)
// write cjpeg's bytes for the same picture at quality 90, 4:2:0, after a
// JFIF header of 96 x 96 dots per inch.
TEST(JpegCodec, EncodingWritesWhatCjpegWritesAfterTheHeader) {
    ts::TempDir dir;
    struct Row {
        const char* name;
        int bits;
        int width;
        int height;
        bool rows;
    };
    for (const Row& row :
         {Row{"24-bit block", 24, 61, 37, false}, Row{"grey block", 8, 61, 37, false},
          Row{"rows, 97 x 61", 24, 97, 61, true}, Row{"rows, 1 x 1", 24, 1, 1, true},
          Row{"rows, 16 x 17", 24, 16, 17, true}}) {
        SCOPED_TRACE(row.name);
        LxImageJPG image;
        FillPicture(image, row.width, row.height, row.bits);
        Bytes ours;
        if (row.rows) {
            const Bytes rgb = ts::TopDownSamples(image);
            Bytes bgrx;
            for (std::size_t i = 0; i < rgb.size(); i += 3) // the fourth byte is ignored
                bgrx.insert(bgrx.end(), {rgb[i + 2], rgb[i + 1], rgb[i], std::uint8_t(i)});
            LxMemFile stream(static_cast<std::uint8_t*>(std::malloc(16)), 16);
            std::string error;
            EXPECT_TRUE(EncodeJpegRows(&stream, bgrx.data(), row.width * 4, row.width, row.height,
                                       JpegEncodeSettings{}, error))
                << error;
            ours = Contents(stream);
        } else {
            ours = EncodeToBytes(image);
        }
        const auto input = dir.file(row.bits == 24 ? "in.ppm" : "in.pgm");
        ts::WriteBytes(input, ts::ToPnm(image));
        const auto theirs = dir.file("cjpeg.jpg");
        ASSERT_EQ(ts::Run("cjpeg -quality 90 -sample 2x2 -outfile " + ts::Quote(theirs) + " " +
                          ts::Quote(input))
                      .exitCode,
                  0);
        const auto reference = ts::ReadBytes(theirs);
        ASSERT_EQ(ours.size(), reference.size());
        EXPECT_TRUE(std::equal(ours.begin() + 20, ours.end(), reference.begin() + 20))
            << "same tables, same frame, same scan";
        const Bytes header = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J',  'F',  'I',  'F',
                              0x00, 0x01, 0x01, 0x01, 0x00, 0x60, 0x00, 0x60, 0x00, 0x00};
        EXPECT_TRUE(std::equal(header.begin(), header.end(), ours.begin()));
    }
}

TEST(JpegCodec, GreyscaleDecodesToAGreyRampAndPalettesAreNotEncoded) {
    LxImageJPG grey;
    FillPicture(grey, 20, 9, 8);
    LxImageJPG decoded;
    ASSERT_TRUE(DecodeBytes(EncodeToBytes(grey), decoded));
    EXPECT_EQ(decoded.GetBitCount(), 8u);
    EXPECT_TRUE(decoded.IsGreyRamp()) << "so that it is encoded again as grey";

    LxImageJPG palette;
    ASSERT_NE(palette.Create(4, 4, 4, 0), nullptr);
    std::vector<std::uint8_t> out(8, 0);
    LxMemFile stream(out.data(), 8);
    EXPECT_FALSE(palette.Encode(&stream));
    EXPECT_STREQ(palette.lastError(), "JPEG can save only RGB or GreyScale images");
    EXPECT_EQ(stream.Tell(), 0) << "refused before writing a byte";
}

TEST(JpegCodec, ResolutionIsWrittenAndReadFromExifOrJfifDensities) {
    LxImageJPG source;
    FillPicture(source, 8, 8, 24);
    const auto plain = EncodeToBytes(source);
    const auto withDensity = [&](int unit, int x, int y) {
        auto bytes = plain;
        bytes[13] = static_cast<std::uint8_t>(unit);
        bytes[14] = static_cast<std::uint8_t>(x >> 8);
        bytes[15] = static_cast<std::uint8_t>(x);
        bytes[16] = static_cast<std::uint8_t>(y >> 8);
        bytes[17] = static_cast<std::uint8_t>(y);
        return bytes;
    };
    const auto exifWith = [&](std::uint16_t unit) {
        ts::TiffBuilder tiff(true);
        tiff.AddDirectory({{0x011A, 5, 1, tiff.Rational(72, 1)},
                           {0x011B, 5, 1, tiff.Rational(300, 1)},
                           {0x0128, 3, 1, tiff.U16(unit)}});
        return SpliceAfterHeader(withDensity(1, 600, 600), ts::ExifSegment(tiff.Bytes()));
    };
    source.SetXResolution(300);
    source.SetYResolution(150);
    const struct {
        const char* name;
        std::vector<std::uint8_t> bytes;
        std::pair<int, int> resolution;
    } cases[] = {
        {"encoded at 300 x 150 dpi", EncodeToBytes(source), {300, 150}},
        {"JFIF dots per centimetre", withDensity(2, 118, 118), {300, 300}},
        {"JFIF aspect ratio only", withDensity(0, 1, 2), {96, 192}},
        {"JFIF with a zero density", withDensity(1, 0, 72), {96, 72}},
        {"EXIF wins over JFIF", exifWith(2), {72, 300}},
        // 300 / 0.3937008f is 761.99994 in single precision: truncated.
        {"EXIF in centimetres", exifWith(3), {182, 761}},
    };
    for (const auto& c : cases) {
        LxImageJPG image;
        EXPECT_TRUE(DecodeBytes(c.bytes, image)) << c.name << ": " << image.lastError();
        EXPECT_EQ(std::make_pair(image.GetXResolution(), image.GetYResolution()), c.resolution)
            << c.name;
    }
}

TEST(JpegCodec, BadStreamsFailWithTheLibrarysMessage) {
    LxImageJPG image;
    std::vector<std::uint8_t> empty(1, 0);
    LxMemFile none(empty.data(), 0);
    EXPECT_FALSE(image.Decode(&none));
    EXPECT_STREQ(image.lastError(), "Empty input file");
    EXPECT_FALSE(DecodeBytes({0x89, 'P', 'N', 'G', 0x0D, 0x0A}, image));
    EXPECT_STREQ(image.lastError(), "Not a JPEG file: starts with 0x89 0x50");
    EXPECT_FALSE(image.Decode(nullptr));
    EXPECT_STREQ(image.lastError(), "null file handler");
    if (ts::CorpusAvailable()) {
        EXPECT_FALSE(ts::DecodeFile(ts::CorpusDir() / "special/fzc_testorig12.jpg", image));
        EXPECT_STREQ(image.lastError(), "Unsupported JPEG data precision 12");
    }

    LxImageJPG source;
    FillPicture(source, 64, 64, 24);
    std::FILE* full = std::fopen("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    {
        LxIOFile stream(full, true);
        EXPECT_FALSE(source.Encode(&stream));
    }
    EXPECT_STREQ(source.lastError(), "Output file write error --- out of disk space?");
    LxMemFile sink(static_cast<std::uint8_t*>(std::malloc(16)), 16);
    std::string error;
    const std::uint8_t pixel[4] = {};
    EXPECT_FALSE(EncodeJpegRows(&sink, pixel, 4, 70000, 1, JpegEncodeSettings{}, error));
    EXPECT_NE(error.find("65500"), std::string::npos) << error;
    Contents(sink);
}

TEST(JpegCodec, DecodeStartsAtTheStreamPositionAndExifScanRestoresIt) {
    LxImageJPG source;
    FillPicture(source, 16, 16, 24);
    auto bytes = EncodeToBytes(source);
    bytes.insert(bytes.begin(), {'j', 'u', 'n', 'k', '!'});
    LxMemFile stream(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    ASSERT_TRUE(stream.Seek(5, 0));
    LxImageJPG image;
    EXPECT_FALSE(image.ReadExif(&stream));
    EXPECT_EQ(stream.Tell(), 5);
    EXPECT_TRUE(image.Decode(&stream)) << image.lastError();
    EXPECT_EQ(image.GetWidth(), 16);
    LxMemFile junk(bytes.data(), 5);
    EXPECT_FALSE(image.ReadExif(&junk));
    EXPECT_EQ(junk.Tell(), 0);
}

TEST(JpegCodec, EncodingADecodedExifFileCarriesItsExifBlockAlong) {
    LUMORA_SKIP_WITHOUT_CORPUS();
    LxImageJPG image;
    ASSERT_TRUE(ts::DecodeFile(ts::CorpusDir() / "camera/etool_GE.jpg", image));
    ASSERT_TRUE(image.exifInfo.isExif);
    ts::TempDir dir;
    const auto path = dir.file("again.jpg");
    ts::WriteBytes(path, EncodeToBytes(image));
    EXPECT_EQ(ts::Run("exiftool -s3 -Make -ImageDescription " + ts::Quote(path)).output,
              "General Imaging Co.\nGE DIGITAL CAMERA\n");
    EXPECT_EQ(ts::Run("djpeg " + ts::Quote(path) + " | head -c 2").output, "P6");
}

// The row decoder keeps the header's EXIF, ICC and IPTC segments in order
// within their budget, all there when the sink decides whether to go on.
TEST(JpegRows, HeaderSegmentsAreKeptInOrderWithinTheirBudget) {
    ts::TempDir dir;
    LxImageJPG small;
    FillPicture(small, 8, 8, 24);
    const Bytes jpeg = EncodeToBytes(small);
    const Bytes exif = ts::Segment(0xE1, {'E', 'x', 'i', 'f', 0, 0, 1, 2, 3});
    const Bytes other = ts::Segment(0xE5, {9, 9, 9}); // not a segment a save carries
    Bytes file(jpeg.begin(), jpeg.begin() + 20);
    for (const Bytes& s :
         {exif, other, ts::Segment(0xE2, Bytes(3000, 7)), ts::Segment(0xED, {'P', 'h', 'o'})})
        file.insert(file.end(), s.begin(), s.end());
    file.insert(file.end(), jpeg.begin() + 20, jpeg.end());
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

    // A refusal stops before any row; a length field below 2 is an error.
    ts::CollectingSink refusing;
    refusing.accept = false;
    refusing.refusal = "too big for this test";
    EXPECT_FALSE(ts::DecodeRowsOf(dir.file("a.jpg"), refusing, kept, error));
    EXPECT_EQ(error, "too big for this test");
    EXPECT_EQ(refusing.handOvers, 0);
    file[20 + 3] = 1; // the EXIF segment's length
    ts::WriteBytes(dir.file("b.jpg"), file);
    error.clear();
    EXPECT_FALSE(ts::DecodeRowsOf(dir.file("b.jpg"), sink, kept, error));
    EXPECT_FALSE(error.empty());
}
