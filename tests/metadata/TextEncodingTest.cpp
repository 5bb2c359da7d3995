#include "metadata/TextEncoding.h"

#include <gtest/gtest.h>

#include <string>

// Text taken for UTF-8 is carried as it is; anything else is converted.
TEST(TextEncoding, OnlyWellFormedUtf8IsTakenForUtf8AndWindows1252BecomesUtf8) {
    EXPECT_TRUE(isUtf8("\xC3\x87"
                       "a va \xE2\x9C\x93 \xE6\xB8\xAF \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF"));
    // Overlong, a surrogate, above U+10FFFF, Latin-1, a lone continuation, cut short.
    for (const char* bad :
         {"\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "caf\xE9", "\x80", "\xE2\x9C"})
        EXPECT_FALSE(isUtf8(bad)) << testing::PrintToString(bad);
    bool truncated = false;
    EXPECT_EQ(utf8SequenceAt("a\xE2\x9C", 1, truncated), 0);
    EXPECT_TRUE(truncated);
    EXPECT_EQ(utf8SequenceAt("a\xE2\x9C\x93", 1, truncated), 3);
    EXPECT_FALSE(truncated);
    EXPECT_EQ(windows1252ToUtf8("\x93Joe\x92s\x94 caf\xE9 \x80"
                                "5\x81\xFF"),
              "\xE2\x80\x9CJoe\xE2\x80\x99s\xE2\x80\x9D caf\xC3\xA9 \xE2\x82\xAC"
              "5\xC2\x81\xC3\xBF");
    EXPECT_TRUE(isUtf8(windows1252ToUtf8(std::string("\x00\x7F\x80\x9F\xA0\xFF", 6))));
}
