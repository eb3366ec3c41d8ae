#include <gtest/gtest.h>

#include <platform/entry.h>
#include <sim/machine.h>

#include <string>
#include <vector>

namespace
{
// What a started program saw of its environment.
struct Seen
{
    WString tail;
    std::vector<WString> block; // GetEnvironmentStringsW's entries, in order
    WString expanded;           // "%A%;%windir%" expanded
    DWORD windirError = 0;      // GetEnvironmentVariableW("windir")'s error
};
Seen g_seen;

std::vector<WString> Entries(const WCHAR* block)
{
    std::vector<WString> entries;
    for (const WCHAR* p = block; *p; p += entries.back().size() + 1)
        entries.emplace_back(p);
    return entries;
}

int WINAPI BlockProbe(HINSTANCE, HINSTANCE, LPWSTR tail, int)
{
    g_seen.tail = tail;
    LPWCH block = GetEnvironmentStringsW();
    g_seen.block = Entries(block);
    FreeEnvironmentStringsW(block);
    WCHAR out[MAX_PATH] = {};
    ExpandEnvironmentStringsW(u"%A%;%windir%", out, MAX_PATH);
    g_seen.expanded = out;
    WCHAR value[MAX_PATH];
    SetLastError(ERROR_SUCCESS);
    GetEnvironmentVariableW(u"windir", value, MAX_PATH);
    g_seen.windirError = GetLastError();
    return 0;
}
PLATFORM_WWINMAIN(u"blockprobe.exe", BlockProbe)

constexpr const char16_t* kProbe = u"C:\\bin\\blockprobe.exe";

// Starts a program with the given block and waits for it; false (with the error) if it did not start.
bool StartWith(const char16_t* application, WString line, const void* block, DWORD flags)
{
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(application, line.data(), nullptr, nullptr, FALSE, flags, const_cast<void*>(block),
                        nullptr, &si, &pi))
        return false;
    WaitForSingleObject(pi.hProcess, INFINITE);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

class EnvironmentBlocks : public ::testing::Test
{
protected:
    void SetUp() override
    {
        sim::files().Put(kProbe);
        ASSERT_TRUE(SetEnvironmentVariableW(u"A", u"the test's"));
        g_seen = {};
    }
};

// A block given to CreateProcess is the child's whole environment, as given: order kept, names
// starting with '=' kept, nothing of the caller's. Wide with CREATE_UNICODE_ENVIRONMENT, else in the
// system code page.
TEST_F(EnvironmentBlocks, AStartedProgramSeesExactlyTheBlockItWasGiven)
{
    const std::vector<WString> given = {u"b=2", u"A=1", u"=C:=C:\\work", u"Empty="};
    const WCHAR wide[] = u"b=2\0A=1\0=C:=C:\\work\0Empty=\0";
    const char narrow[] = "b=2\0A=1\0=C:=C:\\work\0Empty=\0";
    for (bool unicode : {true, false})
    {
        SCOPED_TRACE(unicode);
        g_seen = {};
        ASSERT_TRUE(StartWith(kProbe, u"probe x", unicode ? static_cast<const void*>(wide) : narrow,
                              unicode ? CREATE_UNICODE_ENVIRONMENT : 0))
            << GetLastError();
        EXPECT_EQ(g_seen.block, given);
        EXPECT_EQ(g_seen.expanded, u"1;%windir%");
        EXPECT_EQ(g_seen.windirError, DWORD{ERROR_ENVVAR_NOT_FOUND});
    }

    // The 8-bit start passes its block through as it is.
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    char line[] = "probe";
    g_seen = {};
    ASSERT_TRUE(CreateProcessA("C:\\bin\\blockprobe.exe", line, nullptr, nullptr, FALSE, 0,
                               const_cast<char*>(narrow), nullptr, &si, &pi));
    WaitForSingleObject(pi.hProcess, INFINITE);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    EXPECT_EQ(g_seen.block, given);

    const WCHAR empty[] = u"\0";
    ASSERT_TRUE(StartWith(kProbe, u"probe", empty, CREATE_UNICODE_ENVIRONMENT));
    EXPECT_TRUE(g_seen.block.empty());
    EXPECT_EQ(g_seen.expanded, u"%A%;%windir%");
}

// A malformed block is refused whole, before anything starts and without reading past its end.
TEST_F(EnvironmentBlocks, AMalformedBlockIsRefused)
{
    std::vector<WCHAR> endless(size_t{1} << 20, u'a');
    endless[1] = u'=';
    std::vector<char> endlessNarrow(size_t{1} << 20, 'a');
    endlessNarrow[1] = '=';
    const WCHAR noEquals[] = u"A=1\0junk\0";
    const WCHAR onlyHiddenName[] = u"=C:\0";
    const char noEqualsNarrow[] = "A=1\0junk\0";
    const struct
    {
        const void* block;
        DWORD flags;
    } cases[] = {
        {endless.data(), CREATE_UNICODE_ENVIRONMENT},
        {endlessNarrow.data(), 0},
        {noEquals, CREATE_UNICODE_ENVIRONMENT},
        {onlyHiddenName, CREATE_UNICODE_ENVIRONMENT},
        {noEqualsNarrow, 0},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(&c - cases);
        SetLastError(ERROR_SUCCESS);
        EXPECT_FALSE(StartWith(kProbe, u"probe", c.block, c.flags));
        EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
    }
    EXPECT_TRUE(sim::processes().Started().empty());
    EXPECT_TRUE(g_seen.tail.empty()) << "nothing ran";
}

// The calling program's own block: a copy, sorted as the system keeps it, a new name in its place.
TEST_F(EnvironmentBlocks, TheBlockIsCopiedInTheSystemsOrder)
{
    ASSERT_TRUE(SetEnvironmentVariableW(u"Path2", u"x"));
    LPWCH block = GetEnvironmentStringsW();
    ASSERT_NE(block, nullptr);
    std::vector<WString> entries = Entries(block);
    EXPECT_TRUE(FreeEnvironmentStringsW(block));
    EXPECT_FALSE(FreeEnvironmentStringsW(block)) << "freed once";
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});

    auto at = [&](std::u16string_view name) {
        for (size_t i = 0; i < entries.size(); ++i)
            if (entries[i].starts_with(WString(name) + u"="))
                return static_cast<int>(i);
        return -1;
    };
    EXPECT_EQ(at(u"A"), 0);
    ASSERT_GE(at(u"PATH"), 0);
    EXPECT_EQ(at(u"Path2"), at(u"PATH") + 1);
    EXPECT_EQ(at(u"PATHEXT"), at(u"Path2") + 1);
    EXPECT_EQ(entries[static_cast<size_t>(at(u"windir"))], u"windir=C:\\Windows");
    EXPECT_EQ(at(u"windir"), static_cast<int>(entries.size()) - 1);
}

// The command interpreter lives in the block it was started with: it expands from it, sets in it,
// and the programs it starts inherit it.
TEST_F(EnvironmentBlocks, TheCommandInterpreterReadsItsOwnBlock)
{
    sim::processes().InstallCommandInterpreter(false);
    const WCHAR block[] = u"A=given\0SystemRoot=C:\\Windows\0";
    ASSERT_TRUE(StartWith(u"C:\\Windows\\System32\\cmd.exe",
                          u"cmd.exe /c set B=two & C:\\bin\\blockprobe.exe %A% %Nobody%", block,
                          CREATE_UNICODE_ENVIRONMENT));
    EXPECT_EQ(g_seen.tail, u"given %Nobody%");
    EXPECT_EQ(g_seen.block, (std::vector<WString>{u"A=given", u"B=two", u"SystemRoot=C:\\Windows"}));
}
} // namespace
