#include <gtest/gtest.h>

#include "protocol/GbkText.h"

namespace {

TEST(GbkText, RoundTripsChineseAndAscii) {
    const struct {
        const char* utf8;
        const char* gbk;
    } cases[] = {
        {"a.bin", "a.bin"},
        {"中文.bin", "\xD6\xD0\xCE\xC4.bin"},
        {"英语第一册.bin", "\xD3\xA2\xD3\xEF\xB5\xDA\xD2\xBB\xB2\xE1.bin"},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(q8::Utf8ToGbk(c.utf8), c.gbk) << c.utf8;
        EXPECT_EQ(q8::GbkToUtf8(c.gbk), c.utf8) << c.utf8;
    }
}

TEST(GbkText, CutDoubleByteCharacterBecomesReplacementAndRestSurvives) {
    // A lead byte followed by '.' (not a trail byte), as a 12 + 4 cut leaves it.
    EXPECT_EQ(q8::GbkToUtf8("\xD6\xD0\xCE.bin"), "中\xEF\xBF\xBD.bin");
    // A lone lead byte at the very end.
    EXPECT_EQ(q8::GbkToUtf8("ab\xD6"), "ab\xEF\xBF\xBD");
}

TEST(GbkText, CharactersOutsideCodePage936BecomeQuestionMarks) {
    EXPECT_EQ(q8::Utf8ToGbk("a\xF0\x9F\x98\x80"
                            "b"),
              "a?b");  // an emoji
    EXPECT_EQ(q8::Utf8ToGbk("a\xFF"
                            "b"),
              "a?b");                             // invalid UTF-8
    EXPECT_EQ(q8::Utf8ToGbk("x\xE4\xB8"), "x?");  // cut sequence
}

}  // namespace
