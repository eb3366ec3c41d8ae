#include "msgbox.h"

#include "ini.h"
#include "log.h"
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
    DWORD error = GetLastError();
    if (t_hook) // the box never activated
    {
        UnhookWindowsHookEx(t_hook);
        t_hook = nullptr;
    }
    if (result == 0)
    {
        SetLastError(error);
        ReportRefusedWindow(owner);
    }
    return result;
}

int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT style)
{
    int result = MessageBoxA(owner, text, caption, style);
    if (result == 0)
        ReportRefusedWindow(owner);
    return result;
}

void ReportRefusedWindow(HWND owner)
{
    UninstallState& state = State();
    DWORD error = GetLastError();
    // A refusal that set no error still must not pass for success.
    state.windowError = error ? error : ERROR_NOT_ENOUGH_MEMORY;
    LogPrint("  Window Error(%lu).", static_cast<unsigned long>(state.windowError));
    if (state.options & kOptionSilent)
        return;
    std::string caption = IniString(state.uiIniPath, "ERROR", "TITLE", "Error Message", 255);
    UINT style = MB_ICONEXCLAMATION | MB_SETFOREGROUND | (state.rtlLayout ? MB_RTLREADING : 0);
    // The owner may be the window that could not be finished: the box then stands alone.
    if (MessageBoxA(owner && IsWindow(owner) ? owner : nullptr, SystemErrorText(state.windowError).c_str(),
                    caption.c_str(), style))
        LogPrint("[MessageBox] : Window Error");
}

std::string SystemErrorText(DWORD error)
{
    char* text = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, error, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string message = n && text ? std::string(text, n) : "Error " + std::to_string(error);
    if (text)
        LocalFree(text);
    return message;
}

} // namespace uninstall
