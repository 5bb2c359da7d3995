// Caption data tables: each photo's row fills its placeholders; bad tables
// are refused naming the file and line, with nothing written.
#include "captions/CaptionData.h"
#include "tests/cli/CaptionRun.h"

#include <QImage>

#include <gtest/gtest.h>

using testing_support::Listing;
using namespace caption_run;

TEST(CaptionData, EachPhotosRowFillsItsPlaceholdersAndMismatchesAreWarnedOrRefused) {
    Workspace work;
    // The description shows exiftool what was filled in.
    std::ofstream(work.set()) << R"({ "format": "lumora-captions", "version": 1, "captions": [
        { "text": "{Price}|{title}|{Model name}|{filename}", "useTextAsDescription": true },
        { "text": "{Price}", "disposition": "bottom-band" } ] })";
    QImage picture(96, 64, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    fs::create_directories(work.in() / "sub");
    for (const char* name : {"a.jpg", "b.jpg", "sub/c.jpg", "d.jpg"})
        ASSERT_TRUE(picture.save(Q(work.in() / name), "JPEG"));
    // A BOM, CR LF, a path and a file name, quoted cells, a column named like
    // a placeholder of the photo's own, a row for a photo not given.
    const fs::path table = work.file("photos.csv");
    std::ofstream(table, std::ios::binary)
        << "\xEF\xBB\xBFphoto,Price,title,Model name\r\n"
           "in/a.jpg,\"12,50 €\",Harbour,\"The \"\"Swan\"\"\"\r\n"
           "b.jpg,3 €,\"Two\nlines\",\r\n"
           "  \r\n"
           "in/sub/c.jpg,7 €,Quay,Skiff\r\n"
           "gone.jpg,1 €,Gone,Gone\r\n";
    const std::string data = "--set " + Q8(work.set()) + " --data ";
    const std::string inputs = " --recursive --out " + Q8(work.out()) + " " + Q8(work.in());
    // Appended rather than added to a literal: GCC 12 at -O3 warns falsely
    // (-Wrestrict) about "literal" + std::string.
    std::string noRow = "\"";
    noRow += (work.in() / "d.jpg").string();
    noRow += "\" has no row in";
    const std::string noPhoto = table.string() + ", line 7 names \"gone.jpg\"";

    const Ran required = work.Caption(data + Q8(table) + " --data-required" + inputs);
    EXPECT_EQ(required.status, 1);
    EXPECT_TRUE(Contains(required.err, noRow) && Contains(required.err, noPhoto)) << required.err;
    // A table that cannot be read stops the run before any photo.
    std::ofstream(work.file("ragged.csv")) << "photo,Price\na.jpg,1\nb.jpg,2,3\n";
    const Ran refused = work.Caption(data + Q8(work.file("ragged.csv")) + inputs);
    EXPECT_EQ(refused.status, 2);
    EXPECT_TRUE(Contains(refused.err, "ragged.csv\": line 3 has 3 cells where the header has 2"))
        << refused.err;
    EXPECT_TRUE(Listing(work.out()).empty()) << "nothing is written";

    const Ran ran = work.Caption(data + Q8(table) + inputs);
    ASSERT_EQ(ran.status, 0) << ran.err;
    EXPECT_TRUE(Contains(ran.err, "warning: " + noRow) && Contains(ran.err, "warning: " + noPhoto))
        << ran.err;
    std::string copies;
    for (const char* stem : {"a", "b", "c", "d"})
        copies += ' ' + Q8(work.out() / (std::string(stem) + "-captioned.jpg"));
    EXPECT_EQ(testing_support::Run("exiftool -q -q -f -p '$ImageDescription#' " + copies).output,
              "12,50 €|Harbour|The \"Swan\"|a.jpg\n"
              "3 €|Two\nlines||b.jpg\n"
              "7 €|Quay|Skiff|c.jpg\n"
              "|||d.jpg\n");
}

TEST(CaptionData, BadTablesAreRefusedNamingFileAndLineAndOddOnesWarned) {
    std::string million = "photo,Price\n";
    for (int i = 0; i < 1000000; ++i)
        million += "x.jpg,1\n";
    const struct {
        const char* name;
        std::string bytes;
        std::string said;            // the refusal, else a warning, after the table's name
        const char* price = nullptr; // a.jpg's {Price} when the table is read
        const char* title = "";
    } rows[] = {
        {"no header", "a.jpg,1\n", "\": line 1 names a photo (\"a.jpg\")"},
        {"unbalanced quotes", "photo,Price\na.jpg,\"1\nb.jpg,2\n",
         "\": line 2: a quoted cell is not closed"},
        {"NUL byte", std::string("photo,Price\na.jpg,1\0\n", 21), "\": line 2 holds a NUL byte"},
        {"a million rows", million, "\": line 100002: the table has more than 100000 rows"},
        {"a 1 MB cell", "photo,Price\na.jpg," + std::string(1 << 20, 'x') + "\n",
         "\": line 2: a cell is longer than 65536 characters"},
        {"a photo named twice: the first wins", "photo,Price\na.jpg,first\na.jpg,second\n",
         ", line 3 names \"a.jpg\" again; the row on line 2 is used", "first"},
        {"Latin-1", "photo,Price,title\na.jpg,5,Caf\xE9\n",
         " is not UTF-8; it was read as Windows-1252", "5", "Café"},
        {"TSV, a comma in a cell", "photo\tPrice\na.jpg\t7,50 €\n", "", "7,50 €"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const QString path =
            row.name == std::string("TSV, a comma in a cell") ? "/data/t.tsv" : "/data/t.csv";
        const CaptionDataRead read = parseCaptionData(QByteArray::fromStdString(row.bytes), path);
        const QString said = path + QString::fromStdString(row.said);
        EXPECT_EQ(read.ok, row.price != nullptr) << read.message.toStdString();
        if (!read.ok) {
            EXPECT_TRUE(read.message.contains(said)) << read.message.toStdString();
            EXPECT_TRUE(read.table.rows.empty());
            continue;
        }
        EXPECT_EQ(read.warnings.join('\n').contains(said), !row.said.empty())
            << read.warnings.join('\n').toStdString();
        EXPECT_EQ(read.warnings.isEmpty(), row.said.empty());
        const QHash<QString, QString> values = read.table.valuesFor("/data/a.jpg");
        EXPECT_EQ(values.value("Price"), QString::fromUtf8(row.price));
        EXPECT_EQ(values.value("title"), QString::fromUtf8(row.title));
    }
}
