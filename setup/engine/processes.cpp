#include "processes.h"

#include <platform/psapi.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

namespace kgsetup
{
namespace
{
// Closes a kernel handle on every path out.
class Handle
{
public:
    Handle() = default;
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle()
    {
        if (h_)
            CloseHandle(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE* Out() { return &h_; }
    HANDLE Get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }

private:
    HANDLE h_ = nullptr;
};

STARTUPINFOW Hidden()
{
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    return startup;
}

WString FoldCase(WStringView text)
{
    WString folded(text);
    for (WCHAR& c : folded)
        if (c >= u'a' && c <= u'z')
            c = static_cast<WCHAR>(c - u'a' + u'A');
    return folded;
}

std::vector<DWORD> ProcessIds()
{
    // EnumProcesses cannot say it ran out of room: a full buffer is taken as too small.
    std::vector<DWORD> ids(1024);
    for (;;)
    {
        DWORD bytes = 0;
        if (!K32EnumProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &bytes))
            return {};
        if (bytes < ids.size() * sizeof(DWORD) || ids.size() >= (1u << 20))
        {
            ids.resize(bytes / sizeof(DWORD));
            return ids;
        }
        ids.resize(ids.size() * 2);
    }
}

WString ModulePath(HANDLE process, HMODULE module)
{
    std::array<WCHAR, MAX_PATH> path{};
    DWORD length = K32GetModuleFileNameExW(process, module, path.data(), static_cast<DWORD>(path.size()));
    return WString(path.data(), length);
}
} // namespace

RunResult RunProcessAndWait(WStringView commandLine, DWORD milliseconds)
{
    RunResult result;
    WString line(commandLine);
    STARTUPINFOW startup = Hidden();
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return result;
    Handle process(info.hProcess), thread(info.hThread);
    result.started = true;
    WaitForSingleObject(info.hProcess, milliseconds);
    DWORD code = 0;
    if (GetExitCodeProcess(info.hProcess, &code))
        result.exitCode = code;
    return result;
}

DWORD RunAsDesktopUser(WStringView commandLine)
{
    constexpr DWORD kFailed = ERROR_ACCESS_DENIED;
    HWND shell = GetShellWindow();
    DWORD shellId = 0;
    if (!shell || !GetWindowThreadProcessId(shell, &shellId) || !shellId)
        return kFailed;
    Handle shellProcess(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, shellId));
    if (!shellProcess)
        return kFailed;
    Handle shellToken, primary;
    if (!OpenProcessToken(shellProcess.Get(), TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY,
                          shellToken.Out()) ||
        !DuplicateTokenEx(shellToken.Get(), MAXIMUM_ALLOWED, nullptr, SecurityImpersonation, TokenPrimary,
                          primary.Out()))
        return kFailed;
    WString line(commandLine);
    STARTUPINFOW startup = Hidden();
    PROCESS_INFORMATION info{};
    if (!CreateProcessWithTokenW(primary.Get(), 0, nullptr, line.data(), 0, nullptr, nullptr, &startup,
                                 &info))
        return kFailed;
    Handle process(info.hProcess), thread(info.hThread);
    WaitForSingleObject(info.hProcess, 0);
    DWORD code = kFailed;
    if (!GetExitCodeProcess(info.hProcess, &code))
        code = kFailed;
    return code;
}

std::map<DWORD, WString> ListProcesses()
{
    std::map<DWORD, WString> found;
    for (DWORD id : ProcessIds())
    {
        Handle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id));
        if (process)
            found[id] = ModulePath(process.Get(), nullptr);
    }
    return found;
}

std::map<DWORD, WString> ProcessesHoldingModule(WStringView text)
{
    std::map<DWORD, WString> holding;
    const WString wanted = FoldCase(text);
    for (const auto& [id, image] : ListProcesses())
    {
        Handle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id));
        if (!process)
            continue;
        std::vector<HMODULE> modules(260);
        DWORD needed = 0;
        if (!K32EnumProcessModulesEx(process.Get(), modules.data(),
                                     static_cast<DWORD>(modules.size() * sizeof(HMODULE)), &needed,
                                     LIST_MODULES_ALL))
            continue;
        if (needed > modules.size() * sizeof(HMODULE))
        {
            modules.resize(needed / sizeof(HMODULE));
            if (!K32EnumProcessModulesEx(process.Get(), modules.data(),
                                         static_cast<DWORD>(modules.size() * sizeof(HMODULE)), &needed,
                                         LIST_MODULES_ALL))
                continue;
        }
        modules.resize(std::min<size_t>(modules.size(), needed / sizeof(HMODULE)));
        for (HMODULE module : modules)
            if (FoldCase(ModulePath(process.Get(), module)).find(wanted) != WString::npos)
            {
                holding[id] = image;
                break;
            }
    }
    return holding;
}

RunResult KillProcess(DWORD processId)
{
    // By its full path: by a bare name the elevated setup would run a taskkill.exe planted beside it.
    std::array<WCHAR, MAX_PATH> system{};
    UINT length = GetSystemDirectoryW(system.data(), static_cast<UINT>(system.size()));
    if (length == 0 || length >= system.size())
        return {};
    WString command = TEXT("\"") + WString(system.data(), length) + TEXT("\\taskkill.exe\" /F /PID ");
    for (char c : std::to_string(processId))
        command += static_cast<WCHAR>(c);
    return RunProcessAndWait(command, 1000);
}

RunResult RunQuoted(WStringView path)
{
    return RunProcessAndWait(TEXT("\"") + WString(path) + TEXT("\""), 1000);
}

} // namespace kgsetup
