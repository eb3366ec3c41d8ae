// Tab controls: the tabs and which one is current.
#include "user32/controls.h"

#include <algorithm>

using namespace sim;
using namespace sim::detail;

namespace sim::detail
{
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
} // namespace sim::detail
