// The source photo's metadata in the saved copy, as outside readers see it.
#include "pipeline/PicturePipeline.h"
#include "tests/support/ExifBuilder.h"
#include "tests/support/OutsideReaders.h"
#include "tests/support/QtPaths.h"
#include "tests/support/TestPhotos.h"

#include <gtest/gtest.h>

#include <array>

using namespace testing_support;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

namespace {

// A small photo with these segments after its JFIF header.
Bytes PhotoWith(const std::vector<Bytes>& segments) {
    QImage picture(48, 32, QImage::Format_RGB32);
    picture.fill(qRgb(90, 140, 200));
    return JpegOf(picture, segments);
}

Bytes IccPart(int number, int count, const Bytes& part) {
    Bytes payload = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};
    payload.push_back(static_cast<std::uint8_t>(number));
    payload.push_back(static_cast<std::uint8_t>(count));
    payload.insert(payload.end(), part.begin(), part.end());
    return Segment(0xE2, payload);
}

bool Contains(const Bytes& bytes, const Bytes& part) {
    return std::search(bytes.begin(), bytes.end(), part.begin(), part.end()) != bytes.end();
}

} // namespace

TEST(Metadata, CameraPhotosKeepTheirFieldsProfileAndDescriptionsForOutsideReaders) {
    LUMORA_SKIP_WITHOUT_CORPUS();
    TempDir dir;
    std::vector<fs::path> sources;
    for (const auto& entry : fs::directory_iterator(CorpusDir() / "camera"))
        sources.push_back(entry.path());
    std::sort(sources.begin(), sources.end());
    std::vector<std::array<std::string, 3>> saves; // source, copy, saved description
    std::vector<fs::path> all;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        SCOPED_TRACE(sources[i].string());
        PictureDocument document;
        ASSERT_TRUE(openPicture(document, Q(sources[i])).ok);
        document.description = i % 2 == 0 ? QStringLiteral("Harbour at dawn, 6:40")
                                          : QStringLiteral("Hafen im Morgengrauen – Ça va ✓ 港");
        const fs::path copy = dir.file(std::to_string(i) + ".jpg");
        const PipelineResult saved = savePicture(document, Q(copy));
        // A damaged part left out alone keeps the rest (the camera fields).
        EXPECT_TRUE(saved.ok && !saved.note.contains(QStringLiteral("metadata was left out")));
        saves.push_back({sources[i].string(), copy.string(), document.description.toStdString()});
        all.insert(all.end(), {sources[i], copy});
    }
    ASSERT_GT(saves.size(), 50u);
    const auto tags =
        Exiftool("-n -EXIF:Make -EXIF:Model -EXIF:DateTimeOriginal -EXIF:ExposureTime "
                 "-EXIF:FNumber -EXIF:ISO -EXIF:GPSLatitude -EXIF:GPSLongitude "
                 "-IFD0:ImageDescription -XMP-dc:Description -IPTC:Caption-Abstract "
                 "-XMP:XMPToolkit -IPTC:CodedCharacterSet -EXIF:ExifImageWidth "
                 "-EXIF:ExifImageHeight -File:ImageWidth -File:ImageHeight -validate -error",
                 all);
    const auto profiles = Exiftool("-b -ICC_Profile", all);
    int withProfile = 0, withXmp = 0, withIptc = 0, withSize = 0;
    for (const auto& [source, copy, text] : saves) {
        SCOPED_TRACE(source);
        const QJsonObject& before = tags.at(source);
        const QJsonObject& after = tags.at(copy);
        // The EXIF fields a photographer keeps a photo for.
        for (const char* field : {"Make", "Model", "DateTimeOriginal", "ExposureTime", "FNumber",
                                  "ISO", "GPSLatitude", "GPSLongitude"})
            EXPECT_EQ(Tag(after, field), Tag(before, field)) << field;
        const std::string profile = Tag(profiles.at(source), "ICC_Profile");
        EXPECT_EQ(Tag(profiles.at(copy), "ICC_Profile"), profile);
        withProfile += !profile.empty();
        const bool xmp = before.contains("XMPToolkit") || before.contains("Description");
        const bool iptc =
            before.contains("Caption-Abstract") || before.contains("CodedCharacterSet");
        EXPECT_EQ(Tag(after, "ImageDescription") + "|" + (xmp ? Tag(after, "Description") : text) +
                      "|" + (iptc ? Tag(after, "Caption-Abstract") : text),
                  text + "|" + text + "|" + text);
        // The pixel size the EXIF states is the copy's own.
        const bool sized = after.contains("ExifImageWidth");
        EXPECT_TRUE(!sized || (Tag(after, "ExifImageWidth") == Tag(after, "ImageWidth") &&
                               Tag(after, "ExifImageHeight") == Tag(after, "ImageHeight")));
        withXmp += xmp;
        withIptc += iptc;
        withSize += sized;
        EXPECT_FALSE(after.contains("Error")) << Tag(after, "Error");
    }
    // The outside files hold each kind of metadata several times over.
    EXPECT_TRUE(withSize >= 10 && withProfile >= 10 && withXmp >= 10 && withIptc >= 3);
}

TEST(Metadata, TheLocationIsLeftOutOnRequestAndDescriptionOnlyWritesWhatAPlainPhotoGets) {
    LUMORA_SKIP_WITHOUT_CORPUS();
    TempDir dir;
    const fs::path source = dir.file("placed.jpg");
    fs::copy_file(CorpusDir() / "camera/exifr_iptc-agency-photographer-example.jpg", source);
    ASSERT_EQ(Shell("exiftool -q -overwrite_original -XMP-photoshop:City=Paris "
                    "-XMP-exif:GPSLatitude=48.85 -XMP-exif:GPSLatitudeRef=N -IPTC:City=Paris " +
                    Quote(source.string()))
                  .exitCode,
              0);
    PictureDocument document;
    ASSERT_TRUE(openPicture(document, Q(source)).ok);
    const fs::path nowhere = dir.file("nowhere.jpg");
    const PipelineResult saved =
        savePicture(document, Q(nowhere), {MetadataChoice::KeepAllButLocation, {}, true});
    ASSERT_TRUE(saved.ok && saved.note.isEmpty()) << saved.note.toStdString();
    const auto tags = Exiftool("-G -a -gps:all -XMP-exif:all -City -Make", {source, nowhere});
    const QJsonObject& before = tags.at(source.string());
    const QJsonObject& after = tags.at(nowhere.string());
    EXPECT_TRUE(before.contains("EXIF:GPSLatitude") && before.contains("XMP:City"));
    for (const QString& key : after.keys())
        EXPECT_FALSE(key.contains("GPS") || key.contains("City")) << key.toStdString();
    EXPECT_EQ(Tag(after, "EXIF:Make"), Tag(before, "EXIF:Make"));

    // Encoded afresh, so that the layout of the segments is the encoder's.
    document.description = QStringLiteral("Only this");
    const PictureQuality again{false, 90};
    ASSERT_TRUE(savePicture(document, Q(dir.file("only.jpg")),
                            {MetadataChoice::DescriptionOnly, again, true})
                    .ok);
    document.metadata.reset();
    ASSERT_TRUE(
        savePicture(document, Q(dir.file("plain.jpg")), {MetadataChoice::KeepAll, again, true}).ok);
    EXPECT_EQ(ReadBytes(dir.file("only.jpg")), ReadBytes(dir.file("plain.jpg")));
}

// IPTC texts other programs wrote in Windows-1252 with no character set
// named, as older Windows programs do, reach the copy as UTF-8. (XMP and
// IPTC descriptions in UTF-8: the corpus-wide metadata and pipeline tests.)
TEST(Metadata, IptcTextOfAnotherCharacterSetIsCarriedAsUtf8) {
    TempDir dir;
    const fs::path source = dir.file("windows.jpg");
    WriteBytes(source, PhotoWith({}));
    ASSERT_EQ(Shell("exiftool -q -overwrite_original -charset iptc=Latin "
                    "'-IPTC:City=\u201cJoe\u2019s\u201d caf\u00e9 \u20ac5' " +
                    Quote(source.string()))
                  .exitCode,
              0);
    // Curly quotes and the euro sign are 0x80-0x9F in Windows-1252.
    ASSERT_TRUE(Contains(ReadBytes(source), {0x93, 'J', 'o', 'e', 0x92, 's', 0x94}));
    PictureDocument document;
    ASSERT_TRUE(openPicture(document, Q(source)).ok);
    const fs::path copy = dir.file("copy.jpg");
    const PipelineResult saved = savePicture(document, Q(copy));
    ASSERT_TRUE(saved.ok && saved.note.isEmpty()) << saved.note.toStdString();
    const QJsonObject after = ExiftoolOf(copy, "-IPTC:City -IPTC:CodedCharacterSet");
    EXPECT_EQ(Tag(after, "City"), "\u201cJoe\u2019s\u201d caf\u00e9 \u20ac5");
    EXPECT_EQ(Tag(after, "CodedCharacterSet"), "UTF8");
}

// Damaged metadata is left out with a note and the photo still saves: all of
// it when the EXIF block or the whole header is unusable, else only the
// damaged part, which the note names, keeping the camera fields.
TEST(Metadata, DamagedMetadataIsLeftOutWithANoteAndThePhotoStillSaves) {
    TempDir dir;
    TiffBuilder loop(true);
    loop.AddDirectory({{0x010F, 2, 4, TiffBuilder::Text("Cam")}}, 26);
    loop.AddDirectory({{0x0110, 2, 4, TiffBuilder::Text("Mod")}}, 8);
    const Bytes profile(5000, 0x42);
    const Bytes first(profile.begin(), profile.begin() + 3000);
    const Bytes second(profile.begin() + 3000, profile.end());
    const std::vector<Bytes> overBudget(18, Segment(0xE1, Bytes(65000, 'x')));
    // EXIF with the camera, and a Canon maker note whose directory claims
    // 4352 entries, which the library reports as invalid.
    TiffBuilder tiff(false);
    const std::uint32_t ifd0 = tiff.AddDirectory({{0x010F, 2, 6, TiffBuilder::Text("Canon")},
                                                  {0x0110, 2, 8, TiffBuilder::Text("EOS 20D")},
                                                  {0x8769, 4, 1, tiff.U32(0)}});
    Bytes makerNote(64, 0);
    makerNote[1] = 0x11;
    tiff.Patch32(TiffBuilder::ValueField(ifd0, 2), tiff.AddDirectory({{0x927C, 7, 64, makerNote}}));
    TiffBuilder sound(false);
    sound.AddDirectory(
        {{0x010F, 2, 6, TiffBuilder::Text("Canon")}, {0x0110, 2, 8, TiffBuilder::Text("EOS 20D")}});
    const Bytes camera = ExifSegment(sound.Bytes());
    const std::string xmpText =
        std::string("http://ns.adobe.com/xap/1.0/", 29) +
        "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF><rdf:Descr"; // cut off
    const Bytes xmp = Segment(0xE1, Bytes(xmpText.begin(), xmpText.end()));
    // An IPTC dataset whose length runs past the record.
    Bytes iptc = {'P', 'h', 'o', 't', 'o', 's', 'h', 'o', 'p', ' ', '3', '.', '0'};
    for (const int b : {0, 0x38, 0x42, 0x49, 0x4D, 4,    4,    0,    0,    0,   0,
                        0, 8,    0x1C, 2,    0x78, 0x7F, 0xFF, 0x61, 0x62, 0x63})
        iptc.push_back(static_cast<std::uint8_t>(b));
    const Bytes partProfile(3000, 0x42);
    const struct {
        const char* name;
        std::vector<Bytes> segments;
        const char* part; // how the note names the part left out; null: all of it
    } rows[] = {
        {"directories in a loop", {ExifSegment(loop.Bytes())}, nullptr},
        {"profile part missing", {IccPart(1, 3, first), IccPart(3, 3, second)}, nullptr},
        {"more than 1 MiB", overBudget, nullptr},
        {"maker note", {ExifSegment(tiff.Bytes())}, "The maker note of"},
        {"XMP packet", {camera, xmp}, "The XMP packet of"},
        {"IPTC record", {camera, Segment(0xED, iptc)}, "The IPTC record of"},
        {"colour profile", {camera, IccPart(1, 2, partProfile)}, "The colour profile of"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        WriteBytes(dir.file("in.jpg"), PhotoWith(row.segments));
        PictureDocument document;
        ASSERT_TRUE(openPicture(document, Q(dir.file("in.jpg"))).ok);
        document.description = QStringLiteral("still here");
        const PipelineResult saved = savePicture(document, Q(dir.file("out.jpg")));
        ASSERT_TRUE(saved.ok) << saved.message.toStdString();
        EXPECT_TRUE(row.part ? saved.note.startsWith(QString::fromUtf8(row.part)) &&
                                   saved.note.contains(QStringLiteral("\"in.jpg\"")) &&
                                   saved.note.endsWith(QStringLiteral("everything else was kept."))
                             : saved.note.contains(QStringLiteral("left out")))
            << saved.note.toStdString();
        const QJsonObject copy =
            ExiftoolOf(dir.file("out.jpg"), "-EXIF:Make -EXIF:Model -IFD0:ImageDescription "
                                            "-XMP:all -IPTC:all -ICC_Profile:all");
        EXPECT_EQ(Tag(copy, "ImageDescription"), "still here");
        EXPECT_EQ(Tag(copy, "Make") + "/" + Tag(copy, "Model"), row.part ? "Canon/EOS 20D" : "/");
        EXPECT_EQ(copy.keys().size(), row.part ? 4 : 2)
            << QJsonDocument(copy).toJson().toStdString();
        EXPECT_EQ(DjpegComplaints(dir.file("out.jpg")), "");
    }

    // A whole profile in the wrong order is fine: carried in order, byte for byte.
    WriteBytes(dir.file("swapped.jpg"), PhotoWith({IccPart(2, 2, second), IccPart(1, 2, first)}));
    PictureDocument swapped;
    ASSERT_TRUE(openPicture(swapped, Q(dir.file("swapped.jpg"))).ok);
    const PipelineResult saved = savePicture(swapped, Q(dir.file("swapped-out.jpg")));
    ASSERT_TRUE(saved.ok && saved.note.isEmpty());
    Bytes inOrder = IccPart(1, 2, first);
    const Bytes two = IccPart(2, 2, second);
    inOrder.insert(inOrder.end(), two.begin(), two.end());
    EXPECT_TRUE(Contains(ReadBytes(dir.file("swapped-out.jpg")), inOrder));

    // The outside files with damaged metadata that still decode open and save.
    if (!CorpusAvailable())
        return;
    int notes = 0;
    for (const auto& entry : fs::directory_iterator(CorpusDir() / "malformed")) {
        SCOPED_TRACE(entry.path().string());
        PictureDocument document;
        if (!openPicture(document, Q(entry.path())).ok)
            continue;
        const PipelineResult result = savePicture(document, Q(dir.file("malformed.jpg")));
        EXPECT_TRUE(result.ok) << result.message.toStdString();
        notes += !result.note.isEmpty();
    }
    EXPECT_GT(notes, 0);
}

TEST(Metadata, A108MegapixelPhotoOpensTakesABandAndSavesAndAHugeHeaderIsRefused) {
    TempDir dir;
    {
        // One grey row repeated: a real 12000 x 9000 JPEG without holding the picture.
        std::vector<std::uint8_t> row(12000 * 4);
        for (std::size_t i = 0; i < row.size(); ++i)
            row[i] = static_cast<std::uint8_t>(i * 7);
        WriteBytes(dir.file("big.jpg"), JpegOfRows(row.data(), 0, 12000, 9000));
        PictureDocument document;
        ASSERT_TRUE(openPicture(document, Q(dir.file("big.jpg"))).ok);
        EXPECT_EQ(document.picture.size(), QSize(12000, 9000));
        Caption band;
        band.text = QStringLiteral("Expedition, day 3");
        band.disposition = Disposition::BottomBand;
        band.font.height = -300;
        document.captions.append(band);
        ASSERT_TRUE(savePicture(document, Q(dir.file("big-copy.jpg"))).ok);
    }
    const Pnm scaled = Djpeg(dir.file("big-copy.jpg"), "-scale 1/8");
    EXPECT_TRUE(scaled.width == 1500 && scaled.height > 9000 / 8) << "the band adds to the height";

    // A header claiming 65000 x 65000 is refused before anything is allocated.
    Bytes huge = ReadBytes(dir.file("big.jpg"));
    huge.resize(4096);
    const Bytes frame = {0xFF, 0xC0};
    const auto sof = std::search(huge.begin(), huge.end(), frame.begin(), frame.end());
    ASSERT_NE(sof, huge.end());
    std::fill(sof + 5, sof + 9, std::uint8_t{0xFD});
    sof[6] = sof[8] = 0xE8; // height and width 0xFDE8 = 65000
    WriteBytes(dir.file("huge.jpg"), huge);
    PictureDocument document;
    const PipelineResult refused = openPicture(document, Q(dir.file("huge.jpg")));
    EXPECT_FALSE(refused.ok || document.hasPicture());
    EXPECT_EQ(refused.message.toStdString(),
              std::string("\"") + dir.file("huge.jpg").string() +
                  "\" is too large to open: 65000 × 65000 pixels (4225 megapixels); the limit is "
                  "250 megapixels.");
}
