// Which Windows the Uninstaller runs on, as the index every part of it tests.
#pragma once

#include "uninstall_state.h"

#include <functional>
#include <string>

namespace uninstall
{

enum OsIndex : WORD
{
    kOsUnknown = 0,
    kOs95 = 1,
    kOs98 = 2,
    kOsMe = 3,
    kOsNt4 = 4,
    kOs2000 = 5,
    kOsXp = 6,
    kOs2003 = 7,
    kOsVista = 8,
    kOs2008 = 9,
    kOs7 = 10,
    kOs2008R2 = 11,
    kOs8 = 12,
    kOs2012 = 13,
    kOs81 = 14,
    kOs2012R2 = 15,
    kOs10 = 16,
    kOsServer10 = 17,
};

// The Windows 95 family; an unknown system is never taken for one.
inline bool IsWin9x(WORD index)
{
    return index >= kOs95 && index <= kOsMe;
}

// Probing from the newest version down: `atLeast(major, minor)` and whether it is a workstation.
WORD OsIndexByProbe(const std::function<bool(DWORD, DWORD)>& atLeast, bool workstation, bool is64);
// From the version record alone (platform 1: the 95 family; 2: NT).
WORD OsIndexByVersion(DWORD platform, DWORD major, DWORD minor, bool workstation, bool is64);

const char* OsName(WORD index);

// Fills the OS fields of the state; returns the index, `flags` gets the 64-bit bit.
WORD GetOsIndex(UninstallState& state, WORD* flags);
std::string GetOsText(const UninstallState& state);

} // namespace uninstall
