#include <gtest/gtest.h>

#include "on_machine.h"
#include "v4_companion.h"

#include <sim/machine.h>
#include <platform/winsvc.h>
#include <sim/services.h>

#include <algorithm>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace
{
using kgsetup::CV4CompanionFiles;

const std::vector<std::u16string> kFiles = {u"VeKglV4-OUSUPX.dll", u"VeKglV4-MONAPI.dll",
                                            u"VeKglV4-MONSVR.exe", u"VeKglV4-SMON.dll",
                                            u"VeKglV4-OUSVRX.exe"};
const std::u16string kSystem32 = u"C:\\Windows\\System32\\";

void PutPackage(const std::u16string& folder, size_t count = 5)
{
    for (size_t i = 0; i < count; ++i)
        sim::files().Put(u"C:\\Pkg\\Monitor\\" + folder + u"\\" + kFiles[i], "file " + std::to_string(i));
}

// The companion service program: what it was asked, with which folder and user; " -install" makes
// its service, " -remove" stops and deletes it, both through the service manager.
struct Companion
{
    std::mutex mu; // the service program runs on a thread of its own
    std::vector<sim::StartedProcess> runs;
    DWORD exitCode = 0;

    static void Install()
    {
        SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        WString path = kSystem32 + u"VeKglV4-OUSVRX.exe";
        SC_HANDLE service =
            CreateServiceW(manager, CV4CompanionFiles::kServiceName, u"Companion", SERVICE_ALL_ACCESS,
                           SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, path.c_str(),
                           nullptr, nullptr, nullptr, nullptr, nullptr);
        CloseServiceHandle(service);
        CloseServiceHandle(manager);
    }

    static void Uninstall()
    {
        SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        SC_HANDLE service = OpenServiceW(manager, CV4CompanionFiles::kServiceName, SERVICE_ALL_ACCESS);
        SERVICE_STATUS status{};
        if (ControlService(service, SERVICE_CONTROL_STOP, &status))
            while (QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED)
                Sleep(250);
        DeleteService(service);
        CloseServiceHandle(service);
        CloseServiceHandle(manager);
    }

    void Register()
    {
        sim::processes().RegisterStandIn(u"VeKglV4-OUSVRX.exe",
                                         [this](const sim::StartedProcess& p) -> DWORD {
                                             {
                                                 std::lock_guard g(mu);
                                                 runs.push_back(p);
                                             }
                                             if (p.commandLine.ends_with(u" -install") && exitCode == 0)
                                                 Install();
                                             if (p.commandLine.ends_with(u" -remove"))
                                                 Uninstall();
                                             return exitCode;
                                         });
    }
};

void AddShell()
{
    sim::ProcessSetup explorer;
    explorer.imagePath = u"C:\\Windows\\explorer.exe";
    explorer.user = u"Hanako";
    explorer.shell = true;
    sim::processes().Add(explorer);
}

TEST(Companion, FoldersFollowTheNativeProcessor)
{
    PutPackage(u"x64");
    CV4CompanionFiles onX64(u"C:\\Pkg\\Monitor");
    EXPECT_EQ(onX64.sourceFolder, u"C:\\Pkg\\Monitor\\x64\\");
    EXPECT_EQ(onX64.targetFolder, kSystem32);
    EXPECT_EQ(onX64.sourceComplete, 1);
    EXPECT_EQ(onX64.state, 0u);
    EXPECT_EQ(onX64.StatusText(), u"NONE");

    sim::machine().SetSystem64(false);
    CV4CompanionFiles onX86(u"C:\\Pkg\\Monitor");
    EXPECT_EQ(onX86.sourceFolder, u"C:\\Pkg\\Monitor\\x86\\");
    EXPECT_EQ(onX86.sourceComplete, 0) << "the folder is missing";
    EXPECT_EQ(onX86.state, 6u);
}

TEST(Companion, AnIncompletePackageInstallsNothing)
{
    PutPackage(u"x64", 4);
    Companion companion;
    companion.Register();
    CV4CompanionFiles c(u"C:\\Pkg\\Monitor");
    EXPECT_EQ(c.state, 6u);
    EXPECT_EQ(c.StatusText(), u"NO_INPUT_FILE");
    EXPECT_FALSE(OnMachine([&] { return c.Install(); }));
    EXPECT_FALSE(sim::files().Exists(kSystem32 + kFiles[0]));
    EXPECT_TRUE(companion.runs.empty());
}

TEST(Companion, AServiceProgramAlreadyThereIsNoted)
{
    PutPackage(u"x64", 4);
    sim::files().Put(kSystem32 + kFiles[4], "old");
    CV4CompanionFiles c(u"C:\\Pkg\\Monitor");
    EXPECT_EQ(c.state, 5u) << "noted last, over the incomplete package";
    EXPECT_EQ(c.StatusText(), u"ALREADY_EXIST_FILE");
    EXPECT_EQ(c.installed, 1);
    EXPECT_EQ(c.sourceComplete, 0) << "what callers judge the package by";
}

TEST(Companion, InstallAndRemoveDoEveryStep)
{
    PutPackage(u"x64");
    Companion companion;
    companion.Register();
    AddShell();
    sim::files().Put(u"C:\\Work\\note.txt");
    ASSERT_TRUE(SetCurrentDirectoryW(u"C:\\Work"));

    CV4CompanionFiles c(u"C:\\Pkg\\Monitor");
    ASSERT_TRUE(OnMachine([&] { return c.Install(); }));
    EXPECT_EQ(c.state, 2u);
    EXPECT_EQ(c.StatusText(), u"\u30A4\u30F3\u30B9\u30C8\u30FC\u30EB\u6210\u529F");
    for (size_t i = 0; i < kFiles.size(); ++i)
        EXPECT_EQ(sim::files().Bytes(kSystem32 + kFiles[i]), "file " + std::to_string(i));
    sim::virtualClock().Advance(1000);
    ASSERT_EQ(companion.runs.size(), 2u);
    EXPECT_EQ(companion.runs[0].commandLine, kSystem32 + u"VeKglV4-OUSVRX.exe -install");
    EXPECT_EQ(companion.runs[0].currentDirectory, u"C:\\Windows\\System32");
    EXPECT_EQ(companion.runs[0].showCommand, SW_HIDE);
    EXPECT_EQ(companion.runs[1].commandLine, kSystem32 + u"VeKglV4-OUSVRX.exe -uimanage");
    EXPECT_EQ(companion.runs[1].user, u"Hanako");
    EXPECT_FALSE(companion.runs[1].elevated);
    EXPECT_EQ(sim::services().State(CV4CompanionFiles::kServiceName), DWORD(SERVICE_RUNNING));
    EXPECT_EQ(sim::services().Journal(), (std::vector<std::string>{"start VeKglV4-OuServiceX"}));
    EXPECT_EQ(sim::services().Setup(CV4CompanionFiles::kServiceName)->binaryPath,
              kSystem32 + u"VeKglV4-OUSVRX.exe");
    WCHAR folder[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, folder);
    EXPECT_EQ(WString(folder), u"C:\\Work");

    ASSERT_TRUE(OnMachine([&] { return c.Remove(); }));
    EXPECT_EQ(c.state, 4u);
    EXPECT_EQ(c.StatusText(), u"\u524A\u9664\u6210\u529F");
    ASSERT_EQ(companion.runs.size(), 3u);
    EXPECT_EQ(companion.runs[2].commandLine, kSystem32 + u"VeKglV4-OUSVRX.exe -remove");
    for (size_t i = 0; i < kFiles.size(); ++i)
        EXPECT_FALSE(sim::files().Exists(kSystem32 + kFiles[i])) << i;
    EXPECT_FALSE(sim::services().State(CV4CompanionFiles::kServiceName));
    GetCurrentDirectoryW(MAX_PATH, folder);
    EXPECT_EQ(WString(folder), u"C:\\Work");
    EXPECT_FALSE(OnMachine([&] { return c.Remove(); })) << "removed already";
}

TEST(Companion, AServiceProgramThatFailsOrNeverStartsFailsTheInstall)
{
    struct Case
    {
        const char* what;
        bool registered;
        DWORD exitCode;
    } cases[] = {{"exit 1", true, 1}, {"no start", false, 0}};
    for (const Case& k : cases)
    {
        sim::machine().Reset();
        PutPackage(u"x64");
        AddShell();
        Companion companion;
        companion.exitCode = k.exitCode;
        if (k.registered)
            companion.Register();
        CV4CompanionFiles c(u"C:\\Pkg\\Monitor");
        EXPECT_FALSE(OnMachine([&] { return c.Install(); })) << k.what;
        EXPECT_EQ(c.state, 1u) << k.what;
        EXPECT_EQ(c.StatusText(), u"\u30A4\u30F3\u30B9\u30C8\u30FC\u30EB\u5931\u6557") << k.what;
        EXPECT_TRUE(sim::services().Journal().empty()) << k.what;
        EXPECT_LE(companion.runs.size(), 1u) << k.what << ": no -uimanage";
        EXPECT_FALSE(OnMachine([&] { return c.Remove(); }))
            << k.what << ": nothing to remove after a failed install";
    }
}

// A file that could not be copied leaves an incomplete set: the install fails before the service
// program runs on it, the other files still copied and the copy's error kept for the log.
TEST(Companion, AFailedCopyFailsTheInstallBeforeTheProgramRuns)
{
    PutPackage(u"x64");
    AddShell();
    Companion companion;
    companion.Register();
    CV4CompanionFiles c(u"C:\\Pkg\\Monitor");
    sim::faults().FailNext("CopyFileW", ERROR_SHARING_VIOLATION, 1, 1);
    EXPECT_FALSE(OnMachine([&] { return c.Install(); }));
    EXPECT_EQ(c.state, 1u);
    EXPECT_EQ(c.lastError, DWORD(ERROR_SHARING_VIOLATION));
    EXPECT_TRUE(companion.runs.empty()) << "no -install on an incomplete set";
    EXPECT_FALSE(sim::services().State(CV4CompanionFiles::kServiceName));
    for (size_t i = 0; i < kFiles.size(); ++i)
        EXPECT_EQ(sim::files().Exists(kSystem32 + kFiles[i]), i != 1) << i;
}
} // namespace

namespace
{
// Every call of Install and Remove that changes the machine failed once in turn: a true result means
// the step is done, a false one leaves the state saying how far it came.
TEST(Companion, EachFailedCallIsReported)
{
    const char* apis[] = {"CopyFileW",          "CreateProcessW",         "SetCurrentDirectoryW",
                          "OpenSCManagerW",     "OpenServiceW",           "ControlService",
                          "StartServiceW",      "QueryServiceStatus",     "DeleteFileW",
                          "SetFileAttributesW", "CreateProcessWithTokenW"};
    // Outlives every run: a program a failed step left running may still report to it until the
    // next reset joins it.
    Companion companion;
    for (const char* api : apis)
        for (int skip = 0;; ++skip)
        {
            sim::machine().Reset();
            {
                std::lock_guard g(companion.mu);
                companion.runs.clear();
            }
            PutPackage(u"x64");
            AddShell();
            companion.Register();
            CV4CompanionFiles c(u"C:\\Pkg\\Monitor");
            sim::faults().FailNext(api, ERROR_ACCESS_DENIED, 1, skip);
            bool installed = OnMachine([&] { return c.Install(); });
            bool removed = installed && OnMachine([&] { return c.Remove(); });
            if (!sim::faults().Pending().empty())
            {
                sim::machine().Reset();
                break;
            }
            const std::string at = std::string(api) + " " + std::to_string(skip);
            if (!installed)
            {
                EXPECT_EQ(c.state, 1u) << at;
                continue;
            }
            const std::optional<DWORD> service = sim::services().State(CV4CompanionFiles::kServiceName);
            if (!removed)
            {
                EXPECT_EQ(c.state, 3u) << at;
                // The program ends well whatever its own service calls gave: a service it left
                // running is waited for in vain.
                std::lock_guard g(companion.mu);
                const bool ranRemove = std::ranges::any_of(companion.runs, [](const sim::StartedProcess& p) {
                    return p.commandLine.ends_with(u" -remove");
                });
                EXPECT_EQ(c.lastError, ranRemove && service == DWORD(SERVICE_RUNNING)
                                           ? static_cast<DWORD>(ERROR_SERVICE_REQUEST_TIMEOUT)
                                           : static_cast<DWORD>(ERROR_ACCESS_DENIED))
                    << at;
                continue;
            }
            EXPECT_EQ(c.state, 4u) << at;
            EXPECT_NE(service, DWORD(SERVICE_RUNNING)) << at << ": running, yet removed";
            for (const auto& file : kFiles)
                EXPECT_FALSE(sim::files().Exists(kSystem32 + file)) << at << ": left, yet removed";
        }
}
} // namespace

namespace
{
// A fresh object removes what it finds: the clean-up makes one on no package at all, and a package
// whose source is there while the service program is gone leaves the state at none.
TEST(Companion, AFreshObjectRemovesWhatItFinds)
{
    struct Case
    {
        const char* what;
        const char16_t* source; // the package folder the object is made on
        size_t installed;       // files of the list in the system folder, from the first
        DWORD state;
        bool runsRemove;
    } cases[] = {
        {"no package, all installed", u"", 5, 5, true},
        {"whole package, the program gone", u"C:\\Pkg\\Monitor", 4, 0, false},
    };
    for (const Case& k : cases)
    {
        sim::machine().Reset();
        PutPackage(u"x64");
        Companion companion;
        companion.Register();
        for (size_t i = 0; i < k.installed; ++i)
            sim::files().Put(kSystem32 + kFiles[i], "installed");
        if (k.installed == 5)
            Companion::Install();
        CV4CompanionFiles c(k.source);
        ASSERT_EQ(c.state, k.state) << k.what;
        EXPECT_TRUE(OnMachine([&] { return c.Remove(); })) << k.what;
        EXPECT_EQ(c.state, 4u) << k.what;
        for (const auto& file : kFiles)
            EXPECT_FALSE(sim::files().Exists(kSystem32 + file)) << k.what;
        EXPECT_FALSE(sim::services().State(CV4CompanionFiles::kServiceName)) << k.what;
        EXPECT_EQ(companion.runs.size(), k.runsRemove ? 1u : 0u) << k.what;
    }
    sim::machine().Reset();
    CV4CompanionFiles nothing(u"");
    EXPECT_FALSE(OnMachine([&] { return nothing.Remove(); })) << "nothing installed";
}
} // namespace

namespace
{
// The service program's " -remove" may end before its service has stopped; the files go only once
// the service is seen stopped or gone, a failed status check is looked past once, and a service that
// never stops gives up after the wait's bound. A program that fails only because its service is gone
// already leaves its files to go.
TEST(Companion, TheFilesGoOnlyOnceTheServiceHasStopped)
{
    enum Program
    {
        kStopsAndWaits,   // stops its service, waits, deletes it
        kStopsOnly,       // asks the stop and ends while the service stops
        kStopsAndDeletes, // asks the stop, deletes the stopping service and ends
        kLeavesRunning,   // ends with its service running
        kFindsItGone,     // answers a failure: an earlier removal took its service
        kFails,           // answers a failure with its service still there
    };
    struct Case
    {
        const char* what;
        Program program;
        int failedQueries; // the engine's first status checks that fail
        bool removed;
        DWORD code;
    } cases[] = {
        {"stopped", kStopsAndWaits, 0, true, 0},
        {"stopping", kStopsOnly, 0, true, 0},
        {"stopping, marked for deletion", kStopsAndDeletes, 0, true, 0},
        {"a failed check, then stopped", kStopsOnly, 1, true, 0},
        {"two failed checks", kStopsOnly, 2, false, ERROR_ACCESS_DENIED},
        {"running", kLeavesRunning, 0, false, ERROR_SERVICE_REQUEST_TIMEOUT},
        {"running, a failed check at first", kLeavesRunning, 1, false, ERROR_SERVICE_REQUEST_TIMEOUT},
        {"the service gone before", kFindsItGone, 0, true, 0},
        {"the program failing", kFails, 0, false, 1},
    };
    for (const Case& k : cases)
    {
        sim::machine().Reset();
        for (const auto& file : kFiles)
            sim::files().Put(kSystem32 + file, "installed");
        Companion::Install();
        sim::ServiceSetup running = *sim::services().Setup(CV4CompanionFiles::kServiceName);
        running.state = SERVICE_RUNNING;
        running.stopMilliseconds = 2500;
        sim::services().Add(running);
        sim::processes().RegisterStandIn(u"VeKglV4-OUSVRX.exe", [&k](const sim::StartedProcess&) -> DWORD {
            if (k.program == kStopsAndWaits)
            {
                Companion::Uninstall();
                return 0;
            }
            if (k.program == kFindsItGone)
                Companion::Uninstall();
            if (k.program == kFindsItGone || k.program == kFails)
                return 1;
            SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
            SC_HANDLE service = OpenServiceW(manager, CV4CompanionFiles::kServiceName, SERVICE_ALL_ACCESS);
            SERVICE_STATUS status{};
            if (k.program != kLeavesRunning)
                ControlService(service, SERVICE_CONTROL_STOP, &status);
            if (k.program == kStopsAndDeletes)
                DeleteService(service);
            CloseServiceHandle(service);
            CloseServiceHandle(manager);
            return 0;
        });
        CV4CompanionFiles c(u"");
        if (k.failedQueries)
            sim::faults().FailNext("QueryServiceStatus", ERROR_ACCESS_DENIED, k.failedQueries);
        const ULONGLONG before = sim::virtualClock().Now();
        EXPECT_EQ(OnMachine([&] { return c.Remove(); }), k.removed) << k.what;
        EXPECT_TRUE(sim::faults().Pending().empty()) << k.what;
        if (k.removed)
        {
            EXPECT_EQ(c.state, 4u) << k.what;
            EXPECT_NE(sim::services().State(CV4CompanionFiles::kServiceName), DWORD(SERVICE_RUNNING))
                << k.what;
        }
        else
        {
            EXPECT_EQ(c.state, 3u) << k.what;
            EXPECT_EQ(c.lastError, k.code) << k.what;
            if (k.code == ERROR_SERVICE_REQUEST_TIMEOUT)
            {
                EXPECT_EQ(sim::virtualClock().Now() - before, 120u * 1000u)
                    << k.what << ": 120 polls, 1 s apart";
            }
        }
        for (const auto& file : kFiles)
            EXPECT_EQ(sim::files().Exists(kSystem32 + file), !k.removed) << k.what;
    }
    sim::machine().Reset();
}
} // namespace
