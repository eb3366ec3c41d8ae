#include "port_monitors.h"

#include "components.h"
#include "ini.h"
#include "log.h"
#include "os_index.h"
#include "startup.h"
#include "text.h"

#include <platform/winspool.h>

#include <cstdio>
#include <cstring>
#include <new>

namespace uninstall
{
namespace
{
constexpr const char* kMonitorsKey = "System\\CurrentControlSet\\Control\\Print\\Monitors\\";
constexpr const char* kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr UINT kCloseAskTimeout = 5000;
constexpr int kCloseWaitSteps = 30;
constexpr DWORD kCloseWaitStep = 100;

// The ports the monitor keeps, by PrintMode. Only their names are used, so their settings (a
// password among them) are not read.
void ReadPortLists(PortMonitorRecord& record)
{
    for (auto& list : record.ports)
        list.clear();
    std::string ports = std::string(record.registryPath) + "\\Ports";
    for (const std::string& port : Subkeys(ports))
    {
        DWORD mode = ReadDword(ports + "\\" + port, "PrintMode").value_or(95);
        if (std::optional<int> list = PortListOfPrintMode(mode))
            record.ports[*list].push_back(port);
    }
}

bool IsMonitorPort(const PortMonitorRecord& record, std::string_view port)
{
    for (const auto& list : record.ports)
        for (const std::string& own : list)
            if (EqualNoCase(own, port))
                return true;
    return false;
}

struct PrinterEntry
{
    std::string name;
    std::string ports;
    DWORD attributes = 0;
};

// The local printers (level 5, or 2 on the Windows 95 family); nothing when they cannot be read.
std::optional<std::vector<PrinterEntry>> ListPrinters(bool win9x)
{
    DWORD level = win9x ? 2 : 5;
    DWORD needed = 0, returned = 0;
    if (!EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, level, nullptr, 0, &needed, &returned))
    {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return std::nullopt;
    }
    std::vector<PrinterEntry> printers;
    if (needed == 0)
        return printers;
    // Room for the records and their texts, kept aligned for the fixed part.
    std::vector<unsigned long long> buffer((needed + 7) / 8);
    BYTE* bytes = reinterpret_cast<BYTE*>(buffer.data());
    if (!EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, level, bytes, needed, &needed, &returned))
        return std::nullopt;
    for (DWORD i = 0; i < returned; ++i)
    {
        PrinterEntry e;
        if (level == 5)
        {
            const auto& info = reinterpret_cast<const PRINTER_INFO_5A*>(bytes)[i];
            e.name = info.pPrinterName ? info.pPrinterName : "";
            e.ports = info.pPortName ? info.pPortName : "";
            e.attributes = info.Attributes;
        }
        else
        {
            const auto& info = reinterpret_cast<const PRINTER_INFO_2A*>(bytes)[i];
            e.name = info.pPrinterName ? info.pPrinterName : "";
            e.ports = info.pPortName ? info.pPortName : "";
            e.attributes = info.Attributes;
        }
        printers.push_back(std::move(e));
    }
    return printers;
}

bool HasJobs(const std::string& printer)
{
    HANDLE h = nullptr;
    PRINTER_DEFAULTSA defaults{nullptr, nullptr, PRINTER_ACCESS_USE};
    if (!OpenPrinterA(const_cast<char*>(printer.c_str()), &h, &defaults))
        return false;
    DWORD needed = 0, returned = 0;
    EnumJobsA(h, 0, 4, 1, nullptr, 0, &needed, &returned);
    bool jobs = false;
    if (needed)
    {
        std::vector<unsigned long long> buffer((needed + 7) / 8);
        jobs = EnumJobsA(h, 0, 4, 1, reinterpret_cast<BYTE*>(buffer.data()), needed, &needed, &returned) &&
               returned > 0;
    }
    ClosePrinter(h);
    return jobs;
}

bool MovePrinter(const PrinterEntry& printer, const char* port, bool win9x)
{
    HANDLE h = nullptr;
    PRINTER_DEFAULTSA defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    if (!OpenPrinterA(const_cast<char*>(printer.name.c_str()), &h, &defaults))
        return false;
    BOOL moved = FALSE;
    if (!win9x)
    {
        PRINTER_INFO_5A info{};
        info.pPrinterName = const_cast<char*>(printer.name.c_str());
        info.pPortName = const_cast<char*>(port);
        info.Attributes = printer.attributes;
        moved = SetPrinterA(h, 5, reinterpret_cast<BYTE*>(&info), 0);
    }
    else
    {
        PRINTER_INFO_2A info{};
        info.pPrinterName = const_cast<char*>(printer.name.c_str());
        info.pPortName = const_cast<char*>(port);
        info.Attributes = printer.attributes;
        moved = SetPrinterA(h, 2, reinterpret_cast<BYTE*>(&info), 0);
    }
    ClosePrinter(h);
    return moved != FALSE;
}

// Removes one record's ports and monitor; false when anything of it stays.
bool RemoveRecord(const UninstallState& state, const UninstallSection& section, PortMonitorRecord& record)
{
    bool win9x = IsWin9x(state.osIndex);
    LogPrint("[%s]", section.recordName);
    ReadPortLists(record);
    for (const auto& list : record.ports)
        for (const std::string& port : list)
            LogPrint("  GetPortName(%s)", port.c_str());
    std::optional<std::vector<PrinterEntry>> printers = ListPrinters(win9x);
    std::optional<std::vector<PrinterEntry>> again = ListPrinters(win9x);
    // Without the printers no port can be known to be free.
    if (!printers)
        return false;
    bool ok = printers && again;
    for (const auto& list : record.ports)
        for (const std::string& port : list)
        {
            for (const PrinterEntry& printer : *printers)
            {
                auto own = SplitPortList(printer.ports);
                if (std::none_of(own.begin(), own.end(),
                                 [&](const std::string& p) { return EqualNoCase(p, port); }))
                    continue;
                // No port goes while a printer still prints to it.
                if (!MovePrinter(printer, "LPT1:", win9x) && !MovePrinter(printer, "FILE:", win9x))
                    return false;
            }
            LogPrint("  Delete Port: %s", port.c_str());
            if (!DeletePortA(nullptr, nullptr, const_cast<char*>(port.c_str())))
            {
                LogPrint("  --> NG (0x%08x)", static_cast<unsigned>(GetLastError()));
                ok = false;
            }
        }
    LogPrint("  Environment : %s", record.environment);
    LogPrint("  szDllFile   : %s", record.dllName);
    if (!*record.dllName)
        return false; // the monitor stays without its DLL's name
    if (!DeleteMonitorA(nullptr, record.environment, record.monitorName))
    {
        LogPrint("  DeleteMonitor(%s) NG", record.monitorName);
        ok = false;
    }
    LogPrint("  DeleteMonitor(%s)", record.monitorName);
    return ok;
}
} // namespace

std::optional<StatusMonitorEntry> ParseStatusMonitorEntry(std::string_view value)
{
    auto fields = SplitFields(value, ';');
    if (fields.size() < 3)
        return std::nullopt;
    StatusMonitorEntry e;
    e.windowClass = fields[1];
    const std::string& offset = fields[2];
    long n = 0;
    for (char c : offset)
    {
        if (c < '0' || c > '9' || n > 100000)
            break;
        n = n * 10 + (c - '0');
    }
    e.messageOffset = static_cast<int>(std::min(n, 100000L));
    if (fields.size() > 3)
        e.runValue = fields[3];
    return e;
}

std::optional<int> PortListOfPrintMode(DWORD printMode)
{
    switch (printMode)
    {
    case 0:
    case 95:
        return 0;
    case 1:
        return 1;
    case 2:
        return 2;
    default:
        return std::nullopt;
    }
}

const char* MonitorEnvironment(WORD osIndex, bool is64)
{
    if (IsWin9x(osIndex))
        return "Windows 4.0";
    return is64 ? "Windows x64" : "Windows NT x86";
}

std::vector<std::string> SplitPortList(std::string_view ports)
{
    std::vector<std::string> list;
    for (std::string& p : SplitFields(ports, ','))
    {
        size_t start = p.find_first_not_of(' ');
        if (start != std::string::npos)
            list.push_back(p.substr(start));
    }
    return list;
}

bool CheckPortMonitor(UninstallState& state, UninstallSection& section)
{
    auto record = std::shared_ptr<PortMonitorRecord>(new (std::nothrow) PortMonitorRecord);
    if (!record)
        return false;
    section.portMonitor = record;
    bool win9x = IsWin9x(state.osIndex);
    const char* list = state.fileListIniPath;
    CopyText(record->monitorName,
             IniString(list, section.monitorSection, win9x ? "OS_WIN9x" : "OS_WINNT", "", 127));
    CopyText(record->dllName, IniString(list, section.monitorSection, "DLLNAME", "", 63));
    CopyText(record->environment, MonitorEnvironment(state.osIndex, (state.osFlags & kOs64Bit) != 0));
    CopyText(record->registryPath, std::string(kMonitorsKey) + record->monitorName);
    if (!*record->monitorName)
        return true;
    LogPrint("[%s]", section.recordName);
    LogPrint("  Monitor Name : %s", record->monitorName);

    DWORD needed = 0, returned = 0;
    bool listed = false;
    if (!EnumMonitorsA(nullptr, 1, nullptr, 0, &needed, &returned) &&
        GetLastError() == ERROR_INSUFFICIENT_BUFFER && needed)
    {
        std::vector<unsigned long long> buffer((needed + 7) / 8);
        if (EnumMonitorsA(nullptr, 1, reinterpret_cast<BYTE*>(buffer.data()), needed, &needed, &returned))
        {
            listed = true;
            const auto* monitors = reinterpret_cast<const MONITOR_INFO_1A*>(buffer.data());
            for (DWORD i = 0; i < returned; ++i)
                if (monitors[i].pName && std::strcmp(monitors[i].pName, record->monitorName) == 0)
                    record->installed = true;
        }
    }
    // A list that cannot be read says nothing of the monitor: its registry key does.
    if (!listed)
    {
        HKEY h = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, record->registryPath, 0, KEY_READ, &h) == ERROR_SUCCESS)
        {
            record->installed = true;
            RegCloseKey(h);
        }
    }
    if (!record->installed)
    {
        LogPrint("    ---> Not PortMonitor");
        return true;
    }
    ReadPortLists(*record);

    if (auto printers = ListPrinters(win9x))
        for (const PrinterEntry& printer : *printers)
        {
            auto own = SplitPortList(printer.ports);
            bool onMonitor = std::any_of(own.begin(), own.end(),
                                         [&](const std::string& p) { return IsMonitorPort(*record, p); });
            if (onMonitor && HasJobs(printer.name))
            {
                LogPrint("    ---> Now Printings...");
                record->inUse = true;
                return false;
            }
        }
    std::string add = std::string("Add ") + record->monitorName;
    std::string configure = std::string("Configure ") + record->monitorName;
    if (MutexExists(add.c_str(), true, false))
    {
        LogPrint("    ---> Now Port Wizerd Open [%s] ...", record->monitorName);
        record->inUse = true;
    }
    else if (MutexExists(configure.c_str(), true, false))
    {
        LogPrint("    ---> Now Port Dialog Open [%s] ...", record->monitorName);
        record->inUse = true;
    }
    return !record->inUse;
}

bool CheckPortMonitors(UninstallState& state)
{
    bool idle = true;
    for (int i = 0; i < state.sectionCount; ++i)
    {
        UninstallSection& section = state.sections[static_cast<size_t>(i)];
        if (section.enabled && !CheckPortMonitor(state, section))
            idle = false;
    }
    return idle;
}

std::string BusyPortMonitorName(const UninstallState& state)
{
    for (int i = 0; i < state.sectionCount; ++i)
    {
        const UninstallSection& section = state.sections[static_cast<size_t>(i)];
        if (section.enabled && section.portMonitor && section.portMonitor->inUse)
            return section.portMonitor->monitorName;
    }
    return {};
}

void CloseStatusMonitors(const UninstallState& state, const char* section)
{
    for (const std::string& value : IniList(state.fileListIniPath, section, "MONITOR_%02d"))
    {
        std::optional<StatusMonitorEntry> e = ParseStatusMonitorEntry(value);
        if (!e)
            continue;
        LogPrint("  Status Monitor : %s, %d", e->windowClass.c_str(), e->messageOffset);
        if (e->windowClass.empty() || !MutexExists(e->windowClass.c_str(), true, false))
            continue;
        HWND window = FindWindowA(e->windowClass.c_str(), nullptr);
        if (!window)
            continue;
        // A hung status monitor must not hold the removal: the ask gives up after a while.
        DWORD_PTR answer = 0;
        if (SendMessageTimeoutA(window, WM_USER + static_cast<UINT>(e->messageOffset), 0, 0,
                                SMTO_ABORTIFHUNG | SMTO_NORMAL, kCloseAskTimeout, &answer))
            LogPrint("  --> SendMessage(OK)");
        for (int i = 0; i < kCloseWaitSteps && IsWindow(window); ++i)
            Sleep(kCloseWaitStep);
    }
}

void RemoveStatusMonitorRunValues(const UninstallState& state, const char* section)
{
    for (const std::string& value : IniList(state.fileListIniPath, section, "MONITOR_%02d"))
    {
        std::optional<StatusMonitorEntry> e = ParseStatusMonitorEntry(value);
        if (!e || e->runValue.empty())
            continue;
        HKEY h = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_SET_VALUE, &h) == ERROR_SUCCESS)
        {
            RegDeleteValueA(h, e->runValue.c_str());
            RegCloseKey(h);
        }
        LogPrint("  Status Monitor(Run) : %s", e->runValue.c_str());
    }
}

bool RemovePortMonitors(UninstallState& state)
{
    LogPrint("*** Get PortMonitor Information ***");
    for (int i = 0; i < state.sectionCount; ++i)
        if (state.sections[static_cast<size_t>(i)].enabled)
            CloseStatusMonitors(state, state.sections[static_cast<size_t>(i)].monitorSection);
    for (int i = 0; i < state.sectionCount; ++i)
    {
        UninstallSection& section = state.sections[static_cast<size_t>(i)];
        if (!section.enabled || !section.portMonitor || !section.portMonitor->installed)
            continue;
        if (!RemoveRecord(state, section, *section.portMonitor))
            return false;
    }
    for (int i = 0; i < state.sectionCount; ++i)
    {
        UninstallSection& section = state.sections[static_cast<size_t>(i)];
        if (section.enabled && section.portMonitor && *section.portMonitor->monitorName)
            RemoveStatusMonitorRunValues(state, section.monitorSection);
    }
    return true;
}

} // namespace uninstall
