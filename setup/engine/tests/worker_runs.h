// What the worker tests share: the machine a setup program runs on, the package driver's sources
// with a stand-in for its companion service program, and a worker run through its progress logic on
// its own thread, the test polling the word as the progress page does.
#pragma once

#include "install_workers.h"
#include "machines.h"
#include "on_machine.h"
#include "progress.h"

#include <platform/winsvc.h>
#include <sim/machine.h>
#include <sim/spooler.h>

#include <memory>
#include <vector>

namespace kgsetup::test
{

inline const WString kProgram = u"C:\\Pkg\\KGSetup64.exe";
inline const WString kUninstaller = u"C:\\Program Files\\Velmo\\KORIGRAPH\\uninst.exe";
inline const WString kEntry =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KORIGRAPH Printer Driver";
inline const WString kStoreFile =
    u"C:\\ProgramData\\Microsoft\\Windows\\DeviceMetadataStore\\en\\" + WString(kMetadataFile);
inline const WString kCacheFolder =
    u"C:\\ProgramData\\Microsoft\\Windows\\DeviceMetadataCache\\dmrccache\\multiloc\\" +
    WString(kMetadataPackageId);
inline const WString kShortcut =
    u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Velmo\\KORIGRAPH Printer Driver.lnk";
inline const std::vector<std::u16string> kCompanionFiles = {u"VeKglV4-OUSUPX.dll", u"VeKglV4-MONAPI.dll",
                                                            u"VeKglV4-MONSVR.exe", u"VeKglV4-SMON.dll",
                                                            u"VeKglV4-OUSVRX.exe"};

class TestPage : public IProgressPage
{
public:
    TestPage() : mutex_(CreateMutexW(nullptr, FALSE, nullptr)) {}
    ~TestPage() override { CloseHandle(mutex_); }
    HANDLE PageMutex() const override { return mutex_; }

private:
    HANDLE mutex_;
};

// The companion service program: " -install" makes its service, " -remove" stops and deletes it
// (exit code 1 when it cannot stop it).
inline void RegisterCompanionProgram()
{
    sim::processes().RegisterStandIn(u"VeKglV4-OUSVRX.exe", [](const sim::StartedProcess& p) -> DWORD {
        SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        if (p.commandLine.ends_with(u" -install"))
        {
            WString path = u"C:\\Windows\\System32\\VeKglV4-OUSVRX.exe";
            SC_HANDLE service =
                CreateServiceW(manager, CV4CompanionFiles::kServiceName, u"Companion", SERVICE_ALL_ACCESS,
                               SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                               path.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
            CloseServiceHandle(service);
        }
        DWORD exitCode = 0;
        if (p.commandLine.ends_with(u" -remove"))
        {
            SC_HANDLE service = OpenServiceW(manager, CV4CompanionFiles::kServiceName, SERVICE_ALL_ACCESS);
            SERVICE_STATUS status{};
            if (ControlService(service, SERVICE_CONTROL_STOP, &status))
                while (QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED)
                    Sleep(250);
            else if (service && GetLastError() != ERROR_SERVICE_NOT_ACTIVE)
                exitCode = 1; // a service it could not stop is not removed
            if (!exitCode)
                DeleteService(service);
            CloseServiceHandle(service);
        }
        CloseServiceHandle(manager);
        return exitCode;
    });
}

inline void PutV4Sources(bool metadata = true, bool companions = true)
{
    PutV4Package();
    if (companions)
        for (const auto& f : kCompanionFiles)
            sim::files().Put(u"C:\\Pkg\\Monitor\\x64\\" + f, "companion");
    if (metadata)
        sim::files().Put(u"C:\\Pkg\\DeviceApp\\en\\" + WString(kMetadataFile), "metadata package");
    RegisterCompanionProgram();
    sim::ProcessSetup explorer;
    explorer.imagePath = u"C:\\Windows\\explorer.exe";
    explorer.shell = true;
    sim::processes().Add(explorer);
}

inline void PrepareMachine()
{
    // What every system has: the start menu's programs folder.
    sim::files().Put(u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\desktop.ini");
    sim::processes().SetCallingProgram(kProgram, u"KGSetup64.exe");
    sim::files().SetVersion(kProgram, 2, 0, 0, 0);
}

struct WorkerRun
{
    std::vector<UINT> words; // every word seen, repeats dropped
    UINT final = 0;
    int nextPage = 0;
};

// Makes the logic and its worker as the page does, starts its thread and polls every 200 ms.
template <typename Logic> WorkerRun RunWorker(CSetupContext& context)
{
    WorkerRun run;
    OnMachine([&] {
        auto page = std::make_shared<TestPage>();
        auto logic = MakeProgress<Logic>(context, page);
        if (!logic->CreateWorker())
        {
            run.final = kFailStart | kStatusFinished;
            return 0;
        }
        // The word the worker was made with, read before a quick thread can replace it.
        run.words.push_back(logic->GetStatus());
        if (!logic->Start())
        {
            run.final = kFailStart | kStatusFinished;
            return 0;
        }
        for (int tick = 0; tick < 20000; ++tick)
        {
            UINT word = logic->GetStatus();
            if (run.words.empty() || run.words.back() != word)
                run.words.push_back(word);
            if (word != kStatusUnreadable && (word & kStatusFinished))
            {
                run.final = word;
                break;
            }
            Sleep(200);
        }
        while (!logic->StopRound())
            Sleep(200);
        run.nextPage = logic->NextPageId();
        return 0;
    });
    return run;
}

} // namespace kgsetup::test
