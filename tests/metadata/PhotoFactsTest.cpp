// The facts a caption can show, read from camera photos and checked against
// exiftool's reading of the same files.
#include "metadata/PhotoFacts.h"
#include "metadata/PhotoMetadata.h"
#include "tests/support/CollectingSink.h"
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
    const auto degrees = [](std::string s) {
        const std::size_t space = s.find(' ');
        return space == std::string::npos ? s : s.insert(space, "°");
    };
    for (const auto& [file, tags] : files) {
        SCOPED_TRACE(file);
        const PhotoFacts facts = FactsOf(file);
        const auto tag = [&tags = tags](const char* name) { return ts::Tag(tags, name); };
        if (const std::string when = tag("DateTimeOriginal");
            when.size() == 16 && when[10] == '|') {
            EXPECT_EQ(facts.date + "|" + facts.time, when);
            ++dates;
        }
        const std::string make = tag("Make"), model = tag("Model");
        if (!model.empty()) {
            EXPECT_EQ(facts.camera, model.rfind(make, 0) == 0 ? model : make + " " + model);
            ++cameras;
        }
        lenses += !facts.lens.empty();
        EXPECT_EQ(facts.lens, tag("LensModel"));
        if (const std::string exposure = tag("ExposureTime");
            !exposure.empty() && exposure != "0") {
            // exiftool rounds 1/652.5 down through its float reading; we
            // round the exact quotient half up: the denominators may differ by 1.
            if (facts.exposure != exposure + " s" && exposure.rfind("1/", 0) == 0) {
                EXPECT_NEAR(std::atoi(facts.exposure.c_str() + 2), std::atoi(exposure.c_str() + 2),
                            1);
            } else {
                EXPECT_EQ(facts.exposure, exposure + " s");
            }
            ++exposures;
        }
        if (const std::string fnumber = tag("FNumber"); !fnumber.empty() && fnumber != "0.0") {
            EXPECT_EQ(facts.aperture, "f/" + WithoutPointZero(fnumber));
        }
        if (const std::string iso = tag("ISO");
            !iso.empty() && iso != "0" && iso.find(' ') == std::string::npos) {
            EXPECT_EQ(facts.iso, "ISO " + iso);
        }
        if (const std::string focal = tag("FocalLength"); !focal.empty() && focal != "0.0 mm") {
            EXPECT_EQ(facts.focal, WithoutPointZero(focal));
        }
        const std::string latitude = tag("GPSLatitude"), longitude = tag("GPSLongitude");
        if (!latitude.empty() && !longitude.empty()) {
            EXPECT_EQ(facts.gps, degrees(latitude) + ", " + degrees(longitude));
            ++places;
        }
    }
    EXPECT_TRUE(dates >= 30 && cameras >= 40 && exposures >= 30 && places >= 5 && lenses >= 1)
        << dates << " " << cameras << " " << exposures << " " << places << " " << lenses;
}
