// List views: items with columns and states, and the state changes they notify.
#include "user32/controls.h"

#include <algorithm>

using namespace sim;
using namespace sim::detail;

namespace
{
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
} // namespace

namespace sim::detail
{
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
} // namespace sim::detail
