#include "activation.h"

namespace velmoui
{

namespace
{
HANDLE g_context = nullptr;
constexpr WORD kManifestResource = 2; // an isolation-aware DLL's manifest
} // namespace

void CreateModuleActivation(HINSTANCE instance)
{
    ACTCTXW actCtx{};
    actCtx.cbSize = sizeof actCtx;
    actCtx.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID | ACTCTX_FLAG_HMODULE_VALID;
    actCtx.hModule = instance;
    actCtx.lpResourceName = MAKEINTRESOURCEW(kManifestResource);
    HANDLE context = CreateActCtxW(&actCtx);
    g_context = context == INVALID_HANDLE_VALUE ? nullptr : context;
}

void ReleaseModuleActivation()
{
    if (g_context)
        ReleaseActCtx(g_context);
    g_context = nullptr;
}

HANDLE ModuleActivationContext()
{
    return g_context;
}

ModuleActivation::ModuleActivation()
{
    if (g_context)
        active_ = ActivateActCtx(g_context, &cookie_) != FALSE;
}

ModuleActivation::~ModuleActivation()
{
    if (active_)
        DeactivateActCtx(0, cookie_);
}

} // namespace velmoui
