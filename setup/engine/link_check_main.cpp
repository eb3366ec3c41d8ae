// Never shipped: links the engine's public functions in the Windows builds, so a missing import or
// declaration shows before any deliverable uses them. Only ever run without arguments, where it does
// nothing.
#include "devices.h"
#include "driver_package.h"
#include "inf_file.h"
#include "install_workers.h"
#include "inventory.h"
#include "ports.h"
#include "processes.h"
#include "remove_worker.h"
#include "services.h"
#include "setup_context.h"
#include "shell_files.h"
#include "uninstall_entry.h"
#include "update_workers.h"
#include "v3_removal.h"
#include "v4_companion.h"

using namespace kgsetup;

namespace
{
int Packages()
{
    CDriverPackage package(TEXT("VelmoQ7.inf"));
    package.Upload();
    package.InstallFromPackage(TEXT("Velmo KG-100"));
    package.AddPrinter(TEXT("Velmo KG-100"), TEXT("LPT1:"), true);
    package.UninstallOemInf(TEXT("oem0.inf"));
    package.LoadFilingModels();
    package.ModelHasFile(TEXT("Velmo KG-100"), TEXT("VELMOQ7.DLL"));
    package.Reload(TEXT("VeKglV4.inf"));
    CInfFile inf(TEXT("VelmoQ7.inf"));
    CInstalledInventory inventory(&package);
    return CDriverPackage::CompareDriverVer(TEXT("a.inf"), TEXT("b.inf")) + inventory.HasDrivers(3) +
           static_cast<int>(CDriverPackage::ParseDriverVer(inf.GetModelsSection(), 'v')) +
           static_cast<int>(inf.GetLines(TEXT("Version"), WString()).size()) +
           SetPrinterAttributeBit(nullptr, PRINTER_ATTRIBUTE_ENABLE_BIDI, false) +
           static_cast<int>(EnumPrintersOnPort(TEXT("LPT1:")).count + EnumPrintersByName({}).count);
}

int Context()
{
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

int Machine()
{
    GetSystemModule(TEXT("winspool.drv"));
    AddLocalPort(TEXT("NUL:"));
    AddStandardTcpIpPort(TEXT("KORIGRAPH_"), TEXT("192.168.0.5"));
    DeleteTcpIpPort(TEXT("KORIGRAPH_192.168.0.5"));
    NormalizeModelName(TEXT("Velmo KG-100"));
    ControlService(TEXT("Spooler"), kServiceRestart);
    RestartSpooler();
    RunProcessAndWait(TEXT("cmd"), 0);
    RunAsDesktopUser(TEXT("cmd"));
    ListProcesses();
    ProcessesHoldingModule(TEXT("VelmQ7UI"));
    KillProcess(0);
    RunQuoted(TEXT("cmd"));
    CV4CompanionFiles companion(TEXT("C:\\"));
    companion.Install();
    companion.Remove();
    return 0;
}

int Devices()
{
    const WORD products[] = {2, 4};
    CDriverPackage package(TEXT("VelmoQ7.inf"));
    package.RemovePrinter(TEXT("Velmo KG-100"));
    package.UpdatePnpDriver(TEXT("USBPRINT\\VelmoKG-100ABCD"), TEXT("USB001"));
    RenamePrinter(TEXT("Velmo KG-100"), TEXT("Velmo KG-100 (1)"));
    ReenumerateDevices();
    return static_cast<int>(RemoveLptDevices(TEXT("VELMO_RANTH")) + RemoveUsbPrinters(products, TEXT("")) +
                            DevicesByEnumerator(TEXT("USBPRINT")).size() +
                            GetDeviceInstances(TEXT("USBPRINT")).size() +
                            EnumDeviceProperty(TEXT("SWD"), SPDRP_FRIENDLYNAME, 0).size());
}

class Page : public IProgressPage
{
public:
    HANDLE PageMutex() const override { return nullptr; }
};

int Workers()
{
    CSetupContext context;
    context.LoadModelList();
    WString port = TEXT("LPT1:");
    context.FindPort(port);
    auto page = std::make_shared<Page>();
    auto install = MakeProgress<CInstallProgress>(context, page);
    install->CreateWorker();
    install->Start();
    install->Stop();
    MakeProgress<CUpdateProgress>(context, page)->CreateWorker();
    MakeProgress<CRemoveProgress>(context, page)->CreateWorker();
    std::string ticket;
    EditPrintToFileTicket(ticket);
    return static_cast<int>(SetPrintToFileOption(context, TEXT("Velmo KG-100")) +
                            FinishTextOf(kResultInstalled) + RemoveV3Driver(kResultRemoved) +
                            FilterForFlags(context.flags));
}
} // namespace

int main(int argc, char**)
{
    if (argc != 42)
        return 0;
    return Packages() + Context() + Machine() + Devices() + Workers();
}
