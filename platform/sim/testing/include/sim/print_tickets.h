// The simulated printers' settings and print tickets: a printer's DEVMODE is the public part and a
// private part whose flag says "print to file"; "prntvpt.dll" turns it into a ticket holding that
// flag as the job's print-to-file feature ("psk:On" or "psk:Off") and reads such a ticket back,
// strictly (anything after the ticket's end is refused).
#pragma once

#include <platform/windows.h>

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace sim
{

inline constexpr char kPrintToFileOff[] =
    "<psf:Feature name=\"ns0000:JobPrintToFile\"><psf:Option name=\"psk:Off\"/></psf:Feature>";
inline constexpr char kPrintToFileOn[] =
    "<psf:Feature name=\"ns0000:JobPrintToFile\"><psf:Option name=\"psk:On\"/></psf:Feature>";

// A DEVMODE of the machine's printers for that device name.
std::vector<BYTE> PrinterDevMode(WStringView deviceName, bool printToFile);
// The flag of such a DEVMODE; nothing for bytes of another layout or cut short.
std::optional<bool> PrintToFileOf(std::span<const BYTE> devMode);
// The ticket the machine writes for a DEVMODE with that flag.
std::string PrintTicketFor(bool printToFile);
// The flag a ticket holds when the machine would read it; nothing when it would refuse it.
std::optional<bool> ReadPrintTicket(std::string_view ticket);

} // namespace sim
