#include "msgbox.h"

#include "ini.h"
#include "os_index.h"
#include "text.h"

namespace uninstall
{
namespace
{
// The one box being centred by this thread.
thread_local HHOOK t_hook = nullptr;
thread_local HWND t_owner = nullptr;

LRESULT CALLBACK CentreOnActivate(int code, WPARAM wParam, LPARAM lParam)
{
    HHOOK hook = t_hook;
    if (code == HCBT_ACTIVATE && hook)
    {
        t_hook = nullptr;
        UnhookWindowsHookEx(hook);
        CentreWindow(reinterpret_cast<HWND>(wParam), t_owner);
        return 0;
    }
    return CallNextHookEx(hook, code, wParam, lParam);
}

RECT Screen()
{
    return RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

// The whole rectangle of the display nearest to `window`.
RECT MonitorArea(HWND window)
{
    MONITORINFO info{};
    info.cbSize = sizeof info;
    HMONITOR monitor = MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST);
    if (!monitor || !GetMonitorInfoW(monitor, &info))
        return Screen();
    return info.rcMonitor;
}
} // namespace

void CentreWindow(HWND window, HWND owner)
{
    RECT rect{};
    if (!GetWindowRect(window, &rect))
        return;
    WORD os = State().osIndex;
    bool old = os == kOs95 || os == kOsNt4;
    bool overOwner = owner && IsWindowVisible(owner);
    RECT area = Screen();
    if (old)
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    else // a box centred over its owner stays on the owner's display, wherever it first appeared
        area = MonitorArea(overOwner ? owner : window);
    RECT over = area;
    if (overOwner)
        GetWindowRect(owner, &over);
    RECT placed = CentreRect(rect, over, area);
    SetWindowPos(window, nullptr, placed.left, placed.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int IniMessageBox(HWND owner, const char* iniPath, const char* section, const char* textKey,
                  const char* captionKey, UINT style, const char* argument, bool centreOnOwner)
{
    UninstallState& state = State();
    std::string caption = IniString(iniPath, section, captionKey, "Error Message", 255);
    std::string text = ExpandEscapes(IniString(iniPath, section, textKey, "Error!", 2047));
    if (argument)
        text = FormatWithArgument(text, argument, 2047 + MAX_PATH);
    style |= MB_SETFOREGROUND;
    if (state.rtlLayout)
        style |= MB_RTLREADING;
    if (centreOnOwner && owner && state.osIndex != kOs95 && !t_hook)
    {
        t_owner = owner;
        t_hook = SetWindowsHookExA(WH_CBT, CentreOnActivate, nullptr, GetCurrentThreadId());
    }
    int result = MessageBoxA(owner, text.c_str(), caption.c_str(), style);
    if (t_hook) // the box never activated
    {
        UnhookWindowsHookEx(t_hook);
        t_hook = nullptr;
    }
    return result;
}

} // namespace uninstall
