// Shell path functions.
#pragma once

#include <platform/windows.h>

#if defined(_WIN32)
#include <shlwapi.h>
#else
#include <platform/linux/shlwapi.h>
#endif
