// Placeholders in caption text, filled in from camera photos as exiftool reads them.
#include "captions/Placeholders.h"
#include "captions/DescriptionText.h"
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
                      0);
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
        ASSERT_TRUE(savePicture(document, ts::Q(saved[i])).ok);
    }
    const QJsonArray back = ExiftoolReads("-IFD0:ImageDescription", saved);
    ASSERT_EQ(back.size(), static_cast<qsizetype>(saved.size()));
    for (std::size_t i = 0; i < saved.size(); ++i)
        EXPECT_EQ(back.at(static_cast<qsizetype>(i)).toObject().value("IFD0:ImageDescription"),
                  expected[i])
            << rows[i].name;
}

TEST(Placeholders, EveryNameFillsInAndWhatIsNoPlaceholderStaysAsTyped) {
    PlaceholderValues v;
    v.facts.date = "2024-05-17";
    v.facts.time = "06:40";
    v.facts.camera = "Canon EOS R5";
    v.facts.iso = "ISO 200";
    v.facts.focal = "50 mm";
    v.facts.title = "Own title";
    v.fileName = QStringLiteral("IMG_0042.JPG");
    v.description = QStringLiteral("Harbour at dawn");
    // A table's column stands before the photo's own value of that name.
    v.columns = {{QStringLiteral("title"), QStringLiteral("Column title")},
                 {QStringLiteral("Model name"), QStringLiteral("Skiff")}};
    v.facts.dateTime = "2009-06-24T09:41:07";
    v.locale = QLocale(QStringLiteral("en_GB"));
    PlaceholderValues german = v;
    german.locale = QLocale(QStringLiteral("de_DE"));
    const QString longPattern = QStringLiteral("{date:%1}").arg(QString(10000, u'y'));
    const PlaceholderValues none;
    const struct {
        const PlaceholderValues& values;
        QString text;
        QString filled;
    } rows[] = {
        // (Every name from a camera photo: the PlaceholderCaptions test.)
        {v, "{date} {time}|{camera}|{iso} {focal}", "2024-05-17 06:40|Canon EOS R5|ISO 200 50 mm"},
        {v, "{filename}|{description}", "IMG_0042.JPG|Harbour at dawn"},
        {v, "{title}|{Model name}|{camera}|{Title}", "Column title|Skiff|Canon EOS R5|{Title}"},
        {none, "Taken {date} with {camera}.", "Taken  with ."},
        {v, "{{date}} is {date}", "{date} is 2024-05-17"},
        {v, "{weather} {Date} { date} {date", "{weather} {Date} { date} {date"},
        {v, "a } b {{ c }} {", "a } b { c } {"},
        {v, "{ {iso}}", "{ ISO 200}"},
        // Dates and times in a pattern, in the language asked; bad patterns
        // stay as written.
        {v, "{date:d MMMM yyyy}, {date:dddd} {time:HH:mm:ss}", "24 June 2009, Wednesday 09:41:07"},
        {german, "{date:d. MMMM yyyy}, {date:dddd} {time:H 'Uhr' mm}",
         "24. Juni 2009, Mittwoch 9 Uhr 41"},
        {german, "{date:d MMM 'yy}", "{date:d MMM 'yy}"},
        {v, longPattern, longPattern},
        {v, "{date:''}{date:'d'}", "'d"},
        {none, "{date:d MMMM yyyy}", ""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(substitutePlaceholders(row.text, row.values), row.filled)
            << row.text.left(60).toStdString();

    // A picture with no metadata: its file name only. A caption that shows
    // the description shows it filled in, and braces in it are not read again.
    PictureDocument document;
    document.picture = QImage(64, 48, QImage::Format_RGB32);
    document.fileName = QStringLiteral("plain.jpg");
    Caption caption;
    caption.text = QStringLiteral("[{date}] {{x}} {unknown} {filename}");
    caption.useTextAsDescription = true;
    document.captions.append(caption);
    EXPECT_EQ(savedDescription(document), QStringLiteral("[] {x} {unknown} plain.jpg"));
    document.captions.at(0)->text = QStringLiteral("{{filename}}");
    Caption shows;
    shows.useDescriptionAsText = true;
    EXPECT_EQ(displayedText(shows, savedDescription(document)), QStringLiteral("{filename}"));
}

TEST(Description, BytesDecodeAsUtf8WithWindows1252ForTheRestAndAreStoredAsUtf8CutToFit) {
    EXPECT_EQ(decodeDescription("\xE6\x9D\xB1\xE4\xBA\xAC"), QString::fromUtf8("東京"));
    EXPECT_EQ(decodeDescription("\x80 \x93quoted\x94 \xE9"), QString::fromUtf8("€ “quoted” é"));
    // Broken or overlong sequences fall back byte by byte; nothing is lost.
    EXPECT_EQ(decodeDescription("\xC3\x28"), QString::fromUtf8("Ã("));
    EXPECT_EQ(decodeDescription("\xC0\xAF"), QString::fromUtf8("À¯"));
    EXPECT_EQ(decodeDescription("\xED\xA0\x80"), QString::fromUtf8("í\u00A0€"));
    EXPECT_EQ(decodeDescription("\x81\x8D"), QString(QChar(0x81)) + QChar(0x8D));
    // A sequence cut at the end is dropped only when the reader cut the text.
    EXPECT_EQ(decodeDescription("ab\xE6\x9D", true), "ab");
    EXPECT_EQ(decodeDescription("ab\xE6\x9D", false), QString::fromUtf8("abæ\u009D"));
    EXPECT_EQ(decodeDescription(std::string_view("a\0b", 3)), "a");
    // Stored as UTF-8, cut at a character to fit one segment.
    EXPECT_EQ(encodeDescription(QString::fromUtf8("Café")), QByteArray("Caf\xC3\xA9"));
    EXPECT_EQ(encodeDescription(QString("ab") + QChar(0) + "cd"), QByteArray("ab"));
    // 65499 ASCII bytes then a 3-byte character: it does not fit, so it goes.
    const QString straddling = QString(65499, 'a') + QString::fromUtf8("東");
    EXPECT_EQ(encodeDescription(straddling).size(), 65499);
    const QString fitting = QString(65497, 'a') + QString::fromUtf8("東");
    EXPECT_EQ(encodeDescription(fitting).size(), kMaxDescriptionBytes);
}
