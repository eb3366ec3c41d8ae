// Progress bars: a position within a range, stepped by the program.
#include "user32/controls.h"

#include <algorithm>

using namespace sim;
using namespace sim::detail;

namespace
{
struct ProgressState : ControlState
{
    int low = 0, high = 100, pos = 0, step = 10;
    int Position() const override { return pos; }
    std::pair<int, int> Range() const override { return {low, high}; }
};
} // namespace

namespace sim::detail
{
LRESULT CALLBACK ProgressProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    std::unique_lock lock(Desk().mu);
    Window* wp = FindLocked(window);
    if (!wp)
        return 0;
    auto& s = StateOf<ProgressState>(*wp);
    auto clampPos = [&](int v) { return std::clamp(v, s.low, std::max(s.low, s.high)); };
    switch (message)
    {
    case WM_CREATE: // the record made above holds the defaults
        return 0;
    case PBM_SETRANGE: {
        LRESULT old = MAKELONG(s.low, s.high);
        s.low = LOWORD(lParam);
        s.high = HIWORD(lParam);
        s.pos = clampPos(s.pos);
        return old;
    }
    case PBM_SETRANGE32: {
        LRESULT old = MAKELONG(s.low, s.high);
        s.low = static_cast<int>(wParam);
        s.high = static_cast<int>(lParam);
        s.pos = clampPos(s.pos);
        return old;
    }
    case PBM_GETRANGE:
        if (lParam)
            *reinterpret_cast<PBRANGE*>(lParam) = PBRANGE{s.low, s.high};
        return wParam ? s.low : s.high;
    case PBM_SETPOS: {
        int old = s.pos;
        s.pos = clampPos(static_cast<int>(wParam));
        return old;
    }
    case PBM_DELTAPOS: {
        int old = s.pos;
        s.pos = clampPos(s.pos + static_cast<int>(wParam));
        return old;
    }
    case PBM_SETSTEP: {
        int old = s.step;
        s.step = static_cast<int>(wParam);
        return old;
    }
    case PBM_STEPIT: {
        int old = s.pos;
        int next = s.pos + s.step;
        s.pos = next > s.high ? s.low + (next - s.high) : clampPos(next); // starts over past the end
        return old;
    }
    case PBM_GETPOS:
        return s.pos;
    case PBM_SETMARQUEE:
        return TRUE;
    default:
        lock.unlock();
        return DefWindowProcW(window, message, wParam, lParam);
    }
}
} // namespace sim::detail
