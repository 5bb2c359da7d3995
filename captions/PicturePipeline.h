#pragma once

#include "captions/PictureDocument.h"

#include <QString>

// The outcome of an open or a save, for the window to show: on failure the
// message names the file and says what went wrong.
struct PipelineResult {
    bool ok = false;
    QString message;
};

// Decodes a JPEG into the document: picture, size and description (from
// the file's EXIF data). The captions are not touched. On failure the
// document keeps its previous picture, size and description.
PipelineResult openPicture(PictureDocument& document, const QString& path);

// Renders the document with its captions at full size and writes it as a
// new JPEG carrying savedDescription() in an EXIF segment of its own; the
// document is not changed. The file appears at the path only complete: a
// failed save leaves whatever was there as it was, and writes nothing when
// the document has no picture.
PipelineResult savePicture(const PictureDocument& document, const QString& path);
