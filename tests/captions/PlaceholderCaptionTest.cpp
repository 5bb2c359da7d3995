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

// What the word placeholders read, as exiftool -G1 names the tags: XMP
// first, then IPTC, then EXIF.
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
const char kFactTags[] =
    " -ExifIFD:DateTimeOriginal -IFD0:Make -IFD0:Model -ExifIFD:LensModel -ExifIFD:ExposureTime"
    " -ExifIFD:FNumber -ExifIFD:ISO -ExifIFD:FocalLength -Composite:GPSLatitude"
    " -Composite:GPSLongitude -IFD0:ImageDescription -XMP-dc:Description -XMP-xmp:Rating"
    " -IFD0:Orientation# -File:ImageWidth -File:ImageHeight";

// exiftool's reading of one tag, lists joined with ", ".
QString Value(const QJsonObject& tags, const char* tag) {
    const QJsonValue value = tags.value(QLatin1String(tag));
    if (!value.isArray())
        return value.toVariant().toString().trimmed();
    QStringList items;
    for (const QJsonValue& item : value.toArray())
        items << item.toVariant().toString();
    return items.join(QStringLiteral(", "));
}

// "10.0" -> "10", "36.0 mm" -> "36 mm", as the captions show them.
QString WithoutPointZero(QString s) {
    s.replace(QStringLiteral(".0 "), QStringLiteral(" "));
    if (s.endsWith(QStringLiteral(".0")))
        s.chop(2);
    return s;
}

QString Template() {
    QString text = QStringLiteral("{date} {time}|{camera}|{lens}|{exposure}|{aperture}|{iso}|"
                                  "{focal}|{gps}|{filename}|{description}|{{date}} {weather}");
    for (const auto& row : kWordTags)
        text += QStringLiteral("|{%1}").arg(QLatin1String(row[0]));
    return text +
           QStringLiteral("|{rating}|{width}x{height} {megapixels}|{date:yyyy-MM-dd} {time:HH:mm}");
}

// The template filled in from exiftool's reading of a file.
QString Expected(const QJsonObject& tags, const QString& fileName) {
    const auto tag = [&tags](const char* name) { return Value(tags, name); };
    const auto unless = [](const QString& value, const QString& shown) {
        return value.isEmpty() ? QString() : shown;
    };
    const auto degrees = [](QString s) { return s.replace(u' ', QStringLiteral("° ")); };
    const QString date = tag("ExifIFD:DateTimeOriginal"); // "YYYY-MM-DD|HH:MM"
    const QString make = tag("IFD0:Make");
    const QString model = tag("IFD0:Model");
    const QString latitude = tag("Composite:GPSLatitude");
    QStringList values{
        date.left(10) + u' ' + date.mid(11),
        model.isEmpty()          ? make
        : model.startsWith(make) ? model
                                 : make + u' ' + model,
        tag("ExifIFD:LensModel"),
        unless(tag("ExifIFD:ExposureTime"), tag("ExifIFD:ExposureTime") + " s"),
        unless(tag("ExifIFD:FNumber"), "f/" + WithoutPointZero(tag("ExifIFD:FNumber"))),
        unless(tag("ExifIFD:ISO"), "ISO " + tag("ExifIFD:ISO")),
        WithoutPointZero(tag("ExifIFD:FocalLength")),
        unless(latitude, degrees(latitude) + ", " + degrees(tag("Composite:GPSLongitude"))),
        fileName,
        tag("IFD0:ImageDescription").isEmpty() ? tag("XMP-dc:Description")
                                               : tag("IFD0:ImageDescription"),
        QStringLiteral("{date} {weather}")};
    for (const auto& row : kWordTags) {
        QString value;
        for (int source = 1; source < 4 && value.isEmpty() && row[source] != nullptr; ++source)
            value = tag(row[source]);
        values << value;
    }
    values << QString(std::max(tag("XMP-xmp:Rating").toInt(), 0), QChar(0x2605));
    QSize upright(tags.value("File:ImageWidth").toInt(), tags.value("File:ImageHeight").toInt());
    if (tags.value("IFD0:Orientation").toInt() >= 5)
        upright.transpose();
    values << QStringLiteral("%1x%2 %3 MP")
                  .arg(upright.width())
                  .arg(upright.height())
                  .arg(upright.width() * upright.height() / 1e6, 0, 'f', 1);
    return (values << values.first()).join(u'|');
}

QJsonArray ExiftoolReads(const std::string& arguments, const std::vector<fs::path>& files) {
    std::string command = "exiftool -j -G1 -q -q " + arguments;
    for (const fs::path& file : files)
        command += ' ' + ts::Quote(file.string());
    return QJsonDocument::fromJson(QByteArray::fromStdString(ts::Run(command).output)).array();
}

} // namespace

TEST(PlaceholderCaptions,
     CameraPhotosFillEveryPlaceholderAsExiftoolReadsThemXmpBeforeIptcBeforeExif) {
    LUMORA_SKIP_WITHOUT_CORPUS();
    const fs::path camera = ts::CorpusDir() / "camera";
    const fs::path agency = camera / "exifr_iptc-agency-photographer-example.jpg";
    const struct {
        const char* name;
        fs::path photo;
        const char* change; // exiftool's arguments to change a copy
    } rows[] = {
        {"lens", camera / "exifr_canon-dslr.jpg", ""},
        {"position", camera / "exv2_FurnaceCreekInn.jpg", ""},
        {"agency: XMP, IPTC and EXIF agree", agency, ""},
        {"independent", camera / "exifr_iptc-independent-photographer-example.jpg", ""},
        {"no camera data: title and keywords only", camera / "ies_BlueSquare.jpg", ""},
        {"turned upright: width and height swap",
         ts::CorpusDir() / "special" / "pil_hopper_orientation_6.jpg", ""},
        {"XMP differs: XMP wins", agency,
         "-XMP-dc:Title=Xmp-Titel -XMP-dc:Creator=Anna -XMP-dc:Creator=Ben "
         "-XMP-photoshop:City=Zürich -XMP-xmp:Rating=5"},
        {"no XMP: IPTC", agency, "-XMP:all= -IPTC:Headline=Iptc-Schlagzeile -IPTC:Keywords+=Hafen"},
        {"no XMP or IPTC: EXIF", agency, "-XMP:all= -IPTC:all= -EXIF:Artist=Exif-Person"},
        {"rejected and unrated", agency, "-XMP-xmp:Rating=-1"},
    };
    // Copies under other names: {filename} is the name opened.
    ts::TempDir dir;
    std::vector<fs::path> copies;
    std::vector<fs::path> saved;
    for (const auto& row : rows) {
        copies.push_back(dir.file("Copy " + std::to_string(copies.size()) + " of " +
                                  row.photo.filename().string()));
        saved.push_back(dir.file("saved" + std::to_string(saved.size()) + ".jpg"));
        fs::copy_file(row.photo, copies.back());
        if (*row.change != '\0') {
            ASSERT_EQ(ts::Run(std::string("exiftool -q -overwrite_original ") + row.change + ' ' +
                              ts::Quote(copies.back().string()))
                          .exitCode,
                      0)
                << row.name;
        }
    }
    std::string tags = std::string("-d '%Y-%m-%d|%H:%M' -c '%.5f'") + kFactTags;
    for (const auto& row : kWordTags) {
        for (int source = 1; source < 4 && row[source] != nullptr; ++source)
            tags += std::string(" -") + row[source];
    }
    const QJsonArray read = ExiftoolReads(tags, copies);
    ASSERT_EQ(read.size(), static_cast<qsizetype>(copies.size()));
    std::vector<QString> expected;
    for (std::size_t i = 0; i < copies.size(); ++i) {
        SCOPED_TRACE(rows[i].name);
        PictureDocument document;
        ASSERT_TRUE(openPicture(document, ts::Q(copies[i])).ok);
        Caption description;
        description.text = Template();
        description.useTextAsDescription = true;
        document.captions.append(description);
        expected.push_back(
            Expected(read.at(static_cast<qsizetype>(i)).toObject(), ts::Q(copies[i].filename())));
        EXPECT_EQ(savedDescription(document), expected.back());

        // A drawn caption shows the filled-in text.
        Caption drawn;
        drawn.text = QStringLiteral("Taken {date} with {camera}");
        drawn.disposition = Disposition::BottomBand;
        document.captions.append(drawn);
        const QImage filledIn = renderCaptions(document);
        drawn.text = QStringLiteral("Taken %1 with %2")
                         .arg(expected.back().section(u'|', 0, 0).section(u' ', 0, 0),
                              expected.back().section(u'|', 1, 1));
        *document.captions.at(1) = drawn;
        EXPECT_EQ(filledIn, renderCaptions(document));
        ASSERT_TRUE(savePicture(document, ts::Q(saved[i])).ok);
    }
    const QJsonArray back = ExiftoolReads("-IFD0:ImageDescription", saved);
    ASSERT_EQ(back.size(), static_cast<qsizetype>(saved.size()));
    for (std::size_t i = 0; i < saved.size(); ++i)
        EXPECT_EQ(back.at(static_cast<qsizetype>(i)).toObject().value("IFD0:ImageDescription"),
                  expected[i])
            << rows[i].name;
}
