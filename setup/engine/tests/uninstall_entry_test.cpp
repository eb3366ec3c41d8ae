#include "shell_files.h"
#include "uninstall_entry.h"

#include <gtest/gtest.h>
#include <sim/machine.h>
#include <sim/snapshot.h>

#include <cstring>
#include <set>

namespace kgsetup
{
namespace
{

const WString kKey = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KORIGRAPH Printer Driver";
const WString kSetup = u"C:\\Setup\\KGSetup64.exe";
const WString kInstalled = u"C:\\Program Files\\Velmo\\KORIGRAPH\\uninst.exe";

std::optional<WString> Value(const WString& name)
{
    auto v = sim::registry().Value(HKEY_LOCAL_MACHINE, kKey, name);
    if (!v)
        return std::nullopt;
    WString text(v->data.size() / 2, 0);
    std::memcpy(text.data(), v->data.data(), text.size() * 2);
    while (!text.empty() && text.back() == 0)
        text.pop_back();
    return text;
}

void PutText(const WString& name, const WString& text, bool terminated = true)
{
    std::vector<BYTE> bytes((text.size() + (terminated ? 1 : 0)) * 2, 0);
    std::memcpy(bytes.data(), text.data(), text.size() * 2);
    sim::registry().SetValue(HKEY_LOCAL_MACHINE, kKey, name, REG_SZ, bytes);
}

// A registered uninstaller at `installed`, with a version (major 0: no version record).
void Register(const WString& installed, WORD major, bool fileThere = true)
{
    if (fileThere && major)
        sim::files().SetVersion(installed, major, 0, 0, 0);
    else if (fileThere)
        sim::files().Put(installed, "no version");
    PutText(u"DisplayIcon", installed, false);
    PutText(u"UninstallString", installed + u" /uninstall");
    PutText(u"DisplayName", u"old name");
}

class Registration : public ::testing::Test
{
protected:
    void SetUp() override
    {
        sim::processes().SetCallingProgram(kSetup, u"KGSetup64.exe");
        sim::files().SetVersion(kSetup, 2, 0, 0, 0);
    }
};

TEST_F(Registration, ANewEntryNamesTheCopyWithTerminatedValues)
{
    ASSERT_TRUE(RegisterUninstaller(kSetup));
    EXPECT_EQ(sim::files().Bytes(kInstalled), sim::files().Bytes(kSetup));
    EXPECT_FALSE(sim::files().Exists(u"C:\\Program Files\\Velmo\\KORIGRAPH\\KGSetup64.exe"));
    struct Expected
    {
        const char16_t* name;
        WString text;
    } values[] = {
        {u"DisplayName", u"KORIGRAPH Printer Driver"},
        {u"Publisher", u"Velmo Ranth Corporation"},
        {u"DisplayIcon", kInstalled},
        {u"UninstallString", kInstalled + u" /uninstall"},
        {u"ModifyPath", kInstalled + u" /modify"},
    };
    for (const Expected& e : values)
    {
        auto v = sim::registry().Value(HKEY_LOCAL_MACHINE, kKey, e.name);
        ASSERT_TRUE(v);
        EXPECT_EQ(v->type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(v->data.size(), (e.text.size() + 1) * 2) << "the terminator is counted";
        EXPECT_EQ(Value(e.name), e.text);
    }
}

TEST_F(Registration, ARegisteredUninstallerIsKeptReplacedOrLeftByItsVersion)
{
    struct Case
    {
        WORD registeredMajor; // 0: a file without a version
        bool fileThere;
        bool result;
        bool replaced;
        bool refreshed;
    } cases[] = {
        {3, true, true, false, true},   // newer: refreshed only
        {2, true, true, false, true},   // as new: refreshed only
        {1, true, true, true, true},    // older: replaced
        {0, true, false, false, false}, // no version: untouched
        {1, false, true, true, true},   // registered but gone: replaced
    };
    for (const Case& c : cases)
    {
        sim::machine().Reset();
        SetUp();
        Register(kInstalled, c.registeredMajor, c.fileThere);
        auto before = sim::files().Bytes(kInstalled);
        EXPECT_EQ(RegisterUninstaller(kSetup), c.result) << c.registeredMajor << c.fileThere;
        auto after = sim::files().Bytes(kInstalled);
        EXPECT_EQ(after, c.replaced ? sim::files().Bytes(kSetup) : before) << c.registeredMajor;
        EXPECT_EQ(Value(u"DisplayName"), c.refreshed ? u"KORIGRAPH Printer Driver" : u"old name");
        EXPECT_EQ(Value(u"Publisher").has_value(), c.refreshed);
    }
}

TEST_F(Registration, AThirtyTwoBitSetupUsesItsProgramFilesAndTheSixtyFourBitEntry)
{
    sim::machine().SetProgram32(true);
    ASSERT_TRUE(RegisterUninstaller(kSetup));
    const WString installed = u"C:\\Program Files (x86)\\Velmo\\KORIGRAPH\\uninst.exe";
    EXPECT_TRUE(sim::files().Exists(installed));
    EXPECT_EQ(Value(u"DisplayIcon"), installed);
    EXPECT_FALSE(sim::registry().KeyExists(HKEY_LOCAL_MACHINE, kKey, sim::RegistryView::Wow32));
    // Found again through the same view: a newer registered copy is only refreshed.
    sim::files().SetVersion(installed, 3, 0, 0, 0);
    ASSERT_TRUE(RegisterUninstaller(kSetup));
    EXPECT_NE(sim::files().Bytes(installed), sim::files().Bytes(kSetup));
}

TEST_F(Registration, ExistsReadsOnlySoundStrings)
{
    PutText(u"DisplayIcon", u"C:\\P\\uninst.exe", false);
    PutText(u"DisplayName", WString(300, u'n'));
    const BYTE number[] = {1, 0, 0, 0};
    sim::registry().SetValue(HKEY_LOCAL_MACHINE, kKey, u"UninstallString", REG_DWORD, number);
    const BYTE odd[] = {'C', 0, ':'};
    sim::registry().SetValue(HKEY_LOCAL_MACHINE, kKey, u"ModifyPath", REG_SZ, odd);
    CUninstallEntry entry(kUninstallEntryName);
    ASSERT_TRUE(entry.Exists());
    EXPECT_EQ(entry.GetDisplayIcon(), u"C:\\P\\uninst.exe");
    EXPECT_EQ(entry.GetValue(u"DisplayName"), WString(300, u'n'));
    EXPECT_EQ(entry.GetValue(u"UninstallString"), u"");
    EXPECT_EQ(entry.GetValue(u"ModifyPath"), u"C");
    EXPECT_FALSE(CUninstallEntry(u"Another").Exists());
}

TEST_F(Registration, ACommitThatCannotWriteEveryValueLeavesNoNewEntry)
{
    CUninstallEntry entry(kUninstallEntryName);
    entry.SetCommands(u"C:\\P\\uninst.exe");
    sim::faults().FailNext("RegSetValueExW", ERROR_ACCESS_DENIED, 1, 1);
    EXPECT_FALSE(entry.Commit());
    EXPECT_FALSE(sim::registry().KeyExists(HKEY_LOCAL_MACHINE, kKey));
    sim::faults().FailNext("RegCreateKeyExW", ERROR_ACCESS_DENIED);
    EXPECT_FALSE(entry.Commit());
    EXPECT_TRUE(entry.Commit());
    EXPECT_EQ(Value(u"ModifyPath"), u"C:\\P\\uninst.exe /modify");
}

// Each call of the registration failing once, with an entry and copy from before or without: a
// registration that fails says so with that call's code and leaves the machine as it was, no part
// of a copy, no entry to a missing one; a failure it gets round changes just what a good run does.
TEST_F(Registration, AFailedRegistrationKeepsItsCallsCodeAndChangesNothing)
{
    const WString elsewhere = u"C:\\Old\\uninst.exe";
    enum Before
    {
        kNothing,
        kOlderAtTheTarget,
        kOlderElsewhere,
    };
    struct Fault
    {
        const char* api;
        int skip;
    } faults[] = {
        {"RegOpenKeyExW", 0},
        {"SHGetFolderPathW", 0},
        {"CreateDirectoryW", 0},
        {"CreateDirectoryW", 1},
        {"GetFileAttributesW", 0},
        {"GetFileAttributesW", 1},
        {"GetFileAttributesW", 2},
        {"CoInitializeEx", 0},
        {"CoCreateInstance", 0},
        {"SHCreateItemFromParsingName", 0},
        {"SHCreateItemFromParsingName", 1},
        {"CreateFileW", 0},
        {"CreateFileW", 1},
        {"ReadFile", 0},
        {"WriteFile", 0},
        {"CloseHandle", 0},
        {"RegCreateKeyExW", 0},
        {"RegSetValueExW", 0},
        {"RegSetValueExW", 2},
        {"DeleteFileW", 0},
        {"DeleteFileW", 1},
        {"RegQueryValueExW", 0},
        {"RegQueryValueExW", 3},
        {"RegQueryValueExW", 9},
        {"RegQueryValueExW", 12},
        {"RegSetValueExW", 4},
    };
    auto prepare = [&](Before before) {
        sim::machine().Reset();
        SetUp();
        // The list of installed programs is there on any machine, with someone else's entry in it.
        const BYTE name[] = {'X', 0, 0, 0};
        sim::registry().SetValue(HKEY_LOCAL_MACHINE,
                                 u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Another",
                                 u"DisplayName", REG_SZ, name);
        if (before == kOlderAtTheTarget)
            Register(kInstalled, 1);
        else if (before == kOlderElsewhere)
            Register(elsewhere, 1);
    };
    std::set<const Fault*> taken;
    for (Before before : {kNothing, kOlderAtTheTarget, kOlderElsewhere})
    {
        prepare(before);
        const sim::Snapshot start = sim::TakeSnapshot();
        ASSERT_TRUE(RegisterUninstaller(kSetup)) << before;
        const std::vector<std::string> goodChange = sim::Difference(start, sim::TakeSnapshot());
        EXPECT_EQ(Value(u"DisplayIcon"), kInstalled) << before;
        EXPECT_EQ(sim::files().Bytes(kInstalled), sim::files().Bytes(kSetup)) << before;
        EXPECT_FALSE(sim::files().Exists(elsewhere)) << before << ": the replaced copy goes";

        for (const Fault& f : faults)
        {
            prepare(before);
            const sim::Snapshot clean = sim::TakeSnapshot();
            const std::string_view api = f.api;
            const DWORD code =
                api.starts_with("Co") || api.starts_with("SH") ? 0x8007001Fu : ERROR_GEN_FAILURE;
            sim::faults().FailNext(f.api, code, 1, f.skip);
            SetLastError(0);
            const bool ok = RegisterUninstaller(kSetup);
            const DWORD error = GetLastError();
            if (!sim::faults().Pending().empty())
                continue; // not a call of this registration
            taken.insert(&f);
            const std::vector<std::string> change = sim::Difference(clean, sim::TakeSnapshot());
            if (ok)
            {
                EXPECT_EQ(change, goodChange) << f.api << " #" << f.skip << " before " << before;
            }
            else
            {
                // The shell's copy tells a failure inside it as an HRESULT.
                EXPECT_TRUE(error == code || error == static_cast<DWORD>(HRESULT_FROM_WIN32(code)))
                    << error << ": " << f.api << " #" << f.skip << " before " << before;
                EXPECT_EQ(change, std::vector<std::string>{})
                    << f.api << " #" << f.skip << " before " << before;
            }
        }
    }
}

class SelfRemoval : public ::testing::Test
{
protected:
    void SetUp() override
    {
        sim::processes().InstallCommandInterpreter(true);
        sim::files().Put(u"C:\\P\\Velmo\\KORIGRAPH\\uninst.exe", "copy");
        sim::files().Put(u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Velmo\\"
                         u"KORIGRAPH Printer Driver.lnk");
        PutText(u"DisplayIcon", u"C:\\P\\Velmo\\KORIGRAPH\\uninst.exe");
    }
};

TEST_F(SelfRemoval, StartsTheHiddenCommandThenDeletesTheEntry)
{
    CUninstallEntry entry(kUninstallEntryName);
    ASSERT_TRUE(entry.SelfDelete());
    EXPECT_FALSE(sim::registry().KeyExists(HKEY_LOCAL_MACHINE, kKey));
    auto started = sim::processes().Started();
    ASSERT_FALSE(started.empty());
    EXPECT_EQ(started[0].commandLine,
              *BuildSelfDeleteCommand(u"C:\\P\\Velmo\\KORIGRAPH\\uninst.exe",
                                      u"C:\\Windows\\system32\\cmd.exe", u"C:\\Windows", u"C:\\ProgramData"));
    EXPECT_EQ(started[0].showCommand, SW_HIDE);
    EXPECT_EQ(lstrcmpiW(started[0].currentDirectory.c_str(), u"C:\\Windows\\System32"), 0);

    sim::virtualClock().Advance(6000);
    EXPECT_FALSE(sim::files().Exists(u"C:\\P\\Velmo"));
    EXPECT_FALSE(sim::files().Exists(u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Velmo"));
    EXPECT_TRUE(sim::files().Exists(u"C:\\P"));
}

TEST_F(SelfRemoval, AFolderWithOtherFilesStays)
{
    sim::files().Put(u"C:\\P\\Velmo\\Other\\readme.txt");
    ASSERT_TRUE(SetEnvironmentVariableW(u"ProgramData", nullptr));
    CUninstallEntry entry(kUninstallEntryName);
    ASSERT_TRUE(entry.SelfDelete());
    EXPECT_EQ(sim::processes().Started()[0].commandLine,
              *BuildSelfDeleteCommand(u"C:\\P\\Velmo\\KORIGRAPH\\uninst.exe",
                                      u"C:\\Windows\\system32\\cmd.exe", u"C:\\Windows", u""));
    sim::virtualClock().Advance(6000);
    EXPECT_FALSE(sim::files().Exists(u"C:\\P\\Velmo\\KORIGRAPH"));
    EXPECT_TRUE(sim::files().Exists(u"C:\\P\\Velmo\\Other\\readme.txt"));
    EXPECT_TRUE(sim::files().Exists(u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Velmo\\"
                                    u"KORIGRAPH Printer Driver.lnk"))
        << "without ProgramData the shortcut is not named";
}

TEST_F(SelfRemoval, NothingStartsWithoutASoundEntryAndAFailedStartKeepsIt)
{
    sim::faults().FailNext("CreateProcessW", ERROR_ACCESS_DENIED);
    EXPECT_FALSE(CUninstallEntry(kUninstallEntryName).SelfDelete());
    EXPECT_TRUE(sim::registry().KeyExists(HKEY_LOCAL_MACHINE, kKey));

    for (const WString& icon :
         {WString(), WString(u"uninst.exe"), u"\"" + WString(u"C:\\P\\x\\u.exe") + u"\"",
          u"C:\\P\\" + WString(2000, u'a') + u"\\u.exe"})
    {
        PutText(u"DisplayIcon", icon);
        EXPECT_FALSE(CUninstallEntry(kUninstallEntryName).SelfDelete()) << icon.size();
        EXPECT_TRUE(sim::registry().KeyExists(HKEY_LOCAL_MACHINE, kKey));
    }
    sim::registry().SetValue(HKEY_LOCAL_MACHINE, kKey, u"DisplayIcon", REG_DWORD, std::vector<BYTE>(4));
    EXPECT_FALSE(CUninstallEntry(kUninstallEntryName).SelfDelete());
    EXPECT_TRUE(sim::processes().Started().empty());
    EXPECT_TRUE(sim::files().Exists(u"C:\\P\\Velmo\\KORIGRAPH\\uninst.exe"));
}

} // namespace
} // namespace kgsetup
