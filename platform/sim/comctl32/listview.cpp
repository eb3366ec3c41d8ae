// List views: items with columns and states, and the state changes they notify.
#include "user32/controls.h"

#include <algorithm>

using namespace sim;
using namespace sim::detail;

namespace
{
struct Item
{
    WString text;
    LPARAM data = 0;
    UINT state = 0;
    std::vector<WString> subItems; // the columns after the first
};

struct ListViewState : ControlState
{
    std::vector<Item> items;
    std::vector<ListColumnShown> columns;
    DWORD extendedStyle = 0;
    int selectedColumn = -1;
    int selectionMark = -1;
    std::vector<std::vector<WString>> Rows() const override
    {
        std::vector<std::vector<WString>> rows;
        for (const Item& i : items)
        {
            std::vector<WString> row{i.text};
            row.insert(row.end(), i.subItems.begin(), i.subItems.end());
            row.resize(std::max(row.size(), columns.size()));
            rows.push_back(std::move(row));
        }
        return rows;
    }
    std::vector<ListColumnShown> Columns() const override { return columns; }
    std::vector<WString> Items() const override
    {
        std::vector<WString> out;
        for (const Item& i : items)
            out.push_back(i.text);
        return out;
    }
    int Selection() const override
    {
        for (size_t i = 0; i < items.size(); ++i)
            if (items[i].state & LVIS_SELECTED)
                return static_cast<int>(i);
        return -1;
    }
};

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
std::vector<StateChange> SetStateLocked(ListViewState& list, DWORD style, int item, UINT state, UINT mask)
{
    std::vector<StateChange> changes;
    int n = static_cast<int>(list.items.size());
    auto apply = [&](int i, UINT bits, UINT m) {
        UINT old = list.items[i].state;
        UINT next = (old & ~m) | (bits & m);
        if (next != old)
        {
            list.items[i].state = next;
            changes.push_back({i, old, next, list.items[i].data});
        }
    };
    if ((mask & LVIS_SELECTED) && (state & LVIS_SELECTED) && (style & LVS_SINGLESEL))
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
    auto& s = StateOf<ListViewState>(w);
    int n = static_cast<int>(s.items.size());
    LVITEMW* item = reinterpret_cast<LVITEMW*>(lParam);
    auto textOf = [&](int i, int sub) -> WString {
        if (sub == 0)
            return s.items[i].text;
        size_t k = static_cast<size_t>(sub - 1);
        return k < s.items[i].subItems.size() ? s.items[i].subItems[k] : WString();
    };
    auto setText = [&](int i, int sub, LPCWSTR text) {
        if (sub == 0)
            s.items[i].text = ToWString(text);
        else
        {
            size_t k = static_cast<size_t>(sub - 1);
            if (s.items[i].subItems.size() <= k)
                s.items[i].subItems.resize(k + 1);
            s.items[i].subItems[k] = ToWString(text);
        }
    };
    switch (message)
    {
    case LVM_INSERTCOLUMNW: {
        const LVCOLUMNW* col = reinterpret_cast<const LVCOLUMNW*>(lParam);
        if (!col)
            return -1;
        int at = std::clamp(static_cast<int>(wParam), 0, static_cast<int>(s.columns.size()));
        s.columns.insert(s.columns.begin() + at,
                         ListColumnShown{(col->mask & LVCF_TEXT) ? ToWString(col->pszText) : WString(),
                                         (col->mask & LVCF_WIDTH) ? col->cx : 0});
        return at;
    }
    case LVM_GETCOLUMNW: {
        LVCOLUMNW* col = reinterpret_cast<LVCOLUMNW*>(lParam);
        if (!col || wParam >= s.columns.size())
            return FALSE;
        if (col->mask & LVCF_TEXT)
            CopyOut(s.columns[wParam].text, col->pszText, col->cchTextMax);
        if (col->mask & LVCF_WIDTH)
            col->cx = s.columns[wParam].width;
        return TRUE;
    }
    case LVM_SETCOLUMNW: {
        const LVCOLUMNW* col = reinterpret_cast<const LVCOLUMNW*>(lParam);
        if (!col || wParam >= s.columns.size())
            return FALSE;
        if (col->mask & LVCF_TEXT)
            s.columns[wParam].text = ToWString(col->pszText);
        if (col->mask & LVCF_WIDTH)
            s.columns[wParam].width = col->cx;
        return TRUE;
    }
    case LVM_GETSELECTIONMARK:
        return s.selectionMark;
    case LVM_SETSELECTIONMARK: {
        int old = s.selectionMark;
        s.selectionMark = static_cast<int>(lParam) < n ? static_cast<int>(lParam) : -1;
        return old;
    }
    case LVM_GETCOLUMNWIDTH:
        return wParam < s.columns.size() ? s.columns[wParam].width : 0;
    case LVM_SETCOLUMNWIDTH:
        if (wParam >= s.columns.size())
            return FALSE;
        s.columns[wParam].width = static_cast<short>(LOWORD(lParam));
        return TRUE;
    case LVM_SETSELECTEDCOLUMN:
        s.selectedColumn =
            static_cast<int>(wParam) < static_cast<int>(s.columns.size()) ? static_cast<int>(wParam) : -1;
        return 0;
    case LVM_GETSELECTEDCOLUMN:
        return s.selectedColumn;
    case LVM_DELETECOLUMN:
        if (wParam >= s.columns.size())
            return FALSE;
        s.columns.erase(s.columns.begin() + static_cast<int>(wParam));
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
                std::upper_bound(s.items.begin(), s.items.end(), it.text,
                                 [](const WString& a, const Item& b) { return Fold(a) < Fold(b.text); }) -
                s.items.begin());
        s.items.insert(s.items.begin() + at, it);
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
                s.items[i].data = item->lParam;
            if (item->mask & LVIF_STATE)
                changes = SetStateLocked(s, w.style, i, item->state, item->stateMask);
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
            item->lParam = s.items[i].data;
        if (item->mask & LVIF_STATE)
            item->state = s.items[i].state & item->stateMask;
        return TRUE;
    }
    case LVM_GETITEMCOUNT:
        return n;
    case LVM_DELETEITEM:
        if (static_cast<int>(wParam) < 0 || static_cast<int>(wParam) >= n)
            return FALSE;
        s.items.erase(s.items.begin() + static_cast<int>(wParam));
        if (s.selectionMark == static_cast<int>(wParam))
            s.selectionMark = -1;
        else if (s.selectionMark > static_cast<int>(wParam))
            --s.selectionMark;
        return TRUE;
    case LVM_DELETEALLITEMS:
        s.items.clear();
        s.selectionMark = -1;
        return TRUE;
    case LVM_SETITEMSTATE: {
        if (!item)
            return FALSE;
        auto changes = SetStateLocked(s, w.style, static_cast<int>(wParam), item->state, item->stateMask);
        lock.unlock();
        NotifyStateChanges(window, changes);
        return TRUE;
    }
    case LVM_GETITEMSTATE:
        if (static_cast<int>(wParam) < 0 || static_cast<int>(wParam) >= n)
            return 0;
        return s.items[static_cast<int>(wParam)].state & static_cast<UINT>(lParam);
    case LVM_GETNEXTITEM: {
        UINT want = static_cast<UINT>(lParam) & (LVNI_SELECTED | LVNI_FOCUSED);
        for (int i = static_cast<int>(wParam) + 1; i < n; ++i)
        {
            UINT need = (want & LVNI_SELECTED ? LVIS_SELECTED : 0) | (want & LVNI_FOCUSED ? LVIS_FOCUSED : 0);
            if ((s.items[i].state & need) == need)
                return i;
        }
        return -1;
    }
    case LVM_GETSELECTEDCOUNT:
        return std::count_if(s.items.begin(), s.items.end(),
                             [](const Item& it) { return (it.state & LVIS_SELECTED) != 0; });
    case LVM_SETEXTENDEDLISTVIEWSTYLE: {
        DWORD old = s.extendedStyle;
        DWORD mask = wParam ? static_cast<DWORD>(wParam) : ~0u;
        s.extendedStyle = (old & ~mask) | (static_cast<DWORD>(lParam) & mask);
        return old;
    }
    case LVM_GETEXTENDEDLISTVIEWSTYLE:
        return s.extendedStyle;
    case LVM_ENSUREVISIBLE:
        return TRUE;
    default:
        lock.unlock();
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

UINT ListViewCheckImage(HWND list, int row)
{
    return With(list, [&](Window& w) -> UINT {
        if (!EqualNoCase(w.className, WC_LISTVIEWW))
            return 0;
        auto& s = StateOf<ListViewState>(w);
        if (!(s.extendedStyle & LVS_EX_CHECKBOXES) || row < 0 || static_cast<size_t>(row) >= s.items.size())
            return 0;
        return (s.items[static_cast<size_t>(row)].state & LVIS_STATEIMAGEMASK) >> 12;
    });
}

void ClickCheckBoxNow(HWND list, int row)
{
    SetFocus(list); // the press takes the focus, as on any control
    LVITEMW current{};
    current.mask = LVIF_STATE | LVIF_PARAM;
    current.iItem = row;
    current.stateMask = ~0u;
    if (!SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&current)))
        return;
    const UINT image = (current.state & LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2) ? 1 : 2;
    NMLISTVIEW changing{};
    changing.iItem = row;
    changing.uChanged = LVIF_STATE;
    changing.uOldState = current.state;
    changing.uNewState = (current.state & ~LVIS_STATEIMAGEMASK) | INDEXTOSTATEIMAGEMASK(image);
    changing.lParam = current.lParam;
    // The parent may refuse the change; the click is still reported when the button comes up.
    if (!NotifyParent(list, LVN_ITEMCHANGING, &changing.hdr))
    {
        LVITEMW toggled{};
        toggled.stateMask = LVIS_STATEIMAGEMASK;
        toggled.state = INDEXTOSTATEIMAGEMASK(image);
        SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&toggled));
    }
    NMITEMACTIVATE click{};
    click.iItem = row;
    NotifyParent(list, NM_CLICK, &click.hdr);
}
} // namespace sim::detail
