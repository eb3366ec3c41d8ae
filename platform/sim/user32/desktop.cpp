// The desktop's core: queues of the machine's threads, windows and classes, sent and posted
// messages, timers (events of the scheduler's clock).
#include "user32/desktop_internal.h"
#include "gdi/objects.h"
#include "user32/owner_draw.h"

#include <algorithm>

namespace sim::detail
{
namespace
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

bool OwnsWindowsLocked(const ThreadState& t)
{
    for (const auto& [h, w] : Desk().windows)
        if (w->thread.get() == &t)
            return true;
    return false;
}

// Windows and timers die with the thread that made them.
void ThreadEndedLocked(const std::shared_ptr<ThreadState>& self, std::vector<std::shared_ptr<void>>& keep)
{
    DesktopState& d = Desk();
    for (auto it = d.windows.begin(); it != d.windows.end();)
        if (it->second->thread == self)
        {
            keep.push_back(it->second);
            it = d.windows.erase(it);
        }
        else
            ++it;
    std::erase_if(d.timers, [&](const Timer& t) { return t.thread == self; });
}

bool TimerDueLocked(const ThreadState& t)
{
    ULONGLONG now = Clock();
    return std::any_of(Desk().timers.begin(), Desk().timers.end(),
                       [&](const Timer& timer) { return timer.thread.get() == &t && TimerDue(timer, now); });
}

const bool g_scheduled =
    AddSchedulerClient(SchedulerClient{NextTimerLocked, OwnsWindowsLocked, ThreadEndedLocked,
                                       [] { return DescribeScreenLocked(); }, TimerDueLocked});

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

DesktopState::DesktopState() : mu(Sched().mu), cv(Sched().cv) {}

DesktopState& Desk()
{
    return Part<DesktopState>();
}

std::string DescribeScreenLocked()
{
    DesktopState& d = Desk();
    std::string out = "On screen:";
    bool any = false;
    for (const auto& [h, w] : d.windows)
        if (!w->parent && (w->style & WS_VISIBLE))
        {
            out += "\n  window \"" + ToUtf8(w->text) + "\" (" + ToUtf8(w->className) + ")";
            any = true;
        }
    if (d.messageBox && !d.messageBox->answer)
    {
        out += "\n  message box \"" + ToUtf8(d.messageBox->shown.caption) +
               "\": " + ToUtf8(d.messageBox->shown.text);
        any = true;
    }
    if (d.fileDialog && !d.fileDialog->answered)
    {
        out += "\n  a file dialog";
        any = true;
    }
    if (!any)
        out += " nothing";
    return out;
}

Window* FindLocked(HWND window)
{
    auto& ws = Desk().windows;
    auto it = ws.find(window);
    return it == ws.end() ? nullptr : it->second.get();
}

std::shared_ptr<Window> FindWindowPtr(HWND window)
{
    std::lock_guard g(Desk().mu);
    auto it = Desk().windows.find(window);
    return it == Desk().windows.end() ? nullptr : it->second;
}

bool IsOwnThread(HWND window)
{
    auto self = SelfPtr();
    std::lock_guard g(Desk().mu);
    Window* w = FindLocked(window);
    return w && w->thread == self;
}

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

WString ToWString(LPCWSTR text)
{
    return text ? WString(text) : WString();
}

void CopyOut(WStringView text, LPWSTR buffer, int size)
{
    if (!buffer || size <= 0)
        return;
    size_t n = std::min<size_t>(text.size(), static_cast<size_t>(size - 1));
    std::copy_n(text.begin(), n, buffer);
    buffer[n] = 0;
}

} // namespace sim::detail

namespace sim
{
void Desktop::SetFailureReporter(std::function<void(const std::string&)> reporter)
{
    detail::Reporter() = std::move(reporter);
}
} // namespace sim

using namespace sim;
using namespace sim::detail;

// ---- Classes and windows ----

namespace
{
WString ClassKey(LPCWSTR name)
{
    if (IS_INTRESOURCE(name))
        return u"#" + detail::Widen(std::to_string(reinterpret_cast<ULONG_PTR>(name)));
    return Fold(name);
}

// A program's own classes belong to its process, as on Windows; the system's are everyone's.
WString ProcessClassKey(LPCWSTR name)
{
    return detail::Widen(std::to_string(GetCurrentProcessId())) + u":" + ClassKey(name);
}

bool ClassLookup(LPCWSTR name, WNDCLASSEXW& wc, WString& realName)
{
    RegisterBuiltInClasses();
    WString key = ProcessClassKey(name); // the process is looked up before the desktop's lock
    std::lock_guard g(Desk().mu);
    auto it = Desk().classes.find(key);
    if (it == Desk().classes.end())
        it = Desk().classes.find(key = ClassKey(name));
    if (it == Desk().classes.end())
        return false;
    wc = it->second;
    realName = Desk().classNames[key];
    return true;
}
} // namespace

namespace sim::detail
{
void RegisterClassLocked(const WNDCLASSEXW& wc, WStringView name)
{
    WString key = Fold(name);
    Desk().classes[key] = wc;
    Desk().classNames[key] = WString(name);
}
} // namespace sim::detail

ATOM WINAPI RegisterClassExW(const WNDCLASSEXW* wc)
{
    if (!wc || !wc->lpszClassName || !wc->lpfnWndProc)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    RegisterBuiltInClasses();
    WString key = ProcessClassKey(wc->lpszClassName); // before the desktop's lock, as the lock order says
    std::lock_guard g(Desk().mu);
    if (Desk().classes.count(key))
    {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    Desk().classes[key] = *wc;
    Desk().classNames[key] = ToWString(wc->lpszClassName);
    return static_cast<ATOM>(0xC000 + Desk().classes.size());
}

ATOM WINAPI RegisterClassW(const WNDCLASSW* wc)
{
    if (!wc)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    WNDCLASSEXW ex{sizeof(WNDCLASSEXW), wc->style,        wc->lpfnWndProc,   wc->cbClsExtra,
                   wc->cbWndExtra,      wc->hInstance,    wc->hIcon,         wc->hCursor,
                   wc->hbrBackground,   wc->lpszMenuName, wc->lpszClassName, nullptr};
    return RegisterClassExW(&ex);
}

BOOL WINAPI UnregisterClassW(LPCWSTR className, HINSTANCE)
{
    WString key = ProcessClassKey(className); // before the desktop's lock, as the lock order says
    std::lock_guard g(Desk().mu);
    return Desk().classes.erase(key) ? TRUE : FALSE;
}

HWND WINAPI CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y,
                            int width, int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param)
{
    SIM_FAULT_POINT("CreateWindowExW", nullptr);
    WNDCLASSEXW wc{};
    WString realName;
    if (!className || !ClassLookup(className, wc, realName))
    {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    auto self = SelfPtr();
    DWORD process = GetCurrentProcessId(); // before the desktop's lock, as the lock order says
    HWND handle;
    {
        std::lock_guard g(Desk().mu);
        Window* parentWindow = parent ? FindLocked(parent) : nullptr;
        if (parent && !parentWindow)
        {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        auto w = std::make_shared<Window>();
        handle = reinterpret_cast<HWND>(Desk().nextWindow);
        Desk().nextWindow += 4;
        w->handle = handle;
        w->className = realName;
        w->proc = wc.lpfnWndProc;
        w->style = style;
        w->exStyle = exStyle;
        w->text = ToWString(windowName);
        w->instance = instance;
        w->thread = self;
        w->processId = process;
        w->rect = RECT{x == CW_USEDEFAULT ? 0 : x, y == CW_USEDEFAULT ? 0 : y,
                       (x == CW_USEDEFAULT ? 0 : x) + (width == CW_USEDEFAULT ? 640 : width),
                       (y == CW_USEDEFAULT ? 0 : y) + (height == CW_USEDEFAULT ? 480 : height)};
        if (style & WS_CHILD)
        {
            w->parent = parent;
            w->id = reinterpret_cast<LONG_PTR>(menu);
            if (parentWindow)
                parentWindow->children.push_back(handle);
        }
        else
        {
            w->owner = parent;
            w->menu = menu;
        }
        Desk().windows[handle] = w;
    }
    CREATESTRUCTW cs{param,      instance,  menu,   parent, height, width, y, x, static_cast<LONG>(style),
                     windowName, className, exStyle};
    if (SendMessageW(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1)
    {
        DestroyWindow(handle);
        return nullptr;
    }
    if ((style & WS_VISIBLE) && !(style & WS_CHILD))
    {
        std::lock_guard g(Desk().mu);
        Desk().foreground = handle;
    }
    if (style & WS_VISIBLE)
        SchedulePaint(handle);
    return handle;
}

BOOL WINAPI DestroyWindow(HWND window)
{
    std::vector<HWND> children;
    std::vector<HWND> owned;
    {
        auto self = SelfPtr();
        std::lock_guard g(Desk().mu);
        Window* w = FindLocked(window);
        if (!w)
        {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        if (w->thread != self)
        {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        for (const auto& [h, other] : Desk().windows)
            if (other->owner == window)
                owned.push_back(h);
    }
    for (HWND h : owned)
        DestroyWindow(h);
    SendMessageW(window, WM_DESTROY, 0, 0);
    {
        std::lock_guard g(Desk().mu);
        if (Window* w = FindLocked(window))
            children = w->children;
    }
    for (HWND child : children)
        DestroyWindow(child);
    SendMessageW(window, WM_NCDESTROY, 0, 0);
    HFONT ownedFont = nullptr;
    {
        std::lock_guard g(Desk().mu);
        DesktopState& d = Desk();
        if (Window* w = FindLocked(window))
        {
            ownedFont = w->ownedFont;
            if (Window* p = w->parent ? FindLocked(w->parent) : nullptr)
                std::erase(p->children, window);
            d.windows.erase(window);
        }
        std::erase_if(d.timers, [&](const Timer& t) { return t.window == window; });
        if (d.foreground == window)
            d.foreground = nullptr;
        RescheduleLocked();
    }
    // Graphics after the desktop's lock, as the lock order says.
    if (ownedFont)
        DeleteObject(ownedFont);
    ForgetWindowPicture(window);
    return TRUE;
}

LRESULT WINAPI DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_SETTEXT: {
        std::lock_guard g(Desk().mu);
        if (Window* w = FindLocked(window))
            w->text = ToWString(reinterpret_cast<LPCWSTR>(lParam));
        return TRUE;
    }
    case WM_GETTEXT: {
        std::lock_guard g(Desk().mu);
        Window* w = FindLocked(window);
        if (!w || wParam == 0)
            return 0;
        CopyOut(w->text, reinterpret_cast<LPWSTR>(lParam), static_cast<int>(wParam));
        return static_cast<LRESULT>(std::min<size_t>(w->text.size(), wParam - 1));
    }
    case WM_GETTEXTLENGTH: {
        std::lock_guard g(Desk().mu);
        Window* w = FindLocked(window);
        return w ? static_cast<LRESULT>(w->text.size()) : 0;
    }
    case WM_SETICON: {
        std::lock_guard g(Desk().mu);
        Window* w = FindLocked(window);
        if (!w || wParam > 1)
            return 0;
        HICON old = w->icons[wParam];
        w->icons[wParam] = reinterpret_cast<HICON>(lParam);
        return reinterpret_cast<LRESULT>(old);
    }
    case WM_SETFONT: // what the controls keep; a window of no control class keeps it as well
    {
        std::lock_guard g(Desk().mu);
        if (Window* w = FindLocked(window))
            w->font = reinterpret_cast<HFONT>(wParam);
        return 0;
    }
    case WM_GETFONT: {
        std::lock_guard g(Desk().mu);
        Window* w = FindLocked(window);
        return w ? reinterpret_cast<LRESULT>(w->font) : 0;
    }
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_DROPFILES:
        DragFinish(reinterpret_cast<HDROP>(wParam));
        return 0;
    case WM_CONTEXTMENU:
    case WM_HELP: {
        // A child passes these on to its parent.
        HWND parent = nullptr;
        {
            std::lock_guard g(Desk().mu);
            if (Window* w = FindLocked(window); w && (w->style & WS_CHILD))
                parent = w->parent;
        }
        return parent ? SendMessageW(parent, message, wParam, lParam) : 0;
    }
    default:
        return 0;
    }
}

LRESULT WINAPI CallWindowProcW(WNDPROC proc, HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return proc ? proc(window, message, wParam, lParam) : 0;
}

BOOL WINAPI IsWindow(HWND window)
{
    std::lock_guard g(Desk().mu);
    return FindLocked(window) ? TRUE : FALSE;
}

BOOL WINAPI IsWindowVisible(HWND window)
{
    std::lock_guard g(Desk().mu);
    for (Window* w = FindLocked(window); w; w = w->parent ? FindLocked(w->parent) : nullptr)
        if (!(w->style & WS_VISIBLE))
            return FALSE;
    return FindLocked(window) ? TRUE : FALSE;
}

BOOL WINAPI IsWindowEnabled(HWND window)
{
    std::lock_guard g(Desk().mu);
    Window* w = FindLocked(window);
    return w && !(w->style & WS_DISABLED) ? TRUE : FALSE;
}

BOOL WINAPI EnableWindow(HWND window, BOOL enable)
{
    bool wasDisabled;
    {
        std::lock_guard g(Desk().mu);
        Window* w = WindowOrErrorLocked(window);
        if (!w)
            return FALSE;
        wasDisabled = (w->style & WS_DISABLED) != 0;
        if (enable)
            w->style &= ~static_cast<DWORD>(WS_DISABLED);
        else
            w->style |= WS_DISABLED;
    }
    if (wasDisabled != !enable)
        SendMessageW(window, WM_ENABLE, enable ? TRUE : FALSE, 0);
    return wasDisabled ? TRUE : FALSE;
}

BOOL WINAPI ShowWindow(HWND window, int command)
{
    BOOL was = FALSE;
    {
        std::lock_guard g(Desk().mu);
        Window* w = WindowOrErrorLocked(window);
        if (!w)
            return FALSE;
        was = (w->style & WS_VISIBLE) ? TRUE : FALSE;
        if (command == SW_HIDE)
            w->style &= ~static_cast<DWORD>(WS_VISIBLE);
        else
        {
            w->style |= WS_VISIBLE;
            if (!w->parent && command != SW_SHOWNA && command != SW_SHOWNOACTIVATE &&
                command != SW_SHOWMINNOACTIVE)
                Desk().foreground = window;
        }
    }
    if (command != SW_HIDE && !was)
        SchedulePaint(window);
    return was;
}

BOOL WINAPI UpdateWindow(HWND window)
{
    return IsWindow(window);
}

BOOL WINAPI InvalidateRect(HWND window, const RECT*, BOOL)
{
    if (!window)
        return TRUE;
    if (!IsWindow(window))
        return FALSE;
    SchedulePaint(window);
    return TRUE;
}

HDC WINAPI BeginPaint(HWND window, LPPAINTSTRUCT paint)
{
    if (!paint)
        return nullptr;
    *paint = PAINTSTRUCT{};
    paint->hdc = GetDC(window);
    GetClientRect(window, &paint->rcPaint);
    return paint->hdc;
}

BOOL WINAPI EndPaint(HWND window, const PAINTSTRUCT* paint)
{
    if (paint && paint->hdc)
        ReleaseDC(window, paint->hdc);
    return TRUE;
}

BOOL WINAPI SetWindowTextW(HWND window, LPCWSTR text)
{
    if (!IsWindow(window))
    {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : u"")) ? TRUE : FALSE;
}

int WINAPI GetWindowTextW(HWND window, LPWSTR text, int maxCount)
{
    if (!text || maxCount <= 0)
        return 0;
    if (IsOwnThread(window))
        return static_cast<int>(SendMessageW(window, WM_GETTEXT, maxCount, reinterpret_cast<LPARAM>(text)));
    std::lock_guard g(Desk().mu);
    Window* w = FindLocked(window);
    if (!w)
    {
        text[0] = 0;
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    CopyOut(w->text, text, maxCount);
    return static_cast<int>(std::min<size_t>(w->text.size(), maxCount - 1));
}

int WINAPI GetWindowTextLengthW(HWND window)
{
    if (IsOwnThread(window))
        return static_cast<int>(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0));
    std::lock_guard g(Desk().mu);
    Window* w = WindowOrErrorLocked(window);
    return w ? static_cast<int>(w->text.size()) : 0;
}

int WINAPI GetClassNameW(HWND window, LPWSTR className, int maxCount)
{
    std::lock_guard g(Desk().mu);
    Window* w = WindowOrErrorLocked(window);
    if (!w || !className || maxCount <= 0)
        return 0;
    CopyOut(w->className, className, maxCount);
    return static_cast<int>(std::min<size_t>(w->className.size(), maxCount - 1));
}

LONG_PTR WINAPI GetWindowLongPtrW(HWND window, int index)
{
    std::lock_guard g(Desk().mu);
    Window* w = FindLocked(window);
    if (!w)
    {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    switch (index)
    {
    case GWLP_WNDPROC:
        return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_HINSTANCE:
        return reinterpret_cast<LONG_PTR>(w->instance);
    case GWLP_HWNDPARENT:
        return reinterpret_cast<LONG_PTR>(w->parent ? w->parent : w->owner);
    case GWLP_ID:
        return w->id;
    case GWL_STYLE:
        return static_cast<LONG_PTR>(w->style);
    case GWL_EXSTYLE:
        return static_cast<LONG_PTR>(w->exStyle);
    case GWLP_USERDATA:
        return w->userData;
    default:
        break;
    }
    if (w->isDialog)
    {
        if (index == static_cast<int>(DWLP_MSGRESULT))
            return w->msgResult;
        if (index == static_cast<int>(DWLP_DLGPROC))
            return reinterpret_cast<LONG_PTR>(w->dialogProc);
        if (index == static_cast<int>(DWLP_USER))
            return w->dialogUser;
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
}

LONG_PTR WINAPI SetWindowLongPtrW(HWND window, int index, LONG_PTR value)
{
    std::lock_guard g(Desk().mu);
    Window* w = FindLocked(window);
    if (!w)
    {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    LONG_PTR old = 0;
    auto swap = [&](auto& field, auto v) {
        old = static_cast<LONG_PTR>(reinterpret_cast<intptr_t>(reinterpret_cast<void*>(field)));
        field = v;
    };
    switch (index)
    {
    case GWLP_WNDPROC:
        swap(w->proc, reinterpret_cast<WNDPROC>(value));
        return old;
    case GWLP_HWNDPARENT:
        old = reinterpret_cast<LONG_PTR>(w->owner);
        w->owner = reinterpret_cast<HWND>(value);
        return old;
    case GWLP_ID:
        old = w->id;
        w->id = value;
        return old;
    case GWL_STYLE:
        old = static_cast<LONG_PTR>(w->style);
        w->style = static_cast<DWORD>(value);
        return old;
    case GWL_EXSTYLE:
        old = static_cast<LONG_PTR>(w->exStyle);
        w->exStyle = static_cast<DWORD>(value);
        return old;
    case GWLP_USERDATA:
        old = w->userData;
        w->userData = value;
        return old;
    default:
        break;
    }
    if (w->isDialog)
    {
        if (index == static_cast<int>(DWLP_MSGRESULT))
        {
            old = w->msgResult;
            w->msgResult = value;
            return old;
        }
        if (index == static_cast<int>(DWLP_DLGPROC))
        {
            swap(w->dialogProc, reinterpret_cast<DLGPROC>(value));
            return old;
        }
        if (index == static_cast<int>(DWLP_USER))
        {
            old = w->dialogUser;
            w->dialogUser = value;
            return old;
        }
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
}

LONG WINAPI GetWindowLongW(HWND window, int index)
{
    return static_cast<LONG>(GetWindowLongPtrW(window, index));
}

LONG WINAPI SetWindowLongW(HWND window, int index, LONG value)
{
    return static_cast<LONG>(SetWindowLongPtrW(window, index, value));
}

HWND WINAPI GetParent(HWND window)
{
    std::lock_guard g(Desk().mu);
    Window* w = WindowOrErrorLocked(window);
    if (!w)
        return nullptr;
    return (w->style & WS_CHILD) ? w->parent : w->owner;
}

HWND WINAPI GetWindow(HWND window, UINT relation)
{
    std::lock_guard g(Desk().mu);
    Window* w = WindowOrErrorLocked(window);
    if (!w)
        return nullptr;
    if (relation == GW_OWNER)
        return w->owner;
    if (relation == GW_CHILD)
        return w->children.empty() ? nullptr : w->children.front();
    Window* p = w->parent ? FindLocked(w->parent) : nullptr;
    if (!p)
        return nullptr;
    auto& sib = p->children;
    auto it = std::find(sib.begin(), sib.end(), window);
    switch (relation)
    {
    case GW_HWNDFIRST:
        return sib.front();
    case GW_HWNDLAST:
        return sib.back();
    case GW_HWNDNEXT:
        return it + 1 < sib.end() ? *(it + 1) : nullptr;
    case GW_HWNDPREV:
        return it != sib.begin() ? *(it - 1) : nullptr;
    default:
        return nullptr;
    }
}

HWND WINAPI GetAncestor(HWND window, UINT flags)
{
    std::lock_guard g(Desk().mu);
    Window* w = WindowOrErrorLocked(window);
    if (!w)
        return nullptr;
    if (flags == GA_PARENT)
        return w->parent;
    while (w->parent && FindLocked(w->parent))
        w = FindLocked(w->parent);
    if (flags == GA_ROOTOWNER)
        while (w->owner && FindLocked(w->owner))
            w = FindLocked(w->owner);
    return w->handle;
}

HWND WINAPI FindWindowW(LPCWSTR className, LPCWSTR windowName)
{
    std::lock_guard g(Desk().mu);
    for (const auto& [h, w] : Desk().windows)
    {
        if (w->parent)
            continue;
        if (className && !IS_INTRESOURCE(className) && !EqualNoCase(w->className, className))
            continue;
        if (windowName && !EqualNoCase(w->text, windowName)) // titles compare without case, as on Windows
            continue;
        return h;
    }
    return nullptr;
}

BOOL WINAPI GetWindowRect(HWND window, LPRECT rect)
{
    std::lock_guard g(Desk().mu);
    Window* w = WindowOrErrorLocked(window);
    if (!w || !rect)
        return FALSE;
    *rect = w->rect;
    return TRUE;
}

BOOL WINAPI GetClientRect(HWND window, LPRECT rect)
{
    std::lock_guard g(Desk().mu);
    Window* w = WindowOrErrorLocked(window);
    if (!w || !rect)
        return FALSE;
    *rect = RECT{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
    return TRUE;
}

BOOL WINAPI MoveWindow(HWND window, int x, int y, int width, int height, BOOL)
{
    {
        std::lock_guard g(Desk().mu);
        Window* w = WindowOrErrorLocked(window);
        if (!w)
            return FALSE;
        w->rect = RECT{x, y, x + width, y + height};
    }
    SendMessageW(window, WM_SIZE, 0, MAKELPARAM(width, height));
    return TRUE;
}

BOOL WINAPI SetWindowPos(HWND window, HWND, int x, int y, int cx, int cy, UINT flags)
{
    std::lock_guard g(Desk().mu);
    Window* w = WindowOrErrorLocked(window);
    if (!w)
        return FALSE;
    if (!(flags & SWP_NOMOVE))
    {
        LONG width = w->rect.right - w->rect.left, height = w->rect.bottom - w->rect.top;
        w->rect = RECT{x, y, x + width, y + height};
    }
    if (!(flags & SWP_NOSIZE))
    {
        w->rect.right = w->rect.left + cx;
        w->rect.bottom = w->rect.top + cy;
    }
    if (flags & SWP_SHOWWINDOW)
        w->style |= WS_VISIBLE;
    if (flags & SWP_HIDEWINDOW)
        w->style &= ~static_cast<DWORD>(WS_VISIBLE);
    return TRUE;
}

HWND WINAPI SetFocus(HWND window)
{
    ThreadState& t = Self();
    HWND old = nullptr;
    bool moved = false;
    {
        std::lock_guard g(Desk().mu);
        old = FindLocked(t.focus) ? t.focus : nullptr;
        if (!window || FindLocked(window))
        {
            moved = old != window;
            t.focus = window;
        }
    }
    // The window that loses the focus hears it first, then the one that gains it.
    if (moved && old)
        SendMessageW(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(window), 0);
    if (moved && window)
        SendMessageW(window, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
    return old;
}

HWND WINAPI GetFocus()
{
    ThreadState& t = Self();
    std::lock_guard g(Desk().mu);
    return FindLocked(t.focus) ? t.focus : nullptr;
}

BOOL WINAPI SetForegroundWindow(HWND window)
{
    std::lock_guard g(Desk().mu);
    if (!FindLocked(window))
        return FALSE;
    Desk().foreground = window;
    return TRUE;
}

HWND WINAPI GetForegroundWindow()
{
    std::lock_guard g(Desk().mu);
    return FindLocked(Desk().foreground) ? Desk().foreground : nullptr;
}

HWND WINAPI SetActiveWindow(HWND window)
{
    std::lock_guard g(Desk().mu);
    HWND old = Desk().foreground;
    if (FindLocked(window))
        Desk().foreground = window;
    return old;
}

DWORD WINAPI GetWindowThreadProcessId(HWND window, LPDWORD processId)
{
    if (window && window == GetShellWindow())
    {
        if (processId)
            *processId = ShellProcessId();
        return ShellProcessId() + 1; // the shell's thread
    }
    std::lock_guard g(Desk().mu);
    Window* w = WindowOrErrorLocked(window);
    if (!w)
        return 0;
    if (processId)
        *processId = w->processId;
    return w->thread->id;
}

// Top-level windows of every process on the desktop, in the order they were made; the callback
// runs without the desktop's lock, so it may make or destroy windows.
BOOL WINAPI EnumWindows(WNDENUMPROC callback, LPARAM lParam)
{
    if (!callback)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::vector<HWND> topLevel;
    {
        std::lock_guard g(Desk().mu);
        for (const auto& [h, w] : Desk().windows)
            if (!w->parent)
                topLevel.push_back(h);
    }
    for (HWND h : topLevel)
        if (IsWindow(h) && !callback(h, lParam))
            return FALSE;
    return TRUE;
}

// The desktop keeps one queue per thread, so sharing an input state only records the pair; what
// Windows checks is kept: two different live threads, and parting only what was joined.
BOOL WINAPI AttachThreadInput(DWORD attachThreadId, DWORD attachToThreadId, BOOL attach)
{
    std::lock_guard g(Desk().mu);
    ThreadState* from = nullptr;
    bool toAlive = false;
    for (const auto& t : Sched().threads)
    {
        if (!t->alive)
            continue;
        if (t->id == attachThreadId)
            from = t.get();
        if (t->id == attachToThreadId)
            toAlive = true;
    }
    if (!from || !toAlive || attachThreadId == attachToThreadId)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto& joined = from->inputAttachedTo;
    auto it = std::find(joined.begin(), joined.end(), attachToThreadId);
    if (attach)
    {
        if (it == joined.end())
            joined.push_back(attachToThreadId);
        return TRUE;
    }
    if (it == joined.end())
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    joined.erase(it);
    return TRUE;
}

BOOL WINAPI SetPropW(HWND window, LPCWSTR name, HANDLE data)
{
    std::lock_guard g(Desk().mu);
    Window* w = WindowOrErrorLocked(window);
    if (!w || !name)
        return FALSE;
    w->props[ClassKey(name)] = data;
    return TRUE;
}

HANDLE WINAPI GetPropW(HWND window, LPCWSTR name)
{
    std::lock_guard g(Desk().mu);
    Window* w = FindLocked(window);
    if (!w || !name)
        return nullptr;
    auto it = w->props.find(ClassKey(name));
    return it == w->props.end() ? nullptr : it->second;
}

HANDLE WINAPI RemovePropW(HWND window, LPCWSTR name)
{
    std::lock_guard g(Desk().mu);
    Window* w = FindLocked(window);
    if (!w || !name)
        return nullptr;
    auto it = w->props.find(ClassKey(name));
    if (it == w->props.end())
        return nullptr;
    HANDLE h = it->second;
    w->props.erase(it);
    return h;
}

int WINAPI GetSystemMetrics(int index)
{
    switch (index)
    {
    case SM_CXSCREEN:
    case SM_CXFULLSCREEN:
        return 1920;
    case SM_CYSCREEN:
        return 1080;
    case SM_CYFULLSCREEN:
        return 1017;
    case SM_CXICON:
    case SM_CYICON:
        return 32;
    case SM_CXSMICON:
    case SM_CYSMICON:
        return 16;
    case SM_SERVERR2:
        return sim::detail::ServerR2() ? 1 : 0;
    default:
        return 0;
    }
}

// ---- Messages ----

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

BOOL WINAPI GetMessageW(LPMSG msg, HWND window, UINT filterMin, UINT filterMax)
{
    if (!msg)
        return -1;
    Got got = Pump(msg, window, filterMin, filterMax, true, true, {});
    return got == Got::Message && msg->message != WM_QUIT ? TRUE : FALSE;
}

BOOL WINAPI PeekMessageW(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT remove)
{
    if (!msg)
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
    auto& timers = Desk().timers;
    auto before = timers.size();
    std::erase_if(timers, [&](const Timer& t) { return t.window == window && t.id == id; });
    return timers.size() != before ? TRUE : FALSE;
}

SHORT WINAPI GetKeyState(int key)
{
    std::lock_guard g(Desk().mu);
    auto& down = Desk().keysDown;
    auto isDown = [&](int k) { return std::find(down.begin(), down.end(), k) != down.end(); };
    bool d = isDown(key) || (key == VK_SHIFT && (isDown(VK_LSHIFT) || isDown(VK_RSHIFT))) ||
             (key == VK_CONTROL && (isDown(VK_LCONTROL) || isDown(VK_RCONTROL)));
    return d ? static_cast<SHORT>(0x8000) : 0;
}

SHORT WINAPI GetAsyncKeyState(int key)
{
    return GetKeyState(key);
}

LANGID WINAPI GetUserDefaultUILanguage()
{
    std::lock_guard g(Desk().mu);
    return Desk().uiLanguage;
}

LANGID WINAPI GetUserDefaultLangID()
{
    std::lock_guard g(Desk().mu);
    return Desk().userLanguage;
}

LCID WINAPI GetUserDefaultLCID()
{
    return GetUserDefaultLangID();
}
