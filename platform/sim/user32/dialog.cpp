// Dialogs from templates, their modal loop and the dialog item functions.
#include "user32/desktop_internal.h"
#include "rc/resources.h"

#include <algorithm>

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
    // The template's font goes to the dialog and to every control, as the dialog manager sends it.
    HFONT font = nullptr;
    if ((t->style & DS_SETFONT) && t->fontPoints > 0)
    {
        LOGFONTW lf{};
        lf.lfHeight = -MulDiv(t->fontPoints, 96, 72);
        lf.lfWeight = t->fontWeight;
        lf.lfItalic = t->fontItalic ? 1 : 0;
        lf.lfCharSet = static_cast<BYTE>(t->fontCharset);
        std::copy_n(t->fontFace.begin(), std::min<size_t>(t->fontFace.size(), LF_FACESIZE - 1),
                    lf.lfFaceName);
        font = CreateFontIndirectW(&lf);
        {
            std::lock_guard g(Desk().mu);
            if (Window* w = FindLocked(dialog))
                w->ownedFont = font;
        }
        SendMessageW(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    HWND firstTab = nullptr;
    for (const DialogControl& c : t->controls)
    {
        WString text = c.text;
        const FaultWatch watch;
        HWND control = CreateWindowExW(
            c.exStyle | WS_EX_NOPARENTNOTIFY, c.className.c_str(),
            (c.style & 0x1F) == SS_ICON && EqualNoCase(c.className, WC_STATICW) ? u"" : text.c_str(), c.style,
            c.x * kBaseX / 4, c.y * kBaseY / 8, c.cx * kBaseX / 4, c.cy * kBaseY / 8, dialog,
            reinterpret_cast<HMENU>(static_cast<LONG_PTR>(c.id)), instance, nullptr);
        if (!control)
        {
            const DWORD error = GetLastError();
            // A control the system could not make is the machine's failure, which the dialog survives
            // only when its template says so; one that cannot be made at all is a broken template.
            if (watch.Fired() && (t->style & DS_NOFAILCREATE))
                continue;
            if (!watch.Fired())
                ReportFailure("cannot create a dialog control of class " + ToUtf8(c.className) + " (error " +
                              std::to_string(error) + ")");
            DestroyWindow(dialog);
            SetLastError(error);
            return nullptr;
        }
        if (font)
            SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
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

BOOL WINAPI MapDialogRect(HWND dialog, LPRECT rect)
{
    {
        std::lock_guard g(Desk().mu);
        if (!WindowOrErrorLocked(dialog))
            return FALSE;
    }
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
    Window* w = WindowOrErrorLocked(dialog);
    if (!w)
        return nullptr;
    for (HWND h : w->children)
        if (Window* c = FindLocked(h); c && static_cast<int>(c->id) == id)
            return h;
    SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
    return nullptr;
}

int WINAPI GetDlgCtrlID(HWND window)
{
    std::lock_guard g(Desk().mu);
    Window* w = WindowOrErrorLocked(window);
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
