#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

class LxImage;

namespace bench_support {

constexpr int kPhotoWidth = 6000;
constexpr int kPhotoHeight = 4000; // 24 megapixels

// Fills a 24-bit image with a photo-like picture: soft gradients and blobs
// of colour with sensor-like noise, so that the encoder has real work to do.
void FillPhoto(LxImage& image, int width, int height);

// The same picture as packed top-down RGB rows, for the bare libjpeg runs.
std::vector<std::uint8_t> ToRgbRows(const LxImage& image);

// Writes the photo once as a quality-90 JPEG under /tmp and returns its path.
std::string PhotoJpegPath();

struct FreeDeleter {
    void operator()(std::uint8_t* p) const { std::free(p); }
};
// Uninitialised like our image block, so that neither side pays for zeroing.
using RgbBuffer = std::unique_ptr<std::uint8_t, FreeDeleter>;

// Bare libjpeg: the whole file decoded to top-down RGB rows.
bool BareDecode(const std::string& path, RgbBuffer& rgb, int& width, int& height);
// Bare libjpeg: RGB rows encoded at quality 90, 4:2:0, into memory.
std::size_t BareEncode(const std::vector<std::uint8_t>& rgb, int width, int height);

} // namespace bench_support
