// The graphics engine's driver interface as system code sees it (winddi.h): the Drv entry points a
// printer graphics DLL implements and the Eng services it calls.
#pragma once

#include <platform/windows.h>
#include <platform/winspool.h>

#if defined(_WIN32)
// mingw-w64's winddi.h needs two DirectDraw headers it does not ship; platform/win/include stands in.
#include <winddi.h>
#else
#include <platform/linux/winddi.h>
#endif

// Pool tags are four characters, stored so that a memory dump reads them in order.
constexpr ULONG EngPoolTag(const char (&t)[5])
{
    return static_cast<ULONG>(static_cast<unsigned char>(t[0])) |
           static_cast<ULONG>(static_cast<unsigned char>(t[1])) << 8 |
           static_cast<ULONG>(static_cast<unsigned char>(t[2])) << 16 |
           static_cast<ULONG>(static_cast<unsigned char>(t[3])) << 24;
}
