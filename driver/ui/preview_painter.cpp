#include "preview_painter.h"

#include <map>

namespace velmoui
{
namespace
{
// The bitmaps one paint uses, loaded at the screen's DPI and freed with it.
class Bitmaps
{
public:
    Bitmaps(HINSTANCE module, UINT dpi) : module_(module), dpi_(dpi) {}
    Bitmaps(const Bitmaps&) = delete;
    Bitmaps& operator=(const Bitmaps&) = delete;
    ~Bitmaps()
    {
        for (auto& [id, bitmap] : loaded_)
            if (bitmap)
                DeleteObject(bitmap);
    }

    // The extent at 96 dpi, {0, 0} for a bitmap that cannot be loaded.
    SIZE Natural(UINT id)
    {
        if (auto it = natural_.find(id); it != natural_.end())
            return it->second;
        SIZE size{};
        auto bitmap = static_cast<HBITMAP>(LoadImageW(module_, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, 0));
        BITMAP info{};
        if (bitmap && GetObjectW(bitmap, sizeof info, &info) == static_cast<int>(sizeof info))
            size = SIZE{info.bmWidth, info.bmHeight};
        if (bitmap && dpi_ > 96)
        {
            // Above 96 dpi the bitmap is loaded again at its size for the screen.
            DeleteObject(bitmap);
            bitmap =
                static_cast<HBITMAP>(LoadImageW(module_, MAKEINTRESOURCEW(id), IMAGE_BITMAP,
                                                ScaledExtent(size.cx, dpi_), ScaledExtent(size.cy, dpi_), 0));
        }
        if (!bitmap)
            size = SIZE{};
        natural_[id] = size;
        loaded_[id] = bitmap;
        return size;
    }
    HBITMAP Get(UINT id) const
    {
        auto it = loaded_.find(id);
        return it == loaded_.end() ? nullptr : it->second;
    }

private:
    HINSTANCE module_;
    UINT dpi_;
    std::map<UINT, SIZE> natural_;
    std::map<UINT, HBITMAP> loaded_;
};

bool Compose(HDC canvas, HDC source, const PreviewPlan& plan, const Bitmaps& bitmaps)
{
    for (const PreviewLayer& layer : plan.layers)
    {
        HBITMAP bitmap = bitmaps.Get(layer.bitmap);
        BITMAP info{};
        if (!bitmap || GetObjectW(bitmap, sizeof info, &info) != static_cast<int>(sizeof info))
            return false;
        RECT from = layer.from;
        if (from.right <= from.left || from.bottom <= from.top)
            from = RECT{0, 0, info.bmWidth, info.bmHeight};
        HGDIOBJ old = SelectObject(source, bitmap);
        if (!old)
            return false;
        int w = layer.at.right - layer.at.left, h = layer.at.bottom - layer.at.top;
        BOOL ok = layer.transparent
                      ? TransparentBlt(canvas, layer.at.left, layer.at.top, w, h, source, from.left, from.top,
                                       from.right - from.left, from.bottom - from.top, kTileKey)
                      : StretchBlt(canvas, layer.at.left, layer.at.top, w, h, source, from.left, from.top,
                                   from.right - from.left, from.bottom - from.top, SRCCOPY);
        SelectObject(source, old);
        if (!ok)
            return false;
    }
    return true;
}
} // namespace

void PaintPreview(HINSTANCE module, const DRAWITEMSTRUCT& item, const PreviewInput& in)
{
    HDC dc = item.hDC;
    FillRect(dc, &item.rcItem, GetSysColorBrush(COLOR_BTNFACE));
    UINT dpiX = static_cast<UINT>(GetDeviceCaps(dc, LOGPIXELSX));
    UINT dpiY = static_cast<UINT>(GetDeviceCaps(dc, LOGPIXELSY));
    if (dpiX == 0 || dpiY == 0)
        dpiX = dpiY = 96;
    Bitmaps bitmaps(module, dpiX);
    PreviewPlan plan = PlanPreview(
        in, [&](UINT id) { return bitmaps.Natural(id); }, dpiX);
    if (plan.layers.empty())
        return;

    HDC canvas = CreateCompatibleDC(dc);
    HDC source = canvas ? CreateCompatibleDC(dc) : nullptr;
    HBITMAP picture = source ? CreateCompatibleBitmap(dc, plan.size.cx, plan.size.cy) : nullptr;
    HGDIOBJ old = picture ? SelectObject(canvas, picture) : nullptr;
    if (old && Compose(canvas, source, plan, bitmaps))
    {
        SIZE natural = bitmaps.Natural(kBitmapBackground);
        RECT to = PreviewTarget(item.rcItem, natural, dpiX, dpiY);
        int previous = SetStretchBltMode(dc, HALFTONE);
        StretchBlt(dc, to.left, to.top, to.right - to.left, to.bottom - to.top, canvas, 0, 0, plan.size.cx,
                   plan.size.cy, SRCCOPY);
        if (previous)
            SetStretchBltMode(dc, previous);
    }
    if (old)
        SelectObject(canvas, old);
    if (picture)
        DeleteObject(picture);
    if (source)
        DeleteDC(source);
    if (canvas)
        DeleteDC(canvas);
}

} // namespace velmoui
