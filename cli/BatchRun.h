#pragma once

#include "captions/CaptionData.h"
#include "captions/CaptionList.h"
#include "cli/CaptionCommand.h"

// Captions the photos the options name with the set, `options.jobs` at a
// time, showing progress on standard error and printing each copy's path
// on standard output; with a data table, each photo's row fills its
// placeholders. Returns the exit status (0, 1, or 130 when Ctrl+C left some
// photo not started).
//
// The steps, each in its own file: findPhotos (FindPhotos.h), planOutputs
// and matchDataRows (PlanOutputs.h), catchInterruptions (Interruption.h),
// runInPool (WorkerPool.h); the count and the exit status are kept here.
int runBatch(const CaptionOptions& options, const CaptionList& captions,
             const CaptionDataTable* data = nullptr);
