// The window's view of a 24-megapixel photo with three 120-pixel captions,
// each measure beside the floor of a paint (the bare photo scaled into the
// view): a paint with nothing changed, a paint after a resize, the first
// paint after a caption change, one keystroke in the caption dialog until
// the view behind it has painted (a caption on the photo, and one in a
// band), a paint at 100% after a pan, and bringing up the caption dialog. Repetitions run in a
// shuffled order, so that both sides of a ratio see the same machine load. Ends with the summary
// lines.
#include "bench/CaptionJob.h"
#include "bench/PhotoFixture.h"
#include "bench/RatioReporter.h"

#include "document/DocumentModel.h"
#include "tests/support/PaintCounter.h"
#include "ui/CanvasFit.h"
#include "ui/CaptionDialog.h"
#include "ui/CaptionPreview.h"
#include "ui/CaptionTextEdit.h"
#include "ui/ImageControl.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QTest>

#include <benchmark/benchmark.h>
#include <cstdio>
#include <memory>

namespace bs = bench_support;

namespace {
// The view's size in a 900 x 675 window.
constexpr int kViewWidth = 880;
constexpr int kViewHeight = 555;

// The photo opened in a model with the job's captions, and a view of it
// the size of the window's; shown, so that it paints through the event
// loop as on screen.
struct Scene {
    DocumentModel model{{QStringLiteral("Add Caption"), QStringLiteral("Edit Caption"),
                         QStringLiteral("Remove Caption")}};
    CImageControl view{&model};
    PaintCounter painted{&view};
    bool ready = false;
    // Why the view cannot be measured, when it cannot.
    const char* problem = "the photo did not open";

    Scene() {
        view.resize(kViewWidth, kViewHeight);
        if (!model.open(QString::fromStdString(bs::PhotoJpegPath())).ok)
            return;
        for (const Caption& caption : bs::JobCaptions())
            model.addCaption(caption);
        view.show();
        if (!QTest::qWaitForWindowExposed(&view)) {
            problem = "the view did not show";
            return;
        }
        // The middle of the view shows the photo, not the workspace colour: a
        // view that paints nothing would give flattering times.
        const QRgb workspace = view.palette().color(QPalette::Dark).rgb();
        QImage window(view.size(), QImage::Format_RGB32);
        window.fill(workspace);
        view.render(&window);
        if (window.pixel(kViewWidth / 2, kViewHeight / 2) == workspace) {
            problem = "the view painted no picture";
            return;
        }
        ready = true;
    }
};

Scene& TheScene() {
    static Scene* scene = new Scene;
    return *scene;
}

bool Ready(benchmark::State& state) {
    if (!TheScene().ready) {
        state.SkipWithError(TheScene().problem);
        return false;
    }
    return true;
}

// The floor of a paint: the bare photo scaled into a view-sized image, no
// captions rendered.
void BM_ScaleOnly(benchmark::State& state) {
    if (!Ready(state))
        return;
    const PictureDocument& document = TheScene().model.document();
    QImage window(kViewWidth, kViewHeight, QImage::Format_RGB32);
    const QRect fitted = fitCanvas(document.width(), document.height(), kViewWidth, kViewHeight);
    for (auto _ : state) {
        QPainter painter(&window);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(fitted, document.picture);
        painter.end();
        benchmark::DoNotOptimize(window.constBits());
    }
}

// A paint of the view with nothing changed since the last one (an expose,
// a window moved over it): the composed view is copied out.
void BM_PaintUnchanged(benchmark::State& state) {
    if (!Ready(state))
        return;
    CImageControl& view = TheScene().view;
    QImage window(view.size(), QImage::Format_RGB32);
    view.render(&window);
    for (auto _ : state) {
        view.render(&window);
        benchmark::DoNotOptimize(window.constBits());
    }
}

// A paint after the window changed size: the kept canvas scaled anew.
void BM_PaintAfterResize(benchmark::State& state) {
    if (!Ready(state))
        return;
    CImageControl& view = TheScene().view;
    QImage window(view.size(), QImage::Format_RGB32);
    view.render(&window);
    bool smaller = false;
    for (auto _ : state) {
        smaller = !smaller;
        view.resize(kViewWidth - (smaller ? 7 : 0), kViewHeight - (smaller ? 5 : 0));
        view.render(&window);
        benchmark::DoNotOptimize(window.constBits());
    }
    view.resize(kViewWidth, kViewHeight);
}

// The first paint after a caption changed: the full-size canvas rendered
// again, then scaled. The change is an edit undone and redone in turn.
void BM_PaintAfterCaptionChange(benchmark::State& state) {
    if (!Ready(state))
        return;
    Scene& scene = TheScene();
    Caption edited = *scene.model.document().captions.at(2);
    edited.text += QStringLiteral(", edited");
    scene.model.editCaption(2, edited);
    QImage window(scene.view.size(), QImage::Format_RGB32);
    bool undone = false;
    for (auto _ : state) {
        undone = !undone;
        if (undone)
            scene.model.history()->undo();
        else
            scene.model.history()->redo();
        scene.view.render(&window);
        benchmark::DoNotOptimize(window.constBits());
    }
    if (!undone)
        scene.model.history()->undo();
}

// One keystroke in the text of an open caption dialog (Add) until the view
// behind it has painted through the event loop, as a person typing sees it:
// a caption on the photo (the job's note), or one in a band, whose strip
// alone is drawn again while its height stays.
void LivePreviewKeystroke(benchmark::State& state, std::int32_t disposition) {
    if (!Ready(state))
        return;
    Scene& scene = TheScene();
    Caption working = bs::JobCaptions().at(2);
    working.text = QStringLiteral("Typed ");
    working.disposition = disposition;
    CCaptionDialog dialog(working);
    CaptionPreview preview(scene.model, dialog, -1);
    dialog.show();
    auto* text = dialog.control<CaptionTextEdit>(ControlId::CaptionText);
    text->setFocus();
    text->moveCursor(QTextCursor::End);
    QCoreApplication::processEvents();
    bool typeLetter = false;
    for (auto _ : state) {
        typeLetter = !typeLetter;
        const int before = scene.painted.paints;
        QTest::keyClick(text, typeLetter ? Qt::Key_A : Qt::Key_Backspace);
        QElapsedTimer waited;
        waited.start();
        while (scene.painted.paints == before && waited.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (scene.painted.paints == before) {
            state.SkipWithError("the view did not paint after the keystroke");
            break;
        }
    }
    dialog.hide();
}

void BM_LivePreviewKeystroke(benchmark::State& state) {
    LivePreviewKeystroke(state, Disposition::OnImage);
}

void BM_LivePreviewKeystrokeInBand(benchmark::State& state) {
    LivePreviewKeystroke(state, Disposition::BottomBand);
}

// A paint at 100% after a pan: the view's part of the canvas copied out,
// at positions taking turns so that every paint composes afresh.
void BM_Paint100AfterPan(benchmark::State& state) {
    if (!Ready(state))
        return;
    CImageControl& view = TheScene().view;
    view.zoomTo(1.0);
    QImage window(view.size(), QImage::Format_RGB32);
    int step = 0;
    for (auto _ : state) {
        step = (step + 1) % 8;
        view.scrollTo(QPoint(step * 500, step * 300));
        view.render(&window);
        benchmark::DoNotOptimize(window.constBits());
    }
    view.zoomToFit();
}

// What "Add Caption" or "Edit Caption" costs before the person sees the
// dialog: every control built from its template, the caption shown in them,
// and one paint of the whole dialog.
void BM_CaptionDialog(benchmark::State& state) {
    Caption caption;
    caption.text = QStringLiteral("Harbour morning\r\nthe cruise ship at the pier");
    caption.disposition = Disposition::TopBand;
    for (auto _ : state) {
        CCaptionDialog dialog(caption);
        QImage shown(dialog.size(), QImage::Format_RGB32);
        dialog.render(&shown);
        benchmark::DoNotOptimize(shown.constBits());
    }
}

BENCHMARK(BM_ScaleOnly)->Unit(benchmark::kMillisecond)->MinTime(1)->UseRealTime()->Repetitions(3);
BENCHMARK(BM_PaintUnchanged)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1)
    ->UseRealTime()
    ->Repetitions(3);
BENCHMARK(BM_PaintAfterResize)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1)
    ->UseRealTime()
    ->Repetitions(3);
BENCHMARK(BM_PaintAfterCaptionChange)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2)
    ->UseRealTime()
    ->Repetitions(3);
BENCHMARK(BM_LivePreviewKeystroke)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2)
    ->UseRealTime()
    ->Repetitions(3);
BENCHMARK(BM_LivePreviewKeystrokeInBand)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2)
    ->UseRealTime()
    ->Repetitions(3);
BENCHMARK(BM_Paint100AfterPan)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1)
    ->UseRealTime()
    ->Repetitions(3);
BENCHMARK(BM_CaptionDialog)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1)
    ->UseRealTime()
    ->Repetitions(3);

// False when the figure is missing: its benchmark failed or was filtered out.
bool PrintSummary(const bs::RatioReporter& reporter, const char* key, const char* name) {
    const auto ms = reporter.Median(name);
    if (ms)
        std::printf("summary: %s = %.3f\n", key, *ms);
    return ms.has_value();
}
} // namespace

int main(int argc, char** argv) {
    bs::InitializeShuffled(argc, argv);
    bs::PreferOffscreenPlatform();
    QApplication app(argc, argv);
    bs::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\nMedians, same run:\n");
    for (const char* name :
         {"BM_ScaleOnly", "BM_PaintUnchanged", "BM_PaintAfterResize", "BM_PaintAfterCaptionChange",
          "BM_LivePreviewKeystroke", "BM_LivePreviewKeystrokeInBand", "BM_Paint100AfterPan",
          "BM_CaptionDialog"}) {
        if (const auto ms = reporter.Median(name))
            std::printf("%-28s %.3f ms\n", name, *ms);
    }
    std::printf("\nRatios of medians to scaling the bare photo into the view, same run:\n");
    reporter.PrintRatio("BM_PaintUnchanged", "BM_ScaleOnly", "(goal: <= 2 ms)");
    reporter.PrintRatio("BM_PaintAfterResize", "BM_ScaleOnly", "(goal: <= 16 ms)");
    reporter.PrintRatio("BM_PaintAfterCaptionChange", "BM_ScaleOnly", "(first paint)");
    reporter.PrintRatio("BM_LivePreviewKeystroke", "BM_ScaleOnly", "(goal: <= 60 ms)");
    reporter.PrintRatio("BM_LivePreviewKeystrokeInBand", "BM_ScaleOnly", "(a band caption)");
    reporter.PrintRatio("BM_CaptionDialog", "BM_PaintAfterCaptionChange",
                        "of the first paint after a change");
    std::printf("\n");
    bool complete = PrintSummary(reporter, "scale_only_ms", "BM_ScaleOnly");
    complete &=
        PrintSummary(reporter, "paint_after_caption_change_ms", "BM_PaintAfterCaptionChange");
    complete &= PrintSummary(reporter, "paint_unchanged_ms", "BM_PaintUnchanged");
    complete &= PrintSummary(reporter, "paint_after_resize_ms", "BM_PaintAfterResize");
    complete &= PrintSummary(reporter, "live_preview_latency_ms", "BM_LivePreviewKeystroke");
    complete &= PrintSummary(reporter, "band_typing_latency_ms", "BM_LivePreviewKeystrokeInBand");
    complete &= PrintSummary(reporter, "paint_100_percent_ms", "BM_Paint100AfterPan");
    std::remove(bs::PhotoJpegPath().c_str());
    benchmark::Shutdown();
    return complete ? 0 : 1;
}
