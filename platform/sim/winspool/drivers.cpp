// Printer drivers: today only what a printer names, its driver and the graphics DLL's path.
#include "winspool/spooler_internal.h"

#include "core/two_call.h"

using namespace sim;
using namespace sim::detail;

BOOL WINAPI GetPrinterDriverW(HANDLE printer, LPWSTR, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed)
{
    std::lock_guard g(StateLock());
    auto handle = CheckedPrinterHandle(printer);
    if (!handle)
        return FALSE;
    if (level != 2)
    {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    const PrinterSetup& s = *FindPrinter(handle->printerName);
    return PackTwoCall(buffer, size, needed, sizeof(DRIVER_INFO_2W), [&](Packer& pack) {
        auto* info = pack.Fixed<DRIVER_INFO_2W>();
        info->cVersion = 3;
        info->pName = pack.String(s.driverName);
        info->pDriverPath = pack.String(s.driverPath);
    });
}
