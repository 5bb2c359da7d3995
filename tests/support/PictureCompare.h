#pragma once

// How far a picture is from a decoded one (djpeg's, Pillow's), sample by sample.
#include "tests/support/TestSupport.h"

#include <QImage>

#include <algorithm>
#include <cmath>

namespace testing_support {

struct PictureDifference {
    int worst = 256;   // the largest difference of any sample
    double mean = 256; // the mean difference of a sample
    double psnr = -1;  // peak signal-to-noise ratio in dB, 99 when equal
};

// `picture` against rows `top` on of `decoded`, which must be `top` rows
// higher and as wide (else the worst result); grey samples stand for equal
// red, green and blue.
inline PictureDifference Compare(const QImage& picture, const Pnm& decoded, int top = 0) {
    if (picture.width() != decoded.width || picture.height() + top != decoded.height ||
        picture.isNull())
        return {};
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    const auto channels = static_cast<std::size_t>(decoded.channels);
    int worst = 0;
    double sum = 0, squares = 0;
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x) {
            const std::uint8_t* s =
                &decoded.samples[(std::size_t(y + top) * decoded.width + x) * channels];
            const int theirs[3] = {s[0], s[channels == 3 ? 1 : 0], s[channels == 3 ? 2 : 0]};
            const int ours[3] = {qRed(row[x]), qGreen(row[x]), qBlue(row[x])};
            for (int c = 0; c < 3; ++c) {
                const int d = std::abs(ours[c] - theirs[c]);
                worst = std::max(worst, d);
                sum += d;
                squares += d * d;
            }
        }
    }
    const double samples = 3.0 * rgb.width() * rgb.height();
    return {worst, sum / samples,
            squares == 0 ? 99 : 10 * std::log10(255.0 * 255.0 * samples / squares)};
}

} // namespace testing_support
