#include "image/LxImage.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

namespace {
// A w x h picture where every pixel differs: red from x, green from y.
QImage Gradient(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            image.setPixel(x, y, qRgb((x * 7) % 256, (y * 11) % 256, (x + y) % 256));
        }
    }
    return image;
}

// Fills a 24-bit image so that the pixel at picture row y (top first) and
// column x has blue x, green y, red 200.
void FillBlock(LxImage& image) {
    const int h = image.GetHeight();
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = image.GetRowPointer(h - 1 - y);
        for (int x = 0; x < image.GetWidth(); ++x) {
            row[3 * x] = static_cast<std::uint8_t>(x);
            row[3 * x + 1] = static_cast<std::uint8_t>(y);
            row[3 * x + 2] = 200;
        }
    }
}
} // namespace

TEST(Draw, NaturalSizeCopiesEveryPixelTheRightWayUp) {
    LxImage image;
    ASSERT_NE(image.Create(5, 3, 24, 0), nullptr);
    FillBlock(image);
    // A 32-bit target takes the direct path, a 24-bit one goes through the
    // painter: both must give the same pixels.
    for (QImage::Format format : {QImage::Format_RGB32, QImage::Format_RGB888}) {
        QImage target(5, 3, format);
        target.fill(Qt::black);
        {
            QPainter painter(&target);
            ASSERT_TRUE(image.DrawToDC(&painter, 0, 0, -1, -1, nullptr, false));
        }
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < 5; ++x) {
                EXPECT_EQ(target.pixel(x, y), qRgb(200, y, x)) << format << " " << x << "," << y;
            }
        }
    }
}

TEST(Draw, OffsetAndClipLimitTheCopyAndLeaveThePainterAsItWas) {
    LxImage image;
    ASSERT_NE(image.Create(4, 4, 24, 0), nullptr);
    FillBlock(image);
    QImage target(6, 6, QImage::Format_RGB32);
    target.fill(Qt::black);
    QPainter painter(&target);
    const QRect clip(0, 0, 4, 3);
    ASSERT_TRUE(image.DrawToDC(&painter, 2, 1, 4, 4, &clip, false));
    EXPECT_FALSE(painter.hasClipping());
    painter.end();
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 6; ++x) {
            const bool drawn = x >= 2 && x < 4 && y >= 1 && y < 3;
            const QRgb expected = drawn ? qRgb(200, y - 1, x - 2) : qRgb(0, 0, 0);
            EXPECT_EQ(target.pixel(x, y), expected) << x << "," << y;
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
        for (int x = 0; x < 4; ++x) {
            grey.GetRowPointer(row)[x] = static_cast<std::uint8_t>(60 * x + row);
        }
    }
    EXPECT_FALSE(grey.DrawToDC(&painter, 0, 0, 0, 2, nullptr, false));
    EXPECT_FALSE(grey.DrawToDC(&painter, 0, 0, 4, 0, nullptr, false));
    EXPECT_FALSE(grey.DrawToDC(nullptr, 0, 0, 4, 2, nullptr, false));
    EXPECT_EQ(target.pixel(0, 0), qRgb(0, 0, 255));
    ASSERT_TRUE(grey.DrawToDC(&painter, 0, 0, 4, 2, nullptr, false));
    painter.end();
    for (int x = 0; x < 4; ++x) {
        const int top = 60 * x + 1; // block row 1 is the top row
        EXPECT_EQ(target.pixel(x, 0), qRgb(top, top, top));
        EXPECT_EQ(target.pixel(x, 1), qRgb(top - 1, top - 1, top - 1));
    }

    // 1- and 4-bit blocks go through their palettes too.
    LxImage mono;
    ASSERT_NE(mono.Create(10, 1, 1, 0), nullptr);
    const std::uint8_t red[2] = {0, 255};
    mono.SetPaletteColours(2, red, nullptr, nullptr);
    mono.GetRowPointer(0)[0] = 0xA0; // pixels 0 and 2 set
    mono.GetRowPointer(0)[1] = 0x40; // pixel 9 set
    QImage monoTarget(10, 1, QImage::Format_RGB32);
    QPainter monoPainter(&monoTarget);
    ASSERT_TRUE(mono.DrawToDC(&monoPainter, 0, 0, -1, -1, nullptr, false));
    monoPainter.end();
    for (int x = 0; x < 10; ++x) {
        const bool set = x == 0 || x == 2 || x == 9;
        EXPECT_EQ(monoTarget.pixel(x, 0), set ? qRgb(255, 255, 255) : qRgb(0, 0, 0)) << x;
    }
}

TEST(Draw, BitmapBecomesA24BitBlockBottomUpWithPaddedRows) {
    const QImage bitmap = Gradient(3, 2); // 9 bytes a row, stride 12
    LxImage image;
    ASSERT_TRUE(image.CreateFromBitmapHandle(bitmap));
    EXPECT_EQ(image.GetBitCount(), 24u);
    EXPECT_EQ(image.GetRowStride(), 12u);
    EXPECT_EQ(image.GetTypeCode(), LxImage::kTypeNone);
    for (int y = 0; y < 2; ++y) {
        const std::uint8_t* row = image.GetRowPointer(1 - y);
        for (int x = 0; x < 3; ++x) {
            const QRgb p = bitmap.pixel(x, y);
            EXPECT_EQ(row[3 * x], qBlue(p));
            EXPECT_EQ(row[3 * x + 1], qGreen(p));
            EXPECT_EQ(row[3 * x + 2], qRed(p));
        }
        EXPECT_EQ(row[9] | row[10] | row[11], 0);
    }

    // Drawing it back reproduces the bitmap.
    QImage back(3, 2, QImage::Format_RGB32);
    QPainter painter(&back);
    ASSERT_TRUE(image.DrawToDC(&painter, 0, 0, -1, -1, nullptr, false));
    painter.end();
    EXPECT_EQ(back, bitmap);

    // Other deep formats convert; 16-bit colour is still a 24-bit image.
    ASSERT_TRUE(image.CreateFromBitmapHandle(bitmap.convertToFormat(QImage::Format_RGB16)));
    EXPECT_EQ(image.GetBitCount(), 24u);
    EXPECT_FALSE(image.CreateFromBitmapHandle(QImage()));
    EXPECT_FALSE(image.HasBlock());
}

TEST(Draw, PaletteBitmapsKeepIndicesAndColours) {
    QImage indexed(3, 2, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(10, 20, 30), qRgb(40, 50, 60), qRgb(70, 80, 90)});
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            indexed.setPixel(x, y, static_cast<uint>((x + y) % 3));
        }
    }
    LxImage image;
    ASSERT_TRUE(image.CreateFromBitmapHandle(indexed));
    EXPECT_EQ(image.GetBitCount(), 8u);
    EXPECT_EQ(image.GetRowPointer(1)[2], 2); // top row, x 2
    EXPECT_EQ(image.GetRowPointer(0)[2], 0); // bottom row, x 2
    const std::uint8_t* palette = image.GetPalette();
    EXPECT_EQ(palette[4 + 0], 60); // blue of entry 1
    EXPECT_EQ(palette[4 + 2], 40); // red of entry 1

    QImage grey(2, 1, QImage::Format_Grayscale8);
    grey.scanLine(0)[0] = 17;
    grey.scanLine(0)[1] = 230;
    ASSERT_TRUE(image.CreateFromBitmapHandle(grey));
    EXPECT_TRUE(image.IsGreyRamp());
    EXPECT_EQ(image.GetRowPointer(0)[1], 230);

    QImage mono(9, 1, QImage::Format_MonoLSB);
    mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    mono.fill(0);
    mono.setPixel(8, 0, 1);
    ASSERT_TRUE(image.CreateFromBitmapHandle(mono));
    EXPECT_EQ(image.GetBitCount(), 1u);
    EXPECT_EQ(image.GetRowPointer(0)[0], 0x00);
    EXPECT_EQ(image.GetRowPointer(0)[1], 0x80); // most significant bit first
}
