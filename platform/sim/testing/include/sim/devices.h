// Devices attached to the simulated machine as tests see them: USB duplicators that answer the card
// tool's command channel, plugged and unplugged while programs run.
#pragma once

#include <platform/windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim
{

enum class DeviceOpen
{
    Ok,
    SharingViolation,
    AccessDenied,
};

enum class DeviceIoctl
{
    Immediate, // answers the id query at once
    Pending,   // never answers: the request pends until it is cancelled
    Fail,
};

enum class DeviceWrite
{
    Accept,
    Zero, // completes having moved nothing
    Pend, // pends until it is cancelled
    Fail,
};

// A USB-attached duplicator and how it behaves.
struct UsbDuplicator
{
    WString path; // the interface path; empty: made from the ids and serial (PathOf)
    WORD vendorId = 0x155E;
    WORD productId = 0x0004;
    WString serial = u"A1B2C3";
    std::string idReply = std::string("MFG:VELMO;MDL:Tessi 4;CMD:KGL;\0", 31); // the id query's raw bytes

    DeviceOpen open = DeviceOpen::Ok;
    DeviceIoctl ioctl = DeviceIoctl::Immediate;

    std::string cardData;                        // what the read command makes available, header included
    std::optional<std::uint32_t> reportedLength; // what the status reply says (default: the data's size)
    std::vector<BYTE> busy = {0}; // the busy byte of successive status replies; the last repeats

    DeviceWrite write = DeviceWrite::Accept;
    std::optional<BYTE> writeCode; // the write policy applies only to commands with this code

    DWORD maxPerRead = 0;                  // at most this many bytes per read (0: no limit)
    std::optional<std::size_t> stallAfter; // reads pend for ever once this many bytes were read
    DWORD bytesBeforeCancel = 0;           // a cancelled pending read still reports this many bytes
};

struct UsbActivity
{
    int opens = 0;
    int closes = 0;
    std::vector<std::string> frames; // every command the device received, 10 bytes each
    std::vector<DWORD> ioctls;
    std::vector<DWORD> reads; // bytes each completed read moved
    int cancels = 0;
    int protocolErrors = 0;   // frames with a wrong prefix, a non-zero last byte or an unknown code
    int releasedInFlight = 0; // requests whose event was closed while they were still running
    bool open = false;        // a handle to it is open now
};

class Devices
{
public:
    // The interface path Windows gives a USB printer: \\?\usb#vid_xxxx&pid_xxxx#serial#{class}.
    static WString PathOf(const UsbDuplicator& device);
    // Plugs the device in (replacing one of the same path) and tells the top-level windows.
    void Plug(const UsbDuplicator& device);
    // Unplugs it: requests still running fail with ERROR_DEVICE_NOT_CONNECTED. False: not plugged.
    bool Unplug(WStringView path);
    // What the device saw (of the latest device plugged under that path).
    UsbActivity Activity(WStringView path) const;
};

Devices& devices();

} // namespace sim

#include <sim/device_tree.h> // the device tree: nodes, attached hardware, re-enumeration
