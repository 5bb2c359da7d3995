// The select-caption dialog in both its modes: what the list shows, what
// the default button does, and that removals reach the view at once.
#include "ui/SelectCaptionDialog.h"
#include "document/DocumentModel.h"
#include "resources/DialogTemplates.h"
#include "tests/support/DialogTesting.h"
#include "tests/support/QtPrinters.h"
#include "ui/ImageControl.h"

#include <QListWidget>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

// Three captions and a shown view of them.
class SelectCaptionDialogTest : public testing::Test {
protected:
    void SetUp() override {
        view.resize(300, 200);
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
        for (const char* text : {"First", "Second\r\nline two", "Third"})
            addCaption(QString::fromUtf8(text));
    }
    void addCaption(const QString& text) {
        Caption caption;
        caption.text = text;
        model.addCaption(caption);
    }
    QStringList captionTexts() const {
        QStringList texts;
        for (std::int32_t i = 0; i < model.document().captions.count(); ++i)
            texts << model.document().captions.at(i)->text;
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

TEST_F(SelectCaptionDialogTest, PickModeReportsTheEntryChosenAnyWayOrNone) {
    addCaption(QString());
    CSelectCaptionDialog dialog(&model, QStringLiteral("Select caption to edit"),
                                CSelectCaptionDialog::Pick);
    // One entry per caption, whole, line breaks and all; the last selected.
    EXPECT_EQ(entries(dialog), captionTexts());
    EXPECT_EQ(dialog.list()->currentRow(), 3);
    QListWidget* list = dialog.list();
    struct Row {
        const char* name;
        std::function<void()> act;
        int result, selected;
    };
    const std::vector<Row> rows = {
        {"a double click only selects",
         [&] {
             QTest::mouseDClick(list->viewport(), Qt::LeftButton, {},
                                list->visualItemRect(list->item(0)).center());
             EXPECT_TRUE(dialog.isVisible());
             button(dialog, ControlId::Ok)->click();
         },
         1, 0},
        {"Escape", [&] { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape); }, 2, 0},
        {"Enter in the list",
         [&] {
             list->setFocus();
             list->setCurrentRow(1);
             QTest::keyClick(list, Qt::Key_Return);
         },
         1, 1},
        {"nothing selected",
         [&] {
             list->clearSelection();
             button(dialog, ControlId::Ok)->click();
         },
         1, -1},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ExecWith(dialog, row.act), row.result) << row.name;
        EXPECT_TRUE(row.result != 1 || dialog.selectedIndex() == row.selected) << row.name;
    }
    EXPECT_EQ(model.document().captions.count(), 4) << "picking removes nothing";
}

TEST_F(SelectCaptionDialogTest, RemoveModeRemovesTheSelectedCaptionAtOnceAndThenNeedsANewChoice) {
    PaintCounter painted(&view);
    CSelectCaptionDialog dialog(&model, QStringLiteral("Select caption to remove"),
                                CSelectCaptionDialog::Remove);
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

                           // A second press without a new choice removes nothing.
                           QTest::mouseClick(remove, Qt::LeftButton);
                           EXPECT_EQ(entries(dialog), QStringList({"First", "Third"}));
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
