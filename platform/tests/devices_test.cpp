#include <gtest/gtest.h>

#include <platform/setupapi.h>
#include <sim/machine.h>

#include <cstddef>
#include <vector>

namespace
{
constexpr GUID kUsbPrint = {0x28D78FAD, 0x5A12, 0x11D1, {0xAE, 0x5B, 0x00, 0x00, 0xF8, 0x03, 0xA8, 0xC2}};

TEST(DeviceInterfaces, ListPresentInterfacesWithTheTwoCallDetailProtocol)
{
    sim::UsbDuplicator a;
    a.serial = u"S1";
    sim::UsbDuplicator b;
    b.serial = u"S2";
    sim::devices().Plug(a);
    sim::devices().Plug(b);
    sim::devices().Unplug(sim::Devices::PathOf(a)); // not present any more

    HDEVINFO set = SetupDiGetClassDevsW(&kUsbPrint, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    ASSERT_NE(set, INVALID_HANDLE_VALUE);
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data - 1;
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &kUsbPrint, 0, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));
    data.cbSize = sizeof data;
    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &kUsbPrint, 0, &data));
    SP_DEVICE_INTERFACE_DATA past = data;
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &kUsbPrint, 1, &past));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));

    DWORD need = 0;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &need, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    const WString path = sim::Devices::PathOf(b);
    EXPECT_EQ(need,
              offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) + (path.size() + 1) * sizeof(WCHAR));

    std::vector<std::max_align_t> storage(need / sizeof(std::max_align_t) + 1);
    auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(storage.data());
    struct Case
    {
        DWORD cbSize;
        DWORD size;
        DWORD error; // 0: succeeds
    };
    const Case cases[] = {
        {sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) + 2, need, ERROR_INVALID_USER_BUFFER},
        {sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W), need - 1, ERROR_INSUFFICIENT_BUFFER},
        {sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W), need, 0},
    };
    for (const Case& c : cases)
    {
        detail->cbSize = c.cbSize;
        BOOL ok = SetupDiGetDeviceInterfaceDetailW(set, &data, detail, c.size, nullptr, nullptr);
        EXPECT_EQ(ok != FALSE, c.error == 0);
        if (c.error)
        {
            EXPECT_EQ(GetLastError(), c.error);
        }
    }
    EXPECT_EQ(WString(detail->DevicePath), path);
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
    EXPECT_FALSE(SetupDiDestroyDeviceInfoList(set));
}

TEST(DeviceInterfaces, PendingRequestsEndByCancelOrUnplug)
{
    sim::UsbDuplicator d;
    d.ioctl = sim::DeviceIoctl::Pending;
    sim::devices().Plug(d);
    const WString path = sim::Devices::PathOf(d);
    HANDLE device = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    EXPECT_EQ(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));

    HANDLE event = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    OVERLAPPED ov{};
    ov.hEvent = event;
    BYTE id[64];
    EXPECT_FALSE(DeviceIoControl(device, 0x16000C, nullptr, 0, id, sizeof id, nullptr, &ov));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT))
        << "a request resets its event";
    DWORD n = 5;
    EXPECT_FALSE(GetOverlappedResult(device, &ov, &n, FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_INCOMPLETE));
    EXPECT_TRUE(CancelIoEx(device, &ov));
    EXPECT_FALSE(GetOverlappedResult(device, &ov, &n, TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    EXPECT_EQ(n, 0u);
    EXPECT_FALSE(CancelIoEx(device, &ov));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_FOUND));

    // Reading with nothing to read pends; the unplug ends it.
    EXPECT_FALSE(ReadFile(device, id, sizeof id, nullptr, &ov));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
    EXPECT_TRUE(sim::devices().Unplug(path));
    EXPECT_FALSE(GetOverlappedResult(device, &ov, &n, TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_FALSE(WriteFile(device, id, 10, nullptr, &ov));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    CloseHandle(event);
    CloseHandle(device);
    EXPECT_EQ(sim::devices().Activity(path).releasedInFlight, 0);
    EXPECT_EQ(sim::devices().Activity(path).cancels, 1);
    EXPECT_EQ(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(DeviceInterfaces, ARequestWhoseEventIsClosedWhileItRunsIsRecorded)
{
    sim::UsbDuplicator d;
    sim::devices().Plug(d);
    const WString path = sim::Devices::PathOf(d);
    HANDLE device = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    OVERLAPPED ov{};
    ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    BYTE buffer[8];
    EXPECT_FALSE(ReadFile(device, buffer, sizeof buffer, nullptr, &ov));
    CancelIo(device);
    CloseHandle(ov.hEvent); // released without waiting for the cancelled read
    CloseHandle(device);
    EXPECT_EQ(sim::devices().Activity(path).releasedInFlight, 1);
}

TEST(LocalTime, RunsOnWithTheMachinesClock)
{
    SYSTEMTIME t{};
    t.wYear = 2026;
    t.wMonth = 2;
    t.wDay = 28;
    t.wHour = 23;
    t.wMinute = 59;
    t.wSecond = 59;
    t.wMilliseconds = 500;
    ASSERT_TRUE(sim::virtualClock().SetLocalTime(t));
    sim::virtualClock().Advance(600);
    SYSTEMTIME now{};
    GetLocalTime(&now);
    EXPECT_EQ(now.wYear, 2026);
    EXPECT_EQ(now.wMonth, 3);
    EXPECT_EQ(now.wDay, 1);
    EXPECT_EQ(now.wHour, 0);
    EXPECT_EQ(now.wSecond, 0);
    EXPECT_EQ(now.wMilliseconds, 100);
    EXPECT_EQ(now.wDayOfWeek, 0) << "a Sunday";
    t.wMonth = 2;
    t.wDay = 29; // 2026 is no leap year
    EXPECT_FALSE(sim::virtualClock().SetLocalTime(t));
    EXPECT_FALSE(SetLocalTime(&t));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

} // namespace
