// List boxes, and the item list they share with combo boxes.
#include "user32/controls.h"
#include "user32/controls/itemlist.h"

#include <algorithm>

using namespace sim;
using namespace sim::detail;

namespace
{
int FindItem(const ItemListState& s, int start, WStringView text, bool exact)
{
    int n = static_cast<int>(s.items.size());
    for (int k = 1; k <= n; ++k)
    {
        int i = (start + k + n) % n;
        if (start < 0)
            i = k - 1;
        const WString& t = s.items[i].text;
        if (exact ? EqualNoCase(t, text)
                  : (t.size() >= text.size() && EqualNoCase(t.substr(0, text.size()), text)))
            return i;
    }
    return -1;
}
} // namespace

namespace sim::detail
{
const ListMessages kList{LB_ADDSTRING,  LB_INSERTSTRING, LB_DELETESTRING, LB_RESETCONTENT,
                         LB_GETCOUNT,   LB_GETCURSEL,    LB_SETCURSEL,    LB_GETTEXT,
                         LB_GETTEXTLEN, LB_GETITEMDATA,  LB_SETITEMDATA,  LB_FINDSTRINGEXACT,
                         LB_FINDSTRING, LB_SELECTSTRING, LBS_SORT,        false};

LRESULT ListProc(const ListMessages& m, HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    std::unique_lock lock(Desk().mu);
    Window* wp = FindLocked(window);
    if (!wp)
        return -1;
    Window& w = *wp;
    auto& s = StateOf<ItemListState>(w);
    int n = static_cast<int>(s.items.size());
    auto setCurrent = [&](int i) {
        s.current = i;
        if (m.combo)
            w.text = i >= 0 ? s.items[i].text : WString();
    };
    if (message == m.add || message == m.insert)
    {
        WString text = ToWString(reinterpret_cast<LPCWSTR>(lParam));
        int at = n;
        if (message == m.insert)
            at = static_cast<int>(wParam) < 0 || static_cast<int>(wParam) > n ? n : static_cast<int>(wParam);
        else if (w.style & m.sortStyle)
            at = static_cast<int>(
                std::upper_bound(s.items.begin(), s.items.end(), text,
                                 [](const WString& a, const ListItem& b) { return Fold(a) < Fold(b.text); }) -
                s.items.begin());
        ListItem added;
        added.text = text;
        s.items.insert(s.items.begin() + at, added);
        if (s.current >= at)
            ++s.current;
        return at;
    }
    if (message == m.remove)
    {
        if (static_cast<int>(wParam) < 0 || static_cast<int>(wParam) >= n)
            return -1;
        s.items.erase(s.items.begin() + static_cast<int>(wParam));
        if (s.current == static_cast<int>(wParam))
            setCurrent(-1);
        else if (s.current > static_cast<int>(wParam))
            --s.current;
        return n - 1;
    }
    if (message == m.reset)
    {
        s.items.clear();
        setCurrent(-1);
        return 0;
    }
    if (message == m.count)
        return n;
    if (message == m.getCur)
        return s.current;
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
            const WString& t = s.items[i].text;
            std::copy(t.begin(), t.end(), reinterpret_cast<LPWSTR>(lParam));
            reinterpret_cast<LPWSTR>(lParam)[t.size()] = 0;
        }
        return static_cast<LRESULT>(s.items[i].text.size());
    }
    if (message == m.getData || message == m.setData)
    {
        int i = static_cast<int>(wParam);
        if (i < 0 || i >= n)
            return -1;
        if (message == m.setData)
        {
            s.items[i].data = lParam;
            return TRUE;
        }
        return s.items[i].data;
    }
    if (message == m.findExact || message == m.find || message == m.select)
    {
        int i = FindItem(s, static_cast<int>(wParam), ToWString(reinterpret_cast<LPCWSTR>(lParam)),
                         message == m.findExact);
        if (message == m.select && i >= 0)
            setCurrent(i);
        return i;
    }
    if (!m.combo && message == LB_GETSEL)
        return static_cast<int>(wParam) == s.current ? 1 : 0;
    if (!m.combo && message == LB_GETSELCOUNT)
        return s.current >= 0 ? 1 : 0;
    if (!m.combo && (message == WM_LBUTTONDOWN || message == WM_LBUTTONUP))
    {
        // A press selects the row under it (rows of kListRowHeight from the top); below the last row
        // it selects nothing new.
        if (message == WM_LBUTTONUP)
            return 0;
        int y = GET_Y_LPARAM(lParam);
        int row = y < 0 ? -1 : y / kListRowHeight;
        bool changed = row >= 0 && row < n && row != s.current;
        if (changed)
            setCurrent(row);
        bool notify = (w.style & LBS_NOTIFY) != 0;
        lock.unlock();
        SetFocus(window);
        if (changed && notify)
            NotifyCommand(window, LBN_SELCHANGE);
        return 0;
    }
    lock.unlock();
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK ListBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return ListProc(kList, window, message, wParam, lParam);
}
} // namespace sim::detail
