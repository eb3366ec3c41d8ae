// More of kernel32's 8-bit forms and thread priorities; moves kept for the next start are written
// where Windows keeps them, HKLM\SYSTEM\CurrentControlSet\Control\Session Manager's
// PendingFileRenameOperations ("\??\" paths in pairs, an empty target for a deletion).
#include "core/internal.h"
#include "core/state.h"

#include <cstring>
#include <map>

using namespace sim;
using namespace sim::detail;

namespace
{
constexpr WStringView kSessionManager = u"SYSTEM\\CurrentControlSet\\Control\\Session Manager";

BOOL Fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

BOOL DelayUntilReboot(WStringView existing, WStringView target)
{
    if (!Administrator())
        return Fail(ERROR_ACCESS_DENIED);
    auto value = registry().Value(HKEY_LOCAL_MACHINE, kSessionManager, u"PendingFileRenameOperations");
    WString list;
    if (value && value->type == REG_MULTI_SZ)
    {
        list.resize(value->data.size() / 2);
        std::memcpy(list.data(), value->data.data(), list.size() * 2);
        // The list's own closing terminator goes; each entry keeps its own.
        if (!list.empty() && list.back() == 0)
            list.pop_back();
    }
    list += u"\\??\\" + FullPath(existing) + u'\0';
    list += (target.empty() ? WString() : u"\\??\\" + FullPath(target)) + u'\0';
    list.push_back(0);
    std::vector<BYTE> bytes(list.size() * 2);
    std::memcpy(bytes.data(), list.data(), bytes.size());
    registry().SetValue(HKEY_LOCAL_MACHINE, kSessionManager, u"PendingFileRenameOperations", REG_MULTI_SZ,
                        bytes);
    return TRUE;
}
} // namespace

BOOL WINAPI RemoveDirectoryA(LPCSTR name)
{
    return RemoveDirectoryW(Widen(name ? name : "").c_str());
}

BOOL WINAPI MoveFileExA(LPCSTR existing, LPCSTR newName, DWORD flags)
{
    SIM_FAULT_POINT("MoveFileExA", FALSE);
    if (!existing || !*existing)
        return Fail(ERROR_INVALID_PARAMETER);
    WString from = Widen(existing);
    WString to = newName ? Widen(newName) : WString();
    if (flags & MOVEFILE_DELAY_UNTIL_REBOOT)
    {
        std::lock_guard g(StateLock());
        return DelayUntilReboot(from, to);
    }
    if (to.empty())
        return DeleteFileW(from.c_str());
    if ((flags & MOVEFILE_REPLACE_EXISTING) && GetFileAttributesW(to.c_str()) != INVALID_FILE_ATTRIBUTES &&
        !DeleteFileW(to.c_str()))
        return FALSE;
    if (!CopyFileW(from.c_str(), to.c_str(), TRUE))
        return FALSE;
    // A move is a rename on Windows: a read-only source moves too.
    DWORD attributes = GetFileAttributesW(from.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesW(from.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (DeleteFileW(from.c_str()))
        return TRUE;
    DWORD error = GetLastError();
    if (attributes != INVALID_FILE_ATTRIBUTES)
        SetFileAttributesW(from.c_str(), attributes);
    SetFileAttributesW(to.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(to.c_str()); // the move did not happen: no copy is left behind
    SetLastError(error);
    return FALSE;
}

DWORD WINAPI GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size)
{
    if (!name)
        return Fail(ERROR_INVALID_PARAMETER);
    WString wname = Widen(name);
    DWORD n = GetEnvironmentVariableW(wname.c_str(), nullptr, 0);
    if (n == 0)
        return 0;
    WString value(n, u'\0');
    n = GetEnvironmentVariableW(wname.c_str(), value.data(), n);
    value.resize(n);
    std::string narrow = Narrow(value);
    if (!buffer || size <= narrow.size())
        return static_cast<DWORD>(narrow.size() + 1);
    std::memcpy(buffer, narrow.c_str(), narrow.size() + 1);
    return static_cast<DWORD>(narrow.size());
}

HANDLE WINAPI OpenMutexA(DWORD access, BOOL inheritHandle, LPCSTR name)
{
    if (!name)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return OpenMutexW(access, inheritHandle, Widen(name).c_str());
}

BOOL WINAPI CreateProcessA(LPCSTR applicationName, LPSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
                           LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles, DWORD flags,
                           LPVOID environment, LPCSTR currentDirectory, LPSTARTUPINFOA startupInfo,
                           LPPROCESS_INFORMATION processInformation)
{
    WString application = applicationName ? Widen(applicationName) : WString();
    WString command = commandLine ? Widen(commandLine) : WString();
    WString folder = currentDirectory ? Widen(currentDirectory) : WString();
    STARTUPINFOW wide{};
    wide.cb = sizeof wide;
    if (startupInfo)
    {
        wide.dwFlags = startupInfo->dwFlags;
        wide.wShowWindow = startupInfo->wShowWindow;
    }
    return CreateProcessW(applicationName ? application.c_str() : nullptr,
                          commandLine ? command.data() : nullptr, processAttributes, threadAttributes,
                          inheritHandles, flags, environment, currentDirectory ? folder.c_str() : nullptr,
                          &wide, processInformation);
}
