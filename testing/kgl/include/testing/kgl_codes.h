// Test support: band code blocks made from lists of codes, packed as the format lays them out. Written
// from the layout here rather than taken from the format header, so a packing fault there shows up in
// the reader's tests instead of being shared by them.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

namespace kgltest
{

using Bytes = std::vector<std::uint8_t>;

// Codes packed two to three bytes; an odd count ends with code 0.
inline Bytes PackCodes(std::span<const unsigned> codes)
{
    Bytes out;
    out.reserve((codes.size() + 1) / 2 * 3);
    for (std::size_t i = 0; i < codes.size(); i += 2)
    {
        const unsigned a = codes[i], b = i + 1 < codes.size() ? codes[i + 1] : 0;
        out.push_back(static_cast<std::uint8_t>(a));
        out.push_back(static_cast<std::uint8_t>((a >> 8) | ((b & 0xF) << 4)));
        out.push_back(static_cast<std::uint8_t>(b >> 4));
    }
    return out;
}

inline Bytes PackCodes(std::initializer_list<unsigned> codes)
{
    return PackCodes(std::span<const unsigned>(codes.begin(), codes.size()));
}

// A block that sends every byte as a literal: a clear, the bytes, the end code.
inline Bytes LiteralBlock(std::span<const std::uint8_t> raw)
{
    std::vector<unsigned> codes{257, 0};
    codes.insert(codes.end(), raw.begin(), raw.end());
    codes.push_back(258);
    return PackCodes(codes);
}

} // namespace kgltest
