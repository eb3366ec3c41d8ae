// The common controls library's start-up: its classes are always registered here.
#include "user32/controls.h"

using namespace sim;
using namespace sim::detail;

void WINAPI InitCommonControls() {}

BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX* init)
{
    if (!init || init->dwSize != sizeof(INITCOMMONCONTROLSEX))
        return FALSE;
    SIM_FAULT_POINT("InitCommonControlsEx", FALSE);
    return TRUE;
}
