// The print spooler's records as system code sees them (winspool.h).
#pragma once

#include <platform/windows.h>

#if defined(_WIN32)
#include <winspool.h>

// The system's own names for these operations are its own functions' names too; the A/W macros
// would rename them.
#undef AddPrinter
#undef EnumJobs

#ifndef UPDP_UPLOAD_ALWAYS
#define UPDP_SILENT_UPLOAD 0x00000001
#define UPDP_UPLOAD_ALWAYS 0x00000002
#define UPDP_CHECK_DRIVERSTORE 0x00000004
#endif
#ifndef IPDFP_COPY_ALL_FILES
#define IPDFP_COPY_ALL_FILES 0x00000001
#endif

// The import library has this one; the header does not declare it.
extern "C" HRESULT WINAPI InstallPrinterDriverFromPackageW(LPCWSTR server, LPCWSTR infPath,
                                                           LPCWSTR driverName, LPCWSTR environment,
                                                           DWORD flags);
#else
#include <platform/linux/winspool.h>
#endif
