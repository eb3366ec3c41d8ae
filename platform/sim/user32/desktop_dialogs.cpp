// Dialogs from templates, dialog item functions, menus, message boxes, common dialogs answered by the
// scripted user, and drag and drop of files.
#include "user32/desktop_internal.h"
#include "rc/resources.h"

#include <algorithm>
#include <cstdarg>
#include <cstdlib>

using namespace sim;
using namespace sim::detail;

namespace
{
// Dialog units to pixels for the dialog font the package uses (8 pt at 96 dpi).
constexpr int kBaseX = 6;
constexpr int kBaseY = 13;

LRESULT DefaultDialogHandling(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_CLOSE: {
        HWND cancel = GetDlgItem(dialog, IDCANCEL);
        if (!cancel || IsWindowEnabled(cancel))
            SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                         reinterpret_cast<LPARAM>(cancel));
        return 0;
    }
    case DM_GETDEFID: {
        std::lock_guard g(Desk().mu);
        if (Window* w = FindLocked(dialog))
            for (HWND h : w->children)
                if (Window* c = FindLocked(h))
                    if (EqualNoCase(c->className, WC_BUTTONW) &&
                        ((c->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON ||
                         (c->style & BS_TYPEMASK) == BS_DEFCOMMANDLINK))
                        return MAKELONG(c->id, DC_HASDEFID);
        return MAKELONG(IDOK, DC_HASDEFID);
    }
    case WM_INITDIALOG:
        return TRUE;
    default:
        return DefWindowProcW(dialog, message, wParam, lParam);
    }
}

const DialogTemplate* FindTemplate(HINSTANCE instance, LPCWSTR name)
{
    const ResourceFile* file = ResourcesOf(instance);
    if (!file || !name)
        return nullptr;
    auto it = file->dialogs.find(ResourceName(name));
    return it == file->dialogs.end() ? nullptr : PickLanguage(it->second, UiLanguage());
}

HWND CreateFromTemplate(HINSTANCE instance, LPCWSTR name, HWND parent, DLGPROC proc, LPARAM param,
                        bool asChild = false)
{
    const DialogTemplate* t = FindTemplate(instance, name);
    if (!t)
    {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    RegisterBuiltInClasses();
    DWORD style = t->style & ~static_cast<DWORD>(WS_VISIBLE);
    if (asChild) // a page inside a sheet, which the sheet enables whatever its template says
        style =
            (style & ~static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_DISABLED)) |
            WS_CHILD;
    HWND dialog = CreateWindowExW(t->exStyle, t->className.empty() ? u"#32770" : t->className.c_str(),
                                  t->caption.c_str(), style, t->x * kBaseX / 4, t->y * kBaseY / 8,
                                  t->cx * kBaseX / 4, t->cy * kBaseY / 8, parent, nullptr, instance, nullptr);
    if (!dialog)
        return nullptr;
    {
        std::lock_guard g(Desk().mu);
        Window* w = FindLocked(dialog);
        w->isDialog = true;
        w->dialogProc = proc;
        if (!(style & WS_CHILD))
            w->owner = parent ? GetAncestorLocked(parent) : nullptr;
    }
    if (asChild)
        ShowWindow(dialog, SW_HIDE);
    if (!t->menu.empty())
    {
        WString menuName = t->menu;
        HMENU menu =
            LoadMenuW(instance, menuName[0] == u'#' ? MAKEINTRESOURCEW(std::stoi(ToUtf8(menuName.substr(1))))
                                                    : menuName.c_str());
        SetMenu(dialog, menu);
    }
    HWND firstTab = nullptr;
    for (const DialogControl& c : t->controls)
    {
        WString text = c.text;
        HWND control = CreateWindowExW(
            c.exStyle | WS_EX_NOPARENTNOTIFY, c.className.c_str(),
            (c.style & 0x1F) == SS_ICON && EqualNoCase(c.className, WC_STATICW) ? u"" : text.c_str(), c.style,
            c.x * kBaseX / 4, c.y * kBaseY / 8, c.cx * kBaseX / 4, c.cy * kBaseY / 8, dialog,
            reinterpret_cast<HMENU>(static_cast<LONG_PTR>(c.id)), instance, nullptr);
        if (!control)
        {
            ReportFailure("cannot create a dialog control of class " + ToUtf8(c.className) + " (error " +
                          std::to_string(GetLastError()) + ")");
            DestroyWindow(dialog);
            return nullptr;
        }
        if (!firstTab && (c.style & WS_TABSTOP) && !(c.style & WS_DISABLED))
            firstTab = control;
    }
    if (SendMessageW(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(firstTab), param) && firstTab)
        SetFocus(firstTab);
    if (IsWindow(dialog) && (t->style & WS_VISIBLE))
        ShowWindow(dialog, SW_SHOW);
    return dialog;
}
} // namespace

namespace sim::detail
{
HWND GetAncestorLocked(HWND window)
{
    Window* w = FindLocked(window);
    while (w && w->parent && FindLocked(w->parent))
        w = FindLocked(w->parent);
    return w ? w->handle : nullptr;
}

LRESULT CALLBACK DialogWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    DLGPROC proc = nullptr;
    {
        std::lock_guard g(Desk().mu);
        if (Window* w = FindLocked(window))
            proc = w->dialogProc;
    }
    if (proc)
    {
        INT_PTR r = proc(window, message, wParam, lParam);
        switch (message)
        {
        case WM_INITDIALOG:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORBTN:
            return r;
        default:
            break;
        }
        if (r)
        {
            std::lock_guard g(Desk().mu);
            Window* w = FindLocked(window);
            return w ? w->msgResult : 0;
        }
    }
    return DefaultDialogHandling(window, message, wParam, lParam);
}

void WaitForAnswer(const std::function<bool()>& answered, HWND owner)
{
    HWND root = owner ? GetAncestor(owner, GA_ROOT) : nullptr;
    bool disabled = root && IsWindowEnabled(root) && !EnableWindow(root, FALSE);
    for (;;)
    {
        MSG msg;
        Got got = Pump(&msg, nullptr, 0, 0, true, true, answered);
        if (got == Got::Stopped)
            break;
        if (got == Got::Quit)
        {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (got == Got::Message)
            DispatchMessageW(&msg);
    }
    if (disabled)
        EnableWindow(root, TRUE);
}
} // namespace sim::detail

// ---- Dialogs ----

namespace sim::detail
{
HWND CreateDialogFromTemplate(HINSTANCE instance, LPCWSTR name, HWND parent, DLGPROC proc, LPARAM param,
                              bool asChild)
{
    return CreateFromTemplate(instance, name, parent, proc, param, asChild);
}

INT_PTR RunModal(HWND dialog, HWND owner)
{
    bool disabledOwner = owner && IsWindowEnabled(owner);
    if (disabledOwner)
        EnableWindow(owner, FALSE);
    auto ended = [dialog] {
        Window* w = FindLocked(dialog);
        return !w || w->dialogEnded;
    };
    bool endedEarly;
    {
        std::lock_guard g(Desk().mu);
        endedEarly = ended();
    }
    if (!endedEarly)
        ShowWindow(dialog, SW_SHOW);
    INT_PTR result = 0;
    try
    {
        for (;;)
        {
            MSG msg;
            Got got = Pump(&msg, nullptr, 0, 0, true, true, ended);
            if (got == Got::Stopped)
                break;
            if (got == Got::Quit)
            {
                PostQuitMessage(static_cast<int>(msg.wParam));
                break;
            }
            if (got == Got::Message && !IsDialogMessageW(dialog, &msg))
            {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
    }
    catch (...)
    {
        if (disabledOwner)
            EnableWindow(owner, TRUE);
        throw;
    }
    {
        std::lock_guard g(Desk().mu);
        if (Window* w = FindLocked(dialog))
            result = w->dialogResult;
    }
    if (disabledOwner)
        EnableWindow(owner, TRUE);
    if (IsWindow(dialog))
        DestroyWindow(dialog);
    return result;
}
} // namespace sim::detail

INT_PTR WINAPI DialogBoxParamW(HINSTANCE instance, LPCWSTR templateName, HWND parent, DLGPROC proc,
                               LPARAM param)
{
    SIM_FAULT_POINT("DialogBoxParamW", -1);
    HWND owner = parent ? GetAncestor(parent, GA_ROOT) : nullptr;
    HWND dialog = CreateFromTemplate(instance, templateName, owner, proc, param);
    if (!dialog)
        return -1;
    return RunModal(dialog, owner);
}

HWND WINAPI CreateDialogParamW(HINSTANCE instance, LPCWSTR templateName, HWND parent, DLGPROC proc,
                               LPARAM param)
{
    return CreateFromTemplate(instance, templateName, parent, proc, param);
}

BOOL WINAPI EndDialog(HWND dialog, INT_PTR result)
{
    std::lock_guard g(Desk().mu);
    Window* w = FindLocked(dialog);
    if (!w || !w->isDialog)
    {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    w->dialogEnded = true;
    w->dialogResult = result;
    w->style &= ~static_cast<DWORD>(WS_VISIBLE);
    Desk().cv.notify_all();
    return TRUE;
}

BOOL WINAPI IsDialogMessageW(HWND dialog, LPMSG msg)
{
    if (!msg || !msg->hwnd)
        return FALSE;
    if (msg->hwnd != dialog)
    {
        HWND h = msg->hwnd;
        while (h && h != dialog)
            h = GetParent(h) == h
                    ? nullptr
                    : (IsWindow(h) && (GetWindowLongW(h, GWL_STYLE) & WS_CHILD) ? GetParent(h) : nullptr);
        if (h != dialog)
            return FALSE;
    }
    if (msg->message == WM_KEYDOWN && (msg->wParam == VK_RETURN || msg->wParam == VK_ESCAPE))
    {
        int id = IDCANCEL;
        if (msg->wParam == VK_RETURN)
        {
            LRESULT def = SendMessageW(dialog, DM_GETDEFID, 0, 0);
            id = HIWORD(def) == DC_HASDEFID ? LOWORD(def) : IDOK;
        }
        HWND button = GetDlgItem(dialog, id);
        if (!button || IsWindowEnabled(button))
            SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
        return TRUE;
    }
    if (msg->message == WM_CHAR && (msg->wParam == VK_RETURN || msg->wParam == VK_ESCAPE))
        return TRUE;
    TranslateMessage(msg);
    DispatchMessageW(msg);
    return TRUE;
}

LRESULT WINAPI DefDlgProcW(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefaultDialogHandling(dialog, message, wParam, lParam);
}

BOOL WINAPI MapDialogRect(HWND, LPRECT rect)
{
    if (!rect)
        return FALSE;
    rect->left = rect->left * kBaseX / 4;
    rect->right = rect->right * kBaseX / 4;
    rect->top = rect->top * kBaseY / 8;
    rect->bottom = rect->bottom * kBaseY / 8;
    return TRUE;
}

HWND WINAPI GetDlgItem(HWND dialog, int id)
{
    std::lock_guard g(Desk().mu);
    Window* w = FindLocked(dialog);
    if (!w)
    {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    for (HWND h : w->children)
        if (Window* c = FindLocked(h); c && static_cast<int>(c->id) == id)
            return h;
    SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
    return nullptr;
}

int WINAPI GetDlgCtrlID(HWND window)
{
    std::lock_guard g(Desk().mu);
    Window* w = FindLocked(window);
    return w && (w->style & WS_CHILD) ? static_cast<int>(w->id) : 0;
}

BOOL WINAPI SetDlgItemTextW(HWND dialog, int id, LPCWSTR text)
{
    HWND item = GetDlgItem(dialog, id);
    return item ? SetWindowTextW(item, text) : FALSE;
}

UINT WINAPI GetDlgItemTextW(HWND dialog, int id, LPWSTR text, int maxCount)
{
    HWND item = GetDlgItem(dialog, id);
    if (!item)
    {
        if (text && maxCount > 0)
            text[0] = 0;
        return 0;
    }
    return static_cast<UINT>(GetWindowTextW(item, text, maxCount));
}

BOOL WINAPI SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned)
{
    std::string s = isSigned ? std::to_string(static_cast<int>(value)) : std::to_string(value);
    WString w = Widen(s);
    return SetDlgItemTextW(dialog, id, w.c_str());
}

UINT WINAPI GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned)
{
    if (translated)
        *translated = FALSE;
    WCHAR text[64] = {};
    if (!GetDlgItem(dialog, id))
        return 0;
    GetDlgItemTextW(dialog, id, text, 64);
    WString s(text);
    size_t i = 0;
    while (i < s.size() && s[i] == u' ')
        ++i;
    bool negative = false;
    if (isSigned && i < s.size() && s[i] == u'-')
    {
        negative = true;
        ++i;
    }
    if (i >= s.size())
        return 0;
    unsigned long long v = 0;
    for (; i < s.size() && s[i] >= u'0' && s[i] <= u'9'; ++i)
    {
        v = v * 10 + static_cast<unsigned>(s[i] - u'0');
        if (v > (isSigned ? 0x80000000ull : 0xFFFFFFFFull))
            return 0;
    }
    while (i < s.size() && s[i] == u' ')
        ++i;
    if (i != s.size() || (isSigned && !negative && v > 0x7FFFFFFF))
        return 0;
    if (translated)
        *translated = TRUE;
    return negative ? static_cast<UINT>(-static_cast<long long>(v)) : static_cast<UINT>(v);
}

LRESULT WINAPI SendDlgItemMessageW(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND item = GetDlgItem(dialog, id);
    return item ? SendMessageW(item, message, wParam, lParam) : 0;
}

BOOL WINAPI CheckDlgButton(HWND dialog, int id, UINT check)
{
    HWND item = GetDlgItem(dialog, id);
    if (!item)
        return FALSE;
    SendMessageW(item, BM_SETCHECK, check, 0);
    return TRUE;
}

UINT WINAPI IsDlgButtonChecked(HWND dialog, int id)
{
    return static_cast<UINT>(SendDlgItemMessageW(dialog, id, BM_GETCHECK, 0, 0));
}

BOOL WINAPI CheckRadioButton(HWND dialog, int first, int last, int check)
{
    for (int id = first; id <= last; ++id)
        if (HWND item = GetDlgItem(dialog, id))
            SendMessageW(item, BM_SETCHECK, id == check ? BST_CHECKED : BST_UNCHECKED, 0);
    return TRUE;
}

// ---- Message boxes ----

int WINAPI MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    SIM_FAULT_POINT("MessageBoxW", 0);
    auto box = std::make_shared<PendingMessageBox>();
    box->shown = MessageBoxShown{ToWString(text), caption ? WString(caption) : WString(u"Error"), type};
    {
        std::lock_guard g(Desk().mu);
        Desk().messageBox = box;
        Desk().messageBoxHistory.push_back(box->shown);
    }
    WaitForAnswer([box] { return box->answer.has_value(); }, owner);
    std::lock_guard g(Desk().mu);
    if (Desk().messageBox == box)
        Desk().messageBox.reset();
    return box->answer.value_or(0);
}

BOOL WINAPI MessageBeep(UINT)
{
    return TRUE;
}

// ---- Menus ----

namespace
{
Menu* MenuLocked(HMENU menu)
{
    auto& menus = Desk().menus;
    auto it = menus.find(menu);
    return it == menus.end() ? nullptr : it->second.get();
}

HMENU NewMenuLocked(bool popup)
{
    HMENU h = reinterpret_cast<HMENU>(Desk().nextMenu);
    Desk().nextMenu += 4;
    auto m = std::make_shared<Menu>();
    m->popup = popup;
    Desk().menus[h] = m;
    return h;
}

HMENU BuildMenuLocked(const std::vector<MenuTemplateItem>& items, bool popup)
{
    HMENU h = NewMenuLocked(popup);
    std::vector<MenuItem> built;
    for (const MenuTemplateItem& t : items)
    {
        MenuItem m;
        m.text = t.text;
        m.id = t.id;
        m.type = t.type;
        m.state = t.state;
        if (t.popup)
            m.sub = BuildMenuLocked(t.children, true);
        built.push_back(m);
    }
    MenuLocked(h)->items = std::move(built);
    return h;
}

// Finds an item by command id (searching sub-menus) or by position.
MenuItem* ItemLocked(HMENU menu, UINT item, bool byPosition, HMENU* in = nullptr)
{
    Menu* m = MenuLocked(menu);
    if (!m)
        return nullptr;
    if (byPosition)
    {
        if (item >= m->items.size())
            return nullptr;
        if (in)
            *in = menu;
        return &m->items[item];
    }
    for (MenuItem& i : m->items)
    {
        if (!i.sub && !(i.type & MFT_SEPARATOR) && i.id == item)
        {
            if (in)
                *in = menu;
            return &i;
        }
        if (i.sub)
            if (MenuItem* found = ItemLocked(i.sub, item, false, in))
                return found;
    }
    for (MenuItem& i : m->items)
        if (i.sub && i.id == item)
            return &i;
    return nullptr;
}
} // namespace

HMENU WINAPI LoadMenuW(HINSTANCE instance, LPCWSTR name)
{
    const ResourceFile* file = ResourcesOf(instance);
    const std::vector<MenuTemplateItem>* items = nullptr;
    if (file && name)
        if (auto it = file->menus.find(ResourceName(name)); it != file->menus.end())
            items = PickLanguage(it->second, UiLanguage());
    if (!items)
    {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    std::lock_guard g(Desk().mu);
    return BuildMenuLocked(*items, false);
}

HMENU WINAPI CreateMenu()
{
    std::lock_guard g(Desk().mu);
    return NewMenuLocked(false);
}

HMENU WINAPI CreatePopupMenu()
{
    std::lock_guard g(Desk().mu);
    return NewMenuLocked(true);
}

BOOL WINAPI DestroyMenu(HMENU menu)
{
    std::lock_guard g(Desk().mu);
    Menu* m = MenuLocked(menu);
    if (!m)
    {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return FALSE;
    }
    std::vector<HMENU> subs;
    for (MenuItem& i : m->items)
        if (i.sub)
            subs.push_back(i.sub);
    Desk().menus.erase(menu);
    for (HMENU s : subs)
        Desk().menus.erase(s);
    return TRUE;
}

HMENU WINAPI GetMenu(HWND window)
{
    std::lock_guard g(Desk().mu);
    Window* w = FindLocked(window);
    return w && !(w->style & WS_CHILD) ? w->menu : nullptr;
}

BOOL WINAPI SetMenu(HWND window, HMENU menu)
{
    std::lock_guard g(Desk().mu);
    Window* w = FindLocked(window);
    if (!w || (w->style & WS_CHILD))
        return FALSE;
    w->menu = menu;
    return TRUE;
}

HMENU WINAPI GetSubMenu(HMENU menu, int position)
{
    std::lock_guard g(Desk().mu);
    MenuItem* i = position < 0 ? nullptr : ItemLocked(menu, static_cast<UINT>(position), true);
    return i ? i->sub : nullptr;
}

int WINAPI GetMenuItemCount(HMENU menu)
{
    std::lock_guard g(Desk().mu);
    Menu* m = MenuLocked(menu);
    return m ? static_cast<int>(m->items.size()) : -1;
}

UINT WINAPI GetMenuItemID(HMENU menu, int position)
{
    std::lock_guard g(Desk().mu);
    MenuItem* i = position < 0 ? nullptr : ItemLocked(menu, static_cast<UINT>(position), true);
    if (!i)
        return static_cast<UINT>(-1);
    return i->sub ? static_cast<UINT>(-1) : i->id;
}

UINT WINAPI GetMenuState(HMENU menu, UINT item, UINT flags)
{
    std::lock_guard g(Desk().mu);
    MenuItem* i = ItemLocked(menu, item, (flags & MF_BYPOSITION) != 0);
    if (!i)
        return static_cast<UINT>(-1);
    UINT state = i->state | (i->type & (MF_SEPARATOR | MF_MENUBARBREAK | MF_MENUBREAK));
    if (i->sub)
    {
        Menu* s = MenuLocked(i->sub);
        state |= MF_POPUP | (static_cast<UINT>(s ? s->items.size() : 0) << 8);
    }
    return state;
}

int WINAPI GetMenuStringW(HMENU menu, UINT item, LPWSTR text, int maxCount, UINT flags)
{
    std::lock_guard g(Desk().mu);
    MenuItem* i = ItemLocked(menu, item, (flags & MF_BYPOSITION) != 0);
    if (!i)
        return 0;
    if (!text || maxCount <= 0)
        return static_cast<int>(i->text.size());
    CopyOut(i->text, text, maxCount);
    return static_cast<int>(std::min<size_t>(i->text.size(), maxCount - 1));
}

DWORD WINAPI CheckMenuItem(HMENU menu, UINT item, UINT check)
{
    std::lock_guard g(Desk().mu);
    MenuItem* i = ItemLocked(menu, item, (check & MF_BYPOSITION) != 0);
    if (!i)
        return static_cast<DWORD>(-1);
    DWORD old = i->state & MF_CHECKED;
    i->state = (i->state & ~static_cast<UINT>(MF_CHECKED)) | (check & MF_CHECKED);
    return old;
}

BOOL WINAPI CheckMenuRadioItem(HMENU menu, UINT first, UINT last, UINT check, UINT flags)
{
    std::lock_guard g(Desk().mu);
    bool byPosition = (flags & MF_BYPOSITION) != 0;
    bool any = false;
    for (UINT k = first; k <= last; ++k)
        if (MenuItem* i = ItemLocked(menu, k, byPosition))
        {
            any = true;
            if (k == check)
            {
                i->state |= MF_CHECKED;
                i->type |= MFT_RADIOCHECK;
            }
            else
                i->state &= ~static_cast<UINT>(MF_CHECKED);
        }
    return any ? TRUE : FALSE;
}

BOOL WINAPI EnableMenuItem(HMENU menu, UINT item, UINT enable)
{
    std::lock_guard g(Desk().mu);
    MenuItem* i = ItemLocked(menu, item, (enable & MF_BYPOSITION) != 0);
    if (!i)
        return -1;
    BOOL old = static_cast<BOOL>(i->state & (MF_GRAYED | MF_DISABLED));
    i->state =
        (i->state & ~static_cast<UINT>(MF_GRAYED | MF_DISABLED)) | (enable & (MF_GRAYED | MF_DISABLED));
    return old;
}

BOOL WINAPI ModifyMenuW(HMENU menu, UINT position, UINT flags, UINT_PTR newItem, LPCWSTR text)
{
    std::lock_guard g(Desk().mu);
    MenuItem* i = ItemLocked(menu, position, (flags & MF_BYPOSITION) != 0);
    if (!i)
        return FALSE;
    if (flags & MF_POPUP)
        i->sub = reinterpret_cast<HMENU>(newItem);
    else
        i->id = static_cast<UINT>(newItem);
    i->type = flags & (MF_SEPARATOR | MF_MENUBARBREAK | MF_MENUBREAK | MF_OWNERDRAW);
    i->state = flags & (MF_CHECKED | MF_GRAYED | MF_DISABLED | MF_DEFAULT);
    if (!(flags & MF_SEPARATOR))
        i->text = ToWString(text);
    return TRUE;
}

BOOL WINAPI AppendMenuW(HMENU menu, UINT flags, UINT_PTR newItem, LPCWSTR text)
{
    std::lock_guard g(Desk().mu);
    Menu* m = MenuLocked(menu);
    if (!m)
        return FALSE;
    MenuItem i;
    if (flags & MF_POPUP)
        i.sub = reinterpret_cast<HMENU>(newItem);
    else
        i.id = static_cast<UINT>(newItem);
    i.type = flags & (MF_SEPARATOR | MF_MENUBARBREAK | MF_MENUBREAK | MF_OWNERDRAW);
    i.state = flags & (MF_CHECKED | MF_GRAYED | MF_DISABLED | MF_DEFAULT);
    if (!(flags & MF_SEPARATOR))
        i.text = ToWString(text);
    m->items.push_back(i);
    return TRUE;
}

BOOL WINAPI SetMenuItemInfoW(HMENU menu, UINT item, BOOL byPosition, LPCMENUITEMINFOW info)
{
    if (!info || info->cbSize < sizeof(MENUITEMINFOW) - sizeof(HBITMAP))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard g(Desk().mu);
    MenuItem* i = ItemLocked(menu, item, byPosition != FALSE);
    if (!i)
    {
        SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
        return FALSE;
    }
    if (info->fMask & MIIM_STATE)
        i->state = info->fState;
    if (info->fMask & MIIM_ID)
        i->id = info->wID;
    if (info->fMask & MIIM_SUBMENU)
        i->sub = info->hSubMenu;
    if (info->fMask & MIIM_DATA)
        i->data = info->dwItemData;
    if (info->fMask & (MIIM_FTYPE | MIIM_TYPE))
        i->type = info->fType;
    if ((info->fMask & MIIM_STRING) || ((info->fMask & MIIM_TYPE) && !(info->fType & MFT_SEPARATOR)))
        i->text = ToWString(info->dwTypeData);
    return TRUE;
}

BOOL WINAPI GetMenuItemInfoW(HMENU menu, UINT item, BOOL byPosition, LPMENUITEMINFOW info)
{
    if (!info)
        return FALSE;
    std::lock_guard g(Desk().mu);
    MenuItem* i = ItemLocked(menu, item, byPosition != FALSE);
    if (!i)
    {
        SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
        return FALSE;
    }
    if (info->fMask & MIIM_STATE)
        info->fState = i->state;
    if (info->fMask & MIIM_ID)
        info->wID = i->id;
    if (info->fMask & MIIM_SUBMENU)
        info->hSubMenu = i->sub;
    if (info->fMask & MIIM_DATA)
        info->dwItemData = i->data;
    if (info->fMask & (MIIM_FTYPE | MIIM_TYPE))
        info->fType = i->type;
    if (info->fMask & (MIIM_STRING | MIIM_TYPE))
    {
        if (info->dwTypeData && info->cch > 0)
            CopyOut(i->text, info->dwTypeData, static_cast<int>(info->cch));
        info->cch = static_cast<UINT>(i->text.size());
    }
    return TRUE;
}

BOOL WINAPI DrawMenuBar(HWND window)
{
    return GetMenu(window) ? TRUE : FALSE;
}

BOOL WINAPI TrackPopupMenu(HMENU, UINT, int, int, int, HWND, const RECT*)
{
    return FALSE; // the scripted user picks menu items directly
}

// ---- Common dialogs ----

namespace
{
std::vector<std::pair<WString, WString>> Filters(LPCWSTR filter)
{
    std::vector<std::pair<WString, WString>> out;
    if (!filter)
        return out;
    for (const WCHAR* p = filter; *p;)
    {
        WString description(p);
        p += description.size() + 1;
        WString pattern(p);
        p += pattern.size() + (*p ? 1 : 0);
        out.emplace_back(description, pattern);
        if (pattern.empty())
            break;
    }
    return out;
}

BOOL FileDialog(LPOPENFILENAMEW ofn, FileDialogKind kind)
{
    DesktopState& d = Desk();
    if (auto fault = TakeFault(kind == FileDialogKind::Open ? "GetOpenFileNameW" : "GetSaveFileNameW"))
    {
        // A common-dialog code is what the dialog reports; any other fault is a failed dialog.
        bool dialogCode =
            *fault == CDERR_STRUCTSIZE || (*fault >= FNERR_SUBCLASSFAILURE && *fault <= FNERR_BUFFERTOOSMALL);
        std::lock_guard g(d.mu);
        d.commDlgError = dialogCode ? *fault : CDERR_DIALOGFAILURE;
        return FALSE;
    }
    if (!ofn || ofn->lStructSize < sizeof(OPENFILENAMEW) - sizeof(void*) - 2 * sizeof(DWORD) ||
        !ofn->lpstrFile)
    {
        std::lock_guard g(d.mu);
        d.commDlgError = CDERR_STRUCTSIZE;
        return FALSE;
    }
    // An initial name no file can have ends the dialog before it shows.
    if (ofn->nMaxFile &&
        std::any_of(ofn->lpstrFile, std::find(ofn->lpstrFile, ofn->lpstrFile + ofn->nMaxFile, 0),
                    [](WCHAR c) { return c < 0x20 || WStringView(u"<>\"|").find(c) != WStringView::npos; }))
    {
        std::lock_guard g(d.mu);
        d.commDlgError = FNERR_INVALIDFILENAME;
        return FALSE;
    }
    auto pending = std::make_shared<PendingFileDialog>();
    FileDialogShown& s = pending->shown;
    s.kind = kind;
    s.title = ToWString(ofn->lpstrTitle);
    s.initialFolder = ToWString(ofn->lpstrInitialDir);
    s.fileName = ofn->nMaxFile
                     ? WString(ofn->lpstrFile, std::find(ofn->lpstrFile, ofn->lpstrFile + ofn->nMaxFile, 0))
                     : WString();
    s.defaultExtension = ToWString(ofn->lpstrDefExt);
    s.filters = Filters(ofn->lpstrFilter);
    s.filterIndex = ofn->nFilterIndex;
    s.flags = ofn->Flags;
    {
        std::lock_guard g(d.mu);
        d.fileDialog = pending;
        d.commDlgError = 0;
    }
    WaitForAnswer([pending] { return pending->answered; }, ofn->hwndOwner);
    {
        std::lock_guard g(d.mu);
        if (d.fileDialog == pending)
            d.fileDialog.reset();
    }
    if (!pending->path)
        return FALSE;
    WString path = *pending->path;
    size_t slash = path.find_last_of(u"\\/");
    size_t nameStart = slash == WString::npos ? 0 : slash + 1;
    size_t dot = path.find_last_of(u'.');
    if ((dot == WString::npos || dot < nameStart) && ofn->lpstrDefExt && *ofn->lpstrDefExt)
    {
        path += u"." + WString(ofn->lpstrDefExt);
        dot = path.find_last_of(u'.');
    }
    if (path.size() + 1 > ofn->nMaxFile)
    {
        std::lock_guard g(d.mu);
        d.commDlgError = FNERR_BUFFERTOOSMALL;
        if (ofn->nMaxFile >= 2)
            ofn->lpstrFile[0] = static_cast<WCHAR>(path.size() + 1);
        return FALSE;
    }
    CopyOut(path, ofn->lpstrFile, static_cast<int>(ofn->nMaxFile));
    ofn->nFileOffset = static_cast<WORD>(nameStart);
    ofn->nFileExtension = static_cast<WORD>(dot == WString::npos || dot < nameStart ? path.size() : dot + 1);
    if (ofn->lpstrFileTitle && ofn->nMaxFileTitle)
        CopyOut(WStringView(path).substr(nameStart), ofn->lpstrFileTitle,
                static_cast<int>(ofn->nMaxFileTitle));
    if (!(ofn->Flags & OFN_NOCHANGEDIR) && nameStart > 0)
        CurrentProcess().currentDirectory = path.substr(0, nameStart - 1);
    return TRUE;
}
} // namespace

BOOL WINAPI GetOpenFileNameW(LPOPENFILENAMEW ofn)
{
    return FileDialog(ofn, FileDialogKind::Open);
}

BOOL WINAPI GetSaveFileNameW(LPOPENFILENAMEW ofn)
{
    return FileDialog(ofn, FileDialogKind::Save);
}

DWORD WINAPI CommDlgExtendedError()
{
    std::lock_guard g(Desk().mu);
    return Desk().commDlgError;
}

PIDLIST_ABSOLUTE WINAPI SHBrowseForFolderW(LPBROWSEINFOW info)
{
    if (!info)
        return nullptr;
    auto pending = std::make_shared<PendingFileDialog>();
    pending->shown.kind = FileDialogKind::Folder;
    pending->shown.title = ToWString(info->lpszTitle);
    pending->shown.flags = info->ulFlags;
    {
        std::lock_guard g(Desk().mu);
        Desk().fileDialog = pending;
    }
    WaitForAnswer([pending] { return pending->answered; }, info->hwndOwner);
    std::lock_guard g(Desk().mu);
    if (Desk().fileDialog == pending)
        Desk().fileDialog.reset();
    if (!pending->path)
        return nullptr;
    WString path = *pending->path;
    if (info->pszDisplayName)
    {
        size_t slash = path.find_last_of(u'\\');
        CopyOut(slash == WString::npos ? WStringView(path) : WStringView(path).substr(slash + 1),
                info->pszDisplayName, MAX_PATH);
    }
    ULONG_PTR id = Desk().nextObject;
    Desk().nextObject += 4;
    Desk().folders[id] = path;
    return reinterpret_cast<PIDLIST_ABSOLUTE>(id);
}

BOOL WINAPI SHGetPathFromIDListW(PCIDLIST_ABSOLUTE list, LPWSTR path)
{
    std::lock_guard g(Desk().mu);
    auto it = Desk().folders.find(reinterpret_cast<ULONG_PTR>(list));
    if (it == Desk().folders.end() || !path)
        return FALSE;
    CopyOut(it->second, path, MAX_PATH);
    return TRUE;
}

void WINAPI CoTaskMemFree(LPVOID memory)
{
    std::lock_guard g(Desk().mu);
    Desk().folders.erase(reinterpret_cast<ULONG_PTR>(memory));
}

// ---- Drag and drop ----

UINT WINAPI DragQueryFileW(HDROP drop, UINT index, LPWSTR file, UINT count)
{
    std::lock_guard g(Desk().mu);
    auto it = Desk().drops.find(reinterpret_cast<ULONG_PTR>(drop));
    if (it == Desk().drops.end())
        return 0;
    const auto& files = it->second;
    if (index == 0xFFFFFFFF)
        return static_cast<UINT>(files.size());
    if (index >= files.size())
        return 0;
    if (!file)
        return static_cast<UINT>(files[index].size());
    if (count == 0)
        return 0;
    CopyOut(files[index], file, static_cast<int>(count));
    return static_cast<UINT>(std::min<size_t>(files[index].size(), count - 1));
}

BOOL WINAPI DragQueryPoint(HDROP drop, POINT* point)
{
    if (point)
        *point = POINT{10, 10};
    std::lock_guard g(Desk().mu);
    return Desk().drops.count(reinterpret_cast<ULONG_PTR>(drop)) ? TRUE : FALSE;
}

void WINAPI DragFinish(HDROP drop)
{
    std::lock_guard g(Desk().mu);
    Desk().drops.erase(reinterpret_cast<ULONG_PTR>(drop));
}

void WINAPI DragAcceptFiles(HWND window, BOOL accept)
{
    std::lock_guard g(Desk().mu);
    if (Window* w = FindLocked(window))
    {
        if (accept)
            w->exStyle |= WS_EX_ACCEPTFILES;
        else
            w->exStyle &= ~static_cast<DWORD>(WS_EX_ACCEPTFILES);
    }
}

// ---- Command lines ----

namespace
{
// The shell's rules: the program name ends at the next quote (quoted) or blank, without escapes; in
// later arguments 2n backslashes before a quote give n and toggle quoting, 2n+1 give n and a quote,
// and "" inside quotes gives a quote.
std::vector<WString> SplitCommandLine(WStringView line)
{
    std::vector<WString> args;
    size_t i = 0;
    WString first;
    if (i < line.size() && line[i] == u'"')
    {
        size_t end = line.find(u'"', 1);
        first = WString(line.substr(1, end == WStringView::npos ? WStringView::npos : end - 1));
        i = end == WStringView::npos ? line.size() : end + 1;
    }
    else
        while (i < line.size() && line[i] != u' ' && line[i] != u'\t')
            first += line[i++];
    args.push_back(first);
    for (;;)
    {
        while (i < line.size() && (line[i] == u' ' || line[i] == u'\t'))
            ++i;
        if (i >= line.size())
            break;
        WString arg;
        bool quoted = false;
        while (i < line.size() && (quoted || (line[i] != u' ' && line[i] != u'\t')))
        {
            if (line[i] == u'\\')
            {
                size_t n = 0;
                while (i < line.size() && line[i] == u'\\')
                {
                    ++n;
                    ++i;
                }
                if (i < line.size() && line[i] == u'"')
                {
                    arg.append(n / 2, u'\\');
                    if (n % 2)
                    {
                        arg += u'"';
                        ++i;
                    }
                }
                else
                    arg.append(n, u'\\');
            }
            else if (line[i] == u'"')
            {
                if (quoted && i + 1 < line.size() && line[i + 1] == u'"')
                {
                    arg += u'"';
                    i += 2;
                }
                else
                {
                    quoted = !quoted;
                    ++i;
                }
            }
            else
                arg += line[i++];
        }
        args.push_back(arg);
    }
    return args;
}
} // namespace

LPWSTR* WINAPI CommandLineToArgvW(LPCWSTR commandLine, int* count)
{
    if (!count)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::vector<WString> args;
    if (!commandLine || !*commandLine)
    {
        WCHAR self[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        args.push_back(self);
    }
    else
        args = SplitCommandLine(commandLine);
    // One block: the pointer array, then the texts, so that one LocalFree releases it.
    size_t bytes = (args.size() + 1) * sizeof(LPWSTR);
    for (const WString& a : args)
        bytes += (a.size() + 1) * sizeof(WCHAR);
    auto* block = static_cast<BYTE*>(std::calloc(1, bytes));
    if (!block)
    {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto* argv = reinterpret_cast<LPWSTR*>(block);
    auto* text = reinterpret_cast<WCHAR*>(block + (args.size() + 1) * sizeof(LPWSTR));
    for (size_t k = 0; k < args.size(); ++k)
    {
        argv[k] = text;
        std::copy(args[k].begin(), args[k].end(), text);
        text += args[k].size() + 1;
    }
    *count = static_cast<int>(args.size());
    return argv;
}

HLOCAL WINAPI LocalFree(HLOCAL memory)
{
    std::free(memory);
    return nullptr;
}

// ---- Formatting ----

int WINAPIV wsprintfW(LPWSTR buffer, LPCWSTR format, ...)
{
    // Supports what the package's programs format: %s %c %d %i %u %x %X %ld %lu %%, with flags '-'
    // and '0' and a width. Output stops at 1024 characters, as on Windows.
    va_list args;
    va_start(args, format);
    WString out;
    for (const WCHAR* p = format; p && *p; ++p)
    {
        if (*p != u'%')
        {
            out += *p;
            continue;
        }
        ++p;
        if (*p == u'%')
        {
            out += u'%';
            continue;
        }
        bool left = false, zero = false;
        for (; *p == u'-' || *p == u'0'; ++p)
            (*p == u'-' ? left : zero) = true;
        size_t width = 0;
        for (; *p >= u'0' && *p <= u'9'; ++p)
            width = width * 10 + static_cast<size_t>(*p - u'0');
        if (*p == u'l' || *p == u'h')
            ++p;
        WString field;
        switch (*p)
        {
        case u's': {
            const WCHAR* s = va_arg(args, const WCHAR*);
            field = s ? s : u"(null)";
            break;
        }
        case u'c':
            field = WString(1, static_cast<WCHAR>(va_arg(args, int)));
            break;
        case u'd':
        case u'i': {
            int v = va_arg(args, int);
            field = Widen(std::to_string(v));
            if (zero && v < 0 && width)
            {
                field.erase(0, 1);
                while (field.size() + 1 < width)
                    field.insert(field.begin(), u'0');
                field.insert(field.begin(), u'-');
            }
            break;
        }
        case u'u':
            field = Widen(std::to_string(va_arg(args, unsigned)));
            break;
        case u'x':
        case u'X': {
            unsigned v = va_arg(args, unsigned);
            const char* digits = *p == u'x' ? "0123456789abcdef" : "0123456789ABCDEF";
            do
            {
                field.insert(field.begin(), static_cast<WCHAR>(digits[v & 15]));
                v >>= 4;
            } while (v);
            break;
        }
        default:
            field = WString(1, *p);
            break;
        }
        while (field.size() < width)
            if (left)
                field.push_back(u' ');
            else
                field.insert(field.begin(), zero ? u'0' : u' ');
        out += field;
        if (!*p)
            break;
    }
    va_end(args);
    if (out.size() > 1024)
        out.resize(1024);
    CopyOut(out, buffer, 1025);
    return static_cast<int>(out.size());
}
