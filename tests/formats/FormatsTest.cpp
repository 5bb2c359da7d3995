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
QJsonObject Exiftool(const fs::path& file, const std::string& options) {
    const CommandResult run = Run("exiftool -j -q -q " + options + " " + Quote(file.string()));
    const QJsonArray all = QJsonDocument::fromJson(QByteArray::fromStdString(run.output)).array();
    return all.isEmpty() ? QJsonObject() : all.first().toObject();
}

std::string Tag(const QJsonObject& tags, const char* name) {
    return tags.value(name).toVariant().toString().toStdString();
}

} // namespace

// pil_icc_profile.avif is not among them: heif-convert cannot write its
// profile into a PNG (libpng refuses it) and so gives no reference.
TEST(OtherFormats, OpenedPictureMatchesOutsideDecoderUpright) {
    LUMORA_SKIP_WITHOUT_CORPUS();
    const char* const files[] = {
        "mei_IMG_1034.heic",
        "mei_IMG_2927.HEIC",
        "mei_cheers_1440x960.heic",
        "pil_hopper.heif",
        "mei_Issue_487.heic",
        "pil_rot0mir0.avif",
        "pil_rot0mir1.avif",
        "pil_rot1mir0.avif",
        "pil_rot1mir1.avif",
        "pil_rot2mir0.avif",
        "pil_rot2mir1.avif",
        "pil_rot3mir0.avif",
        "pil_rot3mir1.avif",
        "pil_transparency.avif",
        "pil_exif.png",
        "pil_exif_imagemagick_orientation.png",
        "pil_mode_16bit.png",
        "etool_PNG.png",
        "pil_16bit.cropped.tif",
        "pil_g4_orientation_1.tif",
        "pil_g4_orientation_3.tif",
        "pil_g4_orientation_6.tif",
        "pil_g4_orientation_8.tif",
        "pil_hopper.iccprofile.tif",
        "pil_flower.webp",
        "pil_hopper.webp",
    };
    TempDir dir;
    for (const char* name : files) {
        SCOPED_TRACE(name);
        PictureDocument document;
        const PipelineResult opened = openPicture(document, Path(FormatsDir() / name));
        ASSERT_TRUE(opened.ok) << opened.message.toStdString();
        const fs::path reference = dir.file("reference.ppm");
        ASSERT_EQ(testing_support::Run("/usr/bin/python3 " +
                                       Quote(LUMORA_TESTS_DIR "/formats/reference-picture.py") +
                                       " " + Quote((FormatsDir() / name).string()) + " " +
                                       Quote(reference.string()))
                      .exitCode,
                  0);
        Pnm expected;
        ASSERT_TRUE(ParsePnm(ReadBytes(reference), expected));
        EXPECT_GE(Psnr(document.picture, expected), 40.0)
            << document.picture.width() << " x " << document.picture.height() << " against "
            << expected.width << " x " << expected.height;
    }
}

// A photo of each format saved as a JPEG copy: djpeg decodes it, exiftool
// reads from it what it reads from the source (camera, date, position,
// the colour profile's description), the picture is upright with no
// Orientation left to apply, and colour is sampled as the format asks.
TEST(OtherFormats, SavedCopyDecodesAndCarriesWhatExiftoolReadsFromTheSource) {
    LUMORA_SKIP_WITHOUT_CORPUS();
    struct Row {
        const char* name;
        const char* sampling; // exiftool's YCbCrSubSampling of the copy
    };
    const Row rows[] = {
        {"mei_IMG_1034.heic", "2 2"},
        {"mei_IMG_2927.HEIC", "2 2"},
        {"mei_exif-at-eof.heic", "2 2"},
        {"mei_Issue_487.heic", "2 2"},
        {"mei_Issue_649.avif", "2 2"},
        {"pil_exif.avif", "2 2"},
        {"pil_icc_profile.avif", "2 2"},
        {"pil_exif.png", "1 1"},
        {"pil_exif_imagemagick_orientation.png", "1 1"},
        {"exv2_1343_exif.png", "1 1"},
        {"pil_flower.webp", "2 2"},
        {"etool_ExifTool.tif", "1 1"},
        {"pil_hopper.iccprofile.tif", "1 1"},
        {"pil_g4_orientation_6.tif", "1 1"},
        {"flower-lossless.webp", "1 1"},
    };
    TempDir dir;
    // A lossless WebP with the flower's EXIF, made by Pillow.
    ASSERT_EQ(testing_support::Run(
                  "/usr/bin/python3 -c 'import sys; from PIL import Image; "
                  "im = Image.open(sys.argv[1]); "
                  "im.save(sys.argv[2], \"WEBP\", lossless=True, exif=im.info[\"exif\"])' " +
                  Quote((FormatsDir() / "pil_flower.webp").string()) + " " +
                  Quote(dir.file("flower-lossless.webp").string()))
                  .exitCode,
              0);
    const char* const carried[] = {"Make",        "Model",        "DateTimeOriginal",
                                   "GPSLatitude", "GPSLongitude", "ProfileDescription"};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const fs::path source =
            fs::exists(FormatsDir() / row.name) ? FormatsDir() / row.name : dir.file(row.name);
        PictureDocument document;
        ASSERT_TRUE(openPicture(document, Path(source)).ok);
        const fs::path copy = dir.file(std::string(row.name) + "-captioned.jpg");
        const PipelineResult saved = savePicture(document, Path(copy));
        ASSERT_TRUE(saved.ok) << saved.message.toStdString();
        EXPECT_TRUE(saved.note.isEmpty()) << saved.note.toStdString();

        const CommandResult djpeg = testing_support::Run("djpeg " + Quote(copy.string()));
        Pnm decoded;
        ASSERT_EQ(djpeg.exitCode, 0);
        ASSERT_TRUE(
            ParsePnm(std::vector<std::uint8_t>(djpeg.output.begin(), djpeg.output.end()), decoded));
        EXPECT_EQ(decoded.width, document.picture.width());
        EXPECT_EQ(decoded.height, document.picture.height());

        const QJsonObject before = Exiftool(source, "-n");
        const QJsonObject after = Exiftool(copy, "-n");
        for (const char* tag : carried)
            EXPECT_EQ(Tag(after, tag), Tag(before, tag)) << tag;
        const std::string orientation = Tag(after, "Orientation");
        EXPECT_TRUE(orientation.empty() || orientation == "1") << orientation;
        EXPECT_EQ(Tag(after, "YCbCrSubSampling"), row.sampling);
    }
}
