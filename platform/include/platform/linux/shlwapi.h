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
