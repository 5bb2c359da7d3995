// The EXIF reader on hostile headers: it finds the description (the field
// the program uses) or gives a reason, within the block and a bounded work.
#include "codec/ExifReader.h"
#include "image/LxMemFile.h"
#include "tests/support/ExifBuilder.h"

#include <gtest/gtest.h>

#include <cstring>
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
    explicit Scan(Bytes data)
        : bytes(std::move(data)), stream(bytes.data(), static_cast<std::uint32_t>(bytes.size())),
          reader(&info) {
        std::memset(&info, 0, sizeof info);
        result = reader.ScanSections(&stream, ExifReader::ReadMetadata);
    }
    Bytes bytes;
    LxMemFile stream;
    ExifInfo info;
    ExifReader reader;
    bool result = false;
};

// What a scan gives, as text: the result, the description (a long one by
// its length), the ISO value, the kept sections and the error.
std::string Summary(const Scan& scan) {
    const ExifInfo& i = scan.info;
    std::ostringstream out;
    out << (scan.result ? "" : "failed, ") << (i.isExif ? "exif" : "no exif");
    const std::size_t description = std::strlen(i.imageDescription);
    if (description > 0)
        out << ", description "
            << (description > 40 ? std::to_string(description) : i.imageDescription);
    if (i.isoEquivalent != 0)
        out << ", iso " << i.isoEquivalent;
    out << ", sections";
    for (int s = 0; s < scan.reader.sectionCount(); ++s)
        out << " " << std::hex << std::uppercase << scan.reader.section(s).type << std::dec;
    if (*scan.reader.errorText())
        out << ", " << scan.reader.errorText();
    return out.str();
}

// An EXIF block of one first directory.
Bytes Tiff(bool motorola, const std::vector<Entry>& entries, std::uint32_t next = 0) {
    TiffBuilder tiff(motorola);
    tiff.AddDirectory(entries, next);
    return tiff.Bytes();
}

// A JPEG header of a JFIF segment (not kept) and the EXIF block.
Bytes WithTiff(const Bytes& tiff) {
    return JpegWith({Segment(0xE0, TiffBuilder::Text("JFIF")), ExifSegment(tiff)});
}
} // namespace

// Each row a JPEG header and what the scan gives.
TEST(ExifReader, HeadersGiveTheirDescriptionOrAReasonAndNeverReadPastTheBlock) {
    TiffBuilder le(false);
    // An 8-byte rational at the block's very end, in the value field.
    Bytes edge = Tiff(false, {{0x011A, 5, 0, le.U32(0x12345678)}});
    edge.erase(edge.end() - 4, edge.end());
    std::vector<std::pair<std::string, Bytes>> rows = {
        {"exif, description Fifteen chars!!, sections E1 DA",
         WithTiff(Tiff(false, {{0x010E, 2, 16, TiffBuilder::Text("Fifteen chars!!")}}))},
        {"exif, description abc, sections E1 DA",
         WithTiff(Tiff(true, {{0x010E, 2, 4, {'a', 'b', 'c', 0}}}))},
        {"exif, description 999, sections E1 DA",
         WithTiff(Tiff(true, {{0x010E, 2, 1500, TiffBuilder::Text(std::string(1499, 'x'))}}))},
        // 400 entries all pointing back at their directory: without a bound
        // on the work this fans out into 400^5 parses.
        {"exif, sections E1 DA, Maximum directory nesting exceeded (corrupt exif header)",
         WithTiff(Tiff(false, std::vector<Entry>(400, Entry{0x8769, 4, 1, le.U32(8)}), 8))},
        {"exif, sections E1 DA", WithTiff(edge)},
        {"failed, no exif, sections", {0x89, 'P', 'N', 'G', 0, 0}},
    };
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
        rows.push_back({"exif, iso 400, sections E1 DA, Maximum directory nesting exceeded "
                        "(corrupt exif header)",
                        JpegWith({ExifSegment(tiff.Bytes())})});
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
        {"Invalid Exif alignment marker.", {'X', 'X', 0x2A, 0, 8, 0, 0, 0}},
    };
    for (const auto& [error, tiff] : bad)
        rows.push_back({"no exif, sections E1 DA, " + error, JpegWith({ExifSegment(tiff)})});
    for (const auto& [summary, jpeg] : rows)
        EXPECT_EQ(Summary(Scan(jpeg)), summary);
}

// The reader keeps at most 20 sections (SOS the last): no more are written
// past its table.
TEST(ExifReader, SectionsPastItsTableAreRefused) {
    std::vector<Bytes> tables(19, Segment(0xDB, {0}));
    EXPECT_TRUE(Scan(JpegWith(tables)).result) << "19 kept segments and SOS fit";
    tables.push_back(Segment(0xDB, {0}));
    Scan twenty(JpegWith(tables));
    EXPECT_FALSE(twenty.result);
    EXPECT_STREQ(twenty.reader.errorText(), "Too many sections in jpg file");
    Scan cut({0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x40, 1, 2});
    EXPECT_STREQ(cut.reader.errorText(), "Premature end of file?");
}
