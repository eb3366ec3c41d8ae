#include <gtest/gtest.h>

#include <platform/dllentry.h>
#include <platform/entry.h>
#include <sim/desktop.h>
#include <sim/machine.h>

#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

namespace
{
// A product DLL as the test program registers it: its entry point logs which process it attaches
// to or detaches from, and can refuse to attach.
struct EntryCall
{
    DWORD reason;
    std::string process;
    bool processEnding = false; // the reserved argument is set
    bool operator==(const EntryCall&) const = default;
};
std::vector<EntryCall> g_entryCalls;
bool g_refuseAttach = false;
} // namespace

#define PROBE_EXPORT_LIST(X)                                                                                 \
    X(1, ProbeTwice)                                                                                         \
    X(7, ProbeName)

PLATFORM_DLL_BEGIN(probe)
int WINAPI ProbeTwice(int n)
{
    return 2 * n;
}
const char* WINAPI ProbeName()
{
    return "probe";
}
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved)
{
    char image[MAX_PATH];
    GetModuleFileNameA(nullptr, image, MAX_PATH);
    g_entryCalls.push_back({reason, image, reserved != nullptr});
    return reason != DLL_PROCESS_ATTACH || !g_refuseAttach;
}
PLATFORM_DLL_END
PLATFORM_DLL_REGISTER_WITH_MAIN(probe, u"Probe.dll", PROBE_EXPORT_LIST)

namespace
{
int WINAPI LoadsTheProbe(HINSTANCE, HINSTANCE, LPSTR, int)
{
    return LoadLibraryW(u"probe") ? 0 : 1; // left loaded: the process ends with it
}
PLATFORM_WINMAIN(u"loads.exe", LoadsTheProbe)

constexpr DWORD kMarker = 0xDEADBEEF;

template <typename F> F Proc(HMODULE module, LPCSTR name)
{
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

TEST(Loader, AProductDllLoadsByItsFileNameAndGivesItsExportsByNameAndOrdinal)
{
    HMODULE probe = LoadLibraryW(u"Probe.dll");
    ASSERT_NE(probe, nullptr);
    sim::files().Put(u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\probe.dll");
    // The extension is added to a name without one; a trailing dot says the name has none; a path
    // counts only where the DLL's file lies.
    const struct
    {
        const WCHAR* name;
        bool found;
    } names[] = {
        {u"PROBE.DLL", true},
        {u"probe", true},
        {u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\probe.dll", true},
        {u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\PROBE", true},
        {u"C:\\Program Files\\Velmo\\probe.dll", false},
        {u"probe.", false},
        {u"probe.exe", false},
        {u"kernel32.", false},
        {u"absent.dll", false},
    };
    for (size_t i = 0; i < std::size(names); ++i)
    {
        SetLastError(kMarker);
        EXPECT_EQ(LoadLibraryW(names[i].name), names[i].found ? probe : nullptr) << i;
        EXPECT_EQ(GetLastError(), names[i].found ? DWORD{ERROR_SUCCESS} : DWORD{ERROR_MOD_NOT_FOUND}) << i;
    }

    auto twice = Proc<int(WINAPI*)(int)>(probe, MAKEINTRESOURCEA(1));
    ASSERT_NE(twice, nullptr);
    EXPECT_EQ(twice(21), 42);
    EXPECT_EQ(Proc<int(WINAPI*)(int)>(probe, "ProbeTwice"), twice);
    auto name = Proc<const char*(WINAPI*)()>(probe, MAKEINTRESOURCEA(7));
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(name(), "probe");
    const LPCSTR missing[] = {MAKEINTRESOURCEA(2), MAKEINTRESOURCEA(0), "probetwice", "DllMain"};
    for (LPCSTR proc : missing)
    {
        SetLastError(kMarker);
        EXPECT_EQ(GetProcAddress(probe, proc), nullptr);
        EXPECT_EQ(GetLastError(), DWORD{ERROR_PROC_NOT_FOUND});
    }
}

TEST(Loader, AProductDllAttachesOnItsFirstLoadInAProcessAndDetachesOnItsLastFreeOrTheProcessEnd)
{
    g_entryCalls.clear();
    const std::string self = "C:\\Users\\User\\test.exe";
    HMODULE probe = LoadLibraryW(u"probe.dll");
    ASSERT_NE(probe, nullptr);
    EXPECT_EQ(LoadLibraryW(u"PROBE"), probe);
    EXPECT_EQ(GetModuleHandleW(u"probe.dll"), probe);
    EXPECT_EQ(g_entryCalls, (std::vector<EntryCall>{{DLL_PROCESS_ATTACH, self}}));

    // Another process loads it for itself, and its end detaches it there.
    EXPECT_EQ(sim::processes().Run(u"C:\\Tools\\loads.exe"), 0u);
    const std::string other = "C:\\Tools\\loads.exe";
    EXPECT_EQ(g_entryCalls, (std::vector<EntryCall>{{DLL_PROCESS_ATTACH, self},
                                                    {DLL_PROCESS_ATTACH, other},
                                                    {DLL_PROCESS_DETACH, other, true}}));
    g_entryCalls.clear();

    EXPECT_TRUE(FreeLibrary(probe));
    EXPECT_TRUE(g_entryCalls.empty()) << "one reference is left";
    EXPECT_TRUE(FreeLibrary(probe));
    EXPECT_EQ(g_entryCalls.back(), (EntryCall{DLL_PROCESS_DETACH, self}));
    EXPECT_EQ(GetModuleHandleW(u"probe.dll"), nullptr);
    SetLastError(kMarker);
    EXPECT_EQ(GetProcAddress(probe, "ProbeTwice"), nullptr) << "unloaded";
    EXPECT_EQ(GetLastError(), DWORD{ERROR_MOD_NOT_FOUND});
    SetLastError(kMarker);
    EXPECT_FALSE(FreeLibrary(probe));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});

    // An entry point that refuses to attach is detached at once, and the load fails.
    g_entryCalls.clear();
    g_refuseAttach = true;
    SetLastError(kMarker);
    EXPECT_EQ(LoadLibraryW(u"probe.dll"), nullptr);
    g_refuseAttach = false;
    EXPECT_EQ(GetLastError(), DWORD{ERROR_DLL_INIT_FAILED});
    EXPECT_EQ(g_entryCalls, (std::vector<EntryCall>{{DLL_PROCESS_ATTACH, self}, {DLL_PROCESS_DETACH, self}}));
    EXPECT_EQ(GetModuleHandleW(u"probe.dll"), nullptr);
    EXPECT_EQ(LoadLibraryW(u"probe.dll"), probe) << "and loads once it attaches";
}

TEST(Loader, SystemDllsLoadByNameOrFromSystem32Only)
{
    HMODULE kernel = LoadLibraryExW(u"kernel32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    ASSERT_NE(kernel, nullptr);
    EXPECT_EQ(GetModuleHandleW(u"KERNEL32"), kernel) << "loaded in every process, names without case";
    EXPECT_EQ(LoadLibraryW(u"C:\\Windows\\System32\\kernel32.dll"), kernel);
    EXPECT_EQ(LoadLibraryW(u"C:\\Users\\User\\kernel32.dll"), nullptr)
        << "a copy elsewhere is not the system's";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(LoadLibraryW(u"planted.dll"), nullptr);
    EXPECT_EQ(LoadLibraryExW(u"kernel32.dll", nullptr, 0x80000000), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    // A DLL loaded on demand is there until its last reference goes; kernel32 stays.
    EXPECT_EQ(GetModuleHandleW(u"comdlg32.dll"), nullptr);
    HMODULE dialogs = LoadLibraryW(u"comdlg32");
    ASSERT_NE(dialogs, nullptr);
    EXPECT_EQ(LoadLibraryW(u"comdlg32.dll"), dialogs);
    EXPECT_TRUE(FreeLibrary(dialogs));
    EXPECT_EQ(GetModuleHandleW(u"comdlg32.dll"), dialogs);
    EXPECT_TRUE(FreeLibrary(dialogs));
    EXPECT_EQ(GetModuleHandleW(u"comdlg32.dll"), nullptr);
    EXPECT_FALSE(FreeLibrary(dialogs));
    EXPECT_EQ(GetProcAddress(dialogs, "GetSaveFileNameW"), nullptr) << "not loaded";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    for (int i = 0; i < 3; ++i)
        FreeLibrary(kernel);
    EXPECT_EQ(GetModuleHandleW(u"kernel32.dll"), kernel);

    auto setMode = reinterpret_cast<BOOL(WINAPI*)(DWORD)>(
        reinterpret_cast<void (*)()>(GetProcAddress(kernel, "SetSearchPathMode")));
    ASSERT_NE(setMode, nullptr);
    EXPECT_TRUE(setMode(BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE));
    EXPECT_EQ(GetProcAddress(kernel, "NoSuchFunction"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
}

TEST(Loader, SearchSettingsAreCheckedAndRecorded)
{
    EXPECT_FALSE(sim::processes().DllSearchOf(u"C:\\Users\\User\\test.exe"));
    EXPECT_FALSE(SetDefaultDllDirectories(0));
    EXPECT_FALSE(SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32 | 0x1));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32));
    EXPECT_TRUE(SetDllDirectoryW(u"C:\\Plugins"));
    EXPECT_TRUE(SetDllDirectoryW(u""));

    const DWORD invalid[] = {
        0,
        BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE | BASE_SEARCH_PATH_DISABLE_SAFE_SEARCHMODE,
        BASE_SEARCH_PATH_DISABLE_SAFE_SEARCHMODE | BASE_SEARCH_PATH_PERMANENT,
        BASE_SEARCH_PATH_PERMANENT,
    };
    for (DWORD flags : invalid)
    {
        EXPECT_FALSE(SetSearchPathMode(flags)) << flags;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    EXPECT_TRUE(SetSearchPathMode(BASE_SEARCH_PATH_DISABLE_SAFE_SEARCHMODE));
    EXPECT_TRUE(SetSearchPathMode(BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE | BASE_SEARCH_PATH_PERMANENT));
    EXPECT_FALSE(SetSearchPathMode(BASE_SEARCH_PATH_DISABLE_SAFE_SEARCHMODE)) << "permanent";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    auto search = sim::processes().DllSearchOf(u"c:\\users\\user\\TEST.EXE");
    ASSERT_TRUE(search);
    EXPECT_EQ(search->dllDirectory, u"");
    EXPECT_EQ(search->defaultDirectories, static_cast<DWORD>(LOAD_LIBRARY_SEARCH_SYSTEM32));
    EXPECT_EQ(search->searchMode,
              static_cast<DWORD>(BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE | BASE_SEARCH_PATH_PERMANENT));
}

WString LoadedText(HMODULE module, UINT id)
{
    WCHAR text[64] = {};
    int n = LoadStringW(module, id, text, 64);
    return WString(text, static_cast<size_t>(n > 0 ? n : 0));
}

// String `id` read from its block's bytes: sixteen counted strings.
WString BlockText(HMODULE module, UINT id)
{
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id / 16 + 1), RT_STRING);
    const auto* p = found ? static_cast<const BYTE*>(LockResource(LoadResource(module, found))) : nullptr;
    if (!p)
        return u"(none)";
    const BYTE* end = p + SizeofResource(module, found);
    auto word = [](const BYTE* at) { return static_cast<WCHAR>(at[0] | (at[1] << 8)); };
    for (UINT i = 0; p + 2 <= end; ++i)
    {
        size_t length = word(p);
        p += 2;
        if (i == id % 16 && p + 2 * length <= end)
        {
            WString text;
            for (size_t c = 0; c < length; ++c)
                text += word(p + 2 * c);
            return text;
        }
        p += 2 * length;
    }
    return u"(none)";
}

// A module mapped only for its resources: nothing of it runs, its exports are out of reach, its
// strings and icons are there until it is freed, and each mapping has a handle of its own.
TEST(Loader, AModuleMappedForItsResourcesGivesThemAndRunsNothing)
{
    sim::desktop().RegisterResources(u"Probe.dll",
                                     std::filesystem::path(PLATFORM_TEST_RESOURCES) / "probe.rc");
    g_entryCalls.clear();
    const struct
    {
        DWORD flags;
        ULONG_PTR kind; // the handle's low bits: 1 a data file, 2 an image mapping
    } cases[] = {
        {LOAD_LIBRARY_AS_DATAFILE, 1},
        {LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE, 1},
        {LOAD_LIBRARY_AS_IMAGE_RESOURCE, 2},
        {LOAD_LIBRARY_AS_IMAGE_RESOURCE | LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_SEARCH_SYSTEM32, 2},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.flags);
        HMODULE first = LoadLibraryExW(u"probe.dll", nullptr, c.flags);
        HMODULE second = LoadLibraryExW(u"PROBE", nullptr, c.flags);
        ASSERT_NE(first, nullptr);
        ASSERT_NE(second, nullptr);
        EXPECT_NE(first, second);
        EXPECT_EQ(reinterpret_cast<ULONG_PTR>(first) & 3, c.kind);
        EXPECT_TRUE(g_entryCalls.empty()) << "no entry point runs";
        EXPECT_EQ(GetModuleHandleW(u"probe.dll"), nullptr);
        SetLastError(kMarker);
        EXPECT_EQ(GetProcAddress(first, "ProbeTwice"), nullptr);
        EXPECT_EQ(GetProcAddress(first, MAKEINTRESOURCEA(1)), nullptr);
        EXPECT_NE(GetLastError(), kMarker);

        EXPECT_EQ(LoadedText(first, 12), u"Probe text");
        EXPECT_EQ(LoadedText(second, 12), u"Probe text");
        EXPECT_EQ(BlockText(first, 12), u"Probe text");
        EXPECT_NE(LoadIconW(first, MAKEINTRESOURCEW(5)), nullptr);
        HICON own = static_cast<HICON>(LoadImageW(second, MAKEINTRESOURCEW(5), IMAGE_ICON, 0, 0, 0));
        ASSERT_NE(own, nullptr);
        EXPECT_TRUE(DestroyIcon(own));
        EXPECT_EQ(LoadIconW(first, MAKEINTRESOURCEW(6)), nullptr);
        EXPECT_EQ(GetLastError(), DWORD{ERROR_RESOURCE_NAME_NOT_FOUND});

        EXPECT_TRUE(FreeLibrary(first));
        EXPECT_EQ(LoadedText(first, 12), u"") << "freed";
        EXPECT_EQ(BlockText(first, 12), u"(none)");
        EXPECT_EQ(LoadedText(second, 12), u"Probe text") << "the other mapping stays";
        SetLastError(kMarker);
        EXPECT_FALSE(FreeLibrary(first));
        EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
        EXPECT_TRUE(FreeLibrary(second));
    }
    EXPECT_EQ(LoadLibraryExW(u"absent.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE), nullptr);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_MOD_NOT_FOUND});

    // A module the process has loaded already serves as it is, one reference more.
    HMODULE probe = LoadLibraryW(u"probe.dll");
    ASSERT_NE(probe, nullptr);
    EXPECT_EQ(LoadLibraryExW(u"probe.dll", nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE), probe);
    EXPECT_TRUE(FreeLibrary(probe));
    EXPECT_EQ(GetModuleHandleW(u"probe.dll"), probe);
    EXPECT_TRUE(FreeLibrary(probe));
    EXPECT_EQ(GetModuleHandleW(u"probe.dll"), nullptr);
    EXPECT_EQ(g_entryCalls.size(), 2u) << "one attach, one detach";
}

// The system shell's help icon, read without loading the shell; gone with the shell.
TEST(Loader, ASystemModuleMapsForItsIconsFromTheSystemFolder)
{
    constexpr DWORD kFlags =
        LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE;
    HMODULE shell = LoadLibraryExW(u"shell32.dll", nullptr, kFlags);
    ASSERT_NE(shell, nullptr);
    EXPECT_EQ(GetModuleHandleW(u"shell32.dll"), nullptr);
    EXPECT_NE(LoadIconW(shell, MAKEINTRESOURCEW(24)), nullptr);
    EXPECT_EQ(GetProcAddress(shell, "ShellExecuteExW"), nullptr);
    EXPECT_TRUE(FreeLibrary(shell));
    EXPECT_EQ(LoadIconW(shell, MAKEINTRESOURCEW(24)), nullptr);

    sim::processes().RemoveSystemModule(u"shell32.dll");
    EXPECT_EQ(LoadLibraryExW(u"shell32.dll", nullptr, kFlags), nullptr);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_MOD_NOT_FOUND});
}

// The exclusive data file keeps writers out while it is mapped; the plain one does not.
TEST(Loader, AnExclusiveDataFileKeepsWritersOut)
{
    const WCHAR* path = u"C:\\Drivers\\probe.dll";
    sim::files().Put(path, "MZ");
    auto openForWriting = [&] {
        HANDLE h = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
        return h != INVALID_HANDLE_VALUE;
    };
    HMODULE plain = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(plain, nullptr);
    EXPECT_TRUE(openForWriting());
    HMODULE exclusive = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE);
    ASSERT_NE(exclusive, nullptr);
    EXPECT_FALSE(openForWriting());
    EXPECT_EQ(GetLastError(), DWORD{ERROR_SHARING_VIOLATION});
    HANDLE reader = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(reader, INVALID_HANDLE_VALUE) << "readers are welcome";
    CloseHandle(reader);
    EXPECT_TRUE(FreeLibrary(exclusive));
    EXPECT_TRUE(openForWriting());

    // A file already open for writing cannot be mapped exclusively.
    HANDLE writer = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE), nullptr);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_SHARING_VIOLATION});
    CloseHandle(writer);
    EXPECT_TRUE(FreeLibrary(plain));
}

// What FindResourceW finds of a module, and which of it has bytes here.
TEST(Loader, FindResourceSaysWhatIsMissing)
{
    sim::desktop().RegisterResources(u"Probe.dll",
                                     std::filesystem::path(PLATFORM_TEST_RESOURCES) / "probe.rc");
    HMODULE probe = LoadLibraryExW(u"probe.dll", nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(probe, nullptr);
    const struct
    {
        LPCWSTR type;
        LPCWSTR name;
        DWORD findError;  // 0: found
        DWORD bytesError; // 0: it has bytes
    } cases[] = {
        {RT_STRING, MAKEINTRESOURCEW(1), 0, 0},
        {RT_STRING, MAKEINTRESOURCEW(2), ERROR_RESOURCE_NAME_NOT_FOUND, 0},
        {RT_GROUP_ICON, MAKEINTRESOURCEW(5), 0, ERROR_NOT_SUPPORTED},
        {RT_GROUP_ICON, MAKEINTRESOURCEW(6), ERROR_RESOURCE_NAME_NOT_FOUND, 0},
        {RT_VERSION, MAKEINTRESOURCEW(1), ERROR_RESOURCE_TYPE_NOT_FOUND, 0},
        {RT_DIALOG, MAKEINTRESOURCEW(100), ERROR_RESOURCE_TYPE_NOT_FOUND, 0},
        {u"CUSTOM", MAKEINTRESOURCEW(1), ERROR_RESOURCE_TYPE_NOT_FOUND, 0},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(&c - cases);
        SetLastError(kMarker);
        HRSRC found = FindResourceW(probe, c.name, c.type);
        EXPECT_EQ(found != nullptr, c.findError == 0);
        if (!found)
        {
            EXPECT_EQ(GetLastError(), c.findError);
            continue;
        }
        EXPECT_EQ(FindResourceW(probe, c.name, c.type), found) << "the same resource again";
        SetLastError(kMarker);
        EXPECT_EQ(LoadResource(probe, found) != nullptr, c.bytesError == 0);
        EXPECT_EQ(SizeofResource(probe, found) != 0, c.bytesError == 0);
        if (c.bytesError)
        {
            EXPECT_EQ(GetLastError(), c.bytesError);
        }
    }
    EXPECT_EQ(LoadResource(probe, reinterpret_cast<HRSRC>(probe)), nullptr);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
    EXPECT_TRUE(FreeLibrary(probe));
    EXPECT_EQ(FindResourceW(probe, MAKEINTRESOURCEW(1), RT_STRING), nullptr);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_RESOURCE_DATA_NOT_FOUND});
}
} // namespace
