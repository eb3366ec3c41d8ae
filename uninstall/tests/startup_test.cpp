#include "uninstaller_fixture.h"

#include "os_index.h"

#include <sim/desktop.h>

#include <cstdlib>

namespace uninstall::testing
{
namespace
{
const char* const kNotFound = "Uninstallation information is not found. Uninstallation is stopped.";

using StartupTest = UninstallerTest;

TEST_F(StartupTest, TheProgramNameGivesTheUiIni)
{
    struct Case
    {
        const char16_t* program;
        const char* ini;
    };
    for (const Case& c : {Case{u"Uninst64.exe", "Uninst.ini"}, Case{u"Uninst.exe", "Uninst.ini"},
                          Case{u"A1.exe", "A1.ini"}, Case{u"12.exe", "12.ini"}})
    {
        sim::machine().Reset();
        SetUp();
        Install(DefaultUiIni(), DefaultFileListIni(), kFolder, c.ini);
        WString program = WString(kFolder) + u"\\" + c.program;
        DWORD exit = Run(u"-s -dlog", {}, program);
        EXPECT_EQ(exit, 0u);
        EXPECT_EQ(recorded.secondStageLaunches, 1) << c.ini;
        EXPECT_TRUE(D().MessageBoxes().empty()) << c.ini;
        auto lines = LogLines();
        std::string expected = std::string("  Xxuninst.ini   : ") + kFolderA + "\\" + c.ini;
        EXPECT_NE(std::find(lines.begin(), lines.end(), expected), lines.end()) << c.ini;
    }
}

TEST_F(StartupTest, MissingUninstallInformationStopsWithTheFixedBox)
{
    struct Case
    {
        const char* what;
        bool registryKey;
        bool title;
    };
    for (const Case& c : {Case{"no REGISTKEY", false, true}, Case{"no TITLE", true, false}})
    {
        sim::machine().Reset();
        SetUp();
        Ini ui = DefaultUiIni();
        Ini fileList = DefaultFileListIni();
        if (!c.registryKey)
            fileList.Remove("UNINSTALL", "REGISTKEY");
        if (!c.title)
            ui.Remove("TITLE", "TITLE");
        Install(ui, fileList);
        DWORD exit = Run(u"", [&] {
            auto box = D().MessageBox();
            ASSERT_TRUE(box) << c.what;
            EXPECT_EQ(box->text, W(kNotFound));
            EXPECT_EQ(box->caption, u"Uninstall");
            EXPECT_EQ(box->type, static_cast<UINT>(MB_ICONEXCLAMATION | MB_SETFOREGROUND));
            D().AnswerMessageBox(IDOK);
        });
        EXPECT_EQ(exit, 0u) << c.what;
        EXPECT_EQ(D().MessageBoxes().size(), 1u) << c.what;
        EXPECT_EQ(recorded.privilegeChecks, 0) << c.what;
    }
}

TEST_F(StartupTest, AnInstallLocationMovesThePathsAndCopiesTheLanguageIni)
{
    const WString location = kInstalled;
    Ini fileList = DefaultFileListIni();
    fileList.Set("UNINSTALL", "SAL", "1")
        .Set("LANGUAGE", "DEFAULT", "ENG")
        .Set("LANGUAGE", "LANG_00", "English;ENG;0901")
        .Set("LANGUAGE", "LANG_01", "Japanese;JPN;1101");
    Ini japanese = DefaultUiIni();
    japanese.Set("TITLE", "TITLE", "Japanese Removal");
    InstallMoved(fileList, japanese);
    auto& m = sim::machine();
    SetFileAttributesW((location + u"\\JPN\\Uninst.ini").c_str(), FILE_ATTRIBUTE_READONLY);
    m.SetSystemLanguage(0x0411);
    const std::string value = kInstalledA;
    DWORD exit = Run(u"-s -dlog");
    EXPECT_EQ(exit, 0u);
    EXPECT_EQ(sim::files().Bytes(location + u"\\Uninst.ini"), japanese.Text());
    EXPECT_EQ(GetFileAttributesW((location + u"\\Uninst.ini").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    auto lines = LogLines();
    auto at = std::find(lines.begin(), lines.end(), "*** Registry Information 1 ***");
    ASSERT_NE(at, lines.end());
    ASSERT_LT(at + 2, lines.end());
    EXPECT_EQ(at[1], "  XxfList.ini : " + value + "\\Unflist.ini");
    EXPECT_EQ(at[2], "  Xxuninst.ini : " + value + "\\Uninst.ini");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "  Language       : JPN"), lines.end());
    EXPECT_EQ(recorded.secondStageLaunches, 1);
}

TEST_F(StartupTest, TheHelperDecidesTheRights)
{
    struct Case
    {
        const char* what;
        bool helperFile;
        BOOL admin;
        bool export_;
        const char* box;
        const char* logged;
    };
    for (const Case& c :
         {Case{"no helper", false, TRUE, true, "_Setup64.dll was not found.", "[MessageBox] : MESSAGE_05"},
          Case{"no rights", true, FALSE, true, "Administrator rights are needed.",
               "[MessageBox] : MESSAGE_06"},
          Case{"no export", true, TRUE, false, nullptr, nullptr}})
    {
        sim::machine().Reset();
        SetUp();
        isAdministrator = c.admin;
        Install(DefaultUiIni(), DefaultFileListIni());
        if (!c.helperFile)
            DeleteFileW((WString(kFolder) + u"\\_Setup64.dll").c_str());
        if (!c.export_) // the program's own look-up of the loader setting comes first
            sim::faults().FailNext("GetProcAddress", ERROR_PROC_NOT_FOUND, 1, 1);
        DWORD exit = Run(u"-dlog", [&] {
            if (!c.box)
                return;
            auto box = D().MessageBox();
            ASSERT_TRUE(box) << c.what;
            EXPECT_EQ(box->text, W(c.box));
            EXPECT_EQ(box->caption, u"Velmo Removal Error");
            EXPECT_EQ(box->type, static_cast<UINT>(MB_ICONEXCLAMATION | MB_TOPMOST | MB_SETFOREGROUND));
            D().AnswerMessageBox(IDOK);
        });
        EXPECT_EQ(exit, 0u) << c.what;
        EXPECT_EQ(recorded.workersStarted, 0) << c.what;
        EXPECT_EQ(D().MessageBoxes().size(), c.box ? 1u : 0u) << c.what;
        if (c.logged)
        {
            EXPECT_NE(Log().find(c.logged), std::string::npos) << c.what;
        }
    }
}

TEST_F(StartupTest, ASecondStartBringsTheFirstForward)
{
    Install(DefaultUiIni(), DefaultFileListIni());
    DWORD second = 99;
    DWORD exit = Run(u"", [&] {
        HWND frame = Frame();
        ASSERT_TRUE(frame);
        SetForegroundWindow(nullptr);
        second = sim::processes().Run(kProgram);
        EXPECT_EQ(GetForegroundWindow(), frame);
        ASSERT_TRUE(D().Click(D().Control(frame, IDCANCEL)));
        D().AnswerMessageBox(IDYES);
    });
    EXPECT_EQ(second, 0u);
    EXPECT_EQ(exit, 0u);
    EXPECT_EQ(recorded.workersStarted, 0);
}

TEST_F(StartupTest, AMutexWithoutItsWindowIsReported)
{
    Install(DefaultUiIni(), DefaultFileListIni());
    HANDLE other = CreateMutexW(nullptr, FALSE, u"Global\\VelmoUninstallWindow");
    ASSERT_TRUE(other);
    DWORD exit = Run(u"-dlog", [&] {
        auto box = D().MessageBox();
        ASSERT_TRUE(box);
        EXPECT_EQ(box->text, u"The removal is already running.");
        D().AnswerMessageBox(IDOK);
    });
    CloseHandle(other);
    EXPECT_EQ(exit, 0u);
    EXPECT_NE(Log().find("[MessageBox] : MESSAGE_12"), std::string::npos);
}

TEST_F(StartupTest, ARunningApplicationStopsTheRemoval)
{
    for (bool silent : {false, true})
    {
        sim::machine().Reset();
        SetUp();
        Ini fileList = DefaultFileListIni();
        fileList.Set("APPLICATION", "CLASSNAME_00", "VelmoMonitorClass;Status Monitor;12")
            .Set("APPLICATION", "TITLE_00", "No Such Window;Other;3");
        Install(DefaultUiIni(), fileList);
        // The application marks itself running with its mutex.
        HANDLE running = CreateMutexW(nullptr, FALSE, u"Global\\VelmoMonitorClass");
        DWORD exit = Run(silent ? u"-s -dlog" : u"-dlog", [&] {
            if (silent)
                return;
            auto box = D().MessageBox();
            ASSERT_TRUE(box);
            EXPECT_EQ(box->text, u"Status Monitor is running.\nClose it first.");
            EXPECT_EQ(box->type, static_cast<UINT>(MB_ICONEXCLAMATION | MB_SETFOREGROUND));
            D().AnswerMessageBox(IDOK);
        });
        CloseHandle(running);
        EXPECT_EQ(exit, 0u);
        EXPECT_EQ(recorded.workersStarted, 0);
        EXPECT_EQ(D().MessageBoxes().size(), silent ? 0u : 1u);
        EXPECT_EQ(Log().find("[MessageBox] : MESSAGE_04 Status Monitor") != std::string::npos, !silent);
        // Only looked at, the application's mutex stays the application's.
        HANDLE again = CreateMutexW(nullptr, FALSE, u"Global\\VelmoMonitorClass");
        EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
        CloseHandle(again);
    }
}

// An application of another process, found by its class (with its mutex) or by its title in
// another case, is asked to close with WM_APP + its offset; offset 0 asks nothing.
TEST_F(StartupTest, ARunningApplicationsWindowOfAnotherProcessIsAskedToClose)
{
    const struct
    {
        const char* what;
        const char* key;
        const char* entry;
        const char16_t* title;
        UINT posted; // 0: none
    } cases[] = {
        {"class and mutex", "CLASSNAME_00", "VelmoMonitorClass;Status Monitor;12", u"Monitor", WM_APP + 12},
        {"title in another case", "TITLE_00", "Status Monitor;Status Monitor;3", u"STATUS monitor",
         WM_APP + 3},
        {"offset 0", "TITLE_00", "status monitor;Status Monitor;0", u"Status Monitor", 0},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        sim::machine().Reset();
        SetUp();
        Ini fileList = DefaultFileListIni();
        fileList.Set("APPLICATION", c.key, c.entry);
        Install(DefaultUiIni(), fileList);
        // The application runs as the test's own thread: a process other than the Uninstaller's.
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = DefWindowProcW;
        wc.lpszClassName = u"VelmoMonitorClass";
        ASSERT_TRUE(RegisterClassExW(&wc));
        HWND application = CreateWindowExW(0, wc.lpszClassName, c.title, WS_OVERLAPPEDWINDOW, 0, 0, 300, 200,
                                           nullptr, nullptr, nullptr, nullptr);
        ASSERT_TRUE(application);
        HANDLE mutex = CreateMutexW(nullptr, FALSE, u"Global\\VelmoMonitorClass");
        DWORD exit = Run(u"-dlog", [&] {
            auto box = D().MessageBox();
            ASSERT_TRUE(box);
            EXPECT_EQ(box->text, u"Status Monitor is running.\nClose it first.");
            D().AnswerMessageBox(IDOK);
        });
        CloseHandle(mutex);
        EXPECT_EQ(exit, 0u);
        EXPECT_EQ(recorded.workersStarted, 0);
        EXPECT_NE(Log().find("[MessageBox] : MESSAGE_04 Status Monitor"), std::string::npos);
        MSG msg{};
        bool posted = PeekMessageW(&msg, application, WM_APP, 0xBFFF, PM_REMOVE);
        EXPECT_EQ(posted ? msg.message : 0u, c.posted);
        DestroyWindow(application);
    }
}

// The Cancel box opens centred over the frame on the frame's display and never passes that display's
// edges, though the frame stands on a second display right of the first.
TEST_F(StartupTest, AMessageBoxIsCentredOnItsOwnersDisplay)
{
    const RECT second{1920, 0, 3200, 1024};
    const struct
    {
        const char* what;
        int frameLeft;
        int frameTop;
    } cases[] = {{"inside", 2200, 200}, {"at the right edge", 3000, 10}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        sim::machine().Reset();
        SetUp();
        sim::MonitorSetup primary;
        sim::MonitorSetup right;
        right.area = second;
        right.work = second;
        D().SetMonitors({primary, right});
        Install(DefaultUiIni(), DefaultFileListIni());
        RECT frameRect{};
        DWORD exit = Run(u"", [&] {
            HWND frame = Frame();
            ASSERT_TRUE(frame);
            SetWindowPos(frame, nullptr, c.frameLeft, c.frameTop, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
            GetWindowRect(frame, &frameRect);
            ASSERT_TRUE(D().Click(D().Control(frame, IDCANCEL)));
            ASSERT_TRUE(D().MessageBox());
            D().AnswerMessageBox(IDYES);
        });
        EXPECT_EQ(exit, 0u);
        auto boxes = D().MessageBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        const RECT& box = boxes[0].rect;
        LONG frameMiddleX = (frameRect.left + frameRect.right) / 2;
        LONG frameMiddleY = (frameRect.top + frameRect.bottom) / 2;
        EXPECT_LE(std::abs((box.top + box.bottom) / 2 - frameMiddleY), 1);
        EXPECT_GE(box.left, second.left);
        EXPECT_LE(box.right, second.right);
        if (frameRect.right <= second.right)
            EXPECT_LE(std::abs((box.left + box.right) / 2 - frameMiddleX), 1);
        else
            EXPECT_EQ(box.right, second.right);
    }
}

sim::OsIdentity Os(DWORD major, DWORD minor, DWORD build, WORD servicePack, BYTE productType, DWORD platform)
{
    sim::OsIdentity os;
    os.major = major;
    os.minor = minor;
    os.build = build;
    os.servicePackMajor = servicePack;
    os.productType = productType;
    os.platformId = platform;
    return os;
}

TEST_F(StartupTest, TheOsIndexAndItsText)
{
    struct Case
    {
        sim::OsIdentity os;
        WORD architecture;
        WORD index;
        const char* text;
    };
    const Case cases[] = {
        {Os(10, 0, 19045, 0, VER_NT_WORKSTATION, VER_PLATFORM_WIN32_NT), 9, kOs10,
         "Windows 10(64bit) (OS = 10.0.19045, SP = 0.0)"},
        {Os(10, 0, 20348, 0, VER_NT_SERVER, VER_PLATFORM_WIN32_NT), 9, kOsServer10,
         "Windows Server(64bit) (OS = 10.0.20348, SP = 0.0)"},
        {Os(6, 1, 7601, 1, VER_NT_WORKSTATION, VER_PLATFORM_WIN32_NT), 0, kOs7,
         "Windows 7(32bit) (OS = 6.1.7601, SP = 1.0)"},
        {Os(6, 1, 7601, 0, VER_NT_SERVER, VER_PLATFORM_WIN32_NT), 9, kOs2008R2, nullptr},
        {Os(6, 0, 6002, 0, VER_NT_WORKSTATION, VER_PLATFORM_WIN32_NT), 0, kOsVista, nullptr},
        {Os(6, 2, 9200, 0, VER_NT_DOMAIN_CONTROLLER, VER_PLATFORM_WIN32_NT), 9, kOs2012, nullptr},
        {Os(6, 3, 9600, 0, VER_NT_WORKSTATION, VER_PLATFORM_WIN32_NT), 9, kOs81, nullptr},
        {Os(5, 2, 3790, 0, VER_NT_WORKSTATION, VER_PLATFORM_WIN32_NT), 9, kOsXp,
         "Windows XP(64bit) (OS = 5.2.3790, SP = 0.0)"},
        {Os(5, 2, 3790, 0, VER_NT_SERVER, VER_PLATFORM_WIN32_NT), 0, kOs2003, nullptr},
        {Os(5, 1, 2600, 3, VER_NT_WORKSTATION, VER_PLATFORM_WIN32_NT), 0, kOsXp, nullptr},
        {Os(5, 0, 2195, 0, VER_NT_WORKSTATION, VER_PLATFORM_WIN32_NT), 0, kOs2000, nullptr},
        {Os(4, 0, 1381, 0, VER_NT_WORKSTATION, VER_PLATFORM_WIN32_NT), 0, kOsNt4, nullptr},
        {Os(11, 0, 30000, 0, VER_NT_WORKSTATION, VER_PLATFORM_WIN32_NT), 12, kOs10,
         "Windows 10(32bit) (OS = 11.0.30000, SP = 0.0)"},
        {Os(4, 10, 2222, 0, VER_NT_WORKSTATION, VER_PLATFORM_WIN32_WINDOWS), 0, kOs98, nullptr},
        {Os(4, 0, 950, 0, VER_NT_WORKSTATION, VER_PLATFORM_WIN32_WINDOWS), 0, kOs95, nullptr},
        {Os(4, 90, 3000, 0, VER_NT_WORKSTATION, VER_PLATFORM_WIN32_WINDOWS), 0, kOsMe, nullptr},
    };
    for (const Case& c : cases)
    {
        sim::machine().SetOs(c.os);
        sim::machine().SetNativeArchitecture(c.architecture);
        UninstallState state;
        WORD flags = 0;
        EXPECT_EQ(GetOsIndex(state, &flags), c.index) << c.os.major << "." << c.os.minor;
        EXPECT_EQ(flags, c.architecture == 9 ? kOs64Bit : 0);
        if (c.text)
        {
            EXPECT_EQ(GetOsText(state), c.text);
        }
    }
    EXPECT_STREQ(OsName(kOsUnknown), "Unknown OS");
    EXPECT_FALSE(IsWin9x(kOsUnknown));
}

} // namespace
} // namespace uninstall::testing
