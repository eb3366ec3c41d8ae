#include "launch_fixture.h"

#include "menu_dialogs.h"
#include "menu_resource.h"

#include <platform/commctrl.h>
#include <sim/window_sweep.h>

#include <atomic>

namespace
{
using namespace launchtest;

const WString kLanguages = kMenuFolder + u"Languages\\";
const WString kAppTitle = u"Velmo KORIGRAPH series Setup Menu";

std::atomic<HWND> g_top{nullptr};
std::atomic<bool> g_topHiddenDuringLaunch{false};

class MenuTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        g_top = nullptr;
        g_topHiddenDuringLaunch = false;
        sim::files().Put(kMenuPath);
        sim::desktop().SetUiLanguage(0x0409);
    }

    // Runs the menu while `script` plays the user on its top page; the script must end the program.
    DWORD RunMenu(const std::function<void(HWND top)>& script)
    {
        auto& d = sim::desktop();
        return d.Run(kMenuPath, u"", [&] {
            HWND top = d.TopWindow(kAppTitle);
            ASSERT_NE(top, nullptr);
            g_top = top;
            script(top);
        });
    }

    static void CloseAll()
    {
        auto& d = sim::desktop();
        if (HWND w = d.TopWindow(kAppTitle))
            d.Close(w);
    }
};

struct LanguageCase
{
    const char* name;
    LANGID userLanguage;
    const char* setting; // Menu.ini's Language, or none
    const char16_t* title;

    friend void PrintTo(const LanguageCase& c, std::ostream* os) { *os << c.name; }
};

class MenuLanguage : public MenuTest, public ::testing::WithParamInterface<LanguageCase>
{
};

TEST_P(MenuLanguage, TheTitleIsInTheLanguageTheUserAndMenuIniChoose)
{
    const LanguageCase& c = GetParam();
    sim::files().Put(kLanguages + u"zh-tw.lng", "[Dialog]\r\nLabelTopMenu=TW title\r\n");
    sim::files().Put(kLanguages + u"zh-cn.lng", "[Dialog]\r\nLabelTopMenu=CN title\r\n");
    sim::files().Put(kLanguages + u"ja.lng", "[Dialog]\r\nLabelTopMenu=JA title\r\n");
    if (c.setting)
        sim::files().Put(kMenuFolder + u"Menu.ini", std::string("[Menu]\r\nLanguage=") + c.setting + "\r\n");
    sim::desktop().SetUserLanguage(c.userLanguage);
    WString title;
    EXPECT_EQ(RunMenu([&](HWND top) {
                  title = sim::desktop().Text(sim::desktop().Control(top, IDC_TITLE));
                  CloseAll();
              }),
              0u);
    EXPECT_EQ(title, c.title);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MenuLanguage,
    ::testing::Values(LanguageCase{"Taiwan", 0x0404, nullptr, u"TW title"},
                      LanguageCase{"PeoplesRepublic", 0x0804, nullptr, u"CN title"},
                      LanguageCase{"HongKong", 0x0C04, nullptr, u"CN title"},
                      LanguageCase{"Singapore", 0x1004, nullptr, u"CN title"},
                      LanguageCase{"BrazilGetsEnglish", 0x0416, nullptr, u"KORIGRAPH series Setup Menu"},
                      LanguageCase{"SettingZhTwAnyCase", 0x0409, "ZH-TW", u"TW title"},
                      LanguageCase{"SettingZh", 0x0409, "zh", u"CN title"},
                      LanguageCase{"SettingPortugueseIsEnglish", 0x0411, "pt",
                                   u"KORIGRAPH series Setup Menu"},
                      LanguageCase{"EmptySettingKeepsTheUsers", 0x0411, "", u"JA title"}));

struct DriverCase
{
    const char* name;
    WORD architecture;
    bool kgSetupOnMedia;
    const char* languageFile; // en.lng, or none
    const char16_t* started;  // file name of the program started; none: the not-found box

    friend void PrintTo(const DriverCase& c, std::ostream* os) { *os << c.name; }
};

class MenuDriver : public MenuTest, public ::testing::WithParamInterface<DriverCase>
{
};

TEST_P(MenuDriver, StartsTheInstallerForTheArchitectureAndWaitsForIt)
{
    const DriverCase& c = GetParam();
    auto& m = sim::machine();
    auto& d = sim::desktop();
    m.SetNativeArchitecture(c.architecture);
    if (c.kgSetupOnMedia)
        sim::files().Put(kDriver);
    for (const char16_t* file : {u"Any.exe", u"Setup64.exe", u"KGSetup.exe"})
    {
        if (WString(file) != u"KGSetup.exe")
            sim::files().Put(kMedia + u"\\Driver\\" + file);
        sim::processes().RegisterStandIn(file, [](const sim::StartedProcess&) -> DWORD {
            g_topHiddenDuringLaunch = !sim::desktop().IsVisible(g_top) && !IsWindowEnabled(g_top);
            return 1603;
        });
    }
    if (c.languageFile)
        sim::files().Put(kLanguages + u"en.lng", c.languageFile);
    bool restored = false;
    EXPECT_EQ(RunMenu([&](HWND top) {
                  d.Click(d.Control(top, IDC_BUTTON3));
                  if (!c.started)
                  {
                      auto box = d.MessageBox();
                      ASSERT_TRUE(box.has_value());
                      EXPECT_EQ(box->text, u"Sorry, we couldn't find the file specified.");
                      EXPECT_EQ(box->caption, kAppTitle);
                      EXPECT_EQ(box->type, static_cast<UINT>(MB_ICONWARNING));
                      d.AnswerMessageBox(IDOK);
                  }
                  restored = d.IsVisible(top) && d.IsEnabled(top);
                  CloseAll();
              }),
              0u);
    EXPECT_TRUE(restored);
    auto started = sim::processes().Started();
    ASSERT_EQ(started.size(), c.started ? 1u : 0u);
    if (c.started)
    {
        EXPECT_EQ(started[0].applicationPath, kMedia + u"\\Driver\\" + c.started);
        EXPECT_TRUE(g_topHiddenDuringLaunch.load());
    }
}

const char* const kDriverLanguageFile =
    "[Setup]\r\nDriver=..\\Driver\\Any.exe\r\nDriver64=..\\Driver\\Setup64.exe\r\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, MenuDriver,
    ::testing::Values(DriverCase{"X64TakesDriver64", PROCESSOR_ARCHITECTURE_AMD64, false, kDriverLanguageFile,
                                 u"Setup64.exe"},
                      DriverCase{"X86WithoutDriver32TakesDriver", PROCESSOR_ARCHITECTURE_INTEL, false,
                                 kDriverLanguageFile, u"Any.exe"},
                      DriverCase{"Arm64CountsAsX86", PROCESSOR_ARCHITECTURE_ARM64, false, kDriverLanguageFile,
                                 u"Any.exe"},
                      DriverCase{"ResourcesPathWhenTheFileIsThere", PROCESSOR_ARCHITECTURE_AMD64, true,
                                 nullptr, u"KGSetup.exe"},
                      DriverCase{"NoPathAnywhere", PROCESSOR_ARCHITECTURE_AMD64, false, nullptr, nullptr}));

TEST_F(MenuTest, ARefusedInstallerRestoresTheMenuSilently)
{
    auto& d = sim::desktop();
    sim::files().Put(kDriver);
    sim::faults().FailNext("ShellExecuteExW", ERROR_CANCELLED);
    bool restored = false;
    EXPECT_EQ(RunMenu([&](HWND top) {
                  d.Click(d.Control(top, IDC_BUTTON3));
                  restored = d.IsVisible(top) && d.IsEnabled(top);
                  CloseAll();
              }),
              0u);
    EXPECT_TRUE(restored);
    EXPECT_TRUE(d.MessageBoxes().empty());
    EXPECT_TRUE(sim::processes().Started().empty());
}

TEST_F(MenuTest, HomeBringsTheTopMenuBackWhereTheSubMenuWas)
{
    auto& d = sim::desktop();
    RECT subRect{}, topRect{};
    bool topHidden = false, topBack = false;
    EXPECT_EQ(RunMenu([&](HWND top) {
                  RECT start{};
                  GetWindowRect(top, &start);
                  d.Click(d.Control(top, IDC_BUTTON2));
                  HWND sub = d.TopWindow();
                  ASSERT_NE(sub, top);
                  topHidden = !d.IsVisible(top);
                  RECT placed{};
                  GetWindowRect(sub, &placed);
                  EXPECT_EQ(placed.left, start.left);
                  EXPECT_EQ(placed.right, start.right);
                  SetWindowPos(sub, nullptr, 40, 30, 900, 500, SWP_NOZORDER); // the user moves it
                  GetWindowRect(sub, &subRect);
                  d.Click(d.Control(sub, IDC_HOME));
                  topBack = d.IsVisible(top) && d.IsEnabled(top);
                  GetWindowRect(top, &topRect);
                  CloseAll();
              }),
              0u);
    EXPECT_TRUE(topHidden);
    EXPECT_TRUE(topBack);
    EXPECT_EQ(topRect.left, subRect.left);
    EXPECT_EQ(topRect.top, subRect.top);
    EXPECT_EQ(topRect.right, subRect.right);
    EXPECT_EQ(topRect.bottom, subRect.bottom);
}

TEST_F(MenuTest, ASubMenusCloseBoxEndsTheProgram)
{
    auto& d = sim::desktop();
    EXPECT_EQ(RunMenu([&](HWND top) {
                  d.Click(d.Control(top, IDC_BUTTON2));
                  HWND sub = d.TopWindow();
                  ASSERT_NE(sub, top);
                  d.Close(sub);
              }),
              0u);
}

struct LookCase
{
    const char* name;
    DWORD major;
    DWORD minor;
    bool commandLinks;

    friend void PrintTo(const LookCase& c, std::ostream* os) { *os << c.name; }
};

class MenuLook : public MenuTest, public ::testing::WithParamInterface<LookCase>
{
};

TEST_P(MenuLook, CommandLinksWithNotesAndShieldsFromVistaPushButtonsAndNoteTextsBefore)
{
    const LookCase& c = GetParam();
    auto& m = sim::machine();
    auto& d = sim::desktop();
    sim::OsIdentity os;
    os.major = c.major;
    os.minor = c.minor;
    m.SetOs(os);
    sim::files().Put(kMedia + u"\\Utility\\Tessicard\\TessicardSetup.exe");
    const WString driverNote = u"Launches the installer of the printer driver for the digital duplicator.";
    EXPECT_EQ(RunMenu([&](HWND top) {
                  HWND driver = d.Control(top, IDC_BUTTON3);
                  sim::ButtonLook look = d.Button(driver);
                  EXPECT_EQ(look.note, c.commandLinks ? driverNote : WString());
                  EXPECT_EQ(d.Text(d.Control(top, IDC_NOTE3)), c.commandLinks ? WString() : driverNote);
                  ASSERT_TRUE(look.images.has_value());
                  EXPECT_EQ(look.images->icons, std::vector<WString>{u"#136"});
                  EXPECT_EQ(look.imageAlign, static_cast<UINT>(BUTTON_IMAGELIST_ALIGN_LEFT));
                  sim::ButtonLook home = d.Button(d.Control(top, IDC_HOME));
                  ASSERT_TRUE(home.images.has_value());
                  EXPECT_EQ(home.images->icons, std::vector<WString>{u"#133"});
                  EXPECT_EQ(home.images->width, 24);
                  EXPECT_EQ(home.imageAlign, static_cast<UINT>(BUTTON_IMAGELIST_ALIGN_TOP));

                  d.Click(d.Control(top, IDC_BUTTON2));
                  HWND sub = d.TopWindow();
                  for (int id : {IDC_BUTTON1, IDC_BUTTON2, IDC_BUTTON3, IDC_BUTTON4})
                      EXPECT_EQ(d.Button(d.Control(sub, id)).shield, c.commandLinks) << id;
                  EXPECT_TRUE(d.IsEnabled(d.Control(sub, IDC_BUTTON1)));  // its file is on the media
                  EXPECT_FALSE(d.IsEnabled(d.Control(sub, IDC_BUTTON2))); // no Utility1 file
                  if (!c.commandLinks)
                  {
                      EXPECT_FALSE(d.IsEnabled(d.Control(sub, IDC_NOTE2)));
                  }
                  d.Close(sub);
              }),
              0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, MenuLook,
                         ::testing::Values(LookCase{"Windows10", 10, 0, true}, LookCase{"Vista", 6, 0, true},
                                           LookCase{"WindowsXp", 5, 1, false}));

TEST_F(MenuTest, TheClientAreaFollowsTheDpiWithinTheWorkArea)
{
    struct Row
    {
        sim::MonitorSetup monitor;
        const char* ini;
        RECT expected; // the window on the screen
    };
    for (const Row& row : {
             Row{{RECT{0, 0, 2560, 1440}, RECT{0, 0, 2560, 1400}, 144},
                 nullptr,
                 RECT{684, 381, 684 + 1191, 381 + 637}},
             Row{{RECT{0, 0, 1920, 1080}, RECT{0, 0, 1920, 1040}, 96},
                 nullptr,
                 RECT{563, 307, 563 + 794, 307 + 425}},
             Row{{RECT{0, 0, 1024, 600}, RECT{0, 0, 1024, 560}, 144}, nullptr, RECT{0, 0, 1024, 560}},
             Row{{RECT{0, 0, 1920, 1080}, RECT{0, 0, 1920, 1040}, 96},
                 "[Menu]\r\nClientWidth=600\r\nClientHeight=x\r\n",
                 RECT{660, 307, 660 + 600, 307 + 425}},
             Row{{RECT{0, 0, 1920, 1080}, RECT{0, 0, 1920, 1040}, 96},
                 "[Menu]\r\nClientWidth=0\r\nClientHeight=-5\r\n",
                 RECT{563, 307, 563 + 794, 307 + 425}},
         })
    {
        sim::machine().Reset();
        SetUp();
        sim::desktop().SetMonitors({row.monitor});
        if (row.ini)
            sim::files().Put(kMenuFolder + u"Menu.ini", row.ini);
        RECT window{}, client{};
        EXPECT_EQ(RunMenu([&](HWND top) {
                      GetWindowRect(top, &window);
                      GetClientRect(top, &client);
                      CloseAll();
                  }),
                  0u);
        EXPECT_EQ(window.left, row.expected.left);
        EXPECT_EQ(window.top, row.expected.top);
        EXPECT_EQ(window.right, row.expected.right);
        EXPECT_EQ(window.bottom, row.expected.bottom);
        EXPECT_EQ(client.right - client.left, row.expected.right - row.expected.left);
    }
}

TEST_F(MenuTest, ADpiChangeMovesThePageToTheSuggestedRectangle)
{
    auto& d = sim::desktop();
    RECT after{}, title{};
    EXPECT_EQ(RunMenu([&](HWND top) {
                  d.ChangeDpi(top, 192, RECT{100, 50, 1100, 650});
                  GetWindowRect(top, &after);
                  GetWindowRect(d.Control(top, IDC_TITLE), &title);
                  CloseAll();
              }),
              0u);
    EXPECT_EQ(after.left, 100);
    EXPECT_EQ(after.top, 50);
    EXPECT_EQ(after.right, 1100);
    EXPECT_EQ(after.bottom, 650);
}

TEST_F(MenuTest, MenuIniFlagsGovernTheirButtons)
{
    auto& d = sim::desktop();
    sim::files().Put(kDriver);
    sim::files().Put(kMenuFolder + u"Menu.ini",
                     "[Menu]\r\nEnableManual=0\r\nEnableDriver=0\r\nEnableUtility=yes\r\n");
    EXPECT_EQ(RunMenu([&](HWND top) {
                  EXPECT_FALSE(d.IsEnabled(d.Control(top, IDC_BUTTON1)));
                  EXPECT_TRUE(d.IsEnabled(d.Control(top, IDC_BUTTON2))); // not a number: absent
                  EXPECT_FALSE(d.IsEnabled(d.Control(top, IDC_BUTTON3)));
                  EXPECT_TRUE(d.IsEnabled(d.Control(top, IDC_BUTTON4)));
                  CloseAll();
              }),
              0u);
}

TEST_F(MenuTest, ASecondInstanceOrAnOldSystemEndsAtOnceShowingNothing)
{
    auto& m = sim::machine();
    auto& d = sim::desktop();
    HANDLE first = CreateMutexW(nullptr, FALSE, u"Global\\E9992323-1356-4d38-99C4-882099DE7425");
    ASSERT_NE(first, nullptr);
    HWND shown = nullptr;
    EXPECT_EQ(d.Run(kMenuPath, u"", [&] { shown = d.TopWindow(); }), 0u);
    EXPECT_EQ(shown, nullptr);
    CloseHandle(first);

    sim::OsIdentity nt4;
    nt4.major = 4;
    nt4.minor = 0;
    m.SetOs(nt4);
    EXPECT_EQ(d.Run(kMenuPath, u"", [&] { shown = d.TopWindow(); }), 0u);
    EXPECT_EQ(shown, nullptr);
}

// Each window a path's good run makes is refused once in turn. A top menu that cannot be made ends the
// program with -1; a sub-menu or box that cannot be made leaves the top menu back and usable, and the
// program ends only when the user closes it.
TEST_F(MenuTest, ARefusedWindowLeavesTheTopMenuUsable)
{
    auto& d = sim::desktop();
    struct Path
    {
        const char* what;
        int button;    // the top menu's button that opens the sub-menu
        int inSubMenu; // a button pressed there, 0: none
    };
    // The network page's quick setup is not on the media: its box says so.
    const Path paths[] = {{"utility", IDC_BUTTON2, 0}, {"network", IDC_BUTTON4, IDC_BUTTON1}};
    struct Outcome
    {
        DWORD exitCode = 0;
        bool shown = false;
        bool subMenuShown = false;
        bool topBack = false; // visible and enabled again after the sub-menu
    };
    for (const Path& path : paths)
    {
        auto run = [&](const std::function<void()>& arm) {
            sim::machine().Reset();
            SetUp();
            arm();
            Outcome o;
            o.exitCode = d.Run(kMenuPath, u"", [&] {
                d.WaitIdle();
                HWND top = d.TopWindow(kAppTitle);
                if (!top)
                    return;
                o.shown = true;
                d.Click(d.Control(top, path.button));
                HWND sub = d.TopWindow();
                if (sub && sub != top)
                {
                    o.subMenuShown = true;
                    if (path.inSubMenu)
                    {
                        d.Click(d.Control(sub, path.inSubMenu));
                        if (d.MessageBox())
                            d.AnswerMessageBox(IDOK);
                    }
                    d.Click(d.Control(sub, IDC_HOME));
                }
                o.topBack = d.IsVisible(top) && d.IsEnabled(top) && d.TopWindow() == top;
                d.Close(top);
            });
            return o;
        };

        const Outcome good = run([] { sim::StartFaultPointRecord(); });
        const std::vector<sim::FaultPointCall> calls = sim::WindowCalls(sim::StopFaultPointRecord());
        ASSERT_TRUE(good.shown && good.subMenuShown && good.topBack) << path.what;
        ASSERT_EQ(good.exitCode, 0u) << path.what;
        ASSERT_EQ(d.MessageBoxes().size(), path.inSubMenu ? 1u : 0u) << path.what;

        for (const sim::FaultPointCall& call : calls)
        {
            const Outcome o =
                run([&] { sim::faults().FailNext(call.api, ERROR_NOT_ENOUGH_MEMORY, 1, call.nth); });
            const std::string where =
                std::string(path.what) + ": " + call.api + " #" + std::to_string(call.nth);
            EXPECT_EQ(o.exitCode, o.shown ? 0u : 0xFFFFFFFFu) << where;
            EXPECT_TRUE(o.topBack || !o.shown) << where;
        }
    }
}

TEST(MenuSettings, LanguageAndIntegerValues)
{
    struct Row
    {
        WString value;
        std::optional<LANGID> id;
    };
    for (const Row& row :
         {Row{u"ja-JP", 17}, Row{u"EN", 9}, Row{u"zh-CN", 4}, Row{u"zh-TW", 0x7C04}, Row{u"zh-HK", 4},
          Row{u"zh", 4}, Row{u"de", 7}, Row{u"es", 10}, Row{u"fr", 12}, Row{u"it", 16}, Row{u"ko", 18},
          Row{u"ru", 25}, Row{u"pt", 9}, Row{u"", std::nullopt}})
        EXPECT_EQ(menu::LanguageFromSetting(row.value), row.id);
    for (auto [value, expected] : std::vector<std::pair<WString, std::optional<int>>>{{u"600", 600},
                                                                                      {u" -1", -1},
                                                                                      {u"12px", 12},
                                                                                      {u"x", std::nullopt},
                                                                                      {u"", std::nullopt},
                                                                                      {u"-", std::nullopt}})
        EXPECT_EQ(menu::ParseSettingInt(value), expected);
}
} // namespace
