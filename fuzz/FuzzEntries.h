#pragma once

#include <cstddef>
#include <cstdint>

// The work each fuzz target does on one input. Shared with the regression
// test, which replays every saved crasher through the same code.
namespace fuzz_entries {

// Scans the segments of a stream in memory for metadata, then re-reads it
// for image data and writes the kept segments back out.
void ExifScan(const std::uint8_t* data, std::size_t size);

// Decodes a stream in memory; small pictures are encoded again, which also
// exercises writing a decoded file's EXIF block back.
void Decode(const std::uint8_t* data, std::size_t size);

// Writes a copy that keeps the stream's blocks, turned by an orientation
// the input's size picks, with band rows above and below and a pattern of
// changed cells; then the same canvas encoded afresh with its tables. A copy
// reported written must decode without a single warning.
void BlockCopy(const std::uint8_t* data, std::size_t size);

} // namespace fuzz_entries
