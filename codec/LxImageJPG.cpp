#include "codec/LxImageJPG.h"

#include "codec/JpegErrorManager.h"
#include "codec/JpegRows.h"
#include "codec/JpegSettings.h"
#include "codec/JpegStreamAdapter.h"
#include "codec/NumericCast.h"
#include "image/LxFile.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstring>
#include <new>

namespace {
static_assert(JMSG_LENGTH_MAX <= LxImage::kErrorCapacity);

// Whole-image buffers of progressive files are bounded well above what the
// largest picture we accept needs, so a hostile header cannot make libjpeg
// reserve gigabytes.
constexpr long kMaxLibraryMemory = 1L << 30;
// Rows handed to libjpeg per call; reading straight into the image's rows
// needs no second copy of the picture.
constexpr int kRowBatch = 16;
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

bool LxImageJPG::Decode(LxFile* stream) {
    if (!stream) {
        SetLastError("null file handler");
        return false;
    }
    const bool exifFound = ReadExif(stream);
    JpegStreamAdapter adapter(stream);
    return DecodeWith(adapter, exifFound);
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

bool LxImageJPG::DecodeWith(JpegStreamAdapter& adapter, bool exifFound) {
    jpeg_decompress_struct cinfo;
    JpegErrorManager error;
    cinfo.err = error.Install(lastErrorBuffer());
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = kMaxLibraryMemory;
    adapter.InstallSource(&cinfo);
    jpeg_read_header(&cinfo, TRUE);

    // libjpeg's default scale is 1/1; a denominator of 0 would make it pick
    // the largest scale (2x), so 0 keeps the default.
    if (GetDecodeScale() != 0) {
        cinfo.scale_num = 1;
        cinfo.scale_denom = GetDecodeScale();
    }
    const int fileComponents = cinfo.num_components;
    // Asking for BGR gives the same bytes as RGB swapped afterwards, without
    // the extra pass over the picture.
    const bool bgrDirect = fileComponents == 3 && cinfo.out_color_space == JCS_RGB;
    if (bgrDirect) {
        cinfo.out_color_space = JCS_EXT_BGR;
    }
    // Refuse pictures over the memory limit before libjpeg sizes its buffers.
    jpeg_calc_output_dimensions(&cinfo);
    if (!FitsMemoryLimit(cinfo.output_width, cinfo.output_height,
                         8 * static_cast<unsigned>(cinfo.out_color_components))) {
        SetLastError("LXIMAGE_MAX_MEMORY exceeded");
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_start_decompress(&cinfo);

    const unsigned width = cinfo.output_width;
    const unsigned height = cinfo.output_height;
    const unsigned outComponents = static_cast<unsigned>(cinfo.output_components);
    if (!Create(width, height, 8 * outComponents, kTypeJpeg)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    ApplyResolution(exifFound, cinfo.density_unit, cinfo.X_density, cinfo.Y_density);
    if (cinfo.out_color_space == JCS_GRAYSCALE) {
        SetGreyRamp();
    }

    const std::size_t sampleRow = std::size_t{width} * outComponents;
    RowCursor cursor(this);
    cursor.SeekTopRow();
    if (sampleRow <= GetRowStride() && fileComponents != 4) {
        // The rows libjpeg delivers fit the image's rows as they are.
        JSAMPROW rows[kRowBatch];
        while (cinfo.output_scanline < height) {
            const unsigned want = std::min<unsigned>(kRowBatch, height - cinfo.output_scanline);
            RowCursor walk = cursor;
            for (unsigned i = 0; i < want; ++i) {
                rows[i] = walk.Row();
                walk.StepDown();
            }
            const unsigned got = jpeg_read_scanlines(&cinfo, rows, want);
            for (unsigned i = 0; i < got; ++i) {
                cursor.StepDown();
            }
        }
    } else {
        JSAMPARRAY sample =
            (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                       static_cast<JDIMENSION>(sampleRow), 1);
        const std::size_t stride = GetRowStride();
        while (cinfo.output_scanline < height) {
            jpeg_read_scanlines(&cinfo, sample, 1);
            const JSAMPLE* s = sample[0];
            if (fileComponents == 4 && outComponents == 4) {
                InvertedCmykToBgr(s, cursor.Row(),
                                  std::min<std::size_t>((stride + 2) / 3, sampleRow / 4), 3);
            } else {
                cursor.CopyRowIn(s, static_cast<std::int64_t>(sampleRow));
            }
            cursor.StepDown();
        }
    }
    jpeg_finish_decompress(&cinfo);
    if (fileComponents == 3 && !bgrDirect) {
        for (std::int32_t row = 0; row < GetHeight(); ++row) {
            SwapRedBlue(GetRowPointer(row), std::size_t{3} * width);
        }
    }
    jpeg_destroy_decompress(&cinfo);
    return true;
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
