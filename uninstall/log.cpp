#include "log.h"

#include "text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace uninstall
{
namespace
{
// Creates each folder of the path from its root down, going on while each is made or exists.
void MakeFolders(const std::string& folder)
{
    const char* start = folder.c_str();
    for (const char* p = start; *p; p = CharNextA(p))
    {
        if (*p != '\\' || p - start < 3)
            continue;
        std::string part(start, static_cast<size_t>(p - start));
        if (!CreateDirectoryA(part.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return;
    }
}
} // namespace

std::string WindowsDriveRoot()
{
    char windows[MAX_PATH] = {};
    UINT n = GetWindowsDirectoryA(windows, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return "C:\\";
    const char* slash = std::strchr(windows, '\\');
    return slash ? std::string(windows, static_cast<size_t>(slash - windows) + 1)
                 : std::string(windows) + "\\";
}

std::string ResolveLogPath(std::string_view value, std::string_view expanded, std::string_view driveRoot)
{
    std::string_view path = expanded != value ? expanded : value;
    if (IsAbsolutePath(path))
        return std::string(path);
    return JoinPath(driveRoot, path);
}

void SetLogFile(const char* value)
{
    UninstallState& state = State();
    auto fields = SplitFields(value ? value : "", ';');
    if (fields.size() > 1 && EqualNoCase(fields[1], "HIDE"))
        state.logFileAttribute = FILE_ATTRIBUTE_HIDDEN;
    char expanded[MAX_PATH] = {};
    DWORD n = ExpandEnvironmentStringsA(fields[0].c_str(), expanded, MAX_PATH);
    std::string path =
        ResolveLogPath(fields[0], n > 0 && n <= MAX_PATH ? expanded : fields[0], WindowsDriveRoot());
    lstrcpynA(state.logPath, path.c_str(), MAX_PATH);
}

void WriteLogLine(const char* text)
{
    UninstallState& state = State();
    if (!state.logPath[0])
        lstrcpynA(state.logPath, (WindowsDriveRoot() + "Setup.txt").c_str(), MAX_PATH);
    if (!state.logFoldersMade)
    {
        state.logFoldersMade = true;
        std::string folder = FolderOf(state.logPath);
        MakeFolders(folder);
        // Only a hidden log hides its folder, and never a drive's root.
        if (state.logFileAttribute == FILE_ATTRIBUTE_HIDDEN && !folder.empty() && !IsDriveRoot(folder))
        {
            std::string bare = folder.substr(0, folder.size() - 1);
            SetFileAttributesA(bare.c_str(), FILE_ATTRIBUTE_HIDDEN);
        }
    }
    HANDLE file = CreateFileA(state.logPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    SYSTEMTIME now{};
    GetLocalTime(&now);
    char line[1100];
    int n = std::snprintf(line, sizeof line, "%04u/%02u/%02u %02u:%02u:%02u  %s\r\n", now.wYear, now.wMonth,
                          now.wDay, now.wHour, now.wMinute, now.wSecond, text ? text : "");
    if (n > 0)
    {
        size_t length = std::min<size_t>(static_cast<size_t>(n), sizeof line - 1);
        SetFilePointer(file, 0, nullptr, FILE_END);
        DWORD written = 0;
        WriteFile(file, line, static_cast<DWORD>(length), &written, nullptr);
    }
    CloseHandle(file);
}

void LogPrint(const char* format, ...)
{
    UninstallState& state = State();
    if (state.logFlags == 0 || !format)
        return;
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (state.logFlags & kLogFile)
        WriteLogLine(text);
    if (state.logFlags & kLogDebugger)
        OutputDebugStringA(text);
}

void ParseDebugOption(const char* token)
{
    UninstallState& state = State();
    state.logFlags = ParseDebugToken(token ? token : "", state.logFlags);
}

void AppendDebugOptions(char* commandLine, size_t size)
{
    std::string suffix = DebugOptionsSuffix(State().logFlags);
    if (suffix.empty() || !commandLine)
        return;
    size_t used = strnlen(commandLine, size);
    if (used + suffix.size() < size)
        std::memcpy(commandLine + used, suffix.c_str(), suffix.size() + 1);
}

} // namespace uninstall
