// Whole lives of a driver on one machine: installed, updated from a newer package keeping the user's
// printers, then removed with everything it brought, leaving the machine as it was.
#include "ports.h"
#include "remove_worker.h"
#include "v3_removal.h"
#include "update_workers.h"
#include "worker_runs.h"

#include <gtest/gtest.h>
#include <sim/services.h>
#include <sim/snapshot.h>
#include <testing/left_after_removal.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>

namespace kgsetup
{
namespace
{
using namespace test;

std::string Utf8(const WString& w)
{
    return std::string(w.begin(), w.end());
}

std::string Log(const CSetupContext& context)
{
    return Utf8(context.errorLog);
}

// The package's INF made newer: another DriverVer, the rest as it was.
void MakePackageNewer(const WString& inf, const std::string& from, const std::string& to)
{
    std::string text = sim::files().Bytes(inf).value_or("");
    const size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos);
    text.replace(at, from.size(), to);
    sim::files().Put(inf, text);
}

std::set<WString> Published()
{
    std::set<WString> names;
    for (const sim::StorePackage& p : sim::spooler().Packages())
        names.insert(p.publishedName);
    return names;
}

void SetOffline(const WString& printer)
{
    PRINTER_DEFAULTSW all{nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE h = nullptr;
    ASSERT_TRUE(OpenPrinter2W(printer.c_str(), &h, &all, nullptr));
    EXPECT_NE(SetPrinterAttributeBit(h, PRINTER_ATTRIBUTE_WORK_OFFLINE, true), 0);
    ClosePrinter(h);
}

bool Offline(const WString& printer)
{
    auto p = sim::spooler().Printer(printer);
    return p && (p->attributes & PRINTER_ATTRIBUTE_WORK_OFFLINE);
}

// Installs a printer on a chosen port through the install worker.
void InstallOnPort(const WString& name, int port, UINT model, UINT expected = 0x80020000)
{
    CSetupContext context;
    context.connectionKind = 4;
    context.printerName = name;
    context.LoadModelList();
    context.EnumPorts();
    context.selectedPort = port;
    context.selectedModel = model;
    WorkerRun run = RunWorker<CInstallProgress>(context);
    ASSERT_EQ(run.final, expected) << std::hex << run.final << " " << Log(context);
}

// The whole removal the Remove page asks for with every row checked, and the program's exit.
WorkerRun RemoveEverything(std::vector<WString> printers)
{
    CSetupContext context;
    context.mode = 2;
    context.flags = kFlagRemoveV3 | kFlagRemoveV4;
    context.printersToUpdate = std::move(printers);
    WorkerRun run = RunWorker<CRemoveProgress>(context);
    EXPECT_EQ(context.selfDeleteAtExit, 1u) << Log(context);
    OnMachine([&] {
        context.CleanUpAtExit();
        return 0;
    });
    sim::virtualClock().Advance(10000);
    return run;
}

// What a removal may leave, and the test's own package changes.
std::vector<std::string> Unexpected(const std::vector<std::string>& change)
{
    return LeftAfterRemoval(change,
                            [](const std::string& line) { return line.starts_with("~ file C:\\Pkg\\"); });
}

TEST(RoundTrip, ClassicDriverInstalledUpdatedAndRemoved)
{
    PrepareMachine();
    PutV3Package();
    sim::processes().InstallCommandInterpreter(true);
    const sim::Snapshot clean = sim::TakeSnapshot();

    InstallOnPort(u"Office", 0, 0);
    sim::PrinterSetup second;
    second.name = u"Office 2";
    second.driverName = kSharedModel;
    second.portName = u"COM1:";
    second.printProcessor = u"KglPrint";
    sim::spooler().AddPrinter(second);
    SetOffline(u"Office");
    sim::spooler().AddJob(u"Office 2", u"Minutes");
    ASSERT_EQ(sim::spooler().Jobs().size(), 1u);
    const std::set<WString> old = Published();
    ASSERT_EQ(old.size(), 1u);

    MakePackageNewer(kV3Inf, "DriverVer=03/15/2021,1.2.0.0", "DriverVer=06/01/2022,1.3.0.0");
    CSetupContext update;
    ASSERT_EQ(update.driverKind, 3);
    update.v3CompareResult = 2;
    WorkerRun run = RunWorker<CUpdateProgress>(update);
    EXPECT_EQ(run.final, 0x80050000u) << std::hex << run.final << " " << Log(update);
    EXPECT_EQ(run.words.front(), 26u);
    EXPECT_TRUE(Offline(u"Office")) << "offline kept";
    EXPECT_FALSE(Offline(u"Office 2"));
    EXPECT_EQ(sim::spooler().Jobs().size(), 1u);
    const std::set<WString> now = Published();
    ASSERT_EQ(now.size(), 1u);
    EXPECT_NE(*now.begin(), *old.begin()) << "the old OEM INF gone, the new one in";
    for (const sim::DriverSetup& d : sim::spooler().Drivers())
        EXPECT_EQ(d.driverVersion, 0x0001000300000000ull) << Utf8(d.name);
    auto processors = sim::spooler().PrintProcessors();
    EXPECT_NE(std::ranges::find(processors, u"KglPrint"), processors.end()) << "installed again";

    run = RemoveEverything({u"Office", u"Office 2"});
    EXPECT_EQ(run.final, 0x80040000u) << std::hex << run.final;
    EXPECT_EQ(Unexpected(sim::Difference(clean, sim::TakeSnapshot())), std::vector<std::string>{});
}

TEST(RoundTrip, PackageDriverInstalledUpdatedAndRemoved)
{
    PrepareMachine();
    PutV4Sources();
    sim::processes().InstallCommandInterpreter(true);
    const sim::Snapshot clean = sim::TakeSnapshot();

    InstallOnPort(u"Package", 0, 0);
    SetOffline(u"Package");
    sim::spooler().AddJob(u"Package", u"Minutes");
    const std::set<WString> old = Published();

    MakePackageNewer(kV4Inf, "DriverVer=06/01/2023,4.1.0.0", "DriverVer=12/31/2030,4.2.0.0");
    sim::files().Put(u"C:\\Pkg\\DeviceApp\\en\\" + WString(kMetadataFile), "newer metadata");
    sim::files().Put(kCacheFolder + u"\\cache.bin", "cached");
    CSetupContext update;
    ASSERT_EQ(update.driverKind, 4);
    update.v4CompareResult = 2;
    const size_t startsBefore = sim::processes().Started().size();
    WorkerRun run = RunWorker<CUpdateProgress>(update);
    EXPECT_EQ(run.final, 0x80050000u) << std::hex << run.final << " " << Log(update);
    EXPECT_FALSE(Offline(u"Package")) << "online after the update";
    EXPECT_EQ(sim::files().Bytes(kStoreFile), "newer metadata");
    EXPECT_FALSE(sim::files().Exists(kCacheFolder));
    EXPECT_EQ(sim::services().State(CV4CompanionFiles::kServiceName), DWORD(SERVICE_RUNNING));
    EXPECT_GT(sim::processes().Started().size(), startsBefore) << "the companions installed again";
    const std::set<WString> now = Published();
    ASSERT_EQ(now.size(), 1u);
    EXPECT_FALSE(old.count(*now.begin()));

    run = RemoveEverything({u"Package"});
    EXPECT_EQ(run.final, 0x80040000u) << std::hex << run.final;
    EXPECT_FALSE(sim::services().State(CV4CompanionFiles::kServiceName));
    EXPECT_FALSE(sim::files().Exists(kShortcut));
    EXPECT_FALSE(sim::files().Exists(kUninstaller));
    EXPECT_EQ(Unexpected(sim::Difference(clean, sim::TakeSnapshot())), std::vector<std::string>{});
}

const WString kV3Folder = u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\";
const WString kMonitorKey =
    u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\KORIGRAPH Q7 Language Monitor";
const std::vector<WString> kV3Installed = {u"VELMOQ7.DLL", u"VelmQ7UI.DLL", u"VelmoQ7.spd", u"KglPrint.dll"};

bool HasProcessor(const WString& name)
{
    auto processors = sim::spooler().PrintProcessors();
    return std::ranges::find(processors, name) != processors.end();
}

// The classic driver's pieces: its processor, its monitor and its files, all there or all gone.
void ExpectV3Pieces(bool there, const std::string& where)
{
    EXPECT_EQ(HasProcessor(u"KglPrint"), there) << where;
    EXPECT_EQ(sim::registry().KeyExists(HKEY_LOCAL_MACHINE, kMonitorKey), there) << where;
    for (const WString& f : kV3Installed)
        EXPECT_EQ(sim::files().Exists(kV3Folder + f), there) << where << " " << Utf8(f);
}

TEST(RemoveV3Driver, TakesEveryPieceOnceTheSpoolerLetGo)
{
    const WString published = MachineWithV3();
    ASSERT_FALSE(published.empty());
    ExpectV3Pieces(true, "installed");
    WString driver = kSharedModel;
    ASSERT_TRUE(DeletePrinterDriverW(nullptr, nullptr, driver.data()));
    EXPECT_EQ(OnMachine([] { return RemoveV3Driver(0x00040000); }), 0x00040000u);
    ExpectV3Pieces(false, "removed");
}

TEST(RemoveV3Driver, AMachineWithoutItGivesTheValue)
{
    PutV3Package();
    const sim::Snapshot before = sim::TakeSnapshot();
    EXPECT_EQ(OnMachine([] { return RemoveV3Driver(23); }), 23u);
    EXPECT_EQ(sim::Difference(before, sim::TakeSnapshot()), std::vector<std::string>{});
}

TEST(RemoveV3Driver, ASpoolerThatWillNotRestartKeepsTheFiles)
{
    MachineWithV3();
    WString driver = kSharedModel;
    ASSERT_TRUE(DeletePrinterDriverW(nullptr, nullptr, driver.data()));
    sim::services().SetNeverStarts(u"Spooler", true);
    EXPECT_EQ(OnMachine([] { return RemoveV3Driver(0x00040000); }), 0x0F000000u);
    for (const WString& f : kV3Installed)
        EXPECT_TRUE(sim::files().Exists(kV3Folder + f)) << Utf8(f);
}

// The classic driver installed with an offline printer, and the package made newer.
std::unique_ptr<CSetupContext> ClassicToUpdate()
{
    PrepareMachine();
    PutV3Package();
    InstallOnPort(u"Office", 0, 0);
    SetOffline(u"Office");
    MakePackageNewer(kV3Inf, "DriverVer=03/15/2021,1.2.0.0", "DriverVer=06/01/2022,1.3.0.0");
    auto context = std::make_unique<CSetupContext>();
    context->v3CompareResult = 2;
    return context;
}

TEST(UpdateV3, AFailedUploadLeavesThePrintersWorking)
{
    auto context = ClassicToUpdate();
    const std::vector<sim::DriverSetup> drivers = sim::spooler().Drivers();
    sim::faults().FailNext("UploadPrinterDriverPackageW", ERROR_ACCESS_DENIED);
    WorkerRun run = RunWorker<CUpdateProgress>(*context);
    EXPECT_EQ(run.final, 0x90000000u) << std::hex << run.final;
    EXPECT_TRUE(context->errorLog.starts_with(u"Error Code:\t0x80070005")) << Log(*context);
    ExpectV3Pieces(true, "after the failed upload");
    EXPECT_TRUE(Offline(u"Office"));
    EXPECT_EQ(sim::spooler().Drivers().size(), drivers.size());
}

TEST(UpdateV3, ASpoolerThatWillNotRestartChangesNoDriver)
{
    auto context = ClassicToUpdate();
    const std::vector<sim::DriverSetup> drivers = sim::spooler().Drivers();
    sim::services().SetNeverStarts(u"Spooler", true);
    WorkerRun run = RunWorker<CUpdateProgress>(*context);
    EXPECT_EQ(run.final, 0x8F000000u) << std::hex << run.final;
    ASSERT_EQ(sim::spooler().Drivers().size(), drivers.size());
    EXPECT_EQ(sim::spooler().Drivers()[0].driverVersion, drivers[0].driverVersion);
    EXPECT_EQ(Published().size(), 2u) << "the new package staged, nothing installed from it";
}

TEST(Update, WithoutAnInstalledDriverOnlyTheStoreChanges)
{
    PrepareMachine();
    PutV3Package();
    CSetupContext context;
    context.v3CompareResult = 2;
    WorkerRun run = RunWorker<CUpdateProgress>(context);
    EXPECT_EQ(run.final, 0x80050000u) << std::hex << run.final << " " << Log(context);
    EXPECT_EQ(Published().size(), 1u);
    EXPECT_TRUE(sim::spooler().Drivers().empty());
    EXPECT_TRUE(sim::registry().KeyExists(HKEY_LOCAL_MACHINE, kEntry));
}

TEST(UpdateV4, MissingSourcesStopBeforeTouchingTheMachine)
{
    for (bool metadata : {false, true})
    {
        sim::machine().Reset();
        PrepareMachine();
        PutV4Sources(metadata, !metadata);
        // An installed service hides a missing source in the companions' state.
        for (const auto& f : kCompanionFiles)
            sim::files().Put(u"C:\\Windows\\System32\\" + f, "installed");
        CSetupContext context;
        const sim::Snapshot before = sim::TakeSnapshot();
        WorkerRun run = RunWorker<CUpdateProgress>(context);
        EXPECT_EQ(run.final, 0x96000000u) << metadata << std::hex << " " << run.final;
        EXPECT_EQ(sim::Difference(before, sim::TakeSnapshot()), std::vector<std::string>{}) << metadata;
    }
}

TEST(UpdateLogic, StepMapsAndWorkersByKind)
{
    struct Case
    {
        int kind;
        UINT steps;
    } cases[] = {{3, 5}, {4, 7}, {0, 7}};
    for (const Case& c : cases)
    {
        CSetupContext context;
        context.driverKind = c.kind;
        OnMachine([&] {
            auto logic = MakeProgress<CUpdateProgress>(context, std::make_shared<TestPage>());
            EXPECT_TRUE(logic->CreateWorker()) << c.kind;
            EXPECT_EQ(logic->StepCount(), c.steps) << c.kind;
            EXPECT_EQ(logic->StepMessageId(26), 113) << c.kind;
            return 0;
        });
    }
    CSetupContext context;
    OnMachine([&] {
        auto logic = MakeProgress<CRemoveProgress>(context, std::make_shared<TestPage>());
        EXPECT_TRUE(logic->CreateWorker());
        EXPECT_EQ(logic->StepCount(), 8u);
        EXPECT_EQ(logic->StepMessageId(21), 110);
        return 0;
    });
}

// Every call of a classic update, a package update and a whole removal failed once in turn (the first
// two calls of each API): the worker finishes with a code the Finish page has a text for, logged where
// a call failed; a success leaves the good run's machine unless the call is one the worker goes on
// past by design; and a second whole removal leaves the machine as before the install.
TEST(WorkerSweep, EachFailedCallEndsWithAFinishTextAndARemovalCleansUp)
{
    struct Scenario
    {
        const char* name;
        std::function<void()> sources;
        std::function<std::unique_ptr<CSetupContext>()> make; // the driver installed, the context set
        std::function<WorkerRun(CSetupContext&)> run;
        UINT good;
        std::vector<std::string> ignored;
    };
    auto update = [](CSetupContext& c) { return RunWorker<CUpdateProgress>(c); };
    // What the companions' reinstall and the classic pieces' removal do is not reported.
    const std::vector<std::string> pieces = {"DeletePrintProcessorW",
                                             "DeleteMonitorW",
                                             "DeleteFileW",
                                             "GetPrinterDriverDirectoryW",
                                             "CoCreateInstance",
                                             "CoInitializeEx",
                                             "SHCreateItemFromParsingName",
                                             "CreateProcessW",
                                             "CopyFileW",
                                             "ControlService",
                                             "StartServiceW",
                                             "OpenSCManagerW",
                                             "OpenPrinter2W",
                                             "GetPrinterW",
                                             "SetPrinterW",
                                             "RemoveDirectoryW"};
    const Scenario scenarios[] = {
        {"classic update", [] { PutV3Package(); },
         [] {
             InstallOnPort(u"Office", 0, 0);
             SetOffline(u"Office");
             MakePackageNewer(kV3Inf, "DriverVer=03/15/2021,1.2.0.0", "DriverVer=06/01/2022,1.3.0.0");
             auto c = std::make_unique<CSetupContext>();
             c->v3CompareResult = 2;
             return c;
         },
         update, 0x80050000, pieces},
        {"package update", [] { PutV4Sources(); },
         [] {
             InstallOnPort(u"Package", 0, 0);
             MakePackageNewer(kV4Inf, "DriverVer=06/01/2023,4.1.0.0", "DriverVer=12/31/2030,4.2.0.0");
             auto c = std::make_unique<CSetupContext>();
             c->v4CompareResult = 2;
             return c;
         },
         update, 0x80050000, pieces},
        {"whole removal", [] { PutV4Sources(); },
         [] {
             InstallOnPort(u"Package", 0, 0);
             sim::spooler().AddJob(u"Package", u"Doc");
             EXPECT_EQ(OnMachine([] { return AddStandardTcpIpPort(u"KORIGRAPH_", u"10.0.0.9"); }), 0u);
             sim::PrinterSetup networked;
             networked.name = u"Networked";
             networked.driverName = kSharedModel;
             networked.portName = u"KORIGRAPH_10.0.0.9";
             sim::spooler().AddPrinter(networked);
             auto c = std::make_unique<CSetupContext>();
             c->mode = 2;
             c->flags = kFlagRemoveV3 | kFlagRemoveV4;
             c->printersToUpdate = {u"Package", u"Networked"};
             return c;
         },
         [](CSetupContext& c) { return RunWorker<CRemoveProgress>(c); }, 0x80040000, pieces},
    };
    const char* apis[] = {"UploadPrinterDriverPackageW",
                          "InstallPrinterDriverFromPackageW",
                          "OpenPrinter2W",
                          "OpenPrinterW",
                          "GetPrinterW",
                          "SetPrinterW",
                          "EnumPortsW",
                          "EnumPrintersW",
                          "EnumPrinterDriversW",
                          "EnumJobsW",
                          "SetJobW",
                          "DeletePrinter",
                          "DeletePrinterDriverW",
                          "XcvDataW",
                          "DeletePrintProcessorW",
                          "DeleteMonitorW",
                          "GetPrinterDriverDirectoryW",
                          "SetupUninstallOEMInfW",
                          "SetupOpenInfFileW",
                          "SetupGetInfDriverStoreLocationW",
                          "SetupDiGetClassDevsW",
                          "FindFirstFileW",
                          "DeleteFileW",
                          "RemoveDirectoryW",
                          "CopyFileW",
                          "CoCreateInstance",
                          "CoInitializeEx",
                          "SHCreateItemFromParsingName",
                          "ControlService",
                          "StartServiceW",
                          "OpenSCManagerW",
                          "CreateProcessW",
                          "RegCreateKeyExW",
                          "RegSetValueExW",
                          "GetFileVersionInfoW"};
    constexpr int kCallsPerApi = 2;
    auto fresh = [](const Scenario& s) {
        sim::machine().Reset();
        PrepareMachine();
        sim::processes().InstallCommandInterpreter(true);
        s.sources();
    };
    for (const Scenario& scenario : scenarios)
    {
        fresh(scenario);
        auto goodContext = scenario.make();
        ASSERT_EQ(scenario.run(*goodContext).final, scenario.good) << scenario.name;
        const sim::Snapshot goodMachine = sim::TakeSnapshot();
        for (const char* api : apis)
            for (int skip = 0; skip < kCallsPerApi; ++skip)
            {
                fresh(scenario);
                const sim::Snapshot clean = sim::TakeSnapshot();
                auto context = scenario.make();
                const std::string name = api;
                const bool hresult = name.starts_with("Co") || name.starts_with("SH");
                sim::faults().FailNext(api, hresult ? DWORD{0x80070005} : DWORD{ERROR_ACCESS_DENIED}, 1,
                                       skip);
                WorkerRun run = scenario.run(*context);
                if (!sim::faults().Pending().empty())
                {
                    sim::machine().Reset(); // the run made fewer calls: nothing more to fail
                    break;
                }
                const std::string where =
                    std::string(scenario.name) + ", " + api + " #" + std::to_string(skip);
                ASSERT_NE(run.final & kStatusFinished, 0u) << where;
                EXPECT_NE(FinishTextOf(run.final), -1) << where << std::hex << " " << run.final;
                const bool ignored = std::ranges::find(scenario.ignored, name) != scenario.ignored.end();
                if (run.final == scenario.good && !ignored)
                {
                    EXPECT_EQ(sim::Difference(goodMachine, sim::TakeSnapshot()), std::vector<std::string>{})
                        << where;
                }
                if (run.final != scenario.good)
                {
                    EXPECT_FALSE(run.final >= 0x80010000u && run.final <= 0x80070000u)
                        << where << ": another success" << std::hex << run.final;
                    const bool unlogged = run.final == 0x96000000u || run.final == 0x8F000000u;
                    EXPECT_TRUE(unlogged || context->errorLog.starts_with(u"Error Code:\t0x"))
                        << where << std::hex << " " << run.final;
                }
                std::vector<WString> printers;
                for (const sim::PrinterSetup& p : sim::spooler().Printers())
                    printers.push_back(p.name);
                WorkerRun cleanUp = RemoveEverything(printers);
                EXPECT_EQ(cleanUp.final, 0x80040000u) << where << std::hex << " " << cleanUp.final;
                EXPECT_EQ(Unexpected(sim::Difference(clean, sim::TakeSnapshot())), std::vector<std::string>{})
                    << where;
            }
    }
}

} // namespace
} // namespace kgsetup
