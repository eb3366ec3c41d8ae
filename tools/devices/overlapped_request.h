// Waiting for one overlapped request: at most `timeoutMs`, then cancelled and waited for, so its
// OVERLAPPED, event and buffer are never released while it still runs.
#pragma once

#include <platform/windows.h>

namespace devices
{

struct RequestResult
{
    bool ok = false; // the request succeeded
    DWORD bytes = 0; // what it moved, also when it failed or was cancelled
};

// `started` is what ReadFile, WriteFile or DeviceIoControl returned for the request.
inline RequestResult AwaitRequest(HANDLE file, BOOL started, OVERLAPPED& overlapped, DWORD timeoutMs)
{
    RequestResult result;
    if (!started)
    {
        if (GetLastError() != ERROR_IO_PENDING)
            return result;
        if (WaitForSingleObject(overlapped.hEvent, timeoutMs) != WAIT_OBJECT_0)
            CancelIoEx(file, &overlapped);
    }
    result.ok = GetOverlappedResult(file, &overlapped, &result.bytes, TRUE) != FALSE;
    return result;
}

} // namespace devices
