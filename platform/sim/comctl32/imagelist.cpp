// Image lists: a size and the icons put in, by the resource each came from.
#include "user32/desktop_internal.h"

#include "rc/resources.h"

#include <sim/desktop.h>

namespace sim::detail
{
namespace
{
struct ImageList
{
    int cx = 0;
    int cy = 0;
    UINT flags = 0;
    std::vector<HICON> icons;
};

struct ImageLists : PartBase
{
    std::map<HIMAGELIST, ImageList> lists;
    ULONG_PTR next = 0x60010;
};

ImageLists& lists()
{
    return Part<ImageLists>();
}

ImageList* FindLocked(HIMAGELIST handle)
{
    auto it = lists().lists.find(handle);
    return it == lists().lists.end() ? nullptr : &it->second;
}
} // namespace

std::optional<ImageListShown> ImageListOf(HIMAGELIST handle)
{
    std::vector<HICON> icons;
    ImageListShown shown;
    {
        std::lock_guard g(StateLock());
        ImageList* list = FindLocked(handle);
        if (!list)
            return std::nullopt;
        shown.width = list->cx;
        shown.height = list->cy;
        icons = list->icons;
    }
    for (HICON icon : icons)
        shown.icons.push_back(IconNameOf(icon));
    return shown;
}
} // namespace sim::detail

using namespace sim::detail;

HIMAGELIST WINAPI ImageList_Create(int cx, int cy, UINT flags, int, int)
{
    if (cx <= 0 || cy <= 0)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::lock_guard g(StateLock());
    auto handle = reinterpret_cast<HIMAGELIST>(lists().next);
    lists().next += 4;
    lists().lists[handle] = ImageList{cx, cy, flags, {}};
    return handle;
}

BOOL WINAPI ImageList_Destroy(HIMAGELIST list)
{
    std::lock_guard g(StateLock());
    return lists().lists.erase(list) ? TRUE : FALSE;
}

int WINAPI ImageList_ReplaceIcon(HIMAGELIST handle, int index, HICON icon)
{
    std::lock_guard g(StateLock());
    ImageList* list = FindLocked(handle);
    if (!list || !icon || index < -1 || index >= static_cast<int>(list->icons.size()))
        return -1;
    if (index == -1)
    {
        list->icons.push_back(icon);
        return static_cast<int>(list->icons.size()) - 1;
    }
    list->icons[static_cast<size_t>(index)] = icon;
    return index;
}

int WINAPI ImageList_GetImageCount(HIMAGELIST handle)
{
    std::lock_guard g(StateLock());
    ImageList* list = FindLocked(handle);
    return list ? static_cast<int>(list->icons.size()) : 0;
}

BOOL WINAPI ImageList_GetIconSize(HIMAGELIST handle, int* cx, int* cy)
{
    std::lock_guard g(StateLock());
    ImageList* list = FindLocked(handle);
    if (!list || !cx || !cy)
        return FALSE;
    *cx = list->cx;
    *cy = list->cy;
    return TRUE;
}
