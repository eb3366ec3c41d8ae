// Device sets of device nodes: made from the tree by enumerator and class, or empty and filled by
// instance id; each node's instance id, registry properties and unified properties in the two-call
// protocol; removal of a node with the nodes below it.
#include "devices/device_list.h"
#include "winspool/spooler_internal.h"

#include <platform/setupapi.h>

#include <cstring>

using namespace sim;
using namespace sim::detail;

namespace
{
constexpr GUID kDeviceKeys = {0xA45C254E, 0xDF1C, 0x4EFD, {0x80, 0x20, 0x67, 0xD1, 0x46, 0xA8, 0x50, 0xE0}};
constexpr GUID kBusReportedKey = {
    0x540B947E, 0x8B40, 0x45BC, {0xA8, 0xA2, 0x6A, 0x0B, 0x89, 0x4C, 0xBD, 0xA2}};
constexpr GUID kRelationKeys = {0x4340A6C5, 0x93FA, 0x4706, {0x97, 0x2C, 0x7B, 0x64, 0x80, 0x08, 0xA5, 0xA7}};
constexpr GUID kInstanceKey = {0x78C34FC8, 0x104A, 0x4ACA, {0x9E, 0xA4, 0x52, 0x4D, 0x52, 0x99, 0x6E, 0x57}};
constexpr GUID kDriverKeys = {0xA8B865DD, 0x2E3D, 0x4094, {0xAD, 0x97, 0xE5, 0x93, 0xA7, 0x0C, 0x75, 0xD6}};

struct Value
{
    DWORD type = 0;
    std::vector<BYTE> bytes;
};

std::vector<BYTE> BytesOf(WStringView text)
{
    std::vector<BYTE> bytes((text.size() + 1) * sizeof(WCHAR));
    std::memcpy(bytes.data(), text.data(), text.size() * sizeof(WCHAR));
    return bytes;
}

std::vector<BYTE> MultiOf(const std::vector<WString>& texts)
{
    WString all;
    for (const WString& t : texts)
        all += t + WString(1, u'\0');
    return BytesOf(all); // the list's own terminator
}

WString GuidText(const GUID& g)
{
    char text[48];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2],
                  g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return Widen(text);
}

std::optional<Value> Text(WStringView text, DWORD type)
{
    if (text.empty())
        return std::nullopt;
    return Value{type, BytesOf(text)};
}

std::optional<Value> RegistryProperty(const DeviceNode& node, DWORD property)
{
    for (const RawDeviceProperty& raw : node.rawProperties)
        if (raw.registryProperty == property)
            return Value{raw.type, raw.bytes};
    switch (property)
    {
    case SPDRP_DEVICEDESC:
        return Text(node.description, REG_SZ);
    case SPDRP_HARDWAREID:
        return node.hardwareIds.empty()
                   ? std::nullopt
                   : std::optional<Value>(Value{REG_MULTI_SZ, MultiOf(node.hardwareIds)});
    case SPDRP_SERVICE:
        return Text(node.service, REG_SZ);
    case SPDRP_CLASS:
        return Text(node.className, REG_SZ);
    case SPDRP_CLASSGUID:
        return node.className.empty() ? std::nullopt : Text(GuidText(node.classGuid), REG_SZ);
    case SPDRP_DRIVER:
        return Text(node.driverKey, REG_SZ);
    case SPDRP_MFG:
        return Text(node.manufacturer, REG_SZ);
    case SPDRP_FRIENDLYNAME:
        return node.friendlyName ? Text(*node.friendlyName, REG_SZ) : std::nullopt;
    case SPDRP_ENUMERATOR_NAME:
        return Text(EnumeratorOf(node), REG_SZ);
    default:
        return std::nullopt;
    }
}

std::optional<Value> UnifiedProperty(const DeviceNode& node, const DEVPROPKEY& key)
{
    for (const RawDeviceProperty& raw : node.rawProperties)
        if (!raw.registryProperty && SameGuid(raw.key.fmtid, key.fmtid) && raw.key.pid == key.pid)
            return Value{raw.type, raw.bytes};
    auto is = [&](const GUID& g, ULONG pid) { return SameGuid(key.fmtid, g) && key.pid == pid; };
    if (is(kBusReportedKey, 4))
        return node.busDescription ? Text(*node.busDescription, DEVPROP_TYPE_STRING) : std::nullopt;
    if (is(kRelationKeys, 8))
    {
        if (EqualNoCase(node.instanceId, kRootId))
            return std::nullopt;
        return Text(node.parentId.empty() ? WString(kRootId) : node.parentId, DEVPROP_TYPE_STRING);
    }
    if (is(kDeviceKeys, 14))
        return node.friendlyName ? Text(*node.friendlyName, DEVPROP_TYPE_STRING) : std::nullopt;
    if (is(kDeviceKeys, 2))
        return Text(node.description, DEVPROP_TYPE_STRING);
    if (is(kDeviceKeys, 3))
        return node.hardwareIds.empty()
                   ? std::nullopt
                   : std::optional<Value>(Value{DEVPROP_TYPE_STRING_LIST, MultiOf(node.hardwareIds)});
    if (is(kDeviceKeys, 9))
        return Text(node.className, DEVPROP_TYPE_STRING);
    if (is(kInstanceKey, 256))
        return Text(node.instanceId, DEVPROP_TYPE_STRING);
    if (is(kDriverKeys, 5))
        return Text(node.infPath, DEVPROP_TYPE_STRING);
    return std::nullopt;
}

// The two-call answer: the size always, the bytes when they fit.
BOOL Answer(const Value& value, PBYTE buffer, DWORD size, PDWORD required)
{
    const DWORD need = static_cast<DWORD>(value.bytes.size());
    if (required)
        *required = need;
    if (!buffer || size < need)
    {
        SetLastError(!buffer && size ? ERROR_INVALID_USER_BUFFER : ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (need)
        std::memcpy(buffer, value.bytes.data(), need);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

void Fill(SP_DEVINFO_DATA* data, const DeviceNode& node, size_t index)
{
    data->ClassGuid = node.classGuid;
    data->DevInst = node.devInst;
    data->Reserved = index + 1;
}

BOOL Fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

// Removal as the class installer does it: an administrator's, of a node still in the tree.
BOOL Remove(HDEVINFO set, PSP_DEVINFO_DATA device)
{
    std::lock_guard g(StateLock());
    auto node = DeviceOfSet(set, device);
    if (!node)
        return FALSE;
    if (!Administrator())
        return Fail(ERROR_ACCESS_DENIED);
    if (EqualNoCase(node->instanceId, kRootId))
        return Fail(ERROR_ACCESS_DENIED);
    if (!RemoveDeviceSubtree(node))
        return Fail(ERROR_NO_SUCH_DEVINST);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}
// Both character widths report the size with the terminator and fill the buffer only when all of it fits.
template <class Char, class Convert>
BOOL CopyInstanceId(HDEVINFO set, PSP_DEVINFO_DATA device, Char* buffer, DWORD bufferSize,
                    PDWORD requiredSize, Convert convert)
{
    std::lock_guard g(StateLock());
    auto node = DeviceOfSet(set, device);
    if (!node)
        return FALSE;
    const auto id = convert(node->instanceId);
    const DWORD need = static_cast<DWORD>(id.size() + 1);
    if (requiredSize)
        *requiredSize = need;
    if (!buffer || bufferSize < need)
        return Fail(!buffer && bufferSize ? ERROR_INVALID_USER_BUFFER : ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(buffer, id.c_str(), need * sizeof(Char));
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}
// A registry property of a node in the set; `convert` turns its value into the caller's character width.
template <class Convert>
BOOL AnswerRegistryProperty(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD property, PDWORD propertyType,
                            PBYTE buffer, DWORD bufferSize, PDWORD requiredSize, Convert convert)
{
    std::lock_guard g(StateLock());
    auto node = DeviceOfSet(set, device);
    if (!node)
        return FALSE;
    auto value = RegistryProperty(*node, property);
    if (!value)
        return Fail(ERROR_INVALID_DATA);
    convert(*value);
    if (propertyType)
        *propertyType = value->type;
    return Answer(*value, buffer, bufferSize, requiredSize);
}
} // namespace

namespace sim::detail
{
HDEVINFO NodeSet(const GUID* classGuid, PCWSTR enumerator, DWORD flags)
{
    std::lock_guard g(StateLock());
    const bool all = (flags & DIGCF_ALLCLASSES) != 0;
    const WStringView bus = enumerator ? WStringView(enumerator) : WStringView();
    if (!bus.empty() && !KnownEnumerator(bus))
    {
        SetLastError(ERROR_INVALID_DATA);
        return INVALID_HANDLE_VALUE;
    }
    auto set = std::make_shared<DeviceInfoSet>();
    for (const auto& node : AllDeviceNodes())
    {
        if ((flags & DIGCF_PRESENT) && !node->present)
            continue;
        if (!all && !SameGuid(node->classGuid, *classGuid))
            continue;
        if (!bus.empty() && !EqualNoCase(EnumeratorOf(*node), bus))
            continue;
        set->nodes.push_back(node);
    }
    SetLastError(ERROR_SUCCESS);
    return AddHandle(set);
}

std::shared_ptr<DeviceInfoSet> DeviceSetOf(HDEVINFO set)
{
    auto found = FindHandleOf<DeviceInfoSet>(set);
    if (!found)
        SetLastError(ERROR_INVALID_HANDLE);
    return found;
}

std::shared_ptr<DeviceNode> DeviceOfSet(HDEVINFO set, const SP_DEVINFO_DATA* data)
{
    auto devices = DeviceSetOf(set);
    if (!devices)
        return nullptr;
    if (!data || data->cbSize != sizeof(SP_DEVINFO_DATA))
    {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return nullptr;
    }
    if (data->Reserved == 0 || data->Reserved > devices->nodes.size() ||
        devices->nodes[data->Reserved - 1]->devInst != data->DevInst)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return devices->nodes[data->Reserved - 1];
}
} // namespace sim::detail

HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* classGuid, PCSTR enumerator, HWND parent, DWORD flags)
{
    WString wide = enumerator ? Widen(enumerator) : WString();
    return SetupDiGetClassDevsW(classGuid, enumerator ? wide.c_str() : nullptr, parent, flags);
}

HDEVINFO WINAPI SetupDiCreateDeviceInfoList(const GUID*, HWND)
{
    SetLastError(ERROR_SUCCESS);
    return AddHandle(std::make_shared<DeviceInfoSet>());
}

BOOL WINAPI SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA device)
{
    std::lock_guard g(StateLock());
    auto devices = DeviceSetOf(set);
    if (!devices)
        return FALSE;
    if (!device || device->cbSize != sizeof(SP_DEVINFO_DATA))
        return Fail(ERROR_INVALID_USER_BUFFER);
    if (index >= devices->nodes.size())
        return Fail(ERROR_NO_MORE_ITEMS);
    Fill(device, *devices->nodes[index], index);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL WINAPI SetupDiOpenDeviceInfoW(HDEVINFO set, PCWSTR instanceId, HWND, DWORD flags,
                                   PSP_DEVINFO_DATA device)
{
    SIM_SPOOLER_CALL("SetupDiOpenDeviceInfoW", FALSE);
    std::lock_guard g(StateLock());
    auto devices = DeviceSetOf(set);
    if (!devices)
        return FALSE;
    if (flags != 0)
        return Fail(ERROR_INVALID_FLAGS);
    if (device && device->cbSize != sizeof(SP_DEVINFO_DATA))
        return Fail(ERROR_INVALID_USER_BUFFER);
    if (!instanceId || !*instanceId)
        return Fail(ERROR_INVALID_DEVINST_NAME);
    auto node = FindDeviceNode(WStringView(instanceId));
    if (!node)
        return Fail(ERROR_NO_SUCH_DEVINST);
    auto it = std::find(devices->nodes.begin(), devices->nodes.end(), node);
    size_t index = static_cast<size_t>(it - devices->nodes.begin());
    if (it == devices->nodes.end())
        devices->nodes.push_back(node);
    if (device)
        Fill(device, *node, index);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL WINAPI SetupDiGetDeviceInstanceIdW(HDEVINFO set, PSP_DEVINFO_DATA device, PWSTR buffer, DWORD bufferSize,
                                        PDWORD requiredSize)
{
    return CopyInstanceId(set, device, buffer, bufferSize, requiredSize,
                          [](const WString& id) { return id; });
}

BOOL WINAPI SetupDiGetDeviceInstanceIdA(HDEVINFO set, PSP_DEVINFO_DATA device, PSTR buffer, DWORD bufferSize,
                                        PDWORD requiredSize)
{
    return CopyInstanceId(set, device, buffer, bufferSize, requiredSize,
                          [](const WString& id) { return Narrow(id); });
}

BOOL WINAPI SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD property,
                                              PDWORD propertyType, PBYTE buffer, DWORD bufferSize,
                                              PDWORD requiredSize)
{
    SIM_FAULT_POINT("SetupDiGetDeviceRegistryPropertyW", FALSE);
    return AnswerRegistryProperty(set, device, property, propertyType, buffer, bufferSize, requiredSize,
                                  [](Value&) {});
}

BOOL WINAPI SetupDiGetDeviceRegistryPropertyA(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD property,
                                              PDWORD propertyType, PBYTE buffer, DWORD bufferSize,
                                              PDWORD requiredSize)
{
    SIM_FAULT_POINT("SetupDiGetDeviceRegistryPropertyA", FALSE);
    return AnswerRegistryProperty(
        set, device, property, propertyType, buffer, bufferSize, requiredSize, [](Value& value) {
            if (value.type == REG_SZ || value.type == REG_MULTI_SZ)
            {
                // Text in the system code page, every unit of it (the lists' zeros too).
                WString wide(value.bytes.size() / sizeof(WCHAR), u'\0');
                std::memcpy(wide.data(), value.bytes.data(), wide.size() * sizeof(WCHAR));
                const std::string narrow = Narrow(wide);
                value.bytes.assign(narrow.begin(), narrow.end());
            }
        });
}

BOOL WINAPI SetupDiGetDevicePropertyW(HDEVINFO set, PSP_DEVINFO_DATA device, const DEVPROPKEY* key,
                                      DEVPROPTYPE* propertyType, PBYTE buffer, DWORD bufferSize,
                                      PDWORD requiredSize, DWORD flags)
{
    SIM_FAULT_POINT("SetupDiGetDevicePropertyW", FALSE);
    std::lock_guard g(StateLock());
    auto node = DeviceOfSet(set, device);
    if (!node)
        return FALSE;
    if (flags != 0)
        return Fail(ERROR_INVALID_FLAGS);
    if (!key || !propertyType)
        return Fail(ERROR_INVALID_USER_BUFFER);
    auto value = UnifiedProperty(*node, *key);
    if (!value)
        return Fail(ERROR_NOT_FOUND);
    *propertyType = value->type;
    return Answer(*value, buffer, bufferSize, requiredSize);
}

BOOL WINAPI SetupDiRemoveDevice(HDEVINFO set, PSP_DEVINFO_DATA device)
{
    SIM_SPOOLER_CALL("SetupDiRemoveDevice", FALSE);
    return Remove(set, device);
}

BOOL WINAPI SetupDiCallClassInstaller(DI_FUNCTION function, HDEVINFO set, PSP_DEVINFO_DATA device)
{
    if (function != DIF_REMOVE && function != DIF_REGISTERDEVICE)
        return Fail(ERROR_INVALID_PARAMETER);
    SIM_SPOOLER_CALL("SetupDiCallClassInstaller", FALSE);
    std::lock_guard g(StateLock());
    return CallClassInstaller(function, set, device);
}

namespace sim::detail
{
// Shared with newdev's DiUninstallDevice.
BOOL RemoveDeviceOfSet(HDEVINFO set, PSP_DEVINFO_DATA device)
{
    return Remove(set, device);
}
} // namespace sim::detail
