// Captions sized relative to the picture, and the outline, shadow and box
// that keep them legible: drawn on real images and checked pixel by pixel.
#include "render/TextStyle.h"
#include "tests/support/CaptionCanvas.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

using namespace caption_canvas;

namespace {
constexpr QRgb kGreen = 0xFF00FF00;

// Red 40-pixel text inset 40 pixels from the top left.
Caption Styled(const QString& text, int pixels = 40) {
    Caption caption = Text(text, pixels);
    caption.marginLeft = caption.marginTop = 40;
    return caption;
}

// `got` is `colour` at `alpha` (0-1) over `ground`, as the renderer blends.
bool Blends(QRgb got, QRgb ground, QRgb colour, double alpha) {
    const auto near = [alpha](int g, int c, int value) {
        return std::abs(value - (c * alpha + g * (1 - alpha))) <= 1.5;
    };
    return near(qRed(ground), qRed(colour), qRed(got)) &&
           near(qGreen(ground), qGreen(colour), qGreen(got)) &&
           near(qBlue(ground), qBlue(colour), qBlue(got));
}
} // namespace

TEST(TextSize, ARelativeSizeIsAShareOfTheShorterSideClampedAndDrawsAsThatPixelSize) {
    const double normal = Caption().sizePercent; // 14 pixels of 480
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        const char* name;
        QSize picture;
        double percent;
        int em;
        bool draw = false;
    } rows[] = {
        {"default, landscape", {640, 480}, normal, 14, true},
        {"default, portrait", {480, 640}, normal, 14, true},
        {"default, 24 MP", {6000, 4000}, normal, 117},
        {"default, 24 MP portrait", {4000, 6000}, normal, 117},
        {"31.5 rounds up", {1920, 1080}, normal, 32},
        {"0.58 rounds to 1", {30, 20}, normal, 1},
        {"10 % of a narrow picture", {250, 1000}, 10, 25, true},
        {"10 % of a low picture", {1000, 250}, 10, 25, true},
        {"zero", {6000, 4000}, 0, 1},
        {"negative", {6000, 4000}, -50, 1},
        {"NaN", {6000, 4000}, nan, 1},
        {"infinite", {6000, 4000}, inf, 1},
        {"1000 %", {6000, 4000}, 1000, 40000},
        {"past the largest font", {6000, 4000}, 1e300, kMaxCaptionPixelSize},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Caption relative;
        relative.sizePercent = row.percent;
        EXPECT_EQ(captionEmPixels(relative, row.picture), row.em);
        EXPECT_EQ(captionFont(relative, row.picture).pixelSize(), row.em);
        if (!row.draw)
            continue;
        relative.text = QStringLiteral("A caption wrapping over the picture's width because it "
                                       "goes on and on and on and on and on");
        for (const std::int32_t disposition :
             {Disposition::OnImage, Disposition::TopBand, Disposition::BottomBand}) {
            relative.disposition = disposition;
            Caption absolute = relative;
            absolute.sizeUnit = SizeUnit::Pixels;
            absolute.font.height = -row.em;
            const int w = row.picture.width();
            const int h = row.picture.height();
            const QImage drawn = Render(relative, w, h);
            EXPECT_NE(drawn, Document(w, h).picture);
            EXPECT_EQ(drawn, Render(absolute, w, h)) << disposition;
        }
    }
    // Absolute captions keep the font's own height whatever the picture.
    const Caption absolute = Text({}, 20);
    EXPECT_EQ(captionEmPixels(absolute, QSize(6000, 4000)), 20);
    EXPECT_EQ(captionEmPixels(absolute, QSize(64, 48)), 20);
}

TEST(TextStyle, AnOutlineSurroundsTheGlyphsAndTheirBarsAndIsDrawnUnderTheText) {
    const Caption plain = Styled(QStringLiteral("Outlined"));
    Caption outlined = plain;
    outlined.outline = {true, 3, SizeUnit::Pixels, 0x0000FF00}; // green
    const QImage a = Render(plain);
    const QImage b = Render(outlined);
    const QRect ink = Ink(a);
    const QRect changed = Changed(a, b);
    EXPECT_TRUE(ink.adjusted(-5, -5, 5, 5).contains(changed)) << "no farther than the width";
    EXPECT_GT(changed.width(), ink.width());
    int green = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            green += b.pixel(x, y) == kGreen;
            if (a.pixel(x, y) == kRed) {
                EXPECT_EQ(b.pixel(x, y), kRed) << x << "," << y;
            }
        }
    }
    EXPECT_GT(green, 100);
    // 1 % of this 300-pixel-high picture is 3 pixels; off, it draws nothing.
    outlined.outline.widthUnit = SizeUnit::PercentOfPicture;
    outlined.outline.width = 1;
    EXPECT_EQ(Render(outlined), b);
    outlined.outline.enabled = false;
    EXPECT_EQ(Render(outlined), a);

    // Underline and strike-out bars: between the letters the bar's red,
    // and the outline's green above and below it.
    for (const bool strikeOut : {false, true}) {
        SCOPED_TRACE(strikeOut ? "strike-out" : "underline");
        Caption bare = Styled(QStringLiteral("a          b"));
        const QImage letters = Render(bare);
        (strikeOut ? bare.font.strikeOut : bare.font.underline) = 1;
        const QImage barred = Render(bare);
        bare.outline = outlined.outline;
        bare.outline.enabled = true;
        const QImage barOutlined = Render(bare);
        const QRect lettersInk = Ink(letters);
        int gapColumns = 0;
        for (int x = lettersInk.left(); x <= lettersInk.right(); ++x) {
            bool letter = false, bar = false, outline = false;
            for (int y = 0; y < letters.height(); ++y) {
                letter |= letters.pixel(x, y) != kGround;
                bar |= barred.pixel(x, y) == kRed;
                outline |= barOutlined.pixel(x, y) == kGreen;
            }
            if (letter)
                continue;
            ++gapColumns;
            EXPECT_TRUE(bar && outline) << x;
        }
        EXPECT_GT(gapColumns, 40);
    }
}

TEST(TextStyle, ABoxBlendsBehindTheTextOverItsLaidOutBoundsAndPadding) {
    const Caption plain = Styled(QStringLiteral("Boxed\r\ntwo lines"));
    Caption boxed = plain;
    boxed.box = {true, 0x00FF0000, 40, 8}; // blue
    const QImage a = Render(plain);
    const QRectF room(40, 40, 360, 260);
    const QRect box =
        layOutText(plain.text, captionFont(plain, {400, 300}), room, textFlags(plain, true))
            .bounds.toAlignedRect()
            .adjusted(-8, -8, 8, 8);
    const QImage b = Render(boxed);
    EXPECT_EQ(Changed(a, b), box);
    for (const QPoint p : {box.topLeft(), box.bottomRight(), QPoint(box.right(), box.top() + 3)})
        EXPECT_TRUE(Blends(b.pixel(p), kGround, qRgb(0, 0, 255), 0.4)) << p.x() << "," << p.y();
    // Opaque it covers the picture (past 100 % too); clear it is not there.
    for (const std::int32_t opacity : {100, 250}) {
        boxed.box.opacity = opacity;
        EXPECT_EQ(Render(boxed).pixel(box.topLeft()), qRgb(0, 0, 255)) << opacity;
    }
    boxed.box.opacity = 0;
    EXPECT_EQ(Render(boxed), a);
}

TEST(TextStyle, AShadowIsTheInkMovedByItsOffsetBlurredAndBlended) {
    const Caption plain = Styled(QStringLiteral("Shadow"));
    Caption shaded = plain;
    shaded.shadow = {true, 20, 30, 0, 0x00FFFFFF, 50}; // white, half strength
    const QImage a = Render(plain);
    const QImage b = Render(shaded);
    const QRect ink = Ink(a);
    const QRect reach = ink.united(ink.translated(20, 30));
    EXPECT_TRUE(reach.adjusted(-1, -1, 1, 1).contains(Changed(a, b)));
    // Where the text is solid and nothing covers the shadow: white at half
    // strength, or less at a stem's edge (the shadow is the glyphs' exact
    // outline, the text its hinted form).
    int solid = 0;
    int blended = 0;
    for (int y = ink.top(); y <= ink.bottom(); ++y) {
        for (int x = ink.left(); x <= ink.right(); ++x) {
            const QRgb got = b.pixel(x + 20, y + 30);
            if (a.pixel(x, y) != kRed || a.pixel(x + 20, y + 30) != kGround)
                continue;
            ++solid;
            blended += Blends(got, kGround, qRgb(255, 255, 255), 0.5);
            const double alpha = (qRed(got) - qRed(kGround)) / (255.0 - qRed(kGround));
            EXPECT_TRUE(alpha <= 0.5 + 1 / 255.0 && Blends(got, kGround, 0xFFFFFFFF, alpha));
        }
    }
    EXPECT_GT(solid, 50);
    EXPECT_GT(blended, solid * 8 / 10);
    // Blurred, it spreads by about its radius and no further; clear, it is
    // not there.
    shaded.shadow.blur = 9;
    const QRect spread = Changed(a, Render(shaded));
    EXPECT_TRUE(reach.adjusted(-12, -12, 12, 12).contains(spread));
    EXPECT_GT(spread.bottom(), Changed(a, b).bottom());
    shaded.shadow.opacity = 0;
    EXPECT_EQ(Render(shaded), a);
}

TEST(TextStyle, BandTextTakesItsOutlineAndTheStripGrowsToHoldItButNoBoxOrShadowOutside) {
    Caption band = Band(Disposition::BottomBand, QStringLiteral("Band with an outline"), 0, 30);
    band.textColor = 0x00FFFFFF;
    Caption outlined = band;
    outlined.outline = {true, 4, SizeUnit::Pixels, 0x000000FF}; // red
    outlined.box.enabled = true;
    outlined.shadow.enabled = true;
    outlined.shadow.offsetY = -200;
    const QImage a = Render(band);
    const QImage b = Render(outlined);
    EXPECT_EQ(b.height(), a.height() + 8);
    EXPECT_EQ(b.copy(0, 0, 400, 300), Document(400, 300).picture);
    int red = 0;
    for (int y = 300; y < b.height(); ++y) {
        for (int x = 0; x < b.width(); ++x)
            red += b.pixel(x, y) == kRed;
    }
    EXPECT_GT(red, 100);
    EXPECT_EQ(b.pixel(399, b.height() - 1), qRgb(0, 0, 0));

    // On a band of 20-pixel text the widest outline is half that above and
    // below; a width that is not a number is none.
    Caption small = Band(Disposition::TopBand, QStringLiteral("Small"), 0x00FFFFFF, 20);
    const QImage bare = Render(small, 2000, 1500);
    small.outline.enabled = true;
    small.outline.width = 1e12;
    EXPECT_EQ(Render(small, 2000, 1500).height(), bare.height() + 2 * 10);
    small.outline.width = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(Render(small, 2000, 1500), bare);
}

TEST(TextStyle, AbsurdValuesAreClampedAndDrawQuickly) {
    Caption caption = Styled(QStringLiteral("Absurd"));
    caption.sizeUnit = SizeUnit::PercentOfPicture;
    caption.sizePercent = 1000;
    caption.outline = {true, 1e12, SizeUnit::Pixels, 0};
    caption.shadow = {true,
                      std::numeric_limits<std::int32_t>::min(),
                      std::numeric_limits<std::int32_t>::max(),
                      1e6,
                      0x00FFFFFF,
                      50};
    caption.box = {true, 0x00FF0000, -5, std::numeric_limits<std::int32_t>::max()};
    caption.marginLeft = std::numeric_limits<std::int32_t>::min();
    caption.marginRight = std::numeric_limits<std::int32_t>::max();
    EXPECT_EQ(Render(caption, 200, 150).size(), QSize(200, 150));
    caption.box.opacity = 50;
    EXPECT_EQ(Render(caption, 200, 150).size(), QSize(200, 150));
    caption.marginLeft = caption.marginRight = 0;
    caption.disposition = Disposition::TopBand;
    // The text is at most the picture's height, the outline at most its
    // longer side above and below.
    const int height = Render(caption, 200, 150).height();
    EXPECT_GT(height, 150);
    EXPECT_LE(height, 150 + 150 + 2 * 200);
}

TEST(TextStyle, ARedrawOfTheReachGivesTheWholeRendersPixelsForEveryStyle) {
    PictureDocument document = Document(480, 320);
    for (int y = 0; y < 320; ++y) {
        for (int x = 0; x < 480; ++x)
            document.picture.setPixel(x, y, qRgb(x / 2, y * 3 / 4, (x + y) % 256));
    }
    Caption base = Text(QStringLiteral("Styled caption, wrapping over lines"), 36);
    base.marginLeft = 90;
    std::vector<Caption> styled(4, base);
    styled[0].outline = {true, 6, SizeUnit::Pixels, 0};
    styled[1].shadow = {true, -25, -30, 9, 0, 50};
    styled[2].box = {true, 0, 50, 30};
    styled[3] = styled[0];
    styled[3].shadow = styled[1].shadow;
    styled[3].box = styled[2].box;
    const Caption band = Band(Disposition::TopBand, QStringLiteral("Top band"), 0xFFFFFFFF, 30);
    const Caption listed = Text(QStringLiteral("Listed one"), 48);
    for (std::size_t i = 0; i < styled.size(); ++i) {
        SCOPED_TRACE(i);
        const std::vector<const Caption*> list{&band, &listed, &styled[i]};
        const QImage whole = renderCaptionList(document, list);
        QImage part = renderCaptionList(document, list, QImage(), 2);
        const QRect reach = inkReach(document, list, 2);
        EXPECT_TRUE(reach.contains(Changed(whole, part)));
        redrawCaptions(part, document, list, 2, reach);
        EXPECT_EQ(Changed(part, whole), QRect());
    }
}
