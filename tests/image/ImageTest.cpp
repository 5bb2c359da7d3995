#include "image/LxImage.h"
#include "image/LxMemFile.h"

#include <cstring>
#include <gtest/gtest.h>

TEST(LxImage, CreateRefusesEmptyAndOversizedPicturesAndStaysEmpty) {
    LxImage image;
    EXPECT_EQ(image.Create(0, 10, 24, 0), nullptr);
    EXPECT_STREQ(image.lastError(), "LxImage::Create : width and height must be greater than zero");
    EXPECT_EQ(image.Create(10, 0, 24, 0), nullptr);
    EXPECT_EQ(image.Create(10000, 10000, 24, 0), nullptr);
    EXPECT_STREQ(image.lastError(), "LXIMAGE_MAX_MEMORY exceeded");
    // width x height wraps in 32 bits (65536 x 65537 = 2^32 + 65536): still refused.
    EXPECT_EQ(image.Create(65536, 65537, 24, 0), nullptr);
    EXPECT_EQ(image.Create(0x80000000u, 1, 24, 0), nullptr);
    EXPECT_FALSE(image.HasBlock());
    ASSERT_NE(image.Create(2, 2, 24, 0), nullptr);
    EXPECT_STREQ(image.lastError(), "LXIMAGE_MAX_MEMORY exceeded") << "success never clears";
}

// Bit counts normalise to 1, 4, 8 or 24; rows are padded to 4 bytes and
// follow the header and the palette; the stored header describes the block.
TEST(LxImage, BlocksAreLaidOutAsTheirHeaderSays) {
    struct Row {
        int width, height, bits;
        unsigned bitCount, stride, paletteBytes;
    };
    for (const Row& row : {Row{1, 5, 32, 24, 4, 0}, Row{3, 5, 16, 24, 12, 0}, Row{9, 2, 0, 1, 4, 8},
                           Row{7, 3, 8, 8, 8, 1024}, Row{9, 2, 4, 4, 8, 64}}) {
        SCOPED_TRACE(row.bits);
        LxImage image;
        const std::uint8_t* block = image.Create(row.width, row.height, row.bits, 0);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(image.GetBitCount(), row.bitCount);
        EXPECT_EQ(image.GetRowStride(), row.stride);
        EXPECT_EQ(image.GetPaletteBytes(), row.paletteBytes);
        EXPECT_EQ(image.GetBlockSize(), 40 + row.paletteBytes + row.stride * row.height);
        EXPECT_EQ(image.GetPalette(), row.paletteBytes ? block + 40 : nullptr);
        const std::vector<std::uint8_t> zeros(row.paletteBytes, 0);
        EXPECT_TRUE(row.paletteBytes == 0 ||
                    std::memcmp(image.GetPalette(), zeros.data(), row.paletteBytes) == 0);
        EXPECT_EQ(image.GetRowPointer(row.height - 1),
                  block + 40 + row.paletteBytes + (row.height - 1) * row.stride);
        EXPECT_EQ(image.GetRowPointer(row.height), nullptr);
        EXPECT_EQ(image.GetRowPointer(-1), nullptr);
        BitmapInfoHeader stored;
        std::memcpy(&stored, block, sizeof stored);
        EXPECT_EQ(std::make_tuple(stored.biSize, stored.biWidth, stored.biHeight, stored.biPlanes,
                                  stored.biClrUsed, stored.biSizeImage, stored.biXPelsPerMeter),
                  std::make_tuple(40u, row.width, row.height, std::uint16_t{1},
                                  row.paletteBytes / 4, row.stride * row.height, 3780));
        EXPECT_TRUE(image.Destroy());
        EXPECT_EQ(image.GetRowPointer(0), nullptr);
        EXPECT_TRUE(image.Destroy());
    }
}

TEST(LxImage, ResolutionReachesTheStoredHeader) {
    LxImage image(3);
    ASSERT_NE(image.Create(4, 4, 24, 3), nullptr);
    image.SetXResolution(300);
    image.SetYResolution(0);
    EXPECT_EQ(image.GetXResolution(), 300);
    EXPECT_EQ(image.GetYResolution(), 96);
    BitmapInfoHeader stored;
    std::memcpy(&stored, image.GetBlock(), sizeof stored);
    EXPECT_EQ(stored.biXPelsPerMeter, 11811);
    EXPECT_EQ(stored.biYPelsPerMeter, 3780);
}

TEST(LxImage, GreyRampIsOnlyTheIdentityPaletteAndPaletteColoursFillIn) {
    LxImage image;
    ASSERT_NE(image.Create(4, 4, 8, 0), nullptr);
    EXPECT_FALSE(image.IsGreyRamp()) << "a zeroed palette is not a ramp";
    image.SetGreyRamp();
    EXPECT_TRUE(image.IsGreyRamp());
    ASSERT_NE(image.Create(4, 4, 4, 0), nullptr);
    image.SetGreyRamp();
    EXPECT_EQ(image.GetPalette()[4], 17);
    EXPECT_FALSE(image.IsGreyRamp());
    const std::uint8_t red[3] = {1, 2, 3};
    const std::uint8_t blue[3] = {7, 8, 9};
    image.SetPaletteColours(3, red, nullptr, blue);
    const std::uint8_t* entry = image.GetPalette() + 8;
    EXPECT_EQ(std::vector<int>(entry, entry + 3), (std::vector<int>{9, 3, 3}))
        << "blue, green (a missing green takes the red), red";
    ASSERT_NE(image.Create(4, 4, 24, 0), nullptr);
    EXPECT_FALSE(image.IsGreyRamp());
}

TEST(LxImage, SwapRedBlueTouchesWholePixelsOfRgbRowsOnly) {
    LxImage image;
    ASSERT_NE(image.Create(2, 1, 24, 0), nullptr);
    std::uint8_t row[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    image.SwapRedBlue(row, 8);
    EXPECT_EQ(std::vector<int>(row, row + 8), (std::vector<int>{3, 2, 1, 6, 5, 4, 7, 8}))
        << "limited to 3 x width";
    image.SwapRedBlue(row, 4);
    EXPECT_EQ(std::vector<int>(row, row + 8), (std::vector<int>{1, 2, 3, 6, 5, 4, 7, 8}))
        << "a group cut by the length stays";
    ASSERT_NE(image.Create(2, 1, 8, 0), nullptr);
    std::uint8_t grey[4] = {1, 2, 3, 4};
    image.SwapRedBlue(grey, 4);
    EXPECT_EQ(grey[0], 1);
}

TEST(LxImage, RowCursorWalksFromTheTopRowDown) {
    LxImage image;
    ASSERT_NE(image.Create(2, 3, 24, 0), nullptr);
    RowCursor cursor(&image);
    cursor.SeekTopRow();
    EXPECT_EQ(cursor.RowIndex(), 2);
    const std::uint8_t top[8] = {1, 1, 1, 1, 1, 1, 9, 9};
    cursor.CopyRowIn(top, -1);
    EXPECT_EQ(std::memcmp(image.GetRowPointer(2), top, 8), 0) << "n < 0 copies a whole stride";
    cursor.StepDown();
    EXPECT_EQ(cursor.Row(), image.GetRowPointer(1));
    cursor.StepDown();
    cursor.StepDown();
    EXPECT_EQ(cursor.RowIndex(), -1);
    EXPECT_EQ(cursor.Row(), image.GetRowPointer(0)) << "past the bottom the cursor stays put";
    RowCursor reader(&image);
    reader.SeekTopRow();
    std::uint8_t out[16] = {};
    reader.CopyRowOut(out, 100);
    EXPECT_EQ(std::memcmp(out, top, 8), 0);
    EXPECT_EQ(out[8], 0) << "never more than one stride";

    LxImage empty;
    RowCursor none(&empty);
    none.SeekTopRow();
    EXPECT_EQ(none.Row(), nullptr);
    none.CopyRowIn(top, 8); // nothing to write into: must not crash
}

TEST(LxImage, EncodeTargetNeedsAStreamAndAPicture) {
    LxImage image;
    EXPECT_TRUE(image.CheckEncodeTarget(nullptr));
    EXPECT_STREQ(image.lastError(), "null file handler");
    LxMemFile stream(nullptr, 0);
    EXPECT_TRUE(image.CheckEncodeTarget(&stream));
    EXPECT_STREQ(image.lastError(), "null image!!!");
    ASSERT_NE(image.Create(1, 1, 24, 0), nullptr);
    EXPECT_FALSE(image.CheckEncodeTarget(&stream));
}
