// Track bars: a position within a range.
#include "user32/controls.h"

#include <algorithm>

using namespace sim;
using namespace sim::detail;

namespace sim::detail
{
LRESULT CALLBACK TrackBarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_CREATE:
        With(window, [](Window& w) {
            w.low = 0;
            w.high = 100;
            return true;
        });
        return 0;
    case TBM_SETRANGE:
    case TBM_SETRANGEMIN:
    case TBM_SETRANGEMAX:
        With(window, [&](Window& w) {
            if (message == TBM_SETRANGE)
            {
                w.low = static_cast<short>(LOWORD(lParam));
                w.high = static_cast<short>(HIWORD(lParam));
            }
            else if (message == TBM_SETRANGEMIN)
                w.low = static_cast<int>(lParam);
            else
                w.high = static_cast<int>(lParam);
            w.pos = std::clamp(w.pos, w.low, std::max(w.low, w.high));
            return true;
        });
        return 0;
    case TBM_GETRANGEMIN:
        return With(window, [](Window& w) { return static_cast<LRESULT>(w.low); });
    case TBM_GETRANGEMAX:
        return With(window, [](Window& w) { return static_cast<LRESULT>(w.high); });
    case TBM_SETPOS:
        With(window, [&](Window& w) {
            w.pos = std::clamp(static_cast<int>(lParam), w.low, std::max(w.low, w.high));
            return true;
        });
        return 0;
    case TBM_GETPOS:
        return With(window, [](Window& w) { return static_cast<LRESULT>(w.pos); });
    case TBM_SETTICFREQ:
    case TBM_SETPAGESIZE:
    case TBM_SETLINESIZE:
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}
} // namespace sim::detail
