// The graphics DLL's exports: the engine's entry, and what marks it a user-mode printer driver.
#include <platform/dllentry.h>

#include "enable.h"

PLATFORM_DLL_BEGIN(velmoq7)

BOOL APIENTRY DrvEnableDriver(ULONG engineVersion, ULONG size, DRVENABLEDATA* data)
{
    return velmoq7::DrvEnableDriver(engineVersion, size, data);
}

VOID APIENTRY DrvDisableDriver()
{
    velmoq7::DrvDisableDriver();
}

BOOL APIENTRY DrvQueryDriverInfo(DWORD mode, PVOID buffer, DWORD size, PDWORD needed)
{
    return velmoq7::DrvQueryDriverInfo(mode, buffer, size, needed);
}

PLATFORM_DLL_END

PLATFORM_DLL_REGISTER(u"VELMOQ7.DLL", PLATFORM_DLL_EXPORT(velmoq7, DrvEnableDriver),
                      PLATFORM_DLL_EXPORT(velmoq7, DrvDisableDriver),
                      PLATFORM_DLL_EXPORT(velmoq7, DrvQueryDriverInfo))
