#pragma once

#include "captions/CaptionData.h"
#include "captions/PictureDocument.h"
#include "pipeline/FirstView.h"
#include "pipeline/PicturePipeline.h"
#include "render/CaptionRenderer.h"

#include <QFuture>
#include <QObject>
#include <QSize>
#include <QString>
#include <QUndoStack>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

// What the undo history calls its steps ("Add Caption", ...); the window
// passes them from the program's strings.
struct CaptionStepNames {
    QString add;
    QString edit;
    QString remove;
    // Loading a caption set; named here too, for models made with the first
    // three names only.
    QString load = QStringLiteral("Load Caption Set");
};

// A job the model runs off the caller's thread, and the stage it is at.
enum class DocumentJob { None, Open, Save };
enum class JobStage { Reading, Decoding, Rendering, Encoding, Writing };

// The open picture as the program's one model. It owns the PictureDocument,
// the undo history of caption changes and the working caption of an open
// caption dialog. Every change goes through it and is announced by a signal
// once made; views, the buttons' enabling, the title and the modified mark
// follow those signals and only read document(). One lives for the run.
class DocumentModel : public QObject {
    Q_OBJECT

public:
    explicit DocumentModel(CaptionStepNames names = {}, QObject* parent = nullptr);
    ~DocumentModel() override;

    const PictureDocument& document() const { return document_; }
    // The file the picture came from; empty before the first successful open.
    const QString& path() const { return path_; }
    // The description a save would carry now (savedDescription()).
    QString description() const { return savedDescription(document_); }
    // Whether the captions differ from those of the last open or save.
    bool isModified() const { return !history_.isClean(); }
    QUndoStack* history() { return &history_; }

    // Opens a JPEG through the pipeline. On success the picture, its size,
    // its description and the path are replaced and the captions and the
    // history kept; the current captions count as unmodified. On failure
    // nothing changes. Either way openFinished() follows.
    PipelineResult open(const QString& path);
    // Saves through the pipeline; a successful save marks the captions
    // unmodified. The document itself does not change.
    PipelineResult save(const QString& path, const SaveChoices& choices = {});

    // The same open and save as jobs on a worker thread, which return at
    // once and end with jobFinished() (and openFinished() for an open that
    // was not cancelled). The open reads into a document of its own: the
    // model's document changes only when the whole picture is there, so a
    // cancelled or failed open leaves it as it was. It first shows a quick
    // small decode (firstView()) whose longer side reaches `viewPixels`'s.
    // A second open while one runs cancels the first: the later wins. The
    // save writes a snapshot of the document, so nothing it reads changes
    // under it; a cancelled save writes nothing. No job starts while a
    // save runs (false).
    bool startOpen(const QString& path, QSize viewPixels = {});
    bool startSave(const QString& path, const SaveChoices& choices = {});
    // Stops the running job at its next stage: the open's result is
    // dropped, the save stops before it writes. A save already writing its
    // file finishes.
    void cancelJob();
    DocumentJob runningJob() const { return job_; }
    JobStage jobStage() const { return stage_; }
    // Blocks until every worker has ended (a cancelled open may still be
    // decoding); their results that are still to come are dropped.
    void waitForJobs();
    // The quick decode of the photo being opened, null when there is none.
    const FirstView& firstView() const { return firstView_; }

    // Each change below is one step of the undo history.
    void addCaption(const Caption& caption);
    // No step when the index names no caption or nothing would change.
    void editCaption(std::int32_t index, const Caption& edited);
    // No step when the index names no caption.
    void removeCaption(std::int32_t index);
    // Puts `captions` in place of the whole list (a loaded caption set):
    // one step, announced as the removal of every listed caption, last
    // first, then the addition of each new one.
    void replaceCaptions(const CaptionList& captions);

    // The caption a caption dialog is working on, shown with the listed
    // ones in place of caption `replaces` (Edit) or after them (Add, -1).
    // Setting the same caption again announces nothing.
    void setWorkingCaption(const Caption& caption, std::int32_t replaces);
    void clearWorkingCaption();
    WorkingCaption workingCaption() const;

    // The caption data table of the session (null: none): the open photo's
    // row fills the placeholders now, and each photo opened later its own.
    // Not a step of the history.
    void setCaptionData(std::shared_ptr<const CaptionDataTable> table);
    const CaptionDataTable* captionData() const { return captionData_.get(); }

signals:
    // Every open, after it ended; `ok` tells whether the picture changed.
    void openFinished(bool ok);
    // A new picture, with its size, description and path.
    void pictureChanged(const QString& path);
    void captionAdded(std::int32_t index);
    void captionEdited(std::int32_t index);
    void captionRemoved(std::int32_t index);
    // The description a save would carry has changed.
    void descriptionChanged(const QString& description);
    // What the document renders has changed: once after each change above.
    void canvasChanged();
    // The working caption was set, changed or cleared.
    void workingCaptionChanged();
    void modifiedChanged(bool modified);
    // A job began, went on to another stage, or ended: `result` says how
    // (its message is the one open() and save() give); `cancelled` when
    // it was stopped or replaced by a later open.
    void jobStarted(DocumentJob job, const QString& path);
    void jobStageChanged(JobStage stage);
    void jobFinished(DocumentJob job, const PipelineResult& result, bool cancelled);
    // A first view appeared or went away.
    void firstViewChanged();

private:
    struct JobControl;
    class Step;
    class ListStep;

    // Puts `to` where `from` is at `index`: insertion when there was no
    // caption, removal when there is none after, an edit otherwise.
    void apply(std::int32_t index, const std::optional<Caption>& from,
               const std::optional<Caption>& to);
    void applyList(const std::vector<Caption>& to);
    void announceDescription(const QString& before);
    // Puts an opened picture in place, keeping the captions.
    void takePicture(PictureDocument&& opened, const QString& path);
    void beginJob(DocumentJob job, const QString& path);
    void endJob(const PipelineResult& result, bool cancelled);
    // Runs `work` on a worker; it reports back through queued calls that
    // are dropped once `control` is no longer the running job's.
    void runWorker(std::function<void()> work);
    // Walks the opened JPEG's coded data in the background (see sourceIndex).
    void indexSource();
    bool isCurrent(const std::shared_ptr<JobControl>& control) const;

    PictureDocument document_;
    QString path_;
    CaptionStepNames names_;
    QUndoStack history_;
    std::optional<Caption> working_;
    std::int32_t workingReplaces_ = -1;
    std::shared_ptr<const CaptionDataTable> captionData_;
    DocumentJob job_ = DocumentJob::None;
    JobStage stage_ = JobStage::Reading;
    QString jobPath_;
    std::shared_ptr<JobControl> control_;
    std::vector<QFuture<void>> workers_;
    // Set as the model goes: background walks stop early.
    std::atomic<bool> stopping_{false};
    FirstView firstView_;
};
