#include "captions/DescriptionText.h"

#include <gtest/gtest.h>

#include <string>

TEST(Description, BytesDecodeAsUtf8WithWindows1252ForTheRest) {
    EXPECT_EQ(decodeDescription("plain"), "plain");
    EXPECT_EQ(decodeDescription("\xE6\x9D\xB1\xE4\xBA\xAC"), QString::fromUtf8("東京"));
    EXPECT_EQ(decodeDescription("\x80 \x93quoted\x94 \xE9"), QString::fromUtf8("€ “quoted” é"));
    // Broken or overlong sequences fall back byte by byte; nothing is lost.
    EXPECT_EQ(decodeDescription("\xC3\x28"), QString::fromUtf8("Ã("));
    EXPECT_EQ(decodeDescription("\xC0\xAF"), QString::fromUtf8("À¯"));
    EXPECT_EQ(decodeDescription("\xED\xA0\x80"), QString::fromUtf8("í\u00A0€"));
    EXPECT_EQ(decodeDescription("\xF0\x9F\x98\x80!"), QString::fromUtf8("😀!"));
    EXPECT_EQ(decodeDescription("\x81\x8D"), QString(QChar(0x81)) + QChar(0x8D));
    // A sequence cut at the end is dropped only when the reader cut the text.
    EXPECT_EQ(decodeDescription("ab\xE6\x9D", true), "ab");
    EXPECT_EQ(decodeDescription("ab\xE6\x9D", false), QString::fromUtf8("abæ\u009D"));
    EXPECT_EQ(decodeDescription(std::string_view("a\0b", 3)), "a");
}

TEST(Description, StoredBytesAreUtf8CutAtACharacterToFitOneSegment) {
    EXPECT_EQ(encodeDescription(QString::fromUtf8("Café")), QByteArray("Caf\xC3\xA9"));
    EXPECT_EQ(encodeDescription(QString("ab") + QChar(0) + "cd"), QByteArray("ab"));
    // 65499 ASCII bytes then a 3-byte character: it does not fit, so it goes.
    const QString straddling = QString(65499, 'a') + QString::fromUtf8("東");
    EXPECT_EQ(encodeDescription(straddling).size(), 65499);
    const QString fitting = QString(65497, 'a') + QString::fromUtf8("東");
    EXPECT_EQ(encodeDescription(fitting).size(), kMaxDescriptionBytes);
}
