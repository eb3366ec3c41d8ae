// kernel32's 8-bit file search: the wide search, its names handed back in the system code page.
#include "core/internal.h"

#include <cstring>

using namespace sim::detail;

namespace
{
bool CopyFound(const WIN32_FIND_DATAW& wide, LPWIN32_FIND_DATAA narrow)
{
    std::string name = Narrow(wide.cFileName);
    std::string alternate = Narrow(wide.cAlternateFileName);
    if (name.size() >= MAX_PATH)
        return false;
    *narrow = {};
    narrow->dwFileAttributes = wide.dwFileAttributes;
    narrow->ftCreationTime = wide.ftCreationTime;
    narrow->ftLastAccessTime = wide.ftLastAccessTime;
    narrow->ftLastWriteTime = wide.ftLastWriteTime;
    narrow->nFileSizeHigh = wide.nFileSizeHigh;
    narrow->nFileSizeLow = wide.nFileSizeLow;
    std::memcpy(narrow->cFileName, name.c_str(), name.size() + 1);
    if (alternate.size() < sizeof narrow->cAlternateFileName)
        std::memcpy(narrow->cAlternateFileName, alternate.c_str(), alternate.size() + 1);
    return true;
}
} // namespace

HANDLE WINAPI FindFirstFileA(LPCSTR fileName, LPWIN32_FIND_DATAA findData)
{
    if (!fileName || !findData)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    WIN32_FIND_DATAW wide{};
    HANDLE find = FindFirstFileW(Widen(fileName).c_str(), &wide);
    if (find == INVALID_HANDLE_VALUE)
        return find;
    // A name the code page cannot hold in MAX_PATH bytes is passed over, as the next would be.
    while (!CopyFound(wide, findData))
        if (!FindNextFileW(find, &wide))
        {
            FindClose(find);
            SetLastError(ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
    return find;
}

BOOL WINAPI FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA findData)
{
    if (!findData)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    WIN32_FIND_DATAW wide{};
    do
        if (!FindNextFileW(find, &wide))
            return FALSE;
    while (!CopyFound(wide, findData));
    return TRUE;
}
