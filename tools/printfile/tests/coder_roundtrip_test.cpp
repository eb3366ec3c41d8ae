// The reader's decoder against the driver's coder: every block the driver writes reads back exactly.
#include <gtest/gtest.h>

#include "band_coder.h"
#include "band_decoder.h"

#include <random>
#include <vector>

namespace
{
std::vector<BYTE> Code(render::BandCoder& coder, const std::vector<BYTE>& input)
{
    std::vector<BYTE> block(render::MaxBlockSize(input.size()));
    auto length = coder.Compress(input, block);
    EXPECT_TRUE(length.has_value());
    block.resize(length.value_or(0));
    return block;
}

TEST(CoderRoundTrip, DriverBlocksDecodeToTheirLines)
{
    std::mt19937 random(7);
    auto bytes = [&](size_t n, int density) {
        std::vector<BYTE> v(n);
        for (auto& b : v)
            b = static_cast<BYTE>(static_cast<int>(random() % 100) < density ? random() : 0);
        return v;
    };
    std::vector<std::vector<BYTE>> inputs = {
        std::vector<BYTE>(620, 0),
        std::vector<BYTE>(32860, 0),
        bytes(32860, 100), // noise: fills the table, freezes it
        bytes(32860, 5),   // sparse marks between long zero runs
        bytes(4, 100),
        bytes(65535, 50),
    };
    // Text-like lines: the same short patterns over and over, with blank lines between.
    std::vector<BYTE> text;
    for (int line = 0; line < 53; ++line)
        for (int x = 0; x < 620; ++x)
            text.push_back(line % 9 < 7 ? static_cast<BYTE>((x * 37 + line) % 11 == 0 ? 0x3C : 0) : 0);
    inputs.push_back(text);

    render::StringTableMemory memory;
    render::BandCoder coder(memory.Table());
    printfile::BandDecoder decoder;
    for (const auto& input : inputs)
    {
        std::vector<BYTE> block = Code(coder, input);
        std::vector<BYTE> out(input.size());
        auto result = decoder.Decode(block, out);
        ASSERT_EQ(result.status, printfile::DecodeStatus::Ok) << input.size();
        EXPECT_EQ(result.bytes, input.size());
        EXPECT_EQ(out, input);
        EXPECT_EQ(printfile::DecompressBand(block, out), input.size());
    }
}

TEST(CoderRoundTrip, ACutDriverBlockIsDamagedNotMisread)
{
    std::vector<BYTE> input(8000);
    for (size_t i = 0; i < input.size(); ++i)
        input[i] = static_cast<BYTE>((i * 7) % 13 == 0 ? i : 0);
    render::StringTableMemory memory;
    render::BandCoder coder(memory.Table());
    std::vector<BYTE> block = Code(coder, input);
    std::vector<BYTE> out(input.size(), 0xEE);
    // Cutting the last three bytes always takes the end code; a cut of one byte may take only padding.
    for (size_t cut : {block.size() - 3, block.size() / 2, size_t{3}})
    {
        std::vector<BYTE> shorter(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(cut));
        EXPECT_EQ(printfile::DecompressBand(shorter, out), 0u) << cut;
    }
    EXPECT_EQ(out, std::vector<BYTE>(input.size(), 0xEE)) << "nothing is written for a damaged block";
}
} // namespace
