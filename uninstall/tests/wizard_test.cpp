#include "uninstaller_fixture.h"

#include <sim/desktop.h>

namespace uninstall::testing
{
namespace
{
using WizardTest = UninstallerTest;

TEST_F(WizardTest, WelcomeProgressFinishRunsTheSecondStageOnce)
{
    Install(DefaultUiIni(), DefaultFileListIni());
    DWORD exit = Run(u"-dlog", [&] {
        HWND frame = Frame();
        ASSERT_TRUE(frame);
        EXPECT_EQ(D().Text(D().Control(frame, kIdNext)), u"Next >");
        EXPECT_FALSE(D().IsEnabled(D().Control(frame, kIdBack)));
        EXPECT_EQ(D().Text(D().Control(frame, 1027)), u"Velmo driver removal");
        ClickNext();
        ASSERT_TRUE(D().WaitIdle());
        EXPECT_EQ(recorded.workersStarted, 1);
        EXPECT_EQ(D().Text(D().Control(frame, kIdNext)), u"Finish");
        EXPECT_FALSE(D().IsEnabled(D().Control(frame, IDCANCEL)));
        EXPECT_EQ(D().Text(D().Control(frame, 1009)), u"The driver was removed.");
        ClickNext();
    });
    EXPECT_EQ(exit, 0u);
    EXPECT_EQ(recorded.secondStageLaunches, 1);
    EXPECT_TRUE(recorded.frameVisibleDuringWork);
    auto lines = LogLines();
    auto at = std::find(lines.begin(), lines.end(), "  Uninstall : 1");
    ASSERT_NE(at, lines.end());
    EXPECT_EQ(std::vector<std::string>(at, std::min(at + 3, lines.end())),
              (std::vector<std::string>{"  Uninstall : 1", "  Finish    : 1", "  Refresh   : 0"}));
    EXPECT_EQ(lines.back(), "*** return [0] ***");
}

TEST_F(WizardTest, ARestartLeadsToTheRestartPageNowOrLater)
{
    struct Case
    {
        bool radios;
        bool later;
        const char* arguments;
        DWORD exit;
        int reboot;
    };
    for (const Case& c : {Case{true, false, "", 0, 1}, Case{true, true, "", 0, 0},
                          Case{true, true, "-t", 2, 0}, Case{false, false, "", 0, 1}})
    {
        sim::machine().Reset();
        SetUp();
        workerReboots = true;
        Ini ui = DefaultUiIni();
        if (!c.radios)
            ui.Remove("LABEL", "FINISH_04");
        Install(ui, DefaultFileListIni());
        std::string args = c.arguments;
        DWORD exit = Run(W(args), [&] {
            ClickNext();
            ASSERT_TRUE(D().WaitIdle());
            HWND frame = Frame();
            HWND now = D().Control(frame, kIdRestartNow);
            EXPECT_EQ(D().Text(D().Control(frame, kIdNext)), u"Restart the computer now");
            EXPECT_EQ(D().IsVisible(now), c.radios);
            if (c.radios)
            {
                EXPECT_EQ(D().CheckState(now), BST_CHECKED);
                if (c.later)
                    D().SetCheck(D().Control(frame, kIdRestartLater), true);
            }
            ClickNext();
        });
        EXPECT_EQ(exit, c.exit) << c.arguments << c.later;
        EXPECT_EQ(recorded.secondStageLaunches, 1);
        EXPECT_EQ(recorded.rebootAtLaunch, c.reboot) << "radios " << c.radios << " later " << c.later;
    }
}

TEST_F(WizardTest, NothingRunsTheSecondStageWithoutAFinishedRemoval)
{
    enum class Way
    {
        CancelYes,
        CancelNo,
        NoToConfirmation,
        CloseOnWelcome,
        FailingWorker,
    };
    struct Case
    {
        Way way;
        int workers;
    };
    for (const Case& c : {Case{Way::CancelYes, 0}, Case{Way::NoToConfirmation, 0},
                          Case{Way::CloseOnWelcome, 0}, Case{Way::FailingWorker, 1}})
    {
        sim::machine().Reset();
        SetUp();
        Ini ui = DefaultUiIni();
        if (c.way == Way::NoToConfirmation)
            ui.Remove("LABEL", "WELCOME_00");
        if (c.way == Way::FailingWorker)
            workerResult = kMsgWorkerFailed;
        Install(ui, DefaultFileListIni());
        DWORD exit = Run(u"-dlog", [&] {
            switch (c.way)
            {
            case Way::CancelYes: {
                ASSERT_TRUE(D().Click(D().Control(Frame(), IDCANCEL)));
                auto box = D().MessageBox();
                ASSERT_TRUE(box);
                EXPECT_EQ(box->text, u"Stop the removal?");
                EXPECT_EQ(box->type & MB_TYPEMASK, static_cast<UINT>(MB_YESNO));
                // Centred over the frame.
                RECT frame{};
                GetWindowRect(Frame(), &frame);
                EXPECT_EQ((box->rect.left + box->rect.right) / 2, (frame.left + frame.right) / 2);
                EXPECT_EQ((box->rect.top + box->rect.bottom) / 2, (frame.top + frame.bottom) / 2);
                D().AnswerMessageBox(IDYES);
                break;
            }
            case Way::NoToConfirmation: {
                auto box = D().MessageBox();
                ASSERT_TRUE(box);
                EXPECT_EQ(box->text, u"Remove the Velmo printer driver?");
                EXPECT_EQ(box->caption, u"Velmo Removal");
                D().AnswerMessageBox(IDNO);
                break;
            }
            case Way::CloseOnWelcome: {
                HWND main = D().TopWindow(u"Velmo Removal");
                ASSERT_TRUE(main);
                D().Close(main);
                break;
            }
            default:
                ClickNext();
                break;
            }
        });
        EXPECT_EQ(exit, 0u);
        EXPECT_EQ(recorded.secondStageLaunches, 0) << static_cast<int>(c.way);
        EXPECT_EQ(recorded.workersStarted, c.workers);
        std::string log = Log();
        if (c.way == Way::CancelYes)
        {
            EXPECT_NE(log.find("[MessageBox] : MESSAGE_15"), std::string::npos);
        }
        if (c.way == Way::NoToConfirmation)
        {
            EXPECT_NE(log.find("[MessageBox] : CHECK_00"), std::string::npos);
        }
    }
}

TEST_F(WizardTest, CancelAnsweredNoStaysOnThePage)
{
    Install(DefaultUiIni(), DefaultFileListIni());
    DWORD exit = Run(u"", [&] {
        ASSERT_TRUE(D().Click(D().Control(Frame(), IDCANCEL)));
        D().AnswerMessageBox(IDNO);
        ASSERT_TRUE(Frame());
        ClickNext();
        ASSERT_TRUE(D().WaitIdle());
        ClickNext();
    });
    EXPECT_EQ(exit, 0u);
    EXPECT_EQ(recorded.secondStageLaunches, 1);
}

TEST_F(WizardTest, SilentRunsThroughWithoutAWindowWithOrWithoutWelcome)
{
    for (bool welcome : {true, false})
    {
        sim::machine().Reset();
        SetUp();
        Ini ui = DefaultUiIni();
        if (!welcome)
            ui.Remove("LABEL", "WELCOME_00");
        Install(ui, DefaultFileListIni());
        DWORD exit = Run(u"-s", [&] { EXPECT_FALSE(D().MessageBox()); });
        EXPECT_EQ(exit, 0u);
        EXPECT_EQ(recorded.workersStarted, 1) << welcome;
        EXPECT_EQ(recorded.secondStageLaunches, 1) << welcome;
        EXPECT_FALSE(recorded.frameVisibleDuringWork);
        EXPECT_TRUE(D().MessageBoxes().empty());
    }
}

TEST_F(WizardTest, FontsComeFromTheIniWithTheVistaKeysOnNewerSystems)
{
    struct Case
    {
        DWORD major, minor;
        const char* face;
        LONG weight;
    };
    for (const Case& c : {Case{10, 0, "Vista Face", FW_BOLD}, Case{5, 1, "Old Face", FW_SEMIBOLD}})
    {
        sim::machine().Reset();
        SetUp();
        sim::OsIdentity os;
        os.major = c.major;
        os.minor = c.minor;
        sim::machine().SetOs(os);
        Ini ui = DefaultUiIni();
        ui.Set("FONT", "STANDARD", "Plain,9,ANSI,NORMAL")
            .Set("FONT", "TITLE", "Old Face,14,ANSI,SEMIBOLD")
            .Set("FONT", "TITLE_VISTA", "Vista Face,15,SHIFTJIS,BOLD,UNDERLINE");
        Install(ui, DefaultFileListIni());
        Run(u"", [&] {
            HWND title = D().Control(Frame(), 1027);
            HWND text = D().Control(Frame(), 1028);
            LOGFONTA lf{};
            ASSERT_GT(
                GetObjectA(reinterpret_cast<HFONT>(SendMessageA(title, WM_GETFONT, 0, 0)), sizeof lf, &lf),
                0);
            EXPECT_STREQ(lf.lfFaceName, c.face);
            EXPECT_EQ(lf.lfWeight, c.weight);
            ASSERT_GT(
                GetObjectA(reinterpret_cast<HFONT>(SendMessageA(text, WM_GETFONT, 0, 0)), sizeof lf, &lf), 0);
            EXPECT_STREQ(lf.lfFaceName, "Plain");
            EXPECT_EQ(lf.lfHeight, -9);
            // The last label is as high as its wrapped text: two lines of nine-pixel text.
            RECT r{};
            GetWindowRect(D().Control(Frame(), 1029), &r);
            EXPECT_EQ(r.bottom - r.top, 18);
            ASSERT_TRUE(D().Click(D().Control(Frame(), IDCANCEL)));
            D().AnswerMessageBox(IDYES);
        });
    }
}

} // namespace
} // namespace uninstall::testing
