// Message boxes whose texts come from an INI file, and the centring rule the wizard uses too.
#pragma once

#include "uninstall_state.h"

#include <string>

namespace uninstall
{

// caption = [section] captionKey (default "Error Message"), text = [section] textKey (default
// "Error!") with "\n"/"\t" and the argument in place of its "%s". Centred on `owner` when asked.
int IniMessageBox(HWND owner, const char* iniPath, const char* section, const char* textKey,
                  const char* captionKey, UINT style, const char* argument, bool centreOnOwner);

// MessageBoxA, with a box the system refuses (0) reported by ReportRefusedWindow.
int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT style);

// Keeps the calling thread's last error as the run's refused window and, unless the run is silent,
// tells the user in a box with the system's text for it. A run that then does not finish its work
// ends with kExitWindowRefused.
void ReportRefusedWindow(HWND owner);

// The system's text for an error, or "Error <n>" when it has none.
std::string SystemErrorText(DWORD error);

// Centres `window` over its visible owner (or its display) and keeps it inside that display.
void CentreWindow(HWND window, HWND owner);

} // namespace uninstall
