#pragma once

#include <array>
#include <cstdint>

// The identifiers of the main window's children and button commands: 100
// distinct values in 16000..30999, drawn once per process from a generator
// seeded with the time in seconds with its low 16 bits cleared. The same
// upper 16 bits of the time give the same table.
class CommandIdTable {
public:
    static constexpr int kSize = 100;
    static constexpr int kFirst = 16000;
    static constexpr int kSpan = 15000;

    // Entries with a use; the rest are drawn and never used.
    static constexpr int ImageView = 0;
    static constexpr int AddButton = 1;
    static constexpr int EditButton = 2;
    static constexpr int RemoveButton = 3;
    static constexpr int Link = 4;

    explicit CommandIdTable(std::int64_t timeInSeconds);

    int operator[](int entry) const { return ids_.at(static_cast<std::size_t>(entry)); }
    const std::array<int, kSize>& ids() const { return ids_; }

private:
    std::array<int, kSize> ids_{};
};
