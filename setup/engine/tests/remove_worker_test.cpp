// The remove worker over machines with drivers, printers, jobs and ports: what a removal takes and
// what it keeps.
#include "ports.h"
#include "remove_worker.h"
#include "worker_runs.h"

#include <gtest/gtest.h>
#include <sim/device_tree.h>
#include <sim/services.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>

namespace kgsetup
{
namespace
{
using namespace test;

std::string Log(const CSetupContext& context)
{
    return std::string(context.errorLog.begin(), context.errorLog.end());
}

bool HasPort(const WString& name)
{
    auto ports = sim::spooler().Ports();
    return std::ranges::any_of(ports, [&](const sim::PortSetup& p) { return p.name == name; });
}

bool HasDriver(const WString& name, DWORD version)
{
    auto drivers = sim::spooler().Drivers();
    return std::ranges::any_of(
        drivers, [&](const sim::DriverSetup& d) { return d.name == name && d.version == version; });
}

void AddPrinter(const WString& name, const WString& port, const WString& driver = kSharedModel)
{
    sim::PrinterSetup p;
    p.name = name;
    p.driverName = driver;
    p.portName = port;
    sim::spooler().AddPrinter(p);
}

WString MakerPort(const WString& address)
{
    EXPECT_EQ(OnMachine([&] { return AddStandardTcpIpPort(u"KORIGRAPH_", address); }), 0u);
    return u"KORIGRAPH_" + address;
}

bool UsbNodePresent()
{
    for (const sim::DeviceNodeSetup& n : sim::deviceTree().Nodes())
        if (n.instanceId.starts_with(u"USB\\VID_155E"))
            return true;
    return false;
}

struct Removal
{
    WorkerRun run;
    std::unique_ptr<CSetupContext> context;
};

Removal Remove(std::vector<WString> printers, UINT flags, std::function<void(CSetupContext&)> set = {})
{
    Removal r{{}, std::make_unique<CSetupContext>()};
    r.context->mode = 2;
    r.context->flags = flags;
    r.context->printersToUpdate = std::move(printers);
    if (set)
        set(*r.context);
    r.run = RunWorker<CRemoveProgress>(*r.context);
    return r;
}

TEST(RemoveWorker, OneCheckedPrinterOfTwoOnADriver)
{
    PrepareMachine();
    const WString inf = MachineWithV4();
    const WString port = MakerPort(u"10.0.0.1");
    AddPrinter(u"Checked", port);
    AddPrinter(u"Kept", u"LPT1:");
    sim::spooler().AddJob(u"Checked", u"Gone");
    sim::spooler().AddJob(u"Kept", u"Stays");
    Removal r = Remove({u"checked"}, kFlagRemoveV4);
    EXPECT_EQ(r.run.final, 0x80040000u) << std::hex << r.run.final << " " << Log(*r.context);
    EXPECT_FALSE(sim::spooler().Printer(u"Checked"));
    EXPECT_FALSE(HasPort(port));
    EXPECT_TRUE(sim::spooler().Printer(u"Kept"));
    ASSERT_EQ(sim::spooler().Jobs().size(), 1u);
    EXPECT_EQ(sim::spooler().Jobs()[0].document, u"Stays");
    EXPECT_TRUE(HasPort(u"LPT1:"));
    EXPECT_TRUE(HasDriver(kSharedModel, 4));
    EXPECT_EQ(sim::spooler().Packages().size(), 1u);
    EXPECT_EQ(r.context->selfDeleteAtExit, 0u);
}

TEST(RemoveWorker, APortAnotherPrinterUsesStays)
{
    PrepareMachine();
    MachineWithV4();
    const WString port = MakerPort(u"10.0.0.2");
    AddPrinter(u"First", port);
    AddPrinter(u"Second", port);
    Removal r = Remove({u"First"}, kFlagRemoveV4);
    EXPECT_EQ(r.run.final, 0x80040000u) << std::hex << r.run.final << " " << Log(*r.context);
    EXPECT_FALSE(sim::spooler().Printer(u"First"));
    EXPECT_TRUE(HasPort(port));
}

TEST(RemoveWorker, ADriverOfferedByTwoInfsGoesOnce)
{
    PrepareMachine();
    sim::processes().InstallCommandInterpreter(true);
    ASSERT_FALSE(MachineWithV3().empty());
    ASSERT_FALSE(MachineWithV4().empty());
    // One name under both INFs: its printers are listed twice.
    const WString port = MakerPort(u"10.0.0.3");
    AddPrinter(u"Shared", port);
    AddPrinter(u"Shared too", port);
    sim::spooler().AddJob(u"Shared", u"Doc");
    Removal r = Remove({u"Shared", u"Shared too"}, kFlagRemoveV3 | kFlagRemoveV4);
    EXPECT_EQ(r.run.final, 0x80040000u) << std::hex << r.run.final << " " << Log(*r.context);
    EXPECT_TRUE(sim::spooler().Printers().empty());
    EXPECT_TRUE(sim::spooler().Drivers().empty());
    EXPECT_TRUE(sim::spooler().Packages().empty());
    EXPECT_FALSE(HasPort(port));
    EXPECT_EQ(r.context->selfDeleteAtExit, 1u);
}

TEST(RemoveWorker, ASpoolerThatWillNotRestartKeepsTheDrivers)
{
    PrepareMachine();
    MachineWithV4();
    AddPrinter(u"Only", u"LPT1:");
    sim::services().SetNeverStarts(u"Spooler", true);
    Removal r = Remove({u"Only"}, kFlagRemoveV4);
    EXPECT_EQ(r.run.final, 0x8F000000u) << std::hex << r.run.final;
    EXPECT_TRUE(sim::spooler().Printers().empty());
    EXPECT_TRUE(HasDriver(kSharedModel, 4));
    EXPECT_EQ(sim::spooler().Packages().size(), 1u);
}

TEST(RemoveWorker, AUsbPrintersNodeGoesExceptOnWindows7)
{
    for (UINT win7 : {0u, 1u})
    {
        sim::machine().Reset();
        PrepareMachine();
        MachineWithV4();
        sim::deviceTree().AttachUsbPrinter(sim::UsbPrinterHardware{});
        ASSERT_TRUE(UsbNodePresent());
        AddPrinter(u"On USB", u"USB001");
        Removal r = Remove({u"On USB"}, kFlagRemoveV4, [&](CSetupContext& c) { c.isWin7 = win7; });
        EXPECT_EQ(r.run.final, 0x80040000u) << win7 << std::hex << " " << r.run.final << Log(*r.context);
        EXPECT_FALSE(sim::spooler().Printer(u"On USB")) << win7;
        EXPECT_EQ(UsbNodePresent(), win7 == 1) << win7;
    }
}

TEST(RemoveWorker, AJobThatEndedSinceTheScanCountsAsCancelled)
{
    PrepareMachine();
    MachineWithV4();
    AddPrinter(u"Busy", u"LPT1:");
    const DWORD job = sim::spooler().AddJob(u"Busy", u"Doc");
    // The job goes between the inventory's scan and the cancel: the spooler's answer to that cancel.
    sim::faults().FailNext("SetJobW", ERROR_INVALID_PARAMETER);
    Removal r = Remove({u"Busy"}, kFlagRemoveV4);
    EXPECT_EQ(r.run.final, 0x80040000u) << std::hex << r.run.final << " job " << job;
    EXPECT_FALSE(sim::spooler().Printer(u"Busy"));
}

// The V4 driver installed to connect later: its package, companions and metadata, no printer.
void InstallV4ToConnectLater()
{
    PrepareMachine();
    PutV4Sources();
    sim::processes().InstallCommandInterpreter(true);
    CSetupContext install;
    install.connectionKind = 0;
    install.LoadModelList();
    ASSERT_EQ(RunWorker<CInstallProgress>(install).final, 0x80010000u);
}

TEST(RemoveWorker, WithOnlyDriverRowsTheLastDriverTakesEverything)
{
    ASSERT_NO_FATAL_FAILURE(InstallV4ToConnectLater());
    ASSERT_EQ(sim::services().State(CV4CompanionFiles::kServiceName), DWORD(SERVICE_RUNNING));
    Removal r = Remove({}, 0);
    EXPECT_EQ(r.run.final, 0x80040000u) << std::hex << r.run.final << " " << Log(*r.context);
    EXPECT_TRUE(sim::spooler().Packages().empty());
    EXPECT_FALSE(sim::services().State(CV4CompanionFiles::kServiceName));
    EXPECT_FALSE(sim::files().Exists(kStoreFile));
    EXPECT_EQ(r.context->selfDeleteAtExit, 1u);
}

// A companion file that cannot be deleted fails the companions' step with the deletion's code; the
// metadata step is not reached.
TEST(RemoveWorker, ACompanionLeftFailsTheStep)
{
    ASSERT_NO_FATAL_FAILURE(InstallV4ToConnectLater());
    sim::faults().FailNext("DeleteFileW", ERROR_ACCESS_DENIED);
    Removal r = Remove({}, 0);
    EXPECT_EQ(r.run.final, 0x94000000u) << std::hex << r.run.final << " " << Log(*r.context);
    EXPECT_NE(Log(*r.context).find("0x00000005"), std::string::npos) << Log(*r.context);
    EXPECT_TRUE(sim::files().Exists(kStoreFile));
    EXPECT_EQ(r.context->selfDeleteAtExit, 0u);
}

TEST(RemoveWorker, AnInstallGoesOnToRemoveOnlyTheClassicDriver)
{
    PrepareMachine();
    ASSERT_FALSE(MachineWithV3().empty());
    PutV4Sources();
    CSetupContext context;
    ASSERT_EQ(context.driverKind, 4);
    context.connectionKind = 0;
    context.versionCompare = 2;
    context.LoadModelList();
    WorkerRun install = RunWorker<CInstallProgress>(context);
    ASSERT_EQ(install.final, 0x80010000u) << std::hex << install.final << " " << Log(context);
    ASSERT_EQ(install.nextPage, 157);
    context.statusWord = 0;
    WorkerRun removal = RunWorker<CRemoveProgress>(context);
    EXPECT_EQ(removal.final, 0x80040000u) << std::hex << removal.final << " " << Log(context);
    EXPECT_FALSE(HasDriver(kSharedModel, 3));
    ASSERT_EQ(sim::spooler().Packages().size(), 1u) << "the package driver's, uploaded for later";
    EXPECT_TRUE(sim::spooler().Packages()[0].storeInfPath.ends_with(u"VeKglV4.inf"));
    auto processors = sim::spooler().PrintProcessors();
    EXPECT_EQ(std::ranges::find(processors, u"KglPrint"), processors.end());
    EXPECT_FALSE(sim::files().Exists(u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\VELMOQ7.DLL"));
    EXPECT_TRUE(sim::registry().KeyExists(HKEY_LOCAL_MACHINE, kEntry));
    EXPECT_EQ(context.selfDeleteAtExit, 0u);
}

// The classic driver an install replaces goes by its version: the new driver under the same name stays.
TEST(RemoveWorker, TheClassicDriverGoesAloneFromANameBothKindsShare)
{
    PrepareMachine();
    ASSERT_FALSE(MachineWithV3().empty());
    ASSERT_FALSE(MachineWithV4().empty());
    ASSERT_TRUE(HasDriver(kSharedModel, 3) && HasDriver(kSharedModel, 4));
    Removal r = Remove({}, 0, [](CSetupContext& c) { c.mode = 0; });
    EXPECT_EQ(r.run.final, 0x80040000u) << std::hex << r.run.final << " " << Log(*r.context);
    EXPECT_FALSE(HasDriver(kSharedModel, 3));
    EXPECT_TRUE(HasDriver(kSharedModel, 4));
}

TEST(RemoveWorker, FiltersByFlags)
{
    EXPECT_EQ(FilterForFlags(0), 1);
    EXPECT_EQ(FilterForFlags(kFlagRemoveV3), 5);
    EXPECT_EQ(FilterForFlags(kFlagRemoveV4), 3);
    EXPECT_EQ(FilterForFlags(kFlagRemoveV3 | kFlagRemoveV4), 1);
    EXPECT_EQ(FilterForFlags(kFlagRemoveV3 | 1), 5) << "other bits do not count";
}

} // namespace
} // namespace kgsetup
