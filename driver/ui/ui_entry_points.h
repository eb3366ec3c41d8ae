// The user-interface DLL's entry points that need no property sheet, as the spooler and applications
// call them; the entry file forwards its exports here.
#pragma once

#include <platform/winddiui.h>

namespace velmoui
{

inline constexpr LONG kDevModeSize = 2944; // what every output DEVMODE of this driver holds

// Caller codes the conversion is told who asks.
inline constexpr DWORD kCallerDocumentSheets = 14;
inline constexpr DWORD kCallerConvert = 15;
inline constexpr DWORD kCallerDriverDefault = 16;

BOOL DllMain(HINSTANCE instance, DWORD reason);
BOOL DevQueryPrint(HANDLE printer, const DEVMODEW* devMode, DWORD* resourceId);
BOOL DevQueryPrintEx(PDEVQUERYPRINT_INFO info);
BOOL DrvConvertDevMode(LPWSTR printerName, const DEVMODEW* in, DEVMODEW* out, LONG* size, DWORD mode);
int DrvDocumentEvent(HANDLE printer, HDC dc, int escape, ULONG inSize, PVOID in, ULONG outSize, PVOID out);
LONG DrvDocumentProperties(HWND window, HANDLE printer, LPWSTR printerName, DEVMODEW* out, const DEVMODEW* in,
                           DWORD mode);
LONG DrvDocumentPropertySheets(PPROPSHEETUI_INFO info, LPARAM lParam);
BOOL DrvQueryColorProfile(HANDLE printer, const DEVMODEW* devMode, ULONG queryMode, PVOID profile,
                          ULONG* profileSize, FLONG* profileFlags);
BOOL DrvUpgradePrinter(DWORD level, LPBYTE info);

} // namespace velmoui
