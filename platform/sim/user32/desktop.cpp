// The desktop's state: its windows found by handle, and what the scheduler asks of it (who owns
// windows, what a thread's end takes with it, the screen described when nothing can move).
#include "user32/desktop_internal.h"

namespace sim::detail
{
namespace
{
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

const bool g_scheduled =
    AddSchedulerClient(SchedulerClient{NextTimerLocked, OwnsWindowsLocked, ThreadEndedLocked,
                                       [] { return DescribeScreenLocked(); }, TimerDueLocked});
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
