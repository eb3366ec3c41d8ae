// Each thread's queue: messages sent across threads wait for the receiver to pump, posted ones and
// timers are taken in Windows' order, and a scripted user's input arrives as a posted task.
#include "user32/desktop_internal.h"

#include <algorithm>

namespace sim::detail
{
namespace
{
bool MatchesFilter(HWND hwnd, HWND filter, UINT message, UINT min, UINT max)
{
    if (min || max)
        if (message < min || message > max)
            return false;
    if (!filter)
        return true;
    if (filter == reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1)))
        return hwnd == nullptr;
    for (HWND h = hwnd; h;)
    {
        if (h == filter)
            return true;
        Window* w = FindLocked(h);
        h = w ? w->parent : nullptr;
    }
    return false;
}

LRESULT CallProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    WNDPROC proc = nullptr;
    {
        std::lock_guard g(Desk().mu);
        if (Window* w = FindLocked(window))
            proc = w->proc;
    }
    return proc ? proc(window, message, wParam, lParam) : 0;
}

void DeliverSent(std::unique_lock<std::mutex>& lock, const std::shared_ptr<Sent>& s)
{
    lock.unlock();
    LRESULT result = 0;
    try
    {
        result = CallProc(s->window, s->message, s->wParam, s->lParam);
    }
    catch (...)
    {
        lock.lock();
        s->done = true;
        Desk().cv.notify_all();
        throw;
    }
    lock.lock();
    s->result = result;
    s->done = true;
    Desk().cv.notify_all();
}
} // namespace

Got Pump(MSG* out, HWND filter, UINT min, UINT max, bool remove, bool wait, const std::function<bool()>& stop)
{
    auto self = SelfPtr();
    ThreadState& t = *self;
    DesktopState& d = Desk();
    std::unique_lock lock(d.mu);
    bool unfiltered = !filter && !min && !max;
    for (;;)
    {
        if (stop && stop())
            return Got::Stopped;
        if (!t.sent.empty())
        {
            auto s = t.sent.front();
            t.sent.pop_front();
            DeliverSent(lock, s);
            continue;
        }
        auto it = std::find_if(t.posted.begin(), t.posted.end(), [&](const Posted& p) {
            return p.task ? unfiltered : MatchesFilter(p.msg.hwnd, filter, p.msg.message, min, max);
        });
        if (it != t.posted.end())
        {
            if (it->task)
            {
                auto task = std::move(it->task);
                t.posted.erase(it);
                lock.unlock();
                task();
                lock.lock();
                d.cv.notify_all();
                continue;
            }
            *out = it->msg;
            if (remove)
                t.posted.erase(it);
            return Got::Message;
        }
        if (t.quit && MatchesFilter(nullptr, nullptr, WM_QUIT, min, max))
        {
            *out = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(t.quitCode), 0, 0, {}};
            if (remove)
                t.quit = false;
            return Got::Quit;
        }
        ULONGLONG now = Clock();
        Timer* due = nullptr;
        for (Timer& timer : d.timers)
            if (timer.thread == self && TimerDue(timer, now) &&
                MatchesFilter(timer.window, filter, WM_TIMER, min, max) && (!due || timer.due < due->due))
                due = &timer;
        if (due)
        {
            *out = MSG{
                due->window, WM_TIMER, due->id, reinterpret_cast<LPARAM>(due->proc), static_cast<DWORD>(now),
                {}};
            if (remove)
                due->due = now + std::max<UINT>(due->interval, 1);
            return Got::Message;
        }
        if (!wait)
            return Got::Nothing;
        if (Sched().aborting && t.abortThrown)
            return Got::Quit;
        WaitLocked(lock, t, WaitKind::Message, ~0ULL, [&] {
            if ((stop && stop()) || !t.sent.empty() || t.quit)
                return true;
            for (const Posted& p : t.posted)
                if (p.task ? unfiltered : MatchesFilter(p.msg.hwnd, filter, p.msg.message, min, max))
                    return true;
            for (const Timer& timer : d.timers)
                if (timer.thread == self && TimerDue(timer, Clock()) &&
                    MatchesFilter(timer.window, filter, WM_TIMER, min, max))
                    return true;
            return false;
        });
    }
}

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return SendWithTimeout(window, message, wParam, lParam, ~0ULL, nullptr);
}

LRESULT SendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam, ULONGLONG timeout,
                        bool* timedOut)
{
    auto self = SelfPtr();
    const ULONGLONG deadline = timeout == ~0ULL ? ~0ULL : Clock().load() + timeout;
    std::unique_lock lock(Desk().mu);
    Window* w = FindLocked(window);
    if (!w)
    {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (w->thread == self)
    {
        lock.unlock();
        return CallProc(window, message, wParam, lParam);
    }
    // Another thread's window: it runs when that thread next pumps; meanwhile this thread answers
    // what is sent to it, as Windows does.
    auto target = w->thread;
    if (!target->alive)
        return 0;
    auto s = std::make_shared<Sent>(Sent{window, message, wParam, lParam});
    target->sent.push_back(s);
    Desk().cv.notify_all();
    for (;;)
    {
        if (s->done)
            return s->result;
        if (!self->sent.empty())
        {
            auto mine = self->sent.front();
            self->sent.pop_front();
            DeliverSent(lock, mine);
            continue;
        }
        if (Sched().aborting && self->abortThrown)
            return 0;
        if (deadline != ~0ULL && Clock().load() >= deadline)
        {
            std::erase(target->sent, s);
            if (timedOut)
                *timedOut = true;
            SetLastError(ERROR_TIMEOUT);
            return 0;
        }
        WaitLocked(lock, *self, WaitKind::Message, deadline,
                   [&] { return s->done || !self->sent.empty() || Clock().load() >= deadline; });
    }
}

void PostInput(HWND window, std::function<void()> task)
{
    auto self = SelfPtr();
    std::unique_lock lock(Desk().mu);
    Window* w = FindLocked(window);
    if (!w)
        return;
    if (w->thread == self || !w->thread->simulated)
    {
        lock.unlock();
        task();
        return;
    }
    w->thread->posted.push_back(Posted{MSG{window, WM_NULL, 0, 0, 0, {}}, std::move(task)});
    Desk().cv.notify_all();
}

void NotifyCommand(HWND control, UINT code)
{
    HWND parent = GetParent(control);
    if (parent)
        SendMessageW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), code),
                     reinterpret_cast<LPARAM>(control));
}

LRESULT NotifyParent(HWND control, UINT code, NMHDR* header)
{
    HWND parent = GetParent(control);
    if (!parent)
        return 0;
    header->hwndFrom = control;
    header->idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(control));
    header->code = code;
    return SendMessageW(parent, WM_NOTIFY, header->idFrom, reinterpret_cast<LPARAM>(header));
}

} // namespace sim::detail

using namespace sim;
using namespace sim::detail;

LRESULT WINAPI SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return Send(window, message, wParam, lParam);
}

// A broadcast is recorded, not delivered: no window here acts on one, and on Windows the sender's
// time-out is what keeps a hung window from holding it.
LRESULT WINAPI SendMessageTimeoutW(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT flags,
                                   UINT timeout, PDWORD_PTR result)
{
    if (window == HWND_BROADCAST)
    {
        BroadcastSent sent{message, wParam, {}, flags, timeout};
        if (message == WM_DEVMODECHANGE && lParam)
            sent.text = reinterpret_cast<const WCHAR*>(lParam);
        std::lock_guard g(Desk().mu);
        Desk().broadcasts.push_back(std::move(sent));
        if (result)
            *result = 0;
        return 1;
    }
    if (!IsWindow(window))
    {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    bool timedOut = false;
    LRESULT r = SendWithTimeout(window, message, wParam, lParam, timeout, &timedOut);
    if (timedOut)
        return 0;
    if (result)
        *result = static_cast<DWORD_PTR>(r);
    return 1;
}

LRESULT WINAPI SendMessageTimeoutA(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT flags,
                                   UINT timeout, PDWORD_PTR result)
{
    // Only messages without text pass here: they are the same in both forms.
    return SendMessageTimeoutW(window, message, wParam, lParam, flags, timeout, result);
}

BOOL WINAPI PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto self = SelfPtr();
    std::lock_guard g(Desk().mu);
    std::shared_ptr<ThreadState> target = self;
    if (window)
    {
        Window* w = FindLocked(window);
        if (!w)
        {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        target = w->thread;
    }
    target->posted.push_back(
        Posted{MSG{window, message, wParam, lParam, static_cast<DWORD>(Clock()), {}}, {}});
    Desk().cv.notify_all();
    return TRUE;
}

BOOL WINAPI PostThreadMessageW(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam)
{
    std::lock_guard g(Desk().mu);
    for (const auto& t : Sched().threads)
        if (t->id == threadId && t->alive)
        {
            t->posted.push_back(
                Posted{MSG{nullptr, message, wParam, lParam, static_cast<DWORD>(Clock()), {}}, {}});
            RescheduleLocked();
            return TRUE;
        }
    SetLastError(ERROR_INVALID_THREAD_ID);
    return FALSE;
}

void WINAPI PostQuitMessage(int exitCode)
{
    ThreadState& t = Self();
    std::lock_guard g(Desk().mu);
    t.quit = true;
    t.quitCode = exitCode;
    Desk().cv.notify_all();
}

namespace
{
// A window named as the filter must exist: waiting for a gone window's messages would wait forever.
bool FilterWindowValid(HWND window)
{
    if (!window || window == reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1)))
        return true;
    std::lock_guard g(Desk().mu);
    return WindowOrErrorLocked(window) != nullptr;
}
} // namespace

BOOL WINAPI GetMessageW(LPMSG msg, HWND window, UINT filterMin, UINT filterMax)
{
    if (!msg)
        return -1;
    if (!FilterWindowValid(window))
        return -1;
    Got got = Pump(msg, window, filterMin, filterMax, true, true, {});
    return got == Got::Message && msg->message != WM_QUIT ? TRUE : FALSE;
}

BOOL WINAPI PeekMessageW(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT remove)
{
    if (!msg || !FilterWindowValid(window))
        return FALSE;
    Got got = Pump(msg, window, filterMin, filterMax, (remove & PM_REMOVE) != 0, false, {});
    return got == Got::Message || got == Got::Quit ? TRUE : FALSE;
}

BOOL WINAPI TranslateMessage(const MSG*)
{
    return FALSE; // characters come from the scripted user as WM_CHAR already
}

LRESULT WINAPI DispatchMessageW(const MSG* msg)
{
    if (!msg)
        return 0;
    if (msg->message == WM_TIMER && msg->lParam)
    {
        reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam, GetTickCount());
        return 0;
    }
    if (!msg->hwnd)
        return 0;
    return Send(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL WINAPI WaitMessage()
{
    MSG m;
    Pump(&m, nullptr, 0, 0, false, true, {});
    return TRUE;
}
