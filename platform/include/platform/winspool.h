// The print spooler's records as system code sees them (winspool.h).
#pragma once

#include <platform/windows.h>

#if defined(_WIN32)
#include <winspool.h>
#else
#include <platform/linux/winspool.h>
#endif
