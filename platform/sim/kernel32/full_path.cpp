// Full path names: a name made whole against the current folder, as the machine's file system reads
// it.
#include "core/internal.h"

#include <algorithm>

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
