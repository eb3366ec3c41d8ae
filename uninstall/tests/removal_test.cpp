// The whole removal on a machine seeded as the installer leaves it: the worker, then the copy in the
// temporary folder that finishes after the first stage has ended.
#include "msgbox.h"
#include "startup.h"
#include "uninstaller_fixture.h"

#include <sim/desktop.h>
#include <sim/device_tree.h>
#include <sim/fault_record.h>
#include <sim/kernel_devices.h>
#include <sim/services.h>
#include <sim/snapshot.h>
#include <sim/spooler.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <sstream>

namespace uninstall::testing
{
namespace
{
constexpr const char* kProduct = "C:\\Program Files\\Velmo\\Q7";
constexpr const char* kMenu = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Velmo";
constexpr const char* kShared = "C:\\Program Files\\Common Files\\Velmo\\Shared.dll";
constexpr const char16_t* kTemp = u"C:\\Users\\User\\AppData\\Local\\Temp";
constexpr const char* kAnnSid = "S-1-5-21-1004336348-1177238915-682003330-1002";
constexpr const char* kBobSid = "S-1-5-21-1004336348-1177238915-682003330-1003";
constexpr const char16_t* kUninstallEntry =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VelmoQ7";

// The driver package and the component INI stay where the installer put them: not listed.
constexpr const char* kPackage = "C:\\ProgramData\\Velmo\\Driver";
constexpr const char16_t* kMonitorKey = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Velmo Port";
constexpr const char16_t* kRunKey = u"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char16_t* kDeviceId = u"USB\\VID_1234&PID_0001\\1";
constexpr UINT kStatusCloseOffset = 12;

// The status monitor as the product runs it: a program of its own holding its mutex and a window that
// closes when asked.
std::atomic<bool> g_statusUp = false;
std::atomic<HWND> g_statusWindow = nullptr;

LRESULT CALLBACK StatusProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_USER + kStatusCloseOffset)
    {
        DestroyWindow(window);
        return 0;
    }
    if (message == WM_DESTROY)
        PostQuitMessage(0);
    return DefWindowProcW(window, message, wParam, lParam);
}

DWORD StatusMonitor()
{
    HANDLE mutex = CreateMutexW(nullptr, FALSE, u"Global\\VelmoStatus");
    WNDCLASSW wc{};
    wc.lpfnWndProc = StatusProc;
    wc.lpszClassName = u"VelmoStatus";
    RegisterClassW(&wc);
    g_statusWindow = CreateWindowExW(0, u"VelmoStatus", u"Status", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                     nullptr, nullptr, nullptr);
    g_statusUp = true;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0)
        DispatchMessageW(&msg);
    CloseHandle(mutex);
    g_statusUp = false;
    return 0;
}

std::string Path(const std::string& folder, const std::string& name)
{
    return folder + "\\" + name;
}

bool Exists(const std::string& path)
{
    return sim::files().Exists(W(path));
}

bool KeyExists(HKEY root, const std::string& key)
{
    return sim::registry().KeyExists(root, W(key));
}

void PutKey(HKEY root, const std::string& key, const std::string& name = "Note",
            const std::string& value = "x")
{
    sim::registry().SetValue(root, W(key), W(name), REG_SZ, WideBytes(value));
}

struct Seed
{
    bool siblingProduct = true;
};

// What an installer leaves: the product's files, shortcuts and folders, its registry entries for the
// machine and each user, a shared file, firewall entries, a program to run first and its uninstall
// entry, with the file-list INI naming them all.
class RemovalTest : public UninstallerTest
{
protected:
    void SetUp() override
    {
        UninstallerTest::SetUp();
        UseRealRemoval();
    }

    Ini SeedMachine(const Seed& seed = {})
    {
        auto& m = sim::machine();
        for (const char* f : {"Driver.dll", "Bin\\Tool.exe", "Bin\\Stop.exe"})
            sim::files().Put(W(Path(kProduct, f)), "product");
        sim::files().Put(u"C:\\Program Files\\Velmo\\Other\\keep.txt", "another product");
        sim::files().Put(W(Path(kMenu, "Q7.lnk")), "link");
        sim::files().Put(u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Other.lnk", "link");
        sim::files().Put(W(kShared), "shared");
        sim::files().Put(kProgram, "program");
        sim::files().Put(u"C:\\Users\\User\\Desktop\\Tray.lnk", "link");
        sim::files().Put(u"C:\\Users\\User\\Desktop\\Notes.txt", "the user's own");
        sim::files().Put(u"C:\\Users\\Ann\\Desktop\\Tray.lnk", "link");
        sim::files().Put(u"C:\\Users\\Bob\\Desktop\\Tray.lnk", "link");
        sim::processes().RegisterStandIn(u"Stop.exe", [](const sim::StartedProcess&) -> DWORD { return 0; });

        PutKey(HKEY_LOCAL_MACHINE, "Software\\Velmo\\Q7Settings");
        PutKey(HKEY_LOCAL_MACHINE, "Software\\Velmo Tools\\Big\\Child");
        PutKey(HKEY_LOCAL_MACHINE, "Software\\Velmo\\Q7");
        if (seed.siblingProduct)
            PutKey(HKEY_LOCAL_MACHINE, "Software\\Velmo\\Q9");
        PutKey(HKEY_CURRENT_USER, "Software\\Velmo\\Tray\\Link", "Shortcut",
               "C:\\Users\\User\\Desktop\\Tray.lnk");
        PutKey(HKEY_CURRENT_USER, "Software\\Velmo\\Tray\\Text", "Shortcut",
               "C:\\Users\\User\\Desktop\\Notes.txt");
        PutKey(HKEY_CURRENT_USER, "Software\\Velmo\\Keep");
        PutKey(HKEY_LOCAL_MACHINE,
               "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ControlPanel\\NameSpace\\{0A1B}");
        for (const char* k : {"CLSID\\{0A1B}\\DefaultIcon", "CLSID\\{0A1B}\\Shell\\Open\\Command",
                              "CLSID\\{0A1B}\\ShellFolder"})
            PutKey(HKEY_CLASSES_ROOT, k);
        PutKey(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VelmoQ7",
               "UninstallString", std::string(kFolderA) + "\\Uninst64.exe");

        // Components: the device server's USB driver with two devices, a service, a program to run, and
        // a port monitor with a printer on its port and a status monitor.
        sim::files().Put(W(Path(kPackage, "x64\\tzuptp.inf")), kDriverInf);
        sim::files().Put(W(Path(kPackage, "x64\\amd64\\tzuptp.sys")), "driver");
        sim::processes().RegisterStandIn(u"Tool.exe", [](const sim::StartedProcess&) -> DWORD { return 0; });
        for (const char16_t* id : {kDeviceId, u"USB\\VID_1234&PID_0001\\2"})
        {
            sim::DeviceNodeSetup n;
            n.instanceId = id;
            n.hardwareIds = {u"USB\\VID_1234&PID_0001"};
            n.className = u"USB";
            n.classGuid = sim::kUsbClass;
            n.present = WString(id) == kDeviceId;
            n.service = u"TZUPTP";
            sim::deviceTree().AddNode(n);
        }
        sim::files().Put(u"C:\\Windows\\INF\\oem5.inf", kDriverInf);
        sim::files().Put(u"C:\\Windows\\INF\\oem5.pnf", "PNF");
        sim::files().Put(u"C:\\Windows\\System32\\drivers\\tzuptp.sys", "driver");
        SetDword(u"Software\\Tzuptp Driver", u"Tzuptp Driver", 1);
        SetDword(u"Software\\Tzuptp Driver\\VelmoQ7", u"Tzuptp Driver", 1);
        sim::ServiceSetup service;
        service.name = u"VelmoSvc";
        service.binaryPath = u"C:\\Program Files\\Velmo\\Q7\\Bin\\Tool.exe";
        service.state = SERVICE_RUNNING;
        sim::services().Add(service);
        sim::files().Put(W(Path(kPackage, "Comp.ini")),
                         Ini()
                             .Set("DRIVER_Drv", "NAME", "TZUPTP Driver")
                             .Set("DRIVER_Drv", "OS", "_W10:10X64")
                             .Set("DRIVER_Drv", "PATH_W10", "x64;NTamd64")
                             .Set("DRIVER_Drv", "INFFILE", "tzuptp.inf")
                             .Set("SERVICE_Svc", "NAME", "VelmoSvc")
                             .Set("FILE_Tool", "NAME", "Tool")
                             .Set("FILE_Tool", "FILEPATH", Path(kProduct, "Bin\\Tool.exe"))
                             .Set("FILE_Tool", "UNINSTALLCOMMAND", "-remove")
                             .Text());
        sim::registry().SetValue(HKEY_LOCAL_MACHINE, kMonitorKey, u"Driver", REG_SZ, WideBytes("vmport.dll"));
        SetDword(WString(kMonitorKey) + u"\\Ports\\VM_1", u"PrintMode", 0);
        SetDword(kRunKey, u"VelmoStatusRun", 1);
        SetDword(kRunKey, u"Keep", 1);
        for (auto [name, port] : {std::pair{u"Velmo Q7", u"VM_1"}, std::pair{u"Other", u"LPT1:"}})
        {
            sim::PrinterSetup p;
            p.name = name;
            p.driverName = u"Velmo Q7";
            p.portName = port;
            sim::spooler().AddPrinter(p);
        }

        m.AddUser({u"Ann", W(kAnnSid), false});
        m.AddUser({u"Bob", W(kBobSid), true});
        for (const char* user : {"Ann", "Bob"})
            sim::registry().PutHive(W(std::string("C:\\Users\\") + user + "\\ntuser.dat"),
                                    {{u"Software\\Velmo\\Tray\\Link", u"Shortcut", REG_SZ,
                                      WideBytes(std::string("C:\\Users\\") + user + "\\Desktop\\Tray.lnk")},
                                     {u"Software\\Velmo\\Keep", u"Note", REG_SZ, WideBytes("x")}});

        Ini list = DefaultFileListIni();
        list.Set("INSTALL", "PRESTART_00", Path(kProduct, "Bin\\Stop.exe"))
            .Set("UNINSTALL", "REGISTKEY", "VelmoQ7")
            .Set("COMPONENT", "INIFILE", Path(kPackage, "Comp.ini"))
            .Set("COMPONENT", "DRIVER_00", "Drv;Tzuptp Driver;UNINSTALL")
            .Set("COMPONENT", "SERVICE_00", "Svc;VelmoSvc;UNINSTALL")
            .Set("COMPONENT", "FILE_00", "Tool;Tool;UNINSTALL")
            .Set("MONITOR", "OS_WINNT", "Velmo Port")
            .Set("MONITOR", "DLLNAME", "vmport.dll")
            .Set("MONITOR", "MONITOR_00", "Status;VelmoStatus;12;VelmoStatusRun")
            .Set("APPLICATION", "REG_000", "HLM;Software\\Velmo\\Q7Settings")
            .Set("APPLICATION", "REG_001", "HCU;Software\\Velmo\\Tray\\*.*")
            .Set("APPLICATION", "REG_002", "HCR;@CPL:{0A1B}")
            .Set("APPLICATION", "REG_003", "XYZ;Software\\Velmo\\Keep")
            .Set("APPLICATION", "REG_004", "HLM;Software\\Velmo Tools\\Big")
            .Set("SHORTCUT", "SHORTCUT_000", Path(kMenu, "Q7.lnk"))
            .Set("FILE", "FILE_000", Path(kProduct, "Driver.dll"))
            .Set("FILE", "FILE_001", Path(kProduct, "Bin\\Tool.exe"))
            .Set("FILE", "FILE_002", Path(kProduct, "Bin\\Stop.exe"))
            .Set("FILE", "FILE_003", std::string(kFolderA) + "\\Uninst64.exe")
            .Set("FILE", "FILE_004", std::string(kFolderA) + "\\Unflist.ini")
            .Set("FILE", "FILE_005", std::string(kFolderA) + "\\Uninst.ini")
            .Set("FILE", "FILE_006", Path(kProduct, "Gone.dll"))
            .Set("FILE", "FILE_007", std::string(kFolderA) + "\\_Setup64.dll")
            .Set("SHARED", "SHAREDKEY", "Velmo;Q7")
            .Set("SHARED", "FILE_000", kShared)
            .Set("ICF", "DELFILE_000", Path(kProduct, "Bin\\Tool.exe"))
            .Set("ICF", "DELPORT_000", "19540;UDP")
            .Set("ICF", "DELPORT_001", "9100;TCP")
            .Set("ICF", "DELFILE2_000", "Velmo Q7;app")
            .Set("ICF", "DELPORT2_000", "Velmo Port;19540")
            .Set("PATH", "PATH_000", "C:\\Program Files\\Velmo")
            .Set("PATH", "PATH_001", kProduct)
            .Set("PATH", "PATH_002", Path(kProduct, "Bin"))
            .Set("PATH", "PATH_003", kFolderA)
            .Set("PATH", "COMMON_000", kMenu);
        Install(SeededUi(), list);
        return list;
    }

    static Ini SeededUi()
    {
        Ini ui = DefaultUiIni();
        ui.Set("LABEL", "UNINSTALL_02", "Removing files").Set("LABEL", "UNINSTALL_03", "Removing %s");
        ui.Set("ERROR", "MESSAGE_10", "%s could not be removed.");
        return ui;
    }

    // Lets the copy in the temporary folder run to its end.
    void WaitForSecondStage()
    {
        EXPECT_TRUE(D().WaitUntil([&] {
            auto lines = LogLines();
            return std::find(lines.begin(), lines.end(), "  Finish !!") != lines.end();
        }));
    }

    static std::string Golden(const char* name)
    {
        std::ifstream in(std::string(UNINSTALL_GOLDEN) + "/" + name);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
};

// The lines from `first` to `last`, both included.
std::string Between(const std::vector<std::string>& lines, const std::string& first, const std::string& last)
{
    auto from = std::find(lines.begin(), lines.end(), first);
    auto to = std::find(from, lines.end(), last);
    std::string text;
    for (auto it = from; it != lines.end() && it <= to; ++it)
        text += *it + "\n";
    return text;
}

TEST_F(RemovalTest, ASilentRunRemovesWhatIsListedAndTheCopyFinishes)
{
    SeedMachine();
    // The status monitor runs while the Uninstaller is started beside it.
    DWORD exit = 99;
    bool statusLeft = true;
    D().Run([] { return StatusMonitor(); },
            [&] {
                STARTUPINFOW startup{};
                startup.cb = sizeof startup;
                PROCESS_INFORMATION process{};
                WString command = WString(u"\"") + kProgram + u"\" -s -dlog";
                ASSERT_TRUE(CreateProcessW(kProgram, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                           nullptr, &startup, &process));
                EXPECT_TRUE(D().WaitUntil(
                    [&] { return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0; }, 600000));
                GetExitCodeProcess(process.hProcess, &exit);
                statusLeft = g_statusUp;
                CloseHandle(process.hThread);
                CloseHandle(process.hProcess);
            });
    EXPECT_FALSE(statusLeft) << "the status monitor was asked to close";
    EXPECT_EQ(exit, 0u);
    WaitForSecondStage();
    auto& m = sim::machine();

    // Components: the driver's devices, OEM INF and file, the service and the use count are gone, the
    // program ran with its command; the port monitor went after its printer moved, with its Run value.
    EXPECT_FALSE(sim::deviceTree().Node(kDeviceId));
    EXPECT_FALSE(sim::deviceTree().Node(u"USB\\VID_1234&PID_0001\\2"));
    EXPECT_FALSE(sim::files().Exists(u"C:\\Windows\\INF\\oem5.inf"));
    EXPECT_FALSE(sim::files().Exists(u"C:\\Windows\\System32\\drivers\\tzuptp.sys"));
    EXPECT_TRUE(Exists(Path(kPackage, "Comp.ini")));
    EXPECT_FALSE(sim::services().State(u"VelmoSvc"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Tzuptp Driver"));
    EXPECT_FALSE(sim::registry().KeyExists(HKEY_LOCAL_MACHINE, kMonitorKey));
    EXPECT_EQ(sim::spooler().Printer(u"Velmo Q7")->portName, u"LPT1:");
    EXPECT_EQ(sim::spooler().Printer(u"Other")->portName, u"LPT1:");
    EXPECT_FALSE(sim::registry().Value(HKEY_LOCAL_MACHINE, kRunKey, u"VelmoStatusRun"));
    EXPECT_TRUE(sim::registry().Value(HKEY_LOCAL_MACHINE, kRunKey, u"Keep"));

    // Listed files, shortcuts and folders go; the rest stays, and the drive root is never reached.
    for (const char* gone : {"C:\\Program Files\\Velmo\\Q7\\Driver.dll", "C:\\Program Files\\Velmo\\Q7",
                             "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Velmo",
                             "C:\\Users\\User\\Desktop\\Tray.lnk", "C:\\Users\\Ann\\Desktop\\Tray.lnk"})
        EXPECT_FALSE(Exists(gone)) << gone;
    for (const char* kept : {"C:\\Program Files\\Velmo\\Other\\keep.txt", kShared,
                             "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Other.lnk",
                             "C:\\Users\\User\\Desktop\\Notes.txt", "C:\\Users\\Bob\\Desktop\\Tray.lnk"})
        EXPECT_TRUE(Exists(kept)) << kept;

    // Registry: plain, tree and control-panel entries go; a key with subkeys, an unknown root's key, the
    // sibling product and the company stay.
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Velmo\\Q7Settings"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\Velmo\\Tray"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "CLSID\\{0A1B}"));
    EXPECT_FALSE(
        KeyExists(HKEY_LOCAL_MACHINE,
                  "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ControlPanel\\NameSpace\\{0A1B}"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Velmo Tools\\Big\\Child"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\Velmo\\Keep"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Velmo\\Q7"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Velmo\\Q9"));
    EXPECT_FALSE(sim::registry().KeyExists(HKEY_LOCAL_MACHINE, kUninstallEntry));

    // Ann's hive lost the entry and went back to its file; Bob's, in use, was not touched.
    EXPECT_TRUE(sim::registry().LoadedHives().empty());
    auto ann = sim::registry().ReadHive(u"C:\\Users\\Ann\\ntuser.dat");
    ASSERT_TRUE(ann);
    auto hasKey = [](const std::vector<sim::HiveValue>& hive, const char16_t* key) {
        return std::any_of(hive.begin(), hive.end(),
                           [&](const sim::HiveValue& v) { return v.key.starts_with(key); });
    };
    EXPECT_FALSE(hasKey(*ann, u"Software\\Velmo\\Tray"));
    EXPECT_TRUE(hasKey(*ann, u"Software\\Velmo\\Keep"));
    EXPECT_TRUE(hasKey(*sim::registry().ReadHive(u"C:\\Users\\Bob\\ntuser.dat"), u"Software\\Velmo\\Tray"));

    // The firewall: newer systems' rules, then programs and ports (the device server's port too, as its
    // driver was not kept).
    EXPECT_EQ(recorded.firewallCalls,
              (std::vector<std::string>{"Policy Velmo Q7", "Policy Velmo Port",
                                        "App C:\\Program Files\\Velmo\\Q7\\Bin\\Tool.exe", "Port 1 19540",
                                        "Port 0 9100"}));

    // The program to run first ran with the log option, the component's program with its command.
    auto started = sim::processes().Started();
    ASSERT_FALSE(started.empty());
    auto stop = std::find_if(started.begin(), started.end(), [](const sim::StartedProcess& p) {
        return p.applicationPath.ends_with(u"Stop.exe");
    });
    ASSERT_NE(stop, started.end());
    EXPECT_NE(stop->commandLine.find(u"-dlogout"), WString::npos);
    auto tool = std::find_if(started.begin(), started.end(), [](const sim::StartedProcess& p) {
        return p.applicationPath.ends_with(u"Tool.exe");
    });
    ASSERT_NE(tool, started.end());
    EXPECT_TRUE(tool->commandLine.ends_with(u"-remove -dlog"))
        << std::string(tool->commandLine.begin(), tool->commandLine.end());

    // The copy was started exactly so, deleted the installed program once the first stage had ended,
    // removed the install folder and its INI copies, and is deleted at the next start; no restart.
    auto shell = sim::processes().ShellRequests();
    auto copy = std::find_if(shell.begin(), shell.end(), [](const sim::ShellRequest& r) {
        return r.file.ends_with(u"Temp\\Uninst64.exe");
    });
    ASSERT_NE(copy, shell.end());
    EXPECT_EQ(copy->parameters, u"-u -s -dlog");
    EXPECT_EQ(copy->directory, kTemp);
    EXPECT_EQ(copy->showCommand, SW_SHOWNA);
    EXPECT_FALSE(sim::files().Exists(kProgram));
    EXPECT_FALSE(Exists(kFolderA));
    EXPECT_TRUE(Exists("C:\\Program Files\\Velmo"));
    EXPECT_FALSE(sim::files().Exists(WString(kTemp) + u"\\Unflist.ini"));
    EXPECT_FALSE(sim::files().Exists(WString(kTemp) + u"\\Uninst.ini"));
    auto pending =
        sim::registry().Value(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                              u"PendingFileRenameOperations");
    ASSERT_TRUE(pending);
    WString operations(reinterpret_cast<const char16_t*>(pending->data.data()), pending->data.size() / 2);
    EXPECT_EQ(operations, WString(u"\\??\\") + kTemp + u"\\Uninst64.exe" + u'\0' + u'\0' + u'\0');
    EXPECT_TRUE(m.ShutdownRequests().empty());

    // The worker's log, line for line.
    auto lines = LogLines();
    EXPECT_EQ(Between(lines, "*** PortMonitor Check ***", "*** Temp Information ***"), Golden("removal.log"));
    EXPECT_EQ(Between(lines, "  Delete C:\\Program Files\\Velmo\\Uninstall\\Uninst64.exe", "  Finish !!"),
              Golden("second_stage.log"));
}

TEST_F(RemovalTest, SharedFilesGoWithTheCompanysLastProduct)
{
    SeedMachine(Seed{false});
    EXPECT_EQ(Run(u"-s -dlog"), 0u);
    WaitForSecondStage();
    EXPECT_FALSE(Exists(kShared));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Velmo"));
}

} // namespace
} // namespace uninstall::testing

namespace uninstall::testing
{
namespace
{
TEST_F(RemovalTest, ADeviceServerInUseStopsTheRemovalBeforeAnythingGoes)
{
    struct Case
    {
        std::optional<BYTE> answer; // none: no device
        bool stops;
    };
    for (const Case& c : {Case{1, true}, Case{0, false}, Case{std::nullopt, false}})
    {
        sim::machine().Reset();
        SetUp();
        SeedMachine(); // its component INI names the device server's INF
        if (c.answer)
            sim::kernelDevices().Add({u"tzuptp", *c.answer, false});
        DWORD exit = Run(u"-s -dlog", [&] {
            if (!c.stops)
                return;
            ASSERT_TRUE(D().WaitUntil([] { return D().MessageBox().has_value(); }));
            EXPECT_EQ(D().MessageBox()->caption, u"Velmo Removal Error");
            D().AnswerMessageBox(IDOK);
        });
        EXPECT_EQ(exit, 0u);
        auto lines = LogLines();
        bool reported = std::find(lines.begin(), lines.end(), "  Component Error(1).") != lines.end();
        EXPECT_EQ(reported, c.stops);
        // A stopped removal touches nothing and leaves everything for another run.
        EXPECT_EQ(Exists(Path(kProduct, "Driver.dll")), c.stops);
        EXPECT_EQ(sim::files().Exists(WString(kFolder) + u"\\Unflist.ini"), c.stops);
        auto shell = sim::processes().ShellRequests();
        EXPECT_EQ(std::none_of(shell.begin(), shell.end(),
                               [](const sim::ShellRequest& r) { return r.parameters.starts_with(u"-u"); }),
                  c.stops);
        if (!c.stops)
            WaitForSecondStage();
    }
}
} // namespace
} // namespace uninstall::testing

namespace uninstall::testing
{
namespace
{
// Each call of the removal failing once in turn: nothing unlisted is touched, no hive stays mounted,
// and when no copy started the uninstall information stays for a second run that finishes the work.
TEST_F(RemovalTest, EachFailingCallLeavesTheMachineSound)
{
    struct Fault
    {
        const char* api;
        DWORD error;
        int skip;
        int count = 1;
        bool box = false; // the removal stops with a box the user answers
    };
    const std::vector<Fault> faults = {
        {"RegDeleteKeyA", ERROR_ACCESS_DENIED, 0},
        {"RegEnumKeyExA", ERROR_ACCESS_DENIED, 0},
        {"RegLoadKeyA", ERROR_SHARING_VIOLATION, 0},
        {"RegUnLoadKeyA", ERROR_ACCESS_DENIED, 0},
        {"NetUserEnum", ERROR_ACCESS_DENIED, 0},
        {"AdjustTokenPrivileges", ERROR_ACCESS_DENIED, 0},
        {"DeleteFileW", ERROR_FILE_NOT_FOUND, 0},
        {"RemoveDirectoryW", ERROR_DIR_NOT_EMPTY, 0},
        {"CopyFileA", ERROR_WRITE_FAULT, 0},
        {"CopyFileA", ERROR_WRITE_FAULT, 2},
        {"ShellExecuteExA", ERROR_FILE_NOT_FOUND, 0},          // the program to run first
        {"ShellExecuteExA", ERROR_FILE_NOT_FOUND, 1, 1, true}, // the component's program
        {"ShellExecuteExA", ERROR_FILE_NOT_FOUND, 2},          // the copy in the temporary folder
        {"MoveFileExA", ERROR_ACCESS_DENIED, 0},
    };
    for (const Fault& f : faults)
    {
        sim::machine().Reset();
        SetUp();
        SeedMachine();
        sim::faults().FailNext(f.api, f.error, f.count, f.skip);
        std::string what =
            std::string(f.api) + " after " + std::to_string(f.skip) + " x" + std::to_string(f.count);
        EXPECT_EQ(Run(u"-s -dlog",
                      [&] {
                          if (!f.box)
                              return;
                          ASSERT_TRUE(D().WaitUntil([] { return D().MessageBox().has_value(); })) << what;
                          D().AnswerMessageBox(IDOK);
                      }),
                  0u)
            << what;
        auto shell = sim::processes().ShellRequests();
        bool launched = std::any_of(shell.begin(), shell.end(), [](const sim::ShellRequest& r) {
            return !r.application.empty() && r.parameters.starts_with(u"-u");
        });
        if (launched)
            WaitForSecondStage();
        EXPECT_TRUE(sim::registry().LoadedHives().empty()) << what;
        for (const char* kept :
             {"C:\\Program Files\\Velmo\\Other\\keep.txt", "C:\\Users\\User\\Desktop\\Notes.txt",
              "C:\\Users\\Bob\\Desktop\\Tray.lnk", kShared})
            EXPECT_TRUE(Exists(kept)) << what << ": " << kept;
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Velmo\\Q9")) << what;
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Velmo Tools\\Big\\Child")) << what;
        EXPECT_EQ(sim::files().Exists(WString(kFolder) + u"\\Unflist.ini"), !launched) << what;
        if (launched)
            continue;
        // The information left lets a second run finish.
        EXPECT_EQ(Run(u"-s -dlog"), 0u) << what;
        WaitForSecondStage();
        EXPECT_FALSE(Exists(Path(kProduct, "Driver.dll"))) << what;
        EXPECT_FALSE(sim::registry().KeyExists(HKEY_LOCAL_MACHINE, kUninstallEntry)) << what;
        EXPECT_FALSE(sim::files().Exists(kProgram)) << what;
        EXPECT_TRUE(sim::registry().LoadedHives().empty()) << what;
    }
}
} // namespace
} // namespace uninstall::testing

namespace uninstall::testing
{
namespace
{
// A removal the port monitor or a component stops: the user is told in a box, the log says which, and
// nothing listed after it is touched, so the uninstall information stays for another run.
TEST_F(RemovalTest, ABusyMonitorOrAFailingComponentStopsTheRemovalWithABox)
{
    struct Case
    {
        const char* name;
        std::function<void()> arrange;
        const char16_t* text;
        const char* logged;
        bool componentsRan;
    } cases[] = {
        {"a job on the monitor's port", [] { sim::spooler().AddJob(u"Velmo Q7", u"Page"); },
         u"Velmo Port is running.\nClose it first.", "  Check Monitor Error.", false},
        {"the driver's device will not go",
         [] { sim::faults().FailNext("SetupDiCallClassInstaller", ERROR_ACCESS_DENIED); },
         u"Drv could not be removed.", "  Component Error(2).", true},
    };
    for (const Case& c : cases)
    {
        sim::machine().Reset();
        SetUp();
        SeedMachine();
        c.arrange();
        std::optional<sim::MessageBoxShown> box;
        DWORD exit = Run(u"-s -dlog", [&] {
            ASSERT_TRUE(D().WaitUntil([] { return D().MessageBox().has_value(); })) << c.name;
            box = D().MessageBox();
            D().AnswerMessageBox(IDOK);
        });
        EXPECT_EQ(exit, 0u) << c.name;
        ASSERT_TRUE(box) << c.name;
        EXPECT_EQ(box->caption, u"Velmo Removal Error") << c.name;
        EXPECT_EQ(box->text, c.text) << c.name;
        auto lines = LogLines();
        EXPECT_NE(std::find(lines.begin(), lines.end(), c.logged), lines.end()) << c.name;
        // The program ran or not as the step was reached; the files, the device left for the second try
        // and the uninstall information all stay.
        EXPECT_TRUE(sim::services().State(u"VelmoSvc")) << c.name;
        EXPECT_TRUE(sim::deviceTree().Node(kDeviceId)) << c.name;
        EXPECT_TRUE(sim::files().Exists(u"C:\\Windows\\System32\\drivers\\tzuptp.sys")) << c.name;
        EXPECT_EQ(sim::registry().KeyExists(HKEY_LOCAL_MACHINE, kMonitorKey), !c.componentsRan) << c.name;
        EXPECT_TRUE(Exists(Path(kProduct, "Driver.dll"))) << c.name;
        EXPECT_TRUE(sim::files().Exists(WString(kFolder) + u"\\Unflist.ini")) << c.name;
        EXPECT_TRUE(sim::registry().KeyExists(HKEY_LOCAL_MACHINE, kUninstallEntry)) << c.name;
        auto shell = sim::processes().ShellRequests();
        EXPECT_TRUE(std::none_of(shell.begin(), shell.end(), [](const sim::ShellRequest& r) {
            return r.parameters.starts_with(u"-u");
        })) << c.name;
    }
}
} // namespace
} // namespace uninstall::testing

namespace uninstall::testing
{
namespace
{
// A driver whose device asks for a restart: the copy in the temporary folder is told so and restarts
// the machine once it has finished, unless the restart was turned off.
TEST_F(RemovalTest, ADriverAskingForARestartRestartsAfterTheSecondStage)
{
    struct Case
    {
        const char16_t* arguments;
        DWORD exit;
        const char16_t* copyArguments;
        size_t restarts;
    } cases[] = {
        {u"-s -dlog", 0, u"-u -r -s -dlog", 1},
        {u"-s -t -dlog", 2, u"-u -r -s -t -dlog", 0}, // the caller is told a restart is wanted
    };
    for (const Case& c : cases)
    {
        sim::machine().Reset();
        SetUp();
        SeedMachine();
        auto device = sim::deviceTree().Node(u"USB\\VID_1234&PID_0001\\2");
        ASSERT_TRUE(device);
        device->needsRestart = true;
        sim::deviceTree().AddNode(*device);
        EXPECT_EQ(Run(c.arguments), c.exit);
        WaitForSecondStage();
        auto shell = sim::processes().ShellRequests();
        auto copy = std::find_if(shell.begin(), shell.end(), [](const sim::ShellRequest& r) {
            return r.file.ends_with(u"Temp\\Uninst64.exe");
        });
        ASSERT_NE(copy, shell.end());
        EXPECT_EQ(copy->parameters, c.copyArguments);
        EXPECT_FALSE(sim::deviceTree().Node(kDeviceId));
        EXPECT_EQ(sim::machine().ShutdownRequests().size(), c.restarts);
    }
}
} // namespace
} // namespace uninstall::testing

namespace uninstall::testing
{
namespace
{
// The user's paths through the Uninstaller, each window it makes on them refused once in turn (a
// message box is a window too): a run either ends as the good one did, or ends without touching what it
// was to remove, tells the user why, exits with kExitWindowRefused and leaves all a second run needs.
enum class UserPath
{
    Finish,           // welcome, removal, finish
    Confirm,          // no welcome page: the question first
    Restart,          // a driver asks for a restart: the restart page
    Cancel,           // Cancel on the welcome page, confirmed
    BusyMonitor,      // the removal stops on a step's box
    NotAdministrator, // a refusal at the start
    NoRecord,         // the record names no product: the system's own box
    Silent,           // nothing shown
};

struct PathRun
{
    DWORD exit = 0;
    bool secondStage = false;
    std::vector<std::string> change; // the machine's, the log left out
    std::vector<WString> boxes;
    std::vector<sim::FaultPointCall> windows; // recorded in a good run
};

class WindowRefusedTest : public RemovalTest
{
protected:
    void Arrange(UserPath path)
    {
        sim::machine().Reset();
        SetUp();
        Ini list = SeedMachine();
        if (path == UserPath::Confirm)
            Install(SeededUi().Remove("LABEL", "WELCOME_00"), list);
        if (path == UserPath::Restart)
        {
            auto device = sim::deviceTree().Node(u"USB\\VID_1234&PID_0001\\2");
            ASSERT_TRUE(device);
            device->needsRestart = true;
            sim::deviceTree().AddNode(*device);
        }
        if (path == UserPath::BusyMonitor)
            sim::spooler().AddJob(u"Velmo Q7", u"Page");
        if (path == UserPath::NotAdministrator)
            isAdministrator = FALSE;
        if (path == UserPath::NoRecord)
            Install(SeededUi(), list.Remove("UNINSTALL", "REGISTKEY"));
    }

    // The user answers every box (Yes to a question) and presses Next, or Cancel on the Cancel path,
    // until nothing of the program is left to him.
    static void PlayUser(UserPath path, PathRun& run)
    {
        for (int step = 0; step < 20; ++step)
        {
            auto frame = [] {
                HWND f = sim::desktop().TopWindow(W(kTitle));
                return f && D().IsVisible(f) ? f : nullptr;
            };
            ASSERT_TRUE(D().WaitUntil([&] {
                HWND f = frame();
                return D().MessageBox() || (f && D().IsEnabled(D().Control(f, IDCANCEL))) ||
                       (f && D().IsEnabled(D().Control(f, kIdNext))) || !D().TopWindow(u"Velmo Removal");
            }));
            if (auto box = D().MessageBox())
            {
                run.boxes.push_back(box->text);
                D().AnswerMessageBox((box->type & MB_TYPEMASK) == MB_YESNO ? IDYES : IDOK);
                continue;
            }
            HWND f = frame();
            if (!f)
                return;
            D().Click(D().Control(f, path == UserPath::Cancel ? IDCANCEL : kIdNext));
        }
        ADD_FAILURE() << "the user never got to the end";
    }

    PathRun RunPath(UserPath path, const std::function<void()>& arm, bool record)
    {
        PathRun run;
        const sim::Snapshot before = sim::TakeSnapshot();
        if (record)
            sim::StartFaultPointRecord();
        arm();
        if (path == UserPath::Silent)
            run.exit = Run(u"-s -dlog");
        else
            run.exit = Run(u"-dlog", [&] { PlayUser(path, run); });
        auto shell = sim::processes().ShellRequests();
        run.secondStage = std::any_of(shell.begin(), shell.end(), [](const sim::ShellRequest& r) {
            return r.parameters.starts_with(u"-u");
        });
        if (run.secondStage)
            WaitForSecondStage();
        if (record)
            for (const sim::FaultPointCall& call : sim::StopFaultPointRecord())
                if (call.api == "CreateWindowExW")
                    run.windows.push_back(call);
        for (const std::string& line : sim::Difference(before, sim::TakeSnapshot()))
            if (line.find("Setup.txt") == std::string::npos)
                run.change.push_back(line);
        return run;
    }
};

TEST_F(WindowRefusedTest, EachWindowOfAUserPathRefusedOnceEndsSoundly)
{
    struct Case
    {
        const char* name;
        UserPath path;
        bool removes;
    } cases[] = {
        {"welcome, removal, finish", UserPath::Finish, true},
        {"the question, removal, finish", UserPath::Confirm, true},
        {"removal, restart page", UserPath::Restart, true},
        {"Cancel confirmed", UserPath::Cancel, false},
        {"a step's box stops it", UserPath::BusyMonitor, false},
        {"no administrator", UserPath::NotAdministrator, false},
        {"no uninstall information", UserPath::NoRecord, false},
        {"silent", UserPath::Silent, true},
    };
    const WString refusedText = W(SystemErrorText(ERROR_NOT_ENOUGH_MEMORY));
    for (const Case& c : cases)
    {
        Arrange(c.path);
        const PathRun good = RunPath(
            c.path, [] {}, true);
        ASSERT_EQ(good.exit, 0u) << c.name;
        ASSERT_EQ(good.secondStage, c.removes) << c.name;
        ASSERT_FALSE(good.windows.empty()) << c.name;
        ASSERT_EQ(sim::machine().ShutdownRequests().size(), c.path == UserPath::Restart ? 1u : 0u) << c.name;
        for (const sim::FaultPointCall& call : good.windows)
        {
            const std::string where = std::string(c.name) + ", window #" + std::to_string(call.nth);
            Arrange(c.path);
            const PathRun run = RunPath(
                c.path,
                [&] { sim::faults().FailNext("CreateWindowExW", ERROR_NOT_ENOUGH_MEMORY, 1, call.nth); },
                false);
            EXPECT_TRUE(sim::faults().Pending().empty()) << where;
            if (run.exit == good.exit && run.secondStage == good.secondStage && run.change == good.change)
                continue;
            EXPECT_EQ(run.exit, static_cast<DWORD>(kExitWindowRefused)) << where;
            EXPECT_FALSE(run.secondStage) << where;
            // Nothing removed that the good run kept, nothing more when it removed everything.
            EXPECT_EQ(run.change, c.removes ? std::vector<std::string>{} : good.change) << where;
            EXPECT_TRUE(sim::files().Exists(WString(kFolder) + u"\\Unflist.ini")) << where;
            const bool told = std::find(run.boxes.begin(), run.boxes.end(), refusedText) != run.boxes.end();
            EXPECT_EQ(told, c.path != UserPath::Silent) << where;
            auto lines = LogLines();
            EXPECT_NE(std::find(lines.begin(), lines.end(), "  Window Error(8)."), lines.end()) << where;
            if (!c.removes)
                continue;
            // The user's second run finishes the removal.
            EXPECT_EQ(Run(u"-s -dlog"), 0u) << where;
            WaitForSecondStage();
            EXPECT_FALSE(Exists(Path(kProduct, "Driver.dll"))) << where;
            EXPECT_FALSE(sim::files().Exists(kProgram)) << where;
            EXPECT_FALSE(sim::registry().KeyExists(HKEY_LOCAL_MACHINE, kUninstallEntry)) << where;
        }
    }
}
} // namespace
} // namespace uninstall::testing
