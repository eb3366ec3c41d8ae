// Linux declarations of the terminal-services calls the system uses; included by
// platform/wtsapi32.h. Written from the documented API.
#pragma once

#define WTS_CURRENT_SERVER_HANDLE ((HANDLE) nullptr)
#define WTS_CURRENT_SESSION ((DWORD)-1)

typedef enum _WTS_CONNECTSTATE_CLASS
{
    WTSActive,
    WTSConnected,
    WTSConnectQuery,
    WTSShadow,
    WTSDisconnected,
    WTSIdle,
    WTSListen,
    WTSReset,
    WTSDown,
    WTSInit
} WTS_CONNECTSTATE_CLASS;

typedef struct _WTS_SESSION_INFOW
{
    DWORD SessionId;
    LPWSTR pWinStationName;
    WTS_CONNECTSTATE_CLASS State;
} WTS_SESSION_INFOW, *PWTS_SESSION_INFOW;

// What a message sent without waiting answers at once.
#define IDASYNC 32001
#define IDTIMEOUT 32000

BOOL WINAPI WTSEnumerateSessionsW(HANDLE server, DWORD reserved, DWORD version, PWTS_SESSION_INFOW* sessions,
                                  DWORD* count);
void WINAPI WTSFreeMemory(PVOID memory);
// Lengths are in bytes, without a terminator.
BOOL WINAPI WTSSendMessageW(HANDLE server, DWORD sessionId, LPWSTR title, DWORD titleLength, LPWSTR message,
                            DWORD messageLength, DWORD style, DWORD timeout, DWORD* response, BOOL wait);
// kernel32: 0xFFFFFFFF while no session is attached to the console.
DWORD WINAPI WTSGetActiveConsoleSessionId();
BOOL WINAPI ProcessIdToSessionId(DWORD processId, DWORD* sessionId);
