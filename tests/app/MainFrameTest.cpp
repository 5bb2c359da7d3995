// The main window as a person meets it: its menus, buttons and layout;
// open, save and their dialogs; the title and its modified mark; standard
// shortcuts; a question before unsaved captions are lost; recent photos,
// the last folder, drops and the start-up file.
#include "app/CommandIdTable.h"
#include "app/FileDialogs.h"
#include "resources/MainMenu.h"
#include "resources/StringTable.h"
#include "resources/VersionBlock.h"
#include "tests/app/FrameDriver.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/WhenModal.h"
#include "ui/DlgAbout.h"
#include "ui/ImageControl.h"
#include "ui/LinkControl.h"

#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QMenuBar>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
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

QString Entry(qsizetype number, const fs::path& path) {
    return QStringLiteral("&%1 %2").arg(number).arg(QDir::toNativeSeparators(Q(path)));
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
    // Sends a drag of these files over the window and drops them; whether
    // the window accepted the drag.
    bool drop(const QList<QUrl>& urls) {
        QMimeData data;
        data.setUrls(urls);
        const QPoint at = frame->imageControl()->geometry().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(frame.get(), &enter);
        // Moving over the window keeps the answer the drag got as it entered.
        QDragMoveEvent move(at + QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(frame.get(), &move);
        EXPECT_EQ(move.isAccepted(), enter.isAccepted());
        if (!enter.isAccepted())
            return false;
        QDropEvent dropped(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(frame.get(), &dropped);
        FinishJob(*frame);
        return dropped.isAccepted();
    }
};

TEST(CommandIdTable, IdentifiersAreDistinctInRangeAndFollowTheUpperBitsOfTheTime) {
    const CommandIdTable table(0x5F5E1234);
    const std::set<int> distinct(table.ids().begin(), table.ids().end());
    EXPECT_EQ(distinct.size(), 100u);
    EXPECT_GE(*distinct.begin(), 16000);
    EXPECT_LE(*distinct.rbegin(), 30999);
    // Only the upper 16 bits of the time count, cut to 32 bits like the
    // generator's seed.
    for (long long time : {0x5F5E0000LL, 0x5F5EFFFFLL, 0x1'5F5E'0000LL})
        EXPECT_EQ(CommandIdTable(time).ids(), table.ids()) << time;
    EXPECT_NE(CommandIdTable(0x5F5F0000).ids(), table.ids());
    // The classic generator from seed 0 starts with 38.
    EXPECT_EQ(CommandIdTable(0x1234)[0], 16038);
}

TEST(MainFrame, StartsWithItsMenusButtonsAndLinkLaidOutAndOnlyOpenAvailable) {
    CMainFrame frame(0x5F5E1234);
    EXPECT_EQ(frame.objectName(), "Lumora.MainFrame.ID6123683");
    EXPECT_EQ(frame.windowTitle(), "Lumora");
    EXPECT_FALSE(frame.windowIcon().isNull());
    QStringList menus;
    for (QAction* popup : frame.menuBar()->actions()) {
        QStringList items{popup->text() + ":"};
        for (QAction* item : popup->menu()->actions())
            items << (item->isSeparator() ? "-" : item->objectName() + " " + item->text());
        menus << items.join(u'|');
    }
    EXPECT_EQ(menus,
              QStringList({"&File:|57601 &Open...|57603 &Save...|metadataChoice &Metadata in "
                           "Saved Copies|qualityChoice Picture &Quality in Saved Copies|"
                           "57616 Open &Recent|-|32771 &Load Caption Set...|32772 Save "
                           "Caption Se&t...|32773 Caption &Data...|-|105 E&xit",
                           "&Edit:|57643 &Undo|57644 &Redo",
                           "&View:|32774 &Fit in Window|32775 &Actual Size (100%)|32776 "
                           "Zoom &In|32777 Zoom &Out",
                           "&Help:|104 &About ..."}));

    const CommandIdTable& ids = frame.commandIds();
    for (const auto& [button, text, id] :
         {std::tuple{frame.addButton(), "Add Caption", CommandIdTable::AddButton},
          std::tuple{frame.editButton(), "Edit Caption", CommandIdTable::EditButton},
          std::tuple{frame.removeButton(), "Remove Caption", CommandIdTable::RemoveButton}}) {
        EXPECT_EQ(button->text(), text);
        EXPECT_EQ(button->objectName(), QString::number(ids[id])) << text;
        EXPECT_FALSE(button->isEnabled()) << text;
    }
    EXPECT_EQ(frame.imageControl()->property("commandId").toInt(), ids[CommandIdTable::ImageView]);
    EXPECT_EQ(frame.linkControl()->property("commandId").toInt(), ids[CommandIdTable::Link]);
    EXPECT_EQ(frame.linkControl()->text(), makerWebAddress());
    EXPECT_EQ(frame.addButton()->size(), QSize(110, 27));
    EXPECT_EQ(frame.removeButton()->size(), QSize(140, 27));
    for (int command : {Open, Save, Undo, Redo})
        EXPECT_EQ(frame.menuAction(command)->isEnabled(), command == Open) << command;

    // The children follow the client area: 900 x 675 grown by a pixel on
    // every side at first.
    frame.showAtStartingPlace();
    EXPECT_EQ(frame.size(), QSize(902, 677));
    for (const auto& [client, view, remove, link] :
         {std::tuple{QSize(900, 600), QRect(10, 10, 880, 540), QPoint(250, 560), QPoint(670, 560)},
          std::tuple{QSize(640, 480), QRect(10, 10, 620, 420), QPoint(250, 440),
                     QPoint(410, 440)}}) {
        frame.resize(client + QSize(0, frame.menuBar()->height()));
        QTRY_COMPARE(frame.centralWidget()->size(), client);
        EXPECT_EQ(frame.imageControl()->geometry(), view);
        EXPECT_EQ(frame.removeButton()->pos(), remove);
        EXPECT_EQ(frame.linkControl()->pos(), link);
        EXPECT_EQ(frame.addButton()->pos(), QPoint(10, remove.y()));
        EXPECT_EQ(frame.editButton()->pos(), QPoint(130, remove.y()));
        EXPECT_EQ(frame.linkControl()->size(), QSize(210, 18));
    }
}

TEST_F(MainFrameTest, OpenShowsThePictureAndTheTitleAndAFailureKeepsWhatWasThere) {
    // A cancelled dialog changes nothing.
    FileDialogSeen seen;
    viaDialog(Open, {}, &seen);
    EXPECT_EQ(seen.mode, QFileDialog::AcceptOpen);
    EXPECT_EQ(seen.nameFilters,
              QStringList({"Photos (*.jpg *.jpeg *.heic *.heif *.hif *.avif *.png *.tif *.tiff "
                           "*.webp)",
                           "JPEG Images (*.jpg *.jpeg)", "All files (*)"}));
    EXPECT_EQ(seen.defaultSuffix, "jpg");
    EXPECT_FALSE(frame->addButton()->isEnabled());
    EXPECT_TRUE(frame->rememberedPath().isEmpty());

    // A file that is not a picture: Add and Save become available anyway,
    // and the person is told why nothing shows.
    QString message;
    AnswerMessageBox(&message);
    viaDialog(Open, dir.file("notes.txt"));
    EXPECT_TRUE(message.startsWith("Could not open")) << message.toStdString();
    EXPECT_TRUE(message.contains("notes.txt")) << message.toStdString();
    EXPECT_FALSE(document().hasPicture());
    EXPECT_TRUE(frame->addButton()->isEnabled());
    EXPECT_TRUE(frame->menuAction(Save)->isEnabled());
    EXPECT_FALSE(frame->editButton()->isEnabled());
    EXPECT_EQ(frame->windowTitle(), "Lumora");

    viaDialog(Open, dir.file("holiday.jpg"));
    EXPECT_EQ(frame->rememberedPath(), QStringList{Q(dir.file("holiday.jpg"))});
    EXPECT_EQ(QSize(document().width(), document().height()), QSize(120, 80));
    const QImage before = shown();
    const QColor middle = before.pixelColor(before.width() / 2, before.height() / 2);
    EXPECT_LT(middle.red(), 20);
    EXPECT_GT(middle.green(), 80);
    EXPECT_EQ(frame->windowTitle(), kTitled.arg("holiday.jpg"));
    EXPECT_FALSE(frame->isWindowModified());

    // A change made through the model reaches the mark, the buttons and
    // the view without the window doing anything else; undone, the photo
    // is back as opened.
    frame->model()->addCaption(Text("Beach"));
    EXPECT_TRUE(frame->isWindowModified());
    EXPECT_TRUE(frame->editButton()->isEnabled());
    EXPECT_TRUE(frame->removeButton()->isEnabled());
    EXPECT_NE(shown(), before);
    frame->model()->history()->undo();
    EXPECT_FALSE(frame->isWindowModified());
    EXPECT_EQ(shown(), before);
    frame->model()->history()->redo();
    EXPECT_TRUE(frame->isWindowModified());
    viaDialog(Save, dir.file("saved.jpg"));
    EXPECT_FALSE(frame->isWindowModified());

    // A later failure keeps the picture, its captions, the enabling and the
    // title; the dialog starts in the folder of the last file.
    AnswerMessageBox(&message);
    viaDialog(Open, dir.file("notes.txt"), &seen);
    EXPECT_EQ(seen.directory, Q(dir.path()));
    EXPECT_EQ(document().width(), 120u);
    EXPECT_EQ(document().captions.count(), 1);
    EXPECT_TRUE(frame->addButton()->isEnabled());
    EXPECT_TRUE(frame->menuAction(Save)->isEnabled());
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
    Caption caption = Text("Beach, 2026");
    caption.disposition = Disposition::BottomBand;
    frame->model()->addCaption(caption);

    FileDialogSeen seen;
    viaDialog(Save, dir.file("out"), &seen); // no extension: the dialog adds ".jpg"
    EXPECT_EQ(seen.mode, QFileDialog::AcceptSave);
    EXPECT_EQ(QFileInfo(seen.proposed).fileName(), "holiday-captioned.jpg");
    EXPECT_EQ(seen.directory, Q(dir.file("in")));
    EXPECT_EQ(seen.defaultSuffix, "jpg");
    ASSERT_TRUE(fs::exists(dir.file("out.jpg")));
    const CommandResult size = testing_support::Run(
        "djpeg -pnm " + Quote(dir.file("out.jpg").string()) + " | head -c 20 | sed -n 2p");
    EXPECT_EQ(size.output.substr(0, 3), "120");
    EXPECT_GT(std::stoi(size.output.substr(4)), 80) << "the band adds rows";

    // "No" keeps the file untouched (and the dialog comes back), "Yes"
    // writes the captioned picture over the photo.
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

TEST_F(MainFrameTest, StandardShortcutsOpenSaveZoomShowAboutAndExit) {
    AnswerFileDialog(Q(dir.file("holiday.jpg")));
    Press(frame.get(), "Ctrl+O");
    FinishJob(*frame);
    EXPECT_EQ(frame->model()->path(), Q(dir.file("holiday.jpg")));
    frame->model()->addCaption(Text("Summer"));
    FileDialogSeen seen;
    AnswerFileDialog(Q(dir.file("summer.jpg")), &seen);
    Press(frame.get(), "Ctrl+S");
    FinishJob(*frame);
    EXPECT_EQ(seen.mode, QFileDialog::AcceptSave);
    EXPECT_TRUE(fs::exists(dir.file("summer.jpg")));

    // The view's zoom: 100%, a step in, a step out, and back to the fit.
    CImageControl* view = frame->imageControl();
    const double fitted = view->zoom();
    for (const auto& [keys, zoom] : {std::pair{"Ctrl+1", 1.0}, std::pair{"Ctrl++", 1.5},
                                     std::pair{"Ctrl+-", 1.0}, std::pair{"Ctrl+0", fitted}}) {
        Press(frame.get(), keys);
        EXPECT_DOUBLE_EQ(view->zoom(), zoom) << keys;
    }
    EXPECT_TRUE(view->isFit());

    // About from the menu, Alt+? (with or without Shift, as on most
    // layouts) and Alt+/; without Alt, or with Control, the keys are just
    // keys (a box opened by mistake would be closed and counted).
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

    // Saved, so Exit closes without a question.
    Press(frame.get(), "Ctrl+Q");
    EXPECT_FALSE(frame->isVisible());
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

    // Discard closes and writes nothing.
    frame->show();
    frame->model()->addCaption(Text("Thrown away"));
    AnswerMessageBox(&question, QMessageBox::Discard);
    frame->runCommand(Exit);
    EXPECT_FALSE(frame->isVisible());
    EXPECT_EQ(Listing(dir.path()),
              (std::set<std::string>{"holiday.jpg", "kept.jpg", "notes.txt", "other.jpg"}))
        << "only the one save";
}

TEST_F(MainFrameTest, OpenRecentListsTheLastEightPhotosAndDropsAMissingOneWithAMessage) {
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
            expected << Entry(expected.size() + 1, photos[i]);
    }
    EXPECT_EQ(RecentEntries(*frame), expected);

    // An entry opens its photo.
    frame->recentMenu()->actions().at(1)->trigger();
    FinishJob(*frame);
    EXPECT_EQ(frame->model()->path(), Q(photos[8]));
    EXPECT_EQ(document().width(), 24u);

    // The list outlasts the window, and so does the folder the open dialog
    // starts in.
    fs::create_directory(dir.file("elsewhere"));
    WriteJpeg(dir.file("elsewhere") / "far.jpg", 20, 20, Qt::red);
    ASSERT_TRUE(OpenAndWait(*frame, Q(dir.file("elsewhere") / "far.jpg")));
    frame.reset(new CMainFrame(0x5F5E1234));
    EXPECT_EQ(RecentEntries(*frame).value(0), Entry(1, dir.file("elsewhere") / "far.jpg"));
    FileDialogSeen seen;
    viaDialog(Open, {}, &seen);
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
    EXPECT_FALSE(document().hasPicture());
    EXPECT_EQ(RecentEntries(*frame).size(), before.size() - 1);
    EXPECT_FALSE(RecentEntries(*frame).join(' ').contains("photo8.jpg"));
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
        unsigned width = 0;
    };
    for (const Row& row :
         {Row{"a text file", {file("notes.txt")}, nullptr},
          Row{"a web address", {QUrl(QStringLiteral("https://example.com/photo.jpg"))}, nullptr},
          Row{"a folder", {QUrl::fromLocalFile(Q(dir.path()))}, nullptr},
          Row{"several: the first picture",
              {file("notes.txt"), file("other.jpg"), file("holiday.jpg")},
              "other.jpg",
              60},
          Row{"a PNG, whatever its letter case", {file("drawing.PNG")}, "drawing.PNG", 40}}) {
        SCOPED_TRACE(row.name);
        const QString before = frame->model()->path();
        EXPECT_EQ(drop(row.urls), row.opened != nullptr);
        EXPECT_EQ(frame->model()->path(), row.opened ? Q(dir.file(row.opened)) : before);
        if (row.opened) {
            EXPECT_EQ(document().width(), row.width);
        }
        EXPECT_EQ(document().captions.count(), 1) << "the captions stay";
    }
}

TEST_F(MainFrameTest, TheStartUpFileOpensAndAFailureSaysWhatFileOpenSays) {
    // A path relative to the working folder, as a shell passes it.
    const QString working = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(Q(dir.path())));
    frame->openAtStart(QStringLiteral("holiday.jpg"));
    QDir::setCurrent(working);
    EXPECT_TRUE(QTest::qWaitFor([&] { return document().hasPicture(); }));
    EXPECT_EQ(frame->model()->path(), Q(dir.file("holiday.jpg")));

    QString atStart;
    AnswerMessageBox(&atStart);
    frame->openAtStart(Q(dir.file("notes.txt")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !atStart.isEmpty(); }));
    QString fromMenu;
    AnswerMessageBox(&fromMenu);
    viaDialog(Open, dir.file("notes.txt"));
    EXPECT_EQ(atStart, fromMenu);
    EXPECT_EQ(frame->model()->path(), Q(dir.file("holiday.jpg")));
}

TEST(FileDialogs, TheFilterListTakesQtsForm) {
    EXPECT_EQ(qtNameFilters(loadString(StringId::FileFilter)),
              "JPEG Images (*.jpg *.jpeg);;All files (*)");
    EXPECT_EQ(qtNameFilters("Pictures|*.png|"), "Pictures (*.png)");
    EXPECT_EQ(qtNameFilters(""), "");
}

} // namespace
