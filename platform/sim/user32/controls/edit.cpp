// Edit controls: typing, selection, limits, and the change notifications.
#include "user32/controls.h"

#include <algorithm>

using namespace sim;
using namespace sim::detail;

namespace
{
struct EditState : ControlState
{
    int selStart = 0, selEnd = 0;
    UINT limit = 30000;
    bool modified = false;
};

void Beep()
{
    MessageBeep(0);
}

void EditChanged(HWND edit)
{
    NotifyCommand(edit, EN_UPDATE);
    NotifyCommand(edit, EN_CHANGE);
}
} // namespace

namespace sim::detail
{
LRESULT CALLBACK EditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_SETTEXT: {
        // An edit control reports a change also when the program sets its text.
        WithState<EditState>(window, [&](Window& w, EditState& s) {
            w.text = ToWString(reinterpret_cast<LPCWSTR>(lParam));
            if (w.text.size() > s.limit)
                w.text.resize(s.limit);
            s.selStart = s.selEnd = 0;
            s.modified = false;
            return true;
        });
        EditChanged(window);
        return TRUE;
    }
    case WM_CHAR: {
        bool changed = WithState<EditState>(window, [&](Window& w, EditState& s) {
            if (w.style & ES_READONLY)
                return false;
            WCHAR c = static_cast<WCHAR>(wParam);
            int a = std::min(s.selStart, s.selEnd), b = std::max(s.selStart, s.selEnd);
            a = std::clamp(a, 0, static_cast<int>(w.text.size()));
            b = std::clamp(b, a, static_cast<int>(w.text.size()));
            if (c == VK_BACK)
            {
                if (a == b && a > 0)
                    --a;
                if (a == b)
                    return false;
                w.text.erase(a, b - a);
            }
            else
            {
                if (c < 0x20)
                    return false;
                if ((w.style & ES_NUMBER) && (c < u'0' || c > u'9'))
                    return false;
                if (w.text.size() - (b - a) >= s.limit)
                    return false;
                w.text.replace(a, b - a, 1, c);
                ++a;
            }
            s.selStart = s.selEnd = a;
            s.modified = true;
            return true;
        });
        if (changed)
            EditChanged(window);
        else
            Beep();
        return 0;
    }
    case WM_KEYDOWN:
        if (wParam == VK_UP || wParam == VK_DOWN)
            if (HWND upDown = UpDownOfBuddy(window))
                if (GetWindowLongW(upDown, GWL_STYLE) & UDS_ARROWKEYS)
                    StepUpDownNow(upDown, wParam == VK_UP ? 1 : -1);
        return 0;
    case WM_SETFOCUS:
        NotifyCommand(window, EN_SETFOCUS);
        return 0;
    case WM_KILLFOCUS:
        NotifyCommand(window, EN_KILLFOCUS);
        return 0;
    case EM_SETSEL:
        WithState<EditState>(window, [&](Window& w, EditState& s) {
            int size = static_cast<int>(w.text.size());
            int start = static_cast<int>(wParam), e = static_cast<int>(lParam);
            s.selStart = start < 0 ? 0 : std::min(start, size);
            s.selEnd = e < 0 ? size : std::min(e, size);
            return true;
        });
        return 0;
    case EM_GETSEL:
        return WithState<EditState>(window, [&](Window&, EditState& s) {
            if (wParam)
                *reinterpret_cast<DWORD*>(wParam) = static_cast<DWORD>(s.selStart);
            if (lParam)
                *reinterpret_cast<DWORD*>(lParam) = static_cast<DWORD>(s.selEnd);
            return static_cast<LRESULT>(MAKELONG(s.selStart, s.selEnd));
        });
    case EM_REPLACESEL: {
        WithState<EditState>(window, [&](Window& w, EditState& s) {
            WString add = ToWString(reinterpret_cast<LPCWSTR>(lParam));
            int a = std::clamp(std::min(s.selStart, s.selEnd), 0, static_cast<int>(w.text.size()));
            int b = std::clamp(std::max(s.selStart, s.selEnd), a, static_cast<int>(w.text.size()));
            w.text.replace(a, b - a, add);
            s.selStart = s.selEnd = a + static_cast<int>(add.size());
            return true;
        });
        EditChanged(window);
        return 0;
    }
    case EM_LIMITTEXT:
        WithState<EditState>(window, [&](Window&, EditState& s) {
            s.limit = wParam ? static_cast<UINT>(wParam) : 0x7FFFFFFE;
            return true;
        });
        return 0;
    case EM_GETLIMITTEXT:
        return WithState<EditState>(window,
                                    [](Window&, EditState& s) { return static_cast<LRESULT>(s.limit); });
    case EM_SETREADONLY:
        return WithState<EditState>(window, [&](Window& w, EditState&) {
            if (wParam)
                w.style |= ES_READONLY;
            else
                w.style &= ~static_cast<DWORD>(ES_READONLY);
            return LRESULT{TRUE};
        });
    case EM_GETMODIFY:
        return WithState<EditState>(window,
                                    [](Window&, EditState& s) { return static_cast<LRESULT>(s.modified); });
    case EM_SETMODIFY:
        WithState<EditState>(window, [&](Window&, EditState& s) {
            s.modified = wParam != 0;
            return true;
        });
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}
} // namespace sim::detail
