// One list of ports for every way in: the monitors' channel, a monitor's registry keys, EnumPortsW,
// DeletePortW/A and the printers.
#include <gtest/gtest.h>

#include <platform/winspool.h>
#include <sim/machine.h>
#include <sim/port_monitors.h>
#include <sim/spooler.h>

#include <cstring>
#include <utility>
#include <vector>

namespace
{
using XcvData = BOOL(WINAPI*)(HANDLE, LPCWSTR, PBYTE, DWORD, PBYTE, DWORD, PDWORD, PDWORD);

const WString kVelmoPorts = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Velmo Port\\Ports";

// EnumPortsW's answer: each port's name and monitor.
std::vector<std::pair<WString, WString>> Listed()
{
    DWORD needed = 0, returned = 0;
    EnumPortsW(nullptr, 2, nullptr, 0, &needed, &returned);
    std::vector<BYTE> buffer(needed);
    EXPECT_TRUE(EnumPortsW(nullptr, 2, buffer.data(), needed, &needed, &returned));
    std::vector<std::pair<WString, WString>> ports;
    const auto* info = reinterpret_cast<const PORT_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < returned; ++i)
        ports.emplace_back(info[i].pPortName, info[i].pMonitorName);
    return ports;
}

bool IsListed(WStringView name, WStringView monitor)
{
    for (const auto& [n, m] : Listed())
        if (n == name && m == monitor)
            return true;
    return false;
}

// The local monitor's AddPort through its channel: the monitor's status.
DWORD AddLocalPort(const WString& name)
{
    auto xcv = reinterpret_cast<XcvData>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(u"winspool.drv"), "XcvDataW")));
    WString full = u",XcvMonitor Local Port";
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
    HANDLE monitor = nullptr;
    EXPECT_TRUE(OpenPrinterW(full.data(), &monitor, &defaults));
    DWORD needed = 0, status = 0;
    std::vector<BYTE> input((name.size() + 1) * sizeof(WCHAR));
    std::memcpy(input.data(), name.c_str(), input.size());
    EXPECT_TRUE(xcv(monitor, u"AddPort", input.data(), DWORD(input.size()), nullptr, 0, &needed, &status));
    ClosePrinter(monitor);
    return status;
}

DWORD DeletePort(const WString& name)
{
    WString n = name;
    SetLastError(0);
    return DeletePortW(nullptr, nullptr, n.data()) ? 0 : GetLastError();
}

HANDLE AddPrinterOn(const WString& ports)
{
    sim::DriverSetup driver;
    driver.name = u"Model";
    sim::spooler().InstallDriver(driver);
    WString name = u"Office", model = u"Model", port = ports, processor = u"winprint";
    PRINTER_INFO_2W info{};
    info.pPrinterName = name.data();
    info.pDriverName = model.data();
    info.pPortName = port.data();
    info.pPrintProcessor = processor.data();
    return AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info));
}

TEST(PortList, APortTheChannelMadeServesPrintersAndGoesWithDeletePort)
{
    ASSERT_EQ(AddLocalPort(u"C:\\out.prn"), 0u);
    EXPECT_TRUE(IsListed(u"C:\\out.prn", u"Local Port"));
    EXPECT_EQ(sim::portMonitors().Port(u"c:\\OUT.prn")->monitor, u"Local Port");
    EXPECT_EQ(AddLocalPort(u"c:\\OUT.PRN"), DWORD(ERROR_ALREADY_EXISTS));

    // A printer on a list of ports holds each of them.
    HANDLE printer = AddPrinterOn(u"LPT1:, C:\\out.prn");
    ASSERT_NE(printer, nullptr) << GetLastError();
    EXPECT_EQ(DeletePort(u"C:\\out.prn"), DWORD(ERROR_BUSY));
    EXPECT_EQ(DeletePort(u"LPT1:"), DWORD(ERROR_BUSY));
    ASSERT_TRUE(DeletePrinter(printer));
    ClosePrinter(printer);

    EXPECT_EQ(DeletePort(u"c:\\out.PRN"), 0u);
    EXPECT_FALSE(IsListed(u"C:\\out.prn", u"Local Port"));
    EXPECT_FALSE(sim::portMonitors().Port(u"C:\\out.prn"));
    EXPECT_EQ(DeletePort(u"C:\\out.prn"), DWORD(ERROR_UNKNOWN_PORT));
    EXPECT_EQ(AddLocalPort(u"C:\\out.prn"), 0u) << "the name is free again";
    EXPECT_EQ(AddPrinterOn(u"LPT1:,NOWHERE:"), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PORT));
}

TEST(PortList, AMonitorsRegistryPortsAreListedTakenAndDeletedByName)
{
    sim::registry().SetValue(HKEY_LOCAL_MACHINE, kVelmoPorts + u"\\VM_1", u"Host", REG_SZ, {});
    EXPECT_TRUE(IsListed(u"VM_1", u"Velmo Port"));
    EXPECT_TRUE(sim::portMonitors().Port(u"vm_1"));
    EXPECT_EQ(AddLocalPort(u"vm_1"), DWORD(ERROR_ALREADY_EXISTS)) << "port names are unique across monitors";
    HANDLE printer = AddPrinterOn(u"VM_1");
    ASSERT_NE(printer, nullptr) << GetLastError();
    char narrow[] = "vm_1";
    EXPECT_FALSE(DeletePortA(nullptr, nullptr, narrow));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_BUSY));
    ASSERT_TRUE(DeletePrinter(printer));
    ClosePrinter(printer);
    EXPECT_TRUE(DeletePortA(nullptr, nullptr, narrow));
    EXPECT_FALSE(sim::registry().KeyExists(HKEY_LOCAL_MACHINE, kVelmoPorts + u"\\VM_1"));
    EXPECT_FALSE(IsListed(u"VM_1", u"Velmo Port"));

    // A monitor goes once it has no ports.
    WString monitor = u"velmo port";
    sim::registry().SetValue(HKEY_LOCAL_MACHINE, kVelmoPorts + u"\\VM_2", u"Host", REG_SZ, {});
    EXPECT_FALSE(DeleteMonitorW(nullptr, nullptr, monitor.data()));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PRINT_MONITOR_IN_USE));
    EXPECT_EQ(DeletePort(u"VM_2"), 0u);
    EXPECT_TRUE(DeleteMonitorW(nullptr, nullptr, monitor.data()));
}

TEST(PortList, DeletePortRefusals)
{
    struct Case
    {
        const char* what;
        const char16_t* server;
        const char16_t* port;
        bool administrator;
        DWORD error;
    } cases[] = {
        {"a server named", u"\\\\other", u"COM1:", true, ERROR_INVALID_NAME},
        {"no port", nullptr, u"", true, ERROR_INVALID_PARAMETER},
        {"not an administrator", nullptr, u"COM1:", false, ERROR_ACCESS_DENIED},
        {"unknown", nullptr, u"COM9:", true, ERROR_UNKNOWN_PORT},
    };
    for (const Case& c : cases)
    {
        sim::machine().SetAdministrator(c.administrator);
        WString server = c.server ? c.server : u"", port = c.port;
        SetLastError(0);
        EXPECT_FALSE(DeletePortW(c.server ? server.data() : nullptr, nullptr, port.data())) << c.what;
        EXPECT_EQ(GetLastError(), c.error) << c.what;
    }
    sim::machine().SetAdministrator(true);
    EXPECT_TRUE(IsListed(u"COM1:", u"Local Port"));
}
} // namespace
