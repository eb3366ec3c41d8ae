// Combo boxes: an item list whose current item is also the text.
#include "user32/controls.h"
#include "user32/controls/itemlist.h"

using namespace sim;
using namespace sim::detail;

namespace sim::detail
{
const ListMessages kCombo{CB_ADDSTRING,    CB_INSERTSTRING, CB_DELETESTRING, CB_RESETCONTENT,
                          CB_GETCOUNT,     CB_GETCURSEL,    CB_SETCURSEL,    CB_GETLBTEXT,
                          CB_GETLBTEXTLEN, CB_GETITEMDATA,  CB_SETITEMDATA,  CB_FINDSTRINGEXACT,
                          CB_FINDSTRING,   CB_SELECTSTRING, CBS_SORT,        true};
LRESULT CALLBACK ComboProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return ListProc(kCombo, window, message, wParam, lParam);
}
} // namespace sim::detail
