// Static controls: their text and the image they show.
#include "user32/controls.h"

using namespace sim;
using namespace sim::detail;

namespace sim::detail
{
LRESULT CALLBACK StaticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case STM_SETICON:
    case STM_SETIMAGE: {
        LPARAM image = message == STM_SETICON ? static_cast<LPARAM>(wParam) : lParam;
        return With(window, [&](Window& w) {
            HANDLE old = w.image;
            w.image = reinterpret_cast<HANDLE>(image);
            return reinterpret_cast<LRESULT>(old);
        });
    }
    case STM_GETICON:
    case STM_GETIMAGE:
        return With(window, [](Window& w) { return reinterpret_cast<LRESULT>(w.image); });
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}
} // namespace sim::detail
