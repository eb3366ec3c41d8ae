// Linux declarations: advapi32 privileges and accounts. Written from the documented API; included by
// platform/windows.h.
#pragma once

typedef void* PSID;

typedef struct _LUID
{
    DWORD LowPart;
    LONG HighPart;
} LUID, *PLUID;

typedef struct _LUID_AND_ATTRIBUTES
{
    LUID Luid;
    DWORD Attributes;
} LUID_AND_ATTRIBUTES;

typedef struct _TOKEN_PRIVILEGES
{
    DWORD PrivilegeCount;
    LUID_AND_ATTRIBUTES Privileges[1];
} TOKEN_PRIVILEGES, *PTOKEN_PRIVILEGES;

typedef enum _SID_NAME_USE
{
    SidTypeUser = 1,
    SidTypeGroup,
    SidTypeDomain,
    SidTypeAlias,
    SidTypeWellKnownGroup,
} SID_NAME_USE, *PSID_NAME_USE;

#define TOKEN_ADJUST_PRIVILEGES 0x0020
#define SE_PRIVILEGE_ENABLED 0x00000002L

BOOL WINAPI LookupPrivilegeValueA(LPCSTR systemName, LPCSTR name, PLUID luid);
// Enables or disables privileges the token holds; TRUE with ERROR_NOT_ALL_ASSIGNED when it holds
// not every one asked for.
BOOL WINAPI AdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState,
                                  DWORD bufferLength, PTOKEN_PRIVILEGES previousState, PDWORD returnLength);
BOOL WINAPI LookupAccountNameA(LPCSTR systemName, LPCSTR accountName, PSID sid, LPDWORD cbSid,
                               LPSTR referencedDomainName, LPDWORD cchReferencedDomainName,
                               PSID_NAME_USE use);
