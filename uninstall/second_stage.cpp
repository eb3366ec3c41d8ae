#include "second_stage.h"

#include "ini.h"
#include "log.h"
#include "os_index.h"
#include "text.h"
#include "user_hives.h"
#include "worker.h"

#include <platform/shellapi.h>

#include <vector>

namespace uninstall
{
namespace
{
constexpr DWORD kRetryPause = 100;
constexpr DWORD kLockedFor = 60000;

// Creates each level of the folder that is missing, from the root down.
void MakeFolders(const std::string& folder)
{
    const char* start = folder.c_str();
    for (const char* p = start; *p; p = CharNextA(p))
        if (*p == '\\' && p - start > 2)
            CreateDirectoryA(std::string(start, static_cast<size_t>(p - start)).c_str(), nullptr);
    CreateDirectoryA(folder.c_str(), nullptr);
}

std::string FileName(const std::string& path)
{
    SplitModulePath split = SplitPath(path);
    return split.baseName + split.extension;
}

std::string ModulePath()
{
    char module[MAX_PATH] = {};
    DWORD n = GetModuleFileNameA(nullptr, module, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::string(module, n) : std::string();
}

void RemoveFolders(const UninstallState& state, const char* format)
{
    std::vector<std::string> folders = IniList(state.fileListIniPath, state.sections[0].pathSection, format);
    for (auto it = folders.rbegin(); it != folders.rend(); ++it)
    {
        RemoveFolderChain(it->c_str());
        Sleep(kRetryPause);
    }
}

void DeleteOwnFileAtRestart(const UninstallState& state, const std::string& self)
{
    if (!IsWin9x(state.osIndex))
    {
        MoveFileExA(self.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
    else
    {
        std::string command = "command.com /c del " + self;
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                           &process))
        {
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
        LogPrint("  %s", command.c_str());
    }
    LogPrint("  %s", self.c_str());
}
} // namespace

std::string TemporaryFolder()
{
    for (const char* name : {"TMP", "TEMP"})
    {
        char value[MAX_PATH] = {};
        DWORD n = GetEnvironmentVariableA(name, value, MAX_PATH);
        if (n >= MAX_PATH)
            break;
        if (n > 0)
            return value;
    }
    char windows[MAX_PATH] = {};
    UINT n = GetWindowsDirectoryA(windows, MAX_PATH);
    return n > 0 && n < MAX_PATH ? windows : "C:\\Windows";
}

std::string SecondStageCommandLine(const UninstallState& state)
{
    std::string command = "-u";
    if (state.rebootRequested)
        command += " -r";
    if (state.options & kOptionSilent)
        command += " -s";
    if (state.options & kOptionNeverReboot)
        command += " -t";
    return command + DebugOptionsSuffix(state.logFlags);
}

void LaunchSecondStage()
{
    UninstallState& state = State();
    LogPrint("*** Temp Information ***");
    std::string temp = TemporaryFolder();
    if (GetFileAttributesA(temp.c_str()) == INVALID_FILE_ATTRIBUTES)
        MakeFolders(temp);
    std::string self = ModulePath();
    std::string fileListCopy = JoinPath(temp, FileName(state.fileListIniPath));
    std::string uiCopy = JoinPath(temp, FileName(state.uiIniPath));
    std::string selfCopy = JoinPath(temp, FileName(self));

    WritePrivateProfileStringA(state.sections[0].uninstallSection, "EXECFILE", self.c_str(),
                               state.fileListIniPath);
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, state.fileListIniPath);

    bool copied = !self.empty() && CopyFileA(state.fileListIniPath, fileListCopy.c_str(), FALSE) &&
                  CopyFileA(state.uiIniPath, uiCopy.c_str(), FALSE) &&
                  CopyFileA(self.c_str(), selfCopy.c_str(), FALSE);
    std::string command = SecondStageCommandLine(state);
    bool started = false;
    if (copied)
    {
        SHELLEXECUTEINFOA info{};
        info.cbSize = sizeof info;
        info.lpVerb = "open";
        info.lpFile = selfCopy.c_str();
        info.lpParameters = command.c_str();
        info.lpDirectory = temp.c_str();
        info.nShow = SW_SHOWNA;
        started = ShellExecuteExA(&info) != FALSE;
    }
    // Without a running copy the installed files are all that can finish the removal later.
    if (started)
        for (const char* installed : {state.fileListIniPath, state.uiIniPath})
        {
            DeleteFileA(installed);
            LogPrint("  %s", installed);
        }
    LogPrint("  %s %s", selfCopy.c_str(), command.c_str());
}

int RunSecondStage(const char* commandLine)
{
    UninstallState& state = State();
    const UninstallSection& section = state.sections[0];
    std::string dashes(50, '-');
    LogPrint("%s", dashes.c_str());
    LogPrint("         Uninstaller -- > Uninstaller");
    LogPrint("%s", dashes.c_str());
    LogPrint("*** Default Information ***");
    LogPrint("  CommandLine      : %s", commandLine ? commandLine : "");
    LogPrint("*** Uninstaller Information ***");
    LogPrint("  Uninstall Start!!");

    // The first stage holds this until it has ended.
    std::string mutexName = IniString(state.uiIniPath, section.infoSection, "CLASSNAME", "TZ UNINSTALLER");
    if (state.osIndex >= kOs2000)
        mutexName = "Global\\" + mutexName;
    if (HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, mutexName.c_str()))
    {
        DWORD waited = WaitForSingleObject(mutex, INFINITE);
        if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED)
            ReleaseMutex(mutex);
        CloseHandle(mutex);
    }

    std::string installed = IniString(state.fileListIniPath, section.uninstallSection, "EXECFILE");
    if (!installed.empty())
    {
        DWORD start = GetTickCount();
        while (!DeleteFileA(installed.c_str()) && GetLastError() == ERROR_ACCESS_DENIED &&
               GetTickCount() - start < kLockedFor)
            Sleep(kRetryPause);
        Sleep(kRetryPause);
        LogPrint("  Delete %s", installed.c_str());
        // The helper DLL beside it was kept for a second run; it goes now when the list names it.
        std::string helper = JoinPath(FolderOf(installed), HelperDllName(state));
        for (const std::string& listed : IniList(state.fileListIniPath, section.fileSection, "FILE_%03d"))
            if (EqualNoCase(listed, helper))
            {
                DeleteFileA(helper.c_str());
                LogPrint("  Delete %s", helper.c_str());
                break;
            }
    }

    // Without folders to remove the rest still happens: the copies go and a wanted restart comes.
    if (!IniString(state.fileListIniPath, section.pathSection, "PATH_000").empty())
    {
        RemoveFolders(state, "PATH_%03d");
        RemoveFolders(state, "COMMON_%03d");
    }
    for (const char* copy : {state.fileListIniPath, state.uiIniPath})
    {
        DeleteFileA(copy);
        LogPrint("  %s", copy);
    }
    std::string self = ModulePath();
    if (!self.empty())
        DeleteOwnFileAtRestart(state, self);
    if (state.rebootRequested && !(state.options & kOptionNeverReboot))
    {
        EnablePrivileges({"SeShutdownPrivilege"});
        if (ExitWindowsEx(EWX_REBOOT, 0))
            LogPrint("    Reboot");
    }
    LogPrint("  Finish !!");
    return 1;
}

} // namespace uninstall
