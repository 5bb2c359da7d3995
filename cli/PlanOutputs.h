#pragma once

#include "captions/CaptionData.h"
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

// Where each photo's copy goes: DIR/<name><suffix>.jpg. A second photo
// whose copy would have the name of an earlier one's, and a photo whose
// copy would be one of the photos, gets a problem instead.
std::vector<PlannedPhoto> planOutputs(const std::vector<QString>& photos,
                                      const CaptionOptions& options);

// Says on standard error which photos have no row in `data` and which rows
// name no photo of the plan: as warnings, or as failures with `required`.
// False when the run must not start.
bool matchDataRows(const CaptionDataTable& data, const std::vector<PlannedPhoto>& plan,
                   bool required);
