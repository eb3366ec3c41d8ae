#include <gtest/gtest.h>

#include "on_machine.h"
#include "processes.h"

#include <sim/machine.h>

#include <atomic>
#include <map>
#include <string>
#include <vector>

namespace
{
using kgsetup::RunProcessAndWait;

std::u16string Decimal(DWORD n)
{
    std::string digits = std::to_string(n);
    return std::u16string(digits.begin(), digits.end());
}

TEST(RunProcess, ReportsStartExitAndStillRunning)
{
    sim::files().Put(u"C:\\Tools\\three.exe", "MZ");
    sim::files().Put(u"C:\\Tools\\slow.exe", "MZ");
    sim::processes().RegisterStandIn(u"three.exe", [](const sim::StartedProcess&) -> DWORD { return 3; });
    sim::processes().RegisterStandIn(u"slow.exe", [](const sim::StartedProcess&) -> DWORD {
        Sleep(5000);
        return 0;
    });
    struct Case
    {
        std::u16string command;
        DWORD wait, exitCode;
        bool started;
    } cases[] = {
        {u"C:\\Tools\\missing.exe -x", INFINITE, 0, false},
        {u"C:\\Tools\\three.exe -install", INFINITE, 3, true},
        {u"\"C:\\Tools\\slow.exe\"", 1000, STILL_ACTIVE, true},
    };
    for (const Case& c : cases)
    {
        kgsetup::RunResult r = OnMachine([&] { return RunProcessAndWait(c.command, c.wait); });
        EXPECT_EQ(r.exitCode, c.exitCode) << sim::virtualClock().Now();
        EXPECT_EQ(r.started, c.started);
    }
    auto started = sim::processes().Started();
    ASSERT_EQ(started.size(), 2u);
    EXPECT_EQ(started[0].commandLine, u"C:\\Tools\\three.exe -install");
    EXPECT_EQ(started[0].showCommand, SW_HIDE);
}

TEST(RunAsDesktopUser, RunsWithTheShellsTokenOrGives5)
{
    sim::files().Put(u"C:\\Windows\\System32\\VeKglV4-OUSVRX.exe", "MZ");
    sim::StartedProcess seen;
    std::atomic<int> runs = 0;
    sim::processes().RegisterStandIn(u"VeKglV4-OUSVRX.exe", [&](const sim::StartedProcess& p) -> DWORD {
        seen = p;
        ++runs;
        Sleep(1000);
        return 0;
    });
    const std::u16string command = u"C:\\Windows\\System32\\VeKglV4-OUSVRX.exe -uimanage";
    EXPECT_EQ(OnMachine([&] { return kgsetup::RunAsDesktopUser(command); }), DWORD(ERROR_ACCESS_DENIED))
        << "no shell";

    sim::ProcessSetup explorer;
    explorer.imagePath = u"C:\\Windows\\explorer.exe";
    explorer.user = u"Hanako";
    explorer.shell = true;
    sim::processes().Add(explorer);
    EXPECT_EQ(OnMachine([&] { return kgsetup::RunAsDesktopUser(command); }), DWORD(STILL_ACTIVE));
    sim::virtualClock().Advance(2000);
    ASSERT_EQ(runs, 1);
    EXPECT_EQ(seen.user, u"Hanako");
    EXPECT_FALSE(seen.elevated);
    EXPECT_EQ(seen.showCommand, SW_HIDE);

    for (const char* api : {"OpenProcess", "OpenProcessToken", "DuplicateTokenEx", "CreateProcessWithTokenW"})
    {
        sim::faults().FailNext(api, ERROR_ACCESS_DENIED);
        EXPECT_EQ(OnMachine([&] { return kgsetup::RunAsDesktopUser(command); }), DWORD(ERROR_ACCESS_DENIED))
            << api;
    }
    sim::machine().SetAdministrator(false);
    EXPECT_EQ(OnMachine([&] { return kgsetup::RunAsDesktopUser(command); }), DWORD(ERROR_ACCESS_DENIED))
        << "not elevated";
    EXPECT_EQ(runs, 1);
}

sim::ProcessSetup Process(std::u16string image, std::vector<WString> modules, bool accessible = true)
{
    sim::ProcessSetup p;
    p.imagePath = image;
    p.modules = std::move(modules);
    p.accessible = accessible;
    return p;
}

TEST(ProcessLists, OpenableProcessesAndTheirModulesWithoutCase)
{
    sim::processes().SetCallingProgram(u"C:\\Pkg\\KGSetup64.exe", u"\"C:\\Pkg\\KGSetup64.exe\"");
    std::vector<WString> many(299, u"C:\\Windows\\System32\\filler.dll");
    many.push_back(u"C:\\Apps\\velmq7ui.dll");
    DWORD system = sim::processes().Add(Process(u"C:\\Windows\\System32\\smss.exe", {}, false));
    DWORD spooler =
        sim::processes().Add(Process(u"C:\\Windows\\System32\\spoolsv.exe",
                                     {u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\VelmQ7UI.dll"}));
    DWORD editor = sim::processes().Add(Process(u"C:\\Apps\\Editor.exe", {u"C:\\Apps\\VELMQ7UI.DLL"}));
    DWORD hidden =
        sim::processes().Add(Process(u"C:\\Apps\\Guarded.exe", {u"C:\\Apps\\VelmQ7UI.dll"}, false));
    DWORD big = sim::processes().Add(Process(u"C:\\Apps\\Big.exe", many));
    DWORD other = sim::processes().Add(Process(u"C:\\Apps\\Other.exe", {u"C:\\Apps\\other.dll"}));
    DWORD self = GetCurrentProcessId();

    auto all = OnMachine([] { return kgsetup::ListProcesses(); });
    EXPECT_EQ(all.count(system), 0u);
    EXPECT_EQ(all.count(hidden), 0u);
    EXPECT_EQ(all[spooler], u"C:\\Windows\\System32\\spoolsv.exe");
    EXPECT_EQ(all[self], u"C:\\Pkg\\KGSetup64.exe");
    EXPECT_EQ(all.size(), 5u);

    auto holding = kgsetup::ProcessesHoldingModule(u"Velmq7UI.dll");
    EXPECT_EQ(holding, (std::map<DWORD, WString>{{spooler, u"C:\\Windows\\System32\\spoolsv.exe"},
                                                 {editor, u"C:\\Apps\\Editor.exe"},
                                                 {big, u"C:\\Apps\\Big.exe"}}));
    auto own = kgsetup::ProcessesHoldingModule(u"KGSetup64");
    EXPECT_EQ(own, (std::map<DWORD, WString>{{self, u"C:\\Pkg\\KGSetup64.exe"}}))
        << "its own image is a module";
    EXPECT_EQ(kgsetup::ProcessesHoldingModule(u"other.dll").count(other), 1u);
}

TEST(KillProcess, EndsTheProcessWithTheSystemsTaskkill)
{
    // A taskkill.exe planted beside the program: a bare name would find it first.
    sim::processes().SetCallingProgram(u"C:\\Downloads\\KGSetup64.exe", u"\"C:\\Downloads\\KGSetup64.exe\"");
    sim::files().Put(u"C:\\Downloads\\taskkill.exe", "MZ");
    std::atomic<int> planted = 0;
    sim::processes().RegisterStandIn(u"taskkill.exe", [&](const sim::StartedProcess&) -> DWORD {
        ++planted;
        return 0;
    });
    DWORD editor = sim::processes().Add(Process(u"C:\\Apps\\Editor.exe", {}));
    DWORD guarded = sim::processes().Add(Process(u"C:\\Apps\\Guarded.exe", {}, false));

    kgsetup::RunResult r = OnMachine([&] { return kgsetup::KillProcess(editor); });
    EXPECT_TRUE(r.started);
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_FALSE(sim::processes().Running(editor));
    EXPECT_EQ(sim::processes().ExitCode(editor), 1u);
    EXPECT_EQ(OnMachine([&] { return kgsetup::KillProcess(editor); }).exitCode, 128u)
        << "no such process any more";
    EXPECT_EQ(OnMachine([&] { return kgsetup::KillProcess(guarded); }).exitCode, 1u);
    EXPECT_TRUE(sim::processes().Running(guarded));
    EXPECT_EQ(planted, 0);
    auto started = sim::processes().Started();
    ASSERT_FALSE(started.empty());
    EXPECT_EQ(started[0].applicationPath, u"C:\\Windows\\System32\\taskkill.exe");
    EXPECT_EQ(started[0].commandLine, u"\"C:\\Windows\\System32\\taskkill.exe\" /F /PID " + Decimal(editor));
}

TEST(RunQuoted, QuotesThePath)
{
    sim::files().Put(u"C:\\Program Files\\Velmo\\uninst.exe", "MZ");
    sim::processes().RegisterStandIn(u"uninst.exe", [](const sim::StartedProcess&) -> DWORD { return 7; });
    kgsetup::RunResult r =
        OnMachine([] { return kgsetup::RunQuoted(u"C:\\Program Files\\Velmo\\uninst.exe"); });
    EXPECT_TRUE(r.started);
    EXPECT_EQ(r.exitCode, 7u);
    EXPECT_EQ(sim::processes().Started().at(0).commandLine, u"\"C:\\Program Files\\Velmo\\uninst.exe\"");
}
} // namespace
