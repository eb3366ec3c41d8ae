// The second stage: the program cannot delete its own folder while it runs from it, so a copy in the
// temporary folder finishes the removal once the first stage has ended.
#pragma once

#include "uninstall_state.h"

#include <string>

namespace uninstall
{

// Copies the program and both INI files to the temporary folder and starts the copy with "-u".
void LaunchSecondStage();
// The copy's work ("-u"): returns 1, the process's exit code.
int RunSecondStage(const char* commandLine);

// TMP, else TEMP (a value of MAX_PATH characters or more ends the search), else the Windows folder.
std::string TemporaryFolder();
// "-u[ -r][ -s][ -t]" and the log options in force.
std::string SecondStageCommandLine(const UninstallState& state);

} // namespace uninstall
