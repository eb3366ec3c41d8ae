#include "enable.h"

#include "pdev.h"

#include <algorithm>
#include <cstring>

namespace velmoq7
{
namespace
{
template <typename F> PFN Hook(F fn)
{
    return reinterpret_cast<PFN>(reinterpret_cast<void (*)()>(fn));
}

void CopyFace(WCHAR (&dst)[LF_FACESIZE], const WCHAR* src)
{
    size_t n = 0;
    while (src[n] && n + 1 < LF_FACESIZE)
    {
        dst[n] = src[n];
        ++n;
    }
    dst[n] = 0;
}

LOGFONTW Font(const WCHAR* face, LONG height, BYTE charSet, BYTE pitchAndFamily)
{
    LOGFONTW f{};
    f.lfHeight = height;
    f.lfWeight = FW_NORMAL;
    f.lfCharSet = charSet;
    f.lfOutPrecision = OUT_CHARACTER_PRECIS;
    f.lfClipPrecision = CLIP_CHARACTER_PRECIS;
    f.lfQuality = DEFAULT_QUALITY;
    f.lfPitchAndFamily = pitchAndFamily;
    CopyFace(f.lfFaceName, face);
    return f;
}
} // namespace

const DRVFN s_DrvFnTable[kHookCount] = {
    {INDEX_DrvEnablePDEV, Hook(&DrvEnablePDEV)},
    {INDEX_DrvResetPDEV, Hook(&DrvResetPDEV)},
    {INDEX_DrvCompletePDEV, Hook(&DrvCompletePDEV)},
    {INDEX_DrvDisablePDEV, Hook(&DrvDisablePDEV)},
    {INDEX_DrvEnableSurface, Hook(&DrvEnableSurface)},
    {INDEX_DrvDisableSurface, Hook(&DrvDisableSurface)},
    {INDEX_DrvBitBlt, Hook(&DrvBitBlt)},
    {INDEX_DrvStretchBlt, Hook(&DrvStretchBlt)},
    {INDEX_DrvCopyBits, Hook(&DrvCopyBits)},
    {INDEX_DrvTextOut, Hook(&DrvTextOut)},
    {INDEX_DrvGetGlyphMode, Hook(&DrvGetGlyphMode)},
    {INDEX_DrvPaint, Hook(&DrvPaint)},
    {INDEX_DrvFillPath, Hook(&DrvFillPath)},
    {INDEX_DrvStrokeAndFillPath, Hook(&DrvStrokeAndFillPath)},
    {INDEX_DrvLineTo, Hook(&DrvLineTo)},
    {INDEX_DrvStrokePath, Hook(&DrvStrokePath)},
    {INDEX_DrvStartDoc, Hook(&DrvStartDoc)},
    {INDEX_DrvStartPage, Hook(&DrvStartPage)},
    {INDEX_DrvSendPage, Hook(&DrvSendPage)},
    {INDEX_DrvEndDoc, Hook(&DrvEndDoc)},
    {INDEX_DrvStartBanding, Hook(&DrvStartBanding)},
    {INDEX_DrvNextBand, Hook(&DrvNextBand)},
    {INDEX_DrvQueryFont, Hook(&DrvQueryFont)},
    {INDEX_DrvQueryFontTree, Hook(&DrvQueryFontTree)},
    {INDEX_DrvQueryFontData, Hook(&DrvQueryFontData)},
    {INDEX_DrvEscape, Hook(&DrvEscape)},
};

BOOL APIENTRY DrvEnableDriver(ULONG engineVersion, ULONG size, DRVENABLEDATA* data)
{
    // A record without room for the table pointer (12 to 15 bytes on x64) would leave the engine with
    // a hook count and no hooks.
    if (engineVersion < DDI_DRIVER_VERSION_NT4 || size < sizeof(DRVENABLEDATA) || !data)
    {
        EngSetLastError(ERROR_BAD_DRIVER_LEVEL);
        return FALSE;
    }
    data->iDriverVersion = DDI_DRIVER_VERSION_NT4;
    data->c = kHookCount;
    data->pdrvfn = const_cast<DRVFN*>(s_DrvFnTable);
    return TRUE;
}

VOID APIENTRY DrvDisableDriver() {}

BOOL APIENTRY DrvQueryDriverInfo(DWORD mode, PVOID buffer, DWORD size, PDWORD needed)
{
    if (mode != DRVQUERY_USERMODE)
    {
        EngSetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (needed)
        *needed = sizeof(DWORD);
    if (!buffer || size < sizeof(DWORD))
    {
        EngSetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    DWORD userMode = TRUE;
    std::memcpy(buffer, &userMode, sizeof userMode);
    return TRUE;
}

PDev* CfgQueryMyDeviceQuiet(DHPDEV dhpdev)
{
    if (!dhpdev)
        return nullptr;
    auto* bytes = reinterpret_cast<const BYTE*>(dhpdev);
    DWORD marker = 0;
    DWORD size = 0;
    std::memcpy(&marker, bytes, sizeof marker);
    if (marker != kPDevMarker)
        return nullptr;
    std::memcpy(&size, bytes + 4, sizeof size);
    if (size != kPDevSize)
        return nullptr;
    WORD end = 0;
    std::memcpy(&end, bytes + kPDevSize - 2, sizeof end);
    if (end != kPDevMarker)
        return nullptr;
    return reinterpret_cast<PDev*>(dhpdev);
}

PDev* CfgQueryMyDevice(DHPDEV dhpdev)
{
    PDev* pdev = CfgQueryMyDeviceQuiet(dhpdev);
    if (!pdev)
        EngSetLastError(ERROR_INVALID_PARAMETER);
    return pdev;
}

void _UdgSetPublicDevice(PDev& pdev)
{
    const velmo::SelfDMode& s = *pdev.settings;
    const velmo::ResolutionRow& reso = velmo::ResolutionOf(s);
    DeviceDescription& d = pdev.device;
    d.dpiX = reso.x * s.zoom / 100;
    d.dpiY = reso.y * s.zoom / 100;
    d.dpiDiagonal = reso.diagonal * s.zoom / 100;
    d.htInfo = s.printer.devHTInfo;
    d.colorAdjustment = s.colorAdjustment;
    d.copies = s.copies;
    d.userBufferSizes[0] = 0x40000;
    d.userBufferSizes[1] = 0x15000;
    // The coder's string table and context live with the surface, so that no band of a page can be
    // lost to a failed allocation.
    d.userBufferSizes[kCoderBuffer] =
        static_cast<ULONG>((kStringTableBytes + sizeof(render::BandCoder) + 0xFFF) & ~0xFFFu);
    d.userBufferCount = 3;
    d.spoolBufferSize = kSpoolBufferSize;
    d.pixelOrder = s.pixelOrder;
}

void _UdgSetPaperFormat(PDev& pdev)
{
    const velmo::SelfDMode& s = *pdev.settings;
    PageFormat& f = pdev.page;
    velmo::PaperSize paper{2100, 2970};
    if (auto size = velmo::_UduGetPaperListSize(s, velmo::PaperIndexOfId(s, s.paperId)))
        paper = *size;
    // Held to what a paper can be, so that the sizes in 0.01 mm and every product below stay in range.
    paper.width = std::clamp<LONG>(paper.width, 1, velmo::kLargestPaperSide);
    paper.height = std::clamp<LONG>(paper.height, 1, velmo::kLargestPaperSide);
    SIZEL paper001{paper.width * 10, paper.height * 10};
    velmo::Margins m{};
    velmo::KgGetMarginSize(s, m, &paper001);
    LONG printW = paper001.cx - m.left - m.right; // 0.01 mm
    LONG printH = paper001.cy - m.top - m.bottom;
    LONG offX = m.left;
    LONG offY = m.top;
    LONG paperW = paper001.cx;
    LONG paperH = paper001.cy;
    if (s.orientation == DMORIENT_LANDSCAPE)
    {
        std::swap(printW, printH);
        std::swap(paperW, paperH);
        offX = m.bottom;
        offY = m.left;
    }
    const DeviceDescription& d = pdev.device;
    auto px = [](LONG v001, LONG dpi) {
        return static_cast<LONG>(static_cast<long long>(v001) * dpi / 2540);
    };
    f.paperWidth = paperW / 10;
    f.paperHeight = paperH / 10;
    f.printableWidth = printW / 10;
    f.printableHeight = printH / 10;
    f.pageWidthPx = px(paperW, d.dpiX);
    f.pageHeightPx = px(paperH, d.dpiY);
    f.printableWidthPx = std::max<LONG>(1, px(printW, d.dpiX));
    f.printableHeightPx = std::max<LONG>(1, px(printH, d.dpiY));
    f.leftPx = px(offX, d.dpiX);
    f.topPx = px(offY, d.dpiY);
}

void _UdgSetBandingFormat(PDev& pdev)
{
    const velmo::SelfDMode& s = *pdev.settings;
    bool aligned = (s.orientation == DMORIENT_PORTRAIT) == (s.paperFeed == 1);
    pdev.band.code = aligned ? (s.rotate ? kBandBottomUp : kBandTopDown)
                             : (s.rotate ? kBandLeftToRight : kBandRightToLeft);
}

void SetPrivateDevice(PDev& pdev)
{
    _UdgSetPaperFormat(pdev);
    _UdgSetBandingFormat(pdev);
}

void MakeGdiInfo(const PDev& pdev, GDIINFO& g)
{
    const PageFormat& f = pdev.page;
    const DeviceDescription& d = pdev.device;
    bool landscape = pdev.settings->orientation == DMORIENT_LANDSCAPE;
    g = GDIINFO{};
    g.ulVersion = 0x400;
    g.ulTechnology = DT_RASPRINTER;
    g.ulHorzSize = f.printableWidth / 10;
    g.ulVertSize = f.printableHeight / 10;
    g.ulHorzRes = f.printableWidthPx;
    g.ulVertRes = f.printableHeightPx;
    g.cBitsPixel = 24;
    g.cPlanes = 1;
    g.ulNumColors = 0xFFFFFF;
    g.ulLogPixelsX = landscape ? d.dpiY : d.dpiX;
    g.ulLogPixelsY = landscape ? d.dpiX : d.dpiY;
    g.xStyleStep = 1;
    g.yStyleStep = 1;
    g.denStyleStep = d.dpiX / 50;
    g.ptlPhysOffset.x = f.leftPx;
    g.ptlPhysOffset.y = f.topPx;
    g.szlPhysSize.cx = f.pageWidthPx;
    g.szlPhysSize.cy = f.pageHeightPx;
    g.ciDevice = d.htInfo.ColorInfo;
    g.ulDevicePelsDPI = d.htInfo.DevPelsDPI;
    g.ulPrimaryOrder = 0;
    g.ulHTPatternSize = d.htInfo.HTPatternSize;
    g.ulHTOutputFormat = HT_FORMAT_24BPP;
    g.flHTFlags = HT_FLAG_HAS_BLACK_DYE;
}

void CfgAdjustGdiInfo(const GDIINFO& built, ULONG* caps, ULONG capsSize)
{
    if (!caps || !capsSize)
        return;
    size_t n = std::min<size_t>({capsSize, 264, sizeof built});
    std::memset(caps, 0, capsSize);
    std::memcpy(caps, &built, n);
}

void MakeDevInfo(const PDev& pdev, DEVINFO& i)
{
    LONG dpi = velmo::ResolutionOf(*pdev.settings).x;
    LONG height = -((dpi * 10 + 71) / 72);
    i = DEVINFO{};
    i.lfDefaultFont = Font(TEXT("MS Shell Dlg"), height, SHIFTJIS_CHARSET, 0x11);
    i.lfAnsiVarFont = Font(TEXT("Helvetica"), height, ANSI_CHARSET, 0x22);
    i.lfAnsiFixFont = Font(TEXT("Courier"), height, ANSI_CHARSET, 0x31);
    i.iDitherFormat = BMF_24BPP;
    i.hpalDefault = pdev.palette;
}

void CfgAdjustDevInfo(const DEVINFO& built, DEVINFO* devInfo, ULONG devInfoSize)
{
    if (!devInfo || !devInfoSize)
        return;
    std::memset(devInfo, 0, devInfoSize);
    std::memcpy(devInfo, &built, std::min<size_t>(devInfoSize, sizeof built));
}

DHPDEV APIENTRY DrvEnablePDEV(DEVMODEW* devMode, LPWSTR, ULONG, HSURF*, ULONG capsSize, ULONG* caps,
                              ULONG devInfoSize, DEVINFO* devInfo, HDEV hdev, LPWSTR deviceName,
                              HANDLE printer)
{
    WCHAR name[MAX_PATH] = {};
    if (!velmo::RtcGetPrinterInfo(printer, deviceName, name, sizeof name, 14))
        return nullptr;
    auto* pdev = static_cast<PDev*>(EngAllocMem(FL_ZERO_MEMORY, kPDevSize, EngPoolTag("Dap0")));
    if (!pdev)
    {
        EngSetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    pdev->marker = kPDevMarker;
    pdev->size = kPDevSize;
    WORD end = kPDevMarker;
    std::memcpy(reinterpret_cast<BYTE*>(pdev) + kPDevSize - 2, &end, sizeof end);
    pdev->settings = &pdev->settingsRecord;
    pdev->printer = printer;
    pdev->hdev = hdev;

    std::span<BYTE> record(reinterpret_cast<BYTE*>(pdev->settings), sizeof(velmo::SelfDMode));
    if (!velmo::CfcConvertSelfDMode(record, velmo::DevModeBytes(devMode), name, printer,
                                    velmo::kConvertWhole | 0x2000, 1))
    {
        EngFreeMem(pdev);
        return nullptr;
    }
    _UdgSetPublicDevice(*pdev);
    SetPrivateDevice(*pdev);
    pdev->palette = EngCreatePalette(pdev->device.pixelOrder == 2 ? PAL_RGB : PAL_BGR, 0, nullptr, 0, 0, 0);
    if (!pdev->palette)
    {
        EngFreeMem(pdev);
        EngSetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    GDIINFO gdi;
    MakeGdiInfo(*pdev, gdi);
    CfgAdjustGdiInfo(gdi, caps, capsSize);
    DEVINFO info;
    MakeDevInfo(*pdev, info);
    CfgAdjustDevInfo(info, devInfo, devInfoSize);
    return reinterpret_cast<DHPDEV>(pdev);
}

VOID APIENTRY DrvCompletePDEV(DHPDEV dhpdev, HDEV hdev)
{
    if (PDev* pdev = CfgQueryMyDevice(dhpdev))
        pdev->hdev = hdev;
}

VOID APIENTRY DrvDisablePDEV(DHPDEV dhpdev)
{
    PDev* pdev = CfgQueryMyDevice(dhpdev);
    if (!pdev)
        return;
    FreeDeviceMemory(*pdev);
    if (pdev->palette)
        EngDeletePalette(pdev->palette);
    pdev->marker = 0; // a stale handle must not pass the check again
    EngFreeMem(pdev);
}

} // namespace velmoq7
