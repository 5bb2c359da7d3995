#include "captions/CaptionJob.h"

PipelineResult runCaptionJob(const CaptionJob& job, const CaptionList& captions) {
    PictureDocument document;
    const PipelineResult opened = openPicture(document, job.photo);
    if (!opened.ok)
        return opened;
    for (std::int32_t i = 0; i < captions.count(); ++i)
        document.captions.append(*captions.at(i));
    return saveCaptionedCopy(document, job.output, job.metadata, job.overwrite);
}

PipelineResult saveCaptionedCopy(const PictureDocument& document, const QString& path,
                                 MetadataChoice metadata, bool overwrite) {
    return savePicture(document, path, metadata, overwrite);
}
