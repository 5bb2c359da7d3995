// The canvas: bands, on-image text, sizes, styles and scripts, checked pixel by pixel.
#include "render/TextStyle.h"
#include "tests/support/CaptionCanvas.h"

#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPainter>
#include <QTextLayout>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace caption_canvas;

namespace {
double BandHeight(const Caption& caption, int w, int h) {
    return measureTextHeight(caption.text, toQFont(caption.font), QRectF(0, 0, w, h),
                             textFlags(caption, false));
}

// A rectangle by its edges, for the rows' bounds.
QRect Edges(int left, int top, int right, int bottom) {
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

Caption Placed(const QString& text, QMargins margins, std::int32_t h = HorizontalAlignment::Left,
               std::int32_t v = VerticalAlignment::Top) {
    Caption caption = Text(text);
    caption.marginLeft = margins.left();
    caption.marginTop = margins.top();
    caption.marginRight = margins.right();
    caption.marginBottom = margins.bottom();
    caption.horizontalAlignment = h;
    caption.verticalAlignment = v;
    return caption;
}
} // namespace

TEST(Renderer, BandsOfFractionalHeightRoundUpAndStackInListOrder) {
    PictureDocument document = Document();
    // A first strip whose last row is covered by less than half.
    Caption top1 = Band(Disposition::TopBand, "First top", 0x0000FF00);
    double h1 = 0;
    for (int em = 10; em < 60; ++em) {
        top1.font.height = -em;
        h1 = BandHeight(top1, 640, 480);
        if (h1 - std::floor(h1) > 0.05 && h1 - std::floor(h1) < 0.45)
            break;
    }
    ASSERT_TRUE(h1 - std::floor(h1) > 0.05 && h1 - std::floor(h1) < 0.45) << h1;
    // The top byte of a colour is not drawn; an empty band adds nothing.
    const Caption empty = Band(Disposition::TopBand, "", 0x00FFFFFF);
    const Caption bottom = Band(Disposition::BottomBand, "Bottom", 0xFFFF0000, 17);
    const Caption top2 = Band(Disposition::TopBand, "Second top\r\nhas two lines", 0xFF0000FF, 15);
    for (const Caption& caption : {top1, empty, bottom, top2})
        document.captions.append(caption);
    const double hb = BandHeight(bottom, 640, 480);
    const double h2 = BandHeight(top2, 640, 480);
    ASSERT_GT(h2, 1.6 * h1) << "a CR LF pair is one line break";
    const int r1 = static_cast<int>(std::ceil(h1));
    const int r2 = static_cast<int>(std::ceil(h2));
    const int below = r1 + r2 + 480;

    const QImage canvas = renderCaptions(document);
    ASSERT_EQ(canvas.size(), QSize(640, below + static_cast<int>(std::ceil(hb))));
    // Left-aligned text never reaches the right edge; the partly covered
    // last row of a strip has its background: no dark line between bands.
    const std::pair<int, QRgb> strips[] = {
        {0, qRgb(0, 255, 0)},     {r1 - 1, qRgb(0, 255, 0)},
        {r1, qRgb(255, 0, 0)},    {r1 + r2 - 1, qRgb(255, 0, 0)},
        {below, qRgb(0, 0, 255)}, {canvas.height() - 1, qRgb(0, 0, 255)}};
    for (const auto& [y, colour] : strips)
        EXPECT_EQ(canvas.pixel(639, y), colour) << y;
    EXPECT_FALSE(Ink(canvas, qRgb(0, 255, 0), 0, static_cast<int>(h1)).isEmpty());
    EXPECT_EQ(canvas.copy(0, r1 + r2, 640, 480), document.picture);
}

TEST(Renderer, OnImageTextLiesInsideItsMarginsWhereItIsAligned) {
    namespace H = HorizontalAlignment;
    namespace V = VerticalAlignment;
    const QString page = QString("word ").repeated(400);
    const QString line = QStringLiteral("one two three four five six seven eight nine ten");
    const QMargins wide(400, 0, 400, 0); // 640 - 800 as unsigned is almost 2^32 wide
    const QMargins tall(0, 100, 340, 500);
    const struct {
        const char* name;
        Caption caption;
        QRect least; // the least left, top, right and bottom of the ink
        QRect most;  // and the most
    } rows[] = {
        {"margins inset and clip", Placed(page, QMargins(10, 20, 30, 40)), Edges(10, 20, 560, 400),
         Edges(14, 30, 609, 439)},
        {"unknown alignments: left, top",
         Placed("Some text\r\nover two lines", QMargins(10, 20, 30, 40), 'x', 'x'),
         Edges(10, 20, 0, 0), Edges(14, 30, 609, 439)},
        {"right, bottom", Placed("Far", {}, H::Right, V::Bottom), Edges(0, 0, 630, 465),
         Edges(639, 479, 639, 479)},
        {"wider than the picture: one line", Placed(line, wide), Edges(400, 0, 639, 0),
         Edges(639, 479, 639, 39)},
        {"taller: wrapped at its width", Placed(page.left(200), tall), Edges(0, 100, 0, 201),
         Edges(639, 110, 299, 479)},
        {"an unknown disposition", Band('x', "Never drawn", 0x0000FF00), {}, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        PictureDocument document = Document();
        document.captions.append(row.caption);
        const QImage canvas = renderCaptions(document);
        ASSERT_EQ(canvas.size(), QSize(640, 480));
        const QRect ink = Ink(canvas);
        ASSERT_EQ(ink.isEmpty(), row.most.isNull()) << "drawn or not";
        const QRect topLeft(row.least.topLeft(), row.most.topLeft());
        const QRect bottomRight(row.least.bottomRight(), row.most.bottomRight());
        EXPECT_TRUE(ink.isEmpty() ||
                    (topLeft.contains(ink.topLeft()) && bottomRight.contains(ink.bottomRight())))
            << ink.left() << "," << ink.top() << " to " << ink.right() << "," << ink.bottom();
    }

    // Centred in the middle; a top band moves the canvas, not the caption
    // on the picture. No caption at all is the picture; no picture, nothing.
    PictureDocument document = Document();
    EXPECT_EQ(renderCaptions(document), document.picture);
    document.captions.append(Placed("Centred", {}, H::Center, V::Center));
    const QImage alone = renderCaptions(document);
    const QRect ink = Ink(alone);
    EXPECT_NEAR(ink.left() + ink.right(), 639, 6);
    EXPECT_NEAR(ink.top() + ink.bottom(), 479, 16);
    document.captions.append(Band(Disposition::TopBand, "Band", 0x00FFFFFF));
    const QImage banded = renderCaptions(document);
    ASSERT_GT(banded.height(), 480);
    EXPECT_EQ(banded.copy(0, banded.height() - 480, 640, 480), alone);
    document.picture = QImage();
    EXPECT_TRUE(renderCaptions(document).isNull());
}

TEST(Renderer, DescriptionCaptionsGiveTheSavedDescriptionAndAreNotDrawn) {
    PictureDocument document = Document(200, 100);
    document.description = "from the file";
    Caption first = Band(Disposition::TopBand, "first", 0x00FFFFFF);
    first.useTextAsDescription = true;
    Caption second = Text("second");
    second.useTextAsDescription = true;
    Caption shows = Band(Disposition::BottomBand, "ignored", 0x00FFFFFF);
    shows.useDescriptionAsText = true;
    for (const Caption& caption : {first, shows, second})
        document.captions.append(caption);

    // The later flagged caption wins; rendering leaves the document as it
    // was, and only the bottom band is drawn, showing "second".
    EXPECT_EQ(savedDescription(document), "second");
    const QImage canvas = renderCaptions(document);
    EXPECT_EQ(document.description, "from the file");
    PictureDocument reference = Document(200, 100);
    shows.text = "second";
    shows.useDescriptionAsText = false;
    reference.captions.append(shows);
    EXPECT_EQ(canvas.height(), 100 + static_cast<int>(std::ceil(BandHeight(shows, 200, 100))));
    EXPECT_EQ(canvas, renderCaptions(reference));

    // Without them the picture's own description is back; an empty one
    // shows nothing and adds no band.
    document.captions.removeAt(2);
    document.captions.removeAt(0);
    EXPECT_EQ(savedDescription(document), "from the file");
    document.description.clear();
    EXPECT_EQ(renderCaptions(document).height(), 100);
}

TEST(Renderer, FontsAreSizedInPixels) {
    LogFont font = defaultCaptionFont();
    font.height = -40;
    EXPECT_EQ(toQFont(font).pixelSize(), 40);
    font.height = 40; // a cell height: ascent plus descent
    const QFontMetricsF metrics(toQFont(font));
    EXPECT_NEAR(metrics.ascent() + metrics.descent(), 40, 1.5);
    EXPECT_LT(toQFont(font).pixelSize(), 40);
    font.height = std::numeric_limits<std::int32_t>::min();
    EXPECT_EQ(pixelSizeOf(font), 65535);
}

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
        {{1920, 1080}, normal, 32},     {{30, 20}, normal, 1}, // 31.5 and 0.58 round
        {{250, 1000}, 10, 25, true},    {{1000, 250}, 10, 25, true},
        {{6000, 4000}, -50, 1},         {{6000, 4000}, nan, 1},
        {{6000, 4000}, inf, 1},         {{6000, 4000}, 1e300, kMaxCaptionPixelSize},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.picture.width() << " x " << row.picture.height()
                                        << ", " << row.percent << " %");
        Caption relative;
        relative.sizePercent = row.percent;
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

    // Absurd sizes, widths, offsets and margins draw quickly and stay bounded.
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
    EXPECT_TRUE(height > 150 && height <= 150 + 150 + 2 * 200) << height;
}

TEST(Scripts, EveryScriptHasRealGlyphsAndKeepsItsEdgeWhateverItsDirection) {
    constexpr QRgb kBlack = 0xFF000000;
    const std::pair<const char*, QString> scripts[] = {
        {"Arabic", QStringLiteral(u"مرحبا بالعالم")},
        {"Hebrew", QStringLiteral(u"שלום עולם")},
        {"Chinese", QStringLiteral(u"你好，世界")},
        {"Japanese", QStringLiteral(u"こんにちは、世界")},
        {"Hindi", QStringLiteral(u"नमस्ते दुनिया")},
        {"emoji", QStringLiteral(u"Hi 😀🎉")},
    };
    for (const auto& [name, text] : scripts) {
        SCOPED_TRACE(name);
        Caption caption = Text(text, 56, 0x00FFFFFF); // white
        const QFont font = captionFont(caption, QSize(900, 120));
        QTextLayout layout(text, font);
        layout.beginLayout();
        QTextLine line = layout.createLine();
        line.setLineWidth(1e6);
        layout.endLayout();
        int glyphs = 0;
        for (const QGlyphRun& run : line.glyphRuns()) {
            for (const quint32 index : run.glyphIndexes()) {
                EXPECT_NE(index, 0u)
                    << "the missing glyph, from " << run.rawFont().familyName().toStdString();
                ++glyphs;
            }
        }
        EXPECT_GT(glyphs, 1);

        // Left and right are the picture's edges whatever the direction.
        caption.marginLeft = 20;
        caption.marginRight = 30;
        caption.verticalAlignment = VerticalAlignment::Center;
        PictureDocument document = Document(900, 120, kBlack);
        document.captions.append(caption);
        document.captions.at(0)->horizontalAlignment = HorizontalAlignment::Left;
        EXPECT_LE(Ink(renderCaptions(document), kBlack).left(), 20 + 12) << "left";
        document.captions.at(0)->horizontalAlignment = HorizontalAlignment::Right;
        EXPECT_GE(Ink(renderCaptions(document), kBlack).right(), 900 - 30 - 12) << "right";
    }
}

TEST(TextStyle, LargeTextDrawnInPiecesHasTheWholeRunsPixels) {
    const QString lines[] = {QStringLiteral("WAVE AVATAR, Tea fiord? LYNX"),
                             QStringLiteral(u"مرحبا بالعالم"), QStringLiteral(u"नमस्ते दुनिया")};
    for (const QString& text : lines) {
        SCOPED_TRACE(text.toStdString());
        QFont font;
        font.setPixelSize(120);
        const LaidOutText laidOut = layOutText(text, font, QRectF(10, 10, 3000, 180), 0, false);
        QImage pieces(2000, 200, QImage::Format_RGB32);
        pieces.fill(Qt::black);
        QImage whole = pieces;
        {
            QPainter painter(&pieces);
            drawLaidOutText(painter, laidOut, Qt::white, pieces.rect());
        }
        QPainter painter(&whole);
        painter.setPen(Qt::white);
        for (const QGlyphRun& run : laidOut.runs)
            painter.drawGlyphRun(QPointF(0, 0), run);
        painter.end();
        EXPECT_TRUE(pieces == whole);
        EXPECT_GT(Ink(whole, 0xFF000000).width(), 500);
    }
}
