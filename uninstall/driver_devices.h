// The driver step's work on the machine: the devices of a hardware id, their install and removal,
// and the files a removed driver leaves (its OEM INFs with their PNFs, its SYS files).
#pragma once

#include "inf_reader.h"

#include <platform/windows.h>

#include <optional>
#include <string>
#include <vector>

namespace uninstall
{

// An INF's bytes, read whole up to the reader's bound; nothing (the error set) when a read fails.
std::optional<std::string> ReadInfBytes(const std::string& path);

struct DeviceMatch
{
    std::string driverVersion; // the driver key's DriverVersion
};
// A device (present or not) whose hardware-id list holds `hardwareId`.
std::optional<DeviceMatch> FindDeviceByHardwareId(const std::string& hardwareId);
// Every device with the hardware id removed; 0, 10 when one asks for a restart, 15 on failure.
DWORD RemoveDevicesByHardwareId(const std::string& hardwareId);
// The driver installed for the INF's class; 0, 10, 14 or 16.
DWORD InstallDriverDevices(const InfDriver& driver, const char* infPath);
// Devices removed, then the OEM INFs and the driver files; 0, 10, 15 or 16.
DWORD UninstallDriverDevices(const InfDriver& driver, WORD osIndex);

// The files a driver's services run from: ImagePath with a leading SystemRoot as the Windows folder,
// else <system>\drivers\<service>.sys.
std::string ServiceImagePath(const std::string& service, const std::string& windowsFolder,
                             const std::string& systemFolder);
// An OEM INF belongs to the driver when its class and first model line's hardware id are the same.
bool OemInfMatches(const InfText& inf, const InfDriver& driver);
// Present COM ports whose friendly name begins "tzspe driver".
bool TzspeComPortPresent();

} // namespace uninstall
