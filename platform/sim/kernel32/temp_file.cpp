// Temporary file names in a folder, as documented: <prefix of three><hex number>.TMP, the file made
// empty when the number is left to the system; a folder over MAX_PATH - 14 characters is refused.
#include "core/faults.h"
#include "core/internal.h"

UINT WINAPI GetTempFileNameW(LPCWSTR path, LPCWSTR prefix, UINT unique, LPWSTR tempFileName)
{
    SIM_FAULT_POINT("GetTempFileNameW", 0);
    if (!path || !tempFileName)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t length = std::char_traits<char16_t>::length(path);
    if (length > MAX_PATH - 14)
    {
        SetLastError(ERROR_BUFFER_OVERFLOW);
        return 0;
    }
    WString base(path, length);
    if (!base.empty() && base.back() != u'\\')
        base += u'\\';
    if (prefix)
        for (size_t i = 0; i < 3 && prefix[i]; ++i)
            base += prefix[i];
    auto nameOf = [&](UINT n) {
        static const char16_t kHex[] = u"0123456789ABCDEF";
        WString digits;
        for (UINT v = n & 0xFFFF; v; v >>= 4)
            digits.insert(digits.begin(), kHex[v & 0xF]);
        return base + (digits.empty() ? WString(u"0") : digits) + u".TMP";
    };
    auto copyOut = [&](const WString& name) {
        size_t n = std::min<size_t>(name.size(), MAX_PATH - 1);
        std::copy_n(name.begin(), n, tempFileName);
        tempFileName[n] = 0;
    };
    if (unique)
    {
        copyOut(nameOf(unique)); // no file is made and nothing is checked
        return unique;
    }
    UINT start = static_cast<UINT>(GetTickCount()) & 0xFFFF;
    for (UINT step = 0; step < 0x10000; ++step)
    {
        UINT n = (start + step) & 0xFFFF;
        if (n == 0)
            continue;
        WString name = nameOf(n);
        HANDLE h =
            CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE)
        {
            CloseHandle(h);
            copyOut(name);
            return n;
        }
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
            return 0;
    }
    SetLastError(ERROR_FILE_EXISTS);
    return 0;
}
