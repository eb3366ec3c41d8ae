// The settings model's printer over the spooler: an open printer handle and the system's calls for
// its record, its printer data, the driver folder, the system's version and the broadcast.
#pragma once

#include "printer_port.h"

namespace velmoui
{

// A printer opened by name without access defaults, closed when this goes.
class OpenedPrinter
{
public:
    explicit OpenedPrinter(const WCHAR* printerName);
    ~OpenedPrinter();
    OpenedPrinter(const OpenedPrinter&) = delete;
    OpenedPrinter& operator=(const OpenedPrinter&) = delete;

    HANDLE Handle() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    HANDLE handle_ = nullptr;
};

class SpoolerPrinter : public PrinterPort
{
public:
    explicit SpoolerPrinter(HANDLE printer) : printer_(printer) {}

    std::optional<PrinterRecord> Printer() override;
    DWORD GetData(const WCHAR* valueName, PrinterValue& value) override;
    DWORD SetData(const WCHAR* valueName, DWORD type, std::span<const BYTE> data) override;
    WString DriverDirectory() override;
    int OsCode() override;
    void BroadcastDevModeChange(const WCHAR* printerName) override;

private:
    HANDLE printer_;
};

// The system's version as one code: 211 Windows 10 and later, 209 8.1, 207 8, 205 7, 203 Vista,
// 201 XP by the version test (one more for each on a server); from the version record when that
// test finds none of them: 101 NT 3, 102 NT 4, 103 2000, 104 XP, 201 Server 2003; -1 otherwise.
int GetOsCode();

} // namespace velmoui
