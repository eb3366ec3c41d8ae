// Kernel objects a thread can wait for. Their state is read and changed with Sched().mu held; the
// objects themselves live in the handle table (core) and, if named, in the machine's namespace.
#pragma once

#include "core/scheduler.h"

#include <functional>
#include <memory>
#include <string>

namespace sim::detail
{

struct Waitable : KernelObject
{
    virtual bool SignaledLocked(const ThreadState& t) = 0;
    // Takes what a satisfied wait consumes; true when it took an abandoned mutex.
    virtual bool AcquireLocked(const std::shared_ptr<ThreadState>&) { return false; }
    // When the object will become signaled by the clock alone (waitable timers).
    virtual ULONGLONG DueLocked() { return ~0ULL; }
    virtual std::string DescribeLocked() const = 0;
};

// Signaled once, when what it stands for ends: a thread or a process.
struct EndObject : Waitable
{
    DWORD id = 0;
    DWORD exitCode = STILL_ACTIVE;
    bool ended = false;
    bool SignaledLocked(const ThreadState&) override { return ended; }
};

// Ends the object (with Sched().mu held) and wakes who waits for it.
void EndLocked(EndObject& object, DWORD exitCode);

// The mutexes a thread still owns as it ends: abandoned before its handle is signaled, so whoever
// waited for the thread finds them free.
void AbandonMutexesLocked(const std::shared_ptr<ThreadState>& thread);

// The machine's thread handles.
struct ThreadObject : EndObject
{
    int priority = 0; // THREAD_PRIORITY_*: recorded, the scheduler runs every thread alike
    std::string DescribeLocked() const override { return "thread " + std::to_string(id); }
};

// Starts `body` on a simulated thread of `process` (null: the calling program) behind `thread`;
// `ended` runs on it after the handle is signaled, before the thread leaves the machine.
void StartSimThread(std::shared_ptr<ThreadObject> thread, std::shared_ptr<Process> process,
                    std::function<DWORD()> body, std::function<void(DWORD)> ended);
// A thread or process handle (not a pseudo handle).
std::shared_ptr<EndObject> FindEndObject(HANDLE handle);

} // namespace sim::detail
