// What applications and the spooler learn of the printer: its capabilities over the printer's
// settings merged with the caller's DEVMODE.
#pragma once

#include "print_proc_caps.h"
#include "ui_tables.h"

#include <platform/winddiui.h>

#include <optional>
#include <vector>

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

// The layout features the print processor and the model allow: the page-order flags' layout bits,
// standard layout always, the system's own from Vista on (`osCode` as GetOsCode gives it), combination
// when more than one N-up value is listed, booklet when the processor and the model both can.
DWORD LayoutFeatureWord(const SettingsRecord& r, const std::optional<PrintProcCaps>& caps, int osCode);
// Whether the record's paper can be printed as a booklet: a duplex model at automatic zoom, A3, A4 or B4
// fed one way, A4 (or B5 where the model has it) fed the other.
bool BookletPaperAllowed(const SettingsRecord& r);
// Whether a job may keep a layout mode (booklet also needs its paper).
bool LayoutModeAllowed(LONG mode, DWORD featureWord, bool bookletPaper);
// The modes the layout list shows, in the layout-mode table's order: those whose bit the word has.
std::vector<LONG> ListedLayoutModes(DWORD featureWord);

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
