// The scripted user: runs a program beside a script, waits for its UI to be idle, reads what it
// shows and acts on it as a person would (through the window's own thread).
#include "user32/desktop_internal.h"
#include "rc/resources.h"
#include "user32/controls.h"
#include "user32/controls/itemlist.h"

#include <algorithm>
#include <chrono>
#include <thread>

using namespace sim::detail;

namespace sim
{
namespace
{
// The user can reach a control only when it and every window above it are visible and enabled.
bool ReachableLocked(HWND window, std::string& why)
{
    Window* w = FindLocked(window);
    if (!w)
    {
        why = "the window does not exist";
        return false;
    }
    for (Window* p = w; p; p = p->parent ? FindLocked(p->parent) : nullptr)
    {
        if (!(p->style & WS_VISIBLE))
        {
            why = "\"" + ToUtf8(p->text) + "\" is hidden";
            return false;
        }
        if (p->style & WS_DISABLED)
        {
            why = "\"" + ToUtf8(p->text) + "\" is disabled";
            return false;
        }
    }
    return true;
}

std::string Describe(HWND window)
{
    std::lock_guard g(Desk().mu);
    Window* w = FindLocked(window);
    return w ? ToUtf8(w->className) + " " + std::to_string(w->id) + " \"" + ToUtf8(w->text) + "\""
             : "no window";
}

bool CanAct(HWND window, const char* action)
{
    std::string why;
    {
        std::lock_guard g(Desk().mu);
        if (ReachableLocked(window, why))
            return true;
    }
    ReportFailure(std::string(action) + " " + Describe(window) + ": " + why);
    return false;
}

template <typename F> auto Read(HWND window, F f) -> decltype(f(std::declval<Window&>()))
{
    std::lock_guard g(Desk().mu);
    Window* w = FindLocked(window);
    if (!w)
        return {};
    return f(*w);
}

bool IsClass(HWND window, const char16_t* name)
{
    return Read(window, [&](Window& w) { return EqualNoCase(w.className, name); });
}

std::optional<int> FindMenuId(HMENU menu, UINT id, bool& enabled)
{
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i)
    {
        UINT state = GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION);
        if (HMENU sub = GetSubMenu(menu, i))
        {
            if (auto found = FindMenuId(sub, id, enabled))
            {
                enabled = enabled && !(state & (MF_GRAYED | MF_DISABLED));
                return found;
            }
        }
        else if (GetMenuItemID(menu, i) == id && !(state & MF_SEPARATOR))
        {
            enabled = !(state & (MF_GRAYED | MF_DISABLED));
            return i;
        }
    }
    return std::nullopt;
}
} // namespace

Desktop& desktop()
{
    static Desktop d;
    return d;
}

DWORD Desktop::Run(WStringView imagePath, WStringView arguments, const Script& script)
{
    WString image(imagePath), args(arguments);
    return Run([image, args] { return processes().Run(image, args); }, script);
}

DWORD Desktop::Run(const std::function<DWORD()>& ui, const Script& script)
{
    Scheduler& d = Sched();
    {
        std::lock_guard g(d.mu);
        d.scripted = true;
        ++d.pendingStarts; // counted from now, so the script cannot act before the program starts
    }
    DWORD exitCode = 0;
    std::thread program([&] {
        SimThreadScope scope;
        try
        {
            exitCode = ui();
        }
        catch (const ProgramStuck&)
        {
            exitCode = 0xE06D7363;
        }
        catch (const ThreadExit& e)
        {
            exitCode = e.code;
        }
        catch (const std::exception& e)
        {
            ReportFailure(std::string("the program ended by an exception: ") + e.what());
            exitCode = 0xE06D7363;
        }
    });
    auto handOver = [&] {
        // From here the program runs on its own; waiting for input now is a failure.
        std::lock_guard g(d.mu);
        d.scripted = false;
        d.autoBase = Clock();
        RescheduleLocked();
    };
    try
    {
        if (script)
            script();
    }
    catch (...)
    {
        handOver();
        program.join();
        throw;
    }
    handOver();
    program.join();
    return exitCode;
}

bool Desktop::WaitIdle()
{
    return detail::WaitIdle();
}

bool Desktop::WaitUntil(const std::function<bool()>& condition, ULONGLONG maxMilliseconds)
{
    ULONGLONG end = Clock() + maxMilliseconds;
    for (;;)
    {
        if (!WaitIdle())
            return false;
        if (condition())
            return true;
        std::lock_guard g(Desk().mu);
        std::optional<ULONGLONG> next = NextEventLocked();
        if (!next || *next > end)
        {
            ReportFailure(std::string("the awaited condition never held: ") +
                          (next ? "the time allowed ran out" : "nothing is left to happen") + "\n" +
                          DescribeScreenLocked());
            return false;
        }
        Clock() = *next;
        Desk().cv.notify_all();
    }
}

void Desktop::Advance(ULONGLONG milliseconds)
{
    Step(milliseconds);
}

HWND Desktop::TopWindow(WStringView caption) const
{
    const_cast<Desktop*>(this)->WaitIdle();
    std::lock_guard g(Desk().mu);
    HWND best = nullptr;
    for (const auto& [h, w] : Desk().windows)
        if (!w->parent && (w->style & WS_VISIBLE) && (caption.empty() || w->text == caption))
            best = h; // handles grow: the newest wins
    return best;
}

HWND Desktop::Control(HWND parent, int id) const
{
    std::lock_guard g(Desk().mu);
    // Breadth first over everything inside, so a page's control is found through its sheet.
    HWND hidden = nullptr;
    std::vector<HWND> queue{parent};
    for (size_t i = 0; i < queue.size(); ++i)
    {
        Window* w = FindLocked(queue[i]);
        if (!w)
            continue;
        for (HWND h : w->children)
        {
            Window* c = FindLocked(h);
            if (!c)
                continue;
            if (static_cast<int>(c->id) == id)
            {
                bool visible = true;
                for (Window* p = c; p; p = p->parent ? FindLocked(p->parent) : nullptr)
                    visible = visible && (p->style & WS_VISIBLE);
                if (visible)
                    return h;
                if (!hidden)
                    hidden = h;
            }
            queue.push_back(h);
        }
    }
    return hidden;
}

HWND Desktop::FindControl(HWND parent, WStringView className, WStringView text) const
{
    std::lock_guard g(Desk().mu);
    Window* p = FindLocked(parent);
    if (!p)
        return nullptr;
    for (HWND h : p->children)
        if (Window* c = FindLocked(h))
            if ((className.empty() || EqualNoCase(c->className, className)) &&
                (text.empty() || c->text == text))
                return h;
    return nullptr;
}

WString Desktop::Text(HWND window) const
{
    return Read(window, [](Window& w) { return w.text; });
}

bool Desktop::IsEnabled(HWND window) const
{
    std::lock_guard g(Desk().mu);
    for (Window* w = FindLocked(window); w; w = w->parent ? FindLocked(w->parent) : nullptr)
        if (w->style & WS_DISABLED)
            return false;
    return FindLocked(window) != nullptr;
}

bool Desktop::IsVisible(HWND window) const
{
    return IsWindowVisible(window) != FALSE;
}

WString Desktop::Icon(HWND window, bool big) const
{
    // A static shows the icon it was given (STM_SETICON); other windows the one set with WM_SETICON.
    HICON icon = Read(window, [&](Window& w) {
        HICON shown = static_cast<HICON>(ControlOf(w).Image());
        return shown ? shown : w.icons[big ? ICON_BIG : ICON_SMALL];
    });
    return icon ? IconNameOf(icon) : WString();
}

int Desktop::CheckState(HWND button) const
{
    return Read(button, [](Window& w) { return ControlOf(w).CheckState(); });
}

std::vector<WString> Desktop::Items(HWND list) const
{
    return Read(list, [](Window& w) { return ControlOf(w).Items(); });
}

std::vector<std::vector<WString>> Desktop::Rows(HWND listView) const
{
    return Read(listView, [](Window& w) { return ControlOf(w).Rows(); });
}

std::vector<ListColumnShown> Desktop::Columns(HWND listView) const
{
    return Read(listView, [](Window& w) { return ControlOf(w).Columns(); });
}

std::optional<LOGFONTW> Desktop::Font(HWND window) const
{
    HFONT font = Read(window, [](Window& w) { return w.font; });
    LOGFONTW lf{};
    if (!font || GetObjectW(font, sizeof lf, &lf) != static_cast<int>(sizeof lf))
        return std::nullopt;
    return lf;
}

int Desktop::Selection(HWND list) const
{
    std::lock_guard g(Desk().mu);
    Window* w = FindLocked(list);
    return w ? ControlOf(*w).Selection() : -1;
}

int Desktop::Position(HWND control) const
{
    return Read(control, [](Window& w) { return ControlOf(w).Position(); });
}

std::pair<int, int> Desktop::Range(HWND control) const
{
    return Read(control, [](Window& w) { return ControlOf(w).Range(); });
}

WString Desktop::MenuText(HWND window, UINT id) const
{
    HMENU menu = GetMenu(window);
    WCHAR text[256] = {};
    if (!menu || GetMenuStringW(menu, id, text, 256, MF_BYCOMMAND) <= 0)
        return {};
    return text;
}

WString Desktop::MenuBarText(HWND window, int position) const
{
    HMENU menu = GetMenu(window);
    WCHAR text[256] = {};
    if (!menu || GetMenuStringW(menu, static_cast<UINT>(position), text, 256, MF_BYPOSITION) <= 0)
        return {};
    return text;
}

std::optional<UINT> Desktop::MenuState(HWND window, UINT id) const
{
    HMENU menu = GetMenu(window);
    UINT state = menu ? GetMenuState(menu, id, MF_BYCOMMAND) : static_cast<UINT>(-1);
    if (state == static_cast<UINT>(-1))
        return std::nullopt;
    return state;
}

bool Desktop::Type(HWND edit, WStringView text)
{
    if (!WaitIdle() || !CanAct(edit, "type into"))
        return false;
    if (Read(edit, [](Window& w) { return (w.style & ES_READONLY) != 0; }))
    {
        ReportFailure("type into " + Describe(edit) + ": it is read-only");
        return false;
    }
    PostInput(edit, [edit] {
        SetFocus(edit); // the user clicks into it first
        SendMessageW(edit, EM_SETSEL, 0, -1);
    });
    for (WCHAR c : text)
        PostInput(edit, [edit, c] { SendMessageW(edit, WM_CHAR, c, 1); });
    return WaitIdle();
}

bool Desktop::Click(HWND button)
{
    if (!WaitIdle() || !CanAct(button, "click"))
        return false;
    // A static that asks for notifications tells its parent it was clicked.
    if (IsClass(button, WC_STATICW))
        PostInput(button, [button] {
            if (GetWindowLongW(button, GWL_STYLE) & SS_NOTIFY)
                NotifyCommand(button, STN_CLICKED);
        });
    else
        PostInput(button, [button] {
            SetFocus(button); // pressing the mouse on it takes the focus from the control that had it
            SendMessageW(button, BM_CLICK, 0, 0);
        });
    return WaitIdle();
}

bool Desktop::SetCheck(HWND button, bool checked)
{
    if (!WaitIdle())
        return false;
    if ((CheckState(button) == BST_CHECKED) == checked)
        return true;
    return Click(button);
}

bool Desktop::Pick(HWND list, int index)
{
    if (!WaitIdle() || !CanAct(list, "pick from"))
        return false;
    if (index < 0 || static_cast<size_t>(index) >= Items(list).size())
    {
        ReportFailure("pick item " + std::to_string(index) + " from " + Describe(list) + ": no such item");
        return false;
    }
    if (IsClass(list, WC_COMBOBOXW))
        PostInput(list, [list, index] {
            SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
            NotifyCommand(list, CBN_SELCHANGE);
            NotifyCommand(list, CBN_SELENDOK);
        });
    else if (IsClass(list, WC_LISTBOXW))
        PostInput(list, [list, index] {
            SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
            if (GetWindowLongW(list, GWL_STYLE) & LBS_NOTIFY)
                NotifyCommand(list, LBN_SELCHANGE);
        });
    else if (IsClass(list, WC_TABCONTROLW))
        PostInput(list, [list, index] {
            NMHDR nm{};
            if (NotifyParent(list, TCN_SELCHANGING, &nm))
                return;
            SendMessageW(list, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
            NotifyParent(list, TCN_SELCHANGE, &nm);
        });
    else if (IsClass(list, WC_LISTVIEWW))
        PostInput(list, [list, index] {
            LVITEMW none{};
            none.stateMask = LVIS_SELECTED;
            SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
            LVITEMW item{};
            item.state = item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
            SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
            SendMessageW(list, LVM_SETSELECTIONMARK, 0, index);
            NMITEMACTIVATE click{};
            click.iItem = index;
            NotifyParent(list, NM_CLICK, &click.hdr);
        });
    else
    {
        ReportFailure("pick from " + Describe(list) + ": not a list");
        return false;
    }
    return WaitIdle();
}

bool Desktop::ClickOutsideRows(HWND listView)
{
    if (!WaitIdle() || !CanAct(listView, "click in"))
        return false;
    if (!IsClass(listView, WC_LISTVIEWW))
    {
        ReportFailure("click outside the rows of " + Describe(listView) + ": not a list view");
        return false;
    }
    PostInput(listView, [listView] {
        // The empty space below the rows: the selection goes, the selection mark stays.
        LVITEMW none{};
        none.stateMask = LVIS_SELECTED;
        SendMessageW(listView, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
        NMITEMACTIVATE click{};
        click.iItem = -1;
        click.iSubItem = -1;
        NotifyParent(listView, NM_CLICK, &click.hdr);
    });
    return WaitIdle();
}

bool Desktop::ClickCheckBox(HWND listView, int row)
{
    if (!WaitIdle() || !CanAct(listView, "click a check box in"))
        return false;
    if (ListViewCheckImage(listView, row) == 0)
    {
        ReportFailure("click the check box of row " + std::to_string(row) + " of " + Describe(listView) +
                      ": no check box there");
        return false;
    }
    PostInput(listView, [listView, row] { ClickCheckBoxNow(listView, row); });
    return WaitIdle();
}

bool Desktop::PickText(HWND list, WStringView text)
{
    auto items = Items(list);
    auto it = std::find(items.begin(), items.end(), text);
    if (it == items.end())
    {
        ReportFailure("pick \"" + ToUtf8(text) + "\" from " + Describe(list) + ": no such item");
        return false;
    }
    return Pick(list, static_cast<int>(it - items.begin()));
}

bool Desktop::StepUpDown(HWND upDown, int delta)
{
    if (!WaitIdle() || !CanAct(upDown, "step"))
        return false;
    PostInput(upDown, [upDown, delta] { StepUpDownNow(upDown, delta); });
    return WaitIdle();
}

bool Desktop::SetTrackPosition(HWND trackBar, int position)
{
    if (!WaitIdle() || !CanAct(trackBar, "drag"))
        return false;
    PostInput(trackBar, [trackBar, position] {
        SendMessageW(trackBar, TBM_SETPOS, TRUE, position);
        int pos = static_cast<int>(SendMessageW(trackBar, TBM_GETPOS, 0, 0));
        UINT scroll = (GetWindowLongW(trackBar, GWL_STYLE) & TBS_VERT) ? WM_VSCROLL : WM_HSCROLL;
        HWND parent = GetParent(trackBar);
        SendMessageW(parent, scroll, MAKEWPARAM(TB_THUMBTRACK, pos), reinterpret_cast<LPARAM>(trackBar));
        SendMessageW(parent, scroll, MAKEWPARAM(TB_THUMBPOSITION, pos), reinterpret_cast<LPARAM>(trackBar));
        SendMessageW(parent, scroll, MAKEWPARAM(TB_ENDTRACK, 0), reinterpret_cast<LPARAM>(trackBar));
    });
    return WaitIdle();
}

bool Desktop::SelectMenu(HWND window, UINT id)
{
    if (!WaitIdle() || !CanAct(window, "open the menu of"))
        return false;
    HMENU menu = GetMenu(window);
    bool enabled = false;
    if (!menu || !FindMenuId(menu, id, enabled))
    {
        ReportFailure("select menu item " + std::to_string(id) + " of " + Describe(window) +
                      ": no such item");
        return false;
    }
    if (!enabled)
    {
        ReportFailure("select menu item " + std::to_string(id) + " of " + Describe(window) +
                      ": it is greyed");
        return false;
    }
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, 0), 0);
    return WaitIdle();
}

bool Desktop::DropFiles(HWND target, const std::vector<WString>& paths)
{
    if (!WaitIdle() || !CanAct(target, "drop files on"))
        return false;
    HWND receiver = nullptr;
    {
        std::lock_guard g(Desk().mu);
        for (Window* w = FindLocked(target); w; w = w->parent ? FindLocked(w->parent) : nullptr)
            if (w->exStyle & WS_EX_ACCEPTFILES)
            {
                receiver = w->handle;
                break;
            }
    }
    if (!receiver)
    {
        ReportFailure("drop files on " + Describe(target) + ": it does not accept files");
        return false;
    }
    ULONG_PTR drop;
    {
        std::lock_guard g(Desk().mu);
        drop = Desk().nextObject;
        Desk().nextObject += 4;
        Desk().drops[drop] = paths;
    }
    PostMessageW(receiver, WM_DROPFILES, static_cast<WPARAM>(drop), 0);
    return WaitIdle();
}

bool Desktop::PressKey(HWND target, int virtualKey)
{
    if (!WaitIdle() || !CanAct(target, "press a key in"))
        return false;
    PostMessageW(target, WM_KEYDOWN, static_cast<WPARAM>(virtualKey), 1);
    if (virtualKey == VK_RETURN || virtualKey == VK_ESCAPE || virtualKey == VK_BACK || virtualKey == VK_TAB)
        PostMessageW(target, WM_CHAR, static_cast<WPARAM>(virtualKey), 1);
    PostMessageW(target, WM_KEYUP, static_cast<WPARAM>(virtualKey), 1);
    return WaitIdle();
}

bool Desktop::Close(HWND window)
{
    if (!WaitIdle() || !CanAct(window, "close"))
        return false;
    PostMessageW(window, WM_CLOSE, 0, 0);
    return WaitIdle();
}

bool Desktop::RightClick(HWND window)
{
    if (!WaitIdle() || !CanAct(window, "right-click"))
        return false;
    PostInput(window, [window] {
        RECT r{};
        GetWindowRect(window, &r);
        SendMessageW(window, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(window),
                     MAKELPARAM(r.left + 1, r.top + 1));
    });
    return WaitIdle();
}

bool Desktop::RightClickItem(HWND list, int index)
{
    if (!WaitIdle() || !CanAct(list, "right-click a row of"))
        return false;
    if (!IsClass(list, WC_LISTBOXW) || index < 0 || static_cast<size_t>(index) >= Items(list).size())
    {
        ReportFailure("right-click row " + std::to_string(index) + " of " + Describe(list) + ": no such row");
        return false;
    }
    PostInput(list, [list, index] {
        POINT at{4, index * kListRowHeight + kListRowHeight / 2};
        POINT screen = at;
        ClientToScreen(list, &screen);
        SetCursorPos(screen.x, screen.y);
        SendMessageW(list, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(at.x, at.y));
        SendMessageW(list, WM_RBUTTONUP, 0, MAKELPARAM(at.x, at.y));
    });
    return WaitIdle();
}

bool Desktop::AskHelp(HWND control)
{
    if (!WaitIdle() || !CanAct(control, "ask for help on"))
        return false;
    PostInput(control, [control] {
        HELPINFO info{};
        info.cbSize = sizeof(info);
        info.iContextType = 1; // HELPINFO_WINDOW
        info.iCtrlId = GetDlgCtrlID(control);
        info.hItemHandle = control;
        SendMessageW(control, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
    });
    return WaitIdle();
}

void Desktop::SetKeyDown(int virtualKey, bool down)
{
    std::lock_guard g(Desk().mu);
    auto& keys = Desk().keysDown;
    std::erase(keys, virtualKey);
    if (down)
        keys.push_back(virtualKey);
}

std::optional<MessageBoxShown> Desktop::MessageBox() const
{
    const_cast<Desktop*>(this)->WaitIdle();
    std::lock_guard g(Desk().mu);
    auto& box = Desk().messageBox;
    if (!box || box->answer)
        return std::nullopt;
    return box->shown;
}

std::vector<MessageBoxShown> Desktop::MessageBoxes() const
{
    const_cast<Desktop*>(this)->WaitIdle();
    std::lock_guard g(Desk().mu);
    return Desk().messageBoxHistory;
}

std::vector<BroadcastSent> Desktop::Broadcasts() const
{
    std::lock_guard g(Desk().mu);
    return Desk().broadcasts;
}

bool Desktop::AnswerMessageBox(int result)
{
    if (!WaitIdle())
        return false;
    {
        std::lock_guard g(Desk().mu);
        auto& box = Desk().messageBox;
        if (!box || box->answer)
        {
            ReportFailure("answer a message box: none is shown\n" + DescribeScreenLocked());
            return false;
        }
        box->answer = result;
        Desk().cv.notify_all();
    }
    return WaitIdle();
}

std::optional<FileDialogShown> Desktop::FileDialog() const
{
    const_cast<Desktop*>(this)->WaitIdle();
    std::lock_guard g(Desk().mu);
    auto& dialog = Desk().fileDialog;
    if (!dialog || dialog->answered)
        return std::nullopt;
    return dialog->shown;
}

namespace
{
bool AnswerFile(std::optional<WString> path, std::optional<DWORD> filterIndex = std::nullopt)
{
    std::shared_ptr<PendingFileDialog> dialog;
    {
        std::lock_guard g(Desk().mu);
        dialog = Desk().fileDialog;
        if (!dialog || dialog->answered)
        {
            ReportFailure("answer a file dialog: none is shown\n" + DescribeScreenLocked());
            return false;
        }
    }
    if (path && dialog->shown.kind == FileDialogKind::Open && (dialog->shown.flags & OFN_FILEMUSTEXIST))
    {
        // The dialog adds the default extension to a bare name before it looks for the file.
        WString full = *path;
        size_t slash = full.find_last_of(u"\\/");
        size_t dot = full.find_last_of(u'.');
        if ((dot == WString::npos || (slash != WString::npos && dot < slash)) &&
            !dialog->shown.defaultExtension.empty())
            full += u"." + dialog->shown.defaultExtension;
        if (GetFileAttributesW(full.c_str()) == INVALID_FILE_ATTRIBUTES)
        {
            ReportFailure("the open dialog refuses a file that does not exist: " + ToUtf8(full));
            return false;
        }
    }
    std::lock_guard g(Desk().mu);
    dialog->path = std::move(path);
    dialog->filterIndex = filterIndex;
    dialog->answered = true;
    Desk().cv.notify_all();
    return true;
}
} // namespace

bool Desktop::AnswerFileDialog(WStringView path)
{
    return WaitIdle() && AnswerFile(WString(path)) && WaitIdle();
}

bool Desktop::AnswerFileDialog(WStringView path, DWORD filterIndex)
{
    return WaitIdle() && AnswerFile(WString(path), filterIndex) && WaitIdle();
}

bool Desktop::CancelFileDialog()
{
    return WaitIdle() && AnswerFile(std::nullopt) && WaitIdle();
}

void Desktop::SetUiLanguage(LANGID language)
{
    std::lock_guard g(Desk().mu);
    Desk().uiLanguage = language;
}

void Desktop::SetUserLanguage(LANGID language)
{
    std::lock_guard g(Desk().mu);
    Desk().userLanguage = language;
}

} // namespace sim
