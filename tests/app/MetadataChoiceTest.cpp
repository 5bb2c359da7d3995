// Saving through the window: the File menu's choices of what a copy carries
// of the photo's metadata and of its picture's quality, remembered between
// runs; and the note when damaged metadata was left out.
#include "app/MainFrame.h"
#include "app/MetadataChoiceMenu.h"
#include "app/QualityChoiceMenu.h"
#include "document/DocumentModel.h"
#include "resources/MainMenu.h"
#include "tests/app/FrameDriver.h"
#include "tests/support/ExifBuilder.h"
#include "tests/support/TestSupport.h"
#include "tests/support/WhenModal.h"

#include <QAction>
#include <QInputDialog>
#include <QMenu>
#include <QSettings>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace fs = std::filesystem;
namespace ts = testing_support;

namespace {

QAction* ChoiceItem(CMainFrame& frame, const char* word) {
    return frame.metadataChoice()->menu()->findChild<QAction*>(QString::fromLatin1(word));
}

void SaveThroughTheMenu(CMainFrame& frame, const fs::path& copy) {
    AnswerFileDialog(Q(copy));
    frame.runCommand(CommandId::Save);
    FinishJob(frame);
}

std::string Exiftool(const std::string& tags, const fs::path& file) {
    return ts::Run("exiftool -s -s -s " + tags + " " + ts::Quote(file.string())).output;
}

} // namespace

TEST(MetadataChoice, TheChoiceIsOfferedUnderSaveRememberedAndObeyed) {
    ts::TempDir dir;
    const fs::path photo = dir.file("placed.jpg");
    WriteJpeg(photo, 64, 48, Qt::darkGreen);
    ASSERT_EQ(ts::Run("exiftool -q -overwrite_original -Make=Lumix -GPSLatitude=48.85 "
                      "-GPSLatitudeRef=N -GPSLongitude=2.29 -GPSLongitudeRef=E " +
                      ts::Quote(photo.string()))
                  .exitCode,
              0);

    std::unique_ptr<CMainFrame> frame(NewFrame());
    ASSERT_NE(frame->metadataChoice(), nullptr);
    EXPECT_TRUE(ChoiceItem(*frame, "keep")->isChecked());
    EXPECT_FALSE(ChoiceItem(*frame, "no-location")->isChecked());
    ASSERT_TRUE(OpenAndWait(*frame, Q(photo)));

    SaveThroughTheMenu(*frame, dir.file("all.jpg"));
    EXPECT_EQ(Exiftool("-Make", dir.file("all.jpg")), "Lumix\n");
    EXPECT_NE(Exiftool("-GPSLatitude", dir.file("all.jpg")), "");

    ChoiceItem(*frame, "no-location")->trigger();
    EXPECT_TRUE(ChoiceItem(*frame, "no-location")->isChecked());
    EXPECT_FALSE(ChoiceItem(*frame, "keep")->isChecked());
    SaveThroughTheMenu(*frame, dir.file("nowhere.jpg"));
    EXPECT_EQ(Exiftool("-Make", dir.file("nowhere.jpg")), "Lumix\n");
    EXPECT_EQ(Exiftool("-gps:all", dir.file("nowhere.jpg")), "");

    ChoiceItem(*frame, "description-only")->trigger();
    SaveThroughTheMenu(*frame, dir.file("bare.jpg"));
    EXPECT_EQ(Exiftool("-Make", dir.file("bare.jpg")), "");

    // The next run starts with the last choice.
    EXPECT_EQ(QSettings().value("save/metadata").toString(), "description-only");
    CMainFrame next(0x5F5E1234);
    EXPECT_EQ(next.metadataChoice()->choice(), MetadataChoice::DescriptionOnly);
    EXPECT_TRUE(
        next.metadataChoice()->menu()->findChild<QAction*>("description-only")->isChecked());
    EXPECT_EQ(MetadataChoiceMenu::fromSettingsWord("something else"), MetadataChoice::KeepAll);
}

TEST(MetadataChoice, ASaveThatLeavesDamagedMetadataOutSaysSo) {
    ts::TempDir dir;
    const fs::path photo = dir.file("damaged.jpg");
    WriteJpeg(photo, 64, 48, Qt::gray);
    // An EXIF block whose Exif directory lies past its end.
    ts::TiffBuilder tiff(false);
    tiff.AddDirectory({{0x8769, 4, 1, tiff.U32(5000)}});
    auto bytes = ts::ReadBytes(photo);
    const auto segment = ts::ExifSegment(tiff.Bytes());
    bytes.insert(bytes.begin() + 20, segment.begin(), segment.end());
    ts::WriteBytes(photo, bytes);

    std::unique_ptr<CMainFrame> frame(NewFrame());
    ASSERT_TRUE(OpenAndWait(*frame, Q(photo)));
    QString note;
    AnswerMessageBox(&note);
    SaveThroughTheMenu(*frame, dir.file("copy.jpg"));
    EXPECT_TRUE(note.contains("left out")) << note.toStdString();
    EXPECT_TRUE(note.contains("copy.jpg")) << note.toStdString();
    EXPECT_TRUE(fs::exists(dir.file("copy.jpg")));
}

TEST(QualityChoice, KeepingIsTheDefaultEncodingAgainAsksForAQualityAndBothAreRemembered) {
    QSettings().remove("save/quality");
    ts::TempDir dir;
    const fs::path photo = dir.file("quay.jpg");
    WriteJpeg(photo, 64, 48, Qt::darkCyan);
    std::unique_ptr<CMainFrame> frame(NewFrame());
    QualityChoiceMenu* choice = frame->qualityChoice();
    ASSERT_NE(choice, nullptr);
    QAction* keep = choice->menu()->findChild<QAction*>("keep");
    QAction* encode = choice->menu()->findChild<QAction*>("encode");
    EXPECT_TRUE(keep->isChecked());
    ASSERT_TRUE(OpenAndWait(*frame, Q(photo)));
    Caption caption;
    caption.text = QStringLiteral("Quay");
    frame->model()->addCaption(caption);
    // What the model writes with a choice, to compare the menu's saves with.
    const auto expected = [&](const PictureQuality& quality) {
        const fs::path reference = dir.file("reference.jpg");
        EXPECT_TRUE(savePicture(frame->model()->document(), Q(reference),
                                {MetadataChoice::KeepAll, quality, true})
                        .ok);
        return ts::ReadBytes(reference);
    };

    SaveThroughTheMenu(*frame, dir.file("kept.jpg"));
    EXPECT_EQ(ts::ReadBytes(dir.file("kept.jpg")), expected(PictureQuality{}));

    WhenModal<QInputDialog>([](QInputDialog* ask) {
        ask->setIntValue(75);
        ask->accept();
    });
    encode->trigger();
    EXPECT_TRUE(encode->isChecked());
    EXPECT_TRUE(encode->text().contains("75")) << encode->text().toStdString();
    SaveThroughTheMenu(*frame, dir.file("again.jpg"));
    const auto again = ts::ReadBytes(dir.file("again.jpg"));
    EXPECT_EQ(again, expected(PictureQuality{false, 75}));
    EXPECT_NE(again, ts::ReadBytes(dir.file("kept.jpg")));

    // Cancel keeps the quality there was; the next run starts with it.
    WhenModal<QInputDialog>([](QInputDialog* ask) { ask->reject(); });
    encode->trigger();
    EXPECT_EQ(choice->choice(), (PictureQuality{false, 75}));
    EXPECT_EQ(QSettings().value("save/quality").toString(), "75");
    CMainFrame next(0x5F5E1235);
    EXPECT_EQ(next.qualityChoice()->choice(), (PictureQuality{false, 75}));
    keep->trigger();
    EXPECT_TRUE(frame->qualityChoice()->choice().keep);
}
