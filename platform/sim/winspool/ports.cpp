// Ports: where a job's bytes go, each keeping all it was sent for tests to read back; and the ports
// the spooler lists, a new machine's local ones first ("NUL:" is not among them).
#include "winspool/spooler_internal.h"

#include "core/state.h"
#include "core/two_call.h"

#include <map>

namespace sim
{
namespace
{
struct Ports : detail::PartBase
{
    std::map<WString, std::string> output; // by folded port name
    std::vector<PortSetup> listed{{u"LPT1:"}, {u"COM1:"}, {u"FILE:"}};
};

Ports& ports()
{
    return detail::Part<Ports>();
}
} // namespace

void detail::SendToPort(WStringView portName, const void* data, DWORD size)
{
    ports().output[Fold(portName)].append(static_cast<const char*>(data), size);
}

std::string detail::PortOutput(WStringView portName)
{
    auto it = ports().output.find(Fold(portName));
    return it == ports().output.end() ? std::string() : it->second;
}

bool detail::HasPort(WStringView name)
{
    for (const PortSetup& p : ports().listed)
        if (EqualNoCase(p.name, name))
            return true;
    return false;
}

void detail::UnlistPort(WStringView name)
{
    std::erase_if(ports().listed, [&](const PortSetup& p) { return EqualNoCase(p.name, name); });
}

std::string Spooler::Output(WStringView printerName) const
{
    std::lock_guard g(detail::StateLock());
    const PrinterSetup* printer = detail::FindPrinter(printerName);
    return printer ? detail::PortOutput(printer->portName) : std::string();
}

void Spooler::AddPort(const PortSetup& port)
{
    std::lock_guard g(detail::StateLock());
    for (PortSetup& p : ports().listed)
        if (detail::EqualNoCase(p.name, port.name))
        {
            p = port;
            return;
        }
    ports().listed.push_back(port);
}

std::vector<PortSetup> Spooler::Ports() const
{
    std::lock_guard g(detail::StateLock());
    return ports().listed;
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
    const auto& list = ports().listed;
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
