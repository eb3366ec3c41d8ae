#include "uninstall_entry.h"
#include "shell_files.h"

#include <platform/crt.h>
#include <platform/shlobj.h>

#include <cerrno>
#include <cerrno>
#include <vector>

namespace kgsetup
{

namespace
{
constexpr WCHAR kUninstallKey[] = TEXT("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\");
constexpr DWORD kMaxValueBytes = 32 * 1024;

// Whether a file is there; `code` gets the error of a check that failed for another reason than
// its absence.
bool FileThere(const WString& path, DWORD& code)
{
    code = 0;
    if (path.empty())
        return false;
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
        return true;
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND && error != ERROR_INVALID_NAME)
        code = error ? error : static_cast<DWORD>(ERROR_GEN_FAILURE);
    return false;
}

bool FolderThere(const WString& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Fails with `code` as the last error, the one the caller logs.
bool Fail(DWORD code)
{
    SetLastError(code ? code : static_cast<DWORD>(ERROR_GEN_FAILURE));
    return false;
}

// The C runtime's rename tells only errno.
DWORD RenameError()
{
    return errno == ENOENT ? static_cast<DWORD>(ERROR_FILE_NOT_FOUND)
                           : static_cast<DWORD>(ERROR_ACCESS_DENIED);
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

struct StoredValue
{
    DWORD type = 0;
    std::vector<BYTE> data;
};

// A value as stored, type and bytes; nothing when there is none.
LSTATUS ReadStored(HKEY key, const WString& name, std::optional<StoredValue>& value)
{
    value.reset();
    DWORD type = 0, bytes = 0;
    LSTATUS status = RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &bytes);
    if (status == ERROR_FILE_NOT_FOUND)
        return ERROR_SUCCESS;
    if (status != ERROR_SUCCESS)
        return status;
    StoredValue stored{type, std::vector<BYTE>(bytes)};
    status = RegQueryValueExW(key, name.c_str(), nullptr, &stored.type, stored.data.data(), &bytes);
    if (status != ERROR_SUCCESS)
        return status;
    stored.data.resize(bytes);
    value = std::move(stored);
    return ERROR_SUCCESS;
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
    openStatus_ = RegOpenKeyExW(root_, path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &openKey_);
    if (openStatus_ != ERROR_SUCCESS)
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
    // An entry that cannot be read may name a copy elsewhere that would stay forever.
    if (!Exists() && openStatus_ != ERROR_FILE_NOT_FOUND)
        return Fail(static_cast<DWORD>(openStatus_));
    if (openStatus_ == ERROR_SUCCESS)
    {
        WString registered = GetDisplayIcon();
        DWORD code = 0;
        const bool there = FileThere(registered, code);
        if (code)
            return Fail(code);
        // A registered uninstaller that is gone counts as older: the entry is repaired.
        UINT order = there ? CompareFileVersions(runningProgramPath, registered) : kFirstNewer;
        if (order == kVersionsEqual || order == kFirstOlder)
            return true;
        if (order == kVersionUnreadable)
            return false;
        // The older entry and copy stay until the new ones are in place.
        if (there)
            replaced_ = registered;
    }
    return CopyAndRegister(runningProgramPath, relativeTarget);
}

bool CUninstallEntry::CopyAndRegister(const WString& runningProgramPath, const WString& relativeTarget)
{
    WCHAR programFiles[MAX_PATH];
    const HRESULT folderResult =
        SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, programFiles);
    if (FAILED(folderResult))
        return Fail(static_cast<DWORD>(folderResult));
    std::vector<WString> parts = SplitPath(relativeTarget);
    if (parts.empty())
        return Fail(ERROR_INVALID_PARAMETER);
    WString folder = programFiles;
    for (size_t i = 0; i + 1 < parts.size(); ++i)
    {
        folder += TEXT("\\") + parts[i];
        if (CreateDirectoryW(folder.c_str(), nullptr))
        {
            madeFolders_.push_back(folder);
            continue;
        }
        // An existing folder is fine, whatever the call said; a missing one would fail the copy
        // with another code.
        const DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS && !FolderThere(folder))
        {
            UndoCopy();
            return Fail(error);
        }
    }
    target_ = folder + TEXT("\\") + parts.back();
    // The installed copy registering itself again is already in place.
    if (lstrcmpiW(runningProgramPath.c_str(), target_.c_str()) != 0)
    {
        DWORD code = 0;
        if (FileThere(target_, code))
        {
            const WString aside = target_ + TEXT(".previous");
            DeleteFileW(aside.c_str()); // left by a run that stopped half-way, if at all
            if (_wrename(target_.c_str(), aside.c_str()) != 0)
                code = RenameError();
            else
                setAside_ = aside;
        }
        if (code)
        {
            UndoCopy();
            return Fail(code);
        }
        const WString copied = folder + TEXT("\\") + FileNameOf(runningProgramPath);
        // A failed copy can leave part of the file behind.
        if (lstrcmpiW(copied.c_str(), runningProgramPath.c_str()) != 0)
            placed_ = copied;
        const HRESULT copyResult = CopyWithShell(runningProgramPath, folder);
        if (FAILED(copyResult))
        {
            UndoCopy();
            return Fail(static_cast<DWORD>(copyResult));
        }
        if (lstrcmpiW(copied.c_str(), target_.c_str()) != 0)
        {
            if (_wrename(copied.c_str(), target_.c_str()) != 0)
            {
                code = RenameError();
                UndoCopy();
                return Fail(code);
            }
            placed_ = target_;
        }
    }
    SetCommands(target_);
    return true;
}

void CUninstallEntry::UndoCopy()
{
    if (!placed_.empty())
        DeleteFileW(placed_.c_str());
    if (!setAside_.empty())
        _wrename(setAside_.c_str(), target_.c_str());
    // Only folders this entry made, and only once empty.
    for (auto it = madeFolders_.rbegin(); it != madeFolders_.rend(); ++it)
        RemoveDirectoryW(it->c_str());
    placed_.clear();
    setAside_.clear();
    replaced_.clear();
    madeFolders_.clear();
}

DWORD CUninstallEntry::KeepCopy()
{
    // An old copy that will not go leaves the old entry and copy in place, the new ones taken back.
    const bool elsewhere = !replaced_.empty() && lstrcmpiW(replaced_.c_str(), target_.c_str()) != 0;
    if (elsewhere)
    {
        const HRESULT result = DeleteWithShell(replaced_);
        if (FAILED(result) && result != HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND))
            return static_cast<DWORD>(result);
    }
    // Once the copy elsewhere is gone there is nothing to go back to: a set-aside copy merely stays.
    if (!setAside_.empty() && !DeleteFileW(setAside_.c_str()) && !elsewhere)
        return GetLastError() ? GetLastError() : static_cast<DWORD>(ERROR_GEN_FAILURE);
    placed_.clear();
    setAside_.clear();
    replaced_.clear();
    madeFolders_.clear();
    return ERROR_SUCCESS;
}

bool CUninstallEntry::Commit()
{
    WString path = keyPath_ + name_;
    HKEY key = nullptr;
    DWORD disposition = 0;
    LSTATUS status = RegCreateKeyExW(root_, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &key, &disposition);
    if (status != ERROR_SUCCESS)
    {
        UndoCopy();
        return Fail(static_cast<DWORD>(status));
    }
    // An entry that was there is put back as it was should a value fail: half-written, it could
    // name a copy that is about to go.
    std::map<WString, std::optional<StoredValue>> before;
    if (disposition != REG_CREATED_NEW_KEY)
        for (auto it = values_.begin(); it != values_.end() && status == ERROR_SUCCESS; ++it)
            status = ReadStored(key, it->first, before[it->first]);
    std::vector<WString> written;
    for (auto it = values_.begin(); it != values_.end() && status == ERROR_SUCCESS; ++it)
    {
        const WString& text = it->second;
        // The byte count includes the terminator, as the registry's string contract asks.
        DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR));
        status = RegSetValueExW(key, it->first.c_str(), 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(text.c_str()), bytes);
        if (status == ERROR_SUCCESS)
            written.push_back(it->first);
    }
    if (status == ERROR_SUCCESS)
        status = static_cast<LSTATUS>(KeepCopy());
    if (status != ERROR_SUCCESS)
    {
        for (const WString& name : written)
        {
            if (const std::optional<StoredValue>& old = before[name])
                RegSetValueExW(key, name.c_str(), 0, old->type, old->data.data(),
                               static_cast<DWORD>(old->data.size()));
            else
                RegDeleteValueW(key, name.c_str());
        }
    }
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
    {
        if (disposition == REG_CREATED_NEW_KEY)
            RegDeleteKeyExW(root_, path.c_str(), KEY_WOW64_64KEY, 0);
        UndoCopy();
        return Fail(static_cast<DWORD>(status));
    }
    return true;
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
