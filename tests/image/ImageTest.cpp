// The memory stream the codec reads from and writes into, and the image
// block with its drawing.
#include "image/LxImage.h"
#include "image/LxMemFile.h"

#include <QImage>
#include <QPainter>

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <tuple>
#include <vector>

// A memory stream grows past its first block keeping what it holds, hands
// its block over, and refuses requests that overflow or need no block.
TEST(MemFile, GrowsKeepingItsBytesAndRefusesWhatItCannotDo) {
    auto* block = static_cast<std::uint8_t*>(std::malloc(16));
    std::memset(block, 0xAB, 16);
    LxMemFile stream(block, 16);
    const std::vector<std::uint8_t> data(70000, 7);
    ASSERT_TRUE(stream.Seek(0, 2));
    EXPECT_EQ(stream.Write(data.data(), 1, data.size()), data.size());
    EXPECT_EQ(stream.Size(), 70016);
    ASSERT_TRUE(stream.Seek(-5, 0));
    EXPECT_EQ(stream.Tell(), 0) << "clamped at the start";
    std::vector<std::uint8_t> back(70020);
    EXPECT_EQ(stream.Read(back.data(), 4, back.size() / 4), 70016u / 4);
    EXPECT_TRUE(back[15] == 0xAB && back[16] == 7 && back[70015] == 7 && back[70016] == 0);
    EXPECT_EQ(stream.Read(back.data(), SIZE_MAX, 2), 0u) << "an overflowing request reads nothing";
    EXPECT_FALSE(stream.Seek(0x7FFFFFFF, 1)) << "a position past 2^31 cannot be represented";
    block = stream.GetBufferPointer(true);
    block[70015] = 1; // ours now: ASan reports a use after free or a double free
    std::free(block);

    LxMemFile none;
    EXPECT_EQ(none.Write(data.data(), 1, 1), 0u);
    EXPECT_FALSE(none.PutByte(1) || none.Seek(0, 0));
    EXPECT_EQ(std::make_tuple(none.Tell(), none.Size(), none.GetByte()),
              std::make_tuple(-1, -1, -1));
}

// Bitmaps of each kind become blocks (deep ones 24-bit, palette ones with
// their indices) that draw back as the bitmap, at an offset, within a clip,
// leaving the painter as it was.
TEST(LxImage, BitmapsBecomeBlocksThatDrawBackAsTheBitmap) {
    QImage deep(3, 2, QImage::Format_RGB32); // 9 bytes a row in the block, padded to 12
    QImage indexed(3, 2, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(10, 20, 30), qRgb(40, 50, 60), qRgb(70, 80, 90)});
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            deep.setPixel(x, y, qRgb(x * 70, y * 90, x + y));
            indexed.setPixel(x, y, static_cast<uint>((x + y) % 3));
        }
    }
    QImage grey(2, 1, QImage::Format_Grayscale8);
    grey.scanLine(0)[0] = 17;
    grey.scanLine(0)[1] = 230;
    QImage mono(10, 1, QImage::Format_MonoLSB); // pixels 0, 2 and 9 set
    mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    mono.fill(0);
    for (const int x : {0, 2, 9})
        mono.setPixel(x, 0, 1);
    const std::tuple<const char*, QImage, unsigned> rows[] = {
        {"32-bit", deep, 24u},
        {"16-bit", deep.convertToFormat(QImage::Format_RGB16), 24u},
        {"indexed", indexed, 8u},
        {"grey", grey, 8u},
        {"mono", mono, 1u}};
    for (const auto& [name, bitmap, bits] : rows) {
        SCOPED_TRACE(name);
        LxImage image;
        ASSERT_TRUE(image.CreateFromBitmapHandle(bitmap));
        EXPECT_EQ(image.GetBitCount(), bits);
        const int w = bitmap.width(), h = bitmap.height();
        const QImage expected = bitmap.convertToFormat(QImage::Format_RGB32);
        // A 32-bit target takes the pixels directly, a 24-bit one through the painter.
        for (const QImage::Format format : {QImage::Format_RGB32, QImage::Format_RGB888}) {
            QImage target(w + 2, h + 2, format);
            target.fill(Qt::black);
            QPainter painter(&target);
            const QRect clip(0, 0, w, h + 2); // the block's last column is clipped away
            ASSERT_TRUE(image.DrawToDC(&painter, 1, 1, -1, -1, &clip, false));
            EXPECT_FALSE(painter.hasClipping());
            painter.end();
            for (int y = 0; y < h + 2; ++y) {
                for (int x = 0; x < w + 2; ++x) {
                    const bool drawn = x >= 1 && x < w && y >= 1 && y <= h;
                    EXPECT_EQ(target.pixel(x, y),
                              drawn ? expected.pixel(x - 1, y - 1) : qRgb(0, 0, 0))
                        << format << " " << x << "," << y;
                }
            }
        }
    }
    LxImage empty;
    QImage target(2, 2, QImage::Format_RGB32);
    QPainter painter(&target);
    EXPECT_FALSE(empty.DrawToDC(&painter, 0, 0, -1, -1, nullptr, false));
}
