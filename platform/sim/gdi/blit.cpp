// Memory device contexts, bitmaps compatible with the screen and the transfers between them,
// drawn by the engine's raster core. A window's DC draws on a picture the desktop keeps for the
// window at its client size, which tests read back.
#include "core/faults.h"
#include "core/internal.h"
#include "core/state.h"
#include "gdi/objects.h"
#include "gdi/raster.h"

#include <sim/gdi.h>

#include <algorithm>
#include <cstdlib>
#include <map>

using namespace sim;
using namespace sim::detail;

namespace
{
struct WindowPicture
{
    LONG width = 0;
    LONG height = 0;
    std::vector<BYTE> pixels;
};

struct Pictures : PartBase
{
    std::map<HWND, WindowPicture> windows;
};

Pictures& pictures()
{
    return Part<Pictures>();
}

// Where a DC draws, valid while the state lock is held; width 0 for a DC with nothing behind it.
struct Target
{
    raster::Surface surface;
    std::vector<BYTE>* pixels = nullptr;
};

// The caller holds the state lock. `client` is the window's client size (for a window's DC).
bool TargetOf(HDC dc, Target& out, SIZE client = {})
{
    auto context = FindDeviceContext(dc);
    if (!context)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    out = Target{};
    if (context->memory)
    {
        auto bitmap = FindGdiObjectOf<Bitmap>(context->bitmap);
        if (!bitmap)
            return true; // the default 1 x 1 bitmap: nothing worth keeping
        out.pixels = &bitmap->pixels;
        out.surface = raster::Surface{bitmap->bitmap.bmWidth, bitmap->bitmap.bmHeight,
                                      PixelStride(bitmap->bitmap.bmWidth), bitmap->pixels.data()};
        return true;
    }
    if (!context->window || client.cx <= 0 || client.cy <= 0)
        return true;
    WindowPicture& p = pictures().windows[context->window];
    if (p.width != client.cx || p.height != client.cy)
    {
        p.width = client.cx;
        p.height = client.cy;
        p.pixels.assign(static_cast<size_t>(PixelStride(p.width)) * static_cast<size_t>(p.height), 0xFF);
    }
    out.pixels = &p.pixels;
    out.surface = raster::Surface{p.width, p.height, PixelStride(p.width), p.pixels.data()};
    return true;
}

SIZE ClientSizeOf(HDC dc)
{
    auto context = FindDeviceContext(dc);
    RECT r{};
    if (context && !context->memory && context->window && GetClientRect(context->window, &r))
        return SIZE{r.right - r.left, r.bottom - r.top};
    return SIZE{};
}

raster::Source SourceOf(const Target& t)
{
    return raster::Source{t.surface.width, t.surface.height, t.surface.stride, t.surface.bits, 24};
}

BYTE Rop3(DWORD rop)
{
    return static_cast<BYTE>(rop >> 16);
}

bool UsesSource(BYTE rop3)
{
    return ((rop3 >> 2) & 0x33) != (rop3 & 0x33);
}

// A copy of `rect` of the source, stretched (or mirrored) to width x height.
std::vector<BYTE> Stretched(const Target& src, RECTL rect, LONG width, LONG height, bool smooth)
{
    std::vector<BYTE> out(
        static_cast<size_t>(PixelStride(std::abs(width))) * static_cast<size_t>(std::abs(height)), 0xFF);
    raster::Surface s{std::abs(width), std::abs(height), PixelStride(std::abs(width)), out.data()};
    RECTL to{width < 0 ? -width : 0, height < 0 ? -height : 0, width < 0 ? 0 : width,
             height < 0 ? 0 : height};
    raster::StretchBlt(s, to, SourceOf(src), rect, smooth, raster::Clip::Whole(s));
    return out;
}
} // namespace

HDC WINAPI CreateCompatibleDC(HDC dc)
{
    SIM_FAULT_POINT("CreateCompatibleDC", nullptr);
    if (dc && !FindDeviceContext(dc))
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    auto context = std::make_shared<DeviceContext>();
    context->memory = true;
    context->font = static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
    return AddDeviceContext(std::move(context));
}

BOOL WINAPI DeleteDC(HDC dc)
{
    auto context = FindDeviceContext(dc);
    if (!context)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return RemoveDeviceContext(dc) ? TRUE : FALSE;
}

HBITMAP WINAPI CreateCompatibleBitmap(HDC dc, int width, int height)
{
    SIM_FAULT_POINT("CreateCompatibleBitmap", nullptr);
    auto context = FindDeviceContext(dc);
    if (!context || width < 0 || height < 0 || width > 0x8000 || height > 0x8000)
    {
        SetLastError(context ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (width == 0 || height == 0) // as documented: the 1 x 1 monochrome bitmap
        return MakeBitmap(1, 1, 1);
    // A memory DC still holding its default bitmap makes monochrome ones; drawn alike here.
    WORD depth = context->memory && !context->bitmap ? 1 : 32;
    return MakeBitmap(width, height, depth);
}

int WINAPI SetStretchBltMode(HDC dc, int mode)
{
    auto context = FindDeviceContext(dc);
    if (!context || mode < BLACKONWHITE || mode > HALFTONE)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::lock_guard g(StateLock());
    return std::exchange(context->stretchMode, mode);
}

int WINAPI GetStretchBltMode(HDC dc)
{
    auto context = FindDeviceContext(dc);
    return context ? context->stretchMode : 0;
}

BOOL WINAPI BitBlt(HDC dest, int x, int y, int width, int height, HDC src, int xSrc, int ySrc, DWORD rop)
{
    SIZE destClient = ClientSizeOf(dest);
    SIZE srcClient = src ? ClientSizeOf(src) : SIZE{};
    std::lock_guard g(StateLock());
    Target to;
    Target from;
    BYTE rop3 = Rop3(rop);
    if (!TargetOf(dest, to, destClient))
        return FALSE;
    bool withSource = UsesSource(rop3);
    if (withSource && (!src || !TargetOf(src, from, srcClient)))
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!to.surface.bits)
        return TRUE;
    RECTL rect{x, y, x + width, y + height};
    if (!withSource)
    {
        raster::BitBlt(to.surface, rect, nullptr, {0, 0}, RGB(255, 255, 255), rop3,
                       raster::Clip::Whole(to.surface));
        return TRUE;
    }
    if (!from.surface.bits)
        return TRUE;
    std::vector<BYTE> copy(*from.pixels); // the source may be the destination
    raster::Source s = SourceOf(from);
    s.bits = copy.data();
    raster::BitBlt(to.surface, rect, &s, {xSrc, ySrc}, RGB(255, 255, 255), rop3,
                   raster::Clip::Whole(to.surface));
    return TRUE;
}

BOOL WINAPI StretchBlt(HDC dest, int xDest, int yDest, int destWidth, int destHeight, HDC src, int xSrc,
                       int ySrc, int srcWidth, int srcHeight, DWORD rop)
{
    if (destWidth == srcWidth && destHeight == srcHeight)
        return BitBlt(dest, xDest, yDest, destWidth, destHeight, src, xSrc, ySrc, rop);
    SIZE destClient = ClientSizeOf(dest);
    SIZE srcClient = src ? ClientSizeOf(src) : SIZE{};
    std::lock_guard g(StateLock());
    Target to;
    Target from;
    if (!TargetOf(dest, to, destClient) || !src || !TargetOf(src, from, srcClient))
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!to.surface.bits || !from.surface.bits || destWidth == 0 || destHeight == 0 || srcWidth == 0 ||
        srcHeight == 0)
        return TRUE;
    auto context = FindDeviceContext(dest);
    // A negative source extent mirrors as a negative destination one does.
    LONG w = destWidth * (srcWidth < 0 ? -1 : 1);
    LONG h = destHeight * (srcHeight < 0 ? -1 : 1);
    RECTL from_{std::min(xSrc, xSrc + srcWidth), std::min(ySrc, ySrc + srcHeight),
                std::max(xSrc, xSrc + srcWidth), std::max(ySrc, ySrc + srcHeight)};
    std::vector<BYTE> scaled = Stretched(from, from_, w, h, context->stretchMode == HALFTONE);
    raster::Source s{std::abs(w), std::abs(h), PixelStride(std::abs(w)), scaled.data(), 24};
    RECTL rect{std::min(xDest, xDest + destWidth), std::min(yDest, yDest + destHeight),
               std::max(xDest, xDest + destWidth), std::max(yDest, yDest + destHeight)};
    raster::BitBlt(to.surface, rect, &s, {0, 0}, RGB(255, 255, 255), Rop3(rop),
                   raster::Clip::Whole(to.surface));
    return TRUE;
}

BOOL WINAPI TransparentBlt(HDC dest, int xDest, int yDest, int destWidth, int destHeight, HDC src, int xSrc,
                           int ySrc, int srcWidth, int srcHeight, UINT transparent)
{
    if (destWidth <= 0 || destHeight <= 0 || srcWidth <= 0 || srcHeight <= 0)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    SIZE destClient = ClientSizeOf(dest);
    SIZE srcClient = src ? ClientSizeOf(src) : SIZE{};
    std::lock_guard g(StateLock());
    Target to;
    Target from;
    if (!TargetOf(dest, to, destClient) || !src || !TargetOf(src, from, srcClient))
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!to.surface.bits || !from.surface.bits)
        return TRUE;
    if (xSrc < 0 || ySrc < 0 || xSrc + srcWidth > from.surface.width ||
        ySrc + srcHeight > from.surface.height)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::vector<BYTE> scaled =
        Stretched(from, RECTL{xSrc, ySrc, xSrc + srcWidth, ySrc + srcHeight}, destWidth, destHeight, false);
    LONG stride = PixelStride(destWidth);
    for (LONG y = 0; y < destHeight; ++y)
    {
        LONG ty = yDest + y;
        if (ty < 0 || ty >= to.surface.height)
            continue;
        for (LONG x = 0; x < destWidth; ++x)
        {
            LONG tx = xDest + x;
            const BYTE* p = scaled.data() + static_cast<size_t>(y) * static_cast<size_t>(stride) + 3 * x;
            if (tx < 0 || tx >= to.surface.width || RGB(p[2], p[1], p[0]) == (transparent & 0xFFFFFF))
                continue;
            std::copy_n(p, 3, to.surface.Row(ty) + 3 * tx);
        }
    }
    return TRUE;
}

int WINAPI FillRect(HDC dc, const RECT* rect, HBRUSH brush)
{
    if (!rect)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::optional<COLORREF> color = BrushColor(brush);
    SIZE client = ClientSizeOf(dc);
    std::lock_guard g(StateLock());
    Target to;
    if (!TargetOf(dc, to, client))
        return 0;
    if (!color)
    {
        if (!brush)
        {
            SetLastError(ERROR_INVALID_HANDLE);
            return 0;
        }
        return 1; // a hollow brush paints nothing
    }
    if (to.surface.bits)
        raster::Fill(to.surface, RECTL{rect->left, rect->top, rect->right, rect->bottom}, *color,
                     raster::Clip::Whole(to.surface));
    return 1;
}

COLORREF WINAPI GetPixel(HDC dc, int x, int y)
{
    SIZE client = ClientSizeOf(dc);
    std::lock_guard g(StateLock());
    Target t;
    if (!TargetOf(dc, t, client) || !t.surface.bits || x < 0 || y < 0 || x >= t.surface.width ||
        y >= t.surface.height)
        return CLR_INVALID;
    const BYTE* p = t.surface.Row(y) + 3 * x;
    return RGB(p[2], p[1], p[0]);
}

void sim::detail::ForgetWindowPicture(HWND window)
{
    std::lock_guard g(StateLock());
    pictures().windows.erase(window);
}

namespace sim
{
Picture Drawn(HWND window)
{
    std::lock_guard g(StateLock());
    auto& windows = pictures().windows;
    auto it = windows.find(window);
    Picture out;
    if (it == windows.end())
        return out;
    const WindowPicture& p = it->second;
    out.width = p.width;
    out.height = p.height;
    out.pixels.reserve(static_cast<size_t>(p.width) * static_cast<size_t>(p.height));
    for (LONG y = 0; y < p.height; ++y)
        for (LONG x = 0; x < p.width; ++x)
        {
            const BYTE* px =
                p.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(PixelStride(p.width)) + 3 * x;
            out.pixels.push_back(RGB(px[2], px[1], px[0]));
        }
    return out;
}

GdiCounts CountGdi()
{
    return GdiCounts{CountGdiObjects() + CountSolidBrushes(), CountDeviceContexts()};
}
} // namespace sim
