// File, Save Caption Set and File, Load Caption Set through the window: the
// set written and read back, a load as one step of Undo, a damaged set
// refused with its message, and the window's save of a photo with a loaded
// set byte for byte what `lumora caption` writes.
#include "captions/CaptionSetFile.h"
#include "render/CaptionRenderer.h"
#include "resources/MainMenu.h"
#include "tests/app/FrameDriver.h"
#include "ui/ImageControl.h"

#include <QPushButton>

#include <fstream>

namespace fs = std::filesystem;
namespace ts = testing_support;

namespace {

Caption Band(const QString& text) {
    Caption caption;
    caption.text = text;
    caption.disposition = Disposition::BottomBand;
    caption.horizontalAlignment = HorizontalAlignment::Center;
    caption.textColor = 0xFFFFFFFF;
    caption.backgroundColor = 0xFF302010;
    return caption;
}

using CaptionSetMenu = WindowTest;

TEST_F(CaptionSetMenu, SavedSetLoadsBackAsOneStepAndADamagedOneChangesNothing) {
    WriteJpeg(dir.file("quay.jpg"), 320, 200, Qt::darkCyan);
    ASSERT_TRUE(OpenAndWait(*frame, Q(dir.file("quay.jpg"))));
    DocumentModel& model = *frame->model();
    model.addCaption(Band("Harbour festival"));
    model.addCaption(Band("Photo: A. Person"));

    FileDialogSeen seen;
    AnswerFileDialog(Q(dir.file("festival")), &seen);
    ASSERT_TRUE(frame->saveCaptionSet());
    EXPECT_EQ(seen.mode, QFileDialog::AcceptSave);
    EXPECT_TRUE(seen.nameFilters.value(0).contains("*.lumora-captions.json"))
        << seen.nameFilters.join(";").toStdString();
    const fs::path saved = dir.file("festival.lumora-captions.json");
    ASSERT_TRUE(fs::exists(saved)) << "the suffix is added";

    // The same name typed again names the set just saved: asked first; "No"
    // keeps the file (here the set with two captions, a third added since),
    // "Yes" replaces it (here a damaged file, with the two captions again).
    const std::vector<std::uint8_t> first = ts::ReadBytes(saved);
    model.addCaption(Band("One more"));
    for (const QMessageBox::StandardButton answer : {QMessageBox::No, QMessageBox::Yes}) {
        QString question;
        AnswerMessageBox(&question, answer);
        AnswerFileDialog(Q(dir.file("festival")));
        EXPECT_EQ(frame->saveCaptionSet(), answer == QMessageBox::Yes);
        EXPECT_EQ(question, "\"festival.lumora-captions.json\" already exists. Do you want to "
                            "replace it?");
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
    EXPECT_TRUE(frame->editButton()->isEnabled());
    model.history()->undo();
    ASSERT_EQ(model.document().captions.count(), 1);
    EXPECT_EQ(model.document().captions.at(0)->text, "Something else");
    model.history()->redo();

    // A set of a later version is refused with its name and why.
    std::ofstream(dir.file("later.lumora-captions.json"))
        << R"({"format": "lumora-captions", "version": 3, "captions": []})";
    QString message;
    AnswerMessageBox(&message);
    AnswerFileDialog(Q(dir.file("later.lumora-captions.json")));
    frame->runCommand(CommandId::LoadCaptionSet);
    EXPECT_TRUE(message.contains("later.lumora-captions.json")) << message.toStdString();
    EXPECT_TRUE(message.contains("version 3")) << message.toStdString();
    EXPECT_EQ(model.document().captions.count(), 2);
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
    for (const char* name : {"quay.jpg", "pier.jpg", "other.jpg"})
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
    QImage before(frame->imageControl()->size(), QImage::Format_RGB32);
    frame->imageControl()->paintView(before);
    const int steps = model.history()->count();

    AnswerFileDialog(Q(dir.file("data.csv")));
    frame->runCommand(CommandId::LoadCaptionData);
    EXPECT_EQ(model.description(), "Harbour at dawn");
    EXPECT_EQ(model.history()->count(), steps) << "not a step of the captions' history";
    // The view shows the row at once: what the caption written out shows.
    DocumentModel written;
    ASSERT_TRUE(written.open(Q(dir.file("quay.jpg"))).ok);
    written.addCaption(Band("Harbour at dawn"));
    EXPECT_EQ(renderCaptions(model.document()), renderCaptions(written.document()));
    QImage after(before.size(), QImage::Format_RGB32);
    frame->imageControl()->paintView(after);
    EXPECT_NE(after, before);

    // The table stays for the session: each photo opened takes its row, and
    // a photo without one shows the columns empty.
    ASSERT_TRUE(OpenAndWait(*frame, Q(dir.file("pier.jpg"))));
    EXPECT_EQ(model.description(), "Old pier");
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
