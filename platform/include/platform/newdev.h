// Driver updates for plug-and-play devices and device removal (newdev.h). DiUninstallDevice is missing
// from mingw-w64's import library: callers find it in newdev.dll with GetProcAddress.
#pragma once

#include <platform/setupapi.h>

#if defined(_WIN32)
#include <newdev.h>
#else
#include <platform/linux/newdev.h>
#endif

typedef BOOL(WINAPI* DiUninstallDeviceProc)(HWND parent, HDEVINFO set, PSP_DEVINFO_DATA device, DWORD flags,
                                            PBOOL needReboot);
// setupapi's (and cfgmgr32's) wait for the plug-and-play installs still running; looked up by name.
typedef DWORD(WINAPI* CmpWaitNoPendingInstallEventsProc)(DWORD milliseconds);
typedef BOOL(WINAPI* UpdateDriverForPlugAndPlayDevicesAProc)(HWND parent, LPCSTR hardwareId,
                                                             LPCSTR fullInfPath, DWORD installFlags,
                                                             PBOOL rebootRequired);
