// Whole runs under the scripted user with one system call failing: each call a removal or an update
// makes, recorded in a good run, fails once in turn. The run ends, the Finish page names the step and
// the code, and "/uninstall" run again leaves the machine as it was before the driver came.
#include "end_to_end_fixture.h"

#include <sim/fault_record.h>
#include <sim/snapshot.h>
#include <sim/spooler.h>
#include <testing/machines.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <set>
#include <span>

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

WizardRun RunToFinish(const WString& arguments, const std::function<bool()>& ready,
                      const std::function<void()>& arm, bool record)
{
    WizardRun run;
    run.exitCode = D().Run(kSetup64, arguments, [&] {
        HWND sheet = Sheet();
        ASSERT_TRUE(sheet);
        if (!ready())
        {
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
            D().Click(D().Control(sheet, IDCANCEL));
            return;
        }
        run.finishText = D().Text(D().Control(sheet, IDC_RESULT));
        D().Click(D().Control(sheet, kFinishButton));
    });
    sim::virtualClock().Advance(10000); // the self-deleting command at the program's end
    return run;
}

// "/uninstall" once more, everything checked; a machine with no maker driver left opens the
// Welcome page instead, which the user cancels.
void UninstallAgain(const std::string& where)
{
    WizardRun again = RunToFinish(
        u"/uninstall", RemoveAll, [] {}, false);
    if (again.reachedFinish)
    {
        EXPECT_EQ(again.finishText, TableText(127)) << where << ": the second run";
    }
}

// A fault a sweep found and that is not mended yet (nth -1: every call of the API). Its call still
// fails and the run must still end; that it ends wrongly is expected, so a mend shows as a failure
// asking to take the entry off.
struct Open
{
    const char* api;
    int nth;
    const char* fault;
};

bool IsOpen(std::span<const Open> table, const sim::FaultPointCall& call)
{
    return std::ranges::any_of(
        table, [&](const Open& o) { return call.api == o.api && (o.nth == -1 || o.nth == call.nth); });
}

struct Sweep
{
    std::function<void()> prepare; // the machine with the driver; takes the clean snapshot
    WString arguments;
    std::function<bool()> ready;
    int goodText = 0;
    std::span<const Open> open;
    sim::Snapshot clean;
    std::vector<std::string> goodChange; // what the good run changed
};

// One call of the good run failed. The run ends on the Finish page with the failed step's text and
// the fault's code, or, where the program rightly gets round the failure, with success and the
// machine changed exactly as the good run changes it: an optional function looked up, a file
// checked for that is then opened anyway, a handle that does not close, a list read again by the
// next step, a service found running by its next query. Nothing else counts as tolerated. Then
// "/uninstall" run again brings the machine back to `clean`.
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
    WizardRun again = RunToFinish(
        u"/uninstall", RemoveAll, [] {}, false);
    if (again.reachedFinish && again.finishText != TableText(127))
        wrong.push_back("the second run says " + Shown(again.finishText));
    for (const std::string& line : Unexpected(sim::Difference(sweep.clean, sim::TakeSnapshot())))
        wrong.push_back("left after the second run: " + line);

    std::string all;
    for (const std::string& w : wrong)
        all += "\n  " + w;
    if (IsOpen(sweep.open, call))
        EXPECT_FALSE(wrong.empty()) << where << " now ends soundly: take it off the table of open faults";
    else
        EXPECT_TRUE(wrong.empty()) << where << ":" << all;
}

// The recorded calls split among shards that ctest runs side by side: every call of the run is
// failed once, none left out for time. Only the making of windows is left out: the simulated
// desktop reports a dialog it cannot make as a broken template, which fails any test.
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
        if (good.calls[i].api != "CreateWindowExW")
            FailOneCall(sweep, good.calls[i]);
}

class EndToEndSweepTest : public EndToEndTest, public ::testing::WithParamInterface<int>
{
};

constexpr const char* kCompanionsGoOn =
    "the companions' program ends well while their service still runs: success is reported and the "
    "service stays";
constexpr const char* kCompanionsLeft =
    "the companions' removal fails and says so, but with the driver gone \"/uninstall\" opens the "
    "Welcome page and cannot take the companions left";
constexpr const char* kMetadataUnchecked =
    "a failed check of the device metadata file counts as its absence: success is reported while it stays";
constexpr const char* kStrandedAfterDrivers =
    "a step after the drivers went fails: \"/uninstall\" then opens the Welcome page, and the "
    "metadata, the entry and the installed copy stay";
constexpr const char* kPackageWithoutDriver =
    "a package left in the store with no driver installed from it gives the Remove page no row: "
    "the second run cannot remove it";

const Open kRemovalOpen[] = {
    {"CreateProcessW", 0, kCompanionsLeft},
    {"ControlService", 1, kCompanionsLeft},
    {"DeleteService", 0, kCompanionsLeft},
    {"OpenSCManagerW", 4, kCompanionsLeft},
    {"OpenServiceW", 4, kCompanionsLeft},
    {"QueryServiceStatus", 5, kCompanionsGoOn},
    {"QueryServiceStatus", 6, kCompanionsGoOn},
    {"QueryServiceStatus", 7, kCompanionsGoOn},
    {"QueryServiceStatus", 8, kCompanionsGoOn},
    {"QueryServiceStatus", 9, kCompanionsGoOn},
    {"QueryServiceStatus", 10, kCompanionsGoOn},
    {"DeleteFileW", 0, kCompanionsLeft},
    {"DeleteFileW", 1, kCompanionsLeft},
    {"DeleteFileW", 2, kCompanionsLeft},
    {"DeleteFileW", 3, kCompanionsLeft},
    {"DeleteFileW", 4, kCompanionsLeft},
    {"GetFileAttributesW", 7, kCompanionsLeft},
    {"GetFileAttributesW", 8, kCompanionsLeft},
    {"GetFileAttributesW", 9, kCompanionsLeft},
    {"GetFileAttributesW", 10, kCompanionsLeft},
    {"GetFileAttributesW", 11, kCompanionsLeft},
    {"GetFileAttributesW", 12, kCompanionsLeft},
    {"GetFileAttributesW", 13, kCompanionsLeft},
    {"GetFileAttributesW", 15, kMetadataUnchecked},
    {"CoInitializeEx", 0, kStrandedAfterDrivers},
    {"CoInitializeEx", 1, kStrandedAfterDrivers},
    {"CoCreateInstance", 0, kStrandedAfterDrivers},
    {"CoCreateInstance", 1, kStrandedAfterDrivers},
    {"SHCreateItemFromParsingName", 0, kStrandedAfterDrivers},
    {"SHCreateItemFromParsingName", 1, kStrandedAfterDrivers},
    {"DeleteFileW", 5, kStrandedAfterDrivers},
    {"GetFileAttributesW", 14, kStrandedAfterDrivers},
    {"GetFileAttributesW", 18, kStrandedAfterDrivers},
    {"EnumPrinterDriversW", 8, kPackageWithoutDriver},
    {"SetupGetInfDriverStoreLocationW", 4, kPackageWithoutDriver},
    {"SetupUninstallOEMInfW", 0, kPackageWithoutDriver},
    {"SetupOpenInfFileW", 18, kPackageWithoutDriver},
    {"SetupOpenInfFileW", 19, kPackageWithoutDriver},
    {"SetupOpenInfFileW", 20, kPackageWithoutDriver},
    {"SetupOpenInfFileW", 21, kPackageWithoutDriver},
};

TEST_P(EndToEndSweepTest, EachCallOfAnUninstallFailsOnce)
{
    Sweep sweep;
    sweep.arguments = u"/uninstall";
    sweep.ready = RemoveAll;
    sweep.goodText = 127;
    sweep.open = kRemovalOpen;
    sweep.prepare = [&sweep] {
        PrepareMachine();
        sim::files().PutProgram(kSetup64, u"KGSetup64.exe");
        sim::processes().InstallCommandInterpreter(true);
        test::PutCompleteV4Package(u"C:\\Setup");
        sweep.clean = sim::TakeSnapshot();
        InstallThroughTheWizard();
    };
    SweepShard(sweep, GetParam());
}

constexpr const char* kRegistration =
    "the installed copy and its registration fail with another call's code, or leave the copy";

const Open kUpdateOpen[] = {
    {"RegCreateKeyExW", -1, kRegistration},    {"RegSetValueExW", -1, kRegistration},
    {"CloseHandle", 8, kRegistration},         {"GetFileAttributesW", 23, kRegistration},
    {"GetFileAttributesW", 26, kRegistration}, {"CreateDirectoryW", -1, kRegistration},
    {"SHGetFolderPathW", 0, kRegistration},
};

TEST_P(EndToEndSweepTest, EachCallOfAnUpdateFailsOnce)
{
    Sweep sweep;
    sweep.arguments = u"";
    sweep.ready = ChooseUpdate;
    sweep.goodText = 126;
    sweep.open = kUpdateOpen;
    sweep.prepare = [&sweep] {
        PrepareMachine();
        sim::files().PutProgram(kSetup64, u"KGSetup64.exe");
        sim::processes().InstallCommandInterpreter(true);
        test::PutV3Package();
        NewerClassicPackageBesideTheProgram();
        sweep.clean = sim::TakeSnapshot();
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

void PrepareInstall(sim::Snapshot& clean)
{
    PrepareMachine();
    sim::files().PutProgram(kSetup64, u"KGSetup64.exe");
    sim::processes().InstallCommandInterpreter(true);
    test::PutCompleteV4Package(u"C:\\Setup");
    clean = sim::TakeSnapshot();
}

TEST_F(EndToEndTest, AFailingStepOfTheInstallIsReportedAndUninstallCleansAfterIt)
{
    struct Case
    {
        const char* api;
        DWORD fault; // an HRESULT for the calls that answer one
        int text;
        const char16_t* code;
        int skip = 0;               // good calls of the same function before the failing one
        const char* open = nullptr; // a fault found and not mended yet: the clean-up is not held
    };
    const char* installedBefore = "a failed install keeps the companions, their service and the metadata it "
                                  "put before the failing step, and with no driver \"/uninstall\" cannot "
                                  "take them";
    const Case cases[] = {
        {"UploadPrinterDriverPackageW", ERROR_GEN_FAILURE, 129, u"0x8007001F", 0, installedBefore},
        {"InstallPrinterDriverFromPackageW", ERROR_GEN_FAILURE, 130, u"0x8007001F", 0, kPackageWithoutDriver},
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
        PrepareInstall(clean);
        WizardRun run = RunToFinish(
            u"/fs", ToTheInstallPage, [&] { sim::faults().FailNext(c.api, c.fault, 1, c.skip); }, false);
        EXPECT_TRUE(sim::faults().Pending().empty());
        EXPECT_EQ(run.exitCode, 1u);
        const WString expected = TableText(c.text) + u"\r\n\r\n\r\nError Code:\t" + c.code + u"\r\n";
        EXPECT_EQ(run.finishText.substr(0, expected.size()), expected);
        UninstallAgain(where);
        const std::vector<std::string> left = Unexpected(sim::Difference(clean, sim::TakeSnapshot()));
        if (c.open)
            EXPECT_NE(left, std::vector<std::string>{}) << "now cleaned: take the open fault off";
        else
            EXPECT_EQ(left, std::vector<std::string>{});
    }
}

INSTANTIATE_TEST_SUITE_P(Shards, EndToEndSweepTest, ::testing::Range(0, kShards));

} // namespace
} // namespace kgsetup::testing
