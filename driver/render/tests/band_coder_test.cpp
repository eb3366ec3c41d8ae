#include <gtest/gtest.h>

#include <testing/stream_decoder.h>

#include "band_coder.h"

#include <optional>
#include <random>
#include <string>
#include <vector>

namespace
{

using namespace streamtest;

struct Coder
{
    render::StringTableMemory memory;
    render::BandCoder coder{memory.Table()};

    Bytes Compress(const Bytes& input)
    {
        Bytes out(render::MaxBlockSize(input.size()));
        const auto length = coder.Compress(input, out);
        EXPECT_TRUE(length.has_value());
        out.resize(length.value_or(0));
        return out;
    }
};

struct WorkedCase
{
    const char* name;
    Bytes input;
    Codes codes;
};

Bytes Repeat(std::uint8_t value, std::size_t count)
{
    return Bytes(count, value);
}

TEST(BandCoder, WorkedCasesGiveTheirExactCodes)
{
    const WorkedCase cases[] = {
        {"620 zero bytes: literal, 154-word run, two-zero entry, last byte",
         Repeat(0, 620),
         {257, 0, 0, 411, 256, 0, 258, 0}},
        {"three 0x61", Repeat(0x61, 3), {257, 0, 97, 97, 97, 258}},
        {"four 0x61", Repeat(0x61, 4), {257, 0, 97, 256, 97, 258}},
        {"eight zeros: no two words before the last byte", Repeat(0, 8), {257, 0, 0, 256, 256, 0, 0, 258}},
        {"two bytes, odd code count padded", {0x12, 0x34}, {257, 0, 0x12, 0x34, 258, 0}},
        {"a run stops at 254 words and needs two more words to go on",
         Repeat(0, 1024),
         {257, 0, 0, 511, 256, 256, 0, 0, 258, 0}},
        {"a long run goes on with a further run code", Repeat(0, 1032), {257, 0, 0, 511, 260, 256, 0, 258}},
        {"a run after a non-zero prefix",
         [] {
             Bytes b(20, 0);
             b[0] = 7;
             return b;
         }(),
         // 7, then c = 0 starts a run over bytes 2..17 (4 words); the entry made was "7 0", so byte 18
         // is a miss and goes out alone.
         {257, 0, 7, 261, 0, 0, 0, 258}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        Coder coder;
        const Bytes block = coder.Compress(c.input);
        EXPECT_EQ(Unpack(block), c.codes);
        EXPECT_EQ(block.size(), c.codes.size() / 2 * 3);
        std::string error;
        const auto decoded = Decode(block, error);
        ASSERT_TRUE(decoded) << error;
        EXPECT_EQ(decoded->data, c.input);
    }
}

TEST(BandCoder, PacksTwoCodesIntoThreeBytesLowFirst)
{
    Coder coder;
    EXPECT_EQ(coder.Compress({0x12, 0x34}), (Bytes{0x01, 0x01, 0x00, 0x12, 0x40, 0x03, 0x02, 0x01, 0x00}));
}

Bytes RandomBytes(std::mt19937& rng, std::size_t n)
{
    Bytes b(n);
    for (auto& x : b)
        x = static_cast<std::uint8_t>(rng());
    return b;
}

TEST(BandCoder, FullTableFreezesOnceAndSendsNoLastEntryCodeAfterwards)
{
    std::mt19937 rng(7);
    Coder coder;
    const Bytes input = RandomBytes(rng, 20000);
    const Bytes block = coder.Compress(input);
    std::string error;
    const auto decoded = Decode(block, error);
    ASSERT_TRUE(decoded) << error;
    EXPECT_EQ(decoded->data, input);
    EXPECT_EQ(decoded->freezes, 1);
    // Entries 512..4095 follow the first 3584 data codes; the freeze follows the next one.
    EXPECT_EQ(decoded->dataCodesBeforeFreeze, 3585u);
    EXPECT_FALSE(decoded->lastEntryAfterFreeze);
    EXPECT_EQ(coder.coder.Block().nextFreeCode, render::kTableFrozen);
}

// Blocks a coder meets on real pages and at the format's edges.
std::vector<std::pair<std::string, Bytes>> StructuredBlocks()
{
    std::vector<std::pair<std::string, Bytes>> blocks;
    for (std::size_t align = 0; align < 4; ++align)
    {
        for (std::size_t words : {2u, 3u, 253u, 254u, 255u, 508u, 509u})
        {
            for (std::uint8_t lastByte : {0x00, 0xA5})
            {
                Bytes b(align + 1, 0x3C);
                b.insert(b.end(), words * 4, 0);
                b.insert(b.end(), {0x81, 0, 0, 0, 0, 0, 0, 0, 0});
                b.push_back(lastByte);
                blocks.emplace_back(
                    "run of " + std::to_string(words) + " words at offset " + std::to_string(align), b);
            }
        }
    }
    blocks.emplace_back("all 0xA5", Repeat(0xA5, 3000));
    blocks.emplace_back("all 0xFF", Repeat(0xFF, 4960));
    Bytes text(620 * 40, 0);
    for (std::size_t line = 0; line < 40; ++line)
        for (std::size_t x = 40; x < 580; x += 9)
            if ((line / 3 + x) % 5 != 0)
                text[line * 620 + x] = static_cast<std::uint8_t>(0x3C >> (line % 3));
    blocks.emplace_back("text-like lines", text);
    Bytes dither(620 * 50);
    for (std::size_t i = 0; i < dither.size(); ++i)
        dither[i] = static_cast<std::uint8_t>((i / 620) % 2 ? 0xAA : 0x55);
    blocks.emplace_back("checkered dither", dither);
    return blocks;
}

TEST(BandCoder, StructuredBlocksComeBackThroughAnIndependentDecoder)
{
    Coder coder; // one table for all blocks, as within one page transfer
    for (const auto& [name, input] : StructuredBlocks())
    {
        SCOPED_TRACE(name);
        std::string error;
        const auto decoded = Decode(coder.Compress(input), error);
        ASSERT_TRUE(decoded) << error;
        EXPECT_EQ(decoded->data, input);
    }
}

TEST(BandCoder, RandomBlocksComeBackThroughAnIndependentDecoder)
{
    std::mt19937 rng(12345);
    Coder coder;
    for (int round = 0; round < 60; ++round)
    {
        const std::size_t n = 2 + rng() % (round < 30 ? 64 : 34816);
        // Sparse data: mostly zeros, so runs, entries and the freeze are all exercised.
        Bytes input(n, 0);
        const unsigned density = rng() % 4;
        for (auto& x : input)
            if (rng() % 8 < density)
                x = static_cast<std::uint8_t>(rng() % (density == 3 ? 256 : 4));
        SCOPED_TRACE("round " + std::to_string(round) + ", " + std::to_string(n) + " bytes");
        std::string error;
        const auto decoded = Decode(coder.Compress(input), error);
        ASSERT_TRUE(decoded) << error;
        EXPECT_EQ(decoded->data, input);
    }
}

TEST(BandCoder, BlocksDoNotDependOnEarlierBlocksInTheSameTable)
{
    std::mt19937 rng(99);
    const Bytes a = RandomBytes(rng, 9000);
    Bytes b = RandomBytes(rng, 12000);
    for (std::size_t i = 0; i < b.size(); i += 3)
        b[i] = 0;
    Coder shared;
    const Bytes first = shared.Compress(a);
    shared.Compress(b);
    EXPECT_EQ(shared.Compress(a), first);
    Coder fresh;
    EXPECT_EQ(fresh.Compress(a), first);
}

TEST(BandCoder, RefusesInputsAndOutputsOutsideItsLimits)
{
    Coder coder;
    Bytes out(render::MaxBlockSize(70000), 0xEE);
    const Bytes one{1};
    EXPECT_FALSE(coder.coder.Compress(one, out));
    EXPECT_FALSE(coder.coder.Compress(Bytes(0x10000, 0), out));
    const Bytes input(100, 0x42);
    Bytes small(render::MaxBlockSize(input.size()) - 1, 0xEE);
    EXPECT_FALSE(coder.coder.Compress(input, small));
    EXPECT_EQ(small, Bytes(small.size(), 0xEE));
    EXPECT_TRUE(coder.coder.Compress(Bytes(0xFFFF, 0x42), out));
}

TEST(BandCoder, WorstCaseInputsFitTheBound)
{
    // Every pair of bytes distinct for as long as possible: no entry ever matches.
    Bytes input;
    for (int a = 1; a < 256 && input.size() < 30000; ++a)
        for (int b = 1; b < 256 && input.size() < 30000; b += 2)
        {
            input.push_back(static_cast<std::uint8_t>(a));
            input.push_back(static_cast<std::uint8_t>(b));
        }
    Coder coder;
    Bytes out(render::MaxBlockSize(input.size()));
    const auto length = coder.coder.Compress(input, out);
    ASSERT_TRUE(length);
    out.resize(*length);
    std::string error;
    const auto decoded = Decode(out, error);
    ASSERT_TRUE(decoded) << error;
    EXPECT_EQ(decoded->data, input);
}

} // namespace
