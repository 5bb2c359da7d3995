// Saving through the window: the File menu's choices of what a copy carries
// of the photo's metadata and whether it keeps the photo's blocks or is
// encoded again, obeyed and remembered between runs; and the note when
// damaged metadata was left out.
#include "app/MetadataChoiceMenu.h"
#include "app/QualityChoiceMenu.h"
#include "resources/MainMenu.h"
#include "tests/app/FrameDriver.h"
#include "tests/support/ExifBuilder.h"
#include "tests/support/WhenModal.h"

#include <QInputDialog>
#include <QMenu>
#include <QSettings>

#include <functional>

namespace fs = std::filesystem;
namespace ts = testing_support;

namespace {

QAction* Item(QMenu* menu, const char* word) {
    return menu->findChild<QAction*>(QString::fromLatin1(word));
}

using SaveChoicesTest = WindowTest;

TEST_F(SaveChoicesTest, TheMetadataAndQualityChoicesAreObeyedAndRemembered) {
    const fs::path photo = dir.file("placed.jpg");
    WriteJpeg(photo, 64, 48, Qt::darkGreen);
    ASSERT_EQ(ts::Run("exiftool -q -overwrite_original -Make=Lumix -GPSLatitude=48.85 "
                      "-GPSLatitudeRef=N -GPSLongitude=2.29 -GPSLongitudeRef=E " +
                      ts::Quote(photo.string()))
                  .exitCode,
              0);
    ASSERT_TRUE(OpenAndWait(*frame, Q(photo)));
    Caption caption;
    caption.text = QStringLiteral("Quay");
    frame->model()->addCaption(caption);
    QMenu* metadata = frame->metadataChoice()->menu();
    QMenu* quality = frame->qualityChoice()->menu();
    const auto ask = [&](bool accept) {
        WhenModal<QInputDialog>([accept](QInputDialog* question) {
            question->setIntValue(accept ? 75 : 60);
            accept ? question->accept() : question->reject();
        });
        Item(quality, "encode")->trigger();
    };
    struct Row {
        const char* name;
        std::function<void()> choose;
        SaveChoices expected; // what the model is asked to write
        const char* tags;     // the camera's make and latitude in the copy
    };
    const std::vector<Row> rows = {
        {"as it starts", [] {}, {MetadataChoice::KeepAll, {}}, "Lumix\n48.85\n"},
        {"the quality question cancelled",
         [&] { ask(false); },
         {MetadataChoice::KeepAll, {}},
         "Lumix\n48.85\n"},
        {"no location",
         [&] { Item(metadata, "no-location")->trigger(); },
         {MetadataChoice::KeepAllButLocation, {}},
         "Lumix\n"},
        {"encoded again at 75",
         [&] { ask(true); },
         {MetadataChoice::KeepAllButLocation, {false, 75}},
         "Lumix\n"},
        {"description only",
         [&] { Item(metadata, "description-only")->trigger(); },
         {MetadataChoice::DescriptionOnly, {false, 75}},
         ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        row.choose();
        EXPECT_EQ(frame->qualityChoice()->choice(), row.expected.quality);
        EXPECT_EQ(Item(quality, "keep")->isChecked(), row.expected.quality.keep);
        EXPECT_EQ(frame->metadataChoice()->choice(), row.expected.metadata);
        const fs::path copy = dir.file("copy.jpg");
        viaDialog(CommandId::Save, copy);
        ASSERT_TRUE(savePicture(document(), Q(dir.file("reference.jpg")), row.expected).ok);
        EXPECT_EQ(ts::ReadBytes(copy), ts::ReadBytes(dir.file("reference.jpg")));
        EXPECT_EQ(ts::Run("exiftool -s3 -n -Make -GPSLatitude " + ts::Quote(copy.string())).output,
                  row.tags);
        fs::remove(copy);
    }
    EXPECT_TRUE(Item(quality, "encode")->text().contains("75"))
        << Item(quality, "encode")->text().toStdString();
    EXPECT_TRUE(Item(metadata, "description-only")->isChecked());
    EXPECT_FALSE(Item(metadata, "keep")->isChecked());

    // The next run starts with the last choices; a word it does not know
    // is the default.
    EXPECT_EQ(QSettings().value("save/metadata").toString(), "description-only");
    EXPECT_EQ(QSettings().value("save/quality").toString(), "75");
    const CMainFrame next(0x5F5E1235);
    EXPECT_EQ(next.metadataChoice()->choice(), MetadataChoice::DescriptionOnly);
    EXPECT_TRUE(Item(next.metadataChoice()->menu(), "description-only")->isChecked());
    EXPECT_EQ(next.qualityChoice()->choice(), (PictureQuality{false, 75}));
    EXPECT_EQ(MetadataChoiceMenu::fromSettingsWord("something else"), MetadataChoice::KeepAll);
    Item(quality, "keep")->trigger();
    EXPECT_TRUE(frame->qualityChoice()->choice().keep);
}

TEST_F(SaveChoicesTest, ASaveThatLeavesDamagedMetadataOutSaysSo) {
    const fs::path photo = dir.file("damaged.jpg");
    WriteJpeg(photo, 64, 48, Qt::gray);
    // An EXIF block whose Exif directory lies past its end.
    ts::TiffBuilder tiff(false);
    tiff.AddDirectory({{0x8769, 4, 1, tiff.U32(5000)}});
    auto bytes = ts::ReadBytes(photo);
    const auto segment = ts::ExifSegment(tiff.Bytes());
    bytes.insert(bytes.begin() + 20, segment.begin(), segment.end());
    ts::WriteBytes(photo, bytes);
    ASSERT_TRUE(OpenAndWait(*frame, Q(photo)));
    QString note;
    AnswerMessageBox(&note);
    viaDialog(CommandId::Save, dir.file("copy.jpg"));
    EXPECT_TRUE(note.contains("left out")) << note.toStdString();
    EXPECT_TRUE(note.contains("copy.jpg")) << note.toStdString();
    EXPECT_TRUE(fs::exists(dir.file("copy.jpg")));
}

} // namespace
