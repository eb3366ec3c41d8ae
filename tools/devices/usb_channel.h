// The command channel to duplicators attached by USB: finding them through the USB printer interface,
// identifying each (ids, serial number, IEEE 1284 id) and moving commands and replies over one open
// device at a time.
#pragma once

#include <platform/windows.h>

#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

namespace tessicard
{

inline constexpr std::array<DWORD, 1> kVendorIds = {0x155E};
inline constexpr std::array<DWORD, 2> kProductIds = {0x0002, 0x0004};

// The id query of the printer class driver that answers with the bare id text (no length prefix).
inline constexpr DWORD kIoctlQueryDeviceId = 0x16000C;
inline constexpr DWORD kDeviceIdBufferSize = 2048;
inline constexpr DWORD kRequestTimeoutMs = 1000;
inline constexpr int kMaxFailedAttempts = 30;
inline constexpr DWORD kChunkSize = 4096;

// Command codes of the 10-byte command: the record header with the code as its type.
enum class KglDeviceCommand : WORD
{
    CardDataRequest = 0xF0,
    CardDataStatus = 0xF1,
    CardDataRead = 0xF2,
};

inline constexpr std::size_t kCommandSize = 10;
std::array<BYTE, kCommandSize> BuildCommand(KglDeviceCommand code);

// The 6-byte reply to the status command: busy byte, then the card data's length, big-endian.
struct CardDataStatusReply
{
    static constexpr std::size_t kSize = 6;
    BYTE busy = 1;
    std::uint32_t length = 0;
    // Nothing when fewer than kSize bytes came.
    static std::optional<CardDataStatusReply> Parse(std::span<const BYTE> bytes);
};

// What the id text and the path tell about one device.
struct DeviceIdentity
{
    WORD vendorId = 0;
    WORD productId = 0;
    WString serialNumber;
};
DeviceIdentity IdentityFromPath(WStringView path);
// The value of `key` ("MFG:") in the id text: the first "KEY:...;" on one line, without key and ';'.
WString DeviceIdValue(WStringView idText, WStringView key);
// The id reply's text: its bytes up to the first zero (at most the bytes returned, at most 2047), in
// the ANSI code page.
WString DeviceIdText(std::span<const BYTE> reply);

class CVelmoPrnIoCtrl
{
public:
    class KRGPN_DEV_INFO
    {
    public:
        virtual ~KRGPN_DEV_INFO() = default;
        WORD productId = 0;
        WORD vendorId = 0;
        WString manufacturer;
        WString model;
        WString serialNumber;
        WString commandSet;
    };
    using DeviceMap = std::map<WString, KRGPN_DEV_INFO>;

    CVelmoPrnIoCtrl();
    virtual ~CVelmoPrnIoCtrl();
    CVelmoPrnIoCtrl(const CVelmoPrnIoCtrl&) = delete;
    CVelmoPrnIoCtrl& operator=(const CVelmoPrnIoCtrl&) = delete;

    std::size_t EnumPrinterInterfaces(std::vector<WString>& paths);
    std::size_t FilterByVendor(std::vector<WString>& paths) const;
    std::size_t FilterByProduct(std::vector<WString>& paths) const;
    static std::size_t FilterPaths(std::vector<WString>& paths, const std::vector<WString>& patterns);
    std::size_t QueryDevices(const std::vector<WString>& paths);
    DeviceMap GetDevices() const;
    void ClearDevices();

    bool Transfer(bool write, BYTE* buffer, DWORD length, DWORD& moved);
    DWORD SendCommand(KglDeviceCommand code);

    // Opening and closing, each under deviceLock: whether a device is open (closed) afterwards.
    bool OpenDevice(WStringView path);
    bool CloseDevice();
    bool IsDeviceOpen();

    CRITICAL_SECTION deviceLock;

private:
    std::optional<std::vector<BYTE>> QueryDeviceId();
    HANDLE Device();

    mutable std::mutex m_mapLock; // the map is rebuilt by a task while the dialog reads it
    DeviceMap m_devices;
    std::vector<DWORD> m_vendorIds;
    std::vector<DWORD> m_productIds;
    HANDLE m_device = INVALID_HANDLE_VALUE;
};

} // namespace tessicard
