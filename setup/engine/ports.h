// Printer ports through the port monitors' configuration channel, the system DLLs the engine finds
// its late-bound entry points in, and the one normalisation of model names every page uses.
#pragma once

#include <platform/windows.h>

#include <optional>
#include <vector>

namespace kgsetup
{

// A module the program has loaded from the system folder (winspool.drv, advapi32.dll, ...); null when
// the system folder cannot be read or the module is not loaded.
HMODULE GetSystemModule(const WString& name);

// The monitors' records, byte for byte; none when a text does not fit its field (never cut).
std::optional<std::vector<BYTE>> BuildPortData1(WStringView prefix, WStringView address);
std::optional<std::vector<BYTE>> BuildDeletePortData1(WStringView portName);

// Each gives the monitor's status (0: done); 1 when the monitor cannot be opened (the TCP/IP delete:
// its last error), the last error when the channel is missing or the call fails, 87 for a name that
// does not fit.
DWORD AddLocalPort(WStringView name);
DWORD AddStandardTcpIpPort(WStringView prefix, WStringView address);
DWORD DeleteTcpIpPort(WStringView portName);

// The model name as the maker's INF files and the pages spell it.
WString NormalizeModelName(WString name);

} // namespace kgsetup
