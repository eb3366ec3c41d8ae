// Spool output: every byte of the print stream leaves through one buffer that is handed to the
// spooler, with a job-wide error stop once the spooler refuses a write.
#pragma once

#include <platform/windows.h>

#include <span>

namespace render
{

inline constexpr DWORD kSpoolBufferSize = 0xF800; // 63,488 bytes

// Job flags kept by the spool output (the job's flag word carries them).
inline constexpr DWORD kJobWriteSucceeded = 0x4;
inline constexpr DWORD kJobWriteError = 0x8;

// Hands bytes to the spooler; the engine's EngWritePrinter over the job's printer handle. A plain
// function and its context, so that setting up the output can neither allocate nor throw.
struct SpoolWriteFn
{
    BOOL (*call)(void* context, const BYTE* data, DWORD size, DWORD* written) = nullptr;
    void* context = nullptr;

    BOOL operator()(const BYTE* data, DWORD size, DWORD* written) const
    {
        return call(context, data, size, written);
    }
    explicit operator bool() const noexcept { return call != nullptr; }
};

// A writer calling `writer(data, size, written)`, which must outlive the spool output.
template <class Writer> SpoolWriteFn SpoolWriterOf(Writer& writer) noexcept
{
    return {[](void* context, const BYTE* data, DWORD size, DWORD* written) -> BOOL {
                return (*static_cast<Writer*>(context))(data, size, written);
            },
            &writer};
}

struct SpoolState
{
    // `buffer` must hold kSpoolBufferSize bytes; the caller owns it. Without such a buffer or a writer
    // the output starts stopped: every write and flush fails.
    SpoolState(std::span<BYTE> buffer, SpoolWriteFn write) noexcept;

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
