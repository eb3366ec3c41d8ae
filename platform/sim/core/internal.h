// Shared between the simulated machine's own sources; tests use machine.h.
#pragma once

#include <platform/windows.h>
#include <sim/machine.h>
#include "core/faults.h"

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sim::detail
{

// One lock over the machine's state: simulated programs run on threads of their own.
std::recursive_mutex& StateLock();

// Notes a fault point consulted, while a test records them (sim/fault_record.h).
void RecordFaultPoint(std::string_view api);

// Case folding as the file system and the registry compare names.
char16_t FoldChar(char16_t c);
WString Fold(WStringView s);
bool EqualNoCase(WStringView a, WStringView b);

// Text in the machine's code pages.
UINT ResolveCodePage(UINT codePage);
WString Widen(std::string_view narrow, UINT codePage = CP_ACP);
std::string Narrow(WStringView wide, UINT codePage = CP_ACP);
std::string ToUtf8(WStringView wide);
WString FromUtf8(std::string_view utf8);
// A text file's bytes: UTF-16LE or UTF-8 after their byte-order mark, the system code page otherwise.
// `form` tells which, so a rewrite can keep it.
enum class TextForm
{
    CodePage,
    Utf16,
    Utf8,
};
WString DecodeTextFile(std::string_view bytes, TextForm* form = nullptr);
std::string EncodeTextFile(WStringView text, TextForm form);

// Kernel objects behind HANDLE values.
struct KernelObject
{
    virtual ~KernelObject() = default;
};
HANDLE AddHandle(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> FindHandle(HANDLE handle);
// Every object a handle is open on now (a handle may be one of several on the same object).
std::vector<std::shared_ptr<KernelObject>> OpenHandleObjects();
bool RemoveHandle(HANDLE handle);
template <typename T> std::shared_ptr<T> FindHandleOf(HANDLE handle)
{
    return std::dynamic_pointer_cast<T>(FindHandle(handle));
}

// A process's access token as OpenProcessToken gives it.
struct TokenObject : KernelObject
{
    WString user;
    bool elevated = false;
    bool primary = true;
    DWORD access = 0;
    DWORD processId = 0; // whose privileges it adjusts
};

// Privileges (by their LUID's low part) enabled in a process's token.
bool PrivilegeEnabled(DWORD processId, DWORD privilege);
constexpr DWORD kPrivilegeBackup = 17;
constexpr DWORD kPrivilegeRestore = 18;
constexpr DWORD kPrivilegeShutdown = 19;

// The process a simulated thread belongs to.
struct Process
{
    DWORD id = 0;
    WString imagePath;
    WString commandLine;
    std::string commandLineA;
    WString currentDirectory;
    bool is32 = false;
    WString user = u"User";                     // whose token the process runs with
    std::optional<bool> elevated;               // none: as the machine's administrator setting
    DWORD sessionId = 1;                        // services run in session 0, the console user in 1
    std::shared_ptr<struct LoaderState> loader; // modules loaded and where DLLs are looked for
    std::vector<std::pair<const void*, std::shared_ptr<void>>> locals; // ProcessLocal objects, in order made
};
// A program's end: its ProcessLocal objects go, the last made first, outside the machine's lock.
void EndProcessLocals();
Process& CurrentProcess();
std::shared_ptr<Process> ThreadProcess();                // null: the calling program
void SetThreadProcess(std::shared_ptr<Process> process); // null: the calling program

// Gives a process about to start a copy of the calling process's environment block, as a start
// without a block of its own does.
void InheritEnvironment(const Process& child);
struct EnvironmentVariable
{
    WString name; // as first set
    WString value;
};
using EnvironmentBlock = std::vector<EnvironmentVariable>;
// Gives a process about to start the block its starter passed.
void GiveEnvironment(const Process& child, EnvironmentBlock block);
// A block as CreateProcess takes one ("name=value" entries, each ended by a NUL, then one more);
// nullopt for an entry without '=' or a block with no end within a sane length.
std::optional<EnvironmentBlock> ReadEnvironmentBlock(const void* block, bool unicode);

// Whether a running program was started from this file (its image cannot be deleted meanwhile).
bool ImageInUse(WStringView fullPath);
// A driver DLL the running spooler has loaded (winspool/drivers.cpp).
bool HeldBySpooler(WStringView fullPath);

// The process of the table that owns the shell window; 0 when no shell runs.
DWORD ShellProcessId();

// Paths.
WString FullPath(WStringView windowsPath); // absolute, normalised, against the current folder
std::filesystem::path HostPathOf(WStringView windowsPath);
bool HostIsDirectory(const std::filesystem::path& p);

// Hidden and system attributes set on a file or folder (SetFileAttributesW).
DWORD KeptFileAttributes(WStringView windowsPath);
void CopyKeptFileAttributes(WStringView from, WStringView to); // what a copy carries
void MoveKeptFileAttributes(WStringView from, WStringView to); // what a rename carries, a folder's too
void ForgetFileAttributes(WStringView windowsPath);            // a file or folder gone, or new
void AddKeptFileAttributes(WStringView windowsPath, DWORD attributes); // hidden and system only

// Makes a registry key (and those above it) unless it is there; no fault point (the spooler's own).
void EnsureRegistryKey(HKEY root, WStringView key);
// The subkeys' names of a key (none when it is missing), and a key removed with all below it; no fault
// point either, for the spooler's own keys.
std::vector<WString> RegistrySubkeys(HKEY root, WStringView key);
void DeleteRegistryTree(HKEY root, WStringView key);
// A key with all below it under a new name in the same parent (nothing when another has the name).
void RenameRegistryKey(HKEY root, WStringView from, WStringView toName);

// Machine-wide settings read by several parts.
bool System64();
bool Administrator();
bool ServerR2(); // the identity's SM_SERVERR2

// The primary display, as the desktop's monitor list has it.
UINT SystemDpi();
RECT PrimaryDisplayArea();

// A program file started as the shell starts one: recorded, then run through its stand-in or its
// registered entry on a thread of its own. The new process's handle, or null (ERROR_FILE_NOT_FOUND)
// when the machine cannot run it. StateLock held.
HANDLE StartProgramFile(const StartedProcess& record);

// Waits for every program and thread still running (before the machine's state goes).
void JoinPrograms();

// Whether an open handle keeps a file from being deleted or renamed (opened without FILE_SHARE_DELETE).
bool OpenWithoutShareDelete(const std::filesystem::path& host);

// File mapping: the host descriptor behind a file handle (-1 if none) and its access rights.
int HostFileDescriptor(HANDLE file, DWORD* access);
// The file kept open for reading, others allowed to read it only, while the result lives; null with
// ERROR_FILE_NOT_FOUND or ERROR_SHARING_VIOLATION. StateLock held.
std::shared_ptr<KernelObject> HoldForReading(WStringView windowsPath);

// The loader: the paths of the modules the process has loaded (system DLLs in System32).
std::vector<WString> ModulePathsOf(Process& process);
// The loader: a module the process has loaded, by file name (null and ERROR_MOD_NOT_FOUND if none).
HMODULE LoadedModule(WStringView name);

} // namespace sim::detail
