// What applications and the spooler learn of the printer: its capabilities over the printer's
// settings merged with the caller's DEVMODE.
#pragma once

#include "print_proc_caps.h"
#include "ui_tables.h"

#include <platform/winddiui.h>

namespace velmoui
{

inline constexpr DWORD kCapsFailed = 0xFFFFFFFF; // GDI_ERROR
inline constexpr size_t kPaperNameChars = 64;
inline constexpr size_t kBinNameChars = 24;

// The answer of `capability` from a record; the output, when given, is filled.
DWORD DeviceCapability(const SettingsRecord& r, WORD capability, void* output);
// The job's layout from a record and the print processor's capabilities; `job` is the job's DEVMODE,
// whose dmNup counts only when its dmSize covers it.
ATTRIBUTE_INFO_4 JobAttributesOf(const SettingsRecord& r, const PrintProcCaps& caps, const DEVMODEW& job);

// The count or value of `capability`; the output, when given, is filled as the capability
// describes. kCapsFailed for an unknown capability or when the settings cannot be had.
DWORD DrvDeviceCapabilities(HANDLE printer, LPWSTR deviceName, WORD capability, void* output,
                            const DEVMODEW* devMode);
// The spooler's paper names: DC_PAPERNAMES and DC_MEDIAREADY only, into `length` characters.
DWORD DrvSplDeviceCaps(HANDLE printer, LPWSTR deviceName, WORD capability, void* output, DWORD length,
                       const DEVMODEW* devMode);

// How the print processor lays the job out, at levels 1 to 4 (ATTRIBUTE_INFO_1 .. _4, each the start
// of the next). The job DEVMODE's dmCollate is set from the settings when its dmSize covers it.
BOOL DrvQueryJobAttributes(HANDLE printer, DEVMODEW* devMode, DWORD level, LPBYTE info);

} // namespace velmoui
