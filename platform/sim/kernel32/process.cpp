// Processes: programs are registered by file name and run on threads of their own, each with its
// own module path, command line and current folder; what the code starts is recorded.
#include "core/internal.h"
#include "core/state.h"
#include "kernel32/loader.h"

#include "core/sync.h"

#include <platform/entry.h>

#include <atomic>
#include <cstring>
#include <map>
#include <thread>
#include <variant>
#include <vector>

namespace sim
{
namespace
{
using Entry = std::variant<WinMainA, WinMainW>;

std::map<WString, Entry>& programs()
{
    static std::map<WString, Entry> p; // by folded file name; filled before main
    return p;
}

struct Processes : detail::PartBase
{
    std::shared_ptr<detail::Process> calling;
    std::map<WString, StandIn> standIns;
    std::vector<StartedProcess> started;
    std::map<WString, WString> copies; // a program's file copied under another name: copy → original
    DWORD nextProcessId = 0x1000;
};

Processes& processes()
{
    return detail::Part<Processes>();
}

thread_local std::shared_ptr<detail::Process> t_process;

const HINSTANCE kInstance = reinterpret_cast<HINSTANCE>(static_cast<ULONG_PTR>(0x400000));

WString FileNameOf(WStringView path)
{
    size_t slash = path.find_last_of(u"\\/");
    return WString(slash == WStringView::npos ? path : path.substr(slash + 1));
}

WString FolderOf(WStringView path)
{
    size_t slash = path.find_last_of(u"\\/");
    return WString(slash == WStringView::npos ? WStringView() : path.substr(0, slash));
}

// The text WinMain receives: the command line after the program name and the blanks behind it.
WString CommandTail(WStringView commandLine)
{
    size_t i = 0;
    if (!commandLine.empty() && commandLine[0] == u'"')
    {
        i = commandLine.find(u'"', 1);
        i = i == WStringView::npos ? commandLine.size() : i + 1;
    }
    else
        while (i < commandLine.size() && commandLine[i] != u' ' && commandLine[i] != u'\t')
            ++i;
    while (i < commandLine.size() && (commandLine[i] == u' ' || commandLine[i] == u'\t'))
        ++i;
    return WString(commandLine.substr(i));
}

// A process handle: signaled when the program's main thread returns, with its exit code.
struct ProcessObject : detail::EndObject
{
    std::string image;
    std::string DescribeLocked() const override
    {
        return "process " + std::to_string(id) + " (" + image + ")";
    }
};

struct Launched
{
    std::shared_ptr<ProcessObject> process;
    std::shared_ptr<detail::ThreadObject> thread;
};

// Runs the program's entry on a simulated thread of its own; `ended` runs on that thread once the
// process handle is signaled.
Launched StartProgram(std::function<DWORD()> body, std::shared_ptr<detail::Process> process,
                      std::function<void(DWORD)> ended = {})
{
    Launched l{std::make_shared<ProcessObject>(), std::make_shared<detail::ThreadObject>()};
    {
        std::lock_guard g(detail::StateLock());
        l.process->id = process ? process->id : processes().nextProcessId;
        if (!process)
            processes().nextProcessId += 4;
    }
    l.process->image = process ? detail::ToUtf8(FileNameOf(process->imagePath)) : "stand-in";
    detail::StartSimThread(l.thread, process, std::move(body),
                           [object = l.process, ended = std::move(ended)](DWORD code) {
                               {
                                   std::lock_guard g(detail::Sched().mu);
                                   detail::EndLocked(*object, code);
                               }
                               if (ended)
                                   ended(code);
                           });
    return l;
}

std::function<DWORD()> EntryBody(const Entry& entry, std::shared_ptr<detail::Process> process, int show)
{
    return [entry, process, show]() -> DWORD {
        WString tail = CommandTail(process->commandLine);
        DWORD exitCode = 0;
        try
        {
            if (auto a = std::get_if<WinMainA>(&entry))
            {
                std::string narrow = detail::Narrow(tail);
                exitCode = static_cast<DWORD>((*a)(kInstance, nullptr, narrow.data(), show));
            }
            else
                exitCode =
                    static_cast<DWORD>(std::get<WinMainW>(entry)(kInstance, nullptr, tail.data(), show));
        }
        catch (...)
        {
            detail::EndProcessLocals();
            detail::EndProcessModules();
            throw;
        }
        detail::EndProcessLocals();  // the program's statics go at its exit
        detail::EndProcessModules(); // the DLLs it still holds hear that the process ends
        return exitCode;
    };
}

// Runs the program and waits for it to end, as a caller blocked on a process would.
DWORD RunEntry(const Entry& entry, std::shared_ptr<detail::Process> process, int show)
{
    Launched l = StartProgram(EntryBody(entry, process, show), process);
    // Once the program has ended its caller is about to run, not stuck.
    const std::function<bool()> ended = [&] { return l.process->ended; };
    detail::BlockedScope waiting(&ended);
    std::unique_lock lock(detail::Sched().mu);
    detail::Sched().cv.wait(lock, ended);
    return l.process->exitCode;
}

std::shared_ptr<detail::Process> NewProcess(WStringView image, WStringView commandLine, WStringView cwd)
{
    auto p = std::make_shared<detail::Process>();
    {
        std::lock_guard g(detail::StateLock());
        p->id = processes().nextProcessId;
        processes().nextProcessId += 4;
    }
    p->imagePath = detail::FullPath(image);
    p->commandLine = WString(commandLine);
    p->commandLineA = detail::Narrow(commandLine);
    p->currentDirectory = cwd.empty() ? FolderOf(p->imagePath) : detail::FullPath(cwd);
    return p;
}

bool IsFile(WStringView path)
{
    std::error_code ec;
    auto host = detail::HostPathOf(path);
    return std::filesystem::is_regular_file(host, ec);
}

// How CreateProcess finds the program of a command line without an application name: a quoted
// name is taken whole; otherwise every blank is tried in turn as the end of the name, so an
// unquoted path with blanks may start another program.
std::optional<WString> ResolveProgram(WStringView commandLine)
{
    std::vector<WString> candidates;
    if (!commandLine.empty() && commandLine[0] == u'"')
    {
        size_t end = commandLine.find(u'"', 1);
        candidates.emplace_back(
            commandLine.substr(1, end == WStringView::npos ? WStringView::npos : end - 1));
    }
    else
    {
        for (size_t i = 0; i <= commandLine.size(); ++i)
            if (i == commandLine.size() || commandLine[i] == u' ' || commandLine[i] == u'\t')
                if (i > 0)
                    candidates.emplace_back(commandLine.substr(0, i));
    }
    const detail::Process& self = detail::CurrentProcess();
    for (WString name : candidates)
    {
        WString file = FileNameOf(name);
        if (file.find(u'.') == WString::npos)
            name += u".exe";
        if (name.find_first_of(u"\\/:") != WString::npos)
        {
            if (IsFile(name))
                return detail::FullPath(name);
            continue;
        }
        for (const WString& dir : {FolderOf(self.imagePath), self.currentDirectory,
                                   WString(u"C:\\Windows\\System32"), WString(u"C:\\Windows")})
            if (IsFile(dir + u"\\" + name))
                return detail::FullPath(dir + u"\\" + name);
    }
    return std::nullopt;
}

// The registered program a file name runs: its own, or the one it is a copy of.
WString ProgramKey(WStringView fileName)
{
    WString key = detail::Fold(FileNameOf(fileName));
    auto it = processes().copies.find(key);
    return it == processes().copies.end() ? key : it->second;
}

// Starts a recorded process: its stand-in or registered program runs on a thread of its own.
std::optional<Launched> Launch(const StartedProcess& record)
{
    WString key = ProgramKey(record.applicationPath);
    Processes& ps = processes();
    if (auto it = ps.standIns.find(key); it != ps.standIns.end())
    {
        StandIn standIn = it->second;
        return StartProgram([standIn, record] { return standIn(record); }, nullptr);
    }
    if (auto it = programs().find(key); it != programs().end())
    {
        auto process = NewProcess(record.applicationPath, record.commandLine, record.currentDirectory);
        return StartProgram(EntryBody(it->second, process, record.showCommand), process);
    }
    return std::nullopt;
}
} // namespace

bool RegisterProgram(const char16_t* fileName, WinMainA entry)
{
    programs()[detail::Fold(fileName)] = entry;
    return true;
}

bool RegisterProgram(const char16_t* fileName, WinMainW entry)
{
    programs()[detail::Fold(fileName)] = entry;
    return true;
}

namespace detail
{
Process& CurrentProcess()
{
    if (t_process)
        return *t_process;
    std::lock_guard g(StateLock());
    if (!processes().calling)
    {
        auto p = std::make_shared<Process>();
        p->id = 4;
        p->imagePath = u"C:\\Users\\User\\test.exe";
        p->commandLine = u"\"" + p->imagePath + u"\"";
        p->commandLineA = Narrow(p->commandLine);
        p->currentDirectory = u"C:\\Users\\User";
        processes().calling = p;
    }
    return *processes().calling;
}

void SetThreadProcess(std::shared_ptr<Process> process)
{
    t_process = std::move(process);
}

std::shared_ptr<Process> ThreadProcess()
{
    return t_process;
}

HANDLE StartProgramFile(const StartedProcess& record)
{
    std::optional<Launched> launched = Launch(record);
    if (!launched)
    {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    processes().started.push_back(record);
    return AddHandle(launched->process);
}

void JoinPrograms()
{
    JoinRunning();
    t_process.reset();
}
} // namespace detail

void Machine::SetCallingProgram(WStringView imagePath, WStringView commandLine)
{
    std::lock_guard g(detail::StateLock());
    processes().calling = NewProcess(imagePath, commandLine, {});
}

DWORD Machine::Run(WStringView imagePath, WStringView arguments, int showCommand)
{
    Entry entry;
    {
        std::lock_guard g(detail::StateLock());
        auto it = programs().find(ProgramKey(imagePath));
        if (it == programs().end())
            return 0xC0000135; // the program cannot start: not found
        entry = it->second;
    }
    WString full = detail::FullPath(imagePath);
    WString commandLine = (full.find(u' ') != WString::npos ? u"\"" + full + u"\"" : full);
    if (!arguments.empty())
        commandLine += u" " + WString(arguments);
    return RunEntry(entry, NewProcess(full, commandLine, {}), showCommand);
}

void Machine::RegisterStandIn(WStringView fileName, StandIn standIn)
{
    std::lock_guard g(detail::StateLock());
    processes().standIns[detail::Fold(fileName)] = std::move(standIn);
}

void Machine::RegisterProgramCopy(WStringView originalFileName, WStringView copyFileName)
{
    std::lock_guard g(detail::StateLock());
    processes().copies[detail::Fold(FileNameOf(copyFileName))] = detail::Fold(FileNameOf(originalFileName));
}

std::vector<StartedProcess> Machine::Started() const
{
    std::lock_guard g(detail::StateLock());
    return processes().started;
}
} // namespace sim

using namespace sim;

DWORD WINAPI GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size)
{
    if (module && module != kInstance)
    {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    if (!fileName || size == 0)
    {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    const WString& path = detail::CurrentProcess().imagePath;
    if (path.size() >= size)
    {
        std::copy_n(path.begin(), size - 1, fileName);
        fileName[size - 1] = 0;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::copy(path.begin(), path.end(), fileName);
    fileName[path.size()] = 0;
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(path.size());
}

DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size)
{
    SIM_FAULT_POINT("GetModuleFileNameA", 0);
    if (module && module != kInstance)
    {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    if (!fileName || size == 0)
    {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::string path = detail::Narrow(detail::CurrentProcess().imagePath);
    if (path.size() >= size)
    {
        std::memcpy(fileName, path.data(), size - 1);
        fileName[size - 1] = 0;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(fileName, path.c_str(), path.size() + 1);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(path.size());
}

HMODULE WINAPI GetModuleHandleW(LPCWSTR moduleName)
{
    if (!moduleName)
        return kInstance;
    return detail::LoadedModule(moduleName);
}

LPSTR WINAPI GetCommandLineA()
{
    return detail::CurrentProcess().commandLineA.data();
}

LPWSTR WINAPI GetCommandLineW()
{
    return detail::CurrentProcess().commandLine.data();
}

UINT WINAPI WinExec(LPCSTR cmdLine, UINT showCmd)
{
    if (auto fault = detail::TakeFault("WinExec"))
        return *fault < 32 ? *fault : 0;
    if (!cmdLine)
        return ERROR_FILE_NOT_FOUND;
    WString commandLine = detail::Widen(cmdLine);
    std::lock_guard g(detail::StateLock());
    std::optional<WString> program = ResolveProgram(commandLine);
    if (!program)
        return ERROR_FILE_NOT_FOUND;
    StartedProcess record{commandLine, *program, static_cast<int>(showCmd),
                          detail::CurrentProcess().currentDirectory};
    processes().started.push_back(record);
    Launch(record);
    return 33;
}

BOOL WINAPI CreateProcessW(LPCWSTR applicationName, LPWSTR commandLine, LPSECURITY_ATTRIBUTES,
                           LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCWSTR currentDirectory,
                           LPSTARTUPINFOW startupInfo, LPPROCESS_INFORMATION processInformation)
{
    SIM_FAULT_POINT("CreateProcessW", FALSE);
    if ((!applicationName && !commandLine) || !startupInfo || !processInformation)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    WString line = commandLine ? WString(commandLine) : u"\"" + WString(applicationName) + u"\"";
    std::lock_guard g(detail::StateLock());
    std::optional<WString> program;
    if (applicationName)
    {
        // Taken as it is, against the current folder: no search, no extension added.
        if (IsFile(applicationName))
            program = detail::FullPath(applicationName);
    }
    else
        program = ResolveProgram(line);
    int show = (startupInfo->dwFlags & STARTF_USESHOWWINDOW) ? startupInfo->wShowWindow : SW_SHOWNORMAL;
    StartedProcess record{line, program.value_or(WString()), show,
                          currentDirectory ? detail::FullPath(currentDirectory)
                                           : detail::CurrentProcess().currentDirectory};
    std::optional<Launched> launched = program ? Launch(record) : std::nullopt;
    if (!launched)
    {
        SetLastError(ERROR_FILE_NOT_FOUND); // no such file, or nothing the machine can run
        return FALSE;
    }
    processes().started.push_back(record);
    processInformation->hProcess = detail::AddHandle(launched->process);
    processInformation->hThread = detail::AddHandle(launched->thread);
    processInformation->dwProcessId = launched->process->id;
    processInformation->dwThreadId = launched->thread->id;
    return TRUE;
}

BOOL WINAPI GetExitCodeProcess(HANDLE process, LPDWORD exitCode)
{
    auto object = std::dynamic_pointer_cast<ProcessObject>(detail::FindEndObject(process));
    if (!exitCode || (!object && process != reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1))))
    {
        SetLastError(exitCode ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard g(detail::Sched().mu);
    *exitCode = object ? object->exitCode : STILL_ACTIVE;
    return TRUE;
}

DWORD WINAPI GetProcessId(HANDLE process)
{
    if (process == reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)))
        return GetCurrentProcessId();
    auto object = std::dynamic_pointer_cast<ProcessObject>(detail::FindEndObject(process));
    if (!object)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return object->id;
}

DWORD WINAPI GetCurrentProcessId()
{
    return detail::CurrentProcess().id;
}
