// The removal worker: one thread that runs every removal step in order and tells the progress page
// how it ended.
#pragma once

#include "uninstall_state.h"

#include <string>

namespace uninstall
{

// Starts the worker for the progress page; its thread, or null when it cannot start.
HANDLE StartUninstallThread(HWND progressPage);
DWORD WINAPI UninstallThread(LPVOID progressPage);

// Removes the folder and then each empty parent up to the Windows drive's root; always true.
bool RemoveFolderChain(const char* folder);

// The registry entries of [APPLICATION] "REG_%03d": every user's hive first, then each in its own root.
void RemoveRegistryEntries(UninstallState& state);

// The firewall entries of [ICF] through the helper DLL.
void RemoveFirewallEntries(UninstallState& state);

// Deletes a key with everything under it.
LSTATUS DeleteKeyTree(HKEY root, const char* path);

// The helper DLL's file name on this system ("_Setup64.dll" ...).
const char* HelperDllName(const UninstallState& state);

} // namespace uninstall
