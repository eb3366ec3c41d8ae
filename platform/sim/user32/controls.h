// The built-in controls' window procedures and what they share.
#pragma once

#include "user32/desktop_internal.h"

namespace sim::detail
{
// Runs `f` on the window with the desktop locked; false when the window is gone.
template <typename F> auto With(HWND window, F f) -> decltype(f(std::declval<Window&>()))
{
    std::lock_guard g(Desk().mu);
    Window* w = FindLocked(window);
    if (!w)
        return {};
    return f(*w);
}

// The control's record of type T, made on its first message.
template <typename T> T& StateOf(Window& w)
{
    if (auto* state = dynamic_cast<T*>(w.control.get()))
        return *state;
    auto made = std::make_unique<T>();
    T& state = *made;
    w.control = std::move(made);
    return state;
}

// Runs `f` on the window and its control record with the desktop locked; false when the window is
// gone.
template <typename T, typename F>
auto WithState(HWND window, F f) -> decltype(f(std::declval<Window&>(), std::declval<T&>()))
{
    std::lock_guard g(Desk().mu);
    Window* w = FindLocked(window);
    if (!w)
        return {};
    return f(*w, StateOf<T>(*w));
}

inline HWND ParentOf(HWND window)
{
    return With(window, [](Window& w) { return w.parent; });
}

LRESULT CALLBACK EditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK StaticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK ButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK ListBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK ComboProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK UpDownProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK TrackBarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK ProgressProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK TabProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK ListViewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK IpAddressProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The state image of a list view row's check box; 0 when it shows none (no such row, no check boxes).
UINT ListViewCheckImage(HWND list, int row);
// The user's click on a list view row's check box, acted out on the list's thread: LVN_ITEMCHANGING,
// the state image toggled between 1 and 2 unless the parent refused, then NM_CLICK.
void ClickCheckBoxNow(HWND list, int row);

// The up-down control whose buddy the edit is, if any.
HWND UpDownOfBuddy(HWND edit);

} // namespace sim::detail
