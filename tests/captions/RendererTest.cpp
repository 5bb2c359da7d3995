// The canvas: bands stacked round the picture, on-image text placed in its
// margins, description captions, the dialog's working caption, fonts and
// recycled canvases.
#include "tests/support/CaptionCanvas.h"

#include <QFontMetricsF>

#include <gtest/gtest.h>

#include <cmath>

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
    ASSERT_GT(h1 - std::floor(h1), 0.05);
    ASSERT_LT(h1 - std::floor(h1), 0.45);
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
        {"... centred: far away", Placed(line, wide, H::Center), {}, {}},
        {"taller: wrapped at its width", Placed(page.left(200), tall), Edges(0, 100, 0, 201),
         Edges(639, 110, 299, 479)},
        {"... centred: far below", Placed(page.left(200), tall, H::Left, V::Center), {}, {}},
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

TEST(Renderer, AWorkingCaptionIsDrawnAfterTheListOrInPlaceOfTheOneItReplaces) {
    const Caption band = Band(Disposition::TopBand, "Listed", 0x0000FF00);
    const Caption second = Text("Second");
    Caption working = Band(Disposition::BottomBand, "Working", 0x00FF0000);
    const auto render = [](std::initializer_list<const Caption*> captions) {
        PictureDocument document = Document(300, 200);
        for (const Caption* caption : captions)
            document.captions.append(*caption);
        return renderCaptions(document);
    };
    PictureDocument document = Document(300, 200);
    document.captions.append(band);
    document.captions.append(second);
    const QImage appended = render({&band, &second, &working});
    EXPECT_EQ(renderCaptions(document, {&working, -1}), appended);
    EXPECT_EQ(renderCaptions(document, {&working, 7}), appended) << "an index past the list adds";
    EXPECT_EQ(renderCaptions(document, {&working, 0}), render({&working, &second}));
    EXPECT_EQ(document.captions.count(), 2) << "the list itself is never touched";

    // A working caption that sets the description counts for the save too.
    working.useTextAsDescription = true;
    EXPECT_EQ(savedDescription(document, {&working, -1}), "Working");
    EXPECT_EQ(savedDescription(document), "");
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
    font.weight = 500;
    EXPECT_FALSE(toQFont(font).bold());
    font.weight = 501;
    EXPECT_TRUE(toQFont(font).bold());
}

TEST(Renderer, ARecycledCanvasGivesTheSamePixelsAndIsDrawnOverWhenItFits) {
    for (const bool banded : {true, false}) {
        SCOPED_TRACE(banded ? "with a band" : "without bands");
        PictureDocument document = Document(300, 200);
        if (banded)
            document.captions.append(Band(Disposition::TopBand, "Top", 0x0000FF00, 30));
        document.captions.append(Text("On the picture"));
        const QImage fresh = renderCaptions(document);
        QImage previous = renderCaptions(document);
        previous.fill(Qt::magenta); // whatever the last render left
        const uchar* block = previous.constBits();
        const QImage recycled = renderCaptions(document, {}, std::move(previous));
        EXPECT_EQ(recycled, fresh);
        EXPECT_EQ(recycled.constBits(), block) << "no new block";
        EXPECT_TRUE(Ink(document.picture).isEmpty()) << "the picture is never drawn on";

        // A canvas of another size, or one still shared, is left alone.
        QImage small(10, 10, QImage::Format_RGB32);
        small.fill(Qt::magenta);
        EXPECT_EQ(renderCaptions(document, {}, small), fresh);
        QImage shared = fresh;
        const QImage kept = shared;
        EXPECT_EQ(renderCaptions(document, {}, shared), fresh);
        EXPECT_EQ(kept, fresh);
    }
}
