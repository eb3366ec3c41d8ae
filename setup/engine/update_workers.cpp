#include "update_workers.h"

#include "install_workers.h"
#include "shell_files.h"
#include "v3_removal.h"

#include <platform/shlwapi.h>
#include <platform/winspool.h>

namespace kgsetup
{
namespace
{
constexpr HRESULT kNotFound = static_cast<HRESULT>(0x80070002);
constexpr HRESULT kPathNotFound = static_cast<HRESULT>(0x80070003);

WString SystemInfFolder()
{
    WCHAR windows[MAX_PATH] = {};
    UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
    return (length && length < MAX_PATH ? WString(windows, length) : WString(TEXT("C:\\Windows"))) +
           TEXT("\\INF\\");
}

WString TextOf(LPCWSTR s)
{
    return s ? WString(s) : WString();
}
} // namespace

bool CUpdateProgress::CreateWorker()
{
    if (self.expired())
        return false;
    if (context.driverKind == 3)
        return Adopt(std::make_shared<CThreadUpdateV3>(self, context));
    return Adopt(std::make_shared<CThreadUpdateV4>(self, context));
}

CThreadUpdateCommon::CThreadUpdateCommon(std::weak_ptr<CMethodProgressBase> progress, CSetupContext& context,
                                         INT filter)
    : CThreadUpdateBase(std::move(progress), context), filter_(filter)
{
}

bool CThreadUpdateCommon::Scan()
{
    package = std::make_unique<CDriverPackage>(WString());
    package->oemInfFilter = filter_;
    inventory = std::make_unique<CInstalledInventory>(package.get());
    package->Reload(infPath);
    if (inventory->error)
    {
        context_.LogError(inventory->error);
        ReportStatus(kFailGeneral);
        return false;
    }
    if (package->infReadError)
    {
        context_.LogError(package->infReadError);
        ReportStatus(kFailSourceFiles);
        return false;
    }
    return true;
}

UINT CThreadUpdateCommon::Upload(UINT next)
{
    package->Upload();
    if (package->result != 0)
    {
        context_.LogError(package->lastError);
        return kFailUpload;
    }
    return next;
}

UINT CThreadUpdateCommon::InstallDrivers(DWORD version, bool keepOffline, UINT next)
{
    for (const auto& [inf, drivers] : inventory->driversByInf)
        for (const DRIVER_INFO_8W& driver : drivers.records)
        {
            if (driver.cVersion != version || !driver.pName)
                continue;
            const WString name = driver.pName;
            package->InstallFromPackage(name);
            if (package->result != 0)
            {
                context_.LogError(package->lastError);
                return kFailDriverInstall;
            }
            auto printers = inventory->printersByDriver.find(name);
            if (printers == inventory->printersByDriver.end())
                continue;
            for (const PRINTER_INFO_2W& printer : printers->second.records)
            {
                const WString printerName = TextOf(printer.pPrinterName);
                // Writing the attribute takes the right to administer the printer.
                PRINTER_DEFAULTSW all{nullptr, nullptr, PRINTER_ALL_ACCESS};
                HANDLE handle = nullptr;
                if (printerName.empty() || !OpenPrinter2W(printerName.c_str(), &handle, &all, nullptr))
                    continue;
                const bool offline = keepOffline && (printer.Attributes & PRINTER_ATTRIBUTE_WORK_OFFLINE);
                SetPrinterAttributeBit(handle, PRINTER_ATTRIBUTE_WORK_OFFLINE, offline);
                ClosePrinter(handle);
            }
        }
    return next;
}

UINT CThreadUpdateCommon::UninstallOld(int compareResult, DWORD kind, UINT next)
{
    if (compareResult != 2)
        return next;
    const WString folder = SystemInfFolder();
    for (const auto& [inf, drivers] : inventory->driversByInf)
    {
        package->Reload(folder + inf);
        if (package->infReadError)
        {
            // Its kind not known, the old INF would stay while the update reports it replaced.
            context_.LogError(package->infReadError);
            return kFailDriverInstall;
        }
        if (package->driverKind != kind)
            continue;
        package->UninstallOemInf(inf);
        if (package->result != 0)
        {
            context_.LogError(package->lastError);
            return kFailDriverInstall;
        }
    }
    return next;
}

void CThreadUpdateCommon::Complete()
{
    ReportStatus(RegisterForResult(context_, kResultUpdated));
    Finish();
}

CThreadUpdateV3::CThreadUpdateV3(std::weak_ptr<CMethodProgressBase> progress, CSetupContext& context)
    : CThreadUpdateCommon(std::move(progress), context, kFilterMakerV3)
{
    packageFolder = LanguageFolder(context, true, false);
    if (!packageFolder.empty())
        infPath = packageFolder + TEXT("VelmoQ7.inf");
    ReportStatus(infPath.empty() ? UINT{kFailSourceFiles} : UINT{kStepStartUpdate});
}

std::map<UINT, int> CThreadUpdateV3::BuildStepMessages() const
{
    return StepMessages(
        {kStepUninstallPackages, kStepUpdatePackage, kStepUpdateDriver, kStepCheckUpdate, kStepStartUpdate});
}

void CThreadUpdateV3::Run()
{
    switch (QueryStatus())
    {
    case kStepStartUpdate:
        if (Scan())
            ReportStatus(kStepUpdatePackage);
        break;
    case kStepUpdatePackage: {
        ReportStatus(kStepUpdateDriver);
        // The old driver's pieces go only once the new package is in the store: a failed upload
        // leaves the printers working.
        const UINT uploaded = Upload(kStepUpdateDriver);
        const UINT next = uploaded == kStepUpdateDriver ? RemoveV3Driver(kStepUpdateDriver) : uploaded;
        if (next == kFailSpoolerRestart && uploaded == kStepUpdateDriver)
            context_.LogError(GetLastError());
        ReportStatus(next);
        break;
    }
    case kStepUpdateDriver:
        ReportStatus(InstallDrivers(3, true, kStepUninstallPackages));
        break;
    case kStepUninstallPackages:
        ReportStatus(UninstallOld(context_.v3CompareResult, 3, kStepCheckUpdate));
        break;
    case kStepCheckUpdate:
        inventory = std::make_unique<CInstalledInventory>(package.get());
        Complete();
        break;
    default:
        Finish();
        break;
    }
}

CThreadUpdateV4::CThreadUpdateV4(std::weak_ptr<CMethodProgressBase> progress, CSetupContext& context)
    : CThreadUpdateCommon(std::move(progress), context, kFilterMakerV4)
{
    packageFolder = LanguageFolder(context, true, true);
    if (!packageFolder.empty())
        infPath = packageFolder + TEXT("VeKglV4.inf");
    ReportStatus(kStepStartUpdate);
    const WString folder = LanguageFolder(context, false, true);
    if (!folder.empty())
    {
        monitorFolder = folder + TEXT("Monitor");
        metadataFolder = folder + TEXT("DeviceApp\\en");
    }
    companions = std::make_unique<CV4CompanionFiles>(monitorFolder);
    // Judged by the source itself: an installed service hides a missing one in the state, and step
    // 27 would remove the working service for nothing.
    if (infPath.empty() || !companions->sourceComplete)
        ReportStatus(kFailSourceFiles);
    if (metadataFolder.empty() || !PathFileExistsW((metadataFolder + TEXT("\\") + kMetadataFile).c_str()))
        ReportStatus(kFailSourceFiles);
}

std::map<UINT, int> CThreadUpdateV4::BuildStepMessages() const
{
    return StepMessages({kStepUninstallPackages, kStepUpdatePackage, kStepUpdateDriver, kStepCheckUpdate,
                         kStepStartUpdate, kStepUpdateMonitor, kStepMetadata});
}

void CThreadUpdateV4::Run()
{
    switch (QueryStatus())
    {
    case kStepStartUpdate:
        if (Scan())
            Metadata();
        break;
    case kStepMetadata:
        Metadata();
        break;
    case kStepUpdatePackage:
        ReportStatus(Upload(kStepUpdateDriver));
        break;
    case kStepUpdateDriver:
        ReportStatus(InstallDrivers(4, false, kStepUninstallPackages));
        break;
    case kStepUninstallPackages:
        ReportStatus(UninstallOld(context_.v4CompareResult, 4, kStepUpdateMonitor));
        break;
    case kStepUpdateMonitor:
        companions->Remove();
        companions->Install();
        ReportStatus(kStepCheckUpdate);
        break;
    case kStepCheckUpdate:
        Complete();
        break;
    default:
        Finish();
        break;
    }
}

void CThreadUpdateV4::Metadata()
{
    const WString programData = ProgramDataFolder();
    // A machine that never had a cache lacks its folders too: nothing to delete.
    HRESULT hr = DeleteWithShell(MetadataCacheFolder(programData));
    if (FAILED(hr) && hr != kNotFound && hr != kPathNotFound)
    {
        context_.LogError(static_cast<DWORD>(hr));
        ReportStatus(kFailDeleteMetadata);
        return;
    }
    MakeMetadataStoreFolder(programData);
    hr = CopyWithShell(metadataFolder, MetadataStoreFolder(programData));
    if (FAILED(hr) && hr != kNotFound)
    {
        context_.LogError(static_cast<DWORD>(hr));
        ReportStatus(kFailCopyMetadata);
        return;
    }
    ReportStatus(kStepUpdatePackage);
}

} // namespace kgsetup
