#pragma once

#include "captions/CaptionData.h"
#include "captions/CaptionRenderer.h"
#include "captions/PictureDocument.h"
#include "captions/PicturePipeline.h"

#include <QObject>
#include <QString>
#include <QUndoStack>

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
    // Takes a picture already in memory as a successful open of `path`
    // would: for pictures that come from elsewhere than a JPEG file.
    void loadPicture(const QImage& picture, const QString& description, const QString& path = {});
    // Saves through the pipeline; a successful save marks the captions
    // unmodified. The document itself does not change.
    PipelineResult save(const QString& path, const SaveChoices& choices = {});

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

private:
    class Step;
    class ListStep;

    // Puts `to` where `from` is at `index`: insertion when there was no
    // caption, removal when there is none after, an edit otherwise.
    void apply(std::int32_t index, const std::optional<Caption>& from,
               const std::optional<Caption>& to);
    void applyList(const std::vector<Caption>& to);
    void announceDescription(const QString& before);

    PictureDocument document_;
    QString path_;
    CaptionStepNames names_;
    QUndoStack history_;
    std::optional<Caption> working_;
    std::int32_t workingReplaces_ = -1;
    std::shared_ptr<const CaptionDataTable> captionData_;
};
