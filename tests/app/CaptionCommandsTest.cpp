// The Add, Edit and Remove caption buttons of the main window, driven
// through the real dialogs they open, and one whole job from a corpus photo
// to a captioned file read back by djpeg and exiftool.
#include "app/MainFrame.h"
#include "document/DocumentModel.h"
#include "render/CaptionRenderer.h"
#include "resources/DialogTemplates.h"
#include "tests/app/CaptionDialogDriver.h"
#include "tests/app/FrameDriver.h"
#include "tests/support/DialogTesting.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/TestSupport.h"
#include "ui/CaptionDialog.h"
#include "ui/CaptionTextEdit.h"
#include "ui/ImageControl.h"
#include "ui/SelectCaptionDialog.h"

#include <QFontDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace testing_support;
namespace fs = std::filesystem;

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

class CaptionCommandsTest : public testing::Test {
protected:
    void SetUp() override {
        WriteJpeg(dir.file("photo.jpg"), 160, 120, Qt::darkCyan);
        AnswerFileDialog(Q(dir.file("photo.jpg")));
        frame->runCommand(57601);
        FinishJob(*frame);
        ASSERT_TRUE(document().hasPicture());
    }
    const PictureDocument& document() { return frame->model()->document(); }
    QStringList texts() {
        QStringList all;
        for (std::int32_t i = 0; i < document().captions.count(); ++i)
            all << document().captions.at(i)->text;
        return all;
    }
    void add(const QString& text) {
        AnswerCaptionDialog([text](CCaptionDialog* d) { Type(d, ControlId::CaptionText, text); });
        frame->addButton()->click();
    }

    TempDir dir;
    std::unique_ptr<CMainFrame> frame{NewFrame()};
};

TEST_F(CaptionCommandsTest, AddingAppendsTheDialogsCaptionAndEnablesEditAndRemoveForGood) {
    // Cancelling changes neither the list nor the buttons.
    AnswerCaptionDialog([](CCaptionDialog* d) { Type(d, ControlId::CaptionText, "dropped"); },
                        false);
    frame->addButton()->click();
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

    // The second starts from the defaults again and lands after the first;
    // the view shows it at once.
    PaintCounter painted(frame->imageControl());
    Caption started;
    AnswerCaptionDialog(
        [](CCaptionDialog* d) {
            Type(d, ControlId::CaptionText, "Two\nlines");
            Click(d, ControlId::BottomBand);
            Type(d, ControlId::MarginTop, "7");
        },
        true, &started);
    frame->addButton()->click();
    EXPECT_EQ(started, Caption());
    ASSERT_EQ(document().captions.count(), 2);
    const Caption* second = document().captions.at(1);
    EXPECT_EQ(second->text, "Two\r\nlines");
    EXPECT_EQ(second->disposition, Disposition::BottomBand);
    EXPECT_EQ(second->marginTop, 7);
    EXPECT_GE(painted.paints, 1);
}

TEST_F(CaptionCommandsTest, EditOpensThePickedCaptionAndKeepsOnlyAConfirmedChange) {
    add("A");
    add("B");
    add("C");

    // The list holds every caption with the last selected; the middle one
    // is picked and changed.
    SelectSeen seen;
    AnswerSelectDialog(1, true, &seen);
    Caption started;
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

    // Enter on the preselected entry edits the last caption; cancelling
    // its dialog leaves it as it was but still repaints the view.
    const Caption before = *document().captions.at(2);
    PaintCounter painted(frame->imageControl());
    WhenModal<CSelectCaptionDialog>([](CSelectCaptionDialog* d) {
        ASSERT_TRUE(QTest::qWaitForWindowActive(d));
        QTest::keyClick(d->focusWidget(), Qt::Key_Return);
    });
    AnswerCaptionDialog(
        [](CCaptionDialog* d) {
            Type(d, ControlId::CaptionText, "never kept");
            Click(d, ControlId::TextAsDescription);
        },
        false, &started);
    frame->editButton()->click();
    EXPECT_EQ(started.text, "C");
    EXPECT_EQ(*document().captions.at(2), before);
    EXPECT_GE(painted.paints, 1);

    // Cancelling the choice, or choosing nothing, opens no caption dialog
    // and repaints nothing.
    bool opened = false;
    QTimer* watch = WhenModal<CCaptionDialog>([&opened](CCaptionDialog* d) {
        opened = true;
        d->reject();
    });
    // The view first shows the list again without the cancelled edit.
    QCoreApplication::processEvents();
    painted.paints = 0;
    AnswerSelectDialog(0, false);
    frame->editButton()->click();
    AnswerSelectDialog(-1, true);
    frame->editButton()->click();
    EXPECT_FALSE(opened);
    EXPECT_EQ(painted.paints, 0);
    EXPECT_EQ(texts(), QStringList({"A", "B, edited", "C"}));
    delete watch;
}

TEST_F(CaptionCommandsTest, RemovingEveryCaptionLeavesEditAndRemoveEnabledOnEmptyLists) {
    add("first");
    add("second");
    add("third");
    WhenModal<CSelectCaptionDialog>([this](CSelectCaptionDialog* d) {
        EXPECT_EQ(d->windowTitle(), "Select caption to remove");
        // The middle one first, then whatever is at the top, each chosen
        // anew; a press without a choice removes nothing.
        d->list()->setCurrentRow(1);
        Click(d, ControlId::Ok);
        EXPECT_EQ(texts(), QStringList({"first", "third"}));
        Click(d, ControlId::Ok);
        EXPECT_EQ(texts(), QStringList({"first", "third"}));
        while (d->list()->count() > 0) {
            d->list()->setCurrentRow(0);
            Click(d, ControlId::Ok);
        }
        Click(d, ControlId::Cancel);
    });
    frame->removeButton()->click();
    EXPECT_EQ(document().captions.count(), 0);
    EXPECT_TRUE(frame->editButton()->isEnabled());
    EXPECT_TRUE(frame->removeButton()->isEnabled());

    // Both commands still open their list, which is empty, and OK on it
    // edits nothing.
    bool opened = false;
    QTimer* watch = WhenModal<CCaptionDialog>([&opened](CCaptionDialog* d) {
        opened = true;
        d->reject();
    });
    SelectSeen seen;
    AnswerSelectDialog(-2, true, &seen);
    frame->editButton()->click();
    EXPECT_TRUE(seen.entries.isEmpty());
    EXPECT_EQ(seen.selectedRow, -1);
    SelectSeen removing;
    AnswerSelectDialog(-2, true, &removing);
    WhenModal<CSelectCaptionDialog>([](CSelectCaptionDialog* d) { d->reject(); });
    frame->removeButton()->click();
    EXPECT_TRUE(removing.entries.isEmpty());
    EXPECT_FALSE(opened);
    delete watch;
}

// The whole job on a real photo: three captions set up through the dialog,
// saved, and the file read back by outside tools.
TEST(CaptionJob, CorpusPhotoGetsABandACaptionAndADescriptionThatOutsideToolsRead) {
    LUMORA_SKIP_WITHOUT_CORPUS();
    TempDir dir;
    const fs::path photo = CorpusDir() / "camera" / "exifr_door-knocker.jpg";
    ASSERT_TRUE(fs::exists(photo)) << photo;
    std::unique_ptr<CMainFrame> frame(NewFrame());
    AnswerFileDialog(Q(photo));
    frame->menuAction(57601)->trigger();
    FinishJob(*frame);
    const PictureDocument& document = frame->model()->document();
    ASSERT_EQ(document.width(), 800u);
    ASSERT_EQ(document.height(), 533u);

    AnswerCaptionDialog([](CCaptionDialog* d) {
        Type(d, ControlId::CaptionText, "The brass door knocker");
        Click(d, ControlId::TopBand);
        Click(d, ControlId::AlignCenter);
        Type(d, ControlId::MarginTop, "12");
        Type(d, ControlId::MarginBottom, "12");
        WhenModal<QFontDialog>([](QFontDialog* chooser) {
            QFont bold(QStringLiteral("DejaVu Sans"), 24, QFont::Bold);
            chooser->setCurrentFont(bold);
            chooser->accept();
        });
        Click(d, ControlId::ChooseFont);
    });
    frame->addButton()->click();
    AnswerCaptionDialog([](CCaptionDialog* d) {
        Type(d, ControlId::CaptionText, "Lumora test corpus");
        Click(d, ControlId::AlignRight);
        Click(d, ControlId::AlignBottom);
        Type(d, ControlId::MarginRight, "20");
        Type(d, ControlId::MarginBottom, "16");
    });
    frame->addButton()->click();
    AnswerCaptionDialog([](CCaptionDialog* d) {
        Type(d, ControlId::CaptionText, "Door knocker, caption by Lumora");
        Click(d, ControlId::TextAsDescription);
    });
    frame->addButton()->click();
    ASSERT_EQ(document.captions.count(), 3);
    EXPECT_EQ(document.captions.at(0)->font.height, -32);

    const fs::path saved = dir.file("captioned.jpg");
    AnswerFileDialog(Q(saved));
    frame->menuAction(57603)->trigger();
    FinishJob(*frame);
    ASSERT_TRUE(fs::exists(saved));

    // djpeg reads a picture one band taller than the photo, as the view
    // draws it, with at most 15 rows more that make the band whole block rows.
    const int canvasHeight = renderCaptions(document).height();
    EXPECT_GT(canvasHeight, 533 + 32);
    const CommandResult size =
        testing_support::Run("djpeg -pnm " + Quote(saved.string()) + " | head -c 20 | sed -n 2p");
    ASSERT_EQ(size.output.substr(0, 4), "800 ");
    const int height = std::stoi(size.output.substr(4));
    EXPECT_GE(height, canvasHeight);
    EXPECT_LT(height, canvasHeight + 16);
    const CommandResult description =
        testing_support::Run("exiftool -s3 -ImageDescription " + Quote(saved.string()));
    EXPECT_EQ(description.output, "Door knocker, caption by Lumora\n");
}

} // namespace
