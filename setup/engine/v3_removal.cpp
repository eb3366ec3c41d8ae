#include "v3_removal.h"

#include "services.h"
#include "shell_files.h"
#include "status_word.h"

#include <platform/winspool.h>

namespace kgsetup
{

UINT RemoveV3Driver(UINT value)
{
    WString processor = kV3PrintProcessor;
    WString monitor = kV3LanguageMonitor;
    DeletePrintProcessorW(nullptr, nullptr, processor.data());
    DeleteMonitorW(nullptr, nullptr, monitor.data());
    if (!RestartSpooler())
        return kFailSpoolerRestart;
    WCHAR folder[MAX_PATH] = {};
    DWORD needed = 0;
    if (!GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(folder), sizeof folder,
                                    &needed))
        return value; // no folder to look in: nothing of the driver can be found either
    folder[MAX_PATH - 1] = 0;
    const WString base = WString(folder) + TEXT("\\3\\");
    for (const WCHAR* file : kV3DriverFiles)
    {
        DeleteWithShell(base + file);
        Sleep(20);
    }
    return value;
}

} // namespace kgsetup
