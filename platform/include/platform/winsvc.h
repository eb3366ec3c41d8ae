// The service control manager as system code sees it (winsvc.h).
#pragma once

#include <platform/windows.h>

#if defined(_WIN32)
#include <winsvc.h>
#else
#include <platform/linux/winsvc.h>
#endif
