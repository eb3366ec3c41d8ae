#include "startup.h"

#include "firewall.h"
#include "install_workers.h"
#include "shell_files.h"
#include "v4_companion.h"
#include "sheet.h"

#include <platform/dll_search.h>
#include <platform/shellapi.h>

namespace kgsetup
{

namespace
{
// The single-instance mutex, released and closed on every way out.
class InstanceMutex
{
public:
    explicit InstanceMutex(HANDLE mutex) : mutex_(mutex) {}
    ~InstanceMutex()
    {
        ReleaseMutex(mutex_);
        CloseHandle(mutex_);
    }
    InstanceMutex(const InstanceMutex&) = delete;
    InstanceMutex& operator=(const InstanceMutex&) = delete;

private:
    HANDLE mutex_;
};

void ShowError(const WString& text)
{
    MessageBoxW(nullptr, text.c_str(), nullptr, MB_ICONERROR);
}

bool Equal(const WString& a, LPCWSTR b)
{
    return lstrcmpiW(a.c_str(), b) == 0;
}

bool FileExists(const WString& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

WString EnvironmentValue(LPCWSTR name)
{
    DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0)
        return {};
    WString value(size, 0);
    DWORD n = GetEnvironmentVariableW(name, value.data(), size);
    if (n == 0 || n >= size)
        return {};
    value.resize(n);
    return value;
}

// The system's text for `error` followed by the file's name; nothing when there is no text.
void ShowStartFailure(DWORD error, const WString& path)
{
    LPWSTR text = nullptr;
    DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    if (n && text)
    {
        size_t slash = path.find_last_of(TEXT('\\'));
        ShowError(WString(text, n) + TEXT("\r\n") + (slash == WString::npos ? path : path.substr(slash + 1)));
    }
    if (text)
        LocalFree(text);
}

// What a removed driver may have left behind: the package driver's companion files and its device
// metadata.
void RemoveLeftovers()
{
    CV4CompanionFiles(TEXT("")).Remove();
    WString programData = EnvironmentValue(TEXT("ProgramData"));
    if (programData.empty())
        return; // a bare "\Microsoft\..." would name a folder at the root of the current drive
    // Each is tried: what one leaves does not keep the other.
    DeleteWithShell(MetadataStoreFile(programData));
    DeleteWithShell(MetadataCacheFolder(programData));
}
} // namespace

std::vector<WString> ProcessArguments()
{
    std::vector<WString> arguments;
    int count = 0;
    LPWSTR* vector = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!vector)
        return arguments;
    for (int i = 0; i < count; ++i)
        arguments.emplace_back(vector[i]);
    LocalFree(vector);
    return arguments;
}

void ParseOptions(CSetupContext& context, const std::vector<WString>& arguments)
{
    for (size_t i = 1; i < arguments.size(); ++i)
    {
        const WString& a = arguments[i];
        if (Equal(a, TEXT("/j")) || Equal(a, TEXT("/e")))
        {
            context.uiLanguage = Equal(a, TEXT("/j")) ? 17 : 9;
            context.ChooseCurrentMessageTable();
        }
        if (Equal(a, TEXT("/lm=on")))
            context.languageMonitorSwitch = 1;
        else if (Equal(a, TEXT("/lm=off")))
            context.languageMonitorSwitch = 0;
        if (Equal(a, TEXT("/fs")))
        {
            context.fileOnly = 1;
            context.connectionKind = 1;
        }
        else if (Equal(a, TEXT("/uninstall")))
            context.mode = 2;
        else if (Equal(a, TEXT("/modify")))
            context.mode = 3;
    }
}

RelaunchResult RelaunchNativeBuild(LPCWSTR commandLine)
{
    RelaunchResult result;
    WString line =
        TEXT("\"") + Context().nativeSetupPath + TEXT("\" ") + (commandLine ? commandLine : TEXT(""));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
    {
        result.startError = GetLastError();
        if (result.startError == 0)
            result.startError = ERROR_GEN_FAILURE;
        return result;
    }
    if (WaitForSingleObject(process.hProcess, INFINITE) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(process.hProcess, &result.exitCode))
        result.exitCode = 0; // not known: a still-running child's STILL_ACTIVE is no exit code
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return result;
}

int WINAPI Main(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int)
{
    platform::HardenDllSearchPath();

    HANDLE mutex = CreateMutexW(nullptr, TRUE, RunningBuildId());
    if (!mutex)
        return 0;
    if (GetLastError() == ERROR_ALREADY_EXISTS)
    {
        CloseHandle(mutex);
        MessageBoxW(nullptr, kAlreadyRunning, nullptr, MB_ICONERROR);
        return 0;
    }
    InstanceMutex held(mutex);

    *g_setupContext = std::make_unique<CSetupContext>();
    CSetupContext& c = Context();

    // The gates come before the options: they speak the detected language whatever "/j" or "/e" say.
    UINT minimumOs = c.driverKind == 4 ? (c.isX64 ? 209 : 110) : (c.isX64 ? 205 : 108);
    if (static_cast<UINT>(c.osCode) < minimumOs)
    {
        ShowError(c.Text(1));
        return 0;
    }
    if ((c.ieVersion >> 16) < 5)
    {
        ShowError(c.Text(2));
        return 0;
    }
    if (c.packageMask && !c.isNativeBuild)
    {
        DWORD error = ERROR_FILE_NOT_FOUND;
        if (FileExists(c.nativeSetupPath))
        {
            RelaunchResult relaunch = RelaunchNativeBuild(commandLine);
            if (!relaunch.startError)
                return static_cast<int>(relaunch.exitCode);
            error = relaunch.startError;
        }
        ShowStartFailure(error, c.nativeSetupPath);
        return 0;
    }
    if (c.installedScanError)
    {
        // What is installed is not known: no page may be offered on it, nor leftovers removed.
        c.LogError(c.installedScanError);
        ShowError(c.Text(140) + TEXT("\r\n\r\n\r\n") + c.errorLog);
        return 0;
    }
    if (!c.packageMask && !c.driverInstalled)
    {
        RemoveLeftovers();
        c.selfDeleteAtExit = 1;
        ShowError(c.Text(3));
        return 0;
    }

    ParseOptions(c, ProcessArguments());
    g_wizard->instance = instance;
    WString caption = c.Text(4);
    // The pages hold list views, progress bars and an address control besides the sheet's tabs.
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS |
                                                     ICC_INTERNET_CLASSES};
    if (!InitCommonControlsEx(&classes))
        return 0;

    CSetupWizard wizard;
    if (!wizard.Create(instance, caption))
        return -1; // what the sheet would have answered without its pages
    INT_PTR result;
    {
        firewall::CFirewallPolicy policy;
        policy.AddApplicationRule(kFirewallRuleName, c.modulePath.c_str());
        result = wizard.Run();
        // An allow rule left behind would outlive the program: one more try before giving up.
        if (FAILED(policy.RemoveRule(kFirewallRuleName)))
            policy.RemoveRule(kFirewallRuleName);
    }
    return static_cast<int>(result);
}

} // namespace kgsetup
