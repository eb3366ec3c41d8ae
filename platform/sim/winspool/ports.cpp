// Ports: where a job's bytes go. Each port keeps all it was sent, for tests to read back.
#include "winspool/spooler_internal.h"

#include "core/state.h"

#include <map>

namespace sim
{
namespace
{
struct Ports : detail::PartBase
{
    std::map<WString, std::string> output; // by folded port name
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

std::string Spooler::Output(WStringView printerName) const
{
    std::lock_guard g(detail::StateLock());
    const PrinterSetup* printer = detail::FindPrinter(printerName);
    return printer ? detail::PortOutput(printer->portName) : std::string();
}
} // namespace sim
