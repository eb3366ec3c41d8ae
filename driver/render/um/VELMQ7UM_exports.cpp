// The user-mode spool DLL's exports and entry: each forwards to the namespaced code, and no
// exception leaves.
#include <platform/boundary.h>
#include <platform/dllentry.h>

#include "VELMQ7UM_exports.h"
#include "spool_dll.h"

PLATFORM_DLL_BEGIN(velmq7um)

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    return platform::Boundary(FALSE, [&] {
        if (reason == DLL_PROCESS_ATTACH)
        {
            velmq7um::CfcSetDriverInst(instance);
            velmq7um::CfcInitCriticalSection();
            DisableThreadLibraryCalls(instance);
        }
        else if (reason == DLL_PROCESS_DETACH)
            velmq7um::CfcDelCriticalSection();
        return TRUE;
    });
}

BOOL WINAPI DrvSplAbort(HANDLE handle)
{
    return platform::Boundary(TRUE, [&] { return velmq7um::DrvSplAbort(handle); });
}

BOOL WINAPI DrvSplClose(HANDLE handle)
{
    return platform::Boundary(FALSE, [&] { return velmq7um::DrvSplClose(handle); });
}

BOOL WINAPI DrvSplEndDoc(HANDLE handle)
{
    return platform::Boundary(FALSE, [&] { return velmq7um::DrvSplEndDoc(handle); });
}

BOOL WINAPI DrvSplEndPage(HANDLE handle)
{
    return platform::Boundary(FALSE, [&] { return velmq7um::DrvSplEndPage(handle); });
}

HANDLE WINAPI DrvSplStartDoc(HANDLE printer, DWORD jobId)
{
    return platform::Boundary(HANDLE{}, [&] { return velmq7um::DrvSplStartDoc(printer, jobId); });
}

BOOL WINAPI DrvSplStartPage(HANDLE handle)
{
    return platform::Boundary(FALSE, [&] { return velmq7um::DrvSplStartPage(handle); });
}

BOOL WINAPI DrvSplWritePrinter(HANDLE handle, LPVOID buffer, DWORD length, LPDWORD written)
{
    return platform::Boundary(FALSE,
                              [&] { return velmq7um::DrvSplWritePrinter(handle, buffer, length, written); });
}

PLATFORM_DLL_END

PLATFORM_DLL_REGISTER_WITH_MAIN(velmq7um, u"VELMQ7UM.DLL", VELMQ7UM_EXPORT_LIST)
