// The print processor's capabilities as it publishes them in the printer data
// "PrintProcCaps_NT EMF 1.008": a 16-byte record {level; N-up options; page-order flags; copies}.
#pragma once

#include "printer_port.h"

#include <optional>
#include <span>
#include <vector>

namespace velmoui
{

inline constexpr const WCHAR* kPrintProcCapsValue = TEXT("PrintProcCaps_NT EMF 1.008");
inline constexpr DWORD kPrinterRawOnly = 0x1000;
inline constexpr DWORD kPrinterDirect = 0x2;

struct PrintProcCaps
{
    std::vector<LONG> nupList; // for each bit i of the N-up options, rising: i + 1
    DWORD pageOrderFlags = 0;
    DWORD copies = 0;
    bool booklet = false; // page-order bit 0x2

    bool Lists(LONG pages) const;
};

// Accepted only at level 1 and on a printer that is not raw-only; for the property sheets also not
// on a direct printer or one printing to "FILE:".
std::optional<PrintProcCaps> ParsePrintProcCaps(std::span<const BYTE> value, const PrinterRecord& printer,
                                                bool forSheets);
std::optional<PrintProcCaps> ReadPrintProcCaps(PrinterPort& port, bool forSheets);

} // namespace velmoui
