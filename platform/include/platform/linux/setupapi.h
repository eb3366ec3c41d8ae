// Linux declarations: setupapi's INF functions and the driver store. Written from the documented API;
// included by platform/setupapi.h.
#pragma once

typedef PVOID HINF;
typedef UINT* PUINT;

typedef struct _INFCONTEXT
{
    PVOID Inf;
    PVOID CurrentInf;
    UINT Section;
    UINT Line;
} INFCONTEXT, *PINFCONTEXT;

#define INF_STYLE_NONE 0x00000000
#define INF_STYLE_OLDNT 0x00000001
#define INF_STYLE_WIN4 0x00000002

#define SUOI_FORCEDELETE 0x00000001

// Setup errors: the customer bit and the error severity over a small number.
#define ERROR_EXPECTED_SECTION_NAME 0xE0000000L
#define ERROR_BAD_SECTION_NAME_LINE 0xE0000001L
#define ERROR_GENERAL_SYNTAX 0xE0000003L
#define ERROR_WRONG_INF_STYLE 0xE0000100L
#define ERROR_SECTION_NOT_FOUND 0xE0000101L
#define ERROR_LINE_NOT_FOUND 0xE0000102L
#define ERROR_NO_BACKUP 0xE0000103L
#define ERROR_NOT_AN_INSTALLED_OEM_INF 0xE000023CL
#define ERROR_INF_IN_USE_BY_DEVICES 0xE000023DL

HINF WINAPI SetupOpenInfFileW(PCWSTR fileName, PCWSTR infClass, DWORD infStyle, PUINT errorLine);
void WINAPI SetupCloseInfFile(HINF inf);
BOOL WINAPI SetupFindFirstLineW(HINF inf, PCWSTR section, PCWSTR key, PINFCONTEXT context);
BOOL WINAPI SetupFindNextLine(const INFCONTEXT* contextIn, PINFCONTEXT contextOut);
BOOL WINAPI SetupGetStringFieldW(PINFCONTEXT context, DWORD fieldIndex, PWSTR returnBuffer,
                                 DWORD returnBufferSize, PDWORD requiredSize);
BOOL WINAPI SetupGetInfDriverStoreLocationW(PCWSTR fileName, PVOID alternatePlatformInfo, PCWSTR localeName,
                                            PWSTR returnBuffer, DWORD returnBufferSize, PDWORD requiredSize);
BOOL WINAPI SetupUninstallOEMInfW(PCWSTR infFileName, DWORD flags, PVOID reserved);
