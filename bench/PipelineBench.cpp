// The whole captioning job on a 24-megapixel photograph, and its stages:
// open and save (the view's paints are measured in ViewBench.cpp). Beside it, in the same run, the
// same input through djpeg | cjpeg (decode and encode and nothing else: the
// floor) and through ImageMagick doing the same job. The ratios printed at
// the end are what to compare: the machine is shared.
#include "bench/CaptionJob.h"
#include "bench/Floor.h"
#include "bench/PhotoFixture.h"
#include "bench/RatioReporter.h"
#include "bench/Shell.h"

#include "pipeline/PicturePipeline.h"

#include <QApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace bs = bench_support;

namespace {
QString Input() {
    return QString::fromStdString(bs::PhotoJpegPath());
}

// The photo opened once with the job's captions, for the stage benchmarks.
PictureDocument& CaptionedDocument() {
    static PictureDocument* document = [] {
        auto* d = new PictureDocument;
        if (openPicture(*d, Input()).ok) {
            bs::AddJobCaptions(*d);
        }
        return d;
    }();
    return *document;
}

void BM_Open(benchmark::State& state) {
    const QString input = Input();
    for (auto _ : state) {
        PictureDocument document;
        const PipelineResult result = openPicture(document, input);
        if (!result.ok) {
            state.SkipWithError(result.message.toUtf8().constData());
            break;
        }
        benchmark::DoNotOptimize(document.picture.constBits());
    }
}

void BM_Save(benchmark::State& state) {
    PictureDocument& document = CaptionedDocument();
    const QString output = bs::ScratchPath("save.jpg");
    for (auto _ : state) {
        const PipelineResult result =
            savePicture(document, output, {MetadataChoice::KeepAll, {false, 90}, true});
        if (!result.ok) {
            state.SkipWithError(result.message.toUtf8().constData());
            break;
        }
    }
}

void BM_Job(benchmark::State& state) {
    const QString input = Input();
    const QString output = bs::ScratchPath("job.jpg");
    for (auto _ : state) {
        const PipelineResult result = bs::RunCaptionJob(input, output);
        if (!result.ok) {
            state.SkipWithError(result.message.toUtf8().constData());
            break;
        }
    }
}

void BM_DjpegCjpeg(benchmark::State& state) {
    bs::DjpegCjpeg(state, bs::PhotoJpegPath(), bs::ScratchPath("djpeg-cjpeg.jpg").toStdString());
}

// The job's two bands and three texts, at the same quality and chroma
// subsampling as our encoder (ImageMagick keeps full chroma from quality 90
// up unless told otherwise).
void BM_ImageMagick(benchmark::State& state) {
    const std::string command =
        "convert " + bs::Quoted(bs::PhotoJpegPath()) +
        " -background white -gravity north -splice 0x135"
        " -background '#202030' -gravity south -splice 0x135"
        " -pointsize 120"
        " -font Liberation-Sans-Bold -fill black -gravity north -annotate +0+0"
        " 'Lake Bled at dawn, seen from the castle terrace'"
        " -font Liberation-Sans -fill white -gravity southwest -annotate +0+0"
        " 'Photo: Marta Kovač, 14 May 2024 — all rights reserved'"
        " -fill yellow -gravity southeast -annotate +200+300"
        " 'Morning mist over the island church\\nf/8, 1/250 s'"
        " -quality 90 -sampling-factor 2x2 " +
        bs::Quoted(bs::ScratchPath("imagemagick.jpg").toStdString());
    for (auto _ : state) {
        if (!bs::Shell(command)) {
            state.SkipWithError("ImageMagick's convert failed");
            break;
        }
    }
}

// The job and its references first and side by side, so that their ratios
// see the same machine load.
BENCHMARK(BM_DjpegCjpeg)->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime()->Repetitions(3);
BENCHMARK(BM_Job)->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime()->Repetitions(3);
BENCHMARK(BM_ImageMagick)->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime()->Repetitions(3);
BENCHMARK(BM_Open)->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime()->Repetitions(3);
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime()->Repetitions(3);
} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bs::PreferOffscreenPlatform();
    QApplication app(argc, argv);
    if (!bs::Scratch().isValid()) {
        std::fprintf(stderr, "cannot make a temporary folder for the outputs\n");
        return 1;
    }
    bs::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\nMedians, same run:\n");
    for (const char* name : {"BM_Open", "BM_Save", "BM_Job"}) {
        if (const auto ms = reporter.Median(name)) {
            std::printf("%-18s %.1f ms\n", name, *ms);
        }
    }
    std::printf("\nRatios of medians, same run:\n");
    reporter.PrintRatio("BM_Job", "BM_DjpegCjpeg", "of djpeg | cjpeg (goal <= 1.5x)");
    reporter.PrintRatio("BM_ImageMagick", "BM_Job", "of the job (goal >= 4x)");
    std::remove(bs::PhotoJpegPath().c_str());
    benchmark::Shutdown();
    return 0;
}
