#include <gtest/gtest.h>

#include <platform/commctrl.h>
#include <platform/commdlg.h>
#include <platform/entry.h>
#include <platform/shellapi.h>
#include <sim/icons.h>
#include <sim/machine.h>

#include "desktop_test_ids.h"
#include "message_sequence.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>

namespace
{
HINSTANCE Self()
{
    return GetModuleHandleW(nullptr);
}

class Desktop : public ::testing::Test
{
protected:
    void SetUp() override
    {
        sim::desktop().RegisterResources(u"test.exe",
                                         std::filesystem::path(PLATFORM_TEST_RESOURCES) / "desktop_test.rc");
    }
};

// Failures of the scripted user collected instead of failing the test, for tests that expect them.
class CollectFailures
{
public:
    CollectFailures()
    {
        sim::desktop().SetFailureReporter([this](const std::string& m) { messages.push_back(m); });
    }
    ~CollectFailures()
    {
        sim::desktop().SetFailureReporter([](const std::string& m) { ADD_FAILURE() << m; });
    }
    std::vector<std::string> messages;
};

// A small form: the count box is bound to the up-down control the way the package's dialogs bind a
// page box (its change handler hands the value to the up-down control, which writes back the kept
// value), the menu opens a file into the name box, the name box takes dropped files.
struct Form
{
    int countChanges = 0;
    int sizeChanges = 0;
    WNDPROC nameProc = nullptr;
    std::vector<WString> log;
    std::vector<std::pair<UINT, int>> routed; // messages that reached the dialog, with the control's id
};
Form* g_form = nullptr;

LRESULT CALLBACK NameBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DROPFILES)
    {
        WCHAR path[MAX_PATH] = {};
        DragQueryFileW(reinterpret_cast<HDROP>(wParam), 0, path, MAX_PATH);
        DragFinish(reinterpret_cast<HDROP>(wParam));
        SetWindowTextW(box, path);
        return 0;
    }
    return CallWindowProcW(g_form->nameProc, box, message, wParam, lParam);
}

INT_PTR CALLBACK FormProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_CONTEXTMENU:
        g_form->routed.emplace_back(message, GetDlgCtrlID(reinterpret_cast<HWND>(wParam)));
        return TRUE;
    case WM_HELP:
        g_form->routed.emplace_back(message, reinterpret_cast<const HELPINFO*>(lParam)->iCtrlId);
        return TRUE;
    case WM_INITDIALOG:
        g_form->nameProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
            GetDlgItem(dialog, IDC_NAME), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(NameBoxProc)));
        SendDlgItemMessageW(dialog, IDC_SPIN, UDM_SETRANGE32, 1, 5);
        SendDlgItemMessageW(dialog, IDC_SPIN, UDM_SETPOS32, 0, 1);
        for (const WCHAR* s : {u"Medium", u"Large", u"Small"})
            SendDlgItemMessageW(dialog, IDC_SIZE, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
        SendDlgItemMessageW(dialog, IDC_SIZE, CB_SETCURSEL, 0, 0);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam))
        {
        case IDC_COUNT:
            if (HIWORD(wParam) == EN_CHANGE)
            {
                if (++g_form->countChanges > 50)
                    return TRUE; // a runaway chain: the test sees the count
                BOOL ok = FALSE;
                int value = static_cast<int>(GetDlgItemInt(dialog, IDC_COUNT, &ok, TRUE));
                if (ok)
                    SendDlgItemMessageW(dialog, IDC_SPIN, UDM_SETPOS32, 0, value);
            }
            return TRUE;
        case IDC_SIZE:
            if (HIWORD(wParam) == CBN_SELCHANGE)
                ++g_form->sizeChanges;
            return TRUE;
        case IDM_OPEN: {
            WCHAR path[MAX_PATH] = u"start.txt";
            OPENFILENAMEW ofn{};
            ofn.lStructSize = sizeof(ofn);
            ofn.hwndOwner = dialog;
            ofn.lpstrFilter = u"Text (*.txt)\0*.txt\0All Files (*.*)\0*.*\0";
            ofn.lpstrFile = path;
            ofn.nMaxFile = MAX_PATH;
            ofn.lpstrDefExt = u"txt";
            ofn.Flags = OFN_FILEMUSTEXIST | OFN_NOCHANGEDIR;
            if (GetOpenFileNameW(&ofn))
                SetDlgItemTextW(dialog, IDC_NAME, path);
            else
                g_form->log.push_back(u"cancelled");
            return TRUE;
        }
        case IDOK:
            if (MessageBoxW(dialog, u"Keep it?", u"Form", MB_YESNO | MB_ICONQUESTION) == IDYES)
                EndDialog(dialog, IDOK);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        default:
            return FALSE;
        }
    default:
        return FALSE;
    }
}

DWORD RunForm()
{
    return static_cast<DWORD>(DialogBoxParamW(Self(), MAKEINTRESOURCEW(IDD_FORM), nullptr, FormProc, 0));
}

TEST_F(Desktop, DialogTemplateGivesControlsWithTheirClassesAndStyles)
{
    Form form;
    g_form = &form;
    auto& d = sim::desktop();
    d.Run(RunForm, [&] {
        HWND dialog = d.TopWindow(u"Form");
        ASSERT_NE(dialog, nullptr);
        struct Expect
        {
            int id;
            const char16_t* className;
            DWORD set;
            DWORD clear;
        };
        for (const Expect& e :
             {Expect{IDC_NAME, u"Edit", WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 0},
              Expect{IDC_SPIN, u"msctls_updown32", UDS_SETBUDDYINT | UDS_AUTOBUDDY, WS_TABSTOP},
              Expect{IDC_RED, u"Button", BS_AUTORADIOBUTTON | WS_GROUP, 0},
              Expect{IDOK, u"Button", BS_DEFPUSHBUTTON | WS_TABSTOP, 0},
              Expect{IDCANCEL, u"Button", WS_VISIBLE, WS_TABSTOP},
              Expect{IDC_SIZE, u"ComboBox", CBS_DROPDOWNLIST | CBS_SORT | WS_VSCROLL, 0}})
        {
            HWND c = d.Control(dialog, e.id);
            ASSERT_NE(c, nullptr) << e.id;
            WCHAR cls[64] = {};
            GetClassNameW(c, cls, 64);
            EXPECT_EQ(WString(cls), e.className) << e.id;
            DWORD style = static_cast<DWORD>(GetWindowLongW(c, GWL_STYLE));
            EXPECT_EQ(style & e.set, e.set) << e.id;
            EXPECT_EQ(style & e.clear, 0u) << e.id;
        }
        EXPECT_TRUE(GetWindowLongW(d.Control(dialog, IDC_NAME), GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
        EXPECT_EQ(d.Text(d.FindControl(dialog, u"Static", u"&Name:")), u"&Name:");
        // The up-down control took the control before it as its buddy and shows its position there.
        EXPECT_EQ(SendMessageW(d.Control(dialog, IDC_SPIN), UDM_GETBUDDY, 0, 0),
                  reinterpret_cast<LRESULT>(d.Control(dialog, IDC_COUNT)));
        EXPECT_EQ(d.Text(d.Control(dialog, IDC_COUNT)), u"1");
        // The combo box sorted its items.
        EXPECT_EQ(d.Items(d.Control(dialog, IDC_SIZE)),
                  (std::vector<WString>{u"Large", u"Medium", u"Small"}));
        EXPECT_EQ(d.MenuBarText(dialog, 0), u"&File");
        EXPECT_EQ(d.MenuText(dialog, IDM_OPEN), u"&Open...");
        EXPECT_EQ(d.MenuState(dialog, IDM_EXIT).value_or(0) & MF_GRAYED, static_cast<UINT>(MF_GRAYED));
        d.Click(d.Control(dialog, IDCANCEL));
    });
}

TEST_F(Desktop, StringsFollowTheUserInterfaceLanguage)
{
    struct Case
    {
        LANGID language;
        UINT id;
        const char16_t* expected;
    };
    for (const Case& c :
         {Case{0x409, IDS_TITLE, u"Form"}, Case{0x411, IDS_TITLE, u"フォーム"},
          Case{0x809, IDS_TITLE, u"Form"}, Case{0x411, IDS_ENGLISH_ONLY, u"only in English"},
          Case{0x409, IDS_QUOTED, u"Say \"hi\"\tnow"}, Case{0x407, IDS_QUOTED, u"Say \"hi\"\tnow"}})
    {
        sim::desktop().SetUiLanguage(c.language);
        WCHAR text[64] = {};
        EXPECT_EQ(LoadStringW(Self(), c.id, text, 64),
                  static_cast<int>(std::char_traits<char16_t>::length(c.expected)));
        EXPECT_EQ(WString(text), c.expected) << std::hex << c.language << " " << std::dec << c.id;
    }
    // A buffer of size zero receives a pointer to the resource itself.
    LPCWSTR direct = nullptr;
    sim::desktop().SetUiLanguage(0x409);
    EXPECT_EQ(LoadStringW(Self(), IDS_TITLE, reinterpret_cast<LPWSTR>(&direct), 0), 4);
    EXPECT_EQ(WString(direct, 4), u"Form");
    // A short buffer is cut and terminated; a missing string reads as nothing.
    WCHAR shortBuffer[3] = {u'x', u'x', u'x'};
    EXPECT_EQ(LoadStringW(Self(), IDS_TITLE, shortBuffer, 3), 2);
    EXPECT_EQ(WString(shortBuffer), u"Fo");
    EXPECT_EQ(LoadStringW(Self(), 999, shortBuffer, 3), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}

TEST_F(Desktop, VersionRecordAndIconsComeFromTheScript)
{
    WCHAR self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    DWORD size = GetFileVersionInfoSizeW(self, nullptr);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(self, 0, size, block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), u"\\", reinterpret_cast<LPVOID*>(&fixed), &length));
    EXPECT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010002u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00011D01u); // 1, 7425
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
    LPWSTR text = nullptr;
    ASSERT_TRUE(VerQueryValueW(block.data(), u"\\StringFileInfo\\040904b0\\FileDescription",
                               reinterpret_cast<LPVOID*>(&text), &length));
    EXPECT_EQ(WString(text), u"Desktop test");
    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(block.data(), u"\\VarFileInfo\\Translation",
                               reinterpret_cast<LPVOID*>(&translation), &length));
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 0x409);
    EXPECT_EQ(translation[1], 1200);
    EXPECT_FALSE(VerQueryValueW(block.data(), u"\\StringFileInfo\\040904b0\\Missing",
                                reinterpret_cast<LPVOID*>(&text), &length));

    EXPECT_EQ(GetFileVersionInfoSizeW(u"C:\\Windows\\unknown.exe", nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    // An icon loaded without LR_SHARED is the caller's until destroyed, once.
    auto own = static_cast<HICON>(LoadImageW(Self(), MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, 16, 16, 0));
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(sim::LiveIcons(), 1u);
    EXPECT_TRUE(DestroyIcon(own));
    EXPECT_FALSE(DestroyIcon(own));
    EXPECT_EQ(sim::LiveIcons(), 0u);
    EXPECT_EQ(LoadImageW(Self(), MAKEINTRESOURCEW(108), IMAGE_ICON, 16, 16, 0), nullptr);

    // The system's shell32.dll carries the help icon, and only that one of ours.
    HMODULE shell = LoadLibraryExW(u"shell32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    ASSERT_NE(shell, nullptr);
    auto help = static_cast<HICON>(LoadImageW(shell, MAKEINTRESOURCEW(24), IMAGE_ICON, 0, 0, LR_SHARED));
    EXPECT_NE(help, nullptr);
    EXPECT_TRUE(DestroyIcon(help)) << "a shared icon is left alone";
    EXPECT_EQ(LoadImageW(shell, MAKEINTRESOURCEW(23), IMAGE_ICON, 0, 0, LR_SHARED), nullptr);
    FreeLibrary(shell);
}

TEST_F(Desktop, UnreadableScriptIsReportedNotGuessed)
{
    auto bad = std::filesystem::path(sim::files().Sandbox()) / "bad.rc";
    std::ofstream(bad)
        << "#pragma code_page(65001)\n1 DIALOGEX 0, 0, 10, 10\nBEGIN\n  LTEXT \"x\", 1, 0, 0\n";
    sim::desktop().RegisterResources(u"bad.exe", bad);
    sim::processes().SetCallingProgram(u"C:\\Apps\\bad.exe", u"bad.exe");
    CollectFailures failures;
    WCHAR text[8] = {};
    EXPECT_EQ(LoadStringW(Self(), 1, text, 8), 0);
    EXPECT_EQ(DialogBoxParamW(Self(), MAKEINTRESOURCEW(1), nullptr, FormProc, 0), -1);
    ASSERT_EQ(failures.messages.size(), 1u); // reported once, where it was read
    EXPECT_NE(failures.messages[0].find("bad.rc:"), std::string::npos) << failures.messages[0];
}

TEST_F(Desktop, NotificationRulesOfEditUpDownButtonsAndLists)
{
    Form form;
    g_form = &form;
    auto& d = sim::desktop();
    DWORD result = d.Run(RunForm, [&] {
        HWND dialog = d.TopWindow(u"Form");
        ASSERT_NE(dialog, nullptr);
        HWND count = d.Control(dialog, IDC_COUNT);
        HWND spin = d.Control(dialog, IDC_SPIN);

        // The position set in WM_INITDIALOG reached the box through EN_CHANGE; the up-down control
        // then left the box alone, so the chain ended.
        int before = form.countChanges;
        struct Case
        {
            const char16_t* typed;
            const char16_t* shown;
        };
        for (const Case& c : {Case{u"0", u"1"}, Case{u"9", u"5"}, Case{u"3", u"3"}, Case{u"12", u"5"}})
        {
            ASSERT_TRUE(d.Type(count, c.typed));
            EXPECT_EQ(d.Text(count), c.shown);
            EXPECT_EQ(d.Position(spin), std::stoi(std::string(c.shown, c.shown + 1)));
        }
        EXPECT_LT(form.countChanges - before, 20) << "the change chain must end";
        // Code setting the text notifies too.
        int changes = form.countChanges;
        SetWindowTextW(count, u"4");
        EXPECT_EQ(form.countChanges, changes + 1);
        // Letters do not enter a number box; the arrow buttons stop at the ends.
        d.Type(count, u"x");
        EXPECT_EQ(d.Text(count), u"4");
        d.StepUpDown(spin, 1);
        d.StepUpDown(spin, 1);
        EXPECT_EQ(d.Text(count), u"5");
        d.PressKey(count, VK_DOWN);
        EXPECT_EQ(d.Text(count), u"4");

        // An auto check box toggles; auto radio buttons clear the others of their group.
        HWND loud = d.Control(dialog, IDC_LOUD);
        d.Click(loud);
        EXPECT_EQ(d.CheckState(loud), BST_CHECKED);
        d.Click(loud);
        EXPECT_EQ(d.CheckState(loud), BST_UNCHECKED);
        d.Click(d.Control(dialog, IDC_RED));
        d.Click(d.Control(dialog, IDC_GREEN));
        EXPECT_EQ(d.CheckState(d.Control(dialog, IDC_RED)), BST_UNCHECKED);
        EXPECT_EQ(d.CheckState(d.Control(dialog, IDC_GREEN)), BST_CHECKED);

        // A user's pick notifies; the program's own selection did not.
        HWND size = d.Control(dialog, IDC_SIZE);
        EXPECT_EQ(form.sizeChanges, 0);
        d.PickText(size, u"Small");
        EXPECT_EQ(form.sizeChanges, 1);
        EXPECT_EQ(d.Selection(size), 2);
        EXPECT_EQ(d.Text(size), u"Small");

        // Right-clicks and help requests on a control reach the dialog.
        d.RightClick(d.Control(dialog, IDC_LOUD));
        d.AskHelp(count);
        EXPECT_EQ(form.routed,
                  (std::vector<std::pair<UINT, int>>{{WM_CONTEXTMENU, IDC_LOUD}, {WM_HELP, IDC_COUNT}}));

        d.PressKey(count, VK_ESCAPE);
    });
    EXPECT_EQ(result, static_cast<DWORD>(IDCANCEL));
}

TEST_F(Desktop, MenusDialogsMessageBoxesAndDropsAnsweredByTheScript)
{
    Form form;
    g_form = &form;
    auto& d = sim::desktop();
    sim::files().Put(u"C:\\Data\\notes.txt", "x");
    DWORD result = d.Run(RunForm, [&] {
        HWND dialog = d.TopWindow(u"Form");
        HWND name = d.Control(dialog, IDC_NAME);
        {
            CollectFailures failures;
            EXPECT_FALSE(d.SelectMenu(dialog, IDM_EXIT)); // greyed
            EXPECT_EQ(failures.messages.size(), 1u);
        }
        ASSERT_TRUE(d.SelectMenu(dialog, IDM_OPEN));
        auto shown = d.FileDialog();
        ASSERT_TRUE(shown.has_value());
        EXPECT_EQ(shown->kind, sim::FileDialogKind::Open);
        EXPECT_EQ(shown->fileName, u"start.txt");
        ASSERT_EQ(shown->filters.size(), 2u);
        EXPECT_EQ(shown->filters[1], (std::pair<WString, WString>{u"All Files (*.*)", u"*.*"}));
        // While the dialog is up, the form cannot be used.
        EXPECT_FALSE(d.IsEnabled(name));
        d.AnswerFileDialog(u"C:\\Data\\notes");
        EXPECT_EQ(d.Text(name), u"C:\\Data\\notes.txt"); // the default extension was added
        EXPECT_TRUE(d.IsEnabled(name));

        d.SelectMenu(dialog, IDM_OPEN);
        d.CancelFileDialog();
        EXPECT_EQ(form.log, std::vector<WString>{u"cancelled"});

        ASSERT_TRUE(d.DropFiles(name, {u"C:\\Data\\dropped.kgl", u"C:\\Data\\second.kgl"}));
        EXPECT_EQ(d.Text(name), u"C:\\Data\\dropped.kgl");

        d.PressKey(name, VK_RETURN); // the default button
        auto box = d.MessageBox();
        ASSERT_TRUE(box.has_value());
        EXPECT_EQ(box->text, u"Keep it?");
        EXPECT_EQ(box->type & MB_TYPEMASK, static_cast<UINT>(MB_YESNO));
        d.AnswerMessageBox(IDNO);
        EXPECT_TRUE(d.IsVisible(dialog));
        d.Click(d.Control(dialog, IDOK));
        d.AnswerMessageBox(IDYES);
    });
    EXPECT_EQ(result, static_cast<DWORD>(IDOK));
}

// A window whose thread answers WM_APP with the machine's time when it handled it.
LRESULT CALLBACK ClockWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_APP)
        return static_cast<LRESULT>(GetTickCount());
    if (message == WM_TIMER)
    {
        KillTimer(window, wParam);
        PostQuitMessage(static_cast<int>(GetTickCount()));
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

std::atomic<HWND> g_clockWindow{nullptr};
std::atomic<DWORD> g_sentAt{0};
std::atomic<LRESULT> g_handledAt{0};

// Runs while the clock window's thread sleeps: its send can only be answered once that thread pumps.
int WINAPI SenderMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    HWND window = FindWindowW(u"ClockWindow", nullptr);
    g_sentAt = GetTickCount();
    g_handledAt = SendMessageW(window, WM_APP, 0, 0);
    PostMessageW(window, WM_QUIT, 0, 0);
    return 0;
}

DWORD ClockThread(DWORD sleepFirst, UINT timer, bool startSender)
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = ClockWindowProc;
    wc.lpszClassName = u"ClockWindow";
    RegisterClassExW(&wc);
    HWND window = CreateWindowExW(0, u"ClockWindow", u"clock", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, nullptr,
                                  nullptr, Self(), nullptr);
    g_clockWindow = window;
    if (timer)
        SetTimer(window, 1, timer, nullptr);
    if (startSender)
        WinExec("C:\\Apps\\DesktopSender.exe", SW_HIDE);
    Sleep(sleepFirst); // busy: not pumping
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0))
        DispatchMessageW(&msg);
    return static_cast<DWORD>(msg.wParam);
}

TEST_F(Desktop, MessageSentToAnotherThreadWaitsUntilThatThreadPumps)
{
    sim::files().Put(u"C:\\Apps\\DesktopSender.exe");
    sim::desktop().Run([] { return ClockThread(1000, 0, true); }, nullptr);
    EXPECT_EQ(g_sentAt.load(), 0u);
    EXPECT_EQ(g_handledAt.load(), 1000) << "answered when the receiver pumped, after its sleep";
}

TEST_F(Desktop, ClockJumpsToTheNextTimerWhenEveryThreadWaits)
{
    // Nobody acts: the machine moves its clock to the timer, which ends the program.
    DWORD quitAt = sim::desktop().Run([] { return ClockThread(0, 5000, false); }, nullptr);
    EXPECT_EQ(quitAt, 5000u);
    EXPECT_EQ(sim::virtualClock().Now(), 5000u);
}

TEST_F(Desktop, ProgramWaitingForInputNoScriptGivesFailsInsteadOfHanging)
{
    Form form;
    g_form = &form;
    CollectFailures failures;
    DWORD result = sim::desktop().Run(RunForm, [] {});
    EXPECT_EQ(result, 0xE06D7363u); // stopped
    ASSERT_EQ(failures.messages.size(), 1u);
    EXPECT_NE(failures.messages[0].find("window \"Form\""), std::string::npos) << failures.messages[0];
}

// A message box that closes itself when its time runs out, the way a timed notice does: a timer
// procedure quits the box's modal loop.
void CALLBACK TimeOut(HWND, UINT, UINT_PTR, DWORD)
{
    PostQuitMessage(0);
}

DWORD TimedBox()
{
    UINT_PTR timer = SetTimer(nullptr, 0, 5000, TimeOut);
    int answer = MessageBoxW(nullptr, u"Closing soon", u"Notice", MB_OK);
    KillTimer(nullptr, timer);
    MSG quit;
    bool timedOut = PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
    return timedOut ? IDTIMEOUT : static_cast<DWORD>(answer);
}

TEST_F(Desktop, TimersRunOnTheMachineClockWhileTheScriptWaits)
{
    auto& d = sim::desktop();
    DWORD result = d.Run(TimedBox, [&] {
        ASSERT_TRUE(d.MessageBox().has_value());
        d.Advance(4999);
        EXPECT_TRUE(d.MessageBox().has_value()) << "the script's time does not pass by itself";
        d.Advance(1);
        EXPECT_FALSE(d.MessageBox().has_value());
    });
    EXPECT_EQ(result, static_cast<DWORD>(IDTIMEOUT));
    EXPECT_EQ(sim::virtualClock().Now(), 5000u);

    // Answered in time, the same program gets the answer.
    EXPECT_EQ(d.Run(TimedBox, [&] { d.AnswerMessageBox(IDOK); }), static_cast<DWORD>(IDOK));
}

// A window holding a list view, a tab control, a track bar and a progress bar; it notes what they
// report and vetoes leaving the second tab.
std::vector<std::string> g_notes;
std::atomic<HWND> g_panel{nullptr};

LRESULT CALLBACK PanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NOTIFY)
    {
        const NMHDR* h = reinterpret_cast<const NMHDR*>(lParam);
        if (h->code == LVN_ITEMCHANGED)
        {
            const NMLISTVIEW* nm = reinterpret_cast<const NMLISTVIEW*>(lParam);
            g_notes.push_back("item " + std::to_string(nm->iItem) + " " + std::to_string(nm->uOldState) +
                              "->" + std::to_string(nm->uNewState));
        }
        else if (h->code == TCN_SELCHANGING)
        {
            bool veto = SendMessageW(h->hwndFrom, TCM_GETCURSEL, 0, 0) == 1;
            g_notes.push_back(veto ? "tab vetoed" : "tab leaving");
            return veto;
        }
        else if (h->code == TCN_SELCHANGE)
            g_notes.push_back("tab " + std::to_string(SendMessageW(h->hwndFrom, TCM_GETCURSEL, 0, 0)));
        return 0;
    }
    if (message == WM_HSCROLL && LOWORD(wParam) == TB_THUMBPOSITION)
    {
        g_notes.push_back("track " + std::to_string(HIWORD(wParam)));
        return 0;
    }
    if (message == WM_CLOSE)
    {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

DWORD Panel()
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = PanelProc;
    wc.lpszClassName = u"Panel";
    RegisterClassExW(&wc);
    InitCommonControls();
    HWND panel = CreateWindowExW(0, u"Panel", u"Panel", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200,
                                 nullptr, nullptr, Self(), nullptr);
    auto child = [&](const WCHAR* cls, DWORD style, int id) {
        return CreateWindowExW(0, cls, u"", WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, panel,
                               reinterpret_cast<HMENU>(static_cast<LONG_PTR>(id)), Self(), nullptr);
    };
    HWND list = child(WC_LISTVIEWW, LVS_REPORT | LVS_SINGLESEL, 1);
    HWND tabs = child(WC_TABCONTROLW, 0, 2);
    HWND track = child(TRACKBAR_CLASSW, 0, 3);
    HWND progress = child(PROGRESS_CLASSW, 0, 4);
    for (const WCHAR* name : {u"alpha", u"beta", u"gamma"})
    {
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = 99; // appended
        item.pszText = const_cast<LPWSTR>(name);
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        TCITEMW tab{};
        tab.mask = TCIF_TEXT;
        tab.pszText = const_cast<LPWSTR>(name);
        SendMessageW(tabs, TCM_INSERTITEMW, 9, reinterpret_cast<LPARAM>(&tab));
    }
    SendMessageW(track, TBM_SETRANGE, TRUE, MAKELPARAM(0, 10));
    SendMessageW(progress, PBM_SETRANGE32, 0, 100);
    SendMessageW(progress, PBM_SETSTEP, 40, 0);
    for (int i = 0; i < 3; ++i)
        SendMessageW(progress, PBM_STEPIT, 0, 0); // 40, 80, then past the end: starts over
    g_panel = panel;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0))
        DispatchMessageW(&msg);
    return 0;
}

TEST_F(Desktop, CommonControlsReportWhatTheUserChanges)
{
    g_notes.clear();
    auto& d = sim::desktop();
    d.Run(Panel, [&] {
        HWND panel = d.TopWindow(u"Panel");
        ASSERT_NE(panel, nullptr);
        HWND list = d.Control(panel, 1), tabs = d.Control(panel, 2), track = d.Control(panel, 3);
        EXPECT_EQ(d.Position(d.Control(panel, 4)), 20);

        d.Pick(list, 1);
        d.Pick(list, 2); // single selection: the first one is left
        EXPECT_EQ(d.Selection(list), 2);
        EXPECT_EQ(d.Items(list), (std::vector<WString>{u"alpha", u"beta", u"gamma"}));

        d.Pick(tabs, 1);
        d.Pick(tabs, 2); // vetoed by the window
        EXPECT_EQ(d.Selection(tabs), 1);

        d.SetTrackPosition(track, 25); // kept within 0..10
        EXPECT_EQ(d.Position(track), 10);
        d.Close(panel);
    });
    const std::vector<std::string> expected = {
        "item 1 0->3", "item 1 3->1", "item 1 1->0", "item 2 0->3", // deselected, unfocused, then the new one
        "tab leaving", "tab 1",       "tab vetoed",  "track 10"};
    EXPECT_EQ(g_notes, expected);
}

TEST_F(Desktop, CommandLinesSplitAsTheShellDoes)
{
    struct Case
    {
        const char16_t* line;
        std::vector<WString> args;
    };
    const Case cases[] = {
        {u"\"C:\\Program Files\\KGL2BMP.exe\" C:\\a\\job.kgl",
         {u"C:\\Program Files\\KGL2BMP.exe", u"C:\\a\\job.kgl"}},
        {u"prog \"C:\\My Files\\job.kgl\"  second", {u"prog", u"C:\\My Files\\job.kgl", u"second"}},
        {u"C:\\dir\\prog.exe a\\\\\\\"b c\\\\\"d e\"", {u"C:\\dir\\prog.exe", u"a\\\"b", u"c\\d e"}},
        {u"prog \"say \"\"hi\"\"\" C:\\trail\\", {u"prog", u"say \"hi\"", u"C:\\trail\\"}},
        {u"prog   ", {u"prog"}},
    };
    for (const Case& c : cases)
    {
        int count = 0;
        LPWSTR* argv = CommandLineToArgvW(c.line, &count);
        ASSERT_NE(argv, nullptr);
        std::vector<WString> got(argv, argv + count);
        EXPECT_EQ(got, c.args);
        LocalFree(argv);
    }
}

TEST_F(Desktop, FolderBrowserAnsweredByTheScript)
{
    auto& d = sim::desktop();
    WString chosen, display;
    d.Run(
        [&] {
            WCHAR name[MAX_PATH] = {};
            BROWSEINFOW info{};
            info.lpszTitle = u"Pick a folder";
            info.pszDisplayName = name;
            info.ulFlags = BIF_RETURNONLYFSDIRS;
            PIDLIST_ABSOLUTE list = SHBrowseForFolderW(&info);
            if (!list)
                return DWORD{0};
            WCHAR path[MAX_PATH] = {};
            SHGetPathFromIDListW(list, path);
            CoTaskMemFree(list);
            chosen = path;
            display = name;
            return DWORD{1};
        },
        [&] {
            auto shown = d.FileDialog();
            ASSERT_TRUE(shown.has_value());
            EXPECT_EQ(shown->kind, sim::FileDialogKind::Folder);
            EXPECT_EQ(shown->title, u"Pick a folder");
            d.AnswerFileDialog(u"C:\\Output\\Scans");
        });
    EXPECT_EQ(chosen, u"C:\\Output\\Scans");
    EXPECT_EQ(display, u"Scans");
}

// A three-page wizard: the options page refuses Next until its box is checked and then jumps to
// the last page by its template id; every page names itself in the header when it becomes active.
std::vector<std::string> g_wizard;
std::vector<sequence::Message> g_wizardMessages;

INT_PTR CALLBACK WizardPageProc(HWND page, UINT message, WPARAM, LPARAM lParam)
{
    if (message == WM_INITDIALOG)
    {
        int number = static_cast<int>(reinterpret_cast<const PROPSHEETPAGEW*>(lParam)->lParam);
        SetWindowLongPtrW(page, GWLP_USERDATA, number);
        g_wizard.push_back("init " + std::to_string(number));
        g_wizardMessages.push_back({number, WM_INITDIALOG, 0});
        return TRUE;
    }
    if (message != WM_NOTIFY)
        return FALSE;
    int number = static_cast<int>(GetWindowLongPtrW(page, GWLP_USERDATA));
    HWND sheet = GetParent(page);
    LRESULT result = 0;
    g_wizardMessages.push_back({number, WM_NOTIFY, reinterpret_cast<const NMHDR*>(lParam)->code});
    switch (reinterpret_cast<const NMHDR*>(lParam)->code)
    {
    case PSN_SETACTIVE: {
        g_wizard.push_back("active " + std::to_string(number));
        PropSheet_SetWizButtons(sheet, number == 1   ? PSWIZB_NEXT
                                       : number == 2 ? PSWIZB_BACK | PSWIZB_NEXT
                                                     : PSWIZB_BACK | PSWIZB_FINISH);
        WString title = u"Step " + WString(1, static_cast<WCHAR>(u'0' + number));
        PropSheet_SetHeaderTitle(sheet, PropSheet_HwndToIndex(sheet, page), title.c_str());
        break;
    }
    case PSN_WIZNEXT:
        if (number == 2)
        {
            bool agreed = IsDlgButtonChecked(page, IDC_AGREE) == BST_CHECKED;
            if (!agreed)
                g_wizard.push_back("refused");
            result = agreed ? IDD_PAGE_DONE : -1;
        }
        break;
    case PSN_WIZFINISH:
        g_wizard.push_back("finish");
        break;
    default:
        return FALSE;
    }
    SetWindowLongPtrW(page, DWLP_MSGRESULT, result);
    return TRUE;
}

DWORD RunWizard()
{
    PROPSHEETPAGEW pages[3] = {};
    const int ids[] = {IDD_PAGE_WELCOME, IDD_PAGE_OPTIONS, IDD_PAGE_DONE};
    HPROPSHEETPAGE handles[3] = {};
    for (int i = 0; i < 3; ++i)
    {
        pages[i].dwSize = sizeof(PROPSHEETPAGEW);
        pages[i].dwFlags = PSP_USEHEADERTITLE;
        pages[i].hInstance = Self();
        pages[i].pszTemplate = MAKEINTRESOURCEW(ids[i]);
        pages[i].pfnDlgProc = WizardPageProc;
        pages[i].lParam = i + 1;
        pages[i].pszHeaderTitle = u"";
        handles[i] = CreatePropertySheetPageW(&pages[i]);
    }
    PROPSHEETHEADERW header{};
    header.dwSize = sizeof(header);
    header.dwFlags = PSH_WIZARD97 | PSH_HEADER;
    header.hInstance = Self();
    header.pszCaption = u"Setup";
    header.nPages = 3;
    header.phpage = handles;
    return static_cast<DWORD>(PropertySheetW(&header));
}

TEST_F(Desktop, WizardNavigatesAsItsPagesAnswer)
{
    g_wizard.clear();
    g_wizardMessages.clear();
    auto& d = sim::desktop();
    constexpr int kBack = 0x3023, kNext = 0x3024, kFinish = 0x3025;
    DWORD result = d.Run(RunWizard, [&] {
        HWND sheet = d.TopWindow(u"Setup");
        ASSERT_NE(sheet, nullptr);
        HWND title = d.Control(sheet, sim::kSheetHeaderTitle);
        EXPECT_EQ(d.Text(title), u"Step 1");
        EXPECT_FALSE(d.IsEnabled(d.Control(sheet, kBack)));
        d.Click(d.Control(sheet, kNext));
        EXPECT_EQ(d.Text(title), u"Step 2");
        d.Click(d.Control(sheet, kNext)); // refused: the box is not checked
        EXPECT_EQ(d.Text(title), u"Step 2");
        d.SetCheck(d.Control(sheet, IDC_AGREE), true);
        d.Click(d.Control(sheet, kNext));
        EXPECT_EQ(d.Text(title), u"Step 3");
        EXPECT_FALSE(d.IsVisible(d.Control(sheet, kNext)));
        d.Click(d.Control(sheet, kBack));
        EXPECT_EQ(d.Text(title), u"Step 2");
        EXPECT_EQ(d.CheckState(d.Control(sheet, IDC_AGREE)), BST_CHECKED) << "a page keeps its state";
        d.Click(d.Control(sheet, kNext));
        d.Click(d.Control(sheet, kFinish));
    });
    EXPECT_EQ(result, 1u);
    const std::vector<std::string> expected = {"init 1", "active 1", "init 2",   "active 2", "refused",
                                               "init 3", "active 3", "active 2", "active 3", "finish"};
    EXPECT_EQ(g_wizard, expected);

    // The notifications in Windows' order; a page left may or may not hear that it is left.
    auto init = [](int page) { return sequence::Expected{{page, WM_INITDIALOG, 0}}; };
    auto note = [](int page, UINT code) { return sequence::Expected{{page, WM_NOTIFY, code}}; };
    auto left = [](int page) { return sequence::Expected{{page, WM_NOTIFY, PSN_KILLACTIVE}, true}; };
    EXPECT_TRUE(sequence::Matches(g_wizardMessages,
                                  {init(1), note(1, PSN_SETACTIVE), note(1, PSN_WIZNEXT), left(1), init(2),
                                   note(2, PSN_SETACTIVE), note(2, PSN_WIZNEXT), note(2, PSN_WIZNEXT),
                                   left(2), init(3), note(3, PSN_SETACTIVE), note(3, PSN_WIZBACK), left(3),
                                   note(2, PSN_SETACTIVE), note(2, PSN_WIZNEXT), left(2),
                                   note(3, PSN_SETACTIVE), note(3, PSN_WIZFINISH)}));
}

// A window the system cannot make: the dialog, sheet or box that needed it fails with the failing
// call's code, and its procedure never starts. Only a template whose control cannot be made at all is
// the program's own fault, reported as such.
INT_PTR CALLBACK CountingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG)
        ++*reinterpret_cast<int*>(lParam);
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL)
        EndDialog(dialog, IDCANCEL);
    return message == WM_INITDIALOG || message == WM_COMMAND;
}

TEST_F(Desktop, DialogOrBoxWhoseWindowCannotBeMadeFailsWithTheCode)
{
    constexpr DWORD kCode = ERROR_GEN_FAILURE;
    int started = 0;
    auto modal = [&](int id) {
        return [&started, id] {
            return DialogBoxParamW(Self(), MAKEINTRESOURCEW(id), nullptr, CountingProc,
                                   reinterpret_cast<LPARAM>(&started));
        };
    };
    struct Case
    {
        const char* what;
        int skip; // windows made before the failing one
        std::function<INT_PTR()> call;
        INT_PTR result;
    };
    const Case cases[] = {
        {"a modal dialog's frame", 0, modal(IDD_FORM), -1},
        {"a modal dialog's edit box", 2, modal(IDD_FORM), -1},
        {"a modal dialog's last button", 11, modal(IDD_FORM), -1},
        {"a modeless dialog's control", 1,
         [&] {
             return reinterpret_cast<INT_PTR>(CreateDialogParamW(Self(), MAKEINTRESOURCEW(IDD_FORM), nullptr,
                                                                 CountingProc,
                                                                 reinterpret_cast<LPARAM>(&started)));
         },
         0},
        {"a message box", 0,
         [] { return static_cast<INT_PTR>(MessageBoxW(nullptr, u"Go on?", u"Ask", MB_OK)); }, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        started = 0;
        INT_PTR result = 1;
        DWORD error = 0;
        sim::desktop().Run(
            [&] {
                sim::faults().FailNext("CreateWindowExW", kCode, 1, c.skip);
                SetLastError(ERROR_SUCCESS);
                result = c.call();
                error = GetLastError();
                return 0u;
            },
            [] {});
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(error, kCode);
        EXPECT_EQ(started, 0) << "the procedure of a dialog never made starts";
        EXPECT_TRUE(sim::faults().Pending().empty());
    }
    EXPECT_TRUE(sim::desktop().MessageBoxes().empty()) << "a box that cannot be made is not shown";
}

// A template that tolerates failing controls shows without the one the system could not make; a control
// of a class nobody registered is still the template's fault.
TEST_F(Desktop, DialogThatToleratesFailingControlsShowsWithoutThem)
{
    auto& d = sim::desktop();
    int started = 0;
    auto run = [&](int id) {
        return [&started, id] {
            return static_cast<DWORD>(DialogBoxParamW(Self(), MAKEINTRESOURCEW(id), nullptr, CountingProc,
                                                      reinterpret_cast<LPARAM>(&started)));
        };
    };
    sim::faults().FailNext("CreateWindowExW", ERROR_GEN_FAILURE, 1, 1);
    DWORD result = d.Run(run(IDD_TOLERANT), [&] {
        HWND dialog = d.TopWindow(u"Tolerant");
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(d.Control(dialog, IDC_NOTE), nullptr);
        d.Click(d.Control(dialog, IDCANCEL));
    });
    EXPECT_EQ(result, static_cast<DWORD>(IDCANCEL));
    EXPECT_EQ(started, 1);

    CollectFailures failures;
    started = 0;
    result = d.Run(run(IDD_BROKEN), [] {});
    EXPECT_EQ(result, static_cast<DWORD>(-1));
    EXPECT_EQ(started, 0);
    ASSERT_EQ(failures.messages.size(), 1u);
    EXPECT_NE(failures.messages[0].find("NoSuchClass"), std::string::npos) << failures.messages[0];
}

// A sheet whose frame, a button or its first page cannot be made fails with the code; a later page
// that cannot be made is not shown, and the sheet stays on the page it was on.
TEST_F(Desktop, SheetOrPageWhoseWindowCannotBeMadeIsNotShown)
{
    auto& d = sim::desktop();
    // Windows a wizard makes in order: its frame, the header title and subtitle, four buttons, then
    // the first page's frame and its text.
    for (int skip : {0, 4, 7, 8})
    {
        SCOPED_TRACE(skip);
        g_wizard.clear();
        DWORD error = 0;
        DWORD result = d.Run(
            [&] {
                sim::faults().FailNext("CreateWindowExW", ERROR_GEN_FAILURE, 1, skip);
                DWORD r = RunWizard();
                error = GetLastError();
                return r;
            },
            [] {});
        EXPECT_EQ(result, static_cast<DWORD>(-1));
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_GEN_FAILURE));
        EXPECT_EQ(g_wizard, std::vector<std::string>{});
    }

    g_wizard.clear();
    constexpr int kNext = 0x3024;
    DWORD result = d.Run(RunWizard, [&] {
        HWND sheet = d.TopWindow(u"Setup");
        ASSERT_NE(sheet, nullptr);
        HWND title = d.Control(sheet, sim::kSheetHeaderTitle);
        sim::faults().FailNext("CreateWindowExW", ERROR_GEN_FAILURE);
        d.Click(d.Control(sheet, kNext));
        EXPECT_EQ(d.Text(title), u"Step 1");
        EXPECT_TRUE(d.IsVisible(d.Control(sheet, kNext)));
        d.Click(d.Control(sheet, kNext)); // made this time
        EXPECT_EQ(d.Text(title), u"Step 2");
        d.Click(d.Control(sheet, IDCANCEL));
    });
    EXPECT_EQ(result, 0u);
    const std::vector<std::string> expected = {"init 1", "active 1", "init 2", "active 2"};
    EXPECT_EQ(g_wizard, expected);
}

TEST_F(Desktop, WindowFunctionsRefuseAHandleThatNamesNoWindow)
{
    // A window that had a child, a property and a timer before it went, and a handle never made.
    HWND destroyed = CreateWindowExW(0, u"STATIC", u"gone", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr,
                                     nullptr, Self(), nullptr);
    ASSERT_TRUE(destroyed);
    ASSERT_TRUE(
        CreateWindowExW(0, u"STATIC", u"", WS_CHILD, 0, 0, 10, 10, destroyed, nullptr, Self(), nullptr));
    ASSERT_TRUE(SetPropW(destroyed, u"Velmo", reinterpret_cast<HANDLE>(1)));
    ASSERT_TRUE(SetTimer(destroyed, 5, 100, nullptr));
    ASSERT_TRUE(DestroyWindow(destroyed));
    const HWND never = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x7FF0));

    RECT rect{};
    POINT point{};
    WCHAR text[16];
    MSG msg{};
    PAINTSTRUCT paint{};
    HWND window = nullptr;
    const std::pair<const char*, std::function<bool()>> calls[] = {
        {"IsWindowVisible", [&] { return IsWindowVisible(window) != FALSE; }},
        {"IsWindowEnabled", [&] { return IsWindowEnabled(window) != FALSE; }},
        {"GetPropW", [&] { return GetPropW(window, u"Velmo") != nullptr; }},
        {"SetPropW", [&] { return SetPropW(window, u"Velmo", nullptr) != FALSE; }},
        {"RemovePropW", [&] { return RemovePropW(window, u"Velmo") != nullptr; }},
        {"GetWindowRect", [&] { return GetWindowRect(window, &rect) != FALSE; }},
        {"GetClientRect", [&] { return GetClientRect(window, &rect) != FALSE; }},
        {"MoveWindow", [&] { return MoveWindow(window, 0, 0, 10, 10, TRUE) != FALSE; }},
        {"SetWindowPos", [&] { return SetWindowPos(window, nullptr, 0, 0, 10, 10, 0) != FALSE; }},
        {"ShowWindow", [&] { return ShowWindow(window, SW_SHOW) != FALSE; }},
        {"EnableWindow", [&] { return EnableWindow(window, FALSE) != FALSE; }},
        {"UpdateWindow", [&] { return UpdateWindow(window) != FALSE; }},
        {"InvalidateRect", [&] { return InvalidateRect(window, nullptr, TRUE) != FALSE; }},
        {"RedrawWindow", [&] { return RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE) != FALSE; }},
        {"BeginPaint", [&] { return BeginPaint(window, &paint) != nullptr; }},
        {"GetDC", [&] { return GetDC(window) != nullptr; }},
        {"ClientToScreen", [&] { return ClientToScreen(window, &point) != FALSE; }},
        {"SetWindowTextW", [&] { return SetWindowTextW(window, u"x") != FALSE; }},
        {"GetWindowTextW", [&] { return GetWindowTextW(window, text, 16) != 0; }},
        {"GetWindowTextLengthW", [&] { return GetWindowTextLengthW(window) != 0; }},
        {"GetClassNameW", [&] { return GetClassNameW(window, text, 16) != 0; }},
        {"GetWindowLongPtrW", [&] { return GetWindowLongPtrW(window, GWL_STYLE) != 0; }},
        {"SetWindowLongPtrW", [&] { return SetWindowLongPtrW(window, GWLP_USERDATA, 1) != 0; }},
        {"GetParent", [&] { return GetParent(window) != nullptr; }},
        {"GetWindow", [&] { return GetWindow(window, GW_OWNER) != nullptr; }},
        {"GetAncestor", [&] { return GetAncestor(window, GA_ROOT) != nullptr; }},
        {"GetLastActivePopup", [&] { return GetLastActivePopup(window) != nullptr; }},
        {"GetWindowThreadProcessId", [&] { return GetWindowThreadProcessId(window, nullptr) != 0; }},
        {"SetFocus", [&] { return SetFocus(window) != nullptr; }},
        {"SetForegroundWindow", [&] { return SetForegroundWindow(window) != FALSE; }},
        {"SetActiveWindow", [&] { return SetActiveWindow(window) != nullptr; }},
        {"SetTimer", [&] { return SetTimer(window, 5, 100, nullptr) != 0; }},
        {"KillTimer", [&] { return KillTimer(window, 5) != FALSE; }},
        {"SendMessageW", [&] { return SendMessageW(window, WM_NULL, 0, 0) != 0; }},
        {"SendMessageTimeoutW",
         [&] { return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 100, nullptr) != 0; }},
        {"PostMessageW", [&] { return PostMessageW(window, WM_NULL, 0, 0) != FALSE; }},
        {"GetMessageW", [&] { return GetMessageW(&msg, window, 0, 0) != -1; }},
        {"PeekMessageW", [&] { return PeekMessageW(&msg, window, 0, 0, PM_REMOVE) != FALSE; }},
        {"GetDlgItem", [&] { return GetDlgItem(window, 1) != nullptr; }},
        {"GetDlgCtrlID", [&] { return GetDlgCtrlID(window) != 0; }},
        {"MapDialogRect", [&] { return MapDialogRect(window, &rect) != FALSE; }},
        {"EndDialog", [&] { return EndDialog(window, IDOK) != FALSE; }},
        {"GetMenu", [&] { return GetMenu(window) != nullptr; }},
        {"SetMenu", [&] { return SetMenu(window, nullptr) != FALSE; }},
        {"GetSystemMenu", [&] { return GetSystemMenu(window, FALSE) != nullptr; }},
        {"DestroyWindow", [&] { return DestroyWindow(window) != FALSE; }},
    };
    for (HWND bad : {destroyed, never})
    {
        window = bad;
        for (const auto& [name, call] : calls)
        {
            SetLastError(ERROR_SUCCESS);
            EXPECT_FALSE(call()) << name << " of " << (bad == destroyed ? "a destroyed window" : "no window");
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE))
                << name << " of " << (bad == destroyed ? "a destroyed window" : "no window");
        }
        // Asking whether a handle names a window is no failure: the caller's error stays.
        SetLastError(ERROR_FILE_NOT_FOUND);
        EXPECT_FALSE(IsWindow(bad));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    }
}

TEST_F(Desktop, PropertySheetPageOfAnEarlierMachineIsUnknownAfterReset)
{
    PROPSHEETPAGEW record{};
    record.dwSize = sizeof(record);
    record.hInstance = Self();
    record.pszTemplate = MAKEINTRESOURCEW(IDD_PAGE_WELCOME);
    record.pfnDlgProc = WizardPageProc;
    HPROPSHEETPAGE kept = CreatePropertySheetPageW(&record);
    ASSERT_NE(kept, nullptr);
    HPROPSHEETPAGE destroyed = CreatePropertySheetPageW(&record);
    EXPECT_TRUE(DestroyPropertySheetPage(destroyed));
    EXPECT_FALSE(DestroyPropertySheetPage(destroyed));
    sim::machine().Reset();
    EXPECT_FALSE(DestroyPropertySheetPage(kept));
}

TEST_F(Desktop, KeyStateIsWhatTheTestHolds)
{
    auto& d = sim::desktop();
    d.SetKeyDown(VK_LSHIFT, true);
    d.SetKeyDown(VK_CONTROL, true);
    EXPECT_LT(GetKeyState(VK_SHIFT), 0);
    EXPECT_LT(GetKeyState(VK_CONTROL), 0);
    d.SetKeyDown(VK_LSHIFT, false);
    EXPECT_EQ(GetKeyState(VK_SHIFT), 0);
}

int WINAPI AskerMain(HINSTANCE, HINSTANCE, LPWSTR commandLine, int)
{
    return MessageBoxW(nullptr, commandLine, u"Asker", MB_YESNO);
}

TEST_F(Desktop, ProgramStartedByItsPathEndsWithoutBeingTakenForStuck)
{
    // The program runs on a thread of its own while the thread that started it waits for it: its end
    // wakes that thread rather than leaving a machine where nothing can happen.
    auto& d = sim::desktop();
    DWORD result = d.Run(u"C:\\Apps\\DesktopAsker.exe", u"Go on?", [&] {
        auto box = d.MessageBox();
        ASSERT_TRUE(box.has_value());
        EXPECT_EQ(box->text, u"Go on?");
        d.AnswerMessageBox(IDNO);
    });
    EXPECT_EQ(result, static_cast<DWORD>(IDNO));
}
} // namespace

PLATFORM_WWINMAIN(u"DesktopSender.exe", SenderMain)
PLATFORM_WWINMAIN(u"DesktopAsker.exe", AskerMain)

namespace
{
TEST_F(Desktop, InputStatesJoinOnlyBetweenTwoLiveThreads)
{
    std::atomic<DWORD> uiThread{0};
    sim::desktop().Run(
        [&] {
            uiThread = GetCurrentThreadId();
            return static_cast<DWORD>(MessageBoxW(nullptr, u"waiting", u"UI", MB_OK));
        },
        [&] {
            ASSERT_TRUE(sim::desktop().MessageBox());
            DWORD self = GetCurrentThreadId();
            EXPECT_FALSE(AttachThreadInput(self, self, TRUE));
            EXPECT_FALSE(AttachThreadInput(self, 0x1234, TRUE));
            EXPECT_FALSE(AttachThreadInput(self, uiThread, FALSE)) << "never joined";
            EXPECT_TRUE(AttachThreadInput(self, uiThread, TRUE));
            EXPECT_TRUE(AttachThreadInput(self, uiThread, FALSE));
            EXPECT_FALSE(AttachThreadInput(self, uiThread, FALSE));
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
            sim::desktop().AnswerMessageBox(IDOK);
        });
    EXPECT_FALSE(AttachThreadInput(GetCurrentThreadId(), uiThread, TRUE)) << "the thread has ended";
}

TEST_F(Desktop, FileDialogOpenedWithAnImpossibleNameEndsAtOnce)
{
    WCHAR file[MAX_PATH] = u"a|b.txt";
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    EXPECT_FALSE(GetSaveFileNameW(&ofn));
    EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(FNERR_INVALIDFILENAME));
    sim::faults().FailNext("GetOpenFileNameW", FNERR_BUFFERTOOSMALL);
    EXPECT_FALSE(GetOpenFileNameW(&ofn));
    EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(FNERR_BUFFERTOOSMALL)) << "a dialog's own code";
    sim::faults().FailNext("GetOpenFileNameW", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_FALSE(GetOpenFileNameW(&ofn));
    EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(CDERR_DIALOGFAILURE));
}
} // namespace
