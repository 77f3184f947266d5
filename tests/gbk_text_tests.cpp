#include <gtest/gtest.h>

#include "host/GbkText.h"

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

// Bytes that are no character cost the same characters on every platform,
// and the rest of the name still shows.
TEST(GbkText, BadBytesBecomeReplacementsAlike) {
    const struct {
        const char* gbk;
        const char* utf8;
    } cases[] = {
        // A lead byte followed by '.' (not a trail byte), as a 12 + 4 cut leaves it.
        {"\xD6\xD0\xCE.bin", "中\uFFFD.bin"},
        // A lone lead byte at the very end.
        {"ab\xD6", "ab\uFFFD"},
        // A pair the table lacks is one character: its trail byte does not
        // start another with the 'g'.
        {"\xA2\xE3gbk", "\uFFFDgbk"},
        // A user-defined pair: private use on Windows, nothing for iconv.
        {"\xAA\xA1x", "\uFFFDx"},
        // DEL and 0xFF trail no lead byte, and a GB18030 four-byte sequence
        // is not code page 936: the byte after the lead is read afresh.
        {"\x81\x7F", "\uFFFD\x7F"},
        {"\x81\xFF", "\uFFFD\uFFFD"},
        {"\x81\x30\x81\x30", "\uFFFD0\uFFFD0"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(q8::GbkToUtf8(c.gbk), c.utf8) << c.utf8;
    }
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

// The page's encoder, built from the decoder's table, writes the system
// encoder's bytes for every character code page 936 has, and the same '?'
// for what it lacks and for bad UTF-8.
TEST(GbkText, TableEncoderWritesWhatTheSystemEncoderWrites) {
    std::string every;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            const std::string utf8 =
                q8::GbkToUtf8({static_cast<char>(lead), static_cast<char>(trail)});
            if (utf8.find("\xEF\xBF\xBD") == std::string::npos) {  // no U+FFFD
                every += utf8;
            }
        }
    }
    const std::string cases[] = {
        every,
        "a.bin ~!@#$%^&*()_+{}|:<>?",
        "a\xF0\x9F\x98\x80"
        "b",  // an emoji
        "a\xFF"
        "b",          // invalid UTF-8
        "x\xE4\xB8",  // cut sequence
        "\xE4\x41\x42"
        "c",                     // a lead without its continuations
        "\xC0\xAF\xE0\x80\xAF",  // overlong forms of '/'
        "\xED\xA0\x80",          // a surrogate
    };
    for (const std::string& text : cases) {
        EXPECT_EQ(q8::Utf8ToGbkByTable(text), q8::Utf8ToGbk(text)) << text.substr(0, 40);
    }
}

}  // namespace
