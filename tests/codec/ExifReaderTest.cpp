#include "codec/ExifReader.h"
#include "image/LxMemFile.h"
#include "tests/support/ExifBuilder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <iomanip>
#include <sstream>

using testing_support::ExifSegment;
using testing_support::JpegWith;
using testing_support::Segment;
using testing_support::TiffBuilder;
using Entry = TiffBuilder::Entry;
using Bytes = std::vector<std::uint8_t>;

namespace {
// Scans bytes with a reader bound to `info`; the stream reads the vector in place.
struct Scan {
    explicit Scan(Bytes data, int mode = ExifReader::ReadMetadata)
        : bytes(std::move(data)), stream(bytes.data(), static_cast<std::uint32_t>(bytes.size())),
          reader(&info) {
        std::memset(&info, 0, sizeof info);
        result = reader.ScanSections(&stream, mode);
    }
    Bytes bytes;
    LxMemFile stream;
    ExifInfo info;
    ExifReader reader;
    bool result = false;
};

// What a scan gives, as text: the result, the record's fields that are
// set (a long description by its length), the kept sections and the error.
std::string Summary(const Scan& scan) {
    const ExifInfo& i = scan.info;
    std::ostringstream out;
    out << (scan.result ? "" : "failed, ") << (i.isExif ? "exif" : "no exif");
    const std::size_t description = std::strlen(i.imageDescription);
    if (description > 40)
        out << ", description of " << description;
    else if (description > 0)
        out << ", description " << i.imageDescription;
    for (const auto& [name, text] :
         {std::pair{"make", i.cameraMake}, std::pair{"model", i.cameraModel},
          std::pair{"comments", static_cast<const char*>(i.comments)}})
        out << (*text ? std::string(", ") + name + " " + text : "");
    for (const auto& [name, value] :
         {std::pair{"orientation", double(i.orientation)}, std::pair{"x", double(i.xResolution)},
          std::pair{"y", double(i.yResolution)}, std::pair{"unit", double(i.resolutionUnit)},
          std::pair{"flash", double(i.flashUsed)}, std::pair{"iso", double(i.isoEquivalent)},
          std::pair{"exposure", double(i.exposureTime)}})
        if (value != 0)
            out << ", " << name << " " << std::setprecision(9) << value;
    out << ", sections";
    for (int s = 0; s < scan.reader.sectionCount(); ++s)
        out << " " << std::hex << std::uppercase << scan.reader.section(s).type << std::dec;
    if (*scan.reader.errorText())
        out << ", " << scan.reader.errorText();
    return out.str();
}

Bytes WithTiff(const Bytes& tiff) {
    return JpegWith({Segment(0xE0, TiffBuilder::Text("JFIF")), ExifSegment(tiff)});
}

// A TIFF block of one first directory, and what changes it after.
Bytes Tiff(bool motorola, const std::vector<Entry>& entries, std::uint32_t next = 0) {
    TiffBuilder tiff(motorola);
    tiff.AddDirectory(entries, next);
    return tiff.Bytes();
}
} // namespace

// Each row a JPEG header; the record, kept sections and error text it gives.
TEST(ExifReader, HeadersGiveTheirFieldsOrAReasonAndNeverReadPastTheBlock) {
    struct Row {
        std::string name;
        Bytes jpeg;
        std::string summary;
    };
    std::vector<Row> rows;
    for (const bool motorola : {false, true}) {
        TiffBuilder t(motorola);
        rows.push_back(
            {motorola ? "MM" : "II",
             WithTiff(Tiff(motorola, {{0x010E, 2, 16, TiffBuilder::Text("Fifteen chars!!")},
                                      {0x010F, 2, 6, TiffBuilder::Text("Canon")},
                                      {0x0110, 2, 4, TiffBuilder::Text("G9X")},
                                      {0x0112, 3, 1, t.U16(6)},
                                      {0x011A, 5, 1, t.Rational(300, 1)},
                                      {0x011B, 5, 1, t.Rational(72, 0)},
                                      {0x0128, 3, 1, t.U16(3)},
                                      {0x9209, 3, 1, t.U16(0x19)}})),
             // The model's 4 bytes lie in the value field; a zero
             // denominator gives 0; the JFIF APP0 is not kept.
             "exif, description Fifteen chars!!, make Canon, model G9X, orientation "
             "6, x 300, unit 0.393700808, flash 1, sections E1 DA"});
    }
    TiffBuilder le(false);
    rows.push_back({"a description in the value field",
                    WithTiff(Tiff(false, {{0x010E, 2, 4, {'a', 'b', 'c', 0}}})),
                    "exif, description abc, sections E1 DA"});
    rows.push_back(
        {"a description cut at 999 bytes",
         WithTiff(Tiff(true, {{0x010E, 2, 1500, TiffBuilder::Text(std::string(1499, 'x'))}})),
         "exif, description of 999, sections E1 DA"});
    rows.push_back({"an undefined rotation does not fail the block",
                    WithTiff(Tiff(false, {{0x0112, 3, 1, le.U16(9)}})),
                    "exif, sections E1 DA, Undefined rotation value"});
    {
        // IFD0 -> five chained EXIF sub-directories, each with an ISO value:
        // depths 0 to 4 parse, the fifth link does not.
        TiffBuilder tiff(false);
        std::uint32_t link =
            TiffBuilder::ValueField(tiff.AddDirectory({{0x8769, 4, 1, tiff.U32(0)}}), 0);
        for (int level = 1; level <= 5; ++level) {
            const std::uint32_t dir = tiff.AddDirectory(
                {{0x8827, 3, 1, tiff.U16(static_cast<std::uint16_t>(100 * level))},
                 {0x8769, 4, 1, tiff.U32(0)}});
            tiff.Patch32(link, dir);
            link = TiffBuilder::ValueField(dir, 1);
        }
        rows.push_back({"sub-directories five deep", WithTiff(tiff.Bytes()),
                        "exif, iso 400, sections E1 DA, Maximum directory nesting exceeded "
                        "(corrupt exif header)"});
    }
    // 400 entries all pointing back at their directory: without a bound on
    // the work this fans out into 400^5 parses.
    rows.push_back(
        {"a directory linking to itself",
         WithTiff(Tiff(false, std::vector<Entry>(400, Entry{0x8769, 4, 1, le.U32(8)}), 8)),
         "exif, sections E1 DA, Maximum directory nesting exceeded (corrupt exif header)"});
    {
        TiffBuilder tiff(false);
        const std::uint32_t ifd0 = tiff.AddDirectory(
            {{0x8769, 4, 1, tiff.U32(0)}, {0x010F, 2, 5, TiffBuilder::Text("Nick")}});
        tiff.Patch32(TiffBuilder::ValueField(ifd0, 0),
                     tiff.AddDirectory({{0x829A, 0, 7, {}}, {0x829D, 20, 1, {}}}));
        rows.push_back({"a failing sub-directory ends only itself", WithTiff(tiff.Bytes()),
                        "exif, make Nick, sections E1 DA, Illegal format code in EXIF dir"});
    }
    {
        // The block ends right after its only entry: an 8-byte rational with
        // no components sits in the value field with nothing behind it.
        Bytes edge = Tiff(false, {{0x011A, 5, 0, le.U32(0x12345678)}});
        edge.erase(edge.end() - 4, edge.end());
        rows.push_back({"a value at the block's edge", WithTiff(edge), "exif, sections E1 DA"});
    }
    {
        // As some cameras write it: two bytes of padding, the first directory
        // at offset 10 (read at 8 it would link far outside the block).
        Bytes bytes = TiffBuilder(true).Bytes();
        bytes[7] = 10;
        bytes.insert(bytes.end(), {0, 0});
        TiffBuilder body(true);
        body.AddDirectory({{0x010F, 2, 20, TiffBuilder::Text("PENTAX Corporation ")},
                           {0x0112, 3, 1, body.U16(3)}});
        Bytes directory(body.Bytes().begin() + 8, body.Bytes().end());
        directory[2 + 8 + 3] += 2; // the Make value's offset moves with the directory
        bytes.insert(bytes.end(), directory.begin(), directory.end());
        rows.push_back({"the first directory at offset 10", WithTiff(bytes),
                        "exif, make PENTAX Corporation , orientation 3, sections E1 DA, Illegal "
                        "subdirectory link"});
    }
    {
        Bytes user = TiffBuilder::Text("ASCII", false);
        user.insert(user.end(), {0, 0, 0, 'H', 'i', ' ', ' ', ' '});
        rows.push_back(
            {"the first comment wins, cleaned",
             JpegWith({Segment(0xFE, {0x61, 0x0D, 0x0A, 0x62, 0x01}), Segment(0xFE, {'z'})}),
             "no exif, comments a\nb?, sections FE DA"});
        rows.push_back(
            {"a user comment replaces the comment",
             JpegWith({Segment(0xFE, {'c'}),
                       ExifSegment(Tiff(true, {{0x9286, 7, std::uint32_t(user.size()), user}}))}),
             "exif, comments Hi, sections FE E1 DA"});
    }
    // Bad blocks: rejected with a reason, and the scan goes on.
    Bytes manyEntries = Tiff(false, {{0x010F, 2, 6, TiffBuilder::Text("Canon")}});
    manyEntries[8] = 0x50; // 80 entries, far more than the block holds
    const std::pair<std::string, Bytes> bad[] = {
        {"Illegally sized directory", manyEntries},
        {"Illegal format code in EXIF dir", Tiff(true, {{0x010F, 13, 1, {}}})},
        {"Illegal pointer offset value in EXIF.", Tiff(false, {{0x010E, 2, 40, le.U32(20)}})},
        // 0x40000000 rationals: the byte count overflows 32 bits.
        {"Illegal pointer offset value in EXIF.",
         Tiff(false, {{0x011A, 5, 0x40000000, le.U32(8)}})},
        {"Illegal subdirectory link", Tiff(false, {{0x8769, 4, 1, le.U32(5000)}})},
        {"Illegal subdirectory link", Tiff(false, {}, 0x7FFFFFF0)},
        {"Invalid Exif start (1)", {'I', 'I', 0x2B, 0, 8, 0, 0, 0}},
        {"Invalid Exif alignment marker.", {'X', 'X', 0x2A, 0, 8, 0, 0, 0}},
        {"Illegally sized directory", {'I', 'I', 0x2A, 0, 8, 0, 0, 0}},
    };
    for (const auto& [error, tiff] : bad)
        rows.push_back({error, JpegWith({ExifSegment(tiff)}), "no exif, sections E1 DA, " + error});
    rows.push_back({"not a JPEG", {0x89, 'P', 'N', 'G', 0, 0}, "failed, no exif, sections"});
    for (const Row& row : rows)
        EXPECT_EQ(Summary(Scan(row.jpeg)), row.summary) << row.name;

    ExifReader reader(nullptr);
    const std::uint8_t four[4] = {1, 0, 0, 0};
    EXPECT_EQ(reader.ConvertValue(four, 5, 4), 0.0);
    EXPECT_EQ(reader.ConvertValue(four, 4, 4), 1.0);
    EXPECT_EQ(reader.ConvertValue(four, 9, 3), 0.0);
}

TEST(ExifReader, PaddingAndSectionLimits) {
    Bytes six = {0xFF, 0xD8, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xDA, 0, 2};
    EXPECT_TRUE(Scan(six).result);
    six.insert(six.begin() + 2, 0xFF);
    EXPECT_FALSE(Scan(six).result) << "seven bytes of padding";

    std::vector<Bytes> tables(19, Segment(0xDB, {0}));
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
    EXPECT_STREQ(Scan({0xFF, 0xD8, 0xFF, 0xDB}).reader.errorText(), "invalid marker");
    Scan frame({0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x03, 8}); // frame header too short to hold a size
    EXPECT_EQ(frame.info.frameWidth, 0);
}

TEST(ExifReader, WritesKeptSegmentsInFrontOfNewImageData) {
    Scan noData(JpegWith({Segment(0xFE, {'x'})}));
    Bytes out(4, 0);
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
    const Bytes expected = {
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
