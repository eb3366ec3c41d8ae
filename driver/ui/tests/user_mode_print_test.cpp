// A printer of the user-mode driver, created through the spooler as setup creates it, prints through
// the graphics DLL and the user-mode spool DLL: the spooler hands the job to the spool DLL, which
// passes the graphics DLL's stream to the port unchanged.
#include <gtest/gtest.h>

#include <platform/winspool.h>
#include <sim/engine_print.h>
#include <sim/machine.h>
#include <sim/sessions.h>
#include <platform/wtsapi32.h>
#include <sim/spooler.h>
#include <testing/duplicator.h>
#include <testing/test_page.h>

#include "mapped_file.h"
#include "print_scan.h"
#include "ui_entry_points.h"
#include "ui_fixture.h"

#include <algorithm>
#include <string>
#include <vector>

namespace
{
using velmoui_test::Proc;

constexpr const char16_t* kUserMode = u"KORIGRAPH Driver with UserMode";
constexpr const char16_t* kKernelMode = u"KORIGRAPH Driver";
constexpr const char16_t* kUiPath = u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\VelmQ7UI.dll";
using ConvertFn = BOOL(WINAPI*)(LPWSTR, PDEVMODEW, PDEVMODEW, PLONG, DWORD);
using CapsFn = DWORD(WINAPI*)(HANDLE, LPWSTR, WORD, PVOID, PDEVMODEW);

void InstallDriver(const char16_t* name)
{
    sim::DriverSetup d;
    d.name = name;
    d.driverPath = printtest::kDriverPath;
    d.configFile = kUiPath;
    d.dataFile = u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\VelmoQ7.spd";
    sim::spooler().InstallDriver(d);
}

// AddPrinterW as setup calls it; the printer's handle is closed again.
bool AddPrinter(const char16_t* name, const char16_t* driver)
{
    WString printerName = name, driverName = driver, port = u"LPT1:", processor = u"WinPrint";
    PRINTER_INFO_2W info{};
    info.pPrinterName = printerName.data();
    info.pDriverName = driverName.data();
    info.pPortName = port.data();
    info.pPrintProcessor = processor.data();
    HANDLE printer = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
    if (!printer)
        return false;
    ClosePrinter(printer);
    return true;
}

// One page of the test page; whether every step succeeded.
bool PrintPage(const char16_t* printer)
{
    auto dc = sim::PrintDC::Create(printer, nullptr);
    if (!dc)
        return false;
    bool ok = dc->StartDoc(u"user mode") && dc->StartPage();
    if (ok)
        printtest::DrawTestPage(*dc, "user mode");
    ok = dc->EndPage() && ok;
    ok = dc->EndDoc() && ok;
    return ok;
}

int PagesIn(const std::string& stream)
{
    const char16_t* file = u"C:\\Jobs\\um.kgl";
    sim::files().Put(file, stream);
    printfile::CMemoryMappedFile mapped;
    if (!mapped.Open(file))
        return -1;
    std::vector<printfile::CPrintTicket> tickets;
    return printfile::ScanPrintFile(tickets, mapped);
}

class UserModePrinter : public ::testing::Test
{
protected:
    void SetUp() override
    {
        sim::spooler().AddPrintProcessor(u"KglPrint");
        InstallDriver(kUserMode);
        InstallDriver(kKernelMode);
    }
};

TEST_F(UserModePrinter, CreatedThroughTheSpoolerWithTheDriversDataAndDefaults)
{
    ASSERT_TRUE(AddPrinter(u"Duplicator UM", kUserMode));
    ASSERT_TRUE(AddPrinter(u"Duplicator KM", kKernelMode));

    auto um = sim::spooler().Printer(u"Duplicator UM");
    EXPECT_EQ(um->printProcessor, u"KglPrint");
    ASSERT_TRUE(um->comment);
    EXPECT_NE(um->comment->find(u"600 x 600"), WString::npos);
    auto dll = sim::spooler().PrinterData(u"Duplicator UM", u"SPLUserModePrinterDriver");
    ASSERT_TRUE(dll);
    EXPECT_EQ(dll->type, DWORD{REG_SZ});
    EXPECT_EQ(dll->data.size(), 16u);
    EXPECT_FALSE(sim::spooler().PrinterData(u"Duplicator KM", u"SPLUserModePrinterDriver"));

    // The default DEVMODE is the one the UI DLL gives for the printer.
    HMODULE ui = LoadLibraryW(u"VelmQ7UI.dll");
    ASSERT_TRUE(ui);
    auto convert = Proc<ConvertFn>(ui, "DrvConvertDevMode");
    for (const char16_t* name : {u"Duplicator UM", u"Duplicator KM"})
    {
        std::vector<BYTE> expected(velmoui::kDevModeSize);
        LONG size = velmoui::kDevModeSize;
        ASSERT_TRUE(convert(const_cast<LPWSTR>(name), nullptr, reinterpret_cast<PDEVMODEW>(expected.data()),
                            &size, CDM_DRIVER_DEFAULT));
        EXPECT_EQ(sim::spooler().Printer(name)->defaultDevMode, expected);
    }

    // Applications asking the printer's capabilities reach the same DLL.
    auto caps = Proc<CapsFn>(ui, "DrvDeviceCapabilities");
    HANDLE printer = sim::spooler().OpenPrinter(u"Duplicator UM");
    LPWSTR name = const_cast<LPWSTR>(u"Duplicator UM");
    for (WORD capability : {WORD{DC_PAPERS}, WORD{DC_BINS}, WORD{DC_COPIES}, WORD{DC_SIZE}})
        EXPECT_EQ(DeviceCapabilitiesW(name, u"LPT1:", capability, nullptr, nullptr),
                  static_cast<int>(caps(printer, name, capability, nullptr, nullptr)))
            << capability;
    EXPECT_EQ(DeviceCapabilitiesW(u"Nobody", u"LPT1:", DC_PAPERS, nullptr, nullptr), -1);
    sim::spooler().ClosePrinter(printer);
    FreeLibrary(ui);
}

TEST_F(UserModePrinter, AJobPassesThroughTheSpoolDllUnchanged)
{
    const char16_t* name = u"Duplicator UM";
    ASSERT_TRUE(AddPrinter(name, kUserMode));
    // The same job straight to the port, with the spool DLL's name taken away for it.
    auto dll = sim::spooler().PrinterData(name, u"SPLUserModePrinterDriver");
    ASSERT_TRUE(dll);
    sim::spooler().SetPrinterData(name, u"SPLUserModePrinterDriver", REG_BINARY, {});
    ASSERT_TRUE(PrintPage(name));
    const std::string direct = sim::spooler().Output(name);
    EXPECT_TRUE(sim::spooler().SpoolDllCalls().empty());

    sim::spooler().SetPrinterData(name, u"SPLUserModePrinterDriver", REG_SZ, dll->data);
    ASSERT_TRUE(PrintPage(name));
    const std::string both = sim::spooler().Output(name);
    ASSERT_GT(both.size(), direct.size());
    const std::string passed = both.substr(direct.size());
    EXPECT_EQ(passed, direct);
    EXPECT_EQ(PagesIn(passed), 1);

    // One document of one page: every write of the graphics DLL between its start and its end.
    auto calls = sim::spooler().SpoolDllCalls();
    auto count = [&](const char* call) { return std::count(calls.begin(), calls.end(), call); };
    const auto writes = count("DrvSplWritePrinter");
    EXPECT_GT(writes, 0);
    for (const char* once :
         {"DrvSplStartDoc", "DrvSplStartPage", "DrvSplEndPage", "DrvSplEndDoc", "DrvSplClose"})
        EXPECT_EQ(count(once), 1) << once;
    ASSERT_EQ(calls.size(), static_cast<size_t>(writes) + 5);
    EXPECT_EQ(calls[0], "DrvSplStartDoc");
    EXPECT_EQ(calls[1], "DrvSplStartPage");
    EXPECT_EQ(calls[2], "DrvSplWritePrinter");
    EXPECT_EQ(calls[calls.size() - 2], "DrvSplEndDoc");
    EXPECT_EQ(calls.back(), "DrvSplClose");
    // The graphics DLL's stream starts with its own command, not a resolution one: nobody is told.
    EXPECT_TRUE(sim::sessions().Messages().empty());
}

TEST_F(UserModePrinter, AFailingWriteFailsTheJobAndAMissingDllFailsEveryWrite)
{
    const char16_t* name = u"Duplicator UM";
    ASSERT_TRUE(AddPrinter(name, kUserMode));
    sim::faults().FailNext("WritePrinter", ERROR_DISK_FULL);
    EXPECT_FALSE(PrintPage(name));
    auto calls = sim::spooler().SpoolDllCalls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), "DrvSplClose");

    // A name the spooler cannot load is never bypassed: the job's writes fail with the loader's error.
    const std::string before = sim::spooler().Output(name);
    const char16_t missing[] = u"NoSuchUM";
    std::vector<BYTE> bytes(reinterpret_cast<const BYTE*>(missing),
                            reinterpret_cast<const BYTE*>(missing) + 8 * sizeof(char16_t));
    sim::spooler().SetPrinterData(name, u"SPLUserModePrinterDriver", REG_SZ, bytes);
    HANDLE printer = sim::spooler().OpenPrinter(name);
    DOC_INFO_1W doc{const_cast<LPWSTR>(u"raw"), nullptr, nullptr};
    ASSERT_NE(StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&doc)), 0u);
    char data[] = "raw bytes";
    DWORD written = 1;
    EXPECT_FALSE(WritePrinter(printer, data, 9, &written));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_MOD_NOT_FOUND});
    EXPECT_EQ(written, 0u);
    EXPECT_FALSE(EndDocPrinter(printer));
    sim::spooler().ClosePrinter(printer);
    EXPECT_EQ(sim::spooler().Output(name), before);
}

// A raw job on its own thread: a resolution command, then its letter `count` times in small writes.
struct RawJob
{
    const char* command;
    char letter;
    int count;
    bool ok = false;
};

DWORD WINAPI PrintRaw(LPVOID parameter)
{
    auto* job = static_cast<RawJob*>(parameter);
    HANDLE printer = sim::spooler().OpenPrinter(u"Duplicator UM");
    DOC_INFO_1W doc{const_cast<LPWSTR>(u"raw"), nullptr, nullptr};
    bool ok =
        printer && StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&doc)) && StartPagePrinter(printer);
    std::string command = job->command;
    DWORD written = 0;
    ok = ok && WritePrinter(printer, command.data(), static_cast<DWORD>(command.size()), &written);
    for (int i = 0; ok && i < job->count; ++i)
    {
        char c = job->letter;
        ok = WritePrinter(printer, &c, 1, &written) && written == 1;
    }
    ok = ok && EndPagePrinter(printer) && EndDocPrinter(printer);
    if (printer)
        sim::spooler().ClosePrinter(printer);
    job->ok = ok;
    return 0;
}

TEST_F(UserModePrinter, TwoJobsOnTwoThreadsEachTellTheConsoleFromTheSpooler)
{
    ASSERT_TRUE(AddPrinter(u"Duplicator UM", kUserMode));
    const std::string c300 = "\x1B%-12345X@PJL SET RESOLUTION=300",
                      c600 = "\x1B%-12345X@PJL SET RESOLUTION=600";
    RawJob a{c300.c_str(), 'a', 40}, b{c600.c_str(), 'b', 30};
    HANDLE threads[] = {CreateThread(nullptr, 0, PrintRaw, &a, 0, nullptr),
                        CreateThread(nullptr, 0, PrintRaw, &b, 0, nullptr)};
    ASSERT_TRUE(threads[0] && threads[1]);
    EXPECT_EQ(WaitForMultipleObjects(2, threads, TRUE, INFINITE), WAIT_OBJECT_0);
    for (HANDLE t : threads)
        CloseHandle(t);
    EXPECT_TRUE(a.ok);
    EXPECT_TRUE(b.ok);

    const std::string out = sim::spooler().Output(u"Duplicator UM");
    EXPECT_EQ(out.size(), c300.size() + c600.size() + 70);
    EXPECT_EQ(std::count(out.begin(), out.end(), 'a'), 40);
    EXPECT_EQ(std::count(out.begin(), out.end(), 'b'), 30);
    auto calls = sim::spooler().SpoolDllCalls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "DrvSplStartDoc"), 2);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "DrvSplClose"), 2);

    // Each told the console user without waiting, from the spooler's process, not the application's.
    auto told = sim::sessions().Messages();
    ASSERT_EQ(told.size(), 2u);
    std::vector<WString> texts{told[0].text, told[1].text};
    std::sort(texts.begin(), texts.end());
    EXPECT_EQ(texts, (std::vector<WString>{u"300dpi Printing", u"600dpi Printing"}));
    for (const auto& m : told)
    {
        EXPECT_EQ(m.sessionId, 1u);
        EXPECT_FALSE(m.wait);
        EXPECT_NE(m.senderProcessId, GetCurrentProcessId());
    }
}

} // namespace
