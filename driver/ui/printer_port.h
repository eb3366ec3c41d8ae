// What the settings model needs of a printer and of the machine: the spooler's record of the
// printer, its printer data, the driver folder, the system's version code and the broadcast that
// tells windows the printer's settings changed. The DLL's entry points reach the spooler through it.
#pragma once

#include <platform/windows.h>

#include <optional>
#include <span>
#include <vector>

namespace velmoui
{

struct PrinterRecord
{
    WString printerName;
    WString driverName;
    std::vector<BYTE> defaultDevMode; // as the spooler keeps it; empty: none
    DWORD attributes = 0;
    WString portName;
};

struct PrinterValue
{
    DWORD type = 0;
    std::vector<BYTE> data;
};

class PrinterPort
{
public:
    virtual ~PrinterPort() = default;
    virtual std::optional<PrinterRecord> Printer() = 0;
    // A printer data value, or the spooler's error for it.
    virtual DWORD GetData(const WCHAR* valueName, PrinterValue& value) = 0;
    virtual DWORD SetData(const WCHAR* valueName, DWORD type, std::span<const BYTE> data) = 0;
    virtual WString DriverDirectory() = 0; // empty when the spooler gives none
    virtual int OsCode() = 0;
    virtual void BroadcastDevModeChange(const WCHAR* printerName) = 0;
};

// The operating-system codes compared by threshold.
inline constexpr int kOsVista = 203;

} // namespace velmoui
