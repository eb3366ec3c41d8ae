// The version records' 8-bit forms: the block holds the wide record, then as much room again, where
// VerQueryValueA leaves a text it hands out in the system code page (so the pointer lives as long as
// the caller's block, as on Windows).
#include "rc/resources.h"

#include <cstring>

using namespace sim;
using namespace sim::detail;

DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR fileName, LPDWORD handle)
{
    if (!fileName)
    {
        if (handle)
            *handle = 0;
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    DWORD wide = GetFileVersionInfoSizeW(Widen(fileName).c_str(), handle);
    return wide ? wide * 2 : 0;
}

BOOL WINAPI GetFileVersionInfoA(LPCSTR fileName, DWORD handle, DWORD size, LPVOID data)
{
    if (!fileName || !data)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    WString wideName = Widen(fileName);
    DWORD wide = GetFileVersionInfoSizeW(wideName.c_str(), nullptr);
    if (!wide)
        return FALSE;
    std::memset(data, 0, size);
    return GetFileVersionInfoW(wideName.c_str(), handle, std::min(size, wide), data);
}

BOOL WINAPI VerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID* buffer, UINT* length)
{
    if (!block || !subBlock || !buffer || !length)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    LPVOID found = nullptr;
    UINT count = 0;
    if (!VerQueryValueW(block, Widen(subBlock).c_str(), &found, &count))
        return FALSE;
    std::string_view path(subBlock);
    bool text =
        path.size() > 16 && (path.starts_with("\\StringFileInfo\\") || path.starts_with("StringFileInfo\\"));
    if (!text)
    {
        *buffer = found;
        *length = count;
        return TRUE;
    }
    // The record's own length tells where the room for texts begins.
    const BYTE* base = static_cast<const BYTE*>(block);
    size_t recordSize = static_cast<size_t>(base[0] | (base[1] << 8));
    size_t offset = static_cast<const BYTE*>(found) - base;
    const WCHAR* wide = static_cast<const WCHAR*>(found);
    size_t units = 0;
    while (units < count && wide[units])
        ++units;
    std::string narrow = Narrow(WStringView(wide, units));
    if (offset >= recordSize || narrow.size() + 1 > recordSize - offset)
    {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return FALSE;
    }
    char* out = reinterpret_cast<char*>(const_cast<BYTE*>(base)) + recordSize + offset;
    std::memcpy(out, narrow.c_str(), narrow.size() + 1);
    *buffer = out;
    *length = static_cast<UINT>(narrow.size() + 1);
    return TRUE;
}
