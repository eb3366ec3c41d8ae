// Palettes and device-independent bitmaps drawn on the desktop: checked as gdi32 checks them and
// accepted; the desktop keeps no pixels.
#include "gdi/objects.h"

#include "core/internal.h"

#include <cstdlib>

using namespace sim;
using namespace sim::detail;

namespace
{
constexpr int kDefaultPalette = 15;
}

HPALETTE WINAPI CreatePalette(const LOGPALETTE* palette)
{
    if (!palette || palette->palVersion != 0x300 || palette->palNumEntries == 0)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto p = std::make_shared<Palette>();
    p->entries.assign(palette->palPalEntry, palette->palPalEntry + palette->palNumEntries);
    return static_cast<HPALETTE>(AddGdiObject(p));
}

HPALETTE WINAPI SelectPalette(HDC dc, HPALETTE palette, BOOL)
{
    auto context = FindDeviceContext(dc);
    bool stock = palette == StockGdiObject(kDefaultPalette);
    if (!context || (!stock && !FindGdiObjectOf<Palette>(palette)))
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    HPALETTE old =
        context->palette ? context->palette : static_cast<HPALETTE>(StockGdiObject(kDefaultPalette));
    context->palette = palette;
    return old;
}

UINT WINAPI RealizePalette(HDC dc)
{
    auto context = FindDeviceContext(dc);
    if (!context)
        return GDI_ERROR;
    auto p = FindGdiObjectOf<Palette>(context->palette);
    return p ? static_cast<UINT>(p->entries.size()) : 0;
}

UINT WINAPI GetPaletteEntries(HPALETTE palette, UINT start, UINT count, LPPALETTEENTRY entries)
{
    auto p = FindGdiObjectOf<Palette>(palette);
    if (!p)
        return 0;
    if (!entries)
        return static_cast<UINT>(p->entries.size());
    UINT n = 0;
    for (; n < count && start + n < p->entries.size(); ++n)
        entries[n] = p->entries[start + n];
    return n;
}

// Returns the scan lines taken, as gdi32 does; 0 for a call it refuses.
int WINAPI StretchDIBits(HDC dc, int, int, int destWidth, int destHeight, int, int, int srcWidth,
                         int srcHeight, const void* bits, const BITMAPINFO* info, UINT usage, DWORD)
{
    if (!FindDeviceContext(dc) || !bits || !info || usage != DIB_RGB_COLORS)
        return 0;
    const BITMAPINFOHEADER& h = info->bmiHeader;
    bool depth = h.biBitCount == 1 || h.biBitCount == 4 || h.biBitCount == 8 || h.biBitCount == 16 ||
                 h.biBitCount == 24 || h.biBitCount == 32;
    if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biWidth <= 0 || h.biHeight == 0 || h.biPlanes != 1 ||
        !depth || destWidth == 0 || destHeight == 0 || srcWidth < 0)
        return 0;
    return std::abs(srcHeight);
}
