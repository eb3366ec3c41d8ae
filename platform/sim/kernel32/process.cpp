// Processes: programs are registered by file name and run on threads of their own, each with its
// own module path, command line and current folder; what the code starts is recorded.
#include "core/internal.h"
#include "core/state.h"
#include "kernel32/loader.h"

#include "core/scheduler.h"

#include <platform/entry.h>

#include <atomic>
#include <cstring>
#include <iostream>
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
    std::vector<std::thread> running;
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

DWORD RunEntry(const Entry& entry, std::shared_ptr<detail::Process> process, int show)
{
    DWORD exitCode = 0;
    // Waiting starts before the program does, so that the program's end can hand the turn back.
    detail::BlockedScope waiting;
    std::thread thread([&] {
        detail::SimThreadScope simulated; // takes part in the machine's scheduling
        t_process = process;
        WString tail = CommandTail(process->commandLine);
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
        catch (const std::exception& e)
        {
            std::cerr << "simulated program ended by an exception: " << e.what() << "\n";
            exitCode = 0xE06D7363;
        }
        detail::EndProcessModules();
        waiting.Wake();
    });
    thread.join();
    return exitCode;
}

std::shared_ptr<detail::Process> NewProcess(WStringView image, WStringView commandLine, WStringView cwd)
{
    auto p = std::make_shared<detail::Process>();
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

// Starts a recorded process: its stand-in or registered program runs on a thread of its own.
void Launch(const StartedProcess& record)
{
    WString key = detail::Fold(FileNameOf(record.applicationPath));
    Processes& ps = processes();
    if (auto it = ps.standIns.find(key); it != ps.standIns.end())
    {
        StandIn standIn = it->second;
        ps.running.emplace_back([standIn, record] { standIn(record); });
        return;
    }
    if (auto it = programs().find(key); it != programs().end())
    {
        Entry entry = it->second;
        auto process = NewProcess(record.applicationPath, record.commandLine, record.currentDirectory);
        detail::ExpectSimThread(); // busy from now on, not once its thread gets going
        ps.running.emplace_back(
            [entry, process, show = record.showCommand] { RunEntry(entry, process, show); });
    }
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

void JoinPrograms()
{
    // A program may start another while it ends, so the list is taken until it stays empty.
    for (;;)
    {
        std::vector<std::thread> running;
        {
            std::lock_guard g(StateLock());
            running.swap(processes().running);
        }
        if (running.empty())
            break;
        for (auto& t : running)
            t.join();
    }
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
        auto it = programs().find(detail::Fold(FileNameOf(imagePath)));
        if (it == programs().end())
            return 0xC0000135; // the program cannot start: not found
        entry = it->second;
    }
    WString full = detail::FullPath(imagePath);
    WString commandLine = (full.find(u' ') != WString::npos ? u"\"" + full + u"\"" : full);
    if (!arguments.empty())
        commandLine += u" " + WString(arguments);
    detail::ExpectSimThread();
    return RunEntry(entry, NewProcess(full, commandLine, {}), showCommand);
}

void Machine::RegisterStandIn(WStringView fileName, StandIn standIn)
{
    std::lock_guard g(detail::StateLock());
    processes().standIns[detail::Fold(fileName)] = std::move(standIn);
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
