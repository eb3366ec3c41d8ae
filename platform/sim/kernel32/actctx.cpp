// Activation contexts: counted handles and a stack of activations per thread. The manifest itself
// is not read (controls look the same in every context here); what is checked is that a context
// names a loaded module and that each thread deactivates in the order it activated.
#include "core/faults.h"
#include "kernel32/loader.h"
#include "user32/desktop_internal.h"

#include <algorithm>
#include <map>
#include <vector>

using namespace sim;
using namespace sim::detail;

namespace
{
struct Activations : PartBase
{
    std::map<ULONG_PTR, int> references; // context → references (its creation and its activations)
    std::map<DWORD, std::vector<std::pair<ULONG_PTR, ULONG_PTR>>> stacks; // thread → (cookie, context)
    ULONG_PTR nextContext = 0xAC0000;
    ULONG_PTR nextCookie = 0x100;
};

Activations& activations()
{
    return Part<Activations>();
}

void Unreference(Activations& a, ULONG_PTR context)
{
    auto it = a.references.find(context);
    if (it != a.references.end() && --it->second <= 0)
        a.references.erase(it);
}
} // namespace

HANDLE WINAPI CreateActCtxW(PCACTCTXW actCtx)
{
    SIM_FAULT_POINT("CreateActCtxW", INVALID_HANDLE_VALUE);
    if (!actCtx || actCtx->cbSize < sizeof(ACTCTXW) ||
        ((actCtx->dwFlags & ACTCTX_FLAG_RESOURCE_NAME_VALID) && !actCtx->lpResourceName))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (actCtx->dwFlags & ACTCTX_FLAG_HMODULE_VALID)
    {
        if (actCtx->hModule != GetModuleHandleW(nullptr) && ProductModuleName(actCtx->hModule).empty())
        {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
    }
    else if (!actCtx->lpSource)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::lock_guard g(StateLock());
    Activations& a = activations();
    ULONG_PTR h = a.nextContext;
    a.nextContext += 4;
    a.references[h] = 1;
    return reinterpret_cast<HANDLE>(h);
}

void WINAPI ReleaseActCtx(HANDLE actCtx)
{
    std::lock_guard g(StateLock());
    Unreference(activations(), reinterpret_cast<ULONG_PTR>(actCtx));
}

BOOL WINAPI ActivateActCtx(HANDLE actCtx, ULONG_PTR* cookie)
{
    if (!cookie)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DWORD thread = GetCurrentThreadId();
    std::lock_guard g(StateLock());
    Activations& a = activations();
    auto context = reinterpret_cast<ULONG_PTR>(actCtx);
    if (context) // null activates the process default
    {
        auto it = a.references.find(context);
        if (it == a.references.end())
        {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        ++it->second;
    }
    *cookie = a.nextCookie++;
    a.stacks[thread].emplace_back(*cookie, context);
    return TRUE;
}

BOOL WINAPI DeactivateActCtx(DWORD, ULONG_PTR cookie)
{
    const DWORD thread = GetCurrentThreadId();
    std::lock_guard g(StateLock());
    Activations& a = activations();
    auto& stack = a.stacks[thread];
    auto it = std::find_if(stack.begin(), stack.end(), [&](const auto& e) { return e.first == cookie; });
    if (it == stack.end())
    {
        SetLastError(ERROR_SXS_INVALID_DEACTIVATION);
        return FALSE;
    }
    if (it + 1 != stack.end())
    {
        SetLastError(ERROR_SXS_EARLY_DEACTIVATION);
        return FALSE;
    }
    if (it->second)
        Unreference(a, it->second);
    stack.pop_back();
    return TRUE;
}

size_t sim::Machine::LiveActivationContexts() const
{
    std::lock_guard g(StateLock());
    return activations().references.size();
}

size_t sim::Machine::OpenActivations() const
{
    std::lock_guard g(StateLock());
    size_t open = 0;
    for (const auto& [thread, stack] : activations().stacks)
        open += stack.size();
    return open;
}
