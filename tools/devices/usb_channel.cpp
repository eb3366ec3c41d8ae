#include "usb_channel.h"

#include "overlapped_request.h"

#include <kgl_format.h>
#include <platform/setupapi.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>

namespace tessicard
{
namespace
{
constexpr GUID kUsbPrintInterface = {
    0x28D78FAD, 0x5A12, 0x11D1, {0xAE, 0x5B, 0x00, 0x00, 0xF8, 0x03, 0xA8, 0xC2}};

bool IsLowerHex(WCHAR c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

// The four hexadecimal digits behind the first `key` that has four of them.
WORD HexAfter(WStringView path, WStringView key)
{
    for (std::size_t at = path.find(key); at != WStringView::npos; at = path.find(key, at + 1))
    {
        WStringView digits = path.substr(at + key.size(), 4);
        if (digits.size() == 4 && std::all_of(digits.begin(), digits.end(), IsLowerHex))
        {
            WORD value = 0;
            for (WCHAR c : digits)
                value = static_cast<WORD>(value * 16 + (c <= '9' ? c - '0' : c - 'a' + 10));
            return value;
        }
    }
    return 0;
}

WString Pattern(const char* format, DWORD id)
{
    char text[32] = {};
    std::snprintf(text, sizeof text, format, static_cast<unsigned long>(id));
    return WString(text, text + std::char_traits<char>::length(text));
}
} // namespace

std::array<BYTE, kCommandSize> BuildCommand(KglDeviceCommand code)
{
    static_assert(kgl::kRecordHeaderSize == kCommandSize);
    std::array<BYTE, kCommandSize> bytes{};
    std::copy(kgl::kEscapePrefix.begin(), kgl::kEscapePrefix.end(), bytes.begin());
    const auto value = static_cast<WORD>(code);
    bytes[kgl::kRecordTypeOffset] = static_cast<BYTE>(value & 0xFF);
    bytes[kgl::kRecordTypeOffset + 1] = static_cast<BYTE>(value >> 8);
    return bytes;
}

std::optional<CardDataStatusReply> CardDataStatusReply::Parse(std::span<const BYTE> bytes)
{
    if (bytes.size() < kSize)
        return std::nullopt;
    CardDataStatusReply reply;
    reply.busy = bytes[0];
    reply.length = (std::uint32_t{bytes[1]} << 24) | (std::uint32_t{bytes[2]} << 16) |
                   (std::uint32_t{bytes[3]} << 8) | std::uint32_t{bytes[4]};
    return reply;
}

DeviceIdentity IdentityFromPath(WStringView path)
{
    DeviceIdentity identity;
    identity.vendorId = HexAfter(path, TEXT("vid_"));
    identity.productId = HexAfter(path, TEXT("pid_"));
    // The first text between two '#' that holds no '&'.
    for (std::size_t open = path.find('#'); open != WStringView::npos; open = path.find('#', open + 1))
    {
        std::size_t close = path.find('#', open + 1);
        if (close == WStringView::npos)
            break;
        WStringView inside = path.substr(open + 1, close - open - 1);
        if (inside.find('&') == WStringView::npos)
        {
            identity.serialNumber = WString(inside);
            break;
        }
    }
    return identity;
}

WString DeviceIdValue(WStringView idText, WStringView key)
{
    for (std::size_t at = idText.find(key); at != WStringView::npos; at = idText.find(key, at + 1))
    {
        std::size_t start = at + key.size();
        std::size_t end = idText.find_first_of(TEXT(";\r\n"), start);
        if (end != WStringView::npos && idText[end] == ';')
            return WString(idText.substr(start, end - start));
    }
    return {};
}

WString DeviceIdText(std::span<const BYTE> reply)
{
    reply = reply.first(std::min<std::size_t>(reply.size(), kDeviceIdBufferSize - 1));
    auto end = std::find(reply.begin(), reply.end(), BYTE{0});
    const int bytes = static_cast<int>(end - reply.begin());
    if (bytes == 0)
        return {};
    const auto* text = reinterpret_cast<LPCSTR>(reply.data());
    int chars = MultiByteToWideChar(CP_ACP, 0, text, bytes, nullptr, 0);
    if (chars <= 0)
        return {};
    WString wide(static_cast<std::size_t>(chars), WCHAR{0});
    chars = MultiByteToWideChar(CP_ACP, 0, text, bytes, wide.data(), chars);
    wide.resize(chars > 0 ? static_cast<std::size_t>(chars) : 0);
    return wide;
}

CVelmoPrnIoCtrl::CVelmoPrnIoCtrl()
    : m_vendorIds(kVendorIds.begin(), kVendorIds.end()), m_productIds(kProductIds.begin(), kProductIds.end())
{
    InitializeCriticalSection(&deviceLock);
}

CVelmoPrnIoCtrl::~CVelmoPrnIoCtrl()
{
    if (HANDLE device = Device(); device != INVALID_HANDLE_VALUE)
        CancelIo(device);
    CloseDevice();
    DeleteCriticalSection(&deviceLock);
}

std::size_t CVelmoPrnIoCtrl::EnumPrinterInterfaces(std::vector<WString>& paths)
{
    paths.clear();
    HDEVINFO set =
        SetupDiGetClassDevsW(&kUsbPrintInterface, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return 0;
    for (DWORD index = 0;; ++index)
    {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        if (!SetupDiEnumDeviceInterfaces(set, nullptr, &kUsbPrintInterface, index, &data))
            break;
        DWORD size = 0;
        if (!SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &size, nullptr) &&
            GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            break;
        if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W))
            break;
        std::vector<std::max_align_t> storage(size / sizeof(std::max_align_t) + 1);
        auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(storage.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (!SetupDiGetDeviceInterfaceDetailW(set, &data, detail, size, nullptr, nullptr))
            break;
        const WCHAR* path = detail->DevicePath;
        const std::size_t room =
            (size - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath)) / sizeof(WCHAR);
        paths.emplace_back(path, std::find(path, path + room, WCHAR{0}));
    }
    SetupDiDestroyDeviceInfoList(set);
    return paths.size();
}

std::size_t CVelmoPrnIoCtrl::FilterByVendor(std::vector<WString>& paths) const
{
    std::vector<WString> patterns;
    for (DWORD id : m_vendorIds)
        patterns.push_back(Pattern("usb#vid_%04lx", id));
    return FilterPaths(paths, patterns);
}

std::size_t CVelmoPrnIoCtrl::FilterByProduct(std::vector<WString>& paths) const
{
    std::vector<WString> patterns;
    for (DWORD id : m_productIds)
        patterns.push_back(Pattern("&pid_%04lx", id));
    return FilterPaths(paths, patterns);
}

std::size_t CVelmoPrnIoCtrl::FilterPaths(std::vector<WString>& paths, const std::vector<WString>& patterns)
{
    std::vector<WString> kept;
    for (const WString& pattern : patterns)
        for (const WString& path : paths)
            if (path.find(pattern) != WString::npos)
                kept.push_back(path);
    paths = std::move(kept);
    return paths.size();
}

std::optional<std::vector<BYTE>> CVelmoPrnIoCtrl::QueryDeviceId()
{
    HANDLE device = Device();
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (device == INVALID_HANDLE_VALUE || !event)
    {
        if (event)
            CloseHandle(event);
        return std::nullopt;
    }
    std::vector<BYTE> reply(kDeviceIdBufferSize, 0);
    OVERLAPPED overlapped{};
    overlapped.hEvent = event;
    BOOL started = DeviceIoControl(device, kIoctlQueryDeviceId, nullptr, 0, reply.data(),
                                   static_cast<DWORD>(reply.size()), nullptr, &overlapped);
    devices::RequestResult result = devices::AwaitRequest(device, started, overlapped, kRequestTimeoutMs);
    CloseHandle(event);
    if (!result.ok)
        return std::nullopt;
    reply.resize(std::min<std::size_t>(result.bytes, reply.size()));
    return reply;
}

std::size_t CVelmoPrnIoCtrl::QueryDevices(const std::vector<WString>& paths)
{
    for (const WString& path : paths)
    {
        KRGPN_DEV_INFO info;
        DeviceIdentity identity = IdentityFromPath(path);
        info.vendorId = identity.vendorId;
        info.productId = identity.productId;
        info.serialNumber = identity.serialNumber;
        if (OpenDevice(path))
        {
            std::optional<std::vector<BYTE>> reply = QueryDeviceId();
            CloseDevice();
            if (reply)
            {
                WString text = DeviceIdText(*reply);
                info.manufacturer = DeviceIdValue(text, TEXT("MFG:"));
                info.model = DeviceIdValue(text, TEXT("MDL:"));
                info.commandSet = DeviceIdValue(text, TEXT("CMD:"));
            }
        }
        std::lock_guard g(m_mapLock);
        m_devices[path] = std::move(info);
    }
    std::lock_guard g(m_mapLock);
    return m_devices.size();
}

CVelmoPrnIoCtrl::DeviceMap CVelmoPrnIoCtrl::GetDevices() const
{
    std::lock_guard g(m_mapLock);
    return m_devices;
}

void CVelmoPrnIoCtrl::ClearDevices()
{
    std::lock_guard g(m_mapLock);
    m_devices.clear();
}

bool CVelmoPrnIoCtrl::Transfer(bool write, BYTE* buffer, DWORD length, DWORD& moved)
{
    moved = 0;
    HANDLE device = Device();
    if (device == INVALID_HANDLE_VALUE)
        return false;
    int failures = 0;
    while (moved < length && failures < kMaxFailedAttempts)
    {
        const DWORD chunk = std::min(length - moved, kChunkSize);
        DWORD done = 0;
        if (HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr))
        {
            OVERLAPPED overlapped{};
            overlapped.hEvent = event;
            BOOL started = write ? WriteFile(device, buffer + moved, chunk, nullptr, &overlapped)
                                 : ReadFile(device, buffer + moved, chunk, nullptr, &overlapped);
            done =
                std::min(devices::AwaitRequest(device, started, overlapped, kRequestTimeoutMs).bytes, chunk);
            CloseHandle(event);
        }
        moved += done;
        if (done == 0)
            ++failures;
    }
    return moved == length;
}

DWORD CVelmoPrnIoCtrl::SendCommand(KglDeviceCommand code)
{
    auto command = BuildCommand(code);
    DWORD written = 0;
    Transfer(true, command.data(), static_cast<DWORD>(command.size()), written);
    return written;
}

bool CVelmoPrnIoCtrl::OpenDevice(WStringView path)
{
    EnterCriticalSection(&deviceLock);
    if (m_device == INVALID_HANDLE_VALUE)
    {
        WString name(path);
        m_device = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_FLAG_OVERLAPPED, nullptr);
    }
    const bool open = m_device != INVALID_HANDLE_VALUE;
    LeaveCriticalSection(&deviceLock);
    return open;
}

bool CVelmoPrnIoCtrl::CloseDevice()
{
    EnterCriticalSection(&deviceLock);
    if (m_device != INVALID_HANDLE_VALUE && CloseHandle(m_device))
        m_device = INVALID_HANDLE_VALUE;
    const bool closed = m_device == INVALID_HANDLE_VALUE;
    LeaveCriticalSection(&deviceLock);
    return closed;
}

bool CVelmoPrnIoCtrl::IsDeviceOpen()
{
    return Device() != INVALID_HANDLE_VALUE;
}

HANDLE CVelmoPrnIoCtrl::Device()
{
    EnterCriticalSection(&deviceLock);
    HANDLE device = m_device;
    LeaveCriticalSection(&deviceLock);
    return device;
}

} // namespace tessicard
