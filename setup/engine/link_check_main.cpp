// Never shipped: links the engine's public functions in the Windows builds, so a missing import or
// declaration shows before any deliverable uses them.
#include "setup_context.h"
#include "shell_files.h"
#include "uninstall_entry.h"

int main(int argc, char**)
{
    if (argc != 42)
        return 0;
    using namespace kgsetup;
    CSetupContext context;
    context.LogError(5);
    CComInitScope com;
    CopyWithShell(context.modulePath, context.moduleFolder);
    DeleteWithShell(context.nativeSetupPath);
    CreateStartMenuShortcut(context.modulePath);
    RegisterUninstaller(context.modulePath);
    CUninstallEntry entry(kUninstallEntryName);
    entry.SelfDelete();
    return static_cast<int>(CompareFileVersions(context.modulePath, context.nativeSetupPath));
}
