// The facts a caption can show, read from camera photos and checked against
// exiftool's reading of the same files.
#include "metadata/PhotoFacts.h"
#include "metadata/PhotoMetadata.h"
#include "metadata/TextEncoding.h"
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

// Text taken for UTF-8 is carried as it is; anything else is converted.
TEST(TextEncoding, OnlyWellFormedUtf8IsTakenForUtf8AndWindows1252BecomesUtf8) {
    EXPECT_TRUE(isUtf8("\xC3\x87"
                       "a va \xE2\x9C\x93 \xE6\xB8\xAF \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF"));
    // Overlong, a surrogate, above U+10FFFF, Latin-1, a lone continuation, cut short.
    for (const char* bad :
         {"\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "caf\xE9", "\x80", "\xE2\x9C"})
        EXPECT_FALSE(isUtf8(bad)) << testing::PrintToString(bad);
    bool truncated = false;
    EXPECT_EQ(utf8SequenceAt("a\xE2\x9C", 1, truncated), 0);
    EXPECT_TRUE(truncated);
    EXPECT_EQ(utf8SequenceAt("a\xE2\x9C\x93", 1, truncated), 3);
    EXPECT_FALSE(truncated);
    EXPECT_EQ(windows1252ToUtf8("\x93Joe\x92s\x94 caf\xE9 \x80"
                                "5\x81\xFF"),
              "\xE2\x80\x9CJoe\xE2\x80\x99s\xE2\x80\x9D caf\xC3\xA9 \xE2\x82\xAC"
              "5\xC2\x81\xC3\xBF");
    EXPECT_TRUE(isUtf8(windows1252ToUtf8(std::string("\x00\x7F\x80\x9F\xA0\xFF", 6))));
}
