// Ports and the monitors that keep them, one list for the spooler's calls, the monitors' channel and
// the printers. The local and standard TCP/IP monitors' ports are kept here (a new machine's local
// ones first, "NUL:" not among them); a monitor installed under Control\Print\Monitors keeps its
// ports as the subkeys of its "Ports" key. Each port also keeps all a job sent it, for tests to read.
#include "winspool/spooler_internal.h"

#include "core/state.h"
#include "core/two_call.h"

#include <sim/machine.h>
#include <sim/port_monitors.h>

#include <map>
#include <span>

namespace sim
{
namespace
{
struct Ports : detail::PartBase
{
    std::map<WString, std::string> output; // by folded port name
    std::vector<detail::PortEntry> kept{
        {u"LPT1:", WString(kLocalPortMonitor), WString(kLocalPortMonitor), {}},
        {u"COM1:", WString(kLocalPortMonitor), WString(kLocalPortMonitor), {}},
        {u"FILE:", WString(kLocalPortMonitor), WString(kLocalPortMonitor), {}}};
};

Ports& ports()
{
    return detail::Part<Ports>();
}

detail::PortEntry* KeptPort(WStringView name)
{
    for (detail::PortEntry& p : ports().kept)
        if (detail::EqualNoCase(p.name, name))
            return &p;
    return nullptr;
}

WString MonitorKey(WStringView monitor)
{
    return WString(detail::kMonitorsKey) + u"\\" + WString(monitor);
}

// The ports of the monitors the registry lists, each with its monitor's own spelling.
std::vector<detail::PortEntry> RegistryPorts()
{
    std::vector<detail::PortEntry> found;
    for (const WString& monitor : detail::RegistrySubkeys(HKEY_LOCAL_MACHINE, detail::kMonitorsKey))
        for (const WString& port :
             detail::RegistrySubkeys(HKEY_LOCAL_MACHINE, MonitorKey(monitor) + u"\\Ports"))
            found.push_back({port, monitor, monitor, {}});
    return found;
}

PortRecord RecordOf(const detail::PortEntry& p)
{
    return PortRecord{p.name, p.monitor, p.tcpIp};
}
} // namespace

namespace detail
{
std::optional<PortEntry> FindPort(WStringView name)
{
    if (const PortEntry* p = KeptPort(name))
        return *p;
    for (PortEntry& p : RegistryPorts())
        if (EqualNoCase(p.name, name))
            return p;
    return std::nullopt;
}

bool HasPort(WStringView name)
{
    return FindPort(name).has_value();
}

std::vector<PortEntry> AllPorts()
{
    std::vector<PortEntry> all = ports().kept;
    for (PortEntry& p : RegistryPorts())
        if (!KeptPort(p.name))
            all.push_back(std::move(p));
    return all;
}

DWORD AddMonitorPort(const PortEntry& port)
{
    if (HasPort(port.name))
        return ERROR_ALREADY_EXISTS;
    ports().kept.push_back(port);
    return ERROR_SUCCESS;
}

DWORD RemovePort(WStringView name, std::optional<WStringView> monitor)
{
    std::optional<PortEntry> port = FindPort(name);
    if (!port || (monitor && !EqualNoCase(port->monitor, *monitor)))
        return ERROR_UNKNOWN_PORT;
    if (PortInUse(port->name))
        return ERROR_BUSY;
    if (KeptPort(port->name))
        std::erase_if(ports().kept, [&](const PortEntry& p) { return EqualNoCase(p.name, port->name); });
    else
        DeleteRegistryTree(HKEY_LOCAL_MACHINE, MonitorKey(port->monitor) + u"\\Ports\\" + port->name);
    return ERROR_SUCCESS;
}

std::vector<WString> SplitPortList(WStringView list)
{
    std::vector<WString> names;
    size_t at = 0;
    while (at <= list.size())
    {
        size_t comma = list.find(u',', at);
        WStringView part = list.substr(at, comma == WStringView::npos ? WStringView::npos : comma - at);
        while (!part.empty() && part.front() == u' ')
            part.remove_prefix(1);
        while (!part.empty() && part.back() == u' ')
            part.remove_suffix(1);
        if (!part.empty())
            names.emplace_back(part);
        if (comma == WStringView::npos)
            break;
        at = comma + 1;
    }
    return names;
}

std::vector<WString> InstalledMonitors()
{
    std::vector<WString> names{WString(kLocalPortMonitor), WString(kTcpIpPortMonitor)};
    for (const WString& name : RegistrySubkeys(HKEY_LOCAL_MACHINE, kMonitorsKey))
        if (std::none_of(names.begin(), names.end(), [&](const WString& n) { return EqualNoCase(n, name); }))
            names.push_back(name);
    return names;
}

void AddLanguageMonitor(WStringView name, WStringView file)
{
    if (name.empty())
        return;
    const WString value = WString(file.empty() ? name : file) + WString(1, u'\0');
    registry().SetValue(HKEY_LOCAL_MACHINE, MonitorKey(name), u"Driver", REG_SZ,
                        std::span(reinterpret_cast<const BYTE*>(value.data()), value.size() * sizeof(WCHAR)));
}

DWORD DeleteMonitor(WStringView environment, WStringView name)
{
    if (!environment.empty() && !EqualNoCase(environment, NativeEnvironment()))
        return ERROR_INVALID_ENVIRONMENT;
    std::optional<WString> found;
    for (const WString& m : RegistrySubkeys(HKEY_LOCAL_MACHINE, kMonitorsKey))
        if (EqualNoCase(m, name))
            found = m;
    if (!found)
        return ERROR_UNKNOWN_PRINT_MONITOR;
    for (const PortEntry& p : ports().kept)
        if (EqualNoCase(p.monitor, *found))
            return ERROR_PRINT_MONITOR_IN_USE;
    if (!RegistrySubkeys(HKEY_LOCAL_MACHINE, MonitorKey(*found) + u"\\Ports").empty())
        return ERROR_PRINT_MONITOR_IN_USE;
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, MonitorKey(*found));
    return ERROR_SUCCESS;
}

void SendToPort(WStringView portName, const void* data, DWORD size)
{
    ports().output[Fold(portName)].append(static_cast<const char*>(data), size);
}

std::string PortOutput(WStringView portName)
{
    auto it = ports().output.find(Fold(portName));
    return it == ports().output.end() ? std::string() : it->second;
}

BOOL DeleteOnLocalSpooler(bool hasServer, bool hasName, const std::function<DWORD()>& work)
{
    DWORD error = hasServer ? DWORD(ERROR_INVALID_NAME) : !hasName ? DWORD(ERROR_INVALID_PARAMETER) : 0;
    if (!error)
    {
        std::lock_guard g(StateLock());
        error = !SpoolerRunning()  ? DWORD(RPC_S_SERVER_UNAVAILABLE)
                : !Administrator() ? DWORD(ERROR_ACCESS_DENIED)
                                   : work();
    }
    if (error)
        SetLastError(error);
    return error ? FALSE : TRUE;
}

} // namespace detail

std::string Spooler::Output(WStringView printerName) const
{
    std::lock_guard g(detail::StateLock());
    const PrinterSetup* printer = detail::FindPrinter(printerName);
    return printer ? detail::PortOutput(printer->portName) : std::string();
}

// A test's port keeps what its monitor recorded unless the monitor changes.
void Spooler::AddPort(const PortSetup& port)
{
    std::lock_guard g(detail::StateLock());
    if (detail::PortEntry* p = KeptPort(port.name))
    {
        if (!detail::EqualNoCase(p->monitor, port.monitor))
            p->tcpIp.reset();
        p->name = port.name;
        p->monitor = port.monitor;
        p->description = port.description;
        return;
    }
    ports().kept.push_back({port.name, port.monitor, port.description, {}});
}

std::vector<PortSetup> Spooler::Ports() const
{
    std::lock_guard g(detail::StateLock());
    std::vector<PortSetup> list;
    for (const detail::PortEntry& p : detail::AllPorts())
        list.push_back(PortSetup{p.name, p.monitor, p.description});
    return list;
}

void PortMonitors::AddPort(const PortRecord& port)
{
    std::lock_guard g(detail::StateLock());
    if (detail::PortEntry* p = KeptPort(port.name))
    {
        if (!detail::EqualNoCase(p->monitor, port.monitor))
            p->description = port.monitor;
        p->name = port.name;
        p->monitor = port.monitor;
        p->tcpIp = port.tcpIp;
        return;
    }
    ports().kept.push_back({port.name, port.monitor, port.monitor, port.tcpIp});
}

std::vector<PortRecord> PortMonitors::Ports() const
{
    std::lock_guard g(detail::StateLock());
    std::vector<PortRecord> list;
    for (const detail::PortEntry& p : detail::AllPorts())
        list.push_back(RecordOf(p));
    return list;
}

std::optional<PortRecord> PortMonitors::Port(WStringView name) const
{
    std::lock_guard g(detail::StateLock());
    std::optional<detail::PortEntry> p = detail::FindPort(name);
    return p ? std::optional(RecordOf(*p)) : std::nullopt;
}

PortMonitors& portMonitors()
{
    static PortMonitors p;
    return p;
}
} // namespace sim

using namespace sim;
using namespace sim::detail;

BOOL WINAPI EnumPortsW(LPWSTR serverName, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
                       LPDWORD returned)
{
    SIM_SPOOLER_CALL("EnumPortsW", FALSE);
    if (!EnumerationArguments(serverName, level, {1, 2}, needed, returned))
        return FALSE;
    std::lock_guard g(StateLock());
    const std::vector<PortEntry> list = AllPorts();
    const size_t fixed = level == 1 ? sizeof(PORT_INFO_1W) : sizeof(PORT_INFO_2W);
    return PackEnumeration(buffer, size, needed, returned, list.size(), fixed, [&](Packer& pack) {
        for (size_t i = 0; i < list.size(); ++i)
        {
            if (level == 1)
            {
                pack.Fixed<PORT_INFO_1W>(i)->pName = pack.String(list[i].name);
                continue;
            }
            auto* info = pack.Fixed<PORT_INFO_2W>(i);
            info->pPortName = pack.String(list[i].name);
            info->pMonitorName = pack.String(list[i].monitor);
            info->pDescription = pack.String(list[i].description);
            info->fPortType = PORT_TYPE_WRITE | PORT_TYPE_READ;
        }
    });
}

// Whichever monitor keeps the port deletes it; never one a printer prints to.
BOOL WINAPI DeletePortW(LPWSTR serverName, HWND, LPWSTR portName)
{
    SIM_SPOOLER_CALL("DeletePortW", FALSE);
    return DeleteOnLocalSpooler(serverName && *serverName, portName && *portName,
                                [&] { return RemovePort(portName, std::nullopt); });
}

BOOL WINAPI DeleteMonitorW(LPWSTR serverName, LPWSTR environment, LPWSTR monitorName)
{
    SIM_SPOOLER_CALL("DeleteMonitorW", FALSE);
    return DeleteOnLocalSpooler(serverName && *serverName, monitorName && *monitorName, [&] {
        return DeleteMonitor(environment ? WStringView(environment) : WStringView(), monitorName);
    });
}
