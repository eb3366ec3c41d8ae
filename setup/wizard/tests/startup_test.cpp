// The setup program's start: one instance, the systems it refuses, the clean-up of an installed
// copy with nothing left to manage, and the options of its command line.
#include "startup.h"
#include "wizard_fixture.h"

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

WString TableText(UINT language, int id)
{
    static const std::vector<MessageTableEntry> tables = LoadMessageTables();
    return ChooseMessageTable(tables, language)->Text(id);
}

void SetBrowserVersion(const char16_t* version)
{
    WString text(version);
    sim::machine().SetRegistryValue(
        HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Internet Explorer", u"Version", REG_SZ,
        {reinterpret_cast<const BYTE*>(text.c_str()), (text.size() + 1) * sizeof(WCHAR)});
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
        sim::machine().PutFile(kSetup64, "MZ");
        sim::machine().PutFile(kSetup32, "MZ");
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
            sim::machine().SetRegistryValue(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Internet Explorer",
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
    sim::machine().PutFile(kMetadataPackage, "package");
    sim::machine().PutFile(WString(kMetadataCache) + u"\\PackageInfo.xml", "cache");
    const WString neighbour =
        u"C:\\ProgramData\\Microsoft\\Windows\\DeviceMetadataStore\\en\\other.devicemetadata-ms";
    sim::machine().PutFile(neighbour, "other");

    Outcome o = RunSetup(kSetup64);
    EXPECT_EQ(o.exitCode, 0u);
    EXPECT_EQ(o.messages, std::vector<WString>{TableText(9, 3)});
    EXPECT_FALSE(sim::machine().FileExists(kMetadataPackage));
    EXPECT_FALSE(sim::machine().FileExists(WString(kMetadataCache) + u"\\PackageInfo.xml"));
    EXPECT_FALSE(std::filesystem::exists(sim::machine().HostPath(kMetadataCache)));
    EXPECT_TRUE(sim::machine().FileExists(neighbour));
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
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.api);
        sim::machine().Reset();
        SetUp();
        sim::machine().FailNext(c.api, c.error);
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

} // namespace
} // namespace kgsetup::testing
