#pragma once

#include "formats/PictureFormat.h"

#include <cstddef>
#include <cstdint>

namespace fuzz_entries {

// Reads the bytes with the reader of `format` (HEIF and AVIF through
// libheif, the others through Qt's plugins), whatever their first bytes say;
// when a picture comes out, turns it upright, reads its metadata and writes
// that again as a copy would carry it. Pictures are capped at a few
// megapixels so that each run stays quick.
void ReadFormat(PictureFormat format, const std::uint8_t* data, std::size_t size);

} // namespace fuzz_entries
