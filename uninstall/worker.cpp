#include "worker.h"

#include "components.h"
#include "entries.h"
#include "ini.h"
#include "log.h"
#include "msgbox.h"
#include "os_index.h"
#include "port_monitors.h"
#include "text.h"
#include "wizard.h"

#include <platform/boundary.h>
#include <platform/commctrl.h>
#include <platform/objbase.h>
#include <platform/shellapi.h>

#include <algorithm>
#include <string>
#include <vector>

namespace uninstall
{
namespace
{
constexpr DWORD kWorkerStack = 0x4000;
constexpr DWORD kItemPause = 50;
constexpr DWORD kFolderPause = 100;
constexpr const char* kUninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

struct Worker
{
    UninstallState& state;
    HWND page;
    const UninstallSection& section;
    std::string caption;      // of system-error boxes
    std::string statusFormat; // of the status line while files go
};

const char* FileList(const Worker& w)
{
    return w.state.fileListIniPath;
}

void Fail(const Worker& w, const char* key, const char* argument, const char* logLine)
{
    IniMessageBox(w.state.frameWindow, w.state.uiIniPath, "ERROR", key, "TITLE", MB_ICONEXCLAMATION, argument,
                  true);
    if (argument)
        LogPrint("[MessageBox] : %s(%s)", key, argument);
    else
        LogPrint("[MessageBox] : %s", key);
    LogPrint("%s", logLine);
}

// The system's own text for an error, in a warning box.
void SystemErrorBox(const Worker& w, DWORD error)
{
    ShowMessageBox(w.state.frameWindow, SystemErrorText(error).c_str(), w.caption.c_str(),
                   MB_ICONWARNING | MB_SETFOREGROUND);
}

// The component INI's section names, the buffer grown until every name fits.
std::vector<std::string> SectionNames(const char* path)
{
    std::string buffer(1024, '\0');
    for (;;)
    {
        DWORD n = GetPrivateProfileSectionNamesA(buffer.data(), static_cast<DWORD>(buffer.size()), path);
        if (n + 2 < buffer.size() || buffer.size() >= (1u << 22))
        {
            buffer.resize(std::min<size_t>(n, buffer.size()));
            break;
        }
        buffer.assign(buffer.size() * 2, '\0');
    }
    std::vector<std::string> names;
    for (size_t at = 0; at < buffer.size();)
    {
        size_t end = buffer.find('\0', at);
        if (end == std::string::npos)
            end = buffer.size();
        if (end > at)
            names.emplace_back(buffer.substr(at, end - at));
        at = end + 1;
    }
    return names;
}

std::string ComponentIniPath(const Worker& w)
{
    std::string name = IniString(FileList(w), w.section.componentSection, "INIFILE");
    if (name.empty() || IsAbsolutePath(name))
        return name;
    return JoinPath(w.state.moduleFolder, name);
}

// The device server's driver answers one byte: 1 while a client uses it.
bool DeviceServerInUse()
{
    HANDLE device = CreateFileA("\\\\.\\tzuptp", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE)
        return false;
    BYTE byte = 0;
    DWORD read = 0;
    bool inUse = ReadFile(device, &byte, 1, &read, nullptr) && read == 1 && byte == 1;
    CloseHandle(device);
    return inUse;
}

void RunPreStartPrograms(const Worker& w)
{
    LogPrint("*** PreStart Check ***");
    for (const std::string& program : IniList(FileList(w), "INSTALL", "PRESTART_%02d"))
    {
        char executable[MAX_PATH] = {};
        std::string folder = FolderOf(program);
        auto found = reinterpret_cast<INT_PTR>(FindExecutableA(program.c_str(), nullptr, executable));
        if (found <= 32)
            continue;
        SHELLEXECUTEINFOA info{};
        info.cbSize = sizeof info;
        info.fMask = SEE_MASK_NOCLOSEPROCESS;
        info.hwnd = w.page;
        info.lpVerb = "open";
        info.lpFile = program.c_str();
        info.lpParameters = w.state.logFlags ? "-dlogout" : nullptr;
        info.lpDirectory = folder.empty() ? nullptr : folder.c_str();
        info.nShow = SW_SHOW;
        LogPrint("  Application(Execute) : %s", program.c_str());
        if (ShellExecuteExA(&info) && info.hProcess)
        {
            LogPrint("  Application Waiting...");
            WaitForSingleObject(info.hProcess, INFINITE);
            CloseHandle(info.hProcess);
        }
        else
            LogPrint("    --> Application Error: 0x%08x", static_cast<unsigned>(GetLastError()));
    }
}

bool PreStartCheck(const Worker& w)
{
    LogPrint("*** PortMonitor Check ***");
    if (!CheckPortMonitors(w.state))
    {
        // The text is shared with the running-application check, whose "%s" names what is busy.
        Fail(w, "MESSAGE_04", BusyPortMonitorName(w.state).c_str(), "  Check Monitor Error.");
        return false;
    }
    RunPreStartPrograms(w);
    if (w.state.osIndex <= kOsNt4)
        return true;
    std::string componentIni = ComponentIniPath(w);
    if (componentIni.empty())
        return true;
    for (const std::string& name : SectionNames(componentIni.c_str()))
        if (EqualNoCase(IniString(componentIni.c_str(), name.c_str(), "INFFILE"), "TZUPTP.INF"))
        {
            if (!DeviceServerInUse())
                return true;
            Fail(w, "MESSAGE_11", nullptr, "  Component Error(1).");
            return false;
        }
    return true;
}

HWND ProgressBar(const Worker& w)
{
    return GetDlgItem(w.page, kIdProgress);
}

void SetProgressRange(const Worker& w)
{
    size_t count = IniList(FileList(w), w.section.fileSection, "FILE_%03d").size() +
                   IniList(FileList(w), w.section.shortcutSection, "SHORTCUT_%03d").size();
    HWND bar = ProgressBar(w);
    SendMessageA(bar, PBM_SETPOS, 0, 0);
    SendMessageA(bar, PBM_SETSTEP, 1, 0);
    SendMessageA(bar, PBM_SETRANGE32, 0, static_cast<LPARAM>(count));
}

bool RemoveComponents(const Worker& w)
{
    if (!RemovePortMonitors(w.state))
    {
        Fail(w, "MESSAGE_02", nullptr, "  Get Monitor Error.");
        return false;
    }
    std::string failing;
    int code = 0;
    if (!UninstallComponents(w.state, failing, code))
    {
        if (code == kResultConnected)
            Fail(w, "MESSAGE_11", nullptr, "  Component Error(2).");
        else
            Fail(w, "MESSAGE_10", failing.c_str(), "  Component Error(2).");
        return false;
    }
    CloseStatusMonitors(w.state, w.section.applicationSection);
    RemoveStatusMonitorRunValues(w.state, w.section.applicationSection);
    std::string status = IniString(w.state.uiIniPath, "LABEL", "UNINSTALL_02");
    if (!status.empty())
        SetDlgItemTextA(w.page, kIdStatus, status.c_str());
    RemoveRegistryEntries(w.state);
    return true;
}

void ShowStatus(const Worker& w, const std::string& path)
{
    SetStatusText(w.page, FormatWithArgument(w.statusFormat, path, 2 * MAX_PATH).c_str());
    SendMessageA(ProgressBar(w), PBM_STEPIT, 0, 0);
}

// Deletes a listed file; errors other than a missing file or folder are shown.
void DeleteListed(const Worker& w, const std::string& path, const char* errorLine)
{
    LogPrint("  Delete: %s", path.c_str());
    if (!DeleteFileA(path.c_str()))
    {
        DWORD error = GetLastError();
        LogPrint(errorLine, static_cast<unsigned>(error));
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
            SystemErrorBox(w, error);
    }
    Sleep(kItemPause);
}

void RemoveShortcuts(const Worker& w)
{
    LogPrint("*** Delete Shortcut Information ***");
    for (const std::string& path : IniList(FileList(w), w.section.shortcutSection, "SHORTCUT_%03d"))
    {
        ShowStatus(w, path);
        DeleteListed(w, path, "    --> Error : 0x%08x");
    }
}

// The program, its two INI files and its helper DLL stay until the second stage: without them the
// removal could not be run again.
bool IsOwnFile(const Worker& w, const std::string& path)
{
    char module[MAX_PATH] = {};
    DWORD n = GetModuleFileNameA(nullptr, module, MAX_PATH);
    return (n > 0 && n < MAX_PATH && EqualNoCase(path, module)) ||
           EqualNoCase(path, w.state.fileListIniPath) || EqualNoCase(path, w.state.uiIniPath) ||
           EqualNoCase(path, JoinPath(w.state.moduleFolder, HelperDllName(w.state)));
}

void RemoveListedFiles(const Worker& w)
{
    LogPrint("*** Delete Files Information ***");
    for (const std::string& path : IniList(FileList(w), w.section.fileSection, "FILE_%03d"))
    {
        ShowStatus(w, path);
        if (IsOwnFile(w, path))
            continue;
        DeleteListed(w, path, "    --> Error: 0x%08x");
    }
}

bool HasSubkeys(HKEY key)
{
    char name[256];
    DWORD size = sizeof name;
    return RegEnumKeyExA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_NO_MORE_ITEMS;
}

void RemoveSharedFiles(const Worker& w)
{
    LogPrint("*** Delete Shared Files Information ***");
    auto shared = ParseSharedKey(IniString(FileList(w), "SHARED", "SHAREDKEY"));
    if (!shared)
        return;
    std::string company = "Software\\" + shared->company;
    std::string product = company + "\\" + shared->product;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, product.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS)
    {
        RegCloseKey(key);
        DeleteKeyTree(HKEY_LOCAL_MACHINE, product.c_str());
        LogPrint("  HKEY_LOCAL_MACHINE\\%s", product.c_str());
    }
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, company.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    bool others = HasSubkeys(key);
    RegCloseKey(key);
    // Shared files go only with the company's last product.
    if (others)
        return;
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, company.c_str());
    LogPrint("  Delete: HKEY_LOCAL_MACHINE\\%s", company.c_str());
    for (const std::string& path : IniList(FileList(w), "SHARED", "FILE_%03d"))
        DeleteListed(w, path, "    --> Error: 0x%08x");
}

void RemoveFolders(const Worker& w)
{
    LogPrint("*** Delete Folder Information ***");
    for (const char* format : {"PATH_%03d", "COMMON_%03d"})
    {
        std::vector<std::string> folders = IniList(FileList(w), w.section.pathSection, format);
        for (auto it = folders.rbegin(); it != folders.rend(); ++it)
        {
            RemoveFolderChain(it->c_str());
            Sleep(kFolderPause);
        }
    }
}

void RemoveUninstallKey(const Worker& w)
{
    LogPrint("*** Delete Registry Information ***");
    std::string name = IniString(FileList(w), w.section.uninstallSection, "REGISTKEY");
    if (name.empty())
        return;
    std::string path = kUninstallKey + name;
    HKEY key = nullptr;
    // An entry or value already gone is no error to show, as with files.
    LSTATUS status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_SET_VALUE, &key);
    if (status != ERROR_SUCCESS)
    {
        LogPrint("    --> Error: 0x%08x", static_cast<unsigned>(status));
        if (status != ERROR_FILE_NOT_FOUND)
            SystemErrorBox(w, static_cast<DWORD>(status));
        return;
    }
    status = RegDeleteValueA(key, "UninstallString");
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
        SystemErrorBox(w, static_cast<DWORD>(status));
    RegCloseKey(key);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str());
    LogPrint("  HKEY_LOCAL_MACHINE, %s", path.c_str());
}

void RemoveFiles(Worker& w)
{
    w.caption = IniString(w.state.uiIniPath, "ERROR", "TITLE");
    w.statusFormat = IniString(w.state.uiIniPath, "LABEL", "UNINSTALL_03");
    RemoveShortcuts(w);
    RemoveListedFiles(w);
    RemoveSharedFiles(w);
    RemoveFolders(w);
    RemoveUninstallKey(w);
}
} // namespace

const char* HelperDllName(const UninstallState& state)
{
    return (state.osFlags & kOs64Bit) ? "_Setup64.dll"
           : state.osIndex == kOsNt4  ? "_Setupnt.dll"
                                      : "_Setup.dll";
}

LSTATUS DeleteKeyTree(HKEY root, const char* path)
{
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExA(root, path, 0, KEY_READ, &key);
    if (status != ERROR_SUCCESS)
        return status;
    std::vector<std::string> children;
    for (DWORD i = 0;; ++i)
    {
        char name[256];
        DWORD size = sizeof name;
        if (RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        children.emplace_back(name, size);
    }
    RegCloseKey(key);
    for (const std::string& child : children)
        DeleteKeyTree(root, (std::string(path) + "\\" + child).c_str());
    return RegDeleteKeyA(root, path);
}

bool RemoveFolderChain(const char* folder)
{
    char windows[MAX_PATH] = {};
    UINT n = GetWindowsDirectoryA(windows, MAX_PATH);
    std::string guard = n >= 3 && n < MAX_PATH ? std::string(windows, 3) : std::string("C:\\");
    for (const std::string& f : FolderChain(folder ? folder : "", guard))
    {
        if (!RemoveDirectoryA(f.c_str()))
            break;
        LogPrint("  %s", f.c_str());
    }
    return true;
}

DWORD UninstallWork(LPVOID progressPage)
{
    UninstallState& state = State();
    HWND page = static_cast<HWND>(progressPage);
    Worker w{state, page, state.sections[0], {}, {}};
    // The shell may start programs through COM.
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    bool ok = PreStartCheck(w);
    if (ok)
    {
        SetProgressRange(w);
        ok = RemoveComponents(w);
    }
    if (ok)
    {
        RemoveFirewallEntries(state);
        RemoveFiles(w);
    }
    if (SUCCEEDED(com))
        CoUninitialize();
    PostMessageA(page, ok ? kMsgWorkerDone : kMsgWorkerFailed, 0, 0);
    return 0;
}

DWORD WINAPI UninstallThread(LPVOID progressPage)
{
    DWORD result = platform::Boundary(DWORD{1}, [&] { return UninstallWork(progressPage); });
    if (result != 0) // stopped by an exception: the page still hears that the removal failed
        PostMessageA(static_cast<HWND>(progressPage), kMsgWorkerFailed, 0, 0);
    return result;
}

HANDLE StartUninstallThread(HWND progressPage)
{
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, kWorkerStack, UninstallThread, progressPage, 0, &id);
    if (thread)
        SetThreadPriority(thread, THREAD_PRIORITY_LOWEST);
    return thread;
}

} // namespace uninstall
