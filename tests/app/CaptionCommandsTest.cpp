// The Add, Edit and Remove caption buttons of the main window, driven
// through the real dialogs they open: the view shows the caption being set
// up and comes back exactly on Cancel, and Undo and Redo bring view and
// list back exactly.
#include "resources/MainMenu.h"
#include "tests/app/FrameDriver.h"
#include "tests/support/CaptionDialogDriver.h"
#include "tests/support/DialogTesting.h"
#include "tests/support/QtPrinters.h"
#include "ui/ImageControl.h"
#include "ui/SelectCaptionDialog.h"

#include <QListWidget>
#include <QPushButton>

namespace {

struct SelectSeen {
    QString title;
    QStringList entries;
    int selectedRow = -2;
};

// Answers the next select-caption dialog: selects `row` (-1 clears the
// selection, -2 keeps the preselected one) and presses the default button,
// or the second one when `confirm` is false.
void AnswerSelectDialog(int row, bool confirm = true, SelectSeen* seen = nullptr) {
    WhenModal<CSelectCaptionDialog>([row, confirm, seen](CSelectCaptionDialog* dialog) {
        QListWidget* list = dialog->list();
        if (seen != nullptr) {
            seen->title = dialog->windowTitle();
            for (int i = 0; i < list->count(); ++i)
                seen->entries << list->item(i)->text();
            seen->selectedRow = list->selectedItems().isEmpty() ? -1 : list->currentRow();
        }
        if (row == -1)
            list->clearSelection();
        else if (row >= 0)
            list->setCurrentRow(row);
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
    int renders() const { return frame->imageControl()->canvasRenders(); }
};

TEST_F(CaptionCommandsTest, AddShowsEachChangeAtOnceAndKeepsOnlyAConfirmedCaption) {
    const QImage before = shown();
    const int rendersBefore = renders();
    QImage typed;
    QImage banded;
    WhenModal<CCaptionDialog>([&](CCaptionDialog* d) {
        EXPECT_EQ(shown(), before) << "an empty caption draws nothing";
        Type(d, ControlId::CaptionText, "Working caption");
        typed = shown();
        Click(d, ControlId::BottomBand);
        banded = shown();
        Click(d, ControlId::Cancel);
    });
    frame->addButton()->click();
    EXPECT_NE(typed, before) << "the text shows while it is typed";
    EXPECT_NE(banded, typed) << "the band shows as soon as it is chosen";
    EXPECT_EQ(banded.height(), before.height());
    // Cancelled: the kept canvas came back; only the three working ones
    // were rendered (the empty caption, the text, the band).
    EXPECT_EQ(shown(), before);
    EXPECT_EQ(renders(), rendersBefore + 3);
    EXPECT_EQ(document().captions.count(), 0);
    EXPECT_FALSE(frame->editButton()->isEnabled());
    EXPECT_FALSE(frame->removeButton()->isEnabled());

    // An empty caption is a caption; the dialog is owned by the window.
    QWidget* owner = nullptr;
    WhenModal<CCaptionDialog>([&owner](CCaptionDialog* d) {
        owner = d->parentWidget();
        Click(d, ControlId::Ok);
    });
    frame->addButton()->click();
    EXPECT_EQ(owner, frame.get());
    ASSERT_EQ(document().captions.count(), 1);
    EXPECT_EQ(*document().captions.at(0), Caption());
    EXPECT_TRUE(frame->editButton()->isEnabled());
    EXPECT_TRUE(frame->removeButton()->isEnabled());

    // The next starts from the defaults again and lands after the first;
    // the view shows at once exactly what the preview showed.
    PaintCounter painted(frame->imageControl());
    Caption started;
    QImage previewed;
    AnswerCaptionDialog(
        [&](CCaptionDialog* d) {
            Type(d, ControlId::CaptionText, "Two\nlines");
            Click(d, ControlId::BottomBand);
            Type(d, ControlId::MarginTop, "7");
            previewed = shown();
        },
        true, &started);
    frame->addButton()->click();
    EXPECT_EQ(started, Caption());
    ASSERT_EQ(document().captions.count(), 2);
    Caption expected;
    expected.text = QStringLiteral("Two\r\nlines");
    expected.disposition = Disposition::BottomBand;
    expected.marginTop = 7;
    EXPECT_EQ(*document().captions.at(1), expected);
    EXPECT_GE(painted.paints, 1);
    EXPECT_EQ(shown(), previewed);
}

TEST_F(CaptionCommandsTest, EditShowsThePickedCaptionInPlaceAndKeepsOnlyAConfirmedChange) {
    add("A", ControlId::TopBand);
    add("B", ControlId::BottomBand);
    add("C");
    const QImage before = shown();

    // Enter on the preselected entry edits the last caption; the working
    // caption stands in for it in the view, and Cancel brings the view
    // back (painted again) and leaves the caption as it was.
    const Caption last = *document().captions.at(2);
    PaintCounter painted(frame->imageControl());
    WhenModal<CSelectCaptionDialog>([](CSelectCaptionDialog* d) {
        ASSERT_TRUE(QTest::qWaitForWindowActive(d));
        QTest::keyClick(d->focusWidget(), Qt::Key_Return);
    });
    Caption started;
    QImage editing;
    AnswerCaptionDialog(
        [&](CCaptionDialog* d) {
            EXPECT_EQ(shown(), before) << "the unchanged caption looks the same";
            Type(d, ControlId::CaptionText, "C, much longer than it was before");
            Type(d, ControlId::MarginLeft, "40");
            editing = shown();
        },
        false, &started);
    frame->editButton()->click();
    EXPECT_EQ(started, last);
    EXPECT_EQ(*document().captions.at(2), last);
    EXPECT_EQ(shown(), before);
    EXPECT_GE(painted.paints, 1);
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

    // The list holds every caption with the last selected; the middle one
    // is picked and changed.
    SelectSeen seen;
    AnswerSelectDialog(1, true, &seen);
    AnswerCaptionDialog(
        [](CCaptionDialog* d) {
            Type(d, ControlId::CaptionText, "B, edited");
            Type(d, ControlId::MarginLeft, "30");
            Click(d, ControlId::AlignRight);
        },
        true, &started);
    frame->editButton()->click();
    EXPECT_EQ(seen.title, "Select caption to edit");
    EXPECT_EQ(seen.entries, QStringList({"A", "B", "C"}));
    EXPECT_EQ(seen.selectedRow, 2);
    EXPECT_EQ(started.text, "B");
    EXPECT_EQ(texts(), QStringList({"A", "B, edited", "C"}));
    EXPECT_EQ(document().captions.at(1)->marginLeft, 30);
    EXPECT_EQ(document().captions.at(1)->horizontalAlignment, HorizontalAlignment::Right);

    // Cancelling the choice, or choosing nothing, opens no caption dialog
    // and repaints nothing.
    bool opened = false;
    const QPointer<QTimer> watch = WhenModal<CCaptionDialog>([&opened](CCaptionDialog* d) {
        opened = true;
        d->reject();
    });
    QCoreApplication::processEvents();
    painted.paints = 0;
    AnswerSelectDialog(0, false);
    frame->editButton()->click();
    AnswerSelectDialog(-1, true);
    frame->editButton()->click();
    EXPECT_FALSE(opened);
    EXPECT_EQ(painted.paints, 0);
    EXPECT_EQ(texts(), QStringList({"A", "B, edited", "C"}));
    delete watch.data();
}

TEST_F(CaptionCommandsTest, UndoAndRedoOfAddEditAndRemoveBringViewAndListBackExactly) {
    const QImage empty = shown();
    QAction* undo = frame->menuAction(CommandId::Undo);
    QAction* redo = frame->menuAction(CommandId::Redo);
    EXPECT_FALSE(undo->isEnabled());

    add("Title", ControlId::TopBand);
    const QImage one = shown();
    EXPECT_TRUE(undo->isEnabled());
    EXPECT_EQ(undo->text(), "&Undo Add Caption");
    add("Note");
    const QImage two = shown();
    AnswerSelectDialog(0);
    AnswerCaptionDialog([](CCaptionDialog* d) {
        Type(d, ControlId::CaptionText, "Title, edited");
        Click(d, ControlId::BottomBand);
    });
    frame->editButton()->click();
    const QImage edited = shown();
    EXPECT_EQ(undo->text(), "&Undo Edit Caption");
    WhenModal<CSelectCaptionDialog>([](CSelectCaptionDialog* d) {
        EXPECT_EQ(d->windowTitle(), "Select caption to remove");
        d->list()->setCurrentRow(1);
        Click(d, ControlId::Ok);
        Click(d, ControlId::Cancel);
    });
    frame->removeButton()->click();
    const QImage removed = shown();
    EXPECT_EQ(texts(), QStringList{"Title, edited"});
    EXPECT_EQ(undo->text(), "&Undo Remove Caption");

    // Back through every step with Ctrl+Z and the menu ...
    Press(frame.get(), "Ctrl+Z");
    EXPECT_EQ(texts(), QStringList({"Title, edited", "Note"}));
    EXPECT_EQ(shown(), edited);
    EXPECT_EQ(redo->text(), "&Redo Remove Caption");
    for (const QImage& view : {two, one, empty}) {
        undo->trigger();
        EXPECT_EQ(shown(), view);
    }
    EXPECT_TRUE(texts().isEmpty());
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_EQ(undo->text(), "&Undo");

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

    // With every caption removed, Edit and Remove stay enabled and open
    // an empty list; OK on it edits nothing.
    AnswerSelectDialog(0);
    WhenModal<CSelectCaptionDialog>([](CSelectCaptionDialog* d) { d->reject(); });
    frame->removeButton()->click();
    EXPECT_TRUE(texts().isEmpty());
    EXPECT_TRUE(frame->editButton()->isEnabled());
    EXPECT_TRUE(frame->removeButton()->isEnabled());
    bool opened = false;
    const QPointer<QTimer> watch = WhenModal<CCaptionDialog>([&opened](CCaptionDialog* d) {
        opened = true;
        d->reject();
    });
    SelectSeen editing;
    SelectSeen removing;
    AnswerSelectDialog(-2, true, &editing);
    frame->editButton()->click();
    AnswerSelectDialog(-2, true, &removing);
    WhenModal<CSelectCaptionDialog>([](CSelectCaptionDialog* d) { d->reject(); });
    frame->removeButton()->click();
    for (const SelectSeen& seen : {editing, removing}) {
        EXPECT_TRUE(seen.entries.isEmpty()) << seen.title.toStdString();
        EXPECT_EQ(seen.selectedRow, -1) << seen.title.toStdString();
    }
    EXPECT_FALSE(opened);
    delete watch.data();
}

TEST_F(CaptionCommandsTest, TypingIsCoalescedIntoOneRenderPerPassOfTheEventLoop) {
    WhenModal<CCaptionDialog>([this](CCaptionDialog* d) {
        QCoreApplication::processEvents();
        const int before = renders();
        // Every key reaches the model before the event loop runs again.
        QTest::keyClicks(Control(d, ControlId::CaptionText), QStringLiteral("Seven keys"));
        EXPECT_EQ(renders(), before) << "nothing is rendered while keys arrive";
        EXPECT_TRUE(QTest::qWaitFor([&] { return renders() > before; }));
        EXPECT_EQ(renders(), before + 1);
        Click(d, ControlId::Cancel);
    });
    frame->addButton()->click();
}

} // namespace
