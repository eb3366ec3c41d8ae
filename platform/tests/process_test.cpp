#include <gtest/gtest.h>

#include <platform/entry.h>
#include <sim/machine.h>

#include <cstring>
#include <vector>

namespace
{
std::string g_tail;
std::string g_module;

int WINAPI Probe(HINSTANCE, HINSTANCE, LPSTR commandLine, int show)
{
    g_tail = commandLine;
    char module[MAX_PATH];
    GetModuleFileNameA(nullptr, module, MAX_PATH);
    g_module = module;
    return 40 + show;
}
PLATFORM_WINMAIN(u"probe.exe", Probe)

TEST(Processes, ARegisteredProgramRunsWithItsOwnModuleAndCommandLine)
{
    EXPECT_EQ(sim::processes().Run(u"C:\\Program Files\\Probe\\PROBE.EXE", u"  -a \"b c\"", SW_HIDE), 40u);
    EXPECT_EQ(g_tail, "-a \"b c\"");
    EXPECT_EQ(g_module, "C:\\Program Files\\Probe\\PROBE.EXE");
    EXPECT_EQ(sim::processes().Run(u"C:\\x\\unknown.exe"), 0xC0000135u);
}

TEST(Processes, ACopiedProgramFileRunsAsTheProgramItWasMadeFrom)
{
    sim::files().PutProgram(u"C:\\bin\\probe.exe", u"probe.exe");
    ASSERT_TRUE(CopyFileW(u"C:\\bin\\probe.exe", u"C:\\bin\\copy.exe", TRUE));
    EXPECT_EQ(sim::processes().Run(u"C:\\bin\\copy.exe", u"x", SW_SHOW), 45u);
    EXPECT_EQ(g_tail, "x");
    EXPECT_EQ(g_module, "C:\\bin\\copy.exe") << "its own module path";
    // A plain file, or a damaged mark, names no program.
    sim::files().Put(u"C:\\bin\\plain.exe", "MZ");
    EXPECT_EQ(sim::processes().Run(u"C:\\bin\\plain.exe"), 0xC0000135u);
    sim::files().Put(u"C:\\bin\\cut.exe", std::string("MZ\0SIMPROGRAM\x1Aprobe.exe", 23));
    EXPECT_EQ(sim::processes().Run(u"C:\\bin\\cut.exe"), 0xC0000135u);
}

TEST(Processes, WinExecFindsTheProgramAsWindowsDoes)
{
    sim::files().Put(u"C:\\Program Files\\Tool\\tool.exe");
    EXPECT_GT(WinExec("C:\\Program Files\\Tool\\tool.exe /q", SW_SHOW), 31u);
    sim::files().Put(u"C:\\Program.exe");
    EXPECT_GT(WinExec("C:\\Program Files\\Tool\\tool.exe /q", SW_SHOW), 31u);
    EXPECT_GT(WinExec("\"C:\\Program Files\\Tool\\tool.exe\" /q", SW_SHOW), 31u);
    EXPECT_EQ(WinExec("C:\\nothing.exe", SW_SHOW), static_cast<UINT>(ERROR_FILE_NOT_FOUND));

    auto started = sim::processes().Started();
    ASSERT_EQ(started.size(), 3u);
    EXPECT_EQ(started[0].applicationPath, u"C:\\Program Files\\Tool\\tool.exe");
    EXPECT_EQ(started[1].applicationPath, u"C:\\Program.exe") << "an unquoted path with blanks is ambiguous";
    EXPECT_EQ(started[2].applicationPath, u"C:\\Program Files\\Tool\\tool.exe");
}

TEST(Processes, StartedRegisteredProgramsRunAndStandInsAnswer)
{
    auto& m = sim::machine();
    sim::files().Put(u"C:\\bin\\probe.exe");
    sim::files().Put(u"C:\\bin\\other.exe");
    std::string seen;
    sim::processes().RegisterStandIn(u"OTHER.exe", [&](const sim::StartedProcess& p) {
        seen = p.commandLine == u"C:\\bin\\other.exe x" ? "ok" : "wrong";
        return 0u;
    });
    g_tail.clear();
    EXPECT_GT(WinExec("C:\\bin\\probe.exe started", SW_SHOW), 31u);
    EXPECT_GT(WinExec("C:\\bin\\other.exe x", SW_SHOW), 31u);
    m.Reset(); // waits for both
    EXPECT_EQ(g_tail, "started");
    EXPECT_EQ(seen, "ok");
}

// What a started program sees of its environment; it also sets a variable of its own.
struct SeenEnvironment
{
    WString mine;
    WString programFiles;
};
SeenEnvironment g_seen;

WString Variable(const char16_t* name)
{
    WCHAR value[MAX_PATH] = {};
    return GetEnvironmentVariableW(name, value, MAX_PATH) ? WString(value) : WString(u"(none)");
}

int WINAPI EnvironmentProbe(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    g_seen = {Variable(u"MINE"), Variable(u"ProgramFiles")};
    SetEnvironmentVariableW(u"FromChild", u"1");
    return 0;
}
PLATFORM_WWINMAIN(u"envprobe.exe", EnvironmentProbe)
PLATFORM_WWINMAIN_32BIT(u"envprobe32.exe", EnvironmentProbe)

DWORD StartAndWait(const char16_t* path)
{
    WString line = WString(u"\"") + path + u"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return GetLastError();
    WaitForSingleObject(pi.hProcess, INFINITE);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return 0;
}

// A start without an environment block gives the child a copy of the caller's block; one from the
// desktop starts from the system's variables.
TEST(Processes, AStartedProgramInheritsItsCallersEnvironment)
{
    auto& m = sim::machine();
    sim::files().Put(u"C:\\bin\\envprobe.exe");
    sim::files().Put(u"C:\\bin\\envprobe32.exe");
    ASSERT_TRUE(SetEnvironmentVariableW(u"Mine", u"parent"));

    struct Case
    {
        const char16_t* program;
        bool system64;
        const char16_t* programFiles;
    } cases[] = {
        {u"C:\\bin\\envprobe.exe", true, u"C:\\Program Files"},
        {u"C:\\bin\\envprobe32.exe", true, u"C:\\Program Files (x86)"}, // set for the child's width
        {u"C:\\bin\\envprobe32.exe", false, u"C:\\Program Files"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(&c - cases);
        m.SetSystem64(c.system64);
        g_seen = {};
        ASSERT_EQ(StartAndWait(c.program), 0u);
        EXPECT_EQ(g_seen.mine, u"parent");
        EXPECT_EQ(g_seen.programFiles, c.programFiles);
    }
    EXPECT_EQ(Variable(u"FromChild"), u"(none)") << "the child's changes stay its own";

    g_seen = {};
    sim::processes().Run(u"C:\\bin\\envprobe.exe");
    EXPECT_EQ(g_seen.mine, u"(none)");
}

TEST(Processes, ModuleFileNameTruncatesLikeWindows)
{
    sim::processes().SetCallingProgram(u"C:\\abc\\d.exe", u"d"); // 12 characters
    char buf[12];
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameA(nullptr, buf, sizeof buf), 12u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_STREQ(buf, "C:\\abc\\d.ex");
    char exact[13];
    EXPECT_EQ(GetModuleFileNameA(nullptr, exact, sizeof exact), 12u);
    EXPECT_STREQ(exact, "C:\\abc\\d.exe");
}
// A program whose main thread and a worker thread each own a window; each thread ends when its
// window is closed.
DWORD g_ownerProcess = 0;
DWORD g_ownerThread = 0;
DWORD g_workerThread = 0;

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY)
        PostQuitMessage(0);
    return DefWindowProcW(window, message, wParam, lParam);
}

void PumpUntilQuit()
{
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0)
        DispatchMessageW(&msg);
}

DWORD WINAPI OwnerWorker(LPVOID)
{
    g_workerThread = GetCurrentThreadId();
    if (!CreateWindowExW(0, u"VelmoOwner", u"Owner Worker", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr, nullptr,
                         nullptr))
        return 1;
    PumpUntilQuit();
    return 0;
}

int WINAPI OwnerMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    g_ownerProcess = GetCurrentProcessId();
    g_ownerThread = GetCurrentThreadId();
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = OwnerProc;
    wc.hInstance = instance;
    wc.lpszClassName = u"VelmoOwner";
    if (!RegisterClassExW(&wc))
        return 100;
    HWND mainWindow = CreateWindowExW(0, u"VelmoOwner", u"Owner Main", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                      nullptr, nullptr, instance, nullptr);
    if (!mainWindow || !CreateWindowExW(0, u"STATIC", u"child", WS_CHILD, 0, 0, 10, 10, mainWindow, nullptr,
                                        instance, nullptr))
        return 101;
    HANDLE worker = CreateThread(nullptr, 0, OwnerWorker, nullptr, 0, nullptr);
    if (!worker)
        return 102;
    PumpUntilQuit();
    DWORD workerCode = 99;
    WaitForSingleObject(worker, INFINITE);
    GetExitCodeThread(worker, &workerCode);
    CloseHandle(worker);
    return 7 + static_cast<int>(workerCode);
}
PLATFORM_WINMAIN(u"owner.exe", OwnerMain)

struct Owned
{
    HWND window;
    DWORD process;
    DWORD thread;
};

BOOL CALLBACK Collect(HWND window, LPARAM list)
{
    DWORD process = 0;
    DWORD thread = GetWindowThreadProcessId(window, &process);
    reinterpret_cast<std::vector<Owned>*>(list)->push_back({window, process, thread});
    return TRUE;
}

TEST(Processes, AWindowBelongsToTheThreadAndProcessThatMadeIt)
{
    HWND here = nullptr;
    HWND mainWindow = nullptr;
    DWORD exitCode = sim::desktop().Run(u"C:\\bin\\owner.exe", u"", [&] {
        ASSERT_TRUE(sim::desktop().WaitIdle());
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = DefWindowProcW;
        wc.lpszClassName = u"VelmoHere";
        ASSERT_TRUE(RegisterClassExW(&wc));
        here = CreateWindowExW(0, u"VelmoHere", u"Here", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                               nullptr);
        ASSERT_TRUE(here);

        // Every process's top-level windows, children left out, found by class and title in any case.
        mainWindow = FindWindowW(u"velmoowner", u"OWNER MAIN");
        HWND worker = FindWindowW(nullptr, u"owner worker");
        ASSERT_TRUE(mainWindow && worker);
        std::vector<Owned> all;
        ASSERT_TRUE(EnumWindows(Collect, reinterpret_cast<LPARAM>(&all)));
        ASSERT_EQ(all.size(), 3u);
        ASSERT_NE(g_ownerProcess, GetCurrentProcessId());
        ASSERT_NE(g_workerThread, g_ownerThread);
        const Owned expected[] = {{mainWindow, g_ownerProcess, g_ownerThread},
                                  {worker, g_ownerProcess, g_workerThread},
                                  {here, GetCurrentProcessId(), GetCurrentThreadId()}};
        for (size_t i = 0; i < all.size(); ++i)
        {
            EXPECT_EQ(all[i].window, expected[i].window) << i;
            EXPECT_EQ(all[i].process, expected[i].process) << i;
            EXPECT_EQ(all[i].thread, expected[i].thread) << i;
        }
        PostMessageW(worker, WM_CLOSE, 0, 0);
        PostMessageW(mainWindow, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(exitCode, 7u);

    SetLastError(0);
    DWORD process = 123;
    EXPECT_EQ(GetWindowThreadProcessId(mainWindow, &process), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_EQ(process, 123u);
    std::vector<Owned> left;
    EXPECT_TRUE(EnumWindows(Collect, reinterpret_cast<LPARAM>(&left)));
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].window, here);
    DestroyWindow(here);
}

} // namespace
