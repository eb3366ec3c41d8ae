// The loader as the machine's other parts use it: the graphics engine loads a printer's graphics DLL
// as the system does, without the fault points a test aims at the program's own calls; a process
// ending detaches what it holds.
#pragma once

#include <platform/dllentry.h>
#include <platform/windows.h>

#include <string_view>
#include <vector>

namespace sim::detail
{

// LoadLibraryW's work: null with ERROR_MOD_NOT_FOUND or ERROR_DLL_INIT_FAILED. FreeLibrary frees it.
HMODULE LoadModule(WStringView name);
// A program's end: the DLLs it still holds detach, the last loaded first.
void EndProcessModules();
// GetProcAddress's work, by name or by ordinal (MAKEINTRESOURCEA).
void (*ExportOf(HMODULE module, LPCSTR procName))();
// The file name a product DLL's module handle was registered under; empty for any other handle.
WString ProductModuleName(HMODULE module);
// The file name of a system module's handle ("user32.dll"); empty for any other handle.
WString SystemModuleName(HMODULE module);

// Exports of system DLLs that code finds with GetProcAddress, each list from the part implementing it
// (named here so the loader links them in).
struct SystemExport
{
    WStringView dll;
    const char* name;
    void (*address)();
};
std::vector<SystemExport> ServiceManagerExports(); // advapi32/services.cpp
std::vector<SystemExport> PortMonitorExports();    // winspool/xcv.cpp
std::vector<SystemExport> DeviceExports();         // cfgmgr32/devnodes.cpp
// Exports of system DLLs also found by ordinal.
std::vector<DllExport> PrintTicketExports();          // prntvpt/prntvpt.cpp
std::vector<SystemExport> PropertySheetHostExports(); // compstui/compstui.cpp
std::vector<SystemExport> HtmlHelpExports();          // hhctrl/htmlhelp.cpp
template <typename F> void (*ExportAddress(F* f))()
{
    return reinterpret_cast<void (*)()>(f);
}

} // namespace sim::detail
