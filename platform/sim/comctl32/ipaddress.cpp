// IP address controls: four fields of 0..255 (each within its own range), typed digit by digit.
// A field takes three digits, then the caret moves on; "." or a blank moves on from a field that
// holds something; backspace steps back over an empty field. A field is checked against its range
// when the caret leaves it, and its parent is told (IPN_FIELDCHANGED, and may change the value).
// The address reads as one host-order DWORD, blank fields as 0.
#include "user32/controls.h"

#include <algorithm>
#include <array>

using namespace sim;
using namespace sim::detail;

namespace
{
constexpr int kFields = 4;

struct IpAddressState : ControlState
{
    std::array<int, kFields> value{-1, -1, -1, -1}; // -1: blank
    std::array<int, kFields> digits{};              // digits typed into the field since the caret came
    std::array<BYTE, kFields> low{0, 0, 0, 0};
    std::array<BYTE, kFields> high{255, 255, 255, 255};
    int field = 0;
    bool replaceAll = false; // everything is selected: the next key starts over
};

WString ShownLocked(const IpAddressState& s)
{
    WString text;
    for (int i = 0; i < kFields; ++i)
    {
        if (i)
            text += u'.';
        if (s.value[i] >= 0)
            text += Widen(std::to_string(s.value[i]));
    }
    return text;
}

void ShowLocked(Window& w, const IpAddressState& s)
{
    w.text =
        std::all_of(s.value.begin(), s.value.end(), [](int v) { return v < 0; }) ? WString() : ShownLocked(s);
}

DWORD AddressLocked(const IpAddressState& s)
{
    DWORD a = 0;
    for (int v : s.value)
        a = (a << 8) | static_cast<DWORD>(std::max(v, 0));
    return a;
}

// The field the caret leaves: brought into its range, then offered to the parent.
void LeaveField(HWND control, int field)
{
    int value = WithState<IpAddressState>(control, [&](Window& w, IpAddressState& s) {
        int& v = s.value[field];
        if (v >= 0)
            v = std::clamp<int>(v, s.low[field], s.high[field]);
        s.digits[field] = 0;
        ShowLocked(w, s);
        return v;
    });
    NMIPADDRESS nm{};
    nm.iField = field;
    nm.iValue = value;
    NotifyParent(control, IPN_FIELDCHANGED, &nm.hdr);
    if (nm.iValue != value)
        WithState<IpAddressState>(control, [&](Window& w, IpAddressState& s) {
            s.value[field] = nm.iValue < 0 ? -1 : std::clamp<int>(nm.iValue, s.low[field], s.high[field]);
            ShowLocked(w, s);
            return true;
        });
}

void MoveTo(HWND control, int from, int to)
{
    if (from == to)
        return;
    LeaveField(control, from);
    WithState<IpAddressState>(control, [&](Window&, IpAddressState& s) {
        s.field = to;
        return true;
    });
}

void Changed(HWND control)
{
    NotifyCommand(control, EN_CHANGE);
}

// One typed character; false when the control refuses it.
bool TypeChar(HWND control, WCHAR c)
{
    struct Step
    {
        bool accepted = false;
        bool changed = false;
        int from = 0, to = 0;
    };
    Step step = WithState<IpAddressState>(control, [&](Window& w, IpAddressState& s) {
        Step st;
        if (s.replaceAll && c != VK_BACK)
        {
            s.value.fill(-1);
            s.digits.fill(0);
            s.field = 0;
            st.changed = true;
        }
        s.replaceAll = false;
        st.from = st.to = s.field;
        int& v = s.value[s.field];
        if (c >= u'0' && c <= u'9')
        {
            if (s.digits[s.field] >= 3)
                return st;
            v = (v < 0 || s.digits[s.field] == 0 ? 0 : v) * 10 + (c - u'0');
            ++s.digits[s.field];
            st.accepted = st.changed = true;
            if (s.digits[s.field] == 3 && s.field + 1 < kFields)
                st.to = s.field + 1;
        }
        else if (c == u'.' || c == u' ')
        {
            st.accepted = v >= 0 && s.field + 1 < kFields;
            if (st.accepted)
                st.to = s.field + 1;
        }
        else if (c == VK_BACK)
        {
            if (v >= 0)
            {
                v = v >= 10 ? v / 10 : -1;
                s.digits[s.field] = std::max(0, s.digits[s.field] - 1);
                st.accepted = st.changed = true;
            }
            else if (s.field > 0)
            {
                st.accepted = true;
                s.field = st.from = st.to = s.field - 1;
            }
        }
        ShowLocked(w, s);
        return st;
    });
    if (step.changed)
        Changed(control);
    MoveTo(control, step.from, step.to);
    return step.accepted;
}
} // namespace

namespace sim::detail
{
LRESULT CALLBACK IpAddressProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case IPM_CLEARADDRESS:
    case IPM_SETADDRESS:
        WithState<IpAddressState>(window, [&](Window& w, IpAddressState& s) {
            for (int i = 0; i < kFields; ++i)
                s.value[i] =
                    message == IPM_CLEARADDRESS ? -1 : static_cast<int>((lParam >> (24 - 8 * i)) & 0xFF);
            s.digits.fill(0);
            s.field = 0;
            ShowLocked(w, s);
            return true;
        });
        Changed(window);
        return message == IPM_SETADDRESS;
    case IPM_GETADDRESS:
        return WithState<IpAddressState>(window, [&](Window&, IpAddressState& s) {
            if (lParam)
                *reinterpret_cast<DWORD*>(lParam) = AddressLocked(s);
            return static_cast<LRESULT>(
                std::count_if(s.value.begin(), s.value.end(), [](int v) { return v >= 0; }));
        });
    case IPM_ISBLANK:
        return WithState<IpAddressState>(window, [](Window&, IpAddressState& s) {
            return static_cast<LRESULT>(
                std::all_of(s.value.begin(), s.value.end(), [](int v) { return v < 0; }));
        });
    case IPM_SETRANGE:
        if (wParam >= kFields)
            return FALSE;
        return WithState<IpAddressState>(window, [&](Window&, IpAddressState& s) {
            s.low[wParam] = LOBYTE(lParam);
            s.high[wParam] = std::max(LOBYTE(lParam), HIBYTE(lParam));
            return LRESULT{TRUE};
        });
    case IPM_SETFOCUS:
        WithState<IpAddressState>(window, [&](Window&, IpAddressState& s) {
            if (wParam < kFields)
                s.field = static_cast<int>(wParam);
            else // the first blank field, else the first
                s.field = static_cast<int>(std::find(s.value.begin(), s.value.end(), -1) - s.value.begin()) %
                          kFields;
            return true;
        });
        SetFocus(window);
        return 0;
    case WM_SETTEXT: {
        // "a.b.c.d", fields may be missing; a field that does not read stays blank.
        WString text = ToWString(reinterpret_cast<LPCWSTR>(lParam));
        WithState<IpAddressState>(window, [&](Window& w, IpAddressState& s) {
            s.value.fill(-1);
            s.digits.fill(0);
            int i = 0;
            long v = -1;
            for (size_t k = 0; k <= text.size() && i < kFields; ++k)
            {
                if (k == text.size() || text[k] == u'.')
                {
                    s.value[i++] = v < 0 ? -1 : static_cast<int>(std::min<long>(v, 255));
                    v = -1;
                }
                else if (text[k] >= u'0' && text[k] <= u'9')
                    v = std::min<long>((v < 0 ? 0 : v) * 10 + (text[k] - u'0'), 1000);
            }
            s.field = 0;
            ShowLocked(w, s);
            return true;
        });
        Changed(window);
        return TRUE;
    }
    case EM_SETSEL:
        WithState<IpAddressState>(window, [&](Window&, IpAddressState& s) {
            s.replaceAll = wParam == 0 && static_cast<int>(lParam) == -1;
            if (s.replaceAll)
                s.field = 0;
            return true;
        });
        return 0;
    case WM_CHAR:
        if (!TypeChar(window, static_cast<WCHAR>(wParam)))
            MessageBeep(0);
        return 0;
    case WM_SETFOCUS:
        NotifyCommand(window, EN_SETFOCUS);
        return 0;
    case WM_KILLFOCUS: {
        int field = WithState<IpAddressState>(window, [](Window&, IpAddressState& s) { return s.field; });
        LeaveField(window, field);
        NotifyCommand(window, EN_KILLFOCUS);
        return 0;
    }
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}
} // namespace sim::detail
