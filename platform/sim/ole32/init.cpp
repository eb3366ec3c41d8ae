// COM start-up per thread: the first call picks the thread's apartment, later ones count.
#include "core/internal.h"

#include <platform/objbase.h>

namespace
{
struct Apartment
{
    int count = 0;
    DWORD model = 0;
};
thread_local Apartment t_apartment;
} // namespace

HRESULT WINAPI CoInitializeEx(LPVOID, DWORD coInit)
{
    DWORD model = coInit & COINIT_APARTMENTTHREADED;
    if (t_apartment.count > 0 && t_apartment.model != model)
        return RPC_E_CHANGED_MODE;
    t_apartment.model = model;
    return t_apartment.count++ == 0 ? S_OK : S_FALSE;
}

void WINAPI CoUninitialize()
{
    if (t_apartment.count > 0)
        --t_apartment.count;
}
