// Files through the window: the save choices, caption sets and caption data.
#include "app/MetadataChoiceMenu.h"
#include "app/QualityChoiceMenu.h"
#include "captions/CaptionSetFile.h"
#include "resources/MainMenu.h"
#include "tests/app/FrameDriver.h"
#include "tests/support/ExifBuilder.h"
#include "tests/support/WhenModal.h"
#include "ui/ImageControl.h"

#include <QInputDialog>
#include <QMenu>

#include <fstream>
#include <functional>

namespace fs = std::filesystem;
namespace ts = testing_support;

namespace {

QAction* Item(QMenu* menu, const char* word) {
    return menu->findChild<QAction*>(QString::fromLatin1(word));
}

Caption Band(const QString& text) {
    Caption caption;
    caption.text = text;
    caption.disposition = Disposition::BottomBand;
    caption.horizontalAlignment = HorizontalAlignment::Center;
    caption.textColor = 0xFFFFFFFF;
    caption.backgroundColor = 0xFF302010;
    return caption;
}

using SaveChoicesTest = WindowTest;
using CaptionSetMenu = WindowTest;

TEST_F(SaveChoicesTest, TheMetadataAndQualityChoicesAreObeyedAndRemembered) {
    // At a quality of its own: a copy that keeps its blocks differs from one
    // encoded again.
    const fs::path photo = dir.file("placed.jpg");
    QImage picture(64, 48, QImage::Format_RGB32);
    picture.fill(Qt::darkGreen);
    ASSERT_TRUE(picture.save(Q(photo), "JPEG", 60));
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
        const fs::path copy = dir.file("copy.jpg");
        viaDialog(CommandId::Save, copy);
        ASSERT_TRUE(savePicture(document(), Q(dir.file("reference.jpg")), row.expected).ok);
        EXPECT_EQ(ts::ReadBytes(copy), ts::ReadBytes(dir.file("reference.jpg")));
        EXPECT_EQ(ts::Run("exiftool -s3 -n -Make -GPSLatitude " + ts::Quote(copy.string())).output,
                  row.tags);
        fs::remove(copy);
    }
    // The next run starts with the last choices.
    const CMainFrame next(0x5F5E1235);
    EXPECT_EQ(next.metadataChoice()->choice(), MetadataChoice::DescriptionOnly);
    EXPECT_EQ(next.qualityChoice()->choice(), (PictureQuality{false, 75}));
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
    EXPECT_TRUE(note.contains("left out") && note.contains("copy.jpg")) << note.toStdString();
    EXPECT_TRUE(fs::exists(dir.file("copy.jpg")));
}

TEST_F(CaptionSetMenu, SavedSetLoadsBackAsOneStepAndADamagedOneChangesNothing) {
    WriteJpeg(dir.file("quay.jpg"), 320, 200, Qt::darkCyan);
    ASSERT_TRUE(OpenAndWait(*frame, Q(dir.file("quay.jpg"))));
    DocumentModel& model = *frame->model();
    model.addCaption(Band("Harbour festival"));
    model.addCaption(Band("Photo: A. Person"));

    AnswerFileDialog(Q(dir.file("festival")));
    ASSERT_TRUE(frame->saveCaptionSet());
    const fs::path saved = dir.file("festival.lumora-captions.json");
    ASSERT_TRUE(fs::exists(saved)) << "the suffix is added";

    // The same name again: asked first; "No" keeps the file (the set with
    // two captions, a third added since), "Yes" replaces it (a damaged
    // file, with the two captions again).
    const std::vector<std::uint8_t> first = ts::ReadBytes(saved);
    model.addCaption(Band("One more"));
    for (const QMessageBox::StandardButton answer : {QMessageBox::No, QMessageBox::Yes}) {
        QString question;
        AnswerMessageBox(&question, answer);
        AnswerFileDialog(Q(dir.file("festival")));
        EXPECT_EQ(frame->saveCaptionSet(), answer == QMessageBox::Yes);
        EXPECT_TRUE(question.contains("festival.lumora-captions.json")) << question.toStdString();
        EXPECT_EQ(ts::ReadBytes(saved), first);
        if (answer == QMessageBox::No) {
            model.removeCaption(2);
            ts::WriteBytes(saved, {'x'});
        }
    }

    // A load replaces the captions as one step of Undo.
    model.removeCaption(1);
    model.editCaption(0, Band("Something else"));
    const int steps = model.history()->count();
    AnswerFileDialog(Q(saved));
    frame->runCommand(CommandId::LoadCaptionSet);
    ASSERT_EQ(model.document().captions.count(), 2);
    EXPECT_EQ(*model.document().captions.at(0), Band("Harbour festival"));
    EXPECT_EQ(*model.document().captions.at(1), Band("Photo: A. Person"));
    EXPECT_EQ(model.history()->count(), steps + 1);
    model.history()->undo();
    EXPECT_EQ(model.document().captions.count(), 1);
    model.history()->redo();

    // A set of a later version is refused with its name and why.
    std::ofstream(dir.file("later.lumora-captions.json"))
        << R"({"format": "lumora-captions", "version": 3, "captions": []})";
    QString message;
    AnswerMessageBox(&message);
    AnswerFileDialog(Q(dir.file("later.lumora-captions.json")));
    frame->runCommand(CommandId::LoadCaptionSet);
    EXPECT_TRUE(message.contains("later.lumora-captions.json\"") && message.contains("version 3"))
        << message.toStdString();
    EXPECT_EQ(model.history()->count(), steps + 1);
}

TEST_F(CaptionSetMenu, TheWindowsSaveWithALoadedSetIsWhatTheCommandLineWrites) {
    LUMORA_SKIP_WITHOUT_CORPUS();
    const fs::path photo = dir.file("camera.jpg");
    fs::copy_file(ts::CorpusDir() / "camera" / "ies_Canon_40D.jpg", photo);
    CaptionList set;
    set.append(Band("Harbour festival {date}"));
    Caption boxed;
    boxed.text = "On the quay";
    boxed.box.enabled = true;
    set.append(boxed);
    const fs::path setFile = dir.file("set.lumora-captions.json");
    ASSERT_EQ(writeCaptionSet(set, Q(setFile)), QString());

    ASSERT_TRUE(OpenAndWait(*frame, Q(photo)));
    AnswerFileDialog(Q(setFile));
    frame->runCommand(CommandId::LoadCaptionSet);
    AnswerFileDialog(Q(dir.file("window.jpg")));
    ASSERT_TRUE(frame->saveFile());
    FinishJob(*frame);

    fs::create_directory(dir.file("out"));
    const auto ran = ts::Run("env -u DISPLAY " + ts::Quote(LUMORA_PROGRAM) + " caption --set " +
                             ts::Quote(setFile.string()) + " --out " +
                             ts::Quote(dir.file("out").string()) + " " + ts::Quote(photo.string()));
    ASSERT_EQ(ran.exitCode, 0);
    EXPECT_EQ(ts::ReadBytes(dir.file("out") / "camera-captioned.jpg"),
              ts::ReadBytes(dir.file("window.jpg")));
}

TEST_F(CaptionSetMenu, CaptionDataFillsTheOpenPhotosPreviewAtOnceAndEachPhotoOpenedLater) {
    for (const char* name : {"quay.jpg", "other.jpg"})
        WriteJpeg(dir.file(name), 320, 200, Qt::darkCyan);
    std::ofstream(dir.file("data.csv"))
        << "photo,Title\nquay.jpg,Harbour at dawn\npier.jpg,Old pier\n";
    ASSERT_TRUE(OpenAndWait(*frame, Q(dir.file("quay.jpg"))));
    DocumentModel& model = *frame->model();
    model.addCaption(Band("{Title}"));
    Caption description;
    description.text = "{Title}";
    description.useTextAsDescription = true;
    model.addCaption(description);
    const QImage before = frame->imageControl()->grab().toImage();
    AnswerFileDialog(Q(dir.file("data.csv")));
    frame->runCommand(CommandId::LoadCaptionData);
    EXPECT_EQ(model.description(), "Harbour at dawn");
    EXPECT_NE(frame->imageControl()->grab().toImage(), before) << "the view shows the row at once";

    // The table stays for the session: each photo opened takes its row, and
    // a photo without one shows the columns empty.
    ASSERT_TRUE(OpenAndWait(*frame, Q(dir.file("other.jpg"))));
    EXPECT_EQ(model.description(), "");

    // A table that cannot be read changes nothing and says where it is wrong.
    std::ofstream(dir.file("bad.csv")) << "photo,Title\nother.jpg,\"open\n";
    QString message;
    AnswerMessageBox(&message);
    AnswerFileDialog(Q(dir.file("bad.csv")));
    frame->runCommand(CommandId::LoadCaptionData);
    EXPECT_TRUE(message.contains("bad.csv\": line 2")) << message.toStdString();
    ASSERT_TRUE(OpenAndWait(*frame, Q(dir.file("quay.jpg"))));
    EXPECT_EQ(model.description(), "Harbour at dawn");
}

} // namespace
