#include "remove_worker.h"

#include "devices.h"
#include "inf_file.h"
#include "install_workers.h"
#include "ports.h"
#include "services.h"
#include "shell_files.h"
#include "v3_removal.h"

#include <platform/winspool.h>

#include <algorithm>
#include <map>

namespace kgsetup
{
namespace
{
constexpr WCHAR kMakerPortText[] = TEXT("KORIGRAPH_");
constexpr WCHAR kUsbPortMonitor[] = TEXT("Dynamic Print Monitor");
constexpr DWORD kPortsSettleMs = 1000;

WString TextOf(LPCWSTR s)
{
    return s ? WString(s) : WString();
}

bool ListedNoCase(const std::vector<WString>& list, const WString& text)
{
    return std::ranges::any_of(list, [&](const WString& s) { return EqualsNoCase(s, text); });
}

EnumBuffer<PORT_INFO_2W> EnumPortsLocal()
{
    return TwoCallEnumerate<PORT_INFO_2W>([](LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned) {
        return EnumPortsW(nullptr, 2, buffer, size, needed, returned);
    });
}

bool IsUsbPort(const EnumBuffer<PORT_INFO_2W>& ports, const WString& port)
{
    for (const PORT_INFO_2W& p : ports.records)
        if (EqualsNoCase(TextOf(p.pPortName), port))
            return TextOf(p.pMonitorName) == kUsbPortMonitor;
    return false;
}
} // namespace

INT FilterForFlags(UINT flags)
{
    const bool v3 = flags & kFlagRemoveV3, v4 = flags & kFlagRemoveV4;
    if (v3 && !v4)
        return kFilterMakerV3;
    if (v4 && !v3)
        return kFilterMakerV4;
    return kFilterMaker;
}

bool CRemoveProgress::CreateWorker()
{
    if (self.expired())
        return false;
    return Adopt(std::make_shared<CThreadRemove>(self, context));
}

CThreadRemove::CThreadRemove(std::weak_ptr<CMethodProgressBase> progress, CSetupContext& context)
    : CThreadRemoveBase(std::move(progress), context), continuesInstall_(context.mode != 2),
      flags_(context.flags)
{
    if (flags_ & kFlagRemoveV4)
    {
        // With no package (the installed copy) the folder is just "Monitor": removal needs no source.
        monitorFolder = LanguageFolder(context, false, true) + TEXT("Monitor");
        companions = std::make_unique<CV4CompanionFiles>(monitorFolder);
    }
    ReportStatus(kStepRemoveJobs);
}

std::map<UINT, int> CThreadRemove::BuildStepMessages() const
{
    return StepMessages({kStepDeleteMonitor, kStepRemoveJobs, kStepRemovePrinters, kStepRemoveDrivers,
                         kStepUninstallPackages, kStepCheckRemove, kStepStartRemove, kStepDeleteMetadata});
}

DWORD CThreadRemove::Rescan(INT filter)
{
    if (!package)
        package = std::make_unique<CDriverPackage>(WString());
    package->oemInfFilter = filter;
    inventory.reset();
    inventory = std::make_unique<CInstalledInventory>(package.get());
    return inventory->error;
}

void CThreadRemove::Run()
{
    const UINT step = QueryStatus();
    const bool driverStep = step == kStepRemoveDrivers || step == kStepUninstallPackages;
    // A step that works from a list the spooler gave only in part fails instead of reporting as
    // removed what it never saw.
    const std::map<UINT, UINT> failures = {{kStepRemoveJobs, kFailCancelJob},
                                           {kStepRemovePrinters, kFailRemovePrinter},
                                           {kStepRemoveDrivers, kFailDeleteDriver},
                                           {kStepUninstallPackages, kFailRemovePackage},
                                           {kStepCheckRemove, kFailRemovePackage}};
    if (StepMessageOf(step) != -1)
        if (DWORD error = Rescan(continuesInstall_ && driverStep ? INT{kFilterMakerV3} : INT{kFilterMaker});
            error && failures.count(step))
        {
            context_.LogError(error);
            ReportStatus(failures.at(step));
            return;
        }
    switch (step)
    {
    case kStepRemoveJobs:
        ReportStatus(CancelJobs());
        break;
    case kStepRemovePrinters:
        ReportStatus(RemovePrinters());
        break;
    case kStepRemoveDrivers:
        ReportStatus(RemoveDrivers());
        break;
    case kStepUninstallPackages:
        ReportStatus(RemovePackages());
        break;
    case kStepDeleteMonitor:
        ReportStatus(RemoveCompanions());
        break;
    case kStepDeleteMetadata:
        ReportStatus(RemoveMetadata());
        break;
    case kStepCheckRemove:
        Check();
        break;
    default:
        Finish();
        break;
    }
}

UINT CThreadRemove::CancelJobs()
{
    const std::vector<WString> names = context_.printersToUpdate;
    for (const WString& name : names)
    {
        auto jobs = std::ranges::find_if(inventory->jobsByPrinter,
                                         [&](const auto& entry) { return EqualsNoCase(entry.first, name); });
        if (jobs == inventory->jobsByPrinter.end())
            continue;
        for (const JOB_INFO_2W& job : jobs->second.records)
        {
            // Other users' jobs too: cancelling them takes the right to administer the printer.
            PRINTER_DEFAULTSW all{nullptr, nullptr, PRINTER_ALL_ACCESS};
            HANDLE printer = nullptr;
            if (!OpenPrinter2W(name.c_str(), &printer, &all, nullptr))
            {
                context_.LogError(GetLastError());
                return kFailCancelJob;
            }
            const BOOL cancelled = SetJobW(printer, job.JobId, 0, nullptr, JOB_CONTROL_CANCEL);
            const DWORD error = cancelled ? 0 : GetLastError();
            ClosePrinter(printer);
            // A job that ended since the scan is as good as cancelled.
            if (!cancelled && error != ERROR_INVALID_PARAMETER)
            {
                context_.LogError(error);
                return kFailCancelJob;
            }
        }
    }
    return kStepRemovePrinters;
}

UINT CThreadRemove::RemovePrinters()
{
    const EnumBuffer<PORT_INFO_2W> ports = EnumPortsLocal();
    std::vector<WString> done;
    std::vector<WString> makerPorts;
    // A driver listed under two INFs lists its printers twice: each is removed once.
    for (const auto& [inf, drivers] : inventory->driversByInf)
        for (const DRIVER_INFO_8W& driver : drivers.records)
        {
            auto printers = inventory->printersByDriver.find(TextOf(driver.pName));
            if (printers == inventory->printersByDriver.end())
                continue;
            for (const PRINTER_INFO_2W& printer : printers->second.records)
            {
                const WString name = TextOf(printer.pPrinterName);
                if (name.empty() || !ListedNoCase(context_.printersToUpdate, name) ||
                    ListedNoCase(done, name))
                    continue;
                done.push_back(name);
                const WString port = TextOf(printer.pPortName);
                if (!context_.isWin7 && IsUsbPort(ports, port))
                {
                    const WORD products[] = {2, 4};
                    if (HRESULT hr = RemoveUsbPrinters(products, port, 0); hr != S_OK)
                    {
                        context_.LogError(static_cast<DWORD>(hr));
                        return kFailRemovePrinter;
                    }
                }
                package->RemovePrinter(name);
                if (package->result != 0)
                {
                    context_.LogError(package->lastError);
                    return kFailRemovePrinter;
                }
                if (port.find(kMakerPortText) != WString::npos && !ListedNoCase(makerPorts, port))
                    makerPorts.push_back(port);
            }
        }
    // With no printer of the maker's drivers left, the maker's ports that no printer uses go too: an
    // earlier removal that failed after its printers went would otherwise leave them for good.
    bool makerPrintersLeft = false;
    for (const PRINTER_INFO_2W& printer : EnumPrintersLocal().records)
        for (const auto& [inf, drivers] : inventory->driversByInf)
            for (const DRIVER_INFO_8W& driver : drivers.records)
                makerPrintersLeft = makerPrintersLeft || TextOf(printer.pDriverName) == TextOf(driver.pName);
    if (!makerPrintersLeft)
        for (const PORT_INFO_2W& p : ports.records)
        {
            const WString port = TextOf(p.pPortName);
            if (port.starts_with(kMakerPortText) && !ListedNoCase(makerPorts, port))
                makerPorts.push_back(port);
        }
    if (makerPorts.empty())
        return kStepRemoveDrivers;
    Sleep(kPortsSettleMs);
    UINT result = kStepRemoveDrivers;
    for (const WString& port : makerPorts)
    {
        // A printer that stays keeps its port.
        if (!EnumPrintersOnPort(port).records.empty())
            continue;
        const DWORD status = DeleteTcpIpPort(port);
        if (status != 0 && status != ERROR_UNKNOWN_PORT)
        {
            context_.LogError(status);
            result = kFailRemovePrinter;
        }
    }
    return result;
}

UINT CThreadRemove::RemoveDrivers()
{
    if (!RestartSpooler())
    {
        context_.LogError(GetLastError());
        return kFailSpoolerRestart;
    }
    if (DWORD error = Rescan(package->oemInfFilter))
    {
        context_.LogError(error);
        return kFailDeleteDriver;
    }
    for (const auto& [inf, drivers] : inventory->driversByInf)
        for (const DRIVER_INFO_8W& driver : drivers.records)
        {
            const WString name = TextOf(driver.pName);
            if (name.empty() || (continuesInstall_ && driver.cVersion != 3))
                continue;
            auto printers = inventory->printersByDriver.find(name);
            if (printers != inventory->printersByDriver.end() && !printers->second.records.empty())
                continue;
            // By its version: a driver of another kind under the same name is not this INF's to take.
            WString deleted = name;
            if (!DeletePrinterDriverExW(nullptr, nullptr, deleted.data(), DPD_DELETE_SPECIFIC_VERSION,
                                        driver.cVersion) &&
                GetLastError() != ERROR_UNKNOWN_PRINTER_DRIVER)
            {
                context_.LogError(GetLastError());
                return kFailDeleteDriver;
            }
        }
    return kStepUninstallPackages;
}

UINT CThreadRemove::RemovePackages()
{
    const std::vector<WString> infs = package->oemInfs;
    for (const WString& inf : infs)
    {
        auto drivers = inventory->driversByInf.find(inf);
        if (drivers != inventory->driversByInf.end() && !drivers->second.records.empty())
            continue;
        package->UninstallOemInf(inf);
        if (package->result != 0)
        {
            context_.LogError(package->lastError);
            return kFailRemovePackage;
        }
    }
    // With no maker INF left at all, the removal is completed whatever the rows checked: nothing
    // of a driver may stay behind a machine without one.
    package->FindMakerOemInfs(kFilterMaker);
    if (package->oemInfsError)
    {
        context_.LogError(package->oemInfsError);
        return kFailRemovePackage;
    }
    if (package->oemInfs.empty())
        flags_ |= kFlagRemoveV3 | kFlagRemoveV4;
    package->FindMakerOemInfs(static_cast<DWORD>(FilterForFlags(flags_)));
    if (package->oemInfsError)
    {
        context_.LogError(package->oemInfsError);
        return kFailRemovePackage;
    }
    return package->oemInfs.empty() ? UINT{kStepDeleteMonitor} : UINT{kStepCheckRemove};
}

UINT CThreadRemove::RemoveCompanions()
{
    if (flags_ & kFlagRemoveV4)
    {
        if (!companions)
        {
            monitorFolder = LanguageFolder(context_, false, true) + TEXT("Monitor");
            companions = std::make_unique<CV4CompanionFiles>(monitorFolder);
        }
        if (!companions->Remove())
        {
            // A fresh object finds nothing to do only when nothing is there: no failure then.
            if (companions->state == CV4CompanionFiles::kRemoveFailed)
            {
                context_.LogError(companions->lastError);
                return kFailCompanions;
            }
        }
    }
    return kStepDeleteMetadata;
}

UINT CThreadRemove::RemoveMetadata()
{
    if (!(flags_ & kFlagRemoveV4))
        return kStepCheckRemove;
    if (HRESULT hr = DeleteDeviceMetadata(ProgramDataFolder()); FAILED(hr))
    {
        context_.LogError(static_cast<DWORD>(hr));
        return kFailDeleteMetadata;
    }
    return kStepCheckRemove;
}

void CThreadRemove::Check()
{
    UINT result = kResultRemoved;
    if (flags_ & (kFlagRemoveV3 | kFlagRemoveV4))
    {
        if (DWORD error = Rescan(FilterForFlags(flags_)))
        {
            context_.LogError(error);
            ReportStatus(kFailRemovePackage);
            Finish();
            return;
        }
        if (package->oemInfs.empty() && (flags_ & kFlagRemoveV3))
        {
            result = RemoveV3Driver(kResultRemoved);
            if (result == kFailSpoolerRestart)
                context_.LogError(GetLastError());
        }
        // The installed copy and its entry go at exit only once no maker driver of any kind is left.
        package->FindMakerOemInfs(kFilterMaker);
        if (package->oemInfsError)
        {
            // Whether the installed copy may go is not known: the removal is not known complete.
            if (result == kResultRemoved)
            {
                context_.LogError(package->oemInfsError);
                result = kFailRemovePackage;
            }
        }
        else if (package->oemInfs.empty())
            context_.selfDeleteAtExit = 1;
    }
    ReportStatus(result);
    Finish();
}

} // namespace kgsetup
