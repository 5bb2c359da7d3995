#include "codec/ExifReader.h"
#include "image/LxMemFile.h"
#include "tests/support/ExifBuilder.h"

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>

using testing_support::ExifSegment;
using testing_support::JpegWith;
using testing_support::Segment;
using testing_support::TiffBuilder;
using Entry = TiffBuilder::Entry;

namespace {
// Scans bytes with a reader bound to `info`; the stream reads the vector in place.
struct Scan {
    explicit Scan(std::vector<std::uint8_t> data, int mode = ExifReader::ReadMetadata)
        : bytes(std::move(data)), stream(bytes.data(), static_cast<std::uint32_t>(bytes.size())),
          reader(&info) {
        std::memset(&info, 0, sizeof info);
        result = reader.ScanSections(&stream, mode);
    }
    std::vector<std::uint8_t> bytes;
    LxMemFile stream;
    ExifInfo info;
    ExifReader reader;
    bool result = false;
};

Scan ScanTiff(const TiffBuilder& tiff) {
    return Scan(JpegWith({Segment(0xE0, TiffBuilder::Text("JFIF")), ExifSegment(tiff.Bytes())}));
}
} // namespace

TEST(ExifReader, StreamWithoutStartOfImageGivesFalseAndAnEmptyRecord) {
    Scan scan({0x89, 'P', 'N', 'G', 0, 0});
    EXPECT_FALSE(scan.result);
    EXPECT_FALSE(scan.info.isExif);
    EXPECT_STREQ(scan.reader.errorText(), "");
    EXPECT_EQ(scan.reader.sectionCount(), 0);
}

TEST(ExifReader, ReadsFirstDirectoryInBothByteOrders) {
    for (const bool motorola : {false, true}) {
        SCOPED_TRACE(motorola ? "MM" : "II");
        TiffBuilder tiff(motorola);
        tiff.AddDirectory({
            {0x010E, 2, 16, TiffBuilder::Text("Fifteen chars!!")},
            {0x010F, 2, 6, TiffBuilder::Text("Canon")},
            {0x0110, 2, 4, TiffBuilder::Text("G9X")},
            {0x0112, 3, 1, tiff.U16(6)},
            {0x011A, 5, 1, tiff.Rational(300, 1)},
            {0x011B, 5, 1, tiff.Rational(72, 0)},
            {0x0128, 3, 1, tiff.U16(3)},
            {0x9209, 3, 1, tiff.U16(0x19)},
        });
        Scan scan = ScanTiff(tiff);
        EXPECT_TRUE(scan.result);
        EXPECT_TRUE(scan.info.isExif);
        EXPECT_STREQ(scan.info.imageDescription, "Fifteen chars!!");
        EXPECT_STREQ(scan.info.cameraMake, "Canon");
        EXPECT_STREQ(scan.info.cameraModel, "G9X") << "a text of 4 bytes lies in the value field";
        EXPECT_EQ(scan.info.orientation, 6);
        EXPECT_FLOAT_EQ(scan.info.xResolution, 300.0f);
        EXPECT_EQ(scan.info.yResolution, 0.0f) << "a zero denominator gives 0";
        EXPECT_EQ(scan.info.resolutionUnit, 0.3937008f);
        EXPECT_EQ(scan.info.flashUsed, 1);
        // JFIF APP0 is dropped; APP1 and SOS are kept.
        ASSERT_EQ(scan.reader.sectionCount(), 2);
        EXPECT_EQ(scan.reader.section(0).type, 0xE1);
        EXPECT_EQ(scan.reader.section(1).type, 0xDA);
    }
}

TEST(ExifReader, DescriptionIsTakenFromValueFieldOrCutAt999Bytes) {
    TiffBuilder shortOne(false);
    shortOne.AddDirectory({{0x010E, 2, 4, {'a', 'b', 'c', 0}}});
    EXPECT_STREQ(ScanTiff(shortOne).info.imageDescription, "abc");

    TiffBuilder longOne(true);
    longOne.AddDirectory({{0x010E, 2, 1500, TiffBuilder::Text(std::string(1499, 'x'))}});
    Scan scan = ScanTiff(longOne);
    EXPECT_EQ(std::strlen(scan.info.imageDescription), 999u);

    TiffBuilder orientation(false);
    orientation.AddDirectory({{0x0112, 3, 1, orientation.U16(9)}});
    Scan bad = ScanTiff(orientation);
    EXPECT_TRUE(bad.info.isExif) << "an undefined rotation does not fail the block";
    EXPECT_EQ(bad.info.orientation, 0);
    EXPECT_STREQ(bad.reader.errorText(), "Undefined rotation value");
}

TEST(ExifReader, SubDirectoriesNestFiveDeepAndNoFurther) {
    // IFD0 -> five chained EXIF sub-directories, each with an ISO value.
    TiffBuilder tiff(false);
    const std::uint32_t ifd0 = tiff.AddDirectory({{0x8769, 4, 1, tiff.U32(0)}});
    std::uint32_t link = TiffBuilder::ValueField(ifd0, 0);
    for (int level = 1; level <= 5; ++level) {
        const std::uint32_t dir =
            tiff.AddDirectory({{0x8827, 3, 1, tiff.U16(static_cast<std::uint16_t>(100 * level))},
                               {0x8769, 4, 1, tiff.U32(0)}});
        tiff.Patch32(link, dir);
        link = TiffBuilder::ValueField(dir, 1);
    }
    Scan scan = ScanTiff(tiff);
    EXPECT_TRUE(scan.info.isExif) << "results of sub-directories are ignored";
    EXPECT_EQ(scan.info.isoEquivalent, 400) << "depths 0 to 4 parse, the fifth link does not";
    EXPECT_STREQ(scan.reader.errorText(),
                 "Maximum directory nesting exceeded (corrupt exif header)");
}

TEST(ExifReader, DirectoriesLinkingToThemselvesEndQuickly) {
    // A directory whose 400 entries all point back at it: without a bound
    // on the work this fans out into 400^5 parses.
    TiffBuilder tiff(false);
    std::vector<Entry> entries(400, Entry{0x8769, 4, 1, tiff.U32(8)});
    tiff.AddDirectory(entries, 8);
    Scan scan = ScanTiff(tiff);
    EXPECT_TRUE(scan.info.isExif);
    EXPECT_STREQ(scan.reader.errorText(),
                 "Maximum directory nesting exceeded (corrupt exif header)");
}

TEST(ExifReader, BadDirectoriesAreRejectedWithoutReadingPastTheBlock) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> tiff;
        const char* message;
    };
    std::vector<Case> cases;
    {
        TiffBuilder t(false);
        t.AddDirectory({{0x010F, 2, 6, TiffBuilder::Text("Canon")}});
        auto bytes = t.Bytes();
        bytes[8] = 0x50; // 80 entries, far more than the block holds
        cases.push_back({"entry count", bytes, "Illegally sized directory"});
    }
    {
        TiffBuilder t(true);
        t.AddDirectory({{0x010F, 13, 1, {}}});
        cases.push_back({"format 13", t.Bytes(), "Illegal format code in EXIF dir"});
    }
    {
        TiffBuilder t(false);
        t.AddDirectory({{0x010E, 2, 40, t.U32(20)}});
        cases.push_back({"offset past end", t.Bytes(), "Illegal pointer offset value in EXIF."});
    }
    {
        TiffBuilder t(false);
        // 0x40000000 rationals: the byte count overflows 32 bits.
        t.AddDirectory({{0x011A, 5, 0x40000000, t.U32(8)}});
        cases.push_back({"count overflow", t.Bytes(), "Illegal pointer offset value in EXIF."});
    }
    {
        TiffBuilder t(false);
        t.AddDirectory({{0x8769, 4, 1, t.U32(5000)}});
        cases.push_back({"sub-directory link", t.Bytes(), "Illegal subdirectory link"});
    }
    {
        TiffBuilder t(false);
        t.AddDirectory({}, 0x7FFFFFF0);
        cases.push_back({"next link", t.Bytes(), "Illegal subdirectory link"});
    }
    {
        std::vector<std::uint8_t> t = {'I', 'I', 0x2B, 0, 8, 0, 0, 0};
        cases.push_back({"start", t, "Invalid Exif start (1)"});
        cases.push_back(
            {"alignment", {'X', 'X', 0x2A, 0, 8, 0, 0, 0}, "Invalid Exif alignment marker."});
        cases.push_back(
            {"truncated", {'I', 'I', 0x2A, 0, 8, 0, 0, 0}, "Illegally sized directory"});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Scan scan(JpegWith({ExifSegment(c.tiff)}));
        EXPECT_FALSE(scan.info.isExif);
        EXPECT_STREQ(scan.reader.errorText(), c.message);
        EXPECT_TRUE(scan.result) << "a bad EXIF block does not stop the scan";
    }
}

TEST(ExifReader, SubDirectoryFailureEndsOnlyThatDirectory) {
    TiffBuilder tiff(false);
    const std::uint32_t ifd0 =
        tiff.AddDirectory({{0x8769, 4, 1, tiff.U32(0)}, {0x010F, 2, 5, TiffBuilder::Text("Nick")}});
    const std::uint32_t sub = tiff.AddDirectory({{0x829A, 0, 7, {}}, {0x829D, 20, 1, {}}});
    tiff.Patch32(TiffBuilder::ValueField(ifd0, 0), sub);
    Scan scan = ScanTiff(tiff);
    EXPECT_TRUE(scan.info.isExif);
    EXPECT_STREQ(scan.info.cameraMake, "Nick");
    EXPECT_EQ(scan.info.exposureTime, 0.0f) << "format 0 is a value of 0";
    EXPECT_STREQ(scan.reader.errorText(), "Illegal format code in EXIF dir");
}

TEST(ExifReader, ValueAtTheBlocksEdgeIsNeverReadPast) {
    // The block ends right after the only entry: an 8-byte rational with no
    // components sits in the 4-byte value field with nothing behind it.
    TiffBuilder tiff(false);
    tiff.AddDirectory({{0x011A, 5, 0, tiff.U32(0x12345678)}});
    auto bytes = tiff.Bytes();
    bytes.erase(bytes.end() - 4, bytes.end()); // drop the next-directory link
    Scan scan(JpegWith({ExifSegment(bytes)}));
    EXPECT_TRUE(scan.info.isExif);
    EXPECT_EQ(scan.info.xResolution, 0.0f);

    ExifReader reader(nullptr);
    const std::uint8_t four[4] = {1, 0, 0, 0};
    EXPECT_EQ(reader.ConvertValue(four, 5, 4), 0.0);
    EXPECT_EQ(reader.ConvertValue(four, 4, 4), 1.0);
    EXPECT_EQ(reader.ConvertValue(four, 9, 3), 0.0);
}

TEST(ExifReader, CommentsAndUserCommentsAreCleanedText) {
    const std::vector<std::uint8_t> comment = {0x61, 0x0D, 0x0A, 0x62, 0x01};
    Scan scan(JpegWith({Segment(0xFE, comment), Segment(0xFE, {'z'})}));
    EXPECT_STREQ(scan.info.comments, "a\nb?") << "the first comment wins";

    TiffBuilder tiff(true);
    auto user = TiffBuilder::Text("ASCII", false);
    user.insert(user.end(), {0, 0, 0, 'H', 'i', ' ', ' ', ' '});
    tiff.AddDirectory({{0x9286, 7, static_cast<std::uint32_t>(user.size()), user}});
    Scan withExif(JpegWith({Segment(0xFE, {'c'}), ExifSegment(tiff.Bytes())}));
    EXPECT_STREQ(withExif.info.comments, "Hi");
}

TEST(ExifReader, PaddingAndSectionLimits) {
    std::vector<std::uint8_t> six = {0xFF, 0xD8, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xDA, 0, 2};
    EXPECT_TRUE(Scan(six).result);
    std::vector<std::uint8_t> seven = six;
    seven.insert(seven.begin() + 2, 0xFF);
    EXPECT_FALSE(Scan(seven).result);

    std::vector<std::vector<std::uint8_t>> tables(19, Segment(0xDB, {0}));
    EXPECT_TRUE(Scan(JpegWith(tables)).result) << "19 kept segments and SOS fit";
    Scan withData(JpegWith(tables), ExifReader::ReadImageData);
    EXPECT_FALSE(withData.result) << "the image data would be the 21st entry";
    EXPECT_STREQ(withData.reader.errorText(), "Too many sections in jpg file");
    tables.push_back(Segment(0xDB, {0}));
    Scan twenty(JpegWith(tables));
    EXPECT_FALSE(twenty.result);
    EXPECT_STREQ(twenty.reader.errorText(), "Too many sections in jpg file");

    Scan cut({0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x40, 1, 2});
    EXPECT_FALSE(cut.result);
    EXPECT_STREQ(cut.reader.errorText(), "Premature end of file?");
    Scan ended({0xFF, 0xD8, 0xFF, 0xDB});
    EXPECT_STREQ(ended.reader.errorText(), "invalid marker");
    Scan frame({0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x03, 8}); // frame header too short to hold a size
    EXPECT_EQ(frame.info.frameWidth, 0);
}

TEST(ExifReader, WritesKeptSegmentsInFrontOfNewImageData) {
    Scan noData(JpegWith({Segment(0xFE, {'x'})}));
    std::vector<std::uint8_t> out(4, 0);
    LxMemFile target(out.data(), 4);
    EXPECT_FALSE(noData.reader.WriteSections(&target));
    EXPECT_STREQ(noData.reader.errorText(), "Can't write exif : didn't read all");
    EXPECT_EQ(target.Tell(), 0) << "nothing written";

    // Keep the comment, then read a new stream with its image data.
    noData.reader.KeepExifAndComment();
    ASSERT_EQ(noData.reader.sectionCount(), 1);
    auto next = JpegWith({Segment(0xE0, {'J'}), Segment(0xDB, {7})});
    next.insert(next.end(), {0x11, 0x22, 0xFF, 0xD9});
    LxMemFile nextStream(next.data(), static_cast<std::uint32_t>(next.size()));
    ASSERT_TRUE(noData.reader.ScanSections(&nextStream, ExifReader::ReadImageData));

    LxMemFile written(static_cast<std::uint8_t*>(std::malloc(16)), 16);
    ASSERT_TRUE(noData.reader.WriteSections(&written));
    const std::vector<std::uint8_t> expected = {
        0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 0x4A, 0x46, 0x49, 0x46, 0x00,
        0x01, 0x01, 0x01, 0x01, 0x2C, 0x01, 0x2C, 0x00, 0x00, // the JFIF segment inserted after SOI
        0xFF, 0xFE, 0x00, 0x03, 'x',                          // the kept comment
        0xFF, 0xDB, 0x00, 0x03, 7, // the new tables (its APP0 is dropped)
        0xFF, 0xDA, 0x00, 0x02,    // SOS
        0x11, 0x22, 0xFF, 0xD9};   // the image data, raw
    ASSERT_EQ(written.Size(), static_cast<std::int32_t>(expected.size()));
    EXPECT_EQ(std::memcmp(written.GetBufferPointer(false), expected.data(), expected.size()), 0);
}

TEST(ExifReader, ThumbnailPointsIntoTheKeptSegmentAndNeverDangles) {
    TiffBuilder tiff(false);
    const std::uint32_t ifd0 = tiff.AddDirectory({}, 0);
    const std::uint32_t ifd1 =
        tiff.AddDirectory({{0x0201, 4, 1, tiff.U32(0)}, {0x0202, 4, 1, tiff.U32(4)}});
    tiff.Patch32(ifd0 + 2, ifd1);
    tiff.Patch32(TiffBuilder::ValueField(ifd1, 0), tiff.Size());
    auto bytes = tiff.Bytes();
    bytes.insert(bytes.end(), {0xFF, 0xD8, 0xFF, 0xD9});
    Scan scan(JpegWith({ExifSegment(bytes), ExifSegment(bytes)}));
    ASSERT_NE(scan.info.thumbnailPointer, nullptr);
    EXPECT_EQ(scan.info.thumbnailSize, 4u);
    EXPECT_EQ(scan.info.thumbnailPointer[1], 0xD8);
    // Only the first APP1 survives; the thumbnail of the second one goes with it.
    scan.reader.KeepExifAndComment();
    EXPECT_EQ(scan.info.thumbnailPointer, nullptr);
}

TEST(ExifReader, FirstDirectoryAwayFromOffset8IsStillRead) {
    // As some cameras write it: two bytes of padding, the first directory at
    // offset 10. Read as a directory, offset 8 has no entries and a next link
    // made of the real directory's first bytes, far outside the block.
    TiffBuilder tiff(true);
    auto bytes = tiff.Bytes();
    bytes[7] = 10;
    bytes.insert(bytes.end(), {0, 0});
    TiffBuilder body(true);
    const std::vector<Entry> entries = {{0x010F, 2, 20, TiffBuilder::Text("PENTAX Corporation ")},
                                        {0x0112, 3, 1, body.U16(3)}};
    // Lay the directory out at offset 10 by building it at 8 and shifting its offsets.
    body.AddDirectory(entries);
    auto directory = std::vector<std::uint8_t>(body.Bytes().begin() + 8, body.Bytes().end());
    directory[2 + 8 + 3] += 2; // the Make value's offset moves with the directory
    bytes.insert(bytes.end(), directory.begin(), directory.end());
    Scan scan(JpegWith({ExifSegment(bytes)}));
    EXPECT_TRUE(scan.info.isExif);
    EXPECT_STREQ(scan.info.cameraMake, "PENTAX Corporation ");
    EXPECT_EQ(scan.info.orientation, 3);
}
