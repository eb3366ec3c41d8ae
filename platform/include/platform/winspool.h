// The print spooler's records as system code sees them (winspool.h).
#pragma once

#include <platform/windows.h>

#if defined(_WIN32)
#include <winspool.h>

// The import library has this one; the header does not declare it.
extern "C" HRESULT WINAPI InstallPrinterDriverFromPackageW(LPCWSTR server, LPCWSTR infPath,
                                                           LPCWSTR driverName, LPCWSTR environment,
                                                           DWORD flags);
#else
#include <platform/linux/winspool.h>
#endif
