// The loader: the system's DLLs, found by name in System32, loaded and freed per process with their
// reference counts, the few exports system code looks up at run time, and the DLL search settings a
// process makes (recorded for tests). Only system DLLs load; any other name is "not found".
#include "core/internal.h"

#include <array>
#include <cstring>
#include <map>

namespace sim::detail
{
namespace
{
constexpr WStringView kSystem32 = u"C:\\Windows\\System32\\";

struct SystemModule
{
    WStringView fileName;
    bool alwaysLoaded; // mapped into every process before its code runs
};

constexpr std::array<SystemModule, 15> kModules = {{
    {u"ntdll.dll", true},
    {u"kernel32.dll", true},
    {u"user32.dll", false},
    {u"gdi32.dll", false},
    {u"advapi32.dll", false},
    {u"shell32.dll", false},
    {u"shlwapi.dll", false},
    {u"comdlg32.dll", false},
    {u"comctl32.dll", false},
    {u"ole32.dll", false},
    {u"version.dll", false},
    {u"winspool.drv", false},
    {u"setupapi.dll", false},
    {u"ws2_32.dll", false},
    {u"iphlpapi.dll", false},
}};

HMODULE HandleOf(size_t index)
{
    return reinterpret_cast<HMODULE>(static_cast<ULONG_PTR>(0x7FF00000) + 0x100000 * index);
}

std::optional<size_t> IndexOf(HMODULE module)
{
    for (size_t i = 0; i < kModules.size(); ++i)
        if (HandleOf(i) == module)
            return i;
    return std::nullopt;
}

template <typename F> void (*Export(F* f))()
{
    return reinterpret_cast<void (*)()>(f);
}

// kernel32's exports that code finds with GetProcAddress because older systems lack them.
const std::map<std::string, void (*)(), std::less<>>& Kernel32Exports()
{
    static const std::map<std::string, void (*)(), std::less<>> exports = {
        {"SetDefaultDllDirectories", Export(&SetDefaultDllDirectories)},
        {"SetDllDirectoryW", Export(&SetDllDirectoryW)},
        {"SetSearchPathMode", Export(&SetSearchPathMode)},
        {"LoadLibraryExW", Export(&LoadLibraryExW)},
        {"GetModuleHandleW", Export(&GetModuleHandleW)},
    };
    return exports;
}

} // namespace

struct LoaderState
{
    std::array<int, kModules.size()> references{};
    DllSearch search;
};

namespace
{
struct Loader
{
    std::map<WString, DllSearch> lastByImage; // by folded image path
};

Loader& loader()
{
    static Loader l;
    return l;
}

// The calling process's loader state (StateLock held).
LoaderState& StateOfProcess()
{
    Process& p = CurrentProcess();
    if (!p.loader)
    {
        p.loader = std::make_shared<LoaderState>();
        for (size_t i = 0; i < kModules.size(); ++i)
            p.loader->references[i] = kModules[i].alwaysLoaded ? 1 : 0;
    }
    return *p.loader;
}

void Record(const LoaderState& state)
{
    loader().lastByImage[Fold(CurrentProcess().imagePath)] = state.search;
}

// The system module a name stands for: a bare file name (".dll" added when it has no extension) or a
// full path into System32.
std::optional<size_t> Resolve(WStringView name)
{
    WString file(name);
    size_t slash = file.find_last_of(u"\\/");
    bool hasPath = slash != WString::npos || file.find(u':') != WString::npos;
    WString base = hasPath ? file.substr(slash == WString::npos ? file.find(u':') + 1 : slash + 1) : file;
    if (base.find(u'.') == WString::npos)
    {
        base += u".dll";
        file += u".dll";
    }
    for (size_t i = 0; i < kModules.size(); ++i)
    {
        if (!EqualNoCase(base, kModules[i].fileName))
            continue;
        if (!hasPath || EqualNoCase(FullPath(file), WString(kSystem32) + WString(kModules[i].fileName)))
            return i;
    }
    return std::nullopt;
}

BOOL Fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}
} // namespace

HMODULE LoadedModule(WStringView name)
{
    std::lock_guard g(StateLock());
    auto index = Resolve(name);
    if (index && StateOfProcess().references[*index] > 0)
        return HandleOf(*index);
    WStringView image = CurrentProcess().imagePath;
    size_t slash = image.find_last_of(u"\\/");
    if (EqualNoCase(name, image.substr(slash == WStringView::npos ? 0 : slash + 1)) ||
        EqualNoCase(name, image))
        return GetModuleHandleW(nullptr);
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

void ResetLoader()
{
    std::lock_guard g(StateLock());
    loader() = Loader{};
    CurrentProcess().loader.reset();
}

} // namespace sim::detail

namespace sim
{
std::optional<DllSearch> Machine::DllSearchOf(WStringView imagePath) const
{
    std::lock_guard g(detail::StateLock());
    auto& last = detail::loader().lastByImage;
    auto it = last.find(detail::Fold(imagePath));
    if (it == last.end())
        return std::nullopt;
    return it->second;
}
} // namespace sim

using namespace sim;
using namespace sim::detail;

HMODULE WINAPI LoadLibraryExW(LPCWSTR fileName, HANDLE file, DWORD flags)
{
    SIM_FAULT_POINT("LoadLibraryExW", nullptr);
    constexpr DWORD kSearchFlags = LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_USER_DIRS |
                                   LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS;
    if (!fileName || !*fileName || file || (flags & ~kSearchFlags))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::lock_guard g(StateLock());
    auto index = Resolve(fileName);
    if (!index)
    {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    ++StateOfProcess().references[*index];
    SetLastError(ERROR_SUCCESS);
    return HandleOf(*index);
}

HMODULE WINAPI LoadLibraryW(LPCWSTR fileName)
{
    return LoadLibraryExW(fileName, nullptr, 0);
}

BOOL WINAPI FreeLibrary(HMODULE module)
{
    std::lock_guard g(StateLock());
    auto index = IndexOf(module);
    if (!index || StateOfProcess().references[*index] == 0)
        return Fail(ERROR_INVALID_HANDLE);
    int& references = StateOfProcess().references[*index];
    if (!kModules[*index].alwaysLoaded || references > 1) // the process's own reference stays
        --references;
    return TRUE;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName)
{
    SIM_FAULT_POINT("GetProcAddress", nullptr);
    std::lock_guard g(StateLock());
    auto index = IndexOf(module);
    if (module && (!index || StateOfProcess().references[*index] == 0))
    {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    bool byOrdinal = reinterpret_cast<ULONG_PTR>(procName) <= 0xFFFF;
    if (index && kModules[*index].fileName == u"kernel32.dll" && !byOrdinal)
    {
        auto it = Kernel32Exports().find(std::string_view(procName));
        if (it != Kernel32Exports().end())
            return reinterpret_cast<FARPROC>(it->second);
    }
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
}

BOOL WINAPI SetDllDirectoryW(LPCWSTR pathName)
{
    SIM_FAULT_POINT("SetDllDirectoryW", FALSE);
    std::lock_guard g(StateLock());
    LoaderState& state = StateOfProcess();
    if (pathName)
        state.search.dllDirectory = WString(pathName);
    else
        state.search.dllDirectory.reset();
    Record(state);
    return TRUE;
}

BOOL WINAPI SetDefaultDllDirectories(DWORD directoryFlags)
{
    constexpr DWORD kValid = LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_USER_DIRS |
                             LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS;
    if (directoryFlags == 0 || (directoryFlags & ~kValid))
        return Fail(ERROR_INVALID_PARAMETER);
    std::lock_guard g(StateLock());
    LoaderState& state = StateOfProcess();
    state.search.defaultDirectories = directoryFlags;
    Record(state);
    return TRUE;
}

BOOL WINAPI SetSearchPathMode(DWORD flags)
{
    bool enable = flags & BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE;
    bool disable = flags & BASE_SEARCH_PATH_DISABLE_SAFE_SEARCHMODE;
    bool permanent = flags & BASE_SEARCH_PATH_PERMANENT;
    constexpr DWORD kValid = BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE |
                             BASE_SEARCH_PATH_DISABLE_SAFE_SEARCHMODE | BASE_SEARCH_PATH_PERMANENT;
    if ((flags & ~kValid) || enable == disable || (disable && permanent))
        return Fail(ERROR_INVALID_PARAMETER);
    std::lock_guard g(StateLock());
    LoaderState& state = StateOfProcess();
    if (state.search.searchMode & BASE_SEARCH_PATH_PERMANENT)
        return Fail(ERROR_ACCESS_DENIED);
    state.search.searchMode = flags;
    Record(state);
    return TRUE;
}
