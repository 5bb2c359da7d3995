// The facts a caption can show, read from camera photos and checked against
// exiftool's reading of the same files.
#include "metadata/PhotoFacts.h"
#include "metadata/PhotoMetadata.h"
#include "tests/support/CollectingSink.h"
#include "tests/support/ExifBuilder.h"
#include "tests/support/OutsideReaders.h"

#include <gtest/gtest.h>

namespace ts = testing_support;

namespace {

// The facts of a file's header segments, as the open pipeline keeps them.
PhotoFacts FactsOf(const std::string& path) {
    ts::CollectingSink header;
    header.accept = false;
    JpegKeptSegments kept;
    std::string error;
    ts::DecodeRowsOf(path, header, kept, error);
    return readPhotoMetadata(std::move(kept)).facts;
}

std::string WithoutPointZero(std::string s) {
    const std::size_t at = s.find(".0");
    if (at != std::string::npos && (at + 2 == s.size() || s[at + 2] == ' '))
        s.erase(at, 2);
    return s;
}

} // namespace

TEST(PhotoFacts, CameraPhotosGiveWhatExiftoolReads) {
    LUMORA_SKIP_WITHOUT_CORPUS();
    const auto files =
        ts::Exiftool("-d '%Y-%m-%d|%H:%M' -c '%.5f' -EXIF:DateTimeOriginal -EXIF:Make -EXIF:Model "
                     "-EXIF:LensModel -EXIF:ExposureTime -EXIF:FNumber -EXIF:ISO -EXIF:FocalLength "
                     "-Composite:GPSLatitude -Composite:GPSLongitude",
                     {ts::CorpusDir() / "camera"});
    ASSERT_GT(files.size(), 50u);
    int dates = 0, cameras = 0, exposures = 0, places = 0, lenses = 0;
    for (const auto& [file, tags] : files) {
        SCOPED_TRACE(file);
        const PhotoFacts facts = FactsOf(file);
        const std::string when = ts::Tag(tags, "DateTimeOriginal");
        const std::size_t bar = when.find('|');
        if (bar != std::string::npos && when.size() == 16) {
            EXPECT_EQ(facts.date + "|" + facts.time, when);
            ++dates;
        }
        const std::string make = ts::Tag(tags, "Make");
        const std::string model = ts::Tag(tags, "Model");
        if (!model.empty()) {
            EXPECT_EQ(facts.camera, model.rfind(make, 0) == 0 ? model : make + " " + model);
            ++cameras;
        }
        lenses += !facts.lens.empty();
        EXPECT_EQ(facts.lens, ts::Tag(tags, "LensModel"));
        const std::string exposure = ts::Tag(tags, "ExposureTime");
        if (!exposure.empty() && exposure != "0") {
            // exiftool rounds 1/652.5 down through its float reading; we
            // round the exact quotient half up: the denominators may differ by 1.
            if (facts.exposure != exposure + " s" && exposure.rfind("1/", 0) == 0) {
                const int ours = std::atoi(facts.exposure.c_str() + 2);
                EXPECT_NEAR(ours, std::atoi(exposure.c_str() + 2), 1) << facts.exposure;
            } else {
                EXPECT_EQ(facts.exposure, exposure + " s");
            }
            ++exposures;
        }
        const std::string fnumber = ts::Tag(tags, "FNumber");
        if (!fnumber.empty() && fnumber != "0.0") {
            EXPECT_EQ(facts.aperture, "f/" + WithoutPointZero(fnumber));
        }
        const std::string iso = ts::Tag(tags, "ISO");
        if (!iso.empty() && iso != "0" && iso.find(' ') == std::string::npos) {
            EXPECT_EQ(facts.iso, "ISO " + iso);
        }
        const std::string focal = ts::Tag(tags, "FocalLength");
        if (!focal.empty() && focal != "0.0 mm") {
            EXPECT_EQ(facts.focal, WithoutPointZero(focal));
        }
        const std::string latitude = ts::Tag(tags, "GPSLatitude");
        const std::string longitude = ts::Tag(tags, "GPSLongitude");
        if (!latitude.empty() && !longitude.empty()) {
            const auto degrees = [](std::string s) {
                const std::size_t space = s.find(' ');
                return space == std::string::npos ? s : s.insert(space, "°");
            };
            EXPECT_EQ(facts.gps, degrees(latitude) + ", " + degrees(longitude));
            ++places;
        }
    }
    EXPECT_GE(dates, 30);
    EXPECT_GE(cameras, 40);
    EXPECT_GE(exposures, 30);
    EXPECT_GE(places, 5);
    EXPECT_GE(lenses, 1);
}

TEST(PhotoFacts, MissingDamagedAndWrongTypedValuesAreEmpty) {
    ts::TiffBuilder tiff(false);
    // A text date, a zero denominator, an aperture stored as text, a model
    // that repeats the make, a latitude without its reference.
    const std::uint32_t exifAt = 8 + 2 + 12 * 3 + 4 + 8;
    tiff.AddDirectory({{0x010F, 2, 6, ts::TiffBuilder::Text("Canon")},
                       {0x0110, 2, 10, ts::TiffBuilder::Text("Canon R5")},
                       {0x8769, 4, 1, tiff.U32(exifAt)}});
    tiff.AddDirectory({{0x9003, 2, 20, ts::TiffBuilder::Text("last summer, noon..")},
                       {0x829A, 5, 1, tiff.Rational(1, 0)},
                       {0x829D, 2, 4, ts::TiffBuilder::Text("2.8")}});
    JpegKeptSegments kept;
    const auto segment = ts::ExifSegment(tiff.Bytes());
    kept.segments.push_back({0xE1, std::vector<std::uint8_t>(segment.begin() + 4, segment.end())});
    const PhotoFacts facts = readPhotoMetadata(std::move(kept)).facts;
    EXPECT_EQ(facts.camera, "Canon R5");
    EXPECT_EQ(facts.date + facts.time + facts.exposure + facts.aperture + facts.gps, "");
    EXPECT_EQ(readPhotoMetadata(JpegKeptSegments{}).facts.camera, "");
}
