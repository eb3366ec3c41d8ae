// Message boxes whose texts come from an INI file, and the centring rule the wizard uses too.
#pragma once

#include "uninstall_state.h"

namespace uninstall
{

// caption = [section] captionKey (default "Error Message"), text = [section] textKey (default
// "Error!") with "\n"/"\t" and the argument in place of its "%s". Centred on `owner` when asked.
int IniMessageBox(HWND owner, const char* iniPath, const char* section, const char* textKey,
                  const char* captionKey, UINT style, const char* argument, bool centreOnOwner);

// Centres `window` over its visible owner (or its display) and keeps it inside that display.
void CentreWindow(HWND window, HWND owner);

} // namespace uninstall
