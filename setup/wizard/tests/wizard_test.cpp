// The wizard's frame: the sequence the pages move along, the sheet's pages and start page, the
// moves a user makes with Next, Back and the Modify page's buttons, and the Finish page's report.
#include "wizard_fixture.h"

#include <vector>

namespace kgsetup::testing
{
namespace
{

class WizardTest : public ::testing::Test
{
protected:
    void SetUp() override { PrepareMachine(); }
};

TEST_F(WizardTest, SetPageSequencePointsAtTheAnchorOrTheStart)
{
    struct Case
    {
        UINT anchor;
        std::vector<UINT> sequence;
        UINT index;
    };
    for (const Case& c : {Case{146, {146, 151, 157, 139}, 0}, Case{157, {146, 151, 157, 139}, 2},
                          Case{152, {146, 160, 138, 139}, 0}, Case{139, {139, 139}, 0}, Case{132, {}, 0}})
    {
        EXPECT_EQ(SetPageSequence(c.anchor, c.sequence), c.index) << c.anchor;
        EXPECT_EQ(g_wizard->pageSequence, c.sequence);
        EXPECT_EQ(g_wizard->pageIndex, c.index);
    }
}

TEST_F(WizardTest, FinishTextFollowsTheResultCode)
{
    struct Case
    {
        UINT status;
        int versionCompare;
        WORD connectionKind;
        int text;
    };
    const Case cases[] = {
        {0x80010000, 0, 0, 124}, {0x80020000, 0, 0, 125}, {0x00060000, 0, 0, 125}, {0x80070000, 0, 3, 125},
        {0x80040000, 2, 0, 124}, {0x80040000, 1, 3, 125}, {0x80040000, 0, 0, 127}, {0x80040000, 3, 3, 127},
        {0x80050000, 0, 0, 126}, {0x8F000000, 0, 0, 128}, {0x90000000, 0, 0, 129}, {0x91000000, 0, 0, 130},
        {0x92000000, 0, 0, 131}, {0x13000000, 0, 0, 140}, {0x94000000, 0, 0, 132}, {0x15000000, 0, 0, 140},
        {0x96000000, 0, 0, 133}, {0x97000000, 0, 0, 134}, {0x98000000, 0, 0, 135}, {0x99000000, 0, 0, 136},
        {0x9A000000, 0, 0, 137}, {0x9B000000, 0, 0, 138}, {0x9C000000, 0, 0, 139}, {0x1D000000, 0, 0, 141},
        {0xE4000000, 0, 0, 140}, {0xE4000000, 0, 0, 140}, {0x00000000, 0, 0, 140}, {0x80010005, 0, 0, 124},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FinishTextId(c.status, c.versionCompare, c.connectionKind), c.text) << std::hex << c.status;
}

TEST_F(WizardTest, TheSheetOpensOnThePageTheModeAndOptionsChoose)
{
    struct Case
    {
        int driverInstalled;
        WORD mode;
        bool fileOnly;
        UINT firstPage;
        WORD modeShown;
    };
    const Case cases[] = {
        {0, 0, false, 132, 0}, {0, 2, false, 132, 0}, {0, 3, true, 132, 0},
        {1, 0, false, 146, 0}, {1, 1, false, 146, 1}, {1, 3, false, 152, 3},
        {1, 3, true, 160, 3},  {1, 2, false, 151, 2}, {1, 2, true, 151, 2},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(::testing::Message()
                     << "driver " << c.driverInstalled << " mode " << c.mode << " /fs " << c.fileOnly);
        sim::machine().Reset();
        PrepareMachine();
        WORD mode = 99;
        std::vector<UINT> pages;
        RunWizard(
            [&](CSetupContext& context) {
                context.driverInstalled = c.driverInstalled;
                context.mode = c.mode;
                if (c.fileOnly)
                {
                    context.fileOnly = 1;
                    context.connectionKind = 1;
                }
            },
            [&] {
                EXPECT_EQ(CurrentPage(), c.firstPage);
                // Where the sheet opens away from its first page, the sequence follows.
                if (c.modeShown >= 2)
                {
                    EXPECT_EQ(g_wizard->pageSequence.at(g_wizard->pageIndex), c.firstPage);
                }
                mode = Context().mode;
                D().Click(D().Control(Sheet(), IDCANCEL));
            });
        EXPECT_EQ(mode, c.modeShown);
    }
}

TEST_F(WizardTest, NextAndBackFollowTheSequenceToTheFinishPage)
{
    UINT status = 0;
    DWORD result =
        RunWizard([](CSetupContext& context) { context.errorLog = u"Error Code:\t0x00000005\r\n"; },
                  [&] {
                      HWND sheet = Sheet();
                      EXPECT_EQ(CurrentPage(), 132u);
                      EXPECT_FALSE(D().IsEnabled(D().Control(sheet, 0x3023)));
                      // Install without a connection: Welcome, Search, Install, progress, Finish.
                      ClickNext();
                      EXPECT_EQ(CurrentPage(), 152u);
                      ClickBack();
                      EXPECT_EQ(CurrentPage(), 132u);
                      ClickNext();
                      EXPECT_EQ(CurrentPage(), 152u);
                      D().Click(D().Control(sheet, IDC_CONNECT_LATER)); // Next comes with a way chosen
                      ClickNext();
                      EXPECT_EQ(CurrentPage(), 138u);
                      // No maker INF is installed to settle the driver from: the Install page
                      // goes straight to the Finish page.
                      ClickNext();
                      EXPECT_EQ(CurrentPage(), 139u);
                      status = Context().statusWord;
                      EXPECT_EQ(HeaderTitle(), Context().Text(122));
                      EXPECT_EQ(D().Text(D().Control(sheet, IDC_RESULT)),
                                Context().Text(140) + u"\r\n\r\n\r\nError Code:\t0x00000005\r\n");
                      EXPECT_TRUE(D().IsVisible(D().Control(sheet, 0x3025)));
                      EXPECT_TRUE(D().IsEnabled(D().Control(sheet, IDCANCEL)));
                      D().Click(D().Control(sheet, 0x3025));
                  });
    EXPECT_EQ(result, 1u);
    EXPECT_EQ(status, 0x64000000u);
}

TEST_F(WizardTest, TheFinishPageReportsTheResultUnderItsHeader)
{
    struct Case
    {
        UINT status;
        int title;
        int text;
    };
    for (const Case& c : {Case{0x80040000, 120, 124}, Case{0x92000000, 122, 131}})
    {
        KGSetupPropertySheet::CPropSheetFinish finish;
        RunPages(
            [&](CSetupContext& context) {
                context.statusWord = c.status;
                context.versionCompare = 2;
            },
            [&](PROPSHEETPAGEW& record) { return std::vector<HPROPSHEETPAGE>{finish.CreatePage(record)}; },
            [&] {
                ASSERT_TRUE(Sheet()); // the program has made its context
                EXPECT_EQ(HeaderTitle(), Context().Text(c.title));
                EXPECT_EQ(D().Text(D().Control(Sheet(), IDC_RESULT)), Context().Text(c.text));
                D().Click(D().Control(Sheet(), 0x3025));
            });
    }
}

TEST_F(WizardTest, TheModifyButtonsChooseTheModeAndMoveOn)
{
    struct Case
    {
        int button;
        WORD mode;
        UINT page;
    };
    for (const Case& c :
         {Case{IDC_UPDATE_BUTTON, 1, 150}, Case{IDC_REPAIR_BUTTON, 3, 152}, Case{IDC_REMOVE_BUTTON, 2, 151}})
    {
        sim::machine().Reset();
        PrepareMachine();
        RunWizard(
            [](CSetupContext& context) {
                context.driverInstalled = 1;
                context.driverKind = 4;
                context.v4CompareResult = 2; // an older driver is installed: every mode is open
                context.versionCompare = 0;
            },
            [&] {
                ASSERT_EQ(CurrentPage(), 146u);
                EXPECT_EQ(D().Icon(Sheet(), true), u"#107");
                D().Click(D().Control(Sheet(), c.button));
                EXPECT_EQ(CurrentPage(), c.page);
                EXPECT_EQ(Context().mode, c.mode);
                EXPECT_EQ(g_wizard->pageSequence, Context().BuildPageSequence());
                EXPECT_EQ(g_wizard->pageIndex, 1u);
                ClickBack();
                EXPECT_EQ(CurrentPage(), 146u);
                D().Click(D().Control(Sheet(), IDCANCEL));
            });
    }
}

TEST_F(WizardTest, AnUpdateOrRemovalEndsOnTheFinishPage)
{
    // An update runs its worker to the end: the Finish page shows the result. (A removal with
    // nothing installed cannot leave the Remove page.)
    for (int button : {IDC_UPDATE_BUTTON})
    {
        sim::machine().Reset();
        PrepareMachine();
        UINT status = 0;
        RunWizard(
            [](CSetupContext& context) {
                context.driverInstalled = 1;
                context.driverKind = 4;
                context.v4CompareResult = 2; // an older driver is installed: every mode is open
                context.versionCompare = 0;
            },
            [&] {
                ASSERT_TRUE(Sheet());
                D().Click(D().Control(Sheet(), button));
                ClickNext();
                ASSERT_TRUE(D().WaitUntil([] { return CurrentPage() == 139u; }));
                status = Context().statusWord;
                EXPECT_EQ(D().Text(D().Control(Sheet(), IDC_RESULT)), Context().Text(FinishTextOf(status)));
                D().Click(D().Control(Sheet(), 0x3025));
            });
        EXPECT_NE(status & 0x80000000u, 0u) << std::hex << status;
        EXPECT_NE(FinishTextOf(status), -1) << std::hex << status;
        EXPECT_NE(status, 0xE4000000u);
    }
}

TEST_F(WizardTest, TheFirstOpeningPageCentresTheSheetOnce)
{
    RunWizard([](CSetupContext&) {},
              [&] {
                  RECT r{};
                  GetWindowRect(Sheet(), &r);
                  EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXFULLSCREEN) - (r.right - r.left)) / 2);
                  EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYFULLSCREEN) - (r.bottom - r.top)) / 2);
                  EXPECT_EQ(Context().searchPageReady, 1u);
                  SetWindowPos(Sheet(), nullptr, 5, 7, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
                  ClickNext(); // the Search page would centre it again
                  GetWindowRect(Sheet(), &r);
                  EXPECT_EQ(r.left, 5);
                  EXPECT_EQ(r.top, 7);
                  D().Click(D().Control(Sheet(), IDCANCEL));
              });
}

TEST_F(WizardTest, APageThatCannotBeMadeLeavesNoSheet)
{
    sim::faults().FailNext("CreatePropertySheetPageW", ERROR_NOT_ENOUGH_MEMORY, 1, 4);
    EXPECT_EQ(RunWizard([](CSetupContext&) {}, [] {}), 0xDEADu);
}

// A modal dialog object: its handlers see the dialog's messages; the close box ends it with 0.
class CTestDialog final : public CBaseDialog<CTestDialog>
{
public:
    explicit CTestDialog(bool& initialised) : initialised(initialised) {}
    BOOL OnInitDialog(HWND hwnd, WPARAM, LPARAM) override
    {
        SetDlgItemTextW(hwnd, IDC_VERSION, u"7.6.2.0");
        initialised = this->hwnd == hwnd;
        return TRUE;
    }
    void OnCommand(HWND hwnd, int controlId, HWND, UINT notifyCode) override
    {
        if (controlId == IDOK && notifyCode == BN_CLICKED)
            EndDialog(hwnd, 7);
    }
    bool& initialised; // the object goes with its dialog
};

TEST_F(WizardTest, DialogObjectsRunModallyAndKeepTheirResult)
{
    for (bool closeBox : {false, true})
    {
        INT_PTR result = -2;
        bool initialised = false;
        D().Run(
            [&]() -> DWORD {
                auto dialog = std::make_unique<CTestDialog>(initialised);
                EXPECT_EQ(dialog->result, -1);
                result = RunModalDialog(std::move(dialog), GetModuleHandleW(nullptr), IDD_ABOUT, nullptr);
                return 0;
            },
            [&] {
                HWND box = D().TopWindow(u"Version Information");
                ASSERT_TRUE(box);
                EXPECT_EQ(D().Text(D().Control(box, IDC_VERSION)), u"7.6.2.0");
                if (closeBox)
                    D().Close(box);
                else
                    D().Click(D().Control(box, IDOK));
            });
        EXPECT_EQ(result, closeBox ? 0 : 7);
        EXPECT_TRUE(initialised);
    }
}

} // namespace
} // namespace kgsetup::testing
