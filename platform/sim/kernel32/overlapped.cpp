// Overlapped input and output: waiting for, cancelling and reading the result of a request, and
// device control. Files complete their requests at once; devices may leave them pending.
#include "kernel32/device_io.h"

using namespace sim::detail;

void sim::detail::StartOverlapped(OVERLAPPED* overlapped)
{
    std::lock_guard g(StateLock());
    overlapped->Internal = STATUS_PENDING;
    overlapped->InternalHigh = 0;
    if (overlapped->hEvent)
        ResetEvent(overlapped->hEvent);
}

void sim::detail::CompleteOverlapped(OVERLAPPED* overlapped, DWORD error, DWORD bytes)
{
    std::lock_guard g(StateLock());
    overlapped->Internal = error;
    overlapped->InternalHigh = bytes;
    if (overlapped->hEvent)
        SetEvent(overlapped->hEvent);
}

BOOL WINAPI GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD transferred, BOOL wait)
{
    SIM_FAULT_POINT("GetOverlappedResult", FALSE);
    if (!overlapped || !transferred)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto object = FindHandle(file);
    if (!object)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    auto pending = [&] {
        std::lock_guard g(StateLock());
        return overlapped->Internal == STATUS_PENDING;
    };
    if (pending() && wait)
    {
        if (auto device = std::dynamic_pointer_cast<DeviceFile>(object))
            device->Settle(overlapped);
        if (pending())
        {
            if (!overlapped->hEvent || WaitForSingleObject(overlapped->hEvent, INFINITE) != WAIT_OBJECT_0)
            {
                SetLastError(overlapped->hEvent ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
                return FALSE;
            }
        }
    }
    std::lock_guard g(StateLock());
    if (overlapped->Internal == STATUS_PENDING)
    {
        SetLastError(ERROR_IO_INCOMPLETE);
        return FALSE;
    }
    *transferred = static_cast<DWORD>(overlapped->InternalHigh);
    if (overlapped->Internal != ERROR_SUCCESS)
    {
        SetLastError(static_cast<DWORD>(overlapped->Internal));
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI CancelIoEx(HANDLE file, LPOVERLAPPED overlapped)
{
    auto object = FindHandle(file);
    if (!object)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (auto device = std::dynamic_pointer_cast<DeviceFile>(object))
        return device->Cancel(overlapped);
    SetLastError(ERROR_NOT_FOUND); // file requests are done before their call returns
    return FALSE;
}

BOOL WINAPI CancelIo(HANDLE file)
{
    auto object = FindHandle(file);
    if (!object)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (auto device = std::dynamic_pointer_cast<DeviceFile>(object))
        device->Cancel(nullptr);
    return TRUE;
}

BOOL WINAPI DeviceIoControl(HANDLE device, DWORD ioControlCode, LPVOID inBuffer, DWORD inBufferSize,
                            LPVOID outBuffer, DWORD outBufferSize, LPDWORD bytesReturned,
                            LPOVERLAPPED overlapped)
{
    if (bytesReturned)
        *bytesReturned = 0;
    SIM_FAULT_POINT("DeviceIoControl", FALSE);
    auto target = FindHandleOf<DeviceFile>(device);
    if (!target)
    {
        SetLastError(FindHandle(device) ? ERROR_INVALID_FUNCTION : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return target->Control(ioControlCode, inBuffer, inBufferSize, outBuffer, outBufferSize, bytesReturned,
                           overlapped);
}
