#include "render/CaptionRenderer.h"

#include <QFontMetricsF>

#include <gtest/gtest.h>

#include <cmath>

namespace {
constexpr QRgb kPictureColour = 0xFF406080;

PictureDocument Document(int w = 640, int h = 480) {
    PictureDocument document;
    document.picture = QImage(w, h, QImage::Format_RGB32);
    document.picture.fill(kPictureColour);
    return document;
}

Caption Band(std::int32_t disposition, const QString& text, std::uint32_t background,
             std::int32_t emPixels = -14) {
    Caption caption;
    caption.disposition = disposition;
    caption.text = text;
    caption.backgroundColor = background;
    caption.sizeUnit = SizeUnit::Pixels;
    caption.font.height = emPixels;
    return caption;
}

Caption OnImage(const QString& text, std::uint32_t colour = 0x000000FF) {
    Caption caption;
    caption.text = text;
    caption.textColor = colour;
    caption.sizeUnit = SizeUnit::Pixels;
    caption.font.height = -30;
    return caption;
}

// The rectangle of pixels in rows [top, bottom) that differ from `ground`.
QRect Ink(const QImage& image, QRgb ground, int top = 0, int bottom = -1) {
    if (bottom < 0) {
        bottom = image.height();
    }
    QRect box;
    for (int y = top; y < bottom; ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != ground) {
                box |= QRect(x, y, 1, 1);
            }
        }
    }
    return box;
}

double BandHeight(const Caption& caption, int w, int h) {
    return measureTextHeight(caption.text, toQFont(caption.font), QRectF(0, 0, w, h),
                             textFlags(caption, false));
}

// Rows [first, first + count) of a, compared with rows starting at other of b.
bool SameRows(const QImage& a, int first, const QImage& b, int other, int count) {
    for (int row = 0; row < count; ++row) {
        if (std::memcmp(a.constScanLine(first + row), b.constScanLine(other + row),
                        static_cast<std::size_t>(a.bytesPerLine())) != 0) {
            return false;
        }
    }
    return true;
}
} // namespace

TEST(Renderer, EmptyListGivesThePictureAndNoDocumentGivesNothing) {
    PictureDocument document = Document();
    const QImage canvas = renderCaptions(document);
    EXPECT_EQ(canvas.size(), QSize(640, 480));
    EXPECT_EQ(canvas, document.picture);

    PictureDocument none;
    none.captions.append(OnImage("text"));
    EXPECT_TRUE(renderCaptions(none).isNull());
}

TEST(Renderer, BandsOfFractionalHeightRoundUpAndStackInListOrder) {
    PictureDocument document = Document();
    // A first strip whose height has a small fraction: its last row is
    // covered by less than half.
    Caption top1 = Band(Disposition::TopBand, "First top", 0x0000FF00);
    for (std::int32_t em = -10; em > -60; --em) {
        top1.font.height = em;
        const double h = BandHeight(top1, 640, 480);
        if (h - std::floor(h) > 0.05 && h - std::floor(h) < 0.45) {
            break;
        }
    }
    const Caption bottom = Band(Disposition::BottomBand, "Bottom", 0x00FF0000, -17);
    const Caption top2 = Band(Disposition::TopBand, "Second top\r\nhas two lines", 0x000000FF, -15);
    document.captions.append(top1);
    document.captions.append(bottom);
    document.captions.append(top2);

    const double h1 = BandHeight(top1, 640, 480);
    const double hb = BandHeight(bottom, 640, 480);
    const double h2 = BandHeight(top2, 640, 480);
    ASSERT_GT(h1 - std::floor(h1), 0.05);
    ASSERT_LT(h1 - std::floor(h1), 0.45);
    ASSERT_GT(h1, -top1.font.height);
    ASSERT_LT(h1, -2 * top1.font.height);
    ASSERT_GT(h2, 1.6 * h1) << "a CR LF pair is one line break";
    const int r1 = static_cast<int>(std::ceil(h1));
    const int rb = static_cast<int>(std::ceil(hb));
    const int r2 = static_cast<int>(std::ceil(h2));

    const QImage canvas = renderCaptions(document);
    ASSERT_EQ(canvas.size(), QSize(640, 480 + r1 + r2 + rb));
    const int right = 639; // left-aligned text never reaches the right edge
    EXPECT_EQ(canvas.pixel(right, 0), qRgb(0, 255, 0));
    EXPECT_EQ(canvas.pixel(right, static_cast<int>(h1) - 1), qRgb(0, 255, 0));
    EXPECT_EQ(canvas.pixel(right, r1), qRgb(255, 0, 0));
    EXPECT_EQ(canvas.pixel(right, r1 + static_cast<int>(h2) - 1), qRgb(255, 0, 0));
    EXPECT_TRUE(SameRows(canvas, r1 + r2, document.picture, 0, 480));
    EXPECT_EQ(canvas.pixel(right, r1 + r2 + 480), qRgb(0, 0, 255));
    EXPECT_EQ(canvas.pixel(right, r1 + r2 + 480 + static_cast<int>(hb) - 1), qRgb(0, 0, 255));
    // Text ink sits inside each strip, and the partly covered last row of a
    // strip has its background: no dark line between bands or the picture.
    EXPECT_FALSE(Ink(canvas, qRgb(0, 255, 0), 0, static_cast<int>(h1)).isEmpty());
    EXPECT_EQ(canvas.pixel(right, r1 - 1), qRgb(0, 255, 0));
    EXPECT_EQ(canvas.pixel(right, r1 + r2 - 1), qRgb(255, 0, 0));
    EXPECT_EQ(canvas.pixel(right, canvas.height() - 1), qRgb(0, 0, 255));
}

TEST(Renderer, ColoursIgnoreTheTopByteAndEmptyBandsAddNothing) {
    PictureDocument document = Document(100, 50);
    document.captions.append(Band(Disposition::TopBand, "", 0x00FFFFFF));
    document.captions.append(Band(Disposition::TopBand, "Red", 0xFF0000FF));
    document.captions.append(Band(Disposition::BottomBand, "Also red", 0x000000FF));
    const QImage canvas = renderCaptions(document);
    ASSERT_GT(canvas.height(), 50);
    EXPECT_EQ(canvas.pixel(99, 0), qRgb(255, 0, 0));
    EXPECT_EQ(canvas.pixel(99, canvas.height() - 3), qRgb(255, 0, 0));
    EXPECT_EQ(qAlpha(canvas.pixel(99, 0)), 255);
}

TEST(Renderer, OnImageCaptionsAreLaidOutOverThePictureBelowTheTopBand) {
    PictureDocument plain = Document();
    Caption centred = OnImage("Centred");
    centred.horizontalAlignment = HorizontalAlignment::Center;
    centred.verticalAlignment = VerticalAlignment::Center;
    plain.captions.append(centred);
    const QImage alone = renderCaptions(plain);
    const QRect ink = Ink(alone, kPictureColour);
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_NEAR(ink.center().x(), 320, 3);
    EXPECT_NEAR(ink.center().y(), 240, 8);

    // A top band moves the canvas, not the caption relative to the picture.
    PictureDocument banded = Document();
    banded.captions.append(Band(Disposition::TopBand, "Band", 0x00FFFFFF));
    banded.captions.append(centred);
    const QImage canvas = renderCaptions(banded);
    const int top = canvas.height() - 480;
    ASSERT_GT(top, 0);
    EXPECT_TRUE(SameRows(canvas, top, alone, 0, 480));
}

TEST(Renderer, MarginsInsetTheBoxAndClipTheText) {
    PictureDocument document = Document();
    document.captions.append(Band(Disposition::TopBand, "Band", 0x00FFFFFF, -14));
    Caption caption = OnImage(QString("word ").repeated(400));
    caption.marginLeft = 10;
    caption.marginTop = 20;
    caption.marginRight = 30;
    caption.marginBottom = 40;
    document.captions.append(caption);
    const QImage canvas = renderCaptions(document);
    const int top = canvas.height() - 480;
    const QRect ink = Ink(canvas, kPictureColour, top, canvas.height());
    ASSERT_FALSE(ink.isEmpty());
    // Box x 10, y 20 + band, width 600, height 420: the wrapped text fills it
    // and is cut at its edges.
    EXPECT_GE(ink.left(), 10);
    EXPECT_LE(ink.left(), 14);
    EXPECT_GE(ink.top(), top + 20);
    EXPECT_LE(ink.top(), top + 30);
    EXPECT_LE(ink.right(), 609);
    EXPECT_GE(ink.right(), 560);
    EXPECT_LE(ink.bottom(), top + 439);
    EXPECT_GE(ink.bottom(), top + 400);
}

TEST(Renderer, MarginsWiderThanThePictureGiveAnUnwrappedLine) {
    PictureDocument document = Document();
    Caption caption = OnImage("one two three four five six seven eight nine ten");
    caption.marginLeft = 400;
    caption.marginRight = 400; // 640 - 800 as unsigned: almost 2^32 wide
    document.captions.append(caption);
    const QImage canvas = renderCaptions(document);
    const QRect ink = Ink(canvas, kPictureColour);
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_GE(ink.left(), 400);
    EXPECT_EQ(ink.right(), 639) << "the single line runs off the right edge";
    EXPECT_LT(ink.height(), 40) << "one line of a 30-pixel font";

    // Centred in such a box, the text lies two billion pixels away.
    document.captions.at(0)->horizontalAlignment = HorizontalAlignment::Center;
    EXPECT_EQ(renderCaptions(document), document.picture);

    // The same holds for height: top-aligned text still starts at marginTop
    // and wraps at the box's width; centred, it is far below the picture.
    Caption tall = OnImage(QString("word ").repeated(40));
    tall.marginTop = 100;
    tall.marginBottom = 500;
    tall.marginRight = 340; // a 300-pixel wide box
    document.captions.removeAt(0);
    document.captions.append(tall);
    const QRect tallInk = Ink(renderCaptions(document), kPictureColour);
    ASSERT_FALSE(tallInk.isEmpty());
    EXPECT_GE(tallInk.top(), 100);
    EXPECT_LE(tallInk.top(), 110);
    EXPECT_LE(tallInk.right(), 299);
    EXPECT_GT(tallInk.height(), 100) << "wrapped over several lines";
    document.captions.at(0)->verticalAlignment = VerticalAlignment::Center;
    EXPECT_EQ(renderCaptions(document), document.picture);
}

TEST(Renderer, DescriptionCaptionsGiveTheSavedDescriptionAndAreNotDrawn) {
    PictureDocument document = Document(200, 100);
    document.description = "from the file";
    Caption first = Band(Disposition::TopBand, "first", 0x00FFFFFF);
    first.useTextAsDescription = true;
    Caption second = OnImage("second");
    second.useTextAsDescription = true;
    Caption shows = Band(Disposition::BottomBand, "ignored", 0x00FFFFFF);
    shows.useDescriptionAsText = true;
    document.captions.append(first);
    document.captions.append(shows);
    document.captions.append(second);

    // The later flagged caption wins; rendering leaves the document as it was.
    EXPECT_EQ(savedDescription(document), "second");
    const QImage canvas = renderCaptions(document);
    EXPECT_EQ(document.description, "from the file");
    // Only the bottom band exists, and it shows "second" (set later in the list).
    Caption expected = shows;
    expected.text = "second";
    EXPECT_EQ(canvas.height(), 100 + static_cast<int>(std::ceil(BandHeight(expected, 200, 100))));
    EXPECT_TRUE(SameRows(canvas, 0, document.picture, 0, 100));
    PictureDocument reference = Document(200, 100);
    expected.useDescriptionAsText = false;
    reference.captions.append(expected);
    EXPECT_EQ(renderCaptions(reference), canvas);

    // Without the flagged captions the picture's own description is back;
    // with an empty description the caption shows nothing and adds no band.
    document.captions.removeAt(2);
    document.captions.removeAt(0);
    EXPECT_EQ(savedDescription(document), "from the file");
    document.description.clear();
    EXPECT_EQ(renderCaptions(document).height(), 100);
}

TEST(Renderer, AWorkingCaptionIsDrawnAfterTheListOrInPlaceOfTheOneItReplaces) {
    PictureDocument document = Document(300, 200);
    document.captions.append(Band(Disposition::TopBand, "Listed", 0x0000FF00));
    document.captions.append(OnImage("Second"));
    Caption working = Band(Disposition::BottomBand, "Working", 0x00FF0000);
    working.useTextAsDescription = false;

    // Added: the same canvas as a list with the caption appended.
    PictureDocument appended = Document(300, 200);
    appended.captions.append(*document.captions.at(0));
    appended.captions.append(*document.captions.at(1));
    appended.captions.append(working);
    EXPECT_EQ(renderCaptions(document, {&working, -1}), renderCaptions(appended));
    EXPECT_EQ(renderCaptions(document, {&working, 7}), renderCaptions(appended))
        << "an index past the list adds";

    // Edited: the same canvas as a list with the caption replaced.
    PictureDocument replaced = Document(300, 200);
    replaced.captions.append(working);
    replaced.captions.append(*document.captions.at(1));
    EXPECT_EQ(renderCaptions(document, {&working, 0}), renderCaptions(replaced));
    EXPECT_EQ(document.captions.count(), 2) << "the list itself is never touched";

    // A working caption that sets the description counts for the save too.
    working.useTextAsDescription = true;
    EXPECT_EQ(savedDescription(document, {&working, -1}), "Working");
    EXPECT_EQ(savedDescription(document), "");
}

TEST(Renderer, UnknownCodesFallBackOrDrawNothing) {
    const auto render = [](const Caption& caption) {
        PictureDocument document = Document(300, 200);
        document.captions.append(caption);
        return renderCaptions(document);
    };
    Caption left = OnImage("Some text\r\nover two lines");
    left.verticalAlignment = VerticalAlignment::Bottom;
    Caption unknown = left;
    unknown.horizontalAlignment = 'x';
    EXPECT_EQ(render(unknown), render(left));

    Caption top = OnImage("Top");
    Caption unknownVertical = top;
    unknownVertical.verticalAlignment = 'x';
    EXPECT_EQ(render(unknownVertical), render(top));

    Caption nowhere = Band('x', "Never drawn", 0x0000FF00);
    const QImage canvas = render(nowhere);
    EXPECT_EQ(canvas.size(), QSize(300, 200));
    EXPECT_TRUE(Ink(canvas, kPictureColour).isEmpty());

    // Right and bottom alignment put the ink at the far corner.
    Caption far = OnImage("Far");
    far.horizontalAlignment = HorizontalAlignment::Right;
    far.verticalAlignment = VerticalAlignment::Bottom;
    const QRect ink = Ink(render(far), kPictureColour);
    EXPECT_GE(ink.right(), 290);
    EXPECT_GE(ink.bottom(), 185);
}

TEST(Renderer, FontsAreSizedInPixels) {
    LogFont em = defaultCaptionFont();
    em.height = -40;
    EXPECT_EQ(toQFont(em).pixelSize(), 40);
    LogFont cell = em;
    cell.height = 40; // cell height: ascent plus descent
    const QFontMetricsF metrics(toQFont(cell));
    EXPECT_NEAR(metrics.ascent() + metrics.descent(), 40, 1.5);
    EXPECT_LT(toQFont(cell).pixelSize(), 40);
    cell.height = std::numeric_limits<std::int32_t>::min();
    EXPECT_EQ(pixelSizeOf(cell), 65535);
    cell.weight = 500;
    EXPECT_FALSE(toQFont(cell).bold());
    cell.weight = 501;
    EXPECT_TRUE(toQFont(cell).bold());
}

TEST(Renderer, ARecycledCanvasGivesTheSamePixelsAndIsDrawnOverWhenItFits) {
    PictureDocument document = Document(300, 200);
    document.captions.append(Band(Disposition::TopBand, "Top", 0x0000FF00, -30));
    document.captions.append(OnImage("On the picture"));
    const QImage fresh = renderCaptions(document);

    QImage previous = renderCaptions(document);
    previous.fill(Qt::magenta); // whatever the last render left
    const uchar* block = previous.constBits();
    const QImage recycled = renderCaptions(document, {}, std::move(previous));
    EXPECT_EQ(recycled, fresh);
    EXPECT_EQ(recycled.constBits(), block) << "no new block";

    // A canvas of another size, or one still shared, is left alone.
    QImage small(10, 10, QImage::Format_RGB32);
    small.fill(Qt::magenta);
    EXPECT_EQ(renderCaptions(document, {}, small), fresh);
    QImage shared = fresh;
    const QImage kept = shared;
    EXPECT_EQ(renderCaptions(document, {}, shared), fresh);
    EXPECT_EQ(kept, fresh);

    // Without bands too, the picture itself is never drawn on.
    PictureDocument plain = Document(300, 200);
    plain.captions.append(OnImage("Only text"));
    QImage plainCanvas = renderCaptions(plain);
    plainCanvas = renderCaptions(plain, {}, std::move(plainCanvas));
    EXPECT_EQ(plainCanvas, renderCaptions(plain));
    EXPECT_TRUE(Ink(plain.picture, kPictureColour).isEmpty());
}
