// The drivers, services and programs an installer registered, run in the order the file-list INI asks
// and removed (or checked, or installed) one by one; results are numeric codes with fixed texts.
#pragma once

#include "uninstall_state.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace uninstall
{

enum ComponentMode : short
{
    kModeNone = 0,
    kModeInstall = 1,
    kModeUninstall = 2,
    kModeVersionCheck = 3,
    kModeInstalledCheck = 4,
    kModeStop = 5,
};

enum ComponentResult : int
{
    kResultSuccess = 0,
    kResultBadArgument = 1,
    kResultFileMissing = 2,
    kResultNotTargetOs = 3,
    kResultNoPrivilege = 4,
    kResultRegistryWrite = 5,
    kResultRegistryRead = 6,
    kResultOlder = 7,
    kResultSame = 8,
    kResultNewer = 9,
    kResultRestart = 10,
    kResultConnected = 11,
    kResultNotInstalled = 12,
    kResultInstalled = 13,
    kResultRegisterFailed = 14,
    kResultRemoveFailed = 15,
    kResultNoProcess = 16,
    kResultRestartServiceFailed = 17,
    kResultStopServiceFailed = 18,
    kResultNoMemory = 19,
};

// Copies into a fixed record field, cut short where it does not fit and always terminated.
template <size_t N> void CopyText(char (&to)[N], std::string_view from)
{
    size_t n = std::min(N - 1, from.size());
    std::memcpy(to, from.data(), n);
    to[n] = '\0';
}

// Values and subkeys under HKLM; a missing key or a value of another type reads as none.
std::optional<DWORD> ReadDword(const std::string& key, const char* name);
std::optional<std::string> ReadString(const std::string& key, const char* name);
std::vector<std::string> Subkeys(const std::string& key);

short ParseComponentMode(std::string_view text);
// The log's text of a result code ("%d" for one without a text).
std::string ComponentResultText(int code);

struct ComponentEntry
{
    char name[64] = {};
    char componentName[64] = {};
    char iniPath[MAX_PATH] = {};
    int result = 0;
    int done = 0;
    short mode = kModeNone;
    char programPath[MAX_PATH] = {};
};

// "<name>;<component name>;<mode>"; nothing without a name.
std::optional<ComponentEntry> ParseComponentEntry(std::string_view value, std::string_view iniPath);

struct ComponentRecord
{
    char applicationName[MAX_PATH] = {};
    char order[MAX_PATH] = {};
    std::vector<ComponentEntry> drivers, services, files;
    struct
    {
        char failingName[64] = {};
        int code = 0;
    } result;
};

enum ComponentKind : int
{
    kKindNone = 0,
    kKindDriver = 1,
    kKindService = 2,
    kKindFile = 3,
};
// "<kind>;<kind>;<kind>": 1, 2, 3 when the first is missing or unknown; a later unknown one is 0.
std::array<int, 3> ParseUninstallOrder(std::string_view text);

// The names a [DRIVER_<name>] `OS` list matches this system by: "XP", "10X64", ...
std::string OsSystemName(WORD osIndex, bool is64);
// One "<system>[_SP<n>]" of a list against the running system.
bool OsSystemMatches(std::string_view listed, WORD osIndex, bool is64, WORD servicePack);
// The suffix of the first "<suffix>:<system>,<system>..." (entries split at ';') that matches, tried
// over `lists` in order; empty when none does.
std::string MatchOsSuffix(const std::vector<std::string>& lists, WORD osIndex, bool is64, WORD servicePack);

// "a.b[.c.d]" as a * 100 + b; nothing for a value that is no version.
std::optional<long> DottedVersionValue(std::string_view text);

bool UninstallComponents(UninstallState& state, std::string& failingName, int& code);

struct TzSetupDriverArgs
{
    const char* infPath;
    const char* packagePath;
    DWORD mode;
    DWORD size; // non-zero
    const char* decoration;
};
BOOL TzSetupDriver(HWND owner, const TzSetupDriverArgs* args, DWORD* code);

BOOL TzServiceInstall(const char* name, const char* programPath, const char* description,
                      const char* commandTail, const char* dependencies, DWORD dependencyLength, DWORD mode,
                      DWORD* result);
BOOL TzServiceUninstall(const char* name, DWORD* result);

// Asks the device-server driver to drop its COM-port information and waits until its ports are gone.
int Tzuptp_AllClearComInfo();

// The device-server drivers' use by applications, kept under HKLM Software\Tzuptp Driver.
struct DriverUseDecision
{
    bool remove = false;
    bool clearComInfo = false;
};
struct DriverUseSnapshot
{
    std::vector<std::string> applications; // the subkeys
    std::optional<DWORD> useCount;         // the driver's value
    bool virtualLinkInstalled = false;
};
DriverUseDecision DecideDriverUse(const DriverUseSnapshot& snapshot, std::string_view application,
                                  std::string_view driver);
DriverUseDecision CheckDriverUse(std::string_view application, std::string_view driver);
void UpdateDriverUse(std::string_view application, std::string_view driver,
                     const DriverUseDecision& decision);
void RecordDriverInstall(std::string_view application, std::string_view driver);

// The program runner's command: COMMAND, else the mode's, with the debug options after a blank.
std::string RunnerCommand(std::string_view command, std::string_view installCommand,
                          std::string_view uninstallCommand, short mode, WORD logFlags);
int RunComponentProgram(const UninstallState& state, ComponentEntry& entry);

} // namespace uninstall
