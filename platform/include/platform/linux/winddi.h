// Linux declarations: the graphics engine's driver interface. Written from the documented API;
// included by platform/winddi.h.
#pragma once

typedef ULONG FLONG;
typedef LONG LDECI4;
typedef ULONG ROP4;
typedef ULONG MIX;
typedef ULONG HGLYPH;
DECLARE_HANDLE(DHPDEV);
DECLARE_HANDLE(DHSURF);
DECLARE_HANDLE(HSURF);
DECLARE_HANDLE(HDEV);
typedef LONG_PTR(APIENTRY* PFN)();

#define DDI_DRIVER_VERSION_NT4 0x00020000
#define GCAPS_HALFTONE 0x00000002

typedef struct _DRVFN
{
    ULONG iFunc;
    PFN pfn;
} DRVFN, *PDRVFN;

typedef struct tagDRVENABLEDATA
{
    ULONG iDriverVersion;
    ULONG c;
    DRVFN* pdrvfn;
} DRVENABLEDATA, *PDRVENABLEDATA;

// Engine function indices.
#define INDEX_DrvEnablePDEV 0L
#define INDEX_DrvCompletePDEV 1L
#define INDEX_DrvDisablePDEV 2L
#define INDEX_DrvEnableSurface 3L
#define INDEX_DrvDisableSurface 4L
#define INDEX_DrvResetPDEV 7L
#define INDEX_DrvStrokePath 14L
#define INDEX_DrvFillPath 15L
#define INDEX_DrvStrokeAndFillPath 16L
#define INDEX_DrvPaint 17L
#define INDEX_DrvBitBlt 18L
#define INDEX_DrvCopyBits 19L
#define INDEX_DrvStretchBlt 20L
#define INDEX_DrvTextOut 23L
#define INDEX_DrvEscape 24L
#define INDEX_DrvQueryFont 26L
#define INDEX_DrvQueryFontTree 27L
#define INDEX_DrvQueryFontData 28L
#define INDEX_DrvLineTo 31L
#define INDEX_DrvSendPage 32L
#define INDEX_DrvStartPage 33L
#define INDEX_DrvEndDoc 34L
#define INDEX_DrvStartDoc 35L
#define INDEX_DrvGetGlyphMode 37L
#define INDEX_DrvStartBanding 57L
#define INDEX_DrvNextBand 58L

#define DRVQUERY_USERMODE 0x00000001

typedef struct _CIECHROMA
{
    LDECI4 x;
    LDECI4 y;
    LDECI4 Y;
} CIECHROMA;

typedef struct _COLORINFO
{
    CIECHROMA Red;
    CIECHROMA Green;
    CIECHROMA Blue;
    CIECHROMA Cyan;
    CIECHROMA Magenta;
    CIECHROMA Yellow;
    CIECHROMA AlignmentWhite;
    LDECI4 RedGamma;
    LDECI4 GreenGamma;
    LDECI4 BlueGamma;
    LDECI4 MagentaInCyanDye;
    LDECI4 YellowInCyanDye;
    LDECI4 CyanInMagentaDye;
    LDECI4 YellowInMagentaDye;
    LDECI4 CyanInYellowDye;
    LDECI4 MagentaInYellowDye;
} COLORINFO, *PCOLORINFO;

typedef struct _DEVHTINFO
{
    DWORD HTFlags;
    DWORD HTPatternSize;
    DWORD DevPelsDPI;
    COLORINFO ColorInfo;
} DEVHTINFO, *PDEVHTINFO;
static_assert(sizeof(COLORINFO) == 120 && sizeof(DEVHTINFO) == 132, "halftone records are stored");

typedef struct _GDIINFO
{
    ULONG ulVersion;
    ULONG ulTechnology;
    ULONG ulHorzSize;
    ULONG ulVertSize;
    ULONG ulHorzRes;
    ULONG ulVertRes;
    ULONG cBitsPixel;
    ULONG cPlanes;
    ULONG ulNumColors;
    FLONG flRaster;
    ULONG ulLogPixelsX;
    ULONG ulLogPixelsY;
    FLONG flTextCaps;
    ULONG ulDACRed;
    ULONG ulDACGreen;
    ULONG ulDACBlue;
    ULONG ulAspectX;
    ULONG ulAspectY;
    ULONG ulAspectXY;
    LONG xStyleStep;
    LONG yStyleStep;
    LONG denStyleStep;
    POINTL ptlPhysOffset;
    SIZEL szlPhysSize;
    ULONG ulNumPalReg;
    COLORINFO ciDevice;
    ULONG ulDevicePelsDPI;
    ULONG ulPrimaryOrder;
    ULONG ulHTPatternSize;
    ULONG ulHTOutputFormat;
    ULONG flHTFlags;
    ULONG ulVRefresh;
    ULONG ulBltAlignment;
    ULONG ulPanningHorzRes;
    ULONG ulPanningVertRes;
    ULONG xPanningAlignment;
    ULONG yPanningAlignment;
    ULONG cxHTPat;
    ULONG cyHTPat;
    LPBYTE pHTPatA;
    LPBYTE pHTPatB;
    LPBYTE pHTPatC;
    ULONG flShadeBlend;
    ULONG ulPhysicalPixelCharacteristics;
    ULONG ulPhysicalPixelGamma;
} GDIINFO, *PGDIINFO;
static_assert(offsetof(GDIINFO, ciDevice) == 108 && offsetof(GDIINFO, xPanningAlignment) == 264,
              "GDIINFO layout");

#define HT_FORMAT_24BPP 6
#define HT_FLAG_HAS_BLACK_DYE 0x00000002
#define HT_PATSIZE_DEFAULT 17

typedef struct _DEVINFO
{
    FLONG flGraphicsCaps;
    LOGFONTW lfDefaultFont;
    LOGFONTW lfAnsiVarFont;
    LOGFONTW lfAnsiFixFont;
    ULONG cFonts;
    ULONG iDitherFormat;
    USHORT cxDither;
    USHORT cyDither;
    HPALETTE hpalDefault;
    FLONG flGraphicsCaps2;
} DEVINFO, *PDEVINFO;

#define BMF_24BPP 5L
#define BMF_TOPDOWN 0x0001
#define STYPE_BITMAP 0L
#define STYPE_DEVICE 1L

typedef struct _SURFOBJ
{
    DHSURF dhsurf;
    HSURF hsurf;
    DHPDEV dhpdev;
    HDEV hdev;
    SIZEL sizlBitmap;
    ULONG cjBits;
    PVOID pvBits;
    PVOID pvScan0;
    LONG lDelta;
    ULONG iUniq;
    ULONG iBitmapFormat;
    USHORT iType;
    USHORT fjBitmap;
} SURFOBJ;

#define BMF_1BPP 1L

// Objects the engine hands to drawing hooks. The driver passes them on; only the engine looks inside,
// and its own objects carry more behind these public fields.
typedef struct _CLIPOBJ
{
    ULONG iUniq;
    RECTL rclBounds;
    BYTE iDComplexity;
    BYTE iFComplexity;
    BYTE iMode;
    BYTE fjOptions;
} CLIPOBJ;
#define DC_TRIVIAL 0
#define DC_RECT 1
#define DC_COMPLEX 3

typedef struct _XLATEOBJ
{
    ULONG iUniq;
    FLONG flXlate;
    USHORT iSrcType;
    USHORT iDstType;
    ULONG cEntries;
    ULONG* pulXlate;
} XLATEOBJ;
#define XO_TRIVIAL 0x00000001
#define XO_TABLE 0x00000002

typedef struct _BRUSHOBJ
{
    ULONG iSolidColor;
    PVOID pvRbrush;
    FLONG flColorType;
} BRUSHOBJ;

typedef struct _GLYPHPOS GLYPHPOS;
typedef struct _STROBJ
{
    ULONG cGlyphs;
    FLONG flAccel;
    ULONG ulCharInc;
    RECTL rclBkGround;
    GLYPHPOS* pgp;
    LPWSTR pwszOrg;
} STROBJ;

typedef struct _PATHOBJ
{
    FLONG fl;
    ULONG cCurves;
} PATHOBJ;

typedef struct _FONTOBJ FONTOBJ;
typedef struct _XFORMOBJ XFORMOBJ;
typedef struct _GLYPHDATA GLYPHDATA;
typedef struct _IFIMETRICS IFIMETRICS, *PIFIMETRICS;
typedef struct _LINEATTRS LINEATTRS;

#define HOOK_BITBLT 0x00000001
#define HOOK_STRETCHBLT 0x00000002
#define HOOK_TEXTOUT 0x00000008
#define HOOK_PAINT 0x00000010
#define HOOK_STROKEPATH 0x00000020
#define HOOK_FILLPATH 0x00000040
#define HOOK_STROKEANDFILLPATH 0x00000080
#define HOOK_LINETO 0x00000100
#define HOOK_COPYBITS 0x00000400

#define PAL_RGB 0x00000004
#define PAL_BGR 0x00000008

#define FL_ZERO_MEMORY 0x00000001
#define FO_GLYPHBITS 1L

// Eng services: memory and errors.
PVOID APIENTRY EngAllocMem(ULONG flags, ULONG size, ULONG tag);
VOID APIENTRY EngFreeMem(PVOID mem);
VOID APIENTRY EngSetLastError(ULONG error);
ULONG APIENTRY EngGetLastError();

// Eng services: the spooler.
BOOL APIENTRY EngGetPrinter(HANDLE printer, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed);
BOOL APIENTRY EngGetPrinterDriver(HANDLE printer, LPWSTR environment, DWORD level, BYTE* buffer, DWORD size,
                                  DWORD* needed);
DWORD APIENTRY EngGetPrinterData(HANDLE printer, LPWSTR valueName, LPDWORD type, LPBYTE data, DWORD size,
                                 LPDWORD needed);
DWORD APIENTRY EngSetPrinterData(HANDLE printer, LPWSTR valueName, DWORD type, LPBYTE data, DWORD size);
BOOL APIENTRY EngWritePrinter(HANDLE printer, LPVOID buffer, DWORD size, LPDWORD written);

// Eng services: surfaces and palettes.
HBITMAP APIENTRY EngCreateBitmap(SIZEL size, LONG stride, ULONG format, FLONG flags, PVOID bits);
BOOL APIENTRY EngAssociateSurface(HSURF surface, HDEV device, FLONG hooks);
BOOL APIENTRY EngMarkBandingSurface(HSURF surface);
BOOL APIENTRY EngDeleteSurface(HSURF surface);
SURFOBJ* APIENTRY EngLockSurface(HSURF surface);
VOID APIENTRY EngUnlockSurface(SURFOBJ* surface);
HPALETTE APIENTRY EngCreatePalette(ULONG mode, ULONG count, ULONG* colors, FLONG red, FLONG green,
                                   FLONG blue);
BOOL APIENTRY EngDeletePalette(HPALETTE palette);

// Eng services: the engine's own drawing, which the driver's drawing hooks hand their calls to.
BOOL APIENTRY EngBitBlt(SURFOBJ* dst, SURFOBJ* src, SURFOBJ* mask, CLIPOBJ* clip, XLATEOBJ* xlate,
                        RECTL* dstRect, POINTL* srcPoint, POINTL* maskPoint, BRUSHOBJ* brush,
                        POINTL* brushOrigin, ROP4 rop);
BOOL APIENTRY EngStretchBlt(SURFOBJ* dst, SURFOBJ* src, SURFOBJ* mask, CLIPOBJ* clip, XLATEOBJ* xlate,
                            COLORADJUSTMENT* ca, POINTL* htOrigin, RECTL* dstRect, RECTL* srcRect,
                            POINTL* maskPoint, ULONG mode);
BOOL APIENTRY EngCopyBits(SURFOBJ* dst, SURFOBJ* src, CLIPOBJ* clip, XLATEOBJ* xlate, RECTL* dstRect,
                          POINTL* srcPoint);
BOOL APIENTRY EngTextOut(SURFOBJ* dst, STROBJ* str, FONTOBJ* font, CLIPOBJ* clip, RECTL* extra, RECTL* opaque,
                         BRUSHOBJ* fore, BRUSHOBJ* opaqueBrush, POINTL* origin, MIX mix);
BOOL APIENTRY EngPaint(SURFOBJ* dst, CLIPOBJ* clip, BRUSHOBJ* brush, POINTL* origin, MIX mix);
BOOL APIENTRY EngFillPath(SURFOBJ* dst, PATHOBJ* path, CLIPOBJ* clip, BRUSHOBJ* brush, POINTL* origin,
                          MIX mix, FLONG options);
BOOL APIENTRY EngStrokePath(SURFOBJ* dst, PATHOBJ* path, CLIPOBJ* clip, XFORMOBJ* xform, BRUSHOBJ* brush,
                            POINTL* origin, LINEATTRS* line, MIX mix);
BOOL APIENTRY EngStrokeAndFillPath(SURFOBJ* dst, PATHOBJ* path, CLIPOBJ* clip, XFORMOBJ* xform,
                                   BRUSHOBJ* stroke, LINEATTRS* line, BRUSHOBJ* fill, POINTL* origin, MIX mix,
                                   FLONG options);
BOOL APIENTRY EngLineTo(SURFOBJ* dst, CLIPOBJ* clip, BRUSHOBJ* brush, LONG x1, LONG y1, LONG x2, LONG y2,
                        RECTL* bounds, MIX mix);
