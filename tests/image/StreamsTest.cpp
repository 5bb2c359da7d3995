#include "image/LxIOFile.h"
#include "image/LxMemFile.h"
#include "tests/support/TestSupport.h"

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>

namespace {
std::uint8_t* MallocBlock(std::size_t n, std::uint8_t fill) {
    auto* block = static_cast<std::uint8_t*>(std::malloc(n));
    std::memset(block, fill, n);
    return block;
}
} // namespace

TEST(MemFile, StartsOverCallersBlockAndGrowsIn64KiBSteps) {
    LxMemFile stream(MallocBlock(16, 0xAB), 16);
    EXPECT_EQ(stream.Size(), 16);
    std::uint8_t read[32] = {};
    EXPECT_EQ(stream.Read(read, 1, 32), 16u);
    EXPECT_TRUE(read[0] == 0xAB && read[15] == 0xAB);
    EXPECT_EQ(stream.Capacity(), 16);
    ASSERT_EQ(stream.Tell(), 16);
    const std::uint8_t one = 7;
    EXPECT_EQ(stream.Write(&one, 1, 1), 1u);
    EXPECT_EQ(stream.Capacity(), 65536);
    EXPECT_EQ(stream.Size(), 17);
    ASSERT_TRUE(stream.Seek(65535, 0));
    EXPECT_TRUE(stream.PutByte(1));
    EXPECT_EQ(stream.Capacity(), 65536) << "the last byte of the block needs no growth";
    ASSERT_TRUE(stream.Seek(65535, 0));
    const std::uint8_t two[2] = {1, 2};
    EXPECT_EQ(stream.Write(two, 1, 2), 2u);
    EXPECT_EQ(stream.Capacity(), 131072);
    EXPECT_EQ(stream.Size(), 65537);
    // The stream now owns the grown block; its destructor frees it (ASan checks).
}

TEST(MemFile, SeekClampsBelowZeroAllowsPastEndAndRejectsUnknownOrigin) {
    LxMemFile stream(MallocBlock(100, 0), 100);
    EXPECT_TRUE(stream.Seek(-5, 0));
    EXPECT_EQ(stream.Tell(), 0);
    EXPECT_FALSE(stream.Seek(0, 7));
    EXPECT_EQ(stream.Tell(), 0);
    EXPECT_TRUE(stream.Seek(10, 2));
    EXPECT_EQ(stream.Tell(), 110);
    EXPECT_TRUE(stream.AtEnd());
    EXPECT_EQ(stream.ErrorState(), 1);
    std::uint8_t byte = 0;
    EXPECT_EQ(stream.Read(&byte, 1, 1), 0u);
    EXPECT_EQ(stream.GetByte(), -1);
    EXPECT_EQ(stream.Write(&byte, 1, 1), 1u);
    EXPECT_EQ(stream.Size(), 111);
    EXPECT_EQ(stream.ErrorState(), 0);
    EXPECT_FALSE(stream.Seek(0x7FFFFFFF, 1)) << "a position past 2^31 cannot be represented";
}

TEST(MemFile, ReadsWholeItemsAndLinesAndTheDetachedBlockIsTheCallers) {
    std::uint8_t* block = MallocBlock(10, 0);
    for (int i = 0; i < 10; ++i)
        block[i] = static_cast<std::uint8_t>(i);
    LxMemFile stream(block, 10);
    std::uint8_t out[12] = {};
    EXPECT_EQ(stream.Read(out, 4, 3), 2u) << "whole items counted, the partial one consumed";
    EXPECT_EQ(stream.Tell(), 10);
    EXPECT_EQ(out[9], 9);
    EXPECT_EQ(stream.Read(out, 0, 3), 0u);
    EXPECT_EQ(stream.Read(nullptr, 1, 3), 0u);
    EXPECT_EQ(stream.Read(out, SIZE_MAX, 2), 0u) << "an overflowing request reads nothing";
    std::free(stream.GetBufferPointer(true)); // never grown, so still the caller's

    block = MallocBlock(5, 0);
    std::memcpy(block, "ab\ncd", 5);
    LxMemFile text(block, 5);
    char line[10];
    ASSERT_EQ(text.GetLine(line, 10), line);
    EXPECT_STREQ(line, "ab\n");
    EXPECT_EQ(text.GetLine(line, 10), nullptr) << "the end reached";
    EXPECT_TRUE(line[0] == 'c' && line[1] == 'd');
    EXPECT_EQ(text.ScanFormatted("%d", nullptr), 0);
    std::free(text.GetBufferPointer(true));

    {
        LxMemFile grown(MallocBlock(16, 0), 16);
        std::uint8_t data[5000] = {};
        ASSERT_EQ(grown.Write(data, 1, sizeof data), sizeof data);
        block = grown.GetBufferPointer(true);
    }
    block[4999] = 1; // still ours: ASan would report a use after free
    std::free(block);
}

// Without a buffer or a stream every operation fails, and none crashes.
TEST(MemFile, WithoutBufferOrStreamEveryOperationFails) {
    LxMemFile stream;
    std::uint8_t byte = 1;
    EXPECT_EQ(stream.Write(&byte, 1, 1), 0u);
    EXPECT_FALSE(stream.PutByte(1) || stream.Seek(0, 0) || stream.Flush());
    EXPECT_EQ(std::make_tuple(stream.Tell(), stream.Size(), stream.ErrorState(), stream.GetByte()),
              std::make_tuple(-1, -1, -1, -1));
    EXPECT_TRUE(stream.AtEnd() && stream.Close());

    LxIOFile none(nullptr, false);
    EXPECT_EQ(std::make_tuple(none.Tell(), none.Size(), none.GetByte(), none.ErrorState()),
              std::make_tuple(0, -1, -1, -1));
    EXPECT_TRUE(none.AtEnd() && none.Close());
    EXPECT_FALSE(none.Seek(0, 0));
    EXPECT_EQ(none.GetLine(nullptr, 1), nullptr);
}

TEST(IOFile, ForwardsToStdioAndKeepsAStreamItDoesNotOwn) {
    testing_support::TempDir dir;
    const auto path = dir.file("stream.bin");
    std::FILE* file = std::fopen(path.c_str(), "w+b");
    ASSERT_NE(file, nullptr);
    {
        LxIOFile stream(file, false);
        EXPECT_EQ(stream.Write("hello\nworld", 1, 11), 11u);
        EXPECT_TRUE(stream.PutByte('!'));
        EXPECT_TRUE(stream.Flush());
        EXPECT_EQ(stream.Size(), 12);
        EXPECT_EQ(stream.Tell(), 12) << "Size restores the position";
        EXPECT_TRUE(stream.Seek(0, 0));
        EXPECT_EQ(stream.GetByte(), 'h');
        char line[16];
        EXPECT_STREQ(stream.GetLine(line, sizeof line), "ello\n");
        EXPECT_TRUE(stream.Seek(-1, 2));
        EXPECT_EQ(stream.GetByte(), '!');
        EXPECT_EQ(stream.GetByte(), -1);
        EXPECT_TRUE(stream.AtEnd());
        EXPECT_EQ(stream.ErrorState(), 0);
        EXPECT_TRUE(stream.Close()) << "without ownership Close leaves the stream open";
    }
    EXPECT_EQ(std::fseek(file, 0, SEEK_SET), 0) << "the wrapper must not have closed it";
    std::fclose(file);
}
