#include "monitor_launcher.h"

#include <platform/boundary.h>
#include <platform/handles.h>

#include <cstdio>

namespace monitorlauncher
{
namespace
{
constexpr char kSettingKey[] = "SOFTWARE\\VELMO\\STATWATCH";
constexpr char kSettingValue[] = "SHOW";
constexpr size_t kCommandBuffer = MAX_PATH;

void WriteVisible(HKEY key)
{
    const BYTE zero = 0;
    RegSetValueExA(key, kSettingValue, 0, REG_BINARY, &zero, 1);
}
} // namespace

std::optional<std::string> FormatCommand(std::string_view folder, bool hidden, std::string_view arguments)
{
    // The path is quoted: unquoted, a folder with blanks lets Windows start another program.
    char buffer[kCommandBuffer];
    int n = std::snprintf(buffer, sizeof buffer, "\"%.*s\\RXMonitor.exe\" %s %.*s",
                          static_cast<int>(folder.size()), folder.data(), hidden ? "-S" : "-B",
                          static_cast<int>(arguments.size()), arguments.data());
    if (n < 0 || static_cast<size_t>(n) >= sizeof buffer)
        return std::nullopt;
    return std::string(buffer, static_cast<size_t>(n));
}

BYTE ReadShowSetting()
{
    platform::UniqueRegKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingKey, 0, KEY_ALL_ACCESS, key.Put()) != ERROR_SUCCESS)
    {
        if (RegCreateKeyA(HKEY_CURRENT_USER, kSettingKey, key.Put()) == ERROR_SUCCESS)
            WriteVisible(key.Get());
        return 0;
    }
    BYTE setting = 0;
    DWORD size = sizeof setting;
    if (RegQueryValueExA(key.Get(), kSettingValue, nullptr, nullptr, &setting, &size) != ERROR_SUCCESS ||
        size != 1)
    {
        WriteVisible(key.Get());
        setting = 0;
    }
    return setting;
}

int WINAPI Main(HINSTANCE, HINSTANCE, LPSTR commandLine, int)
{
    return platform::Boundary(1, [&]() -> int {
        char module[MAX_PATH] = {};
        DWORD length = GetModuleFileNameA(nullptr, module, MAX_PATH);
        std::string_view path(module, length < MAX_PATH ? length : 0);
        size_t slash = path.rfind('\\');
        BYTE setting = ReadShowSetting();
        if (slash == std::string_view::npos)
            return 1; // no folder to find the monitor in
        bool hidden = setting != 0;
        if (auto command = FormatCommand(path.substr(0, slash), hidden, commandLine ? commandLine : ""))
            WinExec(command->c_str(), hidden ? SW_HIDE : SW_SHOWNOACTIVATE);
        return 1;
    });
}

} // namespace monitorlauncher
