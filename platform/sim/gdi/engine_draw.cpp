// The graphics engine's own drawing calls, over the raster routines. Every call is checked against
// what a printer driver can pass on (24-bit destinations, 1- or 24-bit sources) and may be recorded.
#include <sim/engine.h>
#include <sim/engine_draw.h>
#include "gdi/raster.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <optional>

namespace sim
{

Bitmap::Bitmap(LONG width, LONG height, int bitsPerPixel)
    : width_(std::max<LONG>(width, 1)), height_(std::max<LONG>(height, 1)),
      bitsPerPixel_(bitsPerPixel == 1 ? 1 : 24), stride_(((width_ * bitsPerPixel_ + 31) / 32) * 4),
      bits_(static_cast<size_t>(stride_) * static_cast<size_t>(height_), bitsPerPixel_ == 1 ? 0 : 0xFF)
{
    Bind();
}

Bitmap::Bitmap(const Bitmap& other)
    : palette(other.palette), width_(other.width_), height_(other.height_),
      bitsPerPixel_(other.bitsPerPixel_), stride_(other.stride_), bits_(other.bits_)
{
    Bind();
}

void Bitmap::Bind()
{
    object_ = SURFOBJ{};
    object_.sizlBitmap = SIZEL{width_, height_};
    object_.cjBits = static_cast<ULONG>(bits_.size());
    object_.pvBits = bits_.data();
    object_.pvScan0 = bits_.data();
    object_.lDelta = stride_;
    object_.iBitmapFormat = bitsPerPixel_ == 1 ? BMF_1BPP : BMF_24BPP;
    object_.iType = STYPE_BITMAP;
    xlate_ = XLATEOBJ{};
    xlate_.flXlate = XO_TABLE;
    xlate_.cEntries = 2;
    xlate_.pulXlate = reinterpret_cast<ULONG*>(palette.data());
}

void Bitmap::Set(LONG x, LONG y, COLORREF color)
{
    if (x < 0 || y < 0 || x >= width_ || y >= height_)
        return;
    BYTE* row = Row(y);
    if (bitsPerPixel_ == 1)
    {
        const BYTE bit = static_cast<BYTE>(0x80 >> (x & 7));
        if (color != RGB(0, 0, 0))
            row[x >> 3] |= bit;
        else
            row[x >> 3] &= static_cast<BYTE>(~bit);
        return;
    }
    row[3 * x] = GetBValue(color);
    row[3 * x + 1] = GetGValue(color);
    row[3 * x + 2] = GetRValue(color);
}

} // namespace sim

using namespace sim;

namespace
{
std::optional<raster::Surface> Destination(SURFOBJ* so)
{
    if (!so || so->iBitmapFormat != BMF_24BPP || !so->pvScan0)
        return std::nullopt;
    raster::Surface s;
    s.width = so->sizlBitmap.cx;
    s.height = so->sizlBitmap.cy;
    s.stride = so->lDelta;
    s.bits = static_cast<BYTE*>(so->pvScan0);
    s.rgbOrder = so->hdev && detail::DeviceIsRgb(so->hdev);
    return s;
}

std::optional<raster::Source> SourceOf(SURFOBJ* so, XLATEOBJ* xlate)
{
    if (!so || !so->pvScan0 || (so->iBitmapFormat != BMF_24BPP && so->iBitmapFormat != BMF_1BPP))
        return std::nullopt;
    raster::Source s;
    s.width = so->sizlBitmap.cx;
    s.height = so->sizlBitmap.cy;
    s.stride = so->lDelta;
    s.bits = static_cast<const BYTE*>(so->pvScan0);
    s.bitsPerPixel = so->iBitmapFormat == BMF_1BPP ? 1 : 24;
    if (xlate && (xlate->flXlate & XO_TABLE) && xlate->pulXlate)
    {
        s.palette = reinterpret_cast<const COLORREF*>(xlate->pulXlate);
        s.paletteSize = static_cast<int>(xlate->cEntries);
    }
    return s;
}

raster::Clip ClipOf(const CLIPOBJ* clip, const raster::Surface& s)
{
    raster::Clip whole = raster::Clip::Whole(s);
    if (!clip || clip->iDComplexity == DC_TRIVIAL)
        return whole;
    if (clip->iDComplexity == DC_COMPLEX)
    {
        const auto* sc = static_cast<const SimClip*>(clip);
        raster::Clip c(sc->rects);
        return c.Intersect(RECTL{0, 0, s.width, s.height});
    }
    return whole.Intersect(clip->rclBounds);
}

// The engine's own share of a page, apart from the driver's: the outermost drawing call's time.
std::atomic<std::uint64_t> g_drawingNanoseconds{0};
thread_local int t_drawingDepth = 0;

class DrawingClock
{
public:
    DrawingClock() : start_(++t_drawingDepth == 1 ? std::chrono::steady_clock::now() : Clock::time_point{}) {}
    ~DrawingClock()
    {
        if (t_drawingDepth-- == 1)
            g_drawingNanoseconds += static_cast<std::uint64_t>(
                std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start_).count());
    }
    DrawingClock(const DrawingClock&) = delete;
    DrawingClock& operator=(const DrawingClock&) = delete;

private:
    using Clock = std::chrono::steady_clock;
    Clock::time_point start_;
};

COLORREF ColorOf(const BRUSHOBJ* brush)
{
    return brush ? static_cast<COLORREF>(brush->iSolidColor) : RGB(0, 0, 0);
}

EngCall Call(const char* name, SURFOBJ* dst, CLIPOBJ* clip)
{
    EngCall c;
    c.name = name;
    c.dst = dst;
    c.clip = clip;
    return c;
}

// The calls that take a brush: its origin and the mix are recorded too.
EngCall Call(const char* name, SURFOBJ* dst, CLIPOBJ* clip, const POINTL* brushOrigin, MIX mix)
{
    EngCall c = Call(name, dst, clip);
    c.mix = mix;
    c.hasBrushOrigin = brushOrigin != nullptr;
    if (brushOrigin)
        c.brushOrigin = *brushOrigin;
    return c;
}

BOOL Invalid()
{
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

void Stroke(raster::Surface& s, const SimPath& path, COLORREF color, const raster::Clip& clip)
{
    for (const auto& f : path.figures)
    {
        for (size_t i = 1; i < f.points.size(); ++i)
            raster::Line(s, f.points[i - 1], f.points[i], color, path.penWidth, clip);
        if (f.closed && f.points.size() > 2)
            raster::Line(s, f.points.back(), f.points.front(), color, path.penWidth, clip);
    }
}

void Fill(raster::Surface& s, const SimPath& path, COLORREF color, bool winding, const raster::Clip& clip)
{
    for (const auto& f : path.figures)
        if (f.points.size() > 2)
            raster::FillPolygon(s, f.points, color, winding, clip);
}
} // namespace

BOOL APIENTRY EngBitBlt(SURFOBJ* dst, SURFOBJ* src, SURFOBJ*, CLIPOBJ* clip, XLATEOBJ* xlate, RECTL* dstRect,
                        POINTL* srcPoint, POINTL*, BRUSHOBJ* brush, POINTL* brushOrigin, ROP4 rop)
{
    const DrawingClock clock;
    EngCall call = Call("EngBitBlt", dst, clip, brushOrigin, 0);
    call.src = src;
    call.rop = rop;
    if (dstRect)
        call.dstRect = *dstRect;
    if (srcPoint)
        call.srcPoint = *srcPoint;
    detail::RecordCall(call);
    auto d = Destination(dst);
    if (!d || !dstRect)
        return Invalid();
    const BYTE rop3 = static_cast<BYTE>(rop & 0xFF);
    const bool usesSource = ((rop3 >> 2) ^ rop3) & 0x33;
    std::optional<raster::Source> s;
    if (usesSource)
    {
        s = SourceOf(src, xlate);
        if (!s || !srcPoint)
            return Invalid();
    }
    raster::BitBlt(*d, *dstRect, s ? &*s : nullptr, srcPoint ? *srcPoint : POINTL{}, ColorOf(brush), rop3,
                   ClipOf(clip, *d));
    return TRUE;
}

BOOL APIENTRY EngStretchBlt(SURFOBJ* dst, SURFOBJ* src, SURFOBJ*, CLIPOBJ* clip, XLATEOBJ* xlate,
                            COLORADJUSTMENT* ca, POINTL*, RECTL* dstRect, RECTL* srcRect, POINTL*, ULONG mode)
{
    const DrawingClock clock;
    EngCall call = Call("EngStretchBlt", dst, clip);
    call.src = src;
    call.mode = mode;
    call.hasColorAdjustment = ca != nullptr;
    if (ca)
        call.colorAdjustment = *ca;
    if (dstRect)
        call.dstRect = *dstRect;
    if (srcRect)
        call.srcRect = *srcRect;
    detail::RecordCall(call);
    auto d = Destination(dst);
    auto s = SourceOf(src, xlate);
    if (!d || !s || !dstRect)
        return Invalid();
    RECTL from = srcRect ? *srcRect : RECTL{0, 0, s->width, s->height};
    raster::StretchBlt(*d, *dstRect, *s, from, mode == HALFTONE, ClipOf(clip, *d));
    return TRUE;
}

BOOL APIENTRY EngCopyBits(SURFOBJ* dst, SURFOBJ* src, CLIPOBJ* clip, XLATEOBJ* xlate, RECTL* dstRect,
                          POINTL* srcPoint)
{
    const DrawingClock clock;
    EngCall call = Call("EngCopyBits", dst, clip);
    call.src = src;
    if (dstRect)
        call.dstRect = *dstRect;
    if (srcPoint)
        call.srcPoint = *srcPoint;
    detail::RecordCall(call);
    auto d = Destination(dst);
    auto s = SourceOf(src, xlate);
    if (!d || !s || !dstRect || !srcPoint)
        return Invalid();
    raster::BitBlt(*d, *dstRect, &*s, *srcPoint, 0, 0xCC, ClipOf(clip, *d));
    return TRUE;
}

BOOL APIENTRY EngTextOut(SURFOBJ* dst, STROBJ* str, FONTOBJ*, CLIPOBJ* clip, RECTL*, RECTL* opaque,
                         BRUSHOBJ* fore, BRUSHOBJ* opaqueBrush, POINTL* brushOrigin, MIX mix)
{
    const DrawingClock clock;
    EngCall call = Call("EngTextOut", dst, clip, brushOrigin, mix);
    call.object = str;
    if (opaque)
        call.dstRect = *opaque;
    detail::RecordCall(call);
    auto d = Destination(dst);
    if (!d || !str)
        return Invalid();
    raster::Clip c = ClipOf(clip, *d);
    if (opaque && opaqueBrush)
        raster::Fill(*d, *opaque, ColorOf(opaqueBrush), c);
    const auto* text = static_cast<const SimString*>(str);
    raster::Text(*d, text->origin, text->text, ColorOf(fore), text->scale, c);
    return TRUE;
}

BOOL APIENTRY EngPaint(SURFOBJ* dst, CLIPOBJ* clip, BRUSHOBJ* brush, POINTL* brushOrigin, MIX mix)
{
    const DrawingClock clock;
    EngCall call = Call("EngPaint", dst, clip, brushOrigin, mix);
    detail::RecordCall(call);
    auto d = Destination(dst);
    if (!d || !clip)
        return Invalid();
    raster::Fill(*d, RECTL{0, 0, d->width, d->height}, ColorOf(brush), ClipOf(clip, *d));
    return TRUE;
}

BOOL APIENTRY EngFillPath(SURFOBJ* dst, PATHOBJ* path, CLIPOBJ* clip, BRUSHOBJ* brush, POINTL* brushOrigin,
                          MIX mix, FLONG options)
{
    const DrawingClock clock;
    EngCall call = Call("EngFillPath", dst, clip, brushOrigin, mix);
    call.object = path;
    detail::RecordCall(call);
    auto d = Destination(dst);
    if (!d || !path)
        return Invalid();
    Fill(*d, *static_cast<const SimPath*>(path), ColorOf(brush), options & kFillWinding, ClipOf(clip, *d));
    return TRUE;
}

BOOL APIENTRY EngStrokePath(SURFOBJ* dst, PATHOBJ* path, CLIPOBJ* clip, XFORMOBJ*, BRUSHOBJ* brush,
                            POINTL* brushOrigin, LINEATTRS*, MIX mix)
{
    const DrawingClock clock;
    EngCall call = Call("EngStrokePath", dst, clip, brushOrigin, mix);
    call.object = path;
    detail::RecordCall(call);
    auto d = Destination(dst);
    if (!d || !path)
        return Invalid();
    Stroke(*d, *static_cast<const SimPath*>(path), ColorOf(brush), ClipOf(clip, *d));
    return TRUE;
}

BOOL APIENTRY EngStrokeAndFillPath(SURFOBJ* dst, PATHOBJ* path, CLIPOBJ* clip, XFORMOBJ*, BRUSHOBJ* stroke,
                                   LINEATTRS*, BRUSHOBJ* fill, POINTL* brushOrigin, MIX mix, FLONG options)
{
    const DrawingClock clock;
    EngCall call = Call("EngStrokeAndFillPath", dst, clip, brushOrigin, mix);
    call.object = path;
    detail::RecordCall(call);
    auto d = Destination(dst);
    if (!d || !path)
        return Invalid();
    const auto& p = *static_cast<const SimPath*>(path);
    raster::Clip c = ClipOf(clip, *d);
    Fill(*d, p, ColorOf(fill), options & kFillWinding, c);
    Stroke(*d, p, ColorOf(stroke), c);
    return TRUE;
}

BOOL APIENTRY EngLineTo(SURFOBJ* dst, CLIPOBJ* clip, BRUSHOBJ* brush, LONG x1, LONG y1, LONG x2, LONG y2,
                        RECTL*, MIX mix)
{
    const DrawingClock clock;
    EngCall call = Call("EngLineTo", dst, clip);
    call.mix = mix;
    call.dstRect = RECTL{x1, y1, x2, y2};
    detail::RecordCall(call);
    auto d = Destination(dst);
    if (!d)
        return Invalid();
    raster::Line(*d, POINTL{x1, y1}, POINTL{x2, y2}, ColorOf(brush), 1, ClipOf(clip, *d));
    return TRUE;
}

std::chrono::nanoseconds sim::Engine::DrawingTime() const
{
    return std::chrono::nanoseconds(g_drawingNanoseconds.load());
}
