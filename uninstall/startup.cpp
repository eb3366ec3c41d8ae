#include "startup.h"

#include "ini.h"
#include "log.h"
#include "msgbox.h"
#include "os_index.h"
#include "text.h"
#include "wizard.h"

#include <platform/commctrl.h>

#include <cstring>
#include <optional>
#include <string>

namespace uninstall
{
namespace
{
constexpr const char* kVersion = "7.6.2";
constexpr const char* kCaption = "TZ UnInstaller";
constexpr size_t kCommandLineChars = 519;
constexpr const char* kUninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// The mutex that marks this instance, owned until the process ends.
thread_local HANDLE t_instanceMutex = nullptr;

void Copy(char* to, const std::string& from, size_t size = kPathChars)
{
    lstrcpynA(to, from.c_str(), static_cast<int>(size));
}

// Only the system folder is searched for DLLs, so an elevated run from a download or temporary
// folder cannot be handed a planted one.
void HardenDllSearch()
{
    using SetDefault = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleW(TEXT("kernel32.dll"));
    auto setDefault = kernel ? reinterpret_cast<SetDefault>(reinterpret_cast<void (*)()>(
                                   GetProcAddress(kernel, "SetDefaultDllDirectories")))
                             : nullptr;
    if (!setDefault || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32))
        SetDllDirectoryA("");
}

void LogHeader(const UninstallState& state, const char* commandLine)
{
    std::string dashes(50, '-');
    char windows[MAX_PATH] = {};
    char system[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    GetSystemDirectoryA(system, MAX_PATH);
    std::string work = state.moduleFolder;
    if (!work.empty() && work.back() == '\\')
        work.pop_back();
    LogPrint("%s", dashes.c_str());
    LogPrint("            Uninstaller Version %s", kVersion);
    LogPrint("%s", dashes.c_str());
    LogPrint("*** OS Information ***");
    LogPrint("  OS             : %s", GetOsText(state).c_str());
    LogPrint("  Work Folder    : %s", work.c_str());
    LogPrint("  Windows Folder : %s", windows);
    LogPrint("  System Folder  : %s", system);
    LogPrint("  CommandLine    : %s", commandLine);
    LogPrint("  XxfList.ini    : %s", state.fileListIniPath);
    LogPrint("  Xxuninst.ini   : %s", state.uiIniPath);
    LogPrint("  Language       : %s", state.languageFolder);
}

// The install folder the uninstall entry names, if any (always terminated).
std::string InstallLocation(const std::string& registryKey)
{
    HKEY key = nullptr;
    std::string path = kUninstallKey + registryKey;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return {};
    char value[kPathChars] = {};
    DWORD type = 0;
    DWORD size = kPathChars - 1;
    LONG status =
        RegQueryValueExA(key, "InstallLocation", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return {};
    value[std::min<DWORD>(size, kPathChars - 1)] = 0;
    return value;
}

void MoveToInstallLocation(UninstallState& state, const std::string& location)
{
    std::string folder = JoinPath(location, "");
    std::string fileListName =
        SplitPath(state.fileListIniPath).baseName + SplitPath(state.fileListIniPath).extension;
    Copy(state.moduleFolder, folder);
    Copy(state.uiIniPath, JoinPath(folder, state.uiIniName));
    Copy(state.fileListIniPath, JoinPath(folder, fileListName));
    if (state.languageFolder[0])
    {
        std::string source = JoinPath(JoinPath(folder, state.languageFolder), state.uiIniName);
        if (CopyFileA(source.c_str(), state.uiIniPath, FALSE))
            SetFileAttributesA(state.uiIniPath, FILE_ATTRIBUTE_NORMAL);
    }
    LogPrint("*** Registry Information 1 ***");
    LogPrint("  XxfList.ini : %s", state.fileListIniPath);
    LogPrint("  Xxuninst.ini : %s", state.uiIniPath);
}

int NotFound(const UninstallState& state)
{
    UINT style = MB_ICONEXCLAMATION | MB_SETFOREGROUND | (state.rtlLayout ? MB_RTLREADING : 0);
    ShowMessageBox(nullptr, "Uninstallation information is not found. Uninstallation is stopped.",
                   "Uninstall", style);
    return -1;
}

void FreeSections(UninstallState& state)
{
    state.sections.reset();
    state.sectionCount = 0;
}

// The exit code of a stop before the wizard: one whose box could not be shown says so.
int Stopped()
{
    return State().windowError ? kExitWindowRefused : 0;
}
} // namespace

int ParseCommandLine(UninstallState& state, const char* commandLine)
{
    GetOsIndex(state, nullptr);
    if (!BuildSectionTable(state))
        return -1;
    const UninstallSection& section = state.sections[0];

    char module[kPathChars] = {};
    DWORD n = GetModuleFileNameA(nullptr, module, kPathChars);
    if (n == 0 || n >= kPathChars)
        return -1;
    SplitModulePath split = SplitPath(module);
    Copy(state.moduleFolder, split.folder);
    Copy(state.uiIniName, UiIniName(split.baseName));
    Copy(state.uiIniPath, JoinPath(state.moduleFolder, state.uiIniName));
    Copy(state.fileListIniPath, JoinPath(state.moduleFolder, IniString(state.uiIniPath, section.infoSection,
                                                                       "UNINSTLOG", "Unflist.ini")));

    std::string arguments(commandLine ? commandLine : "");
    arguments = arguments.substr(0, kCommandLineChars);
    bool secondStage = false;
    for (const std::string& token : SplitFields(arguments, ' '))
    {
        std::string_view head = std::string_view(token).substr(0, 2);
        if (EqualNoCase(head, "-r"))
            state.rebootRequested = state.rebootNeeded = 1;
        else if (EqualNoCase(head, "-d"))
            ParseDebugOption(token.c_str());
        else if (EqualNoCase(head, "-u"))
            secondStage = true;
        else if (EqualNoCase(head, "-s"))
            state.options |= kOptionSilent;
        else if (EqualNoCase(head, "-t"))
            state.options |= kOptionNeverReboot;
    }

    const char* fileList = state.fileListIniPath;
    std::string log = IniString(fileList, section.uninstallSection, "LOG");
    if (!log.empty())
        SetLogFile(log.c_str());

    if (secondStage)
        return Hooks().runSecondStage ? Hooks().runSecondStage(arguments.c_str()) : 1;

    if (!IniString(fileList, section.uninstallSection, "SAL").empty())
    {
        std::string folder = IniString(fileList, "LANGUAGE", "DEFAULT", "", 127);
        if (!folder.empty())
            folder = PickLanguageFolder(GetSystemDefaultLangID(), folder,
                                        IniList(fileList, "LANGUAGE", "LANG_%02d"));
        Copy(state.languageFolder, folder, sizeof state.languageFolder);
    }
    if (EqualNoCase(IniString(fileList, "LANGUAGE", "RTL"), "ON"))
    {
        state.rtlLayout = 1;
        SetProcessDefaultLayout(LAYOUT_RTL);
    }

    LogHeader(state, arguments.c_str());

    std::string registryKey = IniString(fileList, section.uninstallSection, "REGISTKEY");
    if (registryKey.empty())
        return NotFound(state);
    std::string location = InstallLocation(registryKey);
    if (!location.empty())
        MoveToInstallLocation(state, location);
    if (IniString(state.uiIniPath, "TITLE", "TITLE").empty())
        return NotFound(state);
    if (!IniString(state.fileListIniPath, section.uninstallSection, "REGISTKEY").empty())
        return 0;
    IniMessageBox(nullptr, state.uiIniPath, "ERROR", "MESSAGE_00", "TITLE", MB_ICONEXCLAMATION, nullptr,
                  false);
    LogPrint("[MessageBox] : MESSAGE_00");
    return -1;
}

bool CheckAdministrator(UninstallState& state)
{
    if (IsWin9x(state.osIndex))
        return true;
    const char* name = (state.osFlags & kOs64Bit) ? "_Setup64.dll"
                       : state.osIndex == kOsNt4  ? "_Setupnt.dll"
                                                  : "_Setup.dll";
    std::string path = JoinPath(state.moduleFolder, name);
    constexpr UINT kStyle = MB_ICONEXCLAMATION | MB_TOPMOST | MB_SETFOREGROUND;
    HMODULE helper = LoadLibraryA(path.c_str());
    if (!helper)
    {
        IniMessageBox(nullptr, state.uiIniPath, "ERROR", "MESSAGE_05", "TITLE", kStyle, name, false);
        LogPrint("[MessageBox] : MESSAGE_05");
        return false;
    }
    using CheckUserPrivilege = BOOL(WINAPI*)(DWORD, LPSTR);
    auto check = reinterpret_cast<CheckUserPrivilege>(
        reinterpret_cast<void (*)()>(GetProcAddress(helper, "CheckUserPrivilege")));
    if (!check)
    {
        FreeLibrary(helper);
        return false;
    }
    char buffer[kPathChars] = {};
    BOOL admin = check(0, buffer);
    FreeLibrary(helper);
    if (admin)
        return true;
    IniMessageBox(nullptr, state.uiIniPath, "ERROR", "MESSAGE_06", "TITLE", kStyle, nullptr, false);
    LogPrint("[MessageBox] : MESSAGE_06");
    return false;
}

bool CheckRunningApplications(UninstallState& state)
{
    const char* fileList = state.fileListIniPath;
    const char* section = state.sections[0].applicationSection;
    struct Running
    {
        ApplicationEntry entry;
        HWND window = nullptr;
    };
    std::optional<Running> running;
    for (const std::string& value : IniList(fileList, section, "CLASSNAME_%02d"))
    {
        ApplicationEntry e = ParseApplicationEntry(value);
        if (!e.name.empty() && MutexExists(e.name.c_str(), true, false))
        {
            running = Running{e, FindWindowA(e.name.c_str(), nullptr)};
            break;
        }
    }
    if (!running)
        for (const std::string& value : IniList(fileList, section, "TITLE_%02d"))
        {
            ApplicationEntry e = ParseApplicationEntry(value);
            HWND window = e.name.empty() ? nullptr : FindWindowA(nullptr, e.name.c_str());
            if (window)
            {
                running = Running{e, window};
                break;
            }
        }
    if (!running)
        return true;
    if (state.options & kOptionSilent)
        return false;
    IniMessageBox(nullptr, state.uiIniPath, "ERROR", "MESSAGE_04", "TITLE", MB_ICONEXCLAMATION,
                  running->entry.displayName.c_str(), false);
    LogPrint("[MessageBox] : MESSAGE_04 %s", running->entry.displayName.c_str());
    if (running->window && running->entry.messageOffset > 0)
        PostMessageA(running->window, WM_APP + static_cast<UINT>(running->entry.messageOffset), 0, 0);
    return false;
}

bool MutexExists(const char* name, bool useGlobalPrefix, bool takeOwnership)
{
    std::string full =
        (useGlobalPrefix && State().osIndex > kOsNt4 ? "Global\\" : "") + std::string(name ? name : "");
    HANDLE mutex = CreateMutexA(nullptr, takeOwnership ? TRUE : FALSE, full.c_str());
    if (!mutex)
        return true;
    bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    if (takeOwnership && !existed)
        t_instanceMutex = mutex;
    else if (!takeOwnership)
        CloseHandle(mutex);
    return existed;
}

int ExitUninstaller(int code)
{
    UninstallState& state = State();
    if ((state.options & kOptionNeverReboot) && (state.rebootRequested == 1 || state.rebootNeeded))
        code = 2;
    if (state.windowError && !state.completed)
        code = kExitWindowRefused;
    FreeSections(state);
    LogPrint("*** return [%d] ***", code);
    return code;
}

int Main(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int)
{
    HardenDllSearch();
    InitCommonControls();
    ResetState();
    UninstallState& state = State();
    state.hInstance = instance;

    int parsed = ParseCommandLine(state, commandLine);
    if (parsed != 0)
    {
        FreeSections(state);
        return parsed == 1 ? 1 : Stopped();
    }
    if (!CheckAdministrator(state))
        return Stopped();
    std::string className = IniString(state.uiIniPath, state.sections[0].infoSection, "CLASSNAME");
    if (className.empty())
        return 0;
    if (!previous)
    {
        WNDCLASSA wc{};
        wc.style = CS_HREDRAW | CS_VREDRAW;
        wc.lpfnWndProc = MainWindowProc;
        wc.hInstance = instance;
        wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(kIconProgram));
        wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        wc.lpszClassName = className.c_str();
        if (!RegisterClassA(&wc))
            return 0;
    }
    if (MutexExists(className.c_str(), true, true))
    {
        HWND first = FindWindowA(className.c_str(), nullptr);
        if (!first)
        {
            IniMessageBox(nullptr, state.uiIniPath, "ERROR", "MESSAGE_12", "TITLE", MB_ICONEXCLAMATION,
                          nullptr, false);
            LogPrint("[MessageBox] : MESSAGE_12");
            return Stopped();
        }
        HWND popup = GetLastActivePopup(first);
        // Windows lets a process take the foreground only through the input of the one that has it.
        DWORD foregroundThread = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
        DWORD self = GetCurrentThreadId();
        bool attached = state.osIndex >= kOs2000 && foregroundThread && foregroundThread != self &&
                        AttachThreadInput(self, foregroundThread, TRUE);
        SetForegroundWindow(popup ? popup : first);
        if (attached)
            AttachThreadInput(self, foregroundThread, FALSE);
        return 0;
    }
    if (!CheckRunningApplications(state))
        return Stopped();
    HWND main =
        CreateWindowExA(0, className.c_str(), kCaption, WS_MINIMIZE | WS_CAPTION | WS_SYSMENU, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
    if (!main)
    {
        ReportRefusedWindow(nullptr);
        if (t_instanceMutex)
            CloseHandle(t_instanceMutex);
        t_instanceMutex = nullptr;
        FreeSections(state);
        return kExitWindowRefused;
    }
    MSG msg{};
    while (GetMessageA(&msg, nullptr, 0, 0) > 0)
    {
        bool taken = false;
        for (HWND page : state.pages)
            if (!taken && page && IsWindow(page) && IsDialogMessageA(page, &msg))
                taken = true;
        if (taken)
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    // The process ends here: its instance mutex goes with it.
    if (t_instanceMutex)
    {
        CloseHandle(t_instanceMutex);
        t_instanceMutex = nullptr;
    }
    return ExitUninstaller(static_cast<int>(msg.wParam));
}

} // namespace uninstall
