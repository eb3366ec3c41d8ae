// The mouse: where the cursor stands (the scripted user moves it before a press), and the mapping
// of points between a window's client area and the screen. A child's rectangle is kept relative to
// its parent, a top-level window's on the screen, and a window's client area starts at its corner.
#include "user32/desktop_internal.h"

using namespace sim;
using namespace sim::detail;

namespace
{
struct Cursor : PartBase
{
    POINT at{};
};

// The screen position of the window's client origin; false for a handle that names no window.
bool OriginLocked(HWND window, POINT& origin)
{
    origin = POINT{0, 0};
    Window* w = WindowOrErrorLocked(window);
    if (!w)
        return false;
    for (; w; w = (w->style & WS_CHILD) && w->parent ? FindLocked(w->parent) : nullptr)
    {
        origin.x += w->rect.left;
        origin.y += w->rect.top;
    }
    return true;
}
} // namespace

BOOL WINAPI GetCursorPos(LPPOINT point)
{
    if (!point)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard g(Desk().mu);
    *point = Part<Cursor>().at;
    return TRUE;
}

BOOL WINAPI SetCursorPos(int x, int y)
{
    std::lock_guard g(Desk().mu);
    Part<Cursor>().at = POINT{x, y};
    return TRUE;
}

BOOL WINAPI ClientToScreen(HWND window, LPPOINT point)
{
    std::lock_guard g(Desk().mu);
    POINT origin{};
    if (!point || !OriginLocked(window, origin))
        return FALSE;
    point->x += origin.x;
    point->y += origin.y;
    return TRUE;
}

BOOL WINAPI ScreenToClient(HWND window, LPPOINT point)
{
    std::lock_guard g(Desk().mu);
    POINT origin{};
    if (!point || !OriginLocked(window, origin))
        return FALSE;
    point->x -= origin.x;
    point->y -= origin.y;
    return TRUE;
}
