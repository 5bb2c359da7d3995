#pragma once

#include <QString>

#include <cstdint>

// Decides, right after a picture's header and before anything picture-sized
// is allocated, whether a picture of that size may be opened: at most
// `maxPixels`, and no more than the memory the system has available for the
// job. Every reader asks the same gate, so every format gets the same limits
// and the same message.
class PictureGate {
public:
    explicit PictureGate(std::uint64_t maxPixels) : maxPixels_(maxPixels) {}

    // `decoderBytesPerPixel` is what the format's decoder holds besides the
    // job's own picture, canvas and encoded copy. False when refused, with
    // refusal() saying why ("4000 × 3000 pixels (12 megapixels); the limit
    // is ...").
    bool admit(std::uint32_t width, std::uint32_t height, std::uint64_t decoderBytesPerPixel);

    const QString& refusal() const { return refusal_; }
    // Whether the system has `bytes` available now (true when it does not
    // say), for a decoder that may hold more than the picture.
    static bool fitsInMemory(std::uint64_t bytes);
    std::uint64_t maxPixels() const { return maxPixels_; }

private:
    std::uint64_t maxPixels_;
    QString refusal_;
};

// What one job holds per pixel at its peak: the picture, the canvas and the
// encoder's output, in 32-bit pixels.
constexpr std::uint64_t kJobBytesPerPixel = 12;
