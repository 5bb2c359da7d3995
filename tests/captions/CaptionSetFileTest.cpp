// Caption sets as files: the round trip, the defaults for missing members,
// the refusals with their reasons, values brought into range, and loading
// a set into the document model as one step.
#include "captions/CaptionSetFile.h"
#include "document/DocumentModel.h"
#include "tests/support/QtPaths.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/TestSupport.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using testing_support::Q;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

namespace {

CaptionList ThreeCaptions() {
    CaptionList list;
    Caption band;
    band.text = "Harbour festival {date}\r\nsecond line";
    band.disposition = Disposition::TopBand;
    band.horizontalAlignment = HorizontalAlignment::Center;
    band.font.setFaceName("DejaVu Sans");
    band.font.weight = 700;
    band.sizePercent = 4;
    band.textColor = 0xFFFFFFFF;
    band.backgroundColor = 0xFF403020;
    list.append(band);

    Caption credit;
    credit.text = "Photo: A. Person";
    credit.disposition = Disposition::BottomBand;
    credit.horizontalAlignment = HorizontalAlignment::Right;
    credit.verticalAlignment = VerticalAlignment::Bottom;
    credit.sizeUnit = SizeUnit::Pixels;
    credit.font.height = -24;
    credit.font.italic = 1;
    credit.font.underline = 1;
    credit.font.strikeOut = 1;
    credit.marginLeft = 5;
    credit.marginTop = 6;
    credit.marginRight = 7;
    credit.marginBottom = 8;
    credit.useTextAsDescription = true;
    list.append(credit);

    Caption boxed;
    boxed.text = "On the quay";
    boxed.verticalAlignment = VerticalAlignment::Center;
    boxed.useDescriptionAsText = true;
    boxed.outline = {true, 1.5, SizeUnit::PercentOfPicture, 0x00123456};
    boxed.shadow = {true, -2, 5, 3.5, 0x00654321, 40};
    boxed.box = {true, 0x00ABCDEF, 70, 12};
    list.append(boxed);
    return list;
}

void ExpectSameList(const CaptionList& read, const CaptionList& written) {
    ASSERT_EQ(read.count(), written.count());
    for (std::int32_t i = 0; i < written.count(); ++i)
        EXPECT_TRUE(*read.at(i) == *written.at(i)) << "caption " << i;
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
    const CaptionSetRead read = readCaptionSet(path);
    ASSERT_TRUE(read.ok) << read.message.toStdString();
    ExpectSameList(read.captions, written);

    // Line breaks are \n in the file, the words are the format's.
    const QByteArray json = captionSetToJson(written);
    EXPECT_TRUE(json.contains(R"("text": "Harbour festival {date}\nsecond line")")) << json.data();
    EXPECT_FALSE(json.contains(R"(\r)"));
    for (const char* word : {R"("top-band")", R"("bottom-band")", R"("on-image")", R"("#FFFFFF")",
                             R"("#203040")", R"("percent")", R"("px")", R"("size": 24)"})
        EXPECT_TRUE(json.contains(word)) << word;
}

TEST(CaptionSetFile, MissingMembersTakeTheDefaultsAndUnknownOnesAreIgnored) {
    const CaptionSetRead read = parseCaptionSet(
        SetWith(R"({"text": "a\nb", "comment": "mine", "font": {"bold": true, "shade": 3}})"),
        "hand.json");
    ASSERT_TRUE(read.ok) << read.message.toStdString();
    Caption expected;
    expected.text = "a\r\nb";
    expected.font.weight = 700;
    ASSERT_EQ(read.captions.count(), 1);
    EXPECT_TRUE(*read.captions.at(0) == expected);
    EXPECT_EQ(parseCaptionSet(SetWith(""), "empty.json").captions.count(), 0);
}

TEST(CaptionSetFile, AbsurdNumbersAreBroughtIntoRange) {
    const CaptionSetRead read =
        parseCaptionSet(SetWith(R"({"font": {"size": 0}, "margins": {"left": 4294967296, "top": -3,
                    "right": 1e300, "bottom": 2.6}},
                   {"font": {"size": 1e9, "sizeUnit": "px"},
                    "box": {"opacity": 1000, "padding": 1e12},
                    "shadow": {"offsetX": -1e12, "opacity": -4}})"),
                        "absurd.json");
    ASSERT_TRUE(read.ok) << read.message.toStdString();
    const Caption& first = *read.captions.at(0);
    EXPECT_DOUBLE_EQ(first.sizePercent, 0.1);
    EXPECT_EQ(first.marginLeft, 65535);
    EXPECT_EQ(first.marginTop, 0);
    EXPECT_EQ(first.marginRight, 65535);
    EXPECT_EQ(first.marginBottom, 3);
    const Caption& second = *read.captions.at(1);
    EXPECT_EQ(second.sizeUnit, SizeUnit::Pixels);
    EXPECT_EQ(second.font.height, -65535);
    EXPECT_EQ(second.box.opacity, 100);
    EXPECT_EQ(second.box.padding, 65535);
    EXPECT_EQ(second.shadow.offsetX, -65535);
    EXPECT_EQ(second.shadow.opacity, 0);
}

TEST(CaptionSetFile, OtherFilesLaterVersionsAndDamagedSetsAreRefusedWithTheReason) {
    const struct {
        QByteArray json;
        const char* reason;
    } cases[] = {
        {R"({"format": "lumora-captions", "version": 1, "captions": [)", "not valid JSON"},
        {"\xFF\xD8\xFF\xE0 a photo", "not valid JSON"},
        {R"({"name": "package.json"})", "not a Lumora caption set"},
        {R"([1, 2])", "not a Lumora caption set"},
        {R"({"format": "lumora-captions", "version": 2, "captions": []})",
         "version 2 of the format, and this program reads up to version 1"},
        {R"({"format": "lumora-captions", "version": "1", "captions": []})", "\"version\""},
        {R"({"format": "lumora-captions", "version": 1})", "\"captions\" must be a list"},
        {SetWith("3"), "caption 1 must be an object"},
        {SetWith(R"({}, {"disposition": "left-band"})"),
         "in caption 2, \"disposition\" is \"left-band\"; it must be one of on-image, top-band, "
         "bottom-band"},
        {SetWith(R"({"textColor": "red"})"),
         "\"textColor\" is \"red\"; a colour is written #RRGGBB"},
        {SetWith(R"({"font": {"size": "big"}})"), "\"font\".\"size\" must be a number"},
        {SetWith(R"({"font": {"sizeUnit": "pt"}})"), "one of percent, px"},
        {SetWith(R"({"box": {"enabled": 1}})"), "\"box\".\"enabled\" must be true or false"},
        {SetWith(R"({"margins": 4})"), "\"margins\" must be an object"},
    };
    for (const auto& refused : cases) {
        const CaptionSetRead read = parseCaptionSet(refused.json, "/sets/mine.json");
        EXPECT_FALSE(read.ok) << refused.json.data();
        EXPECT_EQ(read.captions.count(), 0);
        EXPECT_TRUE(read.message.startsWith("Could not read the caption set \"/sets/mine.json\": "))
            << read.message.toStdString();
        EXPECT_TRUE(read.message.contains(QString::fromUtf8(refused.reason)))
            << read.message.toStdString();
    }
    TempDir dir;
    const CaptionSetRead missing = readCaptionSet(Q(dir.file("none.json")));
    EXPECT_FALSE(missing.ok);
    EXPECT_TRUE(missing.message.contains("none.json")) << missing.message.toStdString();
    EXPECT_FALSE(readCaptionSet(Q(dir.path())).ok) << "a folder";
}

TEST(CaptionSetFile, AFailedWriteLeavesTheOldFile) {
    TempDir dir;
    const auto path = dir.file("set.json");
    WriteBytes(path, {'o', 'l', 'd'});
    const QString failure = writeCaptionSet(ThreeCaptions(), Q(dir.file("no/such/set.json")));
    EXPECT_TRUE(failure.startsWith("Could not save the caption set")) << failure.toStdString();
    EXPECT_EQ(ReadBytes(path), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
}

TEST(CaptionSetFile, LoadingIntoTheModelReplacesTheListAsOneStep) {
    DocumentModel model({"Add Caption", "Edit Caption", "Remove Caption", "Load Caption Set"});
    Caption own;
    own.text = "mine";
    model.addCaption(own);
    model.addCaption(own);
    QSignalSpy removed(&model, &DocumentModel::captionRemoved);
    QSignalSpy added(&model, &DocumentModel::captionAdded);
    QSignalSpy canvas(&model, &DocumentModel::canvasChanged);
    QSignalSpy description(&model, &DocumentModel::descriptionChanged);

    const CaptionList set = ThreeCaptions();
    model.replaceCaptions(set);
    ExpectSameList(model.document().captions, set);
    EXPECT_EQ(model.history()->count(), 3);
    EXPECT_EQ(model.history()->undoText(), "Load Caption Set");
    EXPECT_EQ(removed.count(), 2);
    EXPECT_EQ(removed.at(0).at(0).toInt(), 1) << "the last first";
    EXPECT_EQ(added.count(), 3);
    EXPECT_EQ(canvas.count(), 1);
    EXPECT_EQ(description.count(), 1) << "the credit is the description now";
    EXPECT_EQ(model.description(), "Photo: A. Person");

    model.history()->undo();
    ASSERT_EQ(model.document().captions.count(), 2);
    EXPECT_EQ(model.document().captions.at(1)->text, "mine");
    model.history()->redo();
    ExpectSameList(model.document().captions, set);
}
