// Static controls: their text and the image they show.
#include "user32/controls.h"
#include "user32/owner_draw.h"

using namespace sim;
using namespace sim::detail;

namespace
{
struct StaticState : ControlState
{
    HANDLE image = nullptr;
};
} // namespace

namespace sim::detail
{
LRESULT CALLBACK StaticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_PAINT:
        if (PaintOwnerDrawn(window))
            return 0;
        return DefWindowProcW(window, message, wParam, lParam);
    case STM_SETICON:
    case STM_SETIMAGE: {
        LPARAM image = message == STM_SETICON ? static_cast<LPARAM>(wParam) : lParam;
        return WithState<StaticState>(window, [&](Window&, StaticState& s) {
            HANDLE old = s.image;
            s.image = reinterpret_cast<HANDLE>(image);
            return reinterpret_cast<LRESULT>(old);
        });
    }
    case STM_GETICON:
    case STM_GETIMAGE:
        return WithState<StaticState>(
            window, [](Window&, StaticState& s) { return reinterpret_cast<LRESULT>(s.image); });
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}
} // namespace sim::detail
