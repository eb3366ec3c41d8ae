#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <random>
#include <vector>

#include "halftone.h"

using namespace velmoq7;

namespace
{

bool Dot(const std::vector<std::uint8_t>& bits, int x)
{
    return (bits[x / 8] >> (7 - x % 8)) & 1;
}

GammaCurve Identity()
{
    GammaCurve g{};
    std::iota(g.begin(), g.end(), std::uint16_t{0});
    return g;
}

// Converts one gray line; out is pre-filled with a marker so bytes written by mistake show.
std::vector<std::uint8_t> ToBits(const HalftoneContext& ctx, std::vector<std::uint16_t>& gray, int lineNumber,
                                 std::size_t outBytes = 0)
{
    const int n = int(gray.size());
    std::vector<std::uint8_t> out(outBytes ? outBytes : (n + 7) / 8 + 2, 0xA5);
    std::vector<std::int16_t> rows(3 * n + 48);
    EXPECT_TRUE(ConvertGrayTo01PageBitmapVelmo(ctx, out, gray, n, lineNumber, n / 16, n % 16,
                                               std::span(rows).subspan(0, n), std::span(rows).subspan(n, n),
                                               std::span(rows).subspan(2 * n, n), 100));
    return out;
}

TEST(HalftoneLineArt, DotsWhereverTheGrayIsBelowWhite)
{
    HalftoneContext ctx;
    ctx.halftoneOn = 0;
    std::vector<std::uint16_t> gray(21, 255);
    gray[0] = 254;
    gray[9] = 0;
    gray[16] = 254; // the remainder: pixels 16..20 pack into the third byte from its top bit
    gray[20] = 128;
    const auto out = ToBits(ctx, gray, 3);
    EXPECT_EQ(out[0], 0x80);
    EXPECT_EQ(out[1], 0x40);
    EXPECT_EQ(out[2], 0x88);
    EXPECT_EQ(out[3], 0xA5) << "nothing past the line's bytes";
    EXPECT_EQ(gray[0], 254) << "line art maps nothing";

    std::vector<std::uint16_t> white(37, 255);
    const auto blank = ToBits(ctx, white, 0);
    EXPECT_EQ(std::vector<std::uint8_t>(blank.begin(), blank.begin() + 5), std::vector<std::uint8_t>(5, 0));
}

TEST(HalftoneOrderedDither, PhaseRunsFromTheFirstPixelHandedInAndTheLineNumber)
{
    // Widths that do not divide 16 catch a phase that restarts at every 16-pixel group.
    const std::vector<std::vector<std::uint16_t>> matrices = {
        {10, 20, 30, 40, 50, 60},                                          // 3 x 2
        {200, 10, 90, 250, 30, 60, 120, 180, 5, 77, 140, 220, 1, 99, 160}, // 5 x 3
    };
    const int widths[] = {3, 5};
    const GammaCurve identity = Identity();
    std::mt19937 rng(7);
    for (std::size_t m = 0; m < matrices.size(); ++m)
    {
        const int w = widths[m], h = int(matrices[m].size()) / w;
        HalftoneContext ctx;
        ctx.ditherIndex = 0;
        ctx.gammaOverride = &identity;
        ctx.ditherOverride = {w, h, matrices[m].data()};
        for (int y : {0, 1, 2, 3, 7, 40})
        {
            std::vector<std::uint16_t> gray(53);
            for (auto& g : gray)
                g = std::uint16_t(rng() % 256);
            const auto original = gray;
            const auto out = ToBits(ctx, gray, y);
            for (int x = 0; x < 53; ++x)
                EXPECT_EQ(Dot(out, x), matrices[m][(y % h) * w + x % w] > original[x])
                    << "matrix " << w << "x" << h << " line " << y << " pixel " << x;
        }
    }
}

TEST(HalftoneOrderedDither, ComparesTheThresholdWithTheGrayThroughTheCurve)
{
    // A curve with flat steps and a jump: a dot wherever threshold > curve[gray], gray above 255 read as
    // 255, every threshold (up to a few past 255) against every gray level, 17 wide so the last pixel is
    // one past the whole group.
    GammaCurve curve{};
    for (int i = 0; i < 256; ++i)
        curve[i] = std::uint16_t(i < 100 ? i / 2 : i < 200 ? 150 : i);
    std::vector<std::uint16_t> thresholds(17 * 16);
    std::iota(thresholds.begin(), thresholds.end(), std::uint16_t{0});
    HalftoneContext ctx;
    ctx.ditherIndex = 2;
    ctx.gammaOverride = &curve;
    ctx.ditherOverride = {17, 16, thresholds.data()};
    for (int g : {0, 1, 2, 98, 99, 100, 150, 199, 200, 201, 254, 255, 256, 300, 65535})
        for (int y = 0; y < 16; ++y)
        {
            std::vector<std::uint16_t> gray(17, std::uint16_t(g));
            const auto out = ToBits(ctx, gray, y);
            for (int x = 0; x < 17; ++x)
                ASSERT_EQ(Dot(out, x), thresholds[y * 17 + x] > curve[std::min(g, 255)])
                    << "gray " << g << " threshold " << thresholds[y * 17 + x];
            EXPECT_EQ(gray, std::vector<std::uint16_t>(17, std::uint16_t(g)))
                << "the gray line is not rewritten";
        }
}

TEST(HalftoneOrderedDither, WhitePrintsNothingAndBlackPrintsEverythingWithEveryTable)
{
    for (int dpi : {300, 360, 400, 600, 800})
        for (int type = 0; type <= 3; ++type)
            for (int index = 0; index < 3; ++index)
                for (int method = 0; method < 2; ++method)
                {
                    HalftoneContext ctx;
                    ctx.xDpi = ctx.yDpi = dpi;
                    ctx.resolutionType = type;
                    ctx.ditherIndex = index;
                    ctx.OrderedDitherMethod = method;
                    for (int y = 0; y < 20; ++y)
                    {
                        std::vector<std::uint16_t> white(40, 255), black(40, 0);
                        const auto w = ToBits(ctx, white, y), b = ToBits(ctx, black, y);
                        EXPECT_EQ(std::vector<std::uint8_t>(w.begin(), w.begin() + 5),
                                  std::vector<std::uint8_t>(5, 0))
                            << dpi << "/" << type << "/" << index << "/" << method;
                        EXPECT_EQ(std::vector<std::uint8_t>(b.begin(), b.begin() + 5),
                                  std::vector<std::uint8_t>(5, 0xFF))
                            << dpi << "/" << type << "/" << index << "/" << method;
                    }
                }
}

struct Selection
{
    int dpi, type, index, ordered, diffusion;
    const GammaCurve* gamma;
    const std::uint16_t* matrix;
};

TEST(HalftoneSelection, CurveAndMatrixFollowResolutionIndexAndMethod)
{
    const Selection cases[] = {
        {300, 0, 0, 1, 0, &g_Gamma088, g_Dither_So.data()},
        {300, 0, 0, 0, 1, &g_Gamma130A, g_Dither_10x10.thresholds.data()},
        {300, 0, 2, 1, 0, &g_Gamma145, g_Dither_Mitsu.data()},
        {300, 0, 3, 1, 0, &g_Gamma150A, nullptr}, // diffusion looks at its own method only
        {300, 0, 3, 0, 1, &g_Gamma145, nullptr},
        {400, 0, 1, 1, 0, &g_Gamma210M, g_Dither_4x4_Bayer.data()},
        {400, 0, 2, 0, 0, &g_Gamma180A, g_Dither_6x6.thresholds.data()},
        {400, 0, 3, 0, 1, &g_Gamma270M, nullptr},
        {360, 3, 0, 1, 1, &g_Gamma130A, g_Dither_10x12.thresholds.data()}, // no fixed column
        {360, 3, 2, 0, 0, &g_Gamma150A, g_Dither_6x7.thresholds.data()},
        {800, 0, 0, 0, 0, &g_Gamma140A, g_Dither_14x14.thresholds.data()},
        {800, 1, 1, 1, 0, &g_Gamma150A, g_Dither_8x16.thresholds.data()},
        {800, 1, 3, 0, 0, &g_Gamma160A, nullptr},
        {600, 0, 0, 1, 0, &g_Gamma170M, g_Dither_8x8_45.data()},
        {600, 0, 2, 0, 0, &g_Gamma180A, g_Dither_10x10.thresholds.data()},
        {600, 0, 3, 0, 1, &g_Gamma280M, nullptr},
        {600, 2, 0, 0, 0, &g_Gamma130A, g_Dither_16x16w.thresholds.data()},
        {600, 2, 1, 1, 0, &g_Gamma220M, g_Dither_4x4_Bayer.data()},
        {600, 2, 3, 0, 0, &g_Gamma190AW, nullptr},
        {600, 1, 0, 1, 0, &g_Gamma170M, g_Dither_4x8_45_36.data()},
        {600, 3, 1, 1, 0, &g_Gamma220M, g_Dither_4x8_Bayer_36.data()},
        {600, 3, 2, 1, 0, &g_Gamma250M, g_Dither_4x8_Halftone_36.data()},
        {600, 1, 2, 0, 0, &g_Gamma190A, g_Dither_4x8.thresholds.data()},
        {600, 3, 3, 0, 0, &g_Gamma190A, nullptr},
        // Outside the table: the nearest listed resolution.
        {1200, 0, 0, 0, 0, &g_Gamma140A, g_Dither_14x14.thresholds.data()},
        {350, 3, 2, 0, 0, &g_Gamma150A, g_Dither_6x7.thresholds.data()},
    };
    for (const Selection& c : cases)
    {
        HalftoneContext ctx;
        ctx.xDpi = ctx.yDpi = c.dpi;
        ctx.resolutionType = c.type;
        ctx.ditherIndex = c.index;
        ctx.OrderedDitherMethod = c.ordered;
        ctx.ErrorDiffusionMethod = c.diffusion;
        const HalftoneChoice choice = SelectHalftone(ctx);
        EXPECT_EQ(choice.gamma, c.gamma) << c.dpi << "/" << c.type << "/" << c.index;
        EXPECT_EQ(choice.matrix.thresholds, c.matrix) << c.dpi << "/" << c.type << "/" << c.index;
    }
}

TEST(HalftoneBits, RefusesArgumentsThatDoNotFitAndWritesNothing)
{
    HalftoneContext ctx;
    std::vector<std::uint16_t> gray(20, 0);
    std::vector<std::uint8_t> out(3, 0xA5);
    std::vector<std::int16_t> row(16), shortRow(15);
    EXPECT_FALSE(ConvertGrayTo01PageBitmapVelmo(ctx, out, gray, 20, 0, 1, 3, row, row, row, 10));  // 16 + 3
    EXPECT_FALSE(ConvertGrayTo01PageBitmapVelmo(ctx, out, gray, 20, 0, 0, 20, row, row, row, 10)); // 20 > 15
    EXPECT_FALSE(
        ConvertGrayTo01PageBitmapVelmo(ctx, std::span(out).first(2), gray, 20, 0, 1, 4, row, row, row, 10));
    EXPECT_FALSE(
        ConvertGrayTo01PageBitmapVelmo(ctx, out, std::span(gray).first(19), 20, 0, 1, 4, row, row, row, 10));
    EXPECT_FALSE(ConvertGrayTo01PageBitmapVelmo(ctx, out, gray, 20, 0, 0x7FFFFFFF / 8, 4, row, row, row, 10));
    ctx.ditherIndex = 3;
    EXPECT_FALSE(ConvertGrayTo01PageBitmapVelmo(ctx, out, gray, 20, 0, 1, 4, row, shortRow, row, 10));
    EXPECT_EQ(out, std::vector<std::uint8_t>(3, 0xA5));
    EXPECT_EQ(gray, std::vector<std::uint16_t>(20, 0));
}

TEST(HalftoneBits, LinesWithoutAWholeGroupNeedNoBuffersBeyondTheirBytes)
{
    // No pixel, or no whole group for error diffusion: empty spans are enough, nothing is touched and the
    // noise does not move.
    struct Method
    {
        int halftoneOn, ditherIndex, diffusion;
    };
    const Method methods[] = {{0, 1, 0}, {1, 1, 0}, {1, 3, 0}, {1, 3, 1}};
    for (const Method& m : methods)
        for (int pixels : {0, 5})
            for (int line : {0, 1, 2})
            {
                HalftoneContext ctx;
                ctx.halftoneOn = m.halftoneOn;
                ctx.ditherIndex = m.ditherIndex;
                ctx.ErrorDiffusionMethod = m.diffusion;
                std::vector<std::uint16_t> gray(pixels, 0);
                std::vector<std::uint8_t> out(pixels ? 1 : 0, 0xA5);
                RndNow = 15;
                EXPECT_TRUE(
                    ConvertGrayTo01PageBitmapVelmo(ctx, out, gray, pixels, line, 0, pixels, {}, {}, {}, 3))
                    << m.halftoneOn << "/" << m.ditherIndex << "/" << m.diffusion << " " << pixels << " line "
                    << line;
                EXPECT_EQ(RndNow.load(), 15u);
                if (pixels)
                {
                    EXPECT_EQ(out[0], m.ditherIndex == 3 && m.halftoneOn ? 0x00 : 0xF8);
                }
            }
}

TEST(HalftoneFlip, MirrorsTheLineAndUndoesItself)
{
    std::vector<std::uint8_t> line = {0x01, 0x80, 0xF0, 0x35};
    FilpLineData(line);
    EXPECT_EQ(line, (std::vector<std::uint8_t>{0xAC, 0x0F, 0x01, 0x80}));

    std::mt19937 rng(3);
    for (int size : {0, 1, 2, 7, 620})
    {
        std::vector<std::uint8_t> data(size);
        for (auto& b : data)
            b = std::uint8_t(rng());
        auto mirrored = data;
        FilpLineData(mirrored);
        for (int x = 0; x < size * 8; ++x)
            EXPECT_EQ(Dot(mirrored, x), Dot(data, size * 8 - 1 - x));
        FilpLineData(mirrored);
        EXPECT_EQ(mirrored, data);
    }
}

TEST(HalftoneNullLine, LooksAtExactlyTheBytesFromTheFirstPixel)
{
    // 12 pixels = 36 bytes; from pixel 2 (byte 6), several splits into 8-byte groups and a tail.
    const std::pair<int, int> splits[] = {{3, 0}, {2, 5}, {0, 7}, {3, 6}};
    for (auto [groups, rest] : splits)
    {
        const int begin = 6, end = begin + groups * 8 + rest;
        std::vector<std::uint8_t> line(36, 0xFF);
        EXPECT_EQ(CheckNullLine(line, 2, groups, rest), 0);
        for (int pos = 0; pos < 36; ++pos)
        {
            line.assign(36, 0xFF);
            line[pos] = 0xFE;
            EXPECT_EQ(CheckNullLine(line, 2, groups, rest), pos >= begin && pos < end ? 1 : 0)
                << groups << "+" << rest << " byte " << pos;
        }
    }
    const std::vector<std::uint8_t> white(36, 0xFF);
    EXPECT_EQ(CheckNullLine(white, 2, 4, 0), 1) << "a run past the line is never called blank";
    EXPECT_EQ(CheckNullLine(white, 0x7FFFFFFF, 0, 1), 1);
    EXPECT_EQ(CheckNullLine(white, 0, 0x7FFFFFFF, 7), 1);
}

} // namespace
