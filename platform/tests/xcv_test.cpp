#include <gtest/gtest.h>

#include <platform/tcpxcv.h>
#include <platform/winspool.h>
#include <sim/machine.h>
#include <sim/port_monitors.h>

#include <cstring>
#include <functional>
#include <vector>

namespace
{
using XcvData = BOOL(WINAPI*)(HANDLE, LPCWSTR, PBYTE, DWORD, PBYTE, DWORD, PDWORD, PDWORD);

XcvData Channel()
{
    return reinterpret_cast<XcvData>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(u"winspool.drv"), "XcvDataW")));
}

HANDLE OpenMonitor(const char16_t* name)
{
    WString full = WString(u",XcvMonitor ") + name;
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
    HANDLE h = nullptr;
    return OpenPrinterW(full.data(), &h, &defaults) ? h : nullptr;
}

std::vector<BYTE> GoodRecord()
{
    PORT_DATA_1 d{};
    std::u16string name = u"IP_10.0.0.9", host = u"10.0.0.9";
    std::copy(name.begin(), name.end(), d.sztPortName);
    std::copy(host.begin(), host.end(), d.sztHostAddress);
    d.dwVersion = 1;
    d.dwProtocol = 1;
    d.cbSize = sizeof d;
    d.dwPortNumber = 9100;
    std::vector<BYTE> bytes(sizeof d);
    std::memcpy(bytes.data(), &d, sizeof d);
    return bytes;
}

// The standard TCP/IP monitor takes its record as outside bytes: every field is checked.
TEST(PortMonitor, MalformedTcpIpRecordsAreRefusedWith87)
{
    XcvData xcv = Channel();
    ASSERT_NE(xcv, nullptr);
    HANDLE monitor = OpenMonitor(u"Standard TCP/IP Port");
    ASSERT_NE(monitor, nullptr);
    struct Case
    {
        const char* what;
        std::function<void(std::vector<BYTE>&)> spoil;
    } cases[] = {
        {"one byte short", [](std::vector<BYTE>& b) { b.pop_back(); }},
        {"one byte long", [](std::vector<BYTE>& b) { b.push_back(0); }},
        {"version 2", [](std::vector<BYTE>& b) { b[128] = 2; }},
        {"size field 963", [](std::vector<BYTE>& b) { b[136] = 0xC3; }},
        {"protocol 3", [](std::vector<BYTE>& b) { b[132] = 3; }},
        {"name without end", [](std::vector<BYTE>& b) { std::fill(b.begin(), b.begin() + 128, BYTE('A')); }},
        {"empty name", [](std::vector<BYTE>& b) { b[0] = b[1] = 0; }},
        {"host without end",
         [](std::vector<BYTE>& b) { std::fill(b.begin() + 144, b.begin() + 242, BYTE('B')); }},
    };
    for (const Case& c : cases)
    {
        std::vector<BYTE> record = GoodRecord();
        c.spoil(record);
        DWORD needed = 5, status = 0;
        EXPECT_TRUE(xcv(monitor, u"AddPort", record.data(), static_cast<DWORD>(record.size()), nullptr, 0,
                        &needed, &status))
            << c.what;
        EXPECT_EQ(status, DWORD(ERROR_INVALID_PARAMETER)) << c.what;
        EXPECT_EQ(needed, 0u) << c.what;
    }
    EXPECT_EQ(sim::portMonitors().Ports().size(), 3u);
    std::vector<BYTE> good = GoodRecord();
    DWORD needed = 0, status = 1;
    ASSERT_TRUE(
        xcv(monitor, u"AddPort", good.data(), static_cast<DWORD>(good.size()), nullptr, 0, &needed, &status));
    EXPECT_EQ(status, 0u);
    EXPECT_TRUE(sim::portMonitors().Port(u"IP_10.0.0.9"));
    ClosePrinter(monitor);
}

TEST(PortMonitor, HandlesAreCheckedAndUnknownMonitorsRefused)
{
    EXPECT_EQ(OpenMonitor(u"Imaginary Port"), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PRINTER_NAME));
    XcvData xcv = Channel();
    DWORD needed = 0, status = 0;
    SetLastError(0);
    EXPECT_FALSE(xcv(nullptr, u"AddPort", nullptr, 0, nullptr, 0, &needed, &status));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));

    // Opened without asking to administer: the monitor refuses changes.
    WString name = u",XcvMonitor Local Port";
    HANDLE plain = nullptr;
    ASSERT_TRUE(OpenPrinterW(name.data(), &plain, nullptr));
    std::u16string port = u"NUL:";
    ASSERT_TRUE(xcv(plain, u"AddPort", reinterpret_cast<PBYTE>(port.data()), DWORD((port.size() + 1) * 2),
                    nullptr, 0, &needed, &status));
    EXPECT_EQ(status, DWORD(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(sim::portMonitors().Port(u"NUL:"));
    DWORD printerNeeded = 0;
    EXPECT_FALSE(GetPrinterW(plain, 2, nullptr, 0, &printerNeeded)) << "not a printer";
    EXPECT_TRUE(ClosePrinter(plain));
}
} // namespace
