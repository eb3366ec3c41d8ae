// Terminal services: the machine's sessions, a message box sent to a session's desktop, and which
// session a process runs in (wtsapi32.h; the two kernel32 calls from winbase.h).
#pragma once

#include <platform/windows.h>

#if defined(_WIN32)
#include <wtsapi32.h>
#else
#include <platform/linux/wtsapi32.h>
#endif
