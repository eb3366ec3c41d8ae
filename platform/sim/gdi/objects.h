// The desktop's graphics objects (fonts, palettes, stock objects) and device contexts, behind the
// handles gdi32 hands out. Fonts measure text deterministically: a character cell is |height| pixels
// high (16 for the system font) and half as wide, a double-width character twice that.
#pragma once

#include <platform/windows.h>

#include <memory>
#include <vector>

namespace sim::detail
{
struct GdiObject
{
    virtual ~GdiObject() = default;
};

struct Font : GdiObject
{
    LOGFONTW logFont{};
};

struct Bitmap : GdiObject
{
    BITMAP bitmap{}; // size and depth only: nothing draws its bits
};

struct Palette : GdiObject
{
    std::vector<PALETTEENTRY> entries;
};

struct DeviceContext
{
    HWND window = nullptr;
    HFONT font = nullptr;
    HPALETTE palette = nullptr;
};

HGDIOBJ AddGdiObject(std::shared_ptr<GdiObject> object);
std::shared_ptr<GdiObject> FindGdiObject(HGDIOBJ handle);
template <typename T> std::shared_ptr<T> FindGdiObjectOf(HGDIOBJ handle)
{
    return std::dynamic_pointer_cast<T>(FindGdiObject(handle));
}
// The stock objects beyond the brushes: fonts and the default palette (null for another index).
HGDIOBJ StockGdiObject(int index);
// The context behind a handle (null for none); a copy, changed through SetDeviceContext.
std::shared_ptr<DeviceContext> FindDeviceContext(HDC dc);
} // namespace sim::detail
