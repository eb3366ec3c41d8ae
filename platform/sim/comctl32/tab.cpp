// Tab controls: the tabs and which one is current.
#include "user32/controls.h"

#include <algorithm>

using namespace sim;
using namespace sim::detail;

namespace
{
struct Tab
{
    WString text;
    LPARAM data = 0;
};

struct TabState : ControlState
{
    std::vector<Tab> items;
    int current = -1;
    std::vector<WString> Items() const override
    {
        std::vector<WString> out;
        for (const Tab& t : items)
            out.push_back(t.text);
        return out;
    }
    int Selection() const override { return current; }
};
} // namespace

namespace sim::detail
{
LRESULT CALLBACK TabProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    std::unique_lock lock(Desk().mu);
    Window* wp = FindLocked(window);
    if (!wp)
        return 0;
    auto& s = StateOf<TabState>(*wp);
    int n = static_cast<int>(s.items.size());
    switch (message)
    {
    case TCM_INSERTITEMW: {
        const TCITEMW* item = reinterpret_cast<const TCITEMW*>(lParam);
        if (!item)
            return -1;
        int at = std::clamp(static_cast<int>(wParam), 0, n);
        Tab it;
        if (item->mask & TCIF_TEXT)
            it.text = ToWString(item->pszText);
        if (item->mask & TCIF_PARAM)
            it.data = item->lParam;
        s.items.insert(s.items.begin() + at, it);
        if (s.current < 0)
            s.current = 0;
        else if (s.current >= at && n > 0)
            ++s.current;
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
                s.items[i].text = ToWString(item->pszText);
            if (item->mask & TCIF_PARAM)
                s.items[i].data = item->lParam;
        }
        else
        {
            if (item->mask & TCIF_TEXT)
                CopyOut(s.items[i].text, item->pszText, item->cchTextMax);
            if (item->mask & TCIF_PARAM)
                item->lParam = s.items[i].data;
        }
        return TRUE;
    }
    case TCM_GETITEMCOUNT:
        return n;
    case TCM_DELETEITEM:
        if (static_cast<int>(wParam) < 0 || static_cast<int>(wParam) >= n)
            return FALSE;
        s.items.erase(s.items.begin() + static_cast<int>(wParam));
        if (s.current >= static_cast<int>(s.items.size()))
            s.current = static_cast<int>(s.items.size()) - 1;
        return TRUE;
    case TCM_DELETEALLITEMS:
        s.items.clear();
        s.current = -1;
        return TRUE;
    case TCM_GETCURSEL:
        return s.current;
    case TCM_SETCURSEL:
    case TCM_SETCURFOCUS: {
        int old = s.current;
        if (static_cast<int>(wParam) < 0 || static_cast<int>(wParam) >= n)
            return -1;
        s.current = static_cast<int>(wParam);
        return old;
    }
    case TCM_ADJUSTRECT:
        return 0;
    default:
        lock.unlock();
        return DefWindowProcW(window, message, wParam, lParam);
    }
}
} // namespace sim::detail
