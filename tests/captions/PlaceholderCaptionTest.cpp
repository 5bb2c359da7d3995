// Placeholders filled in from camera photos: opened as a person opens them,
// drawn, and saved as the description, which exiftool reads back. The
// expected values are exiftool's reading of the original files.
#include "captions/CaptionRenderer.h"
#include "captions/PicturePipeline.h"
#include "tests/support/QtPaths.h"
#include "tests/support/TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <filesystem>

namespace ts = testing_support;
namespace fs = std::filesystem;

namespace {

// A photo with lens, one with a position, one with a description and one
// with no camera data at all.
const char* const kPhotos[] = {"exifr_canon-dslr.jpg", "exv2_FurnaceCreekInn.jpg",
                               "exifr_iptc-agency-photographer-example.jpg", "ies_BlueSquare.jpg"};

const QString kTemplate = QStringLiteral(
    "{date} {time}|{camera}|{lens}|{exposure}|{aperture}|{iso}|{focal}|{gps}|{filename}|"
    "{description}|{{date}} {weather}");

QString Tag(const QJsonObject& tags, const char* name) {
    return tags.value(QLatin1String(name)).toVariant().toString();
}

// "10.0" -> "10", "36.0 mm" -> "36 mm", as the captions show them.
QString WithoutPointZero(QString s) {
    s.replace(QStringLiteral(".0 "), QStringLiteral(" "));
    if (s.endsWith(QStringLiteral(".0")))
        s.chop(2);
    return s;
}

// The template filled in from exiftool's reading of a file.
QString Expected(const QJsonObject& tags, const QString& fileName) {
    const QString date = Tag(tags, "DateTimeOriginal"); // "YYYY-MM-DD|HH:MM"
    const QString make = Tag(tags, "Make");
    const QString model = Tag(tags, "Model");
    const QString camera = model.isEmpty()          ? make
                           : model.startsWith(make) ? model
                                                    : make + u' ' + model;
    const auto unless = [](const QString& value, const QString& shown) {
        return value.isEmpty() ? QString() : shown;
    };
    const QString latitude = Tag(tags, "GPSLatitude");
    const QString longitude = Tag(tags, "GPSLongitude");
    const auto degrees = [](QString s) { return s.replace(u' ', QStringLiteral("° ")); };
    QString description = Tag(tags, "ImageDescription");
    if (description.isEmpty())
        description = Tag(tags, "Description");
    return QStringList{date.left(10) + u' ' + date.mid(11),
                       camera,
                       Tag(tags, "LensModel"),
                       unless(Tag(tags, "ExposureTime"), Tag(tags, "ExposureTime") + " s"),
                       unless(Tag(tags, "FNumber"), "f/" + WithoutPointZero(Tag(tags, "FNumber"))),
                       unless(Tag(tags, "ISO"), "ISO " + Tag(tags, "ISO")),
                       WithoutPointZero(Tag(tags, "FocalLength")),
                       unless(latitude, degrees(latitude) + ", " + degrees(longitude)),
                       fileName,
                       description,
                       QStringLiteral("{date} {weather}")}
        .join(u'|');
}

} // namespace

TEST(PlaceholderCaptions, CameraPhotosFillEveryPlaceholderAsExiftoolReadsThem) {
    LUMORA_SKIP_WITHOUT_CORPUS();
    const fs::path camera = ts::CorpusDir() / "camera";
    std::string files;
    for (const char* photo : kPhotos)
        files += ' ' + ts::Quote((camera / photo).string());
    const ts::CommandResult run = ts::Run(
        "exiftool -j -q -q -d '%Y-%m-%d|%H:%M' -c '%.5f' -EXIF:DateTimeOriginal -EXIF:Make "
        "-EXIF:Model -EXIF:LensModel -EXIF:ExposureTime -EXIF:FNumber -EXIF:ISO -EXIF:FocalLength "
        "-Composite:GPSLatitude -Composite:GPSLongitude -EXIF:ImageDescription -XMP:Description" +
        files);
    const QJsonArray read = QJsonDocument::fromJson(QByteArray::fromStdString(run.output)).array();
    ASSERT_EQ(read.size(), static_cast<qsizetype>(std::size(kPhotos)));

    ts::TempDir dir;
    for (const QJsonValue& entry : read) {
        const QJsonObject tags = entry.toObject();
        const fs::path source = Tag(tags, "SourceFile").toStdString();
        SCOPED_TRACE(source.string());
        // A copy under another name: {filename} is the name opened.
        const fs::path copy = dir.file("Copy of " + source.filename().string());
        fs::copy_file(source, copy, fs::copy_options::overwrite_existing);
        PictureDocument document;
        ASSERT_TRUE(openPicture(document, ts::Q(copy)).ok);

        Caption description;
        description.text = kTemplate;
        description.useTextAsDescription = true;
        document.captions.append(description);
        const QString expected = Expected(tags, ts::Q(copy.filename()));
        EXPECT_EQ(savedDescription(document), expected);

        // A drawn caption shows the filled-in text.
        Caption drawn;
        drawn.text = QStringLiteral("Taken {date} with {camera}");
        drawn.disposition = Disposition::BottomBand;
        document.captions.append(drawn);
        const QImage filledIn = renderCaptions(document);
        drawn.text = QStringLiteral("Taken %1 with %2")
                         .arg(expected.section(u'|', 0, 0).section(u' ', 0, 0),
                              expected.section(u'|', 1, 1));
        *document.captions.at(1) = drawn;
        EXPECT_EQ(filledIn, renderCaptions(document));

        const fs::path saved = dir.file("saved.jpg");
        ASSERT_TRUE(savePicture(document, ts::Q(saved)).ok);
        const std::string back =
            ts::Run("exiftool -b -EXIF:ImageDescription " + ts::Quote(saved.string())).output;
        EXPECT_EQ(QString::fromStdString(back), expected);
    }
}

TEST(PlaceholderCaptions, APhotoWithoutMetadataGivesEmptyValuesAndKeepsBraces) {
    PictureDocument document;
    document.picture = QImage(64, 48, QImage::Format_RGB32);
    document.picture.fill(Qt::white);
    document.fileName = QStringLiteral("plain.jpg");
    Caption caption;
    caption.text = QStringLiteral("[{date}] {{x}} {unknown} {filename}");
    caption.useTextAsDescription = true;
    document.captions.append(caption);
    EXPECT_EQ(savedDescription(document), QStringLiteral("[] {x} {unknown} plain.jpg"));
    // A caption that shows the description shows the filled-in text, and
    // braces in it are not read again.
    document.captions.at(0)->text = QStringLiteral("{{filename}}");
    Caption shows;
    shows.useDescriptionAsText = true;
    EXPECT_EQ(displayedText(shows, savedDescription(document)), QStringLiteral("{filename}"));
}
