// `lumora caption`, run as the real program without a display: its
// arguments, the copies it writes (decoded by djpeg, read by exiftool, the
// same bytes as the window's save), its refusals of bad input, its exit
// statuses and an interruption by SIGINT.
#include "cli/CaptionCommand.h"
#include "pipeline/CaptionJob.h"
#include "tests/cli/CaptionRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using testing_support::CorpusDir;
using testing_support::Listing;
using testing_support::ParsePnm;
using testing_support::Pnm;
using testing_support::Q;
using testing_support::Quote;
using testing_support::ReadBytes;
using testing_support::Run;
using testing_support::TempDir;
using testing_support::WriteBytes;

using namespace caption_run;

TEST(CaptionCommand, ReadsItsOptions) {
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

    const CaptionOptions defaults = parseCaptionArguments({"--set", "s.json", "a.jpg"});
    EXPECT_EQ(defaults.suffix, "-captioned");
    EXPECT_EQ(defaults.metadata, MetadataChoice::KeepAll);
    EXPECT_TRUE(defaults.quality.keep);
    EXPECT_EQ(defaults.jobs, 0);
    EXPECT_FALSE(defaults.overwrite);

    EXPECT_EQ(parseCaptionArguments({"a.jpg", "--help"}).action, CaptionOptions::Action::Help);
    for (const QStringList& wrong :
         {QStringList{"a.jpg"}, QStringList{"--set", "s.json"}, QStringList{"--set"},
          QStringList{"--set", "s", "--jobs", "0", "a"}, QStringList{"--set", "s", "--jobs=x", "a"},
          QStringList{"--set", "s", "--metadata", "all", "a"},
          QStringList{"--set", "s", "--quality", "0", "a"},
          QStringList{"--set", "s", "--quality=101", "a"},
          QStringList{"--set", "s", "--quality", "best", "a"},
          QStringList{"--set", "s", "--frob", "a"}, QStringList{"--set", "s", "--overwrite=1", "a"},
          QStringList{"--set", "s", "--suffix", "a/b", "a"}})
        EXPECT_EQ(parseCaptionArguments(wrong).action, CaptionOptions::Action::UsageError)
            << wrong.join(' ').toStdString();
}

TEST(CaptionCommand, MetadataWordsAndCopyNamesAreTheWindowsToo) {
    for (const MetadataChoice choice : {MetadataChoice::KeepAll, MetadataChoice::KeepAllButLocation,
                                        MetadataChoice::DescriptionOnly}) {
        const QString word = QString::fromUtf8(metadataChoiceWord(choice));
        EXPECT_EQ(metadataChoiceFromWord(word), choice) << word.toStdString();
        EXPECT_EQ(parseCaptionArguments({"--set", "s", "--metadata", word, "a"}).metadata, choice)
            << word.toStdString();
    }
    EXPECT_EQ(metadataChoiceWord(MetadataChoice::DescriptionOnly), std::string("description-only"));
    EXPECT_FALSE(metadataChoiceFromWord("all").has_value());

    EXPECT_EQ(captionedCopyName("photos/IMG_1.JPEG", "-captioned"), "IMG_1-captioned.jpg");
    EXPECT_EQ(captionedCopyName("/a.b/quay.2024.jpg", "-x"), "quay.2024-x.jpg");
}

TEST(CaptionCommand, HelpAndUsageErrorsNeedNoDisplay) {
    Workspace work;
    const Ran help = work.Caption("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: lumora caption --set SET.json", 0), 0u) << help.out;
    for (const char* option :
         {"--out", "--suffix", "--metadata", "--jobs", "--overwrite", "--recursive", "Exit status"})
        EXPECT_TRUE(Contains(help.out, option)) << option;

    const Ran misuse = work.Caption("--jobs 2 " + Q8(work.in()));
    EXPECT_EQ(misuse.status, 2);
    EXPECT_TRUE(misuse.out.empty());
    EXPECT_TRUE(Contains(misuse.err, "--set SET.json is required")) << misuse.err;
}

TEST(CaptionCommand, ASetThatCannotBeReadStopsBeforeAnyPhotoWithStatusTwo) {
    Workspace work;
    WriteBytes(work.in() / "a.jpg", {0xFF, 0xD8});
    std::ofstream(work.file("later.json"))
        << R"({"format": "lumora-captions", "version": 7, "captions": []})";
    const Ran later = work.Caption("--set " + Q8(work.file("later.json")) + " " + Q8(work.in()));
    EXPECT_EQ(later.status, 2);
    EXPECT_TRUE(Contains(later.err, "later.json\": it is version 7 of the format")) << later.err;
    const Ran missing = work.Caption("--set " + Q8(work.file("gone.json")) + " " + Q8(work.in()));
    EXPECT_EQ(missing.status, 2);
    EXPECT_TRUE(Contains(missing.err, "gone.json")) << missing.err;
    EXPECT_EQ(Listing(work.in()), std::set<std::string>{"a.jpg"});
}

TEST(CaptionCommand, CopiesOfAFolderDecodeCarryTheDescriptionAndMatchTheWindowsSave) {
    LUMORA_SKIP_WITHOUT_CORPUS();
    Workspace work;
    work.AddCorpusPhotos();
    const Ran ran =
        work.Caption("--set " + Q8(work.set()) + " --out " + Q8(work.out()) + " " + Q8(work.in()));
    ASSERT_EQ(ran.status, 0) << ran.err;
    EXPECT_TRUE(Contains(ran.err, "5 captioned, 0 failed")) << ran.err;
    EXPECT_EQ(Listing(work.out()).size(), std::size(kPhotos));
    for (const char* name : kPhotos) {
        const std::string stem = fs::path(name).stem().string();
        const fs::path copy = work.out() / (stem + "-captioned.jpg");
        EXPECT_TRUE(Contains(ran.out, copy.string() + "\n")) << "printed on standard output";

        // djpeg reads the whole copy: the photo's width, taller by the bands
        // (turned by the copy's Orientation where it keeps its blocks as
        // stored).
        DocumentModel photo;
        ASSERT_TRUE(photo.open(Q(work.in() / name)).ok);
        Pnm decoded;
        const auto pnm = testing_support::Run("djpeg -pnm " + Q8(copy));
        ASSERT_EQ(pnm.exitCode, 0) << copy;
        ASSERT_TRUE(
            ParsePnm(std::vector<std::uint8_t>(pnm.output.begin(), pnm.output.end()), decoded));
        if (testing_support::Run("exiftool -s3 -n -Orientation " + Q8(copy)).output >= "5")
            std::swap(decoded.width, decoded.height);
        EXPECT_EQ(decoded.width, static_cast<int>(photo.document().width()));
        EXPECT_GT(decoded.height, static_cast<int>(photo.document().height()));

        EXPECT_EQ(testing_support::Run("exiftool -s3 -ImageDescription " + Q8(copy)).output,
                  "Harbour festival, first day\n");
        EXPECT_EQ(ReadBytes(copy),
                  WindowSave(work.in() / name, work.set(), work.file(stem + "-window.jpg")))
            << name << " differs from the window's save";
    }
}

TEST(CaptionCommand, OneJobAndTwoJobsWriteTheSameFiles) {
    LUMORA_SKIP_WITHOUT_CORPUS();
    Workspace work;
    work.AddCorpusPhotos();
    fs::create_directory(work.file("one"));
    fs::create_directory(work.file("two"));
    const std::string common = "--set " + Q8(work.set()) + " --metadata no-location ";
    ASSERT_EQ(work.Caption(common + "--jobs 1 --out " + Q8(work.file("one")) + " " + Q8(work.in()))
                  .status,
              0);
    ASSERT_EQ(work.Caption(common + "--jobs 2 --out " + Q8(work.file("two")) + " " + Q8(work.in()))
                  .status,
              0);
    const auto names = Listing(work.file("one"));
    ASSERT_EQ(names.size(), std::size(kPhotos));
    EXPECT_EQ(Listing(work.file("two")), names);
    for (const std::string& name : names)
        EXPECT_EQ(ReadBytes(work.file("one") / name), ReadBytes(work.file("two") / name)) << name;

    // Encoding again at a quality is the window's choice of the same name.
    fs::create_directory(work.file("again"));
    ASSERT_EQ(work.Caption(common + "--quality 90 --out " + Q8(work.file("again")) + " " +
                           Q8(work.in() / kPhotos[0]))
                  .status,
              0);
    const std::string copy = fs::path(kPhotos[0]).stem().string() + "-captioned.jpg";
    const auto again = ReadBytes(work.file("again") / copy);
    EXPECT_EQ(again, WindowSave(work.in() / kPhotos[0], work.set(), work.file("window.jpg"),
                                {MetadataChoice::KeepAllButLocation, {false, 90}, true}));
    EXPECT_NE(again, ReadBytes(work.file("one") / copy)) << "keeping the blocks is the default";
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

TEST(CaptionCommand, OnATerminalTheBarNeverSharesALineWithACopyOrAFailure) {
    LUMORA_SKIP_WITHOUT_CORPUS();
    if (testing_support::Run("command -v script").exitCode != 0)
        GTEST_SKIP() << "no script(1) to run the command on a terminal";
    Workspace work;
    work.AddCorpusPhotos();
    std::ofstream(work.in() / "notes.jpg") << "not a picture\n";
    // script(1) gives the command a terminal for both standard output and
    // standard error, and passes on what it shows.
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " +
                                Quote(LUMORA_PROGRAM) + " caption --set " + Q8(work.set()) +
                                " --jobs 1 --out " + Q8(work.out()) + " " + Q8(work.in());
    const auto ran =
        testing_support::Run("script -qec " + Quote(command) + " /dev/null </dev/null");
    EXPECT_EQ(ran.exitCode, 1) << ran.output;
    const std::vector<std::string> lines = ShownLines(ran.output);
    const auto shown = [&](const std::string& text) {
        return std::find(lines.begin(), lines.end(), text) != lines.end();
    };
    for (const char* name : kPhotos) {
        const fs::path copy = work.out() / (fs::path(name).stem().string() + "-captioned.jpg");
        EXPECT_TRUE(shown(copy.string())) << copy << " on a line of its own in:\n" << ran.output;
    }
    const std::string failure =
        "lumora caption: Could not open \"" + (work.in() / "notes.jpg").string() + "\": ";
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.rfind(failure, 0) == 0;
    })) << ran.output;
    EXPECT_TRUE(shown("5 captioned, 1 failed")) << ran.output;
    int bars = 0;
    for (const std::string& line : lines) {
        if (!Contains(line, "photos/s"))
            continue;
        ++bars;
        EXPECT_EQ(line.front(), '[') << line;
        EXPECT_EQ(line.substr(line.size() - 5), " left") << line;
    }
    EXPECT_GE(bars, 1) << ran.output;
}
