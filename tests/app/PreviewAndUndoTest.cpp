// The view behind an open caption dialog shows the caption being set up,
// Cancel brings the view back exactly, and Undo and Redo of adding,
// editing and removing captions bring view and list back exactly.
#include "app/MainFrame.h"
#include "document/DocumentModel.h"
#include "resources/MainMenu.h"
#include "tests/app/CaptionDialogDriver.h"
#include "tests/app/FrameDriver.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/TestSupport.h"
#include "ui/ImageControl.h"
#include "ui/SelectCaptionDialog.h"

#include <QAction>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using namespace testing_support;

namespace {

class PreviewAndUndoTest : public testing::Test {
protected:
    void SetUp() override {
        WriteJpeg(dir.file("photo.jpg"), 320, 240, QColor(30, 110, 60));
        frame->resize(900, 675);
        ASSERT_TRUE(OpenAndWait(*frame, Q(dir.file("photo.jpg"))));
    }
    QImage shown() const { return frame->imageControl()->grab().toImage(); }
    QStringList texts() const {
        QStringList all;
        const CaptionList& captions = frame->model()->document().captions;
        for (std::int32_t i = 0; i < captions.count(); ++i)
            all << captions.at(i)->text;
        return all;
    }
    void add(const QString& text, std::int32_t disposition = Disposition::OnImage) {
        AnswerCaptionDialog([text, disposition](CCaptionDialog* d) {
            Type(d, ControlId::CaptionText, text);
            if (disposition == Disposition::TopBand)
                Click(d, ControlId::TopBand);
            if (disposition == Disposition::BottomBand)
                Click(d, ControlId::BottomBand);
        });
        frame->addButton()->click();
    }
    // Shortcuts reach the active window: after a dialog, the window is
    // made active again first.
    void key(QKeySequence sequence) {
        frame->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
        const QKeyCombination combination = sequence[0];
        QTest::keyClick(frame.get(), combination.key(), combination.keyboardModifiers());
    }

    TempDir dir;
    std::unique_ptr<CMainFrame> frame{NewFrame()};
};

TEST_F(PreviewAndUndoTest, AddShowsEachChangeAtOnceAndCancelRestoresTheViewByteForByte) {
    add("Listed", Disposition::TopBand);
    const QImage before = shown();
    const int rendersBefore = frame->imageControl()->canvasRenders();

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
    EXPECT_EQ(shown(), before);
    EXPECT_EQ(texts(), QStringList{"Listed"});
    // The kept canvas came back: only the three working ones were rendered
    // (the empty caption, the text, the band).
    EXPECT_EQ(frame->imageControl()->canvasRenders(), rendersBefore + 3);

    // Confirmed, the list shows exactly what the preview showed.
    QImage previewed;
    WhenModal<CCaptionDialog>([&](CCaptionDialog* d) {
        Type(d, ControlId::CaptionText, "Kept caption");
        Click(d, ControlId::BottomBand);
        previewed = shown();
        Click(d, ControlId::Ok);
    });
    frame->addButton()->click();
    EXPECT_EQ(texts(), QStringList({"Listed", "Kept caption"}));
    EXPECT_EQ(shown(), previewed);
}

TEST_F(PreviewAndUndoTest, EditDrawsTheWorkingCaptionInPlaceOfTheEditedOne) {
    add("First", Disposition::TopBand);
    add("Second", Disposition::BottomBand);
    const QImage before = shown();

    // The working caption stands in for "First": the view while editing is
    // the view of the list with "First" replaced.
    QImage editing;
    WhenModal<CSelectCaptionDialog>([](CSelectCaptionDialog* d) {
        d->list()->setCurrentRow(0);
        Click(d, ControlId::Ok);
    });
    WhenModal<CCaptionDialog>([&](CCaptionDialog* d) {
        EXPECT_EQ(shown(), before) << "the unchanged caption looks the same";
        Type(d, ControlId::CaptionText, "First, much longer than it was before");
        editing = shown();
        Click(d, ControlId::Cancel);
    });
    frame->editButton()->click();
    EXPECT_NE(editing, before);
    EXPECT_EQ(shown(), before);
    EXPECT_EQ(texts(), QStringList({"First", "Second"}));

    DocumentModel reference;
    CImageControl referenceView(&reference);
    referenceView.resize(frame->imageControl()->size());
    ASSERT_TRUE(reference.open(Q(dir.file("photo.jpg"))).ok);
    Caption replaced = *frame->model()->document().captions.at(0);
    replaced.text = "First, much longer than it was before";
    reference.addCaption(replaced);
    reference.addCaption(*frame->model()->document().captions.at(1));
    EXPECT_EQ(referenceView.grab().toImage(), editing);
}

TEST_F(PreviewAndUndoTest, TypingIsCoalescedIntoOneRenderPerPassOfTheEventLoop) {
    WhenModal<CCaptionDialog>([this](CCaptionDialog* d) {
        CImageControl* view = frame->imageControl();
        QCoreApplication::processEvents();
        const int renders = view->canvasRenders();
        auto* text = d->findChild<CaptionTextEdit*>(QString::number(ControlId::CaptionText));
        // Every key reaches the model before the event loop runs again.
        QTest::keyClicks(text, QStringLiteral("Seven keys"));
        EXPECT_EQ(view->canvasRenders(), renders) << "nothing is rendered while keys arrive";
        EXPECT_TRUE(QTest::qWaitFor([&] { return view->canvasRenders() > renders; }));
        EXPECT_EQ(view->canvasRenders(), renders + 1);
        Click(d, ControlId::Cancel);
    });
    frame->addButton()->click();
}

TEST_F(PreviewAndUndoTest, UndoAndRedoOfAddEditAndRemoveBringViewAndListBackExactly) {
    const QImage empty = shown();
    QAction* undo = frame->menuAction(CommandId::Undo);
    QAction* redo = frame->menuAction(CommandId::Redo);
    EXPECT_FALSE(undo->isEnabled());

    add("Title", Disposition::TopBand);
    const QImage one = shown();
    EXPECT_TRUE(undo->isEnabled());
    EXPECT_EQ(undo->text(), "&Undo Add Caption");
    add("Note");
    const QImage two = shown();

    WhenModal<CSelectCaptionDialog>([](CSelectCaptionDialog* d) {
        d->list()->setCurrentRow(0);
        Click(d, ControlId::Ok);
    });
    AnswerCaptionDialog([](CCaptionDialog* d) {
        Type(d, ControlId::CaptionText, "Title, edited");
        Click(d, ControlId::BottomBand);
    });
    frame->editButton()->click();
    const QImage edited = shown();
    EXPECT_EQ(undo->text(), "&Undo Edit Caption");

    WhenModal<CSelectCaptionDialog>([](CSelectCaptionDialog* d) {
        d->list()->setCurrentRow(1);
        Click(d, ControlId::Ok);
        Click(d, ControlId::Cancel);
    });
    frame->removeButton()->click();
    const QImage removed = shown();
    EXPECT_EQ(texts(), QStringList{"Title, edited"});
    EXPECT_EQ(undo->text(), "&Undo Remove Caption");

    // Back through every step with Ctrl+Z ...
    key(QKeySequence(QStringLiteral("Ctrl+Z")));
    EXPECT_EQ(texts(), QStringList({"Title, edited", "Note"}));
    EXPECT_EQ(shown(), edited);
    EXPECT_EQ(redo->text(), "&Redo Remove Caption");
    undo->trigger();
    EXPECT_EQ(texts(), QStringList({"Title", "Note"}));
    EXPECT_EQ(shown(), two);
    undo->trigger();
    EXPECT_EQ(shown(), one);
    undo->trigger();
    EXPECT_EQ(shown(), empty);
    EXPECT_TRUE(texts().isEmpty());
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_EQ(undo->text(), "&Undo");

    // ... and forward again with Ctrl+Shift+Z and Ctrl+Y.
    key(QKeySequence(QStringLiteral("Ctrl+Shift+Z")));
    EXPECT_EQ(shown(), one);
    key(QKeySequence(QStringLiteral("Ctrl+Y")));
    EXPECT_EQ(shown(), two);
    redo->trigger();
    EXPECT_EQ(shown(), edited);
    redo->trigger();
    EXPECT_EQ(shown(), removed);
    EXPECT_EQ(texts(), QStringList{"Title, edited"});
    EXPECT_FALSE(redo->isEnabled());
}

} // namespace
