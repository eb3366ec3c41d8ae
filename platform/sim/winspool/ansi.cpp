// The spooler's 8-bit forms over the same printers, jobs, ports and monitors.
#include "winspool/spooler_internal.h"

#include "core/state.h"

#include <platform/winspool.h>
#include <sim/machine.h>
#include <sim/port_monitors.h>
#include <sim/print_monitors.h>

#include <cstring>
#include <set>

namespace sim
{
namespace
{
struct RefusedPorts : detail::PartBase
{
    std::set<WString> folded; // moves of a printer to these ports fail
};

RefusedPorts& refused()
{
    return detail::Part<RefusedPorts>();
}

BOOL Fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

WString Wide(LPCSTR text)
{
    return text ? detail::Widen(text) : WString();
}

// A narrow copy of `text` in the packed answer.
LPSTR PackString(detail::Packer& pack, WStringView text)
{
    std::string narrow = detail::Narrow(text);
    return reinterpret_cast<LPSTR>(pack.Bytes(narrow.c_str(), narrow.size() + 1));
}
} // namespace

void PrintMonitors::RefuseMovesTo(WStringView port, bool refuse)
{
    std::lock_guard g(detail::StateLock());
    if (refuse)
        refused().folded.insert(detail::Fold(port));
    else
        refused().folded.erase(detail::Fold(port));
}

std::vector<WString> PrintMonitors::Installed() const
{
    std::lock_guard g(detail::StateLock());
    return detail::InstalledMonitors();
}

PrintMonitors& printMonitors()
{
    static PrintMonitors m;
    return m;
}
} // namespace sim

using namespace sim;
using namespace sim::detail;

BOOL WINAPI OpenPrinterA(LPSTR printerName, LPHANDLE printer, LPPRINTER_DEFAULTSA defaults)
{
    SIM_SPOOLER_CALL("OpenPrinterA", FALSE);
    WString name = Wide(printerName);
    WString datatype;
    PRINTER_DEFAULTSW wide{};
    if (defaults)
    {
        datatype = Wide(defaults->pDatatype);
        wide.pDatatype = defaults->pDatatype ? datatype.data() : nullptr;
        wide.DesiredAccess = defaults->DesiredAccess;
    }
    return OpenPrinterW(printerName ? name.data() : nullptr, printer, defaults ? &wide : nullptr);
}

BOOL WINAPI EnumPrintersA(DWORD flags, LPSTR name, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
                          LPDWORD returned)
{
    SIM_SPOOLER_CALL("EnumPrintersA", FALSE);
    if (!EnumerationArguments(nullptr, level, {2, 5}, needed, returned))
        return FALSE;
    std::lock_guard g(StateLock());
    if (!SpoolerRunning())
        return Fail(RPC_S_SERVER_UNAVAILABLE);
    std::vector<PrinterSetup> list;
    if ((flags & PRINTER_ENUM_LOCAL) && (!name || !*name))
        list = spooler().Printers();
    const size_t fixed = level == 2 ? sizeof(PRINTER_INFO_2A) : sizeof(PRINTER_INFO_5A);
    return PackEnumeration(buffer, size, needed, returned, list.size(), fixed, [&](Packer& pack) {
        for (size_t i = 0; i < list.size(); ++i)
        {
            const PrinterSetup& s = list[i];
            if (level == 5)
            {
                auto* info = pack.Fixed<PRINTER_INFO_5A>(i);
                info->pPrinterName = PackString(pack, s.name);
                info->pPortName = PackString(pack, s.portName);
                info->Attributes = s.attributes;
                continue;
            }
            auto* info = pack.Fixed<PRINTER_INFO_2A>(i);
            info->pPrinterName = PackString(pack, s.name);
            info->pPortName = PackString(pack, s.portName);
            info->pDriverName = PackString(pack, s.driverName);
            info->pPrintProcessor = PackString(pack, s.printProcessor);
            info->pDatatype = PackString(pack, u"RAW");
            info->Attributes = s.attributes;
            info->Status = s.status;
            info->cJobs = static_cast<DWORD>(JobsOf(s.name).size());
        }
    });
}

BOOL WINAPI EnumJobsA(HANDLE printer, DWORD firstJob, DWORD count, DWORD level, LPBYTE buffer, DWORD size,
                      LPDWORD needed, LPDWORD returned)
{
    SIM_SPOOLER_CALL("EnumJobsA", FALSE);
    if (!EnumerationArguments(nullptr, level, {1}, needed, returned))
        return FALSE;
    std::lock_guard g(StateLock());
    auto handle = CheckedPrinterHandle(printer);
    if (!handle)
        return FALSE;
    std::vector<JobSetup> all = JobsOf(handle->printerName), list;
    for (size_t i = firstJob; i < all.size() && list.size() < count; ++i)
        list.push_back(all[i]);
    return PackEnumeration(buffer, size, needed, returned, list.size(), sizeof(JOB_INFO_1A),
                           [&](Packer& pack) {
                               for (size_t i = 0; i < list.size(); ++i)
                               {
                                   auto* info = pack.Fixed<JOB_INFO_1A>(i);
                                   info->JobId = list[i].id;
                                   info->pPrinterName = PackString(pack, handle->printerName);
                                   info->pUserName = PackString(pack, list[i].user);
                                   info->pDocument = PackString(pack, list[i].document);
                                   info->pDatatype = PackString(pack, u"RAW");
                                   info->Status = list[i].status;
                                   info->Position = static_cast<DWORD>(firstJob + i + 1);
                                   info->TotalPages = list[i].totalPages;
                               }
                           });
}

// Levels 2 and 5 move the printer to the port list given; the rest of a level 2 record stays as it was.
BOOL WINAPI SetPrinterA(HANDLE printer, DWORD level, LPBYTE printerInfo, DWORD command)
{
    SIM_SPOOLER_CALL("SetPrinterA", FALSE);
    if (level != 2 && level != 5)
        return Fail(ERROR_INVALID_LEVEL);
    if (!printerInfo || command != 0)
        return Fail(ERROR_INVALID_PARAMETER);
    std::lock_guard g(StateLock());
    auto handle = AdministeredPrinterHandle(printer);
    if (!handle)
        return FALSE;
    LPSTR port = level == 2 ? reinterpret_cast<PRINTER_INFO_2A*>(printerInfo)->pPortName
                            : reinterpret_cast<PRINTER_INFO_5A*>(printerInfo)->pPortName;
    if (!port || !*port)
        return Fail(ERROR_INVALID_PARAMETER);
    WString ports = Wide(port);
    for (const WString& p : SplitPortList(ports))
    {
        if (!HasPort(p))
            return Fail(ERROR_UNKNOWN_PORT);
        if (refused().folded.count(Fold(p)))
            return Fail(ERROR_ACCESS_DENIED);
    }
    PrinterSetup* setup = FindPrinterToChange(handle->printerName);
    if (!setup)
        return Fail(ERROR_INVALID_HANDLE);
    setup->portName = ports;
    return TRUE;
}

BOOL WINAPI EnumMonitorsA(LPSTR serverName, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
                          LPDWORD returned)
{
    SIM_SPOOLER_CALL("EnumMonitorsA", FALSE);
    WString server = Wide(serverName);
    if (!EnumerationArguments(serverName ? server.c_str() : nullptr, level, {1}, needed, returned))
        return FALSE;
    std::lock_guard g(StateLock());
    if (!SpoolerRunning())
        return Fail(RPC_S_SERVER_UNAVAILABLE);
    std::vector<WString> list = InstalledMonitors();
    return PackEnumeration(buffer, size, needed, returned, list.size(), sizeof(MONITOR_INFO_1A),
                           [&](Packer& pack) {
                               for (size_t i = 0; i < list.size(); ++i)
                                   pack.Fixed<MONITOR_INFO_1A>(i)->pName = PackString(pack, list[i]);
                           });
}

BOOL WINAPI DeletePortA(LPSTR serverName, HWND, LPSTR portName)
{
    SIM_SPOOLER_CALL("DeletePortA", FALSE);
    return DeleteOnLocalSpooler(serverName && *serverName, portName && *portName,
                                [&] { return RemovePort(Wide(portName), std::nullopt); });
}

BOOL WINAPI DeleteMonitorA(LPSTR serverName, LPSTR environment, LPSTR monitorName)
{
    SIM_SPOOLER_CALL("DeleteMonitorA", FALSE);
    return DeleteOnLocalSpooler(serverName && *serverName, monitorName && *monitorName,
                                [&] { return DeleteMonitor(Wide(environment), Wide(monitorName)); });
}

BOOL WINAPI DeletePrinterDriverA(LPSTR serverName, LPSTR environment, LPSTR driverName)
{
    SIM_SPOOLER_CALL("DeletePrinterDriverA", FALSE);
    DWORD error =
        DeletePrinterDriverNamed(serverName && *serverName, Wide(environment), Wide(driverName), 0, 0);
    return error ? Fail(error) : TRUE;
}

BOOL WINAPI DeletePrinterDriverExA(LPSTR serverName, LPSTR environment, LPSTR driverName, DWORD deleteFlags,
                                   DWORD version)
{
    SIM_SPOOLER_CALL("DeletePrinterDriverExA", FALSE);
    DWORD error = DeletePrinterDriverNamed(serverName && *serverName, Wide(environment), Wide(driverName),
                                           deleteFlags, version);
    return error ? Fail(error) : TRUE;
}
