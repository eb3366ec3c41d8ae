// The machine's scheduler: every thread that takes part in the machine, what each waits for, and the
// one virtual clock. Simulated threads are real host threads, but the clock moves only when every one
// of them waits (it then jumps to the earliest deadline), so a run is the same every time.
//
// Lock order: StateLock() (handles, processes, registry, files) may be held when Sched().mu is taken,
// never the other way round. Sched().mu guards thread records, waits, the clock's jumps, the state of
// kernel waitable objects and the desktop (windows, queues, timers: Desk().mu is the same lock). No
// window procedure, thread start or program code runs with either lock held.
#pragma once

#include "core/internal.h"
#include "core/state.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace sim::detail
{

// Thrown out of a simulated program's wait when the machine gives up on it (nothing will ever
// wake it); the program's thread ends and the test reports why.
struct ProgramStuck : std::exception
{
    const char* what() const noexcept override { return "simulated program stopped: it waits for nothing"; }
};

// Thrown by ExitThread through the thread's own code to its start. A boundary on the way stops it
// but the thread's record keeps the code: the thread then ends at its start or at its next wait.
struct ThreadExit : std::exception
{
    explicit ThreadExit(DWORD exitCode) : code(exitCode) {}
    const char* what() const noexcept override { return "simulated thread ended by ExitThread"; }
    DWORD code;
};

enum class WaitKind
{
    None,
    Message, // for input (a message loop, MsgWaitFor...): idle when nothing is queued
    Sleep,   // on the clock only
    Blocked, // on another thread (joining a program)
    Object,  // on kernel objects (WaitFor...)
};

struct Sent
{
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result = 0;
    bool done = false;
};

struct Posted
{
    MSG msg{};
    std::function<void()> task; // user input acted out on the window's thread
};

struct ThreadState
{
    DWORD id = 0;
    bool simulated = false;
    bool alive = true;
    std::deque<Posted> posted;
    std::deque<std::shared_ptr<Sent>> sent;
    bool quit = false;
    int quitCode = 0;
    WaitKind wait = WaitKind::None;
    ULONGLONG deadline = ~0ULL;
    bool abortThrown = false;
    HWND focus = nullptr;
    const std::function<bool()>* ready = nullptr;    // while waiting: what would wake the thread
    const std::function<ULONGLONG()>* due = nullptr; // while waiting: a deadline that may move
    std::string waitsFor;                            // while waiting: what, for the report
    std::optional<DWORD> exiting;                    // ExitThread was called with this code
    std::vector<DWORD> inputAttachedTo; // threads whose input state this one shares (AttachThreadInput)
};

struct Scheduler : PartBase
{
    Scheduler();
    ~Scheduler() override;
    std::uint64_t generation; // tells a thread's record of an earlier machine from one of this
    std::mutex mu;
    std::condition_variable cv;
    std::vector<std::shared_ptr<ThreadState>> threads;
    int active = 0;        // simulated threads running now
    int pendingStarts = 0; // simulated threads started that have not begun to run
    bool scripted = false; // a script acts: the clock waits for it when the programs are idle
    bool aborting = false;
    ULONGLONG autoBase = 0;
    std::atomic<ULONGLONG> now{0};
    DWORD nextThreadId = 0x104;
    std::mutex runningMu;             // the host threads only, never with mu held
    std::vector<std::thread> running; // joined by Reset
};

Scheduler& Sched();
std::atomic<ULONGLONG>& Clock();

// What another part adds to scheduling (registered before main): timers are events of the clock, a
// thread that owns windows and sleeps is busy, what dies with a thread, and how a stuck machine looks.
struct SchedulerClient
{
    // The earliest event after `after` (of simulated threads only, if asked).
    std::optional<ULONGLONG> (*nextEventLocked)(ULONGLONG after, bool simulatedOnly) = nullptr;
    bool (*busyLocked)(const ThreadState& t) = nullptr;
    // What the ending thread leaves; what must be destroyed outside the lock goes into `keep`.
    void (*threadEndedLocked)(const std::shared_ptr<ThreadState>& t,
                              std::vector<std::shared_ptr<void>>& keep) = nullptr;
    std::string (*describeLocked)() = nullptr;
    // A timer of the thread's windows has come due.
    bool (*timerDueLocked)(const ThreadState& t) = nullptr;
};
bool AddSchedulerClient(const SchedulerClient& client);

// The calling thread's record (created on first use).
ThreadState& Self();
std::shared_ptr<ThreadState> SelfPtr();
// A record for a thread about to start, so its id is known before it runs.
std::shared_ptr<ThreadState> NewThreadState();

// Host threads of the machine, joined (until none is left) before its state goes.
void KeepRunning(std::thread thread);
void JoinRunning();

// With Sched().mu held.
void RescheduleLocked();
bool IdleLocked(); // every thread waits with nothing to do
// The earliest timer or timed wait after the clock's time.
std::optional<ULONGLONG> NextEventLocked(bool simulatedOnly = false);
// Blocks the calling thread until `ready` holds; throws ProgramStuck once when the machine gives up.
// `due`, if given, is read whenever the scheduler looks for the next deadline.
void WaitLocked(std::unique_lock<std::mutex>& lock, ThreadState& t, WaitKind kind, ULONGLONG deadline,
                const std::function<bool()>& ready, std::string waitsFor = {},
                const std::function<ULONGLONG()>* due = nullptr);
void AbortLocked(const std::string& why);
// Input of the kinds in `wakeMask` (QS_*) is queued for the thread.
bool InputLocked(const ThreadState& t, DWORD wakeMask);
std::string DescribeWaitsLocked();

void ExpectSimThread(); // a simulated thread is about to start
void ReportFailure(const std::string& message);
std::function<void(const std::string&)>& Reporter();
bool SleepOnClock(DWORD milliseconds);
void ClockMoved();

// Until every simulated thread waits with nothing to do; false when the machine gave up or a thread
// stays busy (a test failure).
bool WaitIdle();
// Moves the clock on by `milliseconds`, stopping at every timer and timed wait on the way so each
// runs in order.
void Step(ULONGLONG milliseconds);

// Registered with the machine by the simulated threads.
struct SimThreadScope
{
    SimThreadScope();
    explicit SimThreadScope(std::shared_ptr<ThreadState> record); // from NewThreadState
    ~SimThreadScope();
    SimThreadScope(const SimThreadScope&) = delete;
    SimThreadScope& operator=(const SimThreadScope&) = delete;
};
struct BlockedScope
{
    // `done` (read with the scheduler lock held) tells when what the thread waits for has happened,
    // so the scheduler counts it as about to run rather than stuck.
    explicit BlockedScope(const std::function<bool()>* done = nullptr);
    ~BlockedScope();
    BlockedScope(const BlockedScope&) = delete;
    BlockedScope& operator=(const BlockedScope&) = delete;
    // Called by the simulated thread this one waits for, before it ends: the waiting thread counts as
    // running again, so the end of the awaited thread is not taken for a machine where nothing can
    // happen any more.
    void Wake();
    bool counted = false;
    std::shared_ptr<ThreadState> thread;
};

} // namespace sim::detail
