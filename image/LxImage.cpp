#include "image/LxImage.h"

#include "image/LargePages.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

namespace {
constexpr std::uint32_t kHeaderBytes = sizeof(BitmapInfoHeader);

std::uint32_t ColoursFor(std::uint32_t bitCount) {
    switch (bitCount) {
    case 1:
        return 2;
    case 4:
        return 16;
    case 8:
        return 256;
    default:
        return 0;
    }
}
} // namespace

LxImage::LxImage(std::uint32_t typeCode) : typeCode_(typeCode) {
    header_.biXPelsPerMeter = PelsPerMetre(xResolution_);
    header_.biYPelsPerMeter = PelsPerMetre(yResolution_);
}

LxImage::~LxImage() {
    Destroy();
}

bool LxImage::Destroy() {
    std::free(block_);
    block_ = nullptr;
    pixels_ = nullptr;
    return true;
}

void LxImage::SetLastError(const char* text) {
    std::strncpy(lastError_, text, kErrorCapacity - 1);
    lastError_[kErrorCapacity - 1] = '\0';
}

std::uint32_t LxImage::NormaliseBitCount(std::uint32_t bitsPerPixel) {
    if (bitsPerPixel <= 1) {
        return 1;
    }
    if (bitsPerPixel <= 4) {
        return 4;
    }
    if (bitsPerPixel <= 8) {
        return 8;
    }
    return 24;
}

bool LxImage::FitsMemoryLimit(std::uint32_t width, std::uint32_t height,
                              std::uint32_t bitsPerPixel) {
    const std::uint32_t bpp = NormaliseBitCount(bitsPerPixel);
    // The 32-bit test catches a product that wrapped; the 64-bit one also
    // catches width x height itself wrapping, which 32 bits cannot see.
    const std::uint32_t p = width * height;
    const std::uint32_t b = p * bpp;
    if (b / 8 > kMaxMemory || b / bpp != p) {
        return false;
    }
    const std::uint64_t bits = std::uint64_t{width} * height * bpp;
    return bits / 8 <= kMaxMemory;
}

std::uint8_t* LxImage::Create(std::uint32_t width, std::uint32_t height, std::uint32_t bitsPerPixel,
                              std::uint32_t typeCode) {
    Destroy();
    if (width == 0 || height == 0) {
        SetLastError("LxImage::Create : width and height must be greater than zero");
        return nullptr;
    }
    const std::uint32_t bpp = NormaliseBitCount(bitsPerPixel);
    if (!FitsMemoryLimit(width, height, bpp)) {
        SetLastError("LXIMAGE_MAX_MEMORY exceeded");
        return nullptr;
    }
    // Within the limit every product below fits in 32 bits.
    header_.biClrUsed = ColoursFor(bpp);
    rowStride_ = static_cast<std::uint32_t>(((std::uint64_t{width} * bpp + 31) / 32) * 4);
    typeCode_ = typeCode;
    header_.biSize = kHeaderBytes;
    header_.biWidth = static_cast<std::int32_t>(width);
    header_.biHeight = static_cast<std::int32_t>(height);
    header_.biPlanes = 1;
    header_.biBitCount = static_cast<std::uint16_t>(bpp);
    header_.biCompression = 0;
    header_.biSizeImage = rowStride_ * height;

    block_ = static_cast<std::uint8_t*>(std::malloc(GetBlockSize()));
    if (!block_) {
        SetLastError("LxImage::Create can't allocate memory");
        return nullptr;
    }
    AdviseLargePages(block_, GetBlockSize());
    if (header_.biClrUsed != 0) {
        std::memset(block_ + kHeaderBytes, 0, GetPaletteBytes());
    }
    std::memcpy(block_, &header_, kHeaderBytes);
    pixels_ = GetRowPointer(0);
    return block_;
}

std::uint8_t* LxImage::GetRowPointer(std::int32_t row) const {
    if (!block_) {
        return nullptr;
    }
    if (row != 0 && static_cast<std::uint32_t>(row) >= static_cast<std::uint32_t>(GetHeight())) {
        return nullptr;
    }
    BitmapInfoHeader stored;
    std::memcpy(&stored, block_, kHeaderBytes);
    return block_ + stored.biSize + GetPaletteBytes() +
           static_cast<std::size_t>(static_cast<std::uint32_t>(row)) * rowStride_;
}

std::uint8_t* LxImage::GetPalette() const {
    return block_ && header_.biClrUsed != 0 ? block_ + kHeaderBytes : nullptr;
}

std::size_t LxImage::GetBlockSize() const {
    return std::size_t{kHeaderBytes} + GetPaletteBytes() + header_.biSizeImage;
}

std::uint8_t LxImage::GetQuality() const {
    return static_cast<std::uint8_t>(quality_ + 0.5f);
}

std::uint32_t LxImage::GetCodecFlags(std::uint32_t type) const {
    if (type == kTypeJpeg || typeCode_ == kTypeJpeg) {
        return codecFlags_[1];
    }
    return codecFlags_[0];
}

std::int32_t LxImage::PelsPerMetre(std::int32_t dpi) {
    // A resolution read from a file can be absurd; the header field saturates.
    const double pels = std::floor(dpi * 10000.0 / 254.0 + 0.5);
    return pels >= 2147483647.0 ? std::numeric_limits<std::int32_t>::max()
                                : static_cast<std::int32_t>(pels);
}

void LxImage::SetResolution(std::int32_t dpi, std::int32_t& stored,
                            std::int32_t BitmapInfoHeader::*pelsField, std::size_t pelsOffset) {
    if (dpi <= 0) {
        dpi = 96;
    }
    stored = dpi;
    header_.*pelsField = PelsPerMetre(dpi);
    if (block_) {
        std::memcpy(block_ + pelsOffset, &(header_.*pelsField), sizeof(std::int32_t));
    }
}

void LxImage::SetXResolution(std::int32_t dpi) {
    SetResolution(dpi, xResolution_, &BitmapInfoHeader::biXPelsPerMeter,
                  offsetof(BitmapInfoHeader, biXPelsPerMeter));
}

void LxImage::SetYResolution(std::int32_t dpi) {
    SetResolution(dpi, yResolution_, &BitmapInfoHeader::biYPelsPerMeter,
                  offsetof(BitmapInfoHeader, biYPelsPerMeter));
}

void LxImage::SetPaletteColours(std::uint32_t count, const std::uint8_t* red,
                                const std::uint8_t* green, const std::uint8_t* blue) {
    std::uint8_t* palette = GetPalette();
    if (!red || !palette) {
        return;
    }
    if (!green) {
        green = red;
    }
    if (!blue) {
        blue = green;
    }
    const std::uint32_t n = std::min(count, header_.biClrUsed);
    for (std::uint32_t i = 0; i < n; ++i) {
        palette[4 * i] = blue[i];
        palette[4 * i + 1] = green[i];
        palette[4 * i + 2] = red[i];
    }
}

void LxImage::SetGreyRamp() {
    std::uint8_t* palette = GetPalette();
    if (!palette || header_.biClrUsed < 2) {
        return;
    }
    const std::uint32_t step = 255 / (header_.biClrUsed - 1);
    for (std::uint32_t i = 0; i < header_.biClrUsed; ++i) {
        const auto value = static_cast<std::uint8_t>((i * step) % 256);
        palette[4 * i] = value;
        palette[4 * i + 1] = value;
        palette[4 * i + 2] = value;
    }
}

bool LxImage::IsGreyRamp() const {
    const std::uint8_t* palette = GetPalette();
    if (!palette) {
        return false;
    }
    for (std::uint32_t i = 0; i < header_.biClrUsed; ++i) {
        const std::uint8_t* entry = palette + 4 * i;
        if (entry[0] != i || entry[1] != i || entry[2] != i) {
            return false;
        }
    }
    return true;
}

void LxImage::SwapRedBlue(std::uint8_t* buffer, std::size_t length) const {
    if (!buffer || header_.biClrUsed != 0) {
        return;
    }
    const std::size_t n =
        std::min({length, std::size_t{rowStride_},
                  std::size_t{3} * static_cast<std::uint32_t>(std::max(GetWidth(), 0))});
    // Only whole pixels: a group that would run past n is left alone.
    for (std::size_t i = 0; i + 2 < n; i += 3) {
        std::swap(buffer[i], buffer[i + 2]);
    }
}

bool LxImage::CheckEncodeTarget(LxFile* stream) {
    if (!stream) {
        SetLastError("null file handler");
        return true;
    }
    if (!block_) {
        SetLastError("null image!!!");
        return true;
    }
    return false;
}

RowCursor::RowCursor(const LxImage* image) : image_(image) {
    if (image_) {
        row_ = image_->GetRowPointer(0);
    }
}

void RowCursor::SeekTopRow() {
    if (!image_) {
        return;
    }
    rowIndex_ = image_->GetHeight() - 1;
    std::uint8_t* bottom = image_->GetRowPointer(0);
    row_ = bottom && rowIndex_ >= 0
               ? bottom + static_cast<std::size_t>(image_->GetRowStride()) * rowIndex_
               : nullptr;
}

void RowCursor::CopyRowIn(const std::uint8_t* buffer, std::int64_t n) {
    const std::int64_t stride = image_ ? image_->GetRowStride() : 0;
    if (n < 0 || n >= stride) {
        n = stride;
    }
    if (row_ && buffer && n > 0) {
        std::memcpy(row_, buffer, static_cast<std::size_t>(n));
    }
}

void RowCursor::CopyRowOut(std::uint8_t* buffer, std::int64_t n) const {
    if (row_ && buffer && n > 0) {
        const std::int64_t stride = image_->GetRowStride();
        std::memcpy(buffer, row_, static_cast<std::size_t>(std::min(n, stride)));
    }
}

void RowCursor::StepDown() {
    --rowIndex_;
    if (rowIndex_ >= 0 && row_) {
        row_ -= image_->GetRowStride();
    }
}
