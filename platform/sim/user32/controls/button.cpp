// Buttons, check boxes and radio buttons with their groups.
#include "user32/controls.h"
#include "user32/owner_draw.h"

#include <algorithm>

using namespace sim;
using namespace sim::detail;

namespace
{
struct ButtonState : ControlState
{
    int check = BST_UNCHECKED;
    WString note;
    bool shield = false;
    BUTTON_IMAGELIST images{};
    int CheckState() const override { return check; }
};

bool IsCommandLink(DWORD style)
{
    DWORD type = style & BS_TYPEMASK;
    return type == BS_COMMANDLINK || type == BS_DEFCOMMANDLINK;
}

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
    case WM_PAINT:
        if (PaintOwnerDrawn(window))
            return 0;
        return DefWindowProcW(window, message, wParam, lParam);
    case BM_GETCHECK:
        return WithState<ButtonState>(window,
                                      [](Window&, ButtonState& s) { return static_cast<LRESULT>(s.check); });
    case BM_SETCHECK:
        WithState<ButtonState>(window, [&](Window& w, ButtonState& s) {
            DWORD type = ButtonType(w.style);
            if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || IsRadio(w.style) || type == BS_3STATE ||
                type == BS_AUTO3STATE)
                s.check = static_cast<int>(wParam);
            return true;
        });
        return 0;
    case BM_GETSTATE:
        return WithState<ButtonState>(window,
                                      [](Window&, ButtonState& s) { return static_cast<LRESULT>(s.check); });
    case BM_SETSTYLE:
        WithState<ButtonState>(window, [&](Window& w, ButtonState&) {
            w.style = (w.style & ~0xFFFFul) | (wParam & 0xFFFF);
            return true;
        });
        return 0;
    case BM_CLICK: {
        bool enabled =
            WithState<ButtonState>(window, [](Window& w, ButtonState&) { return !(w.style & WS_DISABLED); });
        if (!enabled)
            return 0;
        std::vector<HWND> uncheck;
        WithState<ButtonState>(window, [&](Window& w, ButtonState& s) {
            switch (ButtonType(w.style))
            {
            case BS_AUTOCHECKBOX:
                s.check = s.check ? BST_UNCHECKED : BST_CHECKED;
                break;
            case BS_AUTO3STATE:
                s.check = (s.check + 1) % 3;
                break;
            case BS_AUTORADIOBUTTON:
                for (HWND h : GroupOfLocked(w))
                    if (h != w.handle)
                        uncheck.push_back(h);
                s.check = BST_CHECKED;
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
    case BCM_SETNOTE: // only command links carry a note
        return WithState<ButtonState>(window, [&](Window& w, ButtonState& s) -> LRESULT {
            if (!IsCommandLink(w.style))
                return FALSE;
            s.note = ToWString(reinterpret_cast<LPCWSTR>(lParam));
            return TRUE;
        });
    case BCM_GETNOTELENGTH:
        return WithState<ButtonState>(
            window, [](Window&, ButtonState& s) { return static_cast<LRESULT>(s.note.size()); });
    case BCM_GETNOTE:
        return WithState<ButtonState>(window, [&](Window& w, ButtonState& s) -> LRESULT {
            auto* size = reinterpret_cast<DWORD*>(wParam);
            auto* out = reinterpret_cast<LPWSTR>(lParam);
            if (!IsCommandLink(w.style) || !size || !out || *size <= s.note.size())
            {
                if (size)
                    *size = static_cast<DWORD>(s.note.size() + 1);
                SetLastError(ERROR_INSUFFICIENT_BUFFER);
                return FALSE;
            }
            CopyOut(s.note, out, static_cast<int>(*size));
            return TRUE;
        });
    case BCM_SETSHIELD:
        return WithState<ButtonState>(window, [&](Window&, ButtonState& s) -> LRESULT {
            s.shield = lParam != 0;
            return 1;
        });
    case BCM_SETIMAGELIST:
        return WithState<ButtonState>(window, [&](Window&, ButtonState& s) -> LRESULT {
            auto* images = reinterpret_cast<const BUTTON_IMAGELIST*>(lParam);
            if (!images)
                return FALSE;
            s.images = *images;
            return TRUE;
        });
    case BCM_GETIMAGELIST:
        return WithState<ButtonState>(window, [&](Window&, ButtonState& s) -> LRESULT {
            auto* images = reinterpret_cast<BUTTON_IMAGELIST*>(lParam);
            if (!images)
                return FALSE;
            *images = s.images;
            return TRUE;
        });
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}
ButtonLook ButtonLookOf(HWND window)
{
    ButtonLook look;
    HIMAGELIST list = nullptr;
    With(window, [&](Window& w) {
        auto* state = dynamic_cast<ButtonState*>(w.control.get());
        if (!state)
            return false; // not a button, or one nobody has set anything on
        const ButtonState& s = *state;
        look.note = s.note;
        look.shield = s.shield;
        look.imageMargin = s.images.margin;
        look.imageAlign = s.images.uAlign;
        list = s.images.himl;
        return true;
    });
    if (list)
        look.images = ImageListOf(list);
    return look;
}
} // namespace sim::detail

namespace sim
{
ButtonLook Desktop::Button(HWND button) const
{
    return detail::ButtonLookOf(button);
}
} // namespace sim
