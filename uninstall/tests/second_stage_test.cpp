// The copy in the temporary folder: how the first stage starts it, and what it does once started.
#include "uninstaller_fixture.h"

#include "second_stage.h"

#include <sim/desktop.h>

#include <algorithm>

namespace uninstall::testing
{
namespace
{
constexpr const char16_t* kTemp = u"C:\\Users\\User\\AppData\\Local\\Temp";

class SecondStageTest : public UninstallerTest
{
protected:
    void SetUp() override
    {
        UninstallerTest::SetUp();
        UseRealRemoval();
    }

    // A first stage's work done: its copies in the temporary folder, the installed program beside its
    // folders.
    void PlaceCopies(Ini fileList, const Ini& ui = DefaultUiIni())
    {
        fileList.Set("UNINSTALL", "EXECFILE", std::string(kFolderA) + "\\Uninst64.exe");
        sim::files().Put(kProgram, "program");
        sim::files().Put(WString(kTemp) + u"\\Uninst64.exe", "program");
        sim::files().Put(WString(kTemp) + u"\\Unflist.ini", fileList.Text());
        sim::files().Put(WString(kTemp) + u"\\Uninst.ini", ui.Text());
    }

    DWORD RunCopy(WStringView arguments)
    {
        return sim::processes().Run(WString(kTemp) + u"\\Uninst64.exe", arguments);
    }

    static bool Marked(const WString& path)
    {
        auto pending =
            sim::registry().Value(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                                  u"PendingFileRenameOperations");
        if (!pending)
            return false;
        WString list(reinterpret_cast<const char16_t*>(pending->data.data()), pending->data.size() / 2);
        return list.find(u"\\??\\" + path + u'\0') != WString::npos;
    }
};

TEST_F(SecondStageTest, TheCopyRemovesTheFoldersItsFilesAndRestartsWhenAsked)
{
    struct Case
    {
        const char16_t* arguments;
        bool withPaths;
        bool reboots;
    };
    for (const Case& c : {Case{u"-u -dlog", true, false}, Case{u"-u -r -dlog", true, true},
                          Case{u"-u -r -t -dlog", true, false}, Case{u"-u -r -dlog", false, true}})
    {
        sim::machine().Reset();
        SetUp();
        Ini list = DefaultFileListIni();
        if (c.withPaths)
            list.Set("PATH", "PATH_000", "C:\\Program Files\\Velmo").Set("PATH", "PATH_001", kFolderA);
        PlaceCopies(list);
        sim::files().Put(u"C:\\Program Files\\Velmo\\Other\\keep.txt", "kept");
        EXPECT_EQ(RunCopy(c.arguments), 1u);
        auto& m = sim::machine();
        EXPECT_FALSE(sim::files().Exists(kProgram));
        EXPECT_EQ(sim::files().Exists(kFolder), !c.withPaths);
        EXPECT_TRUE(sim::files().Exists(u"C:\\Program Files\\Velmo\\Other\\keep.txt"));
        // Without folders to remove the copies still go and a wanted restart still comes.
        EXPECT_FALSE(sim::files().Exists(WString(kTemp) + u"\\Unflist.ini"));
        EXPECT_FALSE(sim::files().Exists(WString(kTemp) + u"\\Uninst.ini"));
        EXPECT_TRUE(Marked(WString(kTemp) + u"\\Uninst64.exe"));
        EXPECT_EQ(m.ShutdownRequests(), c.reboots ? std::vector<UINT>{EWX_REBOOT} : std::vector<UINT>{});
        auto lines = LogLines();
        ASSERT_GE(lines.size(), 7u);
        EXPECT_EQ(
            std::vector<std::string>(lines.begin(), lines.begin() + 7),
            (std::vector<std::string>{
                std::string(50, '-'), "         Uninstaller -- > Uninstaller", std::string(50, '-'),
                "*** Default Information ***",
                "  CommandLine      : " +
                    std::string(c.arguments, c.arguments + std::char_traits<char16_t>::length(c.arguments)),
                "*** Uninstaller Information ***", "  Uninstall Start!!"}));
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "    Reboot"), c.reboots ? 1 : 0);
        EXPECT_EQ(lines.back(), "  Finish !!");
    }
}

TEST_F(SecondStageTest, AProgramStillRunningIsWaitedForAMinuteThenLeft)
{
    PlaceCopies(DefaultFileListIni().Set("PATH", "PATH_000", kFolderA));
    sim::ProcessSetup installed;
    installed.imagePath = kProgram;
    DWORD running = sim::processes().Add(installed);
    ULONGLONG before = sim::virtualClock().Now();
    EXPECT_EQ(RunCopy(u"-u -dlog"), 1u);
    EXPECT_GE(sim::virtualClock().Now() - before, 60000u);
    EXPECT_LT(sim::virtualClock().Now() - before, 62000u);
    EXPECT_TRUE(sim::files().Exists(kProgram));
    EXPECT_TRUE(sim::processes().Running(running));
    EXPECT_TRUE(sim::files().Exists(kFolder));
    EXPECT_FALSE(sim::files().Exists(WString(kTemp) + u"\\Unflist.ini"));
}

TEST_F(SecondStageTest, TheTemporaryFolderComesFromTmpTempOrWindows)
{
    struct Case
    {
        std::optional<WString> tmp;
        std::optional<WString> temp;
        WString expected;
    };
    const WString tooLong = u"C:\\" + WString(260, u'x');
    for (const Case& c :
         {Case{u"C:\\T1\\a\\b", u"C:\\T2", u"C:\\T1\\a\\b"}, Case{std::nullopt, u"C:\\T2", u"C:\\T2"},
          Case{std::nullopt, std::nullopt, u"C:\\Windows"}, Case{tooLong, u"C:\\T2", u"C:\\Windows"}})
    {
        sim::machine().Reset();
        SetUp();
        sim::processes().SetSystemVariable(u"TMP", c.tmp);
        sim::processes().SetSystemVariable(u"TEMP", c.temp);
        Install(DefaultUiIni(), DefaultFileListIni());
        sim::files().Put(kProgram, "program");
        EXPECT_EQ(Run(u"-s"), 0u);
        auto shell = sim::processes().ShellRequests();
        auto copy = std::find_if(shell.begin(), shell.end(),
                                 [](const sim::ShellRequest& r) { return r.parameters.starts_with(u"-u"); });
        ASSERT_NE(copy, shell.end());
        EXPECT_EQ(copy->directory, c.expected);
        EXPECT_EQ(copy->file, c.expected + u"\\Uninst64.exe");
        EXPECT_EQ(copy->parameters, u"-u -s");
        // The installed INI files go only once the copy has started.
        EXPECT_FALSE(sim::files().Exists(WString(kFolder) + u"\\Unflist.ini"));
        EXPECT_TRUE(
            D().WaitUntil([&] { return sim::files().Exists(c.expected + u"\\Unflist.ini") == false; }));
    }
}

TEST_F(SecondStageTest, AFailedCopyKeepsTheInstalledFiles)
{
    for (const char* api : {"CopyFileA", "ShellExecuteExA"})
    {
        sim::machine().Reset();
        SetUp();
        Install(DefaultUiIni(), DefaultFileListIni());
        sim::files().Put(kProgram, "program");
        sim::faults().FailNext(api, ERROR_ACCESS_DENIED);
        EXPECT_EQ(Run(u"-s"), 0u);
        EXPECT_TRUE(sim::files().Exists(WString(kFolder) + u"\\Unflist.ini")) << api;
        EXPECT_TRUE(sim::files().Exists(WString(kFolder) + u"\\Uninst.ini")) << api;
        EXPECT_TRUE(sim::files().Exists(kProgram)) << api;
    }
}

TEST_F(SecondStageTest, TheRestartPageDecidesTheCopysRestart)
{
    struct Case
    {
        const char16_t* arguments;
        bool later;
        DWORD exit;
        bool reboots;
    };
    for (const Case& c : {Case{u"-r -dlog", false, 0, true}, Case{u"-r -dlog", true, 0, false},
                          Case{u"-r -t -dlog", false, 2, false}})
    {
        sim::machine().Reset();
        SetUp();
        Install(DefaultUiIni(), DefaultFileListIni().Set("PATH", "PATH_000", kFolderA));
        sim::files().Put(kProgram, "program");
        DWORD exit = Run(c.arguments, [&] {
            ClickNext();
            HWND frame = Frame();
            // The worker runs its pauses on the machine's clock.
            ASSERT_TRUE(D().WaitUntil([&] { return D().IsVisible(D().Control(frame, kIdRestartNow)); }));
            if (c.later)
                D().SetCheck(D().Control(frame, kIdRestartLater), true);
            ClickNext();
        });
        EXPECT_EQ(exit, c.exit);
        EXPECT_TRUE(D().WaitUntil([&] {
            auto lines = LogLines();
            return std::find(lines.begin(), lines.end(), "  Finish !!") != lines.end();
        }));
        EXPECT_EQ(sim::machine().ShutdownRequests().size(), c.reboots ? 1u : 0u);
        EXPECT_FALSE(sim::files().Exists(kProgram));
    }
}

} // namespace
} // namespace uninstall::testing
