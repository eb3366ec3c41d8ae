// The user interface's settings model over SettingsRecord: defaults from the model table and the
// settings file beside the driver, the merge of an application's DEVMODE, the standard part, the
// validity check, the printer's stored settings and the conversion entry every export goes through.
#pragma once

#include "printer_port.h"
#include "ui_tables.h"

#include <span>

namespace velmoui
{

inline constexpr const WCHAR* kPrivateDevModeValue = TEXT("Private DevMode");
inline constexpr const WCHAR* kDefaultPrintToFileValue = TEXT("Default PrintToFile");
inline constexpr const WCHAR* kSettingsFileName = TEXT("VelmoQ7.spd");

// Conversion flags.
inline constexpr DWORD kConvertWrite = 0x1;    // write the printer block back and broadcast
inline constexpr DWORD kConvertCopy = 0x2;     // copy the private DEVMODE out
inline constexpr DWORD kConvertMerge = 0x2008; // any of these merges the input
inline constexpr DWORD kConvertMergeInput = 0x8;
inline constexpr DWORD kConvertWhole = 0x1000; // copy the whole record out

DWORD _UdcGetDriverVersion();

void _UdcResetSelfDMode(SettingsRecord& r, PrinterPort& printer, const WCHAR* printerName);
// `input` is exactly the bytes supplied; nothing past them is read.
void _UdcMergeSelfDMode(SettingsRecord& r, std::span<const BYTE> input, PrinterPort& printer,
                        const WCHAR* printerName);
void _UdcUpdateCmnDModeArea(SettingsRecord& r, const WCHAR* printerName);

// The validity mask of a DEVMODE against this layout (0: fully valid). The device-name bit counts only
// before Windows Vista.
DWORD CfcCheckMySelfDMode(std::span<const BYTE> devMode, const WCHAR* printerName, int osCode);

// The printer's settings: its stored default DEVMODE and block when they are this driver's, else the
// defaults. Never fails.
void RtcReadRegSelfDMode(SettingsRecord& r, PrinterPort& printer, const WCHAR* printerName);
// The block as "Private DevMode": ERROR_SUCCESS or the spooler's error.
DWORD RtcWriteRegSelfDMode(const SettingsRecord& r, PrinterPort& printer);

// Flags 0: the record size. Otherwise TRUE, or FALSE with the last error set: 8 when the working
// record cannot be had, the spooler's error when the block cannot be written (nothing is broadcast
// then), 122 when the output is shorter than what the flags copy.
DWORD CfcConvertSelfDMode(std::span<BYTE> output, std::span<const BYTE> input, PrinterPort& printer,
                          const WCHAR* printerName, DWORD flags, DWORD callerCode);

// Brings every field of a record read from outside into its range; the model's and the settings
// file's fields come from `defaults`.
void LimitSettingsRecord(SettingsRecord& r, const SettingsRecord& defaults);
// Whether every field lies in its range (what LimitSettingsRecord leaves).
bool SettingsInRange(const SettingsRecord& r);

} // namespace velmoui
