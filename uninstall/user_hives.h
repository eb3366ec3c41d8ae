// Every local user's registry hive, loaded in turn so entries for the current user reach them all.
#pragma once

#include "entries.h"
#include "uninstall_state.h"

#include <initializer_list>
#include <string>
#include <vector>

namespace uninstall
{

// An entry's shortcut files and key under `root`\`prefix`.
void RemoveEntryUnder(HKEY root, const char* rootName, const std::string& prefix, const RegEntry& entry);

// Enables privileges of the process token ("SeRestorePrivilege" ...); false unless every one is on.
bool EnablePrivileges(std::initializer_list<const char*> names);

// Loads each local user's hive under HKEY_USERS\<SID>, removes the current-user entries from it and
// unloads it.
void RemoveFromUserHives(UninstallState& state, const std::vector<RegEntry>& entries);

} // namespace uninstall
