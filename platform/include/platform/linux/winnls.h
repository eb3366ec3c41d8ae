// Linux declarations: national language support. Written from the documented API; included by
// platform/windows.h.
#pragma once

#define MAKELANGID(p, s) ((((WORD)(s)) << 10) | (WORD)(p))
#define PRIMARYLANGID(lgid) ((WORD)(lgid)&0x3ff)
#define SUBLANGID(lgid) ((WORD)(lgid) >> 10)
#define LANGIDFROMLCID(lcid) ((WORD)(lcid))
#define LANG_NEUTRAL 0x00
#define LANG_CHINESE 0x04
#define LANG_GERMAN 0x07
#define LANG_ENGLISH 0x09
#define LANG_SPANISH 0x0a
#define LANG_FRENCH 0x0c
#define LANG_ITALIAN 0x10
#define LANG_JAPANESE 0x11
#define LANG_KOREAN 0x12
#define LANG_DUTCH 0x13
#define LANG_PORTUGUESE 0x16
#define LANG_RUSSIAN 0x19
#define SUBLANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define SUBLANG_SYS_DEFAULT 0x02
#define SUBLANG_ENGLISH_US 0x01
#define SUBLANG_ENGLISH_UK 0x02
#define SUBLANG_JAPANESE_JAPAN 0x01

LANGID WINAPI GetUserDefaultUILanguage();
LANGID WINAPI GetUserDefaultLangID();
LCID WINAPI GetUserDefaultLCID();
LANGID WINAPI GetSystemDefaultLangID();
LANGID WINAPI GetSystemDefaultUILanguage();
LCID WINAPI GetSystemDefaultLCID();

typedef DWORD LCTYPE;
#define LOCALE_USER_DEFAULT 0x0400
#define LOCALE_SDECIMAL 0x000E
int WINAPI GetLocaleInfoW(LCID locale, LCTYPE type, LPWSTR data, int size);
