// The built-in controls: state and the notifications Windows sends their parents.
#include "user32/desktop_internal.h"

#include <algorithm>

using namespace sim;
using namespace sim::detail;

namespace sim::detail
{
void RegisterClassLocked(const WNDCLASSEXW& wc, WStringView name);
} // namespace sim::detail

namespace
{
// Runs `f` on the control's state with the desktop locked; false when the window is gone.
template <typename F> auto With(HWND window, F f) -> decltype(f(std::declval<Window&>()))
{
    std::lock_guard g(Desk().mu);
    Window* w = FindLocked(window);
    if (!w)
        return {};
    return f(*w);
}

HWND ParentOf(HWND window)
{
    return With(window, [](Window& w) { return w.parent; });
}

void Beep()
{
    MessageBeep(0);
}

// ---- Edit ----

HWND UpDownOfBuddy(HWND edit)
{
    std::lock_guard g(Desk().mu);
    for (const auto& [h, w] : Desk().windows)
        if (w->buddy == edit && EqualNoCase(w->className, UPDOWN_CLASSW))
            return h;
    return nullptr;
}

void EditChanged(HWND edit)
{
    NotifyCommand(edit, EN_UPDATE);
    NotifyCommand(edit, EN_CHANGE);
}

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

// ---- Static ----

LRESULT CALLBACK StaticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case STM_SETICON:
    case STM_SETIMAGE: {
        LPARAM image = message == STM_SETICON ? static_cast<LPARAM>(wParam) : lParam;
        return With(window, [&](Window& w) {
            HANDLE old = w.image;
            w.image = reinterpret_cast<HANDLE>(image);
            return reinterpret_cast<LRESULT>(old);
        });
    }
    case STM_GETICON:
    case STM_GETIMAGE:
        return With(window, [](Window& w) { return reinterpret_cast<LRESULT>(w.image); });
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

// ---- Button ----

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

// ---- List box and combo box ----

struct ListMessages
{
    UINT add, insert, remove, reset, count, getCur, setCur, getText, getTextLen, getData, setData, findExact,
        find, select;
    DWORD sortStyle;
    bool combo;
};

const ListMessages kCombo{CB_ADDSTRING,    CB_INSERTSTRING, CB_DELETESTRING, CB_RESETCONTENT,
                          CB_GETCOUNT,     CB_GETCURSEL,    CB_SETCURSEL,    CB_GETLBTEXT,
                          CB_GETLBTEXTLEN, CB_GETITEMDATA,  CB_SETITEMDATA,  CB_FINDSTRINGEXACT,
                          CB_FINDSTRING,   CB_SELECTSTRING, CBS_SORT,        true};
const ListMessages kList{LB_ADDSTRING,  LB_INSERTSTRING, LB_DELETESTRING, LB_RESETCONTENT,
                         LB_GETCOUNT,   LB_GETCURSEL,    LB_SETCURSEL,    LB_GETTEXT,
                         LB_GETTEXTLEN, LB_GETITEMDATA,  LB_SETITEMDATA,  LB_FINDSTRINGEXACT,
                         LB_FINDSTRING, LB_SELECTSTRING, LBS_SORT,        false};

int FindItem(const Window& w, int start, WStringView text, bool exact)
{
    int n = static_cast<int>(w.items.size());
    for (int k = 1; k <= n; ++k)
    {
        int i = (start + k + n) % n;
        if (start < 0)
            i = k - 1;
        const WString& t = w.items[i].text;
        if (exact ? EqualNoCase(t, text)
                  : (t.size() >= text.size() && EqualNoCase(t.substr(0, text.size()), text)))
            return i;
    }
    return -1;
}

LRESULT ListProc(const ListMessages& m, HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    std::unique_lock lock(Desk().mu);
    Window* wp = FindLocked(window);
    if (!wp)
        return -1;
    Window& w = *wp;
    int n = static_cast<int>(w.items.size());
    auto setCurrent = [&](int i) {
        w.current = i;
        if (m.combo)
            w.text = i >= 0 ? w.items[i].text : WString();
    };
    if (message == m.add || message == m.insert)
    {
        WString text = ToWString(reinterpret_cast<LPCWSTR>(lParam));
        int at = n;
        if (message == m.insert)
            at = static_cast<int>(wParam) < 0 || static_cast<int>(wParam) > n ? n : static_cast<int>(wParam);
        else if (w.style & m.sortStyle)
            at = static_cast<int>(
                std::upper_bound(w.items.begin(), w.items.end(), text,
                                 [](const WString& a, const Item& b) { return Fold(a) < Fold(b.text); }) -
                w.items.begin());
        Item added;
        added.text = text;
        w.items.insert(w.items.begin() + at, added);
        if (w.current >= at)
            ++w.current;
        return at;
    }
    if (message == m.remove)
    {
        if (static_cast<int>(wParam) < 0 || static_cast<int>(wParam) >= n)
            return -1;
        w.items.erase(w.items.begin() + static_cast<int>(wParam));
        if (w.current == static_cast<int>(wParam))
            setCurrent(-1);
        else if (w.current > static_cast<int>(wParam))
            --w.current;
        return n - 1;
    }
    if (message == m.reset)
    {
        w.items.clear();
        setCurrent(-1);
        return 0;
    }
    if (message == m.count)
        return n;
    if (message == m.getCur)
        return w.current;
    if (message == m.setCur)
    {
        int i = static_cast<int>(wParam);
        if (i < 0 || i >= n)
        {
            setCurrent(-1);
            return -1;
        }
        setCurrent(i);
        return i;
    }
    if (message == m.getText || message == m.getTextLen)
    {
        int i = static_cast<int>(wParam);
        if (i < 0 || i >= n)
            return -1;
        if (message == m.getText && lParam)
        {
            const WString& t = w.items[i].text;
            std::copy(t.begin(), t.end(), reinterpret_cast<LPWSTR>(lParam));
            reinterpret_cast<LPWSTR>(lParam)[t.size()] = 0;
        }
        return static_cast<LRESULT>(w.items[i].text.size());
    }
    if (message == m.getData || message == m.setData)
    {
        int i = static_cast<int>(wParam);
        if (i < 0 || i >= n)
            return -1;
        if (message == m.setData)
        {
            w.items[i].data = lParam;
            return TRUE;
        }
        return w.items[i].data;
    }
    if (message == m.findExact || message == m.find || message == m.select)
    {
        int i = FindItem(w, static_cast<int>(wParam), ToWString(reinterpret_cast<LPCWSTR>(lParam)),
                         message == m.findExact);
        if (message == m.select && i >= 0)
            setCurrent(i);
        return i;
    }
    if (!m.combo && message == LB_GETSEL)
        return static_cast<int>(wParam) == w.current ? 1 : 0;
    if (!m.combo && message == LB_GETSELCOUNT)
        return w.current >= 0 ? 1 : 0;
    lock.unlock();
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK ComboProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return ListProc(kCombo, window, message, wParam, lParam);
}

LRESULT CALLBACK ListBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return ListProc(kList, window, message, wParam, lParam);
}

// ---- Up-down ----

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

// ---- Track bar and progress bar ----

LRESULT CALLBACK TrackBarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_CREATE:
        With(window, [](Window& w) {
            w.low = 0;
            w.high = 100;
            return true;
        });
        return 0;
    case TBM_SETRANGE:
    case TBM_SETRANGEMIN:
    case TBM_SETRANGEMAX:
        With(window, [&](Window& w) {
            if (message == TBM_SETRANGE)
            {
                w.low = static_cast<short>(LOWORD(lParam));
                w.high = static_cast<short>(HIWORD(lParam));
            }
            else if (message == TBM_SETRANGEMIN)
                w.low = static_cast<int>(lParam);
            else
                w.high = static_cast<int>(lParam);
            w.pos = std::clamp(w.pos, w.low, std::max(w.low, w.high));
            return true;
        });
        return 0;
    case TBM_GETRANGEMIN:
        return With(window, [](Window& w) { return static_cast<LRESULT>(w.low); });
    case TBM_GETRANGEMAX:
        return With(window, [](Window& w) { return static_cast<LRESULT>(w.high); });
    case TBM_SETPOS:
        With(window, [&](Window& w) {
            w.pos = std::clamp(static_cast<int>(lParam), w.low, std::max(w.low, w.high));
            return true;
        });
        return 0;
    case TBM_GETPOS:
        return With(window, [](Window& w) { return static_cast<LRESULT>(w.pos); });
    case TBM_SETTICFREQ:
    case TBM_SETPAGESIZE:
    case TBM_SETLINESIZE:
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

LRESULT CALLBACK ProgressProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    std::unique_lock lock(Desk().mu);
    Window* wp = FindLocked(window);
    if (!wp)
        return 0;
    Window& w = *wp;
    auto clampPos = [&](int v) { return std::clamp(v, w.low, std::max(w.low, w.high)); };
    switch (message)
    {
    case WM_CREATE:
        w.low = 0;
        w.high = 100;
        w.step = 10;
        return 0;
    case PBM_SETRANGE: {
        LRESULT old = MAKELONG(w.low, w.high);
        w.low = LOWORD(lParam);
        w.high = HIWORD(lParam);
        w.pos = clampPos(w.pos);
        return old;
    }
    case PBM_SETRANGE32: {
        LRESULT old = MAKELONG(w.low, w.high);
        w.low = static_cast<int>(wParam);
        w.high = static_cast<int>(lParam);
        w.pos = clampPos(w.pos);
        return old;
    }
    case PBM_GETRANGE:
        if (lParam)
            *reinterpret_cast<PBRANGE*>(lParam) = PBRANGE{w.low, w.high};
        return wParam ? w.low : w.high;
    case PBM_SETPOS: {
        int old = w.pos;
        w.pos = clampPos(static_cast<int>(wParam));
        return old;
    }
    case PBM_DELTAPOS: {
        int old = w.pos;
        w.pos = clampPos(w.pos + static_cast<int>(wParam));
        return old;
    }
    case PBM_SETSTEP: {
        int old = w.step;
        w.step = static_cast<int>(wParam);
        return old;
    }
    case PBM_STEPIT: {
        int old = w.pos;
        int next = w.pos + w.step;
        w.pos = next > w.high ? w.low + (next - w.high) : clampPos(next); // starts over past the end
        return old;
    }
    case PBM_GETPOS:
        return w.pos;
    case PBM_SETMARQUEE:
        return TRUE;
    default:
        lock.unlock();
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

// ---- Tab control ----

LRESULT CALLBACK TabProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    std::unique_lock lock(Desk().mu);
    Window* wp = FindLocked(window);
    if (!wp)
        return 0;
    Window& w = *wp;
    int n = static_cast<int>(w.items.size());
    switch (message)
    {
    case TCM_INSERTITEMW: {
        const TCITEMW* item = reinterpret_cast<const TCITEMW*>(lParam);
        if (!item)
            return -1;
        int at = std::clamp(static_cast<int>(wParam), 0, n);
        Item it;
        if (item->mask & TCIF_TEXT)
            it.text = ToWString(item->pszText);
        if (item->mask & TCIF_PARAM)
            it.data = item->lParam;
        w.items.insert(w.items.begin() + at, it);
        if (w.current < 0)
            w.current = 0;
        else if (w.current >= at && n > 0)
            ++w.current;
        return at;
    }
    case TCM_SETITEMW:
    case TCM_GETITEMW: {
        int i = static_cast<int>(wParam);
        TCITEMW* item = reinterpret_cast<TCITEMW*>(lParam);
        if (!item || i < 0 || i >= n)
            return FALSE;
        if (message == TCM_SETITEMW)
        {
            if (item->mask & TCIF_TEXT)
                w.items[i].text = ToWString(item->pszText);
            if (item->mask & TCIF_PARAM)
                w.items[i].data = item->lParam;
        }
        else
        {
            if (item->mask & TCIF_TEXT)
                CopyOut(w.items[i].text, item->pszText, item->cchTextMax);
            if (item->mask & TCIF_PARAM)
                item->lParam = w.items[i].data;
        }
        return TRUE;
    }
    case TCM_GETITEMCOUNT:
        return n;
    case TCM_DELETEITEM:
        if (static_cast<int>(wParam) < 0 || static_cast<int>(wParam) >= n)
            return FALSE;
        w.items.erase(w.items.begin() + static_cast<int>(wParam));
        if (w.current >= static_cast<int>(w.items.size()))
            w.current = static_cast<int>(w.items.size()) - 1;
        return TRUE;
    case TCM_DELETEALLITEMS:
        w.items.clear();
        w.current = -1;
        return TRUE;
    case TCM_GETCURSEL:
        return w.current;
    case TCM_SETCURSEL:
    case TCM_SETCURFOCUS: {
        int old = w.current;
        if (static_cast<int>(wParam) < 0 || static_cast<int>(wParam) >= n)
            return -1;
        w.current = static_cast<int>(wParam);
        return old;
    }
    case TCM_ADJUSTRECT:
        return 0;
    default:
        lock.unlock();
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

// ---- List view ----

struct StateChange
{
    int item;
    UINT oldState, newState;
    LPARAM param;
};

void NotifyStateChanges(HWND window, const std::vector<StateChange>& changes)
{
    for (const StateChange& c : changes)
    {
        NMLISTVIEW nm{};
        nm.iItem = c.item;
        nm.uOldState = c.oldState;
        nm.uNewState = c.newState;
        nm.uChanged = LVIF_STATE;
        nm.lParam = c.param;
        NotifyParent(window, LVN_ITEMCHANGED, &nm.hdr);
    }
}

// Sets state bits of one item (or all, -1), keeping a single-selection list single.
std::vector<StateChange> SetStateLocked(Window& w, int item, UINT state, UINT mask)
{
    std::vector<StateChange> changes;
    int n = static_cast<int>(w.items.size());
    auto apply = [&](int i, UINT s, UINT m) {
        UINT old = w.items[i].state;
        UINT next = (old & ~m) | (s & m);
        if (next != old)
        {
            w.items[i].state = next;
            changes.push_back({i, old, next, w.items[i].data});
        }
    };
    if ((mask & LVIS_SELECTED) && (state & LVIS_SELECTED) && (w.style & LVS_SINGLESEL))
        for (int i = 0; i < n; ++i)
            if (i != item)
                apply(i, 0, LVIS_SELECTED);
    if ((mask & LVIS_FOCUSED) && (state & LVIS_FOCUSED))
        for (int i = 0; i < n; ++i)
            if (i != item)
                apply(i, 0, LVIS_FOCUSED);
    if (item < 0)
        for (int i = 0; i < n; ++i)
            apply(i, state, mask);
    else if (item < n)
        apply(item, state, mask);
    return changes;
}

LRESULT CALLBACK ListViewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    std::unique_lock lock(Desk().mu);
    Window* wp = FindLocked(window);
    if (!wp)
        return 0;
    Window& w = *wp;
    int n = static_cast<int>(w.items.size());
    LVITEMW* item = reinterpret_cast<LVITEMW*>(lParam);
    auto textOf = [&](int i, int sub) -> WString {
        if (sub == 0)
            return w.items[i].text;
        size_t k = static_cast<size_t>(sub - 1);
        return k < w.items[i].subItems.size() ? w.items[i].subItems[k] : WString();
    };
    auto setText = [&](int i, int sub, LPCWSTR text) {
        if (sub == 0)
            w.items[i].text = ToWString(text);
        else
        {
            size_t k = static_cast<size_t>(sub - 1);
            if (w.items[i].subItems.size() <= k)
                w.items[i].subItems.resize(k + 1);
            w.items[i].subItems[k] = ToWString(text);
        }
    };
    switch (message)
    {
    case LVM_INSERTCOLUMNW: {
        const LVCOLUMNW* col = reinterpret_cast<const LVCOLUMNW*>(lParam);
        if (!col)
            return -1;
        int at = std::clamp(static_cast<int>(wParam), 0, static_cast<int>(w.columns.size()));
        w.columns.insert(w.columns.begin() + at,
                         (col->mask & LVCF_TEXT) ? ToWString(col->pszText) : WString());
        return at;
    }
    case LVM_DELETECOLUMN:
        if (wParam >= w.columns.size())
            return FALSE;
        w.columns.erase(w.columns.begin() + static_cast<int>(wParam));
        return TRUE;
    case LVM_INSERTITEMW: {
        if (!item || item->iSubItem != 0)
            return -1;
        Item it;
        if (item->mask & LVIF_TEXT)
            it.text = ToWString(item->pszText);
        if (item->mask & LVIF_PARAM)
            it.data = item->lParam;
        if (item->mask & LVIF_STATE)
            it.state = item->state & item->stateMask;
        int at = std::clamp(item->iItem, 0, n);
        if (w.style & LVS_SORTASCENDING)
            at = static_cast<int>(
                std::upper_bound(w.items.begin(), w.items.end(), it.text,
                                 [](const WString& a, const Item& b) { return Fold(a) < Fold(b.text); }) -
                w.items.begin());
        w.items.insert(w.items.begin() + at, it);
        return at;
    }
    case LVM_SETITEMW:
    case LVM_SETITEMTEXTW: {
        int i = message == LVM_SETITEMW ? (item ? item->iItem : -1) : static_cast<int>(wParam);
        if (!item || i < 0 || i >= n)
            return FALSE;
        if (message == LVM_SETITEMTEXTW || (item->mask & LVIF_TEXT))
            setText(i, item->iSubItem, item->pszText);
        std::vector<StateChange> changes;
        if (message == LVM_SETITEMW && item->iSubItem == 0)
        {
            if (item->mask & LVIF_PARAM)
                w.items[i].data = item->lParam;
            if (item->mask & LVIF_STATE)
                changes = SetStateLocked(w, i, item->state, item->stateMask);
        }
        lock.unlock();
        NotifyStateChanges(window, changes);
        return TRUE;
    }
    case LVM_GETITEMW:
    case LVM_GETITEMTEXTW: {
        int i = message == LVM_GETITEMW ? (item ? item->iItem : -1) : static_cast<int>(wParam);
        if (!item || i < 0 || i >= n)
            return message == LVM_GETITEMW ? FALSE : 0;
        WString text = textOf(i, item->iSubItem);
        if (message == LVM_GETITEMTEXTW || (item->mask & LVIF_TEXT))
            CopyOut(text, item->pszText, item->cchTextMax);
        if (message == LVM_GETITEMTEXTW)
            return static_cast<LRESULT>(std::min<size_t>(text.size(), std::max(item->cchTextMax - 1, 0)));
        if (item->mask & LVIF_PARAM)
            item->lParam = w.items[i].data;
        if (item->mask & LVIF_STATE)
            item->state = w.items[i].state & item->stateMask;
        return TRUE;
    }
    case LVM_GETITEMCOUNT:
        return n;
    case LVM_DELETEITEM:
        if (static_cast<int>(wParam) < 0 || static_cast<int>(wParam) >= n)
            return FALSE;
        w.items.erase(w.items.begin() + static_cast<int>(wParam));
        return TRUE;
    case LVM_DELETEALLITEMS:
        w.items.clear();
        return TRUE;
    case LVM_SETITEMSTATE: {
        if (!item)
            return FALSE;
        auto changes = SetStateLocked(w, static_cast<int>(wParam), item->state, item->stateMask);
        lock.unlock();
        NotifyStateChanges(window, changes);
        return TRUE;
    }
    case LVM_GETITEMSTATE:
        if (static_cast<int>(wParam) < 0 || static_cast<int>(wParam) >= n)
            return 0;
        return w.items[static_cast<int>(wParam)].state & static_cast<UINT>(lParam);
    case LVM_GETNEXTITEM: {
        UINT want = static_cast<UINT>(lParam) & (LVNI_SELECTED | LVNI_FOCUSED);
        for (int i = static_cast<int>(wParam) + 1; i < n; ++i)
        {
            UINT need = (want & LVNI_SELECTED ? LVIS_SELECTED : 0) | (want & LVNI_FOCUSED ? LVIS_FOCUSED : 0);
            if ((w.items[i].state & need) == need)
                return i;
        }
        return -1;
    }
    case LVM_GETSELECTEDCOUNT:
        return std::count_if(w.items.begin(), w.items.end(),
                             [](const Item& it) { return (it.state & LVIS_SELECTED) != 0; });
    case LVM_SETEXTENDEDLISTVIEWSTYLE: {
        DWORD old = w.extendedStyle;
        DWORD mask = wParam ? static_cast<DWORD>(wParam) : ~0u;
        w.extendedStyle = (old & ~mask) | (static_cast<DWORD>(lParam) & mask);
        return old;
    }
    case LVM_GETEXTENDEDLISTVIEWSTYLE:
        return w.extendedStyle;
    case LVM_ENSUREVISIBLE:
    case LVM_SETCOLUMNWIDTH:
        return TRUE;
    default:
        lock.unlock();
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

struct BuiltIn
{
    const char16_t* name;
    WNDPROC proc;
};
} // namespace

namespace sim::detail
{
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

void RegisterBuiltInClasses()
{
    static const BuiltIn kClasses[] = {
        {u"#32770", DialogWindowProc},   {WC_EDITW, EditProc},
        {WC_STATICW, StaticProc},        {WC_BUTTONW, ButtonProc},
        {WC_COMBOBOXW, ComboProc},       {WC_LISTBOXW, ListBoxProc},
        {UPDOWN_CLASSW, UpDownProc},     {TRACKBAR_CLASSW, TrackBarProc},
        {PROGRESS_CLASSW, ProgressProc}, {WC_TABCONTROLW, TabProc},
        {WC_LISTVIEWW, ListViewProc},
    };
    std::lock_guard g(Desk().mu);
    if (Desk().classes.count(Fold(u"#32770")))
        return;
    for (const BuiltIn& b : kClasses)
    {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = b.proc;
        wc.lpszClassName = b.name;
        RegisterClassLocked(wc, b.name);
    }
}
} // namespace sim::detail

void WINAPI InitCommonControls() {}

BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX* init)
{
    if (!init || init->dwSize != sizeof(INITCOMMONCONTROLSEX))
        return FALSE;
    return TRUE;
}
