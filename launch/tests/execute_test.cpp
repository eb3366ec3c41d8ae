#include "launch_fixture.h"

#include "execute.h"
#include "string_table.h"

#include <platform/shellapi.h>

#include <atomic>

namespace
{
using namespace launchtest;

const WString kTool = kMedia + u"\\Utility\\Tool.exe";
const WString kManual = kMedia + u"\\Manual\\English\\PrinterDriver.pdf";
constexpr LPCWSTR kOwnerCaption = u"Owner caption";

std::atomic<HWND> g_owner{nullptr};
std::atomic<bool> g_hiddenWhileRunning{false};
std::atomic<bool> g_disabledWhileRunning{false};
std::atomic<UINT> g_pinged{0};

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_APP)
        ++g_pinged;
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND MakeOwner()
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = OwnerProc;
    wc.lpszClassName = u"LaunchOwner";
    RegisterClassExW(&wc);
    HWND owner = CreateWindowExW(0, u"LaunchOwner", kOwnerCaption, WS_POPUP | WS_VISIBLE, 0, 0, 100, 100,
                                 nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    g_owner = owner;
    return owner;
}

// Runs `body` on a UI thread of its own that owns a visible window, as the menu's dialog thread does.
DWORD OnUiThread(const std::function<DWORD(HWND)>& body, const sim::Desktop::Script& script = nullptr)
{
    return sim::desktop().Run(
        [&] {
            HWND owner = MakeOwner();
            DWORD result = body(owner);
            DestroyWindow(owner);
            return result;
        },
        script);
}

class Execute : public MenuFilesTest
{
protected:
    void SetUp() override
    {
        MenuFilesTest::SetUp();
        g_hiddenWhileRunning = g_disabledWhileRunning = false;
        g_pinged = 0;
    }
};

struct LaunchCase
{
    const char* name;
    bool pathGiven;
    bool fileExists;
    bool wait;
    DWORD refusal; // 0: the shell starts it
    DWORD expected;
    bool started;

    friend void PrintTo(const LaunchCase& c, std::ostream* os) { *os << c.name; }
};

class ExecuteAndWaitTable : public Execute, public ::testing::WithParamInterface<LaunchCase>
{
};

TEST_P(ExecuteAndWaitTable, ReturnsTheOutcomeAndAlwaysGivesTheOwnerBack)
{
    const LaunchCase& c = GetParam();
    if (c.fileExists)
        sim::files().Put(kTool);
    sim::processes().RegisterStandIn(u"Tool.exe", [](const sim::StartedProcess&) -> DWORD {
        g_hiddenWhileRunning = !sim::desktop().IsVisible(g_owner);
        g_disabledWhileRunning = !IsWindowEnabled(g_owner);
        return 1603;
    });
    if (c.refusal)
        sim::faults().FailNext("ShellExecuteExW", c.refusal);
    bool enabledAfter = false, visibleAfter = false;
    DWORD result = OnUiThread([&](HWND owner) {
        DWORD r = launch::ExecuteAndWait(owner, c.pathGiven ? kTool.c_str() : nullptr, c.wait);
        enabledAfter = IsWindowEnabled(owner) != FALSE;
        visibleAfter = IsWindowVisible(owner) != FALSE;
        return r;
    });
    EXPECT_EQ(result, c.expected);
    EXPECT_TRUE(enabledAfter);
    EXPECT_TRUE(visibleAfter);
    ASSERT_EQ(sim::processes().Started().size(), c.started ? 1u : 0u);
    if (c.started)
    {
        EXPECT_EQ(sim::processes().Started()[0].currentDirectory, kMedia + u"\\Utility");
        auto requests = sim::processes().ShellRequests();
        ASSERT_EQ(requests.size(), 1u);
        const sim::ShellRequest& r = requests[0];
        EXPECT_EQ(r.file, kTool);
        EXPECT_EQ(r.directory, kMedia + u"\\Utility\\");
        EXPECT_EQ(r.verb, u"");
        EXPECT_EQ(r.parameters, u"");
        EXPECT_EQ(r.showCommand, SW_SHOWNORMAL);
        if (c.wait) // an unwaited child may run after the owner has gone
        {
            EXPECT_TRUE(g_hiddenWhileRunning.load());
            EXPECT_TRUE(g_disabledWhileRunning.load());
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ExecuteAndWaitTable,
                         ::testing::Values(LaunchCase{"NoPath", false, true, true, 0, 3, false},
                                           LaunchCase{"MissingFile", true, false, true, 0, 2, false},
                                           LaunchCase{"ChildExitCode", true, true, true, 0, 1603, true},
                                           LaunchCase{"NotWaiting", true, true, false, 0, 0, true},
                                           LaunchCase{"ElevationDeclined", true, true, true, ERROR_CANCELLED,
                                                      ERROR_CANCELLED, false}));

TEST_F(Execute, AWaitedLaunchAnswersMessagesTheChildSends)
{
    sim::files().Put(kTool);
    sim::processes().RegisterStandIn(u"Tool.exe", [](const sim::StartedProcess&) -> DWORD {
        SendMessageW(g_owner, WM_APP, 0, 0); // a broadcast would reach the waiting menu the same way
        return 7;
    });
    EXPECT_EQ(OnUiThread([](HWND owner) { return launch::ExecuteAndWait(owner, kTool.c_str(), true); }), 7u);
    EXPECT_EQ(g_pinged.load(), 1u);
}

TEST(WorkingDirectory, KeepsTheTrailingBackslashAndCutsAt259)
{
    EXPECT_EQ(launch::WorkingDirectoryOf(u"C:\\Media\\Driver\\KGSetup.exe"), u"C:\\Media\\Driver\\");
    EXPECT_EQ(launch::WorkingDirectoryOf(u"KGSetup.exe"), u"");
    WString longPath = u"C:\\" + WString(250, u'd') + u"\\" + WString(20, u'f') + u".exe";
    EXPECT_EQ(launch::WorkingDirectoryOf(longPath.c_str()), u"C:\\" + WString(250, u'd') + u"\\");
}

struct ManualCase
{
    const char* name;
    WORD version;
    bool associated;
    bool manualExists;
    int answer; // 0: no question expected
    std::vector<WString> opened;
    bool notFoundBox;

    friend void PrintTo(const ManualCase& c, std::ostream* os) { *os << c.name; }
};

class ManualTable : public Execute, public ::testing::WithParamInterface<ManualCase>
{
};

TEST_P(ManualTable, OpensTheManualOrItsFolderOrSaysItIsMissing)
{
    const ManualCase& c = GetParam();
    if (c.manualExists)
        sim::files().Put(kManual);
    if (c.associated)
    {
        auto text = [](std::u16string_view s) {
            return std::vector<BYTE>(reinterpret_cast<const BYTE*>(s.data()),
                                     reinterpret_cast<const BYTE*>(s.data() + s.size() + 1));
        };
        sim::registry().SetValue(HKEY_CLASSES_ROOT, u".pdf", u"", REG_SZ, text(u"Reader.Document"));
        sim::registry().SetValue(HKEY_CLASSES_ROOT, u"Reader.Document\\shell\\open\\command", u"", REG_SZ,
                                 text(u"\"C:\\Reader\\Reader.exe\" \"%1\""));
    }
    auto& d = sim::desktop();
    OnUiThread(
        [&](HWND owner) {
            launch::CMultilingualStringTable strings;
            launch::CExecuteProcess launcher(c.version, 1, 0x40, 0x409, 0x409);
            launch::OpenManual(owner, launcher, strings, 9, strings.ModuleFolder(),
                               u"..\\Manual\\English\\PrinterDriver.pdf");
            return 0;
        },
        [&] {
            if (!c.answer && !c.notFoundBox)
                return;
            auto box = d.MessageBox();
            ASSERT_TRUE(box.has_value());
            if (c.notFoundBox)
            {
                EXPECT_EQ(box->text, u"Sorry, we couldn't find the file specified.");
                EXPECT_EQ(box->caption, kOwnerCaption);
                EXPECT_EQ(box->type, static_cast<UINT>(MB_ICONWARNING));
                d.AnswerMessageBox(IDOK);
                return;
            }
            EXPECT_EQ(box->text,
                      u"PDF viewer not available.\r\nOpen the folder containing the instruction manual?");
            EXPECT_EQ(box->caption, u"Velmo KORIGRAPH series Setup Menu");
            EXPECT_EQ(box->type, static_cast<UINT>(MB_YESNO | MB_ICONINFORMATION));
            d.AnswerMessageBox(c.answer);
        });
    std::vector<WString> opened;
    for (const sim::ShellRequest& r : sim::processes().ShellRequests())
        opened.push_back(r.file);
    EXPECT_EQ(opened, c.opened);
    EXPECT_EQ(d.MessageBoxes().size(), (c.answer || c.notFoundBox) ? 1u : 0u);
    EXPECT_TRUE(sim::processes().Started().empty());
}

const WString kManualFolder = kMedia + u"\\Manual\\English\\";

INSTANTIATE_TEST_SUITE_P(
    Cases, ManualTable,
    ::testing::Values(
        ManualCase{"Windows8HandsItToTheShell", 0x0602, false, true, 0, {kManual}, false},
        ManualCase{"Windows7WithViewer", 0x0601, true, true, 0, {kManual}, false},
        ManualCase{
            "Windows7WithoutViewerYesOpensTheFolder", 0x0601, false, true, IDYES, {kManualFolder}, false},
        ManualCase{"Windows7WithoutViewerNoDoesNothing", 0x0601, false, true, IDNO, {}, false},
        ManualCase{"MissingManual", 0x0A00, true, false, 0, {}, true}));
} // namespace
