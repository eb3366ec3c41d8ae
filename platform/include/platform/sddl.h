// Security identifiers as text: the SDK on Windows, our declarations elsewhere.
#pragma once

#include <platform/windows.h>

#if defined(_WIN32)
#include <sddl.h>
#else
// "S-1-5-21-..." in a buffer the caller frees with LocalFree.
BOOL WINAPI ConvertSidToStringSidA(PSID sid, LPSTR* stringSid);
#endif
