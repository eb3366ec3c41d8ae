// The simulated print spooler as tests see them: printers with their drivers, default DEVMODEs and
// printer data, and what the jobs sent to a printer's port. Programs reach it through winspool's
// functions (OpenPrinterW, GetPrinterW, ...); the graphics engine through its Eng* services.
#pragma once

#include <platform/winspool.h>

#include <optional>
#include <string>
#include <vector>

namespace sim
{

struct PrinterSetup
{
    WString name;
    WString driverName;
    WString portName = u"LPT1:";
    WString printProcessor = u"WinPrint";
    DWORD attributes = PRINTER_ATTRIBUTE_LOCAL;
    std::vector<BYTE> defaultDevMode; // any size and version, as stored; empty: none
    WString driverPath;               // the graphics DLL, e.g. C:\...\spool\drivers\x64\3\VELMOQ7.DLL
};

struct PrinterDataValue
{
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

class Spooler
{
public:
    // Installs (or replaces, with no data) a printer.
    void AddPrinter(const PrinterSetup& printer);
    HANDLE OpenPrinter(WStringView printerName); // null when there is no such printer
    void ClosePrinter(HANDLE printer);

    // The driver's printer data (GetPrinterDataW's values).
    void SetPrinterData(WStringView printerName, WStringView valueName, DWORD type, std::vector<BYTE> data);
    std::optional<PrinterDataValue> PrinterData(WStringView printerName, WStringView valueName) const;
    int PrinterDataReads(WStringView printerName) const; // GetPrinterData calls so far, the engine's too

    // What the jobs sent to the printer's port, in the order written.
    std::string Output(WStringView printerName) const;
};

Spooler& spooler();

} // namespace sim
