// The C runtime's wide file functions the code uses (folders, renaming) and its threads. The CRT on
// Windows, the simulated machine elsewhere.
#pragma once

#include <platform/windows.h>

#include <cstdint>

#if defined(_WIN32)
#include <direct.h>
#include <process.h>
#include <stdio.h>
#include <wchar.h>
#else
// Both return 0, or -1 with errno set (EEXIST, ENOENT, EACCES).
int _wmkdir(const WCHAR* dirName);
int _wrename(const WCHAR* oldName, const WCHAR* newName);
// A thread of the machine; its handle (to close with CloseHandle), 0 with errno set when none was
// made. _endthreadex ends the calling thread with that code.
uintptr_t _beginthreadex(void* security, unsigned stackSize, unsigned(WINAPI* start)(void*), void* argument,
                         unsigned flags, unsigned* threadId);
[[noreturn]] void _endthreadex(unsigned exitCode);
#endif
