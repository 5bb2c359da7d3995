// `lumora caption` given bad input: each photo or folder that cannot be
// done fails with the file and the reason, the others are still done and
// no partial file is left; and a run stopped by SIGINT leaves only whole
// copies.
#include "tests/cli/CaptionRun.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/inotify.h>

#include <csignal>
#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

using namespace caption_run;
using testing_support::Listing;
using testing_support::WriteBytes;

namespace {

const char kSmall[] = "etool_GE.jpg";           // 8 x 8
const char kLarge[] = "exifr_door-knocker.jpg"; // 800 x 533

std::string SetArgument(const Workspace& work) {
    return "--set " + Q8(work.set()) + " ";
}

void CopyPhoto(const char* name, const fs::path& to) {
    fs::copy_file(CorpusDir() / "camera" / name, to);
}

bool Decodes(const fs::path& file) {
    return testing_support::Run("djpeg -pnm " + Q8(file) + " >/dev/null").exitCode == 0;
}

// `lumora caption` with these arguments, started without a display and
// left running; its standard error comes through `err`.
struct Running {
    pid_t pid = -1;
    std::FILE* err = nullptr;
};
Running StartCaption(const std::string& arguments) {
    int errPipe[2];
    if (::pipe(errPipe) != 0)
        return {};
    const std::string command = "exec env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " +
                                Quote(LUMORA_PROGRAM) + " caption " + arguments + " >/dev/null";
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(errPipe[1], 2);
        ::close(errPipe[0]);
        ::close(errPipe[1]);
        ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(errPipe[1]);
    return {child, ::fdopen(errPipe[0], "r")};
}

// Reads the rest of a running command's standard error into `output` and
// waits for it to end; its wait status.
int Finish(Running& run, std::string& output) {
    char line[4096];
    while (std::fgets(line, sizeof line, run.err) != nullptr)
        output += line;
    std::fclose(run.err);
    int status = 0;
    ::waitpid(run.pid, &status, 0);
    return status;
}

} // namespace

TEST(CaptionInputs, MissingDamagedAndOtherFilesFailWithTheirReasonsAndTheRestAreDone) {
    LUMORA_SKIP_WITHOUT_CORPUS();
    Workspace work;
    CopyPhoto(kSmall, work.in() / "a.jpg");
    CopyPhoto(kLarge, work.in() / "b.JPEG");
    std::ofstream(work.in() / "notes.jpg") << "not a picture\n";
    auto broken = ReadBytes(CorpusDir() / "camera" / kLarge);
    broken.resize(200);
    broken.insert(broken.end(), 600, 0x5A);
    WriteBytes(work.in() / "broken.jpg", broken);
    std::ofstream(work.in() / "readme.txt") << "not taken: not a .jpg\n";

    const Ran ran = work.Caption(SetArgument(work) + "--out " + Q8(work.out()) + " " +
                                 Q8(work.in()) + " " + Q8(work.file("gone.jpg")));
    EXPECT_EQ(ran.status, 1);
    EXPECT_TRUE(Contains(ran.err, "Could not open \"" + (work.file("gone.jpg")).string() +
                                      "\": No such file or directory."))
        << ran.err;
    for (const char* bad : {"notes.jpg", "broken.jpg"})
        EXPECT_TRUE(Contains(ran.err, "Could not open \"" + (work.in() / bad).string() +
                                          "\": it is not a JPEG picture that can be read"))
            << ran.err;
    EXPECT_TRUE(Contains(ran.err, "2 captioned, 3 failed")) << ran.err;
    EXPECT_EQ(Listing(work.out()), (std::set<std::string>{"a-captioned.jpg", "b-captioned.jpg"}));
    EXPECT_TRUE(Decodes(work.out() / "b-captioned.jpg"));

    // A folder with no photos at all is a failure too.
    fs::create_directory(work.file("empty"));
    const Ran none = work.Caption(SetArgument(work) + Q8(work.file("empty")));
    EXPECT_EQ(none.status, 1);
    EXPECT_TRUE(Contains(none.err, "no photos (.jpg, .jpeg, .heic")) << none.err;
}

TEST(CaptionInputs, SubfoldersOnlyWhenRecursiveAndAnUnreadableFolderIsReported) {
    LUMORA_SKIP_WITHOUT_CORPUS();
    Workspace work;
    if (const std::string why = work.UserRunUnavailable(); !why.empty())
        GTEST_SKIP() << why;
    fs::permissions(work.out(), fs::perms::all);
    CopyPhoto(kSmall, work.in() / "top.jpg");
    fs::create_directories(work.in() / "deeper");
    CopyPhoto(kSmall, work.in() / "deeper" / "inner.jpg");
    fs::create_directories(work.in() / "locked");
    CopyPhoto(kSmall, work.in() / "locked" / "hidden.jpg");
    fs::permissions(work.in() / "locked", fs::perms::none);

    const Ran flat =
        work.Caption(SetArgument(work) + "--out " + Q8(work.out()) + " " + Q8(work.in()), "", true);
    EXPECT_EQ(flat.status, 0) << flat.err;
    EXPECT_EQ(Listing(work.out()), std::set<std::string>{"top-captioned.jpg"});

    const Ran deep = work.Caption(SetArgument(work) + "--recursive --overwrite --out " +
                                      Q8(work.out()) + " " + Q8(work.in()),
                                  "", true);
    EXPECT_EQ(deep.status, 1);
    EXPECT_TRUE(Contains(deep.err, "Could not read the folder \"" +
                                       (work.in() / "locked").string() + "\": Permission denied."))
        << deep.err;
    EXPECT_TRUE(Contains(deep.err, "2 captioned, 1 failed")) << deep.err;
    EXPECT_EQ(Listing(work.out()),
              (std::set<std::string>{"top-captioned.jpg", "inner-captioned.jpg"}));
    fs::permissions(work.in() / "locked", fs::perms::owner_all);
}

TEST(CaptionInputs, AMissingOrReadOnlyOutputFolderFailsEachPhotoAndWritesNothing) {
    LUMORA_SKIP_WITHOUT_CORPUS();
    Workspace work;
    if (const std::string why = work.UserRunUnavailable(); !why.empty())
        GTEST_SKIP() << why;
    CopyPhoto(kSmall, work.in() / "a.jpg");
    const Ran missing =
        work.Caption(SetArgument(work) + "--out " + Q8(work.file("nowhere")) + " " + Q8(work.in()));
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(Contains(missing.err, "the output folder \"" + work.file("nowhere").string() +
                                          "\" does not exist"))
        << missing.err;
    EXPECT_FALSE(fs::exists(work.file("nowhere")));

    fs::permissions(work.out(), fs::perms::owner_read | fs::perms::owner_exec |
                                    fs::perms::others_read | fs::perms::others_exec);
    const Ran locked =
        work.Caption(SetArgument(work) + "--out " + Q8(work.out()) + " " + Q8(work.in()), "", true);
    EXPECT_EQ(locked.status, 1);
    EXPECT_TRUE(Contains(locked.err, "Permission denied")) << locked.err;
    EXPECT_TRUE(Listing(work.out()).empty());
    fs::permissions(work.out(), fs::perms::owner_all);
}

TEST(CaptionInputs, AFullDiskFailsThatPhotoAndLeavesNoPartFileWhileSmallerOnesAreDone) {
    LUMORA_SKIP_WITHOUT_CORPUS();
    Workspace work;
    CopyPhoto(kSmall, work.in() / "small.jpg");
    CopyPhoto(kLarge, work.in() / "large.jpg");
    // Files may grow to 64 KiB, as if the disk were full after them.
    const Ran ran =
        work.Caption(SetArgument(work) + "--out " + Q8(work.out()) + " " + Q8(work.in()),
                     "trap '' XFSZ; ulimit -f 64; ");
    EXPECT_EQ(ran.status, 1);
    EXPECT_TRUE(Contains(ran.err, "Could not save \"" +
                                      (work.out() / "large-captioned.jpg").string() +
                                      "\": File too large."))
        << ran.err;
    EXPECT_EQ(Listing(work.out()), std::set<std::string>{"small-captioned.jpg"});
}

TEST(CaptionInputs, NoCopyReplacesAPhotoAnExistingFileOrAnotherCopy) {
    LUMORA_SKIP_WITHOUT_CORPUS();
    Workspace work;
    fs::create_directories(work.in() / "day1");
    fs::create_directories(work.in() / "day2");
    CopyPhoto(kSmall, work.in() / "day1" / "quay.jpg");
    CopyPhoto(kLarge, work.in() / "day2" / "quay.jpg");
    const std::string both = Q8(work.in() / "day1") + " " + Q8(work.in() / "day2");

    // Two photos of one name into one folder: the second is refused.
    const Ran same = work.Caption(SetArgument(work) + "--out " + Q8(work.out()) + " " + both);
    EXPECT_EQ(same.status, 1);
    EXPECT_TRUE(Contains(same.err, "Could not caption \"" + (work.in() / "day2/quay.jpg").string() +
                                       "\": its copy \"" +
                                       (work.out() / "quay-captioned.jpg").string() +
                                       "\" would have the name of the copy of \"" +
                                       (work.in() / "day1/quay.jpg").string() + "\""))
        << same.err;
    const auto first = ReadBytes(work.out() / "quay-captioned.jpg");

    // An existing copy stays unless --overwrite.
    WriteBytes(work.out() / "quay-captioned.jpg", {'m', 'i', 'n', 'e'});
    const Ran again =
        work.Caption(SetArgument(work) + "--out " + Q8(work.out()) + " " + Q8(work.in() / "day1"));
    EXPECT_EQ(again.status, 1);
    EXPECT_TRUE(Contains(again.err, "exists already (--overwrite replaces it)")) << again.err;
    EXPECT_EQ(ReadBytes(work.out() / "quay-captioned.jpg"),
              (std::vector<std::uint8_t>{'m', 'i', 'n', 'e'}));
    const Ran replaced = work.Caption(SetArgument(work) + "--overwrite --out " + Q8(work.out()) +
                                      " " + Q8(work.in() / "day1"));
    EXPECT_EQ(replaced.status, 0) << replaced.err;
    EXPECT_EQ(ReadBytes(work.out() / "quay-captioned.jpg"), first);

    // An empty suffix beside the photo would be the photo itself.
    const auto photo = ReadBytes(work.in() / "day1" / "quay.jpg");
    const Ran over = work.Caption(SetArgument(work) + "--overwrite --suffix '' " +
                                  Q8(work.in() / "day1" / "quay.jpg"));
    EXPECT_EQ(over.status, 1);
    EXPECT_TRUE(Contains(over.err, "would be written over the photo")) << over.err;
    EXPECT_EQ(ReadBytes(work.in() / "day1" / "quay.jpg"), photo);
    EXPECT_EQ(Listing(work.in() / "day1"), std::set<std::string>{"quay.jpg"});
}

TEST(CaptionInputs, ASecondRunOverAFolderDoesNotCaptionTheCopiesOfTheFirst) {
    LUMORA_SKIP_WITHOUT_CORPUS();
    Workspace work;
    CopyPhoto(kSmall, work.in() / "a.jpg");
    CopyPhoto(kSmall, work.in() / "b.JPEG");
    // Named like a copy, but with no photo of its own beside it: a photo.
    CopyPhoto(kSmall, work.in() / "c-captioned.jpg");
    const std::set<std::string> all{"a.jpg",           "b.JPEG",
                                    "c-captioned.jpg", "a-captioned.jpg",
                                    "b-captioned.jpg", "c-captioned-captioned.jpg"};

    const Ran first = work.Caption(SetArgument(work) + Q8(work.in()));
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(Listing(work.in()), all);

    const Ran second = work.Caption(SetArgument(work) + "--overwrite " + Q8(work.in()));
    EXPECT_EQ(second.status, 0) << second.err;
    EXPECT_TRUE(Contains(second.err, "3 captioned, 0 failed")) << second.err;
    EXPECT_FALSE(Contains(second.err, "would be written over the photo")) << second.err;
    EXPECT_EQ(Listing(work.in()), all);

    // A copy named on its own is taken as the photo it is.
    const Ran named =
        work.Caption(SetArgument(work) + "--overwrite " + Q8(work.in() / "a-captioned.jpg"));
    EXPECT_EQ(named.status, 0) << named.err;
    EXPECT_TRUE(fs::exists(work.in() / "a-captioned-captioned.jpg"));
}

TEST(CaptionInputs, APhotoNamedTwiceIsCaptionedOnce) {
    LUMORA_SKIP_WITHOUT_CORPUS();
    Workspace work;
    CopyPhoto(kSmall, work.in() / "a.jpg");
    CopyPhoto(kSmall, work.in() / "b.jpg");
    const std::string twice = Q8(work.in()) + " " + Q8(work.in() / "a.jpg") + " " +
                              Q8(work.in().string() + "//b.jpg") + " " +
                              Q8(work.in() / ".." / "in" / "a.jpg");
    const Ran beside = work.Caption(SetArgument(work) + twice);
    EXPECT_EQ(beside.status, 0) << beside.err;
    EXPECT_TRUE(Contains(beside.err, "2 captioned, 0 failed")) << beside.err;
    EXPECT_EQ(Listing(work.in()),
              (std::set<std::string>{"a.jpg", "b.jpg", "a-captioned.jpg", "b-captioned.jpg"}));

    const Ran out = work.Caption(SetArgument(work) + "--out " + Q8(work.out()) + " " + twice);
    EXPECT_EQ(out.status, 0) << out.err;
    EXPECT_TRUE(Contains(out.err, "2 captioned, 0 failed")) << out.err;
    EXPECT_FALSE(Contains(out.err, "would have the name")) << out.err;
    EXPECT_EQ(Listing(work.out()), (std::set<std::string>{"a-captioned.jpg", "b-captioned.jpg"}));
}

TEST(CaptionInputs, AMissingFontFallsBackAsInTheWindowAndAbsurdValuesAreBounded) {
    LUMORA_SKIP_WITHOUT_CORPUS();
    Workspace work;
    CopyPhoto(kSmall, work.in() / "tiny.jpg");
    std::ofstream(work.file("odd.json")) << R"({"format": "lumora-captions", "version": 1,
      "captions": [
        {"text": "A", "disposition": "top-band",
         "font": {"family": "No Such Family Anywhere", "size": 1e9, "sizeUnit": "px"},
         "margins": {"left": 1e10, "top": 3000000000, "right": -5, "bottom": 0}},
        {"text": "tiny", "font": {"size": 0}}]})";
    const Ran ran = work.Caption("--set " + Q8(work.file("odd.json")) + " --out " + Q8(work.out()) +
                                 " " + Q8(work.in()));
    ASSERT_EQ(ran.status, 0) << ran.err;
    const fs::path copy = work.out() / "tiny-captioned.jpg";
    EXPECT_TRUE(Decodes(copy));
    EXPECT_EQ(ReadBytes(copy),
              WindowSave(work.in() / "tiny.jpg", work.file("odd.json"), work.file("window.jpg")));
}

TEST(CaptionInputs, SigintStopsTheRunAndLeavesOnlyWholeCopies) {
    LUMORA_SKIP_WITHOUT_CORPUS();
    Workspace work;
    constexpr int kCount = 40;
    for (int i = 0; i < kCount; ++i)
        CopyPhoto(kLarge, work.in() / ("photo" + std::to_string(100 + i) + ".jpg"));

    Running run =
        StartCaption(SetArgument(work) + "--jobs 2 --out " + Q8(work.out()) + " " + Q8(work.in()));
    ASSERT_GT(run.pid, 0);
    ASSERT_NE(run.err, nullptr);
    // The first photo done shows as a progress line; then Ctrl+C.
    std::string output;
    char line[4096];
    bool started = false;
    while (!started && std::fgets(line, sizeof line, run.err) != nullptr) {
        output += line;
        started = line[0] == '[';
    }
    ASSERT_TRUE(started) << output;
    ASSERT_EQ(::kill(run.pid, SIGINT), 0);
    const int status = Finish(run, output);
    ASSERT_TRUE(WIFEXITED(status)) << output;
    EXPECT_EQ(WEXITSTATUS(status), 130) << output;
    EXPECT_TRUE(Contains(output, "stopped:")) << output;

    const auto left = Listing(work.out());
    EXPECT_GE(left.size(), 1u);
    EXPECT_LT(left.size(), static_cast<std::size_t>(kCount)) << "the run went on to the end";
    for (const std::string& name : left) {
        EXPECT_TRUE(name.size() > 14 && name.substr(name.size() - 14) == "-captioned.jpg")
            << "a stray file: " << name;
        EXPECT_TRUE(Decodes(work.out() / name)) << name;
    }
    EXPECT_EQ(Listing(work.in()).size(), static_cast<std::size_t>(kCount));
}

TEST(CaptionInputs, SigintAfterTheLastPhotoHasStartedLetsTheRunEndAsUsual) {
    if (testing_support::Run("command -v cjpeg").exitCode != 0)
        GTEST_SKIP() << "no cjpeg to make a large photo";
    Workspace work;
    // A 24 MP photo takes long enough to work on that Ctrl+C comes during it.
    const fs::path photo = work.in() / "large.jpg";
    {
        std::FILE* cjpeg = ::popen(("cjpeg -quality 90 > " + Q8(photo)).c_str(), "w");
        ASSERT_NE(cjpeg, nullptr);
        constexpr int kWidth = 6000;
        constexpr int kHeight = 4000;
        std::fprintf(cjpeg, "P6\n%d %d\n255\n", kWidth, kHeight);
        std::vector<unsigned char> row(static_cast<std::size_t>(kWidth) * 3);
        for (int y = 0; y < kHeight; ++y) {
            for (std::size_t x = 0; x < row.size(); ++x)
                row[x] = static_cast<unsigned char>((x * 7 + static_cast<std::size_t>(y)) & 0xFF);
            ASSERT_EQ(std::fwrite(row.data(), 1, row.size(), cjpeg), row.size());
        }
        ASSERT_EQ(::pclose(cjpeg), 0);
    }

    // The photo's first opening is the command starting on it: by then the
    // set is read and Ctrl+C is handled.
    const int watch = ::inotify_init1(IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, photo.c_str(), IN_OPEN), 0);
    Running run =
        StartCaption(SetArgument(work) + "--jobs 1 --out " + Q8(work.out()) + " " + Q8(photo));
    ASSERT_GT(run.pid, 0);
    ASSERT_NE(run.err, nullptr);
    pollfd opened{watch, POLLIN, 0};
    const int ready = ::poll(&opened, 1, 60000);
    const fs::path copy = work.out() / "large-captioned.jpg";
    const bool copyBefore = fs::exists(copy);
    ASSERT_EQ(::kill(run.pid, SIGINT), 0);
    ::close(watch);
    std::string output;
    const int status = Finish(run, output);
    ASSERT_EQ(ready, 1) << "the photo was never opened: " << output;
    EXPECT_FALSE(copyBefore) << "the copy was done before Ctrl+C";
    ASSERT_TRUE(WIFEXITED(status)) << output;
    EXPECT_EQ(WEXITSTATUS(status), 0) << output;
    EXPECT_TRUE(Contains(output, "1 captioned, 0 failed")) << output;
    EXPECT_FALSE(Contains(output, "stopped:")) << output;
    EXPECT_TRUE(Decodes(copy));
}

TEST(CaptionInputs, AFolderOfHeicAvifPngTiffAndWebpPhotosIsCaptionedWhateverTheLetterCase) {
    LUMORA_SKIP_WITHOUT_CORPUS();
    Workspace work;
    const std::pair<const char*, const char*> photos[] = {
        {"mei_IMG_2927.HEIC", "IMG_2927.HEIC"}, {"pil_rot1mir0.avif", "turned.Avif"},
        {"pil_exif.png", "exif.PNG"},           {"etool_ExifTool.tif", "scan.tiff"},
        {"pil_flower.webp", "flower.webp"},
    };
    for (const auto& [from, to] : photos)
        fs::copy_file(CorpusDir() / "formats" / from, work.in() / to);
    const Ran ran =
        work.Caption(SetArgument(work) + "--out " + Q8(work.out()) + " " + Q8(work.in()));
    EXPECT_EQ(ran.status, 0) << ran.err;
    EXPECT_EQ(Listing(work.out()),
              (std::set<std::string>{"IMG_2927-captioned.jpg", "turned-captioned.jpg",
                                     "exif-captioned.jpg", "scan-captioned.jpg",
                                     "flower-captioned.jpg"}));
    // The same road as the window's: the same bytes for the same photo.
    EXPECT_EQ(ReadBytes(work.out() / "IMG_2927-captioned.jpg"),
              WindowSave(work.in() / "IMG_2927.HEIC", work.set(), work.file("window.jpg")));
    EXPECT_TRUE(Decodes(work.out() / "scan-captioned.jpg"));
}
