// Whole installs through the install logic on its own thread, the test polling the word as the
// progress page does.
#include "install_workers.h"
#include "machines.h"
#include "on_machine.h"
#include "worker_runs.h"

#include <gtest/gtest.h>
#include <platform/winsvc.h>
#include <sim/device_tree.h>
#include <sim/machine.h>
#include <sim/print_tickets.h>
#include <sim/services.h>
#include <sim/snapshot.h>
#include <sim/spooler.h>

#include <algorithm>
#include <functional>
#include <mutex>

namespace kgsetup
{
namespace
{
using test::kCacheFolder;
using test::kEntry;
using test::kShortcut;
using test::kStoreFile;
using test::kUninstaller;
using test::PrepareMachine;
using test::PutV4Sources;
using InstallRun = test::WorkerRun;

InstallRun RunInstall(CSetupContext& context)
{
    return test::RunWorker<CInstallProgress>(context);
}

FoundDevice Card(const WString& name, const WString& address)
{
    FoundDevice card;
    card.kind = 1;
    card.displayName = name;
    card.ipAddress = address;
    return card;
}

// The duplicator sim::UsbPrinterHardware{} attaches, as the search page finds it.
FoundDevice UsbDevice()
{
    FoundDevice device;
    device.kind = 0;
    device.displayName = u"Velmo KG-100";
    device.localKey = u"USBPRINT\\VelmoKG-100ABCD";
    device.portName = u"USB001";
    return device;
}

std::unique_ptr<CSetupContext> ContextFor(WORD connectionKind, const WString& printerName)
{
    auto context = std::make_unique<CSetupContext>();
    context->connectionKind = connectionKind;
    context->printerName = printerName;
    context->LoadModelList();
    return context;
}

// Any of the companion files in the system folder, or their service.
bool CompanionsThere()
{
    for (const auto& file : test::kCompanionFiles)
        if (sim::files().Exists(u"C:\\Windows\\System32\\" + file))
            return true;
    return sim::services().State(CV4CompanionFiles::kServiceName).has_value();
}

TEST(InstallV3, ToANetworkCard)
{
    PrepareMachine();
    test::PutV3Package();
    auto context = ContextFor(3, u"Office");
    ASSERT_EQ(context->driverKind, 3);
    FoundDevice card;
    card.kind = 1;
    card.displayName = u"Velmo Ranth KG-200";
    card.ipAddress = u"192.168.0.5";
    context->selectedDevice = card;
    InstallRun run = RunInstall(*context);
    EXPECT_EQ(run.final, 0x80070000u) << std::hex << run.final;
    ASSERT_FALSE(run.words.empty());
    EXPECT_EQ(run.words.front(), 1u);
    auto printer = sim::spooler().Printer(u"Office");
    ASSERT_TRUE(printer);
    EXPECT_EQ(printer->portName, u"KORIGRAPH_192.168.0.5");
    EXPECT_EQ(printer->driverName, u"Velmo KG-200") << "the card's name as the search page shows it";
    EXPECT_EQ(printer->attributes & PRINTER_ATTRIBUTE_ENABLE_BIDI, 0u);
    EXPECT_TRUE(sim::files().Exists(kUninstaller));
    EXPECT_TRUE(sim::registry().KeyExists(HKEY_LOCAL_MACHINE, kEntry));
    EXPECT_EQ(run.nextPage, 139);
}

TEST(InstallV3, PrintToFileOnTheNulPort)
{
    PrepareMachine();
    test::PutV3Package();
    auto context = ContextFor(2, u"To File");
    ASSERT_EQ(context->models, std::vector<WString>{u"Velmo KG-200"});
    InstallRun run = RunInstall(*context);
    EXPECT_EQ(run.final, 0x80020000u) << std::hex << run.final;
    auto printer = sim::spooler().Printer(u"To File");
    ASSERT_TRUE(printer);
    EXPECT_EQ(printer->portName, u"NUL:");
    EXPECT_EQ(printer->attributes & PRINTER_ATTRIBUTE_ENABLE_BIDI, 0u);
    bool listed = false;
    for (const sim::PortSetup& p : sim::spooler().Ports())
        listed = listed || p.name == u"NUL:";
    EXPECT_TRUE(listed);
}

TEST(InstallV3, ChosenPortTalksBothWays)
{
    PrepareMachine();
    test::PutV3Package();
    auto context = ContextFor(4, u"Custom");
    context->EnumPorts();
    context->selectedPort = 1; // COM1:
    context->selectedModel = 1;
    InstallRun run = RunInstall(*context);
    EXPECT_EQ(run.final, 0x80020000u) << std::hex << run.final;
    auto printer = sim::spooler().Printer(u"Custom");
    ASSERT_TRUE(printer);
    EXPECT_EQ(printer->portName, u"COM1:");
    EXPECT_EQ(printer->driverName, u"Velmo KG-200");
    EXPECT_NE(printer->attributes & PRINTER_ATTRIBUTE_ENABLE_BIDI, 0u);
}

TEST(InstallV3, ChoicesThatNameNothingFailWithoutAPrinter)
{
    struct Case
    {
        const char* name;
        std::function<void(CSetupContext&)> set;
        UINT final;
    } cases[] = {
        {"model index outside the list", [](CSetupContext& c) { c.selectedModel = 99; }, 0x91000000},
        {"port index outside the list",
         [](CSetupContext& c) {
             c.EnumPorts();
             c.selectedPort = 40;
         },
         0x92000000},
        {"no printer name", [](CSetupContext& c) { c.printerName.clear(); }, 0x92000000},
        {"found device, none selected", [](CSetupContext& c) { c.connectionKind = 3; }, 0x91000000},
        {"a card of an empty name",
         [](CSetupContext& c) {
             c.connectionKind = 3;
             c.selectedDevice = Card(u"", u"192.168.0.5");
         },
         0x91000000},
        {"a card of an address too long",
         [](CSetupContext& c) {
             c.connectionKind = 3;
             c.selectedDevice = Card(u"Velmo KG-100", WString(300, u'9'));
         },
         0x92000000},
    };
    for (const Case& k : cases)
    {
        sim::machine().Reset();
        PrepareMachine();
        test::PutV3Package();
        auto context = ContextFor(4, u"Custom");
        k.set(*context);
        InstallRun run = RunInstall(*context);
        EXPECT_EQ(run.final, k.final) << k.name << std::hex << " " << run.final;
        EXPECT_TRUE(sim::spooler().Printers().empty()) << k.name;
        EXPECT_FALSE(sim::registry().KeyExists(HKEY_LOCAL_MACHINE, kEntry)) << k.name;
    }
}

TEST(InstallV4, ToAChosenPortWithEverythingItBrings)
{
    PrepareMachine();
    PutV4Sources();
    auto context = ContextFor(4, u"Package");
    ASSERT_EQ(context->driverKind, 4);
    context->EnumPorts();
    InstallRun run = RunInstall(*context);
    EXPECT_EQ(run.final, 0x80020000u)
        << std::hex << run.final << " " << std::string(context->errorLog.begin(), context->errorLog.end());
    ASSERT_FALSE(run.words.empty());
    EXPECT_EQ(run.words.front(), 1u);
    auto printer = sim::spooler().Printer(u"Package");
    ASSERT_TRUE(printer);
    EXPECT_EQ(printer->portName, u"LPT1:");
    EXPECT_NE(printer->attributes & PRINTER_ATTRIBUTE_ENABLE_BIDI, 0u);
    EXPECT_EQ(sim::files().Bytes(kStoreFile), "metadata package");
    EXPECT_EQ(sim::services().State(CV4CompanionFiles::kServiceName), DWORD(SERVICE_RUNNING));
    EXPECT_TRUE(sim::files().Exists(kUninstaller));
    auto link = sim::files().ReadShellLink(kShortcut);
    ASSERT_TRUE(link);
    EXPECT_EQ(link->target, kUninstaller);
    EXPECT_EQ(run.nextPage, 139);
}

TEST(InstallV4, PrintToFileSwitchesTheOptionOn)
{
    PrepareMachine();
    PutV4Sources();
    auto context = ContextFor(2, u"To File");
    ASSERT_EQ(context->models, std::vector<WString>{u"Velmo KG-300 Print to File"});
    sim::ServiceSetup lpd;
    lpd.name = u"LPDSVC";
    lpd.state = SERVICE_RUNNING;
    sim::services().Add(lpd);
    InstallRun run = RunInstall(*context);
    EXPECT_EQ(run.final, 0x80020000u) << std::hex << run.final;
    auto stored = sim::registry().Value(HKEY_LOCAL_MACHINE,
                                        u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\To File",
                                        u"Default DevMode");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->type, DWORD(REG_BINARY));
    EXPECT_EQ(sim::PrintToFileOf(stored->data), true);
    // The restarted spooler took the record.
    auto printer = sim::spooler().Printer(u"To File");
    ASSERT_TRUE(printer);
    EXPECT_EQ(printer->portName, u"NUL:");
    EXPECT_EQ(sim::PrintToFileOf(printer->defaultDevMode), true);
    auto journal = sim::services().Journal();
    EXPECT_NE(std::find(journal.begin(), journal.end(), "stop Spooler"), journal.end());
    EXPECT_EQ(sim::services().State(u"LPDSVC"), DWORD(SERVICE_RUNNING));
}

TEST(InstallV4, ToAUsbDuplicator)
{
    PrepareMachine();
    PutV4Sources();
    sim::deviceTree().AttachUsbPrinter(sim::UsbPrinterHardware{});
    sim::PrinterSetup other;
    other.name = u"Other maker";
    other.driverName = u"Another Driver";
    other.portName = u"USB001";
    sim::spooler().AddPrinter(other);
    auto context = ContextFor(3, u"My Duplicator");
    context->selectedDevice = UsbDevice();
    const int enumerations = sim::deviceTree().Reenumerations();
    InstallRun run = RunInstall(*context);
    EXPECT_EQ(run.final, 0x80060000u) << std::hex << run.final;
    EXPECT_GT(sim::deviceTree().Reenumerations(), enumerations) << "the device's node made again";
    // The printer the system made for the device has the name entered; another maker's keeps its own.
    auto printer = sim::spooler().Printer(u"My Duplicator");
    ASSERT_TRUE(printer);
    EXPECT_EQ(printer->portName, u"USB001");
    EXPECT_EQ(printer->driverName, u"Velmo KG-100");
    EXPECT_TRUE(sim::spooler().Printer(u"Other maker"));
    EXPECT_FALSE(sim::spooler().Printer(u"Velmo KG-100"));
    EXPECT_EQ(sim::services().State(CV4CompanionFiles::kServiceName), DWORD(SERVICE_RUNNING));
    EXPECT_EQ(sim::files().Bytes(kStoreFile), "metadata package");
    EXPECT_TRUE(sim::files().ReadShellLink(kShortcut));
}

TEST(InstallV4, ConnectLaterCleansTheMakersNodes)
{
    PrepareMachine();
    PutV4Sources();
    sim::deviceTree().AttachUsbPrinter(sim::UsbPrinterHardware{});
    sim::deviceTree().AttachLptPrinter(sim::LptPrinterHardware{});
    auto context = ContextFor(0, u"");
    const int enumerations = sim::deviceTree().Reenumerations();
    sim::spooler().ClearCalls();
    InstallRun run = RunInstall(*context);
    EXPECT_EQ(run.final, 0x80010000u) << std::hex << run.final;
    auto calls = sim::spooler().Calls();
    EXPECT_GE(std::count(calls.begin(), calls.end(), "DiUninstallDevice"), 2)
        << "the USB and the parallel node";
    EXPECT_GT(sim::deviceTree().Reenumerations(), enumerations);
    EXPECT_EQ(sim::spooler().Packages().size(), 1u) << "uploaded, no driver installed";
    EXPECT_TRUE(sim::spooler().Printers().empty());
    EXPECT_TRUE(sim::registry().KeyExists(HKEY_LOCAL_MACHINE, kEntry));
}

TEST(InstallV4, ASpoolerThatWillNotRestartKeepsTheEntryOut)
{
    PrepareMachine();
    PutV4Sources();
    auto context = ContextFor(2, u"To File");
    sim::services().SetNeverStarts(u"Spooler", true);
    InstallRun run = RunInstall(*context);
    EXPECT_EQ(run.final, 0x8F000000u) << std::hex << run.final;
    EXPECT_FALSE(sim::registry().KeyExists(HKEY_LOCAL_MACHINE, kEntry));
}

TEST(InstallV4, MissingSourcesStopBeforeTouchingTheMachine)
{
    for (bool metadata : {false, true})
    {
        sim::machine().Reset();
        PrepareMachine();
        PutV4Sources(metadata, !metadata);
        auto context = ContextFor(4, u"Package");
        context->EnumPorts();
        InstallRun run = RunInstall(*context);
        EXPECT_EQ(run.final, 0x96000000u) << metadata;
        ASSERT_FALSE(run.words.empty());
        EXPECT_EQ(run.words.front(), 0x16000000u) << "the constructor's report, before the thread";
        EXPECT_TRUE(sim::spooler().Packages().empty());
        EXPECT_TRUE(sim::spooler().Printers().empty());
        EXPECT_FALSE(sim::files().Exists(kStoreFile));
    }
}

// A companion file that cannot be copied (in use) ends the install as a failure of its own, logged,
// before any driver or printer is added.
TEST(InstallV4, ACompanionFileNotCopiedFailsTheInstall)
{
    PrepareMachine();
    PutV4Sources();
    auto context = ContextFor(4, u"Package");
    context->EnumPorts();
    sim::faults().FailNext("CopyFileW", ERROR_SHARING_VIOLATION, 1, 2);
    InstallRun run = RunInstall(*context);
    EXPECT_EQ(run.final, 0x94000000u) << std::hex << run.final;
    EXPECT_TRUE(context->errorLog.starts_with(u"Error Code:\t0x00000020"))
        << std::string(context->errorLog.begin(), context->errorLog.end());
    EXPECT_TRUE(sim::spooler().Printers().empty());
    EXPECT_FALSE(sim::registry().KeyExists(HKEY_LOCAL_MACHINE, kEntry));
    // The files copied before the one that failed and the metadata go again: with no driver,
    // "/uninstall" would never find them.
    EXPECT_FALSE(CompanionsThere());
    EXPECT_FALSE(sim::files().Exists(kStoreFile));
}

// A failure before the package is in the store takes back the companions and metadata the install
// put on a machine without the driver; once a package of ours is in the store, or the driver was
// there before, everything stays for "/uninstall" to take.
TEST(InstallV4, AFailureBeforeTheDriverTakesBackWhatTheInstallPut)
{
    struct Case
    {
        const char* api;
        bool driverBefore;
        UINT final;
        const char16_t* logged;
        bool takenBack;
    } cases[] = {
        {"UploadPrinterDriverPackageW", false, 0x90000000, u"Error Code:\t0x8007001F", true},
        {"CreateProcessW", false, 0x94000000, u"Error Code:\t0x0000001F", true}, // the service program
        {"InstallPrinterDriverFromPackageW", false, 0x91000000, u"Error Code:\t0x8007001F", false},
        {"UploadPrinterDriverPackageW", true, 0x90000000, u"Error Code:\t0x8007001F", false},
    };
    for (const Case& c : cases)
    {
        const std::string where = std::string(c.api) + (c.driverBefore ? " over the driver" : "");
        sim::machine().Reset();
        PrepareMachine();
        PutV4Sources();
        if (c.driverBefore)
        {
            auto first = ContextFor(4, u"First");
            first->EnumPorts();
            ASSERT_EQ(RunInstall(*first).final, 0x80020000u) << where;
        }
        auto context = ContextFor(4, u"Package");
        context->EnumPorts();
        ASSERT_EQ(context->driverInstalled != 0, c.driverBefore) << where;
        sim::faults().FailNext(c.api, ERROR_GEN_FAILURE);
        InstallRun run = RunInstall(*context);
        EXPECT_TRUE(sim::faults().Pending().empty()) << where;
        EXPECT_EQ(run.final, c.final) << where << std::hex << " " << run.final;
        EXPECT_TRUE(context->errorLog.starts_with(c.logged))
            << where << ": " << std::string(context->errorLog.begin(), context->errorLog.end());
        EXPECT_EQ(CompanionsThere(), !c.takenBack) << where;
        EXPECT_EQ(sim::files().Exists(kStoreFile), !c.takenBack) << where;
        if (!c.takenBack)
        {
            EXPECT_EQ(sim::services().State(CV4CompanionFiles::kServiceName), DWORD(SERVICE_RUNNING))
                << where;
        }
    }
}

// A taking back that fails is logged below the failure that ended the install, whose code the Finish
// page still shows first; what it could take still goes.
TEST(InstallV4, ATakingBackThatFailsKeepsTheFirstCode)
{
    PrepareMachine();
    PutV4Sources();
    auto context = ContextFor(4, u"Package");
    context->EnumPorts();
    sim::faults().FailNext("UploadPrinterDriverPackageW", ERROR_GEN_FAILURE);
    sim::faults().FailNext("DeleteFileW", ERROR_ACCESS_DENIED);
    InstallRun run = RunInstall(*context);
    EXPECT_TRUE(sim::faults().Pending().empty());
    EXPECT_EQ(run.final, 0x90000000u) << std::hex << run.final;
    const std::string log(context->errorLog.begin(), context->errorLog.end());
    EXPECT_TRUE(log.starts_with("Error Code:\t0x8007001F")) << log;
    EXPECT_NE(log.find("Error Code:\t0x00000005", 1), std::string::npos) << log;
    EXPECT_TRUE(CompanionsThere());
    EXPECT_FALSE(sim::files().Exists(kStoreFile));
}

TEST(InstallV4, MetadataOfTheSameSizeIsLeftAlone)
{
    struct Case
    {
        std::string stored;
        bool replaced;
    } cases[] = {{"metadata PACKAGE", false}, {"older", true}, {"", true}};
    for (const Case& c : cases)
    {
        sim::machine().Reset();
        PrepareMachine();
        PutV4Sources();
        sim::files().Put(kStoreFile, c.stored);
        sim::files().Put(kCacheFolder + u"\\cache.bin", "cached");
        auto context = ContextFor(4, u"Package");
        context->EnumPorts();
        ASSERT_EQ(context->driverKind, 4) << c.stored;
        InstallRun run = RunInstall(*context);
        EXPECT_EQ(run.final, 0x80020000u) << c.stored;
        EXPECT_EQ(sim::files().Bytes(kStoreFile), c.replaced ? "metadata package" : c.stored) << c.stored;
        // An empty store file counts as absent: the cache is not touched for it either.
        EXPECT_EQ(sim::files().Exists(kCacheFolder), !c.replaced || c.stored.empty()) << c.stored;
    }
}

TEST(InstallV4, UnusedOldDriversContinueIntoRemoval)
{
    PrepareMachine();
    PutV4Sources();
    auto context = ContextFor(4, u"Package");
    context->EnumPorts();
    context->versionCompare = 2;
    context->flags = 0x11;
    InstallRun run = RunInstall(*context);
    EXPECT_EQ(run.final, 0x80020000u);
    EXPECT_EQ(context->flags, 8u);
    EXPECT_EQ(run.nextPage, 157);
}

TEST(InstallLogic, NoWorkerForAnUnsettledKind)
{
    CSetupContext context;
    context.driverKind = 0;
    InstallRun run = RunInstall(context);
    EXPECT_EQ(run.final, 0xE4000000u);
}

// Every call a whole install makes, failed once in turn (the first few calls of each API): the worker
// always finishes with a code the Finish page has a text for, and a success always comes with the
// whole install on the machine. A call the worker ignores on purpose still ends in the good code.
TEST(InstallSweep, EachFailedCallEndsWithAFinishText)
{
    using Check = std::function<void(const CSetupContext&, bool ignoredFault, const std::string& where)>;
    struct Scenario
    {
        const char* name;
        std::function<std::unique_ptr<CSetupContext>()> make;
        UINT good;
        std::vector<std::string> ignored; // failures the install goes on past by design
        Check whole;
    };
    auto printerOn = [](const WString& port) -> Check {
        return [port](const CSetupContext& context, bool, const std::string& where) {
            auto printer = sim::spooler().Printer(context.printerName);
            ASSERT_TRUE(printer) << where;
            EXPECT_EQ(printer->portName, port) << where;
        };
    };
    auto v4Pieces = [](const std::string& where) {
        EXPECT_TRUE(sim::files().ReadShellLink(kShortcut)) << where;
        EXPECT_TRUE(sim::files().Exists(kStoreFile)) << where;
        EXPECT_EQ(sim::services().State(CV4CompanionFiles::kServiceName), DWORD(SERVICE_RUNNING)) << where;
    };
    // The device clean-up before a printer is connected later reports nothing (LoadLibraryExW: the
    // uninstall's DLL).
    const std::vector<std::string> cleanUp = {"LoadLibraryExW",
                                              "SetupDiGetClassDevsW",
                                              "SetupDiOpenDeviceInfoW",
                                              "SetupDiGetDevicePropertyW",
                                              "SetupDiGetDeviceRegistryPropertyW",
                                              "DiUninstallDevice",
                                              "CM_Locate_DevNodeW",
                                              "CM_Reenumerate_DevNode"};
    int enumerations = 0;
    const Scenario scenarios[] = {
        {"V3 to a network card",
         [] {
             test::PutV3Package();
             auto context = ContextFor(3, u"Office");
             context->selectedDevice = Card(u"Velmo KG-200", u"192.168.0.5");
             return context;
         },
         0x80070000,
         {},
         printerOn(u"KORIGRAPH_192.168.0.5")},
        {"V4 Print to File",
         [] {
             PutV4Sources();
             return ContextFor(2, u"To File");
         },
         0x80020000,
         {},
         [&](const CSetupContext& context, bool ignoredFault, const std::string& where) {
             printerOn(u"NUL:")(context, ignoredFault, where);
             auto printer = sim::spooler().Printer(context.printerName);
             EXPECT_TRUE(printer && sim::PrintToFileOf(printer->defaultDevMode) == true) << where;
             v4Pieces(where);
         }},
        {"V4 to a USB device",
         [] {
             PutV4Sources();
             sim::deviceTree().AttachUsbPrinter(sim::UsbPrinterHardware{});
             auto context = ContextFor(3, u"My Duplicator");
             context->selectedDevice = UsbDevice();
             return context;
         },
         0x80060000,
         {},
         [&](const CSetupContext& context, bool ignoredFault, const std::string& where) {
             printerOn(u"USB001")(context, ignoredFault, where);
             EXPECT_FALSE(sim::spooler().Printer(u"Velmo KG-100"))
                 << where << ": left under the model's name";
             v4Pieces(where);
         }},
        {"V4 connect later",
         [&] {
             PutV4Sources();
             sim::deviceTree().AttachUsbPrinter(sim::UsbPrinterHardware{});
             sim::deviceTree().AttachLptPrinter(sim::LptPrinterHardware{});
             sim::spooler().ClearCalls();
             enumerations = sim::deviceTree().Reenumerations();
             return ContextFor(0, u"");
         },
         0x80010000, cleanUp,
         [&](const CSetupContext&, bool ignoredFault, const std::string& where) {
             EXPECT_EQ(sim::spooler().Packages().size(), 1u) << where;
             EXPECT_TRUE(sim::spooler().Printers().empty()) << where;
             v4Pieces(where);
             if (ignoredFault)
                 return;
             auto calls = sim::spooler().Calls();
             EXPECT_GE(std::count(calls.begin(), calls.end(), "DiUninstallDevice"), 2) << where;
             EXPECT_GT(sim::deviceTree().Reenumerations(), enumerations) << where;
         }},
    };
    const char* apis[] = {"UploadPrinterDriverPackageW",
                          "InstallPrinterDriverFromPackageW",
                          "AddPrinterW",
                          "XcvDataW",
                          "OpenPrinter2W",
                          "OpenPrinterW",
                          "GetPrinterW",
                          "SetPrinterW",
                          "EnumPortsW",
                          "EnumPrintersW",
                          "EnumPrinterDriversW",
                          "SetupOpenInfFileW",
                          "SetupGetInfDriverStoreLocationW",
                          "SetupDiGetClassDevsW",
                          "SetupDiOpenDeviceInfoW",
                          "SetupDiGetDevicePropertyW",
                          "SetupDiGetDeviceRegistryPropertyW",
                          "DiUninstallDevice",
                          "CM_Locate_DevNodeW",
                          "CM_Reenumerate_DevNode",
                          "UpdateDriverForPlugAndPlayDevicesW",
                          "CoCreateInstance",
                          "CoInitializeEx",
                          "RegCreateKeyExW",
                          "RegSetValueExW",
                          "RegOpenKeyExW",
                          "SHGetFolderPathW",
                          "CreateDirectoryW",
                          "CopyFileW",
                          "CreateFileW",
                          "GetFileVersionInfoW",
                          "CreateProcessW",
                          "ControlService",
                          "StartServiceW",
                          "DocumentPropertiesW",
                          "PTOpenProvider",
                          "PTConvertDevModeToPrintTicket",
                          "PTConvertPrintTicketToDevMode",
                          "CreateThread",
                          "LoadLibraryExW"};
    constexpr int kCallsPerApi = 4;
    for (const Scenario& scenario : scenarios)
        for (const char* api : apis)
            for (int skip = 0; skip < kCallsPerApi; ++skip)
            {
                sim::machine().Reset();
                PrepareMachine();
                auto context = scenario.make();
                const sim::Snapshot before = sim::TakeSnapshot();
                // Calls answering an HRESULT get one.
                const std::string name = api;
                const bool hresult =
                    name.starts_with("Co") || name.starts_with("SH") || name.starts_with("PT");
                const DWORD code = hresult ? DWORD{0x80070005} : DWORD{ERROR_ACCESS_DENIED};
                sim::faults().FailNext(api, code, 1, skip);
                InstallRun run = RunInstall(*context);
                const bool consumed = sim::faults().Pending().empty();
                if (!consumed)
                {
                    sim::machine().Reset(); // the run made fewer calls: nothing more to fail
                    break;
                }
                const std::string where =
                    std::string(scenario.name) + ", " + api + " #" + std::to_string(skip);
                const bool ignored = std::ranges::find(scenario.ignored, name) != scenario.ignored.end();
                ASSERT_NE(run.final & kStatusFinished, 0u) << where;
                EXPECT_NE(FinishTextOf(run.final), -1) << where << std::hex << " " << run.final;
                if (ignored)
                {
                    EXPECT_EQ(run.final, scenario.good) << where << std::hex << " " << run.final;
                }
                if (run.final != scenario.good)
                {
                    EXPECT_FALSE(run.final >= 0x80010000u && run.final <= 0x80070000u)
                        << where << ": another success" << std::hex << run.final;
                    // Failures where the worker logs leave the code in the log; these have no call to log.
                    const bool unlogged = run.final == 0x96000000u || run.final == 0xE4000000u ||
                                          run.final == 0x8F000000u || run.final == 0x92000000u;
                    EXPECT_TRUE(unlogged || context->errorLog.starts_with(u"Error Code:\t0x"))
                        << where << std::hex << " " << run.final;
                    // Without a package of ours in the store, nothing would ever take what the run put
                    // (taskkill.exe is the machine's, put the first time a program is looked for).
                    if (sim::spooler().Packages().empty())
                    {
                        for (const std::string& line : sim::Difference(before, sim::TakeSnapshot()))
                        {
                            EXPECT_TRUE(line.starts_with("+ dir ") || line.ends_with("taskkill.exe"))
                                << where << ": left " << line;
                        }
                    }
                    continue;
                }
                EXPECT_TRUE(sim::files().Exists(kUninstaller)) << where;
                EXPECT_TRUE(sim::registry().KeyExists(HKEY_LOCAL_MACHINE, kEntry)) << where;
                scenario.whole(*context, ignored, where);
            }
}

TEST(PrintTicket, EditsOnlyTheOffFeature)
{
    const std::string off = sim::kPrintToFileOff, on = sim::kPrintToFileOn;
    struct Case
    {
        std::string ticket;
        TicketEdit edit;
        std::string after;
    } cases[] = {
        {"<a>" + off + "</a>", TicketEdit::Edited, "<a>" + on + "</a>"},
        {off + off, TicketEdit::Edited, on + off},
        {on + off, TicketEdit::Edited, on + on},
        {"<a>" + on + "</a>", TicketEdit::AlreadyOn, "<a>" + on + "</a>"},
        {off.substr(0, 40), TicketEdit::NoFeature, off.substr(0, 40)},
        {"", TicketEdit::NoFeature, ""},
        {std::string(1 << 20, 'x') + off, TicketEdit::Edited, std::string(1 << 20, 'x') + on},
    };
    ASSERT_EQ(off.size(), 84u);
    ASSERT_EQ(on.size(), 83u);
    for (Case c : cases)
    {
        EXPECT_EQ(EditPrintToFileTicket(c.ticket), c.edit) << c.ticket.size();
        EXPECT_EQ(c.ticket, c.after);
    }
    // The machine's reader refuses what the edit would leave behind without cutting the stream.
    std::string edited = sim::PrintTicketFor(false);
    const size_t size = edited.size();
    ASSERT_EQ(EditPrintToFileTicket(edited), TicketEdit::Edited);
    EXPECT_EQ(sim::ReadPrintTicket(edited), true);
    EXPECT_FALSE(sim::ReadPrintTicket(edited + sim::PrintTicketFor(false).substr(size - 1)));
}

TEST(InstallWorkers, ModelsByTheirEnding)
{
    const std::vector<WString> models = {u"Velmo KG-100", u"Velmo KG-1000", u"Velmo KG-300 Print to File"};
    EXPECT_EQ(ModelEndingWith(models, u"KG-100"), u"Velmo KG-100");
    EXPECT_EQ(ModelEndingWith(models, u"Velmo KG-1000"), u"Velmo KG-1000");
    EXPECT_EQ(ModelEndingWith(models, u""), u"") << "an empty name matches nothing";
    EXPECT_EQ(ModelEndingWith(models, u"kg-100"), u"") << "with case";
    EXPECT_EQ(ModelEndingWith(models, WString(300, u'x')), u"");
}

} // namespace
} // namespace kgsetup
