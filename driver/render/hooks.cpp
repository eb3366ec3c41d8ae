// Hooks whose work belongs to the document, page and band flow, the drawing path, the font queries
// and the escapes. Until those are in place every one checks its PDEV and fails: last error 87 for a
// device that is not ours, 120 for one that is.
#include "enable.h"
#include "pdev.h"

namespace velmoq7
{
namespace
{
BOOL NotYet()
{
    EngSetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
}

BOOL Checked(SURFOBJ* surface)
{
    if (!CfgQueryMyDevice(surface ? surface->dhpdev : nullptr))
        return FALSE;
    return NotYet();
}

// A drawing destination without our PDEV (a memory bitmap) belongs to the engine: the hook will hand
// it on unchanged, so it is not refused as a foreign device.
BOOL Drawing(SURFOBJ* dst)
{
    (void)CfgQueryMyDeviceQuiet(dst ? dst->dhpdev : nullptr);
    return NotYet();
}
} // namespace

BOOL APIENTRY DrvResetPDEV(DHPDEV oldPdev, DHPDEV newPdev)
{
    if (!CfgQueryMyDevice(oldPdev) || !CfgQueryMyDevice(newPdev))
        return FALSE;
    return NotYet();
}

BOOL APIENTRY DrvBitBlt(SURFOBJ* dst, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, POINTL*, POINTL*,
                        BRUSHOBJ*, POINTL*, ROP4)
{
    return Drawing(dst);
}

BOOL APIENTRY DrvStretchBlt(SURFOBJ* dst, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, COLORADJUSTMENT*, POINTL*,
                            RECTL*, RECTL*, POINTL*, ULONG)
{
    return Drawing(dst);
}

BOOL APIENTRY DrvCopyBits(SURFOBJ* dst, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, POINTL*)
{
    return Drawing(dst);
}

BOOL APIENTRY DrvTextOut(SURFOBJ* dst, STROBJ*, FONTOBJ*, CLIPOBJ*, RECTL*, RECTL*, BRUSHOBJ*, BRUSHOBJ*,
                         POINTL*, MIX)
{
    return Drawing(dst);
}

ULONG APIENTRY DrvGetGlyphMode(DHPDEV pdev, FONTOBJ*)
{
    return CfgQueryMyDevice(pdev) ? FO_GLYPHBITS : 0;
}

BOOL APIENTRY DrvPaint(SURFOBJ* dst, CLIPOBJ*, BRUSHOBJ*, POINTL*, MIX)
{
    return Drawing(dst);
}

BOOL APIENTRY DrvFillPath(SURFOBJ* dst, PATHOBJ*, CLIPOBJ*, BRUSHOBJ*, POINTL*, MIX, FLONG)
{
    return Drawing(dst);
}

BOOL APIENTRY DrvStrokeAndFillPath(SURFOBJ* dst, PATHOBJ*, CLIPOBJ*, XFORMOBJ*, BRUSHOBJ*, LINEATTRS*,
                                   BRUSHOBJ*, POINTL*, MIX, FLONG)
{
    return Drawing(dst);
}

BOOL APIENTRY DrvLineTo(SURFOBJ* dst, CLIPOBJ*, BRUSHOBJ*, LONG, LONG, LONG, LONG, RECTL*, MIX)
{
    return Drawing(dst);
}

BOOL APIENTRY DrvStrokePath(SURFOBJ* dst, PATHOBJ*, CLIPOBJ*, XFORMOBJ*, BRUSHOBJ*, POINTL*, LINEATTRS*, MIX)
{
    return Drawing(dst);
}

BOOL APIENTRY DrvStartDoc(SURFOBJ* surface, LPWSTR, DWORD)
{
    return Checked(surface);
}

BOOL APIENTRY DrvStartPage(SURFOBJ* surface)
{
    return Checked(surface);
}

BOOL APIENTRY DrvSendPage(SURFOBJ* surface)
{
    return Checked(surface);
}

BOOL APIENTRY DrvEndDoc(SURFOBJ* surface, FLONG)
{
    return Checked(surface);
}

BOOL APIENTRY DrvStartBanding(SURFOBJ* surface, POINTL*)
{
    return Checked(surface);
}

BOOL APIENTRY DrvNextBand(SURFOBJ* surface, POINTL*)
{
    return Checked(surface);
}

PIFIMETRICS APIENTRY DrvQueryFont(DHPDEV pdev, ULONG_PTR, ULONG, ULONG_PTR*)
{
    if (CfgQueryMyDevice(pdev))
        NotYet();
    return nullptr;
}

PVOID APIENTRY DrvQueryFontTree(DHPDEV pdev, ULONG_PTR, ULONG, ULONG, ULONG_PTR*)
{
    if (CfgQueryMyDevice(pdev))
        NotYet();
    return nullptr;
}

LONG APIENTRY DrvQueryFontData(DHPDEV pdev, FONTOBJ*, ULONG, HGLYPH, GLYPHDATA*, PVOID, ULONG)
{
    if (CfgQueryMyDevice(pdev))
        NotYet();
    return -1;
}

ULONG APIENTRY DrvEscape(SURFOBJ* surface, ULONG, ULONG, PVOID, ULONG, PVOID)
{
    if (CfgQueryMyDevice(surface ? surface->dhpdev : nullptr))
        NotYet();
    return 0;
}

} // namespace velmoq7
