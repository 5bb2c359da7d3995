#pragma once

#include <QString>

#include <cstdint>
#include <vector>

namespace bench_support {

// An sRGB display profile (ICC v2: description, copyright, white point,
// colorants and a 1024-entry tone curve), about the size cameras embed.
std::vector<std::uint8_t> SrgbIccProfile();

// Gives the JPEG at `path` the metadata a camera photo carries, through
// exiftool: EXIF (Make, Model, DateTimeOriginal, ExposureTime, FNumber, ISO,
// the given Orientation and a GPS position), an XMP dc:description, an IPTC
// Caption-Abstract and the sRGB profile as an ICC APP2 segment. The profile
// file is written into `scratchDir`. False, with the reason in `error`, when
// exiftool fails.
bool TagLikeCamera(const QString& path, int orientation, const QString& scratchDir, QString& error);

// Sets the EXIF Orientation (IFD0) alone, as a number 1..8, in place.
bool SetOrientation(const QString& path, int orientation, QString& error);

} // namespace bench_support
