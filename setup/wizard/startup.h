// The setup program's entry: one instance at a time, the systems it refuses, the hand-over to the
// build that fits the running Windows, the clean-up of an installed copy with nothing left to manage,
// the command line, and the wizard inside a firewall rule for the card search.
#pragma once

#include "setup_context.h"

#include <vector>

namespace kgsetup
{

inline constexpr WCHAR kFirewallRuleName[] = TEXT("KORIGRAPH Printer Driver");
inline constexpr WCHAR kAlreadyRunning[] = TEXT("This application is already running.");

int WINAPI Main(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int showCommand);

// Applies the options among `arguments` (the program's name first) to the context.
void ParseOptions(CSetupContext& context, const std::vector<WString>& arguments);
// The process's argument vector, the program's name first.
std::vector<WString> ProcessArguments();

struct RelaunchResult
{
    DWORD exitCode = 0;
    DWORD startError = 0; // CreateProcessW's error when the build could not start
};
// Runs nativeSetupPath with this process's arguments and waits for it.
RelaunchResult RelaunchNativeBuild(LPCWSTR commandLine);

} // namespace kgsetup
