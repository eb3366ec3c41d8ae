#include <gtest/gtest.h>

#include "gdi/raster.h"

#include <set>
#include <vector>

namespace
{
using namespace sim::raster;

struct Canvas
{
    std::vector<BYTE> bytes;
    Surface s;
    Canvas(LONG w, LONG h, BYTE fill = 0xFF) : bytes(static_cast<size_t>(w * 3) * h, fill)
    {
        s = Surface{w, h, w * 3, bytes.data()};
    }
    COLORREF At(LONG x, LONG y) const
    {
        const BYTE* p = bytes.data() + y * s.stride + 3 * x;
        return RGB(p[2], p[1], p[0]);
    }
    int Count(COLORREF c) const
    {
        int n = 0;
        for (LONG y = 0; y < s.height; ++y)
            for (LONG x = 0; x < s.width; ++x)
                n += At(x, y) == c;
        return n;
    }
};

const COLORREF kBlack = RGB(0, 0, 0), kWhite = RGB(255, 255, 255), kRed = RGB(255, 0, 0);

TEST(Raster, FillsOnlyWhatTheClipShowsAndStaysOnTheSurface)
{
    Canvas c(10, 10);
    Clip clip(std::vector<RECTL>{{0, 0, 3, 3}, {5, 5, 20, 20}});
    Fill(c.s, RECTL{-5, -5, 50, 50}, kRed, clip);
    EXPECT_EQ(c.Count(kRed), 9 + 25);
    EXPECT_EQ(c.At(2, 2), kRed);
    EXPECT_EQ(c.At(3, 3), kWhite);
    EXPECT_EQ(c.At(9, 9), kRed);
}

TEST(Raster, RasterOperationsFollowTheirTruthTable)
{
    // Pattern, source and destination bytes chosen so every bit combination occurs.
    const BYTE p = 0xF0, s = 0xCC, d = 0xAA;
    struct Row
    {
        BYTE rop;
        BYTE expected;
    };
    const Row rows[] = {
        {0xCC, s},     {0xF0, p},        {0x88, s & d},       {0xEE, s | d},
        {0x66, s ^ d}, {0x55, BYTE(~d)}, {0x5A, BYTE(p ^ d)}, {0xB8, BYTE((p & ~s) | (d & s))},
        {0x00, 0},     {0xFF, 0xFF}};
    for (const Row& r : rows)
    {
        Canvas c(1, 1, d);
        BYTE srcPixel[3] = {s, s, s};
        Source src{1, 1, 3, srcPixel};
        BitBlt(c.s, RECTL{0, 0, 1, 1}, &src, {0, 0}, RGB(p, p, p), r.rop, Clip::Whole(c.s));
        EXPECT_EQ(c.bytes[0], r.expected) << std::hex << int(r.rop);
    }
}

TEST(Raster, OneBitSourceBlitUsesItsPaletteAndOrigin)
{
    // 16 x 2 source: row 0 alternates 1,0; row 1 all 1.
    const BYTE bits[] = {0xAA, 0xAA, 0, 0, 0xFF, 0xFF, 0, 0};
    const COLORREF palette[2] = {kWhite, kBlack};
    Source src{16, 2, 4, bits, 1, palette, 2};
    Canvas c(8, 4);
    // Destination partly off the surface and source origin past the first pixel.
    BitBlt(c.s, RECTL{-2, 1, 20, 10}, &src, {1, 0}, 0, 0xCC, Clip::Whole(c.s));
    // Destination x maps to source x + 3; only rows 1 and 2 have source behind them.
    for (LONG x = 0; x < 8; ++x)
    {
        EXPECT_EQ(c.At(x, 1), ((x + 3) % 2 == 0) ? kBlack : kWhite) << x;
        EXPECT_EQ(c.At(x, 2), kBlack) << x;
        EXPECT_EQ(c.At(x, 3), kWhite) << x;
    }
}

TEST(Raster, StretchScalesMirrorsAndAverages)
{
    BYTE px[2 * 2 * 3] = {0, 0, 0, 255, 255, 255, 255, 255, 255, 0, 0, 0}; // checker
    Source src{2, 2, 6, px};
    Canvas big(4, 4);
    StretchBlt(big.s, RECTL{0, 0, 4, 4}, src, RECTL{0, 0, 2, 2}, false, Clip::Whole(big.s));
    EXPECT_EQ(big.At(1, 1), kBlack);
    EXPECT_EQ(big.At(2, 1), kWhite);
    EXPECT_EQ(big.At(3, 3), kBlack);

    Canvas mirrored(2, 2);
    StretchBlt(mirrored.s, RECTL{2, 0, 0, 2}, src, RECTL{0, 0, 2, 2}, false, Clip::Whole(mirrored.s));
    EXPECT_EQ(mirrored.At(0, 0), kWhite);
    EXPECT_EQ(mirrored.At(1, 0), kBlack);

    Canvas small(1, 1);
    StretchBlt(small.s, RECTL{0, 0, 1, 1}, src, RECTL{0, 0, 2, 2}, true, Clip::Whole(small.s));
    EXPECT_EQ(small.At(0, 0), RGB(128, 128, 128)) << "two black and two white average to middle gray";
}

TEST(Raster, LinesExcludeTheirLastPointAndPolygonsFollowTheirRule)
{
    Canvas c(10, 10);
    Line(c.s, {1, 1}, {6, 1}, kBlack, 1, Clip::Whole(c.s));
    EXPECT_EQ(c.Count(kBlack), 5);
    EXPECT_EQ(c.At(6, 1), kWhite);

    // Two overlapping squares as one path: even-odd leaves the overlap empty, winding fills it.
    const POINTL twice[] = {{0, 0}, {6, 0}, {6, 6}, {0, 6}, {0, 0}, {3, 3}, {9, 3}, {9, 9}, {3, 9}, {3, 3}};
    Canvas evenOdd(10, 10), winding(10, 10);
    FillPolygon(evenOdd.s, twice, kBlack, false, Clip::Whole(evenOdd.s));
    FillPolygon(winding.s, twice, kBlack, true, Clip::Whole(winding.s));
    EXPECT_EQ(evenOdd.At(4, 4), kWhite);
    EXPECT_EQ(winding.At(4, 4), kBlack);
    EXPECT_EQ(winding.Count(kBlack), 36 + 36 - 9);
    EXPECT_EQ(evenOdd.Count(kBlack), 36 + 36 - 18);
}

TEST(Raster, FontHasADistinctGlyphForEveryPrintableCharacter)
{
    std::set<std::vector<BYTE>> seen;
    for (char16_t c = 33; c < 127; ++c)
    {
        const BYTE* g = Glyph(c);
        std::vector<BYTE> rows(g, g + 7);
        EXPECT_TRUE(seen.insert(rows).second) << "glyph for '" << char(c) << "' repeats another";
        EXPECT_NE(rows, std::vector<BYTE>(7, 0)) << char(c);
    }
    Canvas c(20, 20);
    Text(c.s, {2, 2}, u"I", kBlack, 2, Clip::Whole(c.s));
    EXPECT_EQ(c.Count(kBlack), (3 + 5 + 3) * 4) << "the I glyph has 11 dots, each 2 x 2 pixels";
}
} // namespace
