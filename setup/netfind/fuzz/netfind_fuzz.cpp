// Any bytes as the datagrams of one search: the first byte gives the table's capacity (1-16 records),
// then each datagram is a 16-bit little-endian length and its bytes. Each one goes through the
// library's own path (a zeroed receive buffer, validation, the de-duplication table) and the records
// are written into a buffer with guards on both sides.
#include "netfind.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace
{
using namespace netfind;

constexpr std::uint8_t kGuard = 0xC5;
constexpr std::size_t kGuardSize = 64;

bool RxName(const char* name)
{
    return (name[0] == 'R' || name[0] == 'r') && (name[1] == 'X' || name[1] == 'x') && name[2] == '-';
}

// The bytes after a name's first NUL are NUL too: nothing beyond the name leaks into its field.
bool PaddedName(const char* name, std::size_t field)
{
    std::size_t n = 0;
    while (n < field && name[n] != 0)
        ++n;
    for (; n < field; ++n)
        if (name[n] != 0)
            return false;
    return true;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t capacity = data[0] % 16 + 1;
    std::vector<PrnSvrReplyEntry> table(capacity);
    std::memset(table.data(), 0, table.size() * sizeof(PrnSvrReplyEntry));
    std::size_t stored = 0;
    std::size_t at = 1;
    while (at + 2 <= size)
    {
        const std::size_t length = data[at] | std::size_t{data[at + 1]} << 8;
        at += 2;
        const std::size_t taken = std::min(length, size - at);
        std::uint8_t buffer[kReceiveBufferSize] = {};
        std::memcpy(buffer, data + at, std::min(taken, sizeof buffer));
        at += taken;
        if (isCardReply({buffer, std::min(taken, sizeof buffer)}) && addUniqueReply(table, buffer))
            ++stored;
    }
    if (stored > capacity)
        __builtin_trap();
    for (std::size_t i = 0; i < capacity; ++i)
        for (std::size_t j = i + 1; j < capacity; ++j)
            if (table[i].inUse && table[j].inUse && table[i].key == table[j].key &&
                std::memcmp(table[i].body, table[j].body, kReplyIdentitySize) == 0)
                __builtin_trap(); // one card stored twice

    std::vector<std::uint8_t> out(kGuardSize * 2 + capacity * sizeof(PrnSvrInfo), kGuard);
    auto* records = reinterpret_cast<PrnSvrInfo*>(out.data() + kGuardSize);
    const std::size_t written = writeCardRecords(table, stored, records, capacity);
    if (written > stored)
        __builtin_trap();
    for (std::size_t i = 0; i < kGuardSize; ++i)
        if (out[i] != kGuard || out[out.size() - 1 - i] != kGuard)
            __builtin_trap();
    for (std::size_t i = 0; i < written; ++i)
        if (!RxName(records[i].cardName) || !PaddedName(records[i].cardName, 16) ||
            !PaddedName(records[i].printerName, 32))
            __builtin_trap();
    return 0;
}
