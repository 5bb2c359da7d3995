// The view of the captioned picture: where it fits, what it draws, when it
// renders, zoom and pan, and large canvases rendered off the window's thread.
#include "ui/ImageControl.h"
#include "captions/Caption.h"
#include "document/DocumentModel.h"
#include "render/CaptionRenderer.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/TestPhotos.h"
#include "ui/CanvasFit.h"

#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

namespace {

// A picture whose left half is red and right half blue.
QImage Halves(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::blue);
    for (int y = 0; y < h; ++y)
        std::fill_n(reinterpret_cast<QRgb*>(image.scanLine(y)), w / 2, qRgb(255, 0, 0));
    return image;
}

Caption Band(const char* text, std::int32_t disposition, int em) {
    Caption caption;
    caption.text = QString::fromUtf8(text);
    caption.disposition = disposition;
    caption.font.height = em;
    return caption;
}

// A view of its own model and a picture opened from a file.
class ImageControlTest : public testing::Test {
protected:
    void open(const QImage& picture, QSize size = {400, 300}) {
        view.resize(size);
        ASSERT_TRUE(testing_support::OpenPicture(model, picture, dir.file("picture.png")));
    }
    QImage shown() { return view.grab().toImage().convertToFormat(QImage::Format_RGB32); }
    QRgb workspace() const { return view.palette().color(QPalette::Dark).rgb(); }

    testing_support::TempDir dir;
    DocumentModel model;
    CImageControl view{&model};
};

TEST(CanvasFit, TheCanvasFillsTheHeightOrTheWidthCentredAndNothingFitsAnEmptySide) {
    struct Row {
        int canvasW, canvasH, viewW, viewH;
        QRect expected;
    };
    for (const Row& row : {Row{4000, 3000, 980, 600, {90, 0, 800, 600}}, // reduced, height-limited
                           Row{1000, 250, 500, 400, {0, 137, 500, 125}}, // width-limited
                           // The side is the canvas size divided by the ratio, truncated:
                           // 3 / (4 / 600) is just under 450 (a product would give 450).
                           Row{3, 4, 980, 600, {265, 0, 449, 600}}, Row{4000, 3000, 0, 600, {}},
                           Row{0, 3000, 980, 600, {}}, Row{4000, 3000, -5, 600, {}}}) {
        const QRect fitted = fitCanvas(row.canvasW, row.canvasH, row.viewW, row.viewH);
        EXPECT_TRUE(row.expected.isNull() ? fitted.isEmpty() : fitted == row.expected)
            << row.canvasW << "x" << row.canvasH << " in " << row.viewW << "x" << row.viewH << ": "
            << testing::PrintToString(fitted);
    }
}

TEST_F(ImageControlTest, ThePictureAndItsBandsFitTheViewWithWorkspaceBesideAndNothingWithoutIt) {
    // Without a picture only the workspace shows, captions or not.
    view.resize(300, 200);
    model.addCaption(Band("Nothing to draw on", Disposition::TopBand, -20));
    QImage empty = shown();
    for (int y = 0; y < empty.height(); y += 7) {
        for (int x = 0; x < empty.width(); x += 7)
            ASSERT_EQ(empty.pixel(x, y), workspace()) << x << "," << y;
    }
    model.removeCaption(0);

    // Enlarged into the view: the picture covers x 90..889, the height whole.
    open(Halves(400, 300), {980, 600});
    QImage image = shown();
    for (const auto& [x, colour] : {std::pair{89, workspace()}, std::pair{95, qRgb(255, 0, 0)},
                                    std::pair{880, qRgb(0, 0, 255)}, std::pair{890, workspace()}})
        EXPECT_EQ(image.pixel(x, 599), colour) << x;
    // A top band makes the canvas taller than 4:3, so it fits narrower with
    // workspace on both sides, the band on top and the picture below.
    view.resize(800, 600);
    Caption band = Band("Top", Disposition::TopBand, -40);
    band.backgroundColor = 0x0000FF00; // green
    model.addCaption(band);
    image = shown();
    int first = 0;
    while (first < 400 && image.pixel(first, 300) == workspace())
        ++first;
    ASSERT_GT(first, 0);
    EXPECT_EQ(image.pixel(799 - first + 1, 300), workspace());
    EXPECT_EQ(image.pixel(first + 1, 1), qRgb(0, 255, 0));
    EXPECT_EQ(image.pixel(first + 5, 598), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(799 - first - 5, 598), qRgb(0, 0, 255));

    // Views of no size paint without failing, and draw nothing outside.
    for (const QSize size : {QSize(0, 0), QSize(0, 300), QSize(300, 0), QSize(1, 1)}) {
        view.resize(size);
        view.show();
        view.repaint();
        QImage target(1, 1, QImage::Format_RGB32);
        target.fill(Qt::white);
        view.paintView(target);
        EXPECT_TRUE(!size.isEmpty() || target.pixel(0, 0) == qRgb(255, 255, 255))
            << size.width() << "x" << size.height();
    }
}

TEST_F(ImageControlTest, RendersTheCanvasOncePerChangeAndKeepsItThroughPaintsAndResizes) {
    open(Halves(400, 300));
    const Caption band = Band("Band", Disposition::BottomBand, -30);
    model.addCaption(band);
    const QImage first = shown();
    EXPECT_EQ(shown(), first);
    EXPECT_EQ(view.canvasRenders(), 1) << "two paints, one render";
    view.resize(300, 200);
    shown();
    EXPECT_EQ(view.canvasRenders(), 1) << "a resize only scales again";
    view.resize(400, 300);

    // A working caption is drawn from a canvas of its own, once for all the
    // keys typed before a paint; clearing it shows the kept canvas again,
    // pixel for pixel, without a render.
    const Caption working = Band("Working", Disposition::TopBand, -30);
    model.setWorkingCaption(Band("Workin", Disposition::TopBand, -30), -1);
    model.setWorkingCaption(working, -1);
    EXPECT_NE(shown(), first);
    EXPECT_EQ(view.canvasRenders(), 2);
    model.clearWorkingCaption();
    EXPECT_EQ(shown(), first);
    EXPECT_EQ(view.canvasRenders(), 2);

    // Several changes before a paint cost one render.
    model.addCaption(working);
    model.history()->undo();
    model.history()->redo();
    EXPECT_NE(shown(), first);
    EXPECT_EQ(view.canvasRenders(), 3);
}

TEST_F(ImageControlTest, ZoomAndPanShowTheRightPartOfTheLivePreview) {
    // Every pixel its own colour, so a shifted view cannot pass.
    QImage picture(600, 400, QImage::Format_RGB32);
    for (int y = 0; y < 400; ++y) {
        for (int x = 0; x < 600; ++x)
            picture.setPixel(x, y, qRgb(x % 256, y % 256, (x / 256) * 60 + (y / 256) * 120));
    }
    open(picture, {300, 200});
    Caption working = Band("Live preview", Disposition::OnImage, -40);
    working.marginLeft = 150;
    working.marginTop = 120;
    model.setWorkingCaption(working, -1);
    const QImage canvas = renderCaptions(model.document(), model.workingCaption());
    const auto mouse = [this](QEvent::Type type, QPoint at, Qt::MouseButtons held) {
        QMouseEvent event(type, at, view.mapToGlobal(at), Qt::LeftButton, held, {});
        QCoreApplication::sendEvent(&view, &event);
    };
    const QSize bars(view.verticalBar()->sizeHint().width(),
                     view.horizontalBar()->sizeHint().height());
    // `at`: the view's top left in the canvas.
    const auto expectShows = [&](QPoint at) {
        EXPECT_EQ(view.scrollPosition(), at);
        QImage composed(view.size(), QImage::Format_RGB32);
        view.paintView(composed);
        const QSize inside = QSize(300, 200) - bars;
        EXPECT_EQ(composed.copy(QRect(QPoint(0, 0), inside)), canvas.copy(QRect(at, inside)));
    };
    view.zoomTo(1.0);
    view.scrollTo({120, 90});
    expectShows({120, 90});
    // Dragged at 100%.
    view.scrollTo({0, 0});
    mouse(QEvent::MouseButtonPress, {100, 100}, Qt::LeftButton);
    mouse(QEvent::MouseMove, {60, 80}, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, {60, 80}, Qt::NoButton);
    expectShows({40, 20});
    // Back to 100% from a step in and out, scrolled past the end.
    view.zoomIn();
    view.zoomOut();
    view.scrollTo({1000, 1000});
    expectShows({600 - 300 + bars.width(), 400 - 200 + bars.height()});
}

TEST_F(ImageControlTest, ALargeCanvasIsRenderedOffTheWindowsThreadAndShownOnceReady) {
    CImageControl synchronous(&model);
    synchronous.resize(400, 300);
    view.setBackgroundPixels(1); // every picture counts as large
    open(Halves(400, 300));
    const QImage bare = shown();
    // Several changes before the canvas is ready: one render, of the last.
    Caption band = Band("Band", Disposition::TopBand, -40);
    model.addCaption(band);
    model.history()->undo();
    model.history()->redo();
    band.text = QStringLiteral("Edited band");
    model.editCaption(0, band);
    EXPECT_EQ(shown(), bare) << "the window waited for the canvas";
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view.rendering(); }, 10000));
    EXPECT_EQ(view.canvasRenders(), 1);
    EXPECT_NE(shown(), bare);
    EXPECT_EQ(shown(), synchronous.grab().toImage().convertToFormat(QImage::Format_RGB32));
}

} // namespace
