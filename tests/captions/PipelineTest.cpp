#include "captions/DescriptionText.h"
#include "pipeline/PicturePipeline.h"
#include "tests/support/ExifBuilder.h"
#include "tests/support/QtPaths.h"
#include "tests/support/TestPhotos.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace testing_support;
namespace fs = std::filesystem;

namespace {
using Bytes = std::vector<std::uint8_t>;

QImage Photo(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            image.setPixel(x, y, qRgb((x * 5) % 256, (y * 3) % 256, 128));
        }
    }
    return image;
}

PictureDocument Opened(const fs::path& file) {
    PictureDocument document;
    const PipelineResult result = openPicture(document, Q(file));
    EXPECT_TRUE(result.ok) << result.message.toStdString();
    return document;
}

std::string Utf8(const QString& text) {
    return text.toUtf8().toStdString();
}

// A text of exactly `bytes` UTF-8 bytes (or just under, when a character
// would straddle the end), repeating the pattern.
QString TextOfBytes(const QString& pattern, qsizetype bytes) {
    QString text;
    for (qsizetype i = 0;; ++i) {
        const QChar c = pattern[i % pattern.size()];
        if ((text + c).toUtf8().size() > bytes) {
            return text;
        }
        text += c;
    }
}
} // namespace

TEST(Pipeline, OpenFillsTheDocumentAndKeepsCaptions) {
    TempDir dir;
    WriteBytes(dir.file("a.jpg"),
               JpegOf(Photo(40, 30), {DescriptionSegment("Caf\xE9 \xC3\xA9t\xC3\xA9")}));
    PictureDocument document;
    Caption caption;
    caption.text = "kept";
    document.captions.append(caption);
    const PipelineResult result = openPicture(document, Q(dir.file("a.jpg")));
    ASSERT_TRUE(result.ok);
    EXPECT_TRUE(result.message.isEmpty());
    EXPECT_EQ(document.width(), 40u);
    EXPECT_EQ(document.height(), 30u);
    EXPECT_EQ(document.picture.size(), QSize(40, 30));
    // Bytes that are not UTF-8 read as Windows-1252; UTF-8 reads as UTF-8.
    EXPECT_EQ(document.description, QString::fromUtf8("Café été"));
    EXPECT_EQ(document.captions.count(), 1);

    // A picture close to what was encoded, the right way up.
    const QImage source = Photo(40, 30);
    for (const QPoint p : {QPoint(0, 0), QPoint(39, 0), QPoint(20, 29)}) {
        EXPECT_NEAR(qRed(document.picture.pixel(p)), qRed(source.pixel(p)), 12);
        EXPECT_NEAR(qGreen(document.picture.pixel(p)), qGreen(source.pixel(p)), 12);
    }
}

TEST(Pipeline, FilesThatCannotBeOpenedLeaveTheDocumentAndSayWhy) {
    TempDir dir;
    WriteBytes(dir.file("good.jpg"), JpegOf(Photo(64, 48), {DescriptionSegment("good")}));
    const Bytes full = JpegOf(Photo(400, 300));
    WriteBytes(dir.file("empty.jpg"), {});
    WriteBytes(dir.file("text.jpg"), Bytes{'h', 'e', 'l', 'l', 'o', '\n'});
    WriteBytes(dir.file("header-cut.jpg"), Bytes(full.begin(), full.begin() + 100));
    fs::create_directory(dir.file("folder.jpg"));

    PictureDocument document = Opened(dir.file("good.jpg"));
    const QImage before = document.picture;
    struct Case {
        const char* name;
        const char* reason;
    };
    for (const Case& c : {Case{"missing.jpg", "No such file"}, Case{"empty.jpg", "Empty input"},
                          Case{"text.jpg", "Not a JPEG"}, Case{"header-cut.jpg", "JPEG"},
                          Case{"folder.jpg", "folder"}}) {
        const PipelineResult result = openPicture(document, Q(dir.file(c.name)));
        EXPECT_FALSE(result.ok) << c.name;
        EXPECT_NE(result.message.indexOf(QString::fromStdString(dir.file(c.name).string())), -1)
            << Utf8(result.message);
        EXPECT_NE(result.message.indexOf(c.reason), -1) << Utf8(result.message);
        EXPECT_EQ(document.picture, before);
        EXPECT_EQ(document.width(), 64u);
        EXPECT_EQ(document.description, "good");
    }

    // Cut inside the scan, the picture still opens: what is missing is grey.
    WriteBytes(dir.file("scan-cut.jpg"), Bytes(full.begin(), full.begin() + full.size() / 2));
    EXPECT_TRUE(openPicture(document, Q(dir.file("scan-cut.jpg"))).ok);
    EXPECT_EQ(document.description, "");
}

TEST(Pipeline, TheDescriptionSegmentSitsAfterTheEncodersHeader) {
    TempDir dir;
    WriteBytes(dir.file("in.jpg"), JpegOf(Photo(32, 16)));
    PictureDocument document = Opened(dir.file("in.jpg"));
    ASSERT_TRUE(savePicture(document, Q(dir.file("plain.jpg"))).ok);
    document.description = "0123456789";
    ASSERT_TRUE(savePicture(document, Q(dir.file("described.jpg"))).ok);

    const Bytes plain = ReadBytes(dir.file("plain.jpg"));
    const Bytes described = ReadBytes(dir.file("described.jpg"));
    ASSERT_EQ(described.size(), plain.size() + 47);
    const Bytes segment = {0xFF, 0xE1, 0x00, 0x2D, 'E',  'x',  'i',  'f',  0x00, 0x00, 0x49, 0x49,
                           0x2A, 0x00, 0x08, 0x00, 0x00, 0x00, 0x01, 0x00, 0x0E, 0x01, 0x02, 0x00,
                           0x0A, 0x00, 0x00, 0x00, 0x1A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                           '0',  '1',  '2',  '3',  '4',  '5',  '6',  '7',  '8',  '9',  0x06};
    Bytes expected(plain.begin(), plain.begin() + 20);
    expected.insert(expected.end(), segment.begin(), segment.end());
    expected.insert(expected.end(), plain.begin() + 20, plain.end());
    EXPECT_EQ(described, expected);
    // No description, no APP1.
    EXPECT_NE(plain[20] == 0xFF && plain[21] == 0xE1, true);
}

TEST(Pipeline, DescriptionsOfEveryLengthReadBackInOutsideToolsAndOurs) {
    TempDir dir;
    WriteBytes(dir.file("in.jpg"), JpegOf(Photo(48, 32)));
    const QString ascii = "The quick brown fox jumps over the lazy dog. ";
    const QString mixed = QString::fromUtf8("Café au lait, 東京. ");
    for (const QString& pattern : {ascii, mixed}) {
        for (qsizetype length : {1, 4, 5, 999, 70000}) {
            const QString text = TextOfBytes(pattern, length);
            if (text.isEmpty()) {
                continue; // no character of this pattern fits in one byte
            }
            PictureDocument document = Opened(dir.file("in.jpg"));
            document.description = text;
            const fs::path out = dir.file("out-" + std::to_string(length) + ".jpg");
            const PipelineResult saved = savePicture(document, Q(out));
            ASSERT_TRUE(saved.ok) << Utf8(saved.message);

            const QByteArray stored = encodeDescription(text);
            EXPECT_LE(stored.size(), kMaxDescriptionBytes);
            EXPECT_TRUE(text.toUtf8().startsWith(stored));
            EXPECT_EQ(stored.size() == text.toUtf8().size(), length <= kMaxDescriptionBytes);
            const std::string label = Utf8(pattern.left(3)) + " " + std::to_string(length);

            const CommandResult exiftool =
                testing_support::Run("exiftool -b -IFD0:ImageDescription " + Quote(out.string()));
            EXPECT_EQ(exiftool.output, stored.toStdString()) << label;
            const CommandResult exiv2 = testing_support::Run(
                "exiv2 -q -Pv -K Exif.Image.ImageDescription " + Quote(out.string()));
            std::string exiv2Text = exiv2.output;
            if (!exiv2Text.empty() && exiv2Text.back() == '\n') {
                exiv2Text.pop_back();
            }
            EXPECT_EQ(exiv2Text, stored.toStdString()) << label;

            PictureDocument reopened = Opened(out);
            if (stored.size() <= 999) {
                EXPECT_EQ(reopened.description, text) << label;
            } else {
                // Our reader keeps 999 bytes; a character cut there is dropped.
                const QString& kept = reopened.description;
                EXPECT_TRUE(text.startsWith(kept)) << label;
                EXPECT_GE(kept.toUtf8().size(), 996) << label;
            }
            const CommandResult djpeg = testing_support::Run("djpeg -pnm " + Quote(out.string()));
            Pnm pnm;
            ASSERT_TRUE(ParsePnm(Bytes(djpeg.output.begin(), djpeg.output.end()), pnm));
            EXPECT_EQ(pnm.width, 48);
            EXPECT_EQ(pnm.height, 32);
        }
    }
}

TEST(Pipeline, SavedFilesCarryBandsCaptionsAndTheCaptionDescription) {
    TempDir dir;
    WriteBytes(dir.file("in.jpg"), JpegOf(Photo(200, 100), {DescriptionSegment("From camera")}));
    PictureDocument document = Opened(dir.file("in.jpg"));
    // Without captions the file's own description is written back.
    ASSERT_TRUE(savePicture(document, Q(dir.file("same.jpg"))).ok);
    EXPECT_EQ(testing_support::Run("exiftool -b -ImageDescription " +
                                   Quote(dir.file("same.jpg").string()))
                  .output,
              "From camera");

    Caption top;
    top.disposition = Disposition::TopBand;
    top.text = "Top band";
    top.sizeUnit = SizeUnit::Pixels; // 14 pixels on this 100-pixel-high photo
    Caption bottom = top;
    bottom.disposition = Disposition::BottomBand;
    Caption description;
    description.text = "Written by a caption";
    description.useTextAsDescription = true;
    document.captions.append(top);
    document.captions.append(bottom);
    document.captions.append(description);
    // Saving over the file that was opened works.
    ASSERT_TRUE(savePicture(document, Q(dir.file("in.jpg"))).ok);

    const CommandResult djpeg =
        testing_support::Run("djpeg -pnm " + Quote(dir.file("in.jpg").string()));
    Pnm pnm;
    ASSERT_TRUE(ParsePnm(Bytes(djpeg.output.begin(), djpeg.output.end()), pnm));
    EXPECT_EQ(pnm.width, 200);
    EXPECT_GT(pnm.height, 100 + 2 * 14);
    EXPECT_LT(pnm.height, 100 + 2 * 20);
    EXPECT_EQ(
        testing_support::Run("exiftool -b -ImageDescription " + Quote(dir.file("in.jpg").string()))
            .output,
        "Written by a caption");
    EXPECT_EQ(Listing(dir.path()), (std::set<std::string>{"in.jpg", "same.jpg"}));
}

TEST(Pipeline, FailedSavesKeepTheOldFileAndLeaveNothingBehind) {
    TempDir dir;
    WriteBytes(dir.file("in.jpg"), JpegOf(Photo(300, 200)));
    PictureDocument document = Opened(dir.file("in.jpg"));
    document.description = "New";

    // No picture: nothing is written, and the reason is given.
    PictureDocument empty;
    const PipelineResult none = savePicture(empty, Q(dir.file("none.jpg")));
    EXPECT_FALSE(none.ok);
    EXPECT_NE(none.message.indexOf("no picture"), -1);
    EXPECT_FALSE(fs::exists(dir.file("none.jpg")));

    const PipelineResult missing = savePicture(document, Q(dir.file("no/such/folder/x.jpg")));
    EXPECT_FALSE(missing.ok);
    EXPECT_NE(missing.message.indexOf("No such file"), -1) << Utf8(missing.message);
    EXPECT_NE(missing.message.indexOf("x.jpg"), -1);

    fs::create_directory(dir.file("folder.jpg"));
    WriteBytes(dir.file("folder.jpg") / "inside", {1, 2, 3});
    const PipelineResult folder = savePicture(document, Q(dir.file("folder.jpg")));
    EXPECT_FALSE(folder.ok);
    EXPECT_NE(folder.message.indexOf("folder"), -1);
    EXPECT_EQ(Listing(dir.file("folder.jpg")), std::set<std::string>{"inside"});

    // A save cut short by the file size limit, as by a full disk.
    const Bytes old = ReadBytes(dir.file("in.jpg"));
    ASSERT_GT(old.size(), 2000u);
    PipelineResult cut;
    {
        const FileSizeLimit limit(1000);
        ASSERT_TRUE(limit.active());
        cut = savePicture(document, Q(dir.file("in.jpg")));
    }
    EXPECT_FALSE(cut.ok);
    EXPECT_NE(cut.message.indexOf("too large"), -1) << Utf8(cut.message);
    EXPECT_EQ(ReadBytes(dir.file("in.jpg")), old);
    EXPECT_EQ(Listing(dir.path()), (std::set<std::string>{"folder.jpg", "in.jpg"}));
}

TEST(Pipeline, ReadOnlyFolderRefusesTheSaveAndKeepsTheOldFile) {
    TempDir dir;
    fs::permissions(dir.path(),
                    fs::perms::all & ~(fs::perms::group_write | fs::perms::others_write));
    const fs::path folder = dir.file("locked");
    fs::create_directory(folder);
    WriteBytes(folder / "in.jpg", JpegOf(Photo(32, 32)));
    const Bytes old = ReadBytes(folder / "in.jpg");
    PictureDocument document = Opened(folder / "in.jpg");
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read |
                                fs::perms::others_exec);

    // The superuser may write anywhere: save as an ordinary user then.
    const auto save = [&] { return savePicture(document, Q(folder / "in.jpg")); };
    if (geteuid() == 0) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (setgid(65534) != 0 || setuid(65534) != 0) {
                _exit(3);
            }
            const PipelineResult result = save();
            const bool explained = result.message.indexOf("Permission denied") != -1;
            _exit(result.ok ? 1 : (explained ? 0 : 2));
        }
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "1: saved, 2: no reason given, 3: no user";
    } else {
        const PipelineResult result = save();
        EXPECT_FALSE(result.ok);
        EXPECT_NE(result.message.indexOf("Permission denied"), -1) << Utf8(result.message);
    }
    EXPECT_EQ(ReadBytes(folder / "in.jpg"), old);
    EXPECT_EQ(Listing(folder), std::set<std::string>{"in.jpg"});
    fs::permissions(folder, fs::perms::owner_all);
}

namespace {
// The opened picture holds djpeg's samples turned upright by the photo's
// orientation; grey files come through their palette as equal red, green
// and blue. Four-component files may be one lower (djpeg rounds the inverted
// CMYK product).
void ExpectPictureIsDjpegs(const QImage& picture, const fs::path& source, int orientation) {
    const CommandResult djpeg = testing_support::Run("djpeg -pnm " + Quote(source.string()));
    Pnm stored;
    ASSERT_TRUE(ParsePnm(Bytes(djpeg.output.begin(), djpeg.output.end()), stored));
    const Pnm pnm = testing_support::Upright(stored, orientation);
    ASSERT_EQ(QSize(pnm.width, pnm.height), picture.size());
    int worst = 0;
    for (int y = 0; y < pnm.height; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
        for (int x = 0; x < pnm.width; ++x) {
            const std::uint8_t* s =
                &pnm.samples[(static_cast<std::size_t>(y) * pnm.width + x) * pnm.channels];
            const int r = s[0];
            const int g = pnm.channels == 3 ? s[1] : r;
            const int b = pnm.channels == 3 ? s[2] : r;
            worst = std::max({worst, std::abs(qRed(row[x]) - r), std::abs(qGreen(row[x]) - g),
                              std::abs(qBlue(row[x]) - b)});
        }
    }
    EXPECT_LE(worst, 1);
}
} // namespace

TEST(Pipeline, CorpusPhotosKeepSizeAndDescriptionThroughOpenAndSave) {
    LUMORA_SKIP_WITHOUT_CORPUS();
    // Every file djpeg decodes cleanly, opened and saved without captions:
    // the opened picture is djpeg's, the saved one has the same size, and
    // exiftool reads back the description we opened.
    TempDir dir;
    std::map<std::string, std::pair<std::string, QSize>> expected; // saved name -> text, size
    std::map<std::string, std::string> otherDescriptions;          // source -> XMP, else IPTC
    {
        const CommandResult run =
            testing_support::Run("exiftool -j -r -XMP-dc:Description -IPTC:Caption-Abstract " +
                                 Quote(CorpusDir().string()));
        for (const QJsonValue& entry :
             QJsonDocument::fromJson(QByteArray::fromStdString(run.output)).array()) {
            const QJsonObject tags = entry.toObject();
            const QString xmp = tags.value("Description").toVariant().toString();
            const QString iptc = tags.value("Caption-Abstract").toVariant().toString();
            otherDescriptions[tags.value("SourceFile").toString().toStdString()] =
                Utf8(xmp.isEmpty() ? iptc : xmp);
        }
    }
    for (const auto& row : ReadManifest()) {
        const std::string& file = row.at("file");
        if (row.at("djpeg_libjpeg_turbo_2.1.5") != "ok") {
            continue;
        }
        SCOPED_TRACE(file);
        PictureDocument document;
        ASSERT_TRUE(openPicture(document, Q(CorpusDir() / file)).ok);
        // The orientation exiftool reads from the first directory.
        const std::string orientation = row.at("exif_orientation");
        ExpectPictureIsDjpegs(document.picture, CorpusDir() / file,
                              orientation.empty() ? 1 : std::stoi(orientation));
        const std::string saved = std::to_string(expected.size()) + ".jpg";
        const PipelineResult result = savePicture(document, Q(dir.file(saved)));
        ASSERT_TRUE(result.ok) << Utf8(result.message);
        expected[dir.file(saved).string()] = {
            encodeDescription(document.description).toStdString(),
            QSize(static_cast<int>(document.width()), static_cast<int>(document.height()))};
        const std::string& exifText = row.at("exif_image_description_json");
        if (exifText.empty()) {
            // Without an EXIF description, the one XMP or IPTC holds.
            EXPECT_EQ(Utf8(document.description), otherDescriptions[(CorpusDir() / file).string()]);
        } else if (exifText.find('\\') == std::string::npos) {
            // exiftool's reading of the source, where it has no escapes.
            EXPECT_EQ(Utf8(document.description), exifText);
        }
    }
    ASSERT_GT(expected.size(), 60u);

    const CommandResult run = testing_support::Run(
        "exiftool -j -n -IFD0:ImageDescription -IFD0:Orientation " + Quote(dir.path().string()));
    const QJsonArray files = QJsonDocument::fromJson(QByteArray::fromStdString(run.output)).array();
    ASSERT_EQ(static_cast<std::size_t>(files.size()), expected.size());
    for (const QJsonValue& entry : files) {
        const QJsonObject tags = entry.toObject();
        const std::string name = tags.value("SourceFile").toString().toStdString();
        const auto& [text, size] = expected.at(name);
        EXPECT_EQ(Utf8(tags.value("ImageDescription").toVariant().toString()), text) << name;
        const CommandResult djpeg = testing_support::Run("djpeg -pnm " + Quote(name));
        Pnm pnm;
        ASSERT_TRUE(ParsePnm(Bytes(djpeg.output.begin(), djpeg.output.end()), pnm)) << name;
        // A copy that keeps its blocks as stored keeps the Orientation
        // that turns it upright.
        const bool sideways = tags.value("Orientation").toInt(1) >= 5;
        EXPECT_EQ(sideways ? QSize(pnm.height, pnm.width) : QSize(pnm.width, pnm.height), size)
            << name;
    }
}
