#include "uninstall_entry.h"
#include "shell_files.h"

#include <platform/crt.h>
#include <platform/shlobj.h>

#include <vector>

namespace kgsetup
{

namespace
{
constexpr WCHAR kUninstallKey[] = TEXT("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\");
constexpr DWORD kMaxValueBytes = 32 * 1024;

bool FileExists(const WString& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

WString FileNameOf(const WString& path)
{
    size_t slash = path.find_last_of(TEXT('\\'));
    return slash == WString::npos ? path : path.substr(slash + 1);
}

// A string value as stored, with or without its terminator; nothing for another type or a value
// too long to be one of ours.
std::optional<WString> ReadText(HKEY key, const WString& name)
{
    DWORD type = 0, bytes = 0;
    if (RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS)
        return std::nullopt;
    if ((type != REG_SZ && type != REG_EXPAND_SZ) || bytes > kMaxValueBytes)
        return std::nullopt;
    std::vector<BYTE> data(bytes + 2);
    DWORD got = bytes;
    if (RegQueryValueExW(key, name.c_str(), nullptr, &type, data.data(), &got) != ERROR_SUCCESS ||
        got > bytes)
        return std::nullopt;
    WString text;
    for (DWORD i = 0; i + 1 < got; i += 2)
        text += static_cast<WCHAR>(data[i] | (data[i + 1] << 8));
    while (!text.empty() && text.back() == 0)
        text.pop_back();
    if (text.find(WCHAR{0}) != WString::npos)
        return std::nullopt;
    return text;
}

std::optional<WString> Environment(const WCHAR* name)
{
    WCHAR value[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(name, value, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return std::nullopt;
    return WString(value, n);
}

// A path the command can quote: absolute, and free of quotes, percent signs and control characters.
bool Quotable(WStringView path)
{
    if (path.size() < 3 || path[1] != TEXT(':') || path[2] != TEXT('\\'))
        return false;
    for (WCHAR c : path)
        if (c == TEXT('"') || c == TEXT('%') || c < 0x20)
            return false;
    return true;
}
} // namespace

CUninstallEntry::CUninstallEntry(WString name) : keyPath_(kUninstallKey), name_(std::move(name)) {}

CUninstallEntry::~CUninstallEntry()
{
    if (openKey_)
        RegCloseKey(openKey_);
}

void CUninstallEntry::SetCommands(const WString& path)
{
    values_[TEXT("UninstallString")] = path + TEXT(" /uninstall");
    values_[TEXT("DisplayIcon")] = path;
    values_[TEXT("ModifyPath")] = path + TEXT(" /modify");
}

void CUninstallEntry::SetDisplayName(const WString& text)
{
    values_[TEXT("DisplayName")] = text;
}

CUninstallEntry& CUninstallEntry::SetPublisher(const WString& text)
{
    values_[TEXT("Publisher")] = text;
    return *this;
}

bool CUninstallEntry::Exists()
{
    WString path = keyPath_ + name_;
    if (RegOpenKeyExW(root_, path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &openKey_) != ERROR_SUCCESS)
    {
        openKey_ = nullptr;
        return false;
    }
    for (const WCHAR* name :
         {TEXT("DisplayName"), TEXT("UninstallString"), TEXT("DisplayIcon"), TEXT("ModifyPath")})
        if (std::optional<WString> text = ReadText(openKey_, name))
            values_[name] = *text;
    RegCloseKey(openKey_);
    openKey_ = nullptr;
    return true;
}

WString CUninstallEntry::GetValue(const WString& name) const
{
    auto it = values_.find(name);
    return it == values_.end() ? WString() : it->second;
}

bool CUninstallEntry::Delete()
{
    WString path = keyPath_ + name_;
    return RegDeleteKeyExW(root_, path.c_str(), KEY_WOW64_64KEY, 0) == ERROR_SUCCESS;
}

std::optional<WString> BuildSelfDeleteCommand(WStringView displayIcon, WStringView interpreter,
                                              WStringView systemRoot, WStringView programData)
{
    // A trailing option (" /uninstall") is dropped with the blanks before it.
    WStringView exePath = displayIcon;
    if (size_t slash = exePath.find_last_of(TEXT('/')); slash != WStringView::npos)
        exePath = exePath.substr(0, slash);
    while (!exePath.empty() && exePath.back() == TEXT(' '))
        exePath.remove_suffix(1);
    size_t cut = exePath.find_last_of(TEXT('\\'));
    if (!Quotable(exePath) || cut == WStringView::npos || cut + 1 == exePath.size())
        return std::nullopt;
    WStringView folder = exePath.substr(0, cut);
    size_t makerCut = folder.find_last_of(TEXT('\\'));
    if (makerCut == WStringView::npos || !Quotable(interpreter) || !Quotable(systemRoot))
        return std::nullopt;
    WStringView makerFolder = folder.substr(0, makerCut);

    auto quoted = [](WStringView path) { return TEXT("\"") + WString(path) + TEXT("\""); };
    // The waiting program by its full path: the current folder of an elevated command must not
    // decide which program runs.
    WString line = quoted(WString(systemRoot) + TEXT("\\System32\\timeout.exe")) + TEXT(" /NOBREAK /T 5");
    if (Quotable(programData))
    {
        WString shortcutFolder = StartMenuFolder(WString(programData));
        line += TEXT(" & del /Q ") + quoted(StartMenuShortcut(WString(programData)));
        line += TEXT(" & rd /Q  ") + quoted(shortcutFolder);
    }
    line += TEXT(" & del /Q  ") + quoted(exePath);
    line += TEXT(" & rd /Q  ") + quoted(folder);
    line += TEXT(" & rd /Q  ") + quoted(makerFolder);
    WString command = quoted(interpreter) + TEXT(" /c ") + quoted(line);
    // A cut command would run with a cut path: too long starts nothing.
    if (command.size() > kMaxSelfDeleteCommand)
        return std::nullopt;
    return command;
}

bool CUninstallEntry::SelfDelete()
{
    if (!Exists())
        return false;
    std::optional<WString> interpreter = Environment(TEXT("COMSPEC"));
    std::optional<WString> systemRoot = Environment(TEXT("SystemRoot"));
    if (!interpreter || !systemRoot)
        return false;
    std::optional<WString> programData = Environment(TEXT("ProgramData"));
    std::optional<WString> command =
        BuildSelfDeleteCommand(GetDisplayIcon(), *interpreter, *systemRoot, programData.value_or(WString()));
    if (!command)
        return false;
    WString systemFolder = *systemRoot + TEXT("\\System32");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command->data(), nullptr, nullptr, FALSE, 0, nullptr, systemFolder.c_str(),
                        &startup, &process))
        return false; // the entry stays, so a later removal can try again
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    Delete();
    return true;
}

bool CUninstallEntry::InstallUninstaller(const WString& runningProgramPath, const WString& relativeTarget)
{
    if (Exists())
    {
        WString registered = GetDisplayIcon();
        // A registered uninstaller that is gone counts as older: the entry is repaired.
        UINT order =
            FileExists(registered) ? CompareFileVersions(runningProgramPath, registered) : kFirstNewer;
        if (order == kVersionsEqual || order == kFirstOlder)
            return true;
        if (order == kVersionUnreadable)
            return false;
        Delete();
        if (FileExists(registered))
            DeleteWithShell(registered);
    }
    return CopyAndRegister(runningProgramPath, relativeTarget);
}

bool CUninstallEntry::CopyAndRegister(const WString& runningProgramPath, const WString& relativeTarget)
{
    WCHAR programFiles[MAX_PATH];
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, programFiles)))
        return false;
    std::vector<WString> parts = SplitPath(relativeTarget);
    if (parts.empty())
        return false;
    WString folder = programFiles;
    for (size_t i = 0; i + 1 < parts.size(); ++i)
    {
        folder += TEXT("\\") + parts[i];
        _wmkdir(folder.c_str()); // an existing folder is fine
    }
    WString target = folder + TEXT("\\") + parts.back();
    HRESULT copyResult = S_OK;
    // The installed copy registering itself again is already in place.
    if (lstrcmpiW(runningProgramPath.c_str(), target.c_str()) != 0)
    {
        if (FileExists(target))
            DeleteWithShell(target);
        copyResult = CopyWithShell(runningProgramPath, folder);
        WString copied = folder + TEXT("\\") + FileNameOf(runningProgramPath);
        if (lstrcmpiW(copied.c_str(), target.c_str()) != 0)
            _wrename(copied.c_str(), target.c_str());
    }
    // An entry must never name an uninstaller that is not there; the caller logs why it is not.
    if (!FileExists(target))
    {
        SetLastError(FAILED(copyResult) ? static_cast<DWORD>(copyResult)
                                        : static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
        return false;
    }
    SetCommands(target);
    return true;
}

bool CUninstallEntry::Commit()
{
    WString path = keyPath_ + name_;
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExW(root_, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &key, &disposition) != ERROR_SUCCESS)
        return false;
    bool ok = true;
    for (const auto& [name, text] : values_)
    {
        // The byte count includes the terminator, as the registry's string contract asks.
        DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR));
        if (RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                           bytes) != ERROR_SUCCESS)
        {
            ok = false;
            break;
        }
    }
    RegCloseKey(key);
    if (!ok && disposition == REG_CREATED_NEW_KEY)
        RegDeleteKeyExW(root_, path.c_str(), KEY_WOW64_64KEY, 0);
    return ok;
}

bool RegisterUninstaller(const WString& modulePath)
{
    CUninstallEntry entry(kUninstallEntryName);
    if (!entry.InstallUninstaller(modulePath, kUninstallerTarget))
        return false;
    entry.SetDisplayName(kUninstallEntryName);
    entry.SetPublisher(kPublisher);
    return entry.Commit();
}

} // namespace kgsetup
