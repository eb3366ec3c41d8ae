// Displays: their rectangles, work areas and DPI, and the monitor a window is on.
#include "user32/desktop_internal.h"

#include <algorithm>

namespace sim::detail
{
namespace
{
struct Displays : PartBase
{
    std::vector<MonitorSetup> monitors{MonitorSetup{}};
};

Displays& displays()
{
    return Part<Displays>();
}

const ULONG_PTR kFirstMonitor = 0x80010;

HMONITOR HandleOf(size_t index)
{
    return reinterpret_cast<HMONITOR>(kFirstMonitor + 4 * index);
}

std::optional<MonitorSetup> MonitorOf(HMONITOR monitor)
{
    std::lock_guard g(StateLock());
    auto value = reinterpret_cast<ULONG_PTR>(monitor);
    size_t index = (value - kFirstMonitor) / 4;
    if (value < kFirstMonitor || (value - kFirstMonitor) % 4 || index >= displays().monitors.size())
        return std::nullopt;
    return displays().monitors[index];
}

LONG Overlap(const RECT& a, const RECT& b)
{
    LONG w = std::min(a.right, b.right) - std::max(a.left, b.left);
    LONG h = std::min(a.bottom, b.bottom) - std::max(a.top, b.top);
    return w > 0 && h > 0 ? w * h : 0;
}

// How far the rectangle lies from the display; 0 when they touch or overlap.
LONG Distance(const RECT& r, const RECT& area)
{
    LONG dx = std::max<LONG>({area.left - r.right, r.left - area.right, 0});
    LONG dy = std::max<LONG>({area.top - r.bottom, r.top - area.bottom, 0});
    return dx + dy;
}
} // namespace

UINT SystemDpi()
{
    std::lock_guard g(StateLock());
    return displays().monitors.front().dpi;
}

RECT PrimaryDisplayArea()
{
    std::lock_guard g(StateLock());
    return displays().monitors.front().area;
}
} // namespace sim::detail

namespace sim
{
void Desktop::SetMonitors(const std::vector<MonitorSetup>& monitors)
{
    std::lock_guard g(detail::StateLock());
    detail::displays().monitors = monitors.empty() ? std::vector<MonitorSetup>{MonitorSetup{}} : monitors;
}

bool Desktop::ChangeDpi(HWND window, UINT dpi, const RECT& suggested)
{
    if (!WaitIdle() || !IsWindow(window))
        return false;
    RECT rect = suggested;
    detail::PostInput(window, [window, dpi, rect] {
        RECT copy = rect;
        SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&copy));
    });
    return WaitIdle();
}
} // namespace sim

using namespace sim;
using namespace sim::detail;

HMONITOR WINAPI MonitorFromRect(LPCRECT rect, DWORD flags)
{
    if (!rect)
        return nullptr;
    std::lock_guard g(StateLock());
    const auto& monitors = displays().monitors;
    size_t best = 0;
    LONG bestOverlap = 0;
    for (size_t i = 0; i < monitors.size(); ++i)
        if (LONG o = Overlap(*rect, monitors[i].area); o > bestOverlap)
        {
            best = i;
            bestOverlap = o;
        }
    if (bestOverlap > 0)
        return HandleOf(best);
    if (flags == MONITOR_DEFAULTTOPRIMARY)
        return HandleOf(0);
    if (flags != MONITOR_DEFAULTTONEAREST)
        return nullptr;
    for (size_t i = 1; i < monitors.size(); ++i)
        if (Distance(*rect, monitors[i].area) < Distance(*rect, monitors[best].area))
            best = i;
    return HandleOf(best);
}

HMONITOR WINAPI MonitorFromWindow(HWND window, DWORD flags)
{
    RECT rect{};
    if (!GetWindowRect(window, &rect))
        return flags == MONITOR_DEFAULTTONULL ? nullptr : HandleOf(0);
    return MonitorFromRect(&rect, flags);
}

BOOL WINAPI GetMonitorInfoW(HMONITOR monitor, LPMONITORINFO info)
{
    std::optional<MonitorSetup> setup = MonitorOf(monitor);
    if (!info || info->cbSize < sizeof(MONITORINFO) || !setup)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    info->rcMonitor = setup->area;
    info->rcWork = setup->work;
    info->dwFlags = monitor == HandleOf(0) ? MONITORINFOF_PRIMARY : 0;
    return TRUE;
}
