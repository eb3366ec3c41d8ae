// The classic driver's pieces the spooler leaves behind when its driver goes: the print processor,
// the language monitor and the files in the driver folder's "3" folder.
#pragma once

#include <platform/windows.h>

namespace kgsetup
{

// The files of the classic driver in the spooler's driver folder, in the order they are deleted.
inline constexpr const WCHAR* kV3DriverFiles[] = {
    TEXT("VelmoQ7.inf"),  TEXT("Velmq7UI.dll"), TEXT("VelmoPrintToFile.exe"), TEXT("VelmoQ7.dll"),
    TEXT("VelmoQ7L.dll"), TEXT("VelmoQ7.chm"),  TEXT("VelmoQ7.spd"),          TEXT("KglPrint.dll"),
};
inline constexpr WCHAR kV3PrintProcessor[] = TEXT("KglPrint");
inline constexpr WCHAR kV3LanguageMonitor[] = TEXT("KORIGRAPH Q7 Language Monitor");

// Deletes the processor and the monitor, restarts the spooler so it lets go of the driver's DLLs,
// then deletes the files 20 ms apart: `value`, or 0x0F000000 (no file touched) when the spooler
// did not restart. Missing files and failed deletions do not count.
UINT RemoveV3Driver(UINT value);

} // namespace kgsetup
