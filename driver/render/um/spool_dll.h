// The user-mode spool DLL: the spooler hands it a job's data stream; it passes every buffer on to the
// spooler's WritePrinter unchanged, telling the console user first when the buffer starts with a PJL
// resolution command.
#pragma once

#include <platform/windows.h>

#include <cstddef>

namespace velmq7um
{

// A job's handle, as DrvSplStartDoc hands it out: it names itself at both ends.
struct DrvSplHandle
{
    DrvSplHandle* self;
    DWORD size; // sizeof(DrvSplHandle)
    DWORD reserved1;
    HANDLE printer;
    DWORD jobId;
    DWORD reserved2;
    DrvSplHandle* selfEnd;
};
static_assert(sizeof(void*) != 4 || sizeof(DrvSplHandle) == 28);

struct PdlKeyRow
{
    char command[64];
    WCHAR message[64];
};
static_assert(sizeof(PdlKeyRow) == 192);

extern const PdlKeyRow g_PDLKey[3]; // ends with an empty command

// The per-job hooks' codes.
inline constexpr DWORD kStartDoc = 21;
inline constexpr DWORD kEndDoc = 22;
inline constexpr DWORD kClose = 23;
inline constexpr DWORD kAbort = 24;

void CfcSetDriverInst(HINSTANCE instance);
HINSTANCE CfcGetDriverInst();
void CfcInitCriticalSection();
void CfcDelCriticalSection();

BOOL UduSplInitUserSpl(DrvSplHandle* handle, DWORD code);
BOOL UduSplStartPage(DrvSplHandle* handle);
BOOL UduSplWritePrinter(DrvSplHandle* handle, const void* buffer, DWORD length, DWORD* written);

// The rows whose command the buffer begins with (at least as long as the command), in table order.
int MatchingRows(const void* buffer, DWORD length, int (&rows)[2]);

HANDLE DrvSplStartDoc(HANDLE printer, DWORD jobId);
BOOL DrvSplStartPage(HANDLE handle);
BOOL DrvSplEndPage(HANDLE handle);
BOOL DrvSplWritePrinter(HANDLE handle, LPVOID buffer, DWORD length, LPDWORD written);
BOOL DrvSplEndDoc(HANDLE handle);
BOOL DrvSplClose(HANDLE handle);
BOOL DrvSplAbort(HANDLE handle);

} // namespace velmq7um
