#include "bitmap.h"

#include "bmp_builder.h"

#include <gtest/gtest.h>

namespace uninstall
{
namespace
{
using testing::BmpFields;
using testing::BuildBmp;

TEST(BitmapFileTest, AcceptsOnlyWhatLiesInsideTheFile)
{
    struct Case
    {
        const char* what;
        BmpFields fields;
        bool accepted;
        UINT colours;
    };
    const Case cases[] = {
        {"8 bits", {}, true, 256},
        {"1 bit", {.bits = 1}, true, 2},
        {"4 bits", {.bits = 4}, true, 16},
        {"24 bits", {.bits = 24}, true, 0},
        {"used colours", {.bits = 8, .coloursUsed = 7}, true, 7},
        {"top-down rows", {.height = -2}, true, 256},
        {"a longer header", {.headerSize = 108}, true, 256},
        {"16 bits", {.bits = 16}, false, 0},
        {"32 bits", {.bits = 32}, false, 0},
        {"compressed", {.compression = 1}, false, 0},
        {"a short header", {.headerSize = 12}, false, 0},
        {"too many colours", {.bits = 4, .coloursUsed = 17}, false, 0},
        {"a huge colour count", {.bits = 8, .coloursUsed = 0x40000000, .paletteEntries = 1}, false, 0},
        {"a palette cut short", {.bits = 8, .paletteEntries = 10, .pixelBytes = 0}, false, 0},
        {"pixels cut short", {.bits = 24, .pixelBytes = 11}, false, 0},
        {"no width", {.width = 0}, false, 0},
        {"no height", {.height = 0}, false, 0},
        {"a huge width", {.width = 0x7FFFFFFF, .bits = 24, .pixelBytes = 64}, false, 0},
    };
    for (const Case& c : cases)
    {
        auto parsed = ParseBitmapFile(BuildBmp(c.fields));
        ASSERT_EQ(parsed.has_value(), c.accepted) << c.what;
        if (!parsed)
            continue;
        EXPECT_EQ(parsed->colours, c.colours) << c.what;
        EXPECT_EQ(parsed->bitsOffset, c.fields.headerSize + 4 * c.colours) << c.what;
    }
}

TEST(BitmapFileTest, RefusesWhatIsNoBitmapFile)
{
    std::string good = BuildBmp({});
    std::string noMagic = good;
    noMagic[0] = 'X';
    EXPECT_TRUE(ParseBitmapFile(good));
    EXPECT_FALSE(ParseBitmapFile(noMagic));
    EXPECT_FALSE(ParseBitmapFile(good.substr(0, 30)));
    EXPECT_FALSE(ParseBitmapFile(""));
    EXPECT_FALSE(ParseBitmapFile("BM"));
}

} // namespace
} // namespace uninstall
