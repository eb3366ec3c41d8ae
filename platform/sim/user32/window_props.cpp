// Window properties, named by string or atom.
#include "user32/desktop_internal.h"

using namespace sim;
using namespace sim::detail;

BOOL WINAPI SetPropW(HWND window, LPCWSTR name, HANDLE data)
{
    std::lock_guard g(Desk().mu);
    Window* w = WindowOrErrorLocked(window);
    if (!w || !name)
        return FALSE;
    w->props[ClassKey(name)] = data;
    return TRUE;
}

HANDLE WINAPI GetPropW(HWND window, LPCWSTR name)
{
    std::lock_guard g(Desk().mu);
    Window* w = WindowOrErrorLocked(window);
    if (!w || !name)
        return nullptr;
    auto it = w->props.find(ClassKey(name));
    return it == w->props.end() ? nullptr : it->second;
}

HANDLE WINAPI RemovePropW(HWND window, LPCWSTR name)
{
    std::lock_guard g(Desk().mu);
    Window* w = WindowOrErrorLocked(window);
    if (!w || !name)
        return nullptr;
    auto it = w->props.find(ClassKey(name));
    if (it == w->props.end())
        return nullptr;
    HANDLE h = it->second;
    w->props.erase(it);
    return h;
}
