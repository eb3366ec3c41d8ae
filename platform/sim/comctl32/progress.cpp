// Progress bars: a position within a range, stepped by the program.
#include "user32/controls.h"

#include <algorithm>

using namespace sim;
using namespace sim::detail;

namespace sim::detail
{
LRESULT CALLBACK ProgressProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    std::unique_lock lock(Desk().mu);
    Window* wp = FindLocked(window);
    if (!wp)
        return 0;
    Window& w = *wp;
    auto clampPos = [&](int v) { return std::clamp(v, w.low, std::max(w.low, w.high)); };
    switch (message)
    {
    case WM_CREATE:
        w.low = 0;
        w.high = 100;
        w.step = 10;
        return 0;
    case PBM_SETRANGE: {
        LRESULT old = MAKELONG(w.low, w.high);
        w.low = LOWORD(lParam);
        w.high = HIWORD(lParam);
        w.pos = clampPos(w.pos);
        return old;
    }
    case PBM_SETRANGE32: {
        LRESULT old = MAKELONG(w.low, w.high);
        w.low = static_cast<int>(wParam);
        w.high = static_cast<int>(lParam);
        w.pos = clampPos(w.pos);
        return old;
    }
    case PBM_GETRANGE:
        if (lParam)
            *reinterpret_cast<PBRANGE*>(lParam) = PBRANGE{w.low, w.high};
        return wParam ? w.low : w.high;
    case PBM_SETPOS: {
        int old = w.pos;
        w.pos = clampPos(static_cast<int>(wParam));
        return old;
    }
    case PBM_DELTAPOS: {
        int old = w.pos;
        w.pos = clampPos(w.pos + static_cast<int>(wParam));
        return old;
    }
    case PBM_SETSTEP: {
        int old = w.step;
        w.step = static_cast<int>(wParam);
        return old;
    }
    case PBM_STEPIT: {
        int old = w.pos;
        int next = w.pos + w.step;
        w.pos = next > w.high ? w.low + (next - w.high) : clampPos(next); // starts over past the end
        return old;
    }
    case PBM_GETPOS:
        return w.pos;
    case PBM_SETMARQUEE:
        return TRUE;
    default:
        lock.unlock();
        return DefWindowProcW(window, message, wParam, lParam);
    }
}
} // namespace sim::detail
