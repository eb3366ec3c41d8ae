// What the desktop's graphics show a test: the pixels last drawn on a window through its device
// contexts (an owner-drawn control's picture), and how many graphics objects and DCs are alive.
#pragma once

#include <platform/windows.h>

#include <cstddef>
#include <vector>

namespace sim
{

struct Picture
{
    LONG width = 0;
    LONG height = 0;
    std::vector<COLORREF> pixels; // rows from the top

    bool Empty() const { return pixels.empty(); }
    COLORREF At(LONG x, LONG y) const { return pixels[static_cast<size_t>(y * width + x)]; }
};

// The window's client area as last drawn (empty when nothing drew on it).
Picture Drawn(HWND window);

struct GdiCounts
{
    size_t objects = 0; // fonts, bitmaps, palettes, solid brushes
    size_t deviceContexts = 0;
    bool operator==(const GdiCounts&) const = default;
};
GdiCounts CountGdi();

} // namespace sim
