// The user-interface DLL's exports: each forwards to the namespaced code, and no exception leaves.
#include <platform/boundary.h>
#include <platform/dllentry.h>

#include "VelmQ7UI_exports.h"
#include "device_caps.h"
#include "printer_event.h"
#include "sheet_host.h"
#include "ui_entry_points.h"

PLATFORM_DLL_BEGIN(velmq7ui)

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    return platform::Boundary(FALSE, [&] { return velmoui::DllMain(instance, reason); });
}

BOOL WINAPI DevQueryPrint(HANDLE printer, LPDEVMODEW devMode, DWORD* resourceId)
{
    return platform::Boundary(FALSE, [&] { return velmoui::DevQueryPrint(printer, devMode, resourceId); });
}

BOOL WINAPI DevQueryPrintEx(PDEVQUERYPRINT_INFO info)
{
    return platform::Boundary(FALSE, [&] { return velmoui::DevQueryPrintEx(info); });
}

BOOL WINAPI DrvConvertDevMode(LPWSTR printerName, PDEVMODEW in, PDEVMODEW out, PLONG size, DWORD mode)
{
    return platform::Boundary(FALSE,
                              [&] { return velmoui::DrvConvertDevMode(printerName, in, out, size, mode); });
}

DWORD WINAPI DrvDeviceCapabilities(HANDLE printer, LPWSTR deviceName, WORD capability, PVOID output,
                                   PDEVMODEW devMode)
{
    return platform::Boundary(velmoui::kCapsFailed, [&] {
        return velmoui::DrvDeviceCapabilities(printer, deviceName, capability, output, devMode);
    });
}

DWORD WINAPI DrvSplDeviceCaps(HANDLE printer, LPWSTR deviceName, WORD capability, PVOID output, DWORD length,
                              PDEVMODEW devMode)
{
    return platform::Boundary(velmoui::kCapsFailed, [&] {
        return velmoui::DrvSplDeviceCaps(printer, deviceName, capability, output, length, devMode);
    });
}

int WINAPI DrvDocumentEvent(HANDLE printer, HDC dc, int escape, ULONG inSize, PVOID in, ULONG outSize,
                            PVOID out)
{
    return platform::Boundary(int{DOCUMENTEVENT_UNSUPPORTED}, [&] {
        return velmoui::DrvDocumentEvent(printer, dc, escape, inSize, in, outSize, out);
    });
}

LONG WINAPI DrvDocumentProperties(HWND window, HANDLE printer, LPWSTR printerName, PDEVMODEW out,
                                  PDEVMODEW in, DWORD mode)
{
    return platform::Boundary(LONG{-1}, [&] {
        return velmoui::DrvDocumentProperties(window, printer, printerName, out, in, mode);
    });
}

LONG WINAPI DrvDocumentPropertySheets(PPROPSHEETUI_INFO info, LPARAM lParam)
{
    return platform::Boundary(LONG{-1}, [&] { return velmoui::DrvDocumentPropertySheets(info, lParam); });
}

BOOL WINAPI DrvPrinterEvent(LPWSTR printerName, INT event, DWORD flags, LPARAM lParam)
{
    return platform::Boundary(FALSE,
                              [&] { return velmoui::DrvPrinterEvent(printerName, event, flags, lParam); });
}

BOOL WINAPI DrvQueryColorProfile(HANDLE printer, PDEVMODEW devMode, ULONG queryMode, PVOID profile,
                                 ULONG* profileSize, FLONG* profileFlags)
{
    return platform::Boundary(FALSE, [&] {
        return velmoui::DrvQueryColorProfile(printer, devMode, queryMode, profile, profileSize, profileFlags);
    });
}

BOOL WINAPI DrvQueryJobAttributes(HANDLE printer, PDEVMODEW devMode, DWORD level, LPBYTE info)
{
    return platform::Boundary(FALSE,
                              [&] { return velmoui::DrvQueryJobAttributes(printer, devMode, level, info); });
}

BOOL WINAPI DrvUpgradePrinter(DWORD level, LPBYTE info)
{
    return platform::Boundary(FALSE, [&] { return velmoui::DrvUpgradePrinter(level, info); });
}

LONG WINAPI DrvAdvancedDocumentProperties(HWND window, HANDLE printer, LPWSTR printerName, PDEVMODEW out,
                                          PDEVMODEW in)
{
    return platform::Boundary(LONG{-1}, [&] {
        return velmoui::DrvAdvancedDocumentProperties(window, printer, printerName, out, in);
    });
}

LONG WINAPI DrvDevicePropertySheets(PPROPSHEETUI_INFO info, LPARAM lParam)
{
    return platform::Boundary(LONG{-1}, [&] { return velmoui::DrvDevicePropertySheets(info, lParam); });
}

BOOL WINAPI PrinterProperties(HWND window, HANDLE printer)
{
    return platform::Boundary(FALSE, [&] { return velmoui::PrinterProperties(window, printer); });
}

PLATFORM_DLL_END

PLATFORM_DLL_REGISTER_WITH_MAIN(velmq7ui, u"VelmQ7UI.dll", VELMQ7UI_EXPORT_LIST)
