// Critical sections over the machine's mutexes, so a thread blocked on one waits on the scheduler
// (and the clock can move on) instead of blocking its host thread.
#include "core/internal.h"

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION section)
{
    if (section)
        section->LockSemaphore = CreateMutexW(nullptr, FALSE, nullptr);
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION section)
{
    if (section && section->LockSemaphore)
        WaitForSingleObject(section->LockSemaphore, INFINITE);
}

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION section)
{
    if (section && section->LockSemaphore)
        ReleaseMutex(section->LockSemaphore);
}

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION section)
{
    if (section && section->LockSemaphore)
    {
        CloseHandle(section->LockSemaphore);
        section->LockSemaphore = nullptr;
    }
}
