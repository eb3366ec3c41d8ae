#include "core/scheduler.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <exception>
#include <iostream>

namespace sim::detail
{
namespace
{
std::atomic<std::uint64_t> g_generation{0};

std::vector<SchedulerClient>& Clients()
{
    static std::vector<SchedulerClient> c; // filled before main
    return c;
}

// The calling thread's record in the machine it was made in; leaves the machine's list when the
// thread ends.
struct SelfHolder
{
    std::shared_ptr<ThreadState> state;
    std::uint64_t generation = 0;
    ~SelfHolder()
    {
        if (!state)
            return;
        Scheduler& s = Sched();
        std::lock_guard g(s.mu);
        if (s.generation == generation)
            std::erase(s.threads, state);
    }
};
thread_local SelfHolder t_holder;

// Machine time the clock may run on its own (no script acting) before the machine gives up.
constexpr ULONGLONG kAutoLimit = 60ULL * 60 * 1000;

// How long a program may stay busy before the script gives up on it. Counted in the processor time the
// test process spends, so a loaded machine (sanitizers, parallel tests) does not turn slow work into a
// hang; the real-time limit only catches a program stuck in a host call that spends none.
constexpr auto kBusyLimit = std::chrono::seconds(30);
constexpr auto kBusyRealLimit = std::chrono::seconds(240);

std::chrono::nanoseconds ProcessorTime()
{
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
}

bool HasWorkLocked(const ThreadState& t)
{
    return t.wait != WaitKind::None && t.ready && (*t.ready)();
}

ULONGLONG DeadlineOf(const ThreadState& t)
{
    ULONGLONG d = t.deadline;
    if (t.due)
        d = std::min(d, (*t.due)());
    return d;
}

std::string KindText(const ThreadState& t)
{
    switch (t.wait)
    {
    case WaitKind::Message:
        return "messages";
    case WaitKind::Sleep:
        return "the clock";
    case WaitKind::Blocked:
        return "another thread to end";
    case WaitKind::Object:
        return "objects";
    case WaitKind::None:
        break;
    }
    return "nothing";
}
} // namespace

Scheduler::Scheduler() : generation(++g_generation) {}

// A program that ends without a reset (a tool's main returning) still has the host threads of the
// programs it ran; they have ended, but a thread object must be joined before it goes.
Scheduler::~Scheduler()
{
    for (auto& t : running)
        if (t.joinable())
            t.join();
}

Scheduler& Sched()
{
    return Part<Scheduler>();
}

std::atomic<ULONGLONG>& Clock()
{
    return Sched().now;
}

bool AddSchedulerClient(const SchedulerClient& client)
{
    Clients().push_back(client);
    return true;
}

std::function<void(const std::string&)>& Reporter()
{
    static std::function<void(const std::string&)> r; // set by the test binary's main
    return r;
}

void ReportFailure(const std::string& message)
{
    if (Reporter())
        Reporter()(message);
    else
        std::cerr << "simulated machine: " << message << "\n";
}

std::shared_ptr<ThreadState> SelfPtr()
{
    Scheduler& s = Sched();
    if (!t_holder.state || t_holder.generation != s.generation)
    {
        auto state = std::make_shared<ThreadState>();
        std::lock_guard g(s.mu);
        state->id = s.nextThreadId;
        s.nextThreadId += 4;
        s.threads.push_back(state);
        t_holder.state = std::move(state);
        t_holder.generation = s.generation;
    }
    return t_holder.state;
}

std::shared_ptr<ThreadState> NewThreadState()
{
    Scheduler& s = Sched();
    auto state = std::make_shared<ThreadState>();
    std::lock_guard g(s.mu);
    state->id = s.nextThreadId;
    s.nextThreadId += 4;
    return state;
}

void KeepRunning(std::thread thread)
{
    Scheduler& s = Sched();
    std::lock_guard g(s.runningMu);
    s.running.push_back(std::move(thread));
}

void JoinRunning()
{
    // A thread may start another while it ends, so the list is taken until it stays empty.
    Scheduler& s = Sched();
    for (;;)
    {
        std::vector<std::thread> running;
        {
            std::lock_guard g(s.runningMu);
            running.swap(s.running);
        }
        if (running.empty())
            break;
        for (auto& t : running)
            t.join();
    }
}

ThreadState& Self()
{
    return *SelfPtr();
}

std::string DescribeWaitsLocked()
{
    std::string out;
    for (const auto& t : Sched().threads)
        if (t->wait != WaitKind::None)
        {
            out += "\n  thread " + std::to_string(t->id) + (t->simulated ? "" : " (the test's)") +
                   " waits for " + (t->waitsFor.empty() ? KindText(*t) : t->waitsFor);
            if (ULONGLONG d = DeadlineOf(*t); d != ~0ULL)
                out += " until " + std::to_string(d) + " ms";
        }
    return out.empty() ? out : "Waiting:" + out;
}

void AbortLocked(const std::string& why)
{
    Scheduler& s = Sched();
    if (s.aborting)
        return;
    s.aborting = true;
    std::string message = why;
    if (std::string waits = DescribeWaitsLocked(); !waits.empty())
        message += "\n" + waits;
    for (const SchedulerClient& c : Clients())
        if (c.describeLocked)
            message += "\n" + c.describeLocked();
    ReportFailure(message);
    s.cv.notify_all();
}

void WaitLocked(std::unique_lock<std::mutex>& lock, ThreadState& t, WaitKind kind, ULONGLONG deadline,
                const std::function<bool()>& ready, std::string waitsFor,
                const std::function<ULONGLONG()>* due)
{
    Scheduler& s = Sched();
    // A thread whose ExitThread a boundary stopped ends here, unless it is already unwinding.
    if (t.exiting && std::uncaught_exceptions() == 0)
        throw ThreadExit(*t.exiting);
    if (ready())
        return;
    if (s.aborting && t.abortThrown)
        return;
    t.wait = kind;
    t.deadline = deadline;
    t.ready = &ready;
    t.due = due;
    t.waitsFor = std::move(waitsFor);
    if (t.simulated)
        --s.active;
    RescheduleLocked();
    while (!ready() && !s.aborting)
        s.cv.wait(lock);
    t.wait = WaitKind::None;
    t.deadline = ~0ULL;
    t.ready = nullptr;
    t.due = nullptr;
    t.waitsFor.clear();
    if (t.simulated)
        ++s.active;
    if (!ready() && s.aborting && !t.abortThrown)
    {
        t.abortThrown = true;
        throw ProgramStuck();
    }
}

bool InputLocked(const ThreadState& t, DWORD wakeMask)
{
    if ((wakeMask & QS_SENDMESSAGE) && !t.sent.empty())
        return true;
    if ((wakeMask & (QS_ALLPOSTMESSAGE | QS_POSTMESSAGE | QS_INPUT | QS_PAINT | QS_HOTKEY)) &&
        (!t.posted.empty() || t.quit))
        return true;
    if (wakeMask & QS_TIMER)
        for (const SchedulerClient& c : Clients())
            if (c.timerDueLocked && c.timerDueLocked(t))
                return true;
    return false;
}

bool IdleLocked()
{
    Scheduler& s = Sched();
    if (s.active > 0 || s.pendingStarts > 0)
        return false;
    for (const auto& t : s.threads)
    {
        if (t->wait == WaitKind::None)
            continue;
        if (HasWorkLocked(*t))
            return false;
        if (t->wait != WaitKind::Message && DeadlineOf(*t) != ~0ULL)
            for (const SchedulerClient& c : Clients())
                if (c.busyLocked && c.busyLocked(*t))
                    return false; // a UI thread that sleeps is busy, not idle
    }
    return true;
}

std::optional<ULONGLONG> NextEventLocked(bool simulatedOnly)
{
    Scheduler& s = Sched();
    ULONGLONG now = s.now;
    std::optional<ULONGLONG> best;
    auto consider = [&](ULONGLONG at) {
        if (at != ~0ULL && at > now)
            best = best ? std::min(*best, at) : at;
    };
    for (const auto& t : s.threads)
        if (t->wait != WaitKind::None && (t->simulated || !simulatedOnly))
            consider(DeadlineOf(*t));
    for (const SchedulerClient& c : Clients())
        if (c.nextEventLocked)
            if (auto at = c.nextEventLocked(now, simulatedOnly))
                consider(*at);
    return best;
}

void ExpectSimThread()
{
    std::lock_guard g(Sched().mu);
    ++Sched().pendingStarts;
}

void RescheduleLocked()
{
    Scheduler& s = Sched();
    s.cv.notify_all();
    if (s.aborting || s.active > 0 || s.pendingStarts > 0)
        return;
    bool anyWaiting = false;
    bool testWaits = false;
    for (const auto& t : s.threads)
        if (t->wait != WaitKind::None)
        {
            anyWaiting = true;
            testWaits = testWaits || !t->simulated;
            if (HasWorkLocked(*t))
                return;
        }
    if (!anyWaiting)
        return;
    if (s.scripted && !testWaits && IdleLocked())
        return; // the script acts
    std::optional<ULONGLONG> next = NextEventLocked();
    if (!next)
    {
        AbortLocked("every simulated thread waits and nothing is left to wake it (no timer, no input)");
        return;
    }
    if (!s.scripted && *next > s.autoBase + kAutoLimit)
    {
        AbortLocked("the program kept running on its own for an hour of machine time");
        return;
    }
    s.now = *next;
}

void ClockMoved()
{
    std::lock_guard g(Sched().mu);
    Sched().cv.notify_all();
}

bool SleepOnClock(DWORD milliseconds)
{
    auto self = SelfPtr();
    if (!self->simulated)
        return false;
    if (milliseconds == 0)
        return true;
    std::unique_lock lock(Sched().mu);
    ULONGLONG deadline = Clock() + milliseconds;
    WaitLocked(lock, *self, WaitKind::Sleep, deadline, [&] { return Clock() >= deadline; });
    return true;
}

bool WaitIdle()
{
    Scheduler& s = Sched();
    std::unique_lock lock(s.mu);
    const auto realLimit = std::chrono::steady_clock::now() + kBusyRealLimit;
    const auto processorLimit = ProcessorTime() + kBusyLimit;
    for (;;)
    {
        if (s.aborting)
            return false;
        if (IdleLocked())
            return true;
        if (s.cv.wait_for(lock, std::chrono::seconds(1)) == std::cv_status::timeout && !IdleLocked() &&
            (ProcessorTime() >= processorLimit || std::chrono::steady_clock::now() >= realLimit))
        {
            AbortLocked("the program stayed busy for 30 s without waiting for input");
            return false;
        }
    }
}

void Step(ULONGLONG milliseconds)
{
    Scheduler& s = Sched();
    ULONGLONG end = Clock() + milliseconds;
    for (;;)
    {
        if (!WaitIdle())
            return;
        std::lock_guard g(s.mu);
        // Only the simulated threads' events stop the clock: the test's own thread acts when it
        // comes back, as it would after a real pause.
        std::optional<ULONGLONG> next = NextEventLocked(true);
        s.now = next && *next <= end ? *next : end;
        s.cv.notify_all();
        if (s.now >= end)
            break;
    }
    WaitIdle();
}

SimThreadScope::SimThreadScope() : SimThreadScope(nullptr) {}

SimThreadScope::SimThreadScope(std::shared_ptr<ThreadState> record)
{
    Scheduler& s = Sched();
    if (record)
    {
        std::lock_guard g(s.mu);
        s.threads.push_back(record);
        t_holder.state = std::move(record);
        t_holder.generation = s.generation;
    }
    auto self = SelfPtr();
    std::lock_guard g(s.mu);
    self->simulated = true;
    ++s.active;
    if (s.pendingStarts > 0)
        --s.pendingStarts;
}

SimThreadScope::~SimThreadScope()
{
    auto self = SelfPtr();
    std::vector<std::shared_ptr<void>> gone; // destroyed outside the lock
    {
        Scheduler& s = Sched();
        std::lock_guard g(s.mu);
        for (const SchedulerClient& c : Clients())
            if (c.threadEndedLocked)
                c.threadEndedLocked(self, gone);
        for (auto& sent : self->sent)
            sent->done = true;
        self->sent.clear();
        self->alive = false;
        self->simulated = false;
        --s.active;
        std::erase(s.threads, self);
        RescheduleLocked();
    }
    t_holder.state.reset();
}

BlockedScope::BlockedScope(const std::function<bool()>* done)
{
    auto self = SelfPtr();
    Scheduler& s = Sched();
    std::lock_guard g(s.mu);
    if (self->simulated)
    {
        counted = true;
        thread = self;
        self->wait = WaitKind::Blocked;
        self->ready = done;
        --s.active;
        RescheduleLocked();
    }
}

BlockedScope::~BlockedScope()
{
    Wake();
}

void BlockedScope::Wake()
{
    Scheduler& s = Sched();
    std::lock_guard g(s.mu);
    if (!counted)
        return;
    counted = false;
    thread->wait = WaitKind::None;
    thread->ready = nullptr;
    ++s.active;
}

} // namespace sim::detail
