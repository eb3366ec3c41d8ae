// Device installation and device sets as system code sees them (setupapi.h).
#pragma once

#include <platform/windows.h>

#if defined(_WIN32)
#include <setupapi.h>
#else
#include <platform/linux/setupapi.h>
#endif
