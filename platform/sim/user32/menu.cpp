// Menus from templates or built by code, and their items.
#include "user32/desktop_internal.h"
#include "rc/resources.h"

#include <algorithm>
#include <deque>
#include <optional>

using namespace sim;
using namespace sim::detail;

namespace
{
Menu* MenuLocked(HMENU menu)
{
    auto& menus = Desk().menus;
    auto it = menus.find(menu);
    return it == menus.end() ? nullptr : it->second.get();
}

HMENU NewMenuLocked(bool popup)
{
    HMENU h = reinterpret_cast<HMENU>(Desk().nextMenu);
    Desk().nextMenu += 4;
    auto m = std::make_shared<Menu>();
    m->popup = popup;
    Desk().menus[h] = m;
    return h;
}

HMENU BuildMenuLocked(const std::vector<MenuTemplateItem>& items, bool popup)
{
    HMENU h = NewMenuLocked(popup);
    std::vector<MenuItem> built;
    for (const MenuTemplateItem& t : items)
    {
        MenuItem m;
        m.text = t.text;
        m.id = t.id;
        m.type = t.type;
        m.state = t.state;
        if (t.popup)
            m.sub = BuildMenuLocked(t.children, true);
        built.push_back(m);
    }
    MenuLocked(h)->items = std::move(built);
    return h;
}

// Finds an item by command id (searching sub-menus) or by position.
MenuItem* ItemLocked(HMENU menu, UINT item, bool byPosition, HMENU* in = nullptr)
{
    Menu* m = MenuLocked(menu);
    if (!m)
        return nullptr;
    if (byPosition)
    {
        if (item >= m->items.size())
            return nullptr;
        if (in)
            *in = menu;
        return &m->items[item];
    }
    for (MenuItem& i : m->items)
    {
        if (!i.sub && !(i.type & MFT_SEPARATOR) && i.id == item)
        {
            if (in)
                *in = menu;
            return &i;
        }
        if (i.sub)
            if (MenuItem* found = ItemLocked(i.sub, item, false, in))
                return found;
    }
    for (MenuItem& i : m->items)
        if (i.sub && i.id == item)
            return &i;
    return nullptr;
}
} // namespace

HMENU WINAPI LoadMenuW(HINSTANCE instance, LPCWSTR name)
{
    const ResourceFile* file = ResourcesOf(instance);
    const std::vector<MenuTemplateItem>* items = nullptr;
    if (file && name)
        if (auto it = file->menus.find(ResourceName(name)); it != file->menus.end())
            items = PickLanguage(it->second, UiLanguage());
    if (!items)
    {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    std::lock_guard g(Desk().mu);
    return BuildMenuLocked(*items, false);
}

HMENU WINAPI CreateMenu()
{
    std::lock_guard g(Desk().mu);
    return NewMenuLocked(false);
}

HMENU WINAPI CreatePopupMenu()
{
    std::lock_guard g(Desk().mu);
    return NewMenuLocked(true);
}

BOOL WINAPI DestroyMenu(HMENU menu)
{
    std::lock_guard g(Desk().mu);
    Menu* m = MenuLocked(menu);
    if (!m)
    {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return FALSE;
    }
    std::vector<HMENU> subs;
    for (MenuItem& i : m->items)
        if (i.sub)
            subs.push_back(i.sub);
    Desk().menus.erase(menu);
    for (HMENU s : subs)
        Desk().menus.erase(s);
    return TRUE;
}

HMENU WINAPI GetMenu(HWND window)
{
    std::lock_guard g(Desk().mu);
    Window* w = WindowOrErrorLocked(window);
    return w && !(w->style & WS_CHILD) ? w->menu : nullptr;
}

BOOL WINAPI SetMenu(HWND window, HMENU menu)
{
    std::lock_guard g(Desk().mu);
    Window* w = WindowOrErrorLocked(window);
    if (!w || (w->style & WS_CHILD))
        return FALSE;
    w->menu = menu;
    return TRUE;
}

HMENU WINAPI GetSubMenu(HMENU menu, int position)
{
    std::lock_guard g(Desk().mu);
    MenuItem* i = position < 0 ? nullptr : ItemLocked(menu, static_cast<UINT>(position), true);
    return i ? i->sub : nullptr;
}

int WINAPI GetMenuItemCount(HMENU menu)
{
    std::lock_guard g(Desk().mu);
    Menu* m = MenuLocked(menu);
    return m ? static_cast<int>(m->items.size()) : -1;
}

UINT WINAPI GetMenuItemID(HMENU menu, int position)
{
    std::lock_guard g(Desk().mu);
    MenuItem* i = position < 0 ? nullptr : ItemLocked(menu, static_cast<UINT>(position), true);
    if (!i)
        return static_cast<UINT>(-1);
    return i->sub ? static_cast<UINT>(-1) : i->id;
}

UINT WINAPI GetMenuState(HMENU menu, UINT item, UINT flags)
{
    std::lock_guard g(Desk().mu);
    MenuItem* i = ItemLocked(menu, item, (flags & MF_BYPOSITION) != 0);
    if (!i)
        return static_cast<UINT>(-1);
    UINT state = i->state | (i->type & (MF_SEPARATOR | MF_MENUBARBREAK | MF_MENUBREAK));
    if (i->sub)
    {
        Menu* s = MenuLocked(i->sub);
        state |= MF_POPUP | (static_cast<UINT>(s ? s->items.size() : 0) << 8);
    }
    return state;
}

int WINAPI GetMenuStringW(HMENU menu, UINT item, LPWSTR text, int maxCount, UINT flags)
{
    std::lock_guard g(Desk().mu);
    MenuItem* i = ItemLocked(menu, item, (flags & MF_BYPOSITION) != 0);
    if (!i)
        return 0;
    if (!text || maxCount <= 0)
        return static_cast<int>(i->text.size());
    CopyOut(i->text, text, maxCount);
    return static_cast<int>(std::min<size_t>(i->text.size(), maxCount - 1));
}

DWORD WINAPI CheckMenuItem(HMENU menu, UINT item, UINT check)
{
    std::lock_guard g(Desk().mu);
    MenuItem* i = ItemLocked(menu, item, (check & MF_BYPOSITION) != 0);
    if (!i)
        return static_cast<DWORD>(-1);
    DWORD old = i->state & MF_CHECKED;
    i->state = (i->state & ~static_cast<UINT>(MF_CHECKED)) | (check & MF_CHECKED);
    return old;
}

BOOL WINAPI CheckMenuRadioItem(HMENU menu, UINT first, UINT last, UINT check, UINT flags)
{
    std::lock_guard g(Desk().mu);
    bool byPosition = (flags & MF_BYPOSITION) != 0;
    bool any = false;
    for (UINT k = first; k <= last; ++k)
        if (MenuItem* i = ItemLocked(menu, k, byPosition))
        {
            any = true;
            if (k == check)
            {
                i->state |= MF_CHECKED;
                i->type |= MFT_RADIOCHECK;
            }
            else
                i->state &= ~static_cast<UINT>(MF_CHECKED);
        }
    return any ? TRUE : FALSE;
}

BOOL WINAPI EnableMenuItem(HMENU menu, UINT item, UINT enable)
{
    std::lock_guard g(Desk().mu);
    MenuItem* i = ItemLocked(menu, item, (enable & MF_BYPOSITION) != 0);
    if (!i)
        return -1;
    BOOL old = static_cast<BOOL>(i->state & (MF_GRAYED | MF_DISABLED));
    i->state =
        (i->state & ~static_cast<UINT>(MF_GRAYED | MF_DISABLED)) | (enable & (MF_GRAYED | MF_DISABLED));
    return old;
}

BOOL WINAPI ModifyMenuW(HMENU menu, UINT position, UINT flags, UINT_PTR newItem, LPCWSTR text)
{
    std::lock_guard g(Desk().mu);
    MenuItem* i = ItemLocked(menu, position, (flags & MF_BYPOSITION) != 0);
    if (!i)
        return FALSE;
    if (flags & MF_POPUP)
        i->sub = reinterpret_cast<HMENU>(newItem);
    else
        i->id = static_cast<UINT>(newItem);
    i->type = flags & (MF_SEPARATOR | MF_MENUBARBREAK | MF_MENUBREAK | MF_OWNERDRAW);
    i->state = flags & (MF_CHECKED | MF_GRAYED | MF_DISABLED | MF_DEFAULT);
    if (!(flags & MF_SEPARATOR))
        i->text = ToWString(text);
    return TRUE;
}

BOOL WINAPI AppendMenuW(HMENU menu, UINT flags, UINT_PTR newItem, LPCWSTR text)
{
    std::lock_guard g(Desk().mu);
    Menu* m = MenuLocked(menu);
    if (!m)
        return FALSE;
    MenuItem i;
    if (flags & MF_POPUP)
        i.sub = reinterpret_cast<HMENU>(newItem);
    else
        i.id = static_cast<UINT>(newItem);
    i.type = flags & (MF_SEPARATOR | MF_MENUBARBREAK | MF_MENUBREAK | MF_OWNERDRAW);
    i.state = flags & (MF_CHECKED | MF_GRAYED | MF_DISABLED | MF_DEFAULT);
    if (!(flags & MF_SEPARATOR))
        i.text = ToWString(text);
    m->items.push_back(i);
    return TRUE;
}

BOOL WINAPI SetMenuItemInfoW(HMENU menu, UINT item, BOOL byPosition, LPCMENUITEMINFOW info)
{
    if (!info || info->cbSize < sizeof(MENUITEMINFOW) - sizeof(HBITMAP))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard g(Desk().mu);
    MenuItem* i = ItemLocked(menu, item, byPosition != FALSE);
    if (!i)
    {
        SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
        return FALSE;
    }
    if (info->fMask & MIIM_STATE)
        i->state = info->fState;
    if (info->fMask & MIIM_ID)
        i->id = info->wID;
    if (info->fMask & MIIM_SUBMENU)
        i->sub = info->hSubMenu;
    if (info->fMask & MIIM_DATA)
        i->data = info->dwItemData;
    if (info->fMask & (MIIM_FTYPE | MIIM_TYPE))
        i->type = info->fType;
    if ((info->fMask & MIIM_STRING) || ((info->fMask & MIIM_TYPE) && !(info->fType & MFT_SEPARATOR)))
        i->text = ToWString(info->dwTypeData);
    return TRUE;
}

BOOL WINAPI GetMenuItemInfoW(HMENU menu, UINT item, BOOL byPosition, LPMENUITEMINFOW info)
{
    if (!info)
        return FALSE;
    std::lock_guard g(Desk().mu);
    MenuItem* i = ItemLocked(menu, item, byPosition != FALSE);
    if (!i)
    {
        SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
        return FALSE;
    }
    if (info->fMask & MIIM_STATE)
        info->fState = i->state;
    if (info->fMask & MIIM_ID)
        info->wID = i->id;
    if (info->fMask & MIIM_SUBMENU)
        info->hSubMenu = i->sub;
    if (info->fMask & MIIM_DATA)
        info->dwItemData = i->data;
    if (info->fMask & (MIIM_FTYPE | MIIM_TYPE))
        info->fType = i->type;
    if (info->fMask & (MIIM_STRING | MIIM_TYPE))
    {
        if (info->dwTypeData && info->cch > 0)
            CopyOut(i->text, info->dwTypeData, static_cast<int>(info->cch));
        info->cch = static_cast<UINT>(i->text.size());
    }
    return TRUE;
}

BOOL WINAPI DrawMenuBar(HWND window)
{
    return GetMenu(window) ? TRUE : FALSE;
}

namespace
{
// Choices the script made ahead for pop-up menus that return their command.
struct PopupChoices : PartBase
{
    std::deque<UINT> next;
};
} // namespace

void sim::Desktop::ChoosePopupMenuItem(UINT id)
{
    std::lock_guard g(Desk().mu);
    Part<PopupChoices>().next.push_back(id);
}

namespace
{
// A pop-up tracked for its owner, waiting for the scripted user's pick.
struct PendingPopup
{
    PopupMenuShown shown;
    std::optional<UINT> answer;
};
struct PopupShownNow : PartBase
{
    std::shared_ptr<PendingPopup> popup;
};

PopupMenuShown ShownLocked(HMENU menu, int x, int y)
{
    PopupMenuShown shown;
    shown.at = POINT{x, y};
    if (Menu* m = MenuLocked(menu))
        for (const MenuItem& i : m->items)
            if (!(i.type & MFT_SEPARATOR))
                shown.items.push_back(
                    PopupMenuItemShown{i.id, i.text, (i.state & (MF_GRAYED | MF_DISABLED)) != 0});
    return shown;
}
} // namespace

// A pop-up that returns its command answers with the script's next choice when the menu holds it
// enabled (nothing chosen: dismissed). A pop-up tracked for its owner waits, as the real one does,
// until the script picks an item or dismisses it; a pick reaches the owner as WM_COMMAND.
BOOL WINAPI TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int, HWND owner, const RECT*)
{
    if (flags & TPM_RETURNCMD)
    {
        UINT id = 0;
        {
            std::lock_guard g(Desk().mu);
            auto& next = Part<PopupChoices>().next;
            if (next.empty())
                return 0;
            id = next.front();
            next.pop_front();
        }
        UINT state = GetMenuState(menu, id, MF_BYCOMMAND);
        return state != static_cast<UINT>(-1) && !(state & (MF_GRAYED | MF_DISABLED)) ? static_cast<BOOL>(id)
                                                                                      : 0;
    }
    auto pending = std::make_shared<PendingPopup>();
    {
        std::lock_guard g(Desk().mu);
        if (!MenuLocked(menu))
        {
            SetLastError(ERROR_INVALID_MENU_HANDLE);
            return FALSE;
        }
        pending->shown = ShownLocked(menu, x, y);
        Part<PopupShownNow>().popup = pending;
    }
    WaitForAnswer([pending] { return pending->answer.has_value(); }, nullptr);
    UINT id = 0;
    {
        std::lock_guard g(Desk().mu);
        auto& now = Part<PopupShownNow>().popup;
        if (now == pending)
            now.reset();
        id = pending->answer.value_or(0);
    }
    if (id)
        PostMessageW(owner, WM_COMMAND, MAKEWPARAM(id, 0), 0);
    return TRUE;
}

std::optional<PopupMenuShown> sim::Desktop::PopupMenu() const
{
    const_cast<Desktop*>(this)->WaitIdle();
    std::lock_guard g(Desk().mu);
    auto& now = Part<PopupShownNow>().popup;
    if (!now || now->answer)
        return std::nullopt;
    return now->shown;
}

bool sim::Desktop::AnswerPopupMenu(UINT id)
{
    if (!WaitIdle())
        return false;
    {
        std::lock_guard g(Desk().mu);
        auto& now = Part<PopupShownNow>().popup;
        if (!now || now->answer)
        {
            ReportFailure("pick from a pop-up menu: none is shown\n" + DescribeScreenLocked());
            return false;
        }
        if (id)
        {
            auto& items = now->shown.items;
            auto it = std::find_if(items.begin(), items.end(), [id](const auto& i) { return i.id == id; });
            if (it == items.end() || it->grayed)
            {
                ReportFailure("pick item " + std::to_string(id) + " from a pop-up menu: " +
                              (it == items.end() ? "no such item" : "it is grayed"));
                return false;
            }
        }
        now->answer = id;
        Desk().cv.notify_all();
    }
    return WaitIdle();
}

// The window menu: made with the standard commands on first use, its own copy per window.
HMENU WINAPI GetSystemMenu(HWND window, BOOL revert)
{
    std::lock_guard g(Desk().mu);
    Window* w = WindowOrErrorLocked(window);
    if (!w)
        return nullptr;
    if (revert || !w->systemMenu)
    {
        if (w->systemMenu)
            Desk().menus.erase(w->systemMenu);
        w->systemMenu = NewMenuLocked(true);
        auto& items = MenuLocked(w->systemMenu)->items;
        for (auto [id, text] : {std::pair<UINT, WStringView>{SC_RESTORE, u"&Restore"},
                                {SC_MOVE, u"&Move"},
                                {SC_SIZE, u"&Size"},
                                {SC_MINIMIZE, u"Mi&nimize"},
                                {SC_MAXIMIZE, u"Ma&ximize"},
                                {0, u""},
                                {SC_CLOSE, u"&Close\tAlt+F4"}})
        {
            MenuItem i;
            i.id = id;
            i.text = WString(text);
            i.type = id ? 0 : MFT_SEPARATOR;
            items.push_back(i);
        }
        if (revert)
            return nullptr;
    }
    return w->systemMenu;
}

BOOL WINAPI RemoveMenu(HMENU menu, UINT position, UINT flags)
{
    std::lock_guard g(Desk().mu);
    Menu* m = MenuLocked(menu);
    if (!m)
    {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return FALSE;
    }
    HMENU in = nullptr;
    MenuItem* i = ItemLocked(menu, position, (flags & MF_BYPOSITION) != 0, &in);
    if (!i || !in)
    {
        SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
        return FALSE;
    }
    auto& items = MenuLocked(in)->items;
    items.erase(items.begin() + (i - items.data()));
    return TRUE;
}

BOOL WINAPI DeleteMenu(HMENU menu, UINT position, UINT flags)
{
    HMENU sub = nullptr;
    {
        std::lock_guard g(Desk().mu);
        if (MenuItem* i = ItemLocked(menu, position, (flags & MF_BYPOSITION) != 0))
            sub = i->sub;
    }
    if (!RemoveMenu(menu, position, flags))
        return FALSE;
    if (sub)
        DestroyMenu(sub);
    return TRUE;
}
