#pragma once

#include "image/BitmapInfoHeader.h"

#include <cstddef>
#include <cstdint>

class LxFile;
class QImage;
class QPainter;
class QRect;

// One raster picture held as a single packed device-independent bitmap block:
// the 40-byte header, an optional palette (blue, green, red, reserved) and
// bottom-up pixel rows padded to 4 bytes. Row 0 is the bottom of the picture.
//
// Failures return null or false and leave a fixed English text in
// lastError(), which a later success never clears.
class LxImage {
public:
    static constexpr std::uint32_t kTypeNone = 0;
    static constexpr std::uint32_t kTypeJpeg = 3;
    // Largest pixel payload Create accepts, in bytes.
    static constexpr std::uint64_t kMaxMemory = 268435456; // LXIMAGE_MAX_MEMORY
    static constexpr std::size_t kErrorCapacity = 256;

    explicit LxImage(std::uint32_t typeCode = kTypeNone);
    virtual ~LxImage();
    LxImage(const LxImage&) = delete;
    LxImage& operator=(const LxImage&) = delete;

    bool Destroy();
    // Replaces the image with a new block of width x height; bitsPerPixel is
    // normalised to 1, 4, 8 or 24. Pixel rows are left uninitialised.
    std::uint8_t* Create(std::uint32_t width, std::uint32_t height, std::uint32_t bitsPerPixel,
                         std::uint32_t typeCode);
    // Whether Create would accept these dimensions (same arithmetic, no allocation).
    static bool FitsMemoryLimit(std::uint32_t width, std::uint32_t height,
                                std::uint32_t bitsPerPixel);
    static std::uint32_t NormaliseBitCount(std::uint32_t bitsPerPixel);

    bool HasBlock() const { return block_ != nullptr; }
    const std::uint8_t* GetBlock() const { return block_; }
    const BitmapInfoHeader& GetHeader() const { return header_; }
    std::int32_t GetWidth() const { return header_.biWidth; }
    std::int32_t GetHeight() const { return header_.biHeight; }
    std::uint32_t GetBitCount() const { return header_.biBitCount; }
    std::uint32_t GetRowStride() const { return rowStride_; }
    std::uint8_t* GetRowPointer(std::int32_t row) const;
    std::uint8_t* GetPalette() const;
    std::uint32_t GetPaletteBytes() const { return 4 * header_.biClrUsed; }
    std::size_t GetBlockSize() const;
    std::uint8_t GetQuality() const;
    std::uint8_t GetDecodeScale() const { return decodeScale_; }
    std::uint32_t GetCodecFlags(std::uint32_t type) const;
    std::int32_t GetXResolution() const { return xResolution_; }
    std::int32_t GetYResolution() const { return yResolution_; }
    std::uint32_t GetTypeCode() const { return typeCode_; }
    const char* lastError() const { return lastError_; }

    void SetXResolution(std::int32_t dpi);
    void SetYResolution(std::int32_t dpi);
    void SetPaletteColours(std::uint32_t count, const std::uint8_t* red, const std::uint8_t* green,
                           const std::uint8_t* blue);
    void SetGreyRamp();
    bool IsGreyRamp() const;
    void SwapRedBlue(std::uint8_t* buffer, std::size_t length) const;
    // True means refuse: no stream, or nothing to encode.
    bool CheckEncodeTarget(LxFile* stream);

    // Drawing between the block and Qt (LxImageDraw.cpp, target
    // lumora_image_draw; only callers of these two link Qt).
    //
    // Paints the picture the right way up with its top-left corner at x, y.
    // A negative width or height stands for the image's own; a size other
    // than the image's stretches it (smoothly when smooth is set). The clip
    // rectangle, when given, limits the drawing for this call only; the
    // painter leaves in the state it entered with. False when nothing was
    // drawn: no block, no painter, or a width or height of 0.
    bool DrawToDC(QPainter* painter, std::int32_t x, std::int32_t y, std::int32_t width,
                  std::int32_t height, const QRect* clip, bool smooth) const;
    // Replaces the image with a copy of the bitmap's pixels: 24-bit BGR for
    // bitmaps deeper than 8 bits, palette indices and the bitmap's colour
    // table for 1- and 8-bit ones. The palette argument is unused (as with
    // GDI, a bitmap carries its own colours) and kept for the call's shape.
    bool CreateFromBitmapHandle(const QImage& bitmap, const void* palette = nullptr);

protected:
    void SetLastError(const char* text);
    char* lastErrorBuffer() { return lastError_; }

private:
    static std::int32_t PelsPerMetre(std::int32_t dpi);
    // Stores a dpi (96 for none) and its pixels per metre in both headers.
    void SetResolution(std::int32_t dpi, std::int32_t& stored,
                       std::int32_t BitmapInfoHeader::*pelsField, std::size_t pelsOffset);

    std::uint8_t* block_ = nullptr;
    BitmapInfoHeader header_{};
    std::uint32_t rowStride_ = 0;
    std::uint8_t* pixels_ = nullptr;
    std::uint32_t typeCode_;
    char lastError_[kErrorCapacity] = {};
    float quality_ = 90.0f;
    std::uint8_t decodeScale_ = 0;
    std::int32_t xResolution_ = 96;
    std::int32_t yResolution_ = 96;
    std::uint32_t codecFlags_[2] = {0, 0};
};

// Walks the rows of an image from the top of the picture to the bottom.
class RowCursor {
public:
    explicit RowCursor(const LxImage* image);

    void SeekTopRow();
    void CopyRowIn(const std::uint8_t* buffer, std::int64_t n);
    void CopyRowOut(std::uint8_t* buffer, std::int64_t n) const;
    void StepDown();

    std::int32_t RowIndex() const { return rowIndex_; }
    std::uint8_t* Row() const { return row_; }

private:
    std::int32_t rowIndex_ = 0;
    std::uint8_t* row_ = nullptr;
    const LxImage* image_;
};
