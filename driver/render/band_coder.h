// The sub-band coder: a string-table coder with 12-bit codes, control codes and zero-word run codes.
// One call turns one sub-band into one self-contained code block.
#pragma once

#include "kgl_format.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

namespace render
{

// Code values of the block format.
using kgl::kCodeControl;
using kgl::kCodeEnd;
using kgl::kCodeLastEntry;
using kgl::kCodeLongRun;
using kgl::kCodeRunBase;
using kgl::kControlClear;
using kgl::kControlTableFull;
using kgl::kFirstEntry;
using kgl::kLastEntry;
using kgl::kMaxRunWords;

inline constexpr std::uint32_t kNoLink = 0xFFFF;
inline constexpr std::uint32_t kTableFrozen = 0xFFFF;

// One string-table entry as it lies in the table memory.
struct StringEntry
{
    std::uint32_t child;
    std::uint32_t sibling;
    std::uint32_t prefix;
    std::uint8_t last;
    std::uint8_t reserved[3];
};
static_assert(sizeof(StringEntry) == 16);

inline constexpr std::size_t kStringTableEntries = 4096;
using StringTableSpan = std::span<StringEntry, kStringTableEntries>;

// The 64 KiB table memory of one page transfer: zero-filled when made, then reused for every
// sub-band of the transfer without clearing again (each block clears what it relies on).
class StringTableMemory
{
public:
    StringTableMemory() : m_entries(std::make_unique<StringEntry[]>(kStringTableEntries)) {}
    StringTableSpan Table() noexcept { return StringTableSpan(m_entries.get(), kStringTableEntries); }

private:
    std::unique_ptr<StringEntry[]> m_entries;
};

// What is left of a block when the call returns; every call starts it afresh.
struct BlockState
{
    std::uint32_t nextFreeCode;
    std::uint32_t savedLastByte;
    std::uint32_t pendingHalfTriple;
    std::uint32_t spare;
};

inline constexpr std::size_t kMinBlockInput = 2;
inline constexpr std::size_t kMaxBlockInput = 0xFFFF; // the length travels as a 16-bit count

// Largest block that `length` input bytes can give: at most one data code per input byte, seven
// codes of framing, three bytes per pair of codes.
constexpr std::size_t MaxBlockSize(std::size_t length)
{
    return (length + 7) / 2 * 3;
}

// The coder's working state. Owned by the caller (one per job or thread), so coders never share
// state; the table memory it works in belongs to the caller as well. Children are found through an
// index of (prefix, byte) pairs rather than by walking the sibling links: a pair has at most one
// entry, so the codes are the same, and the long child lists of high-entropy bands cost nothing.
class BandCoder
{
public:
    explicit BandCoder(StringTableSpan table) noexcept : m_table(table) {}

    // Codes `input` (2..65535 bytes) into `output`, which must hold MaxBlockSize(input.size())
    // bytes. Returns the block length, or nothing (and writes nothing) when a precondition fails.
    std::optional<std::size_t> Compress(std::span<const std::uint8_t> input, std::span<std::uint8_t> output);

    const BlockState& Block() const noexcept { return m_block; }

private:
    void init_compressor(std::uint8_t lastByte) noexcept;
    void clear_string_table() noexcept;
    bool find_longest_match() noexcept;
    void add_table_entry() noexcept;
    void write_code(std::uint32_t code) noexcept;
    void emit_prefix() noexcept;
    void look_for_zeros() noexcept;
    std::uint32_t count_zeros() const noexcept;

    StringTableSpan m_table;
    BlockState m_block{};
    const std::uint8_t* m_in = nullptr;
    const std::uint8_t* m_last = nullptr; // the saved last byte: no match or run reaches it
    std::uint8_t* m_out = nullptr;
    std::uint32_t m_prefix = 0;
    std::uint8_t m_byte = 0;
    std::size_t m_indexSlot = 0; // where a new entry for (m_prefix, m_byte) goes in the index
    bool m_halfPending = false;

    static constexpr std::size_t kIndexSlots = 8192;  // entries of one block fill it at most to 44 %
    std::array<std::uint32_t, kIndexSlots> m_index{}; // (prefix << 20 | byte << 12 | code), 0 = empty
    std::array<std::uint16_t, kStringTableEntries> m_lastChild{};
};

} // namespace render
