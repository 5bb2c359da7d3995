// Peak memory of one whole job (open, three captions, save with all the
// metadata carried) on a photo that a camera held on its side: a camera's
// EXIF, GPS, XMP, IPTC and ICC profile, and Orientation 6, so that the open
// turns it upright. Against the picture's size in 32-bit pixels.
//
//   lumora_tagged_job_peak          a 24-megapixel photo (6000 x 4000)
//   lumora_tagged_job_peak --big    a 108-megapixel photo (12000 x 9000)
//
// The photo is made here one row at a time, and the job runs once on a tiny
// photo with the same metadata first, so that fonts, glyphs, the metadata
// library and Qt's own state are in place. The kernel's high-water mark is
// then reset, so the peak above the resident size before the job is what the
// job itself needed. Ends with one "summary: key = value" line.
#include "bench/CaptionJob.h"
#include "bench/PeakMemory.h"
#include "bench/PhotoFixture.h"
#include "bench/Shell.h"
#include "bench/TaggedPhoto.h"

#include <QGuiApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

namespace bs = bench_support;

namespace {
constexpr int kOrientation = 6;

// A tagged photo of `width` x `height` stored pixels at `path`.
bool MakePhoto(const QString& path, int width, int height, const QTemporaryDir& scratch,
               QString& error) {
    if (!bs::WritePhotoJpeg(path.toStdString(), width, height)) {
        error = QStringLiteral("cannot write %1").arg(path);
        return false;
    }
    return bs::TagLikeCamera(path, kOrientation, scratch.path(), error);
}

// The saved copy is upright (taller than wide), says so, and carries the
// camera's metadata.
bool CheckCopy(const QString& copy) {
    std::string condition =
        "exiftool -q -q -n -if '$File:ImageHeight > $File:ImageWidth and "
        "(not $EXIF:Orientation or $EXIF:Orientation == 1) and $EXIF:Make and "
        "$EXIF:GPSLatitude and $XMP-dc:Description and $IPTC:Caption-Abstract and "
        "$ICC_Profile:ProfileDescription' -p ok ";
    condition += bs::Quoted(copy.toStdString());
    condition += " | grep -qx ok";
    return bs::Shell(condition);
}
} // namespace

int main(int argc, char** argv) {
    const bool big = argc > 1 && std::strcmp(argv[1], "--big") == 0;
    const int width = big ? 12000 : bs::kPhotoWidth;
    const int height = big ? 9000 : bs::kPhotoHeight;
    const char* key = big ? "big_job_peak_vs_picture" : "job_peak_vs_picture";

    bs::PreferOffscreenPlatform();
    QGuiApplication app(argc, argv);
    const QTemporaryDir scratch;
    if (!scratch.isValid()) {
        std::printf("cannot make a temporary folder; no measurement\n");
        return 1;
    }
    const QString photo = scratch.filePath(QStringLiteral("photo.jpg"));
    const QString tiny = scratch.filePath(QStringLiteral("tiny.jpg"));
    QString error;
    if (!MakePhoto(photo, width, height, scratch, error) ||
        !MakePhoto(tiny, 64, 48, scratch, error) ||
        !bs::RunCaptionJobKeepingMetadata(tiny, scratch.filePath(QStringLiteral("tiny-job.jpg")),
                                          error)) {
        std::printf("%s; no measurement\n", error.toUtf8().constData());
        return 1;
    }
    std::error_code ignored;
    const double pixelsMiB = double(width) * height * 4 / 1048576.0;
    std::printf("picture: %d x %d stored, Orientation %d, JPEG of %.1f MiB with a camera's "
                "metadata, %.1f MiB in 32-bit pixels\n",
                width, height, kOrientation,
                std::filesystem::file_size(photo.toStdString(), ignored) / 1048576.0, pixelsMiB);

    if (!bs::ResetPeak()) {
        std::printf("cannot reset the peak (no /proc/self/clear_refs); no measurement\n");
        return 1;
    }
    const long before = bs::StatusKiB("VmRSS:");
    const QString copy = scratch.filePath(QStringLiteral("job.jpg"));
    const bool done = bs::RunCaptionJobKeepingMetadata(photo, copy, error);
    const long peak = bs::StatusKiB("VmHWM:");
    if (!done) {
        std::printf("the job failed: %s\n", error.toUtf8().constData());
        return 1;
    }
    if (!CheckCopy(copy)) {
        std::printf("the saved copy is not upright or lacks some of the photo's metadata\n");
        return 1;
    }
    const double usedMiB = (peak - before) / 1024.0;
    std::printf("whole job      peak above start %.1f MiB; ratio %.3f of the 32-bit pixels (goal "
                "<= 4.00)\n",
                usedMiB, usedMiB / pixelsMiB);
    std::printf("summary: %s = %.3f\n", key, usedMiB / pixelsMiB);
    return 0;
}
