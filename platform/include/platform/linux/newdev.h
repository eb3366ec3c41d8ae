// Linux declarations: driver updates for plug-and-play devices and device removal. Written from the
// documented API; included by platform/newdev.h.
#pragma once

#include <platform/setupapi.h>

#define INSTALLFLAG_FORCE 0x00000001
#define INSTALLFLAG_READONLY 0x00000002
#define INSTALLFLAG_NONINTERACTIVE 0x00000004

BOOL WINAPI UpdateDriverForPlugAndPlayDevicesW(HWND parent, LPCWSTR hardwareId, LPCWSTR fullInfPath,
                                               DWORD installFlags, PBOOL rebootRequired);
BOOL WINAPI DiUninstallDevice(HWND parent, HDEVINFO set, PSP_DEVINFO_DATA device, DWORD flags,
                              PBOOL needReboot);
BOOL WINAPI UpdateDriverForPlugAndPlayDevicesA(HWND parent, LPCSTR hardwareId, LPCSTR fullInfPath,
                                               DWORD installFlags, PBOOL rebootRequired);
