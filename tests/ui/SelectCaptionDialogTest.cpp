// The select-caption dialog in both its modes: what the list shows, what
// the default button does, and that removals reach the view at once.
#include "ui/SelectCaptionDialog.h"
#include "document/DocumentModel.h"
#include "resources/DialogTemplates.h"
#include "tests/support/DialogTesting.h"
#include "tests/support/QtPrinters.h"
#include "ui/ImageControl.h"

#include <QEvent>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

class SelectCaptionDialogTest : public testing::Test {
protected:
    void SetUp() override {
        view.resize(300, 200);
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
        for (const QString& text : {QStringLiteral("First"), QStringLiteral("Second\r\nline two"),
                                    QStringLiteral("Third")})
            addCaption(text);
    }
    void addCaption(const QString& text) {
        Caption caption;
        caption.text = text;
        model.addCaption(caption);
    }
    QStringList captionTexts() const {
        QStringList texts;
        const CaptionList& captions = model.document().captions;
        for (std::int32_t i = 0; i < captions.count(); ++i)
            texts << captions.at(i)->text;
        return texts;
    }
    static QStringList entries(const CSelectCaptionDialog& dialog) {
        QStringList texts;
        for (int i = 0; i < dialog.list()->count(); ++i)
            texts << dialog.list()->item(i)->text();
        return texts;
    }
    static QPushButton* button(const CSelectCaptionDialog& dialog, int id) {
        return dialog.findChild<QPushButton*>(QString::number(id));
    }

    DocumentModel model{{"Add Caption", "Edit Caption", "Remove Caption"}};
    CImageControl view{&model};
};

TEST_F(SelectCaptionDialogTest, PickModeListsWholeTextsWithTheLastSelectedAndEnterPicksIt) {
    CSelectCaptionDialog dialog(&model, QStringLiteral("Select caption to edit"),
                                CSelectCaptionDialog::Pick);
    EXPECT_EQ(dialog.windowTitle(), "Select caption to edit");
    EXPECT_EQ(button(dialog, ControlId::Ok)->text(), "OK");
    EXPECT_EQ(button(dialog, ControlId::Cancel)->text(), "Cancel");
    ASSERT_EQ(dialog.findChild<QListWidget*>("1026"), dialog.list());
    // One entry per caption, line breaks and all.
    EXPECT_EQ(entries(dialog), captionTexts());
    EXPECT_EQ(dialog.list()->item(1)->text(), "Second\r\nline two");
    EXPECT_EQ(dialog.list()->selectedItems(), QList<QListWidgetItem*>{dialog.list()->item(2)});
    EXPECT_EQ(dialog.selectedIndex(), -1) << "nothing is picked before OK";

    EXPECT_EQ(ExecWith(dialog,
                       [&] {
                           EXPECT_TRUE(button(dialog, ControlId::Ok)->hasFocus());
                           QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
                       }),
              1);
    EXPECT_EQ(dialog.selectedIndex(), 2);
    EXPECT_EQ(model.document().captions.count(), 3) << "picking removes nothing";
}

TEST_F(SelectCaptionDialogTest, PickModeReportsAnyEntryOrNoneAndCancelEndsWithTwo) {
    addCaption(QString());
    CSelectCaptionDialog dialog(&model, QStringLiteral("t"), CSelectCaptionDialog::Pick);
    ASSERT_EQ(dialog.list()->count(), 4);
    EXPECT_TRUE(dialog.list()->item(3)->text().isEmpty());
    // A double click only selects.
    EXPECT_EQ(ExecWith(dialog,
                       [&] {
                           QListWidget* list = dialog.list();
                           const QRect first = list->visualItemRect(list->item(0));
                           QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, first.center());
                           EXPECT_TRUE(dialog.isVisible());
                           button(dialog, ControlId::Ok)->click();
                       }),
              1);
    EXPECT_EQ(dialog.selectedIndex(), 0);

    EXPECT_EQ(ExecWith(dialog, [&] { button(dialog, ControlId::Cancel)->click(); }), 2);
    EXPECT_EQ(
        ExecWith(dialog, [&] { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape); }), 2);

    // Enter in the list presses the default button too.
    EXPECT_EQ(ExecWith(dialog,
                       [&] {
                           dialog.list()->setFocus();
                           dialog.list()->setCurrentRow(1);
                           QTest::keyClick(dialog.list(), Qt::Key_Return);
                       }),
              1);
    EXPECT_EQ(dialog.selectedIndex(), 1);

    // The empty entry can be picked; with nothing selected OK reports -1.
    dialog.list()->setCurrentRow(3);
    EXPECT_EQ(ExecWith(dialog, [&] { button(dialog, ControlId::Ok)->click(); }), 1);
    EXPECT_EQ(dialog.selectedIndex(), 3);
    dialog.list()->clearSelection();
    EXPECT_EQ(ExecWith(dialog, [&] { button(dialog, ControlId::Ok)->click(); }), 1);
    EXPECT_EQ(dialog.selectedIndex(), -1);
}

TEST_F(SelectCaptionDialogTest, WithoutCaptionsTheListIsEmptyAndOkPicksNothing) {
    DocumentModel empty;
    CSelectCaptionDialog dialog(&empty, QStringLiteral("t"), 7);
    EXPECT_EQ(dialog.list()->count(), 0);
    EXPECT_EQ(button(dialog, ControlId::Ok)->text(), "OK") << "any mode but 1 picks";
    EXPECT_EQ(ExecWith(dialog, [&] { button(dialog, ControlId::Ok)->click(); }), 1);
    EXPECT_EQ(dialog.selectedIndex(), -1);
}

TEST_F(SelectCaptionDialogTest, RemoveModeRemovesTheSelectedCaptionAtOnceAndThenNeedsANewChoice) {
    PaintCounter painted(&view);
    CSelectCaptionDialog dialog(&model, QStringLiteral("Select caption to remove"),
                                CSelectCaptionDialog::Remove);
    EXPECT_EQ(button(dialog, ControlId::Ok)->text(), "Remove");
    EXPECT_EQ(button(dialog, ControlId::Cancel)->text(), "Close");
    EXPECT_EQ(ExecWith(dialog,
                       [&] {
                           dialog.list()->setCurrentRow(1);
                           QPushButton* remove = button(dialog, ControlId::Ok);
                           const int before = painted.paints;
                           QTest::mouseClick(remove, Qt::LeftButton);
                           EXPECT_TRUE(dialog.isVisible()) << "removing keeps the dialog open";
                           EXPECT_EQ(captionTexts(), QStringList({"First", "Third"}));
                           EXPECT_EQ(entries(dialog), captionTexts());
                           EXPECT_TRUE(dialog.list()->selectedItems().isEmpty());
                           EXPECT_TRUE(QTest::qWaitFor([&] { return painted.paints > before; }))
                               << "the view follows the model behind the dialog";
                           EXPECT_EQ(model.history()->undoText(), "Remove Caption");

                           // A second press without a new choice removes nothing.
                           QTest::mouseClick(remove, Qt::LeftButton);
                           EXPECT_EQ(captionTexts(), QStringList({"First", "Third"}));
                           EXPECT_EQ(entries(dialog), captionTexts());
                           EXPECT_EQ(model.history()->count(), 4) << "three adds, one removal";

                           dialog.list()->setCurrentRow(0);
                           QTest::mouseClick(remove, Qt::LeftButton);
                           EXPECT_EQ(entries(dialog), QStringList{"Third"});
                           button(dialog, ControlId::Cancel)->click();
                       }),
              2);
    EXPECT_EQ(captionTexts(), QStringList{"Third"}) << "closing undoes nothing";
}

} // namespace
