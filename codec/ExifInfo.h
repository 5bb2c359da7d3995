#pragma once

#include <cstdint>

// Values read from a JPEG's EXIF block, first comment and frame header.
// Text fields hold the file's bytes, zero-terminated. The record is plain
// data: zero-filling it is its initial state.
struct ExifInfo {
    char version[5];
    char cameraMake[32];
    char cameraModel[40];
    char dateTime[20];
    std::int32_t frameHeight;
    std::int32_t frameWidth;
    std::int32_t orientation;
    std::int32_t isColor;
    std::int32_t process;
    std::int32_t flashUsed;
    float focalLength;
    float exposureTime;
    float apertureFNumber;
    float distance;
    float ccdWidth;
    float exposureBias;
    std::int32_t whiteBalance;
    std::int32_t meteringMode;
    std::int32_t exposureProgram;
    std::int32_t isoEquivalent;
    std::int32_t compressionLevel;
    float focalPlaneXRes;
    float focalPlaneYRes;
    float focalPlaneUnits;
    float xResolution;
    float yResolution;
    // Factor that turns the resolution's unit into inches (1.0 for inches).
    float resolutionUnit;
    float brightness;
    char comments[1000];
    char imageDescription[1000];
    // Points into the kept APP1 segment data; null once that data is freed.
    const std::uint8_t* thumbnailPointer;
    std::uint32_t thumbnailSize;
    bool isExif;
};
