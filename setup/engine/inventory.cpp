#include "inventory.h"

#include "inf_file.h"

#include <cstring>

namespace kgsetup
{
namespace
{
constexpr int kEnumerationTries = 3;

WString TextOf(LPCWSTR s)
{
    return s ? WString(s) : WString();
}

template <typename T, typename Keep> EnumBuffer<T> Filter(EnumBuffer<T> all, Keep keep)
{
    std::erase_if(all.records, [&](const T& record) { return !keep(record); });
    all.count = static_cast<DWORD>(all.records.size());
    return all;
}

bool Contains(const std::vector<WString>& list, const WString& text)
{
    for (const WString& s : list)
        if (s == text)
            return true;
    return false;
}

bool ContainsNoCase(const std::vector<WString>& list, const WString& text)
{
    for (const WString& s : list)
        if (EqualsNoCase(s, text))
            return true;
    return false;
}
} // namespace

template <typename T> EnumBuffer<T> TwoCallEnumerate(const EnumCall& call)
{
    EnumBuffer<T> out;
    for (int attempt = 0; attempt < kEnumerationTries; ++attempt)
    {
        DWORD needed = 0, returned = 0;
        if (call(nullptr, 0, &needed, &returned))
            return out; // nothing to list
        if (GetLastError() == ERROR_INSUFFICIENT_BUFFER && needed == 0)
            return out; // no bytes of records either: an empty list
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        {
            out.error = GetLastError() ? GetLastError() : ERROR_INVALID_DATA;
            return out;
        }
        auto bytes = std::make_unique<BYTE[]>(needed);
        std::memset(bytes.get(), 0, needed);
        DWORD got = 0;
        if (!call(bytes.get(), needed, &got, &returned))
        {
            out.error = GetLastError() ? GetLastError() : ERROR_INVALID_DATA;
            if (out.error == ERROR_INSUFFICIENT_BUFFER)
                continue; // the list grew between the calls
            return out;
        }
        for (DWORD i = 0; i < returned && (size_t{i} + 1) * sizeof(T) <= needed; ++i)
        {
            T record;
            std::memcpy(&record, bytes.get() + size_t{i} * sizeof(T), sizeof(T));
            out.records.push_back(record);
        }
        out.count = static_cast<DWORD>(out.records.size());
        out.bytesNeeded = needed;
        out.bytes = std::move(bytes);
        out.error = 0;
        return out;
    }
    return out;
}

template EnumBuffer<PRINTER_INFO_2W> TwoCallEnumerate(const EnumCall&);
template EnumBuffer<DRIVER_INFO_8W> TwoCallEnumerate(const EnumCall&);
template EnumBuffer<JOB_INFO_2W> TwoCallEnumerate(const EnumCall&);
template EnumBuffer<PORT_INFO_2W> TwoCallEnumerate(const EnumCall&);

EnumBuffer<PRINTER_INFO_2W> EnumPrintersLocal()
{
    return TwoCallEnumerate<PRINTER_INFO_2W>([](LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned) {
        return EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer, size, needed, returned);
    });
}

EnumBuffer<DRIVER_INFO_8W> EnumInstalledDrivers()
{
    return TwoCallEnumerate<DRIVER_INFO_8W>([](LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned) {
        return EnumPrinterDriversW(nullptr, nullptr, 8, buffer, size, needed, returned);
    });
}

EnumBuffer<JOB_INFO_2W> EnumJobs(HANDLE printer, DWORD count)
{
    return TwoCallEnumerate<JOB_INFO_2W>([&](LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned) {
        return EnumJobsW(printer, 0, count, 2, buffer, size, needed, returned);
    });
}

EnumBuffer<DRIVER_INFO_8W> EnumDriversByNames(const std::vector<WString>& driverNames)
{
    return Filter(EnumInstalledDrivers(),
                  [&](const DRIVER_INFO_8W& d) { return Contains(driverNames, TextOf(d.pName)); });
}

EnumBuffer<PRINTER_INFO_2W> EnumPrintersByDrivers(const std::vector<WString>& driverNames)
{
    return Filter(EnumPrintersLocal(),
                  [&](const PRINTER_INFO_2W& p) { return Contains(driverNames, TextOf(p.pDriverName)); });
}

EnumBuffer<PRINTER_INFO_2W> EnumPrintersOnPort(const WString& portName)
{
    return Filter(EnumPrintersLocal(),
                  [&](const PRINTER_INFO_2W& p) { return TextOf(p.pPortName) == portName; });
}

EnumBuffer<PRINTER_INFO_2W> EnumPrintersByName(const std::vector<WString>& printerNames)
{
    return Filter(EnumPrintersLocal(), [&](const PRINTER_INFO_2W& p) {
        return ContainsNoCase(printerNames, TextOf(p.pPrinterName));
    });
}

CInstalledInventory::CInstalledInventory(CDriverPackage* owner) : package(owner)
{
    package->FindMakerOemInfs(static_cast<DWORD>(package->oemInfFilter));
    infError = package->oemInfsError;
    WCHAR windows[MAX_PATH] = {};
    UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
    const WString infFolder =
        (length && length < MAX_PATH ? WString(windows, length) : WString(TEXT("C:\\Windows"))) +
        TEXT("\\INF\\");
    for (const WString& inf : package->oemInfs)
    {
        // Read on a package of its own, so the shared package's results stay as they were.
        CDriverPackage installed(infFolder + inf);
        driversByInf[inf] = EnumDriversByNames(installed.models);
        // Its models unread, the INF's drivers are not known: none listed is no proof there are none.
        infError = infError ? infError : installed.infReadError;
        error = error ? error : installed.infReadError;
        error = error ? error : driversByInf[inf].error;
    }
    error = error ? error : package->oemInfsError;
    for (const auto& [inf, drivers] : driversByInf)
        for (const DRIVER_INFO_8W& driver : drivers.records)
        {
            const WString name = TextOf(driver.pName);
            if (!printersByDriver.count(name))
            {
                printersByDriver[name] = EnumPrintersByDrivers({name});
                error = error ? error : printersByDriver[name].error;
            }
        }
    for (const auto& [driver, printers] : printersByDriver)
        for (const PRINTER_INFO_2W& printer : printers.records)
        {
            WString name = TextOf(printer.pPrinterName);
            PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
            HANDLE handle = nullptr;
            if (!OpenPrinter2W(name.c_str(), &handle, &defaults, nullptr))
                continue;
            jobsByPrinter[name] = EnumJobs(handle, printer.cJobs);
            ClosePrinter(handle);
        }
}

bool CInstalledInventory::HasDrivers(DWORD kind)
{
    driverNames.clear();
    package->FindMakerOemInfs(kind == 3 ? kFilterMakerV3 : kFilterMakerV4);
    infError = infError ? infError : package->oemInfsError;
    error = error ? error : package->oemInfsError;
    if (package->oemInfs.empty())
        return false;
    for (const WString& inf : package->oemInfs)
    {
        auto it = driversByInf.find(inf);
        if (it == driversByInf.end())
            continue;
        for (const DRIVER_INFO_8W& driver : it->second.records)
            driverNames.push_back(TextOf(driver.pName));
    }
    return true;
}

} // namespace kgsetup
