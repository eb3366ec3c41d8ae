// The keyboard focus (one per thread) and the desktop's foreground window.
#include "user32/desktop_internal.h"

using namespace sim;
using namespace sim::detail;

HWND WINAPI SetFocus(HWND window)
{
    ThreadState& t = Self();
    HWND old = nullptr;
    bool moved = false;
    {
        std::lock_guard g(Desk().mu);
        if (window && !WindowOrErrorLocked(window))
            return nullptr;
        old = FindLocked(t.focus) ? t.focus : nullptr;
        moved = old != window;
        t.focus = window;
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
    if (!WindowOrErrorLocked(window))
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
    if (window && !WindowOrErrorLocked(window))
        return nullptr;
    HWND old = Desk().foreground;
    if (window)
        Desk().foreground = window;
    return old;
}
