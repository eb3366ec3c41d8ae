// Overlapped requests and the devices that answer them, shared by kernel32's file functions and the
// simulated devices. A request's status lives in its OVERLAPPED (Internal: a Win32 code, or
// STATUS_PENDING while it runs; InternalHigh: the bytes moved), written under StateLock().
#pragma once

#include "core/internal.h"

#include <optional>

namespace sim::detail
{

// Marks the request as running and resets its event, as Windows does when a request starts.
void StartOverlapped(OVERLAPPED* overlapped);
// Ends the request: its status and count are stored and its event is set.
void CompleteOverlapped(OVERLAPPED* overlapped, DWORD error, DWORD bytes);

// An open device. Each operation returns what the API returns, with the last error set.
struct DeviceFile : KernelObject
{
    virtual BOOL Read(void* buffer, DWORD size, DWORD* done, OVERLAPPED* overlapped) = 0;
    virtual BOOL Write(const void* buffer, DWORD size, DWORD* done, OVERLAPPED* overlapped) = 0;
    virtual BOOL Control(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned,
                         OVERLAPPED* overlapped) = 0;
    // Asks the device to cancel one request (or, with null, every request of the calling thread).
    virtual BOOL Cancel(const OVERLAPPED* overlapped) = 0;
    // The caller waits for the request: a cancelled one ends now.
    virtual void Settle(OVERLAPPED* overlapped) = 0;
};

// Opens a device by its name (\\?\... or \\.\... without a drive). Nothing when the name is no
// device name, so the file system gets it.
std::optional<HANDLE> OpenDevice(WStringView name, DWORD access, DWORD share, DWORD flags);
// A kernel driver's device opened as \\.\<name> (devices/kernel_devices.cpp); nothing when none has it.
std::optional<HANDLE> OpenKernelDevice(WStringView name);

} // namespace sim::detail
