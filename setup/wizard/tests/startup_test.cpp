// The setup program's start: one instance, the systems it refuses, the clean-up of an installed
// copy with nothing left to manage, and the options of its command line.
#include "startup.h"
#include "wizard_fixture.h"

#include <sim/firewall.h>
#include <sim/spooler.h>
#include <testing/machines.h>

#include <algorithm>
#include <vector>

namespace kgsetup::testing
{
namespace
{
constexpr const char16_t* kSetup64 = u"C:\\Setup\\KGSetup64.exe";
constexpr const char16_t* kSetup32 = u"C:\\Setup\\KGSetup.exe";
constexpr const char16_t* kMetadataPackage = u"C:\\ProgramData\\Microsoft\\Windows\\DeviceMetadataStore\\en\\"
                                             u"9873ecfa-0137-40b9-84d7-8521109bc5bd.devicemetadata-ms";
constexpr const char16_t* kMetadataCache =
    u"C:\\ProgramData\\Microsoft\\Windows\\DeviceMetadataCache\\dmrccache\\"
    u"multiloc\\9873ecfa-0137-40b9-84d7-8521109bc5bd";

// A driver package beside the programs, enough for the context to find it.
void PutPackage(bool v4 = true)
{
    const char* inf = "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Printer\r\n"
                      "[Strings]\r\nDestination=\"Velmo ENGLISH\"\r\n";
    sim::files().Put(v4 ? u"C:\\Setup\\Driver\\VeKglV4.inf" : u"C:\\Setup\\Win64\\VelmoQ7.inf", inf);
}

WString TableText(UINT language, int id)
{
    static const std::vector<MessageTableEntry> tables = LoadMessageTables();
    return ChooseMessageTable(tables, language)->Text(id);
}

void SetBrowserVersion(const char16_t* version)
{
    WString text(version);
    for (sim::RegistryView view : {sim::RegistryView::Native, sim::RegistryView::Wow32})
        sim::registry().SetValue(
            HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Internet Explorer", u"Version", REG_SZ,
            {reinterpret_cast<const BYTE*>(text.c_str()), (text.size() + 1) * sizeof(WCHAR)}, view);
}

// Runs a build, answers every message box, and gives the texts shown and the exit code.
struct Outcome
{
    DWORD exitCode = 0;
    std::vector<WString> messages;
};

Outcome RunSetup(const char16_t* path, const char16_t* arguments = u"")
{
    Outcome o;
    o.exitCode = D().Run(path, arguments, [] {
        while (D().MessageBox())
            D().AnswerMessageBox(IDOK);
    });
    for (const sim::MessageBoxShown& box : D().MessageBoxes())
    {
        EXPECT_EQ(static_cast<UINT>(box.type & MB_ICONMASK), static_cast<UINT>(MB_ICONERROR))
            << "no error icon";
        o.messages.push_back(box.text);
    }
    return o;
}

bool MutexHeld(const WCHAR* name)
{
    HANDLE probe = CreateMutexW(nullptr, FALSE, name);
    bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    CloseHandle(probe);
    return existed;
}

class StartupTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        PrepareMachine();
        sim::files().Put(kSetup64, "MZ");
        sim::files().Put(kSetup32, "MZ");
    }
};

TEST_F(StartupTest, ASecondInstanceIsToldAndLeaves)
{
    HANDLE first = CreateMutexW(nullptr, TRUE, kSetup64BuildId);
    ASSERT_TRUE(first);
    Outcome o = RunSetup(kSetup64);
    EXPECT_EQ(o.exitCode, 0u);
    EXPECT_EQ(o.messages, std::vector<WString>{kAlreadyRunning});
    ReleaseMutex(first);
    CloseHandle(first);
}

TEST_F(StartupTest, EachBuildTakesItsOwnMutex)
{
    // The 32-bit build's mutex does not stop the 64-bit one: a waiting parent must not block its child.
    HANDLE parent = CreateMutexW(nullptr, TRUE, kSetup32BuildId);
    Outcome o = RunSetup(kSetup64);
    EXPECT_EQ(o.messages, std::vector<WString>{TableText(9, 3)});
    EXPECT_FALSE(MutexHeld(kSetup64BuildId));
    CloseHandle(parent);
}

TEST_F(StartupTest, TheGatesRefuseOldSystemsAndBrowsersInTheDetectedLanguage)
{
    struct Case
    {
        DWORD major, minor;
        bool x64;
        const char16_t* browser; // null: no version text
        LANGID userLanguage;
        int text; // 3: passed both gates (nothing to install, clean-up)
    };
    const Case cases[] = {
        {6, 0, true, u"9.0.1", 0x0409, 1},  {6, 0, false, u"9.0.1", 0x0409, 1},
        {6, 1, true, u"11.0", 0x0409, 3},   {6, 1, false, u"11.0", 0x0409, 3},
        {5, 1, false, u"8.0", 0x0409, 1},   {6, 4, true, u"11.0", 0x0409, 3},
        {10, 0, true, u"4.0.2", 0x0409, 2}, {10, 0, true, nullptr, 0x0409, 2},
        {10, 0, true, u"5.0", 0x0411, 3},   {6, 0, true, u"9.0", 0x0411, 1},
        {10, 0, false, u"4.72", 0x0411, 2},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(::testing::Message() << c.major << "." << c.minor << (c.x64 ? " x64 " : " x86 ")
                                          << (c.browser ? "browser" : "no browser") << " " << c.userLanguage);
        sim::machine().Reset();
        SetUp();
        sim::OsIdentity os;
        os.major = c.major;
        os.minor = c.minor;
        sim::machine().SetOs(os);
        sim::machine().SetSystem64(c.x64);
        if (c.browser)
            SetBrowserVersion(c.browser);
        else
            sim::registry().SetValue(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Internet Explorer",
                                     u"Version", REG_DWORD, std::vector<BYTE>(4));
        D().SetUserLanguage(c.userLanguage);
        // "/e" comes after the gates: they keep the language the context found.
        Outcome o = RunSetup(c.x64 ? kSetup64 : kSetup32, u"/e");
        EXPECT_EQ(o.exitCode, 0u);
        EXPECT_EQ(o.messages, std::vector<WString>{TableText(c.userLanguage == 0x0411 ? 17 : 9, c.text)});
        EXPECT_FALSE(MutexHeld(c.x64 ? kSetup64BuildId : kSetup32BuildId));
    }
}

TEST_F(StartupTest, AnInstalledCopyWithNothingToManageCleansUp)
{
    sim::files().Put(kMetadataPackage, "package");
    sim::files().Put(WString(kMetadataCache) + u"\\PackageInfo.xml", "cache");
    const WString neighbour =
        u"C:\\ProgramData\\Microsoft\\Windows\\DeviceMetadataStore\\en\\other.devicemetadata-ms";
    sim::files().Put(neighbour, "other");
    // The installed copy's entry, through which it removes itself at its exit.
    const WString entry =
        u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KORIGRAPH Printer Driver";
    const WString icon = WString(kSetup64) + u" /uninstall";
    sim::registry().SetValue(
        HKEY_LOCAL_MACHINE, entry, u"DisplayIcon", REG_SZ,
        {reinterpret_cast<const BYTE*>(icon.c_str()), (icon.size() + 1) * sizeof(WCHAR)});
    sim::processes().InstallCommandInterpreter(false);

    Outcome o = RunSetup(kSetup64);
    EXPECT_EQ(o.exitCode, 0u);
    EXPECT_EQ(o.messages, std::vector<WString>{TableText(9, 3)});
    EXPECT_FALSE(sim::files().Exists(kMetadataPackage));
    EXPECT_FALSE(sim::files().Exists(WString(kMetadataCache) + u"\\PackageInfo.xml"));
    EXPECT_FALSE(std::filesystem::exists(sim::files().HostPath(kMetadataCache)));
    EXPECT_TRUE(sim::files().Exists(neighbour));
    // The command that removes the copy once it has ended (its interpreter's own programs aside).
    const WString removal = u"del /Q  \"C:\\Setup\\KGSetup64.exe\"";
    std::vector<sim::StartedProcess> started = sim::processes().Started();
    EXPECT_EQ(std::count_if(
                  started.begin(), started.end(),
                  [&](const sim::StartedProcess& p) { return p.commandLine.find(removal) != WString::npos; }),
              1);
    EXPECT_FALSE(sim::registry().KeyExists(HKEY_LOCAL_MACHINE, entry));
}

// An installed copy whose maker INF cannot be read at its start does not take the driver for gone:
// it says why, with the code, and leaves the driver and its pieces. Each open of the start fails.
TEST_F(StartupTest, AnInstalledInfThatCannotBeReadIsAFailureNotACleanUp)
{
    int failures = 0;
    for (int skip = 0;; ++skip)
    {
        SCOPED_TRACE(skip);
        sim::machine().Reset();
        SetUp();
        ASSERT_FALSE(test::MachineWithV4().empty());
        sim::files().Put(kMetadataPackage, "package");
        sim::faults().FailNext("SetupOpenInfFileW", ERROR_GEN_FAILURE, 1, skip);
        D().Run(kSetup64, u"", [] {
            if (HWND sheet = Sheet(); sheet && !D().MessageBox())
                D().Click(D().Control(sheet, IDCANCEL));
            while (D().MessageBox())
                D().AnswerMessageBox(IDOK);
        });
        if (!sim::faults().Pending().empty())
        {
            sim::machine().Reset(); // the run opens fewer INFs: each was failed once
            break;
        }
        EXPECT_TRUE(sim::files().Exists(kMetadataPackage));
        EXPECT_FALSE(sim::spooler().Packages().empty());
        for (const sim::MessageBoxShown& box : D().MessageBoxes())
        {
            ++failures;
            EXPECT_TRUE(box.text.starts_with(TableText(9, 140)))
                << std::string(box.text.begin(), box.text.end());
            EXPECT_NE(box.text.find(u"Error Code:\t0x0000001F"), WString::npos);
        }
    }
    EXPECT_GT(failures, 0);
}

TEST_F(StartupTest, StartUpFailuresEndQuietlyOrStillCleanUp)
{
    struct Case
    {
        const char* api;
        DWORD error;
        std::vector<int> texts;
    };
    const Case cases[] = {
        {"CreateMutexW", ERROR_ACCESS_DENIED, {}},
        {"LoadLibraryExW", ERROR_MOD_NOT_FOUND, {3}}, // the search stays as it was; the run goes on
        {"MessageBoxW", ERROR_NOT_ENOUGH_MEMORY, {}},
        {"GetProcAddress", ERROR_PROC_NOT_FOUND, {3}},
        {"CoCreateInstance", 0x80040154, {3}}, // the leftovers stay where the shell cannot delete them
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.api);
        sim::machine().Reset();
        SetUp();
        sim::faults().FailNext(c.api, c.error);
        Outcome o = RunSetup(kSetup64);
        EXPECT_EQ(o.exitCode, 0u);
        std::vector<WString> expected;
        for (int id : c.texts)
            expected.push_back(TableText(9, id));
        EXPECT_EQ(o.messages, expected);
        EXPECT_FALSE(MutexHeld(kSetup64BuildId));
    }
}

TEST_F(StartupTest, OptionsAreMatchedWholeWithoutCaseAndTheLaterOneOfAGroupWins)
{
    struct Case
    {
        std::vector<WString> arguments; // after the program's name
        UINT uiLanguage;
        UINT languageMonitor;
        UINT fileOnly;
        WORD connectionKind;
        WORD mode;
    };
    const Case cases[] = {
        {{}, 9, 1, 0, 0, 0},
        {{u"/E", u"/lm=on", u"/UNINSTALL"}, 9, 1, 0, 0, 2},
        {{u"/j"}, 17, 1, 0, 0, 0},
        {{u"/J", u"/e"}, 9, 1, 0, 0, 0},
        {{u"/e", u"/j"}, 17, 1, 0, 0, 0},
        {{u"/LM=OFF"}, 9, 0, 0, 0, 0},
        {{u"/lm=off", u"/lm=on"}, 9, 1, 0, 0, 0},
        {{u"/fs"}, 9, 1, 1, 1, 0},
        {{u"/uninstall", u"/modify"}, 9, 1, 0, 0, 3},
        {{u"/modify", u"/FS"}, 9, 1, 1, 1, 3},
        {{u"/j ", u"j", u"", u"/lm", u"/lm=onx", u"-uninstall", u"/modify/fs"}, 9, 1, 0, 0, 0},
    };
    for (const Case& c : cases)
    {
        CSetupContext context;
        context.uiLanguage = 9;
        context.ChooseCurrentMessageTable();
        std::vector<WString> arguments{u"C:\\Setup\\KGSetup64.exe"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        ParseOptions(context, arguments);
        ::testing::Message trace;
        for (const WString& a : c.arguments)
            trace << std::string(a.begin(), a.end()) << " ";
        SCOPED_TRACE(trace);
        EXPECT_EQ(context.uiLanguage, c.uiLanguage);
        EXPECT_EQ(context.currentMessageTable, ChooseMessageTable(context.messageTables, c.uiLanguage));
        EXPECT_EQ(context.languageMonitorSwitch, c.languageMonitor);
        EXPECT_EQ(context.fileOnly, c.fileOnly);
        EXPECT_EQ(context.connectionKind, c.connectionKind);
        EXPECT_EQ(context.mode, c.mode);
    }
}

TEST_F(StartupTest, ThePrograms32BitBuildRunsAsA32BitProcess)
{
    EXPECT_EQ(RunningBuildId(), WString(kSetup64BuildId)); // the test itself: a 64-bit program
    HANDLE held = CreateMutexW(nullptr, TRUE, kSetup32BuildId);
    Outcome o = RunSetup(kSetup32);
    EXPECT_EQ(o.messages, std::vector<WString>{kAlreadyRunning});
    CloseHandle(held);
}

TEST_F(StartupTest, RelaunchRunsTheNativeBuildWithTheCommandLineAsGivenAndReturnsItsCode)
{
    sim::processes().RegisterStandIn(u"KGSetup64.exe", [](const sim::StartedProcess&) -> DWORD { return 7; });
    *g_setupContext = std::make_unique<CSetupContext>();
    struct Case
    {
        WString arguments;
        const char16_t* nativePath;
        DWORD exitCode;
        DWORD startError;
    };
    const WString longest(32767 - 26, u'x'); // with the quoted path and its blank: the longest line there is
    const Case cases[] = {
        {u"/e  \"a b\"  /UNINSTALL \"\"", kSetup64, 7, 0},
        {u"", kSetup64, 7, 0},
        {longest, kSetup64, 7, 0},
        {longest + u"x", kSetup64, 0, ERROR_FILENAME_EXCED_RANGE},
        {u"/e", u"C:\\Setup\\Missing64.exe", 0, ERROR_FILE_NOT_FOUND},
    };
    for (const Case& c : cases)
    {
        Context().nativeSetupPath = c.nativePath;
        size_t startedBefore = sim::processes().Started().size();
        RelaunchResult r = RelaunchNativeBuild(c.arguments.c_str());
        EXPECT_EQ(r.exitCode, c.exitCode) << c.arguments.size();
        EXPECT_EQ(r.startError, c.startError) << c.arguments.size();
        std::vector<sim::StartedProcess> started = sim::processes().Started();
        ASSERT_EQ(started.size(), startedBefore + (c.startError ? 0 : 1));
        if (!c.startError)
        {
            EXPECT_EQ(started.back().commandLine, u"\"" + WString(c.nativePath) + u"\" " + c.arguments);
        }
    }
    g_setupContext->reset();
}

TEST_F(StartupTest, TheWizardRunsInsideTheProgramsFirewallRule)
{
    PutPackage();
    sim::FirewallRule other;
    other.name = u"Other program";
    sim::firewall().AddRule(other);
    std::vector<sim::FirewallRule> during;
    DWORD exit = D().Run(kSetup64, u"", [&] {
        ASSERT_TRUE(Sheet());
        during = sim::firewall().Rules();
        EXPECT_EQ(D().Text(Sheet()), TableText(9, 4));
        D().Click(D().Control(Sheet(), IDCANCEL));
    });
    EXPECT_EQ(exit, 0u);
    ASSERT_EQ(during.size(), 2u);
    EXPECT_EQ(during[1].name, kFirewallRuleName);
    EXPECT_EQ(during[1].applicationName, kSetup64);
    EXPECT_EQ(sim::firewall().Rules().size(), 1u);
    EXPECT_FALSE(MutexHeld(kSetup64BuildId));
}

TEST_F(StartupTest, Windows7TakesTheClassicPackageAndRefusesThePackageDriver)
{
    for (bool v4 : {false, true})
    {
        sim::machine().Reset();
        SetUp();
        sim::OsIdentity os;
        os.major = 6;
        os.minor = 1;
        sim::machine().SetOs(os);
        PutPackage(v4);
        bool wizard = false;
        DWORD exit = D().Run(kSetup64, u"", [&] {
            if (HWND sheet = Sheet(); sheet && !D().MessageBox())
            {
                wizard = true;
                D().Click(D().Control(sheet, IDCANCEL));
            }
            while (D().MessageBox())
                D().AnswerMessageBox(IDOK);
        });
        EXPECT_EQ(exit, 0u);
        EXPECT_EQ(wizard, !v4) << v4;
        std::vector<WString> expected;
        if (v4)
            expected.push_back(TableText(9, 1));
        std::vector<WString> shown;
        for (const sim::MessageBoxShown& box : D().MessageBoxes())
            shown.push_back(box.text);
        EXPECT_EQ(shown, expected);
    }
}

TEST_F(StartupTest, TheFittingBuildRunsWithTheSameArgumentsAndItsCodeComesBack)
{
    PutPackage();
    // The real 64-bit build: its wizard is cancelled while the 32-bit parent waits with its own mutex.
    bool parentHeld = false;
    DWORD exit = D().Run(kSetup32, u"/e /lm=off", [&] {
        ASSERT_TRUE(Sheet());
        parentHeld = MutexHeld(kSetup32BuildId);
        D().Click(D().Control(Sheet(), IDCANCEL));
    });
    EXPECT_EQ(exit, 0u);
    EXPECT_TRUE(parentHeld);
    std::vector<sim::StartedProcess> started = sim::processes().Started();
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].commandLine, u"\"C:\\Setup\\KGSetup64.exe\" /e /lm=off");
    EXPECT_FALSE(MutexHeld(kSetup32BuildId));

    // A stand-in's code comes back as it is.
    sim::processes().RegisterStandIn(u"KGSetup64.exe", [](const sim::StartedProcess&) -> DWORD { return 7; });
    EXPECT_EQ(RunSetup(kSetup32).exitCode, 7u);
}

TEST_F(StartupTest, AMissingOrUnstartableFittingBuildIsNamed)
{
    struct Case
    {
        bool present;
        const char* fault; // CreateProcessW fails with this error
        DWORD error;
        const char16_t* text;
    };
    for (const Case& c : {Case{false, nullptr, 0, u"The system cannot find the file specified."},
                          Case{true, "CreateProcessW", ERROR_ACCESS_DENIED, u"Access is denied."},
                          Case{true, "CreateProcessW", 0x2A0B, nullptr}})
    {
        sim::machine().Reset();
        SetUp();
        PutPackage();
        if (!c.present)
            DeleteFileW(kSetup64);
        if (c.fault)
            sim::faults().FailNext(c.fault, c.error);
        Outcome o = RunSetup(kSetup32);
        EXPECT_EQ(o.exitCode, 0u);
        std::vector<WString> expected;
        if (c.text) // without the system's text for the error there is nothing to say
            expected.push_back(WString(c.text) + u"\r\n\r\nKGSetup64.exe");
        EXPECT_EQ(o.messages, expected);
        EXPECT_FALSE(MutexHeld(kSetup32BuildId));
    }
}

TEST_F(StartupTest, ALongOrOddCommandLineStillAppliesTheOptions)
{
    PutPackage();
    const WString junk(32767 - 200, u'x');
    for (const WString& arguments : {u"\"\" /j \"" + junk + u"\" /fs", WString(u"/J \"\" \"/e x\"  /fs ")})
    {
        WString caption;
        D().Run(kSetup64, arguments, [&] {
            ASSERT_TRUE(Sheet());
            caption = D().Text(Sheet());
            D().Click(D().Control(Sheet(), IDCANCEL));
        });
        EXPECT_EQ(caption, TableText(17, 4));
    }
}

TEST_F(StartupTest, AFailingStepEndsTheRunWithoutLeavingARuleOrTheMutex)
{
    struct Case
    {
        const char* api;
        DWORD error;
        bool sheet;     // the wizard still shows
        DWORD exitCode; // after Cancel when it shows
    };
    const Case cases[] = {
        {"InitCommonControlsEx", ERROR_NOT_ENOUGH_MEMORY, false, 0},
        {"CreatePropertySheetPageW", ERROR_NOT_ENOUGH_MEMORY, false, 0xFFFFFFFF},
        {"PropertySheetW", ERROR_NOT_ENOUGH_MEMORY, false, 0xFFFFFFFF},
        {"CoInitializeEx", 0x8007000E, true, 0},
        {"CoCreateInstance", 0x80040154, true, 0},
        {"SysAllocString", 0, true, 0},
        {"INetFwPolicy2::get_Rules", 0x80004005, true, 0},
        {"INetFwRule::put_ApplicationName", 0x80070057, true, 0},
        {"INetFwRules::Add", 0x80070005, true, 0},
        {"INetFwRules::Remove", 0x80004005, true, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.api);
        sim::machine().Reset();
        SetUp();
        PutPackage();
        sim::faults().FailNext(c.api, c.error);
        bool shown = false;
        DWORD exit = D().Run(kSetup64, u"", [&] {
            if (HWND sheet = Sheet())
            {
                shown = true;
                D().Click(D().Control(sheet, IDCANCEL));
            }
        });
        EXPECT_EQ(shown, c.sheet);
        EXPECT_EQ(exit, c.exitCode);
        EXPECT_TRUE(sim::firewall().Rules().empty());
        EXPECT_FALSE(MutexHeld(kSetup64BuildId));
    }
}

} // namespace
} // namespace kgsetup::testing
