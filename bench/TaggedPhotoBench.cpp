// The captioning job on a 24-megapixel photo that carries a camera's
// metadata (EXIF with GPS, XMP, IPTC, an ICC profile), all of it carried into
// the saved copy, beside djpeg | cjpeg on the same file: the floor of decode
// and encode and nothing else. And the open of that photo tagged Orientation
// 6 (turned upright while decoding) beside the same photo tagged
// Orientation 1. Repetitions of all four run in a shuffled order, so that
// both sides of a ratio see the same machine load; the ratios of medians are
// printed last, the two figures as "summary: key = value" lines.
#include "bench/CaptionJob.h"
#include "bench/Floor.h"
#include "bench/PhotoFixture.h"
#include "bench/RatioReporter.h"
#include "bench/Shell.h"
#include "bench/TaggedPhoto.h"

#include "pipeline/PicturePipeline.h"

#include <QFile>
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
// The photo with its metadata, Orientation 1, and the same bytes with
// Orientation 6.
QString Upright() {
    return bs::ScratchPath("photo-orientation-1.jpg");
}
QString Turned() {
    return bs::ScratchPath("photo-orientation-6.jpg");
}

bool MakePhotos(QString& error) {
    if (!bs::Scratch().isValid()) {
        error = QStringLiteral("cannot make a temporary folder");
        return false;
    }
    if (!bs::WritePhotoJpeg(Upright().toStdString(), bs::kPhotoWidth, bs::kPhotoHeight)) {
        error = QStringLiteral("cannot write the photo");
        return false;
    }
    if (!bs::TagLikeCamera(Upright(), 1, bs::Scratch().path(), error)) {
        return false;
    }
    if (!QFile::copy(Upright(), Turned())) {
        error = QStringLiteral("cannot copy the photo");
        return false;
    }
    return bs::SetOrientation(Turned(), 6, error);
}

// One job outside the timing, to check that it measures what it claims:
// the saved copy carries the camera's EXIF, GPS, XMP, IPTC and ICC profile,
// and the Orientation 6 photo opens turned.
bool CheckJob(QString& error) {
    const QString output = bs::ScratchPath("checked-job.jpg");
    if (!bs::RunCaptionJobKeepingMetadata(Upright(), output, error)) {
        return false;
    }
    std::string condition =
        "exiftool -q -q -if '$EXIF:Make and $EXIF:GPSLatitude and $EXIF:ExposureTime and "
        "$XMP-dc:Description and $IPTC:Caption-Abstract and $ICC_Profile:ProfileDescription' "
        "-p ok ";
    condition += bs::Quoted(output.toStdString());
    condition += " | grep -qx ok";
    if (!bs::Shell(condition)) {
        error = QStringLiteral("the saved copy lacks some of the photo's metadata");
        return false;
    }
    PictureDocument turned;
    const PipelineResult opened = openPicture(turned, Turned());
    if (!opened.ok || turned.width() != std::uint32_t(bs::kPhotoHeight) ||
        turned.height() != std::uint32_t(bs::kPhotoWidth)) {
        error = QStringLiteral("the Orientation 6 photo did not open turned");
        return false;
    }
    return true;
}

void BM_DjpegCjpeg(benchmark::State& state) {
    bs::DjpegCjpeg(state, Upright().toStdString(),
                   bs::ScratchPath("djpeg-cjpeg.jpg").toStdString());
}

void BM_TaggedJob(benchmark::State& state) {
    const QString output = bs::ScratchPath("job.jpg");
    QString error;
    for (auto _ : state) {
        if (!bs::RunCaptionJobKeepingMetadata(Upright(), output, error)) {
            state.SkipWithError(error.toUtf8().constData());
            break;
        }
    }
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

void BM_OpenOrientation1(benchmark::State& state) {
    Open(state, Upright());
}

void BM_OpenOrientation6(benchmark::State& state) {
    Open(state, Turned());
}

BENCHMARK(BM_DjpegCjpeg)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.5)
    ->UseRealTime()
    ->Repetitions(7);
BENCHMARK(BM_TaggedJob)->Unit(benchmark::kMillisecond)->MinTime(1.5)->UseRealTime()->Repetitions(7);
BENCHMARK(BM_OpenOrientation1)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.5)
    ->UseRealTime()
    ->Repetitions(7);
BENCHMARK(BM_OpenOrientation6)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.5)
    ->UseRealTime()
    ->Repetitions(7);

} // namespace

int main(int argc, char** argv) {
    bs::InitializeShuffled(argc, argv);

    bs::PreferOffscreenPlatform();
    QGuiApplication app(argc, argv);
    QString error;
    if (!MakePhotos(error) || !CheckJob(error)) {
        std::fprintf(stderr, "no measurement: %s\n", error.toUtf8().constData());
        return 1;
    }
    bs::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\nMedians, same run (wall clock; CPU time of the benchmark's thread):\n");
    for (const char* name :
         {"BM_DjpegCjpeg", "BM_TaggedJob", "BM_OpenOrientation1", "BM_OpenOrientation6"}) {
        if (const auto ms = reporter.Median(name)) {
            std::printf("%-20s %7.1f ms  %7.1f ms\n", name, *ms,
                        reporter.MedianCpu(name).value_or(0));
        }
    }
    // The job against djpeg | cjpeg in wall-clock time: the reference runs in
    // two child processes, whose time the benchmark's thread does not see.
    const auto job = reporter.Ratio("BM_TaggedJob", "BM_DjpegCjpeg");
    // Both opens run on this thread alone, so their CPU time is the same work
    // without the waits that other people's processes on a shared machine add
    // to the wall clock; the wall-clock ratio is printed beside it.
    const auto open = reporter.RatioCpu("BM_OpenOrientation6", "BM_OpenOrientation1");
    const auto openWall = reporter.Ratio("BM_OpenOrientation6", "BM_OpenOrientation1");
    std::printf("\nRatios of medians, same run:\n");
    if (job) {
        std::printf("tagged job / djpeg | cjpeg, wall clock:  %.3f (goal <= 1.5)\n", *job);
    }
    if (open && openWall) {
        std::printf(
            "open Orientation 6 / 1, CPU time:        %.3f (goal <= 1.3); wall clock %.3f\n", *open,
            *openWall);
    }
    if (job) {
        std::printf("summary: job_vs_floor = %.3f\n", *job);
    }
    if (open) {
        std::printf("summary: orient6_open_vs_orient1 = %.3f\n", *open);
    }
    benchmark::Shutdown();
    // A figure missing means a benchmark failed or was filtered out.
    return job && open ? 0 : 1;
}
