// `lumora caption` over 20 photos of 12 megapixels with a set of three
// captions (a top band with {date}, a bottom band credit, a boxed caption on
// the photo), with one job and with two, beside the floor (djpeg | cjpeg per
// photo) and ImageMagick's convert per photo doing the same captions with
// its own threads. Each run is a separate process, timed on the wall clock,
// with its peak memory from the kernel. The four runs take turns, three
// rounds of them, each round starting one run later than the one before, and
// each is reported by its median. The photos carry a camera's metadata,
// the date taken among it, tagged once before they are copied; ImageMagick is
// handed that date read once with exiftool, so that its timed work is one
// convert per photo. Ends with the summary lines.
#include "bench/PhotoFixture.h"
#include "bench/Shell.h"
#include "bench/TaggedPhoto.h"

#include <QString>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace bs = bench_support;
namespace fs = std::filesystem;

namespace {

constexpr int kPhotos = 20;
constexpr int kWidth = 4240;
constexpr int kHeight = 2832;                            // 12 megapixels
constexpr double kPictureBytes = 4.0 * kWidth * kHeight; // 32-bit pixels
constexpr int kRounds = 3;

constexpr char kSet[] = R"({ "format": "lumora-captions", "version": 1,
  "captions": [
    { "text": "Harbour festival {date}", "disposition": "top-band",
      "horizontalAlignment": "center",
      "font": { "family": "DejaVu Sans", "size": 4, "sizeUnit": "percent", "bold": true },
      "textColor": "#FFFFFF", "backgroundColor": "#203040" },
    { "text": "Photo: A. Person, all rights reserved", "disposition": "bottom-band",
      "horizontalAlignment": "right",
      "font": { "family": "DejaVu Sans", "size": 2, "sizeUnit": "percent" },
      "textColor": "#FFFFFF", "backgroundColor": "#000000" },
    { "text": "On the quay at dawn", "verticalAlignment": "bottom",
      "font": { "family": "DejaVu Sans", "size": 3, "sizeUnit": "percent" },
      "textColor": "#FFFFFF", "margins": { "left": 60, "top": 0, "right": 0, "bottom": 60 },
      "box": { "enabled": true, "color": "#000000", "opacity": 50, "padding": 16 } } ] })";

struct Timed {
    double seconds = 0;
    long peakKiB = 0; // the largest child's resident peak
    bool ok = true;
};

// Runs shell commands one after another, each a child of its own, timing
// them all and keeping the largest resident peak.
Timed RunAll(const std::vector<std::string>& commands) {
    Timed timed;
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& command : commands) {
        const pid_t child = ::fork();
        if (child == 0) {
            ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        rusage usage{};
        ::wait4(child, &status, 0, &usage);
        timed.ok = timed.ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
        timed.peakKiB = std::max(timed.peakKiB, usage.ru_maxrss);
    }
    timed.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return timed;
}

// The median time of the samples, with the largest peak of them all; ok
// when every one was.
Timed Median(std::vector<Timed> samples) {
    Timed median;
    for (const Timed& sample : samples) {
        median.peakKiB = std::max(median.peakKiB, sample.peakKiB);
        median.ok = median.ok && sample.ok;
    }
    std::sort(samples.begin(), samples.end(),
              [](const Timed& a, const Timed& b) { return a.seconds < b.seconds; });
    median.seconds = samples[samples.size() / 2].seconds;
    return median;
}

// What a command writes to its standard output, without the line end;
// empty when it fails.
std::string Output(const std::string& command) {
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        return {};
    }
    std::string output;
    char buffer[256];
    while (const std::size_t read = std::fread(buffer, 1, sizeof buffer, pipe)) {
        output.append(buffer, read);
    }
    if (::pclose(pipe) != 0) {
        return {};
    }
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) {
        output.pop_back();
    }
    return output;
}

// The peak is shown for our runs only: a pipeline's peak would be the
// shell's, not its programs'.
void Report(const char* name, const Timed& timed, bool peak) {
    std::printf("%-28s %7.2f s  %6.2f photos/s", name, timed.seconds, kPhotos / timed.seconds);
    if (peak)
        std::printf("  peak %6.0f MB", timed.peakKiB / 1024.0);
    std::printf("%s\n", timed.ok ? "" : "  (FAILED)");
}

// A folder removed with everything in it when main returns, on any path.
struct Scratch {
    fs::path path;
    ~Scratch() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

} // namespace

int main() {
    const Scratch scratch{fs::temp_directory_path() /
                          ("lumora-batch-" + std::to_string(::getpid()))};
    const fs::path& root = scratch.path;
    fs::remove_all(root);
    fs::create_directories(root / "in");
    const fs::path first = root / "in" / "photo00.jpg";
    if (!bs::WritePhotoJpeg(first.string(), kWidth, kHeight)) {
        std::fprintf(stderr, "could not write the bench photo\n");
        return 1;
    }
    QString error;
    if (!bs::TagLikeCamera(QString::fromStdString(first.string()), 1,
                           QString::fromStdString(root.string()), error)) {
        std::fprintf(stderr, "%s\n", error.toLocal8Bit().constData());
        return 1;
    }
    // The date as {date} shows it, YYYY-MM-DD.
    const std::string date =
        Output("exiftool -s3 -d '%Y-%m-%d' -DateTimeOriginal " + bs::Quoted(first));
    if (date.empty()) {
        std::fprintf(stderr, "could not read the date the bench photo was taken\n");
        return 1;
    }
    std::vector<fs::path> photos{first};
    for (int i = 1; i < kPhotos; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "photo%02d.jpg", i);
        std::error_code copied;
        if (!fs::copy_file(first, root / "in" / name, copied)) {
            std::fprintf(stderr, "could not copy the bench photo: %s\n", copied.message().c_str());
            return 1;
        }
        photos.push_back(root / "in" / name);
    }
    std::ofstream(root / "set.lumora-captions.json") << kSet;
    for (const char* folder : {"jobs1", "jobs2", "floor", "magick"})
        fs::create_directories(root / folder);

    const std::string lumora = std::string("env -u DISPLAY ") + LUMORA_PROGRAM + " caption --set " +
                               bs::Quoted(root / "set.lumora-captions.json") +
                               " --overwrite --out ";
    const std::vector<std::string> jobs1{lumora + bs::Quoted(root / "jobs1") + " --jobs 1 " +
                                         bs::Quoted(root / "in") + " >/dev/null 2>&1"};
    const std::vector<std::string> jobs2{lumora + bs::Quoted(root / "jobs2") + " --jobs 2 " +
                                         bs::Quoted(root / "in") + " >/dev/null 2>&1"};
    std::vector<std::string> floor;
    std::vector<std::string> magick;
    for (const fs::path& photo : photos) {
        const fs::path name = photo.filename();
        floor.push_back(bs::DjpegCjpegCommand(photo, root / "floor" / name));
        magick.push_back(
            "convert " + bs::Quoted(photo) +
            " -background '#203040' -gravity north -splice 0x136"
            " -background black -gravity south -splice 0x68"
            " -font DejaVu-Sans-Bold -pointsize 113 -fill white -gravity north -annotate +0+8"
            " 'Harbour festival " +
            date +
            "'"
            " -font DejaVu-Sans -pointsize 57 -gravity southeast -annotate +0+4"
            " 'Photo: A. Person, all rights reserved'"
            " -fill '#00000080' -draw 'rectangle 44,2560 1000,2772'"
            " -pointsize 85 -fill white -gravity southwest -annotate +60+196 'On the quay at dawn'"
            " -quality 90 -sampling-factor 2x2 " +
            bs::Quoted(root / "magick" / name));
    }

    // In turns, so that a slow spell of the shared machine falls on all runs
    // alike rather than on one.
    const std::vector<std::string>* runs[] = {&jobs1, &jobs2, &floor, &magick};
    constexpr int kRuns = std::size(runs);
    std::vector<Timed> samples[kRuns];
    for (int round = 0; round < kRounds; ++round) {
        for (int turn = 0; turn < kRuns; ++turn) {
            const int run = (round + turn) % kRuns;
            samples[run].push_back(RunAll(*runs[run]));
        }
    }
    const Timed jobs1Run = Median(samples[0]);
    const Timed jobs2Run = Median(samples[1]);
    const Timed floorRun = Median(samples[2]);
    const Timed magickRun = Median(samples[3]);

    std::printf("%d photos of %d x %d, three captions; medians of %d rounds\n", kPhotos, kWidth,
                kHeight, kRounds);
    Report("lumora caption --jobs 1", jobs1Run, true);
    Report("lumora caption --jobs 2", jobs2Run, true);
    Report("djpeg | cjpeg per photo", floorRun, false);
    Report("ImageMagick convert", magickRun, false);
    std::printf("peak memory: --jobs 1 %.2f pictures, --jobs 2 %.2f pictures per job "
                "(a picture: %.0f MB in 32-bit pixels; goal <= 4)\n",
                jobs1Run.peakKiB * 1024.0 / kPictureBytes,
                jobs2Run.peakKiB * 1024.0 / kPictureBytes / 2, kPictureBytes / (1 << 20));
    std::printf("summary: batch_jobs1_vs_floor = %.2f\n", jobs1Run.seconds / floorRun.seconds);
    std::printf("summary: batch_jobs2_vs_jobs1 = %.2f\n", jobs1Run.seconds / jobs2Run.seconds);
    std::printf("summary: batch_vs_imagemagick = %.2f\n", magickRun.seconds / jobs2Run.seconds);
    std::printf("summary: batch_peak_per_job_pictures = %.2f\n",
                std::max(jobs1Run.peakKiB * 1024.0 / kPictureBytes,
                         jobs2Run.peakKiB * 1024.0 / kPictureBytes / 2));
    return jobs1Run.ok && jobs2Run.ok && floorRun.ok && magickRun.ok ? 0 : 1;
}
