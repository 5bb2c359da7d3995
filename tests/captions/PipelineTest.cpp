// Open and save of JPEG photos, checked with outside tools.
#include "captions/DescriptionText.h"
#include "pipeline/PicturePipeline.h"
#include "tests/support/ExifBuilder.h"
#include "tests/support/OutsideReaders.h"
#include "tests/support/PictureCompare.h"
#include "tests/support/QtPaths.h"
#include "tests/support/TestPhotos.h"

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

using namespace testing_support;
namespace fs = std::filesystem;

namespace {
using Bytes = std::vector<std::uint8_t>;

QImage Photo(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb((x * 5) % 256, (y * 3) % 256, 128));
    }
    return image;
}

PictureDocument Opened(const fs::path& file) {
    PictureDocument document;
    EXPECT_TRUE(openPicture(document, Q(file)).ok) << file;
    return document;
}

std::string Utf8(const QString& text) {
    return text.toUtf8().toStdString();
}

} // namespace

// An open fills the document (picture, description read as UTF-8 with
// Windows-1252 for the rest) and keeps its captions; a file that cannot be
// opened leaves the document as it was and the message names it and why.
TEST(Pipeline, OpenFillsTheDocumentAndFilesThatCannotBeOpenedLeaveItAndSayWhy) {
    TempDir dir;
    WriteBytes(dir.file("good.jpg"),
               JpegOf(Photo(40, 30), {DescriptionSegment("Caf\xE9 \xC3\xA9t\xC3\xA9")}));
    const Bytes full = JpegOf(Photo(400, 300));
    WriteBytes(dir.file("empty.jpg"), {});
    WriteBytes(dir.file("text.jpg"), Bytes{'h', 'e', 'l', 'l', 'o', '\n'});
    WriteBytes(dir.file("header-cut.jpg"), Bytes(full.begin(), full.begin() + 100));
    fs::create_directory(dir.file("folder.jpg"));

    PictureDocument document;
    document.captions.append(Caption());
    ASSERT_TRUE(openPicture(document, Q(dir.file("good.jpg"))).ok);
    EXPECT_LE(Compare(document.picture, Djpeg(dir.file("good.jpg"))).worst, 1);
    EXPECT_EQ(document.description, QString::fromUtf8("Café été"));
    const QImage before = document.picture;
    for (const auto& [name, reason] :
         {std::pair{"missing.jpg", "No such file"}, std::pair{"empty.jpg", "Empty input"},
          std::pair{"text.jpg", "Not a JPEG"}, std::pair{"header-cut.jpg", "JPEG"},
          std::pair{"folder.jpg", "folder"}}) {
        SCOPED_TRACE(name);
        const PipelineResult failed = openPicture(document, Q(dir.file(name)));
        EXPECT_FALSE(failed.ok);
        EXPECT_TRUE(failed.message.contains(Q(dir.file(name))) && failed.message.contains(reason))
            << Utf8(failed.message);
        EXPECT_TRUE(document.picture == before && document.captions.count() == 1 &&
                    document.description == QString::fromUtf8("Café été"));
    }

    // Cut inside the scan, the picture still opens: what is missing is grey.
    WriteBytes(dir.file("scan-cut.jpg"), Bytes(full.begin(), full.begin() + full.size() / 2));
    EXPECT_TRUE(openPicture(document, Q(dir.file("scan-cut.jpg"))).ok);
    EXPECT_EQ(document.description, "");
}

// A description is one EXIF segment right after the encoder's header, and
// only that: outside readers and ours read every length back, cut at a
// character to fit one segment (our reader keeps 999 bytes).
TEST(Pipeline, DescriptionsOfEveryLengthReadBackInOutsideToolsAndOurs) {
    TempDir dir;
    WriteBytes(dir.file("in.jpg"), JpegOf(Photo(48, 32)));
    ASSERT_TRUE(savePicture(Opened(dir.file("in.jpg")), Q(dir.file("plain.jpg"))).ok);
    const Bytes plain = ReadBytes(dir.file("plain.jpg"));
    EXPECT_FALSE(plain[20] == 0xFF && plain[21] == 0xE1) << "no description, no APP1";
    const QString ascii = "The quick brown fox jumps over the lazy dog. ";
    const QString mixed = QString::fromUtf8("Café au lait, 東京. ");
    for (const QString& pattern : {ascii, mixed}) {
        for (qsizetype length : {1, 4, 5, 999, 70000}) {
            // Exactly `length` UTF-8 bytes, or just under where a character
            // would straddle the end.
            QString text;
            while ((text + pattern[text.size() % pattern.size()]).toUtf8().size() <= length)
                text += pattern[text.size() % pattern.size()];
            if (text.isEmpty())
                continue; // no character of this pattern fits in one byte
            SCOPED_TRACE(Utf8(pattern.left(3)) + " " + std::to_string(length));
            PictureDocument document = Opened(dir.file("in.jpg"));
            document.description = text;
            const fs::path out = dir.file("out-" + std::to_string(length) + ".jpg");
            ASSERT_TRUE(savePicture(document, Q(out)).ok);
            const Bytes described = ReadBytes(out);
            ASSERT_GT(described.size(), plain.size());
            EXPECT_TRUE(
                std::equal(plain.begin(), plain.begin() + 20, described.begin()) &&
                std::equal(plain.begin() + 20, plain.end(),
                           described.end() - static_cast<std::ptrdiff_t>(plain.size()) + 20) &&
                described[20] == 0xFF && described[21] == 0xE1);

            const QByteArray stored = encodeDescription(text); // cut as the Description test says
            EXPECT_EQ(Shell("exiftool -b -IFD0:ImageDescription " + Quote(out.string())).output,
                      stored.toStdString());
            EXPECT_EQ(
                Shell("exiv2 -q -Pv -K Exif.Image.ImageDescription " + Quote(out.string())).output,
                stored.toStdString() + "\n");
            // Our reader keeps 999 bytes, dropping a character cut there.
            const QString kept = Opened(out).description;
            EXPECT_TRUE(stored.size() <= 999
                            ? kept == text
                            : text.startsWith(kept) && kept.toUtf8().size() >= 996);
        }
    }
}

// A save that fails says why, keeps the file it would have replaced and
// leaves nothing behind; one over the photo opened replaces it.
TEST(Pipeline, FailedSavesKeepTheOldFileAndLeaveNothingBehindASaveOverThePhotoWorks) {
    TempDir dir;
    WriteBytes(dir.file("in.jpg"), JpegOf(Photo(300, 200)));
    const Bytes old = ReadBytes(dir.file("in.jpg"));
    ASSERT_GT(old.size(), 2000u);
    PictureDocument document = Opened(dir.file("in.jpg"));
    document.description = "New";
    fs::create_directory(dir.file("folder.jpg"));
    WriteBytes(dir.file("folder.jpg") / "inside", {1, 2, 3});
    // A folder only its owner may write in, holding the photo.
    fs::create_directory(dir.file("locked"));
    WriteBytes(dir.file("locked/in.jpg"), old);
    fs::permissions(dir.path(),
                    fs::perms::all & ~(fs::perms::group_write | fs::perms::others_write));
    fs::permissions(dir.file("locked"), fs::perms::all & ~fs::perms::owner_write &
                                            ~fs::perms::group_write & ~fs::perms::others_write);
    PictureDocument empty;
    const struct {
        const char* name;
        const PictureDocument& document;
        const char* target;
        const char* reason;
        std::uint64_t sizeLimit; // 0: none
    } rows[] = {
        {"no picture", empty, "none.jpg", "no picture", 0},
        {"no such folder", document, "no/such/folder/x.jpg", "No such file", 0},
        {"a folder", document, "folder.jpg", "folder", 0},
        {"a full disk", document, "in.jpg", "too large", 1000},
        {"a read-only folder", document, "locked/in.jpg", "Permission denied", 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const fs::path target = dir.file(row.target);
        // Whether the save failed and said why (and named the file).
        const auto save = [&] {
            std::optional<FileSizeLimit> limit;
            if (row.sizeLimit != 0)
                limit.emplace(row.sizeLimit);
            const PipelineResult result = savePicture(row.document, Q(target));
            return !result.ok && result.message.contains(row.reason) &&
                   (!row.document.hasPicture() || result.message.contains(Q(target.filename())));
        };
        if (geteuid() == 0 && std::string(row.target).starts_with("locked")) {
            // The superuser may write anywhere: save as an ordinary user.
            const pid_t child = fork();
            ASSERT_GE(child, 0);
            if (child == 0)
                _exit(setgid(65534) != 0 || setuid(65534) != 0 ? 3 : save() ? 0 : 1);
            int status = 0;
            waitpid(child, &status, 0);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
                << "1: saved or no reason given, 3: no user";
        } else {
            EXPECT_TRUE(save());
        }
    }
    EXPECT_TRUE(ReadBytes(dir.file("in.jpg")) == old &&
                ReadBytes(dir.file("locked/in.jpg")) == old);
    EXPECT_EQ(Listing(dir.file("locked")), std::set<std::string>{"in.jpg"});
    EXPECT_EQ(Listing(dir.file("folder.jpg")), std::set<std::string>{"inside"});
    EXPECT_EQ(Listing(dir.path()), (std::set<std::string>{"folder.jpg", "in.jpg", "locked"}));
    fs::permissions(dir.file("locked"), fs::perms::owner_all);
    // Saving over the file that was opened works.
    ASSERT_TRUE(savePicture(document, Q(dir.file("in.jpg"))).ok);
    EXPECT_EQ(Shell("exiftool -b -ImageDescription " + Quote(dir.file("in.jpg").string())).output,
              "New");
    EXPECT_EQ(Listing(dir.path()), (std::set<std::string>{"folder.jpg", "in.jpg", "locked"}));
}

// Every file djpeg decodes cleanly, opened and saved without captions: the
// opened picture is djpeg's, its description what exiftool reads in EXIF,
// else in XMP or IPTC; the saved one has the same size and description.
TEST(Pipeline, CorpusPhotosKeepSizeAndDescriptionThroughOpenAndSave) {
    LUMORA_SKIP_WITHOUT_CORPUS();
    TempDir dir;
    std::map<std::string, std::pair<std::string, QSize>> expected; // saved name -> text, size
    std::vector<std::map<std::string, std::string>> decodable;
    std::vector<fs::path> sources;
    for (const auto& row : ReadManifest()) {
        if (row.at("djpeg_libjpeg_turbo_2.1.5") == "ok") {
            decodable.push_back(row);
            sources.push_back(CorpusDir() / row.at("file"));
        }
    }
    const auto others = Exiftool("-XMP-dc:Description -IPTC:Caption-Abstract", sources);
    for (const auto& row : decodable) {
        const std::string& file = row.at("file");
        SCOPED_TRACE(file);
        PictureDocument document;
        ASSERT_TRUE(openPicture(document, Q(CorpusDir() / file)).ok);
        const std::string orientation = row.at("exif_orientation"); // from the first directory
        // The picture is djpeg's turned upright; four-component files may be
        // one lower (djpeg rounds the inverted CMYK product).
        const Pnm upright =
            Upright(Djpeg(CorpusDir() / file), orientation.empty() ? 1 : std::stoi(orientation));
        EXPECT_LE(Compare(document.picture, upright).worst, 1);
        const std::string saved = dir.file(std::to_string(expected.size()) + ".jpg").string();
        ASSERT_TRUE(savePicture(document, QString::fromStdString(saved)).ok);
        expected[saved] = {encodeDescription(document.description).toStdString(),
                           QSize(int(document.width()), int(document.height()))};
        const std::string& exifText = row.at("exif_image_description_json");
        if (exifText.empty()) {
            const auto found = others.find((CorpusDir() / file).string());
            const QJsonObject tags = found == others.end() ? QJsonObject() : found->second;
            const std::string xmp = Tag(tags, "Description");
            EXPECT_EQ(Utf8(document.description),
                      xmp.empty() ? Tag(tags, "Caption-Abstract") : xmp);
        } else if (exifText.find('\\') == std::string::npos) {
            // exiftool's reading of the source, where it has no escapes.
            EXPECT_EQ(Utf8(document.description), exifText);
        }
    }
    ASSERT_GT(expected.size(), 60u);
    std::vector<fs::path> copies;
    for (const auto& [name, values] : expected)
        copies.push_back(name);
    const auto tags = Exiftool("-n -IFD0:ImageDescription -IFD0:Orientation", copies);
    for (const auto& [name, values] : expected) {
        SCOPED_TRACE(name);
        EXPECT_EQ(Tag(tags.at(name), "ImageDescription"), values.first);
        // A copy that keeps its blocks as stored keeps the Orientation
        // that turns it upright.
        const Pnm pnm = Djpeg(name);
        const bool sideways = tags.at(name).value("Orientation").toInt(1) >= 5;
        EXPECT_EQ(sideways ? QSize(pnm.height, pnm.width) : QSize(pnm.width, pnm.height),
                  values.second);
    }
}

// Photos open upright by their EXIF Orientation, as viewers show them, and
// their copies say Orientation 1 (or nothing) so that viewers leave them be.
TEST(Orientation, EachOfTheEightOpensUprightPixelForPixelAndSavesAsOne) {
    LUMORA_SKIP_WITHOUT_CORPUS();
    TempDir dir;
    // The upright photo, cut to whole 16-pixel blocks so that jpegtran's
    // turns and flips are exact.
    const fs::path upright = dir.file("upright.jpg");
    ASSERT_EQ(Shell("jpegtran -copy all -crop 480x352+0+0 -outfile " + Quote(upright.string()) +
                    " " + Quote((CorpusDir() / "camera/exifr_img_1771.jpg").string()))
                  .exitCode,
              0);
    const Pnm seen = Djpeg(upright);
    // What each value asks a viewer to undo, made with jpegtran.
    const char* const turns[] = {"",           "-flip horizontal", "-rotate 180", "-flip vertical",
                                 "-transpose", "-rotate 270",      "-transverse", "-rotate 90"};
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        const fs::path file = dir.file("turned" + std::to_string(orientation) + ".jpg");
        ASSERT_EQ(Shell("jpegtran -perfect -copy all " + std::string(turns[orientation - 1]) +
                        " -outfile " + Quote(file.string()) + " " + Quote(upright.string()) +
                        " && exiftool -q -overwrite_original -n -Orientation#=" +
                        std::to_string(orientation) + " " + Quote(file.string()))
                      .exitCode,
                  0);
        const PictureDocument document = Opened(file);
        // djpeg's pixels of the stored picture, turned upright...
        EXPECT_EQ(Compare(document.picture, Upright(Djpeg(file), orientation)).worst, 0);
        // ...which is the photo as it was before it was turned (jpegtran is
        // exact on the blocks; only the colour upsampling's rounding differs).
        EXPECT_LT(Compare(document.picture, seen).mean, 1.5);
        const fs::path saved = dir.file("saved" + std::to_string(orientation) + ".jpg");
        ASSERT_TRUE(savePicture(document, Q(saved)).ok);
        const std::string written = Tag(ExiftoolOf(saved, "-n -IFD0:Orientation"), "Orientation");
        EXPECT_TRUE(written == "1" || written.empty()) << written;
        EXPECT_LT(Compare(document.picture, Djpeg(saved)).mean, 3.0);
    }
}

TEST(Orientation, OddValuesAndTheThumbnailsOrientationLeaveThePictureAsStored) {
    TempDir dir;
    const QImage picture = Photo(40, 24);
    const auto withIfd0 = [](std::uint16_t value, bool motorola) {
        TiffBuilder tiff(motorola);
        tiff.AddDirectory({{0x0112, 3, 1, tiff.U16(value)}});
        return ExifSegment(tiff.Bytes());
    };
    // IFD0 without Orientation, linked to IFD1 (the thumbnail's) with 6.
    TiffBuilder thumbnailOnly(false);
    thumbnailOnly.AddDirectory({{0x010F, 2, 4, TiffBuilder::Text("Cam")}}, 26);
    thumbnailOnly.AddDirectory({{0x0112, 3, 1, thumbnailOnly.U16(6)}});
    WriteBytes(dir.file("plain.jpg"), JpegOf(picture));
    const QImage asStored = Opened(dir.file("plain.jpg")).picture;
    ASSERT_EQ(asStored.size(), QSize(40, 24));
    for (const auto& [name, segment] :
         {std::pair{"zero", withIfd0(0, false)}, std::pair{"nine", withIfd0(9, true)},
          std::pair{"thumbnail says 6", ExifSegment(thumbnailOnly.Bytes())}}) {
        SCOPED_TRACE(name);
        WriteBytes(dir.file("odd.jpg"), JpegOf(picture, {segment}));
        const PictureDocument document = Opened(dir.file("odd.jpg"));
        EXPECT_TRUE(document.picture == asStored && savePicture(document, Q(dir.file("o.jpg"))).ok);
    }
    // And a real 6 in IFD0 turns it.
    WriteBytes(dir.file("six.jpg"), JpegOf(picture, {withIfd0(6, false)}));
    const QImage six = Opened(dir.file("six.jpg")).picture;
    EXPECT_TRUE(six.size() == QSize(24, 40) && six.pixel(23, 0) == asStored.pixel(0, 0));
}
