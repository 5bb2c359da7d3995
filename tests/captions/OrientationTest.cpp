// Photos open upright by their EXIF Orientation, as viewers show them, and
// their copies say Orientation 1 (or nothing) so that viewers leave them be.
#include "pipeline/PicturePipeline.h"
#include "tests/support/ExifBuilder.h"
#include "tests/support/OutsideReaders.h"
#include "tests/support/PictureCompare.h"
#include "tests/support/QtPaths.h"
#include "tests/support/TestPhotos.h"

#include <gtest/gtest.h>

using namespace testing_support;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

namespace {
PictureDocument Opened(const fs::path& file) {
    PictureDocument document;
    EXPECT_TRUE(openPicture(document, Q(file)).ok) << file;
    return document;
}
} // namespace

TEST(Orientation, EachOfTheEightOpensUprightPixelForPixelAndSavesAsOne) {
    LUMORA_SKIP_WITHOUT_CORPUS();
    TempDir dir;
    // The upright photo, cut to whole 16-pixel blocks so that jpegtran's
    // turns and flips are exact.
    const fs::path upright = dir.file("upright.jpg");
    ASSERT_EQ(Shell("jpegtran -copy all -crop 480x352+0+0 -outfile " + Quote(upright.string()) +
                    " " + Quote((CorpusDir() / "camera/exifr_img_1771.jpg").string()))
                  .exitCode,
              0);
    const Pnm seen = Djpeg(upright);
    // What each value asks a viewer to undo, made with jpegtran.
    const char* const turns[] = {"",           "-flip horizontal", "-rotate 180", "-flip vertical",
                                 "-transpose", "-rotate 270",      "-transverse", "-rotate 90"};
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        const fs::path file = dir.file("turned" + std::to_string(orientation) + ".jpg");
        ASSERT_EQ(Shell("jpegtran -perfect -copy all " + std::string(turns[orientation - 1]) +
                        " -outfile " + Quote(file.string()) + " " + Quote(upright.string()) +
                        " && exiftool -q -overwrite_original -n -Orientation#=" +
                        std::to_string(orientation) + " " + Quote(file.string()))
                      .exitCode,
                  0);
        const PictureDocument document = Opened(file);
        // djpeg's pixels of the stored picture, turned upright...
        EXPECT_EQ(Compare(document.picture, Upright(Djpeg(file), orientation)).worst, 0);
        // ...which is the photo as it was before it was turned (jpegtran is
        // exact on the blocks; only the colour upsampling's rounding differs).
        EXPECT_LT(Compare(document.picture, seen).mean, 1.5);
        const fs::path saved = dir.file("saved" + std::to_string(orientation) + ".jpg");
        ASSERT_TRUE(savePicture(document, Q(saved)).ok);
        const std::string written = Tag(ExiftoolOf(saved, "-n -IFD0:Orientation"), "Orientation");
        EXPECT_TRUE(written == "1" || written.empty()) << written;
        EXPECT_LT(Compare(document.picture, Djpeg(saved)).mean, 3.0);
    }
}

TEST(Orientation, OddValuesAndTheThumbnailsOrientationLeaveThePictureAsStored) {
    TempDir dir;
    QImage picture(40, 24, QImage::Format_RGB32);
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 40; ++x)
            picture.setPixel(x, y, qRgb(x * 6, y * 10, 200 - x * 3));
    }
    const auto withIfd0 = [](std::uint16_t value, bool motorola) {
        TiffBuilder tiff(motorola);
        tiff.AddDirectory({{0x0112, 3, 1, tiff.U16(value)}});
        return ExifSegment(tiff.Bytes());
    };
    // IFD0 without Orientation, linked to IFD1 (the thumbnail's) with 6.
    TiffBuilder thumbnailOnly(false);
    thumbnailOnly.AddDirectory({{0x010F, 2, 4, TiffBuilder::Text("Cam")}}, 26);
    thumbnailOnly.AddDirectory({{0x0112, 3, 1, thumbnailOnly.U16(6)}});
    WriteBytes(dir.file("plain.jpg"), JpegOf(picture));
    const QImage asStored = Opened(dir.file("plain.jpg")).picture;
    ASSERT_EQ(asStored.size(), QSize(40, 24));
    for (const auto& [name, segment] :
         {std::pair{"zero", withIfd0(0, false)}, std::pair{"nine", withIfd0(9, true)},
          std::pair{"65535", withIfd0(65535, false)},
          std::pair{"thumbnail says 6", ExifSegment(thumbnailOnly.Bytes())}}) {
        SCOPED_TRACE(name);
        WriteBytes(dir.file("odd.jpg"), JpegOf(picture, {segment}));
        const PictureDocument document = Opened(dir.file("odd.jpg"));
        EXPECT_TRUE(document.picture == asStored);
        EXPECT_TRUE(savePicture(document, Q(dir.file("odd-saved.jpg"))).ok);
    }
    // And a real 6 in IFD0 turns it.
    WriteBytes(dir.file("six.jpg"), JpegOf(picture, {withIfd0(6, false)}));
    const QImage six = Opened(dir.file("six.jpg")).picture;
    EXPECT_EQ(six.size(), QSize(24, 40));
    EXPECT_EQ(six.pixel(23, 0), asStored.pixel(0, 0));
}
