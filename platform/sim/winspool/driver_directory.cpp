// The folder printer drivers live in, by environment: the machine's own when none is named.
#include "winspool/spooler_internal.h"

#include <cstring>

namespace
{
constexpr WStringView kDrivers = u"C:\\Windows\\System32\\spool\\drivers\\";

// The folder of an environment, empty for one the spooler does not know.
WString FolderOf(LPCWSTR environment)
{
    WStringView own = sim::detail::System64() ? u"Windows x64" : u"Windows NT x86";
    WStringView env = environment && *environment ? WStringView(environment) : own;
    if (sim::detail::EqualNoCase(env, u"Windows x64"))
        return WString(kDrivers) + u"x64";
    if (sim::detail::EqualNoCase(env, u"Windows NT x86"))
        return WString(kDrivers) + u"W32X86";
    return {};
}
} // namespace

BOOL WINAPI GetPrinterDriverDirectoryW(LPWSTR serverName, LPWSTR environment, DWORD level, LPBYTE buffer,
                                       DWORD size, LPDWORD needed)
{
    SIM_FAULT_POINT("GetPrinterDriverDirectoryW", FALSE);
    if (level != 1)
    {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    if (serverName && *serverName)
    {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    WString folder = FolderOf(environment);
    if (folder.empty())
    {
        SetLastError(ERROR_INVALID_ENVIRONMENT);
        return FALSE;
    }
    const DWORD bytes = static_cast<DWORD>((folder.size() + 1) * sizeof(WCHAR));
    if (needed)
        *needed = bytes;
    if (!buffer || size < bytes)
    {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(buffer, folder.c_str(), bytes);
    return TRUE;
}
