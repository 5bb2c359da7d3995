#include "app/CommandIdTable.h"

#include <algorithm>

namespace {

// The classic C library generator (multiplier 214013, increment 2531011,
// 15-bit results), kept here so the table is a pure function of the time
// and does not disturb or depend on the process's rand() state.
class ClassicRandom {
public:
    explicit ClassicRandom(std::uint32_t seed) : state_(seed) {}

    int next() {
        state_ = state_ * 214013u + 2531011u;
        return static_cast<int>((state_ >> 16) & 0x7FFF);
    }

private:
    std::uint32_t state_;
};

} // namespace

CommandIdTable::CommandIdTable(std::int64_t timeInSeconds) {
    ClassicRandom random(static_cast<std::uint32_t>(timeInSeconds) & 0xFFFF0000u);
    int stored = 0;
    while (stored < kSize) {
        const int value = random.next() % kSpan + kFirst;
        const auto end = ids_.begin() + stored;
        if (std::find(ids_.begin(), end, value) == end)
            ids_[static_cast<std::size_t>(stored++)] = value;
    }
}
