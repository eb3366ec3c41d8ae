// Any bytes as what the settings model reads from outside: the header gives the sizes of the printer's
// stored default DEVMODE, its "Private DevMode" block and the settings file; the rest is an
// application's DEVMODE. Each conversion mode runs over them, and the graphics DLL merges the result.
// Every record that comes out is this driver's, with every field in its range; the capability and
// job-attribute answers over it stay within their outputs.
#include "device_caps.h"
#include "page_models.h"
#include "print_proc_caps.h"
#include "ui_settings.h"

#include <settings.h>
#include <ui_layout.h>
#include <sim/machine.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string_view>

namespace
{
using namespace velmoui;

const WCHAR* const kPrinterName = u"Velmo Q7";
const WCHAR* const kDriverDir = u"C:\\drivers";
const WCHAR* const kSettingsFile = u"C:\\drivers\\3\\VelmoQ7.spd";

class BytesPrinter : public PrinterPort
{
public:
    std::optional<PrinterRecord> Printer() override { return record; }
    DWORD GetData(const WCHAR* name, PrinterValue& value) override
    {
        auto it = data.find(WString(name));
        if (it == data.end())
            return ERROR_FILE_NOT_FOUND;
        value = it->second;
        return ERROR_SUCCESS;
    }
    DWORD SetData(const WCHAR* name, DWORD type, std::span<const BYTE> bytes) override
    {
        data[WString(name)] = {type, std::vector<BYTE>(bytes.begin(), bytes.end())};
        return ERROR_SUCCESS;
    }
    WString DriverDirectory() override { return kDriverDir; }
    int OsCode() override { return osCode; }
    void BroadcastDevModeChange(const WCHAR*) override {}

    PrinterRecord record;
    std::map<WString, PrinterValue> data;
    int osCode = 211;
};

size_t Take(std::span<const BYTE>& in, size_t limit)
{
    size_t n = in.size() >= 2 ? (in[0] | in[1] << 8) % (limit + 1) : 0;
    in = in.subspan(std::min<size_t>(2, in.size()));
    return std::min(n, in.size());
}

std::vector<BYTE> Piece(std::span<const BYTE>& in, size_t n)
{
    std::vector<BYTE> out(in.begin(), in.begin() + static_cast<std::ptrdiff_t>(n));
    in = in.subspan(n);
    return out;
}

void Check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

// A private DEVMODE that came out of a conversion: this driver's, in range, behind any block.
void CheckDevMode(std::span<const BYTE> out)
{
    Check(CfcCheckMySelfDMode(out.first(velmo::kRecordDevModeSize), kPrinterName, 211) == 0);
    auto r = std::make_unique<velmo::SettingsRecord>();
    std::memcpy(r.get(), out.data(), std::min(out.size(), sizeof *r));
    if (out.size() < sizeof *r)
    {
        r->printer.printerValues[velmo::kBlockCountWarning] = 0;
        r->printer.printerValues[velmo::kBlockCountThreshold] = 2;
    }
    Check(SettingsInRange(*r));
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool ready = [] {
        sim::machine().Reset();
        return true;
    }();
    Check(ready);
    std::span<const BYTE> in(data, size);
    const BYTE selector = in.empty() ? 0 : in[0];
    in = in.subspan(in.empty() ? 0 : 1);
    BytesPrinter printer;
    printer.record.driverName = selector & 1 ? u"KORIGRAPH Driver" : u"KORIGRAPH DX-1300";
    printer.osCode = selector & 2 ? 201 : 211;
    size_t n = Take(in, 4096);
    printer.record.defaultDevMode = Piece(in, n);
    n = Take(in, 512);
    printer.data[kPrivateDevModeValue] = {REG_BINARY, Piece(in, n)};
    if (selector & 4)
        printer.data[TEXT("PrintProcCaps_NT EMF 1.008")] = {REG_BINARY,
                                                            Piece(in, std::min<size_t>(16, in.size()))};
    n = Take(in, 1024);
    auto ini = Piece(in, n);
    sim::files().Put(kSettingsFile, std::string_view(reinterpret_cast<const char*>(ini.data()), ini.size()));
    const std::vector<BYTE> app(in.begin(), in.end());
    const size_t appDmSize = app.size() >= 70 ? size_t(app[68] | app[69] << 8) : 0;
    const bool shortInput = appDmSize < velmo::kCmnDModeSize;

    for (DWORD flags : {0x2u, 0xAu, 0x3000u, 0x100Bu, 0x2002u})
    {
        std::vector<BYTE> out(velmo::kSettingsRecordSize);
        Check(CfcConvertSelfDMode(out, app, printer, kPrinterName, flags, 0) == TRUE);
        const bool merged = (flags & kConvertMerge) && !app.empty();
        if (flags & kConvertWhole)
            CheckDevMode(out);
        else if (merged && shortInput)
        {
            // An older DEVMODE comes back as it was, but for dmDriverExtra: the private bytes kept.
            const size_t n = std::min(appDmSize, app.size());
            for (size_t i = 0; i < n; ++i)
                Check(i == 70 || i == 71 || app[i] == out[i]);
        }
        else
            CheckDevMode(std::span<const BYTE>(out).first(velmo::kRecordDevModeSize));

        // The graphics DLL's merge of what the user interface handed out.
        velmo::SelfDMode graphics;
        velmo::_UdcResetSelfDMode(graphics, kPrinterName, printer.record.driverName.c_str());
        std::span<const BYTE> handed = std::span<const BYTE>(out).first(velmo::kRecordDevModeSize);
        if (velmo::IsUiLayout(handed))
            velmo::MergeUiLayout(graphics, handed, kPrinterName, 0);
        else
            velmo::_UdcMergeSelfDMode(graphics, handed, kPrinterName, 0,
                                      velmo::CfcCheckMySelfDMode(handed, kPrinterName));
    }

    // Every capability, and one named by the input, over the merged record: the count first, then an
    // output of room for that many of the widest entries, whose guard words stay as they were.
    auto record = std::make_unique<velmo::SettingsRecord>();
    auto whole = std::span<BYTE>(reinterpret_cast<BYTE*>(record.get()), sizeof *record);
    Check(CfcConvertSelfDMode(whole, app, printer, kPrinterName, kConvertWhole | kConvertMergeInput, 13) ==
          TRUE);
    const WORD fuzzed = app.size() >= 2 ? static_cast<WORD>(app[0] | app[1] << 8) : 0;
    for (WORD capability = 0; capability <= 36; ++capability)
        for (WORD c : {capability, fuzzed})
        {
            const DWORD count = DeviceCapability(*record, c, nullptr);
            const size_t entries = count == kCapsFailed || count > 1000 ? 1 : count;
            std::vector<WCHAR> out(entries * kPaperNameChars + 8, 0xEEEE);
            const DWORD again = DeviceCapability(*record, c, out.data());
            Check(again == count);
            Check(std::all_of(out.begin() + static_cast<std::ptrdiff_t>(entries * kPaperNameChars), out.end(),
                              [](WCHAR w) { return w == 0xEEEE; }));
        }
    if (auto capsValue = printer.data.find(kPrintProcCapsValue); capsValue != printer.data.end())
        if (auto caps = ParsePrintProcCaps(capsValue->second.data, printer.record, false))
        {
            DEVMODEW job = record->dm;
            ATTRIBUTE_INFO_4 a = JobAttributesOf(*record, *caps, job);
            Check(a.dwJobNumberOfPagesPerSide >= 1 && a.dwJobNumberOfPagesPerSide <= 32);
            Check(a.dwJobNumberOfCopies == static_cast<DWORD>(record->copies));
        }

    // The application's bytes as typed text: the pages' decimal reader and corrections keep every field
    // in its range, and the zoom formulas divide by nothing empty.
    WString typed;
    for (size_t i = 0; i + 1 < app.size() && typed.size() < 16; i += 2)
        typed.push_back(static_cast<WCHAR>(app[i] | app[i + 1] << 8));
    for (int decimals : {0, 1, 2})
        if (auto v = ParseDecimal(typed, decimals))
            Check(*v <= 999999999999LL && *v >= -999999999999LL);
    SettingsRecord& r = *record;
    r.duplex = 1;
    r.zoomMode = selector & 8 ? 1 : 0;
    const Correction c = CorrectPaper(r, {ParseDecimal(typed, 0),
                                          ParseDecimal(WStringView(typed).substr(typed.empty() ? 0 : 1), 0),
                                          ParseDecimal(typed, 2)});
    Check(r.copies >= 1 && r.copies <= kMaxCopies && r.sets >= 1 && r.sets <= kMaxSets);
    if (r.capabilityFlags & kCapDuplex)
        Check(int64_t{r.copies} * r.sets <= std::max<LONG>(r.duplexMaxCopies, 1) || c.message == 0);
    if (r.zoomMode == 1)
        Check(r.zoom >= kZoomMin && r.zoom <= kZoomMax);
    const LONG zoom = AutomaticZoom(r);
    Check(zoom >= 1 && zoom <= kZoomMax * 100);
    return 0;
}
