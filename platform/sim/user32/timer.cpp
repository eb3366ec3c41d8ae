// Timers are events of the scheduler's clock, owned by the thread that set them.
#include "user32/desktop_internal.h"

#include <algorithm>

namespace sim::detail
{
bool TimerDue(const Timer& t, ULONGLONG now)
{
    return t.due <= now;
}

std::optional<ULONGLONG> NextTimerLocked(ULONGLONG after, bool simulatedOnly)
{
    std::optional<ULONGLONG> best;
    for (const Timer& timer : Desk().timers)
        if (timer.thread && timer.thread->alive && (timer.thread->simulated || !simulatedOnly) &&
            timer.due > after)
            best = best ? std::min(*best, timer.due) : timer.due;
    return best;
}

bool TimerDueLocked(const ThreadState& t)
{
    ULONGLONG now = Clock();
    return std::any_of(Desk().timers.begin(), Desk().timers.end(),
                       [&](const Timer& timer) { return timer.thread.get() == &t && TimerDue(timer, now); });
}
} // namespace sim::detail

using namespace sim;
using namespace sim::detail;

UINT_PTR WINAPI SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC proc)
{
    SIM_FAULT_POINT("SetTimer", 0);
    auto self = SelfPtr();
    std::lock_guard g(Desk().mu);
    DesktopState& d = Desk();
    std::shared_ptr<ThreadState> thread = self;
    if (window)
    {
        Window* w = FindLocked(window);
        if (!w)
        {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        if (w->thread != self)
        {
            SetLastError(ERROR_ACCESS_DENIED);
            return 0;
        }
    }
    else
        id = d.nextTimerId++;
    UINT interval = std::max<UINT>(elapse, 10);
    for (Timer& t : d.timers)
        if (t.window == window && t.id == id && window)
        {
            t.interval = interval;
            t.due = Clock() + interval;
            t.proc = proc;
            return id ? id : 1;
        }
    d.timers.push_back(Timer{window, id, thread, interval, Clock() + interval, proc});
    d.cv.notify_all();
    return window ? (id ? id : 1) : id;
}

BOOL WINAPI KillTimer(HWND window, UINT_PTR id)
{
    std::lock_guard g(Desk().mu);
    if (window && !WindowOrErrorLocked(window))
        return FALSE;
    auto& timers = Desk().timers;
    auto before = timers.size();
    std::erase_if(timers, [&](const Timer& t) { return t.window == window && t.id == id; });
    return timers.size() != before ? TRUE : FALSE;
}
