// The loader: one table of modules, the system's DLLs (found by name in System32) and the product
// DLLs the test program registered, loaded and freed per process with their reference counts and
// entry points; the few kernel32 exports system code looks up at run time; and the DLL search
// settings a process makes (recorded for tests). Any other name is "not found".
#include "kernel32/loader.h"

#include "core/internal.h"
#include "core/state.h"

#include <platform/dllentry.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <vector>

LONG WINAPI RtlGetVersion(PRTL_OSVERSIONINFOW info); // ntdll's, in version.cpp

namespace sim::detail
{
namespace
{
constexpr WStringView kSystem32 = u"C:\\Windows\\System32\\";

struct SystemModule
{
    WStringView fileName;
    bool alwaysLoaded; // mapped into every process before its code runs: the ones the programs import
};

constexpr std::array<SystemModule, 20> kSystemModules = {{
    {u"ntdll.dll", true},     {u"kernel32.dll", true}, {u"user32.dll", false},   {u"gdi32.dll", false},
    {u"advapi32.dll", true},  {u"shell32.dll", false}, {u"shlwapi.dll", false},  {u"comdlg32.dll", false},
    {u"comctl32.dll", false}, {u"ole32.dll", false},   {u"version.dll", false},  {u"winspool.drv", true},
    {u"setupapi.dll", true},  {u"ws2_32.dll", false},  {u"iphlpapi.dll", false}, {u"prntvpt.dll", false},
    {u"cfgmgr32.dll", false}, {u"newdev.dll", false},  {u"compstui.dll", false}, {u"hhctrl.ocx", false},
}};

struct Module
{
    WString fileName;
    bool system = false;
    bool alwaysLoaded = false;
    std::vector<DllExport> exports;
    DllEntryPoint dllMain = nullptr;
};

// System modules first, then product DLLs in the order registered; filled before main.
std::vector<Module>& Modules()
{
    static std::vector<Module> modules = [] {
        std::vector<Module> m;
        for (const SystemModule& s : kSystemModules)
            m.push_back(Module{WString(s.fileName), true, s.alwaysLoaded, {}, nullptr});
        for (Module& module : m)
            if (module.fileName == u"prntvpt.dll")
                module.exports = PrintTicketExports();
        return m;
    }();
    return modules;
}

HMODULE HandleOf(size_t index)
{
    return reinterpret_cast<HMODULE>(static_cast<ULONG_PTR>(0x7FF00000) + 0x100000 * index);
}

std::optional<size_t> IndexOf(HMODULE module)
{
    for (size_t i = 0; i < Modules().size(); ++i)
        if (HandleOf(i) == module)
            return i;
    return std::nullopt;
}

template <typename F> void (*Export(F* f))()
{
    return reinterpret_cast<void (*)()>(f);
}

// The system exports that code finds with GetProcAddress: those older systems lack, and those of
// the other system DLLs, listed by the parts of the machine that implement them.
const std::map<std::pair<WString, std::string>, void (*)(), std::less<>>& SystemExports()
{
    static const std::map<std::pair<WString, std::string>, void (*)(), std::less<>> exports = [] {
        std::map<std::pair<WString, std::string>, void (*)(), std::less<>> m = {
            {{u"kernel32.dll", "SetDefaultDllDirectories"}, Export(&SetDefaultDllDirectories)},
            {{u"kernel32.dll", "SetDllDirectoryW"}, Export(&SetDllDirectoryW)},
            {{u"kernel32.dll", "SetSearchPathMode"}, Export(&SetSearchPathMode)},
            {{u"kernel32.dll", "LoadLibraryExW"}, Export(&LoadLibraryExW)},
            {{u"kernel32.dll", "GetModuleHandleW"}, Export(&GetModuleHandleW)},
            {{u"kernel32.dll", "SetDllDirectoryA"}, Export(&SetDllDirectoryA)},
            {{u"kernel32.dll", "LoadLibraryExA"}, Export(&LoadLibraryExA)},
            {{u"kernel32.dll", "GetModuleHandleA"}, Export(&GetModuleHandleA)},
            {{u"kernel32.dll", "GetNativeSystemInfo"}, Export(&GetNativeSystemInfo)},
            {{u"kernel32.dll", "IsWow64Process"}, Export(&IsWow64Process)},
            {{u"kernel32.dll", "GetVersionExW"}, Export(&GetVersionExW)},
            {{u"kernel32.dll", "GetVersionExA"}, Export(&GetVersionExA)},
            {{u"kernel32.dll", "VerifyVersionInfoW"}, Export(&VerifyVersionInfoW)},
            {{u"kernel32.dll", "VerifyVersionInfoA"}, Export(&VerifyVersionInfoA)},
            {{u"kernel32.dll", "VerSetConditionMask"}, Export(&VerSetConditionMask)},
            {{u"ntdll.dll", "RtlGetVersion"}, Export(&RtlGetVersion)},
            {{u"ntdll.dll", "VerSetConditionMask"}, Export(&VerSetConditionMask)},
        };
        for (auto list : {ServiceManagerExports, PortMonitorExports, DeviceExports, PropertySheetHostExports,
                          HtmlHelpExports})
            for (const SystemExport& e : list())
                m[{WString(e.dll), e.name}] = e.address;
        return m;
    }();
    return exports;
}

// The system DLLs a test took away from this machine.
struct Removed : PartBase
{
    std::vector<WString> modules; // folded file names
};

Removed& removed()
{
    return Part<Removed>();
}

bool ModuleRemoved(const WString& fileName)
{
    return std::ranges::find(removed().modules, Fold(fileName)) != removed().modules.end();
}
} // namespace

// A module mapped only for its resources: its handle is its own, with the low bits Windows sets
// (1 a data file, 2 an image mapping), and it holds no reference to the module.
struct ResourceMapping
{
    size_t index = 0;
    ULONG_PTR kind = 1;
    std::shared_ptr<KernelObject> hold; // the file, kept from writers (the exclusive data file)
};

struct LoaderState
{
    std::vector<int> references;   // by module index
    std::vector<size_t> loadOrder; // modules loaded on demand, in the order they came
    DllSearch search;
    std::map<ULONG_PTR, ResourceMapping> mappings; // by base address

    int& References(size_t index)
    {
        if (references.size() < Modules().size())
            references.resize(Modules().size());
        return references[index];
    }
};

namespace
{
struct Loader : PartBase
{
    std::map<WString, DllSearch> lastByImage;                 // by folded image path
    std::set<std::pair<WString, std::string>> removedExports; // system exports a test took away
    std::vector<std::pair<WString, DWORD>> loads;             // LoadLibraryExW's names and flags
};

Loader& loader()
{
    return Part<Loader>();
}

// The calling process's loader state (StateLock held).
LoaderState& StateOfProcess()
{
    Process& p = CurrentProcess();
    if (!p.loader)
    {
        p.loader = std::make_shared<LoaderState>();
        for (size_t i = 0; i < Modules().size(); ++i)
            p.loader->References(i) = Modules()[i].alwaysLoaded ? 1 : 0;
    }
    return *p.loader;
}

void Record(const LoaderState& state)
{
    loader().lastByImage[Fold(CurrentProcess().imagePath)] = state.search;
}

// A product DLL asked for by its path loads only from a file there, as on a machine without it.
bool IsFileAt(const WString& path)
{
    std::error_code ec;
    return std::filesystem::is_regular_file(HostPathOf(FullPath(path)), ec);
}

// The module a name stands for. ".dll" is added to a file name without an extension; a trailing dot
// means the name has none. A system module is found by its bare name or by its full path in
// System32; a product DLL by its bare file name, or by a path where its file lies.
std::optional<size_t> Resolve(WStringView name)
{
    WString file(name);
    size_t slash = file.find_last_of(u"\\/");
    bool hasPath = slash != WString::npos || file.find(u':') != WString::npos;
    WString base = hasPath ? file.substr(slash == WString::npos ? file.find(u':') + 1 : slash + 1) : file;
    if (!base.empty() && base.back() == u'.')
    {
        base.pop_back();
        file.pop_back();
    }
    else if (base.find(u'.') == WString::npos)
    {
        base += u".dll";
        file += u".dll";
    }
    for (size_t i = 0; i < Modules().size(); ++i)
    {
        const Module& m = Modules()[i];
        if (!EqualNoCase(base, m.fileName) || (m.system && ModuleRemoved(m.fileName)))
            continue;
        if (!hasPath)
            return i;
        if (m.system ? EqualNoCase(FullPath(file), WString(kSystem32) + m.fileName) : IsFileAt(file))
            return i;
    }
    return std::nullopt;
}

BOOL Fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

constexpr ULONG_PTR kMappingBase = 0x60000000;
constexpr ULONG_PTR kMappingStep = 0x10000;
constexpr ULONG_PTR kMappingKinds = 3;

// The calling process's resource mapping behind a handle (StateLock held).
ResourceMapping* MappingOf(HMODULE module)
{
    const auto value = reinterpret_cast<ULONG_PTR>(module);
    auto& mappings = StateOfProcess().mappings;
    auto it = mappings.find(value & ~kMappingKinds);
    return it != mappings.end() && it->second.kind == (value & kMappingKinds) ? &it->second : nullptr;
}

// A module index for the resource functions: a loaded module's own, or that of a mapping the process
// holds.
std::optional<size_t> ResourceIndexOf(HMODULE module)
{
    if (auto index = IndexOf(module))
        return index;
    if (!(reinterpret_cast<ULONG_PTR>(module) & kMappingKinds))
        return std::nullopt;
    std::lock_guard g(StateLock());
    const ResourceMapping* mapping = MappingOf(module);
    return mapping ? std::optional<size_t>(mapping->index) : std::nullopt;
}

// LoadLibraryExW for a module's resources alone: nothing of its code runs. A module the process has
// loaded already serves as it is, with one reference more; otherwise each call maps it anew.
HMODULE MapForResources(WStringView name, DWORD flags)
{
    std::lock_guard g(StateLock());
    auto index = Resolve(name);
    if (!index)
    {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    LoaderState& state = StateOfProcess();
    if (state.References(*index) > 0)
    {
        ++state.References(*index);
        return HandleOf(*index);
    }
    ResourceMapping mapping{*index, (flags & LOAD_LIBRARY_AS_IMAGE_RESOURCE) ? 2u : 1u, nullptr};
    if (flags & LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE)
    {
        mapping.hold = HoldForReading(name);
        if (!mapping.hold && GetLastError() == ERROR_SHARING_VIOLATION)
            return nullptr;
    }
    ULONG_PTR base = kMappingBase;
    while (state.mappings.contains(base))
        base += kMappingStep;
    state.mappings[base] = std::move(mapping);
    return reinterpret_cast<HMODULE>(base | state.mappings[base].kind);
}
} // namespace

HMODULE LoadedModule(WStringView name)
{
    std::lock_guard g(StateLock());
    auto index = Resolve(name);
    if (index && StateOfProcess().References(*index) > 0)
        return HandleOf(*index);
    WStringView image = CurrentProcess().imagePath;
    size_t slash = image.find_last_of(u"\\/");
    if (EqualNoCase(name, image.substr(slash == WStringView::npos ? 0 : slash + 1)) ||
        EqualNoCase(name, image))
        return GetModuleHandleW(nullptr);
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

std::vector<WString> ModulePathsOf(Process& process)
{
    std::lock_guard g(StateLock());
    std::vector<WString> paths;
    for (size_t i = 0; i < Modules().size(); ++i)
    {
        int references = process.loader && i < process.loader->references.size()
                             ? process.loader->references[i]
                         : Modules()[i].alwaysLoaded ? 1
                                                     : 0;
        if (references > 0 && !(Modules()[i].system && ModuleRemoved(Modules()[i].fileName)))
            paths.push_back(Modules()[i].system ? WString(kSystem32) + Modules()[i].fileName
                                                : Modules()[i].fileName);
    }
    return paths;
}

// The entry point runs without the machine's lock, as other threads go on meanwhile; a DLL whose
// attach fails is detached and unloaded again at once.
HMODULE LoadModule(WStringView name)
{
    DllEntryPoint attach = nullptr;
    HMODULE module = nullptr;
    {
        std::lock_guard g(StateLock());
        auto index = Resolve(name);
        if (!index)
        {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
        LoaderState& state = StateOfProcess();
        if (state.References(*index)++ == 0)
        {
            state.loadOrder.push_back(*index);
            attach = Modules()[*index].dllMain;
        }
        module = HandleOf(*index);
    }
    if (attach && !attach(module, DLL_PROCESS_ATTACH, nullptr))
    {
        attach(module, DLL_PROCESS_DETACH, nullptr);
        std::lock_guard g(StateLock());
        LoaderState& state = StateOfProcess();
        --state.References(*IndexOf(module));
        std::erase(state.loadOrder, *IndexOf(module));
        SetLastError(ERROR_DLL_INIT_FAILED);
        return nullptr;
    }
    return module;
}

void EndProcessModules()
{
    std::vector<size_t> detach;
    {
        std::lock_guard g(StateLock());
        LoaderState& state = StateOfProcess();
        detach.assign(state.loadOrder.rbegin(), state.loadOrder.rend());
        for (size_t index : detach)
            state.References(index) = 0;
        state.loadOrder.clear();
        state.mappings.clear();
    }
    // A non-null reserved argument tells the entry point the process is ending.
    static int ending;
    for (size_t index : detach)
        if (DllEntryPoint dllMain = Modules()[index].dllMain)
            dllMain(HandleOf(index), DLL_PROCESS_DETACH, &ending);
}

void (*ExportOf(HMODULE module, LPCSTR procName))()
{
    std::lock_guard g(StateLock());
    auto index = IndexOf(module);
    if (!index || StateOfProcess().References(*index) == 0)
    {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    const Module& m = Modules()[*index];
    bool byOrdinal = IS_INTRESOURCE(procName);
    if (m.system && !byOrdinal)
    {
        std::pair<WString, std::string> key{m.fileName, procName};
        auto it = SystemExports().find(key);
        if (it != SystemExports().end() && !loader().removedExports.contains(key))
            return it->second;
    }
    for (const DllExport& e : m.exports)
        if (byOrdinal ? e.ordinal == reinterpret_cast<ULONG_PTR>(procName)
                      : std::strcmp(e.name, procName) == 0)
            return e.address;
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
}

// The table is filled before main and never changes after.
WString ProductModuleName(HMODULE module)
{
    auto index = ResourceIndexOf(module);
    return index && !Modules()[*index].system ? Modules()[*index].fileName : WString();
}

WString SystemModuleName(HMODULE module)
{
    auto index = ResourceIndexOf(module);
    return index && Modules()[*index].system ? Modules()[*index].fileName : WString();
}

} // namespace sim::detail

namespace sim
{
bool RegisterDll(const char16_t* fileName, std::initializer_list<DllExport> exports, DllEntryPoint dllMain)
{
    detail::Modules().push_back(detail::Module{fileName, false, false, exports, dllMain});
    return true;
}

void Processes::RemoveSystemModule(WStringView fileName)
{
    std::lock_guard g(detail::StateLock());
    detail::removed().modules.push_back(detail::Fold(fileName));
}

void Machine::RemoveSystemExport(WStringView module, std::string_view name)
{
    std::lock_guard g(detail::StateLock());
    for (const detail::Module& m : detail::Modules())
        if (m.system && detail::EqualNoCase(m.fileName, module))
            detail::loader().removedExports.emplace(m.fileName, std::string(name));
}

std::vector<std::pair<WString, DWORD>> Processes::LibraryLoads() const
{
    std::lock_guard g(detail::StateLock());
    return detail::loader().loads;
}

std::optional<DllSearch> Processes::DllSearchOf(WStringView imagePath) const
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
    constexpr DWORD kResourceFlags =
        LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE | LOAD_LIBRARY_AS_IMAGE_RESOURCE;
    if (!fileName || !*fileName || file || (flags & ~(kSearchFlags | kResourceFlags)))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    {
        std::lock_guard g(StateLock());
        loader().loads.emplace_back(fileName, flags);
    }
    HMODULE module = (flags & kResourceFlags) ? MapForResources(fileName, flags) : LoadModule(fileName);
    if (module)
        SetLastError(ERROR_SUCCESS);
    return module;
}

HMODULE WINAPI LoadLibraryW(LPCWSTR fileName)
{
    return LoadLibraryExW(fileName, nullptr, 0);
}

BOOL WINAPI FreeLibrary(HMODULE module)
{
    DllEntryPoint detach = nullptr;
    {
        std::lock_guard g(StateLock());
        if (MappingOf(module))
        {
            StateOfProcess().mappings.erase(reinterpret_cast<ULONG_PTR>(module) & ~kMappingKinds);
            return TRUE;
        }
        auto index = IndexOf(module);
        if (!index || StateOfProcess().References(*index) == 0)
            return Fail(ERROR_INVALID_HANDLE);
        int& references = StateOfProcess().References(*index);
        if (Modules()[*index].alwaysLoaded && references == 1) // the process's own reference stays
            return TRUE;
        if (--references == 0)
        {
            std::erase(StateOfProcess().loadOrder, *index);
            detach = Modules()[*index].dllMain;
        }
    }
    if (detach)
        detach(module, DLL_PROCESS_DETACH, nullptr);
    return TRUE;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName)
{
    SIM_FAULT_POINT("GetProcAddress", nullptr);
    if (!module) // the program's own image exports nothing
    {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(ExportOf(module, procName));
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

HMODULE WINAPI LoadLibraryExA(LPCSTR fileName, HANDLE file, DWORD flags)
{
    WString wide = fileName ? Widen(fileName) : WString();
    return LoadLibraryExW(fileName ? wide.c_str() : nullptr, file, flags);
}

HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName)
{
    if (!moduleName)
        return GetModuleHandleW(nullptr);
    WString wide = Widen(moduleName);
    return GetModuleHandleW(wide.c_str());
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

// Thread notifications are never sent to a simulated DLL; a module the process has is all it takes.
BOOL WINAPI DisableThreadLibraryCalls(HMODULE module)
{
    if (!module)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
