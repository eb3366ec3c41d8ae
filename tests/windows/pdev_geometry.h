// The page geometry a PDEV reports, printed the same way by the harness under Wine and by the Linux
// figures program over the simulated machine, so the stage compares the two lines as text.
#pragma once

#include <platform/winddi.h>

#include <cstdio>

namespace drive
{

// The engine version a current system's graphics engine passes to DrvEnableDriver.
constexpr ULONG kEngineVersion = 0x20000;

inline void PrintGeometry(const GDIINFO& g)
{
    std::printf("geometry: %lux%lu dots, %lux%lu dpi, size %lux%lu mm, sheet %ldx%ld, offset %ld,%ld\n",
                static_cast<unsigned long>(g.ulHorzRes), static_cast<unsigned long>(g.ulVertRes),
                static_cast<unsigned long>(g.ulLogPixelsX), static_cast<unsigned long>(g.ulLogPixelsY),
                static_cast<unsigned long>(g.ulHorzSize), static_cast<unsigned long>(g.ulVertSize),
                static_cast<long>(g.szlPhysSize.cx), static_cast<long>(g.szlPhysSize.cy),
                static_cast<long>(g.ptlPhysOffset.x), static_cast<long>(g.ptlPhysOffset.y));
}

} // namespace drive
