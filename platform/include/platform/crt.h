// The C runtime's wide file functions the code uses (folders, renaming). The CRT on Windows, the
// simulated machine elsewhere.
#pragma once

#include <platform/windows.h>

#if defined(_WIN32)
#include <direct.h>
#include <stdio.h>
#include <wchar.h>
#else
// Both return 0, or -1 with errno set (EEXIST, ENOENT, EACCES).
int _wmkdir(const WCHAR* dirName);
int _wrename(const WCHAR* oldName, const WCHAR* newName);
#endif
