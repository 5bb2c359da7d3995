#pragma once

#include "captions/CaptionList.h"
#include "pipeline/PicturePipeline.h"

#include <QHash>
#include <QString>

#include <optional>

// The one road of a photo to its captioned copy: open, caption, save. The
// command line runs it for each photo; the window, which already holds the
// opened picture, takes its last step, saveCaptionedCopy(), so both write
// the same bytes for the same photo, captions and choice.

struct CaptionJob {
    QString photo;  // the JPEG to caption
    QString output; // where the copy goes
    MetadataChoice metadata = MetadataChoice::KeepAll;
    // Replace a file already at `output`; otherwise the job fails there.
    bool overwrite = false;
    PictureQuality quality;
    // The photo's row of a caption data table, for its placeholders.
    QHash<QString, QString> captionData;
};

// Opens the photo, gives it a copy of `captions` and saves it. Memory is
// one picture and its canvas, released when the job returns. Safe to run
// in several threads at once.
PipelineResult runCaptionJob(const CaptionJob& job, const CaptionList& captions);

// The save step: the document (picture and captions) written to `path`.
PipelineResult saveCaptionedCopy(const PictureDocument& document, const QString& path,
                                 const SaveChoices& choices, const SaveProgress& reached = {});

// The name of a photo's copy: its name without the extension, `suffix`,
// then ".jpg" ("IMG_1.JPEG" with "-captioned" is "IMG_1-captioned.jpg").
// The window proposes it and the command line writes it.
QString captionedCopyName(const QString& photo, const QString& suffix);

// The word of a metadata choice in the settings and on the command line:
// "keep", "no-location" or "description-only"; and back, nothing for any
// other word.
const char* metadataChoiceWord(MetadataChoice choice);
std::optional<MetadataChoice> metadataChoiceFromWord(const QString& word);

// The word of a quality choice in the settings and on the command line:
// "keep", or the quality to encode again at ("85"); and back, nothing for
// anything else (a quality outside 1 to 100 included).
QString qualityChoiceWord(const PictureQuality& quality);
std::optional<PictureQuality> qualityChoiceFromWord(const QString& word);
