#pragma once

#include "ui/TemplateDialog.h"

#include <cstdint>

class DocumentModel;
class QListWidget;

// Lists the captions of the model's document, one entry per caption with
// its whole text, the last one selected. In pick mode the default button
// ends the dialog with 1 and selectedIndex() tells which entry was chosen
// (-1 for none). In remove mode it reads "Remove" and asks the model to
// remove the selected caption at once (one undo step each); the list
// follows the model, and the dialog stays open until "Close".
class CSelectCaptionDialog : public TemplateDialog {
    Q_OBJECT

public:
    enum Mode : std::int32_t { Pick = 0, Remove = 1 };

    // Any mode other than Remove picks. `model` must outlive the dialog.
    CSelectCaptionDialog(DocumentModel* model, const QString& title, std::int32_t mode,
                         QWidget* parent = nullptr);

    std::int32_t selectedIndex() const { return selectedIndex_; }
    QListWidget* list() const { return list_; }

protected:
    void onCommand(int id) override;

private:
    void captionRemoved(std::int32_t index);

    DocumentModel* model_;
    std::int32_t mode_;
    std::int32_t selectedIndex_ = -1;
    QListWidget* list_ = nullptr;
};
