// What people expect of a desktop editor: standard shortcuts, the photo's
// name in the title with a modified mark, a question before unsaved
// captions are lost, a save name that cannot replace the photo by
// accident, recent photos, the last folder, drops and the start-up file.
#include "app/MainFrame.h"
#include "document/DocumentModel.h"
#include "resources/MainMenu.h"
#include "tests/app/FrameDriver.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/TestSupport.h"
#include "tests/support/WhenModal.h"
#include "ui/ImageControl.h"

#include <QAction>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

Caption Text(const QString& text) {
    Caption caption;
    caption.text = text;
    caption.disposition = Disposition::TopBand;
    caption.font.height = -20;
    return caption;
}

// Shortcuts reach the active window: after a dialog, the window is made
// active again first.
void Press(QWidget* window, const char* keys) {
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    const QKeyCombination combination = QKeySequence(QString::fromLatin1(keys))[0];
    QTest::keyClick(window, combination.key(), combination.keyboardModifiers());
}

QStringList RecentEntries(const CMainFrame& frame) {
    QStringList entries;
    for (QAction* entry : frame.recentMenu()->actions())
        entries << entry->text();
    return entries;
}

QString Entry(int number, const fs::path& path) {
    return QStringLiteral("&%1 %2").arg(number).arg(QDir::toNativeSeparators(Q(path)));
}

// Sends a drag of these files over the window and drops them; returns
// whether the window accepted the drag.
bool Drop(CMainFrame& frame, const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    const QPoint at = frame.imageControl()->geometry().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&frame, &enter);
    // Moving over the window keeps the answer the drag got as it entered.
    QDragMoveEvent move(at + QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&frame, &move);
    EXPECT_EQ(move.isAccepted(), enter.isAccepted());
    if (!enter.isAccepted())
        return false;
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&frame, &drop);
    return drop.isAccepted();
}

class ConventionsTest : public testing::Test {
protected:
    void SetUp() override {
        frame->resize(900, 675);
        WriteJpeg(dir.file("holiday.jpg"), 120, 80, Qt::darkGreen);
        WriteJpeg(dir.file("other.jpg"), 60, 90, Qt::darkBlue);
        WriteBytes(dir.file("notes.txt"), {'n', 'o', 't', 'e', 's'});
    }
    void openHoliday() { ASSERT_TRUE(OpenAndWait(*frame, Q(dir.file("holiday.jpg")))); }

    TempDir dir;
    std::unique_ptr<CMainFrame> frame{NewFrame()};
};

TEST_F(ConventionsTest, StandardShortcutsRunOpenSaveUndoRedoAndExit) {
    EXPECT_EQ(frame->menuAction(CommandId::Open)->shortcut(), QKeySequence("Ctrl+O"));
    EXPECT_EQ(frame->menuAction(CommandId::Save)->shortcut(), QKeySequence("Ctrl+S"));
    EXPECT_EQ(frame->menuAction(CommandId::Exit)->shortcut(), QKeySequence("Ctrl+Q"));

    AnswerFileDialog(Q(dir.file("holiday.jpg")));
    Press(frame.get(), "Ctrl+O");
    FinishJob(*frame);
    EXPECT_EQ(frame->model()->path(), Q(dir.file("holiday.jpg")));

    frame->model()->addCaption(Text("Summer"));
    Press(frame.get(), "Ctrl+Z");
    EXPECT_EQ(frame->model()->document().captions.count(), 0);
    Press(frame.get(), "Ctrl+Shift+Z");
    EXPECT_EQ(frame->model()->document().captions.count(), 1);
    Press(frame.get(), "Ctrl+Z");
    Press(frame.get(), "Ctrl+Y");
    EXPECT_EQ(frame->model()->document().captions.count(), 1);

    FileDialogSeen seen;
    AnswerFileDialog(Q(dir.file("summer.jpg")), &seen);
    Press(frame.get(), "Ctrl+S");
    FinishJob(*frame);
    EXPECT_EQ(seen.mode, QFileDialog::AcceptSave);
    EXPECT_TRUE(fs::exists(dir.file("summer.jpg")));

    // The view's zoom: 100%, a step in, a step out, and back to the fit.
    CImageControl* view = frame->imageControl();
    const double fitted = view->zoom();
    for (const auto& [keys, zoom] : std::vector<std::pair<const char*, double>>{
             {"Ctrl+1", 1.0}, {"Ctrl++", 1.5}, {"Ctrl+-", 1.0}, {"Ctrl+0", fitted}}) {
        Press(frame.get(), keys);
        EXPECT_DOUBLE_EQ(view->zoom(), zoom) << keys;
    }
    EXPECT_TRUE(view->isFit());

    // Saved, so Exit closes without a question.
    Press(frame.get(), "Ctrl+Q");
    EXPECT_FALSE(frame->isVisible());
}

TEST_F(ConventionsTest, TheTitleNamesThePhotoAndMarksCaptionsChangedSinceOpenOrSave) {
    EXPECT_EQ(frame->windowTitle(), "Lumora");
    openHoliday();
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("holiday.jpg[*] \u2013 Lumora"));
    EXPECT_FALSE(frame->isWindowModified());

    // A change made through the model reaches the mark, the buttons and
    // the view without the window doing anything else.
    const QImage before = frame->imageControl()->grab().toImage();
    frame->model()->addCaption(Text("Beach"));
    EXPECT_TRUE(frame->isWindowModified());
    EXPECT_TRUE(frame->editButton()->isEnabled());
    EXPECT_TRUE(frame->removeButton()->isEnabled());
    EXPECT_NE(frame->imageControl()->grab().toImage(), before);

    frame->model()->history()->undo();
    EXPECT_FALSE(frame->isWindowModified()) << "back as opened";
    EXPECT_EQ(frame->imageControl()->grab().toImage(), before);
    frame->model()->history()->redo();
    EXPECT_TRUE(frame->isWindowModified());

    AnswerFileDialog(Q(dir.file("saved.jpg")));
    frame->runCommand(CommandId::Save);
    FinishJob(*frame);
    EXPECT_FALSE(frame->isWindowModified());

    // A failed open keeps the title; another photo takes its name.
    QString message;
    AnswerMessageBox(&message);
    EXPECT_FALSE(OpenAndWait(*frame, Q(dir.file("notes.txt"))));
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("holiday.jpg[*] \u2013 Lumora"));
    frame->model()->addCaption(Text("Mountains"));
    ASSERT_TRUE(OpenAndWait(*frame, Q(dir.file("other.jpg"))));
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("other.jpg[*] \u2013 Lumora"));
    EXPECT_FALSE(frame->isWindowModified());
}

TEST_F(ConventionsTest, ClosingWithUnsavedCaptionsAsksAndOnlyASuccessfulSaveCloses) {
    openHoliday();
    // Nothing changed: no question.
    EXPECT_TRUE(frame->close());
    frame->show();
    frame->model()->addCaption(Text("Unsaved"));

    QString question;
    AnswerMessageBox(&question, QMessageBox::Cancel);
    EXPECT_FALSE(frame->close());
    EXPECT_TRUE(question.contains("holiday.jpg")) << question.toStdString();
    EXPECT_TRUE(frame->isVisible());

    // Save, then cancel the save dialog or fail the save: still open.
    AnswerMessageBox(&question, QMessageBox::Save);
    AnswerFileDialog(QString());
    EXPECT_FALSE(frame->close());
    QString failure;
    AnswerMessageBox(&question, QMessageBox::Save);
    AnswerFileDialog(Q(dir.file("no-such-folder") / "x.jpg"));
    AnswerMessageBox(&failure);
    EXPECT_FALSE(frame->close());
    FinishJob(*frame);
    EXPECT_TRUE(failure.startsWith("Could not save")) << failure.toStdString();
    EXPECT_TRUE(frame->isVisible());

    // Save that succeeds closes once the file is written.
    AnswerMessageBox(&question, QMessageBox::Save);
    AnswerFileDialog(Q(dir.file("kept.jpg")));
    frame->close();
    FinishJob(*frame);
    EXPECT_FALSE(frame->isVisible());
    EXPECT_TRUE(fs::exists(dir.file("kept.jpg")));

    // Discard closes and writes nothing.
    frame->show();
    frame->model()->addCaption(Text("Thrown away"));
    AnswerMessageBox(&question, QMessageBox::Discard);
    frame->runCommand(CommandId::Exit);
    EXPECT_FALSE(frame->isVisible());
    EXPECT_EQ(Listing(dir.path()),
              (std::set<std::string>{"holiday.jpg", "kept.jpg", "notes.txt", "other.jpg"}))
        << "only the one save";
}

TEST_F(ConventionsTest, OpenRecentListsTheLastEightPhotosAndDropsAMissingOneWithAMessage) {
    EXPECT_FALSE(frame->recentMenu()->isEnabled()) << "nothing opened yet";
    std::vector<fs::path> photos;
    for (int i = 0; i < 9; ++i) {
        photos.push_back(dir.file("photo" + std::to_string(i) + ".jpg"));
        WriteJpeg(photos.back(), 16 + i, 16, Qt::gray);
        ASSERT_TRUE(OpenAndWait(*frame, Q(photos.back())));
    }
    // A file that cannot be read is no recent photo.
    QString message;
    AnswerMessageBox(&message);
    OpenAndWait(*frame, Q(dir.file("notes.txt")));
    ASSERT_TRUE(OpenAndWait(*frame, Q(photos[4])));

    QStringList expected{Entry(1, photos[4])};
    for (int i = 8; i >= 1; --i) {
        if (i != 4)
            expected << Entry(static_cast<int>(expected.size()) + 1, photos[i]);
    }
    EXPECT_EQ(RecentEntries(*frame), expected);

    // An entry opens its photo.
    frame->recentMenu()->actions().at(1)->trigger();
    FinishJob(*frame);
    EXPECT_EQ(frame->model()->path(), Q(photos[8]));
    EXPECT_EQ(frame->model()->document().width(), 24u);

    // The list outlasts the window, and so does the folder the open dialog
    // starts in.
    fs::create_directory(dir.file("elsewhere"));
    WriteJpeg(dir.file("elsewhere") / "far.jpg", 20, 20, Qt::red);
    ASSERT_TRUE(OpenAndWait(*frame, Q(dir.file("elsewhere") / "far.jpg")));
    frame.reset(new CMainFrame(0x5F5E1234));
    EXPECT_EQ(RecentEntries(*frame).value(0), Entry(1, dir.file("elsewhere") / "far.jpg"));
    FileDialogSeen seen;
    AnswerFileDialog(QString(), &seen);
    frame->runCommand(CommandId::Open);
    FinishJob(*frame);
    EXPECT_EQ(seen.directory, Q(dir.file("elsewhere")));

    // A photo gone since: a message, the entry leaves the list, the
    // document stays as it was.
    fs::remove(photos[8]);
    const QStringList before = RecentEntries(*frame);
    const qsizetype gone = before.indexOf(QRegularExpression(".*photo8.jpg"));
    ASSERT_GE(gone, 0);
    AnswerMessageBox(&message);
    frame->recentMenu()->actions().at(gone)->trigger();
    FinishJob(*frame);
    EXPECT_TRUE(message.contains("photo8.jpg")) << message.toStdString();
    EXPECT_FALSE(frame->model()->document().hasPicture());
    EXPECT_EQ(RecentEntries(*frame).size(), before.size() - 1);
    EXPECT_FALSE(RecentEntries(*frame).join(' ').contains("photo8.jpg"));
}

TEST_F(ConventionsTest, DroppingJpegsOpensTheFirstAndAnythingElseIsRefused) {
    openHoliday();
    frame->model()->addCaption(Text("Stays"));
    const QUrl notes = QUrl::fromLocalFile(Q(dir.file("notes.txt")));
    EXPECT_FALSE(Drop(*frame, {notes}));
    EXPECT_FALSE(Drop(*frame, {QUrl(QStringLiteral("https://example.com/photo.jpg"))}));
    EXPECT_FALSE(Drop(*frame, {QUrl::fromLocalFile(Q(dir.path()))})) << "a folder";
    EXPECT_EQ(frame->model()->path(), Q(dir.file("holiday.jpg")));

    // Of several files the first JPEG opens; the captions stay.
    const QImage before = frame->imageControl()->grab().toImage();
    EXPECT_TRUE(Drop(*frame, {notes, QUrl::fromLocalFile(Q(dir.file("other.jpg"))),
                              QUrl::fromLocalFile(Q(dir.file("holiday.jpg")))}));
    FinishJob(*frame);
    EXPECT_EQ(frame->model()->path(), Q(dir.file("other.jpg")));
    EXPECT_EQ(frame->model()->document().captions.count(), 1);
    EXPECT_NE(frame->imageControl()->grab().toImage(), before);
}

TEST_F(ConventionsTest, DroppingAPngOpensItWhateverTheLetterCaseOfItsName) {
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    ASSERT_TRUE(picture.save(Q(dir.file("drawing.PNG")), "PNG"));
    EXPECT_TRUE(Drop(*frame, {QUrl::fromLocalFile(Q(dir.file("drawing.PNG")))}));
    FinishJob(*frame);
    EXPECT_EQ(frame->model()->path(), Q(dir.file("drawing.PNG")));
    EXPECT_EQ(frame->model()->document().width(), 40u);
}

TEST_F(ConventionsTest, TheStartUpFileOpensAndAFailureSaysWhatFileOpenSays) {
    // A path relative to the working folder, as a shell passes it.
    const QString working = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(Q(dir.path())));
    frame->openAtStart(QStringLiteral("holiday.jpg"));
    QDir::setCurrent(working);
    EXPECT_TRUE(QTest::qWaitFor([&] { return frame->model()->document().hasPicture(); }));
    EXPECT_EQ(frame->model()->path(), Q(dir.file("holiday.jpg")));

    QString atStart;
    AnswerMessageBox(&atStart);
    frame->openAtStart(Q(dir.file("notes.txt")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !atStart.isEmpty(); }));
    QString fromMenu;
    AnswerFileDialog(Q(dir.file("notes.txt")));
    AnswerMessageBox(&fromMenu);
    frame->runCommand(CommandId::Open);
    FinishJob(*frame);
    EXPECT_EQ(atStart, fromMenu);
    EXPECT_EQ(frame->model()->path(), Q(dir.file("holiday.jpg")));
}

} // namespace
