// The desktop's graphics objects (fonts, palettes, stock objects) and device contexts, behind the
// handles gdi32 hands out. Fonts measure text deterministically: a character cell is |height| pixels
// high (16 for the system font) and half as wide, a double-width character twice that.
#pragma once

#include <platform/windows.h>

#include <memory>
#include <optional>
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
    BITMAP bitmap{};          // what GetObjectW reports (bmBits stays null)
    std::vector<BYTE> pixels; // 24-bit, top row first, rows of PixelStride(width) bytes
    HDC selectedInto = nullptr;
};

inline LONG PixelStride(LONG width)
{
    return (width * 3 + 3) & ~3;
}

struct Palette : GdiObject
{
    std::vector<PALETTEENTRY> entries;
};

struct DeviceContext
{
    HWND window = nullptr;
    HFONT font = nullptr;
    HPALETTE palette = nullptr;
    bool memory = false;      // CreateCompatibleDC: draws on the bitmap selected into it
    HBITMAP bitmap = nullptr; // selected into a memory DC; null: the default 1 x 1 bitmap
    int stretchMode = 1;      // BLACKONWHITE
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
HDC AddDeviceContext(std::shared_ptr<DeviceContext> context);
bool RemoveDeviceContext(HDC dc);
size_t CountGdiObjects();
size_t CountDeviceContexts();
// The handle SelectObject hands back for a memory DC's first bitmap; selecting it again empties the DC.
HBITMAP DefaultBitmap();
// A bitmap of `width` x `height` with its pixels (white), as the desktop's object.
HBITMAP MakeBitmap(LONG width, LONG height, WORD bitsPerPixel, std::vector<BYTE> pixels = {});
// A solid brush's colour; nothing for a hollow brush or a handle that names none.
std::optional<COLORREF> BrushColor(HBRUSH brush);
bool DeleteSolidBrush(HGDIOBJ object); // false: not a brush CreateSolidBrush made
size_t CountSolidBrushes();
// Drops what was drawn on a window that is destroyed.
void ForgetWindowPicture(HWND window);
} // namespace sim::detail
