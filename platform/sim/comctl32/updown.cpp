// Up-down controls: a position within a range, shown in a buddy and stepped by the arrows.
#include "user32/controls.h"

#include <algorithm>

using namespace sim;
using namespace sim::detail;

namespace
{
WString FormatPosition(int value, bool thousands)
{
    WString digits = Widen(std::to_string(value < 0 ? -static_cast<long long>(value) : value));
    if (thousands)
        for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3)
            digits.insert(static_cast<size_t>(i), 1, u',');
    return value < 0 ? u"-" + digits : digits;
}

// Shows the position in the buddy, leaving a buddy that already shows it alone: rewriting it would
// send the buddy's change notification again.
void UpdateBuddy(HWND upDown)
{
    HWND buddy = nullptr;
    WString text;
    With(upDown, [&](Window& w) {
        if (w.style & UDS_SETBUDDYINT)
        {
            buddy = w.buddy;
            text = FormatPosition(w.pos, !(w.style & UDS_NOTHOUSANDS));
        }
        return true;
    });
    if (!buddy || !IsWindow(buddy))
        return;
    WCHAR current[64] = {};
    GetWindowTextW(buddy, current, 64);
    if (text != current)
        SetWindowTextW(buddy, text.c_str());
}

// The position from the buddy's text, as the control reads it before it reports or steps.
bool SyncFromBuddy(HWND upDown)
{
    HWND buddy = With(upDown, [](Window& w) { return (w.style & UDS_SETBUDDYINT) ? w.buddy : HWND{}; });
    if (!buddy)
        return true;
    WCHAR text[64] = {};
    GetWindowTextW(buddy, text, 64);
    WString digits;
    for (WCHAR* p = text; *p; ++p)
        if (*p != u',')
            digits += *p;
    if (digits.empty())
        return false;
    size_t i = digits[0] == u'-' ? 1 : 0;
    if (i == digits.size())
        return false;
    long long v = 0;
    for (; i < digits.size(); ++i)
    {
        if (digits[i] < u'0' || digits[i] > u'9' || v > 0x7FFFFFFF)
            return false;
        v = v * 10 + (digits[i] - u'0');
    }
    if (digits[0] == u'-')
        v = -v;
    return With(upDown, [&](Window& w) {
        int lo = std::min(w.low, w.high), hi = std::max(w.low, w.high);
        if (v < lo || v > hi)
            return false;
        w.pos = static_cast<int>(v);
        return true;
    });
}
} // namespace

namespace sim::detail
{
HWND UpDownOfBuddy(HWND edit)
{
    std::lock_guard g(Desk().mu);
    for (const auto& [h, w] : Desk().windows)
        if (w->buddy == edit && EqualNoCase(w->className, UPDOWN_CLASSW))
            return h;
    return nullptr;
}

LRESULT CALLBACK UpDownProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_CREATE:
        With(window, [&](Window& w) {
            w.low = 100; // the control's documented default range runs backwards
            w.high = 0;
            w.pos = 0;
            if (w.style & UDS_AUTOBUDDY)
                if (Window* p = FindLocked(w.parent))
                {
                    auto me = std::find(p->children.begin(), p->children.end(), window);
                    if (me != p->children.begin())
                        w.buddy = *(me - 1);
                }
            return true;
        });
        return 0;
    case UDM_SETRANGE32:
    case UDM_SETRANGE:
        With(window, [&](Window& w) {
            if (message == UDM_SETRANGE32)
            {
                w.low = static_cast<int>(wParam);
                w.high = static_cast<int>(lParam);
            }
            else
            {
                w.low = static_cast<short>(HIWORD(lParam));
                w.high = static_cast<short>(LOWORD(lParam));
            }
            return true;
        });
        return 0;
    case UDM_GETRANGE32:
        With(window, [&](Window& w) {
            if (wParam)
                *reinterpret_cast<int*>(wParam) = w.low;
            if (lParam)
                *reinterpret_cast<int*>(lParam) = w.high;
            return true;
        });
        return 0;
    case UDM_GETRANGE:
        return With(window, [](Window& w) { return static_cast<LRESULT>(MAKELONG(w.high, w.low)); });
    case UDM_SETPOS32:
    case UDM_SETPOS: {
        int requested =
            message == UDM_SETPOS32 ? static_cast<int>(lParam) : static_cast<short>(LOWORD(lParam));
        int old = With(window, [&](Window& w) {
            int previous = w.pos;
            w.pos = std::clamp(requested, std::min(w.low, w.high), std::max(w.low, w.high));
            return previous;
        });
        UpdateBuddy(window);
        return old;
    }
    case UDM_GETPOS32:
    case UDM_GETPOS: {
        bool ok = SyncFromBuddy(window);
        if (message == UDM_GETPOS32 && lParam)
            *reinterpret_cast<BOOL*>(lParam) = ok ? FALSE : TRUE;
        int pos = With(window, [](Window& w) { return w.pos; });
        if (message == UDM_GETPOS)
            return MAKELONG(pos, ok ? 0 : 1);
        return pos;
    }
    case UDM_SETBUDDY:
        return With(window, [&](Window& w) {
            HWND old = w.buddy;
            w.buddy = reinterpret_cast<HWND>(wParam);
            return reinterpret_cast<LRESULT>(old);
        });
    case UDM_GETBUDDY:
        return With(window, [](Window& w) { return reinterpret_cast<LRESULT>(w.buddy); });
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

// Steps an up-down control as its arrow buttons do: the parent may refuse the step, the position
// wraps or stops at the ends, and the parent hears of the new position.
void StepUpDownNow(HWND upDown, int delta)
{
    SyncFromBuddy(upDown);
    NMUPDOWN nm{};
    nm.iPos = With(upDown, [](Window& w) { return w.pos; });
    nm.iDelta = delta;
    if (NotifyParent(upDown, UDN_DELTAPOS, &nm.hdr))
        return;
    bool changed = With(upDown, [&](Window& w) {
        int lo = std::min(w.low, w.high), hi = std::max(w.low, w.high);
        int step = w.low > w.high ? -nm.iDelta : nm.iDelta;
        long long next = static_cast<long long>(w.pos) + step;
        if (next < lo)
            next = (w.style & UDS_WRAP) ? hi : lo;
        else if (next > hi)
            next = (w.style & UDS_WRAP) ? lo : hi;
        bool moved = next != w.pos;
        w.pos = static_cast<int>(next);
        return moved;
    });
    if (!changed)
        return;
    UpdateBuddy(upDown);
    bool horizontal = GetWindowLongW(upDown, GWL_STYLE) & UDS_HORZ;
    int pos = With(upDown, [](Window& w) { return w.pos; });
    SendMessageW(ParentOf(upDown), horizontal ? WM_HSCROLL : WM_VSCROLL,
                 MAKEWPARAM(4 /* SB_THUMBPOSITION */, pos), reinterpret_cast<LPARAM>(upDown));
    SendMessageW(ParentOf(upDown), horizontal ? WM_HSCROLL : WM_VSCROLL,
                 MAKEWPARAM(8 /* SB_ENDSCROLL */, pos), reinterpret_cast<LPARAM>(upDown));
}
} // namespace sim::detail
