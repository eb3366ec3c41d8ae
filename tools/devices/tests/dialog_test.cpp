#include <gtest/gtest.h>

#include <sim/machine.h>

#include "about_dialog.h"
#include "card_resource.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace
{
constexpr UINT kTestDialog = 100;
constexpr WORD kEndWith17 = 42;

// The test's own module resources: a plain dialog for the framework and an about box whose version
// record carries `productVersion` (none when empty).
void RegisterTestResources(const std::string& productVersion)
{
    std::string rc = "#include <windows.h>\n"
                     "100 DIALOGEX 0, 0, 100, 40\nSTYLE WS_POPUP | WS_CAPTION\nCAPTION \"Test\"\nBEGIN\n"
                     "    LTEXT \"\", 1100, 4, 4, 90, 9\n    DEFPUSHBUTTON \"OK\", IDOK, 4, 20, 40, 14\nEND\n"
                     "103 DIALOGEX 0, 0, 220, 96\nSTYLE WS_POPUP | WS_CAPTION\nCAPTION \"About\"\nBEGIN\n";
    for (int id : {1101, 1105, 1102, 1103})
        rc += "    LTEXT \"\", " + std::to_string(id) + ", 4, 4, 90, 9\n";
    rc += "    EDITTEXT 1100, 4, 60, 90, 9, NOT WS_VISIBLE\n    DEFPUSHBUTTON \"OK\", IDOK, 4, 76, 40, "
          "14\nEND\n"
          "107 ICON \"" DEVICES_SOURCE_DIR "/res/tessicard.ico\"\n"
          "STRINGTABLE\nBEGIN\n    103 \"Tessicard Manager\"\n    517 \"About...\"\nEND\n";
    if (!productVersion.empty())
        rc += "1 VERSIONINFO\nFILEVERSION 1,0,0,0\nBEGIN\n BLOCK \"StringFileInfo\"\n BEGIN\n"
              "  BLOCK \"040004b0\"\n  BEGIN\n   VALUE \"ProductVersion\", \"" +
              productVersion + "\"\n   VALUE \"LegalCopyright\", \"(C) Test\"\n  END\n END\nEND\n";
    static int written = 0;
    auto file = sim::files().Sandbox() / ("test-resources-" + std::to_string(++written) + ".rc");
    std::ofstream(file) << rc;
    sim::desktop().RegisterResources(u"test.exe", file);
}

HINSTANCE Self()
{
    return GetModuleHandleW(nullptr);
}

struct Call
{
    const char* handler;
    UINT message = 0;
    WPARAM first = 0;
    LPARAM second = 0;
};

// Records every handler the framework calls and answers with fixed values.
template <unsigned Dispatch> class Recorder : public devices::BaseDialog<Recorder<Dispatch>>
{
    using Base = devices::BaseDialog<Recorder<Dispatch>>;

public:
    static constexpr unsigned kDialogDispatch = Dispatch;
    Recorder() : Base(kTestDialog, nullptr, Self()) {}

    INT_PTR OnInitDialog(HWND, WPARAM, LPARAM lParam) override
    {
        calls.push_back({"init", WM_INITDIALOG, 0, lParam});
        return TRUE;
    }
    INT_PTR OnCommand(HWND window, WORD id, HWND control, WORD code) override
    {
        calls.push_back({"command", id, code, reinterpret_cast<LPARAM>(control)});
        if (id == kEndWith17)
            EndDialog(window, 17);
        return 5; // never reaches the dialog manager
    }
    INT_PTR OnClose(HWND window) override
    {
        calls.push_back({"close"});
        return Base::OnClose(window);
    }
    INT_PTR OnNotify(HWND, int id, NMHDR*) override
    {
        calls.push_back({"notify", WM_NOTIFY, static_cast<WPARAM>(id)});
        return 7;
    }
    HBRUSH OnCtlColor(HWND, HDC, HWND, int kind) override
    {
        calls.push_back({"ctlcolor", 0, static_cast<WPARAM>(kind)});
        return reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(0x500 + kind));
    }
    INT_PTR OnSize(HWND, UINT type, int width, int height) override
    {
        calls.push_back({"size", type, static_cast<WPARAM>(width), height});
        return 1;
    }
    INT_PTR OnDpiChanged(HWND, WORD x, WORD, RECT*) override
    {
        calls.push_back({"dpi", WM_DPICHANGED, x});
        return 9;
    }
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        calls.push_back({"message", message, wParam, lParam});
        SetWindowLongPtrW(this->Window(), DWLP_MSGRESULT, 33);
        return TRUE;
    }
    std::vector<Call> calls;
};

struct DispatchCase
{
    const char* name;
    unsigned form;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT answer; // what SendMessageW returns through the dialog manager
    const char* handler;
};

template <unsigned Dispatch> void RunDispatch(const DispatchCase& c)
{
    Recorder<Dispatch> dialog;
    sim::desktop().Run([&] { return static_cast<DWORD>(dialog.Run()); },
                       [&] {
                           sim::desktop().WaitIdle(); // the dialog is up
                           HWND window = sim::desktop().TopWindow(u"Test");
                           ASSERT_TRUE(window);
                           dialog.calls.clear();
                           EXPECT_EQ(SendMessageW(window, c.message, c.wParam, c.lParam), c.answer) << c.name;
                           ASSERT_EQ(dialog.calls.size(), 1u) << c.name;
                           EXPECT_STREQ(dialog.calls[0].handler, c.handler) << c.name;
                           sim::desktop().Close(window);
                       });
}

TEST(BaseDialog, EachMessageGoesToItsHandlerWithItsAnswer)
{
    RegisterTestResources("1.0");
    NMHDR header{nullptr, 3, 0};
    const auto notify = reinterpret_cast<LPARAM>(&header);
    const LPARAM size = MAKELPARAM(static_cast<WORD>(-5), 20); // widths are signed
    const DispatchCase cases[] = {
        {"command answers 0 whatever the handler says", devices::kDispatchBasic, WM_COMMAND, MAKEWPARAM(1, 2),
         0, 0, "command"},
        {"the dialog's colour", devices::kDispatchBasic, WM_CTLCOLORDLG, 0, 0, 0x504, "ctlcolor"},
        {"a static's colour", devices::kDispatchBasic, WM_CTLCOLORSTATIC, 0, 0, 0x506, "ctlcolor"},
        {"the card tool's notices go to OnMessage", devices::kDispatchBasic, WM_NOTIFY, 3, notify, 33,
         "message"},
        {"the finder answers notices itself", devices::kDispatchNotify, WM_NOTIFY, 3, notify, 7, "notify"},
        {"sizes go to OnMessage without the menu form", devices::kDispatchBasic, WM_SIZE,
         0 /* SIZE_RESTORED */, size, 33, "message"},
        {"the menu answers sizes with 0", devices::kDispatchSizeAndDpi, WM_SIZE, 0 /* SIZE_RESTORED */, size,
         0, "size"},
        {"the menu keeps the DPI handler's value", devices::kDispatchSizeAndDpi, WM_DPICHANGED,
         MAKEWPARAM(144, 144), 0, 9, "dpi"},
        {"anything else", devices::kDispatchBasic, WM_TIMER, 1000, 0, 33, "message"},
    };
    for (const DispatchCase& c : cases)
    {
        if (c.form == devices::kDispatchBasic)
            RunDispatch<devices::kDispatchBasic>(c);
        else if (c.form == devices::kDispatchNotify)
            RunDispatch<devices::kDispatchNotify>(c);
        else
            RunDispatch<devices::kDispatchSizeAndDpi>(c);
    }
}

TEST(BaseDialog, BindsAtInitAndEndsWithTheDialogsResult)
{
    RegisterTestResources("1.0");
    using Dialog = Recorder<devices::kDispatchSizeAndDpi>;
    Dialog dialog;
    DWORD result = sim::desktop().Run([&] { return static_cast<DWORD>(dialog.Run()); },
                                      [&] {
                                          sim::desktop().WaitIdle(); // the dialog is up
                                          HWND window = sim::desktop().TopWindow(u"Test");
                                          ASSERT_TRUE(window);
                                          EXPECT_EQ(dialog.Window(), window);
                                          EXPECT_EQ(Dialog::FromWindow(window), &dialog);
                                          PostMessageW(window, WM_COMMAND, kEndWith17, 0);
                                      });
    EXPECT_EQ(result, 17u);
    EXPECT_EQ(dialog.Result(), 17);
    ASSERT_FALSE(dialog.calls.empty());
    EXPECT_STREQ(dialog.calls[0].handler, "init");
    EXPECT_EQ(dialog.calls[0].second,
              reinterpret_cast<LPARAM>(static_cast<devices::BaseDialog<Dialog>*>(&dialog)));

    // The close box: the default OnClose ends the run with 0.
    Dialog closed;
    result = sim::desktop().Run([&] { return static_cast<DWORD>(closed.Run()); },
                                [&] {
                                    sim::desktop().WaitIdle();
                                    sim::desktop().Close(sim::desktop().TopWindow(u"Test"));
                                });
    EXPECT_EQ(result, 0u);
    EXPECT_TRUE(std::any_of(closed.calls.begin(), closed.calls.end(),
                            [](const Call& c) { return std::string_view(c.handler) == "close"; }));
}

TEST(BaseDialog, MessagesBeforeInitGetFalseAndTouchNoObject)
{
    HWND window =
        CreateWindowExW(0, u"Static", u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, Self(), nullptr);
    ASSERT_TRUE(window);
    using Dialog = Recorder<devices::kDispatchBasic>;
    EXPECT_EQ(Dialog::StaticDialogProc(window, WM_SETFONT, 0, TRUE), FALSE);
    EXPECT_EQ(Dialog::StaticDialogProc(window, WM_COMMAND, IDOK, 0), FALSE);
    DestroyWindow(window);
}

TEST(AboutBox, CutsTheVersionOnlyWhileADotIsLeft)
{
    const std::pair<const char16_t*, const char16_t*> cases[] = {
        {u"1.0.1.10318", u"1.0"}, {u"1.0.1", u"1"}, {u"1.0", u"1"}, {u"1", u"1"}, {u"", u""}, {u"...", u"."},
    };
    for (const auto& [version, cut] : cases)
        EXPECT_EQ(tessicard::CutVersion(version, 2), cut) << std::string(version, version + 1);
}

struct AboutCase
{
    std::string productVersion;
    bool shiftAndCtrl;
    const char16_t* versionLine; // null: hidden
    bool buildShown;
};

TEST(AboutBox, ShowsTheVersionRecordAndTheBuildOnlyWithShiftAndCtrl)
{
    const AboutCase cases[] = {
        {"1.0.1.10318", false, u"Version 1.0", false},
        {"1.0.1.10318", true, u"Version 1.0.1.10318", true},
        {"1", false, u"Version 1", false},
        {"", false, nullptr, false},
        {"", true, nullptr, true},
    };
    auto& d = sim::desktop();
    for (const AboutCase& c : cases)
    {
        RegisterTestResources(c.productVersion);
        d.SetKeyDown(VK_SHIFT, c.shiftAndCtrl);
        d.SetKeyDown(VK_CONTROL, c.shiftAndCtrl);
        tessicard::CAboutDlg about(Self(), nullptr);
        DWORD result =
            d.Run([&] { return static_cast<DWORD>(about.Run()); },
                  [&] {
                      d.WaitIdle();
                      HWND box = d.TopWindow(u"About...");
                      ASSERT_TRUE(box) << c.productVersion;
                      EXPECT_EQ(d.Icon(box, true), u"#107");
                      EXPECT_EQ(d.Icon(box, false), u"#107");
                      EXPECT_EQ(d.Text(d.Control(box, IDC_ABOUT_PRODUCT)), u"Tessicard Manager");
                      HWND version = d.Control(box, IDC_ABOUT_VERSION);
                      EXPECT_EQ(d.IsVisible(version), c.versionLine != nullptr);
                      if (c.versionLine)
                      {
                          EXPECT_EQ(d.Text(version), c.versionLine);
                      }
                      HWND build = d.Control(box, IDC_ABOUT_BUILD);
                      EXPECT_EQ(d.IsVisible(build), c.buildShown);
                      if (c.buildShown)
                      {
                          EXPECT_TRUE(d.Text(build).starts_with(u"Build ") && d.Text(build).size() > 6);
                      }
                      EXPECT_EQ(d.Text(d.Control(box, IDC_ABOUT_RIGHTS)),
                                c.productVersion.empty() ? u"" : u"(C) Test");
                      d.Click(d.Control(box, IDOK));
                  });
        EXPECT_EQ(result, 0u);
    }
}

TEST(AboutBox, OnlyTheNoticeIsDrawnTransparentOnTheWindowBrush)
{
    RegisterTestResources("1.0");
    auto& d = sim::desktop();
    tessicard::CAboutDlg about(Self(), nullptr);
    d.Run([&] { return static_cast<DWORD>(about.Run()); },
          [&] {
              d.WaitIdle();
              HWND box = d.TopWindow(u"About...");
              ASSERT_TRUE(box);
              HDC dc = reinterpret_cast<HDC>(static_cast<INT_PTR>(0x7D0));
              LRESULT other = SendMessageW(box, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                           reinterpret_cast<LPARAM>(d.Control(box, IDC_ABOUT_PRODUCT)));
              EXPECT_EQ(other, 0);
              EXPECT_EQ(GetBkMode(dc), OPAQUE);
              LRESULT notice = SendMessageW(box, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                            reinterpret_cast<LPARAM>(GetDlgItem(box, IDC_ABOUT_NOTICE)));
              EXPECT_EQ(notice, reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW)));
              EXPECT_NE(notice, 0);
              EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
              LRESULT dialog = SendMessageW(box, WM_CTLCOLORDLG, reinterpret_cast<WPARAM>(dc),
                                            reinterpret_cast<LPARAM>(box));
              EXPECT_EQ(dialog, 0);
              d.Click(d.Control(box, IDOK));
          });
}

} // namespace
