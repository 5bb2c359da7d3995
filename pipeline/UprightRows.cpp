#include "pipeline/UprightRows.h"

#include "formats/PictureGate.h"
#include "image/LargePages.h"
#include "image/Orientation.h"

#include <algorithm>

UprightRows::UprightRows(std::uint64_t maxPixels, int longerSide, const std::atomic<bool>* stop)
    : maxPixels_(maxPixels), longerSide_(static_cast<std::uint32_t>(std::max(0, longerSide))),
      stop_(stop) {}

unsigned UprightRows::scaleDenominator(std::uint32_t width, std::uint32_t height) {
    storedWidth_ = width;
    storedHeight_ = height;
    if (longerSide_ == 0)
        return 1;
    const std::uint32_t longer = std::max(width, height);
    unsigned denominator = 8;
    while (denominator > 1 && (longer + denominator - 1) / denominator < longerSide_)
        denominator /= 2;
    return denominator;
}

bool UprightRows::begin(const JpegFrame& frame, const JpegKeptSegments& kept) {
    try {
        metadata_ = std::make_shared<PhotoMetadata>(readPhotoMetadata(kept));
    } catch (const std::bad_alloc&) {
        metadata_ = std::make_shared<PhotoMetadata>();
    }
    orientation_ = metadata_->orientation;
    frame_ = frame;
    const bool swap = orientationSwapsSides(orientation_);
    fullSize_ = swap ? QSize(static_cast<int>(storedHeight_), static_cast<int>(storedWidth_))
                     : QSize(static_cast<int>(storedWidth_), static_cast<int>(storedHeight_));
    // Progressive files keep every coefficient until the end, whatever the
    // scale.
    const std::uint64_t decoderBytes =
        frame.progressive ? static_cast<std::uint64_t>(frame.components) * 2 : 0;
    PictureGate gate(maxPixels_);
    if (!gate.admit(static_cast<std::uint32_t>(fullSize_.width()),
                    static_cast<std::uint32_t>(fullSize_.height()), decoderBytes)) {
        gateRefusal_ = gate.refusal();
        refusal = "too large";
        return false;
    }
    const std::uint32_t width = swap ? frame.height : frame.width;
    const std::uint32_t height = swap ? frame.width : frame.height;
    picture_ = QImage(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB32);
    if (picture_.isNull()) {
        refusal = "not enough memory";
        return false;
    }
    AdviseLargePages(picture_.bits(), static_cast<std::size_t>(picture_.sizeInBytes()));
    return true;
}

std::uint8_t* UprightRows::directRow(std::uint32_t y) {
    return orientation_ == 1 ? picture_.scanLine(static_cast<int>(y)) : nullptr;
}

void UprightRows::rows(std::uint32_t first, std::uint32_t count, const std::uint8_t* const* rows) {
    placeStoredRows(orientation_, frame_.width, frame_.height, first, count, rows, picture_.bits(),
                    picture_.bytesPerLine());
}

bool UprightRows::stopped() {
    return stop_ != nullptr && stop_->load(std::memory_order_relaxed);
}
