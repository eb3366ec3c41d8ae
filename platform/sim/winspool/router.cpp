// The router: printer handles, opened by printer name with the access asked for (use by default)
// and checked on every call that takes one; and the journal of the spooler's calls.
#include "winspool/spooler_internal.h"

#include "core/state.h"

#include <vector>

namespace sim
{
namespace
{
struct Journal : detail::PartBase
{
    std::vector<std::string_view> calls; // the fault points' own names, which live forever
};

Journal& journal()
{
    return detail::Part<Journal>();
}
} // namespace

namespace detail
{
void RecordCall(std::string_view api)
{
    std::lock_guard g(StateLock());
    journal().calls.push_back(api);
}

std::shared_ptr<PrinterHandle> CheckedPrinterHandle(HANDLE printer)
{
    if (!SpoolerRunning())
    {
        SetLastError(RPC_S_SERVER_UNAVAILABLE);
        return nullptr;
    }
    auto handle = FindHandleOf<PrinterHandle>(printer);
    if (!handle || handle->spoolerRun != SpoolerRun() || !FindPrinter(handle->printerName))
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return handle;
}

std::shared_ptr<PrinterHandle> AdministeredPrinterHandle(HANDLE printer)
{
    auto handle = CheckedPrinterHandle(printer);
    if (handle && !(handle->access & PRINTER_ACCESS_ADMINISTER))
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return handle;
}

BOOL EnumerationArguments(LPCWSTR serverName, DWORD level, std::initializer_list<DWORD> levels, DWORD* needed,
                          DWORD* returned)
{
    if (!needed || !returned)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *returned = 0;
    if (serverName && *serverName)
    {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    for (DWORD served : levels)
        if (level == served)
            return TRUE;
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
}
} // namespace detail

HANDLE Spooler::OpenPrinter(WStringView printerName)
{
    WString name(printerName);
    HANDLE printer = nullptr;
    return OpenPrinterW(name.data(), &printer, nullptr) ? printer : nullptr;
}

void Spooler::ClosePrinter(HANDLE printer)
{
    ::ClosePrinter(printer);
}

std::vector<std::string> Spooler::Calls() const
{
    std::lock_guard g(detail::StateLock());
    return {journal().calls.begin(), journal().calls.end()};
}

void Spooler::ClearCalls()
{
    std::lock_guard g(detail::StateLock());
    journal().calls.clear();
}

Spooler& spooler()
{
    static Spooler s;
    return s;
}
} // namespace sim

using namespace sim;
using namespace sim::detail;

namespace
{
BOOL Open(LPCWSTR printerName, LPHANDLE printer, LPPRINTER_DEFAULTSW defaults)
{
    if (!printer)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *printer = nullptr;
    std::lock_guard g(StateLock());
    if (!SpoolerRunning())
    {
        SetLastError(RPC_S_SERVER_UNAVAILABLE);
        return FALSE;
    }
    if (IsXcvName(printerName))
        return OpenXcv(printerName, printer, defaults);
    // No name would open the print server, which nothing here serves yet.
    const PrinterSetup* found = printerName ? FindPrinter(printerName) : nullptr;
    if (!found)
    {
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return FALSE;
    }
    ACCESS_MASK access = defaults && defaults->DesiredAccess ? defaults->DesiredAccess : PRINTER_ACCESS_USE;
    if ((access & ~found->grantedAccess) || ((access & PRINTER_ACCESS_ADMINISTER) && !Administrator()))
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    auto handle = std::make_shared<PrinterHandle>();
    handle->printerName = found->name;
    handle->access = access;
    handle->spoolerRun = SpoolerRun();
    *printer = AddHandle(handle);
    return TRUE;
}
} // namespace

BOOL WINAPI OpenPrinterW(LPWSTR printerName, LPHANDLE printer, LPPRINTER_DEFAULTSW defaults)
{
    SIM_SPOOLER_CALL("OpenPrinterW", FALSE);
    return Open(printerName, printer, defaults);
}

BOOL WINAPI OpenPrinter2W(LPCWSTR printerName, LPHANDLE printer, LPPRINTER_DEFAULTSW defaults,
                          PPRINTER_OPTIONSW)
{
    SIM_SPOOLER_CALL("OpenPrinter2W", FALSE);
    return Open(printerName, printer, defaults);
}

BOOL WINAPI ClosePrinter(HANDLE printer)
{
    EndSpoolDllJob(printer, false); // a job left open ends with its handle
    std::lock_guard g(StateLock());
    auto handle = FindHandleOf<PrinterHandle>(printer);
    if (!handle)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    EndOpenJob(*handle);
    RemoveHandle(printer);
    return TRUE;
}
