#pragma once

#include "resources/DialogTemplates.h"
#include "ui/CaptionDialog.h"
#include "ui/ColorBox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <utility>

// A caption dialog for a new caption, its controls found by id and used as
// a person uses them, and the last caption it announced.
class CaptionDialogFixture : public testing::Test {
protected:
    CaptionDialogFixture() {
        QObject::connect(&dialog, &CCaptionDialog::captionChanged,
                         [this](const Caption& caption) { lastAnnounced = caption; });
    }

    template <class T> T* find(int id) {
        T* found = dialog.findChild<T*>(QString::number(id));
        EXPECT_NE(found, nullptr) << "no control " << id;
        return found;
    }
    QLineEdit* edit(int id) { return find<QLineEdit>(id); }
    bool checked(int id) { return find<QAbstractButton>(id)->isChecked(); }
    void click(int id) { QTest::mouseClick(find<QAbstractButton>(id), Qt::LeftButton); }
    // Types `text` over the whole of a field.
    void type(int id, const QString& text) {
        QLineEdit* field = edit(id);
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, text);
    }
    // Moves a list one choice down or up with the keyboard.
    void stepChoice(int id, Qt::Key key) {
        auto* list = find<QComboBox>(id);
        list->setFocus();
        QTest::keyClick(list, key);
    }
    QString label() { return find<QLabel>(ControlId::FontDescription)->text(); }
    void showDialog() {
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    }
    // The colour in the middle of a swatch and on its frame.
    static std::pair<QColor, QColor> swatch(CColorBox* box) {
        const QImage shot = box->grab().toImage();
        return {shot.pixelColor(shot.width() / 2, shot.height() / 2), shot.pixelColor(0, 0)};
    }

    CCaptionDialog dialog;
    Caption lastAnnounced;
};
