#include "modify_pages.h"
#include "processes.h"
#include "taskkill.h"
#include "wizard_fixture.h"

#include <sim/spooler.h>
#include <testing/machines.h>
#include <testing/on_machine.h>
#include <testing/restarting_shell.h>

#include <atomic>
#include <string>
#include <tuple>

namespace kgsetup::testing
{
namespace
{

class ModifyPagesTest : public ::testing::Test
{
protected:
    void SetUp() override { PrepareMachine(); }
};

sim::ProcessSetup Process(std::u16string image, std::vector<WString> modules)
{
    sim::ProcessSetup p;
    p.imagePath = std::move(image);
    p.modules = std::move(modules);
    return p;
}

TEST_F(ModifyPagesTest, DriverLineFromClassVerAndDriverVer)
{
    const WString longVersion(500, u'9');
    struct Case
    {
        const char* name;
        WString classVer, date, version, line;
    } cases[] = {
        {"V3", u"3.0", u"05/20/2024", u"7.6.2.0",
         u"KORIGRAPH Printer Driver (V3) Ver:7.6.2.0 Date:05/20/2024"},
        {"V4", u"4.0", u"01/02/2025", u"8.0.0.1",
         u"KORIGRAPH Printer Driver (V4) Ver:8.0.0.1 Date:01/02/2025"},
        {"nothing", u"", u"", u"", u"KORIGRAPH Printer Driver (V3.0) Ver: Date:"},
        {"long", u"4", u"", longVersion, u"KORIGRAPH Printer Driver (V4) Ver:" + longVersion + u" Date:"},
    };
    for (const Case& k : cases)
        EXPECT_EQ(DriverLine(k.classVer, k.date, k.version), k.line) << k.name;
}

TEST_F(ModifyPagesTest, DriverLineOfAnInstalledInfToleratesMissingAndDamagedFields)
{
    struct Case
    {
        const char* name;
        std::string version;
        WString line;
    } cases[] = {
        {"whole", "ClassVer=4.0\r\nDriverVer=03/04/2025,8.1.0.2\r\n",
         u"KORIGRAPH Printer Driver (V4) Ver:8.1.0.2 Date:03/04/2025"},
        {"comma alone", "ClassVer=3.0\r\nDriverVer=,\r\n", u"KORIGRAPH Printer Driver (V3) Ver: Date:"},
        {"neither", "Class=Printer\r\n", u"KORIGRAPH Printer Driver (V3.0) Ver: Date:"},
    };
    for (const Case& k : cases)
    {
        sim::files().Put(u"C:\\Windows\\INF\\oem7.inf",
                         "[Version]\r\nSignature=\"$Windows NT$\"\r\n" + k.version);
        EXPECT_EQ(OnMachine([] { return DriverLineOfInf(u"C:\\Windows\\INF\\oem7.inf"); }), k.line) << k.name;
    }
    EXPECT_EQ(OnMachine([] { return DriverLineOfInf(u"C:\\Windows\\INF\\missing.inf"); }),
              u"KORIGRAPH Printer Driver (V3.0) Ver: Date:");
}

TEST_F(ModifyPagesTest, RemoveRowsListEachPrinterOnceAndCheckDriverRows)
{
    std::vector<RemoveInf> infs = {
        {u"line A", {{3, {u"Office", u"Hall"}}, {4, {u"Desk"}}, {2, {u"Old"}}}},
        {u"line B", {{3, {u"Hall", u"Lab"}}}}, // offers a printer the first one listed
        {u"line C", {}},                       // a package left without its driver still goes
    };
    std::vector<RemoveRow> rows = BuildRemoveRows(infs);
    std::vector<std::tuple<WString, DWORD, bool>> seen;
    for (const RemoveRow& r : rows)
        seen.emplace_back(r.text, r.version, r.checked);
    EXPECT_EQ(seen, (std::vector<std::tuple<WString, DWORD, bool>>{{u"Office", 3, false},
                                                                   {u"Hall", 3, false},
                                                                   {u"Desk", 4, false},
                                                                   {u"line A", 0, true},
                                                                   {u"Lab", 3, false},
                                                                   {u"line B", 0, true},
                                                                   {u"line C", 0, true}}));
}

TEST_F(ModifyPagesTest, RemoveChoiceGivesFlagsPrintersAndButtons)
{
    const std::vector<RemoveRow> base = {
        {u"Office", 3, false}, {u"Desk", 4, false}, {u"line A", 0, false}, {u"Lab", 3, false}};
    struct Case
    {
        const char* name;
        std::vector<bool> checked;
        UINT flags;
        std::vector<WString> printers;
        DWORD buttons;
    } cases[] = {
        {"none", {false, false, false, false}, 0, {}, PSWIZB_BACK},
        {"driver row only", {false, false, true, false}, 0, {}, PSWIZB_BACK | PSWIZB_NEXT},
        {"V4", {false, true, true, false}, 1u << 4, {u"Desk"}, PSWIZB_BACK | PSWIZB_NEXT},
        {"both V3 and V4",
         {true, true, true, true},
         (1u << 3) | (1u << 4),
         {u"Office", u"Desk", u"Lab"},
         PSWIZB_BACK | PSWIZB_NEXT},
    };
    for (const Case& k : cases)
    {
        std::vector<RemoveRow> rows = base;
        for (size_t i = 0; i < rows.size(); ++i)
            rows[i].checked = k.checked[i];
        RemoveChoice choice = ChooseRemoval(rows);
        EXPECT_EQ(choice.flags, k.flags) << k.name;
        EXPECT_EQ(choice.printers, k.printers) << k.name;
        EXPECT_EQ(RemoveButtons(rows), k.buttons) << k.name;
    }
}

TEST_F(ModifyPagesTest, DriverDllUsersLeaveOutTheSpoolerAndThisProgram)
{
    const WString ui = u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\VelmQ7UI.dll";
    const WString monitor = u"C:\\Windows\\System32\\VelmoQ7L.dll";
    sim::processes().SetCallingProgram(u"C:\\Pkg\\KGSetup64.exe", u"\"C:\\Pkg\\KGSetup64.exe\"");
    sim::processes().Add(Process(u"C:\\Windows\\System32\\spoolsv.exe", {ui, monitor}));
    sim::processes().Add(Process(u"C:\\WINDOWS\\SYSTEM32\\SPOOLSV.EXE", {ui}));
    DWORD editor = sim::processes().Add(Process(u"C:\\Apps\\Editor.exe", {u"C:\\Apps\\VELMQ7UI.DLL"}));
    DWORD both = sim::processes().Add(Process(u"C:\\Apps\\Both.exe", {ui, monitor}));
    DWORD nameless = sim::processes().Add(Process(u"C:\\Apps\\", {monitor}));
    const WString deep = u"C:\\" + WString(290, u'd') + u"\\Deep.exe";
    DWORD deepId = sim::processes().Add(Process(deep, {monitor}));
    sim::processes().Add(Process(u"C:\\Apps\\Other.exe", {u"C:\\Apps\\other.dll"}));

    auto users = OnMachine([] { return FindDriverDllUsers(); });
    std::vector<DWORD> ids;
    for (const auto& [id, image] : users)
        ids.push_back(id);
    EXPECT_EQ(ids, (std::vector<DWORD>{editor, both, nameless, deepId})) << "each listed once";
    EXPECT_EQ(users[editor], u"C:\\Apps\\Editor.exe");
    EXPECT_EQ(users[both], u"C:\\Apps\\Both.exe");
    // A path longer than the system's reads comes cut, but the program is still listed.
    EXPECT_FALSE(users[deepId].empty());
    EXPECT_EQ(deep.rfind(users[deepId], 0), 0u);
    EXPECT_EQ(users.count(GetCurrentProcessId()), 0u);
}

TEST_F(ModifyPagesTest, EndedShellIsStartedAgainOnlyWhenItDidNotComeBack)
{
    for (bool restarts : {false, true})
    {
        SCOPED_TRACE(restarts ? "restarts by itself" : "stays ended");
        const size_t before = sim::processes().Started().size();
        sim::files().Put(u"C:\\Windows\\explorer.exe", "MZ");
        std::atomic<int> started = 0;
        sim::processes().RegisterStandIn(u"explorer.exe", [&](const sim::StartedProcess&) -> DWORD {
            ++started;
            return 0;
        });
        sim::ProcessSetup shellSetup = Process(u"C:\\Windows\\Explorer.EXE", {});
        shellSetup.shell = true;
        DWORD shell = sim::processes().Add(shellSetup);
        DWORD editor = sim::processes().Add(Process(u"C:\\Apps\\Editor.exe", {}));
        if (restarts)
            test::StartRestartingShell(shell, 500);

        CTaskkill_win10 taskkill;
        const DWORD self = GetCurrentProcessId();
        taskkill.processes = {{shell, u"C:\\Windows\\Explorer.EXE"},
                              {editor, u"C:\\Apps\\Editor.exe"},
                              {self, u"C:\\Pkg\\KGSetup64.exe"}};
        OnMachine([&] {
            taskkill.KillListed();
            return 0;
        });
        EXPECT_FALSE(sim::processes().Running(shell));
        EXPECT_FALSE(sim::processes().Running(editor));
        EXPECT_EQ(started, restarts ? 0 : 1);
        bool quoted = false;
        auto all = sim::processes().Started();
        for (size_t i = before; i < all.size(); ++i)
            quoted = quoted || all[i].commandLine == u"\"C:\\Windows\\Explorer.EXE\"";
        EXPECT_EQ(quoted, !restarts);
        const std::string selfText = std::to_string(self);
        for (size_t i = before; i < all.size(); ++i)
            EXPECT_FALSE(all[i].commandLine.ends_with(u" /PID " + WString(selfText.begin(), selfText.end())))
                << "the setup program never ends itself";
    }
}

void EndProcess(DWORD id)
{
    HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, id);
    ASSERT_TRUE(process);
    EXPECT_TRUE(TerminateProcess(process, 1));
    CloseHandle(process);
}

// The dialog of applications to close, run as a page runs it; its result.
enum class Act
{
    Cancel,
    CloseBox,
    Escape,
    Ignore,
    EndAll,
    RetryAfterExit,
};

INT_PTR RunTaskkillDialog(const sim::Desktop::Script& script)
{
    INT_PTR result = -2;
    D().Run(
        [&]() -> DWORD {
            *g_setupContext = std::make_unique<CSetupContext>();
            g_wizard->instance = GetModuleHandleW(nullptr);
            DWORD error = 0;
            const CloseAnswer answer = AskToCloseDriverDllUsers(nullptr, error);
            result = answer == CloseAnswer::Cancelled ? -1 : answer == CloseAnswer::GoOn ? 0 : -3;
            g_setupContext->reset();
            return 0;
        },
        script);
    return result;
}

TEST_F(ModifyPagesTest, DialogOfApplicationsToClose)
{
    const WString ui = u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\VelmQ7UI.dll";
    struct Case
    {
        const char* name;
        Act act;
        INT_PTR result;
        bool editorRuns;
    } cases[] = {
        {"Cancel", Act::Cancel, -1, true},  {"close box", Act::CloseBox, -1, true},
        {"Esc", Act::Escape, -1, true},     {"Ignore", Act::Ignore, 0, true},
        {"End all", Act::EndAll, 0, false}, {"Retry after the program ended", Act::RetryAfterExit, 0, false},
    };
    sim::processes().Add(Process(u"C:\\Windows\\System32\\spoolsv.exe", {ui}));
    for (const Case& k : cases)
    {
        SCOPED_TRACE(k.name);
        DWORD editor = sim::processes().Add(Process(u"C:\\Apps\\Editor.exe", {u"C:\\Apps\\VELMQ7UI.DLL"}));
        INT_PTR result = RunTaskkillDialog([&] {
            ASSERT_TRUE(D().WaitIdle());
            HWND box = D().TopWindow(u"Caution");
            ASSERT_TRUE(box);
            EXPECT_EQ(D().Items(D().Control(box, IDC_PROGRAMS)),
                      std::vector<WString>{u"C:\\Apps\\Editor.exe"});
            EXPECT_EQ(D().Text(D().Control(box, IDC_END_ALL)), u"&End all");
            switch (k.act)
            {
            case Act::Cancel:
                D().Click(D().Control(box, IDCANCEL));
                break;
            case Act::CloseBox:
                D().Close(box);
                break;
            case Act::Escape:
                D().PressKey(box, VK_ESCAPE);
                break;
            case Act::Ignore:
                D().Click(D().Control(box, IDC_IGNORE));
                break;
            case Act::EndAll:
                D().Click(D().Control(box, IDC_END_ALL));
                break;
            case Act::RetryAfterExit:
                D().Click(D().Control(box, IDC_RETRY));
                ASSERT_TRUE(D().WaitIdle());
                EXPECT_EQ(D().Items(D().Control(box, IDC_PROGRAMS)).size(), 1u) << "still held";
                EndProcess(editor);
                D().Click(D().Control(box, IDC_RETRY));
                break;
            }
        });
        EXPECT_EQ(result, k.result);
        EXPECT_EQ(sim::processes().Running(editor), k.editorRuns);
        if (k.editorRuns)
            EndProcess(editor);
    }
    EXPECT_EQ(RunTaskkillDialog([] { EXPECT_FALSE(D().TopWindow(u"Caution")); }), 0)
        << "nothing holds the files";
}

// A box that cannot be shown is no cancel: the caller gets the failed call's code.
TEST_F(ModifyPagesTest, DialogOfApplicationsToCloseThatCannotBeShown)
{
    sim::processes().Add(Process(u"C:\\Apps\\Editor.exe", {u"C:\\Apps\\VELMQ7UI.DLL"}));
    CloseAnswer answer = CloseAnswer::GoOn;
    DWORD error = 0;
    D().Run(
        [&]() -> DWORD {
            *g_setupContext = std::make_unique<CSetupContext>();
            g_wizard->instance = GetModuleHandleW(nullptr);
            sim::faults().FailNext("DialogBoxParamW", ERROR_NOT_ENOUGH_MEMORY);
            answer = AskToCloseDriverDllUsers(nullptr, error);
            g_setupContext->reset();
            return 0;
        },
        [] {});
    EXPECT_EQ(answer, CloseAnswer::Failed);
    EXPECT_EQ(error, DWORD(ERROR_NOT_ENOUGH_MEMORY));
}

constexpr int kNextButton = 0x3024;
constexpr int kFinishButton = 0x3025;
const WString kV3Line = u"KORIGRAPH Printer Driver (V3.0) Ver:1.2.0.0 Date:03/15/2021";

// An installed V3 driver with two printers; `holder` also has its UI DLL loaded.
void MachineWithV3Printers(bool holder)
{
    ASSERT_FALSE(test::MachineWithV3().empty());
    for (const char16_t* name : {u"Office", u"Hall"})
    {
        sim::PrinterSetup p;
        p.name = name;
        p.driverName = test::kSharedModel;
        sim::spooler().AddPrinter(p);
    }
    if (holder)
        sim::processes().Add(Process(u"C:\\Apps\\Editor.exe", {u"C:\\Apps\\VELMQ7UI.DLL"}));
}

bool Checked(HWND list, int row)
{
    return (SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK) &
            LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2);
}

struct PageRun
{
    UINT page = 0;
    UINT status = 0;
    UINT flags = 0;
    std::vector<WString> printers;
    WString nextTextAfter;
};

template <typename Page>
PageRun RunPageThenFinish(UINT pageId, int driverKind, const std::function<void(HWND)>& onPage,
                          bool cancelDialog)
{
    PageRun run;
    Page page;
    KGSetupPropertySheet::CPropSheetFinish finish;
    RunPages(
        [&](CSetupContext& c) {
            c.driverKind = driverKind;
            c.flags = 0xFF;
            SetPageSequence(pageId, {pageId, IDD_FINISH});
        },
        [&](PROPSHEETPAGEW& record) {
            return std::vector<HPROPSHEETPAGE>{page.CreatePage(record), finish.CreatePage(record)};
        },
        [&] {
            HWND sheet = Sheet();
            ASSERT_TRUE(sheet);
            onPage(sheet);
            ClickNext();
            if (cancelDialog)
            {
                ASSERT_TRUE(D().WaitIdle());
                HWND box = D().TopWindow(u"Caution");
                ASSERT_TRUE(box);
                D().Click(D().Control(box, IDCANCEL));
            }
            ASSERT_TRUE(D().WaitIdle());
            run.page = CurrentPage();
            run.status = Context().statusWord;
            run.flags = Context().flags;
            run.printers = Context().printersToUpdate;
            run.nextTextAfter = D().Text(D().Control(sheet, kNextButton));
            if (run.page == IDD_FINISH)
            {
                EXPECT_EQ(D().Text(D().Control(sheet, IDC_RESULT)), Context().Text(run.status ? 141 : 140));
            }
            D().Click(D().Control(sheet, kFinishButton));
        });
    return run;
}

TEST_F(ModifyPagesTest, UpdatePageListsTheInstalledInfAndAsksToCloseItsUsers)
{
    struct Case
    {
        const char* name;
        int driverKind;
        bool holder, dialog;
        WString line;
    } cases[] = {
        {"V3, nothing holds it", 3, false, false, kV3Line},
        {"V3, held and cancelled", 3, true, true, kV3Line},
        {"V4, held: no dialog", 4, true, false, u"KORIGRAPH Printer Driver (V4) Ver:4.1.0.0 Date:06/01/2023"},
    };
    for (const Case& k : cases)
    {
        SCOPED_TRACE(k.name);
        sim::machine().Reset();
        PrepareMachine();
        if (k.driverKind == 3)
            MachineWithV3Printers(k.holder);
        else
        {
            ASSERT_FALSE(test::MachineWithV4().empty());
            sim::processes().Add(Process(u"C:\\Apps\\Editor.exe", {u"C:\\Apps\\VELMQ7UI.DLL"}));
        }
        PageRun run = RunPageThenFinish<KGSetupPropertySheet::CPropSheetUpdate>(
            IDD_UPDATE, k.driverKind,
            [&](HWND sheet) {
                EXPECT_EQ(D().Items(D().Control(sheet, IDC_UPDATE_LIST)), std::vector<WString>{k.line});
                EXPECT_EQ(D().Text(D().Control(sheet, kNextButton)), u"&Update");
                EXPECT_TRUE(IsWindowEnabled(D().Control(sheet, kNextButton)));
            },
            k.dialog);
        EXPECT_EQ(run.page, UINT{IDD_FINISH});
        EXPECT_EQ(run.status, k.dialog ? 0x1D000000u : 0u);
        EXPECT_NE(run.nextTextAfter, u"&Update");
    }
}

TEST_F(ModifyPagesTest, RemovePageKeepsDriverRowsCheckedAndChoosesPrinters)
{
    struct Case
    {
        const char* name;
        std::vector<int> clicks; // the rows whose box the user clicks after Check All
        bool holder;
        UINT page, status, flags;
        std::vector<WString> printers;
    } cases[] = {
        {"all", {}, false, IDD_FINISH, 0, 1u << 3, {u"Hall", u"Office"}},
        {"one printer", {0}, false, IDD_FINISH, 0, 1u << 3, {u"Office"}},
        {"a printer clicked twice", {1, 1}, false, IDD_FINISH, 0, 1u << 3, {u"Hall", u"Office"}},
        {"driver only", {0, 1, 2}, false, IDD_FINISH, 0, 0, {}},
        {"held and cancelled", {}, true, IDD_FINISH, 0x1D000000, 1u << 3, {u"Hall", u"Office"}},
        {"driver only, held", {0, 1}, true, IDD_FINISH, 0, 0, {}},
    };
    for (const Case& k : cases)
    {
        SCOPED_TRACE(k.name);
        sim::machine().Reset();
        PrepareMachine();
        MachineWithV3Printers(k.holder);
        PageRun run = RunPageThenFinish<KGSetupPropertySheet::CPropSheetRemove>(
            IDD_REMOVE, 3,
            [&](HWND sheet) {
                HWND list = D().Control(sheet, IDC_LIST);
                ASSERT_EQ(D().Items(list), (std::vector<WString>{u"Hall", u"Office", kV3Line}))
                    << "the spooler's order";
                EXPECT_EQ(D().Rows(list).at(0).at(1), u"V3");
                EXPECT_EQ(D().Text(D().Control(sheet, kNextButton)), u"&Remove");
                EXPECT_TRUE(Checked(list, 2));
                EXPECT_FALSE(Checked(list, 0));
                D().Click(D().Control(sheet, IDC_UNCHECK_ALL));
                ASSERT_TRUE(D().WaitIdle());
                EXPECT_TRUE(Checked(list, 2)) << "Uncheck All leaves the driver row";
                EXPECT_TRUE(IsWindowEnabled(D().Control(sheet, kNextButton)));
                D().Click(D().Control(sheet, IDC_CHECK_ALL));
                ASSERT_TRUE(D().WaitIdle());
                for (int row : k.clicks)
                {
                    const bool before = Checked(list, row);
                    ASSERT_TRUE(D().ClickCheckBox(list, row));
                    EXPECT_EQ(Checked(list, row), row == 2 || !before) << "row " << row;
                }
                EXPECT_TRUE(Checked(list, 2)) << "a driver row cannot be unchecked";
                EXPECT_TRUE(IsWindowEnabled(D().Control(sheet, kNextButton)));
            },
            k.holder && k.status != 0);
        EXPECT_EQ(run.page, k.page);
        EXPECT_EQ(run.status, k.status);
        EXPECT_EQ(run.flags, k.flags);
        EXPECT_EQ(run.printers, k.printers);
        EXPECT_NE(run.nextTextAfter, u"&Remove");
    }
}

// Each INF open of the page's scan fails once in turn: the page lists the installed driver whole,
// or it is passed over for the Finish page, which names the failure with its code.
TEST_F(ModifyPagesTest, APageWhoseScanCannotReadAnInfEndsOnTheFailure)
{
    int failures = 0;
    for (UINT pageId : {UINT{IDD_REMOVE}, UINT{IDD_UPDATE}})
        for (int skip = 0;; ++skip)
        {
            SCOPED_TRACE(std::to_string(pageId) + " #" + std::to_string(skip));
            sim::machine().Reset();
            PrepareMachine();
            MachineWithV3Printers(false);
            KGSetupPropertySheet::CPropSheetRemove remove;
            KGSetupPropertySheet::CPropSheetUpdate update;
            KGSetupPropertySheet::CPropSheetFinish finish;
            UINT shown = 0;
            std::vector<WString> items;
            WString result;
            RunPages(
                [&](CSetupContext& c) {
                    c.driverKind = 3;
                    SetPageSequence(pageId, {pageId, IDD_FINISH});
                    sim::faults().FailNext("SetupOpenInfFileW", ERROR_GEN_FAILURE, 1, skip);
                },
                [&](PROPSHEETPAGEW& record) {
                    return std::vector<HPROPSHEETPAGE>{pageId == IDD_REMOVE ? remove.CreatePage(record)
                                                                            : update.CreatePage(record),
                                                       finish.CreatePage(record)};
                },
                [&] {
                    HWND sheet = Sheet();
                    ASSERT_TRUE(sheet);
                    ASSERT_TRUE(D().WaitIdle());
                    shown = CurrentPage();
                    if (shown == pageId)
                        items =
                            D().Items(D().Control(sheet, pageId == IDD_REMOVE ? IDC_LIST : IDC_UPDATE_LIST));
                    else
                        result = D().Text(D().Control(sheet, IDC_RESULT));
                    D().Click(D().Control(sheet, IDCANCEL));
                });
            if (!sim::faults().Pending().empty())
            {
                sim::machine().Reset(); // the scan opens fewer INFs: each was failed once
                break;
            }
            if (shown == pageId)
            {
                const std::vector<WString> whole = pageId == IDD_REMOVE
                                                       ? std::vector<WString>{u"Hall", u"Office", kV3Line}
                                                       : std::vector<WString>{kV3Line};
                EXPECT_EQ(items, whole);
                continue;
            }
            ++failures;
            EXPECT_EQ(shown, UINT{IDD_FINISH});
            EXPECT_NE(result.find(u"\r\n\r\n\r\nError Code:\t0x0000001F"), WString::npos)
                << std::string(result.begin(), result.end());
        }
    EXPECT_GT(failures, 0);
}

TEST_F(ModifyPagesTest, RemovePageWithNothingInstalledOffersOnlyBack)
{
    KGSetupPropertySheet::CPropSheetRemove page;
    KGSetupPropertySheet::CPropSheetFinish finish;
    RunPages(
        [](CSetupContext&) {
            SetPageSequence(IDD_REMOVE, {IDD_REMOVE, IDD_FINISH});
        },
        [&](PROPSHEETPAGEW& record) {
            return std::vector<HPROPSHEETPAGE>{page.CreatePage(record), finish.CreatePage(record)};
        },
        [&] {
            HWND sheet = Sheet();
            ASSERT_TRUE(sheet);
            EXPECT_TRUE(D().Items(D().Control(sheet, IDC_LIST)).empty());
            EXPECT_FALSE(IsWindowEnabled(D().Control(sheet, kNextButton)));
            D().Click(D().Control(sheet, IDC_CHECK_ALL));
            ASSERT_TRUE(D().WaitIdle());
            D().Click(D().Control(sheet, IDCANCEL));
        });
}

TEST_F(ModifyPagesTest, ModifyPageEnablesTheModesByTheComparisons)
{
    struct Case
    {
        int driverKind, v3Compare, v4Compare, versionCompare;
        bool update, repair;
    } cases[] = {
        {3, 2, 0, 0, true, true},  // the installed V3 is older
        {3, 1, 2, 0, false, true}, // the V4 result does not count for a V3
        {4, 2, 1, 0, false, true}, {4, 0, 2, 0, true, true},   {4, 0, 1, 3, true, false},
        {3, 2, 0, 4, false, true}, {3, 2, 0, 6, false, false},
    };
    for (const Case& k : cases)
    {
        SCOPED_TRACE(::testing::Message() << "kind " << k.driverKind << ", V3 " << k.v3Compare << ", V4 "
                                          << k.v4Compare << ", compare " << k.versionCompare);
        KGSetupPropertySheet::CPropSheetModify page;
        RunPages(
            [&](CSetupContext& c) {
                c.driverKind = k.driverKind;
                c.v3CompareResult = k.v3Compare;
                c.v4CompareResult = k.v4Compare;
                c.versionCompare = k.versionCompare;
                SetPageSequence(IDD_MODIFY, {IDD_MODIFY});
            },
            [&](PROPSHEETPAGEW& record) { return std::vector<HPROPSHEETPAGE>{page.CreatePage(record)}; },
            [&] {
                HWND sheet = Sheet();
                ASSERT_TRUE(sheet);
                ASSERT_TRUE(D().WaitIdle());
                EXPECT_EQ(IsWindowEnabled(D().Control(sheet, IDC_UPDATE_BUTTON)) != 0, k.update);
                EXPECT_EQ(IsWindowEnabled(D().Control(sheet, IDC_REPAIR_BUTTON)) != 0, k.repair);
                EXPECT_TRUE(IsWindowEnabled(D().Control(sheet, IDC_REMOVE_BUTTON)));
                EXPECT_EQ(D().Text(D().Control(sheet, IDC_REMOVE_TEXT)), Context().Text(24));
                EXPECT_EQ(HeaderTitle(), Context().Text(18));
                D().Click(D().Control(sheet, IDCANCEL));
            });
    }
}

} // namespace
} // namespace kgsetup::testing
