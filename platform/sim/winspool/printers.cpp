// Printers: installed by a test or by AddPrinterW, read with GetPrinterW and EnumPrintersW, changed
// with SetPrinterW by a handle opened to administer them.
#include "winspool/spooler_internal.h"

#include "core/state.h"
#include "core/two_call.h"
#include "devices/device_list.h"

#include <algorithm>
#include <map>

namespace sim
{
namespace
{
struct Printers : detail::PartBase
{
    std::map<WString, PrinterSetup> byName; // by folded name
};

Printers& printers()
{
    return detail::Part<Printers>();
}

constexpr WStringView kPrintersKey = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers";
} // namespace

const PrinterSetup* detail::FindPrinter(WStringView name)
{
    return FindPrinterToChange(name);
}

PrinterSetup* detail::FindPrinterToChange(WStringView name)
{
    auto it = printers().byName.find(Fold(name));
    return it == printers().byName.end() ? nullptr : &it->second;
}

// Its key goes with it, the settings a program stored there too.
void detail::RemovePrinter(WStringView name)
{
    auto it = printers().byName.find(Fold(name));
    if (it == printers().byName.end())
        return;
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, WString(kPrintersKey) + u"\\" + it->second.name);
    printers().byName.erase(it);
    ForgetPrinterData(name);
    ForgetJobs(name);
}

void detail::RenamePrinter(WStringView oldName, WStringView newName)
{
    auto node = printers().byName.extract(Fold(oldName));
    if (node.empty())
        return;
    // Its key and the settings in it go with it.
    RenameRegistryKey(HKEY_LOCAL_MACHINE, WString(kPrintersKey) + u"\\" + node.mapped().name, newName);
    node.mapped().name = WString(newName);
    node.key() = Fold(newName);
    printers().byName.insert(std::move(node));
    RenamePrinterData(oldName, newName);
    RenameJobs(oldName, newName);
    for (const auto& object : OpenHandleObjects())
        if (auto handle = std::dynamic_pointer_cast<PrinterHandle>(object);
            handle && EqualNoCase(handle->printerName, oldName))
            handle->printerName = WString(newName);
    RenamePrintQueueNode(oldName, newName);
}

bool detail::PortInUse(WStringView portName)
{
    for (const auto& [folded, printer] : printers().byName)
        for (const WString& own : SplitPortList(printer.portName))
            if (EqualNoCase(own, portName))
                return true;
    return false;
}

// What the spooler reads at its start: the DEVMODE stored with each printer in the registry.
void detail::ReloadDefaultDevModes()
{
    for (auto& [folded, printer] : printers().byName)
    {
        auto stored = registry().Value(HKEY_LOCAL_MACHINE, WString(kPrintersKey) + u"\\" + printer.name,
                                       u"Default DevMode");
        if (stored && stored->type == REG_BINARY)
            printer.defaultDevMode = stored->data;
    }
}

void Spooler::AddPrinter(const PrinterSetup& printer)
{
    std::lock_guard g(detail::StateLock());
    printers().byName[detail::Fold(printer.name)] = printer;
    detail::ForgetPrinterData(printer.name);
    // Each printer has its key, where its default settings are kept across the spooler's runs.
    detail::EnsureRegistryKey(HKEY_LOCAL_MACHINE, WString(kPrintersKey) + u"\\" + printer.name);
}

std::vector<PrinterSetup> Spooler::Printers() const
{
    std::lock_guard g(detail::StateLock());
    std::vector<PrinterSetup> out;
    for (const auto& [key, p] : printers().byName)
        out.push_back(p);
    return out;
}

std::optional<PrinterSetup> Spooler::Printer(WStringView name) const
{
    std::lock_guard g(detail::StateLock());
    const PrinterSetup* p = detail::FindPrinter(name);
    return p ? std::optional(*p) : std::nullopt;
}
} // namespace sim

using namespace sim;
using namespace sim::detail;

namespace
{
WStringView Text(LPCWSTR s)
{
    return s ? WStringView(s) : WStringView();
}

void FillInfo2(Packer& pack, PRINTER_INFO_2W* info, const PrinterSetup& s)
{
    info->pPrinterName = pack.String(s.name);
    info->pPortName = pack.String(s.portName);
    info->pDriverName = pack.String(s.driverName);
    info->pPrintProcessor = pack.String(s.printProcessor);
    info->pDatatype = pack.String(u"RAW");
    if (s.comment)
        info->pComment = pack.String(*s.comment);
    if (!s.defaultDevMode.empty())
        info->pDevMode =
            reinterpret_cast<LPDEVMODEW>(pack.Bytes(s.defaultDevMode.data(), s.defaultDevMode.size()));
    info->Attributes = s.attributes;
    info->Status = s.status;
    info->cJobs = static_cast<DWORD>(JobsOf(s.name).size());
}

void FillInfo4(Packer& pack, PRINTER_INFO_4W* info, const PrinterSetup& s)
{
    info->pPrinterName = pack.String(s.name);
    info->Attributes = s.attributes;
}

// A printer may print to several ports, each one some monitor keeps.
bool KnownPorts(WStringView list)
{
    std::vector<WString> names = SplitPortList(list);
    return !names.empty() &&
           std::all_of(names.begin(), names.end(), [](const WString& n) { return HasPort(n); });
}

// The checks AddPrinterW and SetPrinterW make of a printer's driver, port and print processor.
DWORD CheckParts(WStringView driver, WStringView port, WStringView processor)
{
    if (!FindDriver(driver, NativeEnvironment()))
        return ERROR_UNKNOWN_PRINTER_DRIVER;
    if (!KnownPorts(port))
        return ERROR_UNKNOWN_PORT;
    if (!HasPrintProcessor(processor))
        return ERROR_UNKNOWN_PRINTPROCESSOR;
    return 0;
}
} // namespace

BOOL WINAPI GetPrinterW(HANDLE printer, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed)
{
    SIM_SPOOLER_CALL("GetPrinterW", FALSE);
    std::lock_guard g(StateLock());
    auto handle = CheckedPrinterHandle(printer);
    if (!handle)
        return FALSE;
    const PrinterSetup& s = *FindPrinter(handle->printerName);
    switch (level)
    {
    case 2:
        return PackTwoCall(buffer, size, needed, sizeof(PRINTER_INFO_2W),
                           [&](Packer& pack) { FillInfo2(pack, pack.Fixed<PRINTER_INFO_2W>(), s); });
    case 4:
        return PackTwoCall(buffer, size, needed, sizeof(PRINTER_INFO_4W),
                           [&](Packer& pack) { FillInfo4(pack, pack.Fixed<PRINTER_INFO_4W>(), s); });
    case 5:
        return PackTwoCall(buffer, size, needed, sizeof(PRINTER_INFO_5W), [&](Packer& pack) {
            auto* info = pack.Fixed<PRINTER_INFO_5W>();
            info->pPrinterName = pack.String(s.name);
            info->pPortName = pack.String(s.portName);
            info->Attributes = s.attributes;
        });
    default:
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
}

BOOL WINAPI EnumPrintersW(DWORD flags, LPWSTR name, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
                          LPDWORD returned)
{
    SIM_SPOOLER_CALL("EnumPrintersW", FALSE);
    if (!EnumerationArguments(nullptr, level, {2, 4}, needed, returned))
        return FALSE;
    std::lock_guard g(StateLock());
    std::vector<const PrinterSetup*> list;
    // Only this machine's own printers: a named server or connections list none.
    if ((flags & PRINTER_ENUM_LOCAL) && (!name || !*name))
        for (const auto& [key, p] : printers().byName)
            list.push_back(&p);
    const size_t fixed = level == 2 ? sizeof(PRINTER_INFO_2W) : sizeof(PRINTER_INFO_4W);
    return PackEnumeration(buffer, size, needed, returned, list.size(), fixed, [&](Packer& pack) {
        for (size_t i = 0; i < list.size(); ++i)
            if (level == 2)
                FillInfo2(pack, pack.Fixed<PRINTER_INFO_2W>(i), *list[i]);
            else
                FillInfo4(pack, pack.Fixed<PRINTER_INFO_4W>(i), *list[i]);
    });
}

namespace
{
// AddPrinterW's checks and the new printer; StateLock held.
HANDLE AddLocked(LPWSTR serverName, DWORD level, LPBYTE printer, WString& name, WString& configFile)
{
    if (serverName && *serverName)
    {
        SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    if (level != 2)
    {
        SetLastError(ERROR_INVALID_LEVEL);
        return nullptr;
    }
    const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(printer);
    if (!info || Text(info->pPrinterName).empty() || Text(info->pPortName).empty() ||
        Text(info->pDriverName).empty())
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!Administrator())
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    if (FindPrinter(info->pPrinterName))
    {
        SetLastError(ERROR_PRINTER_ALREADY_EXISTS);
        return nullptr;
    }
    if (DWORD error = CheckParts(info->pDriverName, info->pPortName, Text(info->pPrintProcessor)))
    {
        SetLastError(error);
        return nullptr;
    }
    const DriverSetup* driver = FindDriver(info->pDriverName, NativeEnvironment());
    PrinterSetup added;
    added.name = info->pPrinterName;
    added.driverName = driver->name;
    added.portName = info->pPortName;
    added.printProcessor = info->pPrintProcessor;
    added.attributes = (info->Attributes & ~PRINTER_ATTRIBUTE_NETWORK) | PRINTER_ATTRIBUTE_LOCAL;
    added.driverPath = driver->driverPath;
    if (info->pComment)
        added.comment = WString(info->pComment);
    spooler().AddPrinter(added);
    auto handle = std::make_shared<PrinterHandle>();
    handle->printerName = added.name;
    handle->access = PRINTER_ALL_ACCESS;
    name = added.name;
    configFile = driver->configFile;
    return AddHandle(handle);
}
} // namespace

HANDLE WINAPI AddPrinterW(LPWSTR serverName, DWORD level, LPBYTE printer)
{
    SIM_SPOOLER_CALL("AddPrinterW", nullptr);
    HANDLE added = nullptr;
    WString name, configFile;
    {
        std::lock_guard g(StateLock());
        added = AddLocked(serverName, level, printer, name, configFile);
    }
    // The driver hears of its new printer in the spooler's process, with nothing of the spooler held.
    if (added && !configFile.empty())
        HostNewPrinter(name, configFile);
    return added;
}

BOOL WINAPI SetPrinterW(HANDLE printer, DWORD level, LPBYTE printerInfo, DWORD command)
{
    SIM_SPOOLER_CALL("SetPrinterW", FALSE);
    std::lock_guard g(StateLock());
    auto handle = AdministeredPrinterHandle(printer);
    if (!handle)
        return FALSE;
    if ((level != 2 && level != 4) || command != 0)
    {
        SetLastError(level != 2 && level != 4 ? ERROR_INVALID_LEVEL : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!printerInfo)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    PrinterSetup& s = *FindPrinterToChange(handle->printerName);
    if (level == 4)
    {
        s.attributes = reinterpret_cast<const PRINTER_INFO_4W*>(printerInfo)->Attributes;
        return TRUE;
    }
    const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(printerInfo);
    WStringView name = Text(info->pPrinterName), port = Text(info->pPortName),
                driver = Text(info->pDriverName), processor = Text(info->pPrintProcessor);
    const bool renames = !name.empty() && name != WStringView(s.name);
    if (renames && !EqualNoCase(name, s.name))
    {
        // A printer's name is a server's own: no backslash or comma, and at most 220 characters.
        if (name.size() > 220 || name.find_first_of(u"\\,") != WStringView::npos)
        {
            SetLastError(ERROR_INVALID_PRINTER_NAME);
            return FALSE;
        }
        if (FindPrinter(name))
        {
            SetLastError(ERROR_PRINTER_ALREADY_EXISTS);
            return FALSE;
        }
    }
    // Only what changes is checked: a printer a test set up may name a driver nobody installed.
    auto changes = [](WStringView to, const WString& from) { return !to.empty() && !EqualNoCase(to, from); };
    DWORD error = 0;
    if (changes(driver, s.driverName) && !FindDriver(driver, NativeEnvironment()))
        error = ERROR_UNKNOWN_PRINTER_DRIVER;
    else if (changes(port, s.portName) && !KnownPorts(port))
        error = ERROR_UNKNOWN_PORT;
    else if (changes(processor, s.printProcessor) && !HasPrintProcessor(processor))
        error = ERROR_UNKNOWN_PRINTPROCESSOR;
    if (error)
    {
        SetLastError(error);
        return FALSE;
    }
    if (info->pComment)
        s.comment = WString(info->pComment);
    if (changes(driver, s.driverName))
    {
        s.driverName = FindDriver(driver, NativeEnvironment())->name;
        s.driverPath = FindDriver(driver, NativeEnvironment())->driverPath;
    }
    if (!port.empty())
        s.portName = WString(port);
    if (!processor.empty())
        s.printProcessor = WString(processor);
    s.attributes = info->Attributes;
    if (renames)
        detail::RenamePrinter(WString(s.name), WString(name)); // last: `s` moves with it
    return TRUE;
}

BOOL WINAPI DeletePrinter(HANDLE printer)
{
    SIM_SPOOLER_CALL("DeletePrinter", FALSE);
    std::lock_guard g(StateLock());
    auto handle = AdministeredPrinterHandle(printer);
    if (!handle)
        return FALSE;
    EndOpenJob(*handle);
    RemovePrinter(handle->printerName);
    return TRUE;
}
