#include "app/MainFrame.h"
#include "app/CommandIdTable.h"
#include "app/FileDialogs.h"
#include "captions/Caption.h"
#include "codec/LxImageJPG.h"
#include "document/DocumentModel.h"
#include "image/LxMemFile.h"
#include "resources/StringTable.h"
#include "resources/VersionBlock.h"
#include "tests/app/FrameDriver.h"
#include "tests/support/TestSupport.h"
#include "tests/support/WhenModal.h"
#include "ui/DlgAbout.h"
#include "ui/ImageControl.h"
#include "ui/LinkControl.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

using namespace testing_support;
namespace fs = std::filesystem;

TEST(CommandIdTable, IdentifiersAreDistinctInRangeAndFollowTheUpperBitsOfTheTime) {
    const CommandIdTable table(0x5F5E1234);
    const std::set<int> distinct(table.ids().begin(), table.ids().end());
    EXPECT_EQ(distinct.size(), 100u);
    EXPECT_GE(*distinct.begin(), 16000);
    EXPECT_LE(*distinct.rbegin(), 30999);
    // Only the upper 16 bits of the time count.
    EXPECT_EQ(CommandIdTable(0x5F5E0000).ids(), table.ids());
    EXPECT_EQ(CommandIdTable(0x5F5EFFFF).ids(), table.ids());
    EXPECT_NE(CommandIdTable(0x5F5F0000).ids(), table.ids());
    // The classic generator from seed 0 starts with 38.
    EXPECT_EQ(CommandIdTable(0x1234)[0], 16038);
    // Times past 2038 are cut to 32 bits like the generator's seed.
    EXPECT_EQ(CommandIdTable(0x1'5F5E'0000LL).ids(), table.ids());
}

TEST(MainFrame, StartsWithItsMenuButtonsAndLinkAndOnlyOpenAvailable) {
    CMainFrame frame(0x5F5E1234);
    EXPECT_EQ(frame.objectName(), "Lumora.MainFrame.ID6123683");
    EXPECT_EQ(frame.windowTitle(), "Lumora");
    EXPECT_FALSE(frame.windowIcon().isNull());

    const QList<QAction*> popups = frame.menuBar()->actions();
    ASSERT_EQ(popups.size(), 4);
    EXPECT_EQ(popups[0]->text(), "&File");
    EXPECT_EQ(popups[1]->text(), "&Edit");
    EXPECT_EQ(popups[2]->text(), "&View");
    EXPECT_EQ(popups[3]->text(), "&Help");
    const auto items = [](QAction* popup) {
        QStringList shown;
        for (QAction* item : popup->menu()->actions())
            shown << (item->isSeparator() ? "-" : item->objectName() + " " + item->text());
        return shown;
    };
    EXPECT_EQ(
        items(popups[0]),
        QStringList({"57601 &Open...", "57603 &Save...", "metadataChoice &Metadata in Saved Copies",
                     "qualityChoice Picture &Quality in Saved Copies", "57616 Open &Recent", "-",
                     "32771 &Load Caption Set...", "32772 Save Caption Se&t...",
                     "32773 Caption &Data...", "-", "105 E&xit"}));
    EXPECT_EQ(items(popups[1]), QStringList({"57643 &Undo", "57644 &Redo"}));
    EXPECT_EQ(items(popups[2]), QStringList({"32774 &Fit in Window", "32775 &Actual Size (100%)",
                                             "32776 Zoom &In", "32777 Zoom &Out"}));
    ASSERT_EQ(popups[3]->menu()->actions().size(), 1);
    EXPECT_EQ(popups[3]->menu()->actions()[0]->text(), "&About ...");
    EXPECT_EQ(popups[3]->menu()->actions()[0]->objectName(), "104");

    const CommandIdTable& ids = frame.commandIds();
    EXPECT_EQ(frame.addButton()->text(), "Add Caption");
    EXPECT_EQ(frame.editButton()->text(), "Edit Caption");
    EXPECT_EQ(frame.removeButton()->text(), "Remove Caption");
    EXPECT_EQ(frame.addButton()->objectName(), QString::number(ids[CommandIdTable::AddButton]));
    EXPECT_EQ(frame.editButton()->objectName(), QString::number(ids[CommandIdTable::EditButton]));
    EXPECT_EQ(frame.removeButton()->objectName(),
              QString::number(ids[CommandIdTable::RemoveButton]));
    EXPECT_EQ(frame.imageControl()->property("commandId").toInt(), ids[CommandIdTable::ImageView]);
    EXPECT_EQ(frame.linkControl()->property("commandId").toInt(), ids[CommandIdTable::Link]);
    EXPECT_EQ(frame.linkControl()->text(), makerWebAddress());
    EXPECT_EQ(frame.addButton()->size(), QSize(110, 27));
    EXPECT_EQ(frame.removeButton()->size(), QSize(140, 27));

    EXPECT_TRUE(frame.menuAction(57601)->isEnabled());
    EXPECT_FALSE(frame.menuAction(57603)->isEnabled());
    EXPECT_FALSE(frame.menuAction(57643)->isEnabled());
    EXPECT_FALSE(frame.menuAction(57644)->isEnabled());
    EXPECT_FALSE(frame.addButton()->isEnabled());
    EXPECT_FALSE(frame.editButton()->isEnabled());
    EXPECT_FALSE(frame.removeButton()->isEnabled());
}

TEST(MainFrame, ChildrenFollowTheClientArea) {
    CMainFrame frame(0x5F5E1234);
    frame.showAtStartingPlace();
    // 900 x 675 grown by a pixel on every side.
    EXPECT_EQ(frame.size(), QSize(902, 677));

    frame.resize(900, 600 + frame.menuBar()->height());
    QTRY_COMPARE(frame.centralWidget()->size(), QSize(900, 600));
    EXPECT_EQ(frame.imageControl()->geometry(), QRect(10, 10, 880, 540));
    EXPECT_EQ(frame.addButton()->pos(), QPoint(10, 560));
    EXPECT_EQ(frame.editButton()->pos(), QPoint(130, 560));
    EXPECT_EQ(frame.removeButton()->pos(), QPoint(250, 560));
    EXPECT_EQ(frame.linkControl()->pos(), QPoint(670, 560));
    EXPECT_EQ(frame.linkControl()->size(), QSize(210, 18));

    frame.resize(640, 480 + frame.menuBar()->height());
    QTRY_COMPARE(frame.centralWidget()->size(), QSize(640, 480));
    EXPECT_EQ(frame.imageControl()->geometry(), QRect(10, 10, 620, 420));
    EXPECT_EQ(frame.removeButton()->pos(), QPoint(250, 440));
    EXPECT_EQ(frame.linkControl()->pos(), QPoint(410, 440));
}

TEST(MainFrame, OpenShowsThePictureAndEnablesAddAndSaveWhetherOrNotItDecodes) {
    TempDir dir;
    WriteJpeg(dir.file("red.jpg"), 64, 48, Qt::red);
    WriteBytes(dir.file("notes.jpg"), {'n', 'o', 't', ' ', 'a', ' ', 'J', 'P', 'E', 'G'});
    std::unique_ptr<CMainFrame> frame(NewFrame());

    // A cancelled dialog changes nothing.
    FileDialogSeen seen;
    AnswerFileDialog(QString(), &seen);
    frame->menuAction(57601)->trigger();
    FinishJob(*frame);
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
    AnswerFileDialog(Q(dir.file("notes.jpg")));
    AnswerMessageBox(&message);
    frame->menuAction(57601)->trigger();
    FinishJob(*frame);
    EXPECT_TRUE(message.contains("notes.jpg")) << message.toStdString();
    EXPECT_TRUE(message.startsWith("Could not open")) << message.toStdString();
    EXPECT_FALSE(frame->model()->document().hasPicture());
    EXPECT_TRUE(frame->addButton()->isEnabled());
    EXPECT_TRUE(frame->menuAction(57603)->isEnabled());
    EXPECT_FALSE(frame->editButton()->isEnabled());

    AnswerFileDialog(Q(dir.file("red.jpg")));
    frame->menuAction(57601)->trigger();
    FinishJob(*frame);
    EXPECT_EQ(frame->rememberedPath(), QStringList{Q(dir.file("red.jpg"))});
    const PictureDocument& document = frame->model()->document();
    EXPECT_EQ(document.width(), 64u);
    EXPECT_EQ(document.height(), 48u);
    const QImage shown = frame->imageControl()->grab().toImage();
    const QColor middle = shown.pixelColor(shown.width() / 2, shown.height() / 2);
    EXPECT_GT(middle.red(), 240);
    EXPECT_LT(middle.green(), 20);

    // A later failure keeps the picture, its captions and the enabling.
    Caption caption;
    caption.text = QStringLiteral("Kept");
    frame->model()->addCaption(caption);
    AnswerFileDialog(Q(dir.file("notes.jpg")), &seen);
    AnswerMessageBox(&message);
    frame->menuAction(57601)->trigger();
    FinishJob(*frame);
    // The dialog started in the folder of the last file.
    EXPECT_EQ(seen.directory, Q(dir.path()));
    EXPECT_EQ(document.width(), 64u);
    EXPECT_TRUE(document.hasPicture());
    EXPECT_EQ(document.captions.count(), 1);
    EXPECT_TRUE(frame->addButton()->isEnabled());
    EXPECT_TRUE(frame->menuAction(57603)->isEnabled());

    // So does opening another picture.
    WriteJpeg(dir.file("wide.jpg"), 90, 30, Qt::blue);
    AnswerFileDialog(Q(dir.file("wide.jpg")));
    frame->menuAction(57601)->trigger();
    FinishJob(*frame);
    EXPECT_EQ(document.width(), 90u);
    EXPECT_EQ(document.captions.count(), 1);
    // The caption was added through the model, which enables Edit.
    EXPECT_TRUE(frame->editButton()->isEnabled());
}

TEST(MainFrame, SaveProposesACaptionedNameBesideThePhotoAndWritesTheCaptionedPicture) {
    TempDir dir;
    fs::create_directory(dir.file("in"));
    WriteJpeg(dir.file("in") / "holiday.jpg", 120, 80, Qt::darkGreen);
    std::unique_ptr<CMainFrame> frame(NewFrame());
    AnswerFileDialog(Q(dir.file("in") / "holiday.jpg"));
    frame->menuAction(57601)->trigger();
    FinishJob(*frame);
    Caption caption;
    caption.text = QStringLiteral("Beach, 2026");
    caption.disposition = Disposition::BottomBand;
    caption.font.height = -20;
    frame->model()->addCaption(caption);

    FileDialogSeen seen;
    AnswerFileDialog(Q(dir.file("out")), &seen); // no extension: the dialog adds ".jpg"
    frame->menuAction(57603)->trigger();
    FinishJob(*frame);
    EXPECT_EQ(seen.mode, QFileDialog::AcceptSave);
    EXPECT_EQ(QFileInfo(seen.proposed).fileName(), "holiday-captioned.jpg");
    EXPECT_EQ(seen.directory, Q(dir.file("in")));
    EXPECT_EQ(seen.defaultSuffix, "jpg");
    ASSERT_TRUE(fs::exists(dir.file("out.jpg")));
    const CommandResult size = testing_support::Run(
        "djpeg -pnm " + Quote(dir.file("out.jpg").string()) + " | head -c 20 | sed -n 2p");
    EXPECT_EQ(size.output.substr(0, 3), "120");
    EXPECT_GT(std::stoi(size.output.substr(4)), 80) << "the band adds rows";

    // Saving over an existing file asks first; "No" keeps it untouched,
    // "Yes" writes the captioned picture over the photo.
    const auto before = ReadBytes(dir.file("in") / "holiday.jpg");
    for (const QMessageBox::StandardButton answer : {QMessageBox::No, QMessageBox::Yes}) {
        QString question;
        AnswerFileDialog(Q(dir.file("in") / "holiday.jpg"));
        AnswerMessageBox(&question, answer);
        if (answer == QMessageBox::No)
            WhenModal<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
        frame->menuAction(57603)->trigger();
        FinishJob(*frame);
        EXPECT_TRUE(question.contains("holiday.jpg")) << question.toStdString();
        EXPECT_EQ(ReadBytes(dir.file("in") / "holiday.jpg") == before, answer == QMessageBox::No);
    }
}

TEST(MainFrame, AboutOpensFromTheMenuAndBothAcceleratorsExitCloses) {
    std::unique_ptr<CMainFrame> frame(NewFrame());
    frame->activateWindow();
    int shown = 0;
    const auto expectAbout = [&shown] {
        return WhenModal<CDlgAbout>([&shown](CDlgAbout* about) {
            ++shown;
            about->reject();
        });
    };
    expectAbout();
    frame->menuAction(104)->trigger();
    EXPECT_EQ(shown, 1);
    expectAbout();
    QTest::keyClick(frame.get(), Qt::Key_Question, Qt::AltModifier);
    EXPECT_EQ(shown, 2);
    // "?" typed with Shift, as on most layouts.
    expectAbout();
    QTest::keyClick(frame.get(), Qt::Key_Question, Qt::AltModifier | Qt::ShiftModifier);
    EXPECT_EQ(shown, 3);
    expectAbout();
    QTest::keyClick(frame->addButton(), Qt::Key_Slash, Qt::AltModifier);
    EXPECT_EQ(shown, 4);
    // Without Alt, or with Control, the keys are just keys (a box opened
    // by mistake would be closed and counted).
    QPointer<QTimer> watch = expectAbout();
    QTest::keyClick(frame.get(), Qt::Key_Slash);
    QTest::keyClick(frame.get(), Qt::Key_Slash, Qt::AltModifier | Qt::ControlModifier);
    EXPECT_EQ(shown, 4);
    delete watch.data();

    ASSERT_TRUE(frame->isVisible());
    frame->menuAction(105)->trigger();
    EXPECT_FALSE(frame->isVisible());
}

TEST(FileDialogs, TheFilterListTakesQtsForm) {
    EXPECT_EQ(qtNameFilters(loadString(StringId::FileFilter)),
              "JPEG Images (*.jpg *.jpeg);;All files (*)");
    EXPECT_EQ(qtNameFilters("Pictures|*.png|"), "Pictures (*.png)");
    EXPECT_EQ(qtNameFilters(""), "");
}
