// What the spooler holds, taken stock of: installed drivers, local printers and their jobs, each read
// with the spooler's two-call enumeration, and tied to the maker's installed OEM INFs.
#pragma once

#include "driver_package.h"

#include <platform/winspool.h>

#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace kgsetup
{

// One enumeration's records and the bytes their strings point into. Move-only: a copy would point
// into the bytes of the original.
template <typename T> struct EnumBuffer
{
    std::vector<T> records;
    DWORD count = 0;
    DWORD bytesNeeded = 0;
    std::unique_ptr<BYTE[]> bytes;
    DWORD error = 0; // why a list is empty when the spooler refused it; 0 when it was read

    EnumBuffer() = default;
    EnumBuffer(EnumBuffer&&) noexcept = default;
    EnumBuffer& operator=(EnumBuffer&&) noexcept = default;
    EnumBuffer(const EnumBuffer&) = delete;
    EnumBuffer& operator=(const EnumBuffer&) = delete;
};

// A spooler call of the two-call protocol: (buffer, size, needed, returned) -> BOOL.
using EnumCall = std::function<BOOL(LPBYTE, DWORD, LPDWORD, LPDWORD)>;

// Asks for the size, then for the records in a buffer of exactly that size. A list that grew between
// the two calls is asked for again, up to three times; a failure gives an empty result.
template <typename T> EnumBuffer<T> TwoCallEnumerate(const EnumCall& call);

EnumBuffer<PRINTER_INFO_2W> EnumPrintersLocal();
EnumBuffer<DRIVER_INFO_8W> EnumInstalledDrivers();
EnumBuffer<JOB_INFO_2W> EnumJobs(HANDLE printer, DWORD count);

// Filters over the spooler's lists, in its order. A missing field compares as empty text.
EnumBuffer<DRIVER_INFO_8W> EnumDriversByNames(const std::vector<WString>& driverNames);     // exact
EnumBuffer<PRINTER_INFO_2W> EnumPrintersByDrivers(const std::vector<WString>& driverNames); // exact
EnumBuffer<PRINTER_INFO_2W> EnumPrintersOnPort(const WString& portName);                    // exact
EnumBuffer<PRINTER_INFO_2W> EnumPrintersByName(const std::vector<WString>& printerNames);   // without case

class CInstalledInventory
{
public:
    // Scans at once: the package's maker OEM INFs, their drivers, the drivers' printers, their jobs.
    explicit CInstalledInventory(CDriverPackage* package);

    CDriverPackage* package;
    std::map<WString, EnumBuffer<DRIVER_INFO_8W>> driversByInf;
    std::map<WString, EnumBuffer<PRINTER_INFO_2W>> printersByDriver;
    std::map<WString, EnumBuffer<JOB_INFO_2W>> jobsByPrinter;
    std::vector<WString> driverNames;
    // The first list that could not be read, so that the inventory lacks what it holds; 0 when whole.
    DWORD error = 0;
    // The first of those failures that was an INF's (listed or its models read); 0 when all were read.
    DWORD infError = 0;

    // Kind 3 asks for the V3 drivers of the installed maker INFs, else V4: their names go to
    // driverNames. False when no such INF is installed. Lists the package's oemInfs anew; a listing
    // that failed goes to error and infError.
    bool HasDrivers(DWORD kind);
};

} // namespace kgsetup
