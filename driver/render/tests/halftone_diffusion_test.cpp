// Error diffusion against plain models written from the method's description, pixel by pixel, with
// none of the converter's shortcuts (no gathered sums, no noise drawn ahead, no row copies).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "halftone.h"

using namespace velmoq7;

namespace
{

GammaCurve Identity()
{
    GammaCurve g{};
    std::iota(g.begin(), g.end(), std::uint16_t{0});
    return g;
}

const GammaCurve kIdentity = Identity();

std::vector<bool> Dots(const std::vector<std::uint8_t>& bytes, int n)
{
    std::vector<bool> dots(n);
    for (int x = 0; x < n; ++x)
        dots[x] = (bytes[x / 8] >> (7 - x % 8)) & 1;
    return dots;
}

// Three previous-line errors, noise from the shared generator.
struct ThreeLineModel
{
    std::vector<int> before1, before2; // errors of the line before and the one before that
    std::uint32_t rnd;

    std::vector<bool> Convert(const std::vector<int>& gray, int lineNumber)
    {
        const int count = int(gray.size());
        const int n = count / 16 * 16;
        before1.resize(n);
        before2.resize(n);
        std::vector<int> errors(n, 0);
        std::vector<bool> dots(count, false);
        const int d = lineNumber % 2 == 0 ? -1 : 1;
        auto in = [n](int x) { return x >= 0 && x < n; };
        for (int k = 0; k < n; ++k)
        {
            const int x = d < 0 ? n - 1 - k : k;
            int sum = 0;
            if (in(x - d))
                sum += 7 * errors[x - d];
            if (in(x - 2 * d))
                sum += 5 * errors[x - 2 * d];
            const int w1[] = {3, 5, 7, 5, 3}, w2[] = {1, 3, 5, 3, 1};
            for (int i = -2; i <= 2; ++i)
                if (in(x + i))
                    sum += w1[i + 2] * before1[x + i] + w2[i + 2] * before2[x + i];
            const int v = gray[x] + sum / 48;
            rnd = (1229 * rnd + 351750) % 1664501;
            const int noise = int(rnd % 16);
            int err = v < 128 ? v + noise - 8 : v + noise - 263;
            dots[x] = v < 128;
            errors[x] = std::max(-128, std::min(127, err));
        }
        before2 = before1;
        before1 = errors;
        return dots;
    }
};

// Four neighbours, one line behind, as the calls of a page in order.
struct FourNeighbourModel
{
    std::vector<int> current, next;
    int lineCount;
    bool countUp;

    std::vector<bool> Convert(const std::vector<int>& gray, int y)
    {
        const int count = int(gray.size());
        const int n = count / 16 * 16;
        current.resize(n);
        next.resize(n);
        std::vector<bool> dots(count, false);
        const int start = countUp ? 0 : lineCount, second = countUp ? 1 : lineCount - 1,
                  last = countUp ? lineCount - 1 : 1;
        std::vector<int> own(gray.begin(), gray.begin() + n);
        if (y == start)
        {
            current = own;
            return dots;
        }
        if (y != second)
            current = next;
        if (y != last)
            next = own;
        const int d = y % 2 == 0 ? -1 : 1;
        auto in = [n](int x) { return x >= 0 && x < n; };
        for (int k = 0; k < n; ++k)
        {
            const int x = d < 0 ? n - 1 - k : k;
            const int v = current[x];
            dots[x] = v <= 128;
            const int err = dots[x] ? v : v - 255;
            if (in(x + d))
                current[x + d] += err * 44 / 100;
            if (y + 1 < lineCount)
            {
                if (in(x - d))
                    next[x - d] += err * 19 / 100;
                next[x] += err * 31 / 100;
                if (in(x + d))
                    next[x + d] += err * 6 / 100;
            }
        }
        return dots;
    }
};

constexpr int kRowLength = 512;

struct Converter
{
    HalftoneContext ctx;
    std::vector<std::int16_t> rows = std::vector<std::int16_t>(3 * kRowLength, 0);
    int lineCount = 0;

    std::vector<bool> Convert(const std::vector<int>& grayValues, int y)
    {
        const int count = int(grayValues.size());
        std::vector<std::uint16_t> gray(grayValues.begin(), grayValues.end());
        std::vector<std::uint8_t> out((count + 7) / 8, 0x5A);
        const std::span<std::int16_t> all(rows);
        EXPECT_TRUE(ConvertGrayTo01PageBitmapVelmo(
            ctx, out, gray, count, y, count / 16, count % 16, all.subspan(0, kRowLength),
            all.subspan(kRowLength, kRowLength), all.subspan(2 * kRowLength, kRowLength), lineCount));
        return Dots(out, count);
    }
};

HalftoneContext Diffusion(int method)
{
    HalftoneContext ctx;
    ctx.ditherIndex = 3;
    ctx.ErrorDiffusionMethod = method;
    ctx.gammaOverride = &kIdentity;
    return ctx;
}

std::vector<int> RandomLine(std::mt19937& rng, int count)
{
    std::vector<int> g(count);
    for (auto& v : g)
        v = int(rng() % 256);
    return g;
}

TEST(HalftoneThreeLineDiffusion, MatchesTheModelInBothDirectionsAcrossLinesAndPages)
{
    std::mt19937 rng(11);
    for (int count : {20, 53})
    {
        SCOPED_TRACE(count);
        RndNow = 987654;
        Converter conv{Diffusion(0)};
        ThreeLineModel model{{}, {}, 987654};
        // Two pages of 9 lines, numbered up and then down; rows run on from the first page.
        for (int page = 0; page < 2; ++page)
            for (int i = 0; i < 9; ++i)
            {
                const int y = page == 0 ? i : 9 - i;
                const auto gray = RandomLine(rng, count);
                ASSERT_EQ(conv.Convert(gray, y), model.Convert(gray, y)) << "page " << page << " line " << y;
            }
        EXPECT_EQ(RndNow.load(), model.rnd);
    }
}

// Widths around the 16-pixel group and the vector width, one pixel to a few hundred; contents that drive
// the errors to their limits (solid black and white, a hard checker, gray above 255) and ones that keep
// every dot decision close (noise, ramps); the identity curve and a steep real one.
TEST(HalftoneThreeLineDiffusion, MatchesTheModelOnAwkwardWidthsAndContents)
{
    enum Content
    {
        Black,
        White,
        Noise,
        Ramp,
        Checker,
        Overrange
    };
    const auto line = [](Content c, int count, int y, std::mt19937& rng) {
        std::vector<int> g(count);
        for (int x = 0; x < count; ++x)
            switch (c)
            {
            case Black:
                g[x] = 0;
                break;
            case White:
                g[x] = 255;
                break;
            case Noise:
                g[x] = int(rng() % 256);
                break;
            case Ramp:
                g[x] = (x * 255 / std::max(1, count - 1) + 37 * y) % 256;
                break;
            case Checker:
                g[x] = ((x / 3 + y) & 1) ? 255 : 0;
                break;
            case Overrange:
                g[x] = int(rng() % 3) == 0 ? 255 + int(rng() % 65281) : int(rng() % 256);
                break;
            }
        return g;
    };
    std::mt19937 rng(29);
    for (const GammaCurve* curve : {&kIdentity, &g_Gamma190A})
        for (int count : {1, 15, 16, 17, 31, 33, 47, 100, 257, 511})
            for (Content content : {Black, White, Noise, Ramp, Checker, Overrange})
            {
                SCOPED_TRACE("width " + std::to_string(count) + " content " + std::to_string(int(content)) +
                             (curve == &kIdentity ? " identity" : " curve"));
                RndNow = 4321;
                Converter conv{Diffusion(0)};
                conv.ctx.gammaOverride = curve;
                ThreeLineModel model{{}, {}, 4321};
                for (int y = 0; y < 6; ++y)
                {
                    const auto gray = line(content, count, y, rng);
                    std::vector<int> mapped(count);
                    for (int x = 0; x < count; ++x)
                        mapped[x] = (*curve)[std::min(gray[x], 255)];
                    ASSERT_EQ(conv.Convert(gray, y), model.Convert(mapped, y)) << "line " << y;
                }
                EXPECT_EQ(RndNow.load(), model.rnd);
            }
}

TEST(HalftoneThreeLineDiffusion, LeavesTheLastPartialGroupWithoutDotsAndStoresNoiseForWhite)
{
    RndNow = 15;
    Converter conv{Diffusion(0)};
    const std::vector<int> black(20, 0), white(20, 255);
    const auto dots = conv.Convert(black, 1);
    for (int x = 0; x < 20; ++x)
        EXPECT_EQ(dots[x], x < 16) << x;

    // A white first pixel with nothing diffused into it: no dot, error = noise - 8.
    std::fill(conv.rows.begin(), conv.rows.end(), 0);
    RndNow = 15;
    const auto none = conv.Convert(white, 0); // even: scanned from the right
    EXPECT_EQ(none, std::vector<bool>(20, false));
    const std::uint32_t first = (1229u * 15u + 351750u) % 1664501u;
    EXPECT_EQ(conv.rows[15], int(first % 16) - 8);
}

TEST(HalftoneThreeLineDiffusion, NoiseRunsOnOneSequenceAcrossThreads)
{
    // Lines converted at once on several threads take disjoint runs of the one sequence: the final state
    // is the same as for the lines one after the other.
    const int threads = 4, lines = 50;
    std::uint32_t expected = 15;
    for (int i = 0; i < threads * lines * 32; ++i)
        expected = (1229 * expected + 351750) % 1664501;
    RndNow = 15;
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
        pool.emplace_back([&] {
            Converter conv{Diffusion(0)};
            const std::vector<int> gray(32, 100);
            for (int y = 0; y < lines; ++y)
                conv.Convert(gray, y);
        });
    for (auto& th : pool)
        th.join();
    EXPECT_EQ(RndNow.load(), expected);
}

TEST(HalftoneFourNeighbourDiffusion, MatchesTheModelForBothLineOrders)
{
    std::mt19937 rng(5);
    for (bool up : {true, false})
        for (int count : {20, 37})
        {
            SCOPED_TRACE(std::string(up ? "up " : "down ") + std::to_string(count));
            const int lineCount = 7;
            Converter conv{Diffusion(1)};
            conv.ctx.linesCountUp = up;
            conv.lineCount = lineCount;
            FourNeighbourModel model{{}, {}, lineCount, up};
            for (int page = 0; page < 2; ++page)
                for (int i = 0; i < lineCount; ++i)
                {
                    const int y = up ? i : lineCount - i;
                    const auto gray = RandomLine(rng, count);
                    ASSERT_EQ(conv.Convert(gray, y), model.Convert(gray, y))
                        << "page " << page << " line " << y;
                }
        }
}

TEST(HalftoneFourNeighbourDiffusion, EachCallPrintsTheLineHandedInBeforeIt)
{
    const std::vector<int> black(16, 0), white(16, 255);
    const std::vector<bool> none(16, false), all(16, true);
    {
        Converter conv{Diffusion(1)};
        conv.lineCount = 3;
        EXPECT_EQ(conv.Convert(black, 0), none) << "the first call only loads";
        EXPECT_EQ(conv.Convert(white, 1), all) << "line 0";
        EXPECT_EQ(conv.Convert(black, 2), none) << "line 1; the last line's own values are never printed";
    }
    {
        Converter conv{Diffusion(1)};
        conv.ctx.linesCountUp = false;
        conv.lineCount = 3;
        EXPECT_EQ(conv.Convert(white, 3), none);
        EXPECT_EQ(conv.Convert(black, 2), none) << "line 3";
        EXPECT_EQ(conv.Convert(white, 1), all) << "line 2";
    }
}

TEST(HalftoneErrorRows, LieInTheUserBufferAtTheirOffsets)
{
    std::vector<std::byte> buffer(86016);
    const ErrorRows rows = ErrorRowsIn(buffer);
    ASSERT_EQ(rows.row3.size(), std::size_t(14336));
    EXPECT_EQ(reinterpret_cast<std::byte*>(rows.row1.data()), buffer.data());
    EXPECT_EQ(reinterpret_cast<std::byte*>(rows.row2.data()), buffer.data() + 28672);
    EXPECT_EQ(reinterpret_cast<std::byte*>(rows.row3.data()), buffer.data() + 57344);

    std::vector<std::byte> small(86015);
    const ErrorRows none = ErrorRowsIn(small);
    EXPECT_TRUE(none.row1.empty() && none.row2.empty() && none.row3.empty());
    HalftoneContext ctx = Diffusion(0);
    std::vector<std::uint16_t> gray(32, 0);
    std::vector<std::uint8_t> out(4);
    EXPECT_FALSE(
        ConvertGrayTo01PageBitmapVelmo(ctx, out, gray, 32, 0, 2, 0, none.row1, none.row2, none.row3, 1));
}

} // namespace
