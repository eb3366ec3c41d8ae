#include "band_coder.h"

#include <cstring>

namespace render
{

namespace
{

std::uint32_t LoadWord(const std::uint8_t* p) noexcept
{
    std::uint32_t w;
    std::memcpy(&w, p, sizeof w); // unaligned; only compared with zero, so byte order does not matter
    return w;
}

std::size_t IndexSlot(std::uint32_t key) noexcept
{
    return (key * 0x9E3779B1u) >> (32 - 13);
}

} // namespace

void BandCoder::init_compressor(std::uint8_t lastByte) noexcept
{
    m_block = BlockState{};
    m_block.savedLastByte = lastByte;
    m_halfPending = false;
}

void BandCoder::clear_string_table() noexcept
{
    for (std::size_t i = 0; i < 256; ++i)
    {
        m_table[i].child = kNoLink;
        m_table[i].sibling = kNoLink;
        m_lastChild[i] = static_cast<std::uint16_t>(kNoLink);
    }
    m_index.fill(0);
    m_block.nextFreeCode = kFirstEntry;
}

void BandCoder::write_code(std::uint32_t code) noexcept
{
    if (!m_halfPending)
    {
        m_block.pendingHalfTriple = code;
        m_halfPending = true;
        return;
    }
    const auto pair = kgl::PackCodePair(m_block.pendingHalfTriple, code);
    m_out[0] = pair[0];
    m_out[1] = pair[1];
    m_out[2] = pair[2];
    m_out += 3;
    m_halfPending = false;
    m_block.pendingHalfTriple = 0;
}

void BandCoder::emit_prefix() noexcept
{
    write_code(m_prefix == m_block.nextFreeCode - 1 ? kCodeLastEntry : m_prefix);
}

// Walks down the table from the current prefix. Returns false when the walk reached the saved last
// byte (the block is complete up to it); true when it stopped on a byte that has no entry yet, which
// is then in m_byte with m_indexSlot where its entry would be indexed.
bool BandCoder::find_longest_match() noexcept
{
    const std::uint8_t* in = m_in;
    const std::uint8_t* const last = m_last;
    std::uint32_t prefix = m_prefix;
    const std::uint32_t* const index = m_index.data();
    while (in != last)
    {
        const std::uint8_t byte = *in++;
        const std::uint32_t key = prefix << 8 | byte;
        std::size_t slot = IndexSlot(key);
        std::uint32_t found;
        while ((found = index[slot]) != 0 && found >> 12 != key)
            slot = (slot + 1) & (kIndexSlots - 1);
        if (found == 0)
        {
            m_in = in;
            m_prefix = prefix;
            m_byte = byte;
            m_indexSlot = slot;
            return true;
        }
        prefix = found & 0xFFF;
    }
    m_in = in;
    m_prefix = prefix;
    return false;
}

void BandCoder::add_table_entry() noexcept
{
    std::uint32_t& next = m_block.nextFreeCode;
    if (next == kTableFrozen)
        return;
    if (next > kLastEntry)
    {
        write_code(kCodeControl);
        write_code(kControlTableFull);
        next = kTableFrozen;
        return;
    }
    StringEntry& entry = m_table[next];
    entry.child = kNoLink;
    entry.sibling = kNoLink;
    entry.prefix = m_prefix;
    entry.last = m_byte;
    // Appended at the end of the prefix's child list, as the table memory keeps it.
    const std::uint16_t lastChild = m_lastChild[m_prefix];
    (lastChild == kNoLink ? m_table[m_prefix].child : m_table[lastChild].sibling) = next;
    m_lastChild[m_prefix] = static_cast<std::uint16_t>(next);
    m_lastChild[next] = static_cast<std::uint16_t>(kNoLink);
    m_index[m_indexSlot] = (m_prefix << 8 | m_byte) << 12 | next;
    ++next;
}

// Zero words counted from the input position, each wholly before the saved last byte, at most 254.
std::uint32_t BandCoder::count_zeros() const noexcept
{
    std::uint32_t count = 0;
    const std::uint8_t* p = m_in;
    while (count < kMaxRunWords && m_last - p >= 4 && LoadWord(p) == 0)
    {
        ++count;
        p += 4;
    }
    return count;
}

void BandCoder::look_for_zeros() noexcept
{
    while (m_last - m_in >= 8 && LoadWord(m_in) == 0 && LoadWord(m_in + 4) == 0)
    {
        const std::uint32_t count = count_zeros();
        m_in += 4 * static_cast<std::size_t>(count);
        if (count < kMaxRunWords)
        {
            write_code(kCodeRunBase + count);
            return;
        }
        write_code(kCodeLongRun);
    }
}

std::optional<std::size_t> BandCoder::Compress(std::span<const std::uint8_t> input,
                                               std::span<std::uint8_t> output)
{
    if (input.size() < kMinBlockInput || input.size() > kMaxBlockInput ||
        output.size() < MaxBlockSize(input.size()))
        return std::nullopt;

    // The last byte stays out of every match and run; ending on a position, never on a sentinel
    // value, leaves the input untouched and a real byte equal to any sentinel harmless.
    init_compressor(input.back());
    m_in = input.data();
    m_last = input.data() + input.size() - 1;
    m_out = output.data();

    clear_string_table();
    write_code(kCodeControl);
    write_code(kControlClear);
    m_prefix = *m_in++;

    while (find_longest_match())
    {
        emit_prefix();
        add_table_entry();
        m_prefix = m_byte;
        if (m_byte == 0)
            look_for_zeros();
    }
    emit_prefix();
    write_code(m_block.savedLastByte);
    write_code(kCodeEnd);
    if (m_halfPending)
        write_code(0);

    return static_cast<std::size_t>(m_out - output.data());
}

} // namespace render
