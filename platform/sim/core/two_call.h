// The two-call buffer protocol of the spooler's and setup's Get/Enum functions: fixed records first,
// then the strings and blobs they point to. A caller asks once with too small a buffer (or none) to
// learn the size, then again with that size.
#pragma once

#include <platform/windows.h>

#include <cstring>
#include <vector>

namespace sim::detail
{

// Lays out one answer. Measuring (no buffer) writes into scratch space and places nothing, so the
// same fill code runs for both calls and the two can never disagree on the size.
class Packer
{
public:
    Packer(BYTE* buffer, size_t fixed) : base_(buffer), size_(Align(fixed))
    {
        if (!base_)
        {
            scratch_.assign(fixed, 0);
            fixed_ = scratch_.data();
        }
        else
            fixed_ = base_;
    }

    template <typename T> T* Fixed(size_t index = 0) { return reinterpret_cast<T*>(fixed_) + index; }

    // Null while measuring.
    LPWSTR String(WStringView text)
    {
        BYTE* at = Reserve((text.size() + 1) * sizeof(WCHAR));
        if (!at)
            return nullptr;
        std::memcpy(at, text.data(), text.size() * sizeof(WCHAR));
        reinterpret_cast<WCHAR*>(at)[text.size()] = 0;
        return reinterpret_cast<LPWSTR>(at);
    }
    BYTE* Bytes(const void* data, size_t bytes)
    {
        BYTE* at = Reserve(bytes);
        if (at && bytes)
            std::memcpy(at, data, bytes);
        return at;
    }

    size_t Size() const { return size_; }

private:
    static size_t Align(size_t bytes) { return (bytes + 7) & ~size_t{7}; }
    BYTE* Reserve(size_t bytes)
    {
        size_t at = size_;
        size_ += Align(bytes);
        return base_ ? base_ + at : nullptr;
    }

    BYTE* base_;
    size_t size_;
    std::vector<BYTE> scratch_;
    BYTE* fixed_;
};

// Runs `fill(Packer&)` to measure, reports the size in `needed`, and fills `buffer` only when it
// holds it all: FALSE with ERROR_INSUFFICIENT_BUFFER otherwise, the buffer untouched.
template <typename Fill> BOOL PackTwoCall(BYTE* buffer, DWORD size, DWORD* needed, size_t fixed, Fill fill)
{
    Packer measure(nullptr, fixed);
    fill(measure);
    if (needed)
        *needed = static_cast<DWORD>(measure.Size());
    if (!buffer || size < measure.Size())
    {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memset(buffer, 0, measure.Size());
    Packer write(buffer, fixed);
    fill(write);
    return TRUE;
}

} // namespace sim::detail
