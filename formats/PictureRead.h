#pragma once

#include "codec/JpegRows.h"
#include "formats/PictureFormat.h"
#include "formats/PictureGate.h"

#include <QImage>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <string>

// What a reader of a format other than JPEG gives the open pipeline.
struct PictureRead {
    // The stored picture as opaque RGB32 (alpha laid onto white), null on
    // failure.
    QImage picture;
    // The file's EXIF, XMP, IPTC and ICC data as the segments a JPEG would
    // keep, so that the same metadata code reads and carries them.
    JpegKeptSegments kept;
    // The format itself has turned the picture upright (HEIF's irot and
    // imir), so the EXIF Orientation must not turn it again.
    bool upright = false;
    // What a person should know of the picture that opened ("only the first
    // of 3 pages"), or empty.
    QString note;
    // Why the file's metadata could not be read at all, else empty.
    std::string metadataProblem;
    // Why the file could not be read, when the picture is null.
    QString error;
    // The gate refused the picture's size; `error` is its refusal.
    bool tooLarge = false;
};

// HEIF and AVIF through libheif: the primary image with its rotation,
// mirroring and cropping applied, brought to 8 bits.
PictureRead readHeifPicture(const std::uint8_t* data, std::size_t size, PictureGate& gate);

// PNG, TIFF and WebP through Qt's image plugins: the first page or frame,
// stored as the file holds it (its EXIF Orientation not yet applied).
PictureRead readPluginPicture(const std::uint8_t* data, std::size_t size, PictureFormat format,
                              PictureGate& gate);

// A stored picture turned upright by an EXIF orientation (1..8), in a new
// picture; null when memory runs out.
QImage turnedUpright(const QImage& stored, int orientation);

// The picture as opaque RGB32: colour formats converted, alpha laid onto
// white. Converts in place where it can; null when memory runs out.
QImage opaqueOnWhite(QImage image);
