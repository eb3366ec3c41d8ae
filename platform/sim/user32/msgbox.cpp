// Message boxes, answered by the scripted user.
#include "user32/desktop_internal.h"

using namespace sim;
using namespace sim::detail;

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

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    WString wideText = text ? Widen(text) : WString();
    WString wideCaption = caption ? Widen(caption) : WString();
    return MessageBoxW(owner, text ? wideText.c_str() : nullptr, caption ? wideCaption.c_str() : nullptr, type);
}

BOOL WINAPI MessageBeep(UINT)
{
    return TRUE;
}
