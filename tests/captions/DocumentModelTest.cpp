// The document model: one signal per change, the history of caption
// changes, the modified flag, the description a save carries and the
// working caption of an open caption dialog.
#include "document/DocumentModel.h"
#include "tests/support/ExifBuilder.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/TestPhotos.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

QImage Picture(int w, int h) {
    QImage picture(w, h, QImage::Format_RGB32);
    picture.fill(QColor(40, 90, 160));
    return picture;
}

Caption Text(const QString& text, bool asDescription = false) {
    Caption caption;
    caption.text = text;
    caption.useTextAsDescription = asDescription;
    return caption;
}

QStringList Texts(const DocumentModel& model) {
    QStringList texts;
    for (std::int32_t i = 0; i < model.document().captions.count(); ++i)
        texts << model.document().captions.at(i)->text;
    return texts;
}

using Counts = std::vector<qsizetype>;

// Every signal of the model, counted.
struct Spies {
    explicit Spies(DocumentModel& m)
        : spies{{&m, &DocumentModel::openFinished},   {&m, &DocumentModel::pictureChanged},
                {&m, &DocumentModel::captionAdded},   {&m, &DocumentModel::captionEdited},
                {&m, &DocumentModel::captionRemoved}, {&m, &DocumentModel::descriptionChanged},
                {&m, &DocumentModel::canvasChanged},  {&m, &DocumentModel::workingCaptionChanged},
                {&m, &DocumentModel::modifiedChanged}} {}
    // The counts in that order, read and then cleared.
    Counts take() {
        Counts counts;
        for (QSignalSpy& spy : spies) {
            counts.push_back(spy.count());
            spy.clear();
        }
        return counts;
    }
    QSignalSpy spies[9];
};

} // namespace

TEST(DocumentModel, EachChangeSignalsOnceWithWhatChangedAndTheCanvas) {
    TempDir dir;
    WriteBytes(dir.file("a.jpg"), JpegOf(Picture(64, 48), {DescriptionSegment("from the camera")}));
    DocumentModel model({"Add Caption", "Edit Caption", "Remove Caption", "Load Caption Set"});
    Spies spies(model);
    ASSERT_TRUE(model.open(Q(dir.file("a.jpg"))).ok);
    //                 open pic add edit rem desc canvas work mod
    EXPECT_EQ(spies.take(), Counts({1, 1, 0, 0, 0, 1, 1, 0, 0}));
    EXPECT_EQ(model.path(), Q(dir.file("a.jpg")));

    model.addCaption(Text("one"));
    EXPECT_EQ(spies.take(), Counts({0, 0, 1, 0, 0, 0, 1, 0, 1}));
    EXPECT_TRUE(model.isModified());
    model.addCaption(Text("two", true));
    EXPECT_EQ(spies.take(), Counts({0, 0, 1, 0, 0, 1, 1, 0, 0}));
    EXPECT_EQ(model.description(), "two");
    EXPECT_EQ(model.document().description, "from the camera") << "the photo's own is kept";

    model.editCaption(0, Text("one, edited"));
    EXPECT_EQ(spies.take(), Counts({0, 0, 0, 1, 0, 0, 1, 0, 0}));
    // An edit that changes nothing, and indices that name no caption, are
    // no change at all.
    model.editCaption(0, Text("one, edited"));
    model.editCaption(5, Text("x"));
    model.removeCaption(-1);
    model.removeCaption(2);
    EXPECT_EQ(spies.take(), Counts({0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(model.history()->count(), 3);

    QSignalSpy removedAt(&model, &DocumentModel::captionRemoved);
    model.removeCaption(1);
    EXPECT_EQ(spies.take(), Counts({0, 0, 0, 0, 1, 1, 1, 0, 0}));
    EXPECT_EQ(removedAt.takeFirst().at(0).toInt(), 1);
    EXPECT_EQ(model.description(), "from the camera") << "the photo's own comes back";
    EXPECT_EQ(Texts(model), QStringList{"one, edited"});

    // The caption dialog's working caption is shown without touching the
    // list or the history; the same one again is no change.
    const Caption working = Text("working", true);
    model.setWorkingCaption(working, -1);
    model.setWorkingCaption(working, -1);
    EXPECT_EQ(spies.take(), Counts({0, 0, 0, 0, 0, 0, 0, 1, 0}));
    const WorkingCaption shown = model.workingCaption();
    ASSERT_NE(shown.caption, nullptr);
    EXPECT_EQ(*shown.caption, working);
    EXPECT_EQ(shown.replaces, -1);
    EXPECT_EQ(model.description(), "from the camera") << "only what is listed is saved";
    EXPECT_EQ(savedDescription(model.document(), shown), "working");
    model.setWorkingCaption(working, 0);
    EXPECT_EQ(model.workingCaption().replaces, 0);
    model.clearWorkingCaption();
    model.clearWorkingCaption();
    EXPECT_EQ(spies.take(), Counts({0, 0, 0, 0, 0, 0, 0, 2, 0}));
    EXPECT_EQ(model.workingCaption().caption, nullptr);
    EXPECT_EQ(Texts(model), QStringList{"one, edited"});

    // A caption set replaces the list as one step: the last removed first.
    CaptionList set;
    set.append(Text("set one"));
    set.append(Text("set two", true));
    model.replaceCaptions(set);
    EXPECT_EQ(spies.take(), Counts({0, 0, 2, 0, 1, 1, 1, 0, 0}));
    EXPECT_EQ(Texts(model), QStringList({"set one", "set two"}));
    EXPECT_EQ(model.description(), "set two");
    EXPECT_EQ(model.history()->count(), 5);
    EXPECT_EQ(model.history()->undoText(), "Load Caption Set");
    model.history()->undo();
    EXPECT_EQ(Texts(model), QStringList{"one, edited"});
    EXPECT_EQ(model.description(), "from the camera");
}

TEST(DocumentModel, OpeningKeepsCaptionsAndHistoryAndMarksThemSavedWhileAFailureChangesNothing) {
    TempDir dir;
    DocumentModel model({"Add Caption", "Edit Caption", "Remove Caption"});
    WriteBytes(dir.file("a.jpg"), JpegOf(Picture(20, 10), {DescriptionSegment("first photo")}));
    ASSERT_TRUE(model.open(Q(dir.file("a.jpg"))).ok);
    model.addCaption(Text("kept"));
    ASSERT_TRUE(model.isModified());

    WriteBytes(dir.file("broken.jpg"), {0xFF, 0xD8, 0xFF});
    Spies spies(model);
    const PipelineResult failed = model.open(Q(dir.file("broken.jpg")));
    EXPECT_FALSE(failed.ok);
    EXPECT_TRUE(failed.message.startsWith("Could not open"));
    EXPECT_EQ(spies.take(), Counts({1, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(model.path(), Q(dir.file("a.jpg")));
    EXPECT_EQ(model.document().width(), 20u);
    EXPECT_TRUE(model.isModified());

    // Saving marks the captions saved; the next change marks them again.
    const QString saved = Q(dir.file("saved.jpg"));
    ASSERT_TRUE(model.save(saved).ok);
    EXPECT_EQ(spies.take(), Counts({0, 0, 0, 0, 0, 0, 0, 0, 1}));
    EXPECT_FALSE(model.isModified());
    model.addCaption(Text("after the save"));
    EXPECT_TRUE(model.isModified());

    // Another photo: its size and description, the same captions and history.
    ASSERT_TRUE(model.open(saved).ok);
    EXPECT_EQ(model.path(), saved);
    EXPECT_EQ(model.document().width(), 20u);
    EXPECT_EQ(model.document().description, "first photo") << "as the save carried it";
    EXPECT_EQ(Texts(model), QStringList({"kept", "after the save"}));
    EXPECT_FALSE(model.isModified());
    EXPECT_EQ(model.history()->count(), 2);
    model.history()->undo();
    EXPECT_EQ(Texts(model), QStringList{"kept"});
    EXPECT_TRUE(model.isModified());
}
