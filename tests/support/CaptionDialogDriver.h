#pragma once

// Works the caption dialog's controls, found by their ids, as a person would.
#include "captions/Caption.h"
#include "resources/DialogTemplates.h"
#include "tests/support/WhenModal.h"
#include "ui/CaptionDialog.h"
#include "ui/CaptionTextEdit.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

template <class T = QWidget> T* Control(const QWidget* dialog, int id) {
    T* found = dialog->findChild<T*>(QString::number(id));
    EXPECT_NE(found, nullptr) << "no control " << id;
    return found;
}

inline void Click(const QWidget* dialog, int id) {
    QTest::mouseClick(Control<QAbstractButton>(dialog, id), Qt::LeftButton);
}

// Types `text` over the whole of a field; in the caption's text each "\n"
// is typed as Ctrl+Enter, the text box's new line.
inline void Type(const QWidget* dialog, int id, const QString& text) {
    QWidget* field = Control(dialog, id);
    field->setFocus();
    if (auto* edit = qobject_cast<QLineEdit*>(field)) {
        edit->selectAll();
        QTest::keyClicks(edit, text);
        return;
    }
    auto* box = qobject_cast<CaptionTextEdit*>(field);
    ASSERT_NE(box, nullptr) << id;
    box->selectAll();
    const QStringList lines = text.split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0)
            QTest::keyClick(box, Qt::Key_Return, Qt::ControlModifier);
        QTest::keyClicks(box, lines[i]);
    }
}

// Answers the next caption dialog: `set` works its controls, then "Add"
// or "Cancel" is pressed. `seen` receives the caption it started from.
inline QTimer* AnswerCaptionDialog(const std::function<void(CCaptionDialog*)>& set,
                                   bool confirm = true, Caption* seen = nullptr) {
    return WhenModal<CCaptionDialog>([set, confirm, seen](CCaptionDialog* dialog) {
        if (seen != nullptr)
            *seen = dialog->caption();
        set(dialog);
        Click(dialog, confirm ? ControlId::Ok : ControlId::Cancel);
    });
}
