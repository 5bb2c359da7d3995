#pragma once

#include "captions/CaptionList.h"
#include "formats/PictureFormat.h"
#include "metadata/PhotoFacts.h"
#include "metadata/PhotoMetadata.h"

#include <QHash>
#include <QImage>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

struct JpegCodedIndex;

// The state of the open picture: the photograph at full size, its image
// description and its captions. One lives for the whole run; before the
// first successful open it has no picture. Its size and the photo's facts
// are read from the picture and the metadata, never kept a second time.
struct PictureDocument {
    // The decoded photograph as opaque RGB32, turned upright by its EXIF
    // orientation; null until a picture is opened.
    QImage picture;
    std::uint32_t width() const { return static_cast<std::uint32_t>(picture.width()); }
    std::uint32_t height() const { return static_cast<std::uint32_t>(picture.height()); }
    QString description;
    CaptionList captions;
    // The opened photo's metadata, which a save carries; null before the
    // first open. Shared: it never changes once read.
    std::shared_ptr<const PhotoMetadata> metadata;
    // What the metadata says of how the photo was taken, and its file name
    // without the folder: the values of the captions' placeholders.
    const PhotoFacts& facts() const {
        static const PhotoFacts none;
        return metadata ? metadata->facts : none;
    }
    QString fileName;
    // The photo's row of a caption data table (column header -> value),
    // empty without one; its columns stand before placeholders of the same
    // name.
    QHash<QString, QString> captionData;
    // The opened JPEG's bytes as they were read, shared: a save keeps the
    // photo's untouched blocks from them, even when the file has changed on
    // disk since. Null for pictures that came from elsewhere.
    std::shared_ptr<const std::vector<std::uint8_t>> sourceJpeg;
    // Where each of those bytes' MCUs starts, when an open walked them for a
    // save to come (null otherwise: the save walks them itself).
    std::shared_ptr<const JpegCodedIndex> sourceIndex;
    // The format the picture was opened from; it chooses how a copy samples
    // colour.
    PictureFormat format = PictureFormat::Jpeg;

    bool hasPicture() const { return !picture.isNull(); }
};

// A copy of a document: the picture, the metadata and the source bytes
// shared, the captions copied.
inline PictureDocument copyOf(const PictureDocument& document) {
    PictureDocument copy;
    copy.picture = document.picture;
    copy.description = document.description;
    for (std::int32_t i = 0; i < document.captions.count(); ++i)
        copy.captions.append(*document.captions.at(i));
    copy.metadata = document.metadata;
    copy.fileName = document.fileName;
    copy.captionData = document.captionData;
    copy.sourceJpeg = document.sourceJpeg;
    copy.sourceIndex = document.sourceIndex;
    copy.format = document.format;
    return copy;
}

// A copy for a worker to read while the document goes on changing.
inline std::shared_ptr<const PictureDocument> snapshotOf(const PictureDocument& document) {
    return std::make_shared<PictureDocument>(copyOf(document));
}
