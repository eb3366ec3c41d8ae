// The graphics DLL's entry points and the hooks it gives the engine.
#pragma once

#include <platform/winddi.h>

namespace velmoq7
{

inline constexpr ULONG kHookCount = 26;
extern const DRVFN s_DrvFnTable[kHookCount];

BOOL APIENTRY DrvEnableDriver(ULONG engineVersion, ULONG size, DRVENABLEDATA* data);
VOID APIENTRY DrvDisableDriver();
BOOL APIENTRY DrvQueryDriverInfo(DWORD mode, PVOID buffer, DWORD size, PDWORD needed);

DHPDEV APIENTRY DrvEnablePDEV(DEVMODEW* devMode, LPWSTR logAddress, ULONG patternCount, HSURF* patterns,
                              ULONG capsSize, ULONG* caps, ULONG devInfoSize, DEVINFO* devInfo, HDEV hdev,
                              LPWSTR deviceName, HANDLE printer);
BOOL APIENTRY DrvResetPDEV(DHPDEV oldPdev, DHPDEV newPdev);
VOID APIENTRY DrvCompletePDEV(DHPDEV pdev, HDEV hdev);
VOID APIENTRY DrvDisablePDEV(DHPDEV pdev);
HSURF APIENTRY DrvEnableSurface(DHPDEV pdev);
VOID APIENTRY DrvDisableSurface(DHPDEV pdev);

BOOL APIENTRY DrvBitBlt(SURFOBJ* dst, SURFOBJ* src, SURFOBJ* mask, CLIPOBJ* clip, XLATEOBJ* xlate,
                        RECTL* dstRect, POINTL* srcPoint, POINTL* maskPoint, BRUSHOBJ* brush,
                        POINTL* brushOrigin, ROP4 rop);
BOOL APIENTRY DrvStretchBlt(SURFOBJ* dst, SURFOBJ* src, SURFOBJ* mask, CLIPOBJ* clip, XLATEOBJ* xlate,
                            COLORADJUSTMENT* ca, POINTL* htOrigin, RECTL* dstRect, RECTL* srcRect,
                            POINTL* maskPoint, ULONG mode);
BOOL APIENTRY DrvCopyBits(SURFOBJ* dst, SURFOBJ* src, CLIPOBJ* clip, XLATEOBJ* xlate, RECTL* dstRect,
                          POINTL* srcPoint);
BOOL APIENTRY DrvTextOut(SURFOBJ* dst, STROBJ* str, FONTOBJ* font, CLIPOBJ* clip, RECTL* extra, RECTL* opaque,
                         BRUSHOBJ* fore, BRUSHOBJ* opaqueBrush, POINTL* origin, MIX mix);
ULONG APIENTRY DrvGetGlyphMode(DHPDEV pdev, FONTOBJ* font);
BOOL APIENTRY DrvPaint(SURFOBJ* dst, CLIPOBJ* clip, BRUSHOBJ* brush, POINTL* origin, MIX mix);
BOOL APIENTRY DrvFillPath(SURFOBJ* dst, PATHOBJ* path, CLIPOBJ* clip, BRUSHOBJ* brush, POINTL* origin,
                          MIX mix, FLONG options);
BOOL APIENTRY DrvStrokeAndFillPath(SURFOBJ* dst, PATHOBJ* path, CLIPOBJ* clip, XFORMOBJ* xform,
                                   BRUSHOBJ* stroke, LINEATTRS* line, BRUSHOBJ* fill, POINTL* origin, MIX mix,
                                   FLONG options);
BOOL APIENTRY DrvLineTo(SURFOBJ* dst, CLIPOBJ* clip, BRUSHOBJ* brush, LONG x1, LONG y1, LONG x2, LONG y2,
                        RECTL* bounds, MIX mix);
BOOL APIENTRY DrvStrokePath(SURFOBJ* dst, PATHOBJ* path, CLIPOBJ* clip, XFORMOBJ* xform, BRUSHOBJ* brush,
                            POINTL* origin, LINEATTRS* line, MIX mix);
BOOL APIENTRY DrvStartDoc(SURFOBJ* surface, LPWSTR docName, DWORD jobId);
BOOL APIENTRY DrvStartPage(SURFOBJ* surface);
BOOL APIENTRY DrvSendPage(SURFOBJ* surface);
BOOL APIENTRY DrvEndDoc(SURFOBJ* surface, FLONG flags);
BOOL APIENTRY DrvStartBanding(SURFOBJ* surface, POINTL* origin);
BOOL APIENTRY DrvNextBand(SURFOBJ* surface, POINTL* origin);
PIFIMETRICS APIENTRY DrvQueryFont(DHPDEV pdev, ULONG_PTR file, ULONG face, ULONG_PTR* id);
PVOID APIENTRY DrvQueryFontTree(DHPDEV pdev, ULONG_PTR file, ULONG face, ULONG mode, ULONG_PTR* id);
LONG APIENTRY DrvQueryFontData(DHPDEV pdev, FONTOBJ* font, ULONG mode, HGLYPH glyph, GLYPHDATA* data,
                               PVOID buffer, ULONG size);
ULONG APIENTRY DrvEscape(SURFOBJ* surface, ULONG escape, ULONG inSize, PVOID in, ULONG outSize, PVOID out);

} // namespace velmoq7
