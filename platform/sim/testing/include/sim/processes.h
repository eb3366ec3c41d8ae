// The simulated machine's processes as tests see them: the calling program, programs run as Windows
// starts them, stand-ins for programs outside the system, the process table, what the shell was asked
// to open, where programs told the loader to look for DLLs and the system's environment.
#pragma once

#include <platform/windows.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
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

// Where a program told the loader to look for DLLs.
struct DllSearch
{
    std::optional<WString> dllDirectory; // SetDllDirectoryW; "" takes the current folder out of the search
    DWORD defaultDirectories = 0;        // SetDefaultDllDirectories (LOAD_LIBRARY_SEARCH_*); 0: never called
    DWORD searchMode = 0;                // SetSearchPathMode flags in force; 0: never called
};

// A stand-in for a program outside the system: runs when that file is started.
using StandIn = std::function<DWORD(const StartedProcess&)>;

class Processes
{
public:
    // The calling program (the test itself) has its own module path and command line.
    void SetCallingProgram(WStringView imagePath, WStringView commandLine);
    // Runs a program registered with the machine as Windows would start it: on its own thread, with
    // its own module path and command line (arguments after the program name); returns its exit code.
    DWORD Run(WStringView imagePath, WStringView arguments = {}, int showCommand = SW_SHOWNORMAL);
    void RegisterStandIn(WStringView fileName, StandIn standIn);
    // The program registered as `originalFileName` also runs from a file named `copyFileName`, as
    // a program file copied under another name does.
    void RegisterProgramCopy(WStringView originalFileName, WStringView copyFileName);
    // Puts C:\Windows\System32\cmd.exe and timeout.exe on the machine. The interpreter runs
    // "/c" command lines of "&"-joined commands: timeout waits its /T seconds on the virtual clock;
    // with `runDeletions`, "del /Q" deletes files and "rd /Q" removes folders that are empty (the
    // started command line is recorded either way).
    void InstallCommandInterpreter(bool runDeletions);
    std::vector<StartedProcess> Started() const;

    // Process table: a process that runs until it is ended (TerminateProcess, taskkill.exe); its id.
    DWORD Add(const ProcessSetup& process);
    bool Running(DWORD processId) const;
    std::optional<DWORD> ExitCode(DWORD processId) const; // none while running or unknown

    // The system DLLs the programs import are loaded in every process; a test may take one away (it
    // is then not found; single exports: Machine::RemoveSystemExport).
    void RemoveSystemModule(WStringView fileName);
    // Everything handed to ShellExecuteEx, in order (programs also appear in Started()).
    std::vector<ShellRequest> ShellRequests() const;
    // The DLL search settings of the latest process of that program (or of the test itself).
    std::optional<DllSearch> DllSearchOf(WStringView imagePath) const;
    // Every LoadLibraryExW call of the machine: the name asked for and its flags.
    std::vector<std::pair<WString, DWORD>> LibraryLoads() const;
    // A system environment variable as the processes started from now on get it (none: unset).
    void SetSystemVariable(WStringView name, std::optional<WString> value);
    // Every text given to OutputDebugStringA since the machine started, one entry a call.
    std::vector<std::string> DebugOutput() const;
};

Processes& processes();

} // namespace sim
