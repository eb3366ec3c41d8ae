// Common controls as system code sees them: the SDK on Windows, our declarations elsewhere.
#pragma once

#include <platform/windows.h>

#if defined(_WIN32)
#include <commctrl.h>
#else
#include <platform/linux/commctrl.h>
#endif
