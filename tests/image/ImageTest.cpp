// The memory stream the codec reads from and writes into.
#include "image/LxMemFile.h"

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <tuple>
#include <vector>

// A memory stream grows past its first block keeping what it holds, hands
// its block over, and refuses requests that overflow or need no block.
TEST(MemFile, GrowsKeepingItsBytesAndRefusesWhatItCannotDo) {
    auto* block = static_cast<std::uint8_t*>(std::malloc(16));
    std::memset(block, 0xAB, 16);
    LxMemFile stream(block, 16);
    const std::vector<std::uint8_t> data(70000, 7);
    ASSERT_TRUE(stream.Seek(0, 2));
    EXPECT_EQ(stream.Write(data.data(), 1, data.size()), data.size());
    EXPECT_EQ(stream.Size(), 70016);
    ASSERT_TRUE(stream.Seek(-5, 0));
    EXPECT_EQ(stream.Tell(), 0) << "clamped at the start";
    std::vector<std::uint8_t> back(70020);
    EXPECT_EQ(stream.Read(back.data(), 4, back.size() / 4), 70016u / 4);
    EXPECT_TRUE(back[15] == 0xAB && back[16] == 7 && back[70015] == 7 && back[70016] == 0);
    EXPECT_EQ(stream.Read(back.data(), SIZE_MAX, 2), 0u) << "an overflowing request reads nothing";
    EXPECT_FALSE(stream.Seek(0x7FFFFFFF, 1)) << "a position past 2^31 cannot be represented";
    block = stream.GetBufferPointer(true);
    block[70015] = 1; // ours now: ASan reports a use after free or a double free
    std::free(block);

    LxMemFile none;
    EXPECT_EQ(none.Write(data.data(), 1, 1), 0u);
    EXPECT_FALSE(none.PutByte(1) || none.Seek(0, 0));
    EXPECT_EQ(std::make_tuple(none.Tell(), none.Size(), none.GetByte()),
              std::make_tuple(-1, -1, -1));
}
