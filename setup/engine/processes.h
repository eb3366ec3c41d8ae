// Other programs: run one hidden and wait for it, run one as the user of the desktop from the
// elevated setup, the processes running and those that have a module loaded, ending one.
#pragma once

#include <platform/windows.h>

#include <map>

namespace kgsetup
{

struct RunResult
{
    DWORD exitCode = 0; // STILL_ACTIVE when it still ran as the wait ended
    bool started = false;
};

// Runs hidden and waits up to `milliseconds` (INFINITE: without limit).
RunResult RunProcessAndWait(WStringView commandLine, DWORD milliseconds);

// Runs hidden with the token of the shell's process, without waiting: the exit code read at once
// (STILL_ACTIVE while it runs); 5 when there is no shell, no token or no start.
DWORD RunAsDesktopUser(WStringView commandLine);

// Process id to image path, of every process that can be opened.
std::map<DWORD, WString> ListProcesses();

// The processes with a module whose path contains `text` (without case).
std::map<DWORD, WString> ProcessesHoldingModule(WStringView text);

// Ends the process with the system's taskkill.exe, waiting at most 1 s; its exit code.
RunResult KillProcess(DWORD processId);

// Runs the path enclosed in double quotes, waiting at most 1 s.
RunResult RunQuoted(WStringView path);

} // namespace kgsetup
