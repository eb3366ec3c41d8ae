// Record framing of print files: every record starts with a 10-byte header, ESC "#12345X", a type byte and a
// byte nobody reads; the payload length follows from the type.
#pragma once

#include "byte_view.h"

#include <optional>

namespace printfile
{

inline constexpr BYTE kRecordPrefix[8] = {0x1B, '#', '1', '2', '3', '4', '5', 'X'};
inline constexpr uint32_t kRecordHeaderSize = 10;
inline constexpr uint32_t kBandHeaderSize = 10;

namespace record
{
inline constexpr BYTE JobStart = ',';
inline constexpr BYTE PageOptions = '&';
inline constexpr BYTE PageLayout = '(';
inline constexpr BYTE PageExtra = ' ';
inline constexpr BYTE PageHeader = '!';
inline constexpr BYTE SubBand = 0x22;
inline constexpr BYTE PageEnd = '#';
inline constexpr BYTE Dollar = '$';
inline constexpr BYTE Reserved = '%';
inline constexpr BYTE JobEnd = '\'';
} // namespace record

inline bool IsRecordHeader(std::span<const BYTE> at)
{
    return at.size() >= sizeof kRecordPrefix &&
           std::memcmp(at.data(), kRecordPrefix, sizeof kRecordPrefix) == 0;
}

// Bytes a record of `type` occupies behind its header, given the bytes that follow the header; nothing when
// those bytes are too few to tell (a sub-band's length is in its band header).
inline std::optional<uint32_t> PayloadSize(BYTE type, std::span<const BYTE> after)
{
    switch (type)
    {
    case record::PageOptions:
        return 5;
    case record::PageLayout:
    case record::PageHeader:
        return 26;
    case record::PageExtra:
        return 2;
    case record::Dollar:
        return 10;
    case record::Reserved:
        return 20;
    case record::SubBand:
        if (after.size() < kBandHeaderSize)
            return std::nullopt;
        return kBandHeaderSize + ReadU16(after.data());
    default:
        return 0;
    }
}

} // namespace printfile
