// The property-sheet entry points: the document and device sheet functions the common property-sheet
// host calls by reason, the prompting entry points that start that host, and the message a page shows
// its user.
#pragma once

#include <platform/winddiui.h>

namespace velmoui
{

// DrvDocumentPropertySheets with sheet information; -1 on any failure.
LONG DocumentSheetReason(PPROPSHEETUI_INFO info, LPARAM lParam);
LONG DrvDevicePropertySheets(PPROPSHEETUI_INFO info, LPARAM lParam);

// DrvDocumentProperties with DM_PROMPT: IDOK when the sheet ended with CPSUI_OK, else IDCANCEL; -1
// when the host cannot be had.
LONG PromptDocumentSheet(HWND window, DOCUMENTPROPERTYHEADER& header);
LONG DrvAdvancedDocumentProperties(HWND window, HANDLE printer, LPWSTR printerName, DEVMODEW* out,
                                   const DEVMODEW* in);
BOOL PrinterProperties(HWND window, HANDLE printer);

// A sheet function as the host calls it (its own calling convention on every build).
using SheetUiFunction = LONG(CALLBACK*)(PPROPSHEETUI_INFO info, LPARAM lParam);

// The host's CommonPropertySheetUIW from compstui.dll of System32: its own answer, or -1 (the last
// error set) when the library or its entry cannot be had.
LONG RunCommonPropertySheet(HWND owner, SheetUiFunction function, LPARAM lParam, DWORD* result);

// A message for the sheet's own user, in a box owned by the page.
int ShowDesktopMessage(HWND owner, const WCHAR* text, const WCHAR* caption);

} // namespace velmoui
