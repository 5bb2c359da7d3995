// Caption sets as files: the round trip, the defaults for missing members,
// the refusals with their reasons and values brought into range.
#include "captions/CaptionSetFile.h"
#include "tests/support/QtPaths.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using testing_support::Q;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

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
    const CaptionSetRead read = readCaptionSet(path);
    ASSERT_TRUE(read.ok) << read.message.toStdString();
    ExpectSameList(read.captions, written);

    // Line breaks are \n in the file, the words are the format's.
    const QByteArray json = captionSetToJson(written);
    EXPECT_TRUE(json.contains(R"("text": "Harbour festival {date}\nsecond line")")) << json.data();
    EXPECT_FALSE(json.contains(R"(\r)"));
    for (const char* word :
         {R"("top-band")", R"("bottom-band")", R"("on-image")", R"("#FFFFFF")", R"("#203040")",
          R"("percent")", R"("px")", R"("size": 24)", R"("fit": "shrink")"})
        EXPECT_TRUE(json.contains(word)) << word;
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
        SCOPED_TRACE(refused.json.left(80).data());
        const CaptionSetRead read = parseCaptionSet(refused.json, "/sets/mine.json");
        EXPECT_FALSE(read.ok);
        EXPECT_EQ(read.captions.count(), 0);
        EXPECT_TRUE(
            read.message.startsWith("Could not read the caption set \"/sets/mine.json\": ") &&
            read.message.contains(QString::fromUtf8(refused.reason)))
            << read.message.toStdString();
    }
    TempDir dir;
    const CaptionSetRead missing = readCaptionSet(Q(dir.file("none.json")));
    EXPECT_FALSE(missing.ok);
    EXPECT_TRUE(missing.message.contains("none.json")) << missing.message.toStdString();
    EXPECT_FALSE(readCaptionSet(Q(dir.path())).ok) << "a folder";
    // A failed write leaves the old file.
    WriteBytes(dir.file("set.json"), {'o', 'l', 'd'});
    const QString failure = writeCaptionSet(ThreeCaptions(), Q(dir.file("no/such/set.json")));
    EXPECT_TRUE(failure.startsWith("Could not save the caption set")) << failure.toStdString();
    EXPECT_EQ(ReadBytes(dir.file("set.json")), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
}
