#include <gtest/gtest.h>

#include "band_decoder.h"
#include "kgl_fixture.h"

#include <string>

namespace printfile
{
namespace
{
using namespace fixture;

Bytes Decoded(const Bytes& block, size_t capacity)
{
    Bytes out(capacity, 0xEE);
    const size_t n = DecompressBand(block, out);
    out.resize(n);
    return out;
}

TEST(BandDecoder, DecodesWhatTheCoderSendsAndMore)
{
    struct Case
    {
        const char* name;
        Bytes block;
        size_t capacity;
        Bytes expected;
    };
    const Case cases[] = {
        {"620 zeros", PackCodes({257, 0, 0, 411, 256, 0, 258}), 620, Bytes(620, 0)},
        {"four bytes 0x61", PackCodes({257, 0, 97, 256, 97, 258}), 4, Bytes(4, 0x61)},
        {"a dictionary entry", PackCodes({257, 0, 'a', 'b', 512, 258}), 8, {'a', 'b', 'a', 'b'}},
        {"a longer entry made from an entry",
         PackCodes({257, 0, 'a', 'b', 'c', 512, 515, 258}),
         16,
         {'a', 'b', 'c', 'a', 'b', 'a', 'b', 'a'}}, // 515 is "ab" and the byte after it, its own first
        {"table full changes nothing", PackCodes({257, 0, 97, 257, 2, 256, 97, 258}), 4, Bytes(4, 0x61)},
        {"runs of 254 words go on", PackCodes({257, 0, 7, 511, 259, 7, 258}), 1030,
         [] {
             Bytes b(1 + 254 * 4 + 2 * 4 + 1, 0);
             b.front() = b.back() = 7;
             return b;
         }()},
        {"no leading clear", PackCodes({'x', 256, 258}), 3, {'x', 'x', 'x'}},
        {"a clear in the middle",
         PackCodes({257, 0, 'a', 'b', 512, 257, 0, 'c', 'd', 512, 258}),
         8,
         {'a', 'b', 'a', 'b', 'c', 'd', 'c', 'd'}},
    };
    BandDecoder decoder;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Decoded(c.block, c.capacity), c.expected);
        // Straight into a page image, runs of zeros are written, not left to what was there.
        Bytes image(c.capacity, 0xEE);
        const DecodeResult r = decoder.DecodeInPlace(c.block, image);
        EXPECT_EQ(r.status, DecodeStatus::Ok);
        image.resize(r.bytes);
        EXPECT_EQ(image, c.expected);
    }
}

TEST(BandDecoder, ADamagedBlockDecodesToNothing)
{
    struct Case
    {
        const char* name;
        Bytes block;
        DecodeStatus status;
    };
    Bytes cutMidTriple = PackCodes({257, 0, 97, 258});
    cutMidTriple.pop_back();
    const Case cases[] = {
        {"the last entry before any", PackCodes({256, 97, 258}), DecodeStatus::Damaged},
        {"the last entry right after a clear", PackCodes({257, 0, 256, 258}), DecodeStatus::Damaged},
        {"an entry not made yet", PackCodes({257, 0, 97, 513, 258}), DecodeStatus::Damaged},
        {"an entry from before the clear", PackCodes({'a', 'b', 257, 0, 'c', 1, 258}), DecodeStatus::Ok},
        {"an entry made before the clear", PackCodes({257, 0, 'a', 'b', 257, 0, 'c', 513, 258}),
         DecodeStatus::Damaged},
        {"no end code", PackCodes({257, 0, 97, 98}), DecodeStatus::Damaged},
        {"a clear without its argument", PackCodes({257, 0, 97, 257}), DecodeStatus::Damaged},
        {"cut in the middle of a triple", cutMidTriple, DecodeStatus::Damaged},
        {"more than the room given", PackCodes({257, 0, 0, 411, 256, 0, 258}), DecodeStatus::TooLong},
    };
    BandDecoder decoder;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        Bytes out(600, 0xEE);
        const DecodeResult r = decoder.Decode(c.block, out);
        EXPECT_EQ(r.status, c.status);
        if (c.status != DecodeStatus::Ok)
        {
            EXPECT_EQ(r.bytes, 0u);
            EXPECT_EQ(out, Bytes(600, 0xEE)) << "nothing is written for a block that fails";
        }
    }
}

TEST(BandDecoder, StopsAtTheEntryLimit)
{
    std::vector<unsigned> codes{257, 0};
    codes.insert(codes.end(), 49000, 'q');
    codes.push_back(258);
    Bytes out(65536);
    // After the clear, entries 512 to 49,141 take 48,630 literals; the rest of the block is not read.
    EXPECT_EQ(DecompressBand(PackCodes(codes), out), 48630u);
}

TEST(BandDecoder, EmptyArguments)
{
    Bytes out(4);
    EXPECT_EQ(DecompressBand({}, out), 0u);
    EXPECT_EQ(DecompressBand(PackCodes({257, 0, 97, 258}), {}), 0u);
    EXPECT_EQ(DecompressBand(PackCodes({257, 0, 258}), out), 0u) << "nothing decoded";
}
} // namespace
} // namespace printfile
