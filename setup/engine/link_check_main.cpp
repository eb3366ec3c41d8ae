// Never shipped: links the engine's public functions in the Windows builds, so a missing import or
// declaration shows before any deliverable uses them.
#include "driver_package.h"
#include "inf_file.h"
#include "inventory.h"
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
    CDriverPackage package(context.modulePath);
    package.Upload();
    package.InstallFromPackage(TEXT("Velmo KG-100"));
    package.AddPrinter(TEXT("Velmo KG-100"), TEXT("LPT1:"), true);
    package.UninstallOemInf(TEXT("oem0.inf"));
    package.LoadFilingModels();
    package.ModelHasFile(TEXT("Velmo KG-100"), TEXT("VELMOQ7.DLL"));
    package.Reload(context.nativeSetupPath);
    CInfFile inf(context.modulePath);
    CInstalledInventory inventory(&package);
    int sum = CDriverPackage::CompareDriverVer(context.modulePath, context.nativeSetupPath) +
              inventory.HasDrivers(3) +
              static_cast<int>(CDriverPackage::ParseDriverVer(inf.GetModelsSection(), 'v')) +
              static_cast<int>(inf.GetLines(TEXT("Version"), WString()).size()) +
              SetPrinterAttributeBit(nullptr, PRINTER_ATTRIBUTE_ENABLE_BIDI, false) +
              static_cast<int>(EnumPrintersOnPort(TEXT("LPT1:")).count + EnumPrintersByName({}).count);
    return sum + static_cast<int>(CompareFileVersions(context.modulePath, context.nativeSetupPath));
}
