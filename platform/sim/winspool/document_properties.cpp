// DocumentPropertiesW without a user interface: the printer's default settings record as the machine
// keeps it, or the one its printers start with.
#include "winspool/spooler_internal.h"

#include <sim/print_tickets.h>

#include <cstring>

using namespace sim;
using namespace sim::detail;

namespace
{
// The record a printer hands out: its stored default, else a fresh one.
std::vector<BYTE> SettingsOf(const PrinterSetup& printer)
{
    return printer.defaultDevMode.empty() ? PrinterDevMode(printer.name, false) : printer.defaultDevMode;
}
} // namespace

LONG WINAPI DocumentPropertiesW(HWND, HANDLE printer, LPWSTR, PDEVMODEW out, PDEVMODEW, DWORD mode)
{
    SIM_SPOOLER_CALL("DocumentPropertiesW", -1);
    std::lock_guard g(StateLock());
    auto handle = CheckedPrinterHandle(printer);
    if (!handle)
        return -1;
    const PrinterSetup* setup = FindPrinter(handle->printerName);
    if (!setup)
    {
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return -1;
    }
    std::vector<BYTE> settings = SettingsOf(*setup);
    if (mode == 0)
        return static_cast<LONG>(settings.size());
    if (mode & DM_PROMPT)
    {
        SetLastError(ERROR_NOT_SUPPORTED); // no dialog on this machine
        return -1;
    }
    if (mode & DM_OUT_BUFFER)
    {
        if (!out)
        {
            SetLastError(ERROR_INVALID_PARAMETER);
            return -1;
        }
        std::memcpy(out, settings.data(), settings.size());
    }
    return IDOK;
}
