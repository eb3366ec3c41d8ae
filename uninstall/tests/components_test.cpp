// The component step on a seeded machine: services stopped and deleted (or installed), programs run,
// the device-server drivers' use counts, the COM clean-up request and the driver step's checks.
#include "components.h"
#include "os_index.h"
#include "uninstaller_fixture.h"

#include <sim/kernel_devices.h>
#include <sim/services.h>

#include <cstring>

namespace uninstall::testing
{
namespace
{
constexpr const char* kComponentIni = "C:\\Program Files\\Velmo\\Uninstall\\Comp.ini";
constexpr const char16_t* kComponentIniW = u"C:\\Program Files\\Velmo\\Uninstall\\Comp.ini";
constexpr const char16_t* kFileList = u"C:\\Program Files\\Velmo\\Uninstall\\Unflist.ini";
constexpr const char16_t* kUseKey = u"Software\\Tzuptp Driver";

class ComponentTest : public UninstallerTest
{
protected:
    // Runs `body` on a program thread with the record set up as the start would leave it.
    void Within(const std::function<void(UninstallState&)>& body)
    {
        sim::desktop().Run(
            [&]() -> DWORD {
                ResetState();
                UninstallState& s = State();
                GetOsIndex(s, &s.osFlags);
                BuildSectionTable(s);
                std::strcpy(s.moduleFolder, "C:\\Program Files\\Velmo\\Uninstall\\");
                std::strcpy(s.fileListIniPath, "C:\\Program Files\\Velmo\\Uninstall\\Unflist.ini");
                s.logFlags = kLogFile;
                s.removeDeviceServerPort = 1;
                body(s);
                return 0;
            },
            {});
    }

    void Write(const Ini& fileList, const Ini& components)
    {
        sim::machine().PutFile(kFileList, fileList.Text());
        sim::machine().PutFile(kComponentIniW, components.Text());
    }

    static Ini FileList(const std::string& order = {})
    {
        Ini ini = DefaultFileListIni();
        ini.Set("COMPONENT", "INIFILE", "Comp.ini");
        if (!order.empty())
            ini.Set("COMPONENT", "UNINST_ORDER", order);
        return ini;
    }

    static void AddService(const char16_t* name, DWORD state)
    {
        sim::ServiceSetup s;
        s.name = name;
        s.binaryPath = u"C:\\Program Files\\Velmo\\svc.exe";
        s.state = state;
        sim::services().Add(s);
    }

    static std::optional<DWORD> Dword(WStringView key, WStringView name)
    {
        auto v = sim::machine().GetRegistryValue(HKEY_LOCAL_MACHINE, key, name);
        if (!v || v->type != REG_DWORD || v->data.size() != 4)
            return std::nullopt;
        DWORD d;
        std::memcpy(&d, v->data.data(), 4);
        return d;
    }

    static void SetDword(WStringView key, WStringView name, DWORD value)
    {
        sim::machine().SetRegistryValue(HKEY_LOCAL_MACHINE, key, name, REG_DWORD,
                                        {reinterpret_cast<const BYTE*>(&value), 4});
    }

    // Log lines that hold `part`, in order.
    std::vector<std::string> LinesWith(const std::string& part) const
    {
        std::vector<std::string> found;
        for (const std::string& l : LogLines())
            if (l.find(part) != std::string::npos)
                found.push_back(l);
        return found;
    }
};

TEST_F(ComponentTest, ServiceUninstallStopsAndDeletesAndAnAbsentOneIsNoFailure)
{
    AddService(u"VelmoSvc", SERVICE_RUNNING);
    Write(FileList()
              .Set("COMPONENT", "SERVICE_00", "Svc;VelmoSvc;UNINSTALL")
              .Set("COMPONENT", "SERVICE_01", "Gone;Gone;UNINSTALL")
              .Set("COMPONENT", "SERVICE_02", "Stop;Other;STOP"),
          Ini().Set("SERVICE_Svc", "NAME", "VelmoSvc").Set("SERVICE_Gone", "NAME", "NoSuchService"));
    bool ok = false;
    std::string failing;
    int code = -1;
    Within([&](UninstallState& s) {
        ok = UninstallComponents(s, failing, code);
        ASSERT_TRUE(s.sections[0].component);
        EXPECT_EQ(s.sections[0].component->services[0].result, kResultSuccess);
        EXPECT_EQ(s.sections[0].component->services[1].result, kResultNotInstalled);
        EXPECT_EQ(s.sections[0].component->services[2].result, kResultSuccess);
    });
    EXPECT_TRUE(ok) << failing << " " << code;
    EXPECT_FALSE(sim::services().State(u"VelmoSvc"));
    EXPECT_EQ(sim::services().Journal(), (std::vector<std::string>{"stop VelmoSvc"}));
}

TEST_F(ComponentTest, ServicePollsAreBounded)
{
    AddService(u"Stuck", SERVICE_RUNNING);
    sim::services().SetNeverStops(u"Stuck", true);
    DWORD code = 0;
    ULONGLONG took = 0;
    Within([&](UninstallState&) {
        ULONGLONG start = GetTickCount64();
        EXPECT_FALSE(TzServiceUninstall("Stuck", &code));
        took = GetTickCount64() - start;
    });
    EXPECT_EQ(code, DWORD{kResultStopServiceFailed});
    EXPECT_GE(took, 60000u);
    EXPECT_LT(took, 70000u);

    // A start that ends stopped will not come up by waiting: the install fails without waiting long.
    sim::machine().PutFile(u"C:\\Program Files\\Velmo\\svc.exe", "program");
    sim::services().SetStartsEndStopped(u"Flaky", true);
    Within([&](UninstallState&) {
        ULONGLONG start = GetTickCount64();
        EXPECT_FALSE(TzServiceInstall("Flaky", "C:\\Program Files\\Velmo\\svc.exe", "", "", "", 0,
                                      kModeInstall, &code));
        took = GetTickCount64() - start;
    });
    EXPECT_EQ(code, DWORD{kResultRegisterFailed});
    EXPECT_LT(took, 5000u);
    EXPECT_EQ(sim::services().State(u"Flaky"), DWORD{SERVICE_STOPPED});
}

TEST_F(ComponentTest, ServiceInstallWritesItsRecord)
{
    sim::machine().SetFileVersion(u"C:\\Program Files\\Velmo\\svc.exe", 3, 4, 5, 6);
    AddService(u"Dep", SERVICE_RUNNING);
    DWORD code = 99;
    Within([&](UninstallState&) {
        EXPECT_TRUE(TzServiceInstall("VelmoSvc", "C:\\Program Files\\Velmo\\svc.exe", "Velmo status",
                                     "-port 9", "Dep", 3, kModeInstall, &code));
    });
    EXPECT_EQ(code, DWORD{kResultSuccess});
    auto setup = sim::services().Setup(u"VelmoSvc");
    ASSERT_TRUE(setup);
    EXPECT_EQ(setup->binaryPath, u"\"C:\\Program Files\\Velmo\\svc.exe\" /service -port 9");
    EXPECT_EQ(setup->startType, DWORD{SERVICE_AUTO_START});
    EXPECT_EQ(setup->dependencies, std::vector<WString>{u"Dep"});
    EXPECT_EQ(setup->description, u"Velmo status");
    EXPECT_EQ(sim::services().State(u"VelmoSvc"), DWORD{SERVICE_RUNNING});
    auto version = sim::machine().GetRegistryValue(
        HKEY_LOCAL_MACHINE, u"System\\CurrentControlSet\\Services\\VelmoSvc\\Parameters", u"ProductVersion");
    ASSERT_TRUE(version);
    EXPECT_EQ(WString(reinterpret_cast<const char16_t*>(version->data.data()), version->data.size() / 2 - 1),
              u"3.4.5.6");

    // Installed check and a program that is missing.
    Within([&](UninstallState&) {
        EXPECT_TRUE(TzServiceInstall("VelmoSvc", "C:\\Program Files\\Velmo\\svc.exe", "", "", "", 0,
                                     kModeInstalledCheck, &code));
        EXPECT_EQ(code, DWORD{kResultInstalled});
        EXPECT_FALSE(TzServiceInstall("VelmoSvc", "C:\\nowhere.exe", "", "", "", 0, kModeInstall, &code));
        EXPECT_EQ(code, DWORD{kResultFileMissing});
    });
}

TEST_F(ComponentTest, KindsRunInTheOrderAsked)
{
    struct Case
    {
        const char* order;
        const char* logged;
        std::vector<std::string> markers;
    } cases[] = {
        {"", "1, 2, 3", {"driver", "service", "file"}},
        {"FILE;SERVICE;DRIVER", "3, 2, 1", {"file", "service", "driver"}},
        {"driver;file", "1, 3, 0", {"driver", "file"}},
        {"foo;DRIVER", "1, 2, 3", {"driver", "service", "file"}},
    };
    for (const Case& c : cases)
    {
        sim::machine().PutFile(u"C:\\Setup.txt", "");
        Write(FileList(c.order)
                  .Set("COMPONENT", "DRIVER_00", "Drv;Tzspe Driver;UNINSTALL")
                  .Set("COMPONENT", "SERVICE_00", "Svc;Absent;UNINSTALL")
                  .Set("COMPONENT", "FILE_00", "Prog;Prog;INSTALL"),
              Ini()
                  .Set("SERVICE_Svc", "NAME", "Absent")
                  .Set("FILE_Prog", "NAME", "Tool")
                  .Set("FILE_Prog", "FILEPATH", "Tools\\tool.dat"));
        bool ok = false;
        std::string failing;
        int code = -1;
        ULONGLONG took = 0;
        Within([&](UninstallState& s) {
            ULONGLONG start = GetTickCount64();
            ok = UninstallComponents(s, failing, code);
            took = GetTickCount64() - start;
            // Program entries always run as removals.
            EXPECT_EQ(s.sections[0].component->files[0].mode, kModeUninstall);
            EXPECT_STREQ(s.sections[0].component->files[0].programPath,
                         "C:\\Program Files\\Velmo\\Uninstall\\Tools\\tool.dat");
        });
        EXPECT_TRUE(ok) << c.order << ": " << failing << " " << code;
        EXPECT_GE(took, 5000u);
        EXPECT_EQ(LinesWith("  Order : "), std::vector<std::string>{std::string("  Order : ") + c.logged});
        std::vector<std::string> seen;
        for (const std::string& l : LogLines())
            if (l.find("Tzuptp_AllClearComInfo success.(Tzspe Driver)") != std::string::npos)
                seen.push_back("driver");
            else if (l == "[Service]")
                seen.push_back("service");
            else if (l == "[File Start]")
                seen.push_back("file");
        EXPECT_EQ(seen, c.markers) << c.order;
    }
}

TEST_F(ComponentTest, AProgramEntryWithoutItsPathFailsTheStep)
{
    Write(FileList()
              .Set("COMPONENT", "SERVICE_00", "Svc;Absent;UNINSTALL")
              .Set("COMPONENT", "FILE_00", "Good;x;x")
              .Set("COMPONENT", "FILE_01", "NoPath;x;x"),
          Ini().Set("FILE_Good", "FILEPATH", "a.exe").Set("FILE_NoPath", "NAME", "Missing"));
    bool ok = true;
    std::string failing;
    int code = -1;
    Within([&](UninstallState& s) { ok = UninstallComponents(s, failing, code); });
    EXPECT_FALSE(ok);
    EXPECT_EQ(failing, "NoPath");
    EXPECT_EQ(code, kResultBadArgument);
    EXPECT_TRUE(LinesWith("[Service]").empty()); // nothing ran
}

TEST_F(ComponentTest, ProgramRunner)
{
    std::vector<sim::StartedProcess> started;
    sim::machine().RegisterStandIn(u"Remover.exe", [&](const sim::StartedProcess& p) {
        started.push_back(p);
        return DWORD{7};
    });
    sim::machine().PutFile(u"C:\\Tools\\Remover.exe", "program");
    sim::machine().PutFile(kComponentIniW, Ini()
                                               .Set("FILE_Run", "NAME", "Remover")
                                               .Set("FILE_Run", "UNINSTALLCOMMAND", "/u")
                                               .Set("FILE_Doc", "NAME", "Notes")
                                               .Text());
    struct Case
    {
        const char* section;
        const char* program;
        short mode;
        const char* fault;
        int result;
    } cases[] = {
        {"Run", "C:\\Tools\\Remover.exe", kModeUninstall, nullptr, 0},
        {"Doc", "C:\\Tools\\notes.xyz", kModeUninstall, nullptr, 0}, // nothing opens it: nothing to remove
        {"Doc", "C:\\Tools\\notes.xyz", kModeInstall, nullptr, 2},
        {"None", "C:\\Tools\\Remover.exe", kModeUninstall, nullptr, 1},
        {"Run", "C:\\Tools\\Remover.exe", kModeUninstall, "ShellExecuteExA", 1},
    };
    for (const Case& c : cases)
    {
        sim::machine().PutFile(u"C:\\Setup.txt", "");
        if (c.fault)
            sim::machine().FailNext(c.fault, ERROR_ACCESS_DENIED);
        int result = -1;
        Within([&](UninstallState& s) {
            ComponentEntry e = *ParseComponentEntry(std::string(c.section) + ";x;x", kComponentIni);
            e.mode = c.mode;
            std::strcpy(e.programPath, c.program);
            result = RunComponentProgram(s, e);
            EXPECT_EQ(e.done, 1);
        });
        EXPECT_EQ(result, c.result) << c.section << " " << c.program;
        EXPECT_EQ(LinesWith("  [dwCode] : ").back(), "  [dwCode] : " + std::to_string(c.result));
    }
    ASSERT_EQ(started.size(), 1u);
    EXPECT_NE(started[0].commandLine.find(u"/u -dlog"), WString::npos);
    EXPECT_EQ(started[0].currentDirectory, u"C:\\Tools");
    EXPECT_EQ(LinesWith("Application Error"),
              std::vector<std::string>{"  Application Error(0x00000005) : C:\\Tools\\Remover.exe"});
}

TEST_F(ComponentTest, DriverUseCountsMarksAndKeys)
{
    struct Case
    {
        const char* name;
        std::vector<std::pair<const char16_t*, DWORD>> ownMarks;
        std::vector<const char16_t*> others;
        DWORD count;
        bool virtualLink;
        const char* driver;
        // after
        std::optional<DWORD> countAfter;
        bool ownKeyAfter;
        bool useKeyAfter;
        int removePort;
    } cases[] = {
        {"own subkey only",
         {{u"Tzuptp Driver", 1}},
         {},
         1,
         false,
         "Tzuptp Driver",
         std::nullopt,
         false,
         false,
         1},
        {"another application",
         {{u"Tzuptp Driver", 1}},
         {u"Other"},
         2,
         false,
         "Tzuptp Driver",
         1,
         false,
         true,
         0},
        {"virtual link installed", {{u"Tzuptp Driver", 1}}, {}, 1, true, "Tzuptp Driver", 0, false, true, 0},
        {"no mark: no count given back",
         {{u"Tzuptp Driver", 0}, {u"Tzspe Driver", 1}},
         {u"Other"},
         0,
         false,
         "Tzuptp Driver",
         0,
         true,
         true,
         0},
        {"other driver kept",
         {{u"Tzspe Driver", 1}},
         {u"Other"},
         3,
         false,
         "Tzspe Driver",
         2,
         false,
         true,
         1},
    };
    for (const Case& c : cases)
    {
        sim::machine().Reset();
        sim::machine().PutFile(u"C:\\Setup.txt", "");
        WString own = WString(kUseKey) + u"\\MyApp";
        for (auto [driver, mark] : c.ownMarks)
            SetDword(own, driver, mark);
        for (const char16_t* other : c.others)
            SetDword(WString(kUseKey) + u"\\" + other, u"Tzuptp Driver", 1);
        SetDword(kUseKey, W(c.driver), c.count);
        if (c.virtualLink)
            SetDword(u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TZ Virtual Link", u"x", 1);
        Write(FileList()
                  .Set("UNINSTALL", "REGISTKEY", "MyApp")
                  .Set("COMPONENT", "DRIVER_00", std::string("Drv;") + c.driver + ";UNINSTALL"),
              Ini().Set("DRIVER_Drv", "OS", "_X:95"));
        int removePort = -1;
        bool ok = false;
        Within([&](UninstallState& s) {
            std::string failing;
            int code = 0;
            ok = UninstallComponents(s, failing, code);
            removePort = s.removeDeviceServerPort;
        });
        EXPECT_TRUE(ok) << c.name;
        EXPECT_EQ(removePort, c.removePort) << c.name;
        EXPECT_EQ(Dword(kUseKey, W(c.driver)), c.countAfter) << c.name;
        EXPECT_EQ(sim::machine().RegistryKeyExists(HKEY_LOCAL_MACHINE, own), c.ownKeyAfter) << c.name;
        EXPECT_EQ(sim::machine().RegistryKeyExists(HKEY_LOCAL_MACHINE, kUseKey), c.useKeyAfter) << c.name;
    }
}

TEST_F(ComponentTest, InstallBookkeepingCountsAnApplicationOnce)
{
    Within([&](UninstallState&) {
        RecordDriverInstall("MyApp", "Tzuptp Driver");
        RecordDriverInstall("MyApp", "Tzuptp Driver");
        RecordDriverInstall("Other", "Tzuptp Driver");
    });
    EXPECT_EQ(Dword(kUseKey, u"Tzuptp Driver"), 2u);
    EXPECT_EQ(Dword(WString(kUseKey) + u"\\MyApp", u"Tzuptp Driver"), 1u);
}

TEST_F(ComponentTest, TheLastTzspeUserClearsTheComInformation)
{
    sim::kernelDevices().Add({u"tzuptp", 0, false});
    SetDword(kUseKey, u"Tzspe Driver", 1);
    SetDword(WString(kUseKey) + u"\\MyApp", u"Tzspe Driver", 1);
    SetDword(WString(kUseKey) + u"\\Other", u"Tzuptp Driver", 1);
    Write(FileList()
              .Set("UNINSTALL", "REGISTKEY", "MyApp")
              .Set("COMPONENT", "DRIVER_00", "Drv;Tzspe Driver;UNINSTALL"),
          Ini());
    Within([&](UninstallState& s) {
        std::string failing;
        int code = 0;
        EXPECT_TRUE(UninstallComponents(s, failing, code));
    });
    auto activity = sim::kernelDevices().Activity(u"tzuptp");
    ASSERT_TRUE(activity);
    ASSERT_EQ(activity->controls, std::vector<DWORD>{0x806021C4});
    EXPECT_EQ(activity->inputs[0], (std::vector<BYTE>{0, 0, 0, 0, 0, 0, 0xFF, 0}));
    EXPECT_EQ(Dword(kUseKey, u"Tzspe Driver"), 0u);

    // No device: nothing to ask, still done.
    sim::kernelDevices().Remove(u"tzuptp");
    Within([&](UninstallState&) { EXPECT_EQ(Tzuptp_AllClearComInfo(), 1); });
}

constexpr const char* kDriverInf = "[Version]\r\n"
                                   "Class=USB\r\n"
                                   "DriverVer=05/01/2020,2.3.0.1\r\n"
                                   "[Manufacturer]\r\n"
                                   "%Mfg%=Models,NTamd64\r\n"
                                   "[Models.NTamd64]\r\n"
                                   "%Desc%=Install,USB\\VID_1234&PID_0001\r\n"
                                   "[Install.NT]\r\n"
                                   "CopyFiles=Files\r\n"
                                   "[Install.NT.Services]\r\n"
                                   "AddService=TZUPTP,2,Service\r\n"
                                   "[Files]\r\n"
                                   "tzuptp.sys\r\n"
                                   "[SourceDisksNames.amd64]\r\n"
                                   "1=Disk,,,\\amd64\r\n"
                                   "[SourceDisksFiles.amd64]\r\n"
                                   "tzuptp.sys=1\r\n"
                                   "[Strings]\r\n"
                                   "Mfg=Maker\r\n"
                                   "Desc=Device server\r\n";

TEST_F(ComponentTest, DriverStepChecksBeforeItTouchesDevices)
{
    struct Case
    {
        const char* name;
        const char* inf;
        bool sysFile;
        std::optional<BYTE> connection;
        int code;
    } cases[] = {
        {"a program holds the device", kDriverInf, true, BYTE{1}, kResultConnected},
        {"driver file missing", kDriverInf, false, std::nullopt, kResultFileMissing},
        {"no source disk files", "[Version]\r\nClass=USB\r\n", true, std::nullopt, kResultNotTargetOs},
        {"INF missing", nullptr, true, std::nullopt, kResultNotTargetOs},
    };
    for (const Case& c : cases)
    {
        sim::machine().Reset();
        sim::machine().PutFile(u"C:\\Setup.txt", "");
        const WString folder = u"C:\\Program Files\\Velmo\\Uninstall\\Drv\\x64\\";
        if (c.inf)
            sim::machine().PutFile(folder + u"tzuptp.inf", c.inf);
        if (c.sysFile)
            sim::machine().PutFile(folder + u"amd64\\tzuptp.sys", "driver");
        if (c.connection)
            sim::kernelDevices().Add({u"TZUPTP", *c.connection, false});
        Write(FileList().Set("COMPONENT", "DRIVER_00", "Drv;Tzuptp Driver;UNINSTALL"),
              Ini()
                  .Set("DRIVER_Drv", "NAME", "TZUPTP Driver")
                  .Set("DRIVER_Drv", "OS_00", "_W8:8X64")
                  .Set("DRIVER_Drv", "OS_01", "_W10:10X64,SERVERX64")
                  .Set("DRIVER_Drv", "PATH_W10", "Drv\\x64;NTamd64")
                  .Set("DRIVER_Drv", "PATH", "Drv\\x86;NTx86")
                  .Set("DRIVER_Drv", "INFFILE", "tzuptp.inf")
                  .Set("DRIVER_Drv", "PACKAGE_W10", "Pkg"));
        bool ok = true;
        std::string failing;
        int code = -1;
        Within([&](UninstallState& s) { ok = UninstallComponents(s, failing, code); });
        EXPECT_FALSE(ok) << c.name;
        EXPECT_EQ(failing, "Drv") << c.name;
        EXPECT_EQ(code, c.code) << c.name;
        EXPECT_EQ(LinesWith("  InfFile     : "),
                  std::vector<std::string>{
                      "  InfFile     : C:\\Program Files\\Velmo\\Uninstall\\Drv\\x64\\tzuptp.inf"});
        EXPECT_EQ(LinesWith("  Package File: "),
                  std::vector<std::string>{
                      "  Package File: C:\\Program Files\\Velmo\\Uninstall\\Pkg\\difxapi.dll"});
        EXPECT_EQ(LinesWith("  TargetOS    : "), std::vector<std::string>{"  TargetOS    : NTamd64"});
        EXPECT_EQ(LinesWith("dwLastCode:").back(), "  (UNINSTALL) dwLastCode:" + std::to_string(c.code));
    }
}

} // namespace
} // namespace uninstall::testing
