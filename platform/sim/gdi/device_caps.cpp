// The screen's capabilities as far as programs ask a device context for sizes: every device context
// describes the primary display.
#include "core/internal.h"

using namespace sim::detail;

int WINAPI GetDeviceCaps(HDC dc, int index)
{
    if (!dc)
        return 0;
    switch (index)
    {
    case LOGPIXELSX:
    case LOGPIXELSY:
        return static_cast<int>(SystemDpi());
    case HORZRES: {
        RECT area = PrimaryDisplayArea();
        return area.right - area.left;
    }
    case VERTRES: {
        RECT area = PrimaryDisplayArea();
        return area.bottom - area.top;
    }
    case BITSPIXEL:
        return 32;
    default:
        return 0;
    }
}
