#include "vemor/Packet.h"

#include <gtest/gtest.h>

#include <array>
#include <numeric>
#include <vector>

namespace vemor {
namespace {

TEST(Packet, TestPacketKnownAnswer) {
    std::array<std::uint8_t, TestPacketLength> p{};
    FillTestPacket(p);
    ASSERT_TRUE(CompletePacket(p.data()));
    const std::array<std::uint8_t, 13> expected{0x2B, 0x0D, 0x01, 0x08, 0x00, 0x01, 0x02,
                                                0x03, 0x04, 0x05, 0x06, 0x07, 0xA3};
    EXPECT_EQ(p, expected);
    EXPECT_EQ(std::accumulate(p.begin(), p.end(), 0u) % 256, 0u);
}

TEST(Packet, ChecksumKnownAnswers) {
    struct Case {
        std::vector<std::uint8_t> bytes; // checksum position included, value ignored
        std::uint8_t checksum;
    };
    const Case cases[] = {
        {{0x2B, 0x03, 0x55}, 0xD2},             // sum 0x2E
        {{0x2B, 0x04, 0xD1, 0x00}, 0x00},       // sum 0x100: multiple of 256
        {{0x2B, 0x05, 0xFF, 0xFE, 0x77}, 0xD3}, // sum 0x22D
    };
    for (Case c : cases) {
        ASSERT_TRUE(CompletePacket(c.bytes.data()));
        EXPECT_EQ(c.bytes.back(), c.checksum);
    }
}

TEST(Packet, BytesBeyondTheLengthAreIgnoredAndKept) {
    std::vector<std::uint8_t> p{0x2B, 0x04, 0x10, 0x00, 0xEE, 0xEE};
    ASSERT_TRUE(CompletePacket(p.data()));
    EXPECT_EQ(p[3], static_cast<std::uint8_t>(256 - (0x2B + 0x04 + 0x10)));
    EXPECT_EQ(p[4], 0xEE);
    EXPECT_EQ(p[5], 0xEE);
}

TEST(Packet, LengthBelowThreeIsRefusedUntouched) {
    for (std::uint8_t length : {0, 1, 2}) {
        std::array<std::uint8_t, 4> p{0x2B, length, 0x5A, 0x5A};
        const auto before = p;
        EXPECT_FALSE(CompletePacket(p.data()));
        EXPECT_EQ(p, before);
    }
}

TEST(Packet, LongestPacketSumsToZero) {
    std::vector<std::uint8_t> p(255);
    p[0] = 0x2B;
    p[1] = 255;
    for (std::size_t i = 2; i < 254; ++i) {
        p[i] = static_cast<std::uint8_t>(i * 31);
    }
    ASSERT_TRUE(CompletePacket(p.data()));
    EXPECT_EQ(std::accumulate(p.begin(), p.end(), 0u) % 256, 0u);
}

} // namespace
} // namespace vemor
