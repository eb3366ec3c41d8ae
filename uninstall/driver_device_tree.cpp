// The driver step's calls into the machine's device sets: the devices of a hardware id found and
// removed through the class installer, a driver installed for them (a root device made for a "System"
// driver that has none), and the COM ports the device server's driver makes.
#include "components.h"
#include "driver_devices.h"
#include "log.h"
#include "text.h"

#include <platform/newdev.h>
#include <platform/setupapi.h>

#include <cstdio>
#include <cstring>

namespace uninstall
{
namespace
{
constexpr GUID kPortsClassGuid = {
    0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
constexpr GUID kSystemClassGuid = {
    0x4D36E97D, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
constexpr DWORD kMaxPropertyBytes = 64 * 1024;

class DeviceSet
{
public:
    explicit DeviceSet(HDEVINFO h) : h_(h) {}
    ~DeviceSet()
    {
        if (valid())
            SetupDiDestroyDeviceInfoList(h_);
    }
    DeviceSet(const DeviceSet&) = delete;
    DeviceSet& operator=(const DeviceSet&) = delete;
    bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    HDEVINFO get() const { return h_; }

private:
    HDEVINFO h_;
};

enum class Read
{
    Ok,
    Missing, // the device has no such property
    Failed,
};

// A text or multi-text property in the system code page, its texts split at the zeros.
Read TextsOf(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property, std::vector<std::string>& texts)
{
    texts.clear();
    DWORD type = 0, need = 0;
    if (!SetupDiGetDeviceRegistryPropertyA(set, &device, property, &type, nullptr, 0, &need))
    {
        DWORD error = GetLastError();
        if (error == ERROR_INVALID_DATA)
            return Read::Missing;
        if (error != ERROR_INSUFFICIENT_BUFFER)
            return Read::Failed;
    }
    if (need == 0 || need > kMaxPropertyBytes)
        return need == 0 ? Read::Missing : Read::Failed;
    std::vector<BYTE> bytes(need + 2, 0); // room for the terminators a damaged value lacks
    if (!SetupDiGetDeviceRegistryPropertyA(set, &device, property, &type, bytes.data(), need, &need))
        return Read::Failed;
    if (type != REG_SZ && type != REG_MULTI_SZ)
        return Read::Missing;
    const char* text = reinterpret_cast<const char*>(bytes.data());
    for (size_t i = 0; i < need && text[i];)
    {
        size_t n = strnlen(text + i, need - i);
        texts.emplace_back(text + i, n);
        i += n + 1;
    }
    return Read::Ok;
}

// A value of the device's device key (DIREG_DEV) or driver key (DIREG_DRV).
std::optional<std::string> KeyText(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD keyType, const char* name)
{
    HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, keyType, KEY_READ);
    if (key == reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE) || !key)
        return std::nullopt;
    char value[MAX_PATH + 1] = {};
    DWORD type = 0, size = MAX_PATH;
    LSTATUS status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return std::nullopt;
    value[std::min<DWORD>(size, MAX_PATH)] = '\0';
    return std::string(value);
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && EqualNoCase(text.substr(0, prefix.size()), prefix);
}

std::string InstanceIdOf(HDEVINFO set, SP_DEVINFO_DATA& device)
{
    char id[512] = {};
    if (!SetupDiGetDeviceInstanceIdA(set, &device, id, sizeof id, nullptr))
        return {};
    return id;
}

// Calls `each` for every device (present or not) whose hardware ids hold `hardwareId`; false when the
// devices could not all be read, so none of them is missed unnoticed.
template <class Each> bool ForEachDeviceWithId(HDEVINFO set, const std::string& hardwareId, Each each)
{
    bool complete = true;
    for (DWORD i = 0;; ++i)
    {
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        if (!SetupDiEnumDeviceInfo(set, i, &device))
        {
            if (GetLastError() != ERROR_NO_MORE_ITEMS)
                complete = false;
            break;
        }
        std::vector<std::string> ids;
        Read read = TextsOf(set, device, SPDRP_HARDWAREID, ids);
        if (read == Read::Failed)
            complete = false;
        for (const std::string& id : ids)
            if (EqualNoCase(id, hardwareId))
            {
                if (!each(device))
                    return complete;
                break;
            }
    }
    return complete;
}

// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" as a GUID.
std::optional<GUID> ParseGuid(std::string_view text)
{
    if (text.size() != 38 || text.front() != '{' || text.back() != '}')
        return std::nullopt;
    unsigned long parts[11] = {};
    static constexpr struct
    {
        size_t at, digits;
    } kFields[] = {{1, 8},  {10, 4}, {15, 4}, {20, 2}, {22, 2}, {25, 2},
                   {27, 2}, {29, 2}, {31, 2}, {33, 2}, {35, 2}};
    for (char dash : {text[9], text[14], text[19], text[24]})
        if (dash != '-')
            return std::nullopt;
    for (size_t f = 0; f < std::size(kFields); ++f)
        for (size_t i = 0; i < kFields[f].digits; ++i)
        {
            char c = text[kFields[f].at + i];
            int v = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                           : -1;
            if (v < 0)
                return std::nullopt;
            parts[f] = parts[f] * 16 + static_cast<unsigned long>(v);
        }
    GUID g{};
    g.Data1 = static_cast<decltype(g.Data1)>(parts[0]);
    g.Data2 = static_cast<WORD>(parts[1]);
    g.Data3 = static_cast<WORD>(parts[2]);
    for (size_t i = 0; i < 8; ++i)
        g.Data4[i] = static_cast<BYTE>(parts[3 + i]);
    return g;
}

bool RemoveDevice(HDEVINFO set, SP_DEVINFO_DATA& device, bool& restart)
{
    SP_REMOVEDEVICE_PARAMS params{};
    params.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
    params.ClassInstallHeader.InstallFunction = DIF_REMOVE;
    params.Scope = DI_REMOVEDEVICE_GLOBAL;
    if (!SetupDiSetClassInstallParamsA(set, &device, &params.ClassInstallHeader, sizeof params) ||
        !SetupDiCallClassInstaller(DIF_REMOVE, set, &device))
        return false;
    SP_DEVINSTALL_PARAMS_A install{};
    install.cbSize = sizeof install;
    // A removal whose outcome cannot be read asks for the restart that makes it sure.
    if (!SetupDiGetDeviceInstallParamsA(set, &device, &install) ||
        (install.Flags & (DI_NEEDRESTART | DI_NEEDREBOOT)) != 0)
        restart = true;
    return true;
}

// The device's INF in the driver store as an OEM INF.
bool CopyOemInf(const char* infPath)
{
    char published[MAX_PATH] = {};
    if (!SetupCopyOEMInfA(infPath, nullptr, SPOST_PATH, 0, published, MAX_PATH, nullptr, nullptr))
    {
        LogPrint("  Copy OemInfo NG(0x%08x) : %s", static_cast<unsigned>(GetLastError()), infPath);
        return false;
    }
    LogPrint("  Copy OemInfo: %s, %s", infPath, published);
    return true;
}

// The driver file copied into the system's drivers folder, its attributes cleared either side.
bool CopyIntoDrivers(const std::string& file)
{
    char system[MAX_PATH] = {};
    UINT n = GetSystemDirectoryA(system, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return false;
    size_t cut = file.find_last_of("\\/");
    std::string target =
        JoinPath(JoinPath(system, "drivers"), cut == std::string::npos ? file : file.substr(cut + 1));
    if (GetFileAttributesA(target.c_str()) != INVALID_FILE_ATTRIBUTES)
        SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!CopyFileA(file.c_str(), target.c_str(), FALSE))
    {
        LogPrint("  Copy File NG(0x%08x) : %s", static_cast<unsigned>(GetLastError()), target.c_str());
        return false;
    }
    SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    return true;
}

// The system's update of every present device with the id, forced; 0, 10 or 14.
DWORD UpdateDevices(const std::string& hardwareId, const char* infPath)
{
    HMODULE newdev = LoadLibraryA("newdev.dll");
    if (!newdev)
        return kResultRegisterFailed;
    auto update = reinterpret_cast<UpdateDriverForPlugAndPlayDevicesAProc>(
        reinterpret_cast<void*>(GetProcAddress(newdev, "UpdateDriverForPlugAndPlayDevicesA")));
    BOOL reboot = FALSE;
    BOOL updated = update && update(nullptr, hardwareId.c_str(), infPath, INSTALLFLAG_FORCE, &reboot);
    DWORD error = GetLastError();
    FreeLibrary(newdev);
    if (!updated)
    {
        LogPrint("  UpdateDriver NG(0x%08x) : %s", static_cast<unsigned>(error), hardwareId.c_str());
        return kResultRegisterFailed;
    }
    return reboot ? kResultRestart : kResultSuccess;
}

// A root device for the hardware id, registered with the class installer; false when it could not be.
bool CreateRootDevice(const InfDriver& driver, const GUID& classGuid)
{
    DeviceSet set(SetupDiCreateDeviceInfoList(&classGuid, nullptr));
    if (!set.valid())
        return false;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    if (!SetupDiCreateDeviceInfoA(set.get(), driver.className.c_str(), &classGuid, nullptr, nullptr,
                                  DICD_GENERATE_ID, &device))
        return false;
    std::string ids = driver.hardwareId;
    ids.append(2, '\0');
    return SetupDiSetDeviceRegistryPropertyA(set.get(), &device, SPDRP_HARDWAREID,
                                             reinterpret_cast<const BYTE*>(ids.data()),
                                             static_cast<DWORD>(ids.size())) &&
           SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set.get(), &device);
}
} // namespace

std::optional<DeviceMatch> FindDeviceByHardwareId(const std::string& hardwareId)
{
    if (hardwareId.empty())
        return std::nullopt;
    DeviceSet set(SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES));
    if (!set.valid())
        return std::nullopt;
    std::optional<DeviceMatch> found;
    ForEachDeviceWithId(set.get(), hardwareId, [&](SP_DEVINFO_DATA& device) {
        found = DeviceMatch{KeyText(set.get(), device, DIREG_DRV, "DriverVersion").value_or("")};
        return false;
    });
    return found;
}

DWORD RemoveDevicesByHardwareId(const std::string& hardwareId)
{
    if (hardwareId.empty())
        return kResultRemoveFailed;
    DeviceSet set(SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES));
    if (!set.valid())
    {
        LogPrint("  Device List NG(0x%08x)", static_cast<unsigned>(GetLastError()));
        return kResultRemoveFailed;
    }
    bool restart = false, failed = false;
    bool complete = ForEachDeviceWithId(set.get(), hardwareId, [&](SP_DEVINFO_DATA& device) {
        std::string id = InstanceIdOf(set.get(), device);
        if (RemoveDevice(set.get(), device, restart))
            LogPrint("  Delete Driver : %s", id.c_str());
        else
        {
            LogPrint("  Delete Driver NG(0x%08x) : %s", static_cast<unsigned>(GetLastError()), id.c_str());
            failed = true;
        }
        return true;
    });
    if (failed || !complete)
        return kResultRemoveFailed;
    return restart ? kResultRestart : kResultSuccess;
}

DWORD InstallDriverDevices(const InfDriver& driver, const char* infPath)
{
    const bool copiesFile = EqualNoCase(driver.className, "USB") || EqualNoCase(driver.className, "Ports");
    const bool system = EqualNoCase(driver.className, "System");
    if (!copiesFile && !system)
        return kResultNoProcess;
    if (driver.hardwareId.empty())
        return kResultRegisterFailed;
    if (copiesFile && !driver.files.empty() && !CopyIntoDrivers(driver.files.front()))
        return kResultRegisterFailed;
    if (!CopyOemInf(infPath))
        return kResultRegisterFailed;
    bool created = false;
    if (system && !FindDeviceByHardwareId(driver.hardwareId))
    {
        std::optional<GUID> guid = ParseGuid(driver.classGuid);
        if (!CreateRootDevice(driver, guid.value_or(kSystemClassGuid)))
        {
            LogPrint("  Create Device NG(0x%08x) : %s", static_cast<unsigned>(GetLastError()),
                     driver.hardwareId.c_str());
            RemoveDevicesByHardwareId(driver.hardwareId); // a half-made device does not stay
            return kResultRegisterFailed;
        }
        created = true;
    }
    DWORD code = UpdateDevices(driver.hardwareId, infPath);
    if (code == kResultRegisterFailed)
    {
        if (created)
            RemoveDevicesByHardwareId(driver.hardwareId);
        return code;
    }
    if (code == kResultRestart)
        LogPrint("  Driver's reboot is required.");
    LogPrint("  Driver Install OK.");
    return code;
}

bool TzspeComPortPresent()
{
    DeviceSet set(SetupDiGetClassDevsA(&kPortsClassGuid, nullptr, nullptr, DIGCF_PRESENT));
    if (!set.valid())
        return false;
    for (DWORD i = 0;; ++i)
    {
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        if (!SetupDiEnumDeviceInfo(set.get(), i, &device))
            return false;
        std::optional<std::string> port = KeyText(set.get(), device, DIREG_DEV, "PortName");
        if (!port || !StartsWithNoCase(*port, "COM"))
            continue;
        std::vector<std::string> names;
        if (TextsOf(set.get(), device, SPDRP_FRIENDLYNAME, names) == Read::Ok && !names.empty() &&
            StartsWithNoCase(names.front(), "tzspe driver"))
            return true;
    }
}

} // namespace uninstall
