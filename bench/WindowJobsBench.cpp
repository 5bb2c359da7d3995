// The window's jobs on big photos, with a shown view as on screen:
// - the time from starting to open the 24-megapixel photo to the first
//   painted view (the quick scaled decode), over the time to the painted
//   view of the whole picture;
// - the longest the event loop is kept from running while a 108-megapixel
//   photo is opened, given the job's three captions (each painted) and
//   saved: a timer asks to run every millisecond and the longest gap
//   between its runs is the stall.
// Ends with the summary lines.
#include "bench/CaptionJob.h"
#include "bench/PhotoFixture.h"
#include "bench/RatioReporter.h"

#include "document/DocumentModel.h"
#include "tests/support/PaintCounter.h"
#include "ui/ImageControl.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>

namespace bs = bench_support;

namespace {

constexpr int kViewWidth = 880;
constexpr int kViewHeight = 555;

// A model and a shown view of the window's size.
struct Window {
    DocumentModel model;
    CImageControl view{&model};
    PaintCounter painted{&view};

    bool shown = false;

    Window() {
        view.resize(kViewWidth, kViewHeight);
        view.show();
        shown = QTest::qWaitForWindowExposed(&view);
    }
};

// Runs the event loop until `done`, or for at most a minute.
bool RunUntil(const std::function<bool()>& done) {
    QElapsedTimer waited;
    waited.start();
    while (!done() && waited.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

// From starting the open to the view painted with `shown` there.
void TimeOpen(benchmark::State& state, bool firstViewOnly) {
    Window window;
    if (!window.shown) {
        state.SkipWithError("the view did not show");
        return;
    }
    const QString photo = QString::fromStdString(bs::PhotoJpegPath());
    for (auto _ : state) {
        const int before = window.painted.paints;
        bool first = false;
        const auto connection =
            QObject::connect(&window.model, &DocumentModel::firstViewChanged, &window.view,
                             [&] { first = first || !window.model.firstView().picture.isNull(); });
        window.model.startOpen(photo, QSize(kViewWidth, kViewHeight));
        const bool painted = RunUntil([&] {
            const bool reached =
                firstViewOnly ? first : window.model.runningJob() == DocumentJob::None;
            return reached && window.painted.paints > before;
        });
        QObject::disconnect(connection);
        if (!painted) {
            state.SkipWithError("the view did not paint the photo");
            break;
        }
        state.PauseTiming();
        // The rest of the open is not timed, and the next starts afresh.
        RunUntil([&] { return window.model.runningJob() == DocumentJob::None; });
        window.model.waitForJobs();
        state.ResumeTiming();
    }
}

void BM_OpenToFirstView(benchmark::State& state) {
    TimeOpen(state, true);
}

void BM_OpenToWholeView(benchmark::State& state) {
    TimeOpen(state, false);
}

BENCHMARK(BM_OpenToFirstView)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2)
    ->UseRealTime()
    ->Repetitions(3);
BENCHMARK(BM_OpenToWholeView)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2)
    ->UseRealTime()
    ->Repetitions(3);

// The longest gap between runs of a timer that asks to run every
// millisecond, while `work` runs the event loop; negative when it failed.
double LongestStallMs(const std::function<bool()>& work) {
    QElapsedTimer clock;
    clock.start();
    qint64 last = clock.nsecsElapsed();
    qint64 longest = 0;
    QTimer tick;
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, now - last);
        last = now;
    });
    tick.start();
    const bool ok = work();
    tick.stop();
    return ok ? static_cast<double>(longest) / 1e6 : -1;
}

double BigPhotoStallMs() {
    QTemporaryDir dir;
    const std::string photo = dir.filePath(QStringLiteral("big.jpg")).toStdString();
    if (!dir.isValid() || !bs::WritePhotoJpeg(photo, 12000, 9000))
        return -1;
    Window window;
    if (!window.shown)
        return -1;
    return LongestStallMs([&] {
        DocumentModel& model = window.model;
        const auto idle = [&] { return model.runningJob() == DocumentJob::None; };
        model.startOpen(QString::fromStdString(photo), QSize(kViewWidth, kViewHeight));
        if (!RunUntil(idle) || model.document().width() != 12000)
            return false;
        for (const Caption& caption : bs::JobCaptions()) {
            const int before = window.painted.paints;
            model.addCaption(caption);
            RunUntil([&] { return window.painted.paints > before; });
        }
        model.startSave(dir.filePath(QStringLiteral("copy.jpg")));
        return RunUntil(idle) && !model.isModified();
    });
}

} // namespace

int main(int argc, char** argv) {
    bs::InitializeShuffled(argc, argv);
    bs::PreferOffscreenPlatform();
    QApplication app(argc, argv);
    bs::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double stall = BigPhotoStallMs();
    std::printf("\n");
    reporter.PrintRatio("BM_OpenToFirstView", "BM_OpenToWholeView", "(goal: <= 0.25)");
    bool complete = true;
    if (const auto ratio = reporter.Ratio("BM_OpenToFirstView", "BM_OpenToWholeView"))
        std::printf("summary: first_view_vs_full_open = %.3f\n", *ratio);
    else
        complete = false;
    if (stall >= 0)
        std::printf("summary: ui_max_stall_ms = %.1f\n", stall);
    else
        complete = false;
    std::remove(bs::PhotoJpegPath().c_str());
    benchmark::Shutdown();
    return complete ? 0 : 1;
}
