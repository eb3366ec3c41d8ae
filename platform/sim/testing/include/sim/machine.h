// The simulated Windows machine as tests see it: its reset, the system's identity, its accounts and
// what is left alive. Every test starts from a fresh machine. Each area has its own facade, included
// here: files(), registry(), processes(), virtualClock(), faults(), desktop(), engine(), ...
#pragma once

#include <platform/windows.h>
#include <sim/engine.h>

#include <sim/clock.h>
#include <sim/faults.h>
#include <sim/files.h>
#include <sim/processes.h>
#include <sim/registry.h>

#include <cstddef>
#include <string_view>
#include <vector>

namespace sim
{

// The operating system as programs read it (GetVersionEx, RtlGetVersion, VerifyVersionInfo).
struct OsIdentity
{
    DWORD major = 10;
    DWORD minor = 0;
    DWORD build = 19045;
    WORD servicePackMajor = 0;
    WORD servicePackMinor = 0;
    BYTE productType = VER_NT_WORKSTATION;
    WORD suiteMask = 0;
    DWORD platformId = VER_PLATFORM_WIN32_NT;
    WString csdVersion;    // "Service Pack 1"
    bool serverR2 = false; // GetSystemMetrics(SM_SERVERR2)
};

// A local account: its profile folder is C:\Users\<name>, holding its hive file ntuser.dat.
struct LocalUser
{
    WString name;
    WString sid;           // "S-1-5-21-...-1002"
    bool signedIn = false; // its hive is loaded by the system, so its file is in use
};

class Machine
{
public:
    // A fresh machine: empty registry hives, a new sandboxed file system with C:\Windows, the clock
    // at its start, no faults, code page 1252, a 64-bit system, an administrator.
    void Reset();

    // Text.
    void SetCodePage(UINT acp);
    UINT CodePage() const;

    // System.
    void SetSystem64(bool is64);
    void SetProgram32(bool is32); // the calling program's own bitness
    void SetAdministrator(bool admin);
    // Windows 10 22H2 workstation unless set.
    void SetOs(const OsIdentity& os);
    OsIdentity Os() const;
    // PROCESSOR_ARCHITECTURE_*; SetSystem64 picks AMD64 or INTEL.
    void SetNativeArchitecture(WORD architecture);
    // A program whose manifest does not declare Windows 8.1 and 10 is told 6.2 by GetVersionEx and
    // VerifyVersionInfo there, as Windows does; every program is aware unless set.
    void SetManifestOsAware(WStringView programFileName, bool aware);
    // The system's language (GetSystemDefaultLangID, GetSystemDefaultUILanguage); English (US) unless set.
    void SetSystemLanguage(LANGID language);
    // An export an older system lacks: GetProcAddress of `name` in that system module fails.
    void RemoveSystemExport(WStringView module, std::string_view name);

    // Accounts (their hives: registry()). The machine starts with the signed-in "User" (the current user).
    void AddUser(const LocalUser& user);
    // ExitWindowsEx calls that went through, their flags in order.
    std::vector<UINT> ShutdownRequests() const;

    // The user's decimal separator (GetLocaleInfoW LOCALE_SDECIMAL); "." unless set.
    void SetDecimalSeparator(WStringView separator);

    // Private heaps (HeapCreate) not yet destroyed.
    size_t LiveHeaps() const;
    // Activation contexts not yet released, and activations (every thread's) not yet deactivated.
    size_t LiveActivationContexts() const;
    size_t OpenActivations() const;
};

Machine& machine();

} // namespace sim

#include <sim/desktop.h> // the desktop and its scripted user
#include <sim/gdi.h>     // what windows show drawn, graphics objects alive
#include <sim/devices.h> // devices attached by USB
