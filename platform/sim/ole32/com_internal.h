// COM inside the machine: the classes CoCreateInstance can make, and a reference-counted base for
// the objects that implement them.
#pragma once

#include "core/internal.h"
#include <platform/shlobj.h>

#include <algorithm>
#include <atomic>

namespace sim::detail
{

// Makers of the classes the shell provides (shell32/).
HRESULT CreateFileOperation(REFIID riid, void** object);
HRESULT CreateShellLink(REFIID riid, void** object);
// Makers of the firewall's policy and rule (hnetcfg/).
HRESULT CreateFirewallPolicy(REFIID riid, void** object);
HRESULT CreateFirewallRule(REFIID riid, void** object);

// A copy of `text` in task memory (CoTaskMemFree), null when there is no memory.
inline LPWSTR TaskMemText(WStringView text)
{
    auto* block = static_cast<WCHAR*>(CoTaskMemAlloc((text.size() + 1) * sizeof(WCHAR)));
    if (block)
    {
        std::copy(text.begin(), text.end(), block);
        block[text.size()] = 0;
    }
    return block;
}

// Whether the calling thread has entered an apartment (CoInitialize[Ex] without its CoUninitialize).
bool InApartment();
// The calling thread's apartment (COINIT_APARTMENTTHREADED or COINIT_MULTITHREADED), or -1 when it
// has entered none.
long ApartmentModel();

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
