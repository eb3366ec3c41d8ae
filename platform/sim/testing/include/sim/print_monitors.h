// The port monitors the spooler has loaded, as tests see them: the local ones and each monitor listed
// under HKLM\SYSTEM\CurrentControlSet\Control\Print\Monitors (its ports are the subkeys of its
// "Ports" key, so a test installs a monitor by writing those keys). Programs reach them through
// EnumMonitorsA, DeletePortW/A and DeleteMonitorW/A.
#pragma once

#include <platform/windows.h>

#include <vector>

namespace sim
{

class PrintMonitors
{
public:
    // SetPrinter moving a printer to this port fails with ERROR_ACCESS_DENIED while refused.
    void RefuseMovesTo(WStringView port, bool refuse = true);
    std::vector<WString> Installed() const;
};

PrintMonitors& printMonitors();

} // namespace sim
