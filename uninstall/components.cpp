#include "components.h"

#include "inf_reader.h"
#include "ini.h"
#include "log.h"
#include "os_index.h"
#include "text.h"

#include <platform/shellapi.h>
#include <platform/winsvc.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace uninstall
{
namespace
{
constexpr const char* kUseKey = "Software\\Tzuptp Driver";
constexpr const char* kVirtualLinkKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TZ Virtual Link";
constexpr const char* kServicesKey = "System\\CurrentControlSet\\Services\\";
constexpr DWORD kPollMilliseconds = 1000;
constexpr int kPollLimit = 60; // a service that neither runs nor stops within a minute is given up

bool WriteDword(const std::string& key, const char* name, DWORD value)
{
    HKEY h = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr) !=
        ERROR_SUCCESS)
        return false;
    LSTATUS status =
        RegSetValueExA(h, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(h);
    return status == ERROR_SUCCESS;
}

bool KeyExists(const char* key)
{
    HKEY h = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &h) != ERROR_SUCCESS)
        return false;
    RegCloseKey(h);
    return true;
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The version resource's FileVersion text, "0.0.0.0" when the file has none.
std::string FileVersionText(const char* path)
{
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(path, &handle);
    if (size == 0 || size > (1u << 20))
        return "0.0.0.0";
    std::vector<BYTE> block(size);
    if (!GetFileVersionInfoA(path, 0, size, block.data()))
        return "0.0.0.0";
    struct Translation
    {
        WORD language, codePage;
    }* translations = nullptr;
    UINT length = 0;
    std::vector<std::string> keys;
    if (VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations),
                       &length) &&
        translations && length >= sizeof(Translation))
    {
        char key[64];
        std::snprintf(key, sizeof key, "\\StringFileInfo\\%04x%04x\\FileVersion", translations->language,
                      translations->codePage);
        keys.emplace_back(key);
    }
    keys.emplace_back("\\StringFileInfo\\040904b0\\FileVersion");
    keys.emplace_back("\\StringFileInfo\\040904e4\\FileVersion");
    for (const std::string& key : keys)
    {
        char* text = nullptr;
        if (VerQueryValueA(block.data(), key.c_str(), reinterpret_cast<void**>(&text), &length) && text &&
            length > 0)
            return std::string(text, strnlen(text, length));
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    if (VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length) && fixed &&
        length >= sizeof *fixed)
    {
        char text[64];
        std::snprintf(text, sizeof text, "%u.%u.%u.%u", unsigned(fixed->dwFileVersionMS >> 16),
                      unsigned(fixed->dwFileVersionMS & 0xFFFF), unsigned(fixed->dwFileVersionLS >> 16),
                      unsigned(fixed->dwFileVersionLS & 0xFFFF));
        return text;
    }
    return "0.0.0.0";
}

// Four-part versions compared part by part; a part that is no number counts 0.
int CompareVersions(std::string_view a, std::string_view b)
{
    auto pa = SplitFields(a, '.'), pb = SplitFields(b, '.');
    for (size_t i = 0; i < 4; ++i)
    {
        unsigned long va = i < pa.size() ? std::strtoul(pa[i].c_str(), nullptr, 10) : 0;
        unsigned long vb = i < pb.size() ? std::strtoul(pb[i].c_str(), nullptr, 10) : 0;
        if (va != vb)
            return va < vb ? -1 : 1;
    }
    return 0;
}

struct ScmHandle
{
    SC_HANDLE h = nullptr;
    explicit ScmHandle(SC_HANDLE handle) : h(handle) {}
    ~ScmHandle()
    {
        if (h)
            CloseServiceHandle(h);
    }
    ScmHandle(const ScmHandle&) = delete;
    ScmHandle& operator=(const ScmHandle&) = delete;
    explicit operator bool() const { return h != nullptr; }
};

DWORD CurrentState(SC_HANDLE service)
{
    SERVICE_STATUS status{};
    return QueryServiceStatus(service, &status) ? status.dwCurrentState : 0;
}

// Stops a running service, polling while the stop is pending; false when it will not stop in time.
enum class StopResult
{
    Stopped,
    Refused,
    TimedOut
};
StopResult StopService(SC_HANDLE service)
{
    DWORD state = CurrentState(service);
    if (state == SERVICE_STOPPED)
        return StopResult::Stopped;
    if (state != SERVICE_STOP_PENDING)
    {
        SERVICE_STATUS status{};
        if (!ControlService(service, SERVICE_CONTROL_STOP, &status))
            return StopResult::Refused;
    }
    for (int i = 0; i < kPollLimit; ++i)
    {
        if (CurrentState(service) != SERVICE_STOP_PENDING)
            return StopResult::Stopped;
        Sleep(kPollMilliseconds);
    }
    return CurrentState(service) == SERVICE_STOP_PENDING ? StopResult::TimedOut : StopResult::Stopped;
}
} // namespace

std::optional<DWORD> ReadDword(const std::string& key, const char* name)
{
    HKEY h = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD value = 0, type = 0, size = sizeof value;
    LSTATUS status = RegQueryValueExA(h, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(h);
    if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value)
        return std::nullopt;
    return value;
}

std::optional<std::string> ReadString(const std::string& key, const char* name)
{
    HKEY h = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return std::nullopt;
    char value[MAX_PATH + 1] = {};
    DWORD type = 0, size = MAX_PATH;
    LSTATUS status = RegQueryValueExA(h, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(h);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return std::nullopt;
    value[std::min<DWORD>(size, MAX_PATH)] = '\0';
    return std::string(value);
}

std::vector<std::string> Subkeys(const std::string& key)
{
    std::vector<std::string> names;
    HKEY h = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return names;
    for (DWORD i = 0; i < 4096; ++i)
    {
        char name[256];
        DWORD size = sizeof name;
        if (RegEnumKeyExA(h, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, size);
    }
    RegCloseKey(h);
    return names;
}

short ParseComponentMode(std::string_view text)
{
    static constexpr std::pair<const char*, short> kModes[] = {{"INSTALL", kModeInstall},
                                                               {"UNINSTALL", kModeUninstall},
                                                               {"VCHECK", kModeVersionCheck},
                                                               {"ICHECK", kModeInstalledCheck},
                                                               {"STOP", kModeStop}};
    for (const auto& [name, mode] : kModes)
        if (text == name)
            return mode;
    return kModeNone;
}

std::string ComponentResultText(int code)
{
    static constexpr const char* kTexts[] = {
        "Successful.",
        "There is a mistake in the argument.",
        "The file does not exist.",
        "Is not a target OS.",
        "You do not have administrative privileges.",
        "I failed in the writing of the registry.",
        "I failed to get information from the registry.",
        "Old component.",
        "Component is the same.",
        "New component.",
        "Restart required.",
        "In connection.",
        "Component is not installed.",
        "Components are installed.",
        "I was unable to register the component.",
        "I could not remove the component.",
        "There is no corresponding process for this operation.",
        "Installation was successful, but we failed to restart service.",
        "Uninstallation was successful, but we failed to stop service.",
        "There is not enough memory.",
    };
    if (code >= 0 && code < static_cast<int>(std::size(kTexts)))
        return kTexts[code];
    return std::to_string(code);
}

std::optional<ComponentEntry> ParseComponentEntry(std::string_view value, std::string_view iniPath)
{
    auto fields = SplitFields(value, ';');
    if (fields.empty() || fields[0].empty())
        return std::nullopt;
    ComponentEntry e;
    CopyText(e.name, fields[0]);
    if (fields.size() > 1)
        CopyText(e.componentName, fields[1]);
    if (fields.size() > 2)
        e.mode = ParseComponentMode(fields[2]);
    CopyText(e.iniPath, iniPath);
    return e;
}

std::array<int, 3> ParseUninstallOrder(std::string_view text)
{
    auto kind = [](std::string_view name) {
        if (EqualNoCase(name, "DRIVER"))
            return int(kKindDriver);
        if (EqualNoCase(name, "SERVICE"))
            return int(kKindService);
        if (EqualNoCase(name, "FILE"))
            return int(kKindFile);
        return int(kKindNone);
    };
    auto fields = SplitFields(text, ';');
    std::array<int, 3> order{};
    for (size_t i = 0; i < 3; ++i)
        order[i] = i < fields.size() ? kind(fields[i]) : 0;
    if (order[0] == kKindNone)
        return {kKindDriver, kKindService, kKindFile};
    return order;
}

std::string OsSystemName(WORD osIndex, bool is64)
{
    static constexpr const char* kNames[] = {"",   "95",   "98",    "ME",     "NT", "2K",
                                             "XP", "2003", "VISTA", "2008",   "7",  "2008R2",
                                             "8",  "2012", "81",    "2012R2", "10", "SERVER"};
    if (osIndex >= std::size(kNames))
        return {};
    std::string name = kNames[osIndex];
    if (is64 && osIndex >= kOsXp && !name.empty())
        name += "X64";
    return name;
}

bool OsSystemMatches(std::string_view listed, WORD osIndex, bool is64, WORD servicePack)
{
    std::string own = OsSystemName(osIndex, is64);
    if (own.empty())
        return false;
    size_t sp = listed.size() >= 4 ? listed.rfind("_SP") : std::string_view::npos;
    if (sp == std::string_view::npos)
        return EqualNoCase(listed, own);
    if (!EqualNoCase(listed.substr(0, sp), own))
        return false;
    std::string_view digits = listed.substr(sp + 3);
    if (digits.empty() || digits.size() > 3 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    int wanted = std::atoi(std::string(digits).c_str());
    if (wanted == servicePack)
        return true;
    // The last packs these systems had: a newer one still takes the entry written for it.
    int last = osIndex == kOs2000 ? 4 : osIndex == kOsXp ? 3 : osIndex == kOs2003 ? 1 : -1;
    return last >= 0 && wanted == last && servicePack > last;
}

std::string MatchOsSuffix(const std::vector<std::string>& lists, WORD osIndex, bool is64, WORD servicePack)
{
    for (const std::string& list : lists)
        for (const std::string& entry : SplitFields(list, ';'))
        {
            size_t colon = entry.find(':');
            if (colon == std::string::npos)
                continue;
            for (const std::string& system : SplitFields(std::string_view(entry).substr(colon + 1), ','))
                if (OsSystemMatches(system, osIndex, is64, servicePack))
                    return entry.substr(0, colon);
        }
    return {};
}

std::optional<long> DottedVersionValue(std::string_view text)
{
    auto parts = SplitFields(text, '.');
    if (parts.size() < 2)
        return std::nullopt;
    long value[2] = {};
    for (int i = 0; i < 2; ++i)
    {
        const std::string& p = parts[static_cast<size_t>(i)];
        if (p.empty() || p.size() > 5 ||
            !std::all_of(p.begin(), p.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return std::nullopt;
        value[i] = std::atol(p.c_str());
    }
    return value[0] * 100 + value[1];
}

// ---------------------------------------------------------------------------------------------------
// The device-server drivers' use by applications.

DriverUseDecision DecideDriverUse(const DriverUseSnapshot& snapshot, std::string_view application,
                                  std::string_view driver)
{
    DriverUseDecision d;
    d.remove = std::none_of(snapshot.applications.begin(), snapshot.applications.end(),
                            [&](const std::string& other) { return !EqualNoCase(other, application); });
    if (EqualNoCase(driver, "TZUPTP Driver") && snapshot.virtualLinkInstalled &&
        !EqualNoCase(application, "TZ Virtual Link"))
        d.remove = false;
    if (EqualNoCase(driver, "Tzspe Driver") && snapshot.useCount == 1u)
        d.clearComInfo = true;
    return d;
}

DriverUseDecision CheckDriverUse(std::string_view application, std::string_view driver)
{
    DriverUseSnapshot snapshot;
    snapshot.applications = Subkeys(kUseKey);
    snapshot.useCount = ReadDword(kUseKey, std::string(driver).c_str());
    snapshot.virtualLinkInstalled = KeyExists(kVirtualLinkKey);
    return DecideDriverUse(snapshot, application, driver);
}

void UpdateDriverUse(std::string_view application, std::string_view driver, const DriverUseDecision& decision)
{
    std::string driverName(driver);
    std::string applicationKey = std::string(kUseKey) + "\\" + std::string(application);
    if (decision.clearComInfo)
        Tzuptp_AllClearComInfo();
    // Only an application that marked its use gives it back, and a count never wraps below 0.
    std::optional<DWORD> mark = ReadDword(applicationKey, driverName.c_str());
    if (mark.value_or(0) != 0)
    {
        DWORD count = ReadDword(kUseKey, driverName.c_str()).value_or(0);
        if (count > 0)
            WriteDword(kUseKey, driverName.c_str(), count - 1);
        WriteDword(applicationKey, driverName.c_str(), 0);
    }
    if (ReadDword(applicationKey, "Tzuptp Driver").value_or(0) == 0 &&
        ReadDword(applicationKey, "Tzspe Driver").value_or(0) == 0)
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, applicationKey.c_str());
    if (decision.remove)
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUseKey);
}

void RecordDriverInstall(std::string_view application, std::string_view driver)
{
    std::string driverName(driver);
    std::string applicationKey = std::string(kUseKey) + "\\" + std::string(application);
    if (ReadDword(applicationKey, driverName.c_str()))
        return;
    if (!WriteDword(applicationKey, driverName.c_str(), 1))
        return;
    WriteDword(kUseKey, driverName.c_str(), ReadDword(kUseKey, driverName.c_str()).value_or(0) + 1);
}

// ---------------------------------------------------------------------------------------------------
// Services.

BOOL TzServiceInstall(const char* name, const char* programPath, const char* description,
                      const char* commandTail, const char* dependencies, DWORD dependencyLength, DWORD mode,
                      DWORD* result)
{
    DWORD ignored = 0;
    DWORD& code = result ? *result : ignored;
    code = kResultSuccess;
    if (!name || !*name || !programPath)
    {
        code = kResultBadArgument;
        return FALSE;
    }
    if (State().osIndex < kOs2000)
    {
        code = kResultNotTargetOs;
        return TRUE;
    }
    if (!FileExists(programPath))
    {
        code = kResultFileMissing;
        return FALSE;
    }
    LogPrint("[1] Check Service Information");
    ScmHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager)
    {
        code = kResultRegisterFailed;
        return FALSE;
    }
    bool exists = false;
    {
        ScmHandle existing(OpenServiceA(manager.h, name, SERVICE_QUERY_STATUS));
        exists = static_cast<bool>(existing);
    }
    if (mode == kModeInstalledCheck)
    {
        code = exists ? kResultInstalled : kResultNotInstalled;
        return TRUE;
    }
    LogPrint("[2] Get Service Version Information");
    std::string fileVersion = FileVersionText(programPath);
    std::string parameters = std::string(kServicesKey) + name + "\\Parameters";
    if (mode == kModeVersionCheck)
    {
        std::optional<std::string> installed = ReadString(parameters, "ProductVersion");
        if (!installed)
        {
            code = kResultNotInstalled;
            return TRUE;
        }
        int c = CompareVersions(*installed, fileVersion);
        code = c == 0 ? kResultSame : c > 0 ? kResultNewer : kResultOlder;
        return TRUE;
    }
    if (exists)
    {
        LogPrint("[3] Uninstall Service");
        ScmHandle old(OpenServiceA(manager.h, name, SERVICE_ALL_ACCESS));
        if (!old || StopService(old.h) != StopResult::Stopped || !DeleteService(old.h))
        {
            code = kResultRemoveFailed;
            return FALSE;
        }
    }
    LogPrint("[4] Install Service");
    std::string binary = std::string("\"") + programPath + "\" /service";
    if (commandTail && *commandTail)
        binary += std::string(" ") + commandTail;
    // A list of names, each ended by a zero, the whole by another.
    std::string dependencyList;
    if (dependencies && dependencyLength)
        dependencyList.assign(dependencies, strnlen(dependencies, dependencyLength));
    for (char& c : dependencyList)
        if (c == ',')
            c = '\0';
    dependencyList.append(2, '\0');
    ScmHandle service(CreateServiceA(manager.h, name, name, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                     SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, binary.c_str(), nullptr,
                                     nullptr, dependencyList.size() > 2 ? dependencyList.c_str() : nullptr,
                                     nullptr, nullptr));
    if (!service)
    {
        code = kResultRegisterFailed;
        return FALSE;
    }
    if (description && *description)
    {
        SERVICE_DESCRIPTIONA text{const_cast<char*>(description)};
        ChangeServiceConfig2A(service.h, SERVICE_CONFIG_DESCRIPTION, &text);
    }
    bool running = false;
    if (StartServiceA(service.h, 0, nullptr))
        for (int i = 0; i <= kPollLimit && !running; ++i)
        {
            DWORD state = CurrentState(service.h);
            if (state == SERVICE_RUNNING)
                running = true;
            else if (state != SERVICE_START_PENDING)
                break; // it ended stopped: it will not come up by waiting
            else
                Sleep(kPollMilliseconds);
        }
    if (!running)
    {
        code = kResultRegisterFailed;
        return FALSE;
    }
    HKEY h = nullptr;
    bool written = RegCreateKeyExA(HKEY_LOCAL_MACHINE, parameters.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                   &h, nullptr) == ERROR_SUCCESS;
    if (written)
    {
        written =
            RegSetValueExA(h, "ProductVersion", 0, REG_SZ, reinterpret_cast<const BYTE*>(fileVersion.c_str()),
                           static_cast<DWORD>(fileVersion.size() + 1)) == ERROR_SUCCESS;
        RegCloseKey(h);
    }
    if (!written)
    {
        code = kResultRegistryWrite;
        return FALSE;
    }
    return TRUE;
}

BOOL TzServiceUninstall(const char* name, DWORD* result)
{
    DWORD ignored = 0;
    DWORD& code = result ? *result : ignored;
    code = kResultSuccess;
    if (!name || !*name)
    {
        code = kResultBadArgument;
        return FALSE;
    }
    if (State().osIndex < kOs2000)
    {
        code = kResultNotTargetOs;
        return TRUE;
    }
    LogPrint("[1] Check Service Information");
    ScmHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager)
    {
        code = kResultRemoveFailed;
        return FALSE;
    }
    ScmHandle service(OpenServiceA(manager.h, name, SERVICE_ALL_ACCESS));
    if (!service)
    {
        code = GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST ? kResultNotInstalled : kResultRemoveFailed;
        return code == kResultNotInstalled;
    }
    LogPrint("[2] Uninstall Service");
    StopResult stopped = StopService(service.h);
    if (stopped == StopResult::Refused)
    {
        code = kResultRemoveFailed;
        return FALSE;
    }
    Sleep(kPollMilliseconds);
    if (!DeleteService(service.h))
    {
        code = kResultRemoveFailed;
        return FALSE;
    }
    // Marked for deletion; it goes once it stops. A stop that never ends is said so.
    if (stopped == StopResult::TimedOut)
    {
        code = kResultStopServiceFailed;
        return FALSE;
    }
    return TRUE;
}

// ---------------------------------------------------------------------------------------------------
// Programs.

std::string RunnerCommand(std::string_view command, std::string_view installCommand,
                          std::string_view uninstallCommand, short mode, WORD logFlags)
{
    std::string chosen(command);
    if (chosen.empty())
        chosen = mode == kModeInstall ? installCommand : mode == kModeUninstall ? uninstallCommand : "";
    std::string options = DebugOptionsSuffix(logFlags); // " -d..." or empty
    if (options.empty())
        return chosen;
    return chosen.empty() ? options.substr(1) : chosen + options;
}

int RunComponentProgram(const UninstallState& state, ComponentEntry& entry)
{
    std::string section = std::string("FILE_") + entry.name;
    std::string name = IniString(entry.iniPath, section.c_str(), "NAME");
    LogPrint("[File Start]");
    LogPrint("  Name     : %s", name.c_str());
    LogPrint("  ExecFile : %s", entry.programPath);
    int code = kResultSuccess;
    if (name.empty())
        code = kResultBadArgument;
    else
    {
        std::string command = RunnerCommand(IniString(entry.iniPath, section.c_str(), "COMMAND"),
                                            IniString(entry.iniPath, section.c_str(), "INSTALLCOMMAND"),
                                            IniString(entry.iniPath, section.c_str(), "UNINSTALLCOMMAND"),
                                            entry.mode, state.logFlags);
        LogPrint("  szCommand: %s", command.c_str());
        char executable[MAX_PATH] = {};
        HINSTANCE found = FindExecutableA(entry.programPath, nullptr, executable);
        if (reinterpret_cast<INT_PTR>(found) <= 32)
            code = entry.mode == kModeUninstall ? kResultSuccess : kResultFileMissing;
        else
        {
            std::string folder = FolderOf(entry.programPath);
            SHELLEXECUTEINFOA info{};
            info.cbSize = sizeof info;
            info.fMask = SEE_MASK_NOCLOSEPROCESS;
            info.lpVerb = "open";
            info.lpFile = entry.programPath;
            info.lpParameters = command.empty() ? nullptr : command.c_str();
            info.lpDirectory = folder.empty() ? nullptr : folder.c_str();
            info.nShow = SW_SHOW;
            if (ShellExecuteExA(&info))
            {
                if (info.hProcess)
                {
                    WaitForSingleObject(info.hProcess, INFINITE);
                    CloseHandle(info.hProcess);
                }
            }
            else
            {
                LogPrint("  Application Error(0x%08x) : %s", static_cast<unsigned>(GetLastError()),
                         entry.programPath);
                code = 1;
            }
        }
    }
    LogPrint("  [dwCode] : %d", code);
    entry.result = code;
    entry.done = 1;
    return code;
}

} // namespace uninstall
