#include <gtest/gtest.h>

#include <platform/entry.h>
#include <sim/machine.h>

#include <cstring>

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
    auto& m = sim::machine();
    EXPECT_EQ(m.Run(u"C:\\Program Files\\Probe\\PROBE.EXE", u"  -a \"b c\"", SW_HIDE), 40u);
    EXPECT_EQ(g_tail, "-a \"b c\"");
    EXPECT_EQ(g_module, "C:\\Program Files\\Probe\\PROBE.EXE");
    EXPECT_EQ(m.Run(u"C:\\x\\unknown.exe"), 0xC0000135u);
}

TEST(Processes, WinExecFindsTheProgramAsWindowsDoes)
{
    auto& m = sim::machine();
    m.PutFile(u"C:\\Program Files\\Tool\\tool.exe");
    EXPECT_GT(WinExec("C:\\Program Files\\Tool\\tool.exe /q", SW_SHOW), 31u);
    m.PutFile(u"C:\\Program.exe");
    EXPECT_GT(WinExec("C:\\Program Files\\Tool\\tool.exe /q", SW_SHOW), 31u);
    EXPECT_GT(WinExec("\"C:\\Program Files\\Tool\\tool.exe\" /q", SW_SHOW), 31u);
    EXPECT_EQ(WinExec("C:\\nothing.exe", SW_SHOW), static_cast<UINT>(ERROR_FILE_NOT_FOUND));

    auto started = m.Started();
    ASSERT_EQ(started.size(), 3u);
    EXPECT_EQ(started[0].applicationPath, u"C:\\Program Files\\Tool\\tool.exe");
    EXPECT_EQ(started[1].applicationPath, u"C:\\Program.exe") << "an unquoted path with blanks is ambiguous";
    EXPECT_EQ(started[2].applicationPath, u"C:\\Program Files\\Tool\\tool.exe");
}

TEST(Processes, StartedRegisteredProgramsRunAndStandInsAnswer)
{
    auto& m = sim::machine();
    m.PutFile(u"C:\\bin\\probe.exe");
    m.PutFile(u"C:\\bin\\other.exe");
    std::string seen;
    m.RegisterStandIn(u"OTHER.exe", [&](const sim::StartedProcess& p) {
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

TEST(Processes, ModuleFileNameTruncatesLikeWindows)
{
    auto& m = sim::machine();
    m.SetCallingProgram(u"C:\\abc\\d.exe", u"d"); // 12 characters
    char buf[12];
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameA(nullptr, buf, sizeof buf), 12u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_STREQ(buf, "C:\\abc\\d.ex");
    char exact[13];
    EXPECT_EQ(GetModuleFileNameA(nullptr, exact, sizeof exact), 12u);
    EXPECT_STREQ(exact, "C:\\abc\\d.exe");
}
} // namespace
