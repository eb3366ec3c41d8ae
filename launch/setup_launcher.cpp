#include "setup_launcher.h"

#include "environment.h"
#include "hardening.h"

#include <platform/boundary.h>
#include <platform/objbase.h>
#include <platform/shellapi.h>
#include <platform/shlwapi.h>

namespace setuplauncher
{
namespace
{
constexpr UINT kCaptionString = 103;
constexpr DWORD kExitNotFound = ERROR_FILE_NOT_FOUND;
constexpr DWORD kExitNoSection = ERROR_PATH_NOT_FOUND;
constexpr WORD kWindows2000 = 0x0500;
constexpr DWORD kValueBuffer = MAX_PATH;
constexpr DWORD kFirstNamesBuffer = 128;
constexpr DWORD kMostNamesBuffer = 1 << 20;
constexpr char kAbsent[] = "FAILED";

// The section names in file order; the buffer doubles while the list may have been cut.
std::vector<std::string> ReadSectionNames(const std::string& ini)
{
    std::string buffer;
    DWORD size = kFirstNamesBuffer;
    DWORD length = 0;
    for (;;)
    {
        buffer.assign(size, '\0');
        length = GetPrivateProfileSectionNamesA(buffer.data(), size, ini.c_str());
        if (length < size - 2 || size >= kMostNamesBuffer)
            break;
        size *= 2;
    }
    std::vector<std::string> names;
    std::string_view list(buffer.data(), std::min<size_t>(length, buffer.size()));
    while (!list.empty())
    {
        size_t end = list.find('\0');
        std::string_view name = list.substr(0, end);
        if (!name.empty())
            names.emplace_back(name);
        if (end == std::string_view::npos)
            break;
        list.remove_prefix(end + 1);
    }
    return names;
}

// A key's value; "FAILED" (the default) and an empty value both count as absent.
std::optional<std::string> ReadValue(const std::string& section, const char* key, const std::string& ini)
{
    char value[kValueBuffer] = {};
    DWORD length = GetPrivateProfileStringA(section.c_str(), key, kAbsent, value, kValueBuffer, ini.c_str());
    std::string text(value, std::min<DWORD>(length, kValueBuffer - 1));
    if (text.empty() || text == kAbsent)
        return std::nullopt;
    return text;
}

std::string FolderOf(std::string_view path)
{
    size_t slash = path.rfind('\\');
    return std::string(slash == std::string_view::npos ? std::string_view() : path.substr(0, slash + 1));
}

std::optional<std::string> FullPathA(const std::string& path)
{
    char full[MAX_PATH] = {};
    DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH)
        return std::nullopt;
    return std::string(full, length);
}

int Run(HINSTANCE instance, int showCommand)
{
    launch::HardenDllSearch(launch::CharacterWidth::Narrow);

    launch::CAnalyzeEnvironment environment(launch::CAnalyzeEnvironment::Form::Launcher);
    environment.Analyze();
    environment.systemLcid = GetSystemDefaultLCID();
    environment.userLcid = GetUserDefaultLCID();
    if (launch::VersionOf(environment.environmentWord) < kWindows2000)
    {
        ShowSystemError(instance, ERROR_OLD_WIN_VERSION, nullptr);
        return ERROR_OLD_WIN_VERSION;
    }

    char module[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(nullptr, module, MAX_PATH);
    std::optional<std::string> self =
        length > 0 && length < MAX_PATH ? FullPathA(std::string(module, length)) : std::nullopt;
    std::string ini = self ? IniPathOf(*self) : std::string();
    if (ini.empty() || !PathFileExistsA(ini.c_str()))
    {
        ShowSystemError(instance, kExitNotFound, FileNameOf(ini).c_str());
        return kExitNotFound;
    }

    LaunchPlan plan = PlanLaunch(ini, FolderOf(*self), environment.userLcid);
    if (plan.error)
    {
        ShowSystemError(instance, plan.error, plan.detail ? plan.detail->c_str() : nullptr);
        return static_cast<int>(plan.error);
    }
    const std::string& target = plan.target;
    const std::optional<std::string>& option = plan.option;
    std::string directory = FolderOf(target);

    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpFile = target.c_str();
    info.lpParameters = option ? option->c_str() : nullptr;
    info.lpDirectory = directory.c_str();
    info.nShow = showCommand;
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    DWORD exitCode = 0;
    if (ShellExecuteExA(&info) && reinterpret_cast<INT_PTR>(info.hInstApp) > 32 && info.hProcess)
    {
        WaitForSingleObject(info.hProcess, INFINITE);
        if (!GetExitCodeProcess(info.hProcess, &exitCode))
            exitCode = 0;
        CloseHandle(info.hProcess);
    }
    if (SUCCEEDED(com))
        CoUninitialize();
    return static_cast<int>(exitCode);
}
} // namespace

LaunchPlan PlanLaunch(const std::string& ini, const std::string& folder, LCID userLcid)
{
    LaunchPlan plan;
    std::vector<std::string> names = ReadSectionNames(ini);
    std::optional<std::string> section = ChooseSection(names, userLcid);
    if (!section)
    {
        plan.error = kExitNoSection;
        return plan;
    }
    plan.target = folder;
    if (auto path = ReadValue(*section, "path", ini))
        plan.target = FullPathA(folder + *path).value_or(folder + *path);
    if (!PathFileExistsA(plan.target.c_str()) || PathIsDirectoryA(plan.target.c_str()))
    {
        plan.error = kExitNotFound;
        plan.detail = FileNameOf(plan.target);
        return plan;
    }
    plan.option = ReadValue(*section, "option", ini);
    return plan;
}

std::string IniPathOf(std::string_view programPath)
{
    size_t slash = programPath.find_last_of("\\/");
    size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    size_t dot = programPath.rfind('.');
    if (dot == std::string_view::npos || dot < nameStart)
        return std::string(programPath) + ".ini";
    return std::string(programPath.substr(0, dot + 1)) + "ini";
}

std::optional<WORD> SectionLanguage(std::string_view name)
{
    size_t dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return std::nullopt;
    std::string_view digits = name.substr(dot + 1);
    if (digits.empty() || digits.size() > 4)
        return std::nullopt;
    WORD id = 0;
    for (char c : digits)
    {
        int v = c >= '0' && c <= '9'   ? c - '0'
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                       : -1;
        if (v < 0)
            return std::nullopt;
        id = static_cast<WORD>(id << 4 | v);
    }
    return id;
}

std::optional<std::string> ChooseSection(std::span<const std::string> names, LCID userLcid)
{
    std::optional<std::string> fallback;
    for (const std::string& name : names)
    {
        if (name.find('.') == std::string::npos)
        {
            fallback = name;
            continue;
        }
        if (auto language = SectionLanguage(name); language && ((*language ^ userLcid) & 0x3FF) == 0)
            return name;
    }
    return fallback;
}

std::string FileNameOf(std::string_view path)
{
    size_t slash = path.rfind('\\');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

int ShowSystemError(HINSTANCE instance, DWORD code, const char* detail)
{
    char caption[32] = {};
    LoadStringA(instance, kCaptionString, caption, sizeof caption);
    LPSTR message = nullptr;
    FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&message), 0, nullptr);
    std::string text = message ? message : "";
    if (message)
        LocalFree(message);
    if (detail)
        text += std::string("\r\n\r\n") + detail;
    return MessageBoxA(nullptr, text.c_str(), caption, MB_ICONERROR);
}

int WINAPI Main(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    return platform::Boundary(0, [&] { return Run(instance, showCommand); });
}

} // namespace setuplauncher
