// Saves that keep the photo's own blocks, on a 24-megapixel photo with three
// captions (a band above, a band below, a note on the photo): lumora caption
// as a process beside djpeg | cjpeg (the floor of a decode and encode), and
// the window's save keeping the blocks beside the same save encoding again
// at quality 90; then the size of a copy with one caption on the photo, and
// the job's peak memory. The machine is shared: the ratios, taken in one
// run, are what to compare. Ends with the summary lines.
#include "bench/CaptionJob.h"
#include "bench/Floor.h"
#include "bench/PhotoFixture.h"
#include "bench/RatioReporter.h"
#include "bench/Shell.h"

#include "captions/CaptionSetFile.h"
#include "pipeline/PicturePipeline.h"

#include <QFileInfo>
#include <QGuiApplication>

#include <benchmark/benchmark.h>
#include <cstdio>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>

namespace bs = bench_support;

namespace {
std::string gSet;

std::string JobCommand() {
    return std::string("env -u DISPLAY ") + LUMORA_PROGRAM +
           " caption --jobs 1 --overwrite --set " + bs::Quoted(gSet) + " --out " +
           bs::Quoted(QFileInfo(bs::ScratchPath("x")).path().toStdString()) + " " +
           bs::Quoted(bs::PhotoJpegPath()) + " >/dev/null";
}

PictureDocument& Captioned() {
    static PictureDocument* document = [] {
        auto* d = new PictureDocument;
        if (openPicture(*d, QString::fromStdString(bs::PhotoJpegPath()), kMaxOpenPixels, true).ok)
            bs::AddJobCaptions(*d);
        return d;
    }();
    return *document;
}

void Save(benchmark::State& state, const PictureQuality& quality) {
    const QString output = bs::ScratchPath("window.jpg");
    for (auto _ : state) {
        const PipelineResult result =
            savePicture(Captioned(), output, {MetadataChoice::KeepAll, quality, true});
        if (!result.ok || !result.note.isEmpty()) {
            state.SkipWithError("the save failed or could not keep the blocks");
            break;
        }
    }
}

void BM_KeepJob(benchmark::State& state) {
    for (auto _ : state) {
        if (!bs::Shell(JobCommand())) {
            state.SkipWithError("lumora caption failed");
            break;
        }
    }
}
void BM_DjpegCjpeg(benchmark::State& state) {
    bs::DjpegCjpeg(state, bs::PhotoJpegPath(), bs::ScratchPath("floor.jpg").toStdString());
}
void BM_SaveKeep(benchmark::State& state) {
    Save(state, PictureQuality{});
}
void BM_SaveQuality90(benchmark::State& state) {
    Save(state, PictureQuality{false, 90});
}

BENCHMARK(BM_KeepJob)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2)->Repetitions(5);
BENCHMARK(BM_DjpegCjpeg)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2)
    ->Repetitions(5);
BENCHMARK(BM_SaveKeep)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2)->Repetitions(5);
BENCHMARK(BM_SaveQuality90)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2)
    ->Repetitions(5);

// The copy's bytes over the photo's, for one caption on the photo.
double SizeRatio() {
    PictureDocument document;
    if (!openPicture(document, QString::fromStdString(bs::PhotoJpegPath())).ok)
        return -1;
    const std::vector<Caption> captions = bs::JobCaptions();
    document.captions.append(captions.back()); // the note on the photo
    const QString output = bs::ScratchPath("size.jpg");
    if (!savePicture(document, output).ok)
        return -1;
    return static_cast<double>(QFileInfo(output).size()) /
           static_cast<double>(QFileInfo(QString::fromStdString(bs::PhotoJpegPath())).size());
}

// The largest resident size of one lumora caption process, in pictures of
// 32-bit pixels: run before any other child, so the children's high-water
// mark is its own.
double JobPeak() {
    if (!bs::Shell(JobCommand()))
        return -1;
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const double picture = 4.0 * bs::kPhotoWidth * bs::kPhotoHeight;
    return static_cast<double>(usage.ru_maxrss) * 1024.0 / picture;
}
} // namespace

int main(int argc, char** argv) {
    bs::InitializeShuffled(argc, argv);
    bs::PreferOffscreenPlatform();
    QGuiApplication app(argc, argv);
    CaptionList captions;
    for (const Caption& caption : bs::JobCaptions())
        captions.append(caption);
    gSet = bs::ScratchPath("job.lumora-captions.json").toStdString();
    if (!writeCaptionSet(captions, QString::fromStdString(gSet)).isEmpty()) {
        std::fprintf(stderr, "no measurement: the caption set cannot be written\n");
        return 1;
    }
    bs::PhotoJpegPath();
    const double peak = JobPeak();
    const double size = SizeRatio();
    bs::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto job = reporter.Ratio("BM_KeepJob", "BM_DjpegCjpeg");
    const auto save = reporter.Ratio("BM_SaveKeep", "BM_SaveQuality90");
    if (job)
        std::printf("summary: lossless_job_vs_floor = %.3f\n", *job);
    if (save)
        std::printf("summary: lossless_save_vs_reencode = %.3f\n", *save);
    std::printf("summary: lossless_size_vs_source = %.4f\n", size);
    std::printf("summary: lossless_job_peak_vs_picture = %.3f\n", peak);
    benchmark::Shutdown();
    return job && save && size > 0 && peak > 0 ? 0 : 1;
}
