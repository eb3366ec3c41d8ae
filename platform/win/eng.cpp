// The graphics-engine services a user-mode printer graphics DLL calls but mingw-w64's import
// libraries do not provide, written over kernel32 and winspool as the platform's own library does.
#include <platform/winddi.h>

PVOID APIENTRY EngAllocMem(ULONG flags, ULONG size, ULONG)
{
    return HeapAlloc(GetProcessHeap(), (flags & FL_ZERO_MEMORY) ? HEAP_ZERO_MEMORY : 0, size);
}

VOID APIENTRY EngFreeMem(PVOID mem)
{
    if (mem)
        HeapFree(GetProcessHeap(), 0, mem);
}

VOID APIENTRY EngSetLastError(ULONG error)
{
    SetLastError(error);
}

BOOL APIENTRY EngGetPrinter(HANDLE printer, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed)
{
    return GetPrinterW(printer, level, buffer, size, needed);
}

BOOL APIENTRY EngGetPrinterDriver(HANDLE printer, LPWSTR environment, DWORD level, BYTE* buffer, DWORD size,
                                  DWORD* needed)
{
    return GetPrinterDriverW(printer, environment, level, buffer, size, needed);
}

DWORD APIENTRY EngGetPrinterData(HANDLE printer, LPWSTR valueName, LPDWORD type, LPBYTE data, DWORD size,
                                 LPDWORD needed)
{
    return GetPrinterDataW(printer, valueName, type, data, size, needed);
}

DWORD APIENTRY EngSetPrinterData(HANDLE printer, LPWSTR valueName, DWORD type, LPBYTE data, DWORD size)
{
    return SetPrinterDataW(printer, valueName, type, data, size);
}

BOOL APIENTRY EngWritePrinter(HANDLE printer, LPVOID buffer, DWORD size, LPDWORD written)
{
    return WritePrinter(printer, buffer, size, written);
}
