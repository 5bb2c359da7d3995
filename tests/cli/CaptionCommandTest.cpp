// `lumora caption`, run as the real program without a display: its
// arguments, the copies it writes (decoded by djpeg, read by exiftool, the
// same bytes as the window's save) and what it shows on a terminal.
#include "cli/CaptionCommand.h"
#include "pipeline/CaptionJob.h"
#include "tests/cli/CaptionRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

using testing_support::Listing;
using testing_support::ParsePnm;
using testing_support::Pnm;
using testing_support::WriteBytes;
using namespace caption_run;

TEST(CaptionCommand, ReadsItsOptionsAndNamesTheCopies) {
    const CaptionOptions options = parseCaptionArguments(
        {"--set", "s.json", "--out=o", "--suffix", "-x", "--metadata", "no-location", "--quality",
         "75", "--jobs", "3", "--overwrite", "--recursive", "a.jpg", "--", "--odd.jpg"});
    EXPECT_EQ(options.action, CaptionOptions::Action::Run) << options.error.toStdString();
    EXPECT_EQ(options.set, "s.json");
    EXPECT_EQ(options.outputFolder, "o");
    EXPECT_EQ(options.suffix, "-x");
    EXPECT_EQ(options.metadata, MetadataChoice::KeepAllButLocation);
    EXPECT_EQ(options.quality, (PictureQuality{false, 75}));
    EXPECT_EQ(options.jobs, 3);
    EXPECT_TRUE(options.overwrite);
    EXPECT_TRUE(options.recursive);
    EXPECT_EQ(options.inputs, QStringList({"a.jpg", "--odd.jpg"}));
    EXPECT_EQ(parseCaptionArguments({"a.jpg", "--help"}).action, CaptionOptions::Action::Help);
    for (const char* wrong :
         {"a.jpg", "--set s.json", "--set", "--set s --jobs 0 a", "--set s --jobs=x a",
          "--set s --metadata all a", "--set s --quality 0 a", "--set s --quality=101 a",
          "--set s --quality best a", "--set s --frob a", "--set s --overwrite=1 a",
          "--set s --suffix a/b a"})
        EXPECT_EQ(parseCaptionArguments(QString(wrong).split(' ')).action,
                  CaptionOptions::Action::UsageError)
            << wrong;
    // The window's words for the metadata choices are the option's.
    for (const MetadataChoice choice : {MetadataChoice::KeepAll, MetadataChoice::KeepAllButLocation,
                                        MetadataChoice::DescriptionOnly}) {
        const QString word = QString::fromUtf8(metadataChoiceWord(choice));
        EXPECT_EQ(parseCaptionArguments({"--set", "s", "--metadata", word, "a"}).metadata, choice)
            << word.toStdString();
    }
    EXPECT_EQ(captionedCopyName("photos/IMG_1.JPEG", "-captioned"), "IMG_1-captioned.jpg");
    EXPECT_EQ(captionedCopyName("/a.b/quay.2024.jpg", "-x"), "quay.2024-x.jpg");
}

TEST(CaptionCommand, HelpMisuseAndSetsThatCannotBeReadStopBeforeAnyPhoto) {
    Workspace work;
    WriteBytes(work.in() / "a.jpg", {0xFF, 0xD8});
    std::ofstream(work.file("later.json"))
        << R"({"format": "lumora-captions", "version": 7, "captions": []})";
    const std::string in = " " + Q8(work.in());
    const struct {
        const char* name;
        std::string arguments;
        int status;
        std::string said; // on standard output for help, else on standard error
    } rows[] = {
        {"help", "--help", 0, "Usage: lumora caption --set SET.json"},
        {"no set", "--jobs 2" + in, 2, "--set SET.json is required"},
        {"a later version", "--set " + Q8(work.file("later.json")) + in, 2,
         "later.json\": it is version 7 of the format"},
        {"no such set", "--set " + Q8(work.file("gone.json")) + in, 2, "gone.json"},
        {"--data-required without a table", "--set " + Q8(work.set()) + " --data-required" + in, 2,
         "--data-required needs --data TABLE"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Ran ran = work.Caption(row.arguments);
        EXPECT_EQ(ran.status, row.status) << ran.err;
        EXPECT_TRUE(Contains(row.status == 0 ? ran.out : ran.err, row.said)) << ran.out << ran.err;
        EXPECT_TRUE(row.status == 0 || ran.out.empty()) << ran.out;
    }
    EXPECT_EQ(work.Tree(), (std::set<std::string>{"in/a.jpg", "later.json"}));
}

namespace {

// The lines a terminal shows for what was written to it: "\r" goes back to
// the start of the line and "\033[K" clears the rest of it.
std::vector<std::string> ShownLines(const std::string& typed) {
    std::vector<std::string> lines(1);
    std::size_t cursor = 0;
    for (std::size_t i = 0; i < typed.size(); ++i) {
        std::string& line = lines.back();
        if (typed[i] == '\n') {
            lines.emplace_back();
            cursor = 0;
        } else if (typed[i] == '\r') {
            cursor = 0;
        } else if (typed.compare(i, 3, "\033[K") == 0) {
            line.resize(cursor);
            i += 2;
        } else {
            if (cursor < line.size())
                line[cursor] = typed[i];
            else
                line.push_back(typed[i]);
            ++cursor;
        }
    }
    return lines;
}

} // namespace

TEST(CaptionCommand, CopiesDecodeCarryTheDescriptionAndAreTheWindowsSaveWhateverTheJobs) {
    LUMORA_SKIP_WITHOUT_CORPUS();
    Workspace work;
    // Camera photos with their EXIF, and other formats named in any case.
    const std::pair<const char*, const char*> photos[] = {
        {"camera/ies_Canon_40D.jpg", "ies_Canon_40D.jpg"},
        {"camera/ies_Nikon_D70.jpg", "ies_Nikon_D70.jpg"},
        {"camera/exv2_exiv2-canon-eos-300d.jpg", "exv2_exiv2-canon-eos-300d.jpg"},
        {"camera/exifr_img_1771.jpg", "exifr_img_1771.jpg"},
        {"camera/exv2_FurnaceCreekInn.jpg", "exv2_FurnaceCreekInn.jpg"},
        {"formats/mei_IMG_2927.HEIC", "IMG_2927.HEIC"},
        {"formats/pil_rot1mir0.avif", "turned.Avif"},
        {"formats/pil_exif.png", "exif.PNG"},
        {"formats/etool_ExifTool.tif", "scan.tiff"},
        {"formats/pil_flower.webp", "flower.webp"}};
    std::vector<fs::path> copies;
    for (const auto& [from, to] : photos) {
        fs::copy_file(CorpusDir() / from, work.in() / to);
        copies.push_back(work.out() / (fs::path(to).stem().string() + "-captioned.jpg"));
    }
    const Ran ran =
        work.Caption("--set " + Q8(work.set()) + " --out " + Q8(work.out()) + " " + Q8(work.in()));
    ASSERT_EQ(ran.status, 0) << ran.err;
    EXPECT_TRUE(Contains(ran.err, "10 captioned, 0 failed")) << ran.err;
    EXPECT_EQ(Listing(work.out()).size(), std::size(photos));
    // exiftool reads each copy's description and Orientation.
    std::string read = "exiftool -q -q -f -p '$ImageDescription|$Orientation#'";
    for (const fs::path& copy : copies)
        read += ' ' + Q8(copy);
    std::istringstream readings(testing_support::Run(read).output);
    for (std::size_t i = 0; i < copies.size(); ++i) {
        const fs::path photo = work.in() / photos[i].second;
        SCOPED_TRACE(photo.filename().string());
        EXPECT_TRUE(Contains(ran.out, copies[i].string() + "\n")) << "printed on standard output";
        std::string line;
        std::getline(readings, line);
        EXPECT_EQ(line.substr(0, line.find('|')), "Harbour festival, first day");
        // djpeg reads the whole copy: the photo's width, taller by the bands
        // (turned by the copy's Orientation where it keeps its blocks as
        // stored).
        DocumentModel model;
        ASSERT_TRUE(model.open(Q(photo)).ok);
        Pnm decoded;
        const auto pnm = testing_support::Run("djpeg -pnm " + Q8(copies[i]));
        ASSERT_TRUE(
            ParsePnm(std::vector<std::uint8_t>(pnm.output.begin(), pnm.output.end()), decoded));
        if (line.substr(line.find('|') + 1) >= "5")
            std::swap(decoded.width, decoded.height);
        EXPECT_EQ(decoded.width, static_cast<int>(model.document().width()));
        EXPECT_GT(decoded.height, static_cast<int>(model.document().height()));
        EXPECT_EQ(ReadBytes(copies[i]), WindowSave(photo, work.set(), work.file("window.jpg")));
    }

    // Encoded again at a quality, without the location, with a missing font
    // and absurd values: the window's save with the same choices.
    std::ofstream(work.file("odd.json")) << R"({"format": "lumora-captions", "version": 1,
      "captions": [
        {"text": "A", "disposition": "top-band",
         "font": {"family": "No Such Family Anywhere", "size": 1e9, "sizeUnit": "px"},
         "margins": {"left": 1e10, "top": 3000000000, "right": -5, "bottom": 0}},
        {"text": "tiny", "font": {"size": 0}}]})";
    const fs::path located = work.in() / "exv2_FurnaceCreekInn.jpg";
    fs::create_directory(work.file("again"));
    const Ran again = work.Caption("--set " + Q8(work.file("odd.json")) +
                                   " --metadata no-location --quality 90 --out " +
                                   Q8(work.file("again")) + " " + Q8(located));
    ASSERT_EQ(again.status, 0) << again.err;
    const fs::path copy = work.file("again") / "exv2_FurnaceCreekInn-captioned.jpg";
    EXPECT_TRUE(Decodes(copy));
    EXPECT_EQ(ReadBytes(copy), WindowSave(located, work.file("odd.json"), work.file("window.jpg"),
                                          {MetadataChoice::KeepAllButLocation, {false, 90}, true}));

    // On a terminal, one job at a time and a file that is no photo: the same
    // copies, each on a line of its own, the failure too, never the bar.
    if (testing_support::Run("command -v script").exitCode != 0)
        GTEST_SKIP() << "no script(1) to run the command on a terminal";
    std::ofstream(work.in() / "notes.jpg") << "not a picture\n";
    const fs::path one = work.file("one");
    fs::create_directory(one);
    // script(1) gives the command a terminal for both standard output and
    // standard error, and passes on what it shows.
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " +
                                Quote(LUMORA_PROGRAM) + " caption --set " + Q8(work.set()) +
                                " --jobs 1 --out " + Q8(one) + " " + Q8(work.in());
    const auto shown =
        testing_support::Run("script -qec " + Quote(command) + " /dev/null </dev/null");
    EXPECT_EQ(shown.exitCode, 1) << shown.output;
    const std::vector<std::string> lines = ShownLines(shown.output);
    const auto onALine = [&](const std::string& text) {
        return std::find(lines.begin(), lines.end(), text) != lines.end();
    };
    for (const fs::path& copied : copies) {
        const fs::path onTerminal = one / copied.filename();
        EXPECT_TRUE(onALine(onTerminal.string())) << onTerminal << " in:\n" << shown.output;
        EXPECT_EQ(ReadBytes(onTerminal), ReadBytes(copied)) << onTerminal;
    }
    const std::string failure =
        "lumora caption: Could not open \"" + (work.in() / "notes.jpg").string() + "\": ";
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.rfind(failure, 0) == 0;
    })) << shown.output;
    EXPECT_TRUE(onALine("10 captioned, 1 failed")) << shown.output;
    int bars = 0;
    for (const std::string& line : lines) {
        if (!Contains(line, "photos/s"))
            continue;
        ++bars;
        EXPECT_EQ(line.front(), '[') << line;
        EXPECT_EQ(line.substr(line.size() - 5), " left") << line;
    }
    EXPECT_GE(bars, 1) << shown.output;
}
