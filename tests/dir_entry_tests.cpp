#include <gtest/gtest.h>

#include <string>

#include "protocol/DirEntry.h"
#include "session/CartridgeRefresh.h"

namespace {

q8::DirEntry EntryWithName(const std::string& name16) {
    q8::DirEntry e = q8::DirEntry::Make("", q8::DirTime{2005, 3, 7, 9, 5, 0}, 1536);
    for (size_t i = 0; i < name16.size() && i < 16; ++i) {
        e.bytes[i] = static_cast<uint8_t>(name16[i]);
    }
    return e;
}

TEST(DirEntry, MakeLaysOutEveryField) {
    const q8::DirEntry e =
        q8::DirEntry::Make("a.bin", q8::DirTime{2005, 3, 7, 9, 5, 59}, 0x01020304);
    const uint8_t expected[32] = {'a',  '.',  'b',  'i',  'n',  0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                  0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 105,  3,    7,    9,    5,    59,
                                  0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x04, 0x03, 0x02, 0x01};
    for (size_t i = 0; i < 32; ++i) {
        EXPECT_EQ(e.bytes[i], expected[i]) << "byte " << i;
    }
    EXPECT_EQ(e.Size(), 0x01020304u);
    EXPECT_EQ(e.NameBytes(), "a.bin");
}

TEST(DirEntry, LongNamesKeepFirst12AndLast4Bytes) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"abcdefghijklmnop.bin", "abcdefghijkl.bin"},
        {"abcdefghijkl.bin", "abcdefghijkl.bin"},  // exactly 16: unchanged
        {"abcdefghijklm.bin", "abcdefghijkl.bin"},
        {"", ""},
        // A GBK name cut after byte 12 may split a double-byte character.
        {"\xD6\xD0\xCE\xC4\xD6\xD0\xCE\xC4\xD6\xD0\xCE\xC4\xD6.bin",
         "\xD6\xD0\xCE\xC4\xD6\xD0\xCE\xC4\xD6\xD0\xCE\xC4.bin"},
        {"x\xD6\xD0\xCE\xC4\xD6\xD0\xCE\xC4\xD6\xD0\xCE\xC4.bin",
         "x\xD6\xD0\xCE\xC4\xD6\xD0\xCE\xC4\xD6\xD0\xCE.bin"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(q8::CutDirName(c.in), c.out);
        const q8::DirEntry e = q8::DirEntry::Make(c.in, q8::DirTime{}, 0);
        EXPECT_EQ(e.NameBytes(), c.out);
    }
    const q8::DirEntry full = q8::DirEntry::Make("abcdefghijkl.bin", q8::DirTime{}, 0);
    for (size_t i = 0; i < 16; ++i) {
        EXPECT_NE(full.bytes[i], 0xFF) << i;
    }
}

TEST(DirEntry, ShownNameEndsAtFillZeroOrSixteenBytes) {
    EXPECT_EQ(EntryWithName("ABCDEFGHIJKLMNOP").NameBytes(), "ABCDEFGHIJKLMNOP");
    EXPECT_EQ(EntryWithName(std::string("AB\0CD", 5)).NameBytes(), "AB");
    EXPECT_EQ(EntryWithName("AB\xFF"
                            "CD")
                  .NameBytes(),
              "AB");
}

TEST(DirEntry, OnlyByteZeroMarksTheEnd) {
    q8::DirEntry e = EntryWithName("file.bin");
    EXPECT_FALSE(e.IsEndMarker());
    e.bytes[0] = 0xFF;
    EXPECT_TRUE(e.IsEndMarker());  // even though the rest looks like a file
    q8::DirEntry f;
    f.bytes.fill(0xFF);
    f.bytes[0] = 'x';
    EXPECT_FALSE(f.IsEndMarker());
}

TEST(CartridgeRow, DateWithoutLeadingZerosAndSizeText) {
    const q8::CartridgeRow row = q8::MakeCartridgeRow(EntryWithName("a.bin"));
    EXPECT_EQ(row.name, "a.bin");
    EXPECT_EQ(row.size, "1.50*8Kbits");
    EXPECT_EQ(row.modified, "2005-3-7 9:5");
}

TEST(CartridgeRow, GbkNameIsShownAsUtf8) {
    // "中文.bin" in code page 936.
    const q8::CartridgeRow row = q8::MakeCartridgeRow(EntryWithName("\xD6\xD0\xCE\xC4.bin"));
    EXPECT_EQ(row.name, "中文.bin");
}

}  // namespace
