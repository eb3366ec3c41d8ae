#include <gtest/gtest.h>

#include "kgl_format.h"

#include <array>
#include <cstdint>

namespace
{
// The pair layout written out by hand: the first code's low byte, its high nibble under the second's
// low nibble, then the second's high byte.
TEST(KglFormat, CodePairsPackAsThreeLittleEndianBytes)
{
    struct Pair
    {
        std::uint32_t first, second;
        std::array<std::uint8_t, 3> bytes;
    };
    constexpr Pair kPairs[] = {
        {0x123, 0x456, {0x23, 0x61, 0x45}},     {0x000, 0xFFF, {0x00, 0xF0, 0xFF}},
        {0xFFF, 0x000, {0xFF, 0x0F, 0x00}},     {kgl::kCodeControl, kgl::kControlClear, {0x01, 0x01, 0x00}},
        {kgl::kCodeEnd, 0, {0x02, 0x01, 0x00}},
    };
    for (const Pair& p : kPairs)
    {
        SCOPED_TRACE(testing::Message() << std::hex << p.first << ' ' << p.second);
        const auto bytes = kgl::PackCodePair(p.first, p.second);
        EXPECT_EQ(bytes, p.bytes);
        EXPECT_EQ(kgl::FirstCode(bytes[0], bytes[1]), p.first);
        EXPECT_EQ(kgl::SecondCode(bytes[1], bytes[2]), p.second);
    }
}

TEST(KglFormat, RunCodesLieBetweenTheEndCodeAndTheFirstEntry)
{
    EXPECT_FALSE(kgl::IsRunCode(kgl::kCodeEnd));
    EXPECT_TRUE(kgl::IsRunCode(kgl::kCodeEnd + 1));
    EXPECT_EQ(kgl::kCodeEnd + 1 - kgl::kCodeRunBase, 2u) << "the shortest run is two words";
    EXPECT_TRUE(kgl::IsRunCode(kgl::kCodeLongRun));
    EXPECT_FALSE(kgl::IsRunCode(kgl::kFirstEntry));
}
} // namespace
