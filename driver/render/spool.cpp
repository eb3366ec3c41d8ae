#include "spool.h"

#include <algorithm>

namespace render
{

namespace
{

// Hands bytes to the spooler until all are taken. A failed call, a call that takes nothing (which
// would loop forever) or one that claims more than it was given sets the error stop.
void WriteThrough(SpoolState& spool, const BYTE* data, DWORD size)
{
    while (size > 0 && !SpoolFailed(spool))
    {
        DWORD written = 0;
        if (!spool.write(data, size, &written) || written == 0 || written > size)
        {
            spool.jobFlags |= kJobWriteError;
            return;
        }
        spool.jobFlags |= kJobWriteSucceeded;
        data += written;
        size -= written;
    }
}

} // namespace

SpoolState::SpoolState(std::span<BYTE> buffer_, SpoolWriteFn write_) noexcept : buffer(buffer_), write(write_)
{
    if (buffer.size() < kSpoolBufferSize || !write)
        jobFlags |= kJobWriteError;
}

BOOL KgWriteSpoolOrFile(SpoolState& spool, const BYTE* data, DWORD size)
{
    if (spool.duplexRefused)
        return FALSE;
    return RtgWriteSpool(spool, data, size);
}

BOOL RtgWriteSpoolFlash(SpoolState& spool)
{
    const DWORD size = spool.fill;
    spool.fill = 0;
    WriteThrough(spool, spool.buffer.data(), size);
    return SpoolFailed(spool) ? FALSE : TRUE;
}

BOOL RtgWriteSpool(SpoolState& spool, const BYTE* data, DWORD size)
{
    if (size == 0)
        return TRUE;
    if (SpoolFailed(spool))
        return FALSE;
    if (size > kSpoolBufferSize)
    {
        RtgWriteSpoolFlash(spool);
        WriteThrough(spool, data, size);
        return SpoolFailed(spool) ? FALSE : TRUE;
    }
    if (spool.fill + size >= kSpoolBufferSize && !RtgWriteSpoolFlash(spool))
        return FALSE;
    std::copy_n(data, size, spool.buffer.begin() + spool.fill);
    spool.fill += size;
    return TRUE;
}

} // namespace render
