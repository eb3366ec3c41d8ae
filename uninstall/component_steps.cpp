// The component step: the record read from the file-list INI, its entries run kind by kind in the
// order asked, and the driver step over the component INI's [DRIVER_<name>] sections and their INFs.
#include "components.h"

#include "driver_devices.h"
#include "inf_reader.h"
#include "ini.h"
#include "log.h"
#include "os_index.h"
#include "text.h"

#include <platform/winsvc.h>

#include <cstring>
#include <memory>
#include <new>

namespace uninstall
{
namespace
{
constexpr DWORD kAfterRecordWait = 5000;

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && EqualNoCase(text.substr(0, prefix.size()), prefix);
}

std::string ResolveBeside(std::string_view folder, const std::string& path)
{
    return IsAbsolutePath(path) ? path : JoinPath(folder, path);
}

// A device the driver's service opens reads 1 while a program holds a connection through it.
bool DeviceConnected(const std::string& service)
{
    std::string path = "\\\\.\\" + service;
    HANDLE device =
        CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (device == INVALID_HANDLE_VALUE)
        return false;
    BYTE state = 0;
    DWORD read = 0;
    bool connected = ReadFile(device, &state, 1, &read, nullptr) && read == 1 && state == 1;
    CloseHandle(device);
    return connected;
}

int RunDriverStep(const UninstallState& state, ComponentEntry& entry)
{
    if (entry.mode == kModeUninstall && StartsWithNoCase(entry.componentName, "tzspe driver"))
    {
        Tzuptp_AllClearComInfo();
        LogPrint("    Tzuptp_AllClearComInfo success.(%s)", entry.componentName);
    }
    std::string section = std::string("DRIVER_") + entry.name;
    std::string name = IniString(entry.iniPath, section.c_str(), "NAME", "", 63);
    if (name.empty())
        return kResultSuccess;
    std::vector<std::string> lists;
    std::string os = IniString(entry.iniPath, section.c_str(), "OS");
    if (!os.empty())
        lists.push_back(os);
    for (std::string& l : IniList(entry.iniPath, section.c_str(), "OS_%02d"))
        lists.push_back(std::move(l));
    std::string suffix =
        MatchOsSuffix(lists, state.osIndex, (state.osFlags & kOs64Bit) != 0, state.servicePackMajor);
    auto path = SplitFields(IniString(entry.iniPath, section.c_str(), ("PATH" + suffix).c_str()), ';');
    std::string infFile = IniString(entry.iniPath, section.c_str(), "INFFILE");
    std::string package = IniString(entry.iniPath, section.c_str(), ("PACKAGE" + suffix).c_str());
    std::string iniFolder = FolderOf(entry.iniPath);
    std::string infPath = JoinPath(path[0].empty() ? iniFolder : JoinPath(iniFolder, path[0]), infFile);
    std::string packagePath =
        JoinPath(package.empty() ? iniFolder : JoinPath(iniFolder, package), "difxapi.dll");
    std::string decoration = path.size() > 1 ? path[1] : std::string();
    LogPrint("[Driver]");
    LogPrint("  Name        : %s", name.c_str());
    LogPrint("  InfFile     : %s", infPath.c_str());
    LogPrint("  Package File: %s", packagePath.c_str());
    LogPrint("  TargetOS    : %s", decoration.c_str());
    LogPrint("  Mode        : %04x", static_cast<unsigned>(entry.mode));
    TzSetupDriverArgs args{infPath.c_str(), packagePath.c_str(), static_cast<DWORD>(entry.mode),
                           sizeof(TzSetupDriverArgs), decoration.c_str()};
    DWORD code = kResultSuccess;
    TzSetupDriver(nullptr, &args, &code);
    LogPrint(entry.mode == kModeInstall ? "  (INSTALL) dwLastCode:%d" : "  (UNINSTALL) dwLastCode:%d",
             static_cast<int>(code));
    return static_cast<int>(code);
}

int RunServiceStep(ComponentEntry& entry)
{
    std::string section = std::string("SERVICE_") + entry.name;
    std::string name = IniString(entry.iniPath, section.c_str(), "NAME");
    if (name.empty())
        name = entry.componentName;
    LogPrint("[Service]");
    LogPrint("  Name        : %s", name.c_str());
    LogPrint("  Mode        : %04x", static_cast<unsigned>(entry.mode));
    DWORD code = kResultSuccess;
    switch (entry.mode)
    {
    case kModeInstall:
    case kModeVersionCheck:
    case kModeInstalledCheck: {
        std::string program = IniString(entry.iniPath, section.c_str(), "FILEPATH");
        if (!program.empty())
            program = ResolveBeside(FolderOf(entry.iniPath), program);
        std::string description = IniString(entry.iniPath, section.c_str(), "EXPLANATION", "", 1024);
        std::string dependencies = IniString(entry.iniPath, section.c_str(), "DEPENDTION", "", 1024);
        std::string tail = IniString(entry.iniPath, section.c_str(), "CMDLINE", "", 1024);
        TzServiceInstall(name.c_str(), program.c_str(), description.c_str(), tail.c_str(),
                         dependencies.c_str(), static_cast<DWORD>(dependencies.size()),
                         static_cast<DWORD>(entry.mode), &code);
        break;
    }
    case kModeUninstall:
        TzServiceUninstall(name.c_str(), &code);
        break;
    default:
        break; // STOP and unknown modes: nothing to do
    }
    LogPrint("  dwLastCode:%d", static_cast<int>(code));
    return static_cast<int>(code);
}

// Runs one kind of entries; false at the first that fails, with its name and code.
bool RunKind(UninstallState& state, ComponentRecord& record, int kind)
{
    auto fail = [&](const ComponentEntry& e) {
        CopyText(record.result.failingName, e.name);
        record.result.code = e.result;
        return false;
    };
    switch (kind)
    {
    case kKindDriver:
        for (ComponentEntry& e : record.drivers)
        {
            DriverUseDecision decision;
            if (e.mode == kModeInstall)
                e.result = RunDriverStep(state, e);
            else if (e.mode == kModeUninstall)
            {
                decision = CheckDriverUse(record.applicationName, e.componentName);
                if (decision.remove)
                    e.result = RunDriverStep(state, e);
                else
                {
                    e.result = kResultSuccess;
                    if (EqualNoCase(e.componentName, "Tzuptp Driver"))
                        state.removeDeviceServerPort = 0;
                }
            }
            else
                e.result = kResultSuccess;
            if (e.result != kResultSuccess && e.result != kResultRestart)
                return fail(e);
            e.done = 1;
            if (e.mode == kModeInstall)
                RecordDriverInstall(record.applicationName, e.componentName);
            else if (e.mode == kModeUninstall)
                UpdateDriverUse(record.applicationName, e.componentName, decision);
        }
        return true;
    case kKindService:
        for (ComponentEntry& e : record.services)
        {
            e.result = RunServiceStep(e);
            if (e.result != kResultSuccess && e.result != kResultNotInstalled)
                return fail(e);
            e.done = 1;
        }
        return true;
    case kKindFile:
        for (ComponentEntry& e : record.files)
            if (RunComponentProgram(state, e) != kResultSuccess)
                return fail(e);
        return true;
    default:
        return true;
    }
}

std::vector<ComponentEntry> ReadEntries(const char* fileList, const char* section, const char* format,
                                        const std::string& componentIni)
{
    std::vector<ComponentEntry> entries;
    for (const std::string& value : IniList(fileList, section, format))
        if (auto e = ParseComponentEntry(value, componentIni))
            entries.push_back(*e);
    return entries;
}
} // namespace

bool UninstallComponents(UninstallState& state, std::string& failingName, int& code)
{
    LogPrint("*** Component Information ***");
    failingName.clear();
    code = kResultSuccess;
    for (int i = 0; i < state.sectionCount; ++i)
    {
        UninstallSection& section = state.sections[static_cast<size_t>(i)];
        if (!section.enabled)
            continue;
        std::string iniFile = IniString(state.fileListIniPath, section.componentSection, "INIFILE");
        if (iniFile.empty())
            continue;
        std::string componentIni = ResolveBeside(state.moduleFolder, iniFile);
        auto record = std::shared_ptr<ComponentRecord>(new (std::nothrow) ComponentRecord);
        if (!record)
        {
            code = kResultNoMemory;
            return false;
        }
        section.component = record;
        CopyText(record->applicationName,
                 IniString(state.fileListIniPath, section.uninstallSection, "REGISTKEY"));
        CopyText(record->order, IniString(state.fileListIniPath, section.componentSection, "UNINST_ORDER"));
        const char* list = state.fileListIniPath;
        record->drivers = ReadEntries(list, section.componentSection, "DRIVER_%02d", componentIni);
        record->services = ReadEntries(list, section.componentSection, "SERVICE_%02d", componentIni);
        record->files = ReadEntries(list, section.componentSection, "FILE_%02d", componentIni);
        for (ComponentEntry& e : record->files)
        {
            e.mode = kModeUninstall;
            std::string program =
                IniString(componentIni.c_str(), (std::string("FILE_") + e.name).c_str(), "FILEPATH");
            if (program.empty())
            {
                CopyText(record->result.failingName, e.name);
                record->result.code = kResultBadArgument;
                failingName = e.name;
                code = kResultBadArgument;
                return false;
            }
            CopyText(e.programPath, ResolveBeside(FolderOf(componentIni), program));
        }

        std::array<int, 3> order = ParseUninstallOrder(record->order);
        LogPrint("  Order : %d, %d, %d", order[0], order[1], order[2]);
        for (int kind : order)
            if (!RunKind(state, *record, kind))
            {
                failingName = record->result.failingName;
                code = record->result.code;
                return false;
            }
        Sleep(kAfterRecordWait);
        for (const ComponentEntry& e : record->drivers)
            if (e.result == kResultRestart)
                state.rebootRequested = 1;
    }
    return true;
}

BOOL TzSetupDriver(HWND, const TzSetupDriverArgs* args, DWORD* codeOut)
{
    DWORD ignored = 0;
    DWORD& code = codeOut ? *codeOut : ignored;
    code = kResultSuccess;
    const UninstallState& state = State();
    LogPrint("--- TzSetupDriver() ---");
    char windows[MAX_PATH] = {}, system[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    GetSystemDirectoryA(system, MAX_PATH);
    LogPrint("  Windows Folder : %s", windows);
    LogPrint("  System Folder  : %s", system);
    if (!args || !args->infPath || !*args->infPath || args->size == 0)
    {
        code = kResultBadArgument;
        return FALSE;
    }
    if (IsWin9x(state.osIndex))
    {
        code = kResultNotTargetOs;
        return TRUE;
    }
    bool is64 = (state.osFlags & kOs64Bit) != 0;
    std::optional<std::string> bytes = ReadInfBytes(args->infPath);
    InfText inf = bytes ? InfText::Parse(*bytes) : InfText{};
    std::string infFolder = FolderOf(args->infPath);
    InfDriver driver = ResolveInfDriver(inf, infFolder, args->decoration ? args->decoration : "", is64);
    if (driver.sourceDiskFileLines == 0)
    {
        code = kResultNotTargetOs;
        return TRUE;
    }
    for (const std::string& file : driver.files)
        if (GetFileAttributesA(file.c_str()) == INVALID_FILE_ATTRIBUTES)
        {
            code = kResultFileMissing;
            return FALSE;
        }

    LogPrint("[1] Check Driver Installed");
    bool netTrans = EqualNoCase(driver.className, "NetTrans");
    std::optional<DeviceMatch> device;
    bool installed = false;
    if (netTrans)
    {
        SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
        if (manager)
        {
            SC_HANDLE service = OpenServiceA(manager, driver.hardwareId.c_str(), SERVICE_QUERY_STATUS);
            installed = service != nullptr;
            if (service)
                CloseServiceHandle(service);
            CloseServiceHandle(manager);
        }
    }
    else
    {
        device = FindDeviceByHardwareId(driver.hardwareId);
        installed = device.has_value();
    }
    if (installed)
        LogPrint("  Driver is find! (%s)", driver.hardwareId.c_str());
    if (args->mode == kModeInstalledCheck)
    {
        code = installed ? kResultInstalled : kResultNotInstalled;
        return TRUE;
    }

    if (!netTrans)
    {
        LogPrint("[2] Get Driver Information");
        std::optional<long> infVersion = DottedVersionValue(driver.driverVer);
        if (!bytes || !infVersion)
        {
            code = kResultRegistryRead;
            return FALSE;
        }
        if (args->mode == kModeVersionCheck)
        {
            std::optional<long> own = device ? DottedVersionValue(device->driverVersion) : std::nullopt;
            if (!own)
                code = kResultNotInstalled;
            else
                code = *own == *infVersion ? kResultSame : *own > *infVersion ? kResultNewer : kResultOlder;
            return TRUE;
        }
    }

    LogPrint("[3] Check Driver Connection");
    if (!driver.services.empty())
    {
        std::string service = driver.services.front();
        if (EqualNoCase(service, "TZSPE"))
            service = "TZUPTP";
        if ((ContainsNoCase(service, "uptp") || ContainsNoCase(service, "lnkmgr")) &&
            DeviceConnected(service))
        {
            code = kResultConnected;
            return TRUE;
        }
    }
    LogPrint("  Driver is free.");

    if (args->mode == kModeInstall)
    {
        LogPrint("[4] Install Driver");
        code = InstallDriverDevices(driver, args->infPath);
        return code == kResultSuccess || code == kResultRestart;
    }
    if (args->mode == kModeUninstall)
    {
        LogPrint("[4] Uninstall Driver");
        code = UninstallDriverDevices(driver, state.osIndex);
        return code == kResultSuccess || code == kResultRestart;
    }
    return TRUE;
}

} // namespace uninstall
