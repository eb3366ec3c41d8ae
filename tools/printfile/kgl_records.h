// Record framing of print files: every record starts with a 10-byte header, ESC "#12345X", a type byte and a
// byte nobody reads; the payload length follows from the type.
#pragma once

#include "byte_view.h"
#include "kgl_format.h"

#include <algorithm>
#include <cstddef>
#include <optional>

namespace printfile
{

inline constexpr uint32_t kRecordHeaderSize = kgl::kRecordHeaderSize;
inline constexpr uint32_t kBandHeaderSize = kgl::kSubBandHeaderSize;

// Where the payloads keep what the reader takes. The records lie unaligned in the file, so fields are read
// byte by byte (little-endian) at these offsets, never through the structures.
struct PageHeaderWords
{
    WORD unused0;
    WORD copies;
    WORD resolution; // hundreds of dpi, across in the high nibble, down in the low
    WORD source;
    WORD paperCode;
    WORD bytesPerLine;
    WORD unused12;
    WORD leftOffset; // pixels
    WORD topOffset;
    WORD unused18;
    WORD sets;
    WORD unused22;
    WORD unused24;
};
static_assert(sizeof(PageHeaderWords) == kgl::kPageHeaderSize);
static_assert(offsetof(PageHeaderWords, copies) == 2 && offsetof(PageHeaderWords, resolution) == 4 &&
              offsetof(PageHeaderWords, source) == 6 && offsetof(PageHeaderWords, paperCode) == 8 &&
              offsetof(PageHeaderWords, bytesPerLine) == 10 && offsetof(PageHeaderWords, leftOffset) == 14 &&
              offsetof(PageHeaderWords, topOffset) == 16 && offsetof(PageHeaderWords, sets) == 20);

struct PageLayoutBytes
{
    BYTE duplex;
    BYTE feed;       // bit 0 the other feed, bits 1-3 the rotation code, bit 4 turned
    BYTE layoutMode; // low nibble
    BYTE layoutNibbles;
    WORD extent1; // the sheet, zoom included, in 0.1 mm or for inch papers 0.01 inch
    WORD extent2;
    WORD rightMargin; // pixels
    WORD bottomMargin;
    BYTE unused[14];
};
static_assert(sizeof(PageLayoutBytes) == kgl::kPageLayoutSize);
static_assert(offsetof(PageLayoutBytes, feed) == 1 && offsetof(PageLayoutBytes, layoutMode) == 2 &&
              offsetof(PageLayoutBytes, layoutNibbles) == 3 && offsetof(PageLayoutBytes, extent1) == 4 &&
              offsetof(PageLayoutBytes, extent2) == 6 && offsetof(PageLayoutBytes, rightMargin) == 8 &&
              offsetof(PageLayoutBytes, bottomMargin) == 10);

struct SubBandHeader
{
    WORD length; // of the code block behind the header
    WORD firstLine;
    WORD lineCount;
    WORD encoding;
    WORD unused;
};
static_assert(sizeof(SubBandHeader) == kBandHeaderSize);
static_assert(offsetof(SubBandHeader, firstLine) == 2 && offsetof(SubBandHeader, lineCount) == 4 &&
              offsetof(SubBandHeader, encoding) == 6);

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
    return kBandHeaderSize + ReadU16(after.data() + offsetof(SubBandHeader, length));
}

} // namespace printfile
