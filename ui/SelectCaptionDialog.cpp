#include "ui/SelectCaptionDialog.h"

#include "resources/StringTable.h"
#include "ui/ImageControl.h"

#include <QListWidget>

CSelectCaptionDialog::CSelectCaptionDialog(CImageControl* view, const QString& title,
                                           std::int32_t mode, QWidget* parent)
    : TemplateDialog(DialogId::SelectCaption, parent), view_(view), mode_(mode) {
    list_ = control<QListWidget>(ControlId::CaptionListBox);
    if (mode_ == Remove) {
        setControlText(ControlId::Ok, loadString(StringId::Remove));
        setControlText(ControlId::Cancel, loadString(StringId::Close));
    }
    setWindowTitle(title);
    // Entry i is caption i, with its whole text, line breaks included.
    const CaptionList& captions = view_->document().captions;
    for (std::int32_t i = 0; i < captions.count(); ++i)
        list_->addItem(captions.at(i)->text);
    if (list_->count() > 0)
        list_->setCurrentRow(list_->count() - 1);
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
    removeSelected();
}

void CSelectCaptionDialog::removeSelected() {
    view_->document().captions.removeAt(selectedIndex_);
    if (selectedIndex_ >= 0 && selectedIndex_ < list_->count())
        delete list_->takeItem(selectedIndex_);
    // The next removal needs a new choice: nothing stays selected.
    list_->clearSelection();
    list_->setCurrentRow(-1);
    view_->repaint();
}
