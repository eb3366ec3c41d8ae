// The setup API's 8-bit form of removing an OEM INF, over the wide one.
#include "core/internal.h"

#include <platform/setupapi.h>

BOOL WINAPI SetupUninstallOEMInfA(PCSTR infFileName, DWORD flags, PVOID reserved)
{
    if (!infFileName)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return SetupUninstallOEMInfW(sim::detail::Widen(infFileName).c_str(), flags, reserved);
}
