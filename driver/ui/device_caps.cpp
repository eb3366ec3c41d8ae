#include "device_caps.h"

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

DWORD Answer(const SettingsRecord& r, WORD capability, void* output)
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
} // namespace

DWORD DrvDeviceCapabilities(HANDLE printer, LPWSTR deviceName, WORD capability, void* output,
                            const DEVMODEW* devMode)
{
    auto r = Settings(printer, deviceName, devMode, kCallerDeviceCaps);
    return r ? Answer(*r, capability, output) : kCapsFailed;
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

} // namespace velmoui
