// Edit controls: typing, selection, limits, and the change notifications.
#include "user32/controls.h"

#include <algorithm>

using namespace sim;
using namespace sim::detail;

namespace
{
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
        With(window, [&](Window& w) {
            w.text = ToWString(reinterpret_cast<LPCWSTR>(lParam));
            if (w.text.size() > w.limit)
                w.text.resize(w.limit);
            w.selStart = w.selEnd = 0;
            w.modified = false;
            return true;
        });
        EditChanged(window);
        return TRUE;
    }
    case WM_CHAR: {
        bool changed = With(window, [&](Window& w) {
            if (w.style & ES_READONLY)
                return false;
            WCHAR c = static_cast<WCHAR>(wParam);
            int a = std::min(w.selStart, w.selEnd), b = std::max(w.selStart, w.selEnd);
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
                if (w.text.size() - (b - a) >= w.limit)
                    return false;
                w.text.replace(a, b - a, 1, c);
                ++a;
            }
            w.selStart = w.selEnd = a;
            w.modified = true;
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
    case EM_SETSEL:
        With(window, [&](Window& w) {
            int size = static_cast<int>(w.text.size());
            int s = static_cast<int>(wParam), e = static_cast<int>(lParam);
            w.selStart = s < 0 ? 0 : std::min(s, size);
            w.selEnd = e < 0 ? size : std::min(e, size);
            return true;
        });
        return 0;
    case EM_GETSEL:
        return With(window, [&](Window& w) {
            if (wParam)
                *reinterpret_cast<DWORD*>(wParam) = static_cast<DWORD>(w.selStart);
            if (lParam)
                *reinterpret_cast<DWORD*>(lParam) = static_cast<DWORD>(w.selEnd);
            return static_cast<LRESULT>(MAKELONG(w.selStart, w.selEnd));
        });
    case EM_REPLACESEL: {
        With(window, [&](Window& w) {
            WString add = ToWString(reinterpret_cast<LPCWSTR>(lParam));
            int a = std::clamp(std::min(w.selStart, w.selEnd), 0, static_cast<int>(w.text.size()));
            int b = std::clamp(std::max(w.selStart, w.selEnd), a, static_cast<int>(w.text.size()));
            w.text.replace(a, b - a, add);
            w.selStart = w.selEnd = a + static_cast<int>(add.size());
            return true;
        });
        EditChanged(window);
        return 0;
    }
    case EM_LIMITTEXT:
        With(window, [&](Window& w) {
            w.limit = wParam ? static_cast<UINT>(wParam) : 0x7FFFFFFE;
            return true;
        });
        return 0;
    case EM_GETLIMITTEXT:
        return With(window, [](Window& w) { return static_cast<LRESULT>(w.limit); });
    case EM_SETREADONLY:
        return With(window, [&](Window& w) {
            if (wParam)
                w.style |= ES_READONLY;
            else
                w.style &= ~static_cast<DWORD>(ES_READONLY);
            return LRESULT{TRUE};
        });
    case EM_GETMODIFY:
        return With(window, [](Window& w) { return static_cast<LRESULT>(w.modified); });
    case EM_SETMODIFY:
        With(window, [&](Window& w) {
            w.modified = wParam != 0;
            return true;
        });
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}
} // namespace sim::detail
