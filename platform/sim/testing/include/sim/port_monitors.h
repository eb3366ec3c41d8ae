// The spooler's port monitors as tests see them: the ports each keeps (the list EnumPortsW gives, a
// registry monitor's too), and what the standard TCP/IP monitor recorded for its own. Programs reach
// them through XcvDataW on a ",XcvMonitor <name>" handle and DeletePortW/A. A fresh machine has the
// local ports "LPT1:", "COM1:" and "FILE:".
#pragma once

#include <platform/windows.h>

#include <optional>
#include <string>
#include <vector>

namespace sim
{

inline constexpr WStringView kLocalPortMonitor = u"Local Port";
inline constexpr WStringView kTcpIpPortMonitor = u"Standard TCP/IP Port";
inline constexpr WStringView kUsbPortMonitor = u"Dynamic Print Monitor";

struct TcpIpPortRecord
{
    WString hostAddress;
    DWORD protocol = 0; // 1 raw, 2 LPR
    DWORD portNumber = 0;
    WString queue;
    WString snmpCommunity;
    bool snmpEnabled = false;
    DWORD snmpDeviceIndex = 0;
    bool doubleSpool = false;
};

struct PortRecord
{
    WString name;
    WString monitor;
    std::optional<TcpIpPortRecord> tcpIp; // the standard TCP/IP monitor's ports
};

class PortMonitors
{
public:
    void AddPort(const PortRecord& port); // installs or replaces
    std::vector<PortRecord> Ports() const;
    std::optional<PortRecord> Port(WStringView name) const;
};

PortMonitors& portMonitors();

} // namespace sim
