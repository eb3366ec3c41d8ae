// The Uninstaller's text log: a file beside the system (when "-d...log" asks for it) and the
// debugger, one time-stamped line a call.
#pragma once

#include "uninstall_state.h"

#include <string>
#include <string_view>

namespace uninstall
{

// printf-style; nothing happens while no log is asked for.
void LogPrint(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
void WriteLogLine(const char* text);
void SetLogFile(const char* value);
void ParseDebugOption(const char* token);
// Appends the log options in force to a command line of `size` bytes.
void AppendDebugOptions(char* commandLine, size_t size);

// The root of the Windows drive ("C:\").
std::string WindowsDriveRoot();
// The log path a [UNINSTALL] LOG path stands for, given its expansion.
std::string ResolveLogPath(std::string_view value, std::string_view expanded, std::string_view driveRoot);

} // namespace uninstall
