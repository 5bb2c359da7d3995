// The model's open and save as jobs: each runs on a worker of its own and
// reports back through calls queued to the model's thread, which drop
// themselves once a later job (or a cancel) has replaced theirs.
#include "document/DocumentModel.h"

#include "codec/JpegSplice.h"
#include "pipeline/CaptionJob.h"

#include <QMetaObject>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <atomic>

struct DocumentModel::JobControl {
    std::atomic<bool> cancelled{false};
};

namespace {

// The longer side of a first view when the caller names no view.
constexpr int kFirstViewSide = 1024;

// A worker per job, apart from Qt's shared pool, so that an open starting
// while a cancelled one still decodes does not wait for it.
QThreadPool& jobPool() {
    static QThreadPool* pool = [] {
        auto* made = new QThreadPool;
        made->setMaxThreadCount(8);
        return made;
    }();
    return *pool;
}

} // namespace

bool DocumentModel::isCurrent(const std::shared_ptr<JobControl>& control) const {
    return control == control_ && !control->cancelled;
}

void DocumentModel::runWorker(std::function<void()> work) {
    workers_.erase(std::remove_if(workers_.begin(), workers_.end(),
                                  [](const QFuture<void>& done) { return done.isFinished(); }),
                   workers_.end());
    workers_.push_back(QtConcurrent::run(&jobPool(), std::move(work)));
}

void DocumentModel::beginJob(DocumentJob job, const QString& path) {
    control_ = std::make_shared<JobControl>();
    job_ = job;
    jobPath_ = path;
    stage_ = job == DocumentJob::Open ? JobStage::Reading : JobStage::Rendering;
    emit jobStarted(job, path);
}

void DocumentModel::endJob(const PipelineResult& result, bool cancelled) {
    const DocumentJob job = job_;
    job_ = DocumentJob::None;
    control_.reset();
    if (!firstView_.picture.isNull()) {
        firstView_ = FirstView{};
        emit firstViewChanged();
    }
    emit jobFinished(job, result, cancelled);
}

bool DocumentModel::startOpen(const QString& path, QSize viewPixels) {
    if (job_ == DocumentJob::Save)
        return false;
    if (job_ == DocumentJob::Open) {
        // The later open wins; the earlier one's result is dropped.
        control_->cancelled = true;
        endJob({false, QString(), QString()}, true);
    }
    beginJob(DocumentJob::Open, path);
    const int side =
        viewPixels.isEmpty() ? kFirstViewSide : std::max(viewPixels.width(), viewPixels.height());
    std::shared_ptr<JobControl> control = control_;
    runWorker([this, control, path, side] {
        FirstView first = decodeFirstView(path, side, kMaxOpenPixels);
        if (control->cancelled)
            return;
        QMetaObject::invokeMethod(
            this,
            [this, control, first = std::move(first)]() mutable {
                if (!isCurrent(control))
                    return;
                // The first view first: whoever follows the stage may
                // cancel the job, which takes the first view away again.
                if (!first.picture.isNull()) {
                    firstView_ = std::move(first);
                    emit firstViewChanged();
                }
                if (!isCurrent(control))
                    return;
                stage_ = JobStage::Decoding;
                emit jobStageChanged(stage_);
            },
            Qt::QueuedConnection);
        auto opened = std::make_shared<PictureDocument>();
        // A cancel (or a later open) stops the decode between its rows.
        PipelineResult result =
            openPicture(*opened, path, kMaxOpenPixels, false, &control->cancelled);
        if (control->cancelled)
            return;
        QMetaObject::invokeMethod(
            this,
            [this, control, opened, path, result] {
                if (!isCurrent(control))
                    return;
                if (result.ok) {
                    takePicture(std::move(*opened), path);
                    indexSource();
                }
                endJob(result, false);
                emit openFinished(result.ok);
            },
            Qt::QueuedConnection);
    });
    return true;
}

bool DocumentModel::startSave(const QString& path, const SaveChoices& choices) {
    if (job_ != DocumentJob::None)
        return false;
    beginJob(DocumentJob::Save, path);
    std::shared_ptr<JobControl> control = control_;
    std::shared_ptr<const PictureDocument> snapshot = snapshotOf(document_);
    SaveProgress reached = [this, control](SaveStage stage) {
        if (control->cancelled)
            return false;
        const JobStage shown = stage == SaveStage::Rendering  ? JobStage::Rendering
                               : stage == SaveStage::Encoding ? JobStage::Encoding
                                                              : JobStage::Writing;
        QMetaObject::invokeMethod(
            this,
            [this, control, shown] {
                if (!isCurrent(control))
                    return;
                stage_ = shown;
                emit jobStageChanged(shown);
            },
            Qt::QueuedConnection);
        return true;
    };
    runWorker([this, control, snapshot, path, choices, reached] {
        PipelineResult result = saveCaptionedCopy(*snapshot, path, choices, reached);
        QMetaObject::invokeMethod(
            this,
            [this, control, result] {
                if (control != control_)
                    return;
                // Stopped before writing: nothing was written.
                const bool cancelled = control->cancelled && !result.ok;
                if (result.ok)
                    history_.setClean();
                endJob(result, cancelled);
            },
            Qt::QueuedConnection);
    });
    return true;
}

void DocumentModel::indexSource() {
    std::shared_ptr<const std::vector<std::uint8_t>> source = document_.sourceJpeg;
    if (!source || source->empty())
        return;
    // Once the photo is shown, its coded data is walked on one worker, so
    // that a save that keeps its blocks only writes. The walk goes with the
    // document only if the document still holds those bytes.
    runWorker([this, source] {
        std::string why;
        std::shared_ptr<const JpegCodedIndex> index =
            IndexJpegCodedData(source->data(), source->size(), why, &stopping_, 0);
        if (!index)
            return;
        QMetaObject::invokeMethod(
            this,
            [this, source, index] {
                if (document_.sourceJpeg == source)
                    document_.sourceIndex = index;
            },
            Qt::QueuedConnection);
    });
}

void DocumentModel::cancelJob() {
    if (job_ == DocumentJob::None)
        return;
    control_->cancelled = true;
    // An open ends at once: its worker's result will be dropped. A save
    // ends when its worker says whether it stopped before writing.
    if (job_ == DocumentJob::Open)
        endJob({false, QString(), QString()}, true);
}

void DocumentModel::waitForJobs() {
    for (QFuture<void>& worker : workers_)
        worker.waitForFinished();
    workers_.clear();
}
