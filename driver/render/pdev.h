// The graphics DLL's device: one PDEV per device context, with its settings, device description,
// page and band geometry and the memory its surface draws with.
#pragma once

#include <platform/winddi.h>

#include "settings.h"

namespace velmoq7
{

inline constexpr DWORD kPDevMarker = 35136;
inline constexpr ULONG kPDevSize = 16308;
inline constexpr int kMaxBands = 128;
inline constexpr int kSystemBufferCount = 11;
inline constexpr int kSpoolAreaBuffer = 10;
inline constexpr int kMaxUserBuffers = 5;
inline constexpr ULONG kSpoolBufferSize = 0xF800;
inline constexpr FLONG kSurfaceHooks = HOOK_BITBLT | HOOK_STRETCHBLT | HOOK_TEXTOUT | HOOK_PAINT |
                                       HOOK_STROKEPATH | HOOK_FILLPATH | HOOK_STROKEANDFILLPATH |
                                       HOOK_LINETO | HOOK_COPYBITS;

struct DeviceDescription
{
    LONG dpiX; // scaled by zoom
    LONG dpiY;
    LONG dpiDiagonal;
    DEVHTINFO htInfo;
    COLORADJUSTMENT colorAdjustment;
    LONG copies;
    ULONG userBufferSizes[kMaxUserBuffers];
    int userBufferCount;
    ULONG spoolBufferSize;
    LONG pixelOrder;
};

// The page, in paper units (0.1 mm) and in pixels at the scaled resolution.
struct PageFormat
{
    LONG paperWidth;
    LONG paperHeight;
    LONG printableWidth;
    LONG printableHeight;
    LONG pageWidthPx;
    LONG pageHeightPx;
    LONG printableWidthPx;
    LONG printableHeightPx;
    LONG leftPx;
    LONG topPx;
};

inline constexpr LONG kBandTopDown = 17;
inline constexpr LONG kBandBottomUp = 33;
inline constexpr LONG kBandRightToLeft = 34;
inline constexpr LONG kBandLeftToRight = 18;

struct BandingFormat
{
    LONG code;
    LONG requestedBands; // the n the surface was created for
    LONG bandCount;      // strips that cover the page
    LONG stripSize;      // pixels across a strip
    BOOL banding;        // FALSE: the page is drawn in one piece
    SIZEL surfaceSize;
};

struct PDev
{
    DWORD marker;
    DWORD size;
    velmo::SelfDMode* settings;
    HANDLE printer;
    HDEV hdev;
    HPALETTE palette;
    HSURF surface;
    DeviceDescription device;
    PageFormat page;
    BandingFormat band;
    BYTE* systemMemory;
    BYTE* systemBuffers[kSystemBufferCount];
    ULONG systemBufferSizes[kSystemBufferCount];
    BYTE* userBuffers[kMaxUserBuffers];
    velmo::SelfDMode settingsRecord;
    // The rest of the block, up to the end marker, holds the job state, the band coder's context and
    // the spool buffer state of the page flow.
};
static_assert(sizeof(PDev) <= kPDevSize - 2 - 4096, "room for the page flow's state");

// The PDEV behind a handle the engine passed, or null (last error 87) when it is not one of ours.
PDev* CfgQueryMyDevice(DHPDEV dhpdev);
// The same for a drawing destination, without touching the last error.
PDev* CfgQueryMyDeviceQuiet(DHPDEV dhpdev);

LONG CfgCalcBandSize(LONG total, LONG parts, LONG alignment);

void SetPublicDevice(PDev& pdev);
void SetPrivateDevice(PDev& pdev);
void MakeGdiInfo(const PDev& pdev, GDIINFO& info);
void MakeDevInfo(const PDev& pdev, DEVINFO& info);

BOOL AllocatePageMemory(PDev& pdev);
BOOL AllocateSystemMemory(PDev& pdev);
BOOL AllocateUserMemory(PDev& pdev);
void FreeDeviceMemory(PDev& pdev);

} // namespace velmoq7
