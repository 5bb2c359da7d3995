#pragma once

#include <bit>
#include <cstdint>

// The 40-byte header that starts every packed device-independent bitmap
// block, laid out exactly as on disk and in GDI (little-endian, no padding).
struct BitmapInfoHeader {
    std::uint32_t biSize;
    std::int32_t biWidth;
    std::int32_t biHeight;
    std::uint16_t biPlanes;
    std::uint16_t biBitCount;
    std::uint32_t biCompression;
    std::uint32_t biSizeImage;
    std::int32_t biXPelsPerMeter;
    std::int32_t biYPelsPerMeter;
    std::uint32_t biClrUsed;
    std::uint32_t biClrImportant;
};

static_assert(sizeof(BitmapInfoHeader) == 40, "the header is copied byte for byte");
static_assert(std::endian::native == std::endian::little,
              "the packed block is stored in the machine's order, which must be little-endian");
