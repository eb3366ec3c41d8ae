// The shell's ShellExecuteEx: a program file runs as a process of its own (its handle given back on
// request); a folder opens in a folder window; any other document or URL goes to the program its
// class in HKEY_CLASSES_ROOT names for the verb. Every request is recorded for tests.
#include "core/internal.h"
#include "core/state.h"

#include <platform/shellapi.h>
#include <platform/shlwapi.h>

#include <vector>

namespace sim::detail
{
namespace
{
struct Shell : PartBase
{
    std::vector<ShellRequest> requests;
};

Shell& shell()
{
    return Part<Shell>();
}

const HINSTANCE kLaunched = reinterpret_cast<HINSTANCE>(static_cast<ULONG_PTR>(42));
constexpr WStringView kFolderWindow = u"C:\\Windows\\explorer.exe";

std::optional<WString> ReadDefault(const WString& key)
{
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return std::nullopt;
    WCHAR value[1024] = {};
    DWORD size = sizeof value - sizeof(WCHAR);
    DWORD type = 0;
    LONG status = RegQueryValueExW(h, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(h);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return std::nullopt;
    WString text(value, size / sizeof(WCHAR));
    while (!text.empty() && text.back() == 0)
        text.pop_back();
    if (text.empty())
        return std::nullopt;
    return text;
}

} // namespace

// "scheme:..." with a scheme of two or more letters (one letter is a drive).
bool IsUrl(WStringView file)
{
    size_t colon = file.find(u':');
    if (colon == WStringView::npos || colon < 2)
        return false;
    for (size_t i = 0; i < colon; ++i)
    {
        char16_t c = file[i];
        bool ok = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                  (i > 0 && ((c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.'));
        if (!ok)
            return false;
    }
    return true;
}

namespace
{
// The class that handles a file or URL: the extension's class name, else the extension (or the URL
// scheme) itself.
WString ClassOf(WStringView file)
{
    if (IsUrl(file))
        return WString(file.substr(0, file.find(u':')));
    size_t slash = file.find_last_of(u"\\/");
    size_t dot = file.rfind(u'.');
    if (dot == WStringView::npos || (slash != WStringView::npos && dot < slash))
        return {};
    WString extension(file.substr(dot));
    return ReadDefault(extension).value_or(extension);
}

} // namespace

// The command a class gives a verb: the verb named, else the class's default verb, else "open".
std::optional<WString> AssociatedCommand(WStringView file, WStringView verb)
{
    WString cls = ClassOf(file);
    if (cls.empty())
        return std::nullopt;
    WString chosen(verb);
    if (chosen.empty())
        chosen = ReadDefault(cls + u"\\shell").value_or(u"open");
    return ReadDefault(cls + u"\\shell\\" + chosen + u"\\command");
}

// The program a command line starts: the quoted first word, else the text up to the first blank.
WString ProgramOfCommand(WStringView command)
{
    if (!command.empty() && command[0] == u'"')
    {
        size_t end = command.find(u'"', 1);
        return WString(command.substr(1, end == WStringView::npos ? WStringView::npos : end - 1));
    }
    return WString(command.substr(0, command.find(u' ')));
}

} // namespace sim::detail

namespace sim
{
std::vector<ShellRequest> Processes::ShellRequests() const
{
    std::lock_guard g(detail::StateLock());
    return detail::shell().requests;
}
} // namespace sim

using namespace sim;
using namespace sim::detail;

namespace
{
WString Text(LPCWSTR s)
{
    return s ? WString(s) : WString();
}

INT_PTR ShellErrorOf(DWORD error)
{
    switch (error)
    {
    case ERROR_FILE_NOT_FOUND:
        return SE_ERR_FNF;
    case ERROR_PATH_NOT_FOUND:
        return SE_ERR_PNF;
    case ERROR_NOT_ENOUGH_MEMORY:
        return SE_ERR_OOM;
    case ERROR_NO_ASSOCIATION:
        return SE_ERR_NOASSOC;
    default:
        return SE_ERR_ACCESSDENIED; // also a declined elevation prompt
    }
}

BOOL Refuse(SHELLEXECUTEINFOW& info, DWORD error)
{
    info.hInstApp = reinterpret_cast<HINSTANCE>(ShellErrorOf(error));
    SetLastError(error);
    return FALSE;
}

bool IsProgramFile(WStringView path)
{
    size_t dot = path.rfind(u'.');
    if (dot == WStringView::npos)
        return false;
    WStringView extension = path.substr(dot);
    return EqualNoCase(extension, u".exe") || EqualNoCase(extension, u".com");
}

BOOL Execute(SHELLEXECUTEINFOW& info)
{
    info.hProcess = nullptr;
    if (!info.lpFile || !*info.lpFile)
        return Refuse(info, ERROR_FILE_NOT_FOUND);
    std::lock_guard g(StateLock());
    ShellRequest request{Text(info.lpVerb),      Text(info.lpFile), Text(info.lpParameters),
                         Text(info.lpDirectory), info.nShow,        {}};
    Process& self = CurrentProcess();
    WString cwd = request.directory.empty() ? self.currentDirectory : FullPath(request.directory);
    WString file = request.file;
    bool url = IsUrl(file);
    WString full;
    if (!url)
    {
        bool relative = file.size() < 2 || (file[1] != u':' && file[0] != u'\\');
        full = FullPath(relative ? cwd + u"\\" + file : file);
    }
    DWORD attributes = url ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(full.c_str());
    DWORD result = ERROR_SUCCESS;
    if (!url && attributes == INVALID_FILE_ATTRIBUTES)
        result = ERROR_FILE_NOT_FOUND;
    else if (!url && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        request.application = WString(kFolderWindow);
    else if (!url && IsProgramFile(full) &&
             (request.verb.empty() || EqualNoCase(request.verb, u"open") ||
              EqualNoCase(request.verb, u"runas")))
    {
        WString commandLine = u"\"" + full + u"\"";
        if (!request.parameters.empty())
            commandLine += u" " + request.parameters;
        StartedProcess record;
        record.commandLine = commandLine;
        record.applicationPath = full;
        record.showCommand = info.nShow;
        record.currentDirectory = cwd;
        HANDLE process = StartProgramFile(record);
        if (!process)
            result = ERROR_FILE_NOT_FOUND;
        else
        {
            request.application = full;
            if (info.fMask & SEE_MASK_NOCLOSEPROCESS)
                info.hProcess = process;
            else
                CloseHandle(process);
        }
    }
    else if (auto command = AssociatedCommand(url ? file : full, request.verb))
        request.application = ProgramOfCommand(*command);
    else
        result = ERROR_NO_ASSOCIATION;
    shell().requests.push_back(request);
    if (result != ERROR_SUCCESS)
        return Refuse(info, result);
    info.hInstApp = kLaunched;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}
} // namespace

BOOL WINAPI ShellExecuteExW(SHELLEXECUTEINFOW* info)
{
    if (!info || info->cbSize != sizeof *info)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (auto fault = SIM_TAKE_FAULT("ShellExecuteExW"))
        return Refuse(*info, *fault);
    return Execute(*info);
}

HINSTANCE WINAPI ShellExecuteW(HWND window, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory,
                               INT showCommand)
{
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.hwnd = window;
    info.lpVerb = verb;
    info.lpFile = file;
    info.lpParameters = parameters;
    info.lpDirectory = directory;
    info.nShow = showCommand;
    ShellExecuteExW(&info);
    return info.hInstApp;
}

BOOL WINAPI ShellExecuteExA(SHELLEXECUTEINFOA* info)
{
    if (!info || info->cbSize != sizeof *info)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    SHELLEXECUTEINFOW wide{};
    wide.cbSize = sizeof wide;
    if (auto fault = SIM_TAKE_FAULT("ShellExecuteExA"))
    {
        Refuse(wide, *fault);
        info->hInstApp = wide.hInstApp;
        return FALSE;
    }
    WString verb, file, parameters, directory;
    auto widen = [](LPCSTR s, WString& out) -> LPCWSTR {
        if (!s)
            return nullptr;
        out = Widen(s);
        return out.c_str();
    };
    wide.fMask = info->fMask;
    wide.hwnd = info->hwnd;
    wide.lpVerb = widen(info->lpVerb, verb);
    wide.lpFile = widen(info->lpFile, file);
    wide.lpParameters = widen(info->lpParameters, parameters);
    wide.lpDirectory = widen(info->lpDirectory, directory);
    wide.nShow = info->nShow;
    BOOL ok = Execute(wide);
    info->hInstApp = wide.hInstApp;
    info->hProcess = wide.hProcess;
    return ok;
}

HRESULT WINAPI AssocQueryStringW(ASSOCF flags, ASSOCSTR str, LPCWSTR assoc, LPCWSTR extra, LPWSTR out,
                                 DWORD* outLength)
{
    if (!assoc || !outLength || (str != ASSOCSTR_COMMAND && str != ASSOCSTR_EXECUTABLE))
        return E_INVALIDARG;
    SIM_FAULT_HRESULT("AssocQueryStringW");
    std::optional<WString> command;
    {
        std::lock_guard g(StateLock());
        command = AssociatedCommand(assoc, extra ? WStringView(extra) : WStringView());
    }
    if (!command)
        return HRESULT_FROM_WIN32(ERROR_NO_ASSOCIATION);
    WString value = str == ASSOCSTR_COMMAND ? *command : ProgramOfCommand(*command);
    DWORD needed = static_cast<DWORD>(value.size() + 1);
    if (!out)
    {
        *outLength = needed;
        return S_FALSE;
    }
    if (*outLength < needed)
    {
        DWORD capacity = *outLength;
        *outLength = needed;
        if ((flags & ASSOCF_NOTRUNCATE) || capacity == 0)
            return E_POINTER;
        std::copy_n(value.begin(), capacity - 1, out);
        out[capacity - 1] = 0;
        return E_POINTER;
    }
    std::copy(value.begin(), value.end(), out);
    out[value.size()] = 0;
    *outLength = needed;
    return S_OK;
}
