// Values of the Uninstaller's INI files, read with fixed buffers as the installer wrote them.
#pragma once

#include <platform/windows.h>

#include <string>
#include <vector>

namespace uninstall
{

std::string IniString(const char* path, const char* section, const char* key, const char* fallback = "",
                      size_t maxChars = MAX_PATH);
// Numbered keys ("CLASSNAME_%02d" ...) from 0 up to the first missing or empty one.
std::vector<std::string> IniList(const char* path, const char* section, const char* keyFormat);

} // namespace uninstall
