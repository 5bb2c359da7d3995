#pragma once

// Helpers that work the caption dialog's controls as a person would.
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

using CaptionSetter = std::function<void(CCaptionDialog*)>;

inline void Click(QWidget* dialog, int id) {
    auto* button = dialog->findChild<QAbstractButton*>(QString::number(id));
    ASSERT_NE(button, nullptr) << id;
    QTest::mouseClick(button, Qt::LeftButton);
}

inline void Type(QWidget* dialog, int id, const QString& text) {
    if (auto* edit = dialog->findChild<QLineEdit*>(QString::number(id))) {
        edit->selectAll();
        QTest::keyClicks(edit, text);
        return;
    }
    auto* box = dialog->findChild<CaptionTextEdit*>(QString::number(id));
    ASSERT_NE(box, nullptr) << id;
    box->selectAll();
    // Each "\n" is typed as Ctrl+Enter, the text box's new line.
    const QStringList lines = text.split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0)
            QTest::keyClick(box, Qt::Key_Return, Qt::ControlModifier);
        QTest::keyClicks(box, lines[i]);
    }
}

// Answers the next caption dialog: `set` works its controls, then "Add"
// or "Cancel" is pressed. `seen` receives the caption it started from.
inline QTimer* AnswerCaptionDialog(const CaptionSetter& set, bool confirm = true,
                                   Caption* seen = nullptr) {
    return WhenModal<CCaptionDialog>([set, confirm, seen](CCaptionDialog* dialog) {
        if (seen != nullptr)
            *seen = dialog->caption();
        set(dialog);
        Click(dialog, confirm ? ControlId::Ok : ControlId::Cancel);
    });
}
