// What the spooler takes away: drivers no printer uses, print processors, language monitors and
// jobs, and the classic driver DLLs it keeps loaded while it runs.
#include <gtest/gtest.h>

#include <platform/winsvc.h>
#include <sim/machine.h>
#include <sim/services.h>
#include <sim/spooler.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace
{
const WString kFolder = u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\";
const WString kMonitorKey = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Q7 Monitor";

// A classic driver with its files in the driver folder, its processor and monitor, and a printer.
void InstallClassic(bool withPrinter = true)
{
    for (const char16_t* f : {u"DRV.DLL", u"UI.DLL", u"Q7.spd", u"Proc.dll"})
        sim::files().Put(kFolder + f, "x");
    sim::DriverSetup d;
    d.name = u"Classic";
    d.version = 3;
    d.driverPath = kFolder + u"DRV.DLL";
    d.configFile = kFolder + u"UI.DLL";
    d.dataFile = kFolder + u"Q7.spd";
    d.dependentFiles = {kFolder + u"Proc.dll", kFolder + u"Q7.spd"};
    d.printProcessor = u"Proc";
    d.monitorName = u"Q7 Monitor";
    sim::spooler().InstallDriver(d);
    if (!withPrinter)
        return;
    sim::PrinterSetup p;
    p.name = u"Office";
    p.driverName = u"Classic";
    sim::spooler().AddPrinter(p);
}

bool Restart()
{
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE spooler = OpenServiceW(manager, u"Spooler", SERVICE_ALL_ACCESS);
    SERVICE_STATUS status{};
    bool ok = ControlService(spooler, SERVICE_CONTROL_STOP, &status);
    while (ok && QueryServiceStatus(spooler, &status) && status.dwCurrentState != SERVICE_STOPPED)
        sim::virtualClock().Advance(100);
    ok = ok && StartServiceW(spooler, 0, nullptr);
    while (ok && QueryServiceStatus(spooler, &status) && status.dwCurrentState != SERVICE_RUNNING)
        sim::virtualClock().Advance(100);
    CloseServiceHandle(spooler);
    CloseServiceHandle(manager);
    return ok;
}

DWORD DeleteDriver(const WString& name)
{
    WString n = name;
    SetLastError(0);
    return DeletePrinterDriverW(nullptr, nullptr, n.data()) ? 0 : GetLastError();
}

TEST(SpoolerRemoval, ADriverGoesOnlyWithoutPrinters)
{
    InstallClassic();
    EXPECT_EQ(DeleteDriver(u"Classic"), DWORD(ERROR_PRINTER_DRIVER_IN_USE));
    EXPECT_EQ(DeleteDriver(u"Nobody"), DWORD(ERROR_UNKNOWN_PRINTER_DRIVER));
    PRINTER_DEFAULTSW all{nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE printer = nullptr;
    ASSERT_TRUE(OpenPrinter2W(u"Office", &printer, &all, nullptr));
    ASSERT_TRUE(DeletePrinter(printer));
    ClosePrinter(printer);
    sim::machine().SetAdministrator(false);
    EXPECT_EQ(DeleteDriver(u"classic"), DWORD(ERROR_ACCESS_DENIED));
    sim::machine().SetAdministrator(true);
    EXPECT_EQ(DeleteDriver(u"classic"), 0u) << "without case";
    EXPECT_TRUE(sim::spooler().Drivers().empty());
    EXPECT_EQ(DeleteDriver(u"Classic"), DWORD(ERROR_UNKNOWN_PRINTER_DRIVER));
    EXPECT_TRUE(sim::files().Exists(kFolder + u"DRV.DLL")) << "its files stay";
}

TEST(SpoolerRemoval, ADeletedPrintersKeyGoesWithItsSettings)
{
    InstallClassic();
    const WString key = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\Office";
    const BYTE settings[] = {1, 2, 3};
    sim::registry().SetValue(HKEY_LOCAL_MACHINE, key, u"Default DevMode", REG_BINARY, settings);
    sim::registry().SetValue(HKEY_LOCAL_MACHINE, key + u"\\PrinterDriverData", u"Kept", REG_BINARY, settings);
    HKEY open = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &open), ERROR_SUCCESS);
    PRINTER_DEFAULTSW all{nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE printer = nullptr;
    ASSERT_TRUE(OpenPrinter2W(u"office", &printer, &all, nullptr));
    ASSERT_TRUE(DeletePrinter(printer));
    ClosePrinter(printer);
    EXPECT_FALSE(sim::registry().KeyExists(HKEY_LOCAL_MACHINE, key));
    EXPECT_TRUE(sim::registry().KeyExists(HKEY_LOCAL_MACHINE,
                                          u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers"));
    DWORD type = 0;
    EXPECT_EQ(RegQueryValueExW(open, u"Default DevMode", nullptr, &type, nullptr, nullptr),
              LSTATUS(ERROR_KEY_DELETED))
        << "a key still open sees it deleted";
    RegCloseKey(open);
}

TEST(SpoolerRemoval, TheRunningSpoolerHoldsAClassicDriversDlls)
{
    InstallClassic(false);
    // Held while it runs, also once the driver is deleted; let go at its stop.
    EXPECT_FALSE(DeleteFileW((kFolder + u"DRV.DLL").c_str()));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
    ASSERT_EQ(DeleteDriver(u"Classic"), 0u);
    EXPECT_FALSE(DeleteFileW((kFolder + u"proc.DLL").c_str()));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
    EXPECT_TRUE(DeleteFileW((kFolder + u"Q7.spd").c_str())) << "no DLL";
    ASSERT_TRUE(Restart());
    for (const char16_t* f : {u"DRV.DLL", u"UI.DLL", u"Proc.dll"})
        EXPECT_TRUE(DeleteFileW((kFolder + f).c_str())) << GetLastError();
}

TEST(SpoolerRemoval, ARestartLoadsTheDriversStillInstalled)
{
    InstallClassic(false);
    ASSERT_TRUE(Restart());
    EXPECT_FALSE(DeleteFileW((kFolder + u"UI.DLL").c_str()));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
}

TEST(SpoolerRemoval, ProcessorsAndMonitorsByName)
{
    InstallClassic(false);
    auto processors = sim::spooler().PrintProcessors();
    EXPECT_NE(std::ranges::find(processors, u"Proc"), processors.end());
    EXPECT_TRUE(sim::registry().KeyExists(HKEY_LOCAL_MACHINE, kMonitorKey));
    WString proc = u"PROC", monitor = u"q7 monitor", unknown = u"Unknown";
    EXPECT_TRUE(DeletePrintProcessorW(nullptr, nullptr, proc.data()));
    EXPECT_FALSE(DeletePrintProcessorW(nullptr, nullptr, proc.data()));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PRINTPROCESSOR));
    processors = sim::spooler().PrintProcessors();
    EXPECT_EQ(std::ranges::find(processors, u"Proc"), processors.end());
    EXPECT_TRUE(DeleteMonitorW(nullptr, nullptr, monitor.data()));
    EXPECT_FALSE(sim::registry().KeyExists(HKEY_LOCAL_MACHINE, kMonitorKey));
    EXPECT_FALSE(DeleteMonitorW(nullptr, nullptr, unknown.data()));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PRINT_MONITOR));
}

TEST(SpoolerRemoval, CancellingAJobTakesTheRightToAdminister)
{
    InstallClassic();
    const DWORD job = sim::spooler().AddJob(u"Office", u"Report");
    PRINTER_DEFAULTSW use{nullptr, nullptr, PRINTER_ACCESS_USE};
    PRINTER_DEFAULTSW all{nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE user = nullptr, admin = nullptr;
    ASSERT_TRUE(OpenPrinter2W(u"Office", &user, &use, nullptr));
    ASSERT_TRUE(OpenPrinter2W(u"Office", &admin, &all, nullptr));
    EXPECT_FALSE(SetJobW(user, job, 0, nullptr, JOB_CONTROL_CANCEL));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(SetJobW(admin, job + 7, 0, nullptr, JOB_CONTROL_CANCEL));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(sim::spooler().Jobs().size(), 1u);
    EXPECT_TRUE(SetJobW(admin, job, 0, nullptr, JOB_CONTROL_CANCEL));
    EXPECT_TRUE(sim::spooler().Jobs().empty());
    EXPECT_FALSE(SetJobW(admin, job, 0, nullptr, JOB_CONTROL_CANCEL)) << "gone already";
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    ClosePrinter(user);
    ClosePrinter(admin);
}
} // namespace

namespace
{
const WString kPrintersKey = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\";

TEST(SpoolerRemoval, APrintersKeyIsRenamedAndDeletedWithIt)
{
    InstallClassic();
    const std::vector<BYTE> settings{1, 2, 3};
    sim::registry().SetValue(HKEY_LOCAL_MACHINE, kPrintersKey + u"Office", u"Default DevMode", REG_BINARY,
                             settings);
    sim::registry().SetValue(HKEY_LOCAL_MACHINE, kPrintersKey + u"Office\\PrinterDriverData", u"Pages",
                             REG_DWORD, settings);
    PRINTER_DEFAULTSW all{nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE printer = nullptr;
    ASSERT_TRUE(OpenPrinter2W(u"Office", &printer, &all, nullptr));
    WString renamed = u"Front Desk";
    PRINTER_INFO_2W info{};
    info.pPrinterName = renamed.data();
    ASSERT_TRUE(SetPrinterW(printer, 2, reinterpret_cast<BYTE*>(&info), 0));
    EXPECT_FALSE(sim::registry().KeyExists(HKEY_LOCAL_MACHINE, kPrintersKey + u"Office"));
    auto moved = sim::registry().Value(HKEY_LOCAL_MACHINE, kPrintersKey + u"Front Desk", u"Default DevMode");
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->data, settings);

    ASSERT_TRUE(DeletePrinter(printer));
    ClosePrinter(printer);
    EXPECT_FALSE(sim::registry().KeyExists(HKEY_LOCAL_MACHINE, kPrintersKey + u"Front Desk"));
    EXPECT_TRUE(sim::registry().KeyExists(HKEY_LOCAL_MACHINE, kPrintersKey)) << "the printers' own key stays";
}

// A driver name in three versions and environments, and a second driver sharing one of its files.
void InstallVersions()
{
    const WString store = u"C:\\Windows\\System32\\DriverStore\\FileRepository\\m.inf_1\\";
    for (const char16_t* f : {u"M4.DLL", u"M4.GPD", u"SHARED.INI"})
        sim::files().Put(store + f, "x");
    sim::files().Put(kFolder + u"M3.GPD", "x");
    sim::files().Put(kFolder + u"M3.DLL", "x");
    auto driver = [](DWORD version, const WString& env, const WString& dll, const WString& data,
                     std::vector<WString> more) {
        sim::DriverSetup d;
        d.name = u"Model";
        d.version = version;
        d.environment = env;
        d.driverPath = dll;
        d.dataFile = data;
        d.dependentFiles = std::move(more);
        return d;
    };
    sim::spooler().InstallDriver(driver(3, u"Windows x64", kFolder + u"M3.DLL", kFolder + u"M3.GPD", {}));
    sim::spooler().InstallDriver(
        driver(4, u"Windows x64", store + u"M4.DLL", store + u"M4.GPD", {store + u"SHARED.INI"}));
    sim::spooler().InstallDriver(driver(3, u"Windows NT x86", kFolder + u"M3.DLL", kFolder + u"M3.GPD", {}));
    sim::DriverSetup other = driver(4, u"Windows x64", store + u"O.DLL", store + u"SHARED.INI", {});
    other.name = u"Other";
    sim::spooler().InstallDriver(other);
}

std::vector<std::pair<DWORD, WString>> VersionsOfModel()
{
    std::vector<std::pair<DWORD, WString>> left;
    for (const sim::DriverSetup& d : sim::spooler().Drivers())
        if (d.name == u"Model")
            left.emplace_back(d.version, d.environment);
    return left;
}

DWORD DeleteEx(const char16_t* environment, DWORD flags, DWORD version)
{
    WString env = environment ? environment : u"", name = u"model";
    SetLastError(0);
    return DeletePrinterDriverExW(nullptr, environment ? env.data() : nullptr, name.data(), flags, version)
               ? 0
               : GetLastError();
}

using Versions = std::vector<std::pair<DWORD, WString>>;

TEST(SpoolerRemoval, DeletingADriverTakesTheVersionsAskedFor)
{
    const Versions all{{3, u"Windows x64"}, {4, u"Windows x64"}, {3, u"Windows NT x86"}};
    struct Case
    {
        const char* what;
        bool printer; // one prints through the name (on its newest version, 4)
        const char16_t* environment;
        DWORD flags, version, error;
        Versions left;
    } cases[] = {
        {"every version of this environment", false, nullptr, 0, 0, 0, {{3, u"Windows NT x86"}}},
        {"none while a printer uses the name", true, nullptr, 0, 0, ERROR_PRINTER_DRIVER_IN_USE, all},
        {"one version nobody runs on",
         true,
         nullptr,
         DPD_DELETE_SPECIFIC_VERSION,
         3,
         0,
         {{4, u"Windows x64"}, {3, u"Windows NT x86"}}},
        {"not the version the printers run on", true, nullptr, DPD_DELETE_SPECIFIC_VERSION, 4,
         ERROR_PRINTER_DRIVER_IN_USE, all},
        {"no such version", false, nullptr, DPD_DELETE_SPECIFIC_VERSION, 2, ERROR_UNKNOWN_PRINTER_DRIVER,
         all},
        {"another environment's, printers or not",
         true,
         u"Windows NT x86",
         0,
         0,
         0,
         {{3, u"Windows x64"}, {4, u"Windows x64"}}},
        {"an unknown environment", false, u"Windows 95", 0, 0, ERROR_INVALID_ENVIRONMENT, all},
        {"an unknown flag", false, nullptr, 8, 0, ERROR_INVALID_PARAMETER, all},
    };
    for (const Case& c : cases)
    {
        sim::machine().Reset();
        InstallVersions();
        if (c.printer)
        {
            sim::PrinterSetup p;
            p.name = u"Office";
            p.driverName = u"Model";
            sim::spooler().AddPrinter(p);
        }
        EXPECT_EQ(DeleteEx(c.environment, c.flags, c.version), c.error) << c.what;
        EXPECT_EQ(VersionsOfModel(), c.left) << c.what;
    }
    // The plain and 8-bit forms take every version, as the first case.
    sim::machine().Reset();
    InstallVersions();
    char model[] = "MODEL";
    ASSERT_TRUE(DeletePrinterDriverA(nullptr, nullptr, model));
    EXPECT_EQ(VersionsOfModel(), (Versions{{3, u"Windows NT x86"}}));
    EXPECT_FALSE(DeletePrinterDriverExA(nullptr, nullptr, model, 0, 0));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PRINTER_DRIVER));
}

TEST(SpoolerRemoval, DeletingADriversFilesSparesWhatOthersUse)
{
    const WString store = u"C:\\Windows\\System32\\DriverStore\\FileRepository\\m.inf_1\\";
    InstallVersions();
    // All files or nothing: a file another driver uses keeps the driver too.
    EXPECT_EQ(DeleteEx(nullptr, DPD_DELETE_SPECIFIC_VERSION | DPD_DELETE_ALL_FILES, 4),
              DWORD(ERROR_PRINTER_DRIVER_IN_USE));
    EXPECT_EQ(VersionsOfModel().size(), 3u);
    EXPECT_TRUE(sim::files().Exists(store + u"M4.DLL"));

    EXPECT_EQ(DeleteEx(nullptr, DPD_DELETE_SPECIFIC_VERSION | DPD_DELETE_UNUSED_FILES, 4), 0u);
    EXPECT_FALSE(sim::files().Exists(store + u"M4.DLL"));
    EXPECT_FALSE(sim::files().Exists(store + u"M4.GPD"));
    EXPECT_TRUE(sim::files().Exists(store + u"SHARED.INI")) << "the other driver's";

    // The version-3 files serve the x86 driver too; once it goes, they go, but for the DLL the
    // running spooler has loaded.
    EXPECT_EQ(DeleteEx(nullptr, DPD_DELETE_UNUSED_FILES, 0), 0u);
    EXPECT_TRUE(sim::files().Exists(kFolder + u"M3.GPD"));
    EXPECT_EQ(DeleteEx(u"Windows NT x86", DPD_DELETE_ALL_FILES, 0), 0u);
    EXPECT_FALSE(sim::files().Exists(kFolder + u"M3.GPD"));
    EXPECT_TRUE(sim::files().Exists(kFolder + u"M3.DLL"));
    EXPECT_TRUE(VersionsOfModel().empty());
}

TEST(SpoolerRemoval, APrintProcessorInUseStays)
{
    InstallClassic();
    sim::PrinterSetup p = *sim::spooler().Printer(u"Office");
    p.printProcessor = u"Proc";
    sim::spooler().AddPrinter(p);
    WString proc = u"proc";
    EXPECT_FALSE(DeletePrintProcessorW(nullptr, nullptr, proc.data()));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_CAN_NOT_COMPLETE));
    auto processors = sim::spooler().PrintProcessors();
    EXPECT_NE(std::ranges::find(processors, u"Proc"), processors.end());
}
} // namespace
