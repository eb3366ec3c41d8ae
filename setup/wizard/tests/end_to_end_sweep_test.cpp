// Whole runs under the scripted user with one system call failing: each call a removal or an update
// makes, recorded in a good run, fails once in turn. The run ends, the Finish page names the step and
// the code, and the user's second run leaves the machine as it was before the driver came.
#include "end_to_end_fixture.h"

#include <sim/fault_record.h>
#include <sim/snapshot.h>
#include <sim/spooler.h>
#include <testing/machines.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <optional>
#include <set>

namespace kgsetup::testing
{
namespace
{
using namespace KGSetupPropertySheet;

constexpr DWORD kFault = ERROR_GEN_FAILURE; // 0x1F, an error nothing here reports by itself
constexpr DWORD kFaultHresult = 0x8007001F;

// The calls that answer an HRESULT take the fault as one.
DWORD FaultFor(const std::string& api)
{
    for (const char* prefix : {"Co", "SH", "INetFw", "PT", "CreateStreamOnHGlobal"})
        if (api.starts_with(prefix))
            return kFaultHresult;
    return kFault;
}

std::string Shown(WStringView text)
{
    std::string out;
    for (WCHAR c : text)
        out += c == u'\r'   ? std::string("\\r")
               : c == u'\n' ? std::string("\\n")
                            : std::string(1, c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

// What the Finish page said of a failed run: a failure text and the code under it; none for any
// other text.
struct Failure
{
    int text = -1;
    WString code;
};

std::optional<Failure> ReadFailure(const WString& finish)
{
    const WString mark = u"\r\n\r\n\r\nError Code:\t0x";
    const size_t at = finish.find(mark);
    if (at == WString::npos || finish.size() < at + mark.size() + 8)
        return std::nullopt;
    for (int text = 128; text <= 140; ++text)
        if (finish.substr(0, at) == TableText(text))
            return Failure{text, finish.substr(at + mark.size(), 8)};
    return std::nullopt;
}

// One run of the wizard, the user taken by `ready` to the step the run is about; the fault (or the
// record) is armed just before he starts it, and he goes on to the Finish page.
struct WizardRun
{
    DWORD exitCode = 0;
    bool reachedFinish = false;
    WString finishText;
    UINT cancelledOn = 0;       // the page the user cancelled on, when he did not reach Finish
    std::optional<WString> box; // the message box a run showed instead of the sheet
    bool nothingShown = false;  // the program ended (or never started) without a window
    std::vector<sim::FaultPointCall> calls;
};

// The Remove page: every row checked; false when that leaves nothing to remove.
bool RemoveAll()
{
    if (CurrentPage() != IDD_REMOVE)
        return false;
    D().Click(D().Control(Sheet(), IDC_CHECK_ALL));
    return D().WaitIdle() && D().IsEnabled(D().Control(Sheet(), kSheetNextButton));
}

// The Modify page's Update, on the Update page's one line.
bool ChooseUpdate()
{
    if (CurrentPage() != IDD_MODIFY)
        return false;
    D().Click(D().Control(Sheet(), IDC_UPDATE_BUTTON));
    return CurrentPage() == IDD_UPDATE && D().Items(D().Control(Sheet(), IDC_UPDATE_LIST)).size() == 1;
}

// The user of a wizard run: `ready` takes him to the step the run is about, the fault (or the
// record) is armed just before he starts it, and he goes on to the Finish page.
sim::Desktop::Script ToFinishScript(WizardRun& run, const std::function<bool()>& ready,
                                    const std::function<void()>& arm, bool record)
{
    return [&run, ready, arm, record] {
        HWND sheet = Sheet();
        ASSERT_TRUE(sheet);
        if (!ready())
        {
            run.cancelledOn = CurrentPage();
            D().Click(D().Control(sheet, IDCANCEL));
            return;
        }
        if (record)
            sim::StartFaultPointRecord();
        arm();
        const UINT from = CurrentPage();
        ClickNext();
        // A step that could not begin leaves the sheet on its page, where only Cancel is left.
        if (CurrentPage() == from)
        {
            if (record)
                run.calls = sim::StopFaultPointRecord();
            run.cancelledOn = from;
            D().Click(D().Control(sheet, IDCANCEL));
            return;
        }
        // A box the failure brings up is answered as a user would; the dialog of applications to
        // close (a process whose modules cannot be read is listed) is told to go on.
        for (;;)
        {
            D().WaitUntil(
                [] { return CurrentPage() == IDD_FINISH || D().MessageBox() || D().TopWindow(u"Caution"); },
                60 * 1000);
            if (D().MessageBox())
                D().AnswerMessageBox(IDOK);
            else if (HWND caution = D().TopWindow(u"Caution"))
                D().Click(D().Control(caution, IDC_IGNORE));
            else
                break;
        }
        if (record)
            run.calls = sim::StopFaultPointRecord();
        run.reachedFinish = CurrentPage() == IDD_FINISH;
        if (!run.reachedFinish)
        {
            run.cancelledOn = CurrentPage();
            D().Click(D().Control(sheet, IDCANCEL));
            return;
        }
        run.finishText = D().Text(D().Control(sheet, IDC_RESULT));
        D().Click(D().Control(sheet, kFinishButton));
    };
}

WizardRun RunToFinish(const WString& arguments, const std::function<bool()>& ready,
                      const std::function<void()>& arm, bool record)
{
    WizardRun run;
    run.exitCode = D().Run(kSetup64, arguments, ToFinishScript(run, ready, arm, record));
    sim::virtualClock().Advance(10000); // the self-deleting command at the program's end
    return run;
}

// The user's next try after a failed run: the program's entry in the Programs list while the entry
// and its program are there, else the setup program with "/uninstall". Either shows the sheet (the
// Remove page, everything checked, on to Finish) or, the installed copy with no maker driver left,
// the box saying so once it has cleaned up.
WizardRun RunAgain()
{
    const std::optional<WString> command = RegisteredCommand(u"UninstallString");
    // The entry's program: its command without the option.
    const WString program = command ? command->substr(0, command->rfind(u" /")) : WString();
    WizardRun run;
    std::atomic<bool> ended = false;
    const sim::Desktop::Script toFinish = ToFinishScript(
        run, RemoveAll, [] {}, false);
    const sim::Desktop::Script script = [&run, &toFinish, &ended] {
        // The installed copy cleans up before its box: the user sees nothing until then.
        D().WaitUntil([&ended] { return D().MessageBox() || Sheet() || ended; }, 60 * 1000);
        if (std::optional<sim::MessageBoxShown> box = D().MessageBox())
        {
            run.box = box->text;
            D().AnswerMessageBox(IDOK);
        }
        else if (Sheet())
            toFinish();
        else
            run.nothingShown = true;
    };
    if (command && sim::files().Exists(program))
        run.exitCode = D().Run(
            [&ended, line = *command] {
                const DWORD exitCode = StartAndWait(line);
                ended = true;
                return exitCode;
            },
            script);
    else
        run.exitCode = D().Run(kSetup64, u"/uninstall", script);
    sim::virtualClock().Advance(10000);
    return run;
}

// What is wrong with the second run: it must start, report no failure, and not stop on a Remove
// page with nothing to remove. A Welcome page (the setup program on a machine with no maker driver)
// is cancelled; what it leaves shows in the snapshot.
std::optional<std::string> WrongAgain(const WizardRun& again)
{
    if (again.nothingShown)
        return "the second run showed nothing, exit code " + std::to_string(again.exitCode);
    if (again.box)
    {
        if (*again.box != TableText(3) || again.exitCode != 0)
            return "the second run's box says " + Shown(*again.box) + ", exit code " +
                   std::to_string(again.exitCode);
        return std::nullopt;
    }
    if (again.reachedFinish && again.finishText != TableText(127))
        return "the second run says " + Shown(again.finishText);
    if (again.cancelledOn == IDD_REMOVE)
        return "the second run's Remove page offers nothing to remove";
    return std::nullopt;
}

// "/uninstall" once more, as the user makes it, after a failed install.
void UninstallAgain(const std::string& where)
{
    if (std::optional<std::string> wrong = WrongAgain(RunAgain()))
        ADD_FAILURE() << where << ": " << *wrong;
}

// A machine with the setup program and what `packages` puts; `clean` is taken then, before any
// driver comes.
void PrepareRun(sim::Snapshot& clean, const std::function<void()>& packages)
{
    PrepareMachine();
    sim::files().PutProgram(kSetup64, u"KGSetup64.exe");
    sim::processes().InstallCommandInterpreter(true);
    packages();
    clean = sim::TakeSnapshot();
}

struct Sweep
{
    std::function<void()> prepare; // the machine with the driver; takes the clean snapshot
    WString arguments;
    std::function<bool()> ready;
    int goodText = 0;
    sim::Snapshot clean;
    std::vector<std::string> goodChange; // what the good run changed
};

// One call of the good run failed. The run ends on the Finish page with the failed step's text and
// the fault's code, or, where the program rightly gets round the failure, with success and the
// machine changed exactly as the good run changes it: an optional function looked up, a file
// checked for that is then opened anyway, a handle that does not close, a list read again by the
// next step, a service found running by its next query. Nothing else counts as tolerated. Then
// the user's second run brings the machine back to `clean`.
void FailOneCall(Sweep& sweep, const sim::FaultPointCall& call)
{
    const std::string where = call.api + " #" + std::to_string(call.nth);
    SCOPED_TRACE(where);
    sim::machine().Reset();
    sweep.prepare();
    WizardRun run = RunToFinish(
        sweep.arguments, sweep.ready,
        [&] { sim::faults().FailNext(call.api, FaultFor(call.api), 1, call.nth); }, false);
    if (!sim::faults().Pending().empty())
    {
        ADD_FAILURE() << where << " was not called again: the run is not the recorded one";
        sim::machine().Reset();
        return;
    }
    EXPECT_EQ(run.exitCode, 1u) << where;
    std::vector<std::string> wrong;
    if (!run.reachedFinish)
        wrong.push_back("the run did not reach the Finish page");
    else if (run.finishText == TableText(sweep.goodText))
    {
        sim::virtualClock().Advance(10000);
        const std::vector<std::string> change = sim::Difference(sweep.clean, sim::TakeSnapshot());
        const std::set<std::string> got(change.begin(), change.end());
        const std::set<std::string> good(sweep.goodChange.begin(), sweep.goodChange.end());
        for (const std::string& line : change)
            if (!good.count(line))
                wrong.push_back("success reported, yet changed unlike the good run: " + line);
        for (const std::string& line : sweep.goodChange)
            if (!got.count(line))
                wrong.push_back("success reported, yet not done: " + line);
    }
    else if (std::optional<Failure> failure = ReadFailure(run.finishText);
             !failure || (failure->code != u"0000001F" && failure->code != u"8007001F"))
        wrong.push_back("the Finish page says " + Shown(run.finishText));
    if (std::optional<std::string> again = WrongAgain(RunAgain()))
        wrong.push_back(*again);
    for (const std::string& line : Unexpected(sim::Difference(sweep.clean, sim::TakeSnapshot())))
        wrong.push_back("left after the second run: " + line);

    std::string all;
    for (const std::string& w : wrong)
        all += "\n  " + w;
    EXPECT_TRUE(wrong.empty()) << where << ":" << all;
}

// The recorded calls split among shards that ctest runs side by side: every call of the run is
// failed once, none left out, the making of windows included (a Finish page that can never be
// made, which no run can show, is the progress page tests' case).
constexpr int kShards = 8;

void SweepShard(Sweep& sweep, int shard)
{
    sim::machine().Reset();
    sweep.prepare();
    WizardRun good = RunToFinish(
        sweep.arguments, sweep.ready, [] {}, true);
    ASSERT_TRUE(good.reachedFinish);
    ASSERT_EQ(good.finishText, TableText(sweep.goodText));
    ASSERT_FALSE(good.calls.empty());
    sweep.goodChange = sim::Difference(sweep.clean, sim::TakeSnapshot());
    for (size_t i = static_cast<size_t>(shard); i < good.calls.size(); i += kShards)
        FailOneCall(sweep, good.calls[i]);
}

class EndToEndSweepTest : public EndToEndTest, public ::testing::WithParamInterface<int>
{
};

TEST_P(EndToEndSweepTest, EachCallOfAnUninstallFailsOnce)
{
    Sweep sweep;
    sweep.arguments = u"/uninstall";
    sweep.ready = RemoveAll;
    sweep.goodText = 127;
    sweep.prepare = [&sweep] {
        PrepareRun(sweep.clean, [] { test::PutCompleteV4Package(u"C:\\Setup"); });
        InstallThroughTheWizard();
    };
    SweepShard(sweep, GetParam());
}

TEST_P(EndToEndSweepTest, EachCallOfAnUpdateFailsOnce)
{
    Sweep sweep;
    sweep.arguments = u"";
    sweep.ready = ChooseUpdate;
    sweep.goodText = 126;
    sweep.prepare = [&sweep] {
        PrepareRun(sweep.clean, [] {
            test::PutV3Package();
            NewerClassicPackageBesideTheProgram();
        });
        OlderClassicDriverInstalled();
    };
    SweepShard(sweep, GetParam());
}

// The user's "/fs" install up to the Install page: the shared model on a new TCP/IP port, named
// "Office 2"; Next there installs.
bool ToTheInstallPage()
{
    HWND sheet = Sheet();
    ClickNext();
    if (!D().PickText(D().Control(sheet, IDC_LIST), test::kSharedModel))
        return false;
    ClickNext();
    D().Type(D().Control(sheet, IDC_IP_ADDRESS), u"192.168.0.5");
    D().Click(D().Control(sheet, IDC_ADD_TCPIP_PORT));
    ClickNext();
    D().Type(D().Control(sheet, IDC_PRINTER_NAME), u"Office 2");
    ClickNext();
    return CurrentPage() == IDD_INSTALL;
}

TEST_F(EndToEndTest, AFailingStepOfTheInstallIsReportedAndUninstallCleansAfterIt)
{
    struct Case
    {
        const char* api;
        DWORD fault; // an HRESULT for the calls that answer one
        int text;
        const char16_t* code;
        int skip = 0; // good calls of the same function before the failing one
    };
    const Case cases[] = {
        {"UploadPrinterDriverPackageW", ERROR_GEN_FAILURE, 129, u"0x8007001F"},
        {"CopyFileW", ERROR_GEN_FAILURE, 132, u"0x0000001F", 2}, // the third companion file
        {"InstallPrinterDriverFromPackageW", ERROR_GEN_FAILURE, 130, u"0x8007001F"},
        {"AddPrinterW", ERROR_GEN_FAILURE, 131, u"0x0000001F"},
        {"SHCreateItemFromParsingName", 0x8007001F, 138, u"0x8007001F"}, // the device metadata copied
        // The uninstaller copied for the registration, after the metadata's source and target.
        {"SHCreateItemFromParsingName", 0x8007001F, 140, u"0x8007001F", 2},
    };
    for (const Case& c : cases)
    {
        const std::string where = std::string(c.api) + " #" + std::to_string(c.skip);
        SCOPED_TRACE(where);
        sim::machine().Reset();
        sim::Snapshot clean;
        PrepareRun(clean, [] { test::PutCompleteV4Package(u"C:\\Setup"); });
        WizardRun run = RunToFinish(
            u"/fs", ToTheInstallPage, [&] { sim::faults().FailNext(c.api, c.fault, 1, c.skip); }, false);
        EXPECT_TRUE(sim::faults().Pending().empty());
        EXPECT_EQ(run.exitCode, 1u);
        const WString expected = TableText(c.text) + u"\r\n\r\n\r\nError Code:\t" + c.code + u"\r\n";
        EXPECT_EQ(run.finishText.substr(0, expected.size()), expected);
        UninstallAgain(where);
        EXPECT_EQ(Unexpected(sim::Difference(clean, sim::TakeSnapshot())), std::vector<std::string>{});
    }
}

INSTANTIATE_TEST_SUITE_P(Shards, EndToEndSweepTest, ::testing::Range(0, kShards));

} // namespace
} // namespace kgsetup::testing
