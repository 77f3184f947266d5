#include <gtest/gtest.h>

#include "protocol/Frames.h"
#include "session/FormatSize.h"

namespace {

struct SizeCase {
    uint32_t bytes;
    const char* text;
};

TEST(FormatSize, UnitBoundariesAndRounding) {
    // The device's figures are unsigned: 2 GiB and more is no negative count.
    const SizeCase cases[] = {
        {0, "0*8bits"},
        {1023, "1023*8bits"},
        {1024, "1.00*8Kbits"},
        {1536, "1.50*8Kbits"},
        {65536, "64.00*8Kbits"},
        {1048575, "1024.00*8Kbits"},
        {1048576, "1.00*8Mbits"},
        {4194304, "4.00*8Mbits"},
        {2147483647, "2048.00*8Mbits"},
        {2147483648u, "2048.00*8Mbits"},
        {4000000000u, "3814.70*8Mbits"},
        {0xFFFFFFFBu, "4096.00*8Mbits"},
    };
    for (const SizeCase& c : cases) {
        EXPECT_EQ(q8::FormatSize(c.bytes), c.text) << c.bytes;
        EXPECT_EQ(q8::FormatSize64(c.bytes), c.text) << c.bytes;
    }
    // Host files past 2 GiB keep their true size.
    EXPECT_EQ(q8::FormatSize64(3221225472u), "3072.00*8Mbits");
    EXPECT_EQ(q8::FormatSize64(5368709120u), "5120.00*8Mbits");
}

TEST(Arithmetic, BlockCountRoundsUpToWholeBlocks) {
    const uint32_t cases[][2] = {{0, 0},
                                 {1, 1},
                                 {511, 1},
                                 {512, 1},
                                 {513, 2},
                                 {1024, 2},
                                 {1025, 3},
                                 {0x7FFFFFFF, 0x400000},
                                 {0xFFFFFFFFu, 0x800000}};
    for (const auto& c : cases) {
        EXPECT_EQ(q8::BlockCount(c[0]), c[1]) << c[0];
    }
}

TEST(Arithmetic, FootprintRoundsUpTo16KiB) {
    const uint64_t cases[][2] = {{0, 0},         {1, 16384},     {16384, 16384},
                                 {16385, 32768}, {32768, 32768}, {4294967295u, 4294967296u}};
    for (const auto& c : cases) {
        EXPECT_EQ(q8::CartridgeFootprint(c[0]), c[1]) << c[0];
    }
}

TEST(Arithmetic, FrameLengthsOfEveryCommand) {
    EXPECT_EQ(q8::FrameLength(q8::CMD_HELLO), 2u);
    EXPECT_EQ(q8::FrameLength(q8::CMD_FORMAT), 4u);
    EXPECT_EQ(q8::FrameLength(q8::CMD_DOWNLOAD_BEGIN), 6u);
    EXPECT_EQ(q8::FrameLength(q8::CMD_DOWNLOAD_BLOCK), 516u);
    EXPECT_EQ(q8::FrameLength(q8::CMD_DOWNLOAD_ENTRY), 34u);
    EXPECT_EQ(q8::FrameLength(q8::CMD_BATCH_END), 2u);
    EXPECT_EQ(q8::FrameLength(0x81), 0u);
    EXPECT_EQ(q8::FrameLength(0x00), 0u);
}

}  // namespace
