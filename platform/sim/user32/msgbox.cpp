// Message boxes, answered by the scripted user. A box stands centred on the screen; a thread with a
// CBT hook sees it activate as a window of the dialog class, and may move it before it shows.
#include "user32/desktop_internal.h"
#include "user32/hooks.h"

using namespace sim;
using namespace sim::detail;

namespace
{
constexpr int kBoxWidth = 360;
constexpr int kBoxHeight = 160;

RECT ScreenCentred()
{
    int x = (GetSystemMetrics(SM_CXSCREEN) - kBoxWidth) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - kBoxHeight) / 2;
    return RECT{x, y, x + kBoxWidth, y + kBoxHeight};
}
} // namespace

int WINAPI MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    SIM_FAULT_POINT("MessageBoxW", 0);
    // A box of a service's process waits on a desktop no user sees: its thread would never go on.
    if (CurrentProcess().sessionId == 0)
    {
        ReportFailure("MessageBoxW in session 0: nobody can answer it");
        return 0;
    }
    auto box = std::make_shared<PendingMessageBox>();
    box->shown = MessageBoxShown{ToWString(text), caption ? WString(caption) : WString(u"Error"), type,
                                 ScreenCentred()};
    // The box is a window: one the system cannot make is no box, and 0 tells the caller so. Only a
    // hook sees that window; elsewhere its making is the fault point alone.
    HWND window = nullptr;
    if (HasHooks(WH_CBT))
    {
        RECT r = box->shown.rect;
        window = CreateWindowExW(0, u"#32770", box->shown.caption.c_str(), WS_POPUP | WS_CAPTION | WS_SYSMENU,
                                 r.left, r.top, r.right - r.left, r.bottom - r.top, owner, nullptr, nullptr,
                                 nullptr);
        if (!window)
            return 0;
        CallHooks(WH_CBT, HCBT_ACTIVATE, reinterpret_cast<WPARAM>(window), 0);
        GetWindowRect(window, &box->shown.rect);
    }
    else
        SIM_FAULT_POINT("CreateWindowExW", 0);
    {
        std::lock_guard g(Desk().mu);
        Desk().messageBox = box;
        Desk().messageBoxHistory.push_back(box->shown);
    }
    WaitForAnswer([box] { return box->answer.has_value(); }, owner);
    if (window)
        DestroyWindow(window);
    std::lock_guard g(Desk().mu);
    if (Desk().messageBox == box)
        Desk().messageBox.reset();
    return box->answer.value_or(0);
}

BOOL WINAPI MessageBeep(UINT)
{
    return TRUE;
}
