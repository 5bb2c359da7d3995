// Photos open upright by their EXIF Orientation, as viewers show them, and
// their copies say Orientation 1 (or nothing) so that viewers leave them be.
#include "pipeline/PicturePipeline.h"
#include "tests/support/ExifBuilder.h"
#include "tests/support/QtPaths.h"
#include "tests/support/TestPhotos.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace testing_support;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

namespace {

Pnm Djpeg(const fs::path& file) {
    const CommandResult run = testing_support::Run("djpeg -pnm " + Quote(file.string()));
    Pnm pnm;
    EXPECT_TRUE(ParsePnm(Bytes(run.output.begin(), run.output.end()), pnm)) << file;
    return pnm;
}

// Largest difference of any sample between the document's picture and a
// decoded picture, and the mean difference.
std::pair<int, double> Difference(const QImage& picture, const Pnm& pnm) {
    if (picture.width() != pnm.width || picture.height() != pnm.height)
        return {256, 256.0};
    int worst = 0;
    double sum = 0;
    for (int y = 0; y < pnm.height; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
        for (int x = 0; x < pnm.width; ++x) {
            const std::uint8_t* s = &pnm.samples[(std::size_t(y) * pnm.width + x) * 3];
            for (const int d : {std::abs(qRed(row[x]) - s[0]), std::abs(qGreen(row[x]) - s[1]),
                                std::abs(qBlue(row[x]) - s[2])}) {
                worst = std::max(worst, d);
                sum += d;
            }
        }
    }
    return {worst, sum / (3.0 * pnm.width * pnm.height)};
}

std::string ExiftoolOrientation(const fs::path& file) {
    std::string out =
        testing_support::Run("exiftool -s3 -n -IFD0:Orientation " + Quote(file.string())).output;
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    return out;
}

// A small photo stored as it came from the camera, with an EXIF block of
// the given directories.
Bytes PhotoWithExif(const Bytes& exifSegment) {
    QImage picture(40, 24, QImage::Format_RGB32);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 40; ++x)
            picture.setPixel(x, y, qRgb(x * 6, y * 10, 200 - x * 3));
    return JpegOf(picture, {exifSegment});
}

} // namespace

TEST(Orientation, EachOfTheEightOpensUprightPixelForPixelAndSavesAsOne) {
    LUMORA_SKIP_WITHOUT_CORPUS();
    TempDir dir;
    // The upright photo, cut to whole 16-pixel blocks so that jpegtran's
    // turns and flips are exact.
    const fs::path upright = dir.file("upright.jpg");
    ASSERT_EQ(testing_support::Run("jpegtran -copy all -crop 480x352+0+0 -outfile " +
                                   Quote(upright.string()) + " " +
                                   Quote((CorpusDir() / "camera/exifr_img_1771.jpg").string()))
                  .exitCode,
              0);
    const Pnm seen = Djpeg(upright);
    // What each value asks a viewer to undo, made with jpegtran.
    const std::vector<std::pair<int, std::string>> stored = {
        {1, ""},           {2, "-flip horizontal"}, {3, "-rotate 180"}, {4, "-flip vertical"},
        {5, "-transpose"}, {6, "-rotate 270"},      {7, "-transverse"}, {8, "-rotate 90"}};
    for (const auto& [orientation, turn] : stored) {
        SCOPED_TRACE(orientation);
        const fs::path file = dir.file("turned" + std::to_string(orientation) + ".jpg");
        ASSERT_EQ(testing_support::Run("jpegtran -perfect -copy all " + turn + " -outfile " +
                                       Quote(file.string()) + " " + Quote(upright.string()))
                      .exitCode,
                  0);
        ASSERT_EQ(testing_support::Run("exiftool -q -overwrite_original -n -Orientation#=" +
                                       std::to_string(orientation) + " " + Quote(file.string()))
                      .exitCode,
                  0);
        PictureDocument document;
        ASSERT_TRUE(openPicture(document, Q(file)).ok);
        // djpeg's pixels of the stored picture, turned upright...
        EXPECT_EQ(Difference(document.picture, Upright(Djpeg(file), orientation)).first, 0);
        // ...which is the photo as it was before it was turned (jpegtran is
        // exact on the blocks; only the colour upsampling's rounding differs).
        EXPECT_LT(Difference(document.picture, seen).second, 1.5);
        EXPECT_EQ(QSize(int(document.width()), int(document.height())), QSize(480, 352));
        EXPECT_EQ(document.picture.size(), QSize(480, 352));

        const fs::path saved = dir.file("saved" + std::to_string(orientation) + ".jpg");
        ASSERT_TRUE(savePicture(document, Q(saved)).ok);
        const std::string written = ExiftoolOrientation(saved);
        EXPECT_TRUE(written == "1" || written.empty()) << written;
        EXPECT_LT(Difference(document.picture, Djpeg(saved)).second, 3.0);
    }
}

TEST(Orientation, OutsideOrientationSamplesLookAlikeOnceUpright) {
    LUMORA_SKIP_WITHOUT_CORPUS();
    // Photos of one scene stored in different orientations, from elsewhere.
    for (const std::string kind : {"Landscape", "Portrait"}) {
        PictureDocument reference;
        ASSERT_TRUE(openPicture(reference, Q(CorpusDir() / "special" /
                                             ("rec_" + kind + "_" +
                                              (kind == "Landscape" ? "0" : "1") + ".jpg")))
                        .ok);
        const std::vector<std::string> stored =
            kind == "Landscape" ? std::vector<std::string>{"2", "3", "5", "6", "8"}
                                : std::vector<std::string>{"2", "5", "6", "7", "8"};
        for (const std::string& n : stored) {
            SCOPED_TRACE(kind + n);
            PictureDocument turned;
            ASSERT_TRUE(
                openPicture(turned, Q(CorpusDir() / "special" / ("rec_" + kind + "_" + n + ".jpg")))
                    .ok);
            ASSERT_EQ(turned.picture.size(), reference.picture.size());
            double sum = 0;
            for (int y = 0; y < turned.picture.height(); y += 7) {
                for (int x = 0; x < turned.picture.width(); x += 7) {
                    sum += std::abs(qGray(turned.picture.pixel(x, y)) -
                                    qGray(reference.picture.pixel(x, y)));
                }
            }
            const double samples =
                std::ceil(turned.picture.height() / 7.0) * std::ceil(turned.picture.width() / 7.0);
            EXPECT_LT(sum / samples, 12.0);
        }
    }
}

TEST(Orientation, OddValuesAndTheThumbnailsOrientationLeaveThePictureAsStored) {
    TempDir dir;
    const QImage asStored = [&] {
        WriteBytes(dir.file("plain.jpg"), PhotoWithExif({}));
        PictureDocument document;
        EXPECT_TRUE(openPicture(document, Q(dir.file("plain.jpg"))).ok);
        return document.picture;
    }();
    ASSERT_EQ(asStored.size(), QSize(40, 24));
    const auto withIfd0 = [](std::uint16_t value, bool motorola) {
        TiffBuilder tiff(motorola);
        tiff.AddDirectory({{0x0112, 3, 1, tiff.U16(value)}});
        return ExifSegment(tiff.Bytes());
    };
    TiffBuilder thumbnailOnly(false);
    // IFD0 without Orientation, linked to IFD1 (the thumbnail's) with 6.
    thumbnailOnly.AddDirectory({{0x010F, 2, 4, TiffBuilder::Text("Cam")}}, 26);
    thumbnailOnly.AddDirectory({{0x0112, 3, 1, thumbnailOnly.U16(6)}});
    const std::vector<std::pair<std::string, Bytes>> cases = {
        {"zero", withIfd0(0, false)},
        {"nine", withIfd0(9, true)},
        {"65535", withIfd0(65535, false)},
        {"thumbnail says 6", ExifSegment(thumbnailOnly.Bytes())},
    };
    for (const auto& [name, segment] : cases) {
        SCOPED_TRACE(name);
        WriteBytes(dir.file("odd.jpg"), PhotoWithExif(segment));
        PictureDocument document;
        ASSERT_TRUE(openPicture(document, Q(dir.file("odd.jpg"))).ok);
        EXPECT_TRUE(document.picture == asStored);
        const PipelineResult saved = savePicture(document, Q(dir.file("odd-saved.jpg")));
        EXPECT_TRUE(saved.ok);
    }
    // And a real 6 in IFD0 turns it.
    WriteBytes(dir.file("six.jpg"), PhotoWithExif(withIfd0(6, false)));
    PictureDocument six;
    ASSERT_TRUE(openPicture(six, Q(dir.file("six.jpg"))).ok);
    EXPECT_EQ(six.picture.size(), QSize(24, 40));
    EXPECT_EQ(six.picture.pixel(23, 0), asStored.pixel(0, 0));
}
