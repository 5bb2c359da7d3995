// Opening photos of other formats beside an outside decoder of the same
// file in the same run: a 12-megapixel HEIC beside heif-convert (to Y4M,
// decode and nothing else) and a 24-megapixel PNG beside ImageMagick's
// `convert FILE ppm:-`; and the whole job (open, three captions, save) on
// each. Repetitions run in a shuffled order so that both sides of a ratio
// see the same machine load; the ratios of medians end the output as
// "summary: key = value" lines.
#include "bench/CaptionJob.h"
#include "bench/PhotoFixture.h"
#include "bench/RatioReporter.h"
#include "bench/Shell.h"

#include "pipeline/PicturePipeline.h"

#include <QGuiApplication>
#include <QImage>

#include <benchmark/benchmark.h>
#include <cstdio>
#include <string>

namespace bs = bench_support;

namespace {

constexpr int kHeicWidth = 4032;
constexpr int kHeicHeight = 3024; // 12 megapixels, as a phone takes them

QString Heic() {
    return bs::ScratchPath("photo.heic");
}
QString Png() {
    return bs::ScratchPath("photo.png");
}

// The photo-like picture as a 24-megapixel PNG (written by Qt) and a
// 12-megapixel HEIC (heif-enc from a JPEG of the picture).
bool MakePhotos(QString& error) {
    if (!bs::Scratch().isValid()) {
        error = QStringLiteral("cannot make a temporary folder");
        return false;
    }
    const std::string big = bs::ScratchPath("big.jpg").toStdString();
    const std::string phone = bs::ScratchPath("phone.jpg").toStdString();
    if (!bs::WritePhotoJpeg(big, bs::kPhotoWidth, bs::kPhotoHeight) ||
        !bs::WritePhotoJpeg(phone, kHeicWidth, kHeicHeight)) {
        error = QStringLiteral("cannot write the photos");
        return false;
    }
    if (!QImage(QString::fromStdString(big)).save(Png(), "PNG")) {
        error = QStringLiteral("cannot write the PNG");
        return false;
    }
    if (!bs::Shell("heif-enc -q 85 -o " + bs::Quoted(Heic().toStdString()) + " " +
                   bs::Quoted(phone) + " >/dev/null")) {
        error = QStringLiteral("heif-enc could not write the HEIC");
        return false;
    }
    // Both open at the size they were made.
    for (const auto& [path, width, height] :
         {std::tuple{Heic(), kHeicWidth, kHeicHeight},
          std::tuple{Png(), bs::kPhotoWidth, bs::kPhotoHeight}}) {
        PictureDocument document;
        const PipelineResult opened = openPicture(document, path);
        if (!opened.ok || document.picture.width() != width ||
            document.picture.height() != height) {
            error = QStringLiteral("%1 did not open: %2").arg(path, opened.message);
            return false;
        }
    }
    return true;
}

void Open(benchmark::State& state, const QString& input) {
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

void Outside(benchmark::State& state, const std::string& command) {
    for (auto _ : state) {
        if (!bs::Shell(command)) {
            state.SkipWithError(command.c_str());
            break;
        }
    }
}

void Job(benchmark::State& state, const QString& input, const char* output) {
    for (auto _ : state) {
        const PipelineResult result = bs::RunCaptionJob(input, bs::ScratchPath(output));
        if (!result.ok) {
            state.SkipWithError(result.message.toUtf8().constData());
            break;
        }
    }
}

void BM_OpenHeic(benchmark::State& state) {
    Open(state, Heic());
}
void BM_HeifConvert(benchmark::State& state) {
    Outside(state, "heif-convert " + bs::Quoted(Heic().toStdString()) + " " +
                       bs::Quoted(bs::ScratchPath("decoded.y4m").toStdString()) + " >/dev/null");
}
void BM_OpenPng(benchmark::State& state) {
    Open(state, Png());
}
void BM_ImageMagickPng(benchmark::State& state) {
    Outside(state, "convert " + bs::Quoted(Png().toStdString()) + " ppm:- >/dev/null");
}
void BM_JobHeic(benchmark::State& state) {
    Job(state, Heic(), "heic-captioned.jpg");
}
void BM_JobPng(benchmark::State& state) {
    Job(state, Png(), "png-captioned.jpg");
}

BENCHMARK(BM_OpenHeic)->Unit(benchmark::kMillisecond)->MinTime(1.5)->UseRealTime()->Repetitions(5);
BENCHMARK(BM_HeifConvert)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.5)
    ->UseRealTime()
    ->Repetitions(5);
BENCHMARK(BM_OpenPng)->Unit(benchmark::kMillisecond)->MinTime(1.5)->UseRealTime()->Repetitions(5);
BENCHMARK(BM_ImageMagickPng)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.5)
    ->UseRealTime()
    ->Repetitions(5);
BENCHMARK(BM_JobHeic)->Unit(benchmark::kMillisecond)->MinTime(1.5)->UseRealTime()->Repetitions(3);
BENCHMARK(BM_JobPng)->Unit(benchmark::kMillisecond)->MinTime(1.5)->UseRealTime()->Repetitions(3);

} // namespace

int main(int argc, char** argv) {
    bs::InitializeShuffled(argc, argv);
    bs::PreferOffscreenPlatform();
    QGuiApplication app(argc, argv);
    QString error;
    if (!MakePhotos(error)) {
        std::fprintf(stderr, "no measurement: %s\n", error.toUtf8().constData());
        return 1;
    }
    bs::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\nMedians, same run (wall clock):\n");
    for (const char* name : {"BM_OpenHeic", "BM_HeifConvert", "BM_OpenPng", "BM_ImageMagickPng",
                             "BM_JobHeic", "BM_JobPng"}) {
        if (const auto ms = reporter.Median(name))
            std::printf("%-18s %8.1f ms\n", name, *ms);
    }
    // Wall clock: the outside decoders run in child processes, whose time
    // this thread does not see.
    const auto heic = reporter.Ratio("BM_OpenHeic", "BM_HeifConvert");
    const auto png = reporter.Ratio("BM_OpenPng", "BM_ImageMagickPng");
    std::printf("\nRatios of medians, same run:\n");
    if (heic)
        std::printf("open HEIC / heif-convert:          %.3f (goal <= 1.2)\n", *heic);
    if (png)
        std::printf("open PNG / ImageMagick convert:    %.3f (goal <= 1.0)\n", *png);
    if (heic)
        std::printf("summary: heic_open_vs_heif_convert = %.3f\n", *heic);
    if (png)
        std::printf("summary: png_open_vs_imagemagick = %.3f\n", *png);
    benchmark::Shutdown();
    // A figure missing means a benchmark failed or was filtered out.
    return heic && png ? 0 : 1;
}
