#include <gtest/gtest.h>

#include "pnm.h"

#include <string>

namespace
{
std::vector<std::uint8_t> Bytes(const std::string& header, std::vector<std::uint8_t> pixels = {})
{
    std::vector<std::uint8_t> b(header.begin(), header.end());
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
}
} // namespace

TEST(Pnm, ReadsColourAndGrayWithCommentsAndWideSamples)
{
    std::string error;
    auto ppm = demo::ReadPnm(Bytes("P6\n# made by hand\n2 1\n255\n", {255, 0, 0, 1, 2, 3}), error);
    ASSERT_TRUE(ppm) << error;
    EXPECT_EQ(ppm->width, 2);
    EXPECT_EQ(ppm->rgb, (std::vector<std::uint8_t>{255, 0, 0, 1, 2, 3}));

    auto pgm = demo::ReadPnm(Bytes("P5 2 1 65535\n", {0xFF, 0xFF, 0x80, 0x00}), error);
    ASSERT_TRUE(pgm) << error;
    EXPECT_EQ(pgm->rgb, (std::vector<std::uint8_t>{255, 255, 255, 128, 128, 128}));

    auto scaled = demo::ReadPnm(Bytes("P5 1 1 15\n", {15}), error);
    ASSERT_TRUE(scaled) << error;
    EXPECT_EQ(scaled->rgb[0], 255);
}

TEST(Pnm, DamagedFilesAreRefusedWithAReason)
{
    const struct
    {
        const char* name;
        std::vector<std::uint8_t> bytes;
        const char* reason;
    } cases[] = {
        {"empty", {}, "not a binary"},
        {"text PPM", Bytes("P3 1 1 255\n0 0 0\n"), "not a binary"},
        {"no size", Bytes("P6\n"), "damaged header"},
        {"no separator", Bytes("P5 1 1 255"), "damaged header"},
        {"zero width", Bytes("P5 0 1 255\n"), "out of range"},
        {"huge", Bytes("P5 100000 100000 255\n"), "out of range"},
        {"overlong number", Bytes("P5 1234567890123 1 255\n"), "damaged header"},
        {"maxval 0", Bytes("P5 1 1 0\n", {0}), "out of range"},
        {"maxval too large", Bytes("P5 1 1 70000\n", {0, 0}), "out of range"},
        {"cut short", Bytes("P6 2 2 255\n", {1, 2, 3}), "cut short"},
    };
    for (const auto& c : cases)
    {
        std::string error;
        EXPECT_FALSE(demo::ReadPnm(c.bytes, error)) << c.name;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.name << ": " << error;
    }
}
