#include "captions/CaptionList.h"

#include <gtest/gtest.h>

TEST(CaptionList, IndicesFollowTheOrderOfAddingAndOutOfRangeDoesNothing) {
    LogFont font;
    font.setFaceName(QString(40, 'F'));
    EXPECT_EQ(font.faceName.size(), 31) << "a face name keeps at most 31 characters";

    CaptionList list;
    for (const char* text : {"one", "two", "three"}) {
        Caption caption;
        caption.text = text;
        list.append(caption);
    }
    const Caption* third = list.at(2);
    list.removeAt(-1);
    list.removeAt(3);
    ASSERT_EQ(list.count(), 3);
    EXPECT_EQ(list.at(-1), nullptr);
    EXPECT_EQ(list.at(3), nullptr);
    list.removeAt(1);
    ASSERT_EQ(list.count(), 2);
    EXPECT_EQ(list.at(1), third) << "later captions move up and stay where they were";
    EXPECT_EQ(list.at(1)->text, "three");

    Caption edited = *list.at(0);
    edited.text = "ONE";
    edited.disposition = 'x'; // kept as it is
    list.replaceAt(0, edited);
    list.replaceAt(5, edited);
    EXPECT_TRUE(*list.at(0) == edited);
    EXPECT_EQ(list.count(), 2);
    list.removeAt(0);
    list.removeAt(0);
    EXPECT_EQ(list.count(), 0);
}
