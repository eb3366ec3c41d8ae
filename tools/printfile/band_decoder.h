// Decoder of band code blocks: 12-bit codes packed two to three bytes, literals, a string table whose entries
// are copies of bytes already decoded, runs of zero words and control codes.
#pragma once

#include "nothrow_array.h"

#include <platform/windows.h>

#include <cstdint>
#include <span>

namespace printfile
{

enum class DecodeStatus
{
    Ok,
    Empty,   // no block, no room, or nothing decoded
    Damaged, // a code refers to no entry, or the block ends before its end code
    TooLong, // the block decodes to more than the room given
    OutOfMemory,
};

struct DecodeResult
{
    DecodeStatus status = DecodeStatus::Empty;
    size_t bytes = 0; // copied to the output; 0 unless Ok
};

// Keeps its buffers from block to block.
class BandDecoder
{
public:
    // Decodes one block into `output`; nothing is written there unless the result is Ok.
    DecodeResult Decode(std::span<const BYTE> block, std::span<BYTE> output);
    // Decodes one block straight into `output`, with no buffer of its size beside it; when the result is not
    // Ok, `output` holds whatever was decoded before the fault.
    DecodeResult DecodeInPlace(std::span<const BYTE> block, std::span<BYTE> output);

    static constexpr size_t kTableEntries = 49152;
    static constexpr size_t kEntryLimit = 49142;

private:
    struct Entry
    {
        uint32_t length;
        uint32_t position;
    };
    DecodeResult Run(std::span<const BYTE> block, std::span<BYTE> output);
    NothrowArray<Entry> m_table;
    NothrowArray<BYTE> m_work;
};

// Bytes decoded from one block and copied to `output`, or 0 (nothing copied) when the block is damaged or
// decodes to more than `output` holds.
size_t DecompressBand(std::span<const BYTE> block, std::span<BYTE> output);

} // namespace printfile
