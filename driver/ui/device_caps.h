// What applications and the spooler learn of the printer: its capabilities over the printer's
// settings merged with the caller's DEVMODE.
#pragma once

#include <platform/winddiui.h>

namespace velmoui
{

inline constexpr DWORD kCapsFailed = 0xFFFFFFFF; // GDI_ERROR
inline constexpr size_t kPaperNameChars = 64;
inline constexpr size_t kBinNameChars = 24;

// The count or value of `capability`; the output, when given, is filled as the capability
// describes. kCapsFailed for an unknown capability or when the settings cannot be had.
DWORD DrvDeviceCapabilities(HANDLE printer, LPWSTR deviceName, WORD capability, void* output,
                            const DEVMODEW* devMode);
// The spooler's paper names: DC_PAPERNAMES and DC_MEDIAREADY only, into `length` characters.
DWORD DrvSplDeviceCaps(HANDLE printer, LPWSTR deviceName, WORD capability, void* output, DWORD length,
                       const DEVMODEW* devMode);

} // namespace velmoui
