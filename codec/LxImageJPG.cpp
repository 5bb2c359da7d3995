#include "codec/LxImageJPG.h"

#include "codec/JpegRows.h"
#include "codec/JpegSettings.h"
#include "codec/NumericCast.h"
#include "image/LxFile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <new>

namespace {
static_assert(JMSG_LENGTH_MAX <= LxImage::kErrorCapacity);

// Whole-image buffers of progressive files are bounded well above what the
// largest picture we accept needs, so a hostile header cannot make libjpeg
// reserve gigabytes.
constexpr long kMaxLibraryMemory = 1L << 30;
} // namespace

LxImageJPG::LxImageJPG() : LxImage(kTypeJpeg) {
    std::memset(&exifInfo, 0, sizeof exifInfo);
}

LxImageJPG::~LxImageJPG() = default;

bool LxImageJPG::ReadExif(LxFile* stream) {
    exifReader_.reset(new (std::nothrow) ExifReader(&exifInfo));
    if (!exifReader_) {
        return false;
    }
    const std::int32_t position = stream->Tell();
    exifReader_->ScanSections(stream, ExifReader::ReadMetadata);
    stream->Seek(position, 0);
    return exifInfo.isExif;
}

namespace {
// Puts the decoded rows into the image block, which keeps its rows bottom
// first: set up from the header, refused over the block's memory limit.
class ImageRows : public JpegRowSink {
public:
    ImageRows(LxImageJPG& image, std::function<void(const JpegFrame&)> setUp)
        : image_(image), setUp_(std::move(setUp)) {}

    bool begin(const JpegFrame& frame, const JpegKeptSegments&) override {
        if (!image_.FitsMemoryLimit(frame.width, frame.height,
                                    8 * static_cast<unsigned>(frame.pixelBytes))) {
            refusal = "LXIMAGE_MAX_MEMORY exceeded";
            return false;
        }
        if (!image_.Create(frame.width, frame.height, 8 * static_cast<unsigned>(frame.pixelBytes),
                           LxImage::kTypeJpeg)) {
            refusal = image_.lastError();
            return false;
        }
        height_ = frame.height;
        setUp_(frame);
        return true;
    }
    std::uint8_t* directRow(std::uint32_t y) override {
        return image_.GetRowPointer(static_cast<std::int32_t>(height_ - 1 - y));
    }
    void rows(std::uint32_t, std::uint32_t, const std::uint8_t* const*) override {}

private:
    LxImageJPG& image_;
    std::function<void(const JpegFrame&)> setUp_;
    std::uint32_t height_ = 0;
};
} // namespace

bool LxImageJPG::Decode(LxFile* stream) {
    if (!stream) {
        SetLastError("null file handler");
        return false;
    }
    const bool exifFound = ReadExif(stream);
    ImageRows rows(*this, [this, exifFound](const JpegFrame& frame) {
        ApplyResolution(exifFound, frame.densityUnit, frame.xDensity, frame.yDensity);
        if (frame.pixelBytes == 1)
            SetGreyRamp();
    });
    // No header segment is kept: the EXIF reader has what the block needs.
    JpegKeptSegments kept;
    kept.budget = 0;
    JpegDecodeOptions options;
    options.compact = true;
    options.scaleDenominator = GetDecodeScale();
    options.maxLibraryMemory = kMaxLibraryMemory;
    std::string error;
    if (!DecodeJpegRows(stream, rows, kept, error, options)) {
        SetLastError(error.c_str());
        return false;
    }
    return true;
}

void LxImageJPG::ApplyResolution(bool exifFound, int densityUnit, unsigned xDensity,
                                 unsigned yDensity) {
    if (exifFound) {
        // Single precision, like the record's fields; the quotient is truncated.
        if (exifInfo.xResolution != 0 && exifInfo.resolutionUnit != 0) {
            SetXResolution(TruncateToInt32(exifInfo.xResolution / exifInfo.resolutionUnit));
        }
        if (exifInfo.yResolution != 0 && exifInfo.resolutionUnit != 0) {
            SetYResolution(TruncateToInt32(exifInfo.yResolution / exifInfo.resolutionUnit));
        }
        return;
    }
    switch (densityUnit) {
    case 0:
        if (xDensity > 0 && yDensity > 0) {
            SetYResolution(TruncateToInt32(GetXResolution() * (double(yDensity) / xDensity)));
        }
        break;
    case 2:
        SetXResolution(TruncateToInt32(std::floor(xDensity * 2.54 + 0.5)));
        SetYResolution(TruncateToInt32(std::floor(yDensity * 2.54 + 0.5)));
        break;
    default:
        SetXResolution(static_cast<std::int32_t>(xDensity));
        SetYResolution(static_cast<std::int32_t>(yDensity));
        break;
    }
}

bool LxImageJPG::Encode(LxFile* stream) {
    if (CheckEncodeTarget(stream)) {
        return false;
    }
    // Palette images can be written only as grey ramps of one byte a pixel.
    if (GetHeader().biClrUsed != 0 && (!IsGreyRamp() || GetBitCount() != 8)) {
        SetLastError("JPEG can save only RGB or GreyScale images");
        return false;
    }
    const std::int32_t position = stream->Tell();
    // The row encoder takes the block's rows top first: the block keeps its
    // bottom row first, so the rows step backwards through it.
    JpegEncodeSettings settings;
    settings.quality = GetQuality();
    settings.pixels = IsGreyRamp() ? JpegPixels::Grey : JpegPixels::Bgr;
    settings.xDpi = static_cast<std::uint16_t>(static_cast<unsigned>(GetXResolution()));
    settings.yDpi = static_cast<std::uint16_t>(static_cast<unsigned>(GetYResolution()));
    const auto height = static_cast<std::uint32_t>(std::max(GetHeight(), 0));
    const auto stride = static_cast<std::ptrdiff_t>(GetRowStride());
    const std::uint8_t* bottom = GetRowPointer(0);
    const std::uint8_t* top = bottom != nullptr && height > 0
                                  ? bottom + stride * static_cast<std::ptrdiff_t>(height - 1)
                                  : nullptr;
    std::string error;
    if (!EncodeJpegRows(stream, top, -stride, static_cast<std::uint32_t>(GetWidth()), height,
                        settings, error)) {
        SetLastError(error.c_str());
        return false;
    }
    if (exifReader_ && exifInfo.isExif) {
        exifReader_->KeepExifAndComment();
        stream->Seek(position, 0);
        exifReader_->ScanSections(stream, ExifReader::ReadImageData);
        stream->Seek(position, 0);
        exifReader_->WriteSections(stream);
    }
    return true;
}
