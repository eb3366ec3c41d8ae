// Owner-drawn buttons and statics: nothing else on the desktop paints, but these ask their parent to
// draw them (WM_DRAWITEM) whenever they come into view or are invalidated, so what the program drew
// can be read back. The paint is posted once, as Windows raises WM_PAINT for a pending update.
#include "user32/controls.h"
#include "user32/owner_draw.h"

#include <cwctype>

using namespace sim;
using namespace sim::detail;

namespace
{
bool SameClass(const WString& name, const char* builtin)
{
    size_t i = 0;
    for (; builtin[i]; ++i)
        if (i >= name.size() ||
            std::towlower(static_cast<wint_t>(name[i])) != static_cast<wint_t>(builtin[i]))
            return false;
    return i == name.size();
}

// ODT_BUTTON or ODT_STATIC for an owner-drawn control, else 0.
UINT OwnerDrawType(const Window& w)
{
    if (SameClass(w.className, "button") && (w.style & BS_TYPEMASK) == BS_OWNERDRAW)
        return ODT_BUTTON;
    if (SameClass(w.className, "static") && (w.style & SS_TYPEMASK) == SS_OWNERDRAW)
        return ODT_STATIC;
    return 0;
}

bool ShownLocked(const Window& w)
{
    for (const Window* at = &w; at; at = at->parent ? FindLocked(at->parent) : nullptr)
        if (!(at->style & WS_VISIBLE))
            return false;
    return true;
}

void CollectLocked(Window& w, std::vector<HWND>& out)
{
    if (OwnerDrawType(w) && !w.paintPending && ShownLocked(w))
    {
        w.paintPending = true;
        out.push_back(w.handle);
    }
    for (HWND child : w.children)
        if (Window* c = FindLocked(child))
            CollectLocked(*c, out);
}
} // namespace

namespace sim::detail
{
void SchedulePaint(HWND window)
{
    std::vector<HWND> due;
    {
        std::lock_guard g(Desk().mu);
        if (Window* w = FindLocked(window))
            CollectLocked(*w, due);
    }
    for (HWND h : due)
        PostMessageW(h, WM_PAINT, 0, 0);
}

bool PaintOwnerDrawn(HWND window)
{
    UINT type = 0;
    HWND parent = nullptr;
    UINT id = 0;
    UINT state = 0;
    {
        std::lock_guard g(Desk().mu);
        Window* w = FindLocked(window);
        if (!w)
            return false;
        w->paintPending = false;
        type = OwnerDrawType(*w);
        parent = w->parent;
        id = static_cast<UINT>(w->id);
        state = (w->style & WS_DISABLED) ? ODS_DISABLED : 0;
    }
    if (!type)
        return false;
    if (!parent)
        return true;
    DRAWITEMSTRUCT item{};
    item.CtlType = type;
    item.CtlID = id;
    item.itemAction = ODA_DRAWENTIRE;
    item.itemState = state | (GetFocus() == window ? ODS_FOCUS : 0);
    item.hwndItem = window;
    item.hDC = GetDC(window);
    GetClientRect(window, &item.rcItem);
    SendMessageW(parent, WM_DRAWITEM, id, reinterpret_cast<LPARAM>(&item));
    ReleaseDC(window, item.hDC);
    return true;
}
} // namespace sim::detail
