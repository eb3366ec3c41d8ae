#include "sheet_host.h"

#include "activation.h"
#include "settings.h"
#include "sheet_state.h"
#include "spooler_printer.h"
#include "ui_entry_points.h"
#include "ui_settings.h"
#include "ui_strings.h"

#include <platform/boundary.h>
#include <platform/commctrl.h>
#include <platform/dll_search.h>
#include <platform/winspool.h>

#include <cstring>

namespace velmoui
{

namespace
{
constexpr DWORD kAdvancedMode = 0x16; // DM_COPY | DM_PROMPT and the advanced sheet
constexpr WORD kSheetIcon = IDI_CPSUI_PRINTER;

// The spooler's error when the device sheet's block could not be written, for PrinterProperties.
thread_local DWORD t_blockWriteError = ERROR_SUCCESS;

LONG CALLBACK DocumentSheetFunction(PPROPSHEETUI_INFO info, LPARAM lParam)
{
    return platform::Boundary(LONG{-1}, [&] { return DrvDocumentPropertySheets(info, lParam); });
}

LONG CALLBACK DeviceSheetFunction(PPROPSHEETUI_INFO info, LPARAM lParam)
{
    return platform::Boundary(LONG{-1}, [&] { return DrvDevicePropertySheets(info, lParam); });
}

SheetState* StateOf(PPROPSHEETUI_INFO info)
{
    auto* state = reinterpret_cast<SheetState*>(info->UserData);
    return IsSheetState(state) ? state : nullptr;
}

// Adds every page of the table to the host; false (the state closed) when one is refused.
bool AddPages(PPROPSHEETUI_INFO info, SheetState* s)
{
    s->hComPropSheet = info->hComPropSheet;
    s->pfnComPropSheet = info->pfnComPropSheet;
    for (int i = 0; i < s->pageCount; ++i)
    {
        const PageEntry& page = s->pages[i];
        LONG_PTR added = 0;
        bool plainDialog = page.kind == kPageKindDialog && (page.flags != 0 || s->osCode >= 104);
        if (!plainDialog)
            added = info->pfnComPropSheet(info->hComPropSheet, CPSFUNC_ADD_PCOMPROPSHEETUIW,
                                          reinterpret_cast<LPARAM>(&s->slots[i].ui), 0);
        else
        {
            PROPSHEETPAGEW psp{};
            psp.dwSize = sizeof psp;
            psp.dwFlags = ((page.flags & kPageHasHelp) ? PSP_HASHELP : 0) |
                          ((page.flags & kPageIconGiven) ? PSP_USEICONID : 0) |
                          (ModuleActivationContext() ? PSP_USEFUSIONCONTEXT : 0);
            psp.hActCtx = ModuleActivationContext();
            psp.hInstance = ModuleInstance();
            psp.pszTemplate = MAKEINTRESOURCEW(page.templateId);
            psp.pszIcon = MAKEINTRESOURCEW(page.iconId);
            psp.pfnDlgProc = page.dialogProc;
            psp.lParam = reinterpret_cast<LPARAM>(s);
            HPROPSHEETPAGE handle = nullptr;
            {
                ModuleActivation active;
                handle = CreatePropertySheetPageW(&psp);
            }
            if (handle)
            {
                added = info->pfnComPropSheet(info->hComPropSheet, CPSFUNC_ADD_HPROPSHEETPAGE,
                                              reinterpret_cast<LPARAM>(handle), 0);
                if (!added)
                    DestroyPropertySheetPage(handle);
            }
        }
        if (!added)
        {
            CloseSheetState(s);
            return false;
        }
        s->slots[i].hostPage = reinterpret_cast<HANDLE>(added);
    }
    return true;
}

LONG Init(PPROPSHEETUI_INFO info, SheetState* s)
{
    if (!IsSheetState(s) || !AddPages(info, s))
        return -1;
    info->UserData = reinterpret_cast<ULONG_PTR>(s);
    info->Result = 0;
    return 1;
}

LONG InfoHeader(LPARAM lParam, bool device)
{
    auto* header = reinterpret_cast<PROPSHEETUI_INFO_HEADER*>(lParam);
    if (!header)
        return -1;
    static WCHAR empty[1] = {0};
    header->Flags = PSUIHDRF_NOAPPLYNOW | PSUIHDRF_PROPTITLE;
    header->pTitle = device ? reinterpret_cast<LPWSTR>(MAKEINTRESOURCEW(IDS_CPSUI_PRINTER)) : empty;
    header->hInst = ModuleInstance();
    header->IconID = kSheetIcon;
    return 1;
}

LONG Destroy(PPROPSHEETUI_INFO info)
{
    SheetState* s = StateOf(info);
    if (!s)
        return -1;
    CloseSheetState(s);
    info->UserData = 0;
    return 1;
}

LRESULT ResultOf(LPARAM lParam)
{
    auto* result = reinterpret_cast<const SETRESULT_INFO*>(lParam);
    return result ? result->Result : CPSUI_CANCEL;
}

// The reasons both sheets answer alike. On an OK result `commit` stores the working DEVMODE and gives
// the result to report (a cancel where storing failed).
template <class Header, class Commit>
LONG SheetReason(PPROPSHEETUI_INFO info, LPARAM lParam, Header* header, bool device, Commit commit)
{
    switch (info->Reason)
    {
    case PROPSHEETUI_REASON_INIT:
        return Init(info, OpenSheetState(header));
    case PROPSHEETUI_REASON_GET_INFO_HEADER:
        return InfoHeader(lParam, device);
    case PROPSHEETUI_REASON_DESTROY:
        return Destroy(info);
    case PROPSHEETUI_REASON_SET_RESULT: {
        SheetState* s = StateOf(info);
        if (!s)
            return -1;
        LRESULT result = ResultOf(lParam);
        if (result == CPSUI_OK)
            result = commit(*s);
        info->Result = static_cast<ULONG_PTR>(result);
        return 1;
    }
    default:
        return -1;
    }
}
} // namespace

LONG DocumentSheetReason(PPROPSHEETUI_INFO info, LPARAM lParam)
{
    auto* header = reinterpret_cast<DOCUMENTPROPERTYHEADER*>(info->lParamInit);
    if (!header)
        return -1;
    return SheetReason(info, lParam, header, false, [header](SheetState& s) -> LRESULT {
        if (header->pdmOut && (header->fMode & (DM_UPDATE | DM_COPY)))
        {
            _UdcUpdateCmnDModeArea(s.working, header->pszPrinterName);
            std::memcpy(header->pdmOut, &s.working, kDevModeSize);
        }
        return CPSUI_OK;
    });
}

LONG DrvDevicePropertySheets(PPROPSHEETUI_INFO info, LPARAM lParam)
{
    if (!info)
        return -1;
    auto* header = reinterpret_cast<DEVICEPROPERTYHEADER*>(info->lParamInit);
    if (!header)
        return -1;
    return SheetReason(info, lParam, header, true, [header](SheetState& s) -> LRESULT {
        _UdcUpdateCmnDModeArea(s.working, header->pszPrinterName);
        SpoolerPrinter port(header->hPrinter);
        DWORD error = RtcWriteRegSelfDMode(s.working, port);
        if (error != ERROR_SUCCESS)
        {
            // Nothing was stored, so nothing is announced; the sheet reports the failure.
            t_blockWriteError = error;
            return CPSUI_CANCEL;
        }
        port.BroadcastDevModeChange(header->pszPrinterName);
        return CPSUI_OK;
    });
}

LONG RunCommonPropertySheet(HWND owner, SheetUiFunction function, LPARAM lParam, DWORD* result)
{
    HMODULE host = LoadLibraryExW(TEXT("compstui.dll"), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!host)
        return -1;
    using Entry = LONG(WINAPI*)(HWND, SheetUiFunction, LPARAM, LPDWORD);
    auto entry = platform::ProcAddress<Entry>(host, "CommonPropertySheetUIW");
    if (!entry)
    {
        DWORD error = GetLastError();
        FreeLibrary(host);
        SetLastError(error);
        return -1;
    }
    LONG answer = entry(owner, function, lParam, result);
    // A sheet the system refused reports why through the last error; unloading must not lose it.
    DWORD error = GetLastError();
    FreeLibrary(host);
    SetLastError(error);
    return answer;
}

LONG PromptDocumentSheet(HWND window, DOCUMENTPROPERTYHEADER& header)
{
    DWORD result = CPSUI_CANCEL;
    if (RunCommonPropertySheet(window, DocumentSheetFunction, reinterpret_cast<LPARAM>(&header), &result) < 0)
        return -1;
    return result == CPSUI_OK ? IDOK : IDCANCEL;
}

LONG DrvAdvancedDocumentProperties(HWND window, HANDLE printer, LPWSTR printerName, DEVMODEW* out,
                                   const DEVMODEW* in)
{
    return DrvDocumentProperties(window, printer, printerName, out, in, kAdvancedMode);
}

BOOL PrinterProperties(HWND window, HANDLE printer)
{
    DEVICEPROPERTYHEADER header{};
    header.cbSize = sizeof header;
    header.hPrinter = printer;
    DWORD one = 1;
    if (SetPrinterDataW(printer, const_cast<LPWSTR>(TEXT("Permission")), REG_DWORD,
                        reinterpret_cast<BYTE*>(&one), sizeof one) != ERROR_SUCCESS)
        header.Flags |= DPS_NOPERMISSION;
    SpoolerPrinter port(printer);
    auto record = port.Printer();
    WString name = record ? record->printerName : WString();
    header.pszPrinterName = name.data();
    DWORD result = CPSUI_CANCEL;
    t_blockWriteError = ERROR_SUCCESS;
    if (RunCommonPropertySheet(window, DeviceSheetFunction, reinterpret_cast<LPARAM>(&header), &result) < 0)
        return FALSE;
    if (t_blockWriteError != ERROR_SUCCESS)
    {
        SetLastError(t_blockWriteError);
        return FALSE;
    }
    return result != 0 ? TRUE : FALSE;
}

int ShowDesktopMessage(HWND owner, const WCHAR* text, const WCHAR* caption)
{
    return MessageBoxW(owner, text, caption, MB_ICONHAND | MB_SETFOREGROUND);
}

} // namespace velmoui
