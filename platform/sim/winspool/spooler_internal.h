// Shared between the spooler's parts: the router's printer handles, the printers, their data, the
// jobs and the ports they write to. Every function here expects StateLock held.
#pragma once

#include "core/internal.h"
#include "core/two_call.h"

#include <functional>
#include <initializer_list>
#include <optional>
#include <string_view>

#include <sim/port_monitors.h>
#include <sim/spooler.h>

namespace sim::detail
{

// An open printer: what OpenPrinterW returned, and the job a StartDocPrinterW began on it.
unsigned SpoolerRun(); // advapi32/services.cpp

// A job handed to a user-mode spool DLL: the DLL loaded in the spooler's process and its handle.
struct SpoolDllJob
{
    HMODULE module = nullptr;
    HANDLE handle = nullptr;   // what DrvSplStartDoc returned
    HANDLE provider = nullptr; // the spooler's own handle for the job, where the DLL writes
    DWORD error = 0;           // not 0: the DLL did not load or start, and every write fails with this
};

struct PrinterHandle : KernelObject
{
    WString printerName;
    DWORD job = 0; // 0: none open
    ACCESS_MASK access = PRINTER_ACCESS_USE;
    unsigned spoolerRun = SpoolerRun();    // the spooler's run it was opened in: a stop ends every handle
    std::shared_ptr<SpoolDllJob> spoolDll; // the job goes through a user-mode spool DLL
    bool provider = false;                 // the spooler's own handle for a job: writes go to the port
};

// The handle's printer, or null with ERROR_INVALID_HANDLE.
std::shared_ptr<PrinterHandle> CheckedPrinterHandle(HANDLE printer);
// The same for a change: null with ERROR_ACCESS_DENIED unless the handle may administer the printer.
std::shared_ptr<PrinterHandle> AdministeredPrinterHandle(HANDLE printer);

// An Enum* call's arguments: the counts to answer in, this machine (no server name) and a level it
// serves. FALSE with the error set otherwise; *returned is 0 from here on.
BOOL EnumerationArguments(LPCWSTR serverName, DWORD level, std::initializer_list<DWORD> levels, DWORD* needed,
                          DWORD* returned);
// `count` records of `fixed` bytes each, then what they point to, in the two-call protocol.
template <typename Fill>
BOOL PackEnumeration(BYTE* buffer, DWORD size, DWORD* needed, DWORD* returned, size_t count, size_t fixed,
                     Fill fill)
{
    // An empty list needs no buffer: the spooler answers the size question with success.
    if (count == 0)
    {
        if (needed)
            *needed = 0;
        *returned = 0;
        return TRUE;
    }
    BOOL ok = PackTwoCall(buffer, size, needed, fixed * count, fill);
    if (ok)
        *returned = static_cast<DWORD>(count);
    return ok;
}

// Printers by name, without case.
const PrinterSetup* FindPrinter(WStringView name);
PrinterSetup* FindPrinterToChange(WStringView name);
void RemovePrinter(WStringView name);
// A new name for a printer: its data, jobs and open handles go with it.
void RenamePrinter(WStringView oldName, WStringView newName);
void RenamePrinterData(WStringView oldName, WStringView newName);
void RenameJobs(WStringView oldName, WStringView newName);

// Drivers, by name and environment, and the print processors they brought.
const DriverSetup* FindDriver(WStringView name, WStringView environment);
void PutDriver(const DriverSetup& driver);
WString NativeEnvironment(); // "Windows x64" or "Windows NT x86"
bool HasPrintProcessor(WStringView name);
// DeletePrinterDriver(Ex)'s work in either character set: 0 or the error.
DWORD DeletePrinterDriverNamed(bool hasServer, WStringView environment, WStringView name, DWORD flags,
                               DWORD version);
void AddProcessor(WStringView name);
// A driver's language monitor, installed with it under the print monitors' key (`file` its DLL).
void AddLanguageMonitor(WStringView name, WStringView file);

// Jobs of a printer, by id.
std::vector<JobSetup> JobsOf(WStringView printerName);
void ForgetJobs(WStringView printerName);

// Ports and monitors (ports.cpp): every monitor's ports in one list, found by name without case.
inline constexpr WStringView kMonitorsKey = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors";
struct PortEntry
{
    WString name, monitor, description;
    std::optional<TcpIpPortRecord> tcpIp; // what the standard TCP/IP monitor keeps for its own
};
std::optional<PortEntry> FindPort(WStringView name);
bool HasPort(WStringView name);
std::vector<PortEntry> AllPorts(); // as EnumPortsW lists them
// A port a monitor makes: ERROR_ALREADY_EXISTS when any monitor has the name.
DWORD AddMonitorPort(const PortEntry& port);
// Its monitor deletes a port (when `monitor` is given, only one of its own): ERROR_UNKNOWN_PORT, or
// ERROR_BUSY while a printer prints to it.
DWORD RemovePort(WStringView name, std::optional<WStringView> monitor);
// A printer's port list is split at commas.
std::vector<WString> SplitPortList(WStringView list);
std::vector<WString> InstalledMonitors(); // the local ones, then the registry's
DWORD DeleteMonitor(WStringView environment, WStringView name);
// DeletePort and DeleteMonitor in either character set: the checks of the local spooler, then `work`
// under its lock; FALSE with the last error set when any fails.
BOOL DeleteOnLocalSpooler(bool hasServer, bool hasName, const std::function<DWORD()>& work);

// The calls of the spooler and the setup API, journaled in order for tests to fail each in turn.
void RecordCall(std::string_view api);
inline HRESULT HResultOf(DWORD error)
{
    return error == 0 || (error & 0x80000000u) ? static_cast<HRESULT>(error)
                                               : static_cast<HRESULT>((error & 0xFFFF) | 0x80070000u);
}

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

// A printer is on the port (printers.cpp).
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

// The spooler's own process (spoolsv.exe, SYSTEM, session 0) and a run of driver code on a thread of
// it, waited for. Neither with StateLock held.
std::shared_ptr<Process> SpoolerProcess();
void RunInSpooler(const std::function<void()>& body);
void RecordSpoolDllCall(std::string_view call);
// A printer just added: its driver's configuration DLL initialises it and gives its default DEVMODE.
void HostNewPrinter(const WString& printerName, const WString& configFile);

// Jobs through a user-mode spool DLL, StateLock not held: started after the job is made; writes and
// pages go through it (none: the handle's job does not); the end hands it EndDoc or Abort, then Close.
void BeginSpoolDllJob(HANDLE printer, DWORD jobId);
std::optional<BOOL> WriteThroughSpoolDll(HANDLE printer, const void* data, DWORD size, DWORD* written);
std::optional<BOOL> PageThroughSpoolDll(HANDLE printer, bool start);
BOOL EndSpoolDllJob(HANDLE printer, bool abort);

} // namespace sim::detail

// Journals the call, then answers a fault a test asked for through the last error.
#define SIM_SPOOLER_CALL(api, result)                                                                        \
    do                                                                                                       \
    {                                                                                                        \
        ::sim::detail::RecordCall(api);                                                                      \
        SIM_FAULT_POINT(api, result);                                                                        \
    } while (0)

// The same for a call whose result is an HRESULT: the fault's code as one.
#define SIM_SPOOLER_CALL_HRESULT(api)                                                                        \
    do                                                                                                       \
    {                                                                                                        \
        ::sim::detail::RecordCall(api);                                                                      \
        SIM_FAULT_HRESULT(api);                                                                              \
    } while (0)
