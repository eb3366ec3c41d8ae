#include "band_decoder.h"

#include "kgl_format.h"

#include <algorithm>
#include <cstring>

namespace printfile
{
namespace
{
using kgl::kCodeControl;
using kgl::kCodeEnd;
using kgl::kCodeLastEntry;
using kgl::kFirstEntry;
constexpr size_t kWorkUnit = 65536;

class CodeReader
{
public:
    explicit CodeReader(std::span<const BYTE> block) : m_block(block) {}

    bool Next(unsigned& code)
    {
        if (m_first)
        {
            if (m_block.size() - m_at < 2)
                return false;
            code = kgl::FirstCode(m_block[m_at], m_block[m_at + 1]);
        }
        else
        {
            if (m_block.size() - m_at < kgl::kCodePairSize)
                return false;
            code = kgl::SecondCode(m_block[m_at + 1], m_block[m_at + 2]);
            m_at += kgl::kCodePairSize;
        }
        m_first = !m_first;
        return true;
    }

private:
    std::span<const BYTE> m_block;
    size_t m_at = 0;
    bool m_first = true;
};
} // namespace

DecodeResult BandDecoder::Decode(std::span<const BYTE> block, std::span<BYTE> output)
{
    if (block.empty() || output.empty())
        return {};
    if (m_work.size() < output.size() && !m_work.Allocate(output.size()))
        return {DecodeStatus::OutOfMemory, 0};
    const DecodeResult r = Run(block, std::span<BYTE>(m_work.data(), output.size()));
    if (r.status == DecodeStatus::Ok)
        std::memcpy(output.data(), m_work.data(), r.bytes);
    return r;
}

DecodeResult BandDecoder::DecodeInPlace(std::span<const BYTE> block, std::span<BYTE> output)
{
    if (block.empty() || output.empty())
        return {};
    return Run(block, output);
}

DecodeResult BandDecoder::Run(std::span<const BYTE> block, std::span<BYTE> output)
{
    const size_t capacity = output.size();
    if (capacity > SIZE_MAX - kWorkUnit)
        return {};
    // A block is decoded as into the capacity rounded up to 64 KiB: what it writes there beyond the capacity
    // fails it, what it would write beyond the rounded end is cut. Bytes beyond the capacity are never kept,
    // so they are not written at all.
    const size_t end = (capacity + kWorkUnit - 1) / kWorkUnit * kWorkUnit;
    if (end > UINT32_MAX)
        return {};
    // Every code makes one entry at most, and a clear moves the next one to 512: a short block needs only
    // the start of the table.
    const size_t codes = block.size() / kgl::kCodePairSize * 2 + 1;
    const size_t entries = std::min<size_t>(kTableEntries, kFirstEntry + codes + 1);
    if (m_table.size() < entries && !m_table.Allocate(entries))
        return {DecodeStatus::OutOfMemory, 0};
    constexpr DecodeResult kTooLong{DecodeStatus::TooLong, 0};

    BYTE* const work = output.data();
    size_t wp = 0;
    size_t next = 0;
    size_t base = 0; // entries below this were made before the last clear and are gone
    CodeReader reader(block);

    while (wp < end)
    {
        unsigned code = 0;
        if (!reader.Next(code))
            return {DecodeStatus::Damaged, 0};
        if (code >= kFirstEntry || code == kCodeLastEntry)
        {
            const size_t ref = code == kCodeLastEntry ? next - 1 : code;
            if (next == 0 || ref < base || ref >= next)
                return {DecodeStatus::Damaged, 0};
            // An entry's bytes are one more than the code that made it wrote; the last of them may be the
            // first being written, so overlapping copies go byte by byte.
            const Entry e = m_table[ref];
            const size_t n = std::min<size_t>(size_t{e.length} + 1, end - wp);
            if (n > capacity - wp)
                return kTooLong;
            m_table[next++] = {e.length + 1, static_cast<uint32_t>(wp)};
            const size_t src = e.position;
            if (src + n <= wp)
                std::memcpy(work + wp, work + src, n);
            else
                for (size_t k = 0; k < n; ++k)
                    work[wp + k] = work[src + k];
            wp += n;
        }
        else if (code < kgl::kLiteralCodes)
        {
            if (wp == capacity)
                return kTooLong;
            m_table[next++] = {1, static_cast<uint32_t>(wp)};
            work[wp++] = static_cast<BYTE>(code);
        }
        else if (code == kCodeControl)
        {
            unsigned argument = 0;
            if (!reader.Next(argument))
                return {DecodeStatus::Damaged, 0};
            if (argument == kgl::kControlClear)
            {
                next = base = kFirstEntry;
                continue;
            }
        }
        else if (code == kCodeEnd)
            break;
        else
        {
            // Whole zero words only, as many as fit before the rounded end.
            const size_t words = std::min<size_t>(code - kgl::kCodeRunBase, (end - wp) / 4);
            if (words * 4 > capacity - wp)
                return kTooLong;
            std::memset(work + wp, 0, words * 4);
            wp += words * 4;
        }
        if (next >= kEntryLimit)
            break;
    }

    if (wp == 0)
        return {};
    return {DecodeStatus::Ok, wp};
}

size_t DecompressBand(std::span<const BYTE> block, std::span<BYTE> output)
{
    BandDecoder decoder;
    return decoder.Decode(block, output).bytes;
}

} // namespace printfile
