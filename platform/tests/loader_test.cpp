#include <gtest/gtest.h>

#include <sim/machine.h>

namespace
{
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
    EXPECT_FALSE(sim::machine().DllSearchOf(u"C:\\Users\\User\\test.exe"));
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

    auto search = sim::machine().DllSearchOf(u"c:\\users\\user\\TEST.EXE");
    ASSERT_TRUE(search);
    EXPECT_EQ(search->dllDirectory, u"");
    EXPECT_EQ(search->defaultDirectories, static_cast<DWORD>(LOAD_LIBRARY_SEARCH_SYSTEM32));
    EXPECT_EQ(search->searchMode,
              static_cast<DWORD>(BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE | BASE_SEARCH_PATH_PERMANENT));
}
} // namespace
