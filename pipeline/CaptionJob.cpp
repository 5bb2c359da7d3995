#include "pipeline/CaptionJob.h"

#include <QFileInfo>

#include <array>

namespace {
struct MetadataWord {
    MetadataChoice choice;
    const char* word;
};
constexpr std::array<MetadataWord, 3> kMetadataWords{{
    {MetadataChoice::KeepAll, "keep"},
    {MetadataChoice::KeepAllButLocation, "no-location"},
    {MetadataChoice::DescriptionOnly, "description-only"},
}};
} // namespace

PipelineResult runCaptionJob(const CaptionJob& job, const CaptionList& captions) {
    const SaveChoices choices{job.metadata, job.quality, job.overwrite};
    if (std::optional<PipelineResult> done =
            captionJpegInPlace(job.photo, job.output, captions, job.captionData, choices))
        return *done;
    PictureDocument document;
    const PipelineResult opened = openPicture(document, job.photo);
    if (!opened.ok)
        return opened;
    for (std::int32_t i = 0; i < captions.count(); ++i)
        document.captions.append(*captions.at(i));
    document.captionData = job.captionData;
    PipelineResult saved = saveCaptionedCopy(document, job.output, choices);
    // What the open had to say (only the first page of several) goes with
    // what the save says.
    if (saved.ok && !opened.note.isEmpty())
        saved.note =
            saved.note.isEmpty() ? opened.note : opened.note + QLatin1Char(' ') + saved.note;
    return saved;
}

PipelineResult saveCaptionedCopy(const PictureDocument& document, const QString& path,
                                 const SaveChoices& choices, const SaveProgress& reached) {
    return savePicture(document, path, choices, reached);
}

QString captionedCopyName(const QString& photo, const QString& suffix) {
    return QFileInfo(photo).completeBaseName() + suffix + QStringLiteral(".jpg");
}

const char* metadataChoiceWord(MetadataChoice choice) {
    for (const MetadataWord& row : kMetadataWords) {
        if (row.choice == choice)
            return row.word;
    }
    return kMetadataWords[0].word;
}

std::optional<MetadataChoice> metadataChoiceFromWord(const QString& word) {
    for (const MetadataWord& row : kMetadataWords) {
        if (word == QLatin1String(row.word))
            return row.choice;
    }
    return std::nullopt;
}

QString qualityChoiceWord(const PictureQuality& quality) {
    return quality.keep ? QStringLiteral("keep") : QString::number(quality.quality);
}

std::optional<PictureQuality> qualityChoiceFromWord(const QString& word) {
    if (word == QLatin1String("keep"))
        return PictureQuality{};
    bool number = false;
    const int value = word.toInt(&number);
    if (!number || value < 1 || value > 100 || word.trimmed() != word)
        return std::nullopt;
    return PictureQuality{false, value};
}
