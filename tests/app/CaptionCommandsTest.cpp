// Add, Edit and Remove Caption through the real dialogs, with Undo and Redo.
#include "resources/MainMenu.h"
#include "tests/app/FrameDriver.h"
#include "tests/support/CaptionDialogDriver.h"
#include "tests/support/QtPrinters.h"
#include "ui/ImageControl.h"
#include "ui/SelectCaptionDialog.h"

#include <QListWidget>
#include <QPushButton>

namespace {

// Answers the next select-caption dialog: selects `row` (-1 clears the
// selection, -2 keeps the preselected one) and presses OK, or Cancel.
void AnswerSelectDialog(int row, bool confirm = true) {
    WhenModal<CSelectCaptionDialog>([row, confirm](CSelectCaptionDialog* dialog) {
        if (row == -1)
            dialog->list()->clearSelection();
        else if (row >= 0)
            dialog->list()->setCurrentRow(row);
        Click(dialog, confirm ? ControlId::Ok : ControlId::Cancel);
    });
}

// A window with a photo open.
class CaptionCommandsTest : public WindowTest {
protected:
    void SetUp() override {
        WriteJpeg(dir.file("photo.jpg"), 320, 240, QColor(30, 110, 60));
        frame->resize(900, 675);
        ASSERT_TRUE(OpenAndWait(*frame, Q(dir.file("photo.jpg"))));
    }
    QImage shown() const { return frame->imageControl()->grab().toImage(); }
    void add(const QString& text, int dispositionButton = 0) {
        AnswerCaptionDialog([text, dispositionButton](CCaptionDialog* d) {
            Type(d, ControlId::CaptionText, text);
            if (dispositionButton != 0)
                Click(d, dispositionButton);
        });
        frame->addButton()->click();
    }
    // Fails the test if a caption dialog opens before the returned guard is deleted.
    QPointer<QTimer> noCaptionDialog() {
        return WhenModal<CCaptionDialog>([](CCaptionDialog* d) {
            ADD_FAILURE() << "a caption dialog opened";
            d->reject();
        });
    }
};

TEST_F(CaptionCommandsTest, AddShowsEachChangeAtOnceAndKeepsOnlyAConfirmedCaption) {
    const QImage before = shown();
    QImage typed;
    AnswerCaptionDialog(
        [&](CCaptionDialog* d) {
            Type(d, ControlId::CaptionText, "Working caption");
            typed = shown();
        },
        false);
    frame->addButton()->click();
    EXPECT_NE(typed, before) << "the text shows while it is typed";
    EXPECT_EQ(shown(), before);
    EXPECT_EQ(document().captions.count(), 0);

    // The next lands after the first; the view shows at once exactly what
    // the preview showed.
    add("First");
    QImage previewed;
    AnswerCaptionDialog([&](CCaptionDialog* d) {
        Type(d, ControlId::CaptionText, "Two\nlines");
        Click(d, ControlId::BottomBand);
        Type(d, ControlId::MarginTop, "7");
        previewed = shown();
    });
    frame->addButton()->click();
    ASSERT_EQ(document().captions.count(), 2);
    Caption expected;
    expected.text = QStringLiteral("Two\r\nlines");
    expected.disposition = Disposition::BottomBand;
    expected.marginTop = 7;
    EXPECT_EQ(*document().captions.at(1), expected);
    EXPECT_EQ(shown(), previewed);
}

TEST_F(CaptionCommandsTest, EditShowsThePickedCaptionInPlaceAndKeepsOnlyAConfirmedChange) {
    add("A", ControlId::TopBand);
    add("B", ControlId::BottomBand);
    add("C");
    const QImage before = shown();

    // Enter on the preselected entry edits the last caption; the working
    // caption stands in for it in the view, and Cancel brings the view
    // back and leaves the caption as it was.
    const Caption last = *document().captions.at(2);
    WhenModal<CSelectCaptionDialog>([](CSelectCaptionDialog* d) {
        ASSERT_TRUE(QTest::qWaitForWindowActive(d));
        QTest::keyClick(d->focusWidget(), Qt::Key_Return);
    });
    Caption started;
    QImage editing;
    AnswerCaptionDialog(
        [&](CCaptionDialog* d) {
            Type(d, ControlId::CaptionText, "C, much longer than it was before");
            Type(d, ControlId::MarginLeft, "40");
            editing = shown();
        },
        false, &started);
    frame->editButton()->click();
    EXPECT_EQ(started, last);
    EXPECT_EQ(*document().captions.at(2), last);
    EXPECT_EQ(shown(), before);
    DocumentModel reference;
    CImageControl referenceView(&reference);
    referenceView.resize(frame->imageControl()->size());
    ASSERT_TRUE(reference.open(Q(dir.file("photo.jpg"))).ok);
    Caption replaced = last;
    replaced.text = QStringLiteral("C, much longer than it was before");
    replaced.marginLeft = 40;
    for (const Caption& each : {*document().captions.at(0), *document().captions.at(1), replaced})
        reference.addCaption(each);
    EXPECT_EQ(referenceView.grab().toImage(), editing);

    // Cancelling the choice, or choosing nothing, opens no caption dialog.
    const QPointer<QTimer> watch = noCaptionDialog();
    AnswerSelectDialog(0, false);
    frame->editButton()->click();
    AnswerSelectDialog(-1);
    frame->editButton()->click();
    EXPECT_EQ(texts(), QStringList({"A", "B", "C"}));
    delete watch.data();
}

TEST_F(CaptionCommandsTest, UndoAndRedoOfAddEditAndRemoveBringViewAndListBackExactly) {
    const QImage empty = shown();
    QAction* undo = frame->menuAction(CommandId::Undo);
    QAction* redo = frame->menuAction(CommandId::Redo);
    add("Title", ControlId::TopBand);
    const QImage one = shown();
    add("Note");
    const QImage two = shown();
    AnswerSelectDialog(0);
    AnswerCaptionDialog([](CCaptionDialog* d) {
        Type(d, ControlId::CaptionText, "Title, edited");
        Click(d, ControlId::BottomBand);
    });
    frame->editButton()->click();
    const QImage edited = shown();
    AnswerSelectDialog(1);
    WhenModal<CSelectCaptionDialog>([](CSelectCaptionDialog* d) { d->reject(); });
    frame->removeButton()->click();
    const QImage removed = shown();
    EXPECT_EQ(texts(), QStringList{"Title, edited"});

    // Back through every step with Ctrl+Z and the menu ...
    Press(frame.get(), "Ctrl+Z");
    EXPECT_EQ(texts(), QStringList({"Title, edited", "Note"}));
    EXPECT_EQ(shown(), edited);
    for (const QImage& view : {two, one, empty}) {
        undo->trigger();
        EXPECT_EQ(shown(), view);
    }
    EXPECT_FALSE(undo->isEnabled());

    // ... and forward again with Ctrl+Shift+Z, Ctrl+Y and the menu.
    Press(frame.get(), "Ctrl+Shift+Z");
    EXPECT_EQ(shown(), one);
    Press(frame.get(), "Ctrl+Y");
    EXPECT_EQ(shown(), two);
    for (const QImage& view : {edited, removed}) {
        redo->trigger();
        EXPECT_EQ(shown(), view);
    }
    EXPECT_EQ(texts(), QStringList{"Title, edited"});
    EXPECT_FALSE(redo->isEnabled());

    // With every caption removed, OK on the empty lists edits and removes nothing.
    AnswerSelectDialog(0);
    WhenModal<CSelectCaptionDialog>([](CSelectCaptionDialog* d) { d->reject(); });
    frame->removeButton()->click();
    const QPointer<QTimer> watch = noCaptionDialog();
    AnswerSelectDialog(-2);
    frame->editButton()->click();
    AnswerSelectDialog(-2);
    WhenModal<CSelectCaptionDialog>([](CSelectCaptionDialog* d) { d->reject(); });
    frame->removeButton()->click();
    EXPECT_TRUE(texts().isEmpty());
    delete watch.data();
}

} // namespace
