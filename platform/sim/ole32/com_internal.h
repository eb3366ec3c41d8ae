// COM inside the machine: the classes CoCreateInstance can make, and a reference-counted base for
// the objects that implement them.
#pragma once

#include "core/internal.h"
#include <platform/shlobj.h>

#include <atomic>

namespace sim::detail
{

// Makers of the classes the shell provides (shell32/).
HRESULT CreateFileOperation(REFIID riid, void** object);
HRESULT CreateShellLink(REFIID riid, void** object);

// Whether the calling thread has entered an apartment (CoInitialize[Ex] without its CoUninitialize).
bool InApartment();

template <typename Derived> class ComObject
{
public:
    virtual ~ComObject() = default;
    ULONG AddRefImpl() { return ++refs_; }
    ULONG ReleaseImpl()
    {
        ULONG left = --refs_;
        if (left == 0)
            delete static_cast<Derived*>(this);
        return left;
    }

private:
    std::atomic<ULONG> refs_{1};
};

} // namespace sim::detail
