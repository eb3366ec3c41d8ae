// Record framing of print files: every record starts with a 10-byte header, ESC "#12345X", a type byte and a
// byte nobody reads; the payload length follows from the type.
#pragma once

#include "byte_view.h"
#include "kgl_format.h"

#include <algorithm>
#include <optional>

namespace printfile
{

inline constexpr uint32_t kRecordHeaderSize = kgl::kRecordHeaderSize;
inline constexpr uint32_t kBandHeaderSize = kgl::kSubBandHeaderSize;

inline bool IsRecordHeader(std::span<const BYTE> at)
{
    return at.size() >= kgl::kEscapePrefix.size() &&
           std::equal(kgl::kEscapePrefix.begin(), kgl::kEscapePrefix.end(), at.begin());
}

inline kgl::RecordType RecordTypeAt(std::span<const BYTE> header)
{
    return static_cast<kgl::RecordType>(header[kgl::kRecordTypeOffset]);
}

// Bytes a record of `type` occupies behind its header, given the bytes that follow the header; nothing when
// those bytes are too few to tell (a sub-band's length is in its band header).
inline std::optional<uint32_t> PayloadSize(kgl::RecordType type, std::span<const BYTE> after)
{
    if (const auto fixed = kgl::FixedPayloadSize(type))
        return static_cast<uint32_t>(*fixed);
    if (after.size() < kBandHeaderSize)
        return std::nullopt;
    return kBandHeaderSize + ReadU16(after.data());
}

} // namespace printfile
