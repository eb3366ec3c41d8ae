// Linux declarations: the process status functions kernel32 exports with the K32 prefix. Written from
// the documented API; included by platform/psapi.h.
#pragma once

#define LIST_MODULES_DEFAULT 0x00
#define LIST_MODULES_32BIT 0x01
#define LIST_MODULES_64BIT 0x02
#define LIST_MODULES_ALL 0x03

BOOL WINAPI K32EnumProcesses(DWORD* processIds, DWORD cb, LPDWORD bytesReturned);
BOOL WINAPI K32EnumProcessModulesEx(HANDLE process, HMODULE* modules, DWORD cb, LPDWORD needed,
                                    DWORD filterFlag);
DWORD WINAPI K32GetModuleFileNameExW(HANDLE process, HMODULE module, LPWSTR fileName, DWORD size);
