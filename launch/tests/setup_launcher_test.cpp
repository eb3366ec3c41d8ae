#include <gtest/gtest.h>

#include <sim/machine.h>

#include "setup_launcher.h"

#include <platform/shellapi.h>

#include <optional>
#include <string>
#include <vector>

namespace
{
const WString kLauncher = u"C:\\Media\\Setup.exe";

TEST(SetupLauncher, IniPathReplacesTheFileNamesExtensionOnly)
{
    struct Row
    {
        const char* program;
        const char* ini;
    };
    for (const Row& row : {Row{"C:\\Media\\Setup.exe", "C:\\Media\\Setup.ini"},
                           Row{"C:\\Media\\Other.EXE", "C:\\Media\\Other.ini"},
                           Row{"C:\\Media.1\\Setup", "C:\\Media.1\\Setup.ini"},
                           Row{"C:\\Media\\Setup.x.exe", "C:\\Media\\Setup.x.ini"}})
        EXPECT_EQ(setuplauncher::IniPathOf(row.program), row.ini);
}

TEST(SetupLauncher, ASectionIsALanguageSectionOnlyForOneToFourHexDigitsAfterItsLastDot)
{
    struct Row
    {
        std::string name;
        std::optional<WORD> language;
    };
    for (const Row& row : {Row{"Setup.0411", 0x0411}, Row{"Setup.0c04", 0x0C04}, Row{"My Setup.9", 9},
                           Row{"A.B.0804", 0x0804}, Row{"Setup", std::nullopt}, Row{"Bad.XYZW", std::nullopt},
                           Row{"Setup.", std::nullopt}, Row{"Setup.04111", std::nullopt},
                           Row{"Setup.04 1", std::nullopt}, Row{std::string(300, 'L') + ".0411", 0x0411}})
        EXPECT_EQ(setuplauncher::SectionLanguage(row.name), row.language) << row.name;
}

TEST(SetupLauncher, SectionChoiceTakesTheFirstLanguageMatchElseTheLastDefault)
{
    struct Row
    {
        std::vector<std::string> names;
        LCID lcid;
        std::optional<std::string> chosen;
    };
    for (const Row& row : {
             Row{{"Setup", "Setup.0411"}, 0x0411, "Setup.0411"},
             Row{{"Setup", "Setup.0411"}, 0x0409, "Setup"},
             Row{{"Setup.0C04", "Setup"}, 0x0404, "Setup.0C04"},
             Row{{"Setup.0804"}, 0x0404, "Setup.0804"},
             Row{{"Setup.0804"}, 0x1004, "Setup.0804"},
             Row{{"First", "Setup.0407", "Second"}, 0x0409, "Second"},
             Row{{"Setup.0411", "Setup.0412"}, 0x0409, std::nullopt},
             Row{{"Bad.XYZW", "Setup"}, 0x0409, "Setup"},
             Row{{"Ja.0411", "Other.0011"}, 0x0411, "Ja.0411"},
             Row{{}, 0x0409, std::nullopt},
         })
        EXPECT_EQ(setuplauncher::ChooseSection(row.names, row.lcid), row.chosen);
}

std::string SystemText(DWORD code)
{
    LPSTR message = nullptr;
    FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&message), 0, nullptr);
    std::string text = message ? message : "";
    LocalFree(message);
    EXPECT_FALSE(text.empty()) << "no system text for " << code;
    return text;
}

struct RunCase
{
    const char* name;
    std::optional<std::string> ini; // nothing: no INI beside the launcher
    LANGID userLanguage;
    DWORD expectedExit;
    std::optional<WString> started = {};    // the program that ran
    std::optional<DWORD> errorCode = {};    // the box shown: the system text of this code ...
    std::optional<std::string> detail = {}; // ... and this detail
    WString launcher = kLauncher;
    sim::OsIdentity os = {};
    DWORD refusal = 0;

    friend void PrintTo(const RunCase& c, std::ostream* os) { *os << c.name; }
};

class SetupLauncherRun : public ::testing::TestWithParam<RunCase>
{
};

TEST_P(SetupLauncherRun, StartsTheProgramForTheUsersLanguageOrSaysWhyNot)
{
    const RunCase& c = GetParam();
    auto& m = sim::machine();
    auto& d = sim::desktop();
    m.SetOs(c.os);
    d.SetUserLanguage(c.userLanguage);
    sim::processes().RegisterProgramCopy(u"Setup.exe", u"Other.exe");
    sim::files().Put(c.launcher);
    if (c.ini)
    {
        WString ini = c.launcher.substr(0, c.launcher.rfind(u'.')) + u".ini";
        sim::files().Put(ini, *c.ini);
    }
    for (const char16_t* program :
         {u"C:\\Media\\Menu\\Menu.exe", u"C:\\Media\\Menu\\MenuJa.exe", u"C:\\Media\\Driver\\KGSetup.exe"})
        sim::files().Put(program);
    sim::files().Put(u"C:\\Media\\Folder\\inside.txt");
    for (const char16_t* name : {u"Menu.exe", u"MenuJa.exe"})
        sim::processes().RegisterStandIn(name, [](const sim::StartedProcess&) -> DWORD { return 0; });
    sim::processes().RegisterStandIn(u"KGSetup.exe",
                                     [](const sim::StartedProcess&) -> DWORD { return 3010; });
    if (c.refusal)
        sim::faults().FailNext("ShellExecuteExA", c.refusal);

    DWORD exit = d.Run(c.launcher, u"ignored", [&] {
        if (d.MessageBox())
            d.AnswerMessageBox(IDOK);
    });
    EXPECT_EQ(exit, c.expectedExit);
    auto started = sim::processes().Started();
    ASSERT_EQ(started.size(), c.started ? 1u : 0u);
    if (c.started)
    {
        EXPECT_EQ(started[0].applicationPath, *c.started);
    }
    auto boxes = d.MessageBoxes();
    ASSERT_EQ(boxes.size(), c.errorCode ? 1u : 0u);
    if (c.errorCode)
    {
        std::string text = SystemText(*c.errorCode) + (c.detail ? "\r\n\r\n" + *c.detail : "");
        EXPECT_EQ(boxes[0].text, WString(text.begin(), text.end()));
        EXPECT_EQ(boxes[0].caption, u"Setup Launcher");
        EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_ICONERROR));
    }
}

const std::string kTwoSections =
    "[Setup]\r\npath=Menu\\Menu.exe\r\n[Setup.0411]\r\npath=Menu\\MenuJa.exe\r\n";
const WString kMenu = u"C:\\Media\\Menu\\Menu.exe";
const WString kMenuJa = u"C:\\Media\\Menu\\MenuJa.exe";

sim::OsIdentity Windows(DWORD major, DWORD minor)
{
    sim::OsIdentity os;
    os.major = major;
    os.minor = minor;
    return os;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SetupLauncherRun,
    ::testing::Values(
        RunCase{"JapaneseUserGetsTheJapaneseSection", kTwoSections, 0x0411, 0, kMenuJa},
        RunCase{"EnglishUserGetsTheDefault", kTwoSections, 0x0409, 0, kMenu},
        RunCase{"TheLaterDefaultWins", "[A]\r\npath=Driver\\KGSetup.exe\r\n[B]\r\npath=Menu\\Menu.exe\r\n",
                0x0409, 0, kMenu},
        RunCase{"NoSectionForTheUser", "[Setup.0411]\r\npath=Menu\\MenuJa.exe\r\n", 0x0409, 3, std::nullopt,
                3},
        RunCase{"DamagedAndLongSectionNames",
                "[Bad.XYZW]\r\npath=Driver\\KGSetup.exe\r\n[" + std::string(300, 'L') +
                    ".0411]\r\npath=Menu\\MenuJa.exe\r\n",
                0x0411, 0, kMenuJa},
        RunCase{"NoPathKey", "[Setup]\r\noption=/s\r\n", 0x0409, 2, std::nullopt, 2, ""},
        RunCase{"PathFailedCountsAsAbsent", "[Setup]\r\npath=FAILED\r\n", 0x0409, 2, std::nullopt, 2, ""},
        RunCase{"PathNamesAFolder", "[Setup]\r\npath=Folder\r\n", 0x0409, 2, std::nullopt, 2, "Folder"},
        RunCase{"PathNamesAMissingFile", "[Setup]\r\npath=Menu\\Gone.exe\r\n", 0x0409, 2, std::nullopt, 2,
                "Gone.exe"},
        RunCase{"NoIni", std::nullopt, 0x0409, 2, std::nullopt, 2, "Setup.ini"},
        RunCase{"ARenamedLauncherReadsItsOwnIni", "[Setup]\r\npath=Driver\\KGSetup.exe\r\n", 0x0409, 3010,
                u"C:\\Media\\Driver\\KGSetup.exe", std::nullopt, std::nullopt, u"C:\\Media\\Other.exe"},
        RunCase{"TheChildsExitCode", "[Setup]\r\npath=Driver\\KGSetup.exe\r\n", 0x0409, 3010,
                u"C:\\Media\\Driver\\KGSetup.exe"},
        RunCase{"ARefusedLaunchEndsSilently",
                kTwoSections,
                0x0409,
                0,
                std::nullopt,
                std::nullopt,
                std::nullopt,
                kLauncher,
                {},
                ERROR_CANCELLED},
        RunCase{"Windows2000Runs", kTwoSections, 0x0409, 0, kMenu, std::nullopt, std::nullopt, kLauncher,
                Windows(5, 0)},
        RunCase{"NtFourIsTooOld", kTwoSections, 0x0409, ERROR_OLD_WIN_VERSION, std::nullopt,
                ERROR_OLD_WIN_VERSION, std::nullopt, kLauncher, Windows(4, 0)}));

TEST(SetupLauncher, PassesTheOptionTheProgramsFolderAndItsOwnShowCommand)
{
    sim::files().Put(kLauncher);
    sim::files().Put(u"C:\\Media\\Setup.ini",
                     "[Setup]\r\npath=.\\Menu\\..\\Menu\\Menu.exe\r\noption=/lang ja\r\n");
    sim::files().Put(kMenu);
    sim::processes().RegisterStandIn(u"Menu.exe", [](const sim::StartedProcess&) -> DWORD { return 0; });
    EXPECT_EQ(
        sim::desktop().Run([&] { return sim::processes().Run(kLauncher, u"", SW_SHOWMINIMIZED); }, nullptr),
        0u);
    auto requests = sim::processes().ShellRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].file, kMenu);
    EXPECT_EQ(requests[0].parameters, u"/lang ja");
    EXPECT_EQ(requests[0].directory, u"C:\\Media\\Menu\\");
    EXPECT_EQ(requests[0].showCommand, SW_SHOWMINIMIZED);
    EXPECT_EQ(requests[0].verb, u"");
    auto started = sim::processes().Started();
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].commandLine, u"\"" + kMenu + u"\" /lang ja");
    auto search = sim::processes().DllSearchOf(kLauncher);
    ASSERT_TRUE(search.has_value());
    EXPECT_EQ(search->dllDirectory, WString());
    EXPECT_EQ(search->defaultDirectories, static_cast<DWORD>(LOAD_LIBRARY_SEARCH_SYSTEM32));
    EXPECT_EQ(search->searchMode,
              static_cast<DWORD>(BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE | BASE_SEARCH_PATH_PERMANENT));
}
} // namespace
