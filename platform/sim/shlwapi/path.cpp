// The shell's path predicates over the simulated file system.
#include "core/internal.h"

#include <platform/shlwapi.h>

using namespace sim::detail;

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
