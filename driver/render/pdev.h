// The graphics DLL's device: one PDEV per device context, with its settings, device description,
// page and band geometry and the memory its surface draws with.
#pragma once

#include <platform/winddi.h>

#include "band_coder.h"
#include "kgl_records.h"
#include "settings.h"
#include "spool.h"

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

// One band in page pixels (the printable area at the scaled resolution).
struct BandRect
{
    LONG x;
    LONG y;
    LONG width;
    LONG height;
};

// The 1-bit page image cut out of the drawn page: lines run across the page for horizontal strips and
// along the columns for vertical ones; what lies beyond the largest paper is cropped on both sides.
struct PageImage
{
    LONG drawnLength; // pixels of a drawn line
    LONG drawnCount;  // drawn lines
    LONG lineLength;  // pixels of an image line (the W of its bytes per line)
    LONG lineCount;
    LONG firstPixel; // of a drawn line
    LONG firstLine;  // of the drawn lines
    WORD bytesPerLine;
};

// The user buffers and where the band flow works in them.
inline constexpr ULONG kRawSubBandOffset = 0;
inline constexpr ULONG kRawSubBandSize = 34816; // 32,768 and one more line of up to 2,048 bytes
inline constexpr ULONG kSubBandFlushBytes = 32768;
inline constexpr ULONG kMaxLineBytes = 2048;
inline constexpr ULONG kGrayLineOffset = 36864;
inline constexpr LONG kMaxGrayPixels = 14336;
inline constexpr ULONG kCodeOutputOffset = 0x10000;
inline constexpr ULONG kColumnOffset = 0x20000;
inline constexpr LONG kMaxColumnPixels = 43690;
inline constexpr int kCoderBuffer = 2; // the string table, then the coder's context
inline constexpr ULONG kStringTableBytes = 0x10000;
static_assert(render::MaxBlockSize(kRawSubBandSize) <= kColumnOffset - kCodeOutputOffset);
static_assert(kGrayLineOffset + kMaxGrayPixels * 2 <= kCodeOutputOffset);
static_assert(kColumnOffset + kMaxColumnPixels * 3 <= 0x40000);

// The job's state in this PDEV, beside what the record writer keeps.
struct FlowState
{
    render::KglJobState job;
    BandRect bands[kMaxBands]; // in page position: top to bottom, or left to right
    LONG bandIndex;            // bands sent so far on the open page
    PageImage image;
    WCHAR docName[261];
    DWORD jobId;
    // What a replacing PDEV takes over of the spool state before its own spool output exists.
    DWORD carriedSpoolFlags;
    BOOL carriedRefusal;
    LONG refusalCopies; // the copy count the duplex refusal was last decided for
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
    FlowState flow;
    render::SpoolState* spool; // in spoolStorage while the surface exists
    render::BandCoder* coder;  // in the coder's user buffer while the surface exists
    alignas(render::SpoolState) BYTE spoolStorage[sizeof(render::SpoolState)];
};
static_assert(sizeof(PDev) <= kPDevSize - 2, "the end marker lies behind the PDEV's state");

// The PDEV behind a handle the engine passed, or null (last error 87) when it is not one of ours.
PDev* CfgQueryMyDevice(DHPDEV dhpdev);
// The same for a drawing destination, without touching the last error.
PDev* CfgQueryMyDeviceQuiet(DHPDEV dhpdev);

LONG CfgCalcBandSize(LONG total, LONG parts, LONG alignment);

// The device description from the settings.
void _UdgSetPublicDevice(PDev& pdev);
// The page format and the band orientation code; SetPrivateDevice sets both.
void _UdgSetPaperFormat(PDev& pdev);
void _UdgSetBandingFormat(PDev& pdev);
void SetPrivateDevice(PDev& pdev);
// The engine's device description is built whole, then copied into the engine's buffers (GDIINFO at
// most 264 bytes of it); what the copy leaves of a buffer is cleared.
void MakeGdiInfo(const PDev& pdev, GDIINFO& info);
void CfgAdjustGdiInfo(const GDIINFO& built, ULONG* caps, ULONG capsSize);
void MakeDevInfo(const PDev& pdev, DEVINFO& info);
void CfgAdjustDevInfo(const DEVINFO& built, DEVINFO* devInfo, ULONG devInfoSize);

// The page format words that decide whether a reset keeps the job.
render::PageSetupWords PageSetupWordsOf(const PDev& pdev);

BOOL AllocatePageMemory(PDev& pdev);
BOOL AllocateSystemMemory(PDev& pdev);
BOOL AllocateUserMemory(PDev& pdev);
void FreeDeviceMemory(PDev& pdev);

} // namespace velmoq7
