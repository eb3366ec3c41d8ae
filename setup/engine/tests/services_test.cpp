#include <gtest/gtest.h>

#include "on_machine.h"
#include "services.h"

#include <sim/machine.h>
#include <sim/services.h>
#include <sim/spooler.h>

#include <algorithm>
#include <string>
#include <vector>

namespace
{
using kgsetup::ControlService;
using kgsetup::kServiceRestart;
using kgsetup::kServiceStart;
using kgsetup::kServiceStop;

sim::ServiceSetup Service(std::u16string name, DWORD state)
{
    sim::ServiceSetup s;
    s.name = name;
    s.displayName = name;
    s.binaryPath = u"C:\\Windows\\System32\\" + name + u".exe";
    s.state = state;
    return s;
}

// LPD runs in the spooler's company: it depends on it.
void AddLpd(DWORD state)
{
    sim::ServiceSetup lpd = Service(u"LPDSVC", state);
    lpd.dependencies = {u"Spooler"};
    sim::services().Add(lpd);
}

std::vector<std::string> Journal()
{
    return sim::services().Journal();
}

TEST(Services, OperationsEndInTheStateAsked)
{
    struct Case
    {
        DWORD state, operation;
        bool result;
        DWORD after;
        std::vector<std::string> journal;
    } cases[] = {
        {SERVICE_STOPPED, kServiceStop, true, SERVICE_STOPPED, {}},
        {SERVICE_STOPPED, kServiceRestart, true, SERVICE_RUNNING, {"start Probe"}},
        {SERVICE_STOPPED, kServiceStart, true, SERVICE_RUNNING, {"start Probe"}},
        {SERVICE_RUNNING, kServiceStart, true, SERVICE_RUNNING, {}},
        {SERVICE_RUNNING, kServiceStop, true, SERVICE_STOPPED, {"stop Probe"}},
        {SERVICE_RUNNING, kServiceRestart, true, SERVICE_RUNNING, {"stop Probe", "start Probe"}},
        {SERVICE_RUNNING, 132, false, SERVICE_RUNNING, {}},
    };
    for (const Case& c : cases)
    {
        sim::machine().Reset();
        sim::services().Add(Service(u"Probe", c.state));
        EXPECT_EQ(OnMachine([&] { return ControlService(u"Probe", c.operation); }), c.result)
            << c.state << " " << c.operation;
        EXPECT_EQ(sim::services().State(u"Probe"), c.after) << c.state << " " << c.operation;
        EXPECT_EQ(Journal(), c.journal) << c.state << " " << c.operation;
    }
}

TEST(Services, HungOrMissingServicesGiveFalseAfterTheirPolls)
{
    EXPECT_FALSE(OnMachine([&] { return ControlService(u"Missing", kServiceStart); }));

    sim::ServiceSetup stuck = Service(u"Stuck", SERVICE_RUNNING);
    stuck.neverStops = true;
    sim::services().Add(stuck);
    ULONGLONG before = sim::virtualClock().Now();
    EXPECT_FALSE(OnMachine([&] { return ControlService(u"Stuck", kServiceRestart); }));
    EXPECT_EQ(sim::virtualClock().Now() - before, 120u * 1000u) << "120 polls, 1 s apart";
    EXPECT_EQ(Journal(), (std::vector<std::string>{"stop Stuck"})) << "no start while it has not stopped";

    sim::ServiceSetup lazy = Service(u"Lazy", SERVICE_STOPPED);
    lazy.neverStarts = true;
    sim::services().Add(lazy);
    EXPECT_FALSE(OnMachine([&] { return ControlService(u"Lazy", kServiceStart); }));
}

TEST(Services, APendingServiceIsWaitedFor)
{
    sim::ServiceSetup slow = Service(u"Slow", SERVICE_STOPPED);
    slow.startMilliseconds = 4500;
    sim::services().Add(slow);
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = OpenServiceW(manager, u"Slow", SERVICE_START);
    ASSERT_TRUE(StartServiceW(service, 0, nullptr));
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    EXPECT_EQ(sim::services().State(u"Slow"), DWORD(SERVICE_START_PENDING));
    EXPECT_TRUE(OnMachine([&] { return ControlService(u"Slow", kServiceStop); }));
    EXPECT_EQ(sim::services().State(u"Slow"), DWORD(SERVICE_STOPPED));
}

TEST(Services, WithoutRightsOrEntryPointsNothingHappens)
{
    sim::services().Add(Service(u"Probe", SERVICE_STOPPED));
    sim::machine().SetAdministrator(false);
    EXPECT_FALSE(OnMachine([&] { return ControlService(u"Probe", kServiceStart); }));
    sim::machine().SetAdministrator(true);
    for (const char* entry : {"OpenSCManagerW", "OpenServiceW", "StartServiceW", "QueryServiceStatus",
                              "ControlService", "CloseServiceHandle"})
    {
        sim::machine().Reset();
        sim::services().Add(Service(u"Probe", SERVICE_STOPPED));
        sim::machine().RemoveSystemExport(u"advapi32.dll", entry);
        EXPECT_FALSE(OnMachine([&] { return ControlService(u"Probe", kServiceStart); })) << entry;
        EXPECT_EQ(sim::services().State(u"Probe"), DWORD(SERVICE_STOPPED)) << entry;
    }
}

TEST(SpoolerRestart, RestartsTheSpoolerAndLeavesLpdRunning)
{
    struct Case
    {
        std::optional<DWORD> lpd; // none: not installed
        std::vector<std::string> journal;
    } cases[] = {
        {std::nullopt, {"stop Spooler", "start Spooler"}},
        {SERVICE_STOPPED, {"stop Spooler", "start Spooler", "start LPDSVC"}},
        {SERVICE_RUNNING, {"stop LPDSVC", "stop Spooler", "start Spooler", "start LPDSVC"}},
    };
    for (const Case& c : cases)
    {
        sim::machine().Reset();
        if (c.lpd)
            AddLpd(*c.lpd);
        EXPECT_TRUE(OnMachine([] { return kgsetup::RestartSpooler(); }));
        EXPECT_EQ(Journal(), c.journal);
        EXPECT_EQ(sim::services().State(u"Spooler"), DWORD(SERVICE_RUNNING));
        if (c.lpd)
        {
            EXPECT_EQ(sim::services().State(u"LPDSVC"), DWORD(SERVICE_RUNNING));
        }
    }
}

TEST(SpoolerRestart, ASpoolerThatCannotStopIsReported)
{
    AddLpd(SERVICE_RUNNING);
    sim::services().SetNeverStops(u"Spooler", true);
    EXPECT_FALSE(OnMachine([] { return kgsetup::RestartSpooler(); }));
    EXPECT_EQ(Journal(), (std::vector<std::string>{"stop LPDSVC", "stop Spooler"}))
        << "nothing started on a hung spooler";
}

// Every manager call of the round failed once in turn: the result tells, and both services run after.
TEST(SpoolerRestart, EachFailedCallIsReportedAndBothServicesRunAfter)
{
    for (const char* api :
         {"OpenSCManagerW", "OpenServiceW", "QueryServiceStatus", "ControlService", "StartServiceW"})
        for (int skip = 0;; ++skip)
        {
            sim::machine().Reset();
            AddLpd(SERVICE_RUNNING);
            sim::faults().FailNext(api, ERROR_ACCESS_DENIED, 1, skip);
            bool restarted = OnMachine([] { return kgsetup::RestartSpooler(); });
            if (!sim::faults().Pending().empty())
                break; // past the round's last call of this kind
            std::vector<std::string> journal = Journal();
            auto stop = std::find(journal.begin(), journal.end(), "stop Spooler");
            bool stoppedThenStarted =
                stop != journal.end() && std::find(stop, journal.end(), "start Spooler") != journal.end();
            if (restarted)
            {
                EXPECT_TRUE(stoppedThenStarted) << api << " " << skip;
            }
            EXPECT_EQ(sim::services().State(u"Spooler"), DWORD(SERVICE_RUNNING)) << api << " " << skip;
            EXPECT_EQ(sim::services().State(u"LPDSVC"), DWORD(SERVICE_RUNNING)) << api << " " << skip;
        }
    sim::machine().Reset();
}
} // namespace

namespace
{
TEST(SpoolerRestart, EndsOpenHandlesAndReloadsStoredSettings)
{
    sim::PrinterSetup printer;
    printer.name = printer.driverName = u"Velmo KG-100";
    printer.defaultDevMode = std::vector<BYTE>(220, 1);
    sim::spooler().AddPrinter(printer);
    const std::vector<BYTE> stored(220, 7);
    sim::registry().SetValue(HKEY_LOCAL_MACHINE,
                             u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\Velmo KG-100",
                             u"Default DevMode", REG_BINARY, stored);
    HANDLE before = sim::spooler().OpenPrinter(u"Velmo KG-100");
    ASSERT_NE(before, nullptr);

    sim::ServiceSetup spooler = *sim::services().Setup(u"Spooler");
    spooler.state = SERVICE_STOPPED;
    sim::services().Add(spooler);
    EXPECT_EQ(sim::spooler().OpenPrinter(u"Velmo KG-100"), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(RPC_S_SERVER_UNAVAILABLE));
    spooler.state = SERVICE_RUNNING;
    sim::services().Add(spooler);

    ASSERT_TRUE(OnMachine([] { return kgsetup::RestartSpooler(); }));
    DWORD needed = 0;
    EXPECT_FALSE(GetPrinterW(before, 2, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE)) << "a handle of the spooler's last run";
    HANDLE after = sim::spooler().OpenPrinter(u"Velmo KG-100");
    ASSERT_NE(after, nullptr);
    GetPrinterW(after, 2, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    ASSERT_TRUE(GetPrinterW(after, 2, buffer.data(), needed, &needed));
    auto* info = reinterpret_cast<PRINTER_INFO_2W*>(buffer.data());
    ASSERT_NE(info->pDevMode, nullptr);
    const BYTE* devMode = reinterpret_cast<const BYTE*>(info->pDevMode);
    EXPECT_EQ(std::vector<BYTE>(devMode, devMode + 220), stored);
    sim::spooler().ClosePrinter(after);
}
} // namespace
