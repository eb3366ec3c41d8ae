// Path names and the shell's path predicates over the simulated file system.
#include "core/internal.h"

#include <platform/shlwapi.h>

using namespace sim::detail;

DWORD WINAPI GetFullPathNameW(LPCWSTR fileName, DWORD bufferLength, LPWSTR buffer, LPWSTR* filePart)
{
    if (!fileName || !*fileName)
    {
        SetLastError(ERROR_INVALID_NAME);
        return 0;
    }
    WStringView name(fileName);
    WString full = FullPath(name);
    // A trailing separator is kept, as Windows keeps it.
    if ((name.back() == u'\\' || name.back() == u'/') && full.back() != u'\\')
        full += u'\\';
    if (full.size() >= bufferLength || !buffer)
        return static_cast<DWORD>(full.size() + 1);
    std::copy(full.begin(), full.end(), buffer);
    buffer[full.size()] = 0;
    if (filePart)
    {
        size_t slash = full.rfind(u'\\');
        *filePart = (slash + 1 < full.size()) ? buffer + slash + 1 : nullptr;
    }
    return static_cast<DWORD>(full.size());
}

UINT WINAPI PathGetCharTypeW(WCHAR ch)
{
    if (ch == u'*' || ch == u'?')
        return GCT_WILD;
    if (ch == u'\\' || ch == u'/' || ch == u':')
        return GCT_SEPARATOR;
    if (ch < 0x20 || ch == u'"' || ch == u'<' || ch == u'>' || ch == u'|')
        return GCT_INVALID;
    if (ch >= 0x80)
        return GCT_LFNCHAR;
    // Valid in long names only: what 8.3 names cannot hold.
    if (ch == u' ' || ch == u'+' || ch == u',' || ch == u';' || ch == u'=' || ch == u'[' || ch == u']')
        return GCT_LFNCHAR;
    return GCT_LFNCHAR | GCT_SHORTCHAR;
}

BOOL WINAPI PathFileExistsW(LPCWSTR path)
{
    if (!path || !*path)
        return FALSE;
    DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES;
}

BOOL WINAPI PathIsDirectoryW(LPCWSTR path)
{
    if (!path || !*path)
        return FALSE;
    DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) ? TRUE : FALSE;
}

DWORD WINAPI GetFullPathNameA(LPCSTR fileName, DWORD bufferLength, LPSTR buffer, LPSTR* filePart)
{
    if (!fileName || !*fileName)
    {
        SetLastError(ERROR_INVALID_NAME);
        return 0;
    }
    WString wide = Widen(fileName);
    DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    WString full(needed, u'\0');
    GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
    full.resize(needed ? needed - 1 : 0);
    std::string narrow = Narrow(full);
    if (narrow.size() >= bufferLength || !buffer)
        return static_cast<DWORD>(narrow.size() + 1);
    std::copy(narrow.begin(), narrow.end(), buffer);
    buffer[narrow.size()] = 0;
    if (filePart)
    {
        size_t slash = narrow.rfind('\\');
        *filePart = (slash + 1 < narrow.size()) ? buffer + slash + 1 : nullptr;
    }
    return static_cast<DWORD>(narrow.size());
}

BOOL WINAPI PathFileExistsA(LPCSTR path)
{
    return path && *path && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

BOOL WINAPI PathIsDirectoryA(LPCSTR path)
{
    if (!path || !*path)
        return FALSE;
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) ? TRUE : FALSE;
}

// The text after the last separator; the whole name when there is none.
LPWSTR WINAPI PathFindFileNameW(LPCWSTR path)
{
    if (!path)
        return nullptr;
    LPCWSTR name = path;
    for (LPCWSTR p = path; *p; ++p)
        if ((*p == u'\\' || *p == u'/' || *p == u':') && p[1] && p[1] != u'\\' && p[1] != u'/')
            name = p + 1;
    return const_cast<LPWSTR>(name);
}
