#include "metadata/TextEncoding.h"

#include <gtest/gtest.h>

#include <string>

TEST(TextEncoding, OnlyWellFormedUtf8IsTakenForUtf8) {
    EXPECT_TRUE(isUtf8(""));
    EXPECT_TRUE(isUtf8("plain"));
    EXPECT_TRUE(isUtf8("\xC3\x87"
                       "a va \xE2\x9C\x93 \xE6\xB8\xAF \xF0\x9F\x98\x80"));
    EXPECT_TRUE(isUtf8("\xF4\x8F\xBF\xBF")) << "U+10FFFF, the last code point";
    for (const std::string& bad : std::initializer_list<std::string>{
             std::string("\xC0\xAF"),         // overlong '/'
             std::string("\xE0\x80\xAF"),     // overlong again
             std::string("\xED\xA0\x80"),     // a surrogate
             std::string("\xF4\x90\x80\x80"), // above U+10FFFF
             std::string("caf\xE9"),          // Latin-1
             std::string("\x80"),             // a lone continuation
             std::string("\xE2\x9C"),         // cut short
         }) {
        EXPECT_FALSE(isUtf8(bad)) << testing::PrintToString(bad);
    }
    bool truncated = false;
    EXPECT_EQ(utf8SequenceAt("\xE2\x9C", 0, truncated), 0);
    EXPECT_TRUE(truncated);
    EXPECT_EQ(utf8SequenceAt("a\xE2\x9C\x93", 1, truncated), 3);
    EXPECT_FALSE(truncated);
}

TEST(TextEncoding, Windows1252BecomesUtf8) {
    EXPECT_EQ(windows1252ToUtf8("\x93Joe\x92s\x94 caf\xE9 \x80"
                                "5"),
              "\xE2\x80\x9CJoe\xE2\x80\x99s\xE2\x80\x9D caf\xC3\xA9 \xE2\x82\xAC"
              "5");
    EXPECT_EQ(windows1252ToUtf8("\x81\xFF"), "\xC2\x81\xC3\xBF") << "unassigned, and the last";
    EXPECT_EQ(windows1252ToUtf8("ascii"), "ascii");
    EXPECT_TRUE(isUtf8(windows1252ToUtf8(std::string("\x00\x7F\x80\x9F\xA0\xFF", 6))));
}
