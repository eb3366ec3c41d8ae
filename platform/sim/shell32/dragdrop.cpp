// Files dropped on a window by the scripted user.
#include "user32/desktop_internal.h"

using namespace sim;
using namespace sim::detail;

UINT WINAPI DragQueryFileW(HDROP drop, UINT index, LPWSTR file, UINT count)
{
    std::lock_guard g(Desk().mu);
    auto it = Desk().drops.find(reinterpret_cast<ULONG_PTR>(drop));
    if (it == Desk().drops.end())
        return 0;
    const auto& files = it->second;
    if (index == 0xFFFFFFFF)
        return static_cast<UINT>(files.size());
    if (index >= files.size())
        return 0;
    if (!file)
        return static_cast<UINT>(files[index].size());
    if (count == 0)
        return 0;
    CopyOut(files[index], file, static_cast<int>(count));
    return static_cast<UINT>(std::min<size_t>(files[index].size(), count - 1));
}

BOOL WINAPI DragQueryPoint(HDROP drop, POINT* point)
{
    if (point)
        *point = POINT{10, 10};
    std::lock_guard g(Desk().mu);
    return Desk().drops.count(reinterpret_cast<ULONG_PTR>(drop)) ? TRUE : FALSE;
}

void WINAPI DragFinish(HDROP drop)
{
    std::lock_guard g(Desk().mu);
    Desk().drops.erase(reinterpret_cast<ULONG_PTR>(drop));
}

void WINAPI DragAcceptFiles(HWND window, BOOL accept)
{
    std::lock_guard g(Desk().mu);
    if (Window* w = FindLocked(window))
    {
        if (accept)
            w->exStyle |= WS_EX_ACCEPTFILES;
        else
            w->exStyle &= ~static_cast<DWORD>(WS_EX_ACCEPTFILES);
    }
}
