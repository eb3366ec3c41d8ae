// Which of a window's pop-ups the user last worked in, the cursor, and the process's default layout.
#include "user32/desktop_internal.h"

#include <map>

using namespace sim;
using namespace sim::detail;

namespace
{
struct Layouts : PartBase
{
    std::map<DWORD, DWORD> byProcess;
    HCURSOR cursor = nullptr;
};
} // namespace

// The newest visible, enabled window the given one owns; the window itself when it owns none.
HWND WINAPI GetLastActivePopup(HWND window)
{
    std::lock_guard g(Desk().mu);
    if (!WindowOrErrorLocked(window))
        return nullptr;
    HWND found = window;
    for (const auto& [h, w] : Desk().windows)
        if (w->owner == window && !w->parent && (w->style & WS_VISIBLE) && !(w->style & WS_DISABLED))
            found = h;
    return found;
}

HCURSOR WINAPI SetCursor(HCURSOR cursor)
{
    std::lock_guard g(StateLock());
    return std::exchange(Part<Layouts>().cursor, cursor);
}

BOOL WINAPI SetProcessDefaultLayout(DWORD layout)
{
    if (layout & ~static_cast<DWORD>(LAYOUT_RTL))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard g(StateLock());
    Part<Layouts>().byProcess[GetCurrentProcessId()] = layout;
    return TRUE;
}

BOOL WINAPI GetProcessDefaultLayout(DWORD* layout)
{
    if (!layout)
    {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    std::lock_guard g(StateLock());
    auto& all = Part<Layouts>().byProcess;
    auto it = all.find(GetCurrentProcessId());
    *layout = it == all.end() ? 0 : it->second;
    return TRUE;
}
