#pragma once

#include "captions/PictureDocument.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>

class CaptionList;

// The outcome of an open or a save, for the window to show: on failure the
// message names the file and says what went wrong.
struct PipelineResult {
    bool ok = false;
    QString message;
    // On success, what a person should still know: the photo's metadata was
    // left out of the saved file, and why.
    QString note;
};

// The largest picture a person may open, in pixels.
constexpr std::uint64_t kMaxOpenPixels = 250'000'000;

// Decodes a photo into the document: the picture turned upright by its EXIF
// orientation (HEIF and AVIF by their own rotation and mirroring instead),
// its size, its metadata and its description (EXIF ImageDescription, else
// XMP dc:description, else IPTC Caption-Abstract). The format is told by the
// file's first bytes: JPEG, HEIF, AVIF, PNG, TIFF or WebP; anything else
// gets the JPEG decoder's message. The captions are not touched. Pictures
// over kMaxOpenPixels, or larger than the memory available for the job, are
// refused right after the header. On failure the document keeps its
// previous picture, size and description. A note on success says that only
// the first page or frame of several was opened.
// `maxPixels` lowers the size limit for callers that must stay small.
// `indexBlocks` also walks a JPEG's coded data, beside the decode, so that a
// save that keeps the photo's blocks later only writes (see sourceIndex).
// `stop`, once set, ends a JPEG's decode early (a failure, for a cancelled
// job).
PipelineResult openPicture(PictureDocument& document, const QString& path,
                           std::uint64_t maxPixels = kMaxOpenPixels, bool indexBlocks = false,
                           const std::atomic<bool>* stop = nullptr);

// How a save encodes the picture.
struct PictureQuality {
    // Keep the photo's own compressed blocks wherever no caption changes
    // them (a JPEG source); only the captions' blocks are encoded again, with
    // the photo's own tables. Otherwise the whole picture is encoded again
    // at `quality`.
    bool keep = true;
    int quality = 90; // 1 to 100

    bool operator==(const PictureQuality&) const = default;
};

// The stages of a save a person is shown, in order.
enum class SaveStage { Rendering, Encoding, Writing };

struct SaveChoices {
    MetadataChoice metadata = MetadataChoice::KeepAll;
    PictureQuality quality;
    // With false, a file already at the path is left as it is and the save
    // fails.
    bool replaceExisting = true;
};

// Told as each stage of a save begins; false stops the save there, before
// anything is written, with a failure saying it was cancelled.
using SaveProgress = std::function<bool(SaveStage)>;

// Renders the document with its captions at full size and writes it as a
// new JPEG carrying savedDescription() and, as the choices say, the opened
// photo's metadata brought in step with the new picture; the document is not
// changed. Colour is sampled as the photo was for a copy that keeps the
// photo's blocks; one encoded again is sampled 4:4:4 for PNG, TIFF and
// lossless WebP sources, 4:2:0 otherwise. A damaged part of the metadata
// (maker note, XMP packet, IPTC record, colour profile) is left out alone and
// the note names it; metadata that cannot be carried at all is left out (the
// description alone is written), and a photo whose blocks cannot be kept is
// encoded again whole with its own tables; the note says why. The file
// appears at the path only complete: a failed save leaves whatever was there
// as it was, and writes nothing when the document has no picture.
PipelineResult savePicture(const PictureDocument& document, const QString& path,
                           const SaveChoices& choices = {}, const SaveProgress& reached = {});

// The command line's road for a JPEG when its blocks are kept: the same
// copy savePicture() writes for the photo opened with these captions (and
// its row of caption data), made
// without decoding the rows no caption reaches and in one picture's memory.
// Nothing when this road cannot serve (another format, a turned photo, a
// source whose blocks cannot be kept, a damaged stream): the caller then
// opens and saves as usual, which says why.
std::optional<PipelineResult> captionJpegInPlace(const QString& photo, const QString& output,
                                                 const CaptionList& captions,
                                                 const QHash<QString, QString>& captionData,
                                                 const SaveChoices& choices);
