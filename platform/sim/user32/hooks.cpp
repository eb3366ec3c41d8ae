// Window hooks of a thread (WH_CBT): the latest installed is called first and passes on through
// CallNextHookEx. Only hooks of the calling thread are supported, as only those are asked for.
#include "user32/hooks.h"

#include "core/internal.h"
#include "core/state.h"

#include <vector>

using namespace sim;
using namespace sim::detail;

namespace
{
struct Hook
{
    HHOOK handle;
    int id;
    HOOKPROC proc;
    DWORD thread;
};

struct Hooks : PartBase
{
    std::vector<Hook> all; // oldest first
    ULONG_PTR next = 0x40010;
};

Hooks& hooks()
{
    return Part<Hooks>();
}

// The hook after `after` (or the first when null) in calling order for this thread and kind.
std::optional<Hook> NextHook(int id, DWORD thread, HHOOK after)
{
    std::lock_guard g(StateLock());
    auto& all = hooks().all;
    bool seen = after == nullptr;
    for (auto it = all.rbegin(); it != all.rend(); ++it)
    {
        if (it->id != id || it->thread != thread)
            continue;
        if (seen)
            return *it;
        seen = it->handle == after;
    }
    return std::nullopt;
}

std::optional<Hook> Find(HHOOK hook)
{
    std::lock_guard g(StateLock());
    for (const Hook& h : hooks().all)
        if (h.handle == hook)
            return h;
    return std::nullopt;
}
} // namespace

namespace sim::detail
{
bool HasHooks(int id)
{
    return NextHook(id, GetCurrentThreadId(), nullptr).has_value();
}

LRESULT CallHooks(int id, int code, WPARAM wParam, LPARAM lParam)
{
    auto first = NextHook(id, GetCurrentThreadId(), nullptr);
    return first ? first->proc(code, wParam, lParam) : 0;
}
} // namespace sim::detail

HHOOK WINAPI SetWindowsHookExW(int idHook, HOOKPROC proc, HINSTANCE, DWORD threadId)
{
    if (idHook != WH_CBT || !proc)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (threadId != 0 && threadId != GetCurrentThreadId())
    {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    std::lock_guard g(StateLock());
    Hooks& h = hooks();
    HHOOK handle = reinterpret_cast<HHOOK>(h.next);
    h.next += 4;
    h.all.push_back(Hook{handle, idHook, proc, GetCurrentThreadId()});
    return handle;
}

HHOOK WINAPI SetWindowsHookExA(int idHook, HOOKPROC proc, HINSTANCE module, DWORD threadId)
{
    return SetWindowsHookExW(idHook, proc, module, threadId);
}

LRESULT WINAPI CallNextHookEx(HHOOK hook, int code, WPARAM wParam, LPARAM lParam)
{
    auto self = Find(hook);
    if (!self)
        return 0;
    auto next = NextHook(self->id, self->thread, hook);
    return next ? next->proc(code, wParam, lParam) : 0;
}

BOOL WINAPI UnhookWindowsHookEx(HHOOK hook)
{
    std::lock_guard g(StateLock());
    auto& all = hooks().all;
    auto n = std::erase_if(all, [&](const Hook& h) { return h.handle == hook; });
    if (n == 0)
    {
        SetLastError(ERROR_INVALID_HOOK_HANDLE);
        return FALSE;
    }
    return TRUE;
}
