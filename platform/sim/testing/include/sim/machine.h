// The simulated Windows machine as tests see it: set up state before a run, inspect it after,
// inject faults and move the virtual clock. Every test starts from a fresh machine.
#pragma once

#include <platform/windows.h>
#include <sim/engine.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sim
{

// A process started by the code under test (WinExec, CreateProcess, ...).
struct StartedProcess
{
    WString commandLine;     // exactly as the caller passed it
    WString applicationPath; // the program file the command resolved to
    int showCommand = SW_SHOWNORMAL;
    WString currentDirectory;
    WString user;          // whose token it runs with
    bool elevated = false; // with the administrator's rights
};

// A process already running on the machine, outside the code under test (the shell, the spooler's
// host, an editor): what the process status functions and OpenProcess see of it.
struct ProcessSetup
{
    WString imagePath;
    std::vector<WString> modules; // full paths of the DLLs it has loaded, besides its image
    WString user = u"User";
    bool elevated = false;
    bool accessible = true; // OpenProcess for more than limited information succeeds
    bool shell = false;     // owns the shell window (GetShellWindow)
    DWORD sessionId = 1;    // 0 for a service's host
};

// A request to the shell (ShellExecuteEx): a program, document, folder or URL.
struct ShellRequest
{
    WString verb; // empty: the default verb
    WString file;
    WString parameters;
    WString directory;
    int showCommand = SW_SHOWNORMAL;
    WString application; // the program that took it (the file itself, its association, the folder
                         // window); empty when the shell refused
};

struct RegistryValue
{
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

enum class RegistryView
{
    Native, // what a 64-bit program sees
    Wow32,  // what a 32-bit program sees on a 64-bit system
};

// Where a program told the loader to look for DLLs.
struct DllSearch
{
    std::optional<WString> dllDirectory; // SetDllDirectoryW; "" takes the current folder out of the search
    DWORD defaultDirectories = 0;        // SetDefaultDllDirectories (LOAD_LIBRARY_SEARCH_*); 0: never called
    DWORD searchMode = 0;                // SetSearchPathMode flags in force; 0: never called
};

// A stand-in for a program outside the system: runs when that file is started.
using StandIn = std::function<DWORD(const StartedProcess&)>;

// A shell link file as IShellLinkW and IPersistFile saved it.
struct ShellLinkRecord
{
    WString target;
    WString arguments;
    WString workingDirectory;
    WString description;
    WString iconPath;
    int iconIndex = 0;
    WString appUserModelId; // PKEY_AppUserModel_ID, empty when not set
};

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

// A sheet the common property-sheet host showed: its caption, whether it had an Apply button, the
// host functions its pages called (in order) and the result it gave back.
struct HostedSheet
{
    WString caption;
    bool applyButton = true;
    std::vector<UINT> functions;
    LONG_PTR result = 0;
};

// A help request made through HtmlHelpW: the file, the command and, for keyword look-ups, the keyword.
struct HelpRequest
{
    WString file;
    UINT command = 0;
    WString keyword;
    bool indexOnFail = false;
};

// A local account: its profile folder is C:\Users\<name>, holding its hive file ntuser.dat.
struct LocalUser
{
    WString name;
    WString sid;           // "S-1-5-21-...-1002"
    bool signedIn = false; // its hive is loaded by the system, so its file is in use
};

// One piece of a hive file: a value of a key (its path inside the hive), or with type REG_NONE and
// no name the key alone.
struct HiveValue
{
    WString key;
    WString name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
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

    // File system: drive letters map to folders under a per-machine temporary root; names compare
    // without case.
    std::filesystem::path Sandbox() const;
    std::filesystem::path HostPath(WStringView windowsPath) const;
    void PutFile(WStringView windowsPath, std::string_view bytes = {});
    std::optional<std::string> FileBytes(WStringView windowsPath) const;
    bool FileExists(WStringView windowsPath) const;
    // A file's version record (what GetFileVersionInfoW reads), kept in the file's bytes so it goes
    // wherever the file is copied or renamed. SetFileVersion writes a file holding just the record;
    // SetFileVersionRecord stores the given bytes as the record, sound or not.
    void SetFileVersion(WStringView windowsPath, WORD major, WORD minor, WORD build, WORD revision);
    void SetFileVersionRecord(WStringView windowsPath, std::span<const BYTE> record);
    // The link saved at that path, or nothing when the file is missing or no shell link.
    std::optional<ShellLinkRecord> ReadShellLink(WStringView windowsPath) const;

    // Registry. The key path has no root; `view` picks the 32- or 64-bit view of HKLM\SOFTWARE.
    void SetRegistryValue(HKEY root, WStringView key, WStringView name, DWORD type,
                          std::span<const BYTE> data, RegistryView view = RegistryView::Native);
    std::optional<RegistryValue> GetRegistryValue(HKEY root, WStringView key, WStringView name,
                                                  RegistryView view = RegistryView::Native) const;
    bool RegistryKeyExists(HKEY root, WStringView key, RegistryView view = RegistryView::Native) const;

    // A system environment variable as the processes started from now on get it (none: unset).
    void SetSystemVariable(WStringView name, std::optional<WString> value);

    // Accounts and their hives. The machine starts with the signed-in "User" (the current user).
    void AddUser(const LocalUser& user);
    // Writes a hive file RegLoadKey can mount; ReadHive reads one back (nothing when it is none).
    void PutHive(WStringView file, const std::vector<HiveValue>& values);
    std::optional<std::vector<HiveValue>> ReadHive(WStringView file) const;
    // Keys mounted by RegLoadKey and not yet taken off ("HKEY_USERS\S-1-5-...").
    std::vector<WString> LoadedHives() const;
    // ExitWindowsEx calls that went through, their flags in order.
    std::vector<UINT> ShutdownRequests() const;

    // Processes. The calling program (the test itself) has its own module path and command line.
    void SetCallingProgram(WStringView imagePath, WStringView commandLine);
    // Runs a program registered with the machine as Windows would start it: on its own thread, with
    // its own module path and command line (arguments after the program name); returns its exit code.
    DWORD Run(WStringView imagePath, WStringView arguments = {}, int showCommand = SW_SHOWNORMAL);
    void RegisterStandIn(WStringView fileName, StandIn standIn);
    // The program registered as `originalFileName` also runs from a file named `copyFileName`, as
    // a program file copied under another name does.
    void RegisterProgramCopy(WStringView originalFileName, WStringView copyFileName);
    // Puts a file of the registered program `programFileName` (after any bytes already there): a copy
    // of it, under any name, starts as that program with its resources, as a copied program file does.
    void PutProgramFile(WStringView windowsPath, WStringView programFileName);
    // Puts C:\Windows\System32\cmd.exe and timeout.exe on the machine. The interpreter runs
    // "/c" command lines of "&"-joined commands: timeout waits its /T seconds on the virtual clock;
    // with `runDeletions`, "del /Q" deletes files and "rd /Q" removes folders that are empty (the
    // started command line is recorded either way).
    void InstallCommandInterpreter(bool runDeletions);
    std::vector<StartedProcess> Started() const;
    // Process table: a process that runs until it is ended (TerminateProcess, taskkill.exe); its id.
    DWORD AddProcess(const ProcessSetup& process);
    bool ProcessRunning(DWORD processId) const;
    std::optional<DWORD> ProcessExitCode(DWORD processId) const; // none while running or unknown
    // The system DLLs the programs import are loaded in every process; a test may take one away (it
    // is then not found; single exports: RemoveSystemExport).
    void RemoveSystemModule(WStringView fileName);
    // Everything handed to ShellExecuteEx, in order (programs also appear in Started()).
    std::vector<ShellRequest> ShellRequests() const;
    // The DLL search settings of the latest process of that program (or of the test itself).
    std::optional<DllSearch> DllSearchOf(WStringView imagePath) const;
    // Every LoadLibraryExW call of the machine: the name asked for and its flags.
    std::vector<std::pair<WString, DWORD>> LibraryLoads() const;

    // Faults: the next `count` calls of `api` (after `skip` good ones) fail with `error`. A name
    // that is no fault point throws std::invalid_argument; a fault still pending when a test ends
    // fails that test.
    void FailNext(std::string_view api, DWORD error, int count = 1, int skip = 0);
    std::vector<std::string> PendingFaults() const;

    // The user's decimal separator (GetLocaleInfoW LOCALE_SDECIMAL); "." unless set.
    void SetDecimalSeparator(WStringView separator);

    // Private heaps (HeapCreate) not yet destroyed.
    size_t LiveHeaps() const;
    // Activation contexts not yet released, and activations (every thread's) not yet deactivated.
    size_t LiveActivationContexts() const;
    size_t OpenActivations() const;

    // Property sheets the common host showed, and help asked for, since the machine started.
    std::vector<HostedSheet> HostedSheets() const;
    std::vector<HelpRequest> HelpRequests() const;

    // Every text given to OutputDebugStringA since the machine started, one entry a call.
    std::vector<std::string> DebugOutput() const;

    // Virtual time in milliseconds since the machine started.
    ULONGLONG Now() const;
    void Advance(ULONGLONG milliseconds);
    // The date and time GetLocalTime reports now (2026-01-01 00:00 when the machine starts); it runs
    // on with the virtual clock. False for a date that cannot be.
    bool SetLocalTime(const SYSTEMTIME& now);
};

Machine& machine();

} // namespace sim

#include <sim/desktop.h> // the desktop and its scripted user
#include <sim/gdi.h>     // what windows show drawn, graphics objects alive
#include <sim/devices.h> // devices attached by USB
