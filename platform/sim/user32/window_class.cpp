// Window classes: a program's own belong to its process, the built-in ones to everyone.
#include "user32/desktop_internal.h"

using namespace sim;
using namespace sim::detail;

namespace sim::detail
{
WString ClassKey(LPCWSTR name)
{
    if (IS_INTRESOURCE(name))
        return u"#" + detail::Widen(std::to_string(reinterpret_cast<ULONG_PTR>(name)));
    return Fold(name);
}

namespace
{
// A program's own classes belong to its process, as on Windows; the system's are everyone's.
WString ProcessClassKey(LPCWSTR name)
{
    return detail::Widen(std::to_string(GetCurrentProcessId())) + u":" + ClassKey(name);
}
} // namespace

bool ClassLookup(LPCWSTR name, WNDCLASSEXW& wc, WString& realName)
{
    RegisterBuiltInClasses();
    WString key = ProcessClassKey(name); // the process is looked up before the desktop's lock
    std::lock_guard g(Desk().mu);
    auto it = Desk().classes.find(key);
    if (it == Desk().classes.end())
        it = Desk().classes.find(key = ClassKey(name));
    if (it == Desk().classes.end())
        return false;
    wc = it->second;
    realName = Desk().classNames[key];
    return true;
}

void RegisterClassLocked(const WNDCLASSEXW& wc, WStringView name)
{
    WString key = Fold(name);
    Desk().classes[key] = wc;
    Desk().classNames[key] = WString(name);
}
} // namespace sim::detail

ATOM WINAPI RegisterClassExW(const WNDCLASSEXW* wc)
{
    if (!wc || !wc->lpszClassName || !wc->lpfnWndProc)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    RegisterBuiltInClasses();
    WString key = ProcessClassKey(wc->lpszClassName); // before the desktop's lock, as the lock order says
    std::lock_guard g(Desk().mu);
    if (Desk().classes.count(key))
    {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    Desk().classes[key] = *wc;
    Desk().classNames[key] = ToWString(wc->lpszClassName);
    return static_cast<ATOM>(0xC000 + Desk().classes.size());
}

ATOM WINAPI RegisterClassW(const WNDCLASSW* wc)
{
    if (!wc)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    WNDCLASSEXW ex{sizeof(WNDCLASSEXW), wc->style,        wc->lpfnWndProc,   wc->cbClsExtra,
                   wc->cbWndExtra,      wc->hInstance,    wc->hIcon,         wc->hCursor,
                   wc->hbrBackground,   wc->lpszMenuName, wc->lpszClassName, nullptr};
    return RegisterClassExW(&ex);
}

BOOL WINAPI UnregisterClassW(LPCWSTR className, HINSTANCE)
{
    WString key = ProcessClassKey(className); // before the desktop's lock, as the lock order says
    std::lock_guard g(Desk().mu);
    return Desk().classes.erase(key) ? TRUE : FALSE;
}
