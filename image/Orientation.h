#pragma once

#include <cstddef>
#include <cstdint>

// Turning a stored picture upright by its EXIF Orientation: 1 as stored,
// 2 mirrored left to right, 3 turned 180 degrees, 4 mirrored top to bottom,
// 5 transposed, 6 turned 90 degrees clockwise, 7 transversed, 8 turned 90
// degrees anticlockwise. Any other value is treated as 1. Pixels are 32 bits.

// The value as one of 1..8, with anything else as 1.
int uprightOrientation(std::int64_t value);
// Whether the upright picture has width and height swapped (5 to 8).
bool orientationSwapsSides(int orientation);

// Places `count` stored rows, from stored row `first` on, of a stored
// picture `width` x `height`, into the upright picture whose rows start at
// `upright` and lie `uprightStride` bytes apart. Together, the calls for every
// stored row fill the upright picture once: one pass over the pixels.
void placeStoredRows(int orientation, std::uint32_t width, std::uint32_t height,
                     std::uint32_t first, std::uint32_t count, const std::uint8_t* const* rows,
                     std::uint8_t* upright, std::ptrdiff_t uprightStride);
