// Escapes and font queries of the graphics driver, once the PDEV has been found to be ours.
#pragma once

#include <platform/windows.h>

namespace render
{

// Answers one escape for a device whose copy count is `copies`. SETCOPYCOUNT takes the count from
// the first 32-bit word of the input, held to 1..maxCopies, and reports the count in force.
ULONG EscapeForCopies(LONG& copies, LONG maxCopies, ULONG escape, ULONG inputSize, const void* input,
                      ULONG outputSize, void* output);

// The device has no fonts: no faces, no font data, no font tree.
inline void* QueryDeviceFont() noexcept
{
    return nullptr;
}
inline LONG QueryDeviceFontData() noexcept
{
    return -1;
}
inline void* QueryDeviceFontTree() noexcept
{
    return nullptr;
}

} // namespace render
