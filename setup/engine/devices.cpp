#include "devices.h"

#include <platform/newdev.h>

#include <algorithm>

namespace kgsetup
{
namespace
{
constexpr DWORD kPropertyLimit = 64 * 1024; // larger values are not device names or ids
constexpr WORD kMakerVendorId = 0x155E;

// {540B947E-8B40-45BC-A8A2-6A0B894CBDA2},4: the description the bus reported for the device.
constexpr DEVPROPKEY kBusReportedDescription = {
    {0x540B947E, 0x8B40, 0x45BC, {0xA8, 0xA2, 0x6A, 0x0B, 0x89, 0x4C, 0xBD, 0xA2}}, 4};
// {4340A6C5-93FA-4706-972C-7B648008A5A7},8: the parent's instance id.
constexpr DEVPROPKEY kParent = {
    {0x4340A6C5, 0x93FA, 0x4706, {0x97, 0x2C, 0x7B, 0x64, 0x80, 0x08, 0xA5, 0xA7}}, 8};

// A device set of an enumerator's nodes, destroyed with the object.
class DeviceSet
{
public:
    DeviceSet(WStringView enumerator, DWORD flags)
        : set_(SetupDiGetClassDevsW(nullptr, WString(enumerator).c_str(), nullptr, flags | DIGCF_ALLCLASSES))
    {
    }
    ~DeviceSet()
    {
        if (valid())
            SetupDiDestroyDeviceInfoList(set_);
    }
    DeviceSet(const DeviceSet&) = delete;
    DeviceSet& operator=(const DeviceSet&) = delete;

    bool valid() const { return set_ != INVALID_HANDLE_VALUE && set_ != nullptr; }
    HDEVINFO get() const { return set_; }

    // The node at `index`; false at the end (or on any failure).
    bool Next(DWORD index, SP_DEVINFO_DATA& data) const
    {
        data = {};
        data.cbSize = sizeof data;
        return SetupDiEnumDeviceInfo(set_, index, &data) != FALSE;
    }

private:
    HDEVINFO set_;
};

// A property's bytes in the two-call protocol, bounded; none when the node has none or it is too big.
template <typename Read> std::optional<std::vector<BYTE>> ReadBounded(Read read)
{
    std::vector<BYTE> bytes(512);
    DWORD needed = 0;
    if (read(bytes.data(), static_cast<DWORD>(bytes.size()), &needed))
    {
        bytes.resize(std::min<size_t>(needed, bytes.size()));
        return bytes;
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0 || needed > kPropertyLimit)
        return std::nullopt;
    bytes.assign(needed, 0);
    if (!read(bytes.data(), needed, &needed))
        return std::nullopt;
    bytes.resize(std::min<size_t>(needed, bytes.size()));
    return bytes;
}

std::optional<WString> InstanceIdOf(const DeviceSet& set, SP_DEVINFO_DATA& data)
{
    WCHAR id[MAX_DEVICE_ID_LEN + 1] = {};
    DWORD needed = 0;
    if (!SetupDiGetDeviceInstanceIdW(set.get(), &data, id, MAX_DEVICE_ID_LEN + 1, &needed))
        return std::nullopt;
    id[MAX_DEVICE_ID_LEN] = 0;
    return WString(id);
}

std::optional<std::vector<BYTE>> RegistryProperty(const DeviceSet& set, SP_DEVINFO_DATA& data, DWORD property)
{
    return ReadBounded([&](BYTE* buffer, DWORD size, DWORD* needed) {
        DWORD type = 0;
        return SetupDiGetDeviceRegistryPropertyW(set.get(), &data, property, &type, buffer, size, needed) &&
               (type == REG_SZ || type == REG_MULTI_SZ);
    });
}

// A string property by its key; none when missing, of another type or empty.
std::optional<WString> StringProperty(const DeviceSet& set, SP_DEVINFO_DATA& data, const DEVPROPKEY& key)
{
    auto bytes = ReadBounded([&](BYTE* buffer, DWORD size, DWORD* needed) {
        DEVPROPTYPE type = 0;
        if (!SetupDiGetDevicePropertyW(set.get(), &data, &key, &type, buffer, size, needed, 0))
            return FALSE;
        if (type != DEVPROP_TYPE_STRING)
        {
            SetLastError(ERROR_INVALID_DATA);
            return FALSE;
        }
        return TRUE;
    });
    if (!bytes)
        return std::nullopt;
    WString text = PropertyText(*bytes);
    return text.empty() ? std::nullopt : std::optional<WString>(text);
}

WString Upper(WStringView text)
{
    WString out(text);
    for (WCHAR& c : out)
        if (c >= WCHAR('a') && c <= WCHAR('z'))
            c = static_cast<WCHAR>(c - 'a' + 'A');
    return out;
}

bool SameNoCase(WStringView a, WStringView b)
{
    return a.size() == b.size() && Upper(a) == Upper(b);
}

// 1 to 4 hexadecimal digits right after `tag`, ended by anything else; none when missing or longer.
std::optional<WORD> HexAfter(WStringView id, WStringView tag)
{
    size_t at = id.find(tag);
    if (at == WStringView::npos)
        return std::nullopt;
    at += tag.size();
    unsigned value = 0;
    size_t digits = 0;
    for (; at < id.size(); ++at, ++digits)
    {
        WCHAR c = id[at];
        unsigned d = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : 16;
        if (d == 16)
            break;
        if (digits == 4)
            return std::nullopt;
        value = value * 16 + d;
    }
    if (digits == 0)
        return std::nullopt;
    return static_cast<WORD>(value);
}

DiUninstallDeviceProc UninstallEntry()
{
    HMODULE newdev = LoadLibraryExW(TEXT("newdev.dll"), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!newdev)
        return nullptr;
    return reinterpret_cast<DiUninstallDeviceProc>(
        reinterpret_cast<void*>(GetProcAddress(newdev, "DiUninstallDevice")));
}
} // namespace

WString PropertyText(std::span<const BYTE> bytes)
{
    WString text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
    {
        WCHAR c = static_cast<WCHAR>(bytes[i] | bytes[i + 1] << 8);
        if (c == 0)
            break;
        text.push_back(c);
    }
    return text;
}

std::vector<WString> PropertyList(std::span<const BYTE> bytes)
{
    std::vector<WString> entries;
    WString entry;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
    {
        WCHAR c = static_cast<WCHAR>(bytes[i] | bytes[i + 1] << 8);
        if (c != 0)
        {
            entry.push_back(c);
            continue;
        }
        if (entry.empty())
            return entries; // the empty entry that ends the list
        entries.push_back(std::move(entry));
        entry.clear();
    }
    if (!entry.empty())
        entries.push_back(std::move(entry));
    return entries;
}

std::optional<UsbDeviceIdentity> ParseUsbInstanceId(WStringView instanceId)
{
    const WString id = Upper(instanceId);
    const size_t slash = id.rfind(WCHAR('\\'));
    if (slash == WString::npos || slash + 1 >= id.size())
        return std::nullopt;
    // The numbers lie in the device part, before the serial.
    const WStringView device = WStringView(id).substr(0, slash);
    auto vendor = HexAfter(device, TEXT("VID_"));
    auto product = HexAfter(device, TEXT("PID_"));
    if (!vendor || !product)
        return std::nullopt;
    return UsbDeviceIdentity{*vendor, *product, id.substr(slash + 1)};
}

std::optional<WString> PortKeyOf(WStringView instanceId)
{
    const size_t amp = instanceId.rfind(WCHAR('&'));
    if (amp == WStringView::npos || amp + 1 >= instanceId.size())
        return std::nullopt;
    return WString(instanceId.substr(amp + 1));
}

bool ReenumerateDevices()
{
    DEVINST root = 0;
    if (CM_Locate_DevNodeW(&root, nullptr, CM_LOCATE_DEVNODE_NORMAL) != CR_SUCCESS)
        return false;
    return CM_Reenumerate_DevNode(root, CM_REENUMERATE_SYNCHRONOUS) == CR_SUCCESS;
}

DWORD RemoveLptDevices(WStringView text)
{
    DeviceSet set(TEXT("LPTENUM"), DIGCF_PRESENT);
    if (!set.valid())
        return GetLastError();
    DiUninstallDeviceProc uninstall = nullptr;
    DWORD failure = 0;
    SP_DEVINFO_DATA data{};
    for (DWORD i = 0; set.Next(i, data); ++i)
    {
        auto id = InstanceIdOf(set, data);
        if (!id || text.empty() || id->find(text) == WString::npos)
            continue;
        if (!uninstall && !(uninstall = UninstallEntry()))
            return GetLastError() ? GetLastError() : DWORD(ERROR_PROC_NOT_FOUND);
        if (!uninstall(nullptr, set.get(), &data, 0, nullptr))
            failure = GetLastError() ? GetLastError() : DWORD(ERROR_INVALID_FUNCTION);
    }
    return failure;
}

HRESULT RemoveUsbPrinters(std::span<const WORD> productIds, WStringView key, DWORD flags)
{
    DeviceSet usb(TEXT("USB"), flags);
    if (!usb.valid())
        return HRESULT_FROM_WIN32(GetLastError());
    DeviceSet printers(TEXT("USBPRINT"), flags);
    if (!printers.valid())
        return HRESULT_FROM_WIN32(GetLastError());
    DiUninstallDeviceProc uninstall = nullptr;
    std::vector<WString> removed; // a device with several printer functions goes once
    bool failed = false;
    SP_DEVINFO_DATA data{};
    for (DWORD i = 0; printers.Next(i, data); ++i)
    {
        auto description = StringProperty(printers, data, kBusReportedDescription);
        if (!description || description->find(TEXT("Velmo")) == WString::npos)
            continue;
        auto parentId = StringProperty(printers, data, kParent);
        auto id = InstanceIdOf(printers, data);
        if (!parentId || !id)
            continue;
        auto identity = ParseUsbInstanceId(*parentId);
        if (!identity || identity->vendorId != kMakerVendorId ||
            std::ranges::find(productIds, identity->productId) == productIds.end())
            continue;
        auto portKey = PortKeyOf(*id);
        if (!key.empty() && !SameNoCase(key, identity->serial) && !(portKey && SameNoCase(key, *portKey)))
            continue;
        if (std::ranges::any_of(removed, [&](const WString& r) { return SameNoCase(r, *parentId); }))
            continue;
        SP_DEVINFO_DATA parent{};
        parent.cbSize = sizeof parent;
        if (!SetupDiOpenDeviceInfoW(usb.get(), parentId->c_str(), nullptr, 0, &parent))
        {
            failed = true;
            continue;
        }
        if (!uninstall && !(uninstall = UninstallEntry()))
            return E_FAIL;
        if (uninstall(nullptr, usb.get(), &parent, 0, nullptr))
            removed.push_back(*parentId);
        else
            failed = true;
    }
    return failed ? E_FAIL : S_OK;
}

std::map<DEVINST, WString> DevicesByEnumerator(WStringView enumerator)
{
    std::map<DEVINST, WString> devices;
    DeviceSet set(enumerator, DIGCF_PRESENT);
    if (!set.valid())
        return devices;
    SP_DEVINFO_DATA data{};
    for (DWORD i = 0; set.Next(i, data); ++i)
        if (auto id = InstanceIdOf(set, data))
            devices[data.DevInst] = *id;
    return devices;
}

std::map<DEVINST, WString> GetDeviceInstances(WStringView enumerator)
{
    std::map<DEVINST, WString> instances;
    for (const auto& [devInst, id] : DevicesByEnumerator(enumerator))
        if (auto tail = PortKeyOf(id))
            instances[devInst] = *tail;
    return instances;
}

std::map<DEVINST, WString> EnumDeviceProperty(WStringView enumerator, DWORD property, DWORD flags)
{
    std::map<DEVINST, WString> values;
    DeviceSet set(enumerator, flags);
    if (!set.valid())
        return values;
    SP_DEVINFO_DATA data{};
    for (DWORD i = 0; set.Next(i, data); ++i)
    {
        auto bytes = RegistryProperty(set, data, property);
        if (!bytes)
            continue;
        WString text = PropertyText(*bytes);
        if (!text.empty())
            values[data.DevInst] = text;
    }
    return values;
}

std::vector<WString> HardwareIdsOf(WStringView enumerator)
{
    std::vector<WString> ids;
    DeviceSet set(enumerator, 0);
    if (!set.valid())
        return ids;
    SP_DEVINFO_DATA data{};
    for (DWORD i = 0; set.Next(i, data); ++i)
        if (auto bytes = RegistryProperty(set, data, SPDRP_HARDWAREID))
            for (WString& id : PropertyList(*bytes))
                ids.push_back(std::move(id));
    return ids;
}

std::vector<LocalPrinterNode> LocalPrinterNodes(WStringView enumerator)
{
    std::vector<LocalPrinterNode> nodes;
    DeviceSet set(enumerator, DIGCF_PRESENT);
    if (!set.valid())
        return nodes;
    SP_DEVINFO_DATA data{};
    for (DWORD i = 0; set.Next(i, data); ++i)
    {
        LocalPrinterNode node;
        node.instanceId = InstanceIdOf(set, data).value_or(WString());
        if (auto bytes = RegistryProperty(set, data, SPDRP_HARDWAREID))
            node.hardwareId = PropertyText(*bytes);
        node.busDescription = StringProperty(set, data, kBusReportedDescription).value_or(WString());
        node.parentId = StringProperty(set, data, kParent).value_or(WString());
        nodes.push_back(std::move(node));
    }
    return nodes;
}

} // namespace kgsetup
