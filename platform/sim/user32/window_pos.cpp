// Where a window is and whether it is shown.
#include "user32/desktop_internal.h"
#include "user32/owner_draw.h"

using namespace sim;
using namespace sim::detail;

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

// The simulated desktop draws no window frames, so a window's client area is the whole window.
BOOL WINAPI AdjustWindowRectEx(LPRECT rect, DWORD, BOOL, DWORD)
{
    if (!rect)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}
