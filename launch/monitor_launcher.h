// MonitorLauncher: starts the status monitor beside it, hidden or visible as the user last chose.
#pragma once

#include <platform/windows.h>

#include <string>
#include <optional>
#include <string_view>

namespace monitorlauncher
{

// The monitor's command line for a launcher in `folder`, or nothing when it would not fit in the
// 260-byte buffer Windows programs of this kind use: a cut command would start the monitor with
// arguments nobody gave it.
std::optional<std::string> FormatCommand(std::string_view folder, bool hidden, std::string_view arguments);

// The per-user setting; a missing or damaged value is rewritten as 0, a failing registry counts as 0.
BYTE ReadShowSetting();

int WINAPI Main(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand);

} // namespace monitorlauncher
