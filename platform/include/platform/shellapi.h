// Shell services (drag and drop, folder browsing) as system code sees them: the SDK on Windows, our
// declarations elsewhere.
#pragma once

#include <platform/windows.h>

#if defined(_WIN32)
#include <shellapi.h>
#include <shlobj.h>
#else
#include <platform/linux/shellapi.h>
#endif
