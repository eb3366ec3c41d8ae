#include "uninstaller_fixture.h"

#include <sim/desktop.h>

#include <cstring>

namespace uninstall::testing
{
namespace
{
using LogTest = UninstallerTest;

std::string Joined(const std::vector<std::string>& texts)
{
    std::string all;
    for (const auto& t : texts)
        all += t + "\n";
    return all;
}

TEST_F(LogTest, TheHeaderOfARunWithTheFixedClock)
{
    SYSTEMTIME now{};
    now.wYear = 2024;
    now.wMonth = 1;
    now.wDay = 2;
    now.wHour = 3;
    now.wMinute = 4;
    now.wSecond = 5;
    ASSERT_TRUE(sim::virtualClock().SetLocalTime(now));
    Install(DefaultUiIni(), DefaultFileListIni());
    ASSERT_EQ(Run(u"-s -dlog"), 0u);
    std::string log = Log();
    const std::string dashes(50, '-');
    const std::string folder = kFolderA;
    const std::string header =
        "2024/01/02 03:04:05  " + dashes + "\r\n" +
        "2024/01/02 03:04:05              Uninstaller Version 7.6.2\r\n" + "2024/01/02 03:04:05  " + dashes +
        "\r\n" + "2024/01/02 03:04:05  *** OS Information ***\r\n" +
        "2024/01/02 03:04:05    OS             : Windows 10(64bit) (OS = 10.0.19045, SP = 0.0)\r\n" +
        "2024/01/02 03:04:05    Work Folder    : " + folder + "\r\n" +
        "2024/01/02 03:04:05    Windows Folder : C:\\Windows\r\n" +
        "2024/01/02 03:04:05    System Folder  : C:\\Windows\\System32\r\n" +
        "2024/01/02 03:04:05    CommandLine    : -s -dlog\r\n" +
        "2024/01/02 03:04:05    XxfList.ini    : " + folder + "\\Unflist.ini\r\n" +
        "2024/01/02 03:04:05    Xxuninst.ini   : " + folder + "\\Uninst.ini\r\n" +
        "2024/01/02 03:04:05    Language       : \r\n";
    EXPECT_EQ(log.substr(0, header.size()), header);
    EXPECT_EQ(LogLines().back(), "*** return [0] ***");
}

TEST_F(LogTest, DebugOptionsPickWhereLinesGo)
{
    struct Case
    {
        const char16_t* arguments;
        bool file;
        bool debugger;
    };
    for (const Case& c :
         {Case{u"-s -dout", false, true}, Case{u"-s -dlog", true, false}, Case{u"-s -dlogout", true, true},
          Case{u"-s -dqa", false, false}, Case{u"-s -d", false, false}, Case{u"-s", false, false}})
    {
        sim::machine().Reset();
        SetUp();
        Install(DefaultUiIni(), DefaultFileListIni());
        ASSERT_EQ(Run(c.arguments), 0u);
        EXPECT_EQ(sim::files().Exists(u"C:\\Setup.txt"), c.file);
        std::string debugged = Joined(sim::processes().DebugOutput());
        EXPECT_EQ(debugged.find("*** OS Information ***") != std::string::npos, c.debugger);
        EXPECT_EQ(debugged.find("*** return [0] ***") != std::string::npos, c.debugger);
    }
}

TEST_F(LogTest, TheLogValuePlacesTheFileAndMayHideItsFolder)
{
    struct Case
    {
        const char* value;
        const char16_t* path;
        const char16_t* folder;
        bool hidden;
    };
    for (const Case& c :
         {Case{"%TEMP%\\Velmo\\remove.log;HIDE", u"C:\\Users\\User\\AppData\\Local\\Temp\\Velmo\\remove.log",
               u"C:\\Users\\User\\AppData\\Local\\Temp\\Velmo", true},
          Case{"Logs\\Velmo\\remove.log", u"C:\\Logs\\Velmo\\remove.log", u"C:\\Logs\\Velmo", false},
          Case{"Logs\\remove.log;hide", u"C:\\Logs\\remove.log", u"C:\\Logs", true},
          Case{"C:\\Data\\remove.log", u"C:\\Data\\remove.log", u"C:\\Data", false},
          Case{"Setup.txt;HIDE", u"C:\\Setup.txt", u"C:\\", false}})
    {
        sim::machine().Reset();
        SetUp();
        Ini fileList = DefaultFileListIni();
        fileList.Set("UNINSTALL", "LOG", c.value);
        Install(DefaultUiIni(), fileList);
        ASSERT_EQ(Run(u"-s -dlog"), 0u);
        EXPECT_NE(Log(c.path).find("*** OS Information ***"), std::string::npos) << c.value;
        DWORD attributes = GetFileAttributesW(c.folder);
        ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES) << c.value;
        EXPECT_EQ((attributes & FILE_ATTRIBUTE_HIDDEN) != 0, c.hidden) << c.value;
    }
}

TEST_F(LogTest, AFailingStartUpCallEndsAsItShouldAndChangesNothingElse)
{
    struct Case
    {
        const char* api;
        const char* box; // null: none
        int launches;
        int logLinesLost;
    };
    for (const Case& c :
         {Case{"CreateMutexA", "The removal is already running.", 0, 0},
          Case{"RegisterClassA", nullptr, 0, 0}, Case{"LoadLibraryA", "_Setup64.dll was not found.", 0, 0},
          Case{"CreateFileA", nullptr, 1, 1}})
    {
        sim::machine().Reset();
        SetUp();
        Install(DefaultUiIni(), DefaultFileListIni());
        ASSERT_EQ(Run(u"-s -dlog"), 0u);
        size_t lines = LogLines().size();
        sim::machine().Reset();
        SetUp();
        Install(DefaultUiIni(), DefaultFileListIni());
        sim::faults().FailNext(c.api, ERROR_ACCESS_DENIED);
        DWORD exit = Run(u"-s -dlog", [&] {
            if (c.box)
            {
                auto box = D().MessageBox();
                ASSERT_TRUE(box) << c.api;
                EXPECT_EQ(box->text, WString(c.box, c.box + std::strlen(c.box)));
                D().AnswerMessageBox(IDOK);
            }
        });
        EXPECT_EQ(exit, 0u) << c.api;
        EXPECT_EQ(D().MessageBoxes().size(), c.box ? 1u : 0u) << c.api;
        EXPECT_EQ(recorded.secondStageLaunches, c.launches) << c.api;
        if (c.launches)
        {
            EXPECT_EQ(LogLines().size(), lines - static_cast<size_t>(c.logLinesLost)) << c.api;
        }
        else
        {
            EXPECT_EQ(recorded.workersStarted, 0) << c.api;
        }
    }
}

TEST_F(LogTest, AFailedLanguageCopyKeepsTheMainIni)
{
    const WString location = kInstalled;
    Ini fileList = DefaultFileListIni();
    fileList.Set("UNINSTALL", "SAL", "1").Set("LANGUAGE", "DEFAULT", "JPN");
    Ini japanese = DefaultUiIni();
    japanese.Set("TITLE", "TITLE", "Japanese Removal");
    InstallMoved(fileList, japanese);
    sim::faults().FailNext("CopyFileA", ERROR_ACCESS_DENIED);
    ASSERT_EQ(Run(u"-s"), 0u);
    EXPECT_EQ(sim::files().Bytes(location + u"\\Uninst.ini"), DefaultUiIni().Text());
    EXPECT_EQ(recorded.secondStageLaunches, 1);
}

} // namespace
} // namespace uninstall::testing
