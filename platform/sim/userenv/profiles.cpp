// The folder that holds every user's profile.
#include "advapi32/accounts.h"

#include <platform/userenv.h>

#include <cstring>

using namespace sim::detail;

BOOL WINAPI GetProfilesDirectoryA(LPSTR profileDir, LPDWORD size)
{
    if (!size)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string folder = Narrow(kProfilesFolder);
    DWORD needed = static_cast<DWORD>(folder.size() + 1);
    if (!profileDir || *size < needed)
    {
        *size = needed;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(profileDir, folder.c_str(), needed);
    *size = needed;
    return TRUE;
}
