// Windows: made and destroyed, their text, long values, state and relations.
#include "user32/desktop_internal.h"
#include "gdi/objects.h"
#include "user32/owner_draw.h"

#include <algorithm>

using namespace sim;
using namespace sim::detail;

HWND WINAPI CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y,
                            int width, int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param)
{
    SIM_FAULT_POINT("CreateWindowExW", nullptr);
    WNDCLASSEXW wc{};
    WString realName;
    if (!className || !ClassLookup(className, wc, realName))
    {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    auto self = SelfPtr();
    DWORD process = GetCurrentProcessId(); // before the desktop's lock, as the lock order says
    HWND handle;
    {
        std::lock_guard g(Desk().mu);
        Window* parentWindow = parent ? FindLocked(parent) : nullptr;
        if (parent && !parentWindow)
        {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        auto w = std::make_shared<Window>();
        handle = reinterpret_cast<HWND>(Desk().nextWindow);
        Desk().nextWindow += 4;
        w->handle = handle;
        w->className = realName;
        w->proc = wc.lpfnWndProc;
        w->style = style;
        w->exStyle = exStyle;
        w->text = ToWString(windowName);
        w->instance = instance;
        w->thread = self;
        w->processId = process;
        w->rect = RECT{x == CW_USEDEFAULT ? 0 : x, y == CW_USEDEFAULT ? 0 : y,
                       (x == CW_USEDEFAULT ? 0 : x) + (width == CW_USEDEFAULT ? 640 : width),
                       (y == CW_USEDEFAULT ? 0 : y) + (height == CW_USEDEFAULT ? 480 : height)};
        if (style & WS_CHILD)
        {
            w->parent = parent;
            w->id = reinterpret_cast<LONG_PTR>(menu);
            if (parentWindow)
                parentWindow->children.push_back(handle);
        }
        else
        {
            w->owner = parent;
            w->menu = menu;
        }
        Desk().windows[handle] = w;
    }
    CREATESTRUCTW cs{param,      instance,  menu,   parent, height, width, y, x, static_cast<LONG>(style),
                     windowName, className, exStyle};
    if (SendMessageW(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1)
    {
        DestroyWindow(handle);
        return nullptr;
    }
    if ((style & WS_VISIBLE) && !(style & WS_CHILD))
    {
        std::lock_guard g(Desk().mu);
        Desk().foreground = handle;
    }
    if (style & WS_VISIBLE)
        SchedulePaint(handle);
    return handle;
}

BOOL WINAPI DestroyWindow(HWND window)
{
    std::vector<HWND> children;
    std::vector<HWND> owned;
    {
        auto self = SelfPtr();
        std::lock_guard g(Desk().mu);
        Window* w = FindLocked(window);
        if (!w)
        {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        if (w->thread != self)
        {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        for (const auto& [h, other] : Desk().windows)
            if (other->owner == window)
                owned.push_back(h);
    }
    for (HWND h : owned)
        DestroyWindow(h);
    SendMessageW(window, WM_DESTROY, 0, 0);
    {
        std::lock_guard g(Desk().mu);
        if (Window* w = FindLocked(window))
            children = w->children;
    }
    for (HWND child : children)
        DestroyWindow(child);
    SendMessageW(window, WM_NCDESTROY, 0, 0);
    HFONT ownedFont = nullptr;
    {
        std::lock_guard g(Desk().mu);
        DesktopState& d = Desk();
        if (Window* w = FindLocked(window))
        {
            ownedFont = w->ownedFont;
            if (Window* p = w->parent ? FindLocked(w->parent) : nullptr)
                std::erase(p->children, window);
            d.windows.erase(window);
        }
        std::erase_if(d.timers, [&](const Timer& t) { return t.window == window; });
        if (d.foreground == window)
            d.foreground = nullptr;
        RescheduleLocked();
    }
    // Graphics after the desktop's lock, as the lock order says.
    if (ownedFont)
        DeleteObject(ownedFont);
    ForgetWindowPicture(window);
    return TRUE;
}

LRESULT WINAPI DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_SETTEXT: {
        std::lock_guard g(Desk().mu);
        if (Window* w = FindLocked(window))
            w->text = ToWString(reinterpret_cast<LPCWSTR>(lParam));
        return TRUE;
    }
    case WM_GETTEXT: {
        std::lock_guard g(Desk().mu);
        Window* w = FindLocked(window);
        if (!w || wParam == 0)
            return 0;
        CopyOut(w->text, reinterpret_cast<LPWSTR>(lParam), static_cast<int>(wParam));
        return static_cast<LRESULT>(std::min<size_t>(w->text.size(), wParam - 1));
    }
    case WM_GETTEXTLENGTH: {
        std::lock_guard g(Desk().mu);
        Window* w = FindLocked(window);
        return w ? static_cast<LRESULT>(w->text.size()) : 0;
    }
    case WM_SETICON: {
        std::lock_guard g(Desk().mu);
        Window* w = FindLocked(window);
        if (!w || wParam > 1)
            return 0;
        HICON old = w->icons[wParam];
        w->icons[wParam] = reinterpret_cast<HICON>(lParam);
        return reinterpret_cast<LRESULT>(old);
    }
    case WM_SETFONT: // what the controls keep; a window of no control class keeps it as well
    {
        std::lock_guard g(Desk().mu);
        if (Window* w = FindLocked(window))
            w->font = reinterpret_cast<HFONT>(wParam);
        return 0;
    }
    case WM_GETFONT: {
        std::lock_guard g(Desk().mu);
        Window* w = FindLocked(window);
        return w ? reinterpret_cast<LRESULT>(w->font) : 0;
    }
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_DROPFILES:
        DragFinish(reinterpret_cast<HDROP>(wParam));
        return 0;
    case WM_CONTEXTMENU:
    case WM_HELP: {
        // A child passes these on to its parent.
        HWND parent = nullptr;
        {
            std::lock_guard g(Desk().mu);
            if (Window* w = FindLocked(window); w && (w->style & WS_CHILD))
                parent = w->parent;
        }
        return parent ? SendMessageW(parent, message, wParam, lParam) : 0;
    }
    default:
        return 0;
    }
}

LRESULT WINAPI CallWindowProcW(WNDPROC proc, HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return proc ? proc(window, message, wParam, lParam) : 0;
}

BOOL WINAPI IsWindow(HWND window)
{
    std::lock_guard g(Desk().mu);
    return FindLocked(window) ? TRUE : FALSE;
}

BOOL WINAPI IsWindowVisible(HWND window)
{
    std::lock_guard g(Desk().mu);
    if (!WindowOrErrorLocked(window))
        return FALSE;
    for (Window* w = FindLocked(window); w; w = w->parent ? FindLocked(w->parent) : nullptr)
        if (!(w->style & WS_VISIBLE))
            return FALSE;
    return TRUE;
}

BOOL WINAPI IsWindowEnabled(HWND window)
{
    std::lock_guard g(Desk().mu);
    Window* w = WindowOrErrorLocked(window);
    return w && !(w->style & WS_DISABLED) ? TRUE : FALSE;
}

BOOL WINAPI EnableWindow(HWND window, BOOL enable)
{
    bool wasDisabled;
    {
        std::lock_guard g(Desk().mu);
        Window* w = WindowOrErrorLocked(window);
        if (!w)
            return FALSE;
        wasDisabled = (w->style & WS_DISABLED) != 0;
        if (enable)
            w->style &= ~static_cast<DWORD>(WS_DISABLED);
        else
            w->style |= WS_DISABLED;
    }
    if (wasDisabled != !enable)
        SendMessageW(window, WM_ENABLE, enable ? TRUE : FALSE, 0);
    return wasDisabled ? TRUE : FALSE;
}

BOOL WINAPI SetWindowTextW(HWND window, LPCWSTR text)
{
    if (!IsWindow(window))
    {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : u"")) ? TRUE : FALSE;
}

int WINAPI GetWindowTextW(HWND window, LPWSTR text, int maxCount)
{
    if (!text || maxCount <= 0)
        return 0;
    if (IsOwnThread(window))
        return static_cast<int>(SendMessageW(window, WM_GETTEXT, maxCount, reinterpret_cast<LPARAM>(text)));
    std::lock_guard g(Desk().mu);
    Window* w = FindLocked(window);
    if (!w)
    {
        text[0] = 0;
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    CopyOut(w->text, text, maxCount);
    return static_cast<int>(std::min<size_t>(w->text.size(), maxCount - 1));
}

int WINAPI GetWindowTextLengthW(HWND window)
{
    if (IsOwnThread(window))
        return static_cast<int>(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0));
    std::lock_guard g(Desk().mu);
    Window* w = WindowOrErrorLocked(window);
    return w ? static_cast<int>(w->text.size()) : 0;
}

int WINAPI GetClassNameW(HWND window, LPWSTR className, int maxCount)
{
    std::lock_guard g(Desk().mu);
    Window* w = WindowOrErrorLocked(window);
    if (!w || !className || maxCount <= 0)
        return 0;
    CopyOut(w->className, className, maxCount);
    return static_cast<int>(std::min<size_t>(w->className.size(), maxCount - 1));
}

LONG_PTR WINAPI GetWindowLongPtrW(HWND window, int index)
{
    std::lock_guard g(Desk().mu);
    Window* w = FindLocked(window);
    if (!w)
    {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    switch (index)
    {
    case GWLP_WNDPROC:
        return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_HINSTANCE:
        return reinterpret_cast<LONG_PTR>(w->instance);
    case GWLP_HWNDPARENT:
        return reinterpret_cast<LONG_PTR>(w->parent ? w->parent : w->owner);
    case GWLP_ID:
        return w->id;
    case GWL_STYLE:
        return static_cast<LONG_PTR>(w->style);
    case GWL_EXSTYLE:
        return static_cast<LONG_PTR>(w->exStyle);
    case GWLP_USERDATA:
        return w->userData;
    default:
        break;
    }
    if (w->isDialog)
    {
        if (index == static_cast<int>(DWLP_MSGRESULT))
            return w->msgResult;
        if (index == static_cast<int>(DWLP_DLGPROC))
            return reinterpret_cast<LONG_PTR>(w->dialogProc);
        if (index == static_cast<int>(DWLP_USER))
            return w->dialogUser;
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
}

LONG_PTR WINAPI SetWindowLongPtrW(HWND window, int index, LONG_PTR value)
{
    std::lock_guard g(Desk().mu);
    Window* w = FindLocked(window);
    if (!w)
    {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    LONG_PTR old = 0;
    auto swap = [&](auto& field, auto v) {
        old = static_cast<LONG_PTR>(reinterpret_cast<intptr_t>(reinterpret_cast<void*>(field)));
        field = v;
    };
    switch (index)
    {
    case GWLP_WNDPROC:
        swap(w->proc, reinterpret_cast<WNDPROC>(value));
        return old;
    case GWLP_HWNDPARENT:
        old = reinterpret_cast<LONG_PTR>(w->owner);
        w->owner = reinterpret_cast<HWND>(value);
        return old;
    case GWLP_ID:
        old = w->id;
        w->id = value;
        return old;
    case GWL_STYLE:
        old = static_cast<LONG_PTR>(w->style);
        w->style = static_cast<DWORD>(value);
        return old;
    case GWL_EXSTYLE:
        old = static_cast<LONG_PTR>(w->exStyle);
        w->exStyle = static_cast<DWORD>(value);
        return old;
    case GWLP_USERDATA:
        old = w->userData;
        w->userData = value;
        return old;
    default:
        break;
    }
    if (w->isDialog)
    {
        if (index == static_cast<int>(DWLP_MSGRESULT))
        {
            old = w->msgResult;
            w->msgResult = value;
            return old;
        }
        if (index == static_cast<int>(DWLP_DLGPROC))
        {
            swap(w->dialogProc, reinterpret_cast<DLGPROC>(value));
            return old;
        }
        if (index == static_cast<int>(DWLP_USER))
        {
            old = w->dialogUser;
            w->dialogUser = value;
            return old;
        }
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
}

LONG WINAPI GetWindowLongW(HWND window, int index)
{
    return static_cast<LONG>(GetWindowLongPtrW(window, index));
}

LONG WINAPI SetWindowLongW(HWND window, int index, LONG value)
{
    return static_cast<LONG>(SetWindowLongPtrW(window, index, value));
}

HWND WINAPI GetParent(HWND window)
{
    std::lock_guard g(Desk().mu);
    Window* w = WindowOrErrorLocked(window);
    if (!w)
        return nullptr;
    return (w->style & WS_CHILD) ? w->parent : w->owner;
}

HWND WINAPI GetWindow(HWND window, UINT relation)
{
    std::lock_guard g(Desk().mu);
    Window* w = WindowOrErrorLocked(window);
    if (!w)
        return nullptr;
    if (relation == GW_OWNER)
        return w->owner;
    if (relation == GW_CHILD)
        return w->children.empty() ? nullptr : w->children.front();
    Window* p = w->parent ? FindLocked(w->parent) : nullptr;
    if (!p)
        return nullptr;
    auto& sib = p->children;
    auto it = std::find(sib.begin(), sib.end(), window);
    switch (relation)
    {
    case GW_HWNDFIRST:
        return sib.front();
    case GW_HWNDLAST:
        return sib.back();
    case GW_HWNDNEXT:
        return it + 1 < sib.end() ? *(it + 1) : nullptr;
    case GW_HWNDPREV:
        return it != sib.begin() ? *(it - 1) : nullptr;
    default:
        return nullptr;
    }
}

HWND WINAPI GetAncestor(HWND window, UINT flags)
{
    std::lock_guard g(Desk().mu);
    Window* w = WindowOrErrorLocked(window);
    if (!w)
        return nullptr;
    if (flags == GA_PARENT)
        return w->parent;
    while (w->parent && FindLocked(w->parent))
        w = FindLocked(w->parent);
    if (flags == GA_ROOTOWNER)
        while (w->owner && FindLocked(w->owner))
            w = FindLocked(w->owner);
    return w->handle;
}

HWND WINAPI FindWindowW(LPCWSTR className, LPCWSTR windowName)
{
    std::lock_guard g(Desk().mu);
    for (const auto& [h, w] : Desk().windows)
    {
        if (w->parent)
            continue;
        if (className && !IS_INTRESOURCE(className) && !EqualNoCase(w->className, className))
            continue;
        if (windowName && !EqualNoCase(w->text, windowName)) // titles compare without case, as on Windows
            continue;
        return h;
    }
    return nullptr;
}

DWORD WINAPI GetWindowThreadProcessId(HWND window, LPDWORD processId)
{
    if (window && window == GetShellWindow())
    {
        if (processId)
            *processId = ShellProcessId();
        return ShellProcessId() + 1; // the shell's thread
    }
    std::lock_guard g(Desk().mu);
    Window* w = WindowOrErrorLocked(window);
    if (!w)
        return 0;
    if (processId)
        *processId = w->processId;
    return w->thread->id;
}

// Top-level windows of every process on the desktop, in the order they were made; the callback
// runs without the desktop's lock, so it may make or destroy windows.
BOOL WINAPI EnumWindows(WNDENUMPROC callback, LPARAM lParam)
{
    if (!callback)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::vector<HWND> topLevel;
    {
        std::lock_guard g(Desk().mu);
        for (const auto& [h, w] : Desk().windows)
            if (!w->parent)
                topLevel.push_back(h);
    }
    for (HWND h : topLevel)
        if (IsWindow(h) && !callback(h, lParam))
            return FALSE;
    return TRUE;
}
