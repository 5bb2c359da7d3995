// Peak memory of one whole job (open a 24-megapixel JPEG, add three
// captions, save) against the picture's size in 32-bit pixels. The job runs
// once on a tiny picture first, so that fonts, glyphs and Qt's own state are
// in place and the peak measured after the reset is the big picture's.
#include "bench/CaptionJob.h"
#include "bench/PeakMemory.h"
#include "bench/PhotoFixture.h"

#include <QGuiApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <filesystem>
#include <string>

namespace bs = bench_support;

namespace {
bool WarmUp(const QTemporaryDir& scratch) {
    PictureDocument tiny;
    tiny.picture = QImage(64, 48, QImage::Format_RGB32);
    tiny.picture.fill(Qt::gray);
    bs::AddJobCaptions(tiny);
    const QString path = scratch.filePath(QStringLiteral("tiny.jpg"));
    return savePicture(tiny, path).ok &&
           bs::RunCaptionJob(path, scratch.filePath(QStringLiteral("tiny-job.jpg"))).ok;
}
} // namespace

int main(int argc, char** argv) {
    bs::PreferOffscreenPlatform();
    QGuiApplication app(argc, argv);
    const QTemporaryDir scratch;
    const std::string path = bs::PhotoJpegPath();
    if (!scratch.isValid() || !WarmUp(scratch)) {
        std::printf("the warm-up job on a tiny picture failed; no measurement\n");
        return 1;
    }
    std::error_code ignored;
    const double pixelsMiB = double(bs::kPhotoWidth) * bs::kPhotoHeight * 4 / 1048576.0;
    std::printf("picture: %d x %d, JPEG of %.1f MiB, %.1f MiB in 32-bit pixels\n", bs::kPhotoWidth,
                bs::kPhotoHeight, std::filesystem::file_size(path, ignored) / 1048576.0, pixelsMiB);

    if (!bs::ResetPeak()) {
        std::printf("cannot reset the peak (no /proc/self/clear_refs); no measurement\n");
        return 1;
    }
    const long before = bs::StatusKiB("VmRSS:");
    const PipelineResult result = bs::RunCaptionJob(QString::fromStdString(path),
                                                    scratch.filePath(QStringLiteral("job.jpg")));
    const long peak = bs::StatusKiB("VmHWM:");
    if (!result.ok) {
        std::printf("the job failed: %s\n", result.message.toUtf8().constData());
        return 1;
    }
    const double usedMiB = (peak - before) / 1024.0;
    std::printf("whole job      peak above start %.1f MiB; ratio %.3f of the 32-bit pixels (goal "
                "<= 4.00)\n",
                usedMiB, usedMiB / pixelsMiB);
    std::remove(path.c_str());
    return 0;
}
