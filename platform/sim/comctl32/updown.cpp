// Up-down controls: a position within a range, shown in a buddy and stepped by the arrows.
#include "user32/controls.h"

#include <algorithm>
#include <vector>

using namespace sim;
using namespace sim::detail;

namespace
{
struct UpDownState : ControlState
{
    int low = 100, high = 0; // the control's documented default range runs backwards
    int pos = 0;
    HWND buddy = nullptr;
    std::vector<UDACCEL> accel{{0, 1}, {2, 5}, {5, 20}}; // the control's documented default
    int Position() const override { return pos; }
    std::pair<int, int> Range() const override { return {low, high}; }
};

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
    WithState<UpDownState>(upDown, [&](Window& w, UpDownState& s) {
        if (w.style & UDS_SETBUDDYINT)
        {
            buddy = s.buddy;
            text = FormatPosition(s.pos, !(w.style & UDS_NOTHOUSANDS));
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
    HWND buddy = WithState<UpDownState>(
        upDown, [](Window& w, UpDownState& s) { return (w.style & UDS_SETBUDDYINT) ? s.buddy : HWND{}; });
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
    return WithState<UpDownState>(upDown, [&](Window&, UpDownState& s) {
        int lo = std::min(s.low, s.high), hi = std::max(s.low, s.high);
        if (v < lo || v > hi)
            return false;
        s.pos = static_cast<int>(v);
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
        if (auto* upDown = dynamic_cast<const UpDownState*>(w->control.get());
            upDown && upDown->buddy == edit)
            return h;
    return nullptr;
}

LRESULT CALLBACK UpDownProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_CREATE:
        WithState<UpDownState>(window, [&](Window& w, UpDownState& s) {
            if (w.style & UDS_AUTOBUDDY)
                if (Window* p = FindLocked(w.parent))
                {
                    auto me = std::find(p->children.begin(), p->children.end(), window);
                    if (me != p->children.begin())
                        s.buddy = *(me - 1);
                }
            return true;
        });
        return 0;
    case UDM_SETRANGE32:
    case UDM_SETRANGE:
        WithState<UpDownState>(window, [&](Window&, UpDownState& s) {
            if (message == UDM_SETRANGE32)
            {
                s.low = static_cast<int>(wParam);
                s.high = static_cast<int>(lParam);
            }
            else
            {
                s.low = static_cast<short>(HIWORD(lParam));
                s.high = static_cast<short>(LOWORD(lParam));
            }
            return true;
        });
        return 0;
    case UDM_GETRANGE32:
        WithState<UpDownState>(window, [&](Window&, UpDownState& s) {
            if (wParam)
                *reinterpret_cast<int*>(wParam) = s.low;
            if (lParam)
                *reinterpret_cast<int*>(lParam) = s.high;
            return true;
        });
        return 0;
    case UDM_GETRANGE:
        return WithState<UpDownState>(
            window, [](Window&, UpDownState& s) { return static_cast<LRESULT>(MAKELONG(s.high, s.low)); });
    case UDM_SETPOS32:
    case UDM_SETPOS: {
        int requested =
            message == UDM_SETPOS32 ? static_cast<int>(lParam) : static_cast<short>(LOWORD(lParam));
        int old = WithState<UpDownState>(window, [&](Window&, UpDownState& s) {
            int previous = s.pos;
            s.pos = std::clamp(requested, std::min(s.low, s.high), std::max(s.low, s.high));
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
        int pos = WithState<UpDownState>(window, [](Window&, UpDownState& s) { return s.pos; });
        if (message == UDM_GETPOS)
            return MAKELONG(pos, ok ? 0 : 1);
        return pos;
    }
    case UDM_SETBUDDY:
        return WithState<UpDownState>(window, [&](Window&, UpDownState& s) {
            HWND old = s.buddy;
            s.buddy = reinterpret_cast<HWND>(wParam);
            return reinterpret_cast<LRESULT>(old);
        });
    case UDM_SETACCEL:
        if (!wParam || !lParam)
            return FALSE;
        return WithState<UpDownState>(window, [&](Window&, UpDownState& s) {
            auto* first = reinterpret_cast<const UDACCEL*>(lParam);
            s.accel.assign(first, first + wParam);
            return LRESULT{TRUE};
        });
    case UDM_GETACCEL:
        return WithState<UpDownState>(window, [&](Window&, UpDownState& s) {
            if (lParam)
                std::copy_n(s.accel.begin(), std::min<size_t>(wParam, s.accel.size()),
                            reinterpret_cast<UDACCEL*>(lParam));
            return static_cast<LRESULT>(s.accel.size());
        });
    case UDM_GETBUDDY:
        return WithState<UpDownState>(
            window, [](Window&, UpDownState& s) { return reinterpret_cast<LRESULT>(s.buddy); });
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
    nm.iPos = WithState<UpDownState>(upDown, [](Window&, UpDownState& s) { return s.pos; });
    // A click (or an arrow key) steps by the first acceleration's increment.
    nm.iDelta = delta * WithState<UpDownState>(upDown, [](Window&, UpDownState& s) {
                    return s.accel.empty() ? 1 : static_cast<int>(s.accel.front().nInc);
                });
    if (NotifyParent(upDown, UDN_DELTAPOS, &nm.hdr))
        return;
    bool changed = WithState<UpDownState>(upDown, [&](Window& w, UpDownState& s) {
        int lo = std::min(s.low, s.high), hi = std::max(s.low, s.high);
        int step = s.low > s.high ? -nm.iDelta : nm.iDelta;
        long long next = static_cast<long long>(s.pos) + step;
        if (next < lo)
            next = (w.style & UDS_WRAP) ? hi : lo;
        else if (next > hi)
            next = (w.style & UDS_WRAP) ? lo : hi;
        bool moved = next != s.pos;
        s.pos = static_cast<int>(next);
        return moved;
    });
    if (!changed)
        return;
    UpdateBuddy(upDown);
    bool horizontal = GetWindowLongW(upDown, GWL_STYLE) & UDS_HORZ;
    int pos = WithState<UpDownState>(upDown, [](Window&, UpDownState& s) { return s.pos; });
    SendMessageW(ParentOf(upDown), horizontal ? WM_HSCROLL : WM_VSCROLL,
                 MAKEWPARAM(4 /* SB_THUMBPOSITION */, pos), reinterpret_cast<LPARAM>(upDown));
    SendMessageW(ParentOf(upDown), horizontal ? WM_HSCROLL : WM_VSCROLL,
                 MAKEWPARAM(8 /* SB_ENDSCROLL */, pos), reinterpret_cast<LPARAM>(upDown));
}
} // namespace sim::detail
