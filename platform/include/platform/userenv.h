// User profiles as system code sees them: the SDK on Windows, our declarations elsewhere.
#pragma once

#include <platform/windows.h>

#if defined(_WIN32)
#include <userenv.h>
#else
// The folder holding every user's profile ("C:\Users"); the two-call size in characters.
BOOL WINAPI GetProfilesDirectoryA(LPSTR profileDir, LPDWORD size);
#endif
