#include "ui/ImageControl.h"
#include "captions/Caption.h"
#include "document/DocumentModel.h"
#include "render/CaptionRenderer.h"
#include "tests/support/TestPhotos.h"
#include "ui/CanvasFit.h"

#include <QImage>
#include <QMouseEvent>
#include <QPixmap>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include <functional>

#include <gtest/gtest.h>

namespace {

// A picture whose left half is red and right half blue.
QImage Halves(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::blue);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w / 2; ++x)
            image.setPixel(x, y, qRgb(255, 0, 0));
    }
    return image;
}

// Opens the picture in the model from a file, as the window does.
void Open(DocumentModel& model, const QImage& picture) {
    static const testing_support::TempDir dir;
    ASSERT_TRUE(testing_support::OpenPicture(model, picture, dir.file("picture.png")));
}

QImage Shown(CImageControl& view) {
    return view.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QRgb Workspace(const CImageControl& view) {
    return view.palette().color(QPalette::Dark).rgb();
}

} // namespace

TEST(CanvasFit, TallerCanvasesFillTheHeightAndWiderOnesTheWidth) {
    // Reduced, height-limited: 4000 / 5 = 800 wide, centred.
    EXPECT_EQ(fitCanvas(4000, 3000, 980, 600), QRect(90, 0, 800, 600));
    // Enlarged the same way.
    EXPECT_EQ(fitCanvas(400, 300, 980, 600), QRect(90, 0, 800, 600));
    // Equal ratios take the width-limited branch.
    EXPECT_EQ(fitCanvas(4000, 3000, 800, 600), QRect(0, 0, 800, 600));
    // Width-limited with a centred gap above and below.
    EXPECT_EQ(fitCanvas(1000, 250, 500, 400), QRect(0, 137, 500, 125));
    // The side is the canvas size divided by the ratio, truncated:
    // 3 / (4 / 600) is just under 450, so 449 (a product would give 450).
    EXPECT_EQ(fitCanvas(3, 4, 980, 600), QRect(265, 0, 449, 600));
}

TEST(CanvasFit, EmptyViewsAndCanvasesGiveNoRectangle) {
    EXPECT_TRUE(fitCanvas(4000, 3000, 0, 600).isEmpty());
    EXPECT_TRUE(fitCanvas(4000, 3000, 980, 0).isEmpty());
    EXPECT_TRUE(fitCanvas(4000, 3000, 0, 0).isEmpty());
    EXPECT_TRUE(fitCanvas(4000, 0, 980, 600).isEmpty());
    EXPECT_TRUE(fitCanvas(0, 3000, 980, 600).isEmpty());
    EXPECT_TRUE(fitCanvas(4000, 3000, -5, 600).isEmpty());
}

TEST(ImageControl, EnlargesThePictureIntoTheViewWithWorkspaceStripsBeside) {
    DocumentModel model;
    CImageControl view(&model);
    view.resize(980, 600);
    Open(model, Halves(400, 300));
    const QImage shown = Shown(view);
    ASSERT_EQ(shown.size(), QSize(980, 600));
    const QRgb workspace = Workspace(view);
    // The picture covers x 90..889 over the whole height.
    for (int y : {0, 300, 599}) {
        EXPECT_EQ(shown.pixel(0, y), workspace);
        EXPECT_EQ(shown.pixel(89, y), workspace);
        EXPECT_EQ(shown.pixel(95, y), qRgb(255, 0, 0));
        EXPECT_EQ(shown.pixel(880, y), qRgb(0, 0, 255));
        EXPECT_EQ(shown.pixel(890, y), workspace);
        EXPECT_EQ(shown.pixel(979, y), workspace);
    }
    // The mouse does nothing to the view.
    QTest::mouseMove(&view, QPoint(400, 300));
    QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(400, 300));
    EXPECT_EQ(Shown(view), shown);
}

TEST(ImageControl, ATopBandShrinksThePictureAndShowsAboveItInTheSameFit) {
    DocumentModel model;
    CImageControl view(&model);
    view.resize(800, 600);
    Open(model, Halves(400, 300));
    Caption band;
    band.text = QStringLiteral("Top");
    band.disposition = Disposition::TopBand;
    band.backgroundColor = 0x0000FF00; // green
    band.font.height = -40;
    model.addCaption(band);

    const QImage shown = Shown(view);
    const QRgb workspace = Workspace(view);
    // 400 x (300 + band) is taller than 4:3, so the fit is height-limited
    // and narrower than the view: workspace on both sides.
    EXPECT_EQ(shown.pixel(0, 300), workspace);
    EXPECT_EQ(shown.pixel(799, 300), workspace);
    // The band is at the top of the fitted canvas, the picture below it.
    int firstColumn = 0;
    while (firstColumn < 800 && shown.pixel(firstColumn, 300) == workspace)
        ++firstColumn;
    ASSERT_GT(firstColumn, 0);
    ASSERT_LT(firstColumn, 400);
    EXPECT_EQ(shown.pixel(firstColumn + 1, 1), qRgb(0, 255, 0));
    EXPECT_EQ(shown.pixel(firstColumn + 5, 598), qRgb(255, 0, 0));
    EXPECT_EQ(shown.pixel(799 - firstColumn - 5, 598), qRgb(0, 0, 255));
}

TEST(ImageControl, WithoutAPictureOnlyTheWorkspaceShowsEvenWithCaptions) {
    DocumentModel model;
    CImageControl view(&model);
    view.resize(300, 200);
    Caption caption;
    caption.text = QStringLiteral("Nothing to draw on");
    caption.disposition = Disposition::TopBand;
    model.addCaption(caption);
    const QImage shown = Shown(view);
    const QRgb workspace = Workspace(view);
    for (int y = 0; y < shown.height(); y += 7) {
        for (int x = 0; x < shown.width(); x += 7)
            ASSERT_EQ(shown.pixel(x, y), workspace) << x << "," << y;
    }
}

TEST(ImageControl, ZeroSizedViewsPaintWithoutFailing) {
    for (const QSize size : {QSize(0, 0), QSize(0, 300), QSize(300, 0), QSize(1, 1)}) {
        DocumentModel model;
        CImageControl view(&model);
        Open(model, Halves(40, 30));
        view.resize(size);
        view.show();
        view.repaint();
        QImage target(1, 1, QImage::Format_RGB32);
        target.fill(Qt::white);
        view.paintView(target);
        if (size.isEmpty()) {
            EXPECT_EQ(target.pixel(0, 0), qRgb(255, 255, 255)) << "nothing drawn outside the view";
        }
    }
}

TEST(ImageControl, RendersTheCanvasOncePerChangeAndKeepsItThroughPaintsAndResizes) {
    DocumentModel model;
    CImageControl view(&model);
    view.resize(400, 300);
    Open(model, Halves(400, 300));
    Caption band;
    band.text = QStringLiteral("Band");
    band.disposition = Disposition::BottomBand;
    band.font.height = -30;
    model.addCaption(band);

    const QImage first = Shown(view);
    EXPECT_EQ(Shown(view), first);
    EXPECT_EQ(view.canvasRenders(), 1) << "two paints, one render";
    view.resize(300, 200);
    EXPECT_EQ(Shown(view).size(), QSize(300, 200));
    EXPECT_EQ(view.canvasRenders(), 1) << "a resize only scales again";
    view.resize(400, 300);
    EXPECT_EQ(Shown(view), first);

    // A working caption is drawn from a canvas of its own; clearing it
    // shows the kept canvas again, pixel for pixel, without a render.
    Caption working = band;
    working.text = QStringLiteral("Working");
    working.disposition = Disposition::TopBand;
    model.setWorkingCaption(working, -1);
    EXPECT_NE(Shown(view), first);
    EXPECT_EQ(view.canvasRenders(), 2);
    model.clearWorkingCaption();
    EXPECT_EQ(Shown(view), first);
    EXPECT_EQ(view.canvasRenders(), 2);

    // Several changes before a paint cost one render.
    model.addCaption(working);
    model.history()->undo();
    model.history()->redo();
    const QImage withTwo = Shown(view);
    EXPECT_EQ(view.canvasRenders(), 3);
    EXPECT_NE(withTwo, first);
}

TEST(ImageControl, DrawsAtTheDevicePixelRatioSoFineDetailStaysSharp) {
    // Alternating black and white columns, one pixel wide.
    QImage stripes(400, 300, QImage::Format_RGB32);
    for (int y = 0; y < 300; ++y) {
        for (int x = 0; x < 400; ++x)
            stripes.setPixel(x, y, x % 2 == 0 ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    }
    DocumentModel model;
    CImageControl view(&model);
    view.resize(200, 150);
    Open(model, stripes);

    // At 200% the view's 200 x 150 are 400 x 300 device pixels: the
    // picture shows one to one.
    QImage sharp(400, 300, QImage::Format_RGB32);
    sharp.setDevicePixelRatio(2);
    view.paintView(sharp);
    sharp.setDevicePixelRatio(1);
    EXPECT_EQ(sharp, stripes);

    // At 100% the columns blend.
    QImage plain(200, 150, QImage::Format_RGB32);
    view.paintView(plain);
    const QColor blended = plain.pixelColor(100, 75);
    EXPECT_GT(blended.red(), 40);
    EXPECT_LT(blended.red(), 215);
}

TEST(ImageControl, ZoomAndPanShowTheRightPartOfTheLivePreview) {
    // Every pixel its own colour, so a shifted view cannot pass.
    QImage picture(600, 400, QImage::Format_RGB32);
    for (int y = 0; y < 400; ++y) {
        for (int x = 0; x < 600; ++x)
            picture.setPixel(x, y, qRgb(x % 256, y % 256, (x / 256) * 60 + (y / 256) * 120));
    }
    DocumentModel model;
    CImageControl view(&model);
    view.resize(300, 200);
    Open(model, picture);
    Caption working;
    working.text = QStringLiteral("Live preview");
    working.font.height = -40;
    working.marginLeft = 150;
    working.marginTop = 120;
    model.setWorkingCaption(working, -1);
    const QImage canvas = renderCaptions(model.document(), model.workingCaption());
    const auto composed = [&view] {
        QImage target(view.size(), QImage::Format_RGB32);
        view.paintView(target);
        return target;
    };
    const auto press = [&view](QEvent::Type type, QPoint at, Qt::MouseButtons held) {
        QMouseEvent event(type, at, view.mapToGlobal(at), Qt::LeftButton, held, {});
        QCoreApplication::sendEvent(&view, &event);
    };
    struct Row {
        const char* name;
        std::function<void()> act;
        QPoint expectedPosition; // of the view's top left in the canvas
    };
    const std::vector<Row> rows = {
        {"100% scrolled",
         [&] {
             view.zoomTo(1.0);
             view.scrollTo({120, 90});
         },
         {120, 90}},
        {"dragged at 100%",
         [&] {
             view.scrollTo({0, 0});
             press(QEvent::MouseButtonPress, {100, 100}, Qt::LeftButton);
             press(QEvent::MouseMove, {60, 80}, Qt::LeftButton);
             press(QEvent::MouseButtonRelease, {60, 80}, Qt::NoButton);
         },
         {40, 20}},
        {"back to 100% from a step in and out, scrolled past the end",
         [&] {
             view.zoomIn();
             view.zoomOut();
             view.scrollTo({1000, 1000});
         },
         {600 - 300 + view.verticalBar()->sizeHint().width(),
          400 - 200 + view.horizontalBar()->sizeHint().height()}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        row.act();
        EXPECT_EQ(view.zoom(), 1.0);
        EXPECT_EQ(view.scrollPosition(), row.expectedPosition);
        const QSize shown(300 - view.verticalBar()->sizeHint().width(),
                          200 - view.horizontalBar()->sizeHint().height());
        EXPECT_EQ(composed().copy(QRect(QPoint(0, 0), shown)),
                  canvas.copy(QRect(row.expectedPosition, shown)));
    }

    // Ctrl+wheel zooms around the cursor: the canvas point under it stays.
    view.zoomToFit();
    EXPECT_FALSE(view.horizontalBar()->isVisible());
    const QPoint cursor(80, 60);
    const QColor before = composed().pixelColor(cursor);
    QWheelEvent wheel(cursor, view.mapToGlobal(cursor), {}, {0, 120}, Qt::NoButton,
                      Qt::ControlModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&view, &wheel);
    EXPECT_GT(view.zoom(), 0.5);
    const QColor after = composed().pixelColor(cursor);
    EXPECT_NEAR(after.red(), before.red(), 3);
    EXPECT_NEAR(after.green(), before.green(), 3);
}

TEST(ImageControl, ALargeCanvasIsRenderedOffTheWindowsThreadAndShownOnceReady) {
    DocumentModel model;
    CImageControl view(&model);
    CImageControl synchronous(&model);
    view.setBackgroundPixels(1); // every picture counts as large
    for (CImageControl* each : {&view, &synchronous})
        each->resize(400, 300);
    Open(model, Halves(400, 300));
    Caption band;
    band.text = QStringLiteral("Band");
    band.disposition = Disposition::TopBand;
    band.font.height = -40;
    const QImage bare = Shown(view);
    struct Row {
        const char* name;
        std::function<void()> change;
    };
    const std::vector<Row> rows = {
        {"a caption added", [&] { model.addCaption(band); }},
        {"two changes before the canvas is ready",
         [&] {
             model.history()->undo();
             model.history()->redo();
             band.text = QStringLiteral("Edited band");
             model.editCaption(0, band);
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const QImage before = Shown(view);
        const int renders = view.canvasRenders();
        row.change();
        EXPECT_EQ(Shown(view), before) << "the window waited for the canvas";
        ASSERT_TRUE(QTest::qWaitFor([&] { return !view.rendering(); }, 10000));
        EXPECT_EQ(view.canvasRenders(), renders + 1);
        EXPECT_EQ(Shown(view), Shown(synchronous));
        EXPECT_NE(Shown(view), bare);
    }
}
