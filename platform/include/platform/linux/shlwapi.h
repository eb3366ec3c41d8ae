// Linux declarations: shlwapi path functions. Included by platform/shlwapi.h.
#pragma once

#define GCT_INVALID 0x0000
#define GCT_LFNCHAR 0x0001
#define GCT_SHORTCHAR 0x0002
#define GCT_WILD 0x0004
#define GCT_SEPARATOR 0x0008

UINT WINAPI PathGetCharTypeW(WCHAR ch);
BOOL WINAPI PathFileExistsW(LPCWSTR path);
BOOL WINAPI PathIsDirectoryW(LPCWSTR path);
BOOL WINAPI PathFileExistsA(LPCSTR path);
BOOL WINAPI PathIsDirectoryA(LPCSTR path);
LPWSTR WINAPI PathFindFileNameW(LPCWSTR path);

// File associations, read from HKEY_CLASSES_ROOT.
typedef DWORD ASSOCF;
#define ASSOCF_NONE 0x00000000
#define ASSOCF_NOTRUNCATE 0x00000020
typedef enum
{
    ASSOCSTR_COMMAND = 1,
    ASSOCSTR_EXECUTABLE = 2,
} ASSOCSTR;

HRESULT WINAPI AssocQueryStringW(ASSOCF flags, ASSOCSTR str, LPCWSTR assoc, LPCWSTR extra, LPWSTR out,
                                 DWORD* outLength);
