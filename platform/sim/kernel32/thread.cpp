// Threads: simulated threads are host threads registered with the machine's scheduler; a thread
// handle is signaled when its thread ends and keeps the exit code.
#include "core/sync.h"

#include <exception>

using namespace sim::detail;

namespace sim::detail
{
namespace
{
const HANDLE kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));
const HANDLE kCurrentThread = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2));

// An exception of the program's own code ends the thread as an unhandled one would, and the
// test hears of it; nothing crosses the thread's start.
constexpr DWORD kUnhandled = 0xE06D7363;
} // namespace

void EndLocked(EndObject& object, DWORD exitCode)
{
    object.exitCode = exitCode;
    object.ended = true;
    RescheduleLocked();
}

void StartSimThread(std::shared_ptr<ThreadObject> thread, std::shared_ptr<Process> process,
                    std::function<DWORD()> body, std::function<void(DWORD)> ended)
{
    auto record = NewThreadState();
    thread->id = record->id;
    ExpectSimThread(); // busy from now on, not once the host thread gets going
    KeepRunning(std::thread([thread, process, record, body = std::move(body), ended = std::move(ended)] {
        SimThreadScope scope(record);
        SetThreadProcess(process);
        DWORD code = kUnhandled;
        try
        {
            code = body();
        }
        catch (const ThreadExit& e)
        {
            code = e.code;
        }
        catch (const ProgramStuck&)
        {
            // The machine gave up on it and has said why.
        }
        catch (const std::exception& e)
        {
            ReportFailure(std::string("a simulated thread ended by an exception: ") + e.what());
        }
        catch (...)
        {
            ReportFailure("a simulated thread ended by an exception");
        }
        {
            std::lock_guard g(Sched().mu);
            if (record->exiting) // ended by ExitThread, whatever a boundary returned meanwhile
                code = *record->exiting;
            AbandonMutexesLocked(SelfPtr());
            EndLocked(*thread, code);
        }
        if (ended)
            ended(code);
        SetThreadProcess(nullptr);
    }));
}

std::shared_ptr<EndObject> FindEndObject(HANDLE handle)
{
    if (handle == kCurrentThread || handle == kCurrentProcess)
        return nullptr;
    return FindHandleOf<EndObject>(handle);
}
} // namespace sim::detail

DWORD WINAPI GetCurrentThreadId()
{
    return Self().id;
}

HANDLE WINAPI GetCurrentThread()
{
    return kCurrentThread;
}

HANDLE WINAPI GetCurrentProcess()
{
    return kCurrentProcess;
}

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE start, LPVOID parameter,
                           DWORD flags, LPDWORD threadId)
{
    SIM_FAULT_POINT("CreateThread", nullptr);
    if (!start)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (flags & CREATE_SUSPENDED)
    {
        SetLastError(ERROR_NOT_SUPPORTED); // no code of the system starts a thread suspended
        return nullptr;
    }
    auto thread = std::make_shared<ThreadObject>();
    // The new thread belongs to the creator's process.
    StartSimThread(thread, ThreadProcess(), [start, parameter] { return start(parameter); }, {});
    if (threadId)
        *threadId = thread->id;
    return AddHandle(thread);
}

void WINAPI ExitThread(DWORD exitCode)
{
    {
        std::lock_guard g(Sched().mu);
        Self().exiting = exitCode;
    }
    throw ThreadExit(exitCode);
}

BOOL WINAPI GetExitCodeThread(HANDLE thread, LPDWORD exitCode)
{
    if (thread == kCurrentThread)
    {
        if (exitCode)
            *exitCode = STILL_ACTIVE;
        return TRUE;
    }
    auto object = std::dynamic_pointer_cast<ThreadObject>(FindEndObject(thread));
    if (!object || !exitCode)
    {
        SetLastError(object ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard g(Sched().mu);
    *exitCode = object->exitCode;
    return TRUE;
}

DWORD WINAPI GetThreadId(HANDLE thread)
{
    if (thread == kCurrentThread)
        return Self().id;
    auto object = std::dynamic_pointer_cast<ThreadObject>(FindEndObject(thread));
    if (!object)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    std::lock_guard g(Sched().mu);
    return object->id;
}

BOOL WINAPI SetThreadPriority(HANDLE thread, int priority)
{
    // Idle and time-critical lie outside the relative range but are valid in every priority class.
    if ((priority < THREAD_PRIORITY_LOWEST || priority > THREAD_PRIORITY_HIGHEST) && priority != -15 &&
        priority != 15)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (thread == GetCurrentThread())
        return TRUE;
    auto object = std::dynamic_pointer_cast<ThreadObject>(FindEndObject(thread));
    if (!object)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard g(Sched().mu);
    object->priority = priority;
    return TRUE;
}

int WINAPI GetThreadPriority(HANDLE thread)
{
    if (thread == GetCurrentThread())
        return THREAD_PRIORITY_NORMAL;
    auto object = std::dynamic_pointer_cast<ThreadObject>(FindEndObject(thread));
    if (!object)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0x7FFFFFFF; // THREAD_PRIORITY_ERROR_RETURN
    }
    std::lock_guard g(Sched().mu);
    return object->priority;
}
