#pragma once

#include "pipeline/PicturePipeline.h"

#include <QString>
#include <QTemporaryDir>

#include <vector>

namespace bench_support {

// Fonts need a QGuiApplication, and a benchmark has no screen: unless the
// caller chose a platform, the offscreen one is used. Call before
// constructing the application.
void PreferOffscreenPlatform();

// The three captions of a typical job, each at a 120-pixel em: a title in a
// band above the photo, a credit in a band below it, a note on the photo.
std::vector<Caption> JobCaptions();
void AddJobCaptions(PictureDocument& document);

// A folder of the process's own for the files a benchmark writes, removed
// at exit, and a path in it.
const QTemporaryDir& Scratch();
QString ScratchPath(const char* name);

// One whole job as the command line runs it (runCaptionJob): open the
// photo, add the captions, save, encoding again at quality 90.
PipelineResult RunCaptionJob(const QString& input, const QString& output);

// The same job, failing also when the photo's metadata was left out of the
// saved copy (the result's note says why); false with the reason in `error`.
bool RunCaptionJobKeepingMetadata(const QString& input, const QString& output, QString& error);

} // namespace bench_support
