#pragma once

#include <QColor>
#include <QWidget>

#include <cstdint>
#include <optional>

// The colour chooser, started from a 0x00BBGGRR colour. Its 16 custom
// colours are one table for the whole run, shared by every chooser: white at
// start, changed by what the person adds in any chooser, and never stored,
// so each run of the program starts white again.
namespace ColorChooser {

constexpr int kCustomColorCount = 16;

// The chosen colour as 0x00BBGGRR (top byte 0), or nothing when cancelled.
std::optional<std::uint32_t> choose(QWidget* owner, std::uint32_t current);

QColor customColor(int index);

} // namespace ColorChooser
