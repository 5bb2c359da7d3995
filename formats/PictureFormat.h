#pragma once

#include "codec/JpegRows.h"

#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>

// The kinds of picture file Lumora opens, told apart by their first bytes,
// never by the file's name.
enum class PictureFormat {
    Unknown,
    Jpeg,
    Heif,
    Avif,
    Png,
    Tiff,
    Webp,         // lossy (VP8) WebP
    WebpLossless, // VP8L WebP
};

// The format of a file that starts with `data`. WebP files are told lossy
// from lossless by walking their chunks, so pass the whole file for them.
PictureFormat sniffPictureFormat(const std::uint8_t* data, std::size_t size);

// The colour sampling of a copy saved from a picture of this format: every
// pixel for the formats that keep fine coloured lines and screenshots (PNG,
// TIFF, lossless WebP), half resolution for photographs.
JpegChroma copyChroma(PictureFormat format);

// Name patterns of the files that open, in lower case ("*.jpg", "*.heic", ...).
QStringList pictureNamePatterns();
// Whether a file name has one of those extensions, in any letter case.
bool hasPictureExtension(const QString& fileName);
// The MIME types of the files that open, for drops and the desktop entry.
QStringList pictureMimeTypes();
