// Processes: programs are registered by file name and run on threads of their own, each with its
// own module path, command line and current folder; what the code starts is recorded.
#include "core/internal.h"
#include "core/state.h"
#include "kernel32/loader.h"
#include "kernel32/program_files.h"

#include "core/sync.h"

#include <platform/entry.h>
#include <platform/psapi.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <set>
#include <thread>
#include <utility>
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

std::set<WString>& programs32Bit()
{
    static std::set<WString> p; // by folded file name; filled before main
    return p;
}

struct ProcessObject;

// A process of the table: one added by a test (resident until ended), or one the code started.
struct TableEntry
{
    ProcessSetup setup;
    std::shared_ptr<ProcessObject> object;
    std::shared_ptr<detail::Process> process; // a registered program's own state; null otherwise
    bool resident = false;
};

struct ProcessTable : detail::PartBase
{
    std::shared_ptr<detail::Process> calling;
    std::shared_ptr<ProcessObject> callingObject; // what OpenProcess of the calling program gives
    std::map<WString, StandIn> standIns;
    std::vector<StartedProcess> started;
    std::map<WString, WString> copies; // a program's file copied under another name: copy → original
    DWORD nextProcessId = 0x1000;
    std::map<DWORD, TableEntry> table;
    std::map<HANDLE, DWORD> openedAccess; // OpenProcess handles and the rights they were opened with
    bool systemProgramsPlaced = false;
};

ProcessTable& processTable()
{
    return detail::Part<ProcessTable>();
}

thread_local std::shared_ptr<detail::Process> t_process;

bool Elevated(const detail::Process& p)
{
    return p.elevated.value_or(detail::Administrator());
}

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
        l.process->id = process ? process->id : processTable().nextProcessId;
        if (!process)
            processTable().nextProcessId += 4;
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

// Image files of the programs running now: Windows keeps them from being deleted.
struct RunningImages : detail::PartBase
{
    std::multiset<WString> folded;
};

struct ImageInUseScope
{
    WString folded;
    explicit ImageInUseScope(WStringView image) : folded(detail::Fold(image))
    {
        std::lock_guard g(detail::StateLock());
        detail::Part<RunningImages>().folded.insert(folded);
    }
    ~ImageInUseScope()
    {
        std::lock_guard g(detail::StateLock());
        auto& images = detail::Part<RunningImages>().folded;
        if (auto it = images.find(folded); it != images.end())
            images.erase(it);
    }
};

std::function<DWORD()> EntryBody(const Entry& entry, std::shared_ptr<detail::Process> process, int show)
{
    return [entry, process, show]() -> DWORD {
        ImageInUseScope image(process->imagePath);
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
        p->id = processTable().nextProcessId;
        processTable().nextProcessId += 4;
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

void PlaceSystemPrograms();

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
    PlaceSystemPrograms();
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

// The registered program a file runs: its own, or the one it is a copy of.
WString ProgramKey(WStringView fileName)
{
    WString key = detail::Fold(FileNameOf(fileName));
    auto it = processTable().copies.find(key);
    if (it != processTable().copies.end())
        return it->second;
    if (!programs().count(key) && !processTable().standIns.count(key))
        if (std::optional<WString> original = detail::ProgramMadeFrom(detail::FullPath(fileName)))
            return *original;
    return key;
}

DWORD TaskKill(const StartedProcess& record);

// Programs of Windows itself the machine carries out, by their path in System32.
struct SystemProgram
{
    WStringView path;
    DWORD (*run)(const StartedProcess&);
};
constexpr SystemProgram kSystemPrograms[] = {{u"C:\\Windows\\System32\\taskkill.exe", &TaskKill}};

// Their files are there as on any Windows, placed when a program is first looked for (StateLock held).
void PlaceSystemPrograms()
{
    if (std::exchange(processTable().systemProgramsPlaced, true))
        return;
    for (const SystemProgram& p : kSystemPrograms)
        if (!IsFile(p.path))
            files().Put(p.path, "MZ");
}

// Where a process about to start takes its environment block from.
struct EnvironmentSource
{
    bool inherit = true;                             // the starter's, when none is given
    const detail::EnvironmentBlock* given = nullptr; // the block the starter passed
};

// The state of a process about to start from a recorded start.
std::shared_ptr<detail::Process> ProcessFor(const StartedProcess& record, bool is32,
                                            EnvironmentSource environment)
{
    auto process = NewProcess(record.applicationPath, record.commandLine, record.currentDirectory);
    process->is32 = is32;
    process->user = record.user;
    process->elevated = record.elevated;
    if (environment.given)
        detail::GiveEnvironment(*process, *environment.given);
    else if (environment.inherit)
        detail::InheritEnvironment(*process);
    return process;
}

// Starts a recorded process: a program of Windows, a stand-in or a registered program runs on a
// thread of its own; a stand-in and a program each as a process of their own, with its environment.
std::optional<Launched> Launch(const StartedProcess& record, EnvironmentSource environment = {})
{
    WString key = ProgramKey(record.applicationPath);
    ProcessTable& ps = processTable();
    for (const SystemProgram& p : kSystemPrograms)
        if (detail::EqualNoCase(record.applicationPath, p.path))
            return StartProgram([run = p.run, record] { return run(record); }, nullptr);
    if (auto it = ps.standIns.find(key); it != ps.standIns.end())
    {
        StandIn standIn = it->second;
        return StartProgram([standIn, record] { return standIn(record); },
                            ProcessFor(record, false, environment));
    }
    if (auto it = programs().find(key); it != programs().end())
    {
        auto process = ProcessFor(record, programs32Bit().count(key) != 0, environment);
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

bool RegisterProgram32Bit(const char16_t* fileName)
{
    programs32Bit().insert(detail::Fold(fileName));
    return true;
}

namespace detail
{

Process& CurrentProcess()
{
    if (t_process)
        return *t_process;
    std::lock_guard g(StateLock());
    if (!processTable().calling)
    {
        auto p = std::make_shared<Process>();
        p->id = 4;
        p->imagePath = u"C:\\Users\\User\\test.exe";
        p->commandLine = u"\"" + p->imagePath + u"\"";
        p->commandLineA = Narrow(p->commandLine);
        p->currentDirectory = u"C:\\Users\\User";
        processTable().calling = p;
    }
    return *processTable().calling;
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
    processTable().started.push_back(record);
    return AddHandle(launched->process);
}

void JoinPrograms()
{
    JoinRunning();
    t_process.reset();
}
} // namespace detail

void Processes::SetCallingProgram(WStringView imagePath, WStringView commandLine)
{
    std::lock_guard g(detail::StateLock());
    processTable().calling = NewProcess(imagePath, commandLine, {});
}

DWORD Processes::Run(WStringView imagePath, WStringView arguments, int showCommand)
{
    Entry entry;
    bool is32 = false;
    {
        std::lock_guard g(detail::StateLock());
        WString key = ProgramKey(imagePath);
        auto it = programs().find(key);
        if (it == programs().end())
            return 0xC0000135; // the program cannot start: not found
        entry = it->second;
        is32 = programs32Bit().count(key) != 0;
    }
    WString full = detail::FullPath(imagePath);
    WString commandLine = (full.find(u' ') != WString::npos ? u"\"" + full + u"\"" : full);
    if (!arguments.empty())
        commandLine += u" " + WString(arguments);
    auto process = NewProcess(full, commandLine, {});
    process->is32 = is32;
    return RunEntry(entry, process, showCommand);
}

void Processes::RegisterStandIn(WStringView fileName, StandIn standIn)
{
    std::lock_guard g(detail::StateLock());
    processTable().standIns[detail::Fold(fileName)] = std::move(standIn);
}

void Processes::RegisterProgramCopy(WStringView originalFileName, WStringView copyFileName)
{
    std::lock_guard g(detail::StateLock());
    processTable().copies[detail::Fold(FileNameOf(copyFileName))] =
        detail::Fold(FileNameOf(originalFileName));
}

std::vector<StartedProcess> Processes::Started() const
{
    std::lock_guard g(detail::StateLock());
    return processTable().started;
}

Processes& processes()
{
    static Processes p;
    return p;
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
    if (auto fault = SIM_TAKE_FAULT("WinExec"))
        return *fault < 32 ? *fault : 0;
    if (!cmdLine)
        return ERROR_FILE_NOT_FOUND;
    WString commandLine = detail::Widen(cmdLine);
    std::lock_guard g(detail::StateLock());
    std::optional<WString> program = ResolveProgram(commandLine);
    if (!program)
        return ERROR_FILE_NOT_FOUND;
    const detail::Process& self = detail::CurrentProcess();
    StartedProcess record{commandLine,           *program,  static_cast<int>(showCmd),
                          self.currentDirectory, self.user, Elevated(self)};
    processTable().started.push_back(record);
    Launch(record);
    return 33;
}

namespace
{
// CreateProcessW's work, for a process that runs with the given user's token.
BOOL CreateProcessAs(LPCWSTR applicationName, LPWSTR commandLine, LPCWSTR currentDirectory,
                     LPSTARTUPINFOW startupInfo, LPPROCESS_INFORMATION processInformation,
                     const WString& user, bool elevated, bool inheritEnvironment, LPVOID environment,
                     DWORD creationFlags)
{
    if ((!applicationName && !commandLine) || !startupInfo || !processInformation)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // A block of the caller's is read once, here, and refused whole when it is malformed.
    std::optional<detail::EnvironmentBlock> given;
    if (environment)
    {
        given = detail::ReadEnvironmentBlock(environment, creationFlags & CREATE_UNICODE_ENVIRONMENT);
        if (!given)
        {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
    }
    WString line = commandLine ? WString(commandLine) : u"\"" + WString(applicationName) + u"\"";
    if (line.size() >= 32767) // the longest command line, with its terminator
    {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return FALSE;
    }
    std::lock_guard g(detail::StateLock());
    std::optional<WString> program;
    if (applicationName)
    {
        // Taken as it is, against the current folder: no search, no extension added.
        PlaceSystemPrograms();
        if (IsFile(applicationName))
            program = detail::FullPath(applicationName);
    }
    else
        program = ResolveProgram(line);
    int show = (startupInfo->dwFlags & STARTF_USESHOWWINDOW) ? startupInfo->wShowWindow : SW_SHOWNORMAL;
    StartedProcess record{
        line,
        program.value_or(WString()),
        show,
        currentDirectory ? detail::FullPath(currentDirectory) : detail::CurrentProcess().currentDirectory,
        user,
        elevated};
    std::optional<Launched> launched =
        program ? Launch(record, {inheritEnvironment, given ? &*given : nullptr}) : std::nullopt;
    if (!launched)
    {
        SetLastError(ERROR_FILE_NOT_FOUND); // no such file, or nothing the machine can run
        return FALSE;
    }
    processTable().started.push_back(record);
    TableEntry entry;
    entry.setup.imagePath = record.applicationPath;
    entry.setup.user = user;
    entry.setup.elevated = elevated;
    entry.object = launched->process;
    processTable().table[launched->process->id] = entry;
    processInformation->hProcess = detail::AddHandle(launched->process);
    processInformation->hThread = detail::AddHandle(launched->thread);
    processInformation->dwProcessId = launched->process->id;
    processInformation->dwThreadId = launched->thread->id;
    return TRUE;
}
} // namespace

BOOL WINAPI CreateProcessW(LPCWSTR applicationName, LPWSTR commandLine, LPSECURITY_ATTRIBUTES,
                           LPSECURITY_ATTRIBUTES, BOOL, DWORD creationFlags, LPVOID environment,
                           LPCWSTR currentDirectory, LPSTARTUPINFOW startupInfo,
                           LPPROCESS_INFORMATION processInformation)
{
    SIM_FAULT_POINT("CreateProcessW", FALSE);
    const detail::Process& self = detail::CurrentProcess();
    return CreateProcessAs(applicationName, commandLine, currentDirectory, startupInfo, processInformation,
                           self.user, Elevated(self), true, environment, creationFlags);
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

// The process table: the calling program, the processes a test added and those the code started,
// while they run.
namespace sim
{
namespace
{
struct LiveProcess
{
    DWORD id = 0;
    ProcessSetup setup;
    std::shared_ptr<ProcessObject> object;
    bool resident = false;
    bool calling = false;
};

const HANDLE kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));

std::shared_ptr<detail::Process> CallingProcess()
{
    if (!processTable().calling)
    {
        auto keep = detail::ThreadProcess();
        detail::SetThreadProcess(nullptr);
        detail::CurrentProcess(); // makes the calling program's record
        detail::SetThreadProcess(keep);
    }
    return processTable().calling;
}

bool Ended(const ProcessObject& object)
{
    std::lock_guard g(detail::Sched().mu);
    return object.ended;
}

// StateLock held.
std::optional<LiveProcess> FindLive(DWORD id)
{
    auto calling = CallingProcess();
    if (id == calling->id)
    {
        LiveProcess p{id, {}, nullptr, false, true};
        p.setup.imagePath = calling->imagePath;
        p.setup.modules = detail::ModulePathsOf(*calling);
        p.setup.user = calling->user;
        p.setup.elevated = Elevated(*calling);
        p.setup.sessionId = calling->sessionId;
        if (!processTable().callingObject)
        {
            processTable().callingObject = std::make_shared<ProcessObject>();
            processTable().callingObject->id = id;
            processTable().callingObject->image = detail::ToUtf8(FileNameOf(calling->imagePath));
        }
        p.object = processTable().callingObject;
        return p;
    }
    auto it = processTable().table.find(id);
    if (it == processTable().table.end() || Ended(*it->second.object))
        return std::nullopt;
    LiveProcess p{id, it->second.setup, it->second.object, it->second.resident, false};
    if (it->second.process)
        p.setup.modules = detail::ModulePathsOf(*it->second.process);
    return p;
}

// The process behind a handle and the rights it was opened with (StateLock held).
std::optional<LiveProcess> FromHandle(HANDLE handle, DWORD needed)
{
    DWORD id = 0, access = ~0u;
    if (handle == kCurrentProcess)
        id = detail::CurrentProcess().id;
    else
    {
        auto object = std::dynamic_pointer_cast<ProcessObject>(detail::FindEndObject(handle));
        if (!object)
        {
            SetLastError(ERROR_INVALID_HANDLE);
            return std::nullopt;
        }
        id = object->id;
        if (auto it = processTable().openedAccess.find(handle); it != processTable().openedAccess.end())
            access = it->second;
    }
    if ((access & needed) != needed)
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return std::nullopt;
    }
    auto live = FindLive(id);
    if (!live)
        SetLastError(ERROR_INVALID_HANDLE); // the process has ended: its handle tells no more
    return live;
}

// Module handles a process status call hands out: the image first, as Windows lists it.
HMODULE ModuleHandle(size_t index)
{
    return index == 0 ? kInstance
                      : reinterpret_cast<HMODULE>(static_cast<ULONG_PTR>(0x10000000) + 0x10000 * index);
}

std::vector<WString> ModuleList(const LiveProcess& p)
{
    std::vector<WString> list{p.setup.imagePath};
    list.insert(list.end(), p.setup.modules.begin(), p.setup.modules.end());
    return list;
}

using detail::TokenObject;

BOOL Fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

// "taskkill /F /PID n": ends the process (exit 0), 128 when there is none, 1 when it may not.
DWORD TaskKill(const StartedProcess& record)
{
    WString line = detail::Fold(record.commandLine);
    size_t at = line.find(u"/PID");
    if (at == WString::npos)
        return 1;
    at += 4;
    while (at < line.size() && line[at] == u' ')
        ++at;
    DWORD pid = 0;
    size_t digits = 0;
    for (; at < line.size() && line[at] >= u'0' && line[at] <= u'9' && digits < 10; ++at, ++digits)
        pid = pid * 10 + (line[at] - u'0');
    if (digits == 0)
        return 1;
    HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, pid);
    if (!process)
        return GetLastError() == ERROR_ACCESS_DENIED ? 1 : 128;
    BOOL ended = TerminateProcess(process, 1);
    CloseHandle(process);
    return ended ? 0 : 1;
}
} // namespace
} // namespace sim

namespace sim::detail
{
DWORD ShellProcessId()
{
    std::lock_guard g(StateLock());
    for (const auto& [id, entry] : processTable().table)
        if (entry.setup.shell && !Ended(*entry.object))
            return id;
    return 0;
}
} // namespace sim::detail

DWORD Processes::Add(const ProcessSetup& setup)
{
    std::lock_guard g(detail::StateLock());
    TableEntry entry;
    entry.setup = setup;
    entry.setup.imagePath = detail::FullPath(setup.imagePath);
    entry.resident = true;
    entry.object = std::make_shared<ProcessObject>();
    entry.object->id = processTable().nextProcessId;
    processTable().nextProcessId += 4;
    entry.object->image = detail::ToUtf8(FileNameOf(entry.setup.imagePath));
    processTable().table[entry.object->id] = entry;
    return entry.object->id;
}

// The session of a running process: the thread's own, or its row in the process table.
BOOL WINAPI ProcessIdToSessionId(DWORD processId, DWORD* sessionId)
{
    if (!sessionId)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard g(sim::detail::StateLock());
    if (processId == sim::detail::CurrentProcess().id)
    {
        *sessionId = sim::detail::CurrentProcess().sessionId;
        return TRUE;
    }
    auto live = sim::FindLive(processId);
    if (!live)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *sessionId = live->setup.sessionId;
    return TRUE;
}

bool Processes::Running(DWORD processId) const
{
    std::lock_guard g(detail::StateLock());
    return FindLive(processId).has_value();
}

std::optional<DWORD> Processes::ExitCode(DWORD processId) const
{
    std::lock_guard g(detail::StateLock());
    auto it = processTable().table.find(processId);
    if (it == processTable().table.end() || !Ended(*it->second.object))
        return std::nullopt;
    std::lock_guard s(detail::Sched().mu);
    return it->second.object->exitCode;
}

HANDLE WINAPI OpenProcess(DWORD desiredAccess, BOOL, DWORD processId)
{
    SIM_FAULT_POINT("OpenProcess", nullptr);
    std::lock_guard g(detail::StateLock());
    auto live = processId ? FindLive(processId) : std::nullopt;
    if (!live)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!live->setup.accessible && (desiredAccess & ~(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE)))
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    // An elevated process is out of reach of one that is not.
    if (live->setup.elevated && !Elevated(detail::CurrentProcess()) &&
        (desiredAccess & ~(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE)))
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    HANDLE handle = detail::AddHandle(live->object);
    processTable().openedAccess[handle] = desiredAccess;
    return handle;
}

BOOL WINAPI TerminateProcess(HANDLE process, UINT exitCode)
{
    SIM_FAULT_POINT("TerminateProcess", FALSE);
    std::lock_guard g(detail::StateLock());
    auto live = FromHandle(process, PROCESS_TERMINATE);
    if (!live)
        return FALSE;
    // A program running on a thread of the machine (and the test itself) cannot be cut off
    // mid-instruction here; only processes of the table end from outside.
    if (!live->resident)
        return Fail(ERROR_ACCESS_DENIED);
    std::lock_guard s(detail::Sched().mu);
    detail::EndLocked(*live->object, exitCode);
    return TRUE;
}

BOOL WINAPI K32EnumProcesses(DWORD* processIds, DWORD cb, LPDWORD bytesReturned)
{
    SIM_FAULT_POINT("K32EnumProcesses", FALSE);
    if (!processIds || !bytesReturned)
        return Fail(ERROR_INVALID_PARAMETER);
    std::lock_guard g(detail::StateLock());
    std::vector<DWORD> ids{CallingProcess()->id};
    for (const auto& [id, entry] : processTable().table)
        if (!Ended(*entry.object))
            ids.push_back(id);
    DWORD count = std::min<DWORD>(static_cast<DWORD>(ids.size()), cb / sizeof(DWORD));
    std::copy_n(ids.begin(), count, processIds);
    *bytesReturned = count * sizeof(DWORD);
    return TRUE;
}

BOOL WINAPI K32EnumProcessModulesEx(HANDLE process, HMODULE* modules, DWORD cb, LPDWORD needed,
                                    DWORD filterFlag)
{
    SIM_FAULT_POINT("K32EnumProcessModulesEx", FALSE);
    if (!needed || filterFlag > LIST_MODULES_ALL || (cb && !modules))
        return Fail(ERROR_INVALID_PARAMETER);
    std::lock_guard g(detail::StateLock());
    auto live = FromHandle(process, PROCESS_QUERY_INFORMATION | PROCESS_VM_READ);
    if (!live)
        return FALSE;
    std::vector<WString> list = ModuleList(*live);
    *needed = static_cast<DWORD>(list.size() * sizeof(HMODULE));
    for (size_t i = 0; i < list.size() && (i + 1) * sizeof(HMODULE) <= cb; ++i)
        modules[i] = ModuleHandle(i);
    return TRUE;
}

DWORD WINAPI K32GetModuleFileNameExW(HANDLE process, HMODULE module, LPWSTR fileName, DWORD size)
{
    SIM_FAULT_POINT("K32GetModuleFileNameExW", 0);
    if (!fileName || size == 0)
    {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::lock_guard g(detail::StateLock());
    auto live = FromHandle(process, PROCESS_QUERY_INFORMATION | PROCESS_VM_READ);
    if (!live)
        return 0;
    std::vector<WString> list = ModuleList(*live);
    const WString* path = nullptr;
    for (size_t i = 0; i < list.size(); ++i)
        if (!module ? i == 0 : ModuleHandle(i) == module)
            path = &list[i];
    if (!path)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    DWORD copied = std::min<DWORD>(static_cast<DWORD>(path->size()), size - 1);
    std::copy_n(path->begin(), copied, fileName);
    fileName[copied] = 0;
    return copied;
}

BOOL WINAPI OpenProcessToken(HANDLE process, DWORD desiredAccess, PHANDLE token)
{
    SIM_FAULT_POINT("OpenProcessToken", FALSE);
    if (!token)
        return Fail(ERROR_INVALID_PARAMETER);
    std::lock_guard g(detail::StateLock());
    auto object = std::make_shared<TokenObject>();
    object->access = desiredAccess;
    if (process == kCurrentProcess)
    {
        // A program's own token, whether it runs as the calling program or as one the code started.
        const detail::Process& self = detail::CurrentProcess();
        object->user = self.user;
        object->elevated = Elevated(self);
        object->processId = self.id;
        *token = detail::AddHandle(object);
        return TRUE;
    }
    auto live = FromHandle(process, PROCESS_QUERY_INFORMATION);
    if (!live)
        return FALSE;
    object->user = live->setup.user;
    object->elevated = live->setup.elevated;
    object->processId = live->id;
    *token = detail::AddHandle(object);
    return TRUE;
}

BOOL WINAPI DuplicateTokenEx(HANDLE existingToken, DWORD desiredAccess, LPSECURITY_ATTRIBUTES,
                             SECURITY_IMPERSONATION_LEVEL level, TOKEN_TYPE type, PHANDLE newToken)
{
    SIM_FAULT_POINT("DuplicateTokenEx", FALSE);
    if (!newToken || level > SecurityDelegation || (type != TokenPrimary && type != TokenImpersonation))
        return Fail(ERROR_INVALID_PARAMETER);
    std::lock_guard g(detail::StateLock());
    auto source = detail::FindHandleOf<TokenObject>(existingToken);
    if (!source)
        return Fail(ERROR_INVALID_HANDLE);
    if (!(source->access & TOKEN_DUPLICATE))
        return Fail(ERROR_ACCESS_DENIED);
    auto copy = std::make_shared<TokenObject>(*source);
    copy->primary = type == TokenPrimary;
    copy->access = (desiredAccess & MAXIMUM_ALLOWED)
                       ? source->access | TOKEN_ASSIGN_PRIMARY | TOKEN_QUERY | TOKEN_DUPLICATE
                       : desiredAccess;
    *newToken = detail::AddHandle(copy);
    return TRUE;
}

BOOL WINAPI CreateProcessWithTokenW(HANDLE token, DWORD, LPCWSTR applicationName, LPWSTR commandLine,
                                    DWORD creationFlags, LPVOID environment, LPCWSTR currentDirectory,
                                    LPSTARTUPINFOW startupInfo, LPPROCESS_INFORMATION processInformation)
{
    SIM_FAULT_POINT("CreateProcessWithTokenW", FALSE);
    WString user;
    bool elevated = false;
    {
        std::lock_guard g(detail::StateLock());
        auto object = detail::FindHandleOf<TokenObject>(token);
        if (!object)
            return Fail(ERROR_INVALID_HANDLE);
        constexpr DWORD kNeeded = TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY;
        if (!object->primary || (object->access & kNeeded) != kNeeded)
            return Fail(ERROR_ACCESS_DENIED);
        // Starting a process with another's token takes the administrator's privilege.
        if (!Elevated(detail::CurrentProcess()))
            return Fail(ERROR_PRIVILEGE_NOT_HELD);
        user = object->user;
        elevated = object->elevated;
    }
    // Without a block of its own the process gets one made from the user's profile, not the caller's.
    return CreateProcessAs(applicationName, commandLine, currentDirectory, startupInfo, processInformation,
                           user, elevated, false, environment, creationFlags);
}

DWORD WINAPI GetCurrentDirectoryW(DWORD bufferLength, LPWSTR buffer)
{
    SIM_FAULT_POINT("GetCurrentDirectoryW", 0);
    std::lock_guard g(detail::StateLock());
    const WString& folder = detail::CurrentProcess().currentDirectory;
    if (!buffer || bufferLength <= folder.size())
        return static_cast<DWORD>(folder.size() + 1);
    std::copy(folder.begin(), folder.end(), buffer);
    buffer[folder.size()] = 0;
    return static_cast<DWORD>(folder.size());
}

BOOL WINAPI SetCurrentDirectoryW(LPCWSTR pathName)
{
    SIM_FAULT_POINT("SetCurrentDirectoryW", FALSE);
    if (!pathName || !*pathName)
        return Fail(ERROR_INVALID_PARAMETER);
    std::lock_guard g(detail::StateLock());
    WString full = detail::FullPath(pathName);
    while (full.size() > 3 && (full.back() == u'\\' || full.back() == u'/'))
        full.pop_back();
    auto host = detail::HostPathOf(full);
    if (!detail::HostIsDirectory(host))
        return Fail(!detail::HostIsDirectory(host.parent_path())                  ? ERROR_PATH_NOT_FOUND
                    : GetFileAttributesW(full.c_str()) == INVALID_FILE_ATTRIBUTES ? ERROR_FILE_NOT_FOUND
                                                                                  : ERROR_DIRECTORY);
    detail::CurrentProcess().currentDirectory = full;
    return TRUE;
}

namespace
{
UINT CopyFolder(WStringView folder, LPWSTR buffer, UINT size)
{
    if (!buffer || size <= folder.size())
        return static_cast<UINT>(folder.size() + 1);
    std::copy(folder.begin(), folder.end(), buffer);
    buffer[folder.size()] = 0;
    return static_cast<UINT>(folder.size());
}
} // namespace

UINT WINAPI GetSystemDirectoryW(LPWSTR buffer, UINT size)
{
    SIM_FAULT_POINT("GetSystemDirectoryW", 0);
    return CopyFolder(u"C:\\Windows\\System32", buffer, size);
}

UINT WINAPI GetWindowsDirectoryW(LPWSTR buffer, UINT size)
{
    return CopyFolder(u"C:\\Windows", buffer, size);
}

namespace sim::detail
{
bool ImageInUse(WStringView fullPath)
{
    std::lock_guard g(StateLock());
    if (Part<RunningImages>().folded.count(Fold(fullPath)) > 0)
        return true;
    for (const auto& [id, entry] : ::sim::processTable().table)
        if (entry.object && !::sim::Ended(*entry.object) && EqualNoCase(entry.setup.imagePath, fullPath))
            return true;
    return false;
}
} // namespace sim::detail
