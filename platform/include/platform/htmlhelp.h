// HTML Help as system code sees it: the keyword look-up record and its commands. Programs load
// hhctrl.ocx themselves and find HtmlHelpW by name.
#pragma once

#include <platform/windows.h>

#if defined(_WIN32)
#include <htmlhelp.h>
#else
#define HH_DISPLAY_TOPIC 0x0000
#define HH_KEYWORD_LOOKUP 0x000D

typedef struct tagHH_AKLINK
{
    int cbStruct;
    BOOL fReserved;
    LPCWSTR pszKeywords;
    LPCWSTR pszUrl;
    LPCWSTR pszMsgText;
    LPCWSTR pszMsgTitle;
    LPCWSTR pszWindow;
    BOOL fIndexOnFail;
} HH_AKLINK, *PHH_AKLINK;

HWND WINAPI HtmlHelpW(HWND caller, LPCWSTR file, UINT command, DWORD_PTR data);
#endif

typedef HWND(WINAPI* HtmlHelpFunction)(HWND caller, LPCWSTR file, UINT command, DWORD_PTR data);
