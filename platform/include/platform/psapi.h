// Process status: the running processes and the modules each has loaded (psapi.h).
#pragma once

#include <platform/windows.h>

#if defined(_WIN32)
#include <psapi.h>
#else
#include <platform/linux/psapi.h>
#endif
