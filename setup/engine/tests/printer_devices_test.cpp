#include <gtest/gtest.h>

#include "devices.h"
#include "driver_package.h"
#include "machines.h"
#include "on_machine.h"

#include <sim/machine.h>
#include <sim/services.h>
#include <sim/spooler.h>

#include <algorithm>
#include <string>
#include <vector>

namespace
{
using namespace kgsetup;
using test::kSharedModel;
using test::kV3Inf;

const WString kHardwareId = u"USBPRINT\\VelmoKG-100ABCD";

void SetWindows7()
{
    sim::OsIdentity seven;
    seven.major = 6;
    seven.minor = 1;
    sim::machine().SetOs(seven);
}

void AddOffice()
{
    sim::PrinterSetup printer;
    printer.name = u"Office";
    sim::spooler().AddPrinter(printer);
}

std::optional<sim::DeviceNodeSetup> QueueNodeOf(std::u16string_view printer)
{
    for (const sim::DeviceNodeSetup& n : sim::deviceTree().Nodes())
        if (n.className == u"PrintQueue" && n.friendlyName == WString(printer))
            return n;
    return std::nullopt;
}

bool Called(const std::string& api)
{
    auto calls = sim::spooler().Calls();
    return std::find(calls.begin(), calls.end(), api) != calls.end();
}

TEST(RemovePrinter, ThroughTheQueuesSoftwareDeviceOrTheSpooler)
{
    struct Case
    {
        const char* name;
        bool windows7;
        bool renameNode; // the queue's device no longer bears the printer's name
        const char* way;
    };
    const Case cases[] = {
        {"Windows 10", false, false, "SetupDiRemoveDevice"},
        {"Windows 7", true, false, "DeletePrinter"},
        {"no device with the name", false, true, "DeletePrinter"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        sim::machine().Reset();
        AddOffice();
        if (c.windows7)
            SetWindows7();
        if (c.renameNode)
        {
            auto node = QueueNodeOf(u"Office");
            ASSERT_TRUE(node.has_value());
            node->friendlyName = u"Another name";
            sim::deviceTree().AddNode(*node);
        }
        EXPECT_EQ(QueueNodeOf(u"Office").has_value(), !c.windows7 && !c.renameNode);
        CDriverPackage package(kV3Inf);
        package.RemovePrinter(u"office");
        EXPECT_EQ(package.result, 0);
        EXPECT_FALSE(sim::spooler().Printer(u"Office").has_value());
        EXPECT_TRUE(Called(c.way));
        EXPECT_FALSE(QueueNodeOf(u"Office").has_value());
    }
}

TEST(RemovePrinter, FailuresAreReported)
{
    AddOffice();
    CDriverPackage package(kV3Inf);
    sim::faults().FailNext("SetupDiRemoveDevice", ERROR_ACCESS_DENIED);
    package.RemovePrinter(u"Office");
    EXPECT_EQ(package.result, 1);
    EXPECT_EQ(package.lastError, DWORD(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(sim::spooler().Printer(u"Office").has_value());

    SetWindows7();
    package.RemovePrinter(u"Missing");
    EXPECT_EQ(package.result, 1);
    EXPECT_EQ(package.lastError, DWORD(ERROR_INVALID_PRINTER_NAME));
    sim::faults().FailNext("DeletePrinter", ERROR_ACCESS_DENIED);
    package.RemovePrinter(u"Office");
    EXPECT_EQ(package.result, 1);
    EXPECT_EQ(package.lastError, DWORD(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(sim::spooler().Printer(u"Office").has_value());
}

TEST(RenamePrinter, CarriesTheSettingsDataJobsAndHandles)
{
    sim::PrinterSetup printer;
    printer.name = u"Office";
    printer.portName = u"COM1:";
    printer.defaultDevMode = std::vector<BYTE>(220, 7);
    sim::spooler().AddPrinter(printer);
    sim::spooler().SetPrinterData(u"Office", u"Model", REG_SZ, {'K', 0, 0, 0});
    const DWORD job = sim::spooler().AddJob(u"Office", u"Letter");
    HANDLE open = sim::spooler().OpenPrinter(u"Office");
    ASSERT_NE(open, nullptr);

    EXPECT_FALSE(RenamePrinter(u"Office", u"Office"));
    ASSERT_TRUE(RenamePrinter(u"Office", u"Front desk"));
    EXPECT_FALSE(sim::spooler().Printer(u"Office").has_value());
    auto renamed = sim::spooler().Printer(u"Front desk");
    ASSERT_TRUE(renamed.has_value());
    EXPECT_EQ(renamed->portName, u"COM1:");
    EXPECT_EQ(renamed->defaultDevMode, printer.defaultDevMode);
    ASSERT_TRUE(sim::spooler().PrinterData(u"Front desk", u"Model").has_value());
    auto jobs = sim::spooler().Jobs();
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].id, job);
    EXPECT_EQ(jobs[0].printerName, u"Front desk");
    EXPECT_TRUE(QueueNodeOf(u"Front desk").has_value());

    // The handle opened under the old name works on under the new one.
    DWORD needed = 0;
    GetPrinterW(open, 2, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    ASSERT_TRUE(GetPrinterW(open, 2, buffer.data(), needed, &needed));
    EXPECT_EQ(WString(reinterpret_cast<PRINTER_INFO_2W*>(buffer.data())->pPrinterName), u"Front desk");
    sim::spooler().ClosePrinter(open);

    AddOffice();
    EXPECT_FALSE(RenamePrinter(u"Office", u"Front desk")); // taken
    EXPECT_FALSE(RenamePrinter(u"Office", u"Back\\office"));
    EXPECT_FALSE(RenamePrinter(u"Nobody", u"Anybody"));
    EXPECT_TRUE(sim::spooler().Printer(u"Office").has_value());
}

struct PnpMachine
{
    sim::UsbPrinterHardware device;
    PnpMachine()
    {
        test::PutV3Package();
        sim::ServiceSetup lpd;
        lpd.name = u"LPDSVC";
        lpd.state = SERVICE_RUNNING;
        lpd.dependencies = {u"Spooler"};
        sim::services().Add(lpd);
    }
    void Attach() { sim::deviceTree().AttachUsbPrinter(device); }
    struct Outcome
    {
        int result = -1;
        DWORD lastError = 0;
    };
    Outcome Update(const WString& usbKey)
    {
        return OnMachine([&] {
            CDriverPackage package(kV3Inf);
            package.UpdatePnpDriver(kHardwareId, usbKey);
            return Outcome{package.result, package.lastError};
        });
    }
};

TEST(UpdatePnpDriver, TheDeviceIsMadeAgainAndGetsTheDriverAndAPrinter)
{
    PnpMachine m;
    m.Attach();
    const WString printerId = *sim::deviceTree().UsbPrinterId(m.device);
    const int enumerations = sim::deviceTree().Reenumerations();
    auto package = m.Update(u"A1B2C3");
    EXPECT_EQ(package.result, 0);
    EXPECT_EQ(package.lastError, 0u);
    EXPECT_TRUE(Called("DiUninstallDevice"));
    EXPECT_GT(sim::deviceTree().Reenumerations(), enumerations);
    auto node = sim::deviceTree().Node(printerId);
    ASSERT_TRUE(node.has_value());
    EXPECT_TRUE(node->present);
    EXPECT_EQ(node->friendlyName, kSharedModel);
    auto printer = sim::spooler().Printer(kSharedModel);
    ASSERT_TRUE(printer.has_value());
    EXPECT_EQ(printer->portName, u"USB001");
    EXPECT_EQ(printer->driverName, kSharedModel);
    EXPECT_EQ(sim::deviceTree().PendingInstallEvents(), 0); // waited for the installs
}

// Installs that never settle are waited for five minutes, not for ever.
TEST(UpdatePnpDriver, TheWaitForInstallsEnds)
{
    PnpMachine m;
    m.Attach();
    sim::deviceTree().SetPendingInstallEvents(1000000);
    const ULONGLONG start = sim::virtualClock().Now();
    auto package = m.Update(u"");
    EXPECT_EQ(package.result, 0);
    const ULONGLONG waited = sim::virtualClock().Now() - start;
    EXPECT_GE(waited, 5u * 60 * 1000);
    EXPECT_LT(waited, 6u * 60 * 1000);
    EXPECT_GT(sim::deviceTree().PendingInstallEvents(), 0);
}

TEST(UpdatePnpDriver, Outcomes)
{
    struct Case
    {
        const char* name;
        bool attach, detach;
        DWORD updateFailure;
        bool spoolerNeverStarts;
        int result;
        DWORD lastError;
        bool spoolerRestarted;
    };
    const Case cases[] = {
        {"no device, no node", false, false, 0, false, 1, ERROR_NO_SUCH_DEVINST, false},
        {"a node not present with the id", true, true, 0, false, 0, ERROR_NO_SUCH_DEVINST, false},
        {"not found: the spooler restarted", true, false, ERROR_NOT_FOUND, false, 0, ERROR_NOT_FOUND, true},
        {"not found: the spooler stays down", true, false, ERROR_NOT_FOUND, true, 1, ERROR_NOT_FOUND, true},
        {"another failure", true, false, ERROR_ACCESS_DENIED, false, 1, ERROR_ACCESS_DENIED, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        sim::machine().Reset();
        PnpMachine m;
        if (c.attach)
            m.Attach();
        if (c.detach)
            sim::deviceTree().Detach(m.device.serial);
        sim::deviceTree().FailDriverUpdates(c.updateFailure);
        sim::services().SetNeverStarts(u"Spooler", c.spoolerNeverStarts);
        auto package = m.Update(u"");
        EXPECT_EQ(package.result, c.result);
        EXPECT_EQ(package.lastError, c.lastError);
        auto journal = sim::services().Journal();
        EXPECT_EQ(std::find(journal.begin(), journal.end(), "stop Spooler") != journal.end(),
                  c.spoolerRestarted);
        if (!c.spoolerNeverStarts)
        {
            EXPECT_EQ(sim::services().State(u"LPDSVC"), std::optional<DWORD>(SERVICE_RUNNING));
        }
        sim::services().SetNeverStarts(u"Spooler", false);
    }
}

TEST(UpdatePnpDriver, RemovalOrUploadFailureEndsIt)
{
    PnpMachine m;
    m.Attach();
    sim::faults().FailNext("DiUninstallDevice", ERROR_ACCESS_DENIED);
    auto removal = m.Update(u"A1B2C3");
    EXPECT_EQ(removal.result, 1);
    EXPECT_EQ(removal.lastError, 1u);
    EXPECT_FALSE(Called("UploadPrinterDriverPackageW"));

    sim::faults().FailNext("UploadPrinterDriverPackageW", ERROR_ACCESS_DENIED);
    auto upload = m.Update(u"");
    EXPECT_NE(upload.result, 0);
    EXPECT_FALSE(Called("UpdateDriverForPlugAndPlayDevicesW"));
    EXPECT_FALSE(sim::spooler().Printer(kSharedModel).has_value());
}

} // namespace
