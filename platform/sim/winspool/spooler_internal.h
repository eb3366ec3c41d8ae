// Shared between the spooler's parts: the router's printer handles, the printers, their data, the
// jobs and the ports they write to. Every function here expects StateLock held.
#pragma once

#include "core/internal.h"

#include <sim/spooler.h>

namespace sim::detail
{

// An open printer: what OpenPrinterW returned, and the job a StartDocPrinterW began on it.
struct PrinterHandle : KernelObject
{
    WString printerName;
    DWORD job = 0;           // 0: none open
    unsigned spoolerRun = 0; // the spooler's run it was opened in: a stop ends every handle
};

// The handle's printer, or null with ERROR_INVALID_HANDLE.
std::shared_ptr<PrinterHandle> CheckedPrinterHandle(HANDLE printer);

// Printers by name, without case.
const PrinterSetup* FindPrinter(WStringView name);

// Printer data, the driver's values under the "PrinterDriverData" key.
inline constexpr WStringView kPrinterDriverData = u"PrinterDriverData";
void ForgetPrinterData(WStringView printerName);
DWORD GetPrinterValue(WStringView printerName, WStringView key, WStringView value, DWORD* type, BYTE* data,
                      DWORD size, DWORD* needed);
DWORD SetPrinterValue(WStringView printerName, WStringView key, WStringView value, DWORD type,
                      const BYTE* data, DWORD size);

// Jobs: a handle's open job ends with EndDocPrinter or when the handle closes.
void EndOpenJob(PrinterHandle& handle);
// The engine writes for a document its application started; a driver driven without one writes to
// the port directly.
void WriteForEngine(PrinterHandle& handle, const void* data, DWORD size);

// Ports: the bytes each has been sent.
void SendToPort(WStringView portName, const void* data, DWORD size);
std::string PortOutput(WStringView portName);

// A printer is on the port.
bool PortInUse(WStringView portName);

// The port monitors' channel: ",XcvMonitor <monitor>" names open an Xcv handle instead of a printer.
bool IsXcvName(LPCWSTR name);
BOOL OpenXcv(LPCWSTR name, LPHANDLE printer, const PRINTER_DEFAULTSW* defaults);

// The spooler answers only while its service runs (advapi32/services.cpp); each start of the
// service begins a new run, and reloads every printer's default DEVMODE from the registry.
bool ServiceRunning(WStringView serviceName);
inline bool SpoolerRunning()
{
    return ServiceRunning(u"Spooler");
}
unsigned SpoolerRun();
void ReloadDefaultDevModes();

} // namespace sim::detail
