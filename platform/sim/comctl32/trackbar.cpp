// Track bars: a position within a range.
#include "user32/controls.h"

#include <algorithm>

using namespace sim;
using namespace sim::detail;

namespace
{
struct TrackBarState : ControlState
{
    int low = 0, high = 100, pos = 0;
    int Position() const override { return pos; }
    std::pair<int, int> Range() const override { return {low, high}; }
};
} // namespace

namespace sim::detail
{
LRESULT CALLBACK TrackBarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_CREATE:
        With(window, [](Window& w) {
            w.control = std::make_unique<TrackBarState>();
            return true;
        });
        return 0;
    case TBM_SETRANGE:
    case TBM_SETRANGEMIN:
    case TBM_SETRANGEMAX:
        WithState<TrackBarState>(window, [&](Window&, TrackBarState& s) {
            if (message == TBM_SETRANGE)
            {
                s.low = static_cast<short>(LOWORD(lParam));
                s.high = static_cast<short>(HIWORD(lParam));
            }
            else if (message == TBM_SETRANGEMIN)
                s.low = static_cast<int>(lParam);
            else
                s.high = static_cast<int>(lParam);
            s.pos = std::clamp(s.pos, s.low, std::max(s.low, s.high));
            return true;
        });
        return 0;
    case TBM_GETRANGEMIN:
        return WithState<TrackBarState>(
            window, [](Window&, TrackBarState& s) { return static_cast<LRESULT>(s.low); });
    case TBM_GETRANGEMAX:
        return WithState<TrackBarState>(
            window, [](Window&, TrackBarState& s) { return static_cast<LRESULT>(s.high); });
    case TBM_SETPOS:
        WithState<TrackBarState>(window, [&](Window&, TrackBarState& s) {
            s.pos = std::clamp(static_cast<int>(lParam), s.low, std::max(s.low, s.high));
            return true;
        });
        return 0;
    case TBM_GETPOS:
        return WithState<TrackBarState>(
            window, [](Window&, TrackBarState& s) { return static_cast<LRESULT>(s.pos); });
    case TBM_SETTICFREQ:
    case TBM_SETPAGESIZE:
    case TBM_SETLINESIZE:
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}
} // namespace sim::detail
