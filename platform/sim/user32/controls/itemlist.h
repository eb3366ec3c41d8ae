// What list boxes and combo boxes share: one list of items driven by either message set.
#pragma once

#include "user32/controls.h"

namespace sim::detail
{
struct ListMessages
{
    UINT add, insert, remove, reset, count, getCur, setCur, getText, getTextLen, getData, setData, findExact,
        find, select;
    DWORD sortStyle;
    bool combo;
};

LRESULT ListProc(const ListMessages& m, HWND window, UINT message, WPARAM wParam, LPARAM lParam);

} // namespace sim::detail
