#pragma once

#include "captions/CaptionData.h"
#include "captions/CaptionList.h"
#include "cli/CaptionCommand.h"

#include <QString>

#include <vector>

// One photo of a run and where its copy goes; `problem` is set when it
// cannot be worked on at all (a name taken by another photo, an input that
// would be written over, a copy that exists already).
struct PlannedPhoto {
    QString photo;
    QString output;
    QString problem;
};

// What the inputs name: the photos in order, and a message for each input
// that could not be read (a missing file, an unreadable folder). In a
// folder, the copies this command made there with `suffix` are not photos;
// a file named on its own always is. A file named more than once is there
// once, where it first comes.
struct FoundPhotos {
    std::vector<QString> photos;
    std::vector<QString> failures;
};
FoundPhotos findPhotos(const QStringList& inputs, bool recursive, const QString& suffix);

// Where each photo's copy goes: DIR/<name><suffix>.jpg. A second photo
// whose copy would have the name of an earlier one's, and a photo whose
// copy would be one of the photos, gets a problem instead.
std::vector<PlannedPhoto> planOutputs(const std::vector<QString>& photos,
                                      const CaptionOptions& options);

// Captions the photos the options name with the set, `options.jobs` at a
// time, showing progress on standard error and printing each copy's path
// on standard output; with a data table, each photo's row fills its
// placeholders. Returns the exit status (0, 1, or 130 when Ctrl+C left some
// photo not started).
int runBatch(const CaptionOptions& options, const CaptionList& captions,
             const CaptionDataTable* data = nullptr);
