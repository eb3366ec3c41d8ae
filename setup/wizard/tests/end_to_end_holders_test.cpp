// A classic driver removed through the whole wizard while other programs hold its files: the user
// ends them, lists them again, goes on regardless or gives up; the shell among them comes back.
#include "end_to_end_fixture.h"

#include <sim/network.h>
#include <sim/snapshot.h>
#include <sim/spooler.h>
#include <testing/machines.h>
#include <testing/on_machine.h>
#include <testing/restarting_shell.h>

#include <atomic>

namespace kgsetup::testing
{
namespace
{
using namespace KGSetupPropertySheet;

const WString kUiDll = u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\VelmQ7UI.dll";
const WString kMonitorDll = u"C:\\Windows\\System32\\VelmoQ7L.dll";
const WString kEditor = u"C:\\Apps\\Editor.exe";
const WString kShell = u"C:\\Windows\\explorer.exe";
const WString kTaskkill = u"\"C:\\Windows\\System32\\taskkill.exe\" /F /PID ";

sim::ProcessSetup Holder(const WString& image, bool shell = false)
{
    sim::ProcessSetup p;
    p.imagePath = image;
    // Loaded by another name's case: the UI DLL ships as "VelmQ7UI".
    p.modules = {u"C:\\WINDOWS\\SYSTEM32\\SPOOL\\DRIVERS\\X64\\3\\VELMQ7UI.DLL"};
    p.shell = shell;
    return p;
}

WString Text(DWORD number)
{
    const std::string digits = std::to_string(number);
    return WString(digits.begin(), digits.end());
}

// The taskkill command lines the program started since `from`.
std::vector<WString> TaskkillsSince(size_t from)
{
    std::vector<WString> lines;
    const std::vector<sim::StartedProcess> started = sim::processes().Started();
    for (size_t i = from; i < started.size(); ++i)
        if (started[i].commandLine.find(u"taskkill") != WString::npos)
            lines.push_back(started[i].commandLine);
    return lines;
}

struct Seen
{
    DWORD exitCode = 0;
    std::vector<WString> rows;
    std::vector<WString> listed;                   // what dialog 158 showed first
    bool closed = false;                           // the dialog was gone once the user had acted
    std::vector<std::string> firewallWhileRunning; // the rules added since the install, as the run shows
    WString finish;
};

class HoldersTest : public EndToEndTest
{
public:
    void SetUp() override
    {
        EndToEndTest::SetUp();
        test::PutV3Package(u"C:\\Setup");
        // The shell's program, and one that stands for Windows bringing its shell back.
        sim::files().Put(kShell, "MZ");
        sim::files().Put(test::kWatcher, "MZ");
        clean = sim::TakeSnapshot();
        InstallThroughTheWizard();
        ASSERT_FALSE(HasFailure());
        sim::ProcessSetup spooler;
        spooler.imagePath = u"C:\\Windows\\System32\\spoolsv.exe";
        spooler.modules = {kUiDll, kMonitorDll};
        spooler.sessionId = 0;
        spoolerId = sim::processes().Add(spooler);
        installed = sim::TakeSnapshot();
    }

    // "/uninstall" from the package: the printer's box clicked, Remove, then `inDialog` acts on the
    // dialog of applications to close, and the user finishes.
    Seen Remove(const std::function<void(HWND box)>& inDialog)
    {
        Seen seen;
        seen.exitCode = D().Run(kSetup64, u"/uninstall", [&] {
            HWND sheet = Sheet();
            ASSERT_TRUE(sheet);
            ASSERT_EQ(CurrentPage(), UINT{IDD_REMOVE});
            HWND list = D().Control(sheet, IDC_LIST);
            seen.rows = D().Items(list);
            for (const std::string& line : sim::Difference(installed, sim::TakeSnapshot()))
                if (line.starts_with("+ firewall "))
                    seen.firewallWhileRunning.push_back(line);
            ASSERT_TRUE(D().ClickCheckBox(list, 0));
            ClickNext();
            HWND box = D().TopWindow(u"Caution");
            ASSERT_TRUE(box) << "the dialog of applications to close";
            seen.listed = D().Items(D().Control(box, IDC_PROGRAMS));
            inDialog(box);
            seen.closed = D().TopWindow(u"Caution") == nullptr;
            ASSERT_TRUE(D().WaitUntil([] { return CurrentPage() == IDD_FINISH; }, 60 * 1000));
            seen.finish = D().Text(D().Control(sheet, IDC_RESULT));
            D().Click(D().Control(sheet, kFinishButton));
        });
        AfterExit();
        return seen;
    }

    void ExpectRemoved(const Seen& seen)
    {
        EXPECT_EQ(seen.rows.size(), 2u) << "the printer and its driver";
        EXPECT_EQ(seen.finish, TableText(127));
        EXPECT_EQ(seen.exitCode, 1u);
        EXPECT_FALSE(sim::spooler().Printer(u"Office 2"));
        EXPECT_TRUE(sim::processes().Running(spoolerId)) << "the spooler is never ended";
        EXPECT_EQ(Unexpected(sim::Difference(clean, sim::TakeSnapshot())), std::vector<std::string>{});
    }

    sim::Snapshot clean, installed;
    DWORD spoolerId = 0;
};

TEST_F(HoldersTest, EndAllEndsTheApplicationByItsIdAndTheRemovalRuns)
{
    const DWORD editor = sim::processes().Add(Holder(kEditor));
    const size_t before = sim::processes().Started().size();
    Seen seen = Remove([](HWND box) { D().Click(D().Control(box, IDC_END_ALL)); });
    EXPECT_EQ(seen.listed, std::vector<WString>{kEditor}) << "the application only, not the spooler";
    EXPECT_EQ(seen.firewallWhileRunning.size(), 1u) << "the program's own rule, gone again at its end";
    EXPECT_TRUE(seen.closed) << "nothing left to list";
    EXPECT_FALSE(sim::processes().Running(editor));
    EXPECT_EQ(TaskkillsSince(before), std::vector<WString>{kTaskkill + Text(editor)});
    ExpectRemoved(seen);
}

TEST_F(HoldersTest, CancelOrTheCloseBoxRemovesNothing)
{
    for (bool closeBox : {false, true})
    {
        SCOPED_TRACE(closeBox ? "close box" : "Cancel");
        const DWORD editor = sim::processes().Add(Holder(kEditor));
        Seen seen = Remove([&](HWND box) {
            if (closeBox)
                D().Close(box);
            else
                D().Click(D().Control(box, IDCANCEL));
        });
        EXPECT_EQ(seen.listed, std::vector<WString>{kEditor});
        EXPECT_EQ(seen.finish, TableText(141));
        EXPECT_EQ(seen.exitCode, 1u);
        EXPECT_TRUE(sim::processes().Running(editor));
        EXPECT_TRUE(sim::spooler().Printer(u"Office 2"));
        // The machine puts taskkill.exe in place the first time a program is looked for.
        std::vector<std::string> change = sim::Difference(installed, sim::TakeSnapshot());
        std::erase(change, "+ file C:\\Windows\\System32\\taskkill.exe");
        EXPECT_EQ(change, std::vector<std::string>{});
        OnMachine([editor] { return KillProcess(editor).exitCode; });
    }
}

TEST_F(HoldersTest, RetryListsAgainAndIgnoreGoesOn)
{
    const DWORD editor = sim::processes().Add(Holder(kEditor));
    DWORD viewer = 0;
    std::vector<WString> refilled;
    Seen seen = Remove([&](HWND box) {
        viewer = sim::processes().Add(Holder(u"C:\\Apps\\Viewer.exe"));
        D().Click(D().Control(box, IDC_RETRY));
        refilled = D().Items(D().Control(box, IDC_PROGRAMS));
        D().Click(D().Control(box, IDC_IGNORE));
    });
    EXPECT_EQ(seen.listed, std::vector<WString>{kEditor});
    EXPECT_EQ(refilled, (std::vector<WString>{kEditor, u"C:\\Apps\\Viewer.exe"}));
    EXPECT_TRUE(seen.closed);
    EXPECT_TRUE(sim::processes().Running(editor)) << "ignored, not ended";
    EXPECT_TRUE(sim::processes().Running(viewer));
    ExpectRemoved(seen);
}

// The shell holds the UI DLL (its printers folder loaded it) and the user ends it with End all.
void EndTheShell(HoldersTest& fixture, bool comesBack)
{
    std::atomic<int> starts = 0;
    sim::processes().RegisterStandIn(u"explorer.exe", [&starts](const sim::StartedProcess&) -> DWORD {
        ++starts;
        sim::ProcessSetup again;
        again.imagePath = kShell;
        again.shell = true;
        sim::processes().Add(again);
        return 0;
    });
    const DWORD shell = sim::processes().Add(Holder(kShell, true));
    if (comesBack)
        test::StartRestartingShell(shell, 500); // Windows brings its shell back a moment later
    const size_t before = sim::processes().Started().size();
    Seen seen = fixture.Remove([](HWND box) { D().Click(D().Control(box, IDC_END_ALL)); });
    EXPECT_EQ(seen.listed, std::vector<WString>{kShell});
    EXPECT_FALSE(sim::processes().Running(shell));
    EXPECT_EQ(TaskkillsSince(before), std::vector<WString>{kTaskkill + Text(shell)});
    EXPECT_EQ(starts, comesBack ? 0 : 1);
    std::vector<WString> shellStarts;
    const std::vector<sim::StartedProcess> started = sim::processes().Started();
    for (size_t i = before; i < started.size(); ++i)
        if (started[i].applicationPath == kShell)
            shellStarts.push_back(started[i].commandLine);
    EXPECT_EQ(shellStarts, comesBack ? std::vector<WString>{} : std::vector<WString>{u"\"" + kShell + u"\""});
    fixture.ExpectRemoved(seen);
}

TEST_F(HoldersTest, TheEndedShellThatStaysAwayIsStartedOnceFromItsQuotedPath)
{
    EndTheShell(*this, false);
}

TEST_F(HoldersTest, TheEndedShellThatComesBackByItselfIsNotStartedAgain)
{
    EndTheShell(*this, true);
}

// Windows runs the entry's ModifyPath as it stands: the registered copy adds a printer with the
// installed driver and stays, so its UninstallString still removes everything afterwards.
TEST_F(EndToEndTest, TheRegisteredModifyCommandAddsAPrinterAndTheCopyStays)
{
    test::PutCompleteV4Package(u"C:\\Setup");
    sim::network().AddInterface("192.168.1.10", "255.255.255.0");
    const sim::Snapshot clean = sim::TakeSnapshot();
    InstallThroughTheWizard();
    ASSERT_FALSE(HasFailure());

    const size_t before = sim::processes().Started().size();
    WString finish;
    const DWORD exitCode = RunRegisteredCommand(u"ModifyPath", AddPrintToFileScript(finish));
    AfterExit();
    std::vector<sim::StartedProcess> started = sim::processes().Started();
    ASSERT_GT(started.size(), before);
    EXPECT_EQ(started[before].applicationPath, kUninstaller);
    EXPECT_EQ(started[before].commandLine, kUninstaller + u" /modify");
    EXPECT_EQ(exitCode, 1u);
    EXPECT_EQ(finish, TableText(125));
    std::vector<sim::PrinterSetup> printers = sim::spooler().Printers();
    ASSERT_EQ(printers.size(), 2u);
    const sim::PrinterSetup& added = printers[printers[0].name == u"Office 2" ? 1 : 0];
    EXPECT_EQ(added.portName, u"NUL:");
    EXPECT_TRUE(added.driverName.ends_with(u" Print to File"));
    for (size_t i = before; i < started.size(); ++i)
        EXPECT_EQ(started[i].commandLine.find(u"del /Q"), WString::npos) << "the copy deletes nothing";
    EXPECT_TRUE(sim::files().Exists(kUninstaller));

    Removal seen;
    seen.exitCode = RunRegisteredCommand(u"UninstallString", RemoveEverythingScript(seen));
    AfterExit();
    EXPECT_EQ(seen.rows, (std::vector<WString>{u"Office 2", added.name, kV4Line}));
    EXPECT_EQ(seen.finishText, TableText(127));
    EXPECT_EQ(seen.exitCode, 1u);
    EXPECT_TRUE(sim::spooler().Printers().empty());
    // The Print to File printer's "NUL:" port stays, as the TCP/IP port does: other printers may use it.
    std::vector<std::string> left = Unexpected(sim::Difference(clean, sim::TakeSnapshot()));
    std::erase(left, "+ port NUL:");
    EXPECT_EQ(left, std::vector<std::string>{});
}

} // namespace
} // namespace kgsetup::testing
