#include "codec/LxImageJPG.h"
#include "image/LxIOFile.h"
#include "image/LxMemFile.h"
#include "tests/support/ExifBuilder.h"
#include "tests/support/TestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>

namespace ts = testing_support;

namespace {
// A photo-like test picture: smooth gradients with a little noise.
void FillPicture(LxImage& image, int width, int height, int bits) {
    ASSERT_NE(image.Create(width, height, bits, LxImage::kTypeJpeg), nullptr);
    if (bits == 8) {
        image.SetGreyRamp();
    }
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

std::vector<std::uint8_t> EncodeToBytes(LxImageJPG& image) {
    LxMemFile stream(static_cast<std::uint8_t*>(std::malloc(16)), 16);
    EXPECT_TRUE(image.Encode(&stream)) << image.lastError();
    const std::uint8_t* data = stream.GetBufferPointer(false);
    return std::vector<std::uint8_t>(data, data + stream.Size());
}

bool DecodeBytes(std::vector<std::uint8_t> bytes, LxImageJPG& image) {
    LxMemFile stream(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    return image.Decode(&stream);
}

std::vector<std::uint8_t> SpliceAfterHeader(std::vector<std::uint8_t> jpeg,
                                            const std::vector<std::uint8_t>& segment) {
    jpeg.insert(jpeg.begin() + 20, segment.begin(), segment.end());
    return jpeg;
}
} // namespace

TEST(JpegCodec, EncodingWritesWhatCjpegWritesAfterTheHeader) {
    ts::TempDir dir;
    for (const int bits : {24, 8}) {
        SCOPED_TRACE(bits);
        LxImageJPG image;
        FillPicture(image, 61, 37, bits);
        const auto ours = EncodeToBytes(image);
        const auto input = dir.file(bits == 24 ? "in.ppm" : "in.pgm");
        ts::WriteBytes(input, ts::ToPnm(image));
        const auto theirs = dir.file("cjpeg.jpg");
        ASSERT_EQ(ts::Run("cjpeg -quality 90 -sample 2x2 -outfile " + ts::Quote(theirs) + " " +
                          ts::Quote(input))
                      .exitCode,
                  0);
        const auto reference = ts::ReadBytes(theirs);
        ASSERT_GT(reference.size(), 20u);
        ASSERT_EQ(ours.size(), reference.size());
        EXPECT_TRUE(std::equal(ours.begin() + 20, ours.end(), reference.begin() + 20))
            << "same tables, same frame, same scan";
        const std::vector<std::uint8_t> header = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J',
                                                  'F',  'I',  'F',  0x00, 0x01, 0x01, 0x01,
                                                  0x00, 0x60, 0x00, 0x60, 0x00, 0x00};
        EXPECT_TRUE(std::equal(header.begin(), header.end(), ours.begin()))
            << "JFIF with 96 x 96 dots per inch";
    }
}

TEST(JpegCodec, GreyscaleDecodesToAGreyRampAndPalettesAreNotEncoded) {
    LxImageJPG grey;
    FillPicture(grey, 20, 9, 8);
    const auto bytes = EncodeToBytes(grey);
    LxImageJPG decoded;
    ASSERT_TRUE(DecodeBytes(bytes, decoded));
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
        LxImageJPG twelveBit;
        EXPECT_FALSE(ts::DecodeFile(ts::CorpusDir() / "special/fzc_testorig12.jpg", twelveBit));
        EXPECT_STREQ(twelveBit.lastError(), "Unsupported JPEG data precision 12");
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
}

TEST(JpegCodec, TruncatedScanStillDecodesAtFullSize) {
    LxImageJPG source;
    FillPicture(source, 64, 48, 24);
    auto bytes = EncodeToBytes(source);
    bytes.resize(bytes.size() * 2 / 3);
    LxImageJPG image;
    EXPECT_TRUE(DecodeBytes(bytes, image)) << "the library completes the picture";
    EXPECT_EQ(image.GetWidth(), 64);
    EXPECT_EQ(image.GetHeight(), 48);
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
    const auto bytes = EncodeToBytes(image);
    ts::TempDir dir;
    const auto path = dir.file("again.jpg");
    ts::WriteBytes(path, bytes);
    EXPECT_EQ(ts::Run("exiftool -s3 -Make -ImageDescription " + ts::Quote(path)).output,
              "General Imaging Co.\nGE DIGITAL CAMERA\n");
    const auto djpeg = ts::Run("djpeg " + ts::Quote(path) + " | head -c 2");
    EXPECT_EQ(djpeg.output, "P6");
}
