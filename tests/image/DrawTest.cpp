#include "image/LxImage.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

namespace {
// A 24-bit block whose pixel at picture row y (top first) and column x is
// blue x, green y, red 200.
void FillBlock(LxImage& image, int w, int h) {
    ASSERT_NE(image.Create(w, h, 24, 0), nullptr);
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = image.GetRowPointer(h - 1 - y);
        for (int x = 0; x < w; ++x) {
            row[3 * x] = static_cast<std::uint8_t>(x);
            row[3 * x + 1] = static_cast<std::uint8_t>(y);
            row[3 * x + 2] = 200;
        }
    }
}

// What the block draws at its natural size onto a black picture.
QImage Drawn(const LxImage& image, int w, int h, QImage::Format format = QImage::Format_RGB32) {
    QImage target(w, h, format);
    target.fill(Qt::black);
    QPainter painter(&target);
    EXPECT_TRUE(image.DrawToDC(&painter, 0, 0, -1, -1, nullptr, false));
    painter.end();
    return target.convertToFormat(QImage::Format_RGB32);
}
} // namespace

TEST(Draw, NaturalSizeOffsetAndClipCopyThePixelsTheRightWayUp) {
    LxImage image;
    FillBlock(image, 5, 3);
    // A 32-bit target takes the direct path, a 24-bit one goes through the
    // painter: both must give the same pixels.
    for (const QImage::Format format : {QImage::Format_RGB32, QImage::Format_RGB888}) {
        const QImage target = Drawn(image, 5, 3, format);
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < 5; ++x)
                EXPECT_EQ(target.pixel(x, y), qRgb(200, y, x)) << format << " " << x << "," << y;
        }
    }

    FillBlock(image, 4, 4);
    QImage target(6, 6, QImage::Format_RGB32);
    target.fill(Qt::black);
    QPainter painter(&target);
    const QRect clip(0, 0, 4, 3);
    ASSERT_TRUE(image.DrawToDC(&painter, 2, 1, 4, 4, &clip, false));
    EXPECT_FALSE(painter.hasClipping()) << "the painter is left as it was";
    painter.end();
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 6; ++x) {
            const bool drawn = x >= 2 && x < 4 && y >= 1 && y < 3;
            EXPECT_EQ(target.pixel(x, y), drawn ? qRgb(200, y - 1, x - 2) : qRgb(0, 0, 0))
                << x << "," << y;
        }
    }
}

TEST(Draw, RefusesNothingToDrawAndDrawsPalettesThroughThem) {
    LxImage empty;
    QImage target(4, 2, QImage::Format_RGB32);
    target.fill(Qt::blue);
    QPainter painter(&target);
    EXPECT_FALSE(empty.DrawToDC(&painter, 0, 0, -1, -1, nullptr, false));
    LxImage grey;
    ASSERT_NE(grey.Create(4, 2, 8, 0), nullptr);
    grey.SetGreyRamp();
    for (int row = 0; row < 2; ++row) {
        for (int x = 0; x < 4; ++x)
            grey.GetRowPointer(row)[x] = static_cast<std::uint8_t>(60 * x + row);
    }
    EXPECT_FALSE(grey.DrawToDC(&painter, 0, 0, 0, 2, nullptr, false));
    EXPECT_FALSE(grey.DrawToDC(&painter, 0, 0, 4, 0, nullptr, false));
    EXPECT_FALSE(grey.DrawToDC(nullptr, 0, 0, 4, 2, nullptr, false));
    EXPECT_EQ(target.pixel(0, 0), qRgb(0, 0, 255));
    painter.end();
    const QImage drawn = Drawn(grey, 4, 2);
    for (int x = 0; x < 4; ++x) {
        const int top = 60 * x + 1; // block row 1 is the top row
        EXPECT_EQ(drawn.pixel(x, 0), qRgb(top, top, top));
        EXPECT_EQ(drawn.pixel(x, 1), qRgb(top - 1, top - 1, top - 1));
    }

    // 1-bit blocks go through their palettes too, most significant bit first.
    LxImage mono;
    ASSERT_NE(mono.Create(10, 1, 1, 0), nullptr);
    const std::uint8_t red[2] = {0, 255};
    mono.SetPaletteColours(2, red, nullptr, nullptr);
    mono.GetRowPointer(0)[0] = 0xA0; // pixels 0 and 2 set
    mono.GetRowPointer(0)[1] = 0x40; // pixel 9 set
    const QImage monoDrawn = Drawn(mono, 10, 1);
    for (int x = 0; x < 10; ++x) {
        const bool set = x == 0 || x == 2 || x == 9;
        EXPECT_EQ(monoDrawn.pixel(x, 0), set ? qRgb(255, 255, 255) : qRgb(0, 0, 0)) << x;
    }
}

// Bitmaps of each kind become blocks that draw back as the bitmap: deep
// ones 24-bit with rows padded to 4 bytes, palette ones with their indices.
TEST(Draw, BitmapsBecomeBlocksThatDrawBackAsTheBitmap) {
    QImage gradient(3, 2, QImage::Format_RGB32); // 9 bytes a row, stride 12
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x)
            gradient.setPixel(x, y, qRgb((x * 7) % 256, (y * 11) % 256, (x + y) % 256));
    }
    QImage indexed(3, 2, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(10, 20, 30), qRgb(40, 50, 60), qRgb(70, 80, 90)});
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x)
            indexed.setPixel(x, y, static_cast<uint>((x + y) % 3));
    }
    QImage grey(2, 1, QImage::Format_Grayscale8);
    grey.scanLine(0)[0] = 17;
    grey.scanLine(0)[1] = 230;
    QImage mono(9, 1, QImage::Format_MonoLSB);
    mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    mono.fill(0);
    mono.setPixel(8, 0, 1);
    struct Row {
        const char* name;
        QImage bitmap;
        unsigned bits;
        bool greyRamp;
    };
    for (const Row& row : {Row{"32-bit", gradient, 24, false},
                           Row{"16-bit", gradient.convertToFormat(QImage::Format_RGB16), 24, false},
                           Row{"indexed", indexed, 8, false}, Row{"grey", grey, 8, true},
                           Row{"mono", mono, 1, false}}) {
        SCOPED_TRACE(row.name);
        LxImage image;
        ASSERT_TRUE(image.CreateFromBitmapHandle(row.bitmap));
        EXPECT_EQ(image.GetBitCount(), row.bits);
        EXPECT_EQ(image.IsGreyRamp(), row.greyRamp);
        EXPECT_EQ(image.GetTypeCode(), LxImage::kTypeNone);
        EXPECT_EQ(Drawn(image, row.bitmap.width(), row.bitmap.height()),
                  row.bitmap.convertToFormat(QImage::Format_RGB32));
    }
    LxImage image;
    ASSERT_TRUE(image.CreateFromBitmapHandle(indexed));
    EXPECT_EQ(std::vector<int>(image.GetPalette() + 4, image.GetPalette() + 7),
              (std::vector<int>{60, 50, 40}))
        << "entry 1 as blue, green, red";
    ASSERT_TRUE(image.CreateFromBitmapHandle(gradient));
    EXPECT_EQ(image.GetRowStride(), 12u);
    EXPECT_EQ(image.GetRowPointer(0)[9] | image.GetRowPointer(0)[10] | image.GetRowPointer(0)[11],
              0);
    EXPECT_EQ(image.GetRowPointer(0)[0], qBlue(gradient.pixel(0, 1))) << "bottom row first, BGR";
    EXPECT_FALSE(image.CreateFromBitmapHandle(QImage()));
    EXPECT_FALSE(image.HasBlock());
}
