// The device memory of a PDEV: the drawing surface (one band, or the whole page), the system buffers
// and the user buffers.
#include "enable.h"
#include "pdev.h"

#include <algorithm>
#include <memory>

namespace velmoq7
{

LONG CfgCalcBandSize(LONG total, LONG parts, LONG alignment)
{
    if (parts <= 0 || alignment <= 0)
        return total;
    LONG strip = (total + parts - 1) / parts;
    return (strip + alignment - 1) / alignment * alignment;
}

namespace
{
bool Horizontal(LONG code)
{
    return code == kBandTopDown || code == kBandBottomUp;
}

// The surface for `n` bands: a strip across the page, 24 bits a pixel.
SIZEL ComputePageBitmapSize(const PDev& pdev, LONG n, LONG& strip, LONG& count)
{
    const PageFormat& f = pdev.page;
    bool horizontal = Horizontal(pdev.band.code);
    LONG extent = horizontal ? f.printableHeightPx : f.printableWidthPx;
    strip = std::min(extent, CfgCalcBandSize(extent, n, horizontal ? 1 : 4));
    count = std::clamp<LONG>((extent + strip - 1) / strip, 1, kMaxBands);
    return horizontal ? SIZEL{f.printableWidthPx, strip} : SIZEL{strip, f.printableHeightPx};
}

LONG Stride(LONG width)
{
    return (width * 3 + 3) & ~3;
}
} // namespace

BOOL AllocatePageMemory(PDev& pdev)
{
    const velmo::SelfDMode& s = *pdev.settings;
    LONG limit = std::clamp<LONG>(s.bandingEndNo, 1, kMaxBands);
    LONG n = std::clamp<LONG>(s.bandingStartNo, 1, limit);
    HBITMAP bitmap = nullptr;
    SIZEL size{};
    LONG strip = 0;
    LONG count = 0;
    for (; n <= limit; ++n)
    {
        size = ComputePageBitmapSize(pdev, n, strip, count);
        bitmap = EngCreateBitmap(size, Stride(size.cx), BMF_24BPP, BMF_TOPDOWN, nullptr);
        if (bitmap)
            break;
    }
    if (!bitmap)
        return FALSE;
    HSURF surface = reinterpret_cast<HSURF>(bitmap);
    bool banding = !(n == 1 && !s.forceBanding);
    if (!EngAssociateSurface(surface, pdev.hdev, kSurfaceHooks) ||
        (banding && !EngMarkBandingSurface(surface)))
    {
        EngDeleteSurface(surface);
        return FALSE;
    }
    pdev.surface = surface;
    pdev.band.requestedBands = n;
    pdev.band.bandCount = count;
    pdev.band.stripSize = strip;
    pdev.band.banding = banding;
    pdev.band.surfaceSize = size;
    const bool horizontal = Horizontal(pdev.band.code);
    const LONG extent = horizontal ? pdev.page.printableHeightPx : pdev.page.printableWidthPx;
    for (LONG i = 0; i < count; ++i)
    {
        const LONG at = i * strip;
        const LONG span = std::min(strip, extent - at);
        pdev.flow.bands[i] = horizontal ? BandRect{0, at, pdev.page.printableWidthPx, span}
                                        : BandRect{at, 0, span, pdev.page.printableHeightPx};
    }
    return TRUE;
}

BOOL AllocateSystemMemory(PDev& pdev)
{
    const ULONG spool = (pdev.device.spoolBufferSize + 0x103FF) & ~0xFFFFu;
    const ULONG sizes[4] = {0x10000, 0x10000, 0x40000, spool};
    const int slots[4] = {0, 1, 2, kSpoolAreaBuffer};
    ULONG total = sizes[0] + sizes[1] + sizes[2] + sizes[3];
    pdev.systemMemory = static_cast<BYTE*>(EngAllocMem(FL_ZERO_MEMORY, total, EngPoolTag("Das0")));
    if (!pdev.systemMemory)
        return FALSE;
    ULONG offset = 0;
    for (int i = 0; i < 4; ++i)
    {
        pdev.systemBuffers[slots[i]] = pdev.systemMemory + offset;
        pdev.systemBufferSizes[slots[i]] = sizes[i];
        offset += sizes[i];
    }
    // The two pattern buffers stay empty: no brush pattern mode is used.
    return TRUE;
}

BOOL AllocateUserMemory(PDev& pdev)
{
    char tag[5] = "Dau0";
    for (int i = 0; i < pdev.device.userBufferCount && i < kMaxUserBuffers; ++i)
    {
        tag[3] = static_cast<char>('0' + i);
        pdev.userBuffers[i] = static_cast<BYTE*>(EngAllocMem(
            FL_ZERO_MEMORY, pdev.device.userBufferSizes[i], EngPoolTag({tag[0], tag[1], tag[2], tag[3], 0})));
        if (!pdev.userBuffers[i])
        {
            for (BYTE*& b : pdev.userBuffers)
            {
                EngFreeMem(b);
                b = nullptr;
            }
            return FALSE;
        }
    }
    return TRUE;
}

namespace
{
// The spool output over the spool area of the system memory, handing its bytes to the printer.
void StartSpoolOutput(PDev& pdev)
{
    std::span<BYTE> area(pdev.systemBuffers[kSpoolAreaBuffer] + 1024, render::kSpoolBufferSize);
    render::SpoolWriteFn write{[](void* printer, const BYTE* data, DWORD size, DWORD* written) -> BOOL {
                                   return EngWritePrinter(printer, const_cast<BYTE*>(data), size, written);
                               },
                               pdev.printer};
    pdev.spool = std::construct_at(reinterpret_cast<render::SpoolState*>(pdev.spoolStorage), area, write);
    pdev.spool->jobFlags = pdev.flow.carriedSpoolFlags;
    pdev.spool->duplexRefused = pdev.flow.carriedRefusal != FALSE;
}

void StartCoder(PDev& pdev)
{
    static_assert(std::is_trivially_destructible_v<render::BandCoder>);
    BYTE* memory = pdev.userBuffers[kCoderBuffer];
    render::StringTableSpan table(reinterpret_cast<render::StringEntry*>(memory),
                                  render::kStringTableEntries);
    pdev.coder = std::construct_at(reinterpret_cast<render::BandCoder*>(memory + kStringTableBytes), table);
}
} // namespace

void FreeDeviceMemory(PDev& pdev)
{
    if (pdev.spool)
    {
        pdev.flow.carriedSpoolFlags = pdev.spool->jobFlags;
        pdev.flow.carriedRefusal = pdev.spool->duplexRefused;
        std::destroy_at(pdev.spool);
        pdev.spool = nullptr;
    }
    pdev.coder = nullptr;
    for (BYTE*& b : pdev.userBuffers)
    {
        EngFreeMem(b);
        b = nullptr;
    }
    EngFreeMem(pdev.systemMemory);
    pdev.systemMemory = nullptr;
    std::fill(std::begin(pdev.systemBuffers), std::end(pdev.systemBuffers), nullptr);
    if (pdev.surface)
        EngDeleteSurface(pdev.surface);
    pdev.surface = nullptr;
}

HSURF APIENTRY DrvEnableSurface(DHPDEV dhpdev)
{
    PDev* pdev = CfgQueryMyDevice(dhpdev);
    if (!pdev)
        return nullptr;
    if (!AllocatePageMemory(*pdev) || !AllocateSystemMemory(*pdev) || !AllocateUserMemory(*pdev))
    {
        FreeDeviceMemory(*pdev);
        EngSetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    StartCoder(*pdev);
    StartSpoolOutput(*pdev);
    return pdev->surface;
}

VOID APIENTRY DrvDisableSurface(DHPDEV dhpdev)
{
    if (PDev* pdev = CfgQueryMyDevice(dhpdev))
        FreeDeviceMemory(*pdev);
}

} // namespace velmoq7
