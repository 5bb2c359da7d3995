// Files replaced whole or not at all, synced before they take the old one's place.
#include "captions/FileReplacer.h"
#include "tests/support/QtPaths.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <set>
#include <sys/stat.h>

using namespace testing_support;
namespace fs = std::filesystem;

namespace {
// The sizes of the regular files handed to fsync: a file renamed into
// place before its bytes reach the disk can be empty after a crash.
std::vector<off_t>& SyncedSizes() {
    static std::vector<off_t> sizes;
    return sizes;
}
} // namespace

// Takes the place of the C library's fsync in this program, and passes on.
extern "C" int fsync(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        SyncedSizes().push_back(st.st_size);
    static const auto next = reinterpret_cast<int (*)(int)>(::dlsym(RTLD_NEXT, "fsync"));
    return next(fd);
}

namespace {
using Kind = FileReplacer::Temporary;

mode_t ModeOf(const fs::path& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

bool Replace(const fs::path& target, const std::vector<std::uint8_t>& bytes, Kind kind) {
    FileReplacer out(Q(target), kind);
    return out.open() && out.write(bytes.data(), bytes.size()) && out.commit();
}

class FileReplacerTest : public testing::TestWithParam<Kind> {};
} // namespace

TEST_P(FileReplacerTest, ReplacesWholeFilesAndKeepsTheirPermissions) {
    TempDir dir;
    const fs::path target = dir.file("photo.jpg");
    std::vector<std::uint8_t> bytes(100000, 7);
    SyncedSizes().clear();
    ASSERT_TRUE(Replace(target, bytes, GetParam()));
    EXPECT_EQ(ReadBytes(target), bytes);
    EXPECT_EQ(SyncedSizes(), std::vector<off_t>{100000}) << "the whole file synced, once";
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(ModeOf(target), 0666 & ~mask) << "as a file made by fopen";

    ::chmod(target.c_str(), 0640);
    bytes.resize(10);
    ASSERT_TRUE(Replace(target, bytes, GetParam()));
    EXPECT_TRUE(ReadBytes(target) == bytes && ModeOf(target) == 0640u);

    // Written in part with its writeback started, then written again from
    // its start: only the second writing is the file.
    {
        FileReplacer out(Q(target), GetParam());
        const std::vector<std::uint8_t> first(50000, 1);
        bytes.assign(20, 2);
        ASSERT_TRUE(out.open() && out.write(first.data(), first.size()) && out.startWriteback());
        ASSERT_TRUE(out.rewind() && out.write(bytes.data(), bytes.size()) && out.commit());
        EXPECT_EQ(ReadBytes(target), bytes);
    }

    // Through a link, the file it names is replaced and the link stays.
    fs::create_symlink(target, dir.file("link.jpg"));
    bytes.assign(3, 9);
    ASSERT_TRUE(Replace(dir.file("link.jpg"), bytes, GetParam()));
    EXPECT_TRUE(fs::is_symlink(dir.file("link.jpg")) && ReadBytes(target) == bytes);
    EXPECT_EQ(Listing(dir.path()), (std::set<std::string>{"link.jpg", "photo.jpg"}));
}

// An abandoned or failed replacement, and a new name that is taken, leave
// the file that was there and no other.
TEST_P(FileReplacerTest, UnfinishedFailedOrRefusedWritesLeaveTheOldFileAndNoOther) {
    TempDir dir;
    const fs::path target = dir.file("photo.jpg");
    const std::vector<std::uint8_t> old = {1, 2, 3, 4};
    WriteBytes(target, old);
    const std::vector<std::uint8_t> big(200000, 0x55);
    {
        FileReplacer abandoned(Q(target), GetParam());
        ASSERT_TRUE(abandoned.open() && abandoned.write(big.data(), big.size()));
        EXPECT_TRUE(GetParam() != Kind::Named || Listing(dir.path()).size() == 2u) << "hidden file";
    }
    EXPECT_TRUE(ReadBytes(target) == old &&
                Listing(dir.path()) == std::set<std::string>{"photo.jpg"});

    FileReplacer out(Q(target), GetParam());
    bool written = false;
    {
        const FileSizeLimit limit(50000);
        ASSERT_TRUE(limit.active());
        written = out.open() && out.write(big.data(), big.size()) && out.commit();
    }
    EXPECT_TRUE(!written && out.errorText() == "File too large");
    EXPECT_FALSE(out.commit()) << "a failed replacement stays failed";

    FileReplacer taken(Q(target), GetParam());
    taken.keepExisting();
    ASSERT_TRUE(taken.open() && taken.write(big.data(), big.size()));
    EXPECT_TRUE(!taken.commit() && taken.errorText() == "File exists");
    EXPECT_TRUE(ReadBytes(target) == old &&
                Listing(dir.path()) == std::set<std::string>{"photo.jpg"});
    FileReplacer fresh(Q(dir.file("copy.jpg")), GetParam());
    fresh.keepExisting();
    ASSERT_TRUE(fresh.open() && fresh.write(old.data(), old.size()) && fresh.commit())
        << fresh.errorText().toStdString();
    EXPECT_EQ(ReadBytes(dir.file("copy.jpg")), old);
}

INSTANTIATE_TEST_SUITE_P(BothKinds, FileReplacerTest,
                         testing::Values(Kind::PreferUnnamed, Kind::Named));
