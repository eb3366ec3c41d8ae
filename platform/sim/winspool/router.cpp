// The router: printer handles, opened by printer name and checked on every call that takes one.
#include "winspool/spooler_internal.h"

namespace sim
{
namespace detail
{
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

Spooler& spooler()
{
    static Spooler s;
    return s;
}
} // namespace sim

using namespace sim;
using namespace sim::detail;

BOOL WINAPI OpenPrinterW(LPWSTR printerName, LPHANDLE printer, LPPRINTER_DEFAULTSW defaults)
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
    if (!printerName || !FindPrinter(printerName))
    {
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return FALSE;
    }
    auto handle = std::make_shared<PrinterHandle>();
    handle->printerName = printerName;
    handle->spoolerRun = SpoolerRun();
    *printer = AddHandle(handle);
    return TRUE;
}

BOOL WINAPI ClosePrinter(HANDLE printer)
{
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
