#pragma once

#include "codec/ExifInfo.h"
#include "codec/ExifReader.h"
#include "image/LxImage.h"

#include <memory>

class LxFile;

// JPEG reading and writing on libjpeg (interface version 62). Decode fills
// the image and the EXIF record from a stream; Encode appends a baseline JPEG
// (quality from the image, 4:2:0, JFIF densities in dpi) to a stream.
// Both return false with the library's message in lastError(); nothing throws.
class LxImageJPG : public LxImage {
public:
    LxImageJPG();
    ~LxImageJPG() override;

    bool Decode(LxFile* stream);
    bool Encode(LxFile* stream);
    // Scans the stream's segments into exifInfo and restores the position.
    bool ReadExif(LxFile* stream);

    ExifInfo exifInfo;

private:
    void ApplyResolution(bool exifFound, int densityUnit, unsigned xDensity, unsigned yDensity);

    std::unique_ptr<ExifReader> exifReader_;
};
