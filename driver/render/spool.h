// Spool output: every byte of the print stream leaves through one buffer that is handed to the
// spooler, with a job-wide error stop once the spooler refuses a write.
#pragma once

#include <platform/windows.h>

#include <functional>
#include <span>

namespace render
{

inline constexpr DWORD kSpoolBufferSize = 0xF800; // 63,488 bytes

// Job flags kept by the spool output (the job's flag word carries them).
inline constexpr DWORD kJobWriteSucceeded = 0x4;
inline constexpr DWORD kJobWriteError = 0x8;

// Hands bytes to the spooler; the engine's EngWritePrinter over the job's printer handle.
using SpoolWriteFn = std::function<BOOL(const BYTE* data, DWORD size, DWORD* written)>;

struct SpoolState
{
    // `buffer` must hold kSpoolBufferSize bytes; the caller owns it.
    SpoolState(std::span<BYTE> buffer, SpoolWriteFn write);

    std::span<BYTE> buffer;
    SpoolWriteFn write;
    DWORD fill = 0;
    DWORD jobFlags = 0;
    bool duplexRefused = false; // a refused duplex job writes nothing at all
};

// Drops the data and fails while the job is refused; otherwise RtgWriteSpool.
BOOL KgWriteSpoolOrFile(SpoolState& spool, const BYTE* data, DWORD size);

// Buffered write; data longer than the buffer goes straight to the spooler after a flush.
// Fails once the error stop is set: those bytes would never reach the spooler.
BOOL RtgWriteSpool(SpoolState& spool, const BYTE* data, DWORD size);

// Writes out the buffer; fails when the error stop is set.
BOOL RtgWriteSpoolFlash(SpoolState& spool);

inline bool SpoolFailed(const SpoolState& spool) noexcept
{
    return (spool.jobFlags & kJobWriteError) != 0;
}

// End of the document: the write flags go with the job flags.
inline void ClearSpoolJobFlags(SpoolState& spool) noexcept
{
    spool.jobFlags &= ~(kJobWriteSucceeded | kJobWriteError);
}

} // namespace render
