// Plug-and-play driver updates and device removal. An update finds the present nodes with the hardware
// id, installs the INF's model for it from the driver store and has the spooler make the printer on the
// node's port, leaving install events pending for a few polls as the system's installs do.
#include "devices/device_list.h"
#include "setupapi/driverstore.h"
#include "setupapi/inf.h"
#include "winspool/spooler_internal.h"

#include "core/state.h"

#include <platform/newdev.h>
#include <platform/winspool.h>

#include <algorithm>
#include <cstdio>

using namespace sim;
using namespace sim::detail;

namespace
{
constexpr int kInstallEventPolls = 3;

BOOL Fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

bool Lists(const std::vector<WString>& ids, WStringView id)
{
    for (const WString& i : ids)
        if (EqualNoCase(i, id))
            return true;
    return false;
}

// The model whose hardware ids hold `hardwareId`, in any manufacturer's section for this machine.
std::optional<WString> ModelFor(const Inf& inf, WStringView hardwareId)
{
    const WStringView arch = System64() ? u"NTamd64" : u"NTx86";
    const InfSection* makers = inf.Find(u"Manufacturer");
    if (!makers)
        return std::nullopt;
    for (const InfLine& maker : makers->lines)
    {
        if (maker.fields.empty())
            continue;
        std::vector<WString> sections;
        for (size_t i = 1; i < maker.fields.size(); ++i)
            if (maker.fields[i].size() >= arch.size() &&
                EqualNoCase(WStringView(maker.fields[i]).substr(0, arch.size()), arch))
                sections.push_back(maker.fields[0] + u"." + maker.fields[i]);
        if (!System64())
            sections.push_back(maker.fields[0]);
        for (const WString& name : sections)
            if (const InfSection* models = inf.Find(name))
                for (const InfLine& line : models->lines)
                    for (size_t i = 1; i < line.fields.size(); ++i)
                        if (EqualNoCase(line.fields[i], hardwareId))
                            return line.key;
    }
    return std::nullopt;
}

// The class's next driver key, as the class installer numbers them.
WString NextDriverKey(const DeviceNode& node)
{
    int used = 0;
    for (const auto& other : AllDeviceNodes())
        used += !other->driverKey.empty() && SameGuid(other->classGuid, node.classGuid);
    char key[64];
    const GUID& g = node.classGuid;
    std::snprintf(key, sizeof key, "{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}\\%04d",
                  static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2],
                  g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7], used);
    return Widen(key);
}

// What a device (not printer) INF installs for a hardware id: the model's description, the first
// service its install section adds and the INF's driver version.
struct DeviceDriver
{
    WString description, service, version;
};
DeviceDriver DeviceDriverOf(const Inf& inf, WStringView hardwareId)
{
    DeviceDriver d;
    WString install;
    if (const InfSection* makers = inf.Find(u"Manufacturer"))
        for (const InfLine& maker : makers->lines)
        {
            if (maker.fields.empty() || !install.empty())
                continue;
            std::vector<WString> sections{maker.fields[0]};
            for (size_t i = 1; i < maker.fields.size(); ++i)
                sections.push_back(maker.fields[0] + u"." + maker.fields[i]);
            for (const WString& name : sections)
                if (const InfSection* models = inf.Find(name))
                    for (const InfLine& line : models->lines)
                        for (size_t i = 1; i < line.fields.size() && install.empty(); ++i)
                            if (EqualNoCase(line.fields[i], hardwareId))
                            {
                                install = line.fields[0];
                                d.description = line.key;
                            }
        }
    for (const WString& section : {install + u".NT.Services", install + u".Services"})
        if (const InfSection* services = inf.Find(section); services && d.service.empty())
            for (const InfLine& line : services->lines)
                if (EqualNoCase(line.key, u"AddService") && !line.fields.empty() && d.service.empty())
                    d.service = line.fields[0];
    d.version = inf.Field(u"Version", u"DriverVer", 2);
    return d;
}

// The store package an INF was uploaded from, or that is the INF.
std::optional<StorePackage> PackageOf(WStringView infPath)
{
    if (const StorePackage* direct = FindStorePackage(infPath))
        return *direct;
    for (const StorePackage& p : spooler().Packages())
        if (EqualNoCase(p.originalInfPath, FullPath(infPath)))
            return p;
    return std::nullopt;
}
} // namespace

BOOL WINAPI UpdateDriverForPlugAndPlayDevicesW(HWND, LPCWSTR hardwareId, LPCWSTR fullInfPath,
                                               DWORD installFlags, PBOOL rebootRequired)
{
    SIM_SPOOLER_CALL("UpdateDriverForPlugAndPlayDevicesW", FALSE);
    if (rebootRequired)
        *rebootRequired = FALSE;
    if (!hardwareId || !*hardwareId || !fullInfPath || !*fullInfPath ||
        (installFlags & ~DWORD(INSTALLFLAG_FORCE | INSTALLFLAG_READONLY | INSTALLFLAG_NONINTERACTIVE)))
        return Fail(ERROR_INVALID_PARAMETER);
    std::vector<std::shared_ptr<DeviceNode>> matching;
    std::optional<WString> model;
    std::optional<StorePackage> package;
    std::optional<DeviceDriver> device;
    {
        std::lock_guard g(StateLock());
        if (DWORD failure = DriverUpdateFailure())
            return Fail(failure);
        if (!Administrator())
            return Fail(ERROR_ACCESS_DENIED);
        DWORD error = 0;
        auto inf = ReadInfFile(fullInfPath, &error);
        if (!inf)
            return Fail(error ? error : DWORD(ERROR_FILE_NOT_FOUND));
        for (const auto& node : AllDeviceNodes())
            if (node->present && Lists(node->hardwareIds, hardwareId))
                matching.push_back(node);
        if (matching.empty())
            return Fail(ERROR_NO_SUCH_DEVINST);
        model = ModelFor(*inf, hardwareId);
        if (!model)
            return Fail(ERROR_NO_DRIVER_SELECTED);
        package = PackageOf(fullInfPath);
        if (!package)
            return Fail(ERROR_NOT_AN_INSTALLED_OEM_INF);
        if (!EqualNoCase(inf->Field(u"Version", u"Class"), u"Printer"))
            device = DeviceDriverOf(*inf, hardwareId);
    }
    if (device)
    {
        // A device driver of its own: the nodes take it, no printer comes of it.
        std::lock_guard g(StateLock());
        bool restart = false;
        for (const auto& node : matching)
        {
            if (node->driverKey.empty())
                node->driverKey = NextDriverKey(*node);
            node->infPath = package->publishedName;
            node->service = device->service;
            node->driverVersion = device->version;
            node->friendlyName = device->description;
            // The version the driver key holds is the new driver's.
            registry().SetValue(HKEY_LOCAL_MACHINE,
                                u"System\\CurrentControlSet\\Control\\Class\\" + node->driverKey,
                                u"DriverVersion", REG_SZ,
                                {reinterpret_cast<const BYTE*>(device->version.c_str()),
                                 (device->version.size() + 1) * sizeof(WCHAR)});
            restart = restart || node->needsRestart;
        }
        if (rebootRequired)
            *rebootRequired = restart;
        PendingInstallEvents() = std::max(PendingInstallEvents(), kInstallEventPolls);
        SetLastError(ERROR_SUCCESS);
        return TRUE;
    }
    // The system's own install through the spooler, outside the machine's lock as a caller's would be.
    HRESULT installed =
        InstallPrinterDriverFromPackageW(nullptr, package->storeInfPath.c_str(), model->c_str(), nullptr, 0);
    if (FAILED(installed))
        return Fail((installed & 0xFFFF0000) == 0x80070000 ? DWORD(installed & 0xFFFF) : DWORD(installed));
    std::lock_guard g(StateLock());
    const DriverSetup* driver = FindDriver(*model, NativeEnvironment());
    if (!driver)
        return Fail(ERROR_UNKNOWN_PRINTER_DRIVER);
    for (const auto& node : matching)
    {
        if (node->driverKey.empty())
            node->driverKey = NextDriverKey(*node);
        node->infPath = package->publishedName;
        node->manufacturer = driver->manufacturer;
        node->friendlyName = *model;
        if (node->portName.empty() || !HasPort(node->portName))
            continue;
        // A printer of the model's name on the node's port, unless one is there already.
        bool there = false;
        for (const PrinterSetup& p : spooler().Printers())
            there = there || (EqualNoCase(p.driverName, *model) && EqualNoCase(p.portName, node->portName));
        if (there)
            continue;
        PrinterSetup printer;
        printer.name = *model;
        for (int copy = 1; FindPrinter(printer.name); ++copy)
            printer.name = *model + u" (Copy " + Widen(std::to_string(copy)) + u")";
        printer.driverName = *model;
        printer.portName = node->portName;
        printer.driverPath = driver->driverPath;
        spooler().AddPrinter(printer);
    }
    PendingInstallEvents() = std::max(PendingInstallEvents(), kInstallEventPolls);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL WINAPI DiUninstallDevice(HWND, HDEVINFO set, PSP_DEVINFO_DATA device, DWORD flags, PBOOL needReboot)
{
    SIM_SPOOLER_CALL("DiUninstallDevice", FALSE);
    if (needReboot)
        *needReboot = FALSE;
    if (flags != 0)
        return Fail(ERROR_INVALID_FLAGS);
    return RemoveDeviceOfSet(set, device);
}

BOOL WINAPI UpdateDriverForPlugAndPlayDevicesA(HWND parent, LPCSTR hardwareId, LPCSTR fullInfPath,
                                               DWORD installFlags, PBOOL rebootRequired)
{
    const WString id = hardwareId ? Widen(hardwareId) : WString();
    const WString path = fullInfPath ? Widen(fullInfPath) : WString();
    return UpdateDriverForPlugAndPlayDevicesW(parent, hardwareId ? id.c_str() : nullptr,
                                              fullInfPath ? path.c_str() : nullptr, installFlags,
                                              rebootRequired);
}
