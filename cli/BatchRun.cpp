#include "cli/BatchRun.h"

#include "cli/FindPhotos.h"
#include "cli/Interruption.h"
#include "cli/PlanOutputs.h"
#include "cli/Progress.h"
#include "cli/WorkerPool.h"
#include "pipeline/CaptionJob.h"

#include <cstdio>

namespace {

// How the run went, shown as it goes and summed up in the exit status.
class BatchReport {
public:
    BatchReport(const std::vector<PlannedPhoto>& plan, int total)
        : plan_(plan), total_(total), progress_(stderr, total) {}

    void addFailure(const QString& message) {
        ++failed_;
        progress_.failed(message);
    }

    void finished(std::size_t index, const PipelineResult& result) {
        if (!result.ok) {
            addFailure(result.message);
            return;
        }
        ++captioned_;
        progress_.print(stdout, plan_[index].output);
        progress_.captioned(plan_[index].output);
        if (!result.note.isEmpty())
            progress_.print(stderr, QStringLiteral("lumora caption: ") + result.note);
    }

    void tick() { progress_.tick(); }

    // Ends the bar, says how the run went and gives the exit status.
    int finish() {
        progress_.finish();
        // Ctrl+C after the last photo had started stopped nothing: the run
        // ends as if it had not come.
        const int captioned = captioned_;
        const int failed = failed_;
        const int notStarted = total_ - captioned - failed;
        if (interrupted() && notStarted > 0) {
            std::fprintf(stderr,
                         "lumora caption: stopped: %d captioned, %d failed, %d not started\n",
                         captioned, failed, notStarted);
            return 130;
        }
        std::fprintf(stderr, "%d captioned, %d failed\n", captioned, failed);
        return failed == 0 ? 0 : 1;
    }

private:
    const std::vector<PlannedPhoto>& plan_;
    int total_;
    Progress progress_;
    int captioned_ = 0;
    int failed_ = 0;
};

// One photo's road: refused by the plan, or captioned with its row of data.
PipelineResult captionPhoto(const PlannedPhoto& photo, const CaptionOptions& options,
                            const CaptionList& captions, const CaptionDataTable* data) {
    if (!photo.problem.isEmpty()) {
        PipelineResult refused;
        refused.message = photo.problem;
        return refused;
    }
    CaptionJob job{photo.photo,       photo.output,    options.metadata,
                   options.overwrite, options.quality, {}};
    if (data != nullptr)
        job.captionData = data->valuesFor(photo.photo);
    return runCaptionJob(job, captions);
}

} // namespace

int runBatch(const CaptionOptions& options, const CaptionList& captions,
             const CaptionDataTable* data) {
    const FoundPhotos found = findPhotos(options.inputs, options.recursive, options.suffix);
    const std::vector<PlannedPhoto> plan = planOutputs(found.photos, options);
    if (found.failures.empty() && plan.empty()) {
        std::fputs("lumora caption: no photos (.jpg, .jpeg, .heic, .heif, .hif, .avif, .png, .tif, "
                   ".tiff, .webp) in the folders given\n",
                   stderr);
        return 1;
    }
    if (data != nullptr && !matchDataRows(*data, plan, options.dataRequired))
        return 1;
    for (const QString& warning : found.warnings)
        std::fprintf(stderr, "lumora caption: warning: %s\n", warning.toLocal8Bit().constData());

    catchInterruptions();
    BatchReport report(plan, static_cast<int>(found.failures.size() + plan.size()));
    for (const QString& failure : found.failures)
        report.addFailure(failure);
    runInPool(
        plan.size(), options.jobs,
        {[&](std::size_t index) { return captionPhoto(plan[index], options, captions, data); },
         [&](std::size_t index, const PipelineResult& result) { report.finished(index, result); },
         [&] { report.tick(); }, [] { return interrupted(); }});
    return report.finish();
}
