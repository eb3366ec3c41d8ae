// The machine's device list: each device node with its instance id, hardware ids and the interfaces
// it offers. Read and changed with StateLock() held.
#pragma once

#include "core/internal.h"

#include <memory>
#include <vector>

namespace sim::detail
{

struct DeviceInterfaceRecord
{
    GUID classGuid{};
    WString path;
};

struct DeviceNode
{
    WString instanceId;               // USB\VID_155E&PID_0004\A1B2C3
    std::vector<WString> hardwareIds; // most specific first
    std::vector<DeviceInterfaceRecord> interfaces;
    bool present = true;
};

// Nodes in the order they were attached.
std::vector<std::shared_ptr<DeviceNode>>& DeviceNodes();

bool SameGuid(const GUID& a, const GUID& b);

// The USB printer interface class.
inline constexpr GUID kUsbPrintInterface = {
    0x28D78FAD, 0x5A12, 0x11D1, {0xAE, 0x5B, 0x00, 0x00, 0xF8, 0x03, 0xA8, 0xC2}};

} // namespace sim::detail
