// Photos of the other formats through open and save, checked with outside tools.
#include "pipeline/PicturePipeline.h"
#include "tests/support/ExifBuilder.h"
#include "tests/support/OutsideReaders.h"
#include "tests/support/PictureCompare.h"
#include "tests/support/QtPaths.h"

#include <QDir>

#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <sstream>

using namespace testing_support;
namespace fs = std::filesystem;

namespace {
fs::path FormatsDir() {
    return CorpusDir() / "formats";
}

std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

// A corpus file, or one the test made in `dir`.
fs::path Source(const std::string& name, const TempDir& dir) {
    return fs::exists(FormatsDir() / name) ? FormatsDir() / name : dir.file(name);
}
} // namespace

// pil_icc_profile.avif is not among them: heif-convert cannot write its
// profile into a PNG (libpng refuses it) and so gives no reference.
TEST(OtherFormats, OpenedPictureMatchesOutsideDecoderUpright) {
    LUMORA_SKIP_WITHOUT_CORPUS();
    const std::vector<std::string> files =
        Words("mei_IMG_1034.heic mei_IMG_2927.HEIC mei_cheers_1440x960.heic pil_hopper.heif "
              "mei_Issue_487.heic pil_rot0mir0.avif pil_rot0mir1.avif pil_rot1mir0.avif "
              "pil_rot1mir1.avif pil_rot2mir0.avif pil_rot2mir1.avif pil_rot3mir0.avif "
              "pil_rot3mir1.avif "
              "pil_transparency.avif pil_exif.png pil_exif_imagemagick_orientation.png "
              "pil_mode_16bit.png etool_PNG.png pil_16bit.cropped.tif pil_g4_orientation_1.tif "
              "pil_g4_orientation_3.tif pil_g4_orientation_6.tif pil_g4_orientation_8.tif "
              "pil_hopper.iccprofile.tif pil_flower.webp pil_hopper.webp flower-10bit.heic");
    TempDir dir;
    // A 10-bit HEIC, from a 16-bit PNG of the flower that Qt writes.
    ASSERT_TRUE(QImage(Q(FormatsDir() / "pil_flower.webp"))
                    .convertToFormat(QImage::Format_RGBX64)
                    .save(Q(dir.file("flower-16bit.png")), "PNG"));
    ASSERT_EQ(Shell("heif-enc -b 10 -o " + Quote(dir.file("flower-10bit.heic").string()) + " " +
                    Quote(dir.file("flower-16bit.png").string()))
                  .exitCode,
              0);
    for (const std::string& name : files) {
        SCOPED_TRACE(name);
        const fs::path source = Source(name, dir);
        PictureDocument document;
        const PipelineResult opened = openPicture(document, Q(source));
        ASSERT_TRUE(opened.ok) << opened.message.toStdString();
        const fs::path reference = dir.file("reference.ppm");
        ASSERT_EQ(Shell("/usr/bin/python3 " +
                        Quote(LUMORA_TESTS_DIR "/formats/reference-picture.py") + " " +
                        Quote(source.string()) + " " + Quote(reference.string()))
                      .exitCode,
                  0);
        Pnm expected;
        ASSERT_TRUE(ParsePnm(ReadBytes(reference), expected));
        EXPECT_GE(Compare(document.picture, expected).psnr, 40.0)
            << document.picture.width() << " x " << document.picture.height() << " against "
            << expected.width << " x " << expected.height;
    }
}

// Each format's JPEG copy decodes, carries what exiftool reads from the source,
// is upright with no Orientation left, and is sampled as the format asks.
TEST(OtherFormats, SavedCopyDecodesAndCarriesWhatExiftoolReadsFromTheSource) {
    LUMORA_SKIP_WITHOUT_CORPUS();
    // Lossy formats are sampled 4:2:0 in the copy, lossless ones 4:4:4.
    const std::string lossy = "mei_IMG_1034.heic mei_IMG_2927.HEIC mei_exif-at-eof.heic "
                              "mei_Issue_487.heic mei_Issue_649.avif pil_exif.avif "
                              "pil_icc_profile.avif pil_flower.webp";
    const std::vector<std::string> names =
        Words(lossy + " pil_exif.png pil_exif_imagemagick_orientation.png exv2_1343_exif.png "
                      "etool_ExifTool.tif pil_hopper.iccprofile.tif pil_g4_orientation_6.tif "
                      "flower-lossless.webp");
    TempDir dir;
    // A lossless WebP with the flower's EXIF, made by Pillow.
    ASSERT_EQ(Shell("/usr/bin/python3 -c 'import sys; from PIL import Image; "
                    "im = Image.open(sys.argv[1]); "
                    "im.save(sys.argv[2], \"WEBP\", lossless=True, exif=im.info[\"exif\"])' " +
                    Quote((FormatsDir() / "pil_flower.webp").string()) + " " +
                    Quote(dir.file("flower-lossless.webp").string()))
                  .exitCode,
              0);
    const char* const carried[] = {"Make",        "Model",        "DateTimeOriginal",
                                   "GPSLatitude", "GPSLongitude", "ProfileDescription"};
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const fs::path source = Source(name, dir);
        PictureDocument document;
        ASSERT_TRUE(openPicture(document, Q(source)).ok);
        const fs::path copy = dir.file(name + "-captioned.jpg");
        const PipelineResult saved = savePicture(document, Q(copy));
        ASSERT_TRUE(saved.ok) << saved.message.toStdString();
        EXPECT_TRUE(saved.note.isEmpty()) << saved.note.toStdString();

        EXPECT_EQ(DjpegComplaints(copy), "");
        const Pnm decoded = Djpeg(copy);
        EXPECT_EQ(QSize(decoded.width, decoded.height), document.picture.size());
        const QJsonObject before = ExiftoolOf(source, "-n");
        const QJsonObject after = ExiftoolOf(copy, "-n");
        for (const char* tag : carried)
            EXPECT_EQ(Tag(after, tag), Tag(before, tag)) << tag;
        const std::string orientation = Tag(after, "Orientation");
        EXPECT_TRUE(orientation.empty() || orientation == "1") << orientation;
        // A TIFF's strip layout describes its own file, never the copy's.
        EXPECT_EQ(Tag(after, "StripOffsets") + Tag(after, "StripByteCounts"), "");
        EXPECT_EQ(Tag(after, "YCbCrSubSampling"),
                  lossy.find(name) != std::string::npos ? "2 2" : "1 1");
    }
}

namespace {

using Bytes = std::vector<std::uint8_t>;

// The bytes with `patch` written at the first place `marker` is found,
// `skip` bytes after its start.
Bytes Patched(Bytes bytes, const std::string& marker, std::size_t skip, const Bytes& patch) {
    const auto at = std::search(bytes.begin(), bytes.end(), marker.begin(), marker.end());
    EXPECT_NE(at, bytes.end()) << marker;
    if (at != bytes.end())
        std::copy(patch.begin(), patch.end(), at + static_cast<std::ptrdiff_t>(skip));
    return bytes;
}

std::uint32_t Crc32(const std::uint8_t* p, std::size_t n) {
    std::uint32_t crc = 0xFFFFFFFF;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    return ~crc;
}

void PutBigEndian(Bytes& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

// A TIFF of `pages` grey 2 x 2 pages, the strips at `stripOffset` (0: the
// page's own 4 bytes, in the value field of its last entry).
Bytes GreyTiff(int pages, std::uint32_t stripOffset) {
    TiffBuilder tiff(false);
    for (int page = 0; page < pages; ++page) {
        const std::uint32_t start = tiff.Size();
        const std::uint32_t strip = stripOffset ? stripOffset : TiffBuilder::ValueField(start, 8);
        const std::uint32_t fields[8][2] = {{256, 2}, {257, 2},     {258, 8}, {259, 1},
                                            {262, 1}, {273, strip}, {278, 2}, {279, 4}};
        std::vector<TiffBuilder::Entry> entries;
        for (const auto& [tag, value] : fields) { // LONG or SHORT
            const bool isLong = tag == 273 || tag == 279;
            entries.push_back({std::uint16_t(tag), std::uint16_t(isLong ? 4 : 3), 1,
                               isLong ? tiff.U32(value) : tiff.U16(std::uint16_t(value))});
        }
        entries.push_back({65000, 7, 4, {0x20, 0x40, 0x60, 0x80}});
        tiff.AddDirectory(entries, page + 1 < pages ? start + 2 + 12 * 9 + 4 : 0);
    }
    return tiff.Bytes();
}

} // namespace

// Damaged and hostile files of each format: a clear message that names the
// file and the reason, never a crash, a hang or a huge allocation.
TEST(OtherFormats, DamagedFilesAreRefusedWithAMessageNamingTheFileAndTheReason) {
    LUMORA_SKIP_WITHOUT_CORPUS();
    TempDir dir;
    const Bytes heic = ReadBytes(FormatsDir() / "mei_IMG_1034.heic");
    const Bytes avif = ReadBytes(FormatsDir() / "pil_rot0mir0.avif");
    const Bytes webp = ReadBytes(FormatsDir() / "pil_hopper.webp");
    QImage small(32, 24, QImage::Format_RGB32);
    small.fill(qRgb(200, 120, 40));
    ASSERT_TRUE(small.save(Q(dir.file("small.png")), "PNG"));
    const Bytes png = ReadBytes(dir.file("small.png"));
    Bytes badCrc = png;
    badCrc[badCrc.size() - 16] ^= 0xFF; // inside the IDAT chunk's CRC
    // 65,536 x 65,537 pixels, its header CRC right: 65,536 pixels more than
    // 32 bits count.
    Bytes bomb = png;
    PutBigEndian(bomb, 16, 65536);
    PutBigEndian(bomb, 20, 65537);
    PutBigEndian(bomb, 29, Crc32(bomb.data() + 12, 17));
    struct Row {
        const char* name;
        Bytes bytes;
        const char* reason;
    };
    const Row rows[] = {
        {"truncated.heic", Bytes(heic.begin(), heic.begin() + 3000), "not a HEIF or AVIF picture"},
        {"self-reference.heic", Patched(heic, "dimg", 8, {0x00, 0x31}),
         "not a HEIF or AVIF picture"},
        {"65536-tiles.heic", Patched(heic, "idat", 6, {0xFF, 0xFF}), "not a HEIF or AVIF picture"},
        {"million-square.avif",
         Patched(avif, "ispe", 8, {0, 0x0F, 0x42, 0x40, 0, 0x0F, 0x42, 0x40}),
         "is too large to open: its picture is larger than a JPEG copy can be"},
        {"bad-crc.png", badCrc, "not a PNG picture"},
        {"bomb.png", bomb, "is too large to open: 65536 × 65537 pixels (4295 megapixels)"},
        {"strips-past-end.tif", GreyTiff(1, 1'000'000), "not a TIFF picture"},
        {"chunk-size.webp", Patched(webp, "VP8 ", 4, {0xF0, 0xFF, 0xFF, 0x7F}),
         "not a WebP picture"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        WriteBytes(dir.file(row.name), row.bytes);
        PictureDocument document;
        const PipelineResult opened = openPicture(document, Q(dir.file(row.name)));
        EXPECT_FALSE(opened.ok);
        EXPECT_TRUE(opened.message.contains(QDir::toNativeSeparators(Q(dir.file(row.name)))) &&
                    opened.message.contains(QString::fromUtf8(row.reason)))
            << opened.message.toStdString();
        EXPECT_FALSE(document.hasPicture());
    }

    // A TIFF of 65,535 pages opens its first, and says so.
    WriteBytes(dir.file("pages.tif"), GreyTiff(65535, 0));
    PictureDocument document;
    const PipelineResult pages = openPicture(document, Q(dir.file("pages.tif")));
    ASSERT_TRUE(pages.ok) << pages.message.toStdString();
    EXPECT_EQ(document.picture.size(), QSize(2, 2));
    EXPECT_TRUE(pages.note.contains(QStringLiteral("65535 pages; only the first was opened")))
        << pages.note.toStdString();
}

// An AVIF described (nclx) as Display P3 gets a made profile whose red is P3's
// (0.5151 0.2412 at D50; sRGB's is 0.4361 0.2225); one described as sRGB none.
TEST(OtherFormats, AColourDescriptionOtherThanSrgbBecomesAMatchingProfileInTheCopy) {
    LUMORA_SKIP_WITHOUT_CORPUS();
    TempDir dir;
    const Bytes srgb = ReadBytes(FormatsDir() / "pil_rot0mir0.avif");
    const std::pair<const char*, Bytes> rows[] = {
        {"p3.avif", Patched(srgb, "colrnclx", 8, {0, 12, 0, 13})},
        {"srgb.avif", srgb},
    };
    for (const auto& [name, bytes] : rows) {
        SCOPED_TRACE(name);
        WriteBytes(dir.file(name), bytes);
        PictureDocument document;
        ASSERT_TRUE(openPicture(document, Q(dir.file(name))).ok);
        ASSERT_TRUE(savePicture(document, Q(dir.file("copy.jpg"))).ok);
        const QJsonObject copy =
            ExiftoolOf(dir.file("copy.jpg"), "-n -ICC_Profile:RedMatrixColumn");
        const QStringList red =
            QString::fromStdString(Tag(copy, "RedMatrixColumn")).split(' ', Qt::SkipEmptyParts);
        const bool p3 = std::string(name) == "p3.avif";
        ASSERT_EQ(red.size(), p3 ? 3 : 0);
        for (int i = 0; p3 && i < 2; ++i)
            EXPECT_NEAR(red[i].toDouble(), i == 0 ? 0.5151 : 0.2412, 0.003);
    }
}
