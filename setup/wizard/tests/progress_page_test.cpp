// The progress pages with a scripted worker: what the page shows of each status word, how it moves
// on when the worker has finished, and what it does when the worker cannot start.
#include "wizard_fixture.h"

#include <map>
#include <vector>

namespace kgsetup::testing
{
namespace
{
using KGSetupPropertySheet::CPropSheetFinish;
using KGSetupPropertySheet::CSheetProgress;

// What the next logic's worker reports, one word each period; none: no worker is made.
struct WorkerScript
{
    bool makesWorker = true;
    std::vector<UINT> words;
    std::map<UINT, int> messages;
};
WorkerScript g_script;

class ScriptedWorker final : public CThreadMethodBase
{
public:
    ScriptedWorker(std::weak_ptr<CMethodProgressBase> progress, CSetupContext& context)
        : CThreadMethodBase(std::move(progress), context), script_(g_script)
    {
    }
    void Run() override
    {
        if (next_ < script_.words.size())
        {
            ReportStatus(script_.words[next_++]);
            Sleep(300); // every word stays for at least one of the page's polls
        }
        else
            Finish();
    }
    std::map<UINT, int> BuildStepMessages() const override { return script_.messages; }

private:
    WorkerScript script_;
    size_t next_ = 0;
};

class ScriptedProgress final : public CMethodProgressBase
{
public:
    using CMethodProgressBase::CMethodProgressBase;
    int HeaderTitleId() const override { return 67; }
    int HeaderSubtitleId() const override { return 90; }
    bool CreateWorker() override
    {
        return g_script.makesWorker && Adopt(std::make_shared<ScriptedWorker>(self, context));
    }
};

struct Seen
{
    WString text;
    int position = -1;
    std::pair<int, int> range{-1, -1};
    UINT status = 0;
    WString finishText;
    DWORD result = 0;
};

// The progress page (155) and the Finish page in a sheet; the script is the user.
DWORD RunProgressSheet(auto& progress, CPropSheetFinish& finish, const std::function<void()>& script)
{
    return RunPages(
        [](CSetupContext& context) {
            context.statusWord = 0;
            SetPageSequence(155, {155, 139});
        },
        [&](PROPSHEETPAGEW& record) {
            return std::vector<HPROPSHEETPAGE>{progress.CreatePage(record), finish.CreatePage(record)};
        },
        script);
}

// The progress page and the Finish page in a sheet; the script runs until the Finish page shows.
Seen RunProgress(const std::function<void()>& whileRunning = {})
{
    Seen seen;
    auto progress = CSheetProgress<ScriptedProgress>::Create(155);
    CPropSheetFinish finish;
    seen.result = RunProgressSheet(*progress, finish, [&] {
        if (whileRunning)
            whileRunning();
        EXPECT_TRUE(D().WaitUntil([] { return CurrentPage() == 139; }, 60 * 1000));
        HWND page = progress->hwnd;
        seen.text = D().Text(D().Control(page, IDC_STATUS_TEXT));
        seen.position = D().Position(D().Control(page, IDC_PROGRESS_BAR));
        seen.range = D().Range(D().Control(page, IDC_PROGRESS_BAR));
        seen.status = Context().statusWord;
        seen.finishText = D().Text(D().Control(Sheet(), IDC_RESULT));
        D().Click(D().Control(Sheet(), 0x3025));
    });
    return seen;
}

WString Text(int id)
{
    static const std::vector<MessageTableEntry> tables = LoadMessageTables();
    return ChooseMessageTable(tables, 9)->Text(id);
}

class ProgressPageTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        PrepareMachine();
        g_script = {};
    }
};

TEST_F(ProgressPageTest, EachNewStepShowsItsMessageAndStepsTheBarOnce)
{
    const std::map<UINT, int> install = {{1, 94}, {8, 99}, {9, 100}, {10, 101}};
    struct Case
    {
        const char* name;
        std::vector<UINT> words;
        std::map<UINT, int> messages;
        int text; // 0: none shown
        int position;
        std::pair<int, int> range;
        UINT status;
        int finishText;
    };
    const Case cases[] = {
        {"steps and a result", {1, 8, 9, 0x00010000}, install, 100, 3, {0, 3}, 0x80010000, 124},
        // Ended by a failure, which leaves the bar where the steps took it.
        {"a step reported twice", {1, 1, 8, 0x64000000}, install, 99, 2, {0, 3}, 0xE4000000, 140},
        {"a step without a message", {1, 28, 0x64000000}, install, 94, 2, {0, 3}, 0xE4000000, 140},
        {"more steps than the bar holds",
         {1, 8, 9, 10, 28, 29, 0x00010000},
         install,
         101,
         3,
         {0, 3},
         0x80010000,
         124},
        {"a failure", {1, 0x64000000}, install, 94, 1, {0, 3}, 0xE4000000, 140},
        // Steps the page never saw, or a map entry no run takes: a success still ends on a full bar.
        {"a success with steps unseen", {1, 0x00040000}, install, 94, 3, {0, 3}, 0x80040000, 127},
        {"words the page ignores", {0, 0xFFFFFFFF, 0x00050000, 8}, install, 99, 1, {0, 3}, 0x80000008, 140},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        sim::machine().Reset();
        SetUp();
        g_script.words = c.words;
        g_script.messages = c.messages;
        Seen seen = RunProgress();
        EXPECT_EQ(seen.text, c.text ? Text(c.text) : WString());
        EXPECT_EQ(seen.position, c.position);
        EXPECT_EQ(seen.range, c.range);
        EXPECT_EQ(seen.status, c.status);
        EXPECT_EQ(seen.finishText, Text(c.finishText));
        EXPECT_EQ(seen.result, 1u);
    }
}

TEST_F(ProgressPageTest, AWorkerThatCannotStartEndsOnTheFinishPage)
{
    struct Case
    {
        const char* name;
        bool makesWorker;
        const char* fault;
        int skip;
    };
    const Case cases[] = {
        {"no worker", false, nullptr, 0},
        {"no start timer", true, "SetTimer", 0},
        {"no thread", true, "CreateThread", 0},
        {"no poll timer", true, "SetTimer", 1},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        sim::machine().Reset();
        SetUp();
        g_script.makesWorker = c.makesWorker;
        g_script.words = {1, 8, 0x00010000};
        g_script.messages = {{1, 94}, {8, 99}};
        if (c.fault)
            sim::faults().FailNext(c.fault, ERROR_NOT_ENOUGH_MEMORY, 1, c.skip);
        Seen seen = RunProgress();
        EXPECT_EQ(seen.status & 0xFFFF0000, 0xE4000000u) << std::hex << seen.status;
        // The failed call's code under the text, when there was one.
        const WString coded = Text(140) + u"\r\n\r\n\r\nError Code:\t0x";
        EXPECT_EQ(seen.finishText.substr(0, coded.size()), coded);
        if (c.fault)
        {
            EXPECT_EQ(seen.finishText.substr(coded.size(), 8), u"00000008");
        }
        EXPECT_LE(seen.position, 1);
        EXPECT_GE(seen.range.second, seen.range.first);
    }
}

// A Finish page the system cannot make is tried again on the next polls; when it never comes the
// sheet ends by itself instead of staying with every button off (nothing is left to show the result).
TEST_F(ProgressPageTest, AFinishPageThatCannotBeMadeIsTriedAgainThenTheSheetEnds)
{
    for (int failures : {KGSetupPropertySheet::kMoveTries - 1, KGSetupPropertySheet::kMoveTries})
    {
        SCOPED_TRACE(failures);
        sim::machine().Reset();
        SetUp();
        g_script.words = {1, 0x00010000};
        g_script.messages = {{1, 94}};
        auto progress = CSheetProgress<ScriptedProgress>::Create(155);
        CPropSheetFinish finish;
        WString finishText;
        const DWORD result = RunProgressSheet(*progress, finish, [&] {
            // Once the progress page is made, the Finish page's is the next window.
            ASSERT_TRUE(D().WaitIdle());
            ASSERT_EQ(CurrentPage(), 155u);
            sim::faults().FailNext("CreateWindowExW", ERROR_NOT_ENOUGH_MEMORY, failures);
            ASSERT_TRUE(D().WaitUntil([] { return !Sheet() || CurrentPage() == 139; }, 60 * 1000));
            if (!Sheet())
                return;
            finishText = D().Text(D().Control(Sheet(), IDC_RESULT));
            D().Click(D().Control(Sheet(), 0x3025));
        });
        EXPECT_EQ(result, 1u);
        if (failures < KGSetupPropertySheet::kMoveTries)
        {
            EXPECT_EQ(finishText, Text(124));
        }
        else
        {
            EXPECT_EQ(finish.hwnd, nullptr);
        }
    }
}

TEST_F(ProgressPageTest, TheSheetStaysOpenWhileTheWorkerRuns)
{
    g_script.words = {1, 8, 9, 10, 0x00010000};
    g_script.messages = {{1, 94}, {8, 99}, {9, 100}, {10, 101}};
    Seen seen = RunProgress([] {
        HWND sheet = Sheet();
        EXPECT_FALSE(D().IsEnabled(D().Control(sheet, IDCANCEL)));
        EXPECT_FALSE(D().IsEnabled(D().Control(sheet, 0x3024)));
        EXPECT_FALSE(D().IsEnabled(D().Control(sheet, 0x3023)));
        EXPECT_EQ(HeaderTitle(), Text(67));
        // Once the worker runs, the close box is refused.
        ASSERT_TRUE(D().WaitUntil([&] { return D().Text(D().Control(sheet, IDC_STATUS_TEXT)) == Text(94); }));
        D().Close(sheet);
        EXPECT_EQ(Sheet(), sheet);
    });
    EXPECT_EQ(seen.status, 0x80010000u);
    EXPECT_EQ(seen.finishText, Text(124));
}

} // namespace
} // namespace kgsetup::testing
