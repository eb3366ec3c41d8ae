// Local accounts (netapi32) as system code sees them: the SDK on Windows, our declarations elsewhere.
#pragma once

#include <platform/windows.h>

#if defined(_WIN32)
#include <lm.h>
#else
typedef DWORD NET_API_STATUS;

#define NERR_Success 0
#define MAX_PREFERRED_LENGTH ((DWORD)-1)
#define FILTER_NORMAL_ACCOUNT 0x0002

typedef struct _USER_INFO_0
{
    LPWSTR usri0_name;
} USER_INFO_0, *PUSER_INFO_0, *LPUSER_INFO_0;

// Local accounts a buffer at a time: ERROR_MORE_DATA while more follow the resume handle.
NET_API_STATUS WINAPI NetUserEnum(LPCWSTR serverName, DWORD level, DWORD filter, LPBYTE* buffer,
                                  DWORD preferredMaximumLength, LPDWORD entriesRead, LPDWORD totalEntries,
                                  PDWORD resumeHandle);
NET_API_STATUS WINAPI NetApiBufferFree(LPVOID buffer);
#endif
