// The component step on a seeded machine: services stopped and deleted (or installed), programs run,
// the device-server drivers' use counts, the COM clean-up request and the driver step's checks.
#include "components.h"
#include "os_index.h"
#include "uninstaller_fixture.h"

#include <sim/device_tree.h>
#include <sim/kernel_devices.h>
#include <sim/spooler.h>
#include <sim/services.h>

#include <cstring>
#include <filesystem>

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
        sim::files().Put(kFileList, fileList.Text());
        sim::files().Put(kComponentIniW, components.Text());
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
        auto v = sim::registry().Value(HKEY_LOCAL_MACHINE, key, name);
        if (!v || v->type != REG_DWORD || v->data.size() != 4)
            return std::nullopt;
        DWORD d;
        std::memcpy(&d, v->data.data(), 4);
        return d;
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
    sim::files().Put(u"C:\\Program Files\\Velmo\\svc.exe", "program");
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
    sim::files().SetVersion(u"C:\\Program Files\\Velmo\\svc.exe", 3, 4, 5, 6);
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
    auto version = sim::registry().Value(
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
        sim::files().Put(u"C:\\Setup.txt", "");
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
    sim::processes().RegisterStandIn(u"Remover.exe", [&](const sim::StartedProcess& p) {
        started.push_back(p);
        return DWORD{7};
    });
    sim::files().Put(u"C:\\Tools\\Remover.exe", "program");
    sim::files().Put(kComponentIniW, Ini()
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
        sim::files().Put(u"C:\\Setup.txt", "");
        if (c.fault)
            sim::faults().FailNext(c.fault, ERROR_ACCESS_DENIED);
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
        sim::files().Put(u"C:\\Setup.txt", "");
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
        EXPECT_EQ(sim::registry().KeyExists(HKEY_LOCAL_MACHINE, own), c.ownKeyAfter) << c.name;
        EXPECT_EQ(sim::registry().KeyExists(HKEY_LOCAL_MACHINE, kUseKey), c.useKeyAfter) << c.name;
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
        sim::files().Put(u"C:\\Setup.txt", "");
        const WString folder = u"C:\\Program Files\\Velmo\\Uninstall\\Drv\\x64\\";
        if (c.inf)
            sim::files().Put(folder + u"tzuptp.inf", c.inf);
        if (c.sysFile)
            sim::files().Put(folder + u"amd64\\tzuptp.sys", "driver");
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

constexpr const char16_t* kHardwareId = u"USB\\VID_1234&PID_0001";
constexpr const char16_t* kPackage = u"C:\\Program Files\\Velmo\\Uninstall\\Drv\\x64\\";
constexpr const char16_t* kSysFile = u"C:\\Windows\\System32\\drivers\\tzuptp.sys";
constexpr const char16_t* kServiceKey = u"System\\CurrentControlSet\\Services\\";

sim::DeviceNodeSetup DeviceNode(const char16_t* id, const char16_t* hardwareId, bool present,
                                bool needsRestart = false)
{
    sim::DeviceNodeSetup n;
    n.instanceId = id;
    n.hardwareIds = {WString(hardwareId) + u"&REV_0100", hardwareId};
    n.className = u"USB";
    n.classGuid = sim::kUsbClass;
    n.description = u"Device server";
    n.present = present;
    n.needsRestart = needsRestart;
    return n;
}

bool AnyDeviceWith(WStringView hardwareId)
{
    for (const sim::DeviceNodeSetup& n : sim::deviceTree().Nodes())
        for (const WString& id : n.hardwareIds)
            if (id == hardwareId)
                return true;
    return false;
}

void SetText(WStringView key, WStringView name, const std::string& value)
{
    sim::registry().SetValue(HKEY_LOCAL_MACHINE, key, name, REG_SZ, WideBytes(value));
}

sim::OsIdentity Windows7()
{
    sim::OsIdentity os;
    os.major = 6;
    os.minor = 1;
    os.build = 7601;
    os.servicePackMajor = 1;
    return os;
}

class DriverTest : public ComponentTest
{
protected:
    // The driver's package beside the component INI, and the entry that names it.
    void Package(const char* mode, const std::string& inf = kDriverInf)
    {
        sim::files().Put(WString(kPackage) + u"tzuptp.inf", inf);
        sim::files().Put(WString(kPackage) + u"amd64\\tzuptp.sys", "driver");
        std::filesystem::create_directories(sim::files().HostPath(u"C:\\Windows\\System32\\drivers"));
        Write(FileList()
                  .Set("UNINSTALL", "REGISTKEY", "MyApp")
                  .Set("COMPONENT", "DRIVER_00", std::string("Drv;Tzuptp Driver;") + mode),
              Ini()
                  .Set("DRIVER_Drv", "NAME", "TZUPTP Driver")
                  .Set("DRIVER_Drv", "OS", "_W10:10X64,8X64,7X64")
                  .Set("DRIVER_Drv", "PATH_W10", "Drv\\x64;NTamd64")
                  .Set("DRIVER_Drv", "INFFILE", "tzuptp.inf"));
    }

    // What an install left: two devices with the id (one unplugged), the OEM INF with its PNF, another
    // driver's OEM INF, the service's file by its ImagePath and the filter beside it.
    void SeedInstalled(bool needsRestart)
    {
        sim::files().Put(u"C:\\Setup.txt", "");
        Package("UNINSTALL");
        sim::deviceTree().AddNode(DeviceNode(u"USB\\VID_1234&PID_0001\\1", kHardwareId, true));
        sim::deviceTree().AddNode(DeviceNode(u"USB\\VID_1234&PID_0001\\2", kHardwareId, false, needsRestart));
        sim::deviceTree().AddNode(DeviceNode(u"USB\\VID_1234&PID_0002\\1", u"USB\\VID_1234&PID_0002", true));
        sim::files().Put(u"C:\\Windows\\INF\\oem5.inf", kDriverInf);
        sim::files().Put(u"C:\\Windows\\INF\\oem5.pnf", "PNF");
        std::string other = kDriverInf;
        other.replace(other.find("PID_0001"), 8, "PID_0002");
        sim::files().Put(u"C:\\Windows\\INF\\oem6.inf", other);
        sim::files().Put(u"C:\\Windows\\INF\\oem6.pnf", "PNF");
        SetText(WString(kServiceKey) + u"TZUPTP", u"ImagePath",
                "\\SystemRoot\\System32\\drivers\\tzuptp.sys");
        sim::files().Put(kSysFile, "driver");
        SetDword(WString(kServiceKey) + u"tzhidflt", u"Start", 1);
        sim::files().Put(u"C:\\Windows\\System32\\drivers\\Tzhidflt.sys", "filter");
        SetDword(WString(kUseKey) + u"\\MyApp", u"Tzuptp Driver", 1);
        SetDword(kUseKey, u"Tzuptp Driver", 1);
    }

    bool Run(int& code, std::string& failing, bool& reboot)
    {
        bool ok = false;
        Within([&](UninstallState& s) {
            s.rebootRequested = 0;
            ok = UninstallComponents(s, failing, code);
            reboot = s.rebootRequested != 0;
        });
        return ok;
    }
};

TEST_F(DriverTest, UninstallRemovesEveryDeviceThenTheDriversFiles)
{
    struct Case
    {
        const char* name;
        sim::OsIdentity os;
        bool needsRestart;
        bool reboot;
        DWORD filterStart;
    } cases[] = {
        {"Windows 10", {}, false, false, 3},
        {"a device asks for a restart", {}, true, true, 3},
        {"Windows 7 keeps the filter", Windows7(), false, false, 1},
    };
    for (const Case& c : cases)
    {
        sim::machine().Reset();
        sim::machine().SetOs(c.os);
        SeedInstalled(c.needsRestart);
        int code = -1;
        std::string failing;
        bool reboot = false;
        EXPECT_TRUE(Run(code, failing, reboot)) << c.name << " " << code;
        EXPECT_EQ(reboot, c.reboot) << c.name;
        EXPECT_EQ(
            LinesWith("dwLastCode:"),
            std::vector<std::string>{std::string("  (UNINSTALL) dwLastCode:") + (c.reboot ? "10" : "0")})
            << c.name;
        EXPECT_FALSE(AnyDeviceWith(kHardwareId)) << c.name;
        EXPECT_TRUE(AnyDeviceWith(u"USB\\VID_1234&PID_0002")) << c.name;
        EXPECT_FALSE(sim::files().Exists(u"C:\\Windows\\INF\\oem5.inf")) << c.name;
        EXPECT_FALSE(sim::files().Exists(u"C:\\Windows\\INF\\oem5.pnf")) << c.name;
        EXPECT_TRUE(sim::files().Exists(u"C:\\Windows\\INF\\oem6.inf")) << c.name;
        EXPECT_TRUE(sim::files().Exists(u"C:\\Windows\\INF\\oem6.pnf")) << c.name;
        EXPECT_FALSE(sim::files().Exists(kSysFile)) << c.name;
        EXPECT_EQ(Dword(WString(kServiceKey) + u"tzhidflt", u"Start"), c.filterStart) << c.name;
        EXPECT_EQ(sim::files().Exists(u"C:\\Windows\\System32\\drivers\\Tzhidflt.sys"), c.filterStart == 1)
            << c.name;
        EXPECT_FALSE(sim::registry().KeyExists(HKEY_LOCAL_MACHINE, kUseKey)) << c.name;
        EXPECT_EQ(LinesWith("  Delete Driver : ").size(), 2u) << c.name;
    }
}

TEST_F(DriverTest, AnUnreadableOemInfIsSaidSoAndKept)
{
    SeedInstalled(false);
    // Open for writing without sharing: the INF cannot be read, so it cannot be judged.
    HANDLE held = CreateFileW(u"C:\\Windows\\INF\\oem5.inf", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    int code = -1;
    std::string failing;
    bool reboot = false;
    EXPECT_TRUE(Run(code, failing, reboot));
    CloseHandle(held);
    EXPECT_TRUE(sim::files().Exists(u"C:\\Windows\\INF\\oem5.inf"));
    EXPECT_EQ(LinesWith("INF File Read Error").size(), 1u);
    EXPECT_FALSE(AnyDeviceWith(kHardwareId));
}

TEST_F(DriverTest, InstallAndUninstallOfAUsbDriverRoundTrip)
{
    sim::files().Put(u"C:\\Setup.txt", "");
    Package("INSTALL");
    sim::deviceTree().AddNode(DeviceNode(u"USB\\VID_1234&PID_0001\\1", kHardwareId, true));
    int code = -1;
    std::string failing;
    bool reboot = false;
    ASSERT_TRUE(Run(code, failing, reboot)) << code;
    EXPECT_TRUE(sim::files().Exists(kSysFile));
    auto node = sim::deviceTree().Node(u"USB\\VID_1234&PID_0001\\1");
    ASSERT_TRUE(node);
    EXPECT_EQ(node->service, u"TZUPTP");
    ASSERT_FALSE(node->infPath.empty());
    const WString oem = WString(u"C:\\Windows\\INF\\") + node->infPath;
    EXPECT_EQ(sim::files().Bytes(oem), std::optional<std::string>(kDriverInf));
    EXPECT_EQ(LinesWith("  Copy OemInfo: ").size(), 1u);
    EXPECT_EQ(Dword(WString(kUseKey) + u"\\MyApp", u"Tzuptp Driver"), 1u);
    EXPECT_EQ(Dword(kUseKey, u"Tzuptp Driver"), 1u);

    // The version check reads what the install left on the device's driver key.
    Within([&](UninstallState&) {
        const std::string inf = "C:\\Program Files\\Velmo\\Uninstall\\Drv\\x64\\tzuptp.inf";
        TzSetupDriverArgs args{inf.c_str(), "", kModeVersionCheck, sizeof(TzSetupDriverArgs), "NTamd64"};
        DWORD check = 0;
        EXPECT_TRUE(TzSetupDriver(nullptr, &args, &check));
        EXPECT_EQ(check, DWORD(kResultSame));
    });

    Package("UNINSTALL");
    ASSERT_TRUE(Run(code, failing, reboot)) << code;
    EXPECT_FALSE(AnyDeviceWith(kHardwareId));
    EXPECT_FALSE(sim::files().Exists(oem));
    EXPECT_FALSE(sim::files().Exists(oem.substr(0, oem.size() - 3) + u"pnf"));
    EXPECT_FALSE(sim::files().Exists(kSysFile));
    EXPECT_TRUE(sim::spooler().Packages().empty()); // the driver store forgot it too
}

TEST_F(DriverTest, ASystemDriverMakesItsDeviceAndTakesItBackWhenTheUpdateFails)
{
    std::string inf = kDriverInf;
    inf.replace(inf.find("Class=USB"), 9, "Class=System\r\nClassGUID={4D36E97D-E325-11CE-BFC1-08002BE10318}");
    inf.replace(inf.find("USB\\VID_1234&PID_0001"), 21, "ROOT\\TZLNKMGR");
    for (DWORD failure : {DWORD(0), DWORD(ERROR_ACCESS_DENIED)})
    {
        sim::machine().Reset();
        sim::files().Put(u"C:\\Setup.txt", "");
        Package("INSTALL", inf);
        sim::deviceTree().FailDriverUpdates(failure);
        int code = -1;
        std::string failing;
        bool reboot = false;
        bool ok = Run(code, failing, reboot);
        EXPECT_EQ(ok, failure == 0) << failure;
        EXPECT_EQ(code, failure ? kResultRegisterFailed : kResultSuccess) << failure;
        auto node = sim::deviceTree().Node(u"ROOT\\SYSTEM\\0000");
        EXPECT_EQ(node.has_value(), failure == 0) << failure;
        EXPECT_FALSE(sim::files().Exists(kSysFile)) << "a System driver's file is the update's to place";
        if (node)
        {
            EXPECT_EQ(node->hardwareIds, std::vector<WString>{u"ROOT\\TZLNKMGR"});
            EXPECT_TRUE(node->present);
            EXPECT_EQ(node->service, u"TZUPTP");
        }
    }
}

TEST_F(DriverTest, TheComClearWaitsWhileADeviceServerPortIsPresent)
{
    struct Case
    {
        const char* name;
        const char16_t* portName;
        const char16_t* friendlyName;
        bool present;
        size_t waits;
    } cases[] = {
        {"device server port", u"COM3", u"Tzspe Driver (COM3)", true, 30},
        {"unplugged", u"COM3", u"Tzspe Driver (COM3)", false, 0},
        {"another port", u"COM4", u"Modem (COM4)", true, 0},
        {"not a COM port", u"LPT2", u"Tzspe Driver (LPT2)", true, 0},
    };
    for (const Case& c : cases)
    {
        sim::machine().Reset();
        sim::files().Put(u"C:\\Setup.txt", "");
        sim::kernelDevices().Add({u"tzuptp", 0, false});
        sim::DeviceNodeSetup port;
        port.instanceId = u"TZSPE\\PORT\\1";
        port.hardwareIds = {u"TZSPE\\PORT"};
        port.className = u"Ports";
        port.classGuid = sim::kPortsClass;
        port.friendlyName = WString(c.friendlyName);
        port.portName = c.portName;
        port.present = c.present;
        sim::deviceTree().AddNode(port);
        Within([&](UninstallState&) { EXPECT_EQ(Tzuptp_AllClearComInfo(), 1); });
        EXPECT_EQ(LinesWith("Tzuptp_AllClearComInfo [tzspe driver] exists.").size(), c.waits) << c.name;
    }
}

// A driver's removal on the machine an install left, with each setup call failing once in turn: the
// step says so with a code, no driver file goes while a device with the id remains, and a run without
// the fault completes it.
TEST_F(DriverTest, EachSetupCallFailingOnceInTurn)
{
    auto seed = [&] {
        sim::machine().Reset();
        sim::files().Put(u"C:\\Setup.txt", "");
        Package("INSTALL");
        sim::deviceTree().AddNode(DeviceNode(u"USB\\VID_1234&PID_0001\\1", kHardwareId, true));
        sim::deviceTree().AddNode(DeviceNode(u"USB\\VID_1234&PID_0001\\2", kHardwareId, false));
        int code = -1;
        std::string failing;
        bool reboot = false;
        ASSERT_TRUE(Run(code, failing, reboot)) << code;
        Package("UNINSTALL");
        sim::spooler().ClearCalls();
    };
    auto gone = [&] {
        return !AnyDeviceWith(kHardwareId) && !sim::files().Exists(kSysFile) &&
               sim::spooler().Packages().empty();
    };
    seed();
    int code = -1;
    std::string failing;
    bool reboot = false;
    ASSERT_TRUE(Run(code, failing, reboot));
    ASSERT_TRUE(gone());
    const std::vector<std::string> calls = sim::spooler().Calls();
    ASSERT_GT(calls.size(), 5u);
    for (size_t i = 0; i < calls.size(); ++i)
    {
        seed();
        int skip = static_cast<int>(
            std::count(calls.begin(), calls.begin() + static_cast<std::ptrdiff_t>(i), calls[i]));
        sim::faults().FailNext(calls[i], ERROR_ACCESS_DENIED, 1, skip);
        bool ok = Run(code, failing, reboot);
        EXPECT_TRUE(sim::faults().Pending().empty()) << i << " " << calls[i];
        if (!ok)
        {
            EXPECT_EQ(failing, "Drv") << calls[i];
            EXPECT_NE(code, kResultSuccess) << calls[i];
        }
        if (AnyDeviceWith(kHardwareId))
        {
            EXPECT_FALSE(ok) << calls[i] << ": success reported, a device left";
            EXPECT_TRUE(sim::files().Exists(kSysFile)) << calls[i] << ": file gone under a device";
        }
        // Run again without the fault: the removal completes.
        EXPECT_TRUE(Run(code, failing, reboot)) << calls[i] << " " << code;
        EXPECT_TRUE(gone()) << "call " << i << " " << calls[i];
    }
}

TEST_F(ComponentTest, EachServiceCallFailingOnceInTurn)
{
    const char* apis[] = {"OpenSCManagerA", "OpenServiceA", "QueryServiceStatus", "ControlService",
                          "DeleteService"};
    for (const char* api : apis)
    {
        sim::machine().Reset();
        AddService(u"VelmoSvc", SERVICE_RUNNING);
        Write(FileList().Set("COMPONENT", "SERVICE_00", "Svc;VelmoSvc;UNINSTALL"),
              Ini().Set("SERVICE_Svc", "NAME", "VelmoSvc"));
        sim::faults().FailNext(api, ERROR_ACCESS_DENIED);
        bool ok = false;
        std::string failing;
        int code = -1;
        Within([&](UninstallState& s) { ok = UninstallComponents(s, failing, code); });
        EXPECT_TRUE(sim::faults().Pending().empty()) << api;
        if (ok)
        {
            EXPECT_FALSE(sim::services().State(u"VelmoSvc")) << api << ": success reported, service left";
        }
        else
        {
            EXPECT_EQ(failing, "Svc") << api;
            EXPECT_EQ(code, kResultRemoveFailed) << api;
        }
        Within([&](UninstallState& s) { ok = UninstallComponents(s, failing, code); });
        EXPECT_TRUE(ok) << api << " " << code;
        EXPECT_FALSE(sim::services().State(u"VelmoSvc")) << api;
    }
}

} // namespace
} // namespace uninstall::testing
