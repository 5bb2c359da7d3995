// Captions sized relative to the picture, and the outline, shadow and box
// that keep them legible: drawn on real images and checked pixel by pixel.
#include "render/TextStyle.h"
#include "tests/support/CaptionCanvas.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace caption_canvas;

namespace {
constexpr QRgb kGreen = 0xFF00FF00;
constexpr QRgb kBlue = 0xFF0000FF;
constexpr QRgb kWhite = 0xFFFFFFFF;

// Red 40-pixel text inset 40 pixels from the top left.
Caption Styled(const QString& text) {
    Caption caption = Text(text, 40);
    caption.marginLeft = caption.marginTop = 40;
    return caption;
}

Caption Outlined(Caption caption, double width, SizeUnit unit = SizeUnit::Pixels) {
    caption.outline = {true, width, unit, 0xFF00}; // green
    return caption;
}
Caption Boxed(Caption caption, std::int32_t opacity) {
    caption.box = {true, 0xFF0000, opacity, 8}; // blue
    return caption;
}
Caption Shaded(Caption caption, double blur) {
    caption.shadow = {true, 20, 30, blur, 0xFFFFFF, 50}; // white
    return caption;
}

// `got` is `colour` at `alpha` (0-1) over the ground, as the renderer blends.
bool Blends(QRgb got, QRgb colour, double alpha) {
    const auto near = [alpha](int g, int c, int value) {
        return std::abs(value - (c * alpha + g * (1 - alpha))) <= 1.5;
    };
    return near(qRed(kGround), qRed(colour), qRed(got)) &&
           near(qGreen(kGround), qGreen(colour), qGreen(got)) &&
           near(qBlue(kGround), qBlue(colour), qBlue(got));
}
} // namespace

TEST(TextSize, ARelativeSizeIsAShareOfTheShorterSideClampedAndDrawsAsThatPixelSize) {
    const double normal = Caption().sizePercent; // 14 pixels of 480
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        QSize picture;
        double percent;
        int em;
        bool draw = false;
    } rows[] = {
        {{640, 480}, normal, 14, true}, {{480, 640}, normal, 14, true},
        {{6000, 4000}, normal, 117},    {{4000, 6000}, normal, 117},
        {{1920, 1080}, normal, 32},     {{30, 20}, normal, 1}, // 31.5 and 0.58 round
        {{250, 1000}, 10, 25, true},    {{1000, 250}, 10, 25, true},
        {{6000, 4000}, 0, 1},           {{6000, 4000}, -50, 1},
        {{6000, 4000}, nan, 1},         {{6000, 4000}, inf, 1},
        {{6000, 4000}, 1000, 40000},    {{6000, 4000}, 1e300, kMaxCaptionPixelSize},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.picture.width() << " x " << row.picture.height()
                                        << ", " << row.percent << " %");
        Caption relative;
        relative.sizePercent = row.percent;
        EXPECT_EQ(captionEmPixels(relative, row.picture), row.em);
        EXPECT_EQ(captionFont(relative, row.picture).pixelSize(), row.em);
        relative.text = QStringLiteral("A caption wrapping over the picture's width because it "
                                       "goes on and on and on and on and on");
        for (const std::int32_t disposition :
             {Disposition::OnImage, Disposition::TopBand, Disposition::BottomBand}) {
            if (!row.draw)
                break;
            relative.disposition = disposition;
            Caption absolute = relative;
            absolute.sizeUnit = SizeUnit::Pixels;
            absolute.font.height = -row.em;
            const QImage drawn = Render(relative, row.picture.width(), row.picture.height());
            EXPECT_FALSE(Ink(drawn).isEmpty());
            EXPECT_EQ(drawn, Render(absolute, row.picture.width(), row.picture.height()));
        }
    }
    // Absolute captions keep the font's own height whatever the picture.
    EXPECT_EQ(captionEmPixels(Text({}, 20), QSize(6000, 4000)), 20);
    EXPECT_EQ(captionEmPixels(Text({}, 20), QSize(64, 48)), 20);
}

TEST(TextStyle, EachStyleDrawsItsColourOnlyWithinItsReachUnderTheTextAndOffDrawsNothing) {
    const Caption plain = Styled(QStringLiteral("Styled\r\ntwo lines"));
    const QImage a = Render(plain);
    const QRect ink = Ink(a);
    const QRect box = layOutText(plain.text, captionFont(plain, {400, 300}),
                                 QRectF(40, 40, 360, 260), textFlags(plain, true))
                          .bounds.toAlignedRect()
                          .adjusted(-8, -8, 8, 8);
    const QRect shadow = ink.translated(20, 30);
    const int boxArea = box.width() * box.height();
    const struct {
        const char* name;
        Caption caption;
        QRect within;  // everything it changes
        QRect reaches; // at least this far
        QRgb colour;
        double alpha;
        int atLeast; // pixels of that colour blended at that alpha
    } rows[] = {
        // The first letter sits on the left margin: its outline reaches
        // past it too.
        {"an outline", Outlined(plain, 3), ink.adjusted(-5, -5, 5, 5), ink.adjusted(-2, -2, 2, 2),
         kGreen, 1, 100},
        {"an outline of 1 % of 300 rows: 3 pixels", Outlined(plain, 1, SizeUnit::PercentOfPicture),
         ink.adjusted(-5, -5, 5, 5), ink.adjusted(-2, -2, 2, 2), kGreen, 1, 100},
        {"a box over the laid-out lines and padding", Boxed(plain, 40), box, box, kBlue, 0.4,
         boxArea / 2},
        {"an opaque box", Boxed(plain, 100), box, box, kBlue, 1, boxArea / 2},
        {"a box past 100 %", Boxed(plain, 250), box, box, kBlue, 1, boxArea / 2},
        {"a shadow", Shaded(plain, 0), ink.united(shadow).adjusted(-1, -1, 1, 1),
         shadow.adjusted(1, 1, -1, -1), kWhite, 0.5, 500},
        {"a blurred shadow spreads by about its radius", Shaded(plain, 9),
         ink.united(shadow).adjusted(-12, -12, 12, 12), shadow.adjusted(-3, -3, 3, 3), kWhite, 0.5,
         0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const QImage b = Render(row.caption);
        const QRect changed = Changed(a, b);
        EXPECT_TRUE(row.within.contains(changed) && changed.contains(row.reaches))
            << changed.x() << "," << changed.y() << " " << changed.width() << "x"
            << changed.height();
        int blended = 0;
        for (int y = 0; y < a.height(); ++y) {
            for (int x = 0; x < a.width(); ++x) {
                blended += a.pixel(x, y) == kGround && Blends(b.pixel(x, y), row.colour, row.alpha);
                if (a.pixel(x, y) == kRed && b.pixel(x, y) != kRed)
                    ADD_FAILURE() << "the text is drawn over it, at " << x << "," << y;
            }
        }
        EXPECT_GE(blended, row.atLeast);
        Caption off = row.caption;
        off.outline.enabled = off.shadow.enabled = off.box.enabled = false;
        EXPECT_EQ(Render(off), a);
    }
    EXPECT_EQ(Render(rows[1].caption), Render(rows[0].caption));
    Caption clear = Boxed(Shaded(plain, 0), 0);
    clear.shadow.opacity = 0;
    EXPECT_EQ(Render(clear), a);
}

TEST(TextStyle, UnderlineAndStrikeOutTakeTheOutlineToo) {
    for (const bool strikeOut : {false, true}) {
        SCOPED_TRACE(strikeOut ? "strike-out" : "underline");
        Caption bare = Styled(QStringLiteral("a          b"));
        const QImage letters = Render(bare);
        (strikeOut ? bare.font.strikeOut : bare.font.underline) = 1;
        const QImage barred = Render(bare);
        bare.outline = {true, 3, SizeUnit::Pixels, 0xFF00};
        const QImage outlined = Render(bare);
        // Between the letters: the bar's red, and the outline's green.
        int gapColumns = 0;
        for (int x = Ink(letters).left(); x <= Ink(letters).right(); ++x) {
            bool letter = false, bar = false, outline = false;
            for (int y = 0; y < letters.height(); ++y) {
                letter |= letters.pixel(x, y) != kGround;
                bar |= barred.pixel(x, y) == kRed;
                outline |= outlined.pixel(x, y) == kGreen;
            }
            gapColumns += !letter;
            EXPECT_TRUE(letter || (bar && outline)) << x;
        }
        EXPECT_GT(gapColumns, 40);
    }
}

TEST(TextStyle, BandTextTakesItsOutlineInAStripGrownToHoldItAndAbsurdValuesAreBounded) {
    Caption band = Band(Disposition::BottomBand, QStringLiteral("Band with an outline"), 0, 30);
    band.textColor = 0x00FFFFFF;
    Caption outlined = band;
    outlined.outline = {true, 4, SizeUnit::Pixels, 0x000000FF}; // red
    // A band never takes a box; its shadow stays in its strip.
    outlined.box.enabled = true;
    outlined.shadow = {true, 0, -200, 0, 0xFFFFFF, 100};
    const QImage b = Render(outlined);
    EXPECT_EQ(b.height(), Render(band).height() + 8);
    EXPECT_EQ(b.copy(0, 0, 400, 300), Document(400, 300).picture);
    int red = 0;
    for (int y = 300; y < b.height(); ++y) {
        for (int x = 0; x < 400; ++x)
            red += b.pixel(x, y) == kRed;
    }
    EXPECT_GT(red, 100);
    EXPECT_EQ(b.pixel(399, b.height() - 1), qRgb(0, 0, 0));

    // On a band of 20-pixel text the widest outline is half that above and
    // below; a width that is not a number is none.
    Caption small = Band(Disposition::TopBand, QStringLiteral("Small"), 0x00FFFFFF, 20);
    const QImage bare = Render(small, 2000, 1500);
    small.outline = {true, 1e12, SizeUnit::Pixels, 0};
    EXPECT_EQ(Render(small, 2000, 1500).height(), bare.height() + 2 * 10);
    small.outline.width = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(Render(small, 2000, 1500), bare);

    // Absurd sizes, widths, offsets and margins draw quickly; the text is at
    // most the picture's height, the outline at most its longer side.
    Caption absurd = Styled(QStringLiteral("Absurd"));
    absurd.sizeUnit = SizeUnit::PercentOfPicture;
    absurd.sizePercent = 1000;
    absurd.outline = {true, 1e12, SizeUnit::Pixels, 0};
    const std::int32_t most = std::numeric_limits<std::int32_t>::max();
    absurd.shadow = {true, -most - 1, most, 1e6, 0x00FFFFFF, 50};
    absurd.box = {true, 0x00FF0000, 50, most};
    absurd.marginLeft = -most - 1;
    absurd.marginRight = most;
    EXPECT_EQ(Render(absurd, 200, 150).size(), QSize(200, 150));
    absurd.marginLeft = absurd.marginRight = 0;
    absurd.disposition = Disposition::TopBand;
    const int height = Render(absurd, 200, 150).height();
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
    styled[0].outline = styled[3].outline = {true, 6, SizeUnit::Pixels, 0};
    styled[1].shadow = styled[3].shadow = {true, -25, -30, 9, 0, 50};
    styled[2].box = styled[3].box = {true, 0, 50, 30};
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
