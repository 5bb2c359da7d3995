// The facts a caption can show, read from camera photos and checked against
// exiftool's reading of the same files.
#include "metadata/PhotoFacts.h"
#include "codec/JpegRows.h"
#include "image/LxIOFile.h"
#include "metadata/PhotoMetadata.h"
#include "tests/support/ExifBuilder.h"
#include "tests/support/TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

namespace ts = testing_support;
namespace fs = std::filesystem;

namespace {

// The header segments of a file, as the open pipeline keeps them.
PhotoMetadata MetadataOf(const fs::path& path) {
    class Ignore : public JpegRowSink {
        bool begin(const JpegFrame&, const JpegKeptSegments&) override {
            refusal = "header only";
            return false;
        }
        std::uint8_t* directRow(std::uint32_t) override { return nullptr; }
        void rows(std::uint32_t, std::uint32_t, const std::uint8_t* const*) override {}
    } sink;
    JpegKeptSegments kept;
    std::string error;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         std::fclose);
    if (file) {
        LxIOFile stream(file.get(), false);
        DecodeJpegRows(&stream, sink, kept, error, 1L << 30);
    }
    return readPhotoMetadata(std::move(kept));
}

std::string Text(const QJsonObject& tags, const char* name) {
    return tags.value(name).toVariant().toString().toStdString();
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
    const ts::CommandResult run =
        ts::Run("exiftool -j -q -q -d '%Y-%m-%d|%H:%M' -c '%.5f' -EXIF:DateTimeOriginal -EXIF:Make "
                "-EXIF:Model -EXIF:LensModel -EXIF:ExposureTime -EXIF:FNumber -EXIF:ISO "
                "-EXIF:FocalLength -Composite:GPSLatitude -Composite:GPSLongitude " +
                ts::Quote((ts::CorpusDir() / "camera").string()));
    const QJsonArray files = QJsonDocument::fromJson(QByteArray::fromStdString(run.output)).array();
    ASSERT_GT(files.size(), 50);
    int dates = 0, cameras = 0, exposures = 0, places = 0, lenses = 0;
    for (const QJsonValue& entry : files) {
        const QJsonObject tags = entry.toObject();
        const std::string file = Text(tags, "SourceFile");
        SCOPED_TRACE(file);
        const PhotoFacts facts = MetadataOf(file).facts;

        const std::string when = Text(tags, "DateTimeOriginal");
        const std::size_t bar = when.find('|');
        if (bar != std::string::npos && when.size() == 16) {
            EXPECT_EQ(facts.date + "|" + facts.time, when);
            ++dates;
        }
        const std::string make = Text(tags, "Make");
        const std::string model = Text(tags, "Model");
        if (!model.empty()) {
            EXPECT_EQ(facts.camera, model.rfind(make, 0) == 0 ? model : make + " " + model);
            ++cameras;
        }
        lenses += !facts.lens.empty();
        EXPECT_EQ(facts.lens, Text(tags, "LensModel"));
        const std::string exposure = Text(tags, "ExposureTime");
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
        const std::string fnumber = Text(tags, "FNumber");
        if (!fnumber.empty() && fnumber != "0.0") {
            EXPECT_EQ(facts.aperture, "f/" + WithoutPointZero(fnumber));
        }
        const std::string iso = Text(tags, "ISO");
        if (!iso.empty() && iso != "0" && iso.find(' ') == std::string::npos) {
            EXPECT_EQ(facts.iso, "ISO " + iso);
        }
        const std::string focal = Text(tags, "FocalLength");
        if (!focal.empty() && focal != "0.0 mm") {
            EXPECT_EQ(facts.focal, WithoutPointZero(focal));
        }
        const std::string latitude = Text(tags, "GPSLatitude");
        const std::string longitude = Text(tags, "GPSLongitude");
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
    EXPECT_EQ(facts.date, "");
    EXPECT_EQ(facts.time, "");
    EXPECT_EQ(facts.exposure, "");
    EXPECT_EQ(facts.aperture, "");
    EXPECT_EQ(facts.gps, "");
    EXPECT_EQ(readPhotoMetadata(JpegKeptSegments{}).facts.camera, "");
}
