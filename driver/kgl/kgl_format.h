// The print stream as the graphics driver writes it and the converter reads it: record framing and
// payload sizes, the band code values and how codes pack into bytes. Writer and reader both take them
// from here, so the two cannot drift apart.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace kgl
{

// Every record starts with the escape prefix, a type byte and a byte nobody reads.
enum class RecordType : std::uint8_t
{
    PageExtra = 0x20,
    PageHeader = 0x21,
    SubBand = 0x22,
    PageEnd = 0x23,
    Dollar = 0x24,   // never written; readers skip its payload
    Reserved = 0x25, // never written; readers keep its payload
    PageOptions = 0x26,
    JobEnd = 0x27,
    PageLayout = 0x28,
    JobStart = 0x2C,
};

inline constexpr std::array<std::uint8_t, 8> kEscapePrefix = {0x1B, '#', '1', '2', '3', '4', '5', 'X'};
inline constexpr std::size_t kRecordTypeOffset = kEscapePrefix.size();
inline constexpr std::size_t kRecordHeaderSize = kRecordTypeOffset + 2;

inline constexpr std::size_t kPageOptionsSize = 5;
inline constexpr std::size_t kPageLayoutSize = 26;
inline constexpr std::size_t kPageExtraSize = 2;
inline constexpr std::size_t kPageHeaderSize = 26;
inline constexpr std::size_t kDollarSize = 10;
inline constexpr std::size_t kReservedSize = 20;
// A sub-band's payload: this header, whose first word is the block length, then the block, then
// kSubBandTrailerSize zero bytes.
inline constexpr std::size_t kSubBandHeaderSize = 10;
inline constexpr std::size_t kSubBandTrailerSize = 10;

inline constexpr std::uint16_t kEncodingRaw = 0;
inline constexpr std::uint16_t kEncodingCoded = 2;

// Payload bytes behind the header of a record whose size the type alone gives; nothing for a
// sub-band (its header tells). Unknown types carry none.
constexpr std::optional<std::size_t> FixedPayloadSize(RecordType type) noexcept
{
    switch (type)
    {
    case RecordType::PageOptions:
        return kPageOptionsSize;
    case RecordType::PageLayout:
        return kPageLayoutSize;
    case RecordType::PageHeader:
        return kPageHeaderSize;
    case RecordType::PageExtra:
        return kPageExtraSize;
    case RecordType::Dollar:
        return kDollarSize;
    case RecordType::Reserved:
        return kReservedSize;
    case RecordType::SubBand:
        return std::nullopt;
    default:
        return 0;
    }
}

// Band code values. A block opens with a clear and closes with the end code.
inline constexpr std::uint32_t kLiteralCodes = 256;  // codes below are the bytes themselves
inline constexpr std::uint32_t kCodeLastEntry = 256; // the entry made last (decoder: still being defined)
inline constexpr std::uint32_t kCodeControl = 257;   // next code is the argument
inline constexpr std::uint32_t kControlClear = 0;
inline constexpr std::uint32_t kControlTableFull = 2;
inline constexpr std::uint32_t kCodeEnd = 258;
inline constexpr std::uint32_t kCodeRunBase = 257; // 259..511: a run of (code - 257) zero words
inline constexpr std::uint32_t kMaxRunWords = 254;
inline constexpr std::uint32_t kCodeLongRun = kCodeRunBase + kMaxRunWords; // the longest run; more may follow
inline constexpr std::uint32_t kFirstEntry = 512;
inline constexpr std::uint32_t kLastEntry = 4095;
inline constexpr std::uint32_t kCodeMask = 0xFFF;
static_assert(kCodeLongRun == 511 && kLastEntry == kCodeMask);

constexpr bool IsRunCode(std::uint32_t code) noexcept
{
    return code > kCodeEnd && code < kFirstEntry;
}

// Two 12-bit codes in three bytes, little-endian: the first in the low half of the 24 bits, the
// second in the high half. A block with an odd count of codes pads its last pair with code 0.
inline constexpr std::size_t kCodePairSize = 3;

constexpr std::array<std::uint8_t, kCodePairSize> PackCodePair(std::uint32_t first,
                                                               std::uint32_t second) noexcept
{
    return {static_cast<std::uint8_t>(first),
            static_cast<std::uint8_t>(((first >> 8) & 0x0F) | (second << 4)),
            static_cast<std::uint8_t>(second >> 4)};
}

// The first code of a pair needs only the pair's first two bytes.
constexpr std::uint32_t FirstCode(std::uint8_t b0, std::uint8_t b1) noexcept
{
    return (b0 | (std::uint32_t{b1} << 8)) & kCodeMask;
}

constexpr std::uint32_t SecondCode(std::uint8_t b1, std::uint8_t b2) noexcept
{
    return (b1 | (std::uint32_t{b2} << 8)) >> 4;
}

} // namespace kgl
