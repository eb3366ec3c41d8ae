// kernel32's 8-bit forms: text in the system code page, converted at the call and handed to the wide
// core, so both kinds of caller see one machine. Debugger output is kept for tests as well.
#include "core/internal.h"

#include <algorithm>
#include <cstring>

using namespace sim;
using namespace sim::detail;

namespace
{
WString Wide(LPCSTR text)
{
    return text ? Widen(text) : WString();
}

// The two-call protocol of the A functions that return a length: the count without the terminator
// when it fits, else the size needed with it.
DWORD CopyOutA(WStringView wide, LPSTR buffer, DWORD size)
{
    std::string narrow = Narrow(wide);
    if (!buffer || size <= narrow.size())
        return static_cast<DWORD>(narrow.size() + 1);
    std::memcpy(buffer, narrow.c_str(), narrow.size() + 1);
    return static_cast<DWORD>(narrow.size());
}
} // namespace

BOOL WINAPI CopyFileA(LPCSTR existing, LPCSTR newName, BOOL failIfExists)
{
    SIM_FAULT_POINT("CopyFileA", FALSE);
    if (!existing || !newName)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return CopyFileW(Wide(existing).c_str(), Wide(newName).c_str(), failIfExists);
}

BOOL WINAPI SetFileAttributesA(LPCSTR name, DWORD attributes)
{
    return SetFileAttributesW(Wide(name).c_str(), attributes);
}

DWORD WINAPI ExpandEnvironmentStringsA(LPCSTR source, LPSTR destination, DWORD size)
{
    if (!source)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    WString wideSource = Wide(source);
    DWORD needed = ExpandEnvironmentStringsW(wideSource.c_str(), nullptr, 0);
    if (needed == 0)
        return 0;
    WString expanded(needed, u'\0');
    ExpandEnvironmentStringsW(wideSource.c_str(), expanded.data(), needed);
    expanded.resize(needed - 1);
    // Unlike most A functions this one counts the terminator on success too.
    std::string narrow = Narrow(expanded);
    if (destination && size > narrow.size())
        std::memcpy(destination, narrow.c_str(), narrow.size() + 1);
    return static_cast<DWORD>(narrow.size() + 1);
}

UINT WINAPI GetWindowsDirectoryA(LPSTR buffer, UINT size)
{
    return CopyOutA(u"C:\\Windows", buffer, size);
}

UINT WINAPI GetSystemDirectoryA(LPSTR buffer, UINT size)
{
    return CopyOutA(u"C:\\Windows\\System32", buffer, size);
}

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES sa, BOOL initialOwner, LPCSTR name)
{
    SIM_FAULT_POINT("CreateMutexA", nullptr);
    WString wide = Wide(name);
    return CreateMutexW(sa, initialOwner, name ? wide.c_str() : nullptr);
}

HMODULE WINAPI LoadLibraryA(LPCSTR fileName)
{
    SIM_FAULT_POINT("LoadLibraryA", nullptr);
    WString wide = Wide(fileName);
    return LoadLibraryW(fileName ? wide.c_str() : nullptr);
}

BOOL WINAPI SetDllDirectoryA(LPCSTR pathName)
{
    WString wide = Wide(pathName);
    return SetDllDirectoryW(pathName ? wide.c_str() : nullptr);
}

// Case is folded for ASCII letters only, so a comparison never depends on the host's locale.
int WINAPI lstrcmpiA(LPCSTR a, LPCSTR b)
{
    const unsigned char* x = reinterpret_cast<const unsigned char*>(a ? a : "");
    const unsigned char* y = reinterpret_cast<const unsigned char*>(b ? b : "");
    auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
    for (;; ++x, ++y)
    {
        int d = lower(*x) - lower(*y);
        if (d != 0)
            return d < 0 ? -1 : 1;
        if (!*x)
            return 0;
    }
}

int WINAPI lstrcmpA(LPCSTR a, LPCSTR b)
{
    int d = std::strcmp(a ? a : "", b ? b : "");
    return d < 0 ? -1 : d > 0 ? 1 : 0;
}

LPSTR WINAPI lstrcpynA(LPSTR dst, LPCSTR src, int maxLength)
{
    if (!dst || maxLength <= 0)
        return dst;
    int i = 0;
    for (; src && i < maxLength - 1 && src[i]; ++i)
        dst[i] = src[i];
    dst[i] = 0;
    return dst;
}

BOOL WINAPI IsDBCSLeadByteEx(UINT codePage, BYTE c)
{
    switch (ResolveCodePage(codePage))
    {
    case 932:
        return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    case 936:
    case 949:
    case 950:
        return c >= 0x81 && c <= 0xFE;
    default:
        return FALSE;
    }
}

BOOL WINAPI IsDBCSLeadByte(BYTE c)
{
    return IsDBCSLeadByteEx(CP_ACP, c);
}
