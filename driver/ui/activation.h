// The module's activation context: made from its own manifest when the DLL is loaded, so the pages and
// dialogs it creates use the controls that manifest names whatever the hosting program asked for.
#pragma once

#include <platform/windows.h>

namespace velmoui
{

// At process attach and detach. Without a context (it cannot be made) windows are made in the caller's.
void CreateModuleActivation(HINSTANCE instance);
void ReleaseModuleActivation();
// Null when there is none.
HANDLE ModuleActivationContext();

// The module's context is active for the scope's lifetime.
class ModuleActivation
{
public:
    ModuleActivation();
    ~ModuleActivation();
    ModuleActivation(const ModuleActivation&) = delete;
    ModuleActivation& operator=(const ModuleActivation&) = delete;

private:
    ULONG_PTR cookie_ = 0;
    bool active_ = false;
};

} // namespace velmoui
