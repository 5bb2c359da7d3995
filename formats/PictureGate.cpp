#include "formats/PictureGate.h"

#include <fstream>
#include <string>

namespace {

// The memory the system could give now, in bytes; 0 when it does not say.
std::uint64_t availableMemory() {
    std::ifstream meminfo("/proc/meminfo");
    std::string key;
    std::uint64_t kib = 0;
    std::string unit;
    while (meminfo >> key >> kib >> unit) {
        if (key == "MemAvailable:")
            return kib * 1024;
    }
    return 0;
}

QString megapixels(std::uint64_t pixels) {
    return QString::number((pixels + 500'000) / 1'000'000);
}

} // namespace

bool PictureGate::fitsInMemory(std::uint64_t bytes) {
    const std::uint64_t available = availableMemory();
    return available == 0 || bytes <= available;
}

bool PictureGate::admit(std::uint32_t width, std::uint32_t height,
                        std::uint64_t decoderBytesPerPixel) {
    const std::uint64_t pixels = std::uint64_t{width} * height;
    const QString size = QStringLiteral("%1 × %2 pixels (%3 megapixels)")
                             .arg(width)
                             .arg(height)
                             .arg(megapixels(pixels));
    if (pixels > maxPixels_) {
        refusal_ =
            QStringLiteral("%1; the limit is %2 megapixels").arg(size, megapixels(maxPixels_));
        return false;
    }
    const std::uint64_t available = availableMemory();
    const std::uint64_t needed = pixels * (kJobBytesPerPixel + decoderBytesPerPixel);
    if (available != 0 && needed > available) {
        refusal_ = QStringLiteral("%1; this computer has memory for about %2 megapixels now")
                       .arg(size, megapixels(available / kJobBytesPerPixel));
        return false;
    }
    return true;
}
