// The main window as a person meets it, and the real program's command line.
#include "app/FileDialogs.h"
#include "resources/MainMenu.h"
#include "tests/app/FrameDriver.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/WhenModal.h"
#include "ui/DlgAbout.h"
#include "ui/ImageControl.h"

#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QTest>

#include <set>

using namespace testing_support;
using namespace CommandId;
namespace fs = std::filesystem;

namespace {

Caption Text(const QString& text) {
    Caption caption;
    caption.text = text;
    caption.disposition = Disposition::TopBand;
    caption.font.height = -20;
    return caption;
}

QStringList RecentEntries(const CMainFrame& frame) {
    QStringList entries;
    for (QAction* entry : frame.recentMenu()->actions())
        entries << entry->text();
    return entries;
}

const QString kTitled = QStringLiteral("%1[*] \u2013 Lumora");

// A shown window, photos to open and a file that is no picture.
class MainFrameTest : public WindowTest {
protected:
    void SetUp() override {
        frame->resize(900, 675);
        WriteJpeg(dir.file("holiday.jpg"), 120, 80, Qt::darkGreen);
        WriteJpeg(dir.file("other.jpg"), 60, 90, Qt::darkBlue);
        WriteBytes(dir.file("notes.txt"), {'n', 'o', 't', 'e', 's'});
    }
    QImage shown() { return frame->imageControl()->grab().toImage(); }
    // Drags these files over the window and drops them; whether it took them.
    bool drop(const QList<QUrl>& urls) {
        QMimeData data;
        data.setUrls(urls);
        const QPoint at = frame->imageControl()->geometry().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(frame.get(), &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent dropped(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(frame.get(), &dropped);
        FinishJob(*frame);
        return dropped.isAccepted();
    }
};

TEST_F(MainFrameTest, OpenShowsThePictureAndTheTitleAndAFailureKeepsWhatWasThere) {
    // A file that is not a picture: the person is told why nothing shows.
    QString message;
    AnswerMessageBox(&message);
    viaDialog(Open, dir.file("notes.txt"));
    EXPECT_TRUE(message.startsWith("Could not open")) << message.toStdString();
    EXPECT_TRUE(message.contains("notes.txt")) << message.toStdString();
    EXPECT_FALSE(document().hasPicture());

    viaDialog(Open, dir.file("holiday.jpg"));
    const QImage before = shown();
    const QColor middle = before.pixelColor(before.width() / 2, before.height() / 2);
    EXPECT_TRUE(middle.red() < 20 && middle.green() > 80) << middle.name().toStdString();
    EXPECT_EQ(frame->windowTitle(), kTitled.arg("holiday.jpg"));
    EXPECT_FALSE(frame->isWindowModified());

    // A change made through the model reaches the mark and the view;
    // undone, the photo is back as opened; a save clears the mark.
    frame->model()->addCaption(Text("Beach"));
    EXPECT_TRUE(frame->isWindowModified());
    EXPECT_NE(shown(), before);
    frame->model()->history()->undo();
    EXPECT_FALSE(frame->isWindowModified());
    EXPECT_EQ(shown(), before);
    frame->model()->history()->redo();
    viaDialog(Save, dir.file("saved.jpg"));
    EXPECT_FALSE(frame->isWindowModified());

    // A later failure keeps the picture, its captions and the title; the
    // dialog starts in the folder of the last file.
    FileDialogSeen seen;
    AnswerMessageBox(&message);
    viaDialog(Open, dir.file("notes.txt"), &seen);
    EXPECT_EQ(seen.directory, Q(dir.path()));
    EXPECT_EQ(document().width(), 120u);
    EXPECT_EQ(document().captions.count(), 1);
    EXPECT_EQ(frame->windowTitle(), kTitled.arg("holiday.jpg"));

    // Another photo keeps the captions and takes the title, unmodified.
    frame->model()->addCaption(Text("Mountains"));
    viaDialog(Open, dir.file("other.jpg"));
    EXPECT_EQ(document().width(), 60u);
    EXPECT_EQ(document().captions.count(), 2);
    EXPECT_EQ(frame->windowTitle(), kTitled.arg("other.jpg"));
    EXPECT_FALSE(frame->isWindowModified());
}

TEST_F(MainFrameTest, SaveProposesACaptionedNameBesideThePhotoAndAsksBeforeReplacingAFile) {
    fs::create_directory(dir.file("in"));
    fs::rename(dir.file("holiday.jpg"), dir.file("in") / "holiday.jpg");
    viaDialog(Open, dir.file("in") / "holiday.jpg");
    frame->model()->addCaption(Text("Beach, 2026"));

    FileDialogSeen seen;
    viaDialog(Save, dir.file("out"), &seen); // no extension: the dialog adds ".jpg"
    EXPECT_EQ(QFileInfo(seen.proposed).fileName(), "holiday-captioned.jpg");
    EXPECT_EQ(seen.directory, Q(dir.file("in")));
    EXPECT_TRUE(fs::exists(dir.file("out.jpg")));

    // "No" keeps the photo untouched (and the dialog comes back), "Yes"
    // writes the captioned picture over it.
    const auto before = ReadBytes(dir.file("in") / "holiday.jpg");
    for (const QMessageBox::StandardButton answer : {QMessageBox::No, QMessageBox::Yes}) {
        QString question;
        AnswerFileDialog(Q(dir.file("in") / "holiday.jpg"));
        AnswerMessageBox(&question, answer);
        if (answer == QMessageBox::No)
            WhenModal<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
        frame->menuAction(Save)->trigger();
        FinishJob(*frame);
        EXPECT_TRUE(question.contains("holiday.jpg")) << question.toStdString();
        EXPECT_EQ(ReadBytes(dir.file("in") / "holiday.jpg") == before, answer == QMessageBox::No);
    }
}

TEST_F(MainFrameTest, AboutOpensFromTheMenuAndWithAltOnly) {
    // Alt+? (with or without Shift, as on most layouts) and Alt+/; without
    // Alt, or with Control, the keys are just keys.
    int abouts = 0;
    const auto countAbout = [&abouts] {
        return WhenModal<CDlgAbout>([&abouts](CDlgAbout* about) {
            ++abouts;
            about->reject();
        });
    };
    countAbout();
    frame->menuAction(About)->trigger();
    for (const auto& [key, modifiers] :
         {std::pair{Qt::Key_Question, Qt::KeyboardModifiers(Qt::AltModifier)},
          std::pair{Qt::Key_Question, Qt::AltModifier | Qt::ShiftModifier},
          std::pair{Qt::Key_Slash, Qt::KeyboardModifiers(Qt::AltModifier)}}) {
        countAbout();
        QTest::keyClick(frame->addButton(), key, modifiers);
    }
    EXPECT_EQ(abouts, 4);
    QPointer<QTimer> watch = countAbout();
    QTest::keyClick(frame.get(), Qt::Key_Slash);
    QTest::keyClick(frame.get(), Qt::Key_Slash, Qt::AltModifier | Qt::ControlModifier);
    EXPECT_EQ(abouts, 4);
    delete watch.data();
}

TEST_F(MainFrameTest, ClosingWithUnsavedCaptionsAsksAndOnlyASuccessfulSaveCloses) {
    ASSERT_TRUE(OpenAndWait(*frame, Q(dir.file("holiday.jpg"))));
    EXPECT_TRUE(frame->close()) << "nothing changed: no question";
    frame->show();
    frame->model()->addCaption(Text("Unsaved"));

    QString question;
    AnswerMessageBox(&question, QMessageBox::Cancel);
    EXPECT_FALSE(frame->close());
    EXPECT_TRUE(question.contains("holiday.jpg")) << question.toStdString();

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

    // A save that succeeds closes once the file is written.
    AnswerMessageBox(&question, QMessageBox::Save);
    AnswerFileDialog(Q(dir.file("kept.jpg")));
    frame->close();
    FinishJob(*frame);
    EXPECT_FALSE(frame->isVisible());

    // Discard closes and writes nothing.
    frame->show();
    frame->model()->addCaption(Text("Thrown away"));
    AnswerMessageBox(&question, QMessageBox::Discard);
    frame->runCommand(Exit);
    EXPECT_FALSE(frame->isVisible());
    EXPECT_EQ(Listing(dir.path()),
              (std::set<std::string>{"holiday.jpg", "kept.jpg", "notes.txt", "other.jpg"}));
}

TEST_F(MainFrameTest, OpenRecentListsTheLastEightPhotosAndDropsAMissingOneWithAMessage) {
    std::vector<fs::path> photos;
    for (int i = 0; i < 9; ++i) {
        photos.push_back(dir.file("photo" + std::to_string(i) + ".jpg"));
        WriteJpeg(photos.back(), 16 + i, 16, Qt::gray);
        ASSERT_TRUE(OpenAndWait(*frame, Q(photos.back())));
    }
    // The settings keep no more than the menu shows; a file that cannot be
    // read is no recent photo; one opened again leads.
    EXPECT_EQ(QSettings().value(QStringLiteral("recentFiles")).toStringList().size(), 8);
    QString message;
    AnswerMessageBox(&message);
    OpenAndWait(*frame, Q(dir.file("notes.txt")));
    ASSERT_TRUE(OpenAndWait(*frame, Q(photos[4])));
    QStringList expected;
    for (int i : {4, 8, 7, 6, 5, 3, 2, 1}) {
        expected << QStringLiteral("&%1 %2")
                        .arg(expected.size() + 1)
                        .arg(QDir::toNativeSeparators(Q(photos[i])));
    }
    EXPECT_EQ(RecentEntries(*frame), expected);

    // The list outlasts the window, and so does the folder the open dialog
    // starts in.
    fs::create_directory(dir.file("elsewhere"));
    WriteJpeg(dir.file("elsewhere") / "far.jpg", 20, 20, Qt::red);
    ASSERT_TRUE(OpenAndWait(*frame, Q(dir.file("elsewhere") / "far.jpg")));
    frame.reset(new CMainFrame(0x5F5E1234));
    FileDialogSeen seen;
    viaDialog(Open, {}, &seen);
    EXPECT_EQ(seen.directory, Q(dir.file("elsewhere")));

    // An entry opens its photo; one gone since gives a message and leaves
    // the list, the document staying as it was.
    frame->recentMenu()->actions().at(2)->trigger();
    FinishJob(*frame);
    fs::remove(photos[7]);
    AnswerMessageBox(&message);
    frame->recentMenu()->actions().at(3)->trigger();
    FinishJob(*frame);
    EXPECT_TRUE(message.contains("photo7.jpg")) << message.toStdString();
    EXPECT_EQ(frame->model()->path(), Q(photos[8]));
    EXPECT_EQ(RecentEntries(*frame).size(), 7);
    EXPECT_FALSE(RecentEntries(*frame).join(' ').contains("photo7.jpg"));
}

TEST_F(MainFrameTest, DroppedPicturesOpenTheFirstOneAndAnythingElseIsRefused) {
    ASSERT_TRUE(OpenAndWait(*frame, Q(dir.file("holiday.jpg"))));
    frame->model()->addCaption(Text("Stays"));
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    ASSERT_TRUE(picture.save(Q(dir.file("drawing.PNG")), "PNG"));
    const auto file = [this](const char* name) { return QUrl::fromLocalFile(Q(dir.file(name))); };
    struct Row {
        const char* name;
        QList<QUrl> urls;
        const char* opened; // nullptr: refused
    };
    for (const Row& row :
         {Row{"a text file", {file("notes.txt")}, nullptr},
          Row{"several: the first picture",
              {file("notes.txt"), file("other.jpg"), file("holiday.jpg")},
              "other.jpg"},
          Row{"a PNG, whatever its letter case", {file("drawing.PNG")}, "drawing.PNG"}}) {
        SCOPED_TRACE(row.name);
        const QString before = frame->model()->path();
        EXPECT_EQ(drop(row.urls), row.opened != nullptr);
        EXPECT_EQ(frame->model()->path(), row.opened ? Q(dir.file(row.opened)) : before);
        EXPECT_EQ(document().captions.count(), 1) << "the captions stay";
    }
    EXPECT_EQ(document().width(), 40u);
}

TEST_F(MainFrameTest, TheStartUpFileOpensRelativeToTheWorkingFolderOrSaysWhyNot) {
    // A path relative to the working folder, as a shell passes it.
    const QString working = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(Q(dir.path())));
    frame->openAtStart(QStringLiteral("holiday.jpg"));
    QDir::setCurrent(working);
    EXPECT_TRUE(QTest::qWaitFor([&] { return document().hasPicture(); }));
    EXPECT_EQ(frame->model()->path(), Q(dir.file("holiday.jpg")));
    QString message;
    AnswerMessageBox(&message);
    frame->openAtStart(Q(dir.file("notes.txt")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return message.contains("notes.txt"); }));
}

TEST(FileDialogs, TheFilterListTakesQtsForm) {
    EXPECT_EQ(qtNameFilters("JPEG Images (*.jpg;*.jpeg)|*.jpg;*.jpeg|All files (*.*)|*.*||"),
              "JPEG Images (*.jpg *.jpeg);;All files (*)");
    EXPECT_EQ(qtNameFilters(""), "");
}

// The real program with every way to a display removed.
CommandResult Lumora(const std::string& arguments) {
    return Run("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + Quote(LUMORA_PROGRAM) +
               " " + arguments);
}

TEST(CommandLine, TheProgramPrintsHelpAndVersionWithoutADisplayAndExitsTwoOnMisuse) {
    const auto help = Lumora("--help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.output.rfind("Usage: lumora [OPTION]... [FILE]\n", 0), 0u) << help.output;
    const auto version = Lumora("--version");
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.output, "Lumora " LUMORA_VERSION "\n");
    const auto misuse = Lumora("--frobnicate");
    EXPECT_EQ(misuse.exitCode, 2);
    EXPECT_TRUE(misuse.output.empty()) << "messages go to standard error";
    EXPECT_EQ(Lumora("a.jpg b.jpg").exitCode, 2);
    // A file but no display ("--" lets its name start with a dash): the
    // one-line refusal, not Qt's abort.
    EXPECT_EQ(Lumora("-- -photo.jpg").exitCode, 1);
}

} // namespace
