// The document model (signals, history, modified flag, description) and caption set files.
#include "document/DocumentModel.h"
#include "captions/CaptionSetFile.h"
#include "tests/support/ExifBuilder.h"
#include "tests/support/QtPaths.h"
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

    model.addCaption(Text("one"));
    EXPECT_EQ(spies.take(), Counts({0, 0, 1, 0, 0, 0, 1, 0, 1}));
    model.addCaption(Text("two", true));
    EXPECT_EQ(spies.take(), Counts({0, 0, 1, 0, 0, 1, 1, 0, 0}));
    EXPECT_TRUE(model.description() == "two" && model.document().description == "from the camera");

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
    EXPECT_TRUE(model.description() == "from the camera" &&
                Texts(model) == QStringList{"one, edited"});

    // The caption dialog's working caption is shown without touching the
    // list or the history; the same one again is no change.
    const Caption working = Text("working", true);
    model.setWorkingCaption(working, -1);
    model.setWorkingCaption(working, -1);
    EXPECT_EQ(spies.take(), Counts({0, 0, 0, 0, 0, 0, 0, 1, 0}));
    const WorkingCaption shown = model.workingCaption();
    ASSERT_TRUE(shown.caption != nullptr && *shown.caption == working && shown.replaces == -1);
    EXPECT_EQ(model.description(), "from the camera") << "only what is listed is saved";
    EXPECT_EQ(savedDescription(model.document(), shown), "working");
    model.clearWorkingCaption();
    EXPECT_EQ(spies.take(), Counts({0, 0, 0, 0, 0, 0, 0, 1, 0}));
    EXPECT_TRUE(model.workingCaption().caption == nullptr &&
                Texts(model) == QStringList{"one, edited"});

    // A caption set replaces the list as one step: the last removed first.
    CaptionList set;
    set.append(Text("set one"));
    set.append(Text("set two", true));
    model.replaceCaptions(set);
    EXPECT_EQ(spies.take(), Counts({0, 0, 2, 0, 1, 1, 1, 0, 0}));
    EXPECT_TRUE(Texts(model) == QStringList({"set one", "set two"}) &&
                model.description() == "set two");
    EXPECT_TRUE(model.history()->count() == 5 && model.history()->undoText() == "Load Caption Set");
    model.history()->undo();
    EXPECT_TRUE(Texts(model) == QStringList{"one, edited"} &&
                model.description() == "from the camera");
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
    EXPECT_FALSE(model.open(Q(dir.file("broken.jpg"))).ok);
    EXPECT_EQ(spies.take(), Counts({1, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(model.path() == Q(dir.file("a.jpg")) && model.document().width() == 20u &&
                model.isModified());

    // Saving marks the captions saved; the next change marks them again.
    const QString saved = Q(dir.file("saved.jpg"));
    ASSERT_TRUE(model.save(saved).ok);
    EXPECT_EQ(spies.take(), Counts({0, 0, 0, 0, 0, 0, 0, 0, 1}));
    model.addCaption(Text("after the save"));
    EXPECT_TRUE(model.isModified());

    // Another photo: its size and description, the same captions and history.
    ASSERT_TRUE(model.open(saved).ok);
    EXPECT_TRUE(model.path() == saved && model.document().width() == 20u &&
                model.document().description == "first photo" && !model.isModified());
    EXPECT_EQ(Texts(model), QStringList({"kept", "after the save"}));
    model.history()->undo();
    EXPECT_TRUE(Texts(model) == QStringList{"kept"} && model.isModified());
}

namespace {

CaptionList Captions(std::initializer_list<Caption> captions) {
    CaptionList list;
    for (const Caption& caption : captions)
        list.append(caption);
    return list;
}

// Every member away from its default in one of the three.
CaptionList ThreeCaptions() {
    Caption band;
    band.text = "Harbour festival {date}\r\nsecond line";
    band.disposition = Disposition::TopBand;
    band.horizontalAlignment = HorizontalAlignment::Center;
    band.font.setFaceName("DejaVu Sans");
    band.font.weight = 700;
    band.sizePercent = 4;
    band.textColor = 0xFFFFFFFF;
    band.backgroundColor = 0xFF403020;
    band.fit = TextFit::Shrink;
    Caption credit;
    credit.text = "Photo: A. Person";
    credit.disposition = Disposition::BottomBand;
    credit.horizontalAlignment = HorizontalAlignment::Right;
    credit.verticalAlignment = VerticalAlignment::Bottom;
    credit.sizeUnit = SizeUnit::Pixels;
    credit.font.height = -24;
    credit.font.italic = credit.font.underline = credit.font.strikeOut = 1;
    credit.marginLeft = 5;
    credit.marginTop = 6;
    credit.marginRight = 7;
    credit.marginBottom = 8;
    credit.useTextAsDescription = true;
    Caption boxed;
    boxed.text = "On the quay";
    boxed.verticalAlignment = VerticalAlignment::Center;
    boxed.useDescriptionAsText = true;
    boxed.outline = {true, 1.5, SizeUnit::PercentOfPicture, 0x00123456};
    boxed.shadow = {true, -2, 5, 3.5, 0x00654321, 40};
    boxed.box = {true, 0x00ABCDEF, 70, 12};
    return Captions({band, credit, boxed});
}

void ExpectSameList(const CaptionList& read, const CaptionList& written) {
    ASSERT_EQ(read.count(), written.count());
    for (std::int32_t i = 0; i < written.count(); ++i)
        EXPECT_EQ(*read.at(i), *written.at(i)) << "caption " << i;
}

QByteArray SetWith(const QByteArray& caption) {
    return R"({"format": "lumora-captions", "version": 1, "captions": [)" + caption + "]}";
}

} // namespace

TEST(CaptionSetFile, SavedSetLoadsAsTheSameList) {
    TempDir dir;
    const CaptionList written = ThreeCaptions();
    const QString path = Q(dir.file("festival.lumora-captions.json"));
    ASSERT_EQ(writeCaptionSet(written, path), QString());
    ExpectSameList(readCaptionSet(path).captions, written);

    // Line breaks are \n in the file, colours #RRGGBB (the words read back
    // are pinned by the hand-written sets below).
    const QByteArray json = captionSetToJson(written);
    EXPECT_TRUE(json.contains(R"("text": "Harbour festival {date}\nsecond line")") &&
                !json.contains(R"(\r)") && json.contains(R"("#203040")"))
        << json.data();
}

TEST(CaptionSetFile, MissingMembersTakeTheDefaultsUnknownOnesAreIgnoredAndNumbersAreBounded) {
    const CaptionSetRead read = parseCaptionSet(
        SetWith(R"({"text": "a\nb", "comment": "mine", "font": {"bold": true, "shade": 3}},
                   {"font": {"size": 0}, "margins": {"left": 4294967296, "top": -3,
                    "right": 1e300, "bottom": 2.6}},
                   {"font": {"size": 1e9, "sizeUnit": "px"},
                    "box": {"opacity": 1000, "padding": 1e12},
                    "shadow": {"offsetX": -1e12, "opacity": -4}})"),
        "hand.json");
    ASSERT_TRUE(read.ok) << read.message.toStdString();
    Caption plain;
    plain.text = "a\r\nb";
    plain.font.weight = 700;
    Caption small;
    small.sizePercent = 0.1;
    small.marginLeft = small.marginRight = 65535;
    small.marginBottom = 3;
    Caption large;
    large.sizeUnit = SizeUnit::Pixels;
    large.font.height = -65535;
    large.box.opacity = 100;
    large.box.padding = 65535;
    large.shadow.offsetX = -65535;
    large.shadow.opacity = 0;
    ExpectSameList(read.captions, Captions({plain, small, large}));
    EXPECT_EQ(parseCaptionSet(SetWith(""), "empty.json").captions.count(), 0);
}

TEST(CaptionSetFile, OtherFilesLaterVersionsAndDamagedSetsAreRefusedWithTheReason) {
    const struct {
        QByteArray json;
        const char* reason;
    } cases[] = {
        {R"({"format": "lumora-captions", "version": 1, "captions": [)", "not valid JSON"},
        {R"({"format": "lumora-captions", "version": 2, "captions": []})",
         "version 2 of the format, and this program reads up to version 1"},
        {SetWith("3"), "caption 1 must be an object"},
        {SetWith(R"({}, {"disposition": "left-band"})"),
         "in caption 2, \"disposition\" is \"left-band\"; it must be one of on-image, top-band, "
         "bottom-band"},
        {SetWith(R"({"textColor": "red"})"),
         "\"textColor\" is \"red\"; a colour is written #RRGGBB"},
        {SetWith(R"({"font": {"size": "big"}})"), "\"font\".\"size\" must be a number"},
    };
    for (const auto& refused : cases) {
        SCOPED_TRACE(refused.json.left(80).data());
        const CaptionSetRead read = parseCaptionSet(refused.json, "/sets/mine.json");
        EXPECT_TRUE(
            !read.ok && read.captions.count() == 0 &&
            read.message.startsWith("Could not read the caption set \"/sets/mine.json\": ") &&
            read.message.contains(QString::fromUtf8(refused.reason)))
            << read.message.toStdString();
    }
    TempDir dir;
    const CaptionSetRead missing = readCaptionSet(Q(dir.file("none.json")));
    EXPECT_TRUE(!missing.ok && missing.message.contains("none.json"));
    EXPECT_FALSE(readCaptionSet(Q(dir.path())).ok) << "a folder";
    // A failed write leaves the old file.
    WriteBytes(dir.file("set.json"), {'o', 'l', 'd'});
    const QString failure = writeCaptionSet(ThreeCaptions(), Q(dir.file("no/such/set.json")));
    EXPECT_TRUE(failure.startsWith("Could not save the caption set")) << failure.toStdString();
    EXPECT_EQ(ReadBytes(dir.file("set.json")), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
}
