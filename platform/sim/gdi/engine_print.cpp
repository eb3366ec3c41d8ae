#include <sim/engine_print.h>

#include "core/internal.h"
#include "gdi/raster.h"

#include <algorithm>

namespace sim
{
namespace
{
template <typename F> F As(PFN fn)
{
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(fn));
}

using DocHook = BOOL(APIENTRY*)(SURFOBJ*);
using BandHook = BOOL(APIENTRY*)(SURFOBJ*, POINTL*);

SimClip BandClip(SURFOBJ* surface)
{
    SimClip clip;
    clip.iDComplexity = DC_RECT;
    clip.rclBounds = RECTL{0, 0, surface->sizlBitmap.cx, surface->sizlBitmap.cy};
    clip.rects = {clip.rclBounds};
    return clip;
}

RECTL Moved(const RECTL& r, POINTL o)
{
    return RECTL{r.left - o.x, r.top - o.y, r.right - o.x, r.bottom - o.y};
}

POINTL Moved(POINTL p, POINTL o)
{
    return POINTL{p.x - o.x, p.y - o.y};
}

BRUSHOBJ Solid(COLORREF color)
{
    BRUSHOBJ b{};
    b.iSolidColor = color;
    return b;
}

constexpr MIX kCopyPen = 0x0D0D; // the pen colour over whatever lies below
} // namespace

std::unique_ptr<PrintDC> PrintDC::Create(WStringView printerName, const DEVMODEW* devMode)
{
    auto dc = engine().CreateDC(printerName, devMode);
    if (!dc)
        return nullptr;
    return std::unique_ptr<PrintDC>(new PrintDC(std::move(*dc), printerName));
}

PrintDC::~PrintDC()
{
    engine().DeleteDC(dc_);
}

template <typename F> F PrintDC::Hook(ULONG index, FLONG hookBit) const
{
    if (hookBit)
    {
        auto info = engine().Surface(dc_.surface);
        if (!info || !(info->hooks & hookBit))
            return nullptr;
    }
    return As<F>(dc_.driver.Hook(index));
}

SURFOBJ* PrintDC::Surface() const
{
    return EngLockSurface(dc_.surface);
}

SIZEL PrintDC::PageSize() const
{
    return SIZEL{static_cast<LONG>(dc_.gdiInfo.ulHorzRes), static_cast<LONG>(dc_.gdiInfo.ulVertRes)};
}

bool PrintDC::Banding() const
{
    auto info = engine().Surface(dc_.surface);
    return info && info->banding;
}

BOOL PrintDC::StartDoc(WStringView docName)
{
    using StartDocHook = BOOL(APIENTRY*)(SURFOBJ*, LPWSTR, DWORD);
    auto hook = Hook<StartDocHook>(INDEX_DrvStartDoc, 0);
    if (!hook)
        return FALSE;
    // The application's document is a spooler job; the driver learns its number.
    WString name(docName);
    DOC_INFO_1W info{name.data(), nullptr, nullptr};
    jobId_ = StartDocPrinterW(dc_.printer, 1, reinterpret_cast<LPBYTE>(&info));
    if (!jobId_)
        return FALSE;
    return hook(Surface(), name.data(), jobId_);
}

BOOL PrintDC::StartPage()
{
    journal_.clear();
    failed_ = false;
    if (jobId_ && !StartPagePrinter(dc_.printer))
        return FALSE;
    auto hook = Hook<DocHook>(INDEX_DrvStartPage, 0);
    return hook ? hook(Surface()) : FALSE;
}

BOOL PrintDC::Draw(Op op)
{
    if (Banding())
    {
        journal_.push_back(std::move(op));
        return TRUE;
    }
    SURFOBJ* surface = Surface();
    SimClip clip = BandClip(surface);
    if (!op(surface, POINTL{0, 0}, &clip))
    {
        failed_ = true;
        return FALSE;
    }
    return TRUE;
}

BOOL PrintDC::Replay(SURFOBJ* surface, POINTL origin)
{
    SimClip clip = BandClip(surface);
    for (const Op& op : journal_)
        if (!op(surface, origin, &clip))
            return FALSE;
    return TRUE;
}

BOOL PrintDC::EndPage()
{
    BOOL printed = EndPageDrawing();
    if (jobId_ && !EndPagePrinter(dc_.printer))
        return FALSE;
    return printed;
}

BOOL PrintDC::EndPageDrawing()
{
    SURFOBJ* surface = Surface();
    if (!Banding())
    {
        auto send = Hook<DocHook>(INDEX_DrvSendPage, 0);
        return send && send(surface) && !failed_;
    }
    auto start = Hook<BandHook>(INDEX_DrvStartBanding, 0);
    auto next = Hook<BandHook>(INDEX_DrvNextBand, 0);
    if (!start || !next)
        return FALSE;
    POINTL origin{};
    if (!start(surface, &origin))
        return FALSE;
    // A band count far above the driver's limit means the driver never ends the page.
    for (int bands = 0; bands < 4096; ++bands)
    {
        if (!Replay(surface, origin))
            return FALSE;
        if (!next(surface, &origin))
            return FALSE;
        if (origin.x == -1 && origin.y == -1)
        {
            journal_.clear();
            return TRUE;
        }
    }
    return FALSE;
}

BOOL PrintDC::EndDoc()
{
    using EndDocHook = BOOL(APIENTRY*)(SURFOBJ*, FLONG);
    auto hook = Hook<EndDocHook>(INDEX_DrvEndDoc, 0);
    BOOL ended = hook ? hook(Surface(), 0) : FALSE;
    if (jobId_ && !EndDocPrinter(dc_.printer))
        ended = FALSE;
    return ended;
}

BOOL PrintDC::ResetDC(const DEVMODEW* devMode, ResetOrder order)
{
    using EnablePDEV = DHPDEV(APIENTRY*)(DEVMODEW*, LPWSTR, ULONG, HSURF*, ULONG, ULONG*, ULONG, DEVINFO*,
                                         HDEV, LPWSTR, HANDLE);
    using CompletePDEV = VOID(APIENTRY*)(DHPDEV, HDEV);
    using ResetPDEV = BOOL(APIENTRY*)(DHPDEV, DHPDEV);
    using DisablePDEV = VOID(APIENTRY*)(DHPDEV);
    using EnableSurface = HSURF(APIENTRY*)(DHPDEV);
    auto enable = As<EnablePDEV>(dc_.driver.Hook(INDEX_DrvEnablePDEV));
    auto complete = As<CompletePDEV>(dc_.driver.Hook(INDEX_DrvCompletePDEV));
    auto reset = As<ResetPDEV>(dc_.driver.Hook(INDEX_DrvResetPDEV));
    auto disablePdev = As<DisablePDEV>(dc_.driver.Hook(INDEX_DrvDisablePDEV));
    auto disableSurface = As<DisablePDEV>(dc_.driver.Hook(INDEX_DrvDisableSurface));
    auto enableSurface = As<EnableSurface>(dc_.driver.Hook(INDEX_DrvEnableSurface));
    if (!enable || !complete || !disablePdev || !disableSurface || !enableSurface)
        return FALSE;

    PrinterDC next = dc_;
    next.hdev = detail::NewDeviceHandle();
    WString device = printerName_;
    next.pdev = enable(const_cast<DEVMODEW*>(devMode), nullptr, 0, nullptr, sizeof(GDIINFO),
                       reinterpret_cast<ULONG*>(&next.gdiInfo), sizeof(DEVINFO), &next.devInfo, next.hdev,
                       device.data(), next.printer);
    if (!next.pdev)
        return FALSE;
    detail::RegisterDevice(next.hdev, next.pdev, next.devInfo.hpalDefault);
    complete(next.pdev, next.hdev);
    detail::PdevEnabled(next.pdev);
    const bool surfaceFirst = order == ResetOrder::SurfaceBeforeReset;
    if (surfaceFirst && !(next.surface = enableSurface(next.pdev)))
    {
        disablePdev(next.pdev);
        detail::ForgetDevice(next.hdev);
        return FALSE;
    }
    // A driver without the reset hook, or one that refuses it, keeps the old device context.
    if (!reset || !reset(dc_.pdev, next.pdev))
    {
        if (surfaceFirst)
            disableSurface(next.pdev);
        disablePdev(next.pdev);
        detail::ForgetDevice(next.hdev);
        return FALSE;
    }
    disableSurface(dc_.pdev);
    disablePdev(dc_.pdev);
    detail::ForgetDevice(dc_.hdev);
    if (!surfaceFirst)
        next.surface = enableSurface(next.pdev);
    dc_ = next;
    if (!dc_.surface)
    {
        disablePdev(dc_.pdev);
        detail::ForgetDevice(dc_.hdev);
        dc_.pdev = nullptr;
        return FALSE;
    }
    return TRUE;
}

ULONG PrintDC::Escape(ULONG escape, ULONG inSize, const void* in, ULONG outSize, void* out)
{
    using EscapeHook = ULONG(APIENTRY*)(SURFOBJ*, ULONG, ULONG, PVOID, ULONG, PVOID);
    auto hook = Hook<EscapeHook>(INDEX_DrvEscape, 0);
    return hook ? hook(Surface(), escape, inSize, const_cast<void*>(in), outSize, out) : 0;
}

BOOL PrintDC::FillRect(const RECTL& rect, COLORREF color)
{
    using BitBltHook = BOOL(APIENTRY*)(SURFOBJ*, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, POINTL*,
                                       POINTL*, BRUSHOBJ*, POINTL*, ROP4);
    auto hook = Hook<BitBltHook>(INDEX_DrvBitBlt, HOOK_BITBLT);
    return Draw([=](SURFOBJ* s, POINTL o, CLIPOBJ* clip) {
        RECTL r = Moved(rect, o);
        BRUSHOBJ brush = Solid(color);
        POINTL brushOrigin = Moved(POINTL{0, 0}, o);
        auto fn = hook ? hook : &EngBitBlt;
        return fn(s, nullptr, nullptr, clip, nullptr, &r, nullptr, nullptr, &brush, &brushOrigin, 0xF0F0);
    });
}

BOOL PrintDC::Paint(const RECTL& area, COLORREF color)
{
    using PaintHook = BOOL(APIENTRY*)(SURFOBJ*, CLIPOBJ*, BRUSHOBJ*, POINTL*, MIX);
    auto hook = Hook<PaintHook>(INDEX_DrvPaint, HOOK_PAINT);
    return Draw([=](SURFOBJ* s, POINTL o, CLIPOBJ* band) {
        SimClip clip = *static_cast<SimClip*>(band);
        RECTL r = Moved(area, o);
        clip.rclBounds =
            RECTL{std::max(r.left, clip.rclBounds.left), std::max(r.top, clip.rclBounds.top),
                  std::min(r.right, clip.rclBounds.right), std::min(r.bottom, clip.rclBounds.bottom)};
        clip.rects = {clip.rclBounds};
        if (clip.rclBounds.left >= clip.rclBounds.right || clip.rclBounds.top >= clip.rclBounds.bottom)
            return TRUE; // nothing of it in this band
        BRUSHOBJ brush = Solid(color);
        POINTL brushOrigin = Moved(POINTL{0, 0}, o);
        auto fn = hook ? hook : &EngPaint;
        return fn(s, &clip, &brush, &brushOrigin, kCopyPen);
    });
}

BOOL PrintDC::BitBlt(const RECTL& dst, const Bitmap& src, POINTL from, ROP4 rop)
{
    using BitBltHook = BOOL(APIENTRY*)(SURFOBJ*, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, POINTL*,
                                       POINTL*, BRUSHOBJ*, POINTL*, ROP4);
    auto hook = Hook<BitBltHook>(INDEX_DrvBitBlt, HOOK_BITBLT);
    auto bitmap = std::make_shared<Bitmap>(src);
    return Draw([=](SURFOBJ* s, POINTL o, CLIPOBJ* clip) {
        RECTL r = Moved(dst, o);
        POINTL p = from;
        BRUSHOBJ brush = Solid(RGB(0, 0, 0));
        auto fn = hook ? hook : &EngBitBlt;
        return fn(s, bitmap->Object(), nullptr, clip, bitmap->Xlate(), &r, &p, nullptr, &brush, nullptr, rop);
    });
}

BOOL PrintDC::StretchBlt(const RECTL& dst, const Bitmap& src, const RECTL& from, ULONG mode)
{
    using StretchHook = BOOL(APIENTRY*)(SURFOBJ*, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, COLORADJUSTMENT*,
                                        POINTL*, RECTL*, RECTL*, POINTL*, ULONG);
    auto hook = Hook<StretchHook>(INDEX_DrvStretchBlt, HOOK_STRETCHBLT);
    auto bitmap = std::make_shared<Bitmap>(src);
    return Draw([=](SURFOBJ* s, POINTL o, CLIPOBJ* clip) {
        RECTL r = Moved(dst, o);
        RECTL f = from;
        POINTL htOrigin = Moved(POINTL{0, 0}, o);
        auto fn = hook ? hook : &EngStretchBlt;
        return fn(s, bitmap->Object(), nullptr, clip, bitmap->Xlate(), nullptr, &htOrigin, &r, &f, nullptr,
                  mode);
    });
}

BOOL PrintDC::CopyBits(const RECTL& dst, const Bitmap& src, POINTL from)
{
    using CopyHook = BOOL(APIENTRY*)(SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, POINTL*);
    auto hook = Hook<CopyHook>(INDEX_DrvCopyBits, HOOK_COPYBITS);
    auto bitmap = std::make_shared<Bitmap>(src);
    return Draw([=](SURFOBJ* s, POINTL o, CLIPOBJ* clip) {
        RECTL r = Moved(dst, o);
        POINTL p = from;
        auto fn = hook ? hook : &EngCopyBits;
        return fn(s, bitmap->Object(), clip, bitmap->Xlate(), &r, &p);
    });
}

BOOL PrintDC::LineTo(POINTL a, POINTL b, COLORREF color)
{
    using LineHook = BOOL(APIENTRY*)(SURFOBJ*, CLIPOBJ*, BRUSHOBJ*, LONG, LONG, LONG, LONG, RECTL*, MIX);
    auto hook = Hook<LineHook>(INDEX_DrvLineTo, HOOK_LINETO);
    return Draw([=](SURFOBJ* s, POINTL o, CLIPOBJ* clip) {
        POINTL p = Moved(a, o), q = Moved(b, o);
        RECTL bounds{std::min(p.x, q.x), std::min(p.y, q.y), std::max(p.x, q.x) + 1, std::max(p.y, q.y) + 1};
        BRUSHOBJ brush = Solid(color);
        auto fn = hook ? hook : &EngLineTo;
        return fn(s, clip, &brush, p.x, p.y, q.x, q.y, &bounds, kCopyPen);
    });
}

BOOL PrintDC::Polyline(std::vector<POINTL> points, COLORREF color, LONG width)
{
    using StrokeHook =
        BOOL(APIENTRY*)(SURFOBJ*, PATHOBJ*, CLIPOBJ*, XFORMOBJ*, BRUSHOBJ*, POINTL*, LINEATTRS*, MIX);
    auto hook = Hook<StrokeHook>(INDEX_DrvStrokePath, HOOK_STROKEPATH);
    return Draw([=](SURFOBJ* s, POINTL o, CLIPOBJ* clip) {
        SimPath path;
        path.penWidth = width;
        path.figures.push_back({});
        for (POINTL p : points)
            path.figures.back().points.push_back(Moved(p, o));
        path.cCurves = static_cast<ULONG>(points.size());
        BRUSHOBJ brush = Solid(color);
        POINTL brushOrigin = Moved(POINTL{0, 0}, o);
        auto fn = hook ? hook : &EngStrokePath;
        return fn(s, &path, clip, nullptr, &brush, &brushOrigin, nullptr, kCopyPen);
    });
}

BOOL PrintDC::Rectangle(const RECTL& rect, COLORREF color, LONG width)
{
    using StrokeHook =
        BOOL(APIENTRY*)(SURFOBJ*, PATHOBJ*, CLIPOBJ*, XFORMOBJ*, BRUSHOBJ*, POINTL*, LINEATTRS*, MIX);
    auto hook = Hook<StrokeHook>(INDEX_DrvStrokePath, HOOK_STROKEPATH);
    return Draw([=](SURFOBJ* s, POINTL o, CLIPOBJ* clip) {
        RECTL r = Moved(rect, o);
        SimPath path;
        path.penWidth = width;
        path.figures.push_back(
            {{{r.left, r.top}, {r.right - 1, r.top}, {r.right - 1, r.bottom - 1}, {r.left, r.bottom - 1}},
             true});
        path.cCurves = 4;
        BRUSHOBJ brush = Solid(color);
        POINTL brushOrigin = Moved(POINTL{0, 0}, o);
        auto fn = hook ? hook : &EngStrokePath;
        return fn(s, &path, clip, nullptr, &brush, &brushOrigin, nullptr, kCopyPen);
    });
}

BOOL PrintDC::Polygon(std::vector<POINTL> points, COLORREF fill)
{
    using FillHook = BOOL(APIENTRY*)(SURFOBJ*, PATHOBJ*, CLIPOBJ*, BRUSHOBJ*, POINTL*, MIX, FLONG);
    auto hook = Hook<FillHook>(INDEX_DrvFillPath, HOOK_FILLPATH);
    return Draw([=](SURFOBJ* s, POINTL o, CLIPOBJ* clip) {
        SimPath path;
        path.figures.push_back({});
        for (POINTL p : points)
            path.figures.back().points.push_back(Moved(p, o));
        path.figures.back().closed = true;
        path.cCurves = static_cast<ULONG>(points.size());
        BRUSHOBJ brush = Solid(fill);
        POINTL brushOrigin = Moved(POINTL{0, 0}, o);
        auto fn = hook ? hook : &EngFillPath;
        return fn(s, &path, clip, &brush, &brushOrigin, kCopyPen, 0);
    });
}

BOOL PrintDC::TextOut(POINTL origin, WStringView text, COLORREF color, LONG scale)
{
    using TextHook = BOOL(APIENTRY*)(SURFOBJ*, STROBJ*, FONTOBJ*, CLIPOBJ*, RECTL*, RECTL*, BRUSHOBJ*,
                                     BRUSHOBJ*, POINTL*, MIX);
    auto hook = Hook<TextHook>(INDEX_DrvTextOut, HOOK_TEXTOUT);
    WString copy(text);
    return Draw([=](SURFOBJ* s, POINTL o, CLIPOBJ* clip) {
        SimString str;
        str.text = copy;
        str.origin = Moved(origin, o);
        str.scale = scale;
        str.cGlyphs = static_cast<ULONG>(copy.size());
        str.ulCharInc = static_cast<ULONG>(raster::kCellWidth * scale);
        str.rclBkGround = RECTL{str.origin.x, str.origin.y,
                                str.origin.x + static_cast<LONG>(copy.size()) * raster::kCellWidth * scale,
                                str.origin.y + raster::kCellHeight * scale};
        BRUSHOBJ fore = Solid(color);
        POINTL brushOrigin = Moved(POINTL{0, 0}, o);
        auto fn = hook ? hook : &EngTextOut;
        return fn(s, &str, nullptr, clip, nullptr, nullptr, &fore, nullptr, &brushOrigin, kCopyPen);
    });
}

} // namespace sim
