#include <gtest/gtest.h>

#include "print_proc_caps.h"
#include "spooler_printer.h"
#include "ui_entry_points.h"
#include "ui_fixture.h"
#include "ui_settings.h"
#include "ui_strings.h"

#include <platform/winddiui.h>
#include <sim/machine.h>
#include <sim/spooler.h>

#include <cstring>

using namespace velmoui;
using namespace velmoui_test;
using velmo::SettingsRecord;

namespace
{
constexpr DWORD kNoError = 0xFFFF;

sim::PrinterSetup Printer(std::vector<BYTE> devMode = {})
{
    sim::PrinterSetup s;
    s.name = kPrinterName;
    s.driverName = u"KORIGRAPH DX-2660";
    s.defaultDevMode = std::move(devMode);
    return s;
}

using ConvertFn = BOOL(WINAPI*)(LPWSTR, PDEVMODEW, PDEVMODEW, PLONG, DWORD);
using PropertiesFn = LONG(WINAPI*)(HWND, HANDLE, LPWSTR, PDEVMODEW, PDEVMODEW, DWORD);

class UiExports : public ::testing::Test
{
protected:
    void SetUp() override
    {
        sim::spooler().AddPrinter(Printer());
        module = LoadLibraryW(u"VelmQ7UI.dll");
        ASSERT_NE(module, nullptr);
        convert = Proc<ConvertFn>(module, "DrvConvertDevMode");
        properties = Proc<PropertiesFn>(module, "DrvDocumentProperties");
        ASSERT_TRUE(convert && properties);
    }
    void TearDown() override { FreeLibrary(module); }

    // An application's DEVMODE of this layout: the driver's default with landscape and 3 copies.
    std::vector<BYTE> Landscape()
    {
        std::vector<BYTE> dm(2944);
        LONG size = 2944;
        EXPECT_TRUE(convert(Name(), nullptr, Dm(dm), &size, CDM_DRIVER_DEFAULT));
        auto* d = Dm(dm);
        d->dmFields = DM_ORIENTATION | DM_COPIES;
        d->dmOrientation = DMORIENT_LANDSCAPE;
        d->dmCopies = 3;
        return dm;
    }

    static LPWSTR Name() { return const_cast<LPWSTR>(kPrinterName); }
    static PDEVMODEW Dm(std::vector<BYTE>& b) { return reinterpret_cast<PDEVMODEW>(b.data()); }

    HMODULE module = nullptr;
    ConvertFn convert = nullptr;
    PropertiesFn properties = nullptr;
};

LONG At32(const std::vector<BYTE>& b, size_t offset)
{
    LONG v;
    std::memcpy(&v, b.data() + offset, 4);
    return v;
}
} // namespace

TEST_F(UiExports, ExportsByNameAndByTheListsOrdinals)
{
    const std::pair<const char*, WORD> exports[] = {{"DevQueryPrint", 255},
                                                    {"DevQueryPrintEx", 256},
                                                    {"DllMain", 257},
                                                    {"DrvConvertDevMode", 259},
                                                    {"DrvDocumentEvent", 262},
                                                    {"DrvDocumentProperties", 263},
                                                    {"DrvDocumentPropertySheets", 264},
                                                    {"DrvQueryColorProfile", 266},
                                                    {"DrvUpgradePrinter", 268}};
    for (auto [name, ordinal] : exports)
    {
        auto byName = GetProcAddress(module, name);
        EXPECT_NE(byName, nullptr) << name;
        EXPECT_EQ(byName, GetProcAddress(module, MAKEINTRESOURCEA(ordinal))) << name;
    }
    EXPECT_EQ(ModuleInstance(), module) << "the instance is kept at attach";
    EXPECT_EQ(UiString(621), u"Version") << "texts come from the DLL's own resources";
}

TEST_F(UiExports, ConvertDevModeResultsErrorsAndSizes)
{
    auto input = Landscape();
    struct Case
    {
        const char* what;
        DWORD mode;
        bool in, out, size;
        LONG sizeIn;
        const char16_t* printer;
        BOOL result;
        DWORD error;
        LONG sizeOut;
    } cases[] = {
        {"convert", CDM_CONVERT, true, true, true, 2944, kPrinterName, TRUE, kNoError, 2944},
        {"convert, larger buffer", CDM_CONVERT, true, true, true, 5000, kPrinterName, TRUE, kNoError, 2944},
        {"convert, short", CDM_CONVERT, true, true, true, 2943, kPrinterName, FALSE,
         ERROR_INSUFFICIENT_BUFFER, 2943},
        {"convert, no input", CDM_CONVERT, false, true, true, 2944, kPrinterName, FALSE,
         ERROR_INVALID_PARAMETER, 2944},
        {"convert, no output", CDM_CONVERT, true, false, true, 2944, kPrinterName, FALSE,
         ERROR_INVALID_PARAMETER, 2944},
        {"convert, no size", CDM_CONVERT, true, true, false, 0, kPrinterName, FALSE, ERROR_INVALID_PARAMETER,
         0},
        {"convert, unknown printer", CDM_CONVERT, true, true, true, 2944, u"Nobody", FALSE,
         ERROR_INVALID_PARAMETER, 2944},
        {"default", CDM_DRIVER_DEFAULT, false, true, true, 2944, kPrinterName, TRUE, kNoError, 2944},
        {"default, input ignored", CDM_DRIVER_DEFAULT, true, true, true, 2944, kPrinterName, TRUE, kNoError,
         2944},
        {"default, size 0", CDM_DRIVER_DEFAULT, false, true, true, 0, kPrinterName, FALSE,
         ERROR_INSUFFICIENT_BUFFER, 2944},
        {"default, no output", CDM_DRIVER_DEFAULT, false, false, true, 2944, kPrinterName, FALSE,
         ERROR_INSUFFICIENT_BUFFER, 2944},
        {"default, no size", CDM_DRIVER_DEFAULT, false, true, false, 0, kPrinterName, FALSE,
         ERROR_INVALID_PARAMETER, 0},
        {"convert 3.51", CDM_CONVERT351, true, true, true, 2944, kPrinterName, FALSE, ERROR_INVALID_PARAMETER,
         2944},
        {"mode 0", 0, true, true, true, 2944, kPrinterName, FALSE, ERROR_INVALID_PARAMETER, 2944},
    };
    for (const Case& c : cases)
    {
        std::vector<BYTE> out(6000, 0xEE);
        LONG size = c.sizeIn;
        SetLastError(kNoError);
        BOOL result = convert(const_cast<LPWSTR>(c.printer), c.in ? Dm(input) : nullptr,
                              c.out ? Dm(out) : nullptr, c.size ? &size : nullptr, c.mode);
        EXPECT_EQ(result, c.result) << c.what;
        if (!result)
        {
            EXPECT_EQ(GetLastError(), c.error) << c.what;
        }
        if (c.size)
        {
            EXPECT_EQ(size, c.sizeOut) << c.what;
        }
        EXPECT_EQ(out[2944], 0xEE) << c.what << ": nothing past the private DEVMODE";
        if (!result)
            EXPECT_EQ(out[0], 0xEE) << c.what << ": no partial output";
        else
        {
            EXPECT_EQ(At32(out, 2940), 0x28116119) << c.what;
            const bool merged = c.mode == CDM_CONVERT;
            EXPECT_EQ(At32(out, 248), merged ? 2 : 1) << c.what << ": orientation";
            EXPECT_EQ(At32(out, 256), merged ? 3 : 1) << c.what << ": copies";
        }
    }
    EXPECT_FALSE(sim::spooler().PrinterData(kPrinterName, kPrivateDevModeValue))
        << "a conversion writes no printer data";
    EXPECT_TRUE(sim::desktop().Broadcasts().empty());
}

TEST_F(UiExports, DocumentPropertiesResultsErrorsAndSizes)
{
    auto input = Landscape();
    HANDLE printer = sim::spooler().OpenPrinter(kPrinterName);
    struct Case
    {
        const char* what;
        DWORD mode;
        bool in, out;
        LONG result;
        DWORD error;
        LONG orientation; // of the output, 0: left alone
    } cases[] = {
        {"size", 0, false, false, 2944, kNoError, 0},
        {"copy the printer's", DM_COPY, false, true, IDOK, kNoError, 1},
        {"copy, input not asked for", DM_COPY, true, true, IDOK, kNoError, 1},
        {"modify and copy", DM_COPY | DM_MODIFY, true, true, IDOK, kNoError, 2},
        {"update and modify", DM_UPDATE | DM_MODIFY, true, true, IDOK, kNoError, 2},
        {"modify alone", DM_MODIFY, true, true, IDOK, kNoError, 0},
        {"copy without output", DM_COPY, false, false, -1, ERROR_INVALID_PARAMETER, 0},
        {"modify without input", DM_MODIFY | DM_COPY, false, true, -1, ERROR_INVALID_PARAMETER, 0},
        {"update without output", DM_UPDATE, false, false, 2944, kNoError, 0},
    };
    for (const Case& c : cases)
    {
        std::vector<BYTE> out(3000, 0xEE);
        SetLastError(kNoError);
        LONG result = properties(nullptr, printer, Name(), c.out ? Dm(out) : nullptr,
                                 c.in ? Dm(input) : nullptr, c.mode);
        EXPECT_EQ(result, c.result) << c.what;
        if (result == -1)
        {
            EXPECT_EQ(GetLastError(), c.error) << c.what;
        }
        if (c.orientation)
            EXPECT_EQ(At32(out, 248), c.orientation) << c.what;
        else
            EXPECT_EQ(out[0], 0xEE) << c.what;
        EXPECT_EQ(out[2944], 0xEE) << c.what;
    }
    EXPECT_FALSE(sim::spooler().PrinterData(kPrinterName, kPrivateDevModeValue));
    sim::spooler().ClosePrinter(printer);
}

TEST_F(UiExports, SheetsWithoutSheetInformationSetTheSize)
{
    auto sheets = Proc<LONG(WINAPI*)(PPROPSHEETUI_INFO, LPARAM)>(module, "DrvDocumentPropertySheets");
    std::vector<BYTE> out(2944);
    DOCUMENTPROPERTYHEADER header = {};
    header.cbSize = sizeof header;
    header.hPrinter = sim::spooler().OpenPrinter(kPrinterName);
    header.pszPrinterName = Name();
    header.fMode = 0;
    header.pdmOut = Dm(out);
    EXPECT_EQ(sheets(nullptr, reinterpret_cast<LPARAM>(&header)), 2944);
    EXPECT_EQ(header.cbOut, 2944u);
    header.fMode = DM_COPY;
    EXPECT_EQ(sheets(nullptr, reinterpret_cast<LPARAM>(&header)), IDOK);
    EXPECT_EQ(At32(out, 2940), 0x28116119);
    EXPECT_EQ(sheets(nullptr, 0), -1);
    sim::spooler().ClosePrinter(header.hPrinter);
}

TEST_F(UiExports, TheSmallExports)
{
    auto query = Proc<BOOL(WINAPI*)(HANDLE, PDEVMODEW, DWORD*)>(module, "DevQueryPrint");
    DWORD id = 77;
    EXPECT_TRUE(query(nullptr, nullptr, &id));
    EXPECT_EQ(id, 0u);
    EXPECT_TRUE(query(nullptr, nullptr, nullptr));

    auto event = Proc<int(WINAPI*)(HANDLE, HDC, int, ULONG, PVOID, ULONG, PVOID)>(module, "DrvDocumentEvent");
    for (int escape : {1, 2, 5, 9, 13})
        EXPECT_EQ(event(nullptr, nullptr, escape, 0, nullptr, 0, nullptr), DOCUMENTEVENT_UNSUPPORTED);

    auto profile =
        Proc<BOOL(WINAPI*)(HANDLE, PDEVMODEW, ULONG, PVOID, ULONG*, FLONG*)>(module, "DrvQueryColorProfile");
    SetLastError(0);
    EXPECT_FALSE(profile(nullptr, nullptr, 0, nullptr, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));

    auto upgrade = Proc<BOOL(WINAPI*)(DWORD, LPBYTE)>(module, "DrvUpgradePrinter");
    BYTE info[32] = {};
    const struct
    {
        DWORD level;
        LPBYTE info;
        BOOL result;
    } upgrades[] = {
        {1, info, TRUE}, {2, info, TRUE}, {1, nullptr, FALSE}, {3, info, FALSE}, {0, info, FALSE}};
    for (const auto& u : upgrades)
    {
        SetLastError(0);
        EXPECT_EQ(upgrade(u.level, u.info), u.result) << u.level;
        EXPECT_EQ(GetLastError(), u.result ? 0u : static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << u.level;
    }
}

// The printer's settings through the spooler: what a write stores is what the next read finds, and
// the write is announced to every window.
TEST_F(UiExports, SpoolerPrinterStoresReadsAndBroadcasts)
{
    HANDLE h = sim::spooler().OpenPrinter(kPrinterName);
    SpoolerPrinter printer(h);
    auto input = Landscape();
    ASSERT_TRUE(CfcConvertSelfDMode({}, input, printer, kPrinterName, kConvertWrite | kConvertMergeInput, 0));
    auto block = sim::spooler().PrinterData(kPrinterName, kPrivateDevModeValue);
    ASSERT_TRUE(block);
    EXPECT_EQ(block->type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(block->data.size(), 304u);
    auto sent = sim::desktop().Broadcasts();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].message, static_cast<UINT>(WM_DEVMODECHANGE));
    EXPECT_EQ(sent[0].text, kPrinterName);
    EXPECT_EQ(sent[0].flags, static_cast<UINT>(SMTO_ABORTIFHUNG));
    EXPECT_EQ(sent[0].timeout, 300u);

    // The stored default and block of this driver are read back; the block's own value counts.
    auto stored = std::make_unique<SettingsRecord>();
    auto defaults = std::make_unique<SettingsRecord>();
    _UdcResetSelfDMode(*defaults, printer, kPrinterName);
    EXPECT_EQ(defaults->modelPaperListType, 10) << "the model's row through the spooler's record";
    std::vector<BYTE> merged(2944);
    LONG size = 2944;
    ASSERT_TRUE(convert(Name(), Dm(input), Dm(merged), &size, CDM_CONVERT));
    sim::spooler().AddPrinter(Printer(merged));
    auto changed = std::vector<BYTE>(block->data);
    changed[300] = 7; // the count threshold
    sim::spooler().SetPrinterData(kPrinterName, kPrivateDevModeValue, REG_BINARY, changed);
    HANDLE again = sim::spooler().OpenPrinter(kPrinterName);
    SpoolerPrinter reopened(again);
    RtcReadRegSelfDMode(*stored, reopened, kPrinterName);
    EXPECT_EQ(stored->orientation, 2);
    EXPECT_EQ(stored->copies, 3);
    EXPECT_EQ(stored->printer.printerValues[velmo::kBlockCountThreshold], 7);

    sim::faults().FailNext("SetPrinterDataW", ERROR_ACCESS_DENIED);
    SetLastError(0);
    EXPECT_FALSE(CfcConvertSelfDMode({}, {}, reopened, kPrinterName, kConvertWrite, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(sim::desktop().Broadcasts().size(), 1u) << "a failed write announces nothing";
    sim::spooler().ClosePrinter(again);
    sim::spooler().ClosePrinter(h);
}

TEST_F(UiExports, DriverDirectoryByEnvironment)
{
    const struct
    {
        const char16_t* environment;
        const char16_t* folder;
        DWORD error;
    } cases[] = {
        {nullptr, u"C:\\Windows\\System32\\spool\\drivers\\x64", 0},
        {u"Windows x64", u"C:\\Windows\\System32\\spool\\drivers\\x64", 0},
        {u"windows nt X86", u"C:\\Windows\\System32\\spool\\drivers\\W32X86", 0},
        {u"Windows IA64", nullptr, ERROR_INVALID_ENVIRONMENT},
    };
    for (const auto& c : cases)
    {
        DWORD needed = 0;
        EXPECT_FALSE(
            GetPrinterDriverDirectoryW(nullptr, const_cast<LPWSTR>(c.environment), 1, nullptr, 0, &needed));
        if (!c.folder)
        {
            EXPECT_EQ(GetLastError(), c.error);
            continue;
        }
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        std::vector<BYTE> buffer(needed);
        ASSERT_EQ(needed, (WString(c.folder).size() + 1) * 2);
        ASSERT_TRUE(GetPrinterDriverDirectoryW(nullptr, const_cast<LPWSTR>(c.environment), 1, buffer.data(),
                                               needed, &needed));
        EXPECT_EQ(WString(reinterpret_cast<const WCHAR*>(buffer.data())), c.folder);
    }
    BYTE buffer[600];
    DWORD needed = 0;
    EXPECT_FALSE(GetPrinterDriverDirectoryW(nullptr, nullptr, 2, buffer, sizeof buffer, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
}

// Each system call the conversion makes fails once, at every place it is made: the result is either
// a whole DEVMODE with the input merged or a failure with its error, never part of one.
TEST_F(UiExports, ConvertDevModeSurvivesEachFailingCall)
{
    sim::spooler().SetPrinterData(kPrinterName, kPrintProcCapsValue, REG_BINARY, CapsRecord(0x3F, 0x2));
    auto input = Landscape();
    for (const char* api : {"GetPrinterDataW", "GetPrinterDriverDirectoryW"})
        for (int skip = 0;; ++skip)
        {
            sim::faults().FailNext(api, ERROR_NOT_ENOUGH_MEMORY, 1, skip);
            std::vector<BYTE> out(3000, 0xEE);
            LONG size = 2944;
            SetLastError(kNoError);
            BOOL result = convert(Name(), Dm(input), Dm(out), &size, CDM_CONVERT);
            const bool taken = sim::faults().Pending().empty();
            if (result)
            {
                EXPECT_EQ(size, 2944) << api << " " << skip;
                EXPECT_EQ(CfcCheckMySelfDMode(std::span(out).first(2944), kPrinterName, 211), 0u)
                    << api << skip;
                EXPECT_EQ(At32(out, 248), 2) << api << " " << skip << ": the input is merged all the same";
                EXPECT_EQ(At32(out, 256), 3) << api << " " << skip;
            }
            else
            {
                EXPECT_EQ(size, 0) << api << " " << skip;
                EXPECT_NE(GetLastError(), kNoError) << api << " " << skip;
                EXPECT_EQ(out[0], 0xEE) << api << " " << skip;
            }
            EXPECT_EQ(out[2944], 0xEE) << api << " " << skip;
            if (!taken)
            {
                // Past the last call: use the fault up so the test ends clean.
                BYTE buffer[600];
                DWORD needed;
                if (std::string_view(api) == "GetPrinterDataW")
                    GetPrinterDataW(nullptr, nullptr, nullptr, buffer, sizeof buffer, &needed);
                else
                    GetPrinterDriverDirectoryW(nullptr, nullptr, 1, buffer, sizeof buffer, &needed);
                EXPECT_GT(skip, 0) << api << " is called at least once";
                break;
            }
        }
}

TEST(UiOsCode, EachSystemByTheVersionTestAndTheVersionRecord)
{
    const struct
    {
        DWORD major, minor;
        BYTE productType;
        DWORD platform;
        int code;
    } cases[] = {
        {10, 0, VER_NT_WORKSTATION, VER_PLATFORM_WIN32_NT, 211},
        {10, 0, VER_NT_SERVER, VER_PLATFORM_WIN32_NT, 212},
        {6, 3, VER_NT_WORKSTATION, VER_PLATFORM_WIN32_NT, 209},
        {6, 3, VER_NT_DOMAIN_CONTROLLER, VER_PLATFORM_WIN32_NT, 210},
        {6, 2, VER_NT_WORKSTATION, VER_PLATFORM_WIN32_NT, 207},
        {6, 1, VER_NT_SERVER, VER_PLATFORM_WIN32_NT, 206},
        {6, 0, VER_NT_WORKSTATION, VER_PLATFORM_WIN32_NT, 203},
        {5, 2, VER_NT_SERVER, VER_PLATFORM_WIN32_NT, 202},
        {5, 1, VER_NT_WORKSTATION, VER_PLATFORM_WIN32_NT, 201},
        {5, 0, VER_NT_WORKSTATION, VER_PLATFORM_WIN32_NT, 103},
        {4, 0, VER_NT_WORKSTATION, VER_PLATFORM_WIN32_NT, 102},
        {4, 10, VER_NT_WORKSTATION, VER_PLATFORM_WIN32_WINDOWS, -1},
        {3, 51, VER_NT_WORKSTATION, VER_PLATFORM_WIN32_NT, 101},
    };
    for (const auto& c : cases)
    {
        sim::OsIdentity os;
        os.major = c.major;
        os.minor = c.minor;
        os.productType = c.productType;
        os.platformId = c.platform;
        sim::machine().SetOs(os);
        EXPECT_EQ(GetOsCode(), c.code) << c.major << "." << c.minor << " type " << int{c.productType};
    }
}
