// Linux declarations: other processes, their tokens and folders of the system (kernel32, advapi32).
// Written from the documented API; included by platform/windows.h.
#pragma once

#define PROCESS_TERMINATE 0x0001
#define PROCESS_VM_READ 0x0010
#define PROCESS_QUERY_INFORMATION 0x0400
#define PROCESS_QUERY_LIMITED_INFORMATION 0x1000

#define TOKEN_ASSIGN_PRIMARY 0x0001
#define TOKEN_DUPLICATE 0x0002
#define TOKEN_QUERY 0x0008
#define MAXIMUM_ALLOWED 0x02000000L

typedef enum _SECURITY_IMPERSONATION_LEVEL
{
    SecurityAnonymous,
    SecurityIdentification,
    SecurityImpersonation,
    SecurityDelegation
} SECURITY_IMPERSONATION_LEVEL;

typedef enum _TOKEN_TYPE
{
    TokenPrimary = 1,
    TokenImpersonation
} TOKEN_TYPE;

HANDLE WINAPI OpenProcess(DWORD desiredAccess, BOOL inheritHandle, DWORD processId);
BOOL WINAPI TerminateProcess(HANDLE process, UINT exitCode);
BOOL WINAPI OpenProcessToken(HANDLE process, DWORD desiredAccess, PHANDLE token);
BOOL WINAPI DuplicateTokenEx(HANDLE existingToken, DWORD desiredAccess, LPSECURITY_ATTRIBUTES attributes,
                             SECURITY_IMPERSONATION_LEVEL level, TOKEN_TYPE type, PHANDLE newToken);
BOOL WINAPI CreateProcessWithTokenW(HANDLE token, DWORD logonFlags, LPCWSTR applicationName,
                                    LPWSTR commandLine, DWORD creationFlags, LPVOID environment,
                                    LPCWSTR currentDirectory, LPSTARTUPINFOW startupInfo,
                                    LPPROCESS_INFORMATION processInformation);

DWORD WINAPI GetCurrentDirectoryW(DWORD bufferLength, LPWSTR buffer);
BOOL WINAPI SetCurrentDirectoryW(LPCWSTR pathName);
UINT WINAPI GetSystemDirectoryW(LPWSTR buffer, UINT size);
UINT WINAPI GetWindowsDirectoryW(LPWSTR buffer, UINT size);
