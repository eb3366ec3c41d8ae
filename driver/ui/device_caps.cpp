#include "device_caps.h"

#include "print_proc_caps.h"
#include "settings.h"
#include "spooler_printer.h"
#include "text_fields.h"
#include "ui_settings.h"
#include "ui_strings.h"
#include "ui_tables.h"

#include <cstring>
#include <memory>
#include <new>

namespace velmoui
{

namespace
{
constexpr DWORD kCallerDeviceCaps = 13;
constexpr DWORD kCallerSplDeviceCaps = 25;
constexpr DWORD kCallerJobAttributes = 20;

// The printer's settings with the caller's DEVMODE merged; null when they cannot be had.
std::unique_ptr<SettingsRecord> Settings(HANDLE printer, const WCHAR* deviceName, const DEVMODEW* devMode,
                                         DWORD caller)
{
    std::unique_ptr<SettingsRecord> r(new (std::nothrow) SettingsRecord);
    if (!r)
        return nullptr;
    SpoolerPrinter port(printer);
    auto out = std::span<BYTE>(reinterpret_cast<BYTE*>(r.get()), sizeof *r);
    if (!CfcConvertSelfDMode(out, velmo::DevModeBytes(devMode), port, deviceName,
                             kConvertWhole | kConvertMergeInput, caller))
        return nullptr;
    return r;
}

WString PaperName(const SettingsRecord& r, LONG id)
{
    if (id >= kFirstUserPaperId && id < kFirstUserPaperId + velmo::kUserPaperCount)
    {
        const auto& name = r.userPapers[id - kFirstUserPaperId].name;
        return WString(velmo::View(name).substr(0, std::size(name) - 1));
    }
    UINT stringId = PaperNameId(id);
    return stringId ? UiString(stringId) : WString();
}

// Fixed-width names, each cut to its field and ended there.
void PutName(void* output, size_t index, size_t chars, WStringView name)
{
    velmo::CopyName(static_cast<WCHAR*>(output) + index * chars, chars, name);
}

DWORD PaperNames(const SettingsRecord& r, void* output, int count)
{
    if (output)
        for (int i = 0; i < count; ++i)
            PutName(output, static_cast<size_t>(i), kPaperNameChars, PaperName(r, OfferedPaperId(r, i)));
    return static_cast<DWORD>(count);
}

DWORD Packed(PaperSize size, void* output)
{
    if (output)
    {
        POINT p{size.width, size.height};
        std::memcpy(output, &p, sizeof p);
    }
    return static_cast<DWORD>(static_cast<WORD>(size.width)) |
           static_cast<DWORD>(static_cast<WORD>(size.height)) << 16;
}

template <typename T> void Put(void* output, size_t index, T value)
{
    std::memcpy(static_cast<BYTE*>(output) + index * sizeof value, &value, sizeof value);
}

} // namespace

DWORD DeviceCapability(const SettingsRecord& r, WORD capability, void* output)
{
    const int papers = OfferedPaperCount(r);
    switch (capability)
    {
    case DC_FIELDS:
        return r.dm.dmFields;
    case DC_PAPERS:
        if (output)
            for (int i = 0; i < papers; ++i)
                Put(output, static_cast<size_t>(i), static_cast<WORD>(OfferedPaperId(r, i)));
        return static_cast<DWORD>(papers);
    case DC_PAPERSIZE:
        if (output)
            for (int i = 0; i < papers; ++i)
            {
                PaperSize size = PaperSizeOf(r, OfferedPaperId(r, i)).value_or(PaperSize{0, 0});
                Put(output, static_cast<size_t>(i), POINT{size.width, size.height});
            }
        return static_cast<DWORD>(papers);
    case DC_MINEXTENT:
        return Packed(PaperSize{r.minPaperWidth, r.minPaperHeight}, output);
    case DC_MAXEXTENT:
        return Packed(PaperSize{r.maxPaperWidth, r.maxPaperHeight}, output);
    case DC_BINS:
    case DC_BINNAMES: {
        auto bins = OfferedBins(r);
        if (output)
            for (size_t i = 0; i < bins.size(); ++i)
            {
                if (capability == DC_BINS)
                    Put(output, i, static_cast<WORD>(bins[i].value));
                else
                    PutName(output, i, kBinNameChars, UiString(static_cast<UINT>(508 + i)));
            }
        return static_cast<DWORD>(bins.size());
    }
    case DC_DUPLEX:
        return (r.capabilityFlags & kCapDuplex) ? 1 : 0;
    case DC_SIZE:
        return velmo::kCmnDModeSize;
    case DC_EXTRA:
        return velmo::kRecordPrivateSize;
    case DC_VERSION:
        return DM_SPECVERSION;
    case DC_DRIVER:
        return _UdcGetDriverVersion();
    case DC_ENUMRESOLUTIONS:
        if (output)
        {
            Put(output, 0, LONG{ResolutionOf(r).x});
            Put(output, 1, LONG{ResolutionOf(r).y});
        }
        return 1;
    case DC_TRUETYPE:
    case DC_EMF_COMPLIANT:
    case DC_COLLATE:
    case DC_COLORDEVICE:
        return 1;
    case DC_PAPERNAMES:
    case DC_MEDIAREADY:
        return PaperNames(r, output, papers);
    case DC_ORIENTATION:
        return r.rotate ? 270 : 90;
    case DC_COPIES:
        return static_cast<DWORD>(CopyLimit(r));
    case DC_STAPLE:
        return 0;
    case DC_MEDIATYPENAMES:
    case DC_MEDIATYPES: {
        const size_t count = std::size(g_MediaTypeList) - 1;
        if (output)
            for (size_t i = 0; i < count; ++i)
            {
                if (capability == DC_MEDIATYPES)
                    Put(output, i, static_cast<DWORD>(g_MediaTypeList[i].value));
                else
                    PutName(output, i, kPaperNameChars, velmo::View(g_MediaTypeList[i].name));
            }
        return static_cast<DWORD>(count);
    }
    default:
        // Dependent files, bin adjustment, the data type, maker, model, personality, print rate,
        // memory and N-up are not told, nor any capability this driver does not know.
        return kCapsFailed;
    }
}

DWORD DrvDeviceCapabilities(HANDLE printer, LPWSTR deviceName, WORD capability, void* output,
                            const DEVMODEW* devMode)
{
    auto r = Settings(printer, deviceName, devMode, kCallerDeviceCaps);
    return r ? DeviceCapability(*r, capability, output) : kCapsFailed;
}

DWORD DrvSplDeviceCaps(HANDLE printer, LPWSTR deviceName, WORD capability, void* output, DWORD length,
                       const DEVMODEW* devMode)
{
    if (capability != DC_PAPERNAMES && capability != DC_MEDIAREADY)
        return kCapsFailed;
    auto r = Settings(printer, deviceName, devMode, kCallerSplDeviceCaps);
    if (!r)
        return kCapsFailed;
    const int papers = OfferedPaperCount(*r);
    if (!output)
        return static_cast<DWORD>(papers);
    if (length < kPaperNameChars)
        return kCapsFailed;
    return PaperNames(*r, output, std::min(papers, static_cast<int>(length / kPaperNameChars)));
}

namespace
{
// A standard field of the job's DEVMODE, when its dmSize covers it.
template <typename T> bool Covers(const DEVMODEW& dm, const T& field)
{
    const size_t end =
        static_cast<size_t>(reinterpret_cast<const BYTE*>(&field) - reinterpret_cast<const BYTE*>(&dm)) +
        sizeof field;
    return dm.dmSize >= end;
}

} // namespace

ATTRIBUTE_INFO_4 JobAttributesOf(const SettingsRecord& r, const PrintProcCaps& caps, const DEVMODEW& job)
{
    const LONG mode = r.layoutMode;
    const LONG pages = r.pagesPerSheet;
    const DWORD flags = caps.pageOrderFlags;
    const bool split = mode == 2 && (flags & 0x10000000);
    ATTRIBUTE_INFO_4 a = {};
    a.dwJobNumberOfPagesPerSide = 1;
    a.dwNupBorderFlags = NO_BORDER_PRINT;
    bool found = false;
    if (mode == 4 || split)
    {
        const bool oneUp = Covers(job, job.dmNup) && job.dmNup == DMNUP_ONEUP;
        if (pages != 1 && !oneUp && caps.Lists(pages))
        {
            a.dwJobNumberOfPagesPerSide = mode == 4 ? static_cast<DWORD>(pages) : 1;
            if (r.ppSwitch1)
                a.dwNupBorderFlags = BORDER_PRINT;
            found = true;
        }
    }
    else if (mode == 8)
        a.dwJobNumberOfPagesPerSide = 2;
    a.dwDrvNumberOfPagesPerSide = 1;
    a.dwDrvPageOrderFlags = 0;
    a.dwJobNumberOfCopies = a.dwDrvNumberOfCopies = static_cast<DWORD>(r.copies);
    if (mode == 8)
        a.dwJobPageOrderFlags =
            (r.dm.dmFields & DM_DUPLEX) && r.dm.dmDuplex != DMDUP_SIMPLEX && caps.booklet ? BOOKLET_PRINT : 0;
    else
        a.dwJobPageOrderFlags = r.ppSwitch2 == 1 && (flags & REVERSE_PRINT) ? REVERSE_PRINT : 0;
    a.dwNupDirection = 1;
    a.dwBookletFlags = 0;
    a.dwDuplexFlags = 2;
    a.dwScalingPercentX = a.dwScalingPercentY = 100;
    if (mode == 4 && found)
        a.dwNupDirection = static_cast<DWORD>(r.nupOrder);
    if (mode == 8 && (flags & 0x40000000) && r.orientation == DMORIENT_PORTRAIT)
        a.dwBookletFlags = static_cast<DWORD>(r.bookletOpening);
    if (split && found)
        a.dwJobPageOrderFlags |= (static_cast<DWORD>(pages) | 0x1000) << 16;
    if (flags > 0xFFFF && r.nupBorderOff &&
        (a.dwJobNumberOfPagesPerSide > 1 || (a.dwJobPageOrderFlags & 0x10000000)))
        a.dwJobPageOrderFlags |= 0x8000000;
    if (Covers(job, job.dmYResolution))
    {
        a.dmPrintQuality = job.dmPrintQuality;
        a.dmYResolution = job.dmYResolution;
    }
    return a;
}

BOOL DrvQueryJobAttributes(HANDLE printer, DEVMODEW* devMode, DWORD level, LPBYTE info)
{
    static constexpr size_t kSizes[] = {offsetof(ATTRIBUTE_INFO_4, dwColorOptimization),
                                        offsetof(ATTRIBUTE_INFO_4, dmPrintQuality),
                                        offsetof(ATTRIBUTE_INFO_4, dwDuplexFlags), sizeof(ATTRIBUTE_INFO_4)};
    if (level < 1 || level > 4 || !info || !devMode)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    SpoolerPrinter port(printer);
    auto printerRecord = port.Printer();
    if (!printerRecord)
        return FALSE;
    // The name is read whole; only dmDeviceName is cut to 31 characters.
    const WString name = printerRecord->printerName;
    std::unique_ptr<SettingsRecord> r(new (std::nothrow) SettingsRecord);
    if (!r)
    {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    auto out = std::span<BYTE>(reinterpret_cast<BYTE*>(r.get()), sizeof *r);
    if (!CfcConvertSelfDMode(out, velmo::DevModeBytes(devMode), port, name.c_str(), kConvertWhole | 0x2000,
                             kCallerJobAttributes))
        return FALSE;
    auto caps = ReadPrintProcCaps(port, false);
    if (!caps)
        return FALSE;
    ATTRIBUTE_INFO_4 a = JobAttributesOf(*r, *caps, *devMode);
    if (Covers(*devMode, devMode->dmCollate))
        devMode->dmCollate = static_cast<short>(r->collate);
    std::memcpy(info, &a, kSizes[level - 1]);
    return TRUE;
}

namespace
{
constexpr DWORD kLayoutPageOrderBits = 0x7C100000;
constexpr DWORD kStandardLayout = 0x100000;
constexpr DWORD kSystemLayouts = 0x60000000;
constexpr DWORD kCombinationLayout = 0x200000;
constexpr DWORD kBookletLayout = 0x2;
constexpr LONG kBookletMode = 8;
constexpr LONG kPaperA3 = 8, kPaperB4 = 12, kPaperB5 = 13;
} // namespace

DWORD LayoutFeatureWord(const SettingsRecord& r, const std::optional<PrintProcCaps>& caps, int osCode)
{
    DWORD word = ((caps ? caps->pageOrderFlags : 0) & kLayoutPageOrderBits) | kStandardLayout;
    if (osCode >= kOsVista)
        word |= kSystemLayouts;
    if (caps && caps->nupList.size() > 1)
        word |= kCombinationLayout;
    if (caps && caps->booklet && (r.capabilityFlags & kCapDuplex))
        word |= kBookletLayout;
    return word;
}

bool BookletPaperAllowed(const SettingsRecord& r)
{
    if (!(r.capabilityFlags & kCapDuplex) || r.zoomMode != 0)
        return false;
    const bool asDocument = r.outputSize == kOutputAsDocument || r.outputSize == kOutputWithinMaximum;
    const LONG paper = asDocument ? r.paperId : r.outputSize;
    switch (r.paperFeed)
    {
    case 1:
        return paper == kPaperA3 || paper == kPaperA4 || paper == kPaperB4;
    case 2:
        return paper == kPaperA4 || (paper == kPaperB5 && (r.capabilityFlags & kCapDuplexB5));
    default:
        return false;
    }
}

bool LayoutModeAllowed(LONG mode, DWORD featureWord, bool bookletPaper)
{
    for (const LayoutModeRow& row : g_LayoutModeList)
        if (row.stringId && row.mode == mode)
            return (featureWord & static_cast<DWORD>(row.featureBit)) &&
                   (mode != kBookletMode || bookletPaper);
    return false;
}

std::vector<LONG> ListedLayoutModes(DWORD featureWord)
{
    std::vector<LONG> modes;
    for (const LayoutModeRow& row : g_LayoutModeList)
        if (row.stringId && (featureWord & static_cast<DWORD>(row.featureBit)))
            modes.push_back(row.mode);
    return modes;
}

} // namespace velmoui
