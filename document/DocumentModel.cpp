#include "document/DocumentModel.h"

#include "pipeline/CaptionJob.h"

#include <QFileInfo>
#include <QUndoCommand>

#include <utility>

// One step of the history: caption `index` goes from `before` to `after`,
// where no caption on one side makes the step an insertion or a removal.
// Qt runs redo() when the step is pushed.
class DocumentModel::Step : public QUndoCommand {
public:
    Step(DocumentModel* model, const QString& name, std::int32_t index,
         std::optional<Caption> before, std::optional<Caption> after)
        : QUndoCommand(name), model_(model), index_(index), before_(std::move(before)),
          after_(std::move(after)) {}

    void redo() override { model_->apply(index_, before_, after_); }
    void undo() override { model_->apply(index_, after_, before_); }

private:
    DocumentModel* model_;
    std::int32_t index_;
    std::optional<Caption> before_;
    std::optional<Caption> after_;
};

// One step that swaps the whole list for another.
class DocumentModel::ListStep : public QUndoCommand {
public:
    ListStep(DocumentModel* model, const QString& name, std::vector<Caption> before,
             std::vector<Caption> after)
        : QUndoCommand(name), model_(model), before_(std::move(before)), after_(std::move(after)) {}

    void redo() override { model_->applyList(after_); }
    void undo() override { model_->applyList(before_); }

private:
    DocumentModel* model_;
    std::vector<Caption> before_;
    std::vector<Caption> after_;
};

namespace {
std::vector<Caption> copyOf(const CaptionList& captions) {
    std::vector<Caption> copy;
    copy.reserve(static_cast<std::size_t>(captions.count()));
    for (std::int32_t i = 0; i < captions.count(); ++i)
        copy.push_back(*captions.at(i));
    return copy;
}
} // namespace

DocumentModel::DocumentModel(CaptionStepNames names, QObject* parent)
    : QObject(parent), names_(std::move(names)) {
    connect(&history_, &QUndoStack::cleanChanged, this,
            [this](bool clean) { emit modifiedChanged(!clean); });
}

DocumentModel::~DocumentModel() {
    // Workers read nothing of the model, but report back to it.
    stopping_ = true;
    waitForJobs();
    // The steps point back here; they go before the document does.
    history_.clear();
}

PipelineResult DocumentModel::open(const QString& path) {
    PictureDocument opened;
    PipelineResult result = openPicture(opened, path);
    if (result.ok)
        takePicture(std::move(opened), path);
    emit openFinished(result.ok);
    return result;
}

void DocumentModel::takePicture(PictureDocument&& opened, const QString& path) {
    const QString before = description();
    document_.picture = std::move(opened.picture);
    document_.description = std::move(opened.description);
    document_.metadata = std::move(opened.metadata);
    document_.fileName = std::move(opened.fileName);
    document_.sourceJpeg = std::move(opened.sourceJpeg);
    document_.sourceIndex = std::move(opened.sourceIndex);
    document_.format = opened.format;
    // A picture without a file has no row of caption data.
    document_.captionData =
        captionData_ && !path.isEmpty() ? captionData_->valuesFor(path) : QHash<QString, QString>();
    path_ = path;
    history_.setClean();
    firstView_ = FirstView{};
    emit pictureChanged(path_);
    announceDescription(before);
    emit canvasChanged();
}

void DocumentModel::setCaptionData(std::shared_ptr<const CaptionDataTable> table) {
    const QString before = description();
    captionData_ = std::move(table);
    document_.captionData =
        captionData_ ? captionData_->valuesFor(path_) : QHash<QString, QString>();
    announceDescription(before);
    emit canvasChanged();
}

PipelineResult DocumentModel::save(const QString& path, const SaveChoices& choices) {
    PipelineResult result = saveCaptionedCopy(document_, path, choices);
    if (result.ok)
        history_.setClean();
    return result;
}

void DocumentModel::addCaption(const Caption& caption) {
    history_.push(new Step(this, names_.add, document_.captions.count(), std::nullopt, caption));
}

void DocumentModel::editCaption(std::int32_t index, const Caption& edited) {
    const Caption* listed = document_.captions.at(index);
    if (listed == nullptr || *listed == edited)
        return;
    history_.push(new Step(this, names_.edit, index, *listed, edited));
}

void DocumentModel::removeCaption(std::int32_t index) {
    const Caption* listed = document_.captions.at(index);
    if (listed == nullptr)
        return;
    history_.push(new Step(this, names_.remove, index, *listed, std::nullopt));
}

void DocumentModel::replaceCaptions(const CaptionList& captions) {
    history_.push(new ListStep(this, names_.load, copyOf(document_.captions), copyOf(captions)));
}

void DocumentModel::applyList(const std::vector<Caption>& to) {
    const QString before = description();
    CaptionList& captions = document_.captions;
    while (captions.count() > 0) {
        const std::int32_t last = captions.count() - 1;
        captions.removeAt(last);
        emit captionRemoved(last);
    }
    for (const Caption& caption : to) {
        captions.append(caption);
        emit captionAdded(captions.count() - 1);
    }
    announceDescription(before);
    emit canvasChanged();
}

void DocumentModel::apply(std::int32_t index, const std::optional<Caption>& from,
                          const std::optional<Caption>& to) {
    const QString before = description();
    CaptionList& captions = document_.captions;
    if (!from && to) {
        captions.insert(index, *to);
        emit captionAdded(index);
    } else if (from && to) {
        captions.replaceAt(index, *to);
        emit captionEdited(index);
    } else if (from) {
        captions.removeAt(index);
        emit captionRemoved(index);
    }
    announceDescription(before);
    emit canvasChanged();
}

void DocumentModel::announceDescription(const QString& before) {
    const QString now = description();
    if (now != before)
        emit descriptionChanged(now);
}

void DocumentModel::setWorkingCaption(const Caption& caption, std::int32_t replaces) {
    if (working_ && *working_ == caption && workingReplaces_ == replaces)
        return;
    working_ = caption;
    workingReplaces_ = replaces;
    emit workingCaptionChanged();
}

void DocumentModel::clearWorkingCaption() {
    if (!working_)
        return;
    working_.reset();
    workingReplaces_ = -1;
    emit workingCaptionChanged();
}

WorkingCaption DocumentModel::workingCaption() const {
    return working_ ? WorkingCaption{&*working_, workingReplaces_} : WorkingCaption{};
}
