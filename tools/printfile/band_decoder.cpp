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
    const size_t capacity = output.size();
    if (capacity > SIZE_MAX - kWorkUnit)
        return {};
    const size_t workSize = (capacity + kWorkUnit - 1) / kWorkUnit * kWorkUnit;
    if (workSize > UINT32_MAX)
        return {};
    m_table.resize(kTableEntries);
    m_work.assign(workSize, 0); // zero runs are only skipped over

    BYTE* const work = m_work.data();
    const size_t end = workSize;
    size_t wp = 0;
    size_t next = 0;
    size_t base = 0; // entries below this were made before the last clear and are gone
    CodeReader reader(block);

    // Copies the bytes of an entry (one more than the code that made it wrote) behind the write position; the
    // last of them may be the first being written, so overlapping copies go byte by byte.
    auto copyEntry = [&](const Entry& e) {
        size_t n = std::min<size_t>(size_t{e.length} + 1, end - wp);
        const size_t src = e.position;
        if (src + n <= wp)
            std::memcpy(work + wp, work + src, n);
        else
            for (size_t k = 0; k < n; ++k)
                work[wp + k] = work[src + k];
        wp += n;
    };

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
            const Entry e = m_table[ref];
            m_table[next++] = {e.length + 1, static_cast<uint32_t>(wp)};
            copyEntry(e);
        }
        else if (code < kgl::kLiteralCodes)
        {
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
            for (unsigned words = code - kgl::kCodeRunBase; words > 0 && wp + 4 <= end; --words)
                wp += 4;
        }
        if (next >= kEntryLimit)
            break;
    }

    if (wp == 0)
        return {};
    if (wp > capacity)
        return {DecodeStatus::TooLong, 0};
    std::memcpy(output.data(), work, wp);
    return {DecodeStatus::Ok, wp};
}

size_t DecompressBand(std::span<const BYTE> block, std::span<BYTE> output)
{
    BandDecoder decoder;
    return decoder.Decode(block, output).bytes;
}

} // namespace printfile
