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

// A photo-like picture made one row at a time: soft gradients and blobs of
// colour with sensor-like noise, so that the encoder has real work to do.
class PhotoRows {
public:
    PhotoRows(int width, int height);
    // The next row, from row 0 on, as `width` pixels of blue, green, red.
    void Next(std::uint8_t* bgr);

private:
    int width_;
    int height_;
    int y_ = 0;
    std::uint32_t seed_ = 2463534242u;
};

// Fills a 24-bit image with the photo-like picture, row 0 of the generator
// in the image's row 0.
void FillPhoto(LxImage& image, int width, int height);

// Writes the photo-like picture as a quality-90, 4:2:0 JPEG with bare
// libjpeg, generator row 0 at the top, holding one row at a time: pictures
// of any size are made without holding them. False when the file cannot be
// written.
bool WritePhotoJpeg(const std::string& path, int width, int height);

// The same picture as packed top-down RGB rows, for the bare libjpeg runs.
std::vector<std::uint8_t> ToRgbRows(const LxImage& image);

// Writes the photo once per process as a quality-90 JPEG under /tmp, named
// after the process, and returns its path.
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
