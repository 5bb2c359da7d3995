// `lumora caption --data`: a table's rows fill each photo's placeholders,
// photos and rows that do not meet are warned of (or refused with
// --data-required), and bad tables are refused naming the file and line,
// with nothing written. Run as the real program; exiftool reads the copies.
#include "tests/cli/CaptionRun.h"

#include <QImage>

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using testing_support::Listing;
using testing_support::Q;
using testing_support::Run;
using namespace caption_run;

namespace {

// A caption that becomes the description, so exiftool can read what was
// filled in, and a band that draws the same.
constexpr char kDataSet[] = R"({ "format": "lumora-captions", "version": 1,
  "captions": [
    { "text": "{Price}|{title}|{Model name}|{filename}", "useTextAsDescription": true },
    { "text": "{Price}", "disposition": "bottom-band" } ] })";

void WritePhoto(const fs::path& path) {
    fs::create_directories(path.parent_path());
    QImage picture(96, 64, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    ASSERT_TRUE(picture.save(Q(path), "JPEG"));
}

std::string Description(const fs::path& copy) {
    return Run("exiftool -b -ImageDescription " + Q8(copy)).output;
}

} // namespace

TEST(CaptionData, EachPhotosRowFillsItsPlaceholdersAndMismatchesAreWarnedOrRefused) {
    Workspace work;
    std::ofstream(work.set()) << kDataSet;
    for (const char* name : {"a.jpg", "b.jpg", "sub/c.jpg", "d.jpg"})
        WritePhoto(work.in() / name);
    // A byte order mark, CR LF, a path and a file name, quoting with a
    // separator, a line break and a doubled quote, a column named like a
    // placeholder of the photo's own, and a row for a photo not given.
    const fs::path table = work.file("photos.csv");
    std::ofstream(table, std::ios::binary)
        << "\xEF\xBB\xBFphoto,Price,title,Model name\r\n"
           "in/a.jpg,\"12,50 €\",Harbour,\"The \"\"Swan\"\"\"\r\n"
           "b.jpg,3 €,\"Two\nlines\",\r\n"
           "  \r\n"
           "in/sub/c.jpg,7 €,Quay,Skiff\r\n"
           "gone.jpg,1 €,Gone,Gone\r\n";
    const std::string inputs = " --recursive --out " + Q8(work.out()) + " " + Q8(work.in());

    const Ran alone = work.Caption("--set " + Q8(work.set()) + " --data-required" + inputs);
    EXPECT_EQ(alone.status, 2);
    EXPECT_TRUE(Contains(alone.err, "--data-required needs --data TABLE")) << alone.err;

    const Ran required = work.Caption("--set " + Q8(work.set()) + " --data " + Q8(table) +
                                      " --data-required" + inputs);
    EXPECT_EQ(required.status, 1);
    EXPECT_TRUE(Contains(required.err, "d.jpg\" has no row in")) << required.err;
    EXPECT_TRUE(Contains(required.err, "photos.csv, line 7 names \"gone.jpg\"")) << required.err;
    EXPECT_TRUE(Listing(work.out()).empty()) << "nothing is written with --data-required";

    const Ran ran = work.Caption("--set " + Q8(work.set()) + " --data " + Q8(table) + inputs);
    ASSERT_EQ(ran.status, 0) << ran.err;
    EXPECT_TRUE(
        Contains(ran.err, "warning: \"" + (work.in() / "d.jpg").string() + "\" has no row in"))
        << ran.err;
    EXPECT_TRUE(Contains(ran.err, "warning: " + table.string() + ", line 7 names \"gone.jpg\""))
        << ran.err;
    const std::pair<const char*, std::string> expected[] = {
        {"a", "12,50 €|Harbour|The \"Swan\"|a.jpg"},
        {"b", "3 €|Two\nlines||b.jpg"},
        {"c", "7 €|Quay|Skiff|c.jpg"},
        {"d", "|||d.jpg"},
    };
    for (const auto& [stem, description] : expected)
        EXPECT_EQ(Description(work.out() / (std::string(stem) + "-captioned.jpg")), description)
            << stem;
}

TEST(CaptionData, BadTablesAreRefusedNamingFileAndLineAndOddOnesWarned) {
    Workspace work;
    std::ofstream(work.set()) << kDataSet;
    WritePhoto(work.in() / "a.jpg");
    struct Row {
        const char* name;
        const char* file;
        std::string bytes;
        int status;
        std::string message;     // in standard error, after the table's name
        std::string description; // columns the table lacks stay as written
    };
    const std::string million = [] {
        std::string rows = "photo,Price\n";
        for (int i = 0; i < 1000000; ++i)
            rows += "x.jpg,1\n";
        return rows;
    }();
    const Row rows[] = {
        {"no header", "t.csv", "a.jpg,1\n", 2, "\": line 1 names a photo (\"a.jpg\")", ""},
        {"empty", "t.csv", "", 2, "\": it is empty", ""},
        {"ragged", "t.csv", "photo,Price\na.jpg,1\nb.jpg,2,3\n", 2,
         "\": line 3 has 3 cells where the header has 2", ""},
        {"unbalanced quotes", "t.csv", "photo,Price\na.jpg,\"1\nb.jpg,2\n", 2,
         "\": line 2: a quoted cell is not closed", ""},
        {"text after a quote", "t.csv", "photo,Price\na.jpg,\"1\"2\n", 2,
         "\": line 2: text follows the closing \"", ""},
        {"NUL byte", "t.csv", std::string("photo,Price\na.jpg,1\0\n", 21), 2,
         "\": line 2 holds a NUL byte", ""},
        {"a million rows", "t.csv", million, 2,
         "\": line 100002: the table has more than 100000 rows", ""},
        {"a 1 MB cell", "t.csv", "photo,Price\na.jpg," + std::string(1 << 20, 'x') + "\n", 2,
         "\": line 2: a cell is longer than 65536 characters", ""},
        {"brace inside a header", "t.csv", "photo,Pr{ice\na.jpg,1\n", 2,
         "\": line 1: the header \"Pr{ice\" holds a brace", ""},
        {"two columns of one name", "t.csv", "photo,Price,Price\na.jpg,1,2\n", 2,
         "\": line 1: two columns are named \"Price\"", ""},
        {"a photo named twice: the first wins", "t.csv", "photo,Price\na.jpg,first\na.jpg,second\n",
         0, ", line 3 names \"a.jpg\" again; the row on line 2 is used",
         "first||{Model name}|a.jpg"},
        {"a header in braces", "t.csv", "photo,{Price}\na.jpg,5\n", 0,
         ", line 1: the header \"{Price}\" is taken as {Price}", "5||{Model name}|a.jpg"},
        {"Latin-1", "t.csv", "photo,Price,title\na.jpg,5,Caf\xE9\n", 0,
         " is not UTF-8; it was read as Windows-1252", "5|Café|{Model name}|a.jpg"},
        {"TSV, comma in a cell", "t.tsv", "photo\tPrice\na.jpg\t7,50 €\n", 0, "",
         "7,50 €||{Model name}|a.jpg"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const fs::path table = work.file(row.file);
        std::ofstream(table, std::ios::binary) << row.bytes;
        fs::remove_all(work.out());
        fs::create_directory(work.out());
        const Ran ran = work.Caption("--set " + Q8(work.set()) + " --data " + Q8(table) +
                                     " --out " + Q8(work.out()) + " " + Q8(work.in() / "a.jpg"));
        EXPECT_EQ(ran.status, row.status) << ran.err;
        EXPECT_TRUE(row.message.empty() ? !Contains(ran.err, "warning")
                                        : Contains(ran.err, table.string() + row.message))
            << ran.err;
        if (row.status == 0)
            EXPECT_EQ(Description(work.out() / "a-captioned.jpg"), row.description);
        else
            EXPECT_TRUE(Listing(work.out()).empty());
    }
}
