// A print port monitor an installer added, its ports and the status-monitor programs beside it:
// checked to be idle before anything goes, then closed and removed.
#pragma once

#include "uninstall_state.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace uninstall
{

struct PortMonitorRecord
{
    char monitorName[128] = {};
    char dllName[64] = {};
    char environment[64] = {};
    char registryPath[MAX_PATH] = {};
    bool installed = false;
    bool inUse = false;
    // Port names by their PrintMode: 0 and 95 (missing), 1, 2.
    std::vector<std::string> ports[3];
};

// "<any>;<window class>;<message offset>[;<Run value>]"; nothing with fewer than three fields.
struct StatusMonitorEntry
{
    std::string windowClass;
    int messageOffset = 0;
    std::string runValue;
};
std::optional<StatusMonitorEntry> ParseStatusMonitorEntry(std::string_view value);

// Which port list a PrintMode goes to, nothing for one left alone.
std::optional<int> PortListOfPrintMode(DWORD printMode);
const char* MonitorEnvironment(WORD osIndex, bool is64);
// A printer's port list, split at commas.
std::vector<std::string> SplitPortList(std::string_view ports);

// Fills (or refills) the record of a section from its monitor section; true when the record is idle.
bool CheckPortMonitor(UninstallState& state, UninstallSection& section);
// Every enabled record: true when all are idle.
bool CheckPortMonitors(UninstallState& state);
// The monitor name of the first enabled record the check found in use ("" when none did): what the
// busy message names.
std::string BusyPortMonitorName(const UninstallState& state);
// Closes the status monitors, moves the printers off the ports, deletes ports and monitor, and the
// status monitors' Run values; false when a record could not be removed whole.
bool RemovePortMonitors(UninstallState& state);
// "MONITOR_%02d" entries of a section of the file-list INI: each window asked to close.
void CloseStatusMonitors(const UninstallState& state, const char* section);
void RemoveStatusMonitorRunValues(const UninstallState& state, const char* section);

} // namespace uninstall
