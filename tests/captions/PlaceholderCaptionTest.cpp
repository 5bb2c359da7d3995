// Placeholders filled in from camera photos: opened as a person opens them,
// drawn, and saved as the description, which exiftool reads back. The
// expected values are exiftool's reading of the original files.
#include "pipeline/PicturePipeline.h"
#include "render/CaptionRenderer.h"
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

namespace {

// What the word placeholders read: XMP first, then IPTC, then EXIF, with
// lists joined, from exiftool's reading of the same file.
const char* const kWordTags[][4] = {
    {"title", "XMP-dc:Title", "IPTC:ObjectName", nullptr},
    {"headline", "XMP-photoshop:Headline", "IPTC:Headline", nullptr},
    {"creator", "XMP-dc:Creator", "IPTC:By-line", "IFD0:Artist"},
    {"copyright", "XMP-dc:Rights", "IPTC:CopyrightNotice", "IFD0:Copyright"},
    {"city", "XMP-photoshop:City", "IPTC:City", nullptr},
    {"state", "XMP-photoshop:State", "IPTC:Province-State", nullptr},
    {"country", "XMP-photoshop:Country", "IPTC:Country-PrimaryLocationName", nullptr},
    {"sublocation", "XMP-iptcCore:Location", "IPTC:Sub-location", nullptr},
    {"keywords", "XMP-dc:Subject", "IPTC:Keywords", nullptr},
};

// exiftool's reading of one tag (-G1 names, so "XMP-dc:Title"), lists
// joined with ", ".
QString ToolValue(const QJsonObject& tags, const char* tag) {
    const QJsonValue value = tags.value(QLatin1String(tag));
    if (!value.isArray())
        return value.toVariant().toString().trimmed();
    QStringList items;
    for (const QJsonValue& item : value.toArray())
        items << item.toVariant().toString();
    return items.join(QStringLiteral(", "));
}

QString AllWords() {
    QStringList names;
    for (const auto& row : kWordTags)
        names << QStringLiteral("{%1}").arg(QLatin1String(row[0]));
    return names.join(u'|') + QStringLiteral("|{rating}|{width}x{height} {megapixels}");
}

QString ExpectedWords(const QJsonObject& tags, QSize upright) {
    QStringList values;
    for (const auto& row : kWordTags) {
        QString value;
        for (int source = 1; source < 4 && value.isEmpty() && row[source] != nullptr; ++source)
            value = ToolValue(tags, row[source]);
        values << value;
    }
    const int rating = ToolValue(tags, "XMP-xmp:Rating").toInt();
    values << QString(std::max(rating, 0), QChar(0x2605));
    values << QStringLiteral("%1x%2 %3 MP")
                  .arg(upright.width())
                  .arg(upright.height())
                  .arg(upright.width() * upright.height() / 1e6, 0, 'f', 1);
    return values.join(u'|');
}

QString Filled(const fs::path& photo, const QString& text) {
    PictureDocument document;
    EXPECT_TRUE(openPicture(document, ts::Q(photo)).ok) << photo;
    Caption caption;
    caption.text = text;
    caption.useTextAsDescription = true;
    document.captions.append(caption);
    return savedDescription(document);
}

} // namespace

TEST(PlaceholderCaptions, PhotoWordsReadAsExiftoolReadsThemXmpBeforeIptcBeforeExif) {
    LUMORA_SKIP_WITHOUT_CORPUS();
    ts::TempDir dir;
    const fs::path agency =
        ts::CorpusDir() / "camera" / "exifr_iptc-agency-photographer-example.jpg";
    const auto copyWith = [&](const std::string& name, const std::string& arguments) {
        const fs::path copy = dir.file(name);
        fs::copy_file(agency, copy);
        EXPECT_EQ(
            ts::Run("exiftool -q -overwrite_original " + arguments + ' ' + ts::Quote(copy.string()))
                .exitCode,
            0)
            << name;
        return copy;
    };
    struct Row {
        const char* name;
        fs::path photo;
    };
    const Row rows[] = {
        {"agency: XMP, IPTC and EXIF agree", agency},
        {"independent",
         ts::CorpusDir() / "camera" / "exifr_iptc-independent-photographer-example.jpg"},
        {"BlueSquare: title and keywords only", ts::CorpusDir() / "camera" / "ies_BlueSquare.jpg"},
        {"turned upright: width and height swap",
         ts::CorpusDir() / "special" / "pil_hopper_orientation_6.jpg"},
        {"XMP differs: XMP wins",
         copyWith("xmp.jpg", "-XMP-dc:Title=Xmp-Titel -XMP-dc:Creator=Anna -XMP-dc:Creator=Ben "
                             "-XMP-photoshop:City=Zürich -XMP-xmp:Rating=5")},
        {"no XMP: IPTC", copyWith("iptc.jpg", "-XMP:all= -IPTC:Headline=Iptc-Schlagzeile "
                                              "-IPTC:Keywords+=Hafen")},
        {"no XMP or IPTC: EXIF",
         copyWith("exif.jpg", "-XMP:all= -IPTC:all= -EXIF:Artist=Exif-Person")},
        {"rejected and unrated", copyWith("rejected.jpg", "-XMP-xmp:Rating=-1")},
    };
    std::string tagArguments = " -XMP-xmp:Rating -EXIF:Orientation#";
    for (const auto& row : kWordTags) {
        for (int source = 1; source < 4 && row[source] != nullptr; ++source)
            tagArguments += std::string(" -") + row[source];
    }
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string run = ts::Run("exiftool -j -G1 -q -q -ImageWidth -ImageHeight" +
                                        tagArguments + ' ' + ts::Quote(row.photo.string()))
                                    .output;
        const QJsonObject tags =
            QJsonDocument::fromJson(QByteArray::fromStdString(run)).array().at(0).toObject();
        QSize upright(tags.value("File:ImageWidth").toInt(),
                      tags.value("File:ImageHeight").toInt());
        if (tags.value("IFD0:Orientation").toInt() >= 5)
            upright.transpose();
        EXPECT_EQ(Filled(row.photo, AllWords()), ExpectedWords(tags, upright));
    }
}

TEST(PlaceholderCaptions, DatesFollowAPatternInTheLanguageAskedAndBadPatternsStayAsWritten) {
    LUMORA_SKIP_WITHOUT_CORPUS();
    PictureDocument document;
    ASSERT_TRUE(openPicture(document, ts::Q(ts::CorpusDir() / "camera" /
                                            "exifr_iptc-agency-photographer-example.jpg"))
                    .ok);
    PlaceholderValues values;
    values.facts = document.facts(); // taken 2009:06:24 09:41:07, by exiftool
    const QString longPattern = QStringLiteral("{date:%1}").arg(QString(10000, u'y'));
    struct Row {
        const char* language;
        QString text;
        QString expected;
    };
    const Row rows[] = {
        {"en_GB", "{date:d MMMM yyyy}, {date:dddd} {time:HH:mm:ss}",
         "24 June 2009, Wednesday 09:41:07"},
        {"de_DE", "{date:d. MMMM yyyy}, {date:dddd} {time:H 'Uhr' mm}",
         "24. Juni 2009, Mittwoch 9 Uhr 41"},
        {"fr_FR", "{date:d MMM 'yy}", "{date:d MMM 'yy}"},
        {"en_GB", longPattern, longPattern},
        {"en_GB", "{date:''}{date:'d'}", "'d"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text.left(60).toStdString());
        values.locale = QLocale(QLatin1String(row.language));
        EXPECT_EQ(substitutePlaceholders(row.text, values), row.expected);
    }
}
