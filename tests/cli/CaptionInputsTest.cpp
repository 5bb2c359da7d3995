// `lumora caption` given bad input, and stopped by SIGINT: no file given
// changes, no partial file is left, the rest is done.
#include "tests/cli/CaptionRun.h"

#include <QImage>

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/inotify.h>
#include <sys/wait.h>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <map>
#include <sstream>

using namespace caption_run;
using testing_support::Listing;
using testing_support::WriteBytes;

namespace {
const char kSmall[] = "etool_GE.jpg";           // 8 x 8
const char kLarge[] = "exifr_door-knocker.jpg"; // 800 x 533
const fs::perms kReadOnly =
    fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read | fs::perms::others_exec;

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, separator);)
        parts.push_back(part);
    return parts;
}

// `text` with {in}, {out}, {dir} and {set} standing for the workspace's
// folders and caption set, quoted for the shell or not.
std::string Expand(std::string text, const Workspace& work, bool quoted) {
    const std::pair<std::string, fs::path> folders[] = {
        {"{in}", work.in()}, {"{out}", work.out()}, {"{dir}", work.dir()}, {"{set}", work.set()}};
    for (const auto& [token, path] : folders) {
        for (std::size_t at; (at = text.find(token)) != std::string::npos;)
            text.replace(at, token.size(), quoted ? Q8(path) : path.string());
    }
    return text;
}
} // namespace

TEST(CaptionInputs, WhatCannotBeDoneFailsWithTheFileAndReasonAndTheRestIsDone) {
    LUMORA_SKIP_WITHOUT_CORPUS();
    const struct Row {
        const char* name;
        // NAME: a small photo, NAME=large|broken|WORD, NAME/: a folder.
        const char* files;
        const char* arguments;
        int status;
        const char* said;          // on standard error, line by line
        const char* made;          // every file the run adds
        const char* replaced = ""; // files made first that it may write over
        const char* before = "";   // shell commands before the program
        // Run as nobody, with this folder read-only ("out") or unreadable.
        const char* locked = "";
    } rows[] = {
        // Stopped before any photo (exit 2).
        {"no set", "in/a.jpg", "--jobs 2 {in}", 2, "--set SET.json is required", ""},
        {"a later version of the set",
         "in/a.jpg later.json={\"format\":\"lumora-captions\",\"version\":7,\"captions\":[]}",
         "--set {dir}/later.json {in}", 2, "later.json\": it is version 7 of the format", ""},
        {"no such set", "in/a.jpg", "--set {dir}/gone.json {in}", 2, "gone.json", ""},
        {"--data-required without a table", "in/a.jpg", "--set {set} --data-required {in}", 2,
         "--data-required needs --data TABLE", ""},
        // As if the disk were full after 64 KiB: the large photo fails.
        {"failures of every kind in one run",
         "in/day1/a.jpg in/day1/quay.jpg in/day1/notes.jpg=text in/day1/broken.jpg=broken "
         "in/day1/readme.txt=text in/day2/quay.jpg=large in/day2/large.jpg=large "
         "out/a-captioned.jpg=mine",
         "--set {set} --out {out} {in}/day1 {in}/day2 {in}/day1//quay.jpg {dir}/gone.jpg", 1,
         "Could not open \"{dir}/gone.jpg\": No such file or directory.\n"
         "Could not open \"{in}/day1/notes.jpg\": it is not a JPEG picture that can be read\n"
         "Could not open \"{in}/day1/broken.jpg\": it is not a JPEG picture that can be read\n"
         "Could not caption \"{in}/day2/quay.jpg\": its copy \"{out}/quay-captioned.jpg\" would "
         "have the name of the copy of \"{in}/day1/quay.jpg\"\n"
         "\"{out}/a-captioned.jpg\" exists already (--overwrite replaces it)\n"
         "Could not save \"{out}/large-captioned.jpg\": File too large.\n1 captioned, 6 failed",
         "out/quay-captioned.jpg", "", "trap '' XFSZ; ulimit -f 64; "},
        {"a folder with no photos", "in/", "--set {set} {in}", 1, "no photos (.jpg, .jpeg, .heic",
         ""},
        {"a missing output folder", "in/a.jpg", "--set {set} --out {dir}/nowhere {in}", 1,
         "the output folder \"{dir}/nowhere\" does not exist", ""},
        {"a read-only output folder", "in/a.jpg", "--set {set} --out {out} {in}", 1,
         "Permission denied\n0 captioned, 1 failed", "", "", "", "out"},
        {"an unreadable subfolder", "in/top.jpg in/deeper/inner.jpg in/locked/hidden.jpg",
         "--set {set} --recursive --out {out} {in}", 1,
         "Could not read the folder \"{in}/locked\": Permission denied.\n2 captioned, 1 failed",
         "out/top-captioned.jpg out/inner-captioned.jpg", "", "", "in/locked"},
        // Copies of a first run are no photos (c-captioned.jpg has no photo beside it: it is
        // one); a photo named twice is done once; subfolders only with --recursive.
        {"a second run beside the photos",
         "in/a.jpg in/b.JPEG in/c-captioned.jpg in/a-captioned.jpg=old in/b-captioned.jpg=old "
         "in/c-captioned-captioned.jpg=old in/deeper/inner.jpg",
         "--set {set} --overwrite {in} {in}/a.jpg {in}//b.JPEG {in}/../in/a.jpg", 0,
         "3 captioned, 0 failed", "",
         "in/a-captioned.jpg in/b-captioned.jpg in/c-captioned-captioned.jpg"},
        {"an empty suffix would write over the photo", "in/quay.jpg",
         "--set {set} --overwrite --suffix '' {in}/quay.jpg", 1, "would be written over the photo",
         ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Workspace work;
        const bool asUser = *row.locked != '\0';
        if (const std::string why = asUser ? work.UserRunUnavailable() : ""; !why.empty()) {
            std::cerr << row.name << ": skipped, " << why << '\n';
            continue;
        }
        fs::permissions(work.out(), fs::perms::all);
        std::map<std::string, std::vector<std::uint8_t>> given;
        for (const std::string& file : Split(row.files, ' ')) {
            const std::size_t equals = file.find('=');
            const std::string path = file.substr(0, equals);
            const std::string kind = equals == std::string::npos ? "" : file.substr(equals + 1);
            const fs::path to = work.file(path);
            fs::create_directories(to.parent_path());
            if (path.back() == '/')
                continue;
            if (kind.empty() || kind == "large" || kind == "broken")
                fs::copy_file(CorpusDir() / "camera" / (kind.empty() ? kSmall : kLarge), to);
            else
                WriteBytes(to, std::vector<std::uint8_t>(kind.begin(), kind.end()));
            if (kind == "broken") {
                auto broken = ReadBytes(to);
                broken.resize(200);
                broken.insert(broken.end(), 600, 0x5A);
                WriteBytes(to, broken);
            }
            given[path] = ReadBytes(to);
        }
        const fs::path locked = work.file(row.locked);
        if (asUser)
            fs::permissions(locked, *row.locked == 'o' ? kReadOnly : fs::perms::none);
        const Ran ran = work.Caption(Expand(row.arguments, work, true), row.before, asUser);
        if (asUser)
            fs::permissions(locked, fs::perms::all);
        EXPECT_EQ(ran.status, row.status) << ran.err;
        for (const std::string& said : Split(row.said, '\n'))
            EXPECT_TRUE(Contains(ran.err, Expand(said, work, false))) << ran.err;
        const std::vector<std::string> replaced = Split(row.replaced, ' ');
        std::set<std::string> made = work.Tree();
        for (const auto& [path, bytes] : given) {
            EXPECT_TRUE(std::ranges::count(replaced, path) || ReadBytes(work.file(path)) == bytes)
                << path << " changed";
            made.erase(path);
        }
        const std::vector<std::string> expected = Split(row.made, ' ');
        EXPECT_EQ(made, std::set<std::string>(expected.begin(), expected.end()));
        made.insert(replaced.begin(), replaced.end());
        for (const std::string& copy : made)
            EXPECT_TRUE(Decodes(work.file(copy))) << copy;
    }
}

TEST(CaptionInputs, SigintStopsBeforeTheNextPhotoAndLeavesOnlyWholeCopies) {
    // A 24 MP photo takes long enough to work on that Ctrl+C comes during it.
    TempDir made;
    const fs::path large = made.file("large.jpg");
    QImage picture(6000, 4000, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < picture.width(); ++x)
            line[x] = qRgb(x * 7 + y, x + y * 3, x ^ y);
    }
    ASSERT_TRUE(picture.save(Q(large), "JPEG", 90));
    const struct {
        const char* name;
        int photos;
        int status;
        const char* said;
    } rows[] = {
        {"with a photo not started: the run stops", 2, 130, "stopped: 1 captioned, 0 failed"},
        {"during the last photo: the run ends as usual", 1, 0, "1 captioned, 0 failed"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Workspace work;
        // A photo's first opening: the set is read and Ctrl+C is handled.
        const int watch = ::inotify_init1(IN_CLOEXEC);
        ASSERT_GE(watch, 0);
        for (int i = 0; i < row.photos; ++i) {
            const fs::path photo = work.in() / ("photo" + std::to_string(i) + ".jpg");
            fs::copy_file(large, photo);
            ASSERT_GE(::inotify_add_watch(watch, photo.c_str(), IN_OPEN), 0);
        }
        // The shell says its process id and becomes the program.
        std::FILE* run =
            ::popen(("echo $$; exec env -u DISPLAY -u WAYLAND_DISPLAY -u "
                     "QT_QPA_PLATFORM " +
                     Quote(LUMORA_PROGRAM) + " caption --set " + Q8(work.set()) +
                     " --jobs 1 --out " + Q8(work.out()) + " " + Q8(work.in()) + " 2>&1 >/dev/null")
                        .c_str(),
                    "r");
        ASSERT_NE(run, nullptr);
        char text[4096];
        ASSERT_NE(std::fgets(text, sizeof text, run), nullptr);
        const pid_t pid = std::atoi(text);
        pollfd opened{watch, POLLIN, 0};
        const int ready = ::poll(&opened, 1, 60000);
        const std::set<std::string> before = Listing(work.out());
        ASSERT_EQ(::kill(pid, SIGINT), 0);
        ::close(watch);
        std::string output;
        while (std::fgets(text, sizeof text, run) != nullptr)
            output += text;
        const int status = ::pclose(run);
        ASSERT_EQ(ready, 1) << "no photo was opened: " << output;
        EXPECT_TRUE(before.empty()) << "a copy was done before Ctrl+C";
        ASSERT_TRUE(WIFEXITED(status)) << output;
        EXPECT_EQ(WEXITSTATUS(status), row.status) << output;
        EXPECT_TRUE(Contains(output, row.said)) << output;
        // The photo under way is finished, and no other is begun.
        const std::set<std::string> left = Listing(work.out());
        ASSERT_EQ(left.size(), 1u);
        EXPECT_TRUE(left.begin()->ends_with("-captioned.jpg")) << *left.begin();
        EXPECT_TRUE(Decodes(work.out() / *left.begin()));
    }
}
