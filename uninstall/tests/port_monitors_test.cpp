// A port monitor an installer added, on a seeded spooler: whether it is idle, its removal with the
// printers moved off its ports, and the status-monitor programs asked to close.
#include "os_index.h"
#include "port_monitors.h"
#include "uninstaller_fixture.h"

#include <sim/print_monitors.h>
#include <sim/snapshot.h>

#include <algorithm>
#include <atomic>
#include <cstring>

namespace uninstall::testing
{
namespace
{
constexpr const char16_t* kFileList = u"C:\\Program Files\\Velmo\\Uninstall\\Unflist.ini";
constexpr const char16_t* kMonitorKey = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Velmo Port";
constexpr const char16_t* kRunKey = u"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr UINT kCloseOffset = 12;

// Every printer's port list, joined with commas.
std::string AllPrinterPorts()
{
    std::string all;
    for (const sim::PrinterSetup& p : sim::spooler().Printers())
    {
        for (char16_t ch : p.portName)
            all += static_cast<char>(ch);
        all += ',';
    }
    return all;
}

enum class Reaction
{
    Close,
    Ignore,
    Hang,
};

class PortMonitorTest : public UninstallerTest
{
protected:
    // A script lets time pass while the program's threads wait for each other's messages.
    void Within(const std::function<void(UninstallState&)>& body, bool letTimePass = false)
    {
        std::atomic<bool> done = false;
        sim::desktop().Run(
            [&]() -> DWORD {
                ResetState();
                UninstallState& s = State();
                GetOsIndex(s, &s.osFlags);
                BuildSectionTable(s);
                std::strcpy(s.fileListIniPath, "C:\\Program Files\\Velmo\\Uninstall\\Unflist.ini");
                s.logFlags = kLogFile;
                body(s);
                done = true;
                return 0;
            },
            [&] {
                if (letTimePass)
                    sim::desktop().WaitUntil([&] { return done.load(); }, 120000);
            });
    }

    static void SetDword(WStringView key, WStringView name, DWORD value)
    {
        sim::registry().SetValue(HKEY_LOCAL_MACHINE, key, name, REG_DWORD,
                                 {reinterpret_cast<const BYTE*>(&value), 4});
    }

    // "Velmo Port" with VM_1 (PrintMode 0), VM_2 (1) and VM_3 (no PrintMode), and a status monitor.
    static void InstallMonitor()
    {
        sim::registry().SetValue(HKEY_LOCAL_MACHINE, kMonitorKey, u"Driver", REG_SZ,
                                 {reinterpret_cast<const BYTE*>(u"vmport.dll"), 22});
        SetDword(WString(kMonitorKey) + u"\\Ports\\VM_1", u"PrintMode", 0);
        SetDword(WString(kMonitorKey) + u"\\Ports\\VM_2", u"PrintMode", 1);
        SetDword(WString(kMonitorKey) + u"\\Ports\\VM_3", u"Timeout", 30);
        SetDword(kRunKey, u"VelmoStatusRun", 1);
        SetDword(kRunKey, u"Keep", 1);
    }

    static void WriteFileList(const std::string& dll = "vmport.dll",
                              const std::string& monitor = "Velmo Port")
    {
        Ini ini = DefaultFileListIni();
        ini.Set("MONITOR", "OS_WINNT", monitor).Set("MONITOR", "DLLNAME", dll);
        ini.Set("MONITOR", "MONITOR_00", "Status;VelmoStatus;12;VelmoStatusRun");
        sim::files().Put(kFileList, ini.Text());
    }

    static void AddPrinter(const char16_t* name, const char16_t* ports)
    {
        sim::PrinterSetup p;
        p.name = name;
        p.driverName = u"Velmo Q7";
        p.portName = ports;
        sim::spooler().AddPrinter(p);
    }

    static bool PortLeft(const char16_t* port)
    {
        return sim::registry().KeyExists(HKEY_LOCAL_MACHINE, WString(kMonitorKey) + u"\\Ports\\" + port);
    }

    std::vector<std::string> LinesWith(const std::string& part) const
    {
        std::vector<std::string> found;
        for (const std::string& l : LogLines())
            if (l.find(part) != std::string::npos)
                found.push_back(l);
        return found;
    }

    bool CheckThenRemove(bool* idle = nullptr)
    {
        bool removed = false;
        Within([&](UninstallState& s) {
            bool i = CheckPortMonitors(s);
            if (idle)
                *idle = i;
            removed = RemovePortMonitors(s);
        });
        return removed;
    }
};

TEST_F(PortMonitorTest, IdleOrBusy)
{
    struct Case
    {
        const char* name;
        bool installed;
        const char16_t* printerPorts; // null: no printer
        bool job;
        const char16_t* mutex;
        bool idle;
        const char* logged;
    } cases[] = {
        {"not installed", false, nullptr, false, nullptr, true, "    ---> Not PortMonitor"},
        {"printing on its port", true, u"VM_2", true, nullptr, false, "    ---> Now Printings..."},
        {"printing on a pooled port", true, u"LPT1:,VM_3", true, nullptr, false, "    ---> Now Printings..."},
        {"printing elsewhere", true, u"LPT1:", true, nullptr, true, nullptr},
        {"printer without jobs", true, u"VM_1", false, nullptr, true, nullptr},
        {"port wizard open", true, nullptr, false, u"Global\\Add Velmo Port", false,
         "    ---> Now Port Wizerd Open [Velmo Port] ..."},
        {"port dialog open", true, nullptr, false, u"Global\\Configure Velmo Port", false,
         "    ---> Now Port Dialog Open [Velmo Port] ..."},
    };
    for (const Case& c : cases)
    {
        sim::machine().Reset();
        if (c.installed)
            InstallMonitor();
        WriteFileList();
        if (c.printerPorts)
        {
            AddPrinter(u"Velmo", c.printerPorts);
            if (c.job)
                sim::spooler().AddJob(u"Velmo", u"Page");
        }
        bool idle = !c.idle;
        bool installedSeen = !c.installed;
        Within([&](UninstallState& s) {
            HANDLE mutex = c.mutex ? CreateMutexW(nullptr, FALSE, c.mutex) : nullptr;
            idle = CheckPortMonitors(s);
            installedSeen = s.sections[0].portMonitor->installed;
            EXPECT_STREQ(s.sections[0].portMonitor->environment, "Windows x64");
            if (mutex)
                CloseHandle(mutex);
        });
        EXPECT_EQ(idle, c.idle) << c.name;
        EXPECT_EQ(installedSeen, c.installed) << c.name;
        EXPECT_EQ(LinesWith("  Monitor Name : "), std::vector<std::string>{"  Monitor Name : Velmo Port"})
            << c.name;
        std::vector<std::string> said = LinesWith("    ---> ");
        EXPECT_EQ(said, c.logged ? std::vector<std::string>{c.logged} : std::vector<std::string>{}) << c.name;
    }

    // No monitor named: idle without a word.
    sim::machine().Reset();
    WriteFileList("vmport.dll", "");
    Within([&](UninstallState& s) { EXPECT_TRUE(CheckPortMonitors(s)); });
    EXPECT_TRUE(LinesWith("Monitor Name").empty());
}

TEST_F(PortMonitorTest, Removal)
{
    struct Case
    {
        const char* name;
        const char16_t* printerPorts;
        std::vector<const char16_t*> refused;
        const char* dll;
        const char* fault;
        bool removed;
        const char16_t* printerAfter;
        bool portsLeft;
        bool monitorLeft;
    } cases[] = {
        {"printer moved to LPT1:", u"VM_1", {}, "vmport.dll", nullptr, true, u"LPT1:", false, false},
        {"LPT1: refused, FILE: taken",
         u"VM_1",
         {u"LPT1:"},
         "vmport.dll",
         nullptr,
         true,
         u"FILE:",
         false,
         false},
        {"pooled ports", u"VM_1,VM_2", {}, "vmport.dll", nullptr, true, u"LPT1:", false, false},
        {"both refused", u"VM_1", {u"LPT1:", u"FILE:"}, "vmport.dll", nullptr, false, u"VM_1", true, true},
        {"no DLL name", u"VM_1", {}, "", nullptr, false, u"LPT1:", false, true},
        {"a port will not go", nullptr, {}, "vmport.dll", "DeletePortA", false, nullptr, true, true},
    };
    for (const Case& c : cases)
    {
        sim::machine().Reset();
        InstallMonitor();
        WriteFileList(c.dll);
        if (c.printerPorts)
            AddPrinter(u"Velmo", c.printerPorts);
        for (const char16_t* port : c.refused)
            sim::printMonitors().RefuseMovesTo(port);
        if (c.fault)
            sim::faults().FailNext(c.fault, ERROR_ACCESS_DENIED);
        bool removed = CheckThenRemove();
        EXPECT_EQ(removed, c.removed) << c.name;
        if (c.printerAfter)
        {
            EXPECT_EQ(sim::spooler().Printer(u"Velmo")->portName, c.printerAfter) << c.name;
        }
        int left = PortLeft(u"VM_1") + PortLeft(u"VM_2") + PortLeft(u"VM_3");
        EXPECT_EQ(left > 0, c.portsLeft) << c.name;
        EXPECT_EQ(sim::registry().KeyExists(HKEY_LOCAL_MACHINE, kMonitorKey), c.monitorLeft) << c.name;
        // No port goes while a printer prints to it.
        for (const std::string& port : SplitPortList(AllPrinterPorts()))
            EXPECT_TRUE(port == "LPT1:" || port == "FILE:" || PortLeft(W(port).c_str()))
                << c.name << " " << port;
        if (c.fault)
        {
            EXPECT_EQ(LinesWith("  --> NG ("), std::vector<std::string>{"  --> NG (0x00000005)"});
            EXPECT_EQ(LinesWith("  Delete Port: ").size(), 3u); // the next ports were still tried
            EXPECT_EQ(LinesWith("  DeleteMonitor(Velmo Port) NG").size(), 1u);
        }
        bool runLeft = sim::registry().Value(HKEY_LOCAL_MACHINE, kRunKey, u"VelmoStatusRun").has_value();
        EXPECT_EQ(runLeft, !c.removed) << c.name;
        EXPECT_TRUE(sim::registry().Value(HKEY_LOCAL_MACHINE, kRunKey, u"Keep")) << c.name;
    }
}

struct StatusWindow
{
    Reaction reaction = Reaction::Close;
    HWND window = nullptr;
    HANDLE thread = nullptr;
    HANDLE release = nullptr; // a hung one pumps no messages until this is set
    int asked = 0;
};

StatusWindow* g_status = nullptr;

LRESULT CALLBACK StatusProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_USER + kCloseOffset)
    {
        ++g_status->asked;
        if (g_status->reaction == Reaction::Close)
            DestroyWindow(window);
        return 0;
    }
    if (message == WM_DESTROY)
        PostQuitMessage(0);
    return DefWindowProcW(window, message, wParam, lParam);
}

DWORD WINAPI StatusThread(LPVOID ready)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = StatusProc;
    wc.lpszClassName = u"VelmoStatus";
    RegisterClassW(&wc);
    g_status->window = CreateWindowExW(0, u"VelmoStatus", u"Status", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                       nullptr, nullptr, nullptr);
    SetEvent(static_cast<HANDLE>(ready));
    if (g_status->reaction == Reaction::Hang)
        WaitForSingleObject(g_status->release, INFINITE);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0)
        DispatchMessageW(&msg);
    return 0;
}

TEST_F(PortMonitorTest, StatusMonitorsAreAskedToClose)
{
    struct Case
    {
        const char* name;
        Reaction reaction;
        bool mutex;
        bool sentOk;
        int asked;
        bool windowLeft;
        ULONGLONG atLeast, below;
    } cases[] = {
        {"closes", Reaction::Close, true, true, 1, false, 0, 1000},
        {"ignores", Reaction::Ignore, true, true, 1, true, 3000, 4000},
        {"hangs", Reaction::Hang, true, false, 0, true, 8000, 9000},
        {"not running", Reaction::Close, false, false, 0, true, 0, 1},
    };
    for (const Case& c : cases)
    {
        sim::files().Put(u"C:\\Setup.txt", "");
        WriteFileList();
        StatusWindow status;
        status.reaction = c.reaction;
        g_status = &status;
        ULONGLONG took = 0;
        bool windowLeft = false;
        Within(
            [&](UninstallState& s) {
                HANDLE mutex = c.mutex ? CreateMutexW(nullptr, FALSE, u"Global\\VelmoStatus") : nullptr;
                HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
                status.release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
                status.thread = CreateThread(nullptr, 0, StatusThread, ready, 0, nullptr);
                WaitForSingleObject(ready, INFINITE);
                CloseHandle(ready);
                ULONGLONG start = GetTickCount64();
                CloseStatusMonitors(s, "MONITOR");
                took = GetTickCount64() - start;
                windowLeft = IsWindow(status.window) != FALSE;
                SetEvent(status.release);
                if (windowLeft)
                    PostMessageW(status.window, WM_CLOSE, 0, 0);
                WaitForSingleObject(status.thread, INFINITE);
                CloseHandle(status.thread);
                if (mutex)
                    CloseHandle(mutex);
            },
            true);
        g_status = nullptr;
        EXPECT_EQ(status.asked, c.asked) << c.name;
        EXPECT_EQ(windowLeft, c.windowLeft) << c.name;
        EXPECT_GE(took, c.atLeast) << c.name;
        EXPECT_LT(took, c.below) << c.name;
        EXPECT_EQ(LinesWith("  Status Monitor : "),
                  std::vector<std::string>{"  Status Monitor : VelmoStatus, 12"})
            << c.name;
        EXPECT_EQ(LinesWith("  --> SendMessage(OK)").size(), c.sentOk ? 1u : 0u) << c.name;
    }
}

TEST_F(PortMonitorTest, RemovalLogAndRunValue)
{
    InstallMonitor();
    WriteFileList();
    AddPrinter(u"Velmo", u"VM_2");
    EXPECT_TRUE(CheckThenRemove());
    auto lines = LogLines();
    auto at = std::find(lines.begin(), lines.end(), "*** Get PortMonitor Information ***");
    ASSERT_NE(at, lines.end());
    std::vector<std::string> tail(at, lines.end());
    std::vector<std::string> wanted = {"*** Get PortMonitor Information ***",
                                       "  Status Monitor : VelmoStatus, 12",
                                       "[Uninstall]",
                                       "  GetPortName(VM_1)",
                                       "  GetPortName(VM_3)",
                                       "  GetPortName(VM_2)",
                                       "  Delete Port: VM_1",
                                       "  Delete Port: VM_3",
                                       "  Delete Port: VM_2",
                                       "  Environment : Windows x64",
                                       "  szDllFile   : vmport.dll",
                                       "  DeleteMonitor(Velmo Port)",
                                       "  Status Monitor(Run) : VelmoStatusRun"};
    EXPECT_EQ(tail, wanted);
}

// What a removal leaves, but for the log.
sim::Snapshot Leftover()
{
    sim::Snapshot snap = sim::TakeSnapshot();
    std::erase_if(snap.entries, [](const auto& e) { return e.first.find("Setup.txt") != std::string::npos; });
    return snap;
}

// Equal to a good run's, but for printers that took "FILE:" when "LPT1:" could not be set.
bool SameButFallbacks(const sim::Snapshot& good)
{
    for (const std::string& d : sim::Difference(good, Leftover()))
    {
        if (d.rfind("~ printer ", 0) != 0)
            return false;
        auto printer = sim::spooler().Printer(W(d.substr(10)));
        if (!printer || printer->portName != u"FILE:")
            return false;
    }
    return true;
}

TEST_F(PortMonitorTest, EachSpoolerCallFailingOnceInTurn)
{
    auto seed = [&] {
        sim::machine().Reset();
        InstallMonitor();
        WriteFileList();
        AddPrinter(u"Velmo", u"VM_1,VM_2");
        AddPrinter(u"Other", u"VM_3");
        sim::spooler().ClearCalls();
    };
    seed();
    ASSERT_TRUE(CheckThenRemove());
    const std::vector<std::string> calls = sim::spooler().Calls();
    const sim::Snapshot good = Leftover();
    ASSERT_GT(calls.size(), 10u);
    for (size_t i = 0; i < calls.size(); ++i)
    {
        seed();
        int skip = static_cast<int>(
            std::count(calls.begin(), calls.begin() + static_cast<std::ptrdiff_t>(i), calls[i]));
        sim::faults().FailNext(calls[i], ERROR_ACCESS_DENIED, 1, skip);
        bool removed = CheckThenRemove();
        EXPECT_TRUE(sim::faults().Pending().empty()) << i << " " << calls[i];
        for (const std::string& port : SplitPortList(AllPrinterPorts()))
            EXPECT_TRUE(port == "LPT1:" || port == "FILE:" || PortLeft(W(port).c_str()))
                << "call " << i << " " << calls[i] << ": " << port << " deleted under a printer";
        if (removed)
        {
            EXPECT_TRUE(SameButFallbacks(good)) << "call " << i << " " << calls[i];
        }
        // Run again without the fault: the removal completes as a good run does.
        EXPECT_TRUE(CheckThenRemove()) << "call " << i << " " << calls[i];
        EXPECT_TRUE(SameButFallbacks(good)) << "call " << i << " " << calls[i];
    }
}

} // namespace
} // namespace uninstall::testing
