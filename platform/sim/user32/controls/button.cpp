// Buttons, check boxes and radio buttons with their groups.
#include "user32/controls.h"

#include <algorithm>

using namespace sim;
using namespace sim::detail;

namespace
{
DWORD ButtonType(DWORD style)
{
    return style & BS_TYPEMASK;
}

bool IsRadio(DWORD style)
{
    return ButtonType(style) == BS_RADIOBUTTON || ButtonType(style) == BS_AUTORADIOBUTTON;
}

// The radio buttons of the button's group: from the last WS_GROUP sibling before it to the next.
std::vector<HWND> GroupOfLocked(Window& button)
{
    std::vector<HWND> group;
    Window* parent = button.parent ? FindLocked(button.parent) : nullptr;
    if (!parent)
        return group;
    auto& sib = parent->children;
    auto me = std::find(sib.begin(), sib.end(), button.handle);
    auto start = me;
    while (start != sib.begin())
    {
        Window* w = FindLocked(*start);
        if (w && (w->style & WS_GROUP))
            break;
        --start;
    }
    for (auto it = start; it != sib.end(); ++it)
    {
        Window* w = FindLocked(*it);
        if (!w)
            continue;
        if (it != start && (w->style & WS_GROUP))
            break;
        if (EqualNoCase(w->className, WC_BUTTONW) && IsRadio(w->style))
            group.push_back(*it);
    }
    return group;
}
} // namespace

namespace sim::detail
{
LRESULT CALLBACK ButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case BM_GETCHECK:
        return With(window, [](Window& w) { return static_cast<LRESULT>(w.check); });
    case BM_SETCHECK:
        With(window, [&](Window& w) {
            DWORD type = ButtonType(w.style);
            if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || IsRadio(w.style) || type == BS_3STATE ||
                type == BS_AUTO3STATE)
                w.check = static_cast<int>(wParam);
            return true;
        });
        return 0;
    case BM_GETSTATE:
        return With(window, [](Window& w) { return static_cast<LRESULT>(w.check); });
    case BM_SETSTYLE:
        With(window, [&](Window& w) {
            w.style = (w.style & ~0xFFFFul) | (wParam & 0xFFFF);
            return true;
        });
        return 0;
    case BM_CLICK: {
        bool enabled = With(window, [](Window& w) { return !(w.style & WS_DISABLED); });
        if (!enabled)
            return 0;
        std::vector<HWND> uncheck;
        With(window, [&](Window& w) {
            switch (ButtonType(w.style))
            {
            case BS_AUTOCHECKBOX:
                w.check = w.check ? BST_UNCHECKED : BST_CHECKED;
                break;
            case BS_AUTO3STATE:
                w.check = (w.check + 1) % 3;
                break;
            case BS_AUTORADIOBUTTON:
                for (HWND h : GroupOfLocked(w))
                    if (h != w.handle)
                        uncheck.push_back(h);
                w.check = BST_CHECKED;
                break;
            default:
                break;
            }
            return true;
        });
        for (HWND h : uncheck)
            SendMessageW(h, BM_SETCHECK, BST_UNCHECKED, 0);
        NotifyCommand(window, BN_CLICKED);
        return 0;
    }
    case BCM_SETNOTE:
    case BCM_SETSHIELD:
        return TRUE;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}
} // namespace sim::detail
