#include "ui_settings.h"

#include "devmode_reader.h"
#include "text_fields.h"
#include "print_proc_caps.h"
#include "ui_strings.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace velmoui
{

using velmo::CopyName;
using velmo::DevModeReader;
using velmo::InRange;
using velmo::kSelfSignature;
using velmo::kUserPaperCount;
using velmo::NamePart;
using velmo::View;

namespace
{
constexpr size_t kFolderChars = std::size(SettingsRecord{}.printToFileFolder);

LONG& Field(SettingsRecord& r, size_t offset)
{
    return *reinterpret_cast<LONG*>(reinterpret_cast<BYTE*>(&r) + offset);
}

LONG UserZoom(LONG zoom)
{
    if (zoom == 0)
        return 10000;
    return std::clamp<LONG>(zoom, 5000, 20000);
}

bool ValidColorAdjustment(const COLORADJUSTMENT& ca)
{
    auto in = [](long v, long lo, long hi) { return v >= lo && v <= hi; };
    return ca.caSize == sizeof(COLORADJUSTMENT) && ca.caFlags <= 3 && ca.caIlluminantIndex <= 8 &&
           in(ca.caRedGamma, 2500, 65000) && in(ca.caGreenGamma, 2500, 65000) &&
           in(ca.caBlueGamma, 2500, 65000) && in(ca.caReferenceBlack, 0, 4000) &&
           in(ca.caReferenceWhite, 6000, 10000) && in(ca.caContrast, -100, 100) &&
           in(ca.caBrightness, -100, 100) && in(ca.caColorfulness, -100, 100) &&
           in(ca.caRedGreenTint, -100, 100);
}

// Papers an application may hand in: a terminated name, the id of its place, a size within the
// extents; a size of 0 or less leaves the entry empty.
void LimitUserPapers(SettingsRecord& r)
{
    for (int i = 0; i < kUserPaperCount; ++i)
    {
        velmo::UserPaper& p = r.userPapers[i];
        WString name = WString(p.name, std::find(p.name, p.name + std::size(p.name) - 1, WCHAR{0}));
        p.id = kFirstUserPaperId + i;
        if (name.empty() || p.width <= 0 || p.height <= 0)
        {
            name.clear();
            p.width = 2100;
            p.height = 2970;
        }
        CopyName(p.name, std::size(p.name), name);
        p.width = std::clamp(p.width, r.minPaperWidth, std::max(r.minPaperWidth, r.maxPaperWidth));
        p.height = std::clamp(p.height, r.minPaperHeight, std::max(r.minPaperHeight, r.maxPaperHeight));
    }
}

// A folder is taken only when it ends within its 260 characters.
void LimitFolder(SettingsRecord& r)
{
    WCHAR* f = r.printToFileFolder;
    WCHAR* end = std::find(f, f + kFolderChars, WCHAR{0});
    if (end == f + kFolderChars)
        end = f;
    std::fill(end, f + kFolderChars, WCHAR{0});
}

struct Range
{
    size_t offset;
    LONG lo;
    LONG hi;
    LONG fallback;
};

#define RANGE(field, lo, hi, fallback)                                                                       \
    Range                                                                                                    \
    {                                                                                                        \
        offsetof(SettingsRecord, field), lo, hi, fallback                                                    \
    }
const Range kRanges[] = {
    RANGE(zoomMode, 0, 1, 0),
    RANGE(rotate, 0, 1, 0),
    RANGE(documentType, 0, 3, 0),
    RANGE(orientation, 1, 2, 1),
    RANGE(paperFeed, 1, 2, 1),
    RANGE(copies, 1, kMaxCopies, 1),
    RANGE(nupPagesPerSide, 0, 32, 0),
    RANGE(ppSwitch1, 0, 1, 0),
    RANGE(ppSwitch2, 0, 1, 0),
    RANGE(ppSwitch3, 0, 1, 0),
    RANGE(collate, 0, 1, 0),
    RANGE(sets, 1, kMaxSets, 1),
    RANGE(rotate180, 0, 1, 0),
    RANGE(userPaperFlag, 0, 1, 0),
    RANGE(ditherIndex, 0, 3, 1),
    RANGE(densityAdjust, -64, 64, 0),
    RANGE(contrastAdjust, -64, 64, 0),
    RANGE(halftoneOn, 0, 1, 1),
    RANGE(documentTypeIndex, 0, 3, 1),
    RANGE(colorSeparation, 0, 1, 0),
    RANGE(separationInvert, 0, 1, 1),
    RANGE(separationColors, 0, 0x7F, 0),
    RANGE(swingValue, 1, 255, 30),
    RANGE(duplex, 0, 1, 0),
    RANGE(binding, 0, 1, 0),
    RANGE(sameMasterBothSides, 0, 1, 0),
    RANGE(pagesPerSheet, 1, 32, 2),
    RANGE(finishing[3], 0, 2, 0),
    RANGE(finishing[4], 0, 2, 0),
    RANGE(printToFile, 0, 1, 0),
    RANGE(uiValue4, 0, 1, 0),
    RANGE(uiValue6, 0, 2, 0),
    RANGE(uiValue7, 0, 5, 0),
    RANGE(grayShiftOn, 0, 1, 0),
    RANGE(grayShift, -64, 64, 30),
    RANGE(bookletOpening, 0, 1, 0),
    RANGE(zoom, 5000, 20000, 10000),
    RANGE(effectiveZoom, 1, 100000, 10000),
    RANGE(nupBorderOff, 0, 1, 0),
    RANGE(ditherType, 0, 1, 1),
    RANGE(edgeEmphasis, 0, 1, 0),
    RANGE(rotateReference, 0, 1, 1),
    RANGE(duplexMaxCopies, 1, kMaxCopies, kDuplexMaxCopiesDefault),
    RANGE(modelPaperListType, 2, 21, kUnknownPaperListType),
    RANGE(modelResolutionType, 1, 7, kUnknownResolutionKey),
    RANGE(resolutionIndex, 0, 6, 2),
    RANGE(resolutionType, 0, 3, 0),
};
#undef RANGE

// Fields that only the model table, the settings file and the record's own layout decide.
constexpr std::pair<size_t, size_t> kModelFields[] = {
    {offsetof(SettingsRecord, reserved228), 4},
    {offsetof(SettingsRecord, customSizeEnabled), 20}, // with the extents
    {offsetof(SettingsRecord, binListEnable), 16},     // with the resolution fields
    {offsetof(SettingsRecord, ProcessingMethodForDensity), 4},
    {offsetof(SettingsRecord, OrderedDitherMethod), 12}, // with the colour-separation method
    {offsetof(SettingsRecord, capabilityFlags), 4},
    {offsetof(SettingsRecord, reserved2256), 12},
    {offsetof(SettingsRecord, modelResolutionType), 24}, // with the banding fields
    {offsetof(SettingsRecord, reserved2868), 8},
    {offsetof(SettingsRecord, reserved2884), 4},
    {offsetof(SettingsRecord, printableMaxWidth), 8},
    {offsetof(SettingsRecord, duplexMaxCopies), 4},
};

bool IsLayoutMode(LONG v)
{
    return v == 1 || v == 2 || v == 4 || v == 8 || v == 16;
}

bool IsNupOrder(LONG v)
{
    return v == 1 || v == 2 || v == 4 || v == 8;
}

bool IsOfferedBin(const SettingsRecord& r, LONG id)
{
    auto bins = OfferedBins(r);
    return std::any_of(bins.begin(), bins.end(), [&](const BinRow& b) { return b.value == id; });
}

// The ranges every record keeps, whatever its source.
void ApplyRanges(SettingsRecord& r)
{
    for (const Range& range : kRanges)
    {
        LONG& v = Field(r, range.offset);
        if (!InRange(v, range.lo, range.hi))
            v = range.fallback;
    }
    r.customWidth = std::clamp(r.customWidth, r.minPaperWidth, std::max(r.minPaperWidth, r.maxPaperWidth));
    r.customHeight =
        std::clamp(r.customHeight, r.minPaperHeight, std::max(r.minPaperHeight, r.maxPaperHeight));
    LimitUserPapers(r);
    LimitFolder(r);
    if (!IsOfferedBin(r, r.paperSource))
        r.paperSource = velmo::g_BinResDefault;
    if (!IsOfferedPaper(r, r.paperId))
        r.paperId = kPaperA4;
    if (!IsOutputSize(r, r.outputSize))
        r.outputSize = kOutputWithinMaximum;
    if (!IsLayoutMode(r.layoutMode))
        r.layoutMode = 1;
    if (!IsNupOrder(r.nupOrder))
        r.nupOrder = 1;
    if (r.uiValue5 != 0 && r.uiValue5 != 2 && r.uiValue5 != 3)
        r.uiValue5 = 0;
    if (!(r.capabilityFlags & kCapOptionB1))
        r.finishing[3] = 0;
    if (!(r.capabilityFlags & kCapOptionB2))
        r.finishing[4] = 0;
    if (!(r.capabilityFlags & kCapMemoryStorage))
        r.memoryStorage = r.userNumber = 0;
    if (r.memoryStorage > 4)
        r.memoryStorage = 0;
    r.userNumber = std::min<WORD>(r.userNumber, 100);
    if (!ValidColorAdjustment(r.colorAdjustment))
        r.colorAdjustment = velmo::g_DefHTClrAdj;
    LONG& warning = r.printer.printerValues[velmo::kBlockCountWarning];
    LONG& threshold = r.printer.printerValues[velmo::kBlockCountThreshold];
    if (!InRange(warning, 0, 1))
        warning = 0;
    if (!InRange(threshold, 1, kMaxCopies * kMaxSets))
        threshold = 2;
    r.signature = kSelfSignature;
}

WString SettingsFilePath(PrinterPort& printer)
{
    WString dir = printer.DriverDirectory();
    if (dir.empty())
        return {};
    if (dir.back() != u'\\')
        dir += TEXT("\\");
    return dir + TEXT("3\\") + kSettingsFileName;
}

LONG ProfileInt(const WString& file, const WCHAR* section, const WCHAR* key, INT fallback)
{
    if (file.empty() || !section)
        return fallback;
    return static_cast<LONG>(GetPrivateProfileIntW(section, key, fallback, file.c_str()));
}
} // namespace

DWORD _UdcGetDriverVersion()
{
    return velmo::kRecordDriverVersion;
}

void _UdcResetSelfDMode(SettingsRecord& r, PrinterPort& printer, const WCHAR* printerName)
{
    std::memset(&r, 0, sizeof r);
    auto info = printer.Printer();
    WString driver = info ? info->driverName : WString();

    r.modelResolutionType = kUnknownResolutionKey;
    r.modelPaperListType = kUnknownPaperListType;
    if (int row = FindModelNoCase(driver.c_str()); row >= 0)
        r.capabilityFlags = Models()[row].capabilityFlags;
    if (int row = FindModelExact(driver.c_str()); row >= 0)
    {
        r.modelResolutionType = Models()[row].resolutionKey;
        r.modelPaperListType = Models()[row].paperListType;
    }
    const LONG type = r.modelPaperListType;
    const PaperSize min = MinPaperSize(type), max = MaxPaperSize(type), printable = PrintableMaxSize(type);

    r.paperSource = velmo::g_BinResDefault;
    r.reserved228 = 100;
    r.paperId = kPaperA4;
    r.outputSize = kOutputWithinMaximum;
    r.orientation = DMORIENT_PORTRAIT;
    r.paperFeed = 1;
    r.copies = 1;
    r.sets = 1;
    r.customWidth = 2100;
    r.customHeight = 2970;
    r.customSizeEnabled = 1;
    r.maxPaperWidth = max.width;
    r.maxPaperHeight = max.height;
    r.minPaperWidth = min.width;
    r.minPaperHeight = min.height;
    for (int i = 0; i < kUserPaperCount; ++i)
        r.userPapers[i] = {{}, kFirstUserPaperId + i, 2100, 2970};
    r.resolutionIndex = velmo::VelmoGetDevResoIndex(r.modelResolutionType);
    r.resolutionType = velmo::VelmoGetDevResoType(r.modelResolutionType);
    r.ditherIndex = 1;
    r.halftoneOn = 1;
    r.documentTypeIndex = 1;
    r.separationInvert = 1;
    r.swingValue = 30;
    r.layoutMode = 1;
    r.pagesPerSheet = 2;
    r.nupOrder = 1;
    r.bandingStartNo = 1;
    r.bandingEndNo = 128;
    r.pixelOrder = 2;
    r.grayShift = 30;
    r.zoom = 10000;
    r.effectiveZoom = 10000;
    r.printableMaxWidth = printable.width;
    r.printableMaxHeight = printable.height;
    r.ditherType = 1;
    r.rotateReference = 1;

    const WString file = SettingsFilePath(printer);
    const WCHAR* setup = TEXT("OperationSetup");
    const WCHAR* model = driver.empty() ? nullptr : driver.c_str();
    r.ProcessingMethodForDensity = ProfileInt(file, setup, TEXT("ProcessingMethodForDensity"), 0);
    r.ProcessingMethodForColorSeparation =
        ProfileInt(file, setup, TEXT("ProcessingMethodForColorSeparation"), 0);
    r.binListEnable = ProfileInt(file, model, TEXT("BinListEnable"), 0);
    r.OrderedDitherMethod = ProfileInt(file, model, TEXT("OrderedDitherMethod"), 0);
    r.ErrorDiffusionMethod = ProfileInt(file, model, TEXT("ErrorDiffusionMethod"), 0);
    r.duplexMaxCopies = ProfileInt(file, model, TEXT("DuplexMaxCopies"), kDuplexMaxCopiesDefault);
    if (!InRange(r.duplexMaxCopies, 1, kMaxCopies))
        r.duplexMaxCopies = kDuplexMaxCopiesDefault;

    r.colorAdjustment = velmo::g_DefHTClrAdj;
    r.printer.devHTInfo = velmo::g_DefDevHTInfo;
    r.printer.printerValues[velmo::kBlockCountWarning] = 0;
    r.printer.printerValues[velmo::kBlockCountThreshold] = 2;
    _UdcUpdateCmnDModeArea(r, printerName);
    PrinterValue toFile;
    if (printer.GetData(kDefaultPrintToFileValue, toFile) == ERROR_SUCCESS && !toFile.data.empty())
        r.printToFile = toFile.data[0] == 1 ? 1 : 0;
    std::fill(std::begin(r.printToFileFolder), std::end(r.printToFileFolder), WCHAR{0});
    r.signature = kSelfSignature;
}

void _UdcUpdateCmnDModeArea(SettingsRecord& r, const WCHAR* printerName)
{
    DEVMODEW& dm = r.dm;
    std::memset(&dm, 0, sizeof dm);
    WStringView name = View(printerName);
    CopyName(dm.dmDeviceName, 32, name.substr(0, std::min(name.find(u','), name.size())));
    dm.dmSpecVersion = DM_SPECVERSION;
    dm.dmDriverVersion = velmo::kRecordDriverVersion;
    dm.dmSize = velmo::kCmnDModeSize;
    dm.dmDriverExtra = velmo::kRecordPrivateSize;
    const bool duplexModel = (r.capabilityFlags & kCapDuplex) != 0;
    dm.dmFields = duplexModel ? 0x9B4F : 0x8B4F;
    dm.dmOrientation = static_cast<short>(r.orientation);
    dm.dmPaperSize = static_cast<short>(r.paperId);
    if (auto size = PaperSizeOf(r, r.paperId))
    {
        dm.dmPaperWidth = static_cast<short>(size->width);
        dm.dmPaperLength = static_cast<short>(size->height);
    }
    dm.dmScale = 100;
    dm.dmCopies = static_cast<short>(r.copies);
    dm.dmDefaultSource = static_cast<short>(r.paperSource);
    dm.dmPrintQuality = static_cast<short>(ResolutionOf(r).x);
    dm.dmYResolution = static_cast<short>(ResolutionOf(r).y);
    dm.dmColor = DMCOLOR_COLOR;
    if (!duplexModel || !r.duplex)
        dm.dmDuplex = DMDUP_SIMPLEX;
    else if (r.layoutMode == 8)
        dm.dmDuplex = DMDUP_HORIZONTAL;
    else if (r.sameMasterBothSides)
        dm.dmDuplex = DMDUP_SIMPLEX;
    else
        dm.dmDuplex = r.binding == 1 ? DMDUP_HORIZONTAL : DMDUP_VERTICAL;
    dm.dmTTOption = DMTT_BITMAP;
    dm.dmCollate = 0;
    dm.dmNup = 1;
    WString form;
    if (r.paperId >= kFirstUserPaperId && r.paperId < kFirstUserPaperId + kUserPaperCount)
        form = WString(View(r.userPapers[r.paperId - kFirstUserPaperId].name).substr(0, 39));
    else if (UINT id = PaperNameId(r.paperId))
        form = UiString(id);
    CopyName(dm.dmFormName, 32, form);
}

DWORD CfcCheckMySelfDMode(std::span<const BYTE> devMode, const WCHAR* printerName, int osCode)
{
    DevModeReader in(devMode);
    DWORD mask = 0;
    if (in.U16(64) != WORD{DM_SPECVERSION})
        mask |= velmo::kMaskSpecVersion;
    if (in.U16(66) != velmo::kRecordDriverVersion)
        mask |= velmo::kMaskDriverVersion;
    if (!in.U16(68) || in.DmSize() != velmo::kCmnDModeSize)
        mask |= velmo::kMaskSize;
    if (!in.U16(70) || in.DmDriverExtra() != velmo::kRecordPrivateSize)
        mask |= velmo::kMaskDriverExtra;
    size_t end = size_t{in.DmSize()} + in.DmDriverExtra();
    if (in.DmDriverExtra() < 4 || in.U32(end - 4, devMode.size()) != kSelfSignature)
        mask |= velmo::kMaskSignature;
    if (osCode < kOsVista)
    {
        WString device = in.Text(0, CCHDEVICENAME);
        WStringView a = NamePart(device), b = NamePart(View(printerName));
        size_t n = std::min(a.size(), b.size());
        if (a.substr(0, n) != b.substr(0, n))
            mask |= velmo::kMaskDeviceName;
    }
    return mask;
}

void _UdcMergeSelfDMode(SettingsRecord& r, std::span<const BYTE> input, PrinterPort& printer,
                        const WCHAR* printerName)
{
    DevModeReader in(input);
    const DWORD fields = in.Fields();
    auto priv = [&](size_t offset) { return in.Private(offset); };
    auto take01 = [&](LONG& field) {
        if (auto v = priv(reinterpret_cast<BYTE*>(&field) - reinterpret_cast<BYTE*>(&r));
            v && InRange(*v, 0, 1))
            field = *v;
    };
#define AT(field) offsetof(SettingsRecord, field)

    if (auto v = priv(AT(sets)))
        r.sets = InRange(*v, 1, kMaxSets) ? *v : 1;
    if (fields & DM_DUPLEX)
        if (auto d = in.Short(offsetof(DEVMODEW, dmDuplex)))
        {
            if (*d == DMDUP_SIMPLEX)
            {
                bool keep = priv(AT(duplex)).value_or(0) && priv(AT(sameMasterBothSides)).value_or(0);
                r.duplex = keep ? 1 : 0;
                if (keep)
                    r.sameMasterBothSides = 1;
            }
            else if (*d == DMDUP_VERTICAL || *d == DMDUP_HORIZONTAL)
            {
                r.duplex = 1;
                r.binding = *d == DMDUP_VERTICAL ? 0 : 1;
                r.sameMasterBothSides = 0;
            }
        }

    if (auto papers = in.PrivateBytes(AT(userPapers), sizeof r.userPapers))
    {
        std::memcpy(r.userPapers, papers->data(), papers->size());
        LimitUserPapers(r);
    }
    if (auto v = priv(AT(userPaperFlag)))
        r.userPaperFlag = InRange(*v, 0, 1) ? *v : 0;
    if (auto v = priv(AT(outputSize)); v && IsOutputSize(r, *v))
        r.outputSize = *v;
    take01(r.zoomMode);
    if (auto v = priv(AT(zoom)))
        r.zoom = UserZoom(*v);
    if (auto v = priv(AT(paperFeed)); v && InRange(*v, 1, 2))
        r.paperFeed = *v;
    take01(r.rotate180);
    take01(r.rotateReference);
    if (auto v = priv(AT(documentTypeIndex)))
    {
        static constexpr LONG kDither[4] = {2, 1, 0, 3};
        r.documentTypeIndex = InRange(*v, 0, 3) ? *v : 1;
        r.ditherIndex = kDither[r.documentTypeIndex];
        r.documentType = r.documentTypeIndex == 3 ? 3 : 0;
    }
    if (auto v = priv(AT(ditherType)))
        r.ditherType = InRange(*v, 0, 1) ? *v : 1;
    if (auto v = priv(AT(densityAdjust)))
        r.densityAdjust = InRange(*v, -64, 64) ? *v : 0;
    if (auto v = priv(AT(contrastAdjust)))
        r.contrastAdjust = InRange(*v, -64, 64) ? *v : 0;
    take01(r.halftoneOn);
    take01(r.grayShiftOn);
    if (auto v = priv(AT(grayShift)))
        r.grayShift = InRange(*v, -64, 64) ? *v : 30;
    take01(r.edgeEmphasis);
    take01(r.colorSeparation);
    take01(r.separationInvert);
    if (auto v = priv(AT(separationColors)); v && InRange(*v, 0, 0x7F))
        r.separationColors = *v;
    if (auto v = priv(AT(swingValue)))
        r.swingValue = InRange(*v, 1, 255) ? *v : 30;
    for (int i = 0; i < 3; ++i)
        if (auto v = priv(AT(finishing) + 4 * i))
            r.finishing[i] = *v;
    if (auto v = priv(AT(finishing[3])))
        r.finishing[3] = (r.capabilityFlags & kCapOptionB1) && InRange(*v, 0, 2) ? *v : 0;
    if (auto v = priv(AT(finishing[4])))
        r.finishing[4] = (r.capabilityFlags & kCapOptionB2) && InRange(*v, 0, 2) ? *v : 0;
    const bool memory = (r.capabilityFlags & kCapMemoryStorage) != 0;
    if (auto v = in.PrivateU16(AT(memoryStorage)))
        r.memoryStorage = memory && *v <= 4 ? static_cast<WORD>(*v) : 0;
    if (auto v = in.PrivateU16(AT(userNumber)))
        r.userNumber = memory ? static_cast<WORD>(std::min<LONG>(*v, 100)) : 0;

    if (fields & DM_ORIENTATION)
        if (auto v = in.Short(offsetof(DEVMODEW, dmOrientation)); v && InRange(*v, 1, 2))
            r.orientation = *v;
    if (fields & DM_PAPERSIZE)
        if (auto id = in.Short(offsetof(DEVMODEW, dmPaperSize)))
        {
            if (IsOfferedPaper(r, *id))
                r.paperId = *id;
            if (*id == kCustomPaperId)
            {
                if (auto w = in.Short(offsetof(DEVMODEW, dmPaperWidth)))
                    r.customWidth =
                        std::clamp(*w, r.minPaperWidth, std::max(r.minPaperWidth, r.maxPaperWidth));
                if (auto h = in.Short(offsetof(DEVMODEW, dmPaperLength)))
                    r.customHeight =
                        std::clamp(*h, r.minPaperHeight, std::max(r.minPaperHeight, r.maxPaperHeight));
            }
        }
    if (fields & DM_COPIES)
        if (auto v = in.Short(offsetof(DEVMODEW, dmCopies)); v && InRange(*v, 1, CopyLimit(r)))
            r.copies = *v;
    if (fields & DM_COLLATE)
        if (auto v = in.Short(offsetof(DEVMODEW, dmCollate)); v && InRange(*v, 0, 1))
            r.collate = *v;
    if (fields & DM_DEFAULTSOURCE)
        if (auto v = in.Short(offsetof(DEVMODEW, dmDefaultSource)); v && IsOfferedBin(r, *v))
            r.paperSource = *v;

    // The layout the print processor can carry out.
    if (auto caps = ReadPrintProcCaps(printer, false))
    {
        const DWORD flags = caps->pageOrderFlags;
        if (auto pages = priv(AT(nupPagesPerSide)); pages && caps->Lists(*pages))
        {
            size_t switches[4] = {AT(ppSwitch1), AT(ppSwitch2), AT(ppSwitch3), AT(collate)};
            bool all = true;
            for (size_t offset : switches)
            {
                auto v = priv(offset);
                if (v && InRange(*v, 0, 1))
                    Field(r, offset) = *v;
                else
                    all = false;
            }
            if (all)
                r.nupPagesPerSide = *pages;
        }
        if (auto v = priv(AT(pagesPerSheet)))
            r.pagesPerSheet = caps->Lists(*v) ? *v : 2;
        if (auto v = priv(AT(layoutMode)))
            r.layoutMode = *v;
        const bool listed = caps->Lists(r.pagesPerSheet);
        bool ok = r.layoutMode == 1 || (r.layoutMode == 2 && (flags & 0x10000000) && listed) ||
                  (r.layoutMode == 4 && (flags & 0x200000) && listed) ||
                  (r.layoutMode == 8 && (flags & 0x2)) || (r.layoutMode == 16 && (flags & 0x80000000));
        if (!ok)
            r.layoutMode = 1;
        if (auto v = priv(AT(nupOrder)))
            r.nupOrder = (flags & 0x20000000) && IsNupOrder(*v) ? *v : 1;
        if (auto v = priv(AT(bookletOpening)))
            r.bookletOpening = (flags & 0x40000000) && InRange(*v, 0, 1) ? *v : 0;
        if (auto v = priv(AT(nupBorderOff)))
            r.nupBorderOff = (flags & 0x08000000) && InRange(*v, 0, 1) ? *v : 0;
        r.rotate = r.rotate180 != 0;
        const bool crossed = (r.orientation == DMORIENT_PORTRAIT && r.paperFeed == 2) ||
                             (r.orientation == DMORIENT_LANDSCAPE && r.paperFeed == 1);
        const bool pagesTurn = r.pagesPerSheet == 2 || r.pagesPerSheet == 6 || r.pagesPerSheet == 8;
        if (crossed && (r.layoutMode == 8 || ((r.layoutMode == 2 || r.layoutMode == 4) && pagesTurn)))
            r.rotate = !r.rotate;
    }
    else
    {
        r.layoutMode = 1;
        r.pagesPerSheet = 2;
        r.nupBorderOff = 0;
        r.nupOrder = 1;
        r.rotate = r.rotate180 != 0;
    }

    if (auto v = priv(AT(uiValue5)); v && (*v == 2 || *v == 3))
        r.uiValue5 = *v;
    if (auto v = priv(AT(uiValue6)); v && InRange(*v, 1, 2))
        r.uiValue6 = *v;
    if (auto ca = in.PrivateBytes(AT(colorAdjustment), sizeof(COLORADJUSTMENT)))
    {
        COLORADJUSTMENT value;
        std::memcpy(&value, ca->data(), sizeof value);
        if (ValidColorAdjustment(value))
            r.colorAdjustment = value;
    }
    if (auto v = priv(AT(uiValue4)); v && r.uiValue5 == 0 && InRange(*v, 0, 1))
        r.uiValue4 = *v;
    if (auto v = priv(AT(uiValue7)); v && InRange(*v, 0, 5))
        r.uiValue7 = *v;
    if (auto folder = in.PrivateBytes(AT(printToFileFolder), sizeof r.printToFileFolder))
    {
        WCHAR copy[kFolderChars];
        std::memcpy(copy, folder->data(), sizeof copy);
        if (std::find(std::begin(copy), std::end(copy), WCHAR{0}) != std::end(copy))
        {
            std::memcpy(r.printToFileFolder, copy, sizeof copy);
            LimitFolder(r);
        }
    }
    take01(r.printToFile);
#undef AT
    _UdcUpdateCmnDModeArea(r, printerName);
}

void LimitSettingsRecord(SettingsRecord& r, const SettingsRecord& defaults)
{
    for (auto [offset, size] : kModelFields)
        std::memcpy(reinterpret_cast<BYTE*>(&r) + offset, reinterpret_cast<const BYTE*>(&defaults) + offset,
                    size);
    ApplyRanges(r);
}

bool SettingsInRange(const SettingsRecord& r)
{
    auto copy = std::make_unique<SettingsRecord>(r);
    ApplyRanges(*copy);
    const DEVMODEW& dm = r.dm;
    return std::memcmp(copy.get(), &r, sizeof r) == 0 && dm.dmSpecVersion == DM_SPECVERSION &&
           dm.dmDriverVersion == velmo::kRecordDriverVersion && dm.dmSize == velmo::kCmnDModeSize &&
           dm.dmDriverExtra == velmo::kRecordPrivateSize && dm.dmPrintQuality > 0 && dm.dmYResolution > 0;
}

void RtcReadRegSelfDMode(SettingsRecord& r, PrinterPort& printer, const WCHAR* printerName)
{
    auto defaults = std::make_unique<SettingsRecord>();
    _UdcResetSelfDMode(*defaults, printer, printerName);
    auto info = printer.Printer();
    if (info && CfcCheckMySelfDMode(info->defaultDevMode, printerName, printer.OsCode()) == 0)
    {
        PrinterValue block;
        if (printer.GetData(kPrivateDevModeValue, block) == ERROR_SUCCESS &&
            block.data.size() == sizeof(velmo::PrinterDModeBlock))
        {
            std::memset(&r, 0, sizeof r);
            std::memcpy(&r, info->defaultDevMode.data(),
                        std::min(info->defaultDevMode.size(), velmo::kRecordDevModeSize));
            std::memcpy(&r.printer, block.data.data(), block.data.size());
            LimitSettingsRecord(r, *defaults);
            _UdcUpdateCmnDModeArea(r, printerName);
            return;
        }
    }
    r = *defaults;
}

DWORD RtcWriteRegSelfDMode(const SettingsRecord& r, PrinterPort& printer)
{
    auto bytes = std::span<const BYTE>(reinterpret_cast<const BYTE*>(&r.printer), sizeof r.printer);
    return printer.SetData(kPrivateDevModeValue, REG_BINARY, bytes);
}

DWORD CfcConvertSelfDMode(std::span<BYTE> output, std::span<const BYTE> input, PrinterPort& printer,
                          const WCHAR* printerName, DWORD flags, DWORD)
{
    if (flags == 0)
        return velmo::kSettingsRecordSize;
    size_t need = (flags & kConvertWhole)  ? velmo::kSettingsRecordSize
                  : (flags & kConvertCopy) ? velmo::kRecordDevModeSize
                                           : 0;
    if (!output.empty() && output.size() < need)
    {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::unique_ptr<SettingsRecord> work(new (std::nothrow) SettingsRecord);
    if (!work)
    {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    RtcReadRegSelfDMode(*work, printer, printerName);
    const bool merge = (flags & kConvertMerge) && !input.empty();
    if (merge)
        _UdcMergeSelfDMode(*work, input, printer, printerName);
    if (flags & kConvertWrite)
    {
        if (DWORD error = RtcWriteRegSelfDMode(*work, printer))
        {
            SetLastError(error);
            return FALSE;
        }
        printer.BroadcastDevModeChange(printerName);
    }
    if ((flags & kConvertCopy) && !output.empty())
    {
        DevModeReader in(input);
        if (merge && in.DmSize() < velmo::kCmnDModeSize)
        {
            // An older DEVMODE goes back in its own shape: its standard part, then as much of its
            // private part as both layouts have.
            std::fill_n(output.begin(), velmo::kRecordDevModeSize, BYTE{0});
            size_t standard = std::min<size_t>(in.DmSize(), input.size());
            size_t extra = std::min<size_t>(in.DmDriverExtra(), velmo::kRecordPrivateSize);
            size_t privateBytes = std::min(extra, input.size() - standard);
            std::copy_n(input.begin(), standard + privateBytes, output.begin());
            if (standard >= 72)
            {
                output[70] = static_cast<BYTE>(extra);
                output[71] = static_cast<BYTE>(extra >> 8);
            }
        }
        else
            std::memcpy(output.data(), work.get(), velmo::kRecordDevModeSize);
    }
    if ((flags & kConvertWhole) && !output.empty())
        std::memcpy(output.data(), work.get(), velmo::kSettingsRecordSize);
    return TRUE;
}

} // namespace velmoui
