// Captions sized relative to the picture, and the outline, shadow and box
// that keep them legible: drawn on real images and checked pixel by pixel.
#include "render/TextStyle.h"
#include "render/CaptionRenderer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace {
constexpr QRgb kGround = 0xFF406080;

PictureDocument Document(int w, int h) {
    PictureDocument document;
    document.picture = QImage(w, h, QImage::Format_RGB32);
    document.picture.fill(kGround);
    return document;
}

Caption Text(const QString& text, int em = -40) {
    Caption caption;
    caption.text = text;
    caption.sizeUnit = SizeUnit::Pixels;
    caption.font.height = em;
    caption.textColor = 0x000000FF; // red
    caption.marginLeft = 40;
    caption.marginTop = 40;
    return caption;
}

QImage Render(const Caption& caption, int w = 400, int h = 300) {
    PictureDocument document = Document(w, h);
    document.captions.append(caption);
    return renderCaptions(document);
}

// The pixels where two canvases of one size differ.
QRect Changed(const QImage& a, const QImage& b) {
    QRect box;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) != b.pixel(x, y))
                box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

// The picture's colour under `colour` at `alpha` (0-1), as the renderer
// blends it.
bool Blends(QRgb got, QRgb ground, QRgb colour, double alpha) {
    const auto near = [alpha](int g, int c, int value) {
        return std::abs(value - (c * alpha + g * (1 - alpha))) <= 1.5;
    };
    return near(qRed(ground), qRed(colour), qRed(got)) &&
           near(qGreen(ground), qGreen(colour), qGreen(got)) &&
           near(qBlue(ground), qBlue(colour), qBlue(got));
}

// Where the caption's lines lie, as the renderer lays them out.
QRectF LaidOutBounds(const Caption& caption, QSize picture) {
    const QRectF box(caption.marginLeft, caption.marginTop,
                     picture.width() - caption.marginLeft - caption.marginRight,
                     picture.height() - caption.marginTop - caption.marginBottom);
    return layOutText(caption.text, captionFont(caption, picture), box, textFlags(caption, true))
        .bounds;
}
} // namespace

TEST(TextSize, TheRelativeEmIsAShareOfTheShorterSideInBothOrientations) {
    Caption caption; // relative, 14/480 of the shorter side
    EXPECT_EQ(captionEmPixels(caption, QSize(640, 480)), 14);
    EXPECT_EQ(captionEmPixels(caption, QSize(480, 640)), 14);
    EXPECT_EQ(captionEmPixels(caption, QSize(6000, 4000)), 117);
    EXPECT_EQ(captionEmPixels(caption, QSize(4000, 6000)), 117);
    EXPECT_EQ(captionEmPixels(caption, QSize(1920, 1080)), 32); // 31.5 rounds up
    EXPECT_EQ(captionEmPixels(caption, QSize(30, 20)), 1);      // 0.58 rounds to 1
    caption.sizePercent = 10;
    EXPECT_EQ(captionEmPixels(caption, QSize(250, 1000)), 25);
    EXPECT_EQ(captionEmPixels(caption, QSize(1000, 250)), 25);
    EXPECT_EQ(captionFont(caption, QSize(1000, 250)).pixelSize(), 25);
    // Absolute captions keep the font's own height whatever the picture.
    caption.sizeUnit = SizeUnit::Pixels;
    caption.font.height = -20;
    EXPECT_EQ(captionEmPixels(caption, QSize(6000, 4000)), 20);
    EXPECT_EQ(captionEmPixels(caption, QSize(64, 48)), 20);
}

TEST(TextSize, SizesNoPictureCanShowAreClamped) {
    Caption caption;
    caption.sizePercent = 0;
    EXPECT_EQ(captionEmPixels(caption, QSize(6000, 4000)), 1);
    caption.sizePercent = -50;
    EXPECT_EQ(captionEmPixels(caption, QSize(6000, 4000)), 1);
    caption.sizePercent = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(captionEmPixels(caption, QSize(6000, 4000)), 1);
    caption.sizePercent = 1000;
    EXPECT_EQ(captionEmPixels(caption, QSize(6000, 4000)), 40000);
    caption.sizePercent = 1e300;
    EXPECT_EQ(captionEmPixels(caption, QSize(6000, 4000)), kMaxCaptionPixelSize);
    caption.sizePercent = std::numeric_limits<double>::infinity();
    EXPECT_EQ(captionEmPixels(caption, QSize(6000, 4000)), 1);
}

TEST(TextSize, TheDefaultCaptionOnA640By480PhotoIsTheAbsolute14PixelOne) {
    for (const std::int32_t disposition :
         {Disposition::OnImage, Disposition::TopBand, Disposition::BottomBand}) {
        Caption relative;
        relative.text = QStringLiteral("The default caption, wrapping over the picture's width "
                                       "because it goes on and on and on and on and on");
        relative.disposition = disposition;
        Caption absolute = relative;
        absolute.sizeUnit = SizeUnit::Pixels;
        ASSERT_EQ(absolute.font.height, -14);
        const QImage a = Render(relative, 640, 480);
        const QImage b = Render(absolute, 640, 480);
        ASSERT_EQ(a.size(), b.size());
        EXPECT_NE(a, Document(640, 480).picture.convertToFormat(a.format()));
        EXPECT_EQ(
            std::memcmp(a.constBits(), b.constBits(), static_cast<std::size_t>(a.sizeInBytes())),
            0);
    }
    // Turned to portrait, the shorter side is still 480.
    Caption relative;
    relative.text = QStringLiteral("Portrait");
    Caption absolute = relative;
    absolute.sizeUnit = SizeUnit::Pixels;
    EXPECT_EQ(Render(relative, 480, 640), Render(absolute, 480, 640));
}

TEST(TextStyle, AnOutlineSurroundsTheGlyphsAndChangesNothingFurther) {
    const Caption plain = Text(QStringLiteral("Outlined"));
    Caption outlined = plain;
    outlined.outline.enabled = true;
    outlined.outline.width = 3;
    outlined.outline.color = 0x0000FF00; // green
    const QImage a = Render(plain);
    const QImage b = Render(outlined);
    const QRect ink = Changed(a, Document(400, 300).picture);
    const QRect changed = Changed(a, b);
    ASSERT_FALSE(changed.isEmpty());
    EXPECT_TRUE(ink.adjusted(-5, -5, 5, 5).contains(changed)) << "no farther than the width";
    EXPECT_GT(changed.width(), ink.width());
    int green = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            green += b.pixel(x, y) == qRgb(0, 255, 0);
            // The text is drawn over its outline.
            if (a.pixel(x, y) == qRgb(255, 0, 0)) {
                EXPECT_EQ(b.pixel(x, y), qRgb(255, 0, 0)) << x << "," << y;
            }
        }
    }
    EXPECT_GT(green, 100);
    // A relative width of 1% on this 300-pixel-high picture is 3 pixels.
    outlined.outline.widthUnit = SizeUnit::PercentOfPicture;
    outlined.outline.width = 1;
    EXPECT_EQ(Render(outlined), b);
    // Off, it draws nothing whatever its settings.
    outlined.outline.enabled = false;
    EXPECT_EQ(Render(outlined), a);
}

TEST(TextStyle, UnderlineAndStrikeOutTakeTheOutlineToo) {
    for (const bool strikeOut : {false, true}) {
        SCOPED_TRACE(strikeOut ? "strike-out" : "underline");
        Caption bare = Text(QStringLiteral("a          b"));
        Caption decorated = bare;
        (strikeOut ? decorated.font.strikeOut : decorated.font.underline) = 1;
        const QImage plain = Render(bare);
        const QImage barred = Render(decorated);
        decorated.outline.enabled = true;
        decorated.outline.width = 3;
        decorated.outline.color = 0x0000FF00; // green
        const QImage outlined = Render(decorated);
        // Columns between the letters: no ink without the bar, the bar's
        // red with it, and the outline's green above and below the bar.
        const QRect ink = Changed(plain, Document(400, 300).picture);
        int gapColumns = 0;
        for (int x = ink.left(); x <= ink.right(); ++x) {
            bool letter = false;
            bool bar = false;
            bool outline = false;
            for (int y = 0; y < plain.height(); ++y) {
                letter |= plain.pixel(x, y) != kGround;
                bar |= barred.pixel(x, y) == qRgb(255, 0, 0);
                outline |= outlined.pixel(x, y) == qRgb(0, 255, 0);
            }
            if (letter)
                continue;
            ++gapColumns;
            EXPECT_TRUE(bar) << x;
            EXPECT_TRUE(outline) << x;
        }
        EXPECT_GT(gapColumns, 40);
    }
}

TEST(TextStyle, ABoxBlendsBehindTheTextOverItsLaidOutBoundsAndPadding) {
    const Caption plain = Text(QStringLiteral("Boxed\r\ntwo lines"));
    Caption boxed = plain;
    boxed.box.enabled = true;
    boxed.box.color = 0x00FF0000; // blue
    boxed.box.opacity = 40;
    boxed.box.padding = 8;
    const QImage a = Render(plain);
    const QImage b = Render(boxed);
    const QRect box = LaidOutBounds(plain, QSize(400, 300)).toAlignedRect().adjusted(-8, -8, 8, 8);
    EXPECT_EQ(Changed(a, b), box);
    for (const QPoint p : {box.topLeft(), box.bottomRight(), QPoint(box.right(), box.top() + 3)})
        EXPECT_TRUE(Blends(b.pixel(p), kGround, qRgb(0, 0, 255), 0.4)) << p.x() << "," << p.y();
    // Fully opaque it covers the picture; fully clear it is not there.
    boxed.box.opacity = 100;
    EXPECT_EQ(Render(boxed).pixel(box.topLeft()), qRgb(0, 0, 255));
    boxed.box.opacity = 0;
    EXPECT_EQ(Render(boxed), a);
    // Opacities past 100% are 100%.
    boxed.box.opacity = 250;
    EXPECT_EQ(Render(boxed).pixel(box.topLeft()), qRgb(0, 0, 255));
}

TEST(TextStyle, AShadowIsTheInkMovedByItsOffsetBlurredAndBlended) {
    const Caption plain = Text(QStringLiteral("Shadow"));
    Caption shaded = plain;
    shaded.shadow.enabled = true;
    shaded.shadow.offsetX = 20;
    shaded.shadow.offsetY = 30;
    shaded.shadow.blur = 0;
    shaded.shadow.color = 0x00FFFFFF; // white
    shaded.shadow.opacity = 50;
    const QImage a = Render(plain);
    const QImage b = Render(shaded);
    const QImage picture = Document(400, 300).picture;
    const QRect ink = Changed(a, picture);
    EXPECT_TRUE(ink.united(ink.translated(20, 30)).adjusted(-1, -1, 1, 1).contains(Changed(a, b)));
    // Where the text is solid and nothing covers the shadow, it is the
    // shadow colour at half strength.
    int solid = 0;
    int blended = 0;
    for (int y = ink.top(); y <= ink.bottom(); ++y) {
        for (int x = ink.left(); x <= ink.right(); ++x) {
            const QPoint moved(x + 20, y + 30);
            if (a.pixel(x, y) == qRgb(255, 0, 0) && a.pixel(moved) == kGround) {
                // The shadow is the glyphs' exact outline, the text its
                // hinted form: a stem's edge pixel may be partly covered.
                blended += Blends(b.pixel(moved), kGround, qRgb(255, 255, 255), 0.5);
                EXPECT_TRUE(
                    Blends(b.pixel(moved), kGround, qRgb(255, 255, 255),
                           (qRed(b.pixel(moved)) - qRed(kGround)) / (255.0 - qRed(kGround))));
                EXPECT_LE(qRed(b.pixel(moved)), (qRed(kGround) + 255) / 2 + 1) << "at most half";
                ++solid;
            }
        }
    }
    EXPECT_GT(solid, 50);
    EXPECT_GT(blended, solid * 8 / 10);

    // Blurred, it spreads by about its radius and no further.
    shaded.shadow.blur = 9;
    const QImage blurred = Render(shaded);
    const QRect spread = Changed(a, blurred);
    EXPECT_TRUE(ink.united(ink.translated(20, 30)).adjusted(-12, -12, 12, 12).contains(spread));
    EXPECT_GT(spread.bottom(), Changed(a, b).bottom());
    // Off, or fully clear, it draws nothing.
    shaded.shadow.opacity = 0;
    EXPECT_EQ(Render(shaded), a);
}

TEST(TextStyle, BandTextTakesItsOutlineAndTheStripGrowsToHoldIt) {
    Caption band = Text(QStringLiteral("Band with an outline"), -30);
    band.disposition = Disposition::BottomBand;
    band.backgroundColor = 0x00000000;
    band.textColor = 0x00FFFFFF;
    Caption outlined = band;
    outlined.outline.enabled = true;
    outlined.outline.width = 4;
    outlined.outline.color = 0x000000FF; // red
    // A band never takes a box; its shadow stays in its strip.
    outlined.box.enabled = true;
    outlined.shadow.enabled = true;
    outlined.shadow.offsetY = -200;
    const QImage a = Render(band);
    const QImage b = Render(outlined);
    EXPECT_EQ(b.height(), a.height() + 8);
    const QImage picture = Document(400, 300).picture;
    for (int y = 0; y < 300; ++y)
        ASSERT_EQ(std::memcmp(b.constScanLine(y), picture.constScanLine(y), 400 * 4), 0) << y;
    int red = 0;
    for (int y = 300; y < b.height(); ++y) {
        for (int x = 0; x < b.width(); ++x)
            red += b.pixel(x, y) == qRgb(255, 0, 0);
    }
    EXPECT_GT(red, 100);
    EXPECT_EQ(b.pixel(399, b.height() - 1), qRgb(0, 0, 0));
}

TEST(TextStyle, AbsurdValuesAreClampedAndDrawQuickly) {
    Caption caption = Text(QStringLiteral("Absurd"));
    caption.sizeUnit = SizeUnit::PercentOfPicture;
    caption.sizePercent = 1000;
    caption.outline.enabled = true;
    caption.outline.width = 1e12;
    caption.shadow.enabled = true;
    caption.shadow.blur = 1e6;
    caption.shadow.offsetX = std::numeric_limits<std::int32_t>::min();
    caption.shadow.offsetY = std::numeric_limits<std::int32_t>::max();
    caption.box.enabled = true;
    caption.box.padding = std::numeric_limits<std::int32_t>::max();
    caption.box.opacity = -5;
    caption.marginLeft = std::numeric_limits<std::int32_t>::min();
    caption.marginRight = std::numeric_limits<std::int32_t>::max();

    // 1000 % of the shorter side is an em of 1500 pixels.
    const ResolvedStyle style = resolveStyle(caption, 150, 200, 1500, true);
    EXPECT_EQ(style.outlineWidth, 200);
    EXPECT_EQ(resolveStyle(caption, 150, 200, 40, true).outlineWidth, 20)
        << "an outline is at most half the em";
    EXPECT_EQ(resolveStyle(caption, 150, 200, 0, true).outlineWidth, 0.5);
    EXPECT_EQ(style.shadowBlur, kMaxShadowBlur);
    EXPECT_EQ(style.shadowOffset, QPoint(-200, 200));
    EXPECT_FALSE(style.box) << "a clear box is none";
    caption.box.opacity = 50;
    EXPECT_EQ(resolveStyle(caption, 150, 200, 1500, true).boxPadding, 200);
    caption.outline.width = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(resolveStyle(caption, 150, 200, 1500, true).outlineWidth, 0);
    caption.outline.width = 1e12;

    const QImage onImage = Render(caption, 200, 150);
    EXPECT_EQ(onImage.size(), QSize(200, 150));
    caption.marginLeft = 0;
    caption.marginRight = 0;
    caption.disposition = Disposition::TopBand;
    const QImage band = Render(caption, 200, 150);
    // The text is at most the picture's height, the outline at most its
    // longer side above and below.
    EXPECT_GT(band.height(), 150);
    EXPECT_LE(band.height(), 150 + 150 + 2 * 200);

    // On a band of 20-pixel text the outline is 10 pixels above and below.
    Caption small = Text(QStringLiteral("Small"), -20);
    small.disposition = Disposition::TopBand;
    const int bare = Render(small, 2000, 1500).height();
    small.outline.enabled = true;
    small.outline.width = 1e12;
    EXPECT_EQ(Render(small, 2000, 1500).height(), bare + 2 * 10);
}

TEST(TextStyle, ARedrawOfTheReachGivesTheWholeRendersPixelsForEveryStyle) {
    PictureDocument document = Document(480, 320);
    for (int y = 0; y < 320; ++y) {
        for (int x = 0; x < 480; ++x)
            document.picture.setPixel(x, y, qRgb(x / 2, y * 3 / 4, (x + y) % 256));
    }
    Caption base = Text(QStringLiteral("Styled caption, wrapping over lines"), -36);
    base.marginLeft = 90;
    base.marginTop = 0;
    std::vector<Caption> styled(4, base);
    styled[0].outline.enabled = true;
    styled[0].outline.width = 6;
    styled[1].shadow.enabled = true;
    styled[1].shadow.offsetX = -25;
    styled[1].shadow.offsetY = -30;
    styled[1].shadow.blur = 9;
    styled[2].box.enabled = true;
    styled[2].box.padding = 30;
    styled[3] = styled[0];
    styled[3].shadow = styled[1].shadow;
    styled[3].box = styled[2].box;
    for (std::size_t i = 0; i < styled.size(); ++i) {
        SCOPED_TRACE(i);
        Caption band = Text(QStringLiteral("Top band"), -30);
        band.disposition = Disposition::TopBand;
        Caption listed = Text(QStringLiteral("Listed one"), -48);
        listed.marginLeft = 0;
        listed.marginTop = 0;
        const std::vector<const Caption*> list{&band, &listed, &styled[i]};
        const QImage whole = renderCaptionList(document, list);
        QImage part = renderCaptionList(document, list, QImage(), 2);
        const QRect reach = inkReach(document, list, 2);
        EXPECT_TRUE(reach.contains(Changed(whole, part)));
        redrawCaptions(part, document, list, 2, reach);
        EXPECT_EQ(Changed(part, whole), QRect());
    }
}
