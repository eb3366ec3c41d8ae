// Device sets and interfaces, INF files and the driver store as system code sees them (setupapi.h).
#pragma once

#include <platform/windows.h>

#if defined(_WIN32)
#include <setupapi.h>

// The import library has this one; the header does not declare it.
extern "C" BOOL WINAPI SetupGetInfDriverStoreLocationW(PCWSTR fileName, PVOID alternatePlatformInfo,
                                                       PCWSTR localeName, PWSTR returnBuffer,
                                                       DWORD returnBufferSize, PDWORD requiredSize);
#else
#include <platform/linux/setupapi.h>
#endif
