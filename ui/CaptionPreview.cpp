#include "ui/CaptionPreview.h"

#include "document/DocumentModel.h"
#include "ui/CaptionDialog.h"

CaptionPreview::CaptionPreview(DocumentModel& model, const CCaptionDialog& dialog,
                               std::int32_t replaces)
    : model_(model) {
    model_.setWorkingCaption(dialog.caption(), replaces);
    connection_ = QObject::connect(
        &dialog, &CCaptionDialog::captionChanged, &model_,
        [this, replaces](const Caption& caption) { model_.setWorkingCaption(caption, replaces); });
}

CaptionPreview::~CaptionPreview() {
    QObject::disconnect(connection_);
    model_.clearWorkingCaption();
}
