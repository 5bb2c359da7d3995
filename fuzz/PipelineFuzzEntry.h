#pragma once

#include <cstddef>
#include <cstdint>

namespace fuzz_entries {

// Opens a file of these bytes as the window does (upright picture, metadata
// read) and, when it opens, saves it with its metadata carried. Pictures are
// capped at a few megapixels so that each run stays quick.
void OpenAndSave(const std::uint8_t* data, std::size_t size);

} // namespace fuzz_entries
