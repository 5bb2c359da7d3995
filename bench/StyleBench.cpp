// Saving a 24-megapixel photo with the three captions of a typical job drawn
// with an outline, a shadow and a box each, beside the same captions bare
// (the box shows behind the note on the photo only: the renderer draws no
// box in a band); and the paint alone (the full-size canvas), styled and
// bare. The photo is opened once, outside the timing. Repetitions run in a
// shuffled order so that both sides of a ratio see the same machine load;
// the ratio of medians is printed last as "summary: key = value".
#include "bench/CaptionJob.h"
#include "bench/PhotoFixture.h"
#include "bench/RatioReporter.h"

#include "pipeline/PicturePipeline.h"
#include "render/CaptionRenderer.h"

#include <QGuiApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace bs = bench_support;

namespace {
PictureDocument& Plain() {
    static PictureDocument document;
    return document;
}

PictureDocument& Styled() {
    static PictureDocument document;
    return document;
}

// The job's captions with every style on, sized for a 120-pixel em; the
// two in bands keep their box setting, which draws nothing there.
void AddStyledCaptions(PictureDocument& document) {
    for (Caption caption : bs::JobCaptions()) {
        caption.outline.enabled = true;
        caption.outline.width = 5;
        caption.outline.color = 0x00000000;
        caption.shadow.enabled = true;
        caption.shadow.offsetX = 8;
        caption.shadow.offsetY = 8;
        caption.shadow.blur = 10;
        caption.shadow.opacity = 60;
        caption.box.enabled = true;
        caption.box.opacity = 50;
        caption.box.padding = 30;
        document.captions.append(caption);
    }
}

bool Prepare(QString& error) {
    const QString photo = bs::ScratchPath("photo.jpg");
    if (!bs::Scratch().isValid() ||
        !bs::WritePhotoJpeg(photo.toStdString(), bs::kPhotoWidth, bs::kPhotoHeight)) {
        error = QStringLiteral("cannot write the photo");
        return false;
    }
    for (PictureDocument* document : {&Plain(), &Styled()}) {
        const PipelineResult opened = openPicture(*document, photo);
        if (!opened.ok) {
            error = opened.message;
            return false;
        }
    }
    bs::AddJobCaptions(Plain());
    AddStyledCaptions(Styled());
    // The styles must show, or the comparison measures nothing.
    if (renderCaptions(Plain()) == renderCaptions(Styled())) {
        error = QStringLiteral("the styled captions draw as the plain ones");
        return false;
    }
    return true;
}

void Save(benchmark::State& state, const PictureDocument& document) {
    const QString output = bs::ScratchPath("saved.jpg");
    for (auto _ : state) {
        const PipelineResult result =
            savePicture(document, output, {MetadataChoice::KeepAll, {false, 90}, true});
        if (!result.ok) {
            state.SkipWithError(result.message.toUtf8().constData());
            break;
        }
    }
}

void Paint(benchmark::State& state, const PictureDocument& document) {
    QImage canvas;
    for (auto _ : state) {
        canvas = renderCaptions(document, {}, std::move(canvas));
        benchmark::DoNotOptimize(canvas.constBits());
    }
}

void BM_SavePlain(benchmark::State& state) {
    Save(state, Plain());
}
void BM_SaveStyled(benchmark::State& state) {
    Save(state, Styled());
}
void BM_PaintPlain(benchmark::State& state) {
    Paint(state, Plain());
}
void BM_PaintStyled(benchmark::State& state) {
    Paint(state, Styled());
}

BENCHMARK(BM_SavePlain)->Unit(benchmark::kMillisecond)->MinTime(1.5)->UseRealTime()->Repetitions(5);
BENCHMARK(BM_SaveStyled)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.5)
    ->UseRealTime()
    ->Repetitions(5);
BENCHMARK(BM_PaintPlain)->Unit(benchmark::kMillisecond)->MinTime(1)->UseRealTime()->Repetitions(5);
BENCHMARK(BM_PaintStyled)->Unit(benchmark::kMillisecond)->MinTime(1)->UseRealTime()->Repetitions(5);
} // namespace

int main(int argc, char** argv) {
    bs::InitializeShuffled(argc, argv);

    bs::PreferOffscreenPlatform();
    QGuiApplication app(argc, argv);
    QString error;
    if (!Prepare(error)) {
        std::fprintf(stderr, "no measurement: %s\n", error.toUtf8().constData());
        return 1;
    }
    bs::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\nMedians, same run (wall clock):\n");
    for (const char* name : {"BM_SavePlain", "BM_SaveStyled", "BM_PaintPlain", "BM_PaintStyled"}) {
        if (const auto ms = reporter.Median(name))
            std::printf("%-16s %8.1f ms\n", name, *ms);
    }
    const auto styled = reporter.Ratio("BM_SaveStyled", "BM_SavePlain");
    const auto paint = reporter.Median("BM_PaintStyled");
    if (styled) {
        std::printf("\nstyled save / plain save, wall clock: %.3f (goal <= 1.5)\n", *styled);
        std::printf("summary: styled_save_vs_plain = %.3f\n", *styled);
    }
    if (paint)
        std::printf("summary: styled_paint_ms = %.1f\n", *paint);
    benchmark::Shutdown();
    return styled ? 0 : 1;
}
