#include "captions/CaptionList.h"

#include <gtest/gtest.h>

TEST(CaptionList, DefaultCaptionIsPlainBlackArialOnWhiteOverTheImage) {
    const Caption caption;
    EXPECT_TRUE(caption.text.isEmpty());
    EXPECT_EQ(caption.font.faceName, "Arial");
    EXPECT_EQ(caption.font.height, -14);
    EXPECT_EQ(caption.font.weight, 400);
    EXPECT_EQ(caption.font.charSet, 1);
    EXPECT_EQ(caption.font.quality, 2);
    EXPECT_FALSE(caption.font.italic || caption.font.underline || caption.font.strikeOut);
    EXPECT_EQ(caption.textColor, 0xFF000000u);
    EXPECT_EQ(caption.backgroundColor, 0xFFFFFFFFu);
    EXPECT_EQ(caption.marginLeft | caption.marginTop | caption.marginRight | caption.marginBottom,
              0);
    EXPECT_FALSE(caption.useTextAsDescription || caption.useDescriptionAsText);
    EXPECT_EQ(caption.horizontalAlignment, 'l');
    EXPECT_EQ(caption.verticalAlignment, 't');
    EXPECT_EQ(caption.disposition, 'i');

    LogFont font;
    font.setFaceName(QString(40, 'F'));
    EXPECT_EQ(font.faceName.size(), 31);
}

TEST(CaptionList, IndicesFollowTheOrderOfAddingAndOutOfRangeDoesNothing) {
    CaptionList list;
    for (const char* text : {"one", "two", "three"}) {
        Caption caption;
        caption.text = text;
        list.append(caption);
    }
    ASSERT_EQ(list.count(), 3);
    const Caption* third = list.at(2);
    list.removeAt(-1);
    list.removeAt(3);
    EXPECT_EQ(list.count(), 3);
    EXPECT_EQ(list.at(-1), nullptr);
    EXPECT_EQ(list.at(3), nullptr);

    list.removeAt(1);
    ASSERT_EQ(list.count(), 2);
    EXPECT_EQ(list.at(1), third) << "later captions move up and stay where they were";
    EXPECT_EQ(list.at(1)->text, "three");

    Caption edited = *list.at(0);
    edited.text = "ONE";
    edited.font.weight = 700;
    edited.disposition = 'x'; // kept as it is
    list.replaceAt(0, edited);
    list.replaceAt(5, edited);
    EXPECT_EQ(*list.at(0), edited);
    EXPECT_EQ(list.count(), 2);

    list.removeAt(0);
    list.removeAt(0);
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.at(0), nullptr);
}
