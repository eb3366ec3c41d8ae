// Apartments per thread and the in-process classes CoCreateInstance makes.
#include "ole32/com_internal.h"
#include "core/state.h"
#include <platform/netfw.h>

#include <map>

using namespace sim;
using namespace sim::detail;

namespace
{
struct Apartment
{
    DWORD model = 0; // COINIT_APARTMENTTHREADED or COINIT_MULTITHREADED
    int entered = 0; // successful initialisations not yet undone
};

struct Apartments : PartBase
{
    std::map<DWORD, Apartment> byThread;
};

Apartments& apartments()
{
    return Part<Apartments>();
}
} // namespace

namespace sim::detail
{
bool InApartment()
{
    std::lock_guard g(StateLock());
    auto it = apartments().byThread.find(GetCurrentThreadId());
    return it != apartments().byThread.end() && it->second.entered > 0;
}

long ApartmentModel()
{
    std::lock_guard g(StateLock());
    auto it = apartments().byThread.find(GetCurrentThreadId());
    if (it == apartments().byThread.end() || it->second.entered == 0)
        return -1;
    return static_cast<long>(it->second.model);
}
} // namespace sim::detail

HRESULT WINAPI CoInitializeEx(LPVOID, DWORD coInit)
{
    SIM_FAULT_HRESULT("CoInitializeEx");
    DWORD model = (coInit & COINIT_APARTMENTTHREADED) ? COINIT_APARTMENTTHREADED : COINIT_MULTITHREADED;
    std::lock_guard g(StateLock());
    Apartment& a = apartments().byThread[GetCurrentThreadId()];
    if (a.entered > 0 && a.model != model)
        return RPC_E_CHANGED_MODE; // not counted: the caller must not uninitialise for it
    a.model = model;
    return a.entered++ == 0 ? S_OK : S_FALSE;
}

HRESULT WINAPI CoInitialize(LPVOID reserved)
{
    return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED);
}

void WINAPI CoUninitialize()
{
    std::lock_guard g(StateLock());
    auto it = apartments().byThread.find(GetCurrentThreadId());
    if (it != apartments().byThread.end() && it->second.entered > 0)
        --it->second.entered;
}

HRESULT WINAPI CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD clsContext, REFIID riid,
                                LPVOID* object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    SIM_FAULT_HRESULT("CoCreateInstance");
    if (!InApartment())
        return CO_E_NOTINITIALIZED;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    if (!(clsContext & CLSCTX_INPROC_SERVER))
        return REGDB_E_CLASSNOTREG; // every class here is an in-process server
    if (clsid == CLSID_FileOperation)
        return CreateFileOperation(riid, object);
    if (clsid == CLSID_ShellLink)
        return CreateShellLink(riid, object);
    if (clsid == CLSID_NetFwPolicy2)
        return CreateFirewallPolicy(riid, object);
    if (clsid == CLSID_NetFwRule)
        return CreateFirewallRule(riid, object);
    return REGDB_E_CLASSNOTREG;
}

HRESULT WINAPI PropVariantClear(PROPVARIANT* value)
{
    if (!value)
        return E_INVALIDARG;
    if (value->vt == VT_LPWSTR)
        CoTaskMemFree(value->pwszVal);
    *value = PROPVARIANT{};
    return S_OK;
}
