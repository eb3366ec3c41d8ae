// The keyboard's state as the scripted user left it, and threads sharing an input state.
#include "user32/desktop_internal.h"

#include <algorithm>

using namespace sim;
using namespace sim::detail;

// The desktop keeps one queue per thread, so sharing an input state only records the pair; what
// Windows checks is kept: two different live threads, and parting only what was joined.
BOOL WINAPI AttachThreadInput(DWORD attachThreadId, DWORD attachToThreadId, BOOL attach)
{
    std::lock_guard g(Desk().mu);
    ThreadState* from = nullptr;
    bool toAlive = false;
    for (const auto& t : Sched().threads)
    {
        if (!t->alive)
            continue;
        if (t->id == attachThreadId)
            from = t.get();
        if (t->id == attachToThreadId)
            toAlive = true;
    }
    if (!from || !toAlive || attachThreadId == attachToThreadId)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto& joined = from->inputAttachedTo;
    auto it = std::find(joined.begin(), joined.end(), attachToThreadId);
    if (attach)
    {
        if (it == joined.end())
            joined.push_back(attachToThreadId);
        return TRUE;
    }
    if (it == joined.end())
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    joined.erase(it);
    return TRUE;
}

SHORT WINAPI GetKeyState(int key)
{
    std::lock_guard g(Desk().mu);
    auto& down = Desk().keysDown;
    auto isDown = [&](int k) { return std::find(down.begin(), down.end(), k) != down.end(); };
    bool d = isDown(key) || (key == VK_SHIFT && (isDown(VK_LSHIFT) || isDown(VK_RSHIFT))) ||
             (key == VK_CONTROL && (isDown(VK_LCONTROL) || isDown(VK_RCONTROL)));
    return d ? static_cast<SHORT>(0x8000) : 0;
}

SHORT WINAPI GetAsyncKeyState(int key)
{
    return GetKeyState(key);
}
