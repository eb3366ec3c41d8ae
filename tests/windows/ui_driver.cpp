// Plays the user of a program running beside it: each argument is one step, "verb:argument|argument".
//   window:<title>[|<control id>]  wait for a shown top-level window of that title (holding that control)
//   box:<title>                    wait for a message box of that title, print its text; "*" takes any
//                                  title (a caption the system words in the user's language) and prints it
//   filedialog:<path>              wait for a file dialog, print its proposed name, answer with <path>
//                                  (the current window stays the one that opened it)
//   canceldialog                   wait for a file dialog and cancel it
//   settext:<id>|<text>            set a control's text, as typing it would
//   waittext:<id>|<text>           wait until a control shows that text
//   enabled:<id>|<0 or 1>          wait until a control is disabled (0) or enabled (1)
//   print:<id>                     print a control's text
//   page:<id>                      wait until the property sheet's current page holds that control
//   send:<id>|<message>|<wParam>|<lParam>  send a control a message that carries no pointer
//   items:<id>                     print a list box's items, joined by "|"
//   rows:<id>|<n>                  wait until a list view holds n rows
//   notify:<id>|<code>             send the window a control's notification (EN_KILLFOCUS is 512), as
//                                  the control would when the user leaves it
//   keys:<key>+<key>...            hold the keys in order, then let go in reverse (shift, ctrl, return)
//   press:<id>                     press a button of the current window
//   click:<id>                     press a button and wait until the window has handled it (for buttons
//                                  that open nothing modal)
//   close                          close the current window
//   gone                           wait until the current window is gone
//   hidden                         wait until the current window is hidden
// Every wait is bounded; a step that fails prints "FAIL ..." and ends the driver with 1.
#include "drive.h"

#include <commctrl.h>
#include <commdlg.h>
#include <dlgs.h>

#include <algorithm>

namespace
{
using drive::Fail;
using drive::Utf8;

constexpr DWORD kWait = 20000;
HWND g_window = nullptr;

WString TextOf(HWND window)
{
    WCHAR text[2048] = {};
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 30000,
                             &length))
        return {};
    return WString(text, static_cast<size_t>(length));
}

WString ClassOf(HWND window)
{
    WCHAR name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

struct Search
{
    WString title;
    int control;
    bool fileDialog;
    HWND found;
};

bool IsDialogClass(HWND window)
{
    return ClassOf(window) == WString(TEXT("#32770"));
}

// A common file dialog holds the file name box under one of its documented ids.
HWND FileNameBox(HWND dialog)
{
    for (int id : {cmb13, edt1})
        if (HWND box = GetDlgItem(dialog, id))
            return box;
    return nullptr;
}

bool HasEdit(HWND window)
{
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (ClassOf(child) == WString(TEXT("Edit")))
            return true;
    return false;
}

BOOL CALLBACK Match(HWND window, LPARAM context)
{
    auto* s = reinterpret_cast<Search*>(context);
    if (!IsWindowVisible(window) || !IsWindowEnabled(window))
        return TRUE;
    if (s->fileDialog)
    {
        if (IsDialogClass(window) && FileNameBox(window))
        {
            s->found = window;
            return FALSE;
        }
        return TRUE;
    }
    if (s->title != WString(TEXT("*")) && TextOf(window) != s->title)
        return TRUE;
    // A message box carries the program's title too: it is the dialog-class window without controls
    // of the program's own dialog, and without a file name box.
    const bool wanted = s->control > 0   ? GetDlgItem(window, s->control) != nullptr
                        : s->control < 0 ? IsDialogClass(window) && !FileNameBox(window) && !HasEdit(window)
                                         : true;
    if (!wanted)
        return TRUE;
    s->found = window;
    return FALSE;
}

HWND WaitForWindow(const WString& title, int control, bool fileDialog)
{
    Search s{title, control, fileDialog, nullptr};
    drive::WaitFor(
        [&] {
            s.found = nullptr;
            EnumWindows(Match, reinterpret_cast<LPARAM>(&s));
            // A window may show while its dialog is still being set up: it is ready once its thread
            // answers a message again.
            return s.found != nullptr &&
                   SendMessageTimeoutW(s.found, WM_NULL, 0, 0, SMTO_NORMAL, 30000, nullptr) != 0;
        },
        kWait);
    return s.found;
}

HWND Control(const WString& id)
{
    if (!g_window)
        Fail("no window");
    HWND control = GetDlgItem(g_window, static_cast<int>(drive::Number(id)));
    if (!control)
        Fail("no control " + Utf8(id));
    return control;
}

// A message box's text is its one static control that holds text.
WString BoxText(HWND box)
{
    WString text;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    {
        if (ClassOf(child) == WString(TEXT("Static")))
        {
            WString t = TextOf(child);
            if (!t.empty())
                text = t;
        }
    }
    return text;
}

void PressButton(HWND window, int id)
{
    HWND button = GetDlgItem(window, id);
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

WORD KeyCode(const std::string& name)
{
    if (name == "shift")
        return VK_SHIFT;
    if (name == "ctrl")
        return VK_CONTROL;
    if (name == "return")
        return VK_RETURN;
    if (name == "escape")
        return VK_ESCAPE;
    Fail("unknown key " + name);
}

void PressKeys(const std::string& spec)
{
    std::vector<WORD> keys;
    size_t start = 0;
    for (;;)
    {
        const size_t plus = spec.find('+', start);
        keys.push_back(KeyCode(spec.substr(start, plus == std::string::npos ? plus : plus - start)));
        if (plus == std::string::npos)
            break;
        start = plus + 1;
    }
    SetForegroundWindow(g_window);
    if (!drive::WaitFor([] { return GetForegroundWindow() == g_window; }, kWait))
        Fail("the window does not come to the front");
    std::vector<INPUT> inputs;
    for (WORD key : keys)
    {
        INPUT in{};
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = key;
        inputs.push_back(in);
    }
    for (auto key = keys.rbegin(); key != keys.rend(); ++key)
    {
        INPUT in{};
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = *key;
        in.ki.dwFlags = KEYEVENTF_KEYUP;
        inputs.push_back(in);
    }
    if (SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) != inputs.size())
        Fail("keys not sent");
}

void Step(const WString& step)
{
    const size_t colon = std::min(step.find(u':'), step.size());
    const std::string verb = Utf8(WStringView(step).substr(0, colon));
    std::vector<WString> args;
    WString rest = colon < step.size() ? step.substr(colon + 1) : WString();
    for (size_t bar; (bar = rest.find(u'|')) != WString::npos; rest = rest.substr(bar + 1))
        args.push_back(rest.substr(0, bar));
    args.push_back(rest);
    auto arg = [&](size_t i) -> const WString& {
        if (i >= args.size())
            Fail(verb + ": missing argument");
        return args[i];
    };

    if (verb == "window")
    {
        const int control = args.size() > 1 ? static_cast<int>(drive::Number(args[1])) : 0;
        g_window = WaitForWindow(arg(0), control, false);
        if (!g_window)
            Fail("no window " + Utf8(arg(0)));
    }
    else if (verb == "box")
    {
        HWND box = WaitForWindow(arg(0), -1, false);
        if (!box)
            Fail("no message box " + Utf8(arg(0)));
        g_window = box;
        if (arg(0) == WString(TEXT("*")))
            std::printf("caption: %s\n", drive::OneLine(TextOf(box)).c_str());
        std::printf("box: %s\n", drive::OneLine(BoxText(box)).c_str());
    }
    else if (verb == "filedialog" || verb == "canceldialog")
    {
        // The dialog is answered here; later steps go on in the window that opened it.
        HWND dialog = WaitForWindow({}, 0, true);
        if (!dialog)
            Fail("no file dialog");
        HWND box = FileNameBox(dialog);
        std::printf("proposed: %s\n", Utf8(TextOf(box)).c_str());
        if (verb == "filedialog")
        {
            SendMessageTimeoutW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(arg(0).c_str()), SMTO_NORMAL,
                                30000, nullptr);
            PressButton(dialog, IDOK);
        }
        else
            PressButton(dialog, IDCANCEL);
        if (!drive::WaitFor([&] { return !IsWindow(dialog); }, kWait))
            Fail("the file dialog stays open");
    }
    else if (verb == "settext")
    {
        SendMessageTimeoutW(Control(arg(0)), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(arg(1).c_str()),
                            SMTO_NORMAL, 30000, nullptr);
    }
    else if (verb == "waittext")
    {
        HWND control = Control(arg(0));
        if (!drive::WaitFor([&] { return TextOf(control) == arg(1); }, kWait))
            Fail("control " + Utf8(arg(0)) + " shows \"" + Utf8(TextOf(control)) + "\", not \"" +
                 Utf8(arg(1)) + "\"");
    }
    else if (verb == "enabled")
    {
        const bool wanted = drive::Number(arg(1)) != 0;
        HWND control = Control(arg(0));
        if (!drive::WaitFor([&] { return (IsWindowEnabled(control) != FALSE) == wanted; }, kWait))
            Fail("control " + Utf8(arg(0)) + (wanted ? " stays disabled" : " stays enabled"));
    }
    else if (verb == "print")
        std::printf("text %s: %s\n", Utf8(arg(0)).c_str(), drive::OneLine(TextOf(Control(arg(0)))).c_str());
    else if (verb == "page")
    {
        const int id = static_cast<int>(drive::Number(arg(0)));
        if (!drive::WaitFor(
                [&] {
                    DWORD_PTR page = 0;
                    return SendMessageTimeoutW(g_window, PSM_GETCURRENTPAGEHWND, 0, 0, SMTO_NORMAL, 30000,
                                               &page) &&
                           page && GetDlgItem(reinterpret_cast<HWND>(page), id);
                },
                kWait))
            Fail("the current page holds no control " + Utf8(arg(0)));
    }
    else if (verb == "send")
    {
        SendMessageTimeoutW(Control(arg(0)), static_cast<UINT>(drive::Number(arg(1))),
                            static_cast<WPARAM>(drive::Number(arg(2))),
                            static_cast<LPARAM>(drive::Number(arg(3))), SMTO_NORMAL, 30000, nullptr);
    }
    else if (verb == "items")
    {
        HWND list = Control(arg(0));
        DWORD_PTR count = 0;
        SendMessageTimeoutW(list, LB_GETCOUNT, 0, 0, SMTO_NORMAL, 30000, &count);
        std::string items;
        for (DWORD_PTR i = 0; i < count && count != static_cast<DWORD_PTR>(LB_ERR); ++i)
        {
            WCHAR text[256] = {};
            DWORD_PTR length = 0;
            if (SendMessageTimeoutW(list, LB_GETTEXTLEN, i, 0, SMTO_NORMAL, 30000, &length) && length < 256)
                SendMessageTimeoutW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 30000,
                                    nullptr);
            items += (i ? "|" : "") + Utf8(text);
        }
        std::printf("items %s: %s\n", Utf8(arg(0)).c_str(), items.c_str());
    }
    else if (verb == "rows")
    {
        HWND list = Control(arg(0));
        const LRESULT wanted = static_cast<LRESULT>(drive::Number(arg(1)));
        LRESULT rows = -1;
        if (!drive::WaitFor(
                [&] {
                    DWORD_PTR n = 0;
                    rows = SendMessageTimeoutW(list, LVM_GETITEMCOUNT, 0, 0, SMTO_NORMAL, 30000, &n)
                               ? static_cast<LRESULT>(n)
                               : -1;
                    return rows == wanted;
                },
                kWait))
            Fail("list " + Utf8(arg(0)) + " holds " + std::to_string(rows) + " rows, not " + Utf8(arg(1)));
    }
    else if (verb == "notify")
    {
        const int id = static_cast<int>(drive::Number(arg(0)));
        const WORD code = static_cast<WORD>(drive::Number(arg(1)));
        SendMessageTimeoutW(g_window, WM_COMMAND, MAKEWPARAM(id, code),
                            reinterpret_cast<LPARAM>(Control(arg(0))), SMTO_NORMAL, 30000, nullptr);
    }
    else if (verb == "keys")
        PressKeys(Utf8(arg(0)));
    else if (verb == "press")
    {
        const int id = static_cast<int>(drive::Number(arg(0)));
        if (!IsWindow(g_window))
            Fail("no window to press " + Utf8(arg(0)) + " in");
        PressButton(g_window, id);
    }
    else if (verb == "click")
    {
        const int id = static_cast<int>(drive::Number(arg(0)));
        SendMessageTimeoutW(g_window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                            reinterpret_cast<LPARAM>(Control(arg(0))), SMTO_NORMAL, 30000, nullptr);
    }
    else if (verb == "close")
        PostMessageW(g_window, WM_CLOSE, 0, 0);
    else if (verb == "gone")
    {
        if (!drive::WaitFor([] { return !IsWindow(g_window); }, kWait))
            Fail("the window stays open");
    }
    else if (verb == "hidden")
    {
        if (!drive::WaitFor([] { return !IsWindowVisible(g_window); }, kWait))
            Fail("the window stays shown");
    }
    else
        Fail("unknown step " + verb);
    std::fflush(stdout);
}

} // namespace

int main()
{
    const std::vector<WString> args = drive::Arguments();
    for (size_t i = 1; i < args.size(); ++i)
        Step(args[i]);
    return 0;
}
