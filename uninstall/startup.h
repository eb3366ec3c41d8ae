// The Uninstaller's start: command line, INI files, checks, the single-instance rule and the exit.
#pragma once

#include "uninstall_state.h"

namespace uninstall
{

// The exit code of a run that ended without its work because a window or box could not be made.
constexpr int kExitWindowRefused = 3;

// -1: stop (exit code 0); 0: go on to the wizard; 1: the second stage ran (exit code 1).
int ParseCommandLine(UninstallState& state, const char* commandLine);
bool CheckAdministrator(UninstallState& state);
bool CheckRunningApplications(UninstallState& state);
bool MutexExists(const char* name, bool useGlobalPrefix, bool takeOwnership);
int ExitUninstaller(int code);

int Main(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand);

} // namespace uninstall
