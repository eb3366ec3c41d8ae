#include <gtest/gtest.h>

#include "ports.h"

#include <platform/winspool.h>
#include <sim/machine.h>
#include <sim/port_monitors.h>
#include <sim/services.h>
#include <sim/spooler.h>

#include <functional>
#include <string>
#include <vector>

namespace
{
using kgsetup::AddLocalPort;
using kgsetup::AddStandardTcpIpPort;
using kgsetup::DeleteTcpIpPort;

// The records as the monitor documents them, written field by field at their offsets.
struct Bytes
{
    std::vector<BYTE> b;
    explicit Bytes(size_t n) : b(n, 0) {}
    void Text(size_t at, std::u16string_view s)
    {
        for (size_t i = 0; i < s.size(); ++i)
        {
            b[at + 2 * i] = static_cast<BYTE>(s[i] & 0xFF);
            b[at + 2 * i + 1] = static_cast<BYTE>(s[i] >> 8);
        }
    }
    void Dword(size_t at, DWORD v)
    {
        for (int i = 0; i < 4; ++i)
            b[at + i] = static_cast<BYTE>(v >> (8 * i));
    }
};

TEST(PortRecords, TcpIpAddRecordHasEveryFieldAtItsOffset)
{
    Bytes expected(964);
    expected.Text(0, u"KORIGRAPH_192.168.0.5");
    expected.Dword(128, 1);
    expected.Dword(132, 1);
    expected.Dword(136, 964);
    expected.Text(144, u"192.168.0.5");
    expected.Text(242, u"vextor");
    expected.Dword(308, 1);
    expected.Text(312, u"lp");
    expected.Text(378, u"192.168.0.5");
    expected.Dword(952, 9100);
    expected.Dword(960, 1);
    EXPECT_EQ(kgsetup::BuildPortData1(u"KORIGRAPH_", u"192.168.0.5"), expected.b);
}

TEST(PortRecords, TcpIpDeleteRecordHasNameAndVersion)
{
    Bytes expected(236);
    expected.Text(0, u"KORIGRAPH_192.168.0.5");
    expected.Dword(228, 1);
    EXPECT_EQ(kgsetup::BuildDeletePortData1(u"KORIGRAPH_192.168.0.5"), expected.b);
}

TEST(PortRecords, TextTooLongForItsFieldIsRefusedNotCut)
{
    const std::u16string host48(48, u'h'), host49(49, u'h');
    struct Case
    {
        std::u16string prefix, address;
        bool fits;
    } cases[] = {
        {u"KORIGRAPH_", u"192.168.100.200", true}, // 15 units: the IP field's room
        {u"KORIGRAPH_", u"192.168.100.2000", false},
        {std::u16string(52, u'p'), u"192.168.0.5", true}, // 63 units of name
        {std::u16string(53, u'p'), u"192.168.0.5", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(kgsetup::BuildPortData1(c.prefix, c.address).has_value(), c.fits);
    EXPECT_TRUE(kgsetup::BuildDeletePortData1(std::u16string(63, u'n')));
    EXPECT_FALSE(kgsetup::BuildDeletePortData1(std::u16string(64, u'n')));
    EXPECT_EQ(AddStandardTcpIpPort(u"KORIGRAPH_", u"192.168.100.2000"), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(sim::portMonitors().Ports().size(), 3u) << "nothing added";
}

TEST(Ports, TcpIpPortIsMadeWithItsRecordAndOnlyOnce)
{
    EXPECT_EQ(AddStandardTcpIpPort(u"KORIGRAPH_", u"192.168.0.5"), 0u);
    auto port = sim::portMonitors().Port(u"KORIGRAPH_192.168.0.5");
    ASSERT_TRUE(port);
    EXPECT_EQ(port->monitor, sim::kTcpIpPortMonitor);
    ASSERT_TRUE(port->tcpIp);
    EXPECT_EQ(port->tcpIp->hostAddress, u"192.168.0.5");
    EXPECT_EQ(port->tcpIp->protocol, 1u);
    EXPECT_EQ(port->tcpIp->portNumber, 9100u);
    EXPECT_EQ(port->tcpIp->queue, u"lp");
    EXPECT_EQ(AddStandardTcpIpPort(u"KORIGRAPH_", u"192.168.0.5"), DWORD(ERROR_ALREADY_EXISTS));
}

TEST(Ports, LocalPortIsAddedOnce)
{
    EXPECT_EQ(AddLocalPort(u"NUL:"), 0u);
    auto port = sim::portMonitors().Port(u"nul:");
    ASSERT_TRUE(port);
    EXPECT_EQ(port->monitor, sim::kLocalPortMonitor);
    EXPECT_EQ(AddLocalPort(u"NUL:"), DWORD(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(AddLocalPort(u"LPT1:"), DWORD(ERROR_ALREADY_EXISTS)) << "a port every machine has";
}

TEST(Ports, TcpIpPortIsDeletedUnlessInUseOrUnknown)
{
    ASSERT_EQ(AddStandardTcpIpPort(u"KORIGRAPH_", u"192.168.0.5"), 0u);
    ASSERT_EQ(AddStandardTcpIpPort(u"KORIGRAPH_", u"192.168.0.6"), 0u);
    sim::PrinterSetup printer;
    printer.name = printer.driverName = u"Velmo KG-100";
    printer.portName = u"KORIGRAPH_192.168.0.6";
    sim::spooler().AddPrinter(printer);

    EXPECT_EQ(DeleteTcpIpPort(u"KORIGRAPH_192.168.0.5"), 0u);
    EXPECT_FALSE(sim::portMonitors().Port(u"KORIGRAPH_192.168.0.5"));
    EXPECT_EQ(DeleteTcpIpPort(u"KORIGRAPH_192.168.0.6"), DWORD(ERROR_BUSY));
    EXPECT_TRUE(sim::portMonitors().Port(u"KORIGRAPH_192.168.0.6"));
    EXPECT_EQ(DeleteTcpIpPort(u"KORIGRAPH_192.168.0.5"), DWORD(ERROR_UNKNOWN_PORT));
    EXPECT_EQ(DeleteTcpIpPort(u"LPT1:"), DWORD(ERROR_UNKNOWN_PORT)) << "not the TCP/IP monitor's";
    EXPECT_TRUE(sim::portMonitors().Port(u"LPT1:"));
}

TEST(Ports, FailuresAreReportedAndChangeNothing)
{
    struct Case
    {
        const char* what;
        std::function<void()> arrange;
        DWORD add, addLocal, remove;
    } cases[] = {
        {"without administrator rights", [] { sim::machine().SetAdministrator(false); }, 1, 1,
         ERROR_ACCESS_DENIED},
        {"without XcvDataW", [] { sim::machine().RemoveSystemExport(u"winspool.drv", "XcvDataW"); },
         ERROR_PROC_NOT_FOUND, ERROR_PROC_NOT_FOUND, ERROR_PROC_NOT_FOUND},
        {"without winspool", [] { sim::processes().RemoveSystemModule(u"winspool.drv"); }, ERROR_MOD_NOT_FOUND,
         ERROR_MOD_NOT_FOUND, ERROR_MOD_NOT_FOUND},
        {"without the system folder",
         [] { sim::faults().FailNext("GetSystemDirectoryW", ERROR_ACCESS_DENIED, 3); }, ERROR_ACCESS_DENIED,
         ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
        {"when the current folder cannot be set",
         [] { sim::faults().FailNext("SetCurrentDirectoryW", ERROR_ACCESS_DENIED, 3); }, ERROR_ACCESS_DENIED,
         ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
        {"with the spooler stopped",
         [] {
             sim::ServiceSetup spooler = *sim::services().Setup(u"Spooler");
             spooler.state = SERVICE_STOPPED;
             sim::services().Add(spooler);
         },
         1, 1, RPC_S_SERVER_UNAVAILABLE},
        {"when the call fails", [] { sim::faults().FailNext("XcvDataW", RPC_S_SERVER_UNAVAILABLE, 3); },
         RPC_S_SERVER_UNAVAILABLE, RPC_S_SERVER_UNAVAILABLE, RPC_S_SERVER_UNAVAILABLE},
    };
    for (const Case& c : cases)
    {
        sim::machine().Reset();
        sim::portMonitors().AddPort(
            {u"KORIGRAPH_10.0.0.1", WString(sim::kTcpIpPortMonitor), sim::TcpIpPortRecord{}});
        c.arrange();
        EXPECT_EQ(AddStandardTcpIpPort(u"KORIGRAPH_", u"192.168.0.5"), c.add) << c.what;
        EXPECT_EQ(AddLocalPort(u"NUL:"), c.addLocal) << c.what;
        EXPECT_EQ(DeleteTcpIpPort(u"KORIGRAPH_10.0.0.1"), c.remove) << c.what;
        EXPECT_EQ(sim::portMonitors().Ports().size(), 4u) << c.what;
    }
}

TEST(SystemModule, FindsLoadedSystemDllsAndKeepsTheCurrentFolder)
{
    sim::files().Put(u"C:\\Pkg\\readme.txt");
    ASSERT_TRUE(SetCurrentDirectoryW(u"C:\\Pkg"));
    EXPECT_NE(kgsetup::GetSystemModule(u"winspool.drv"), nullptr);
    EXPECT_NE(kgsetup::GetSystemModule(u"ADVAPI32.DLL"), nullptr);
    EXPECT_EQ(kgsetup::GetSystemModule(u"newdev.dll"), nullptr) << "not loaded";
    sim::processes().RemoveSystemModule(u"advapi32.dll");
    EXPECT_EQ(kgsetup::GetSystemModule(u"advapi32.dll"), nullptr);
    WCHAR folder[MAX_PATH];
    ASSERT_GT(GetCurrentDirectoryW(MAX_PATH, folder), 0u);
    EXPECT_EQ(WString(folder), u"C:\\Pkg");

    sim::faults().FailNext("GetSystemDirectoryW", ERROR_ACCESS_DENIED);
    EXPECT_EQ(kgsetup::GetSystemModule(u"winspool.drv"), nullptr);
}

TEST(ModelNames, AreNormalisedPairByPairOnTheLastOccurrence)
{
    struct Case
    {
        std::u16string in, out;
    } cases[] = {
        {u"Velmo Ranth KG-100", u"Velmo KG-100"},
        {u"Velmo TAVON KG-100", u"Velmo TAVON KG-100"}, // "TAVON " stays: to "NOVAT " and back
        {u"Velmo KG-100TAVON", u"Velmo KG-100"},        // a lone TAVON goes
        {u"Velmo NOVAT KG", u"Velmo TAVON KG"},
        {u"Velmo  KG  100", u"Velmo  KG 100"}, // only the last double space
        {u"Velmo KG-100a", u"Velmo KG-100\u03B1"},
        {u"Velmo KG-a", u"Velmo KG-\u03B1"},
        {u"Velmo CD-200", u"CD-200"},
        {u"velmo ranth kg-100", u"velmo ranth kg-100"}, // case counts
        {u"KG-0a0a", u"KG-0a0\u03B1"},
        {u"", u""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(kgsetup::NormalizeModelName(c.in), c.out);
}
} // namespace
