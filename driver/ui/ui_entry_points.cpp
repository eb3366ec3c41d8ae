#include "ui_entry_points.h"

#include "activation.h"
#include "settings.h"
#include "sheet_host.h"
#include "spooler_printer.h"
#include "ui_settings.h"
#include "ui_strings.h"

#include <platform/commctrl.h>

namespace velmoui
{

namespace
{
std::span<BYTE> Output(DEVMODEW* out)
{
    return std::span<BYTE>(reinterpret_cast<BYTE*>(out), out ? size_t{kDevModeSize} : 0);
}

BOOL Fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}
} // namespace

BOOL DllMain(HINSTANCE instance, DWORD reason)
{
    if (reason == DLL_PROCESS_ATTACH)
    {
        SetModuleInstance(instance);
        InitCommonControls();
        CreateModuleActivation(instance);
    }
    else if (reason == DLL_PROCESS_DETACH)
        ReleaseModuleActivation();
    return TRUE;
}

BOOL DevQueryPrint(HANDLE, const DEVMODEW*, DWORD* resourceId)
{
    if (resourceId)
        *resourceId = 0;
    return TRUE;
}

BOOL DevQueryPrintEx(PDEVQUERYPRINT_INFO)
{
    return TRUE;
}

// The input is read only when converting; the spooler's own default ignores it.
BOOL DrvConvertDevMode(LPWSTR printerName, const DEVMODEW* in, DEVMODEW* out, LONG* size, DWORD mode)
{
    DWORD flags = kConvertCopy;
    DWORD caller = kCallerDriverDefault;
    std::span<const BYTE> input;
    switch (mode)
    {
    case CDM_CONVERT:
        if (!in || !out || !size)
            return Fail(ERROR_INVALID_PARAMETER);
        if (*size < kDevModeSize)
            return Fail(ERROR_INSUFFICIENT_BUFFER);
        flags = kConvertCopy | kConvertMergeInput;
        caller = kCallerConvert;
        input = velmo::DevModeBytes(in);
        break;
    case CDM_DRIVER_DEFAULT:
        if (!size)
            return Fail(ERROR_INVALID_PARAMETER);
        if (*size < kDevModeSize || !out)
        {
            *size = kDevModeSize;
            return Fail(ERROR_INSUFFICIENT_BUFFER);
        }
        break;
    default:
        return Fail(ERROR_INVALID_PARAMETER);
    }
    OpenedPrinter printer(printerName);
    if (!printer)
        return Fail(ERROR_INVALID_PARAMETER);
    SpoolerPrinter port(printer.Handle());
    if (!CfcConvertSelfDMode(Output(out), input, port, printerName, flags, caller))
    {
        *size = 0;
        return FALSE;
    }
    *size = kDevModeSize;
    return TRUE;
}

int DrvDocumentEvent(HANDLE, HDC, int, ULONG, PVOID, ULONG, PVOID)
{
    return DOCUMENTEVENT_UNSUPPORTED;
}

LONG DrvDocumentProperties(HWND window, HANDLE printer, LPWSTR printerName, DEVMODEW* out, const DEVMODEW* in,
                           DWORD mode)
{
    if (mode == 0)
        return kDevModeSize;
    if (((mode & DM_COPY) && !out) || ((mode & DM_MODIFY) && !in))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    DOCUMENTPROPERTYHEADER header = {};
    header.cbSize = sizeof header;
    header.hPrinter = printer;
    header.pszPrinterName = printerName;
    header.pdmIn = const_cast<DEVMODEW*>(in);
    header.pdmOut = out;
    header.fMode = mode;
    if (mode & DM_PROMPT)
        return PromptDocumentSheet(window, header);
    return DrvDocumentPropertySheets(nullptr, reinterpret_cast<LPARAM>(&header));
}

// Without sheet information the header asks for a conversion only; no printer data is written.
LONG DrvDocumentPropertySheets(PPROPSHEETUI_INFO info, LPARAM lParam)
{
    if (info)
        return DocumentSheetReason(info, lParam);
    auto* header = reinterpret_cast<DOCUMENTPROPERTYHEADER*>(lParam);
    if (!header)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    header->cbOut = kDevModeSize;
    if (header->fMode == 0 || !header->pdmOut)
        return kDevModeSize;
    if (header->fMode & (DM_UPDATE | DM_COPY))
    {
        std::span<const BYTE> input;
        if (header->fMode & DM_MODIFY)
            input = velmo::DevModeBytes(header->pdmIn);
        SpoolerPrinter port(header->hPrinter);
        if (!CfcConvertSelfDMode(Output(header->pdmOut), input, port, header->pszPrinterName,
                                 kConvertCopy | kConvertMergeInput, kCallerDocumentSheets))
            return 0;
    }
    return IDOK;
}

BOOL DrvQueryColorProfile(HANDLE, const DEVMODEW*, ULONG, PVOID, ULONG*, FLONG*)
{
    return Fail(ERROR_NOT_SUPPORTED);
}

BOOL DrvUpgradePrinter(DWORD level, LPBYTE info)
{
    if ((level == 1 || level == 2) && info)
        return TRUE;
    return Fail(ERROR_INVALID_PARAMETER);
}

} // namespace velmoui
