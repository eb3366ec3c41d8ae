// The drawing hooks, the escapes and the font queries. The driver draws nothing itself: every drawing
// call goes to the engine's own routine, with copies turned into halftoned stretches.
#include "enable.h"
#include "escape.h"
#include "pdev.h"

#include <algorithm>

namespace velmoq7
{
namespace
{
// The PDEV behind a drawing destination, or null for one that is not ours (a memory bitmap), whose
// call goes to the engine unchanged.
PDev* DrawingPdev(SURFOBJ* dst)
{
    return CfgQueryMyDeviceQuiet(dst ? dst->dhpdev : nullptr);
}
} // namespace

BOOL APIENTRY DrvBitBlt(SURFOBJ* dst, SURFOBJ* src, SURFOBJ* mask, CLIPOBJ* clip, XLATEOBJ* xlate,
                        RECTL* dstRect, POINTL* srcPoint, POINTL* maskPoint, BRUSHOBJ* brush,
                        POINTL* brushOrigin, ROP4 rop)
{
    (void)DrawingPdev(dst);
    return EngBitBlt(dst, src, mask, clip, xlate, dstRect, srcPoint, maskPoint, brush, brushOrigin, rop);
}

BOOL APIENTRY DrvStretchBlt(SURFOBJ* dst, SURFOBJ* src, SURFOBJ* mask, CLIPOBJ* clip, XLATEOBJ* xlate,
                            COLORADJUSTMENT* ca, POINTL* htOrigin, RECTL* dstRect, RECTL* srcRect,
                            POINTL* maskPoint, ULONG mode)
{
    if (PDev* pdev = DrawingPdev(dst))
    {
        // Pictures on the page are always halftoned, with the job's colour adjustment unless the
        // caller brought one.
        if (!ca)
            ca = &pdev->device.colorAdjustment;
        mode = HALFTONE;
    }
    return EngStretchBlt(dst, src, mask, clip, xlate, ca, htOrigin, dstRect, srcRect, maskPoint, mode);
}

BOOL APIENTRY DrvCopyBits(SURFOBJ* dst, SURFOBJ* src, CLIPOBJ* clip, XLATEOBJ* xlate, RECTL* dstRect,
                          POINTL* srcPoint)
{
    PDev* pdev = DrawingPdev(dst);
    if (!pdev || !dstRect || !srcPoint || !src)
        return EngCopyBits(dst, src, clip, xlate, dstRect, srcPoint);
    // A copy becomes a stretch of the same size, so that the engine halftones bitmaps copied to the page.
    // The source rectangle is cut to the source surface, the destination with it.
    const LONG width = dstRect->right - dstRect->left;
    const LONG height = dstRect->bottom - dstRect->top;
    RECTL from{srcPoint->x, srcPoint->y, srcPoint->x + width, srcPoint->y + height};
    RECTL to = *dstRect;
    const LONG cutLeft = std::max<LONG>(0, -from.left);
    const LONG cutTop = std::max<LONG>(0, -from.top);
    const LONG cutRight = std::max<LONG>(0, from.right - src->sizlBitmap.cx);
    const LONG cutBottom = std::max<LONG>(0, from.bottom - src->sizlBitmap.cy);
    from = RECTL{from.left + cutLeft, from.top + cutTop, from.right - cutRight, from.bottom - cutBottom};
    to = RECTL{to.left + cutLeft, to.top + cutTop, to.right - cutRight, to.bottom - cutBottom};
    if (from.left >= from.right || from.top >= from.bottom)
        return TRUE; // nothing of the source lies there
    return EngStretchBlt(dst, src, nullptr, clip, xlate, &pdev->device.colorAdjustment, nullptr, &to, &from,
                         nullptr, HALFTONE);
}

BOOL APIENTRY DrvTextOut(SURFOBJ* dst, STROBJ* str, FONTOBJ* font, CLIPOBJ* clip, RECTL* extra, RECTL* opaque,
                         BRUSHOBJ* fore, BRUSHOBJ* opaqueBrush, POINTL* origin, MIX mix)
{
    (void)DrawingPdev(dst);
    return EngTextOut(dst, str, font, clip, extra, opaque, fore, opaqueBrush, origin, mix);
}

ULONG APIENTRY DrvGetGlyphMode(DHPDEV pdev, FONTOBJ*)
{
    return CfgQueryMyDevice(pdev) ? FO_GLYPHBITS : 0;
}

BOOL APIENTRY DrvPaint(SURFOBJ* dst, CLIPOBJ* clip, BRUSHOBJ* brush, POINTL* origin, MIX mix)
{
    (void)DrawingPdev(dst);
    return EngPaint(dst, clip, brush, origin, mix);
}

BOOL APIENTRY DrvFillPath(SURFOBJ* dst, PATHOBJ* path, CLIPOBJ* clip, BRUSHOBJ* brush, POINTL* origin,
                          MIX mix, FLONG options)
{
    (void)DrawingPdev(dst);
    return EngFillPath(dst, path, clip, brush, origin, mix, options);
}

BOOL APIENTRY DrvStrokeAndFillPath(SURFOBJ* dst, PATHOBJ* path, CLIPOBJ* clip, XFORMOBJ* xform,
                                   BRUSHOBJ* stroke, LINEATTRS* line, BRUSHOBJ* fill, POINTL* origin, MIX mix,
                                   FLONG options)
{
    (void)DrawingPdev(dst);
    return EngStrokeAndFillPath(dst, path, clip, xform, stroke, line, fill, origin, mix, options);
}

BOOL APIENTRY DrvLineTo(SURFOBJ* dst, CLIPOBJ* clip, BRUSHOBJ* brush, LONG x1, LONG y1, LONG x2, LONG y2,
                        RECTL* bounds, MIX mix)
{
    (void)DrawingPdev(dst);
    return EngLineTo(dst, clip, brush, x1, y1, x2, y2, bounds, mix);
}

BOOL APIENTRY DrvStrokePath(SURFOBJ* dst, PATHOBJ* path, CLIPOBJ* clip, XFORMOBJ* xform, BRUSHOBJ* brush,
                            POINTL* origin, LINEATTRS* line, MIX mix)
{
    (void)DrawingPdev(dst);
    return EngStrokePath(dst, path, clip, xform, brush, origin, line, mix);
}

PIFIMETRICS APIENTRY DrvQueryFont(DHPDEV pdev, ULONG_PTR, ULONG, ULONG_PTR*)
{
    if (!CfgQueryMyDevice(pdev))
        return nullptr;
    return static_cast<PIFIMETRICS>(render::QueryDeviceFont());
}

PVOID APIENTRY DrvQueryFontTree(DHPDEV pdev, ULONG_PTR, ULONG, ULONG, ULONG_PTR*)
{
    if (!CfgQueryMyDevice(pdev))
        return nullptr;
    return render::QueryDeviceFontTree();
}

LONG APIENTRY DrvQueryFontData(DHPDEV pdev, FONTOBJ*, ULONG, HGLYPH, GLYPHDATA*, PVOID, ULONG)
{
    if (!CfgQueryMyDevice(pdev))
        return -1;
    return render::QueryDeviceFontData();
}

ULONG APIENTRY DrvEscape(SURFOBJ* surface, ULONG escape, ULONG inSize, PVOID in, ULONG outSize, PVOID out)
{
    PDev* pdev = CfgQueryMyDevice(surface ? surface->dhpdev : nullptr);
    if (!pdev)
        return 0;
    return render::EscapeForCopies(pdev->device.copies, velmo::g_MaxCopies, escape, inSize, in, outSize, out);
}

} // namespace velmoq7
