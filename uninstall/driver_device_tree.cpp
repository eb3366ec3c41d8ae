// The driver step's calls into the machine's device sets. The device tree they need is not on this
// machine model yet, so none of them claims a result it did not get: no device is reported, and an
// install or removal says there is no process for it (16), which fails the component step loudly.
#include "components.h"
#include "driver_devices.h"
#include "log.h"

namespace uninstall
{

std::optional<DeviceMatch> FindDeviceByHardwareId(const std::string&)
{
    return std::nullopt;
}

DWORD RemoveDevicesByHardwareId(const std::string&)
{
    LogPrint("  Device sets are not available.");
    return kResultNoProcess;
}

DWORD InstallDriverDevices(const InfDriver&, const char*)
{
    LogPrint("  Device sets are not available.");
    return kResultNoProcess;
}

bool TzspeComPortPresent()
{
    return false;
}

} // namespace uninstall
