// Device nodes a program makes and registers through the class installer, their registry properties
// set, their device and driver keys opened, the class installer's parameters and the install flags it
// leaves (a removal that needs a restart), and INFs copied into the driver store as OEM INFs.
#include "devices/device_list.h"
#include "setupapi/driverstore.h"
#include "setupapi/inf.h"
#include "winspool/spooler_internal.h"

#include "core/state.h"

#include <platform/setupapi.h>

#include <cstdio>
#include <cstring>

using namespace sim;
using namespace sim::detail;

namespace
{
constexpr WStringView kEnumKey = u"System\\CurrentControlSet\\Enum\\";
constexpr WStringView kClassKey = u"System\\CurrentControlSet\\Control\\Class\\";

BOOL Fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

struct KnownClass
{
    const GUID* guid;
    WStringView name;
};
constexpr KnownClass kClasses[] = {{&kUsbClass, u"USB"},           {&kPrinterClass, u"Printer"},
                                   {&kPortsClass, u"Ports"},       {&kSystemClass, u"System"},
                                   {&kNetTransClass, u"NetTrans"}, {&kPrintQueueClass, u"PrintQueue"}};

WString ClassNameOf(const GUID& guid)
{
    for (const KnownClass& c : kClasses)
        if (SameGuid(*c.guid, guid))
            return WString(c.name);
    return {};
}

WString Upper(WStringView text)
{
    WString out(text);
    for (WCHAR& c : out)
        c = c >= u'a' && c <= u'z' ? static_cast<WCHAR>(c - u'a' + u'A') : c;
    return out;
}

bool Registered(const DeviceInfoSet& set, DWORD devInst)
{
    return std::find(set.unregistered.begin(), set.unregistered.end(), devInst) == set.unregistered.end();
}

// A multi-string's texts, up to the empty one that ends it (or the buffer's end).
std::vector<WString> TextsOf(const WCHAR* text, size_t units)
{
    std::vector<WString> texts;
    size_t i = 0;
    while (i < units && text[i])
    {
        size_t end = i;
        while (end < units && text[end])
            ++end;
        texts.emplace_back(text + i, end - i);
        i = end + 1;
    }
    return texts;
}

// The set's entry for a node it made or holds, and the node; null with the error set.
std::pair<std::shared_ptr<DeviceInfoSet>, std::shared_ptr<DeviceNode>> EntryOf(HDEVINFO set,
                                                                               const SP_DEVINFO_DATA* data)
{
    auto node = DeviceOfSet(set, data);
    if (!node)
        return {};
    return {DeviceSetOf(set), node};
}
} // namespace

namespace sim::detail
{
// The class installer's part of DIF_REMOVE and DIF_REGISTERDEVICE; StateLock held by the caller.
BOOL CallClassInstaller(DI_FUNCTION function, HDEVINFO set, PSP_DEVINFO_DATA device)
{
    auto [devices, node] = EntryOf(set, device);
    if (!node)
        return FALSE;
    if (!Administrator())
        return Fail(ERROR_ACCESS_DENIED);
    if (function == DIF_REGISTERDEVICE)
    {
        if (Registered(*devices, node->devInst))
            return Fail(ERROR_DEVINST_ALREADY_EXISTS);
        if (FindDeviceNode(WStringView(node->instanceId)))
            return Fail(ERROR_DEVINST_ALREADY_EXISTS);
        std::erase(devices->unregistered, node->devInst);
        AddDeviceNode(node);
        SetLastError(ERROR_SUCCESS);
        return TRUE;
    }
    if (!Registered(*devices, node->devInst))
        return Fail(ERROR_DEVINFO_NOT_REGISTERED);
    if (!RemoveDeviceOfSet(set, device))
        return FALSE;
    if (node->needsRestart)
        devices->installFlags[node->devInst] |= DI_NEEDRESTART;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}
} // namespace sim::detail

BOOL WINAPI SetupDiCreateDeviceInfoW(HDEVINFO set, PCWSTR deviceName, const GUID* classGuid,
                                     PCWSTR deviceDescription, HWND, DWORD creationFlags,
                                     PSP_DEVINFO_DATA device)
{
    SIM_SPOOLER_CALL("SetupDiCreateDeviceInfoW", FALSE);
    std::lock_guard g(StateLock());
    auto devices = DeviceSetOf(set);
    if (!devices)
        return FALSE;
    if (creationFlags & ~DWORD(DICD_GENERATE_ID | DICD_INHERIT_CLASSDRVS))
        return Fail(ERROR_INVALID_FLAGS);
    if (device && device->cbSize != sizeof(SP_DEVINFO_DATA))
        return Fail(ERROR_INVALID_USER_BUFFER);
    if (!classGuid)
        return Fail(ERROR_INVALID_PARAMETER);
    if (!deviceName || !*deviceName)
        return Fail(ERROR_INVALID_DEVINST_NAME);
    const WStringView name(deviceName);
    auto taken = [&](WStringView id) {
        if (FindDeviceNode(id))
            return true;
        for (const auto& n : devices->nodes)
            if (EqualNoCase(n->instanceId, id))
                return true;
        return false;
    };
    WString id;
    if (creationFlags & DICD_GENERATE_ID)
    {
        // A root-enumerated device named by the caller, numbered from 0000.
        if (name.find(u'\\') != WStringView::npos)
            return Fail(ERROR_INVALID_DEVINST_NAME);
        for (int n = 0; n < 10000 && id.empty(); ++n)
        {
            char number[16];
            std::snprintf(number, sizeof number, "%04d", n);
            WString candidate = u"ROOT\\" + Upper(name) + u"\\" + Widen(number);
            if (!taken(candidate))
                id = candidate;
        }
        if (id.empty())
            return Fail(ERROR_DEVINST_ALREADY_EXISTS);
    }
    else
    {
        if (std::count(name.begin(), name.end(), u'\\') != 2)
            return Fail(ERROR_INVALID_DEVINST_NAME);
        if (taken(name))
            return Fail(ERROR_DEVINST_ALREADY_EXISTS);
        id = WString(name);
    }
    auto node = std::make_shared<DeviceNode>();
    node->instanceId = id;
    node->classGuid = *classGuid;
    node->className = ClassNameOf(*classGuid);
    node->description = deviceDescription ? WString(deviceDescription) : WString();
    node->devInst = NewDevInst();
    devices->nodes.push_back(node);
    devices->unregistered.push_back(node->devInst);
    if (device)
    {
        device->ClassGuid = node->classGuid;
        device->DevInst = node->devInst;
        device->Reserved = devices->nodes.size();
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL WINAPI SetupDiCreateDeviceInfoA(HDEVINFO set, PCSTR deviceName, const GUID* classGuid,
                                     PCSTR deviceDescription, HWND parent, DWORD creationFlags,
                                     PSP_DEVINFO_DATA device)
{
    const WString name = deviceName ? Widen(deviceName) : WString();
    const WString description = deviceDescription ? Widen(deviceDescription) : WString();
    return SetupDiCreateDeviceInfoW(set, deviceName ? name.c_str() : nullptr, classGuid,
                                    deviceDescription ? description.c_str() : nullptr, parent, creationFlags,
                                    device);
}

BOOL WINAPI SetupDiSetDeviceRegistryPropertyW(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD property,
                                              const BYTE* buffer, DWORD bufferSize)
{
    SIM_SPOOLER_CALL("SetupDiSetDeviceRegistryPropertyW", FALSE);
    std::lock_guard g(StateLock());
    auto [devices, node] = EntryOf(set, device);
    if (!node)
        return FALSE;
    if (Registered(*devices, node->devInst) && !Administrator())
        return Fail(ERROR_ACCESS_DENIED);
    if (bufferSize && !buffer)
        return Fail(ERROR_INVALID_USER_BUFFER);
    const auto* text = reinterpret_cast<const WCHAR*>(buffer);
    const size_t units = buffer ? bufferSize / sizeof(WCHAR) : 0;
    const WString single = units ? WString(text, std::find(text, text + units, u'\0')) : WString();
    switch (property)
    {
    case SPDRP_HARDWAREID:
        node->hardwareIds = units ? TextsOf(text, units) : std::vector<WString>{};
        break;
    case SPDRP_DEVICEDESC:
        node->description = single;
        break;
    case SPDRP_FRIENDLYNAME:
        if (units)
            node->friendlyName = single;
        else
            node->friendlyName.reset();
        break;
    default:
        return Fail(ERROR_INVALID_REG_PROPERTY);
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL WINAPI SetupDiSetDeviceRegistryPropertyA(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD property,
                                              const BYTE* buffer, DWORD bufferSize)
{
    if (bufferSize && !buffer)
        return Fail(ERROR_INVALID_USER_BUFFER);
    // Each text of the system code page widened on its own, the zeros between them kept.
    WString wide;
    if (buffer)
    {
        const char* text = reinterpret_cast<const char*>(buffer);
        size_t i = 0;
        while (i < bufferSize)
        {
            size_t end = i;
            while (end < bufferSize && text[end])
                ++end;
            wide += Widen(std::string_view(text + i, end - i));
            if (end < bufferSize)
                wide += u'\0';
            i = end + 1;
        }
    }
    return SetupDiSetDeviceRegistryPropertyW(set, device, property,
                                             reinterpret_cast<const BYTE*>(wide.data()),
                                             static_cast<DWORD>(wide.size() * sizeof(WCHAR)));
}

HKEY WINAPI SetupDiOpenDevRegKey(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD scope, DWORD, DWORD keyType,
                                 REGSAM desiredAccess)
{
    const HKEY failed = reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE);
    SIM_SPOOLER_CALL("SetupDiOpenDevRegKey", failed);
    WString path;
    {
        std::lock_guard g(StateLock());
        auto [devices, node] = EntryOf(set, device);
        if (!node)
            return failed;
        if ((scope != DICS_FLAG_GLOBAL && scope != DICS_FLAG_CONFIGSPECIFIC) ||
            (keyType != DIREG_DEV && keyType != DIREG_DRV))
        {
            SetLastError(ERROR_INVALID_FLAGS);
            return failed;
        }
        if (!Registered(*devices, node->devInst))
        {
            SetLastError(ERROR_DEVINFO_NOT_REGISTERED);
            return failed;
        }
        // The node's own values as the system keeps them: the port a Ports device is on in its
        // device key, its driver's version in the driver key.
        if (keyType == DIREG_DEV)
        {
            path = WString(kEnumKey) + node->instanceId + u"\\Device Parameters";
            if (!node->portName.empty() && !registry().Value(HKEY_LOCAL_MACHINE, path, u"PortName"))
            {
                WString value = node->portName;
                registry().SetValue(
                    HKEY_LOCAL_MACHINE, path, u"PortName", REG_SZ,
                    {reinterpret_cast<const BYTE*>(value.c_str()), (value.size() + 1) * sizeof(WCHAR)});
            }
        }
        else
        {
            if (node->driverKey.empty())
            {
                SetLastError(ERROR_KEY_DOES_NOT_EXIST);
                return failed;
            }
            path = WString(kClassKey) + node->driverKey;
            if (!node->driverVersion.empty() && !registry().Value(HKEY_LOCAL_MACHINE, path, u"DriverVersion"))
            {
                WString value = node->driverVersion;
                registry().SetValue(
                    HKEY_LOCAL_MACHINE, path, u"DriverVersion", REG_SZ,
                    {reinterpret_cast<const BYTE*>(value.c_str()), (value.size() + 1) * sizeof(WCHAR)});
            }
        }
    }
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, desiredAccess, &key);
    if (status != ERROR_SUCCESS)
    {
        SetLastError(status == ERROR_FILE_NOT_FOUND ? DWORD(ERROR_KEY_DOES_NOT_EXIST) : DWORD(status));
        return failed;
    }
    SetLastError(ERROR_SUCCESS);
    return key;
}

BOOL WINAPI SetupDiSetClassInstallParamsW(HDEVINFO set, PSP_DEVINFO_DATA device,
                                          PSP_CLASSINSTALL_HEADER params, DWORD paramsSize)
{
    SIM_SPOOLER_CALL("SetupDiSetClassInstallParamsW", FALSE);
    std::lock_guard g(StateLock());
    auto [devices, node] = EntryOf(set, device);
    if (!node)
        return FALSE;
    if (!params)
    {
        if (paramsSize)
            return Fail(ERROR_INVALID_PARAMETER);
        devices->removeParams.erase(node->devInst);
        SetLastError(ERROR_SUCCESS);
        return TRUE;
    }
    if (params->cbSize != sizeof(SP_CLASSINSTALL_HEADER))
        return Fail(ERROR_INVALID_USER_BUFFER);
    if (params->InstallFunction != DIF_REMOVE)
        return Fail(ERROR_INVALID_PARAMETER);
    SP_REMOVEDEVICE_PARAMS remove{};
    if (paramsSize != sizeof remove)
        return Fail(ERROR_INVALID_PARAMETER);
    std::memcpy(&remove, params, sizeof remove);
    if (remove.Scope != DI_REMOVEDEVICE_GLOBAL && remove.Scope != DI_REMOVEDEVICE_CONFIGSPECIFIC)
        return Fail(ERROR_INVALID_PARAMETER);
    devices->removeParams[node->devInst] = remove;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL WINAPI SetupDiSetClassInstallParamsA(HDEVINFO set, PSP_DEVINFO_DATA device,
                                          PSP_CLASSINSTALL_HEADER params, DWORD paramsSize)
{
    // The removal parameters hold no text: the same bytes in both widths.
    return SetupDiSetClassInstallParamsW(set, device, params, paramsSize);
}

BOOL WINAPI SetupDiGetDeviceInstallParamsW(HDEVINFO set, PSP_DEVINFO_DATA device,
                                           PSP_DEVINSTALL_PARAMS_W params)
{
    SIM_SPOOLER_CALL("SetupDiGetDeviceInstallParamsW", FALSE);
    std::lock_guard g(StateLock());
    auto devices = DeviceSetOf(set);
    if (!devices)
        return FALSE;
    if (!params || params->cbSize != sizeof(SP_DEVINSTALL_PARAMS_W))
        return Fail(ERROR_INVALID_USER_BUFFER);
    DWORD flags = 0;
    if (device)
    {
        auto node = DeviceOfSet(set, device);
        if (!node)
            return FALSE;
        auto it = devices->installFlags.find(node->devInst);
        flags = it == devices->installFlags.end() ? 0 : it->second;
    }
    std::memset(params, 0, sizeof *params);
    params->cbSize = sizeof *params;
    params->Flags = flags;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL WINAPI SetupDiGetDeviceInstallParamsA(HDEVINFO set, PSP_DEVINFO_DATA device,
                                           PSP_DEVINSTALL_PARAMS_A params)
{
    if (!params || params->cbSize != sizeof(SP_DEVINSTALL_PARAMS_A))
        return Fail(ERROR_INVALID_USER_BUFFER);
    SP_DEVINSTALL_PARAMS_W wide{};
    wide.cbSize = sizeof wide;
    if (!SetupDiGetDeviceInstallParamsW(set, device, &wide))
        return FALSE;
    params->Flags = wide.Flags;
    params->FlagsEx = wide.FlagsEx;
    params->hwndParent = wide.hwndParent;
    params->InstallMsgHandler = nullptr;
    params->InstallMsgHandlerContext = wide.InstallMsgHandlerContext;
    params->FileQueue = wide.FileQueue;
    params->ClassInstallReserved = wide.ClassInstallReserved;
    params->Reserved = wide.Reserved;
    const std::string path = Narrow(wide.DriverPath);
    std::snprintf(params->DriverPath, sizeof params->DriverPath, "%s", path.c_str());
    return TRUE;
}

BOOL WINAPI SetupCopyOEMInfW(PCWSTR sourceInfFileName, PCWSTR, DWORD oemSourceMediaType, DWORD copyStyle,
                             PWSTR destinationInfFileName, DWORD destinationInfFileNameSize,
                             PDWORD requiredSize, PWSTR* destinationInfFileNameComponent)
{
    SIM_SPOOLER_CALL("SetupCopyOEMInfW", FALSE);
    if (!sourceInfFileName || !*sourceInfFileName || oemSourceMediaType > SPOST_URL ||
        (destinationInfFileNameComponent && !destinationInfFileName))
        return Fail(ERROR_INVALID_PARAMETER);
    std::lock_guard g(StateLock());
    if (!Administrator())
        return Fail(ERROR_ACCESS_DENIED);
    const StorePackage* package = nullptr;
    bool existed = false;
    if (DWORD error = StoreInfPackage(FullPath(sourceInfFileName), &package, &existed))
        return Fail(error);
    const WString published = WString(kInfFolder) + u"\\" + package->publishedName;
    if (!existed)
    {
        // The compiled form the system keeps beside each OEM INF.
        const WString pnf = published.substr(0, published.size() - 3) + u"pnf";
        files().Put(pnf, "PNF");
    }
    else if (copyStyle & SP_COPY_NOOVERWRITE)
    {
        SetLastError(ERROR_FILE_EXISTS);
        return FALSE;
    }
    const DWORD need = static_cast<DWORD>(published.size() + 1);
    if (requiredSize)
        *requiredSize = need;
    if (destinationInfFileName)
    {
        if (destinationInfFileNameSize < need)
            return Fail(ERROR_INSUFFICIENT_BUFFER);
        std::memcpy(destinationInfFileName, published.c_str(), need * sizeof(WCHAR));
        if (destinationInfFileNameComponent)
            *destinationInfFileNameComponent =
                destinationInfFileName + (published.size() - package->publishedName.size());
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL WINAPI SetupCopyOEMInfA(PCSTR sourceInfFileName, PCSTR oemSourceMediaLocation, DWORD oemSourceMediaType,
                             DWORD copyStyle, PSTR destinationInfFileName, DWORD destinationInfFileNameSize,
                             PDWORD requiredSize, PSTR* destinationInfFileNameComponent)
{
    if (!sourceInfFileName || (destinationInfFileNameComponent && !destinationInfFileName))
        return Fail(ERROR_INVALID_PARAMETER);
    const WString source = Widen(sourceInfFileName);
    const WString location = oemSourceMediaLocation ? Widen(oemSourceMediaLocation) : WString();
    WCHAR wide[MAX_PATH] = {};
    DWORD wideNeed = 0;
    if (!SetupCopyOEMInfW(source.c_str(), oemSourceMediaLocation ? location.c_str() : nullptr,
                          oemSourceMediaType, copyStyle, wide, MAX_PATH, &wideNeed, nullptr))
        return FALSE;
    const std::string narrow = Narrow(wide);
    const DWORD need = static_cast<DWORD>(narrow.size() + 1);
    if (requiredSize)
        *requiredSize = need;
    if (destinationInfFileName)
    {
        if (destinationInfFileNameSize < need)
            return Fail(ERROR_INSUFFICIENT_BUFFER);
        std::memcpy(destinationInfFileName, narrow.c_str(), need);
        if (destinationInfFileNameComponent)
        {
            size_t cut = narrow.find_last_of('\\');
            *destinationInfFileNameComponent =
                destinationInfFileName + (cut == std::string::npos ? 0 : cut + 1);
        }
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}
