#include "ui/SelectCaptionDialog.h"

#include "document/DocumentModel.h"
#include "resources/StringTable.h"

#include <QListWidget>

CSelectCaptionDialog::CSelectCaptionDialog(DocumentModel* model, const QString& title,
                                           std::int32_t mode, QWidget* parent)
    : TemplateDialog(DialogId::SelectCaption, parent), model_(model), mode_(mode) {
    list_ = control<QListWidget>(ControlId::CaptionListBox);
    if (mode_ == Remove) {
        setControlText(ControlId::Ok, loadString(StringId::Remove));
        setControlText(ControlId::Cancel, loadString(StringId::Close));
    }
    setWindowTitle(title);
    // Entry i is caption i, with its whole text, line breaks included.
    const CaptionList& captions = model_->document().captions;
    for (std::int32_t i = 0; i < captions.count(); ++i)
        list_->addItem(captions.at(i)->text);
    if (list_->count() > 0)
        list_->setCurrentRow(list_->count() - 1);
    connect(model_, &DocumentModel::captionRemoved, this, &CSelectCaptionDialog::captionRemoved);
}

void CSelectCaptionDialog::onCommand(int id) {
    if (id != ControlId::Ok) {
        TemplateDialog::onCommand(id);
        return;
    }
    const QList<QListWidgetItem*> selected = list_->selectedItems();
    selectedIndex_ = selected.isEmpty() ? -1 : list_->row(selected.constFirst());
    if (mode_ != Remove) {
        done(ControlId::Ok);
        return;
    }
    model_->removeCaption(selectedIndex_);
    // The next removal needs a new choice: nothing stays selected.
    list_->clearSelection();
    list_->setCurrentRow(-1);
}

void CSelectCaptionDialog::captionRemoved(std::int32_t index) {
    if (index >= 0 && index < list_->count())
        delete list_->takeItem(index);
}
