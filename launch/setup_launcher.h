// Setup: starts the program the INI file beside it names for the user's language, waits for it and
// ends with its exit code. Its only user interface is an error box.
#pragma once

#include <platform/windows.h>

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace setuplauncher
{

// The launcher's own path with the extension of its file name replaced by "ini" (".ini" added
// when it has none).
std::string IniPathOf(std::string_view programPath);
// The language of a section "label.XXXX": 1-4 hexadecimal digits after the last dot; nothing for a
// name without a dot or with anything else after it.
std::optional<WORD> SectionLanguage(std::string_view name);
// The first language section whose primary language is the user's, else the last default section
// (a name without a dot) before the end; nothing when neither exists.
std::optional<std::string> ChooseSection(std::span<const std::string> names, LCID userLcid);
// The text after the last backslash.
std::string FileNameOf(std::string_view path);

// What the INI asks for: the program and its parameters, or the error to show and exit with (and
// the detail line, when there is one).
struct LaunchPlan
{
    DWORD error = 0;
    std::optional<std::string> detail;
    std::string target;
    std::optional<std::string> option;
};
// `folder` is the launcher's own, with its trailing backslash.
LaunchPlan PlanLaunch(const std::string& ini, const std::string& folder, LCID userLcid);

// The system's text for `code`, and "\r\n\r\n" and the detail when one is given, captioned with
// string 103.
int ShowSystemError(HINSTANCE instance, DWORD code, const char* detail);

int WINAPI Main(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand);

} // namespace setuplauncher
