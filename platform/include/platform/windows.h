// The Windows API as system code sees it. On Windows this is the SDK; elsewhere it is our own
// declaration of exactly what the code uses, implemented by the simulated machine (platform/sim).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#if defined(_WIN32)

// Sockets 2 first: windows.h alone brings the first sockets header, which the second refuses to follow.
#include <winsock2.h>
#include <windows.h>

#else

#include <platform/linux/windef.h>
#include <platform/linux/winerror.h>
#include <platform/linux/winbase.h>
#include <platform/linux/processthreadsapi.h>
#include <platform/linux/winreg.h>
#include <platform/linux/securitybaseapi.h>
#include <platform/linux/wingdi.h>
#include <platform/linux/winuser.h>
// Desktop: language and version records.
#include <platform/linux/winnls.h>
#include <platform/linux/winver.h>

#endif

static_assert(sizeof(WCHAR) == 2, "wide text is UTF-16 on every build");
static_assert(sizeof(DWORD) == 4 && sizeof(LONG) == 4 && sizeof(WORD) == 2, "Win32 integer widths");

using WString = std::basic_string<WCHAR>;
using WStringView = std::basic_string_view<WCHAR>;
