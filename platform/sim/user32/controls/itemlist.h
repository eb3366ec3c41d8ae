// What list boxes and combo boxes share: one list of items driven by either message set.
#pragma once

#include "user32/controls.h"

namespace sim::detail
{
struct ListItem
{
    WString text;
    LPARAM data = 0;
};

// Shared by list boxes and combo boxes.
struct ItemListState : ControlState
{
    std::vector<ListItem> items;
    int current = -1;
    std::vector<WString> Items() const override
    {
        std::vector<WString> out;
        for (const ListItem& i : items)
            out.push_back(i.text);
        return out;
    }
    int Selection() const override { return current; }
};

struct ListMessages
{
    UINT add, insert, remove, reset, count, getCur, setCur, getText, getTextLen, getData, setData, findExact,
        find, select;
    DWORD sortStyle;
    bool combo;
};

// The height of a list box row in pixels, for presses of the mouse over a row.
inline constexpr int kListRowHeight = 16;

LRESULT ListProc(const ListMessages& m, HWND window, UINT message, WPARAM wParam, LPARAM lParam);

} // namespace sim::detail
