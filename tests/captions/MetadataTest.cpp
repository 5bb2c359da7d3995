// The source photo's metadata in the saved copy, as outside readers see it:
// camera fields, position, colour profile and the description in EXIF, XMP
// and IPTC; the location left out on request; damaged metadata left out
// with a note; and the size limits for very large pictures.
#include "captions/DescriptionText.h"
#include "pipeline/PicturePipeline.h"
#include "tests/support/ExifBuilder.h"
#include "tests/support/QtPaths.h"
#include "tests/support/TestPhotos.h"

#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>

#include <gtest/gtest.h>

#include <map>

using namespace testing_support;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

namespace {

// exiftool's tags of every file given, by file, as JSON objects.
std::map<std::string, QJsonObject> Exiftool(const std::string& options,
                                            const std::vector<fs::path>& files) {
    std::string command = "exiftool -j -q -q " + options;
    for (const fs::path& f : files) {
        command += ' ';
        command += Quote(f.string());
    }
    const CommandResult run = testing_support::Run(command);
    std::map<std::string, QJsonObject> tags;
    for (const QJsonValue& v :
         QJsonDocument::fromJson(QByteArray::fromStdString(run.output)).array())
        tags[v.toObject().value("SourceFile").toString().toStdString()] = v.toObject();
    return tags;
}

std::string Text(const QJsonObject& tags, const char* name) {
    return tags.value(name).toVariant().toString().toStdString();
}

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

// The markers of a file's segments before its picture data.
std::vector<int> Markers(const Bytes& file) {
    std::vector<int> markers;
    std::size_t at = 2;
    while (at + 4 <= file.size() && file[at] == 0xFF && file[at + 1] != 0xDA) {
        markers.push_back(file[at + 1]);
        at += 2 + file[at + 2] * 256u + file[at + 3];
    }
    return markers;
}

// The EXIF fields a photographer keeps a photo for. (Other blocks, such as a
// FLIR or CIFF record, have fields of the same names and are not carried.)
const std::vector<std::string> kCameraFields = {"Make",         "Model",       "DateTimeOriginal",
                                                "ExposureTime", "FNumber",     "ISO",
                                                "GPSLatitude",  "GPSLongitude"};

} // namespace

TEST(Metadata, CameraPhotosKeepTheirFieldsProfileAndDescriptionsForOutsideReaders) {
    LUMORA_SKIP_WITHOUT_CORPUS();
    TempDir dir;
    std::vector<fs::path> sources;
    for (const auto& entry : fs::directory_iterator(CorpusDir() / "camera"))
        sources.push_back(entry.path());
    std::sort(sources.begin(), sources.end());
    std::map<std::string, std::string> copyOf;      // source -> copy
    std::map<std::string, std::string> description; // copy -> saved description
    int leftOut = 0;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        SCOPED_TRACE(sources[i].string());
        PictureDocument document;
        ASSERT_TRUE(openPicture(document, Q(sources[i])).ok);
        document.description = i % 2 == 0 ? QStringLiteral("Harbour at dawn, 6:40")
                                          : QStringLiteral("Hafen im Morgengrauen – Ça va ✓ 港");
        const fs::path copy = dir.file(std::to_string(i) + ".jpg");
        const PipelineResult saved = savePicture(document, Q(copy));
        ASSERT_TRUE(saved.ok) << saved.message.toStdString();
        // A damaged part left out alone keeps the rest, which is compared
        // below like any other copy; a fallback to the description alone
        // would lose the camera fields. Notes of blocks that could not be
        // kept say nothing of the metadata.
        if (saved.note.contains(QStringLiteral("metadata was left out"))) {
            ++leftOut;
            continue;
        }
        copyOf[sources[i].string()] = copy.string();
        description[copy.string()] = document.description.toStdString();
    }
    EXPECT_EQ(leftOut, 0);
    ASSERT_GT(copyOf.size(), 50u);

    std::vector<fs::path> all;
    for (const auto& [source, copy] : copyOf) {
        all.push_back(source);
        all.push_back(copy);
    }
    const auto tags =
        Exiftool("-n -EXIF:Make -EXIF:Model -EXIF:DateTimeOriginal -EXIF:ExposureTime "
                 "-EXIF:FNumber -EXIF:ISO -EXIF:GPSLatitude -EXIF:GPSLongitude "
                 "-IFD0:ImageDescription "
                 "-XMP-dc:Description -IPTC:Caption-Abstract -XMP:XMPToolkit "
                 "-IPTC:CodedCharacterSet -validate -error",
                 all);
    const auto profiles = Exiftool("-b -ICC_Profile", all);
    int withProfile = 0;
    int withXmp = 0;
    int withIptc = 0;
    for (const auto& [source, copy] : copyOf) {
        SCOPED_TRACE(source);
        const QJsonObject& before = tags.at(source);
        const QJsonObject& after = tags.at(copy);
        for (const std::string& field : kCameraFields)
            EXPECT_EQ(Text(after, field.c_str()), Text(before, field.c_str())) << field;
        const std::string profile = Text(profiles.at(source), "ICC_Profile");
        EXPECT_EQ(Text(profiles.at(copy), "ICC_Profile"), profile);
        withProfile += !profile.empty();
        const std::string& text = description.at(copy);
        EXPECT_EQ(Text(after, "ImageDescription"), text);
        if (before.contains("XMPToolkit") || before.contains("Description")) {
            ++withXmp;
            EXPECT_EQ(Text(after, "Description"), text);
        }
        if (before.contains("Caption-Abstract") || before.contains("CodedCharacterSet")) {
            ++withIptc;
            EXPECT_EQ(Text(after, "Caption-Abstract"), text);
        }
        EXPECT_FALSE(after.contains("Error")) << Text(after, "Error");
    }
    // The outside files hold each kind of metadata several times over.
    EXPECT_GE(withProfile, 10);
    EXPECT_GE(withXmp, 10);
    EXPECT_GE(withIptc, 3);
}

TEST(Metadata, TheLocationIsLeftOutOnRequestAndDescriptionOnlyWritesTheOldSegment) {
    LUMORA_SKIP_WITHOUT_CORPUS();
    TempDir dir;
    const fs::path source = dir.file("placed.jpg");
    fs::copy_file(CorpusDir() / "camera/exifr_iptc-agency-photographer-example.jpg", source);
    ASSERT_EQ(testing_support::Run(
                  "exiftool -q -overwrite_original -XMP-photoshop:City=Paris "
                  "-XMP-exif:GPSLatitude=48.85 -XMP-exif:GPSLatitudeRef=N -IPTC:City=Paris " +
                  Quote(source.string()))
                  .exitCode,
              0);
    PictureDocument document;
    ASSERT_TRUE(openPicture(document, Q(source)).ok);
    const fs::path nowhere = dir.file("nowhere.jpg");
    const PipelineResult saved =
        savePicture(document, Q(nowhere), {MetadataChoice::KeepAllButLocation, {}, true});
    ASSERT_TRUE(saved.ok);
    EXPECT_TRUE(saved.note.isEmpty()) << saved.note.toStdString();
    const auto tags = Exiftool("-G -a -gps:all -XMP-exif:all -City -Make", {source, nowhere});
    const QJsonObject& before = tags.at(source.string());
    const QJsonObject& after = tags.at(nowhere.string());
    EXPECT_TRUE(before.contains("EXIF:GPSLatitude"));
    EXPECT_TRUE(before.contains("XMP:City"));
    for (const QString& key : after.keys()) {
        EXPECT_FALSE(key.contains("GPS") || key.contains("City")) << key.toStdString();
    }
    EXPECT_EQ(Text(after, "EXIF:Make"), Text(before, "EXIF:Make"));

    // "Description only" writes exactly what a photo without metadata gets.
    document.description = QStringLiteral("Only this");
    // Encoded afresh, so that the layout of the segments is the encoder's.
    const PictureQuality again{false, 90};
    ASSERT_TRUE(savePicture(document, Q(dir.file("only.jpg")),
                            {MetadataChoice::DescriptionOnly, again, true})
                    .ok);
    document.metadata.reset();
    ASSERT_TRUE(
        savePicture(document, Q(dir.file("plain.jpg")), {MetadataChoice::KeepAll, again, true}).ok);
    const Bytes only = ReadBytes(dir.file("only.jpg"));
    EXPECT_EQ(only, ReadBytes(dir.file("plain.jpg")));
    EXPECT_EQ(Markers(only),
              (std::vector<int>{0xE0, 0xE1, 0xDB, 0xDB, 0xC0, 0xC4, 0xC4, 0xC4, 0xC4}));
    const QByteArray segment = descriptionSegment(encodeDescription(QStringLiteral("Only this")));
    EXPECT_TRUE(std::equal(segment.begin(), segment.end(), only.begin() + 20,
                           [](char a, std::uint8_t b) { return std::uint8_t(a) == b; }));
}

TEST(Metadata, DescriptionsWrittenByOtherProgramsShowAndAreKept) {
    TempDir dir;
    WriteBytes(dir.file("plain.jpg"), PhotoWith({}));
    for (const auto& [name, tag] :
         {std::pair{"xmp", "-XMP-dc:Description"}, std::pair{"iptc", "-IPTC:Caption-Abstract"}}) {
        SCOPED_TRACE(name);
        const fs::path source = dir.file(std::string(name) + ".jpg");
        fs::copy_file(dir.file("plain.jpg"), source);
        ASSERT_EQ(testing_support::Run(
                      std::string("exiftool -q -overwrite_original -charset iptc=UTF8 ") + tag +
                      "='Brücke im Nebel' " + Quote(source.string()))
                      .exitCode,
                  0);
        PictureDocument document;
        ASSERT_TRUE(openPicture(document, Q(source)).ok);
        EXPECT_EQ(document.description, QStringLiteral("Brücke im Nebel"));
        const fs::path copy = dir.file(std::string(name) + "-copy.jpg");
        ASSERT_TRUE(savePicture(document, Q(copy)).ok);
        const QJsonObject after =
            Exiftool("-IFD0:ImageDescription -XMP-dc:Description -IPTC:Caption-Abstract", {copy})
                .at(copy.string());
        EXPECT_EQ(Text(after, "ImageDescription"), "Brücke im Nebel");
        EXPECT_EQ(Text(after, std::string(name) == "xmp" ? "Description" : "Caption-Abstract"),
                  "Brücke im Nebel");
    }
}

TEST(Metadata, IptcTextOfAnotherCharacterSetIsCarriedAsUtf8) {
    TempDir dir;
    const fs::path source = dir.file("windows.jpg");
    WriteBytes(source, PhotoWith({}));
    // Written in Windows-1252 with no character set named, as older
    // Windows programs do: curly quotes and the euro sign are 0x80-0x9F.
    ASSERT_EQ(testing_support::Run("exiftool -q -overwrite_original -charset iptc=Latin "
                                   "'-IPTC:City=\u201cJoe\u2019s\u201d caf\u00e9 \u20ac5' " +
                                   Quote(source.string()))
                  .exitCode,
              0);
    const Bytes written = ReadBytes(source);
    const Bytes cp1252 = {0x93, 'J', 'o', 'e', 0x92, 's', 0x94};
    ASSERT_NE(std::search(written.begin(), written.end(), cp1252.begin(), cp1252.end()),
              written.end())
        << "exiftool wrote Windows-1252 bytes";
    PictureDocument document;
    ASSERT_TRUE(openPicture(document, Q(source)).ok);
    const fs::path copy = dir.file("copy.jpg");
    const PipelineResult saved = savePicture(document, Q(copy));
    ASSERT_TRUE(saved.ok);
    EXPECT_TRUE(saved.note.isEmpty()) << saved.note.toStdString();
    const QJsonObject after =
        Exiftool("-IPTC:City -IPTC:CodedCharacterSet", {copy}).at(copy.string());
    EXPECT_EQ(Text(after, "City"), "\u201cJoe\u2019s\u201d caf\u00e9 \u20ac5");
    EXPECT_EQ(Text(after, "CodedCharacterSet"), "UTF8");
}

TEST(Metadata, DamagedMetadataIsLeftOutWithANoteAndThePhotoStillSaves) {
    TempDir dir;
    TiffBuilder pastEnd(false);
    pastEnd.AddDirectory(
        {{0x010F, 2, 4, TiffBuilder::Text("Cam")}, {0x8769, 4, 1, pastEnd.U32(9000)}});
    TiffBuilder loop(true);
    loop.AddDirectory({{0x010F, 2, 4, TiffBuilder::Text("Cam")}}, 26);
    loop.AddDirectory({{0x0110, 2, 4, TiffBuilder::Text("Mod")}}, 8);
    Bytes cut = ExifSegment(loop.Bytes());
    cut.resize(cut.size() - 10);
    cut[2] = static_cast<std::uint8_t>((cut.size() - 2) >> 8);
    cut[3] = static_cast<std::uint8_t>(cut.size() - 2);
    const Bytes profile(5000, 0x42);
    const Bytes first(profile.begin(), profile.begin() + 3000);
    const Bytes second(profile.begin() + 3000, profile.end());
    std::vector<Bytes> overBudget;
    for (int i = 0; i < 18; ++i)
        overBudget.push_back(Segment(0xE1, Bytes(65000, 'x')));
    const std::vector<std::pair<std::string, std::vector<Bytes>>> damaged = {
        {"offset past the end", {ExifSegment(pastEnd.Bytes())}},
        {"directories in a loop", {ExifSegment(loop.Bytes())}},
        {"truncated block", {cut}},
        {"profile part missing", {IccPart(1, 3, first), IccPart(3, 3, second)}},
        {"profile parts numbered twice", {IccPart(1, 2, first), IccPart(1, 2, second)}},
        {"more than 1 MiB", overBudget},
    };
    for (const auto& [name, segments] : damaged) {
        SCOPED_TRACE(name);
        WriteBytes(dir.file("in.jpg"), PhotoWith(segments));
        PictureDocument document;
        ASSERT_TRUE(openPicture(document, Q(dir.file("in.jpg"))).ok);
        document.description = QStringLiteral("still here");
        const PipelineResult saved = savePicture(document, Q(dir.file("out.jpg")));
        ASSERT_TRUE(saved.ok) << saved.message.toStdString();
        EXPECT_TRUE(saved.note.contains(QStringLiteral("left out"))) << saved.note.toStdString();
        const Bytes out = ReadBytes(dir.file("out.jpg"));
        EXPECT_EQ(Markers(out)[1], 0xE1);
        const QByteArray segment =
            descriptionSegment(encodeDescription(QStringLiteral("still here")));
        EXPECT_TRUE(std::equal(segment.begin(), segment.end(), out.begin() + 20,
                               [](char a, std::uint8_t b) { return std::uint8_t(a) == b; }));
        EXPECT_EQ(
            testing_support::Run("djpeg -outfile /dev/null " + Quote(dir.file("out.jpg").string()))
                .exitCode,
            0);
    }
    EXPECT_TRUE(
        savePicture(*std::make_unique<PictureDocument>(), Q(dir.file("x.jpg"))).note.isEmpty());

    // A whole profile in the wrong order is fine: carried in order, byte for byte.
    WriteBytes(dir.file("swapped.jpg"), PhotoWith({IccPart(2, 2, second), IccPart(1, 2, first)}));
    PictureDocument swapped;
    ASSERT_TRUE(openPicture(swapped, Q(dir.file("swapped.jpg"))).ok);
    const PipelineResult saved = savePicture(swapped, Q(dir.file("swapped-out.jpg")));
    ASSERT_TRUE(saved.ok);
    EXPECT_TRUE(saved.note.isEmpty());
    const Bytes out = ReadBytes(dir.file("swapped-out.jpg"));
    const Bytes one = IccPart(1, 2, first);
    const Bytes two = IccPart(2, 2, second);
    Bytes expected = one;
    expected.insert(expected.end(), two.begin(), two.end());
    EXPECT_NE(std::search(out.begin(), out.end(), expected.begin(), expected.end()), out.end());

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

// One damaged part of a photo's metadata is left out on its own: the copy
// keeps the camera fields exiftool reads and the note names the part.
TEST(Metadata, ADamagedPartIsLeftOutAloneAndEverythingElseIsKept) {
    TempDir dir;
    // EXIF with the camera, and a Canon maker note whose directory claims
    // 4352 entries, which the library reports as invalid.
    TiffBuilder tiff(false);
    const std::uint32_t ifd0 = tiff.AddDirectory({{0x010F, 2, 6, TiffBuilder::Text("Canon")},
                                                  {0x0110, 2, 8, TiffBuilder::Text("EOS 20D")},
                                                  {0x8769, 4, 1, tiff.U32(0)}});
    Bytes makerNote(64, 0);
    makerNote[1] = 0x11;
    const std::uint32_t exifIfd = tiff.AddDirectory({{0x927C, 7, 64, makerNote}});
    tiff.Patch32(TiffBuilder::ValueField(ifd0, 2), exifIfd);
    TiffBuilder sound(false);
    sound.AddDirectory(
        {{0x010F, 2, 6, TiffBuilder::Text("Canon")}, {0x0110, 2, 8, TiffBuilder::Text("EOS 20D")}});
    const std::string brokenXml = "http://ns.adobe.com/xap/1.0/";
    Bytes xmp(brokenXml.begin(), brokenXml.end());
    xmp.push_back(0);
    const std::string packet = "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF><rdf:Descr";
    xmp.insert(xmp.end(), packet.begin(), packet.end());
    // An IPTC dataset whose length runs past the record.
    const std::string photoshop = "Photoshop 3.0";
    Bytes iptc(photoshop.begin(), photoshop.end());
    for (const int b : {0, 0x38, 0x42, 0x49, 0x4D, 4,    4,    0,    0,    0,   0,
                        0, 8,    0x1C, 2,    0x78, 0x7F, 0xFF, 0x61, 0x62, 0x63})
        iptc.push_back(static_cast<std::uint8_t>(b));
    const Bytes profile(3000, 0x42);
    struct Row {
        const char* name;
        std::vector<Bytes> segments;
        const char* parts; // as the note names them
    };
    const Row rows[] = {
        {"maker note", {ExifSegment(tiff.Bytes())}, "The maker note of"},
        {"XMP packet", {ExifSegment(sound.Bytes()), Segment(0xE1, xmp)}, "The XMP packet of"},
        {"IPTC record", {ExifSegment(sound.Bytes()), Segment(0xED, iptc)}, "The IPTC record of"},
        {"colour profile",
         {ExifSegment(sound.Bytes()), IccPart(1, 2, profile)},
         "The colour profile of"},
        {"XMP packet and colour profile",
         {ExifSegment(sound.Bytes()), Segment(0xE1, xmp), IccPart(2, 2, profile)},
         "The XMP packet and the colour profile of"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        WriteBytes(dir.file("in.jpg"), PhotoWith(row.segments));
        PictureDocument document;
        ASSERT_TRUE(openPicture(document, Q(dir.file("in.jpg"))).ok);
        const PipelineResult saved = savePicture(document, Q(dir.file("out.jpg")));
        ASSERT_TRUE(saved.ok) << saved.message.toStdString();
        EXPECT_TRUE(saved.note.startsWith(QString::fromUtf8(row.parts)) &&
                    saved.note.contains(QStringLiteral("\"in.jpg\"")) &&
                    saved.note.endsWith(QStringLiteral("everything else was kept.")))
            << saved.note.toStdString();
        const auto tags = Exiftool("-EXIF:Make -EXIF:Model -XMP:all -IPTC:all -ICC_Profile:all",
                                   {dir.file("out.jpg")});
        const QJsonObject copy = tags.at(dir.file("out.jpg").string());
        EXPECT_EQ(Text(copy, "Make"), "Canon");
        EXPECT_EQ(Text(copy, "Model"), "EOS 20D");
        EXPECT_EQ(copy.keys().size(), 3) << QJsonDocument(copy).toJson().toStdString();
        EXPECT_EQ(
            testing_support::Run("djpeg -outfile /dev/null " + Quote(dir.file("out.jpg").string()))
                .exitCode,
            0);
    }
}

TEST(Metadata, A108MegapixelPhotoOpensTakesABandAndSavesAndAHugeHeaderIsRefused) {
    TempDir dir;
    {
        // One grey row repeated: a real 12000 x 9000 JPEG without holding the picture.
        std::vector<std::uint8_t> row(12000 * 4);
        for (std::size_t i = 0; i < row.size(); ++i)
            row[i] = static_cast<std::uint8_t>(i * 7);
        WriteBytes(dir.file("big.jpg"), JpegOfRows(row.data(), 0, 12000, 9000));
    }
    {
        PictureDocument document;
        const PipelineResult opened = openPicture(document, Q(dir.file("big.jpg")));
        ASSERT_TRUE(opened.ok) << opened.message.toStdString();
        EXPECT_EQ(document.picture.size(), QSize(12000, 9000));
        Caption band;
        band.text = QStringLiteral("Expedition, day 3");
        band.disposition = Disposition::BottomBand;
        band.font.height = -300;
        document.captions.append(band);
        const PipelineResult saved = savePicture(document, Q(dir.file("big-copy.jpg")));
        ASSERT_TRUE(saved.ok) << saved.message.toStdString();
    }
    const CommandResult scaled =
        testing_support::Run("djpeg -scale 1/8 -pnm " + Quote(dir.file("big-copy.jpg").string()));
    Pnm pnm;
    ASSERT_TRUE(ParsePnm(Bytes(scaled.output.begin(), scaled.output.end()), pnm));
    EXPECT_EQ(pnm.width, 1500);
    EXPECT_GT(pnm.height, 9000 / 8); // the band adds to the height

    // A header claiming 65000 x 65000 is refused before anything is allocated.
    Bytes huge = ReadBytes(dir.file("big.jpg"));
    huge.resize(4096);
    for (std::size_t i = 2; i + 9 < huge.size(); ++i) {
        if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {
            huge[i + 5] = 0xFD; // height 65000
            huge[i + 6] = 0xE8;
            huge[i + 7] = 0xFD; // width 65000
            huge[i + 8] = 0xE8;
            break;
        }
    }
    WriteBytes(dir.file("huge.jpg"), huge);
    PictureDocument document;
    const PipelineResult refused = openPicture(document, Q(dir.file("huge.jpg")));
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.message.toStdString(),
              std::string("\"") + dir.file("huge.jpg").string() +
                  "\" is too large to open: 65000 × 65000 pixels (4225 megapixels); the limit is "
                  "250 megapixels.");
    EXPECT_FALSE(document.hasPicture());
}
