#include "settings.h"

#include "devmode_reader.h"
#include "text_fields.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace velmo
{

const DEVHTINFO g_DefDevHTInfo = {2,
                                  7,
                                  0,
                                  {{6810, 3050, 0},
                                   {2260, 6550, 0},
                                   {1810, 500, 0},
                                   {2000, 2450, 0},
                                   {5210, 2100, 0},
                                   {4750, 5100, 0},
                                   {3324, 3474, 10000},
                                   10000,
                                   10000,
                                   10000,
                                   1422,
                                   952,
                                   787,
                                   495,
                                   324,
                                   248}};

const COLORADJUSTMENT g_DefHTClrAdj = {24, 0, 0, 10000, 10000, 10000, 0, 10000, 0, 0, 0, 0};

std::span<const BYTE> DevModeBytes(const DEVMODEW* devMode)
{
    if (!devMode)
        return {};
    return std::span<const BYTE>(reinterpret_cast<const BYTE*>(devMode),
                                 size_t{devMode->dmSize} + devMode->dmDriverExtra);
}

DWORD CfcCheckMySelfDMode(std::span<const BYTE> devMode, const WCHAR* printerName)
{
    DevModeReader in(devMode);
    DWORD mask = 0;
    if (in.U16(64) != WORD{DM_SPECVERSION})
        mask |= kMaskSpecVersion;
    if (in.U16(66) != g_DriverVersion)
        mask |= kMaskDriverVersion;
    if (!in.U16(68) || in.DmSize() != kCmnDModeSize)
        mask |= kMaskSize;
    if (!in.U16(70) || in.DmDriverExtra() != kPrivateSize)
        mask |= kMaskDriverExtra;
    size_t end = size_t{in.DmSize()} + in.DmDriverExtra();
    if (in.DmDriverExtra() < 4 || in.U32(end - 4, devMode.size()) != kSelfSignature)
        mask |= kMaskSignature;
    WCHAR device[CCHDEVICENAME];
    WStringView a = NamePart(WStringView(device, in.Text(0, device, devMode.size())));
    WStringView b = NamePart(View(printerName));
    size_t n = std::min(a.size(), b.size());
    if (a.substr(0, n) != b.substr(0, n))
        mask |= kMaskDeviceName;
    return mask;
}

bool CfcQueryMySelfDMode(std::span<const BYTE> devMode, const WCHAR* printerName)
{
    return CfcCheckMySelfDMode(devMode, printerName) == 0;
}

void _UdcResetSelfDMode(SelfDMode& r, const WCHAR* printerName, const WCHAR* driverName)
{
    std::memset(&r, 0, sizeof r);
    // A printer whose driver is not in the model table prints as the A4 model at 600 dpi.
    r.modelResolutionType = kFallbackResolutionKey;
    r.modelPaperListType = kFallbackPaperListType;
    VelmoGetResoAndPaperType(r, driverName);
    KgGetPrinterCapability(r, driverName);

    const PaperRow* paper = nullptr;
    for (const PaperRow& row : PaperList(r.modelPaperListType))
        if (row.id == g_PaperResDefault)
            paper = &row;
    PaperSize size = paper ? PaperSize{paper->width, paper->height} : PaperSize{2100, 2970};
    PaperSize max = MaxPaperSize(r.modelPaperListType);

    r.paperSource = g_BinResDefault;
    r.zoom = 100;
    r.paperId = g_PaperResDefault;
    r.outputSize = g_PrintResDefault;
    r.documentType = g_DocTypeDefault;
    r.orientation = DMORIENT_PORTRAIT;
    r.paperFeed = 1;
    r.copies = 1;
    r.sets = 1;
    r.customWidth = size.width;
    r.customHeight = size.height;
    r.customSizeEnabled = 1;
    r.maxPaperWidth = max.width;
    r.maxPaperHeight = max.height;
    r.minPaperWidth = g_MinPaperSize.width;
    r.minPaperHeight = g_MinPaperSize.height;
    for (int i = 0; i < kUserPaperCount; ++i)
    {
        r.userPapers[i].id = kFirstUserPaperId + i;
        r.userPapers[i].width = size.width;
        r.userPapers[i].height = size.height;
    }
    r.resolutionIndex = VelmoGetDevResoIndex(r.modelResolutionType);
    r.resolutionType = VelmoGetDevResoType(r.modelResolutionType);
    r.ditherIndex = g_DitherDefault;
    r.halftoneOn = 1;
    r.documentTypeIndex = g_DocumentTypeDefault;
    r.separationInvert = 1;
    r.swingValue = g_SwingValueDefault;
    r.uiValue1 = 1;
    r.uiValue2 = 2;
    r.uiValue3 = 1;
    r.bandingStartNo = 20;
    r.bandingEndNo = 100;
    r.pixelOrder = 2;
    r.colorAdjustment = g_DefHTClrAdj;
    r.grayShift = 30;
    r.signature = kSelfSignature;
    r.printer.devHTInfo = g_DefDevHTInfo;
    r.printer.printerValues[41] = 1;
    _UdcUpdateCmnDModeArea(r, printerName);
}

void _UdcUpdateCmnDModeArea(SelfDMode& r, const WCHAR* printerName)
{
    DEVMODEW& dm = r.dm;
    std::memset(&dm, 0, sizeof dm);
    WStringView name = View(printerName);
    CopyName(dm.dmDeviceName, 32, name.substr(0, std::min(name.find(u','), name.size())));
    dm.dmSpecVersion = DM_SPECVERSION;
    dm.dmDriverVersion = g_DriverVersion;
    dm.dmSize = kCmnDModeSize;
    dm.dmDriverExtra = kPrivateSize;
    bool duplexModel = _UduSupportDuplex(r);
    dm.dmFields = 0x8B0F | (duplexModel ? DM_DUPLEX : 0);
    dm.dmOrientation = static_cast<short>(r.orientation);
    dm.dmPaperSize = static_cast<short>(r.paperId & 0xFFFF);
    int index = PaperIndexOfId(r, r.paperId);
    if (auto size = _UduGetPaperListSize(r, index))
    {
        dm.dmPaperLength = static_cast<short>(size->height);
        dm.dmPaperWidth = static_cast<short>(size->width);
    }
    dm.dmScale = 100;
    dm.dmCopies = static_cast<short>(r.copies);
    dm.dmDefaultSource = static_cast<short>(r.paperSource);
    dm.dmPrintQuality = static_cast<short>(ResolutionOf(r).x);
    dm.dmColor = DMCOLOR_COLOR;
    if (!duplexModel || !r.duplex || r.booklet)
        dm.dmDuplex = DMDUP_SIMPLEX;
    else
        dm.dmDuplex = ((r.binding == 0 && r.paperFeed == 1) || (r.binding == 1 && r.paperFeed == 2))
                          ? DMDUP_VERTICAL
                          : DMDUP_HORIZONTAL;
    dm.dmYResolution = static_cast<short>(ResolutionOf(r).y);
    dm.dmTTOption = DMTT_BITMAP;
    dm.dmCollate = 0;
    WCHAR form[40];
    _UduGetPaperListName(r, index, form, 32);
    CopyName(dm.dmFormName, 32, View(form));
}

void _UdcMergeSelfDMode(SelfDMode& r, std::span<const BYTE> input, const WCHAR* printerName, LONG forceCopies,
                        DWORD inputMask)
{
    DevModeReader in(input);
    DWORD fields = in.Fields();
    // Another driver's DEVMODE, or another layout of ours, says nothing at these private offsets.
    bool ownLayout = (inputMask & (kMaskDriverVersion | kMaskSize | kMaskDriverExtra)) == 0;
    auto priv = [&](size_t offset) { return ownLayout ? in.Private(offset) : std::nullopt; };

    if (auto v = priv(offsetof(SelfDMode, sets)))
        r.sets = InRange(*v, 1, g_MaxSetNum) ? *v : 1;
    if (fields & DM_DUPLEX)
        if (auto d = in.Short(offsetof(DEVMODEW, dmDuplex)))
        {
            if (*d == DMDUP_SIMPLEX)
            {
                bool keepBooklet = priv(offsetof(SelfDMode, duplex)).value_or(0) &&
                                   priv(offsetof(SelfDMode, booklet)).value_or(0);
                r.duplex = keepBooklet ? 1 : 0;
                r.booklet = keepBooklet ? 1 : 0;
            }
            else if (*d == DMDUP_VERTICAL || *d == DMDUP_HORIZONTAL)
            {
                r.duplex = 1;
                r.binding = *d == DMDUP_VERTICAL ? 0 : 1;
                r.booklet = 0;
            }
        }
    if (ownLayout && offsetof(SelfDMode, userPapers) + sizeof r.userPapers <= in.PrivateEnd())
    {
        std::span<const BYTE> src = in.Bytes().subspan(offsetof(SelfDMode, userPapers), sizeof r.userPapers);
        std::memcpy(r.userPapers, src.data(), src.size());
        for (UserPaper& p : r.userPapers)
            p.name[std::size(p.name) - 1] = 0;
        HoldPaperSizes(r);
    }
    if (auto v = priv(offsetof(SelfDMode, userPaperFlag)))
        r.userPaperFlag = InRange(*v, 0, 1) ? *v : 0;
    if (auto v = priv(offsetof(SelfDMode, outputSize)); v && _GetPrintListIndex(r, *v) >= 0)
        r.outputSize = *v;
    if (auto v = priv(offsetof(SelfDMode, paperOverride)))
        r.paperOverride = *v;
    if (auto v = priv(offsetof(SelfDMode, zoom)))
        r.zoom = InRange(*v, 50, 200) ? *v : 100;
    if (auto v = priv(offsetof(SelfDMode, paperFeed)); v && InRange(*v, 1, 2))
        r.paperFeed = *v;
    if (auto v = priv(offsetof(SelfDMode, documentTypeIndex)); v && InRange(*v, 0, 3))
    {
        static constexpr LONG type[4] = {0, 0, 0, 3};
        static constexpr LONG dither[4] = {2, 1, 0, 3};
        r.documentTypeIndex = *v;
        r.documentType = type[*v];
        r.ditherIndex = dither[*v];
    }
    if (auto v = priv(offsetof(SelfDMode, densityAdjust)))
        r.densityAdjust = InRange(*v, -64, 64) ? *v : 0;
    if (auto v = priv(offsetof(SelfDMode, contrastAdjust)))
        r.contrastAdjust = InRange(*v, -64, 64) ? *v : 0;
    if (auto v = priv(offsetof(SelfDMode, halftoneOn)))
        r.halftoneOn = *v;
    if (auto v = priv(offsetof(SelfDMode, grayShiftOn)))
        r.grayShiftOn = *v;
    if (auto v = priv(offsetof(SelfDMode, grayShift)))
        r.grayShift = InRange(*v, -64, 64) ? *v : 30;
    if (auto v = priv(offsetof(SelfDMode, colorSeparation)))
        r.colorSeparation = *v;
    if (auto v = priv(offsetof(SelfDMode, separationInvert)))
        r.separationInvert = *v;
    if (auto v = priv(offsetof(SelfDMode, separationColors)))
        r.separationColors = *v;
    if (auto v = priv(offsetof(SelfDMode, swingValue)))
    {
        DWORD low = static_cast<DWORD>(*v) & 0xFF;
        r.swingValue = low ? low : g_SwingValueDefault;
    }
    for (int i = 0; i < 5; ++i)
        if (auto v = priv(offsetof(SelfDMode, finishing) + 4 * i))
        {
            bool allowed = i < 3 || (i == 3 && (r.capabilityFlags & kCapOptionB1)) ||
                           (i == 4 && (r.capabilityFlags & kCapOptionB2));
            r.finishing[i] = allowed ? *v : 0;
        }
    if (fields & DM_ORIENTATION)
        if (auto v = in.Short(offsetof(DEVMODEW, dmOrientation)); v && InRange(*v, 1, 2))
            r.orientation = *v;
    if (fields & DM_PAPERSIZE)
        if (auto id = in.Short(offsetof(DEVMODEW, dmPaperSize)))
        {
            if (_UduGetPaperListIndex(r, *id) >= 0)
                r.paperId = *id;
            if (*id == kCustomPaperId)
            {
                if (auto w = in.Short(offsetof(DEVMODEW, dmPaperWidth)))
                    r.customWidth =
                        std::clamp<LONG>(*w, r.minPaperWidth, std::max(r.minPaperWidth, r.maxPaperWidth));
                if (auto h = in.Short(offsetof(DEVMODEW, dmPaperLength)))
                    r.customHeight =
                        std::clamp<LONG>(*h, r.minPaperHeight, std::max(r.minPaperHeight, r.maxPaperHeight));
            }
        }
    if ((fields & DM_COPIES) || forceCopies == 1)
        if (auto v = in.Short(offsetof(DEVMODEW, dmCopies)); v && InRange(*v, 1, g_MaxCopies))
            r.copies = *v;
    if (fields & DM_COLLATE)
        if (auto v = in.Short(offsetof(DEVMODEW, dmCollate)))
            r.collate = *v;
    if (fields & DM_DEFAULTSOURCE)
        if (auto v = in.Short(offsetof(DEVMODEW, dmDefaultSource)); v && _UduGetBinListIndex(*v) >= 0)
            r.paperSource = *v;
    if (fields & (DM_PRINTQUALITY | DM_YRESOLUTION))
    {
        auto x = in.Short(offsetof(DEVMODEW, dmPrintQuality));
        auto y = in.Short(offsetof(DEVMODEW, dmYResolution));
        // Each model prints at one resolution: a request can only name that one.
        for (int i = 0; i < _UduGetDevResoListCount(r); ++i)
            if (x && y && *x == _UduGetDevResoListHorz(r, i) && *y == _UduGetDevResoListVert(r, i))
                r.resolutionIndex = VelmoGetDevResoIndex(ResolutionOf(r).key);
    }
    if (auto v = priv(offsetof(SelfDMode, uiValue5)); v && InRange(*v, 2, 3))
        r.uiValue5 = *v;
    if (auto v = priv(offsetof(SelfDMode, uiValue6)); v && InRange(*v, 1, 2))
        r.uiValue6 = *v;
    if (ownLayout && offsetof(SelfDMode, colorAdjustment) + sizeof(COLORADJUSTMENT) <= in.PrivateEnd() &&
        in.U16(offsetof(SelfDMode, colorAdjustment)) == WORD{sizeof(COLORADJUSTMENT)})
        std::memcpy(&r.colorAdjustment, input.data() + offsetof(SelfDMode, colorAdjustment),
                    sizeof(COLORADJUSTMENT));
    if (auto v = priv(offsetof(SelfDMode, rotate)); v && InRange(*v, 0, 1))
        r.rotate = *v;
    if (auto v = priv(offsetof(SelfDMode, uiValue4)); v && r.uiValue5 == 0 && InRange(*v, 0, 1))
        r.uiValue4 = *v;
    if (auto v = priv(offsetof(SelfDMode, uiValue7)); v && InRange(*v, 0, 5))
        r.uiValue7 = *v;
    _UdcUpdateCmnDModeArea(r, printerName);
}

void HoldPaperSizes(SelfDMode& r)
{
    const PaperSize model = MaxPaperSize(r.modelPaperListType);
    if (!InRange(r.maxPaperWidth, g_MinPaperSize.width, kLargestPaperSide) ||
        !InRange(r.maxPaperHeight, g_MinPaperSize.height, kLargestPaperSide))
    {
        r.maxPaperWidth = model.width;
        r.maxPaperHeight = model.height;
    }
    if (!InRange(r.minPaperWidth, 1, r.maxPaperWidth) || !InRange(r.minPaperHeight, 1, r.maxPaperHeight))
    {
        r.minPaperWidth = g_MinPaperSize.width;
        r.minPaperHeight = g_MinPaperSize.height;
    }
    auto hold = [&](LONG& width, LONG& height) {
        width = std::clamp(width, r.minPaperWidth, r.maxPaperWidth);
        height = std::clamp(height, r.minPaperHeight, r.maxPaperHeight);
    };
    hold(r.customWidth, r.customHeight);
    for (UserPaper& paper : r.userPapers)
        hold(paper.width, paper.height);
}

void _UdcNormalizeSelfDMode(SelfDMode&) {}

DWORD _UdcGetDriverVersion()
{
    return g_DriverVersion;
}

DWORD _UdcQueryDriverInfo(DWORD code)
{
    return code == 2 ? 1 : 0xFFFFFFFF;
}

} // namespace velmo
