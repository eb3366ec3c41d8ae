// Device sets of device interfaces (of device nodes: devices.cpp): a snapshot of the machine's device list
// taken when the set is made, enumerated by index and asked for each interface's path with the two-call
// protocol.
#include "devices/device_list.h"

#include <platform/setupapi.h>

#include <cstddef>
#include <cstring>

using namespace sim::detail;

namespace
{
using DeviceSet = DeviceInfoSet;

std::shared_ptr<DeviceSet> SetOf(HDEVINFO set)
{
    return DeviceSetOf(set);
}
} // namespace

HDEVINFO WINAPI SetupDiGetClassDevsW(const GUID* classGuid, PCWSTR enumerator, HWND, DWORD flags)
{
    SIM_FAULT_POINT("SetupDiGetClassDevsW", INVALID_HANDLE_VALUE);
    const bool all = (flags & DIGCF_ALLCLASSES) != 0;
    if (!classGuid && !all)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (!(flags & DIGCF_DEVICEINTERFACE))
        return NodeSet(classGuid, enumerator, flags);
    auto set = std::make_shared<DeviceSet>();
    {
        std::lock_guard g(StateLock());
        for (const auto& node : DeviceNodes())
        {
            if ((flags & DIGCF_PRESENT) && !node->present)
                continue;
            for (const auto& record : node->interfaces)
                if (all || SameGuid(record.classGuid, *classGuid))
                    set->interfaces.push_back(record);
        }
    }
    SetLastError(ERROR_SUCCESS);
    return AddHandle(set);
}

BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA, const GUID* interfaceClass,
                                        DWORD index, PSP_DEVICE_INTERFACE_DATA interfaceData)
{
    auto devices = SetOf(set);
    if (!devices)
        return FALSE;
    if (!interfaceClass)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!interfaceData || interfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA))
    {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    DWORD seen = 0;
    for (size_t i = 0; i < devices->interfaces.size(); ++i)
    {
        if (!SameGuid(devices->interfaces[i].classGuid, *interfaceClass) || seen++ != index)
            continue;
        interfaceData->InterfaceClassGuid = devices->interfaces[i].classGuid;
        interfaceData->Flags = SPINT_ACTIVE;
        interfaceData->Reserved = i + 1;
        return TRUE;
    }
    SetLastError(ERROR_NO_MORE_ITEMS);
    return FALSE;
}

BOOL WINAPI SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                             PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD detailSize,
                                             PDWORD requiredSize, PSP_DEVINFO_DATA)
{
    SIM_FAULT_POINT("SetupDiGetDeviceInterfaceDetailW", FALSE);
    auto devices = SetOf(set);
    if (!devices)
        return FALSE;
    if (!interfaceData || interfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) ||
        interfaceData->Reserved == 0 || interfaceData->Reserved > devices->interfaces.size())
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const WString& path = devices->interfaces[interfaceData->Reserved - 1].path;
    const DWORD need = static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) +
                                          (path.size() + 1) * sizeof(WCHAR));
    if (requiredSize)
        *requiredSize = need;
    if (!detail)
    {
        SetLastError(detailSize ? ERROR_INVALID_USER_BUFFER : ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W))
    {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    if (detailSize < need)
    {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(reinterpret_cast<BYTE*>(detail) + offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath),
                path.c_str(), (path.size() + 1) * sizeof(WCHAR));
    return TRUE;
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO set)
{
    std::lock_guard g(StateLock());
    if (!SetOf(set))
        return FALSE;
    RemoveHandle(set);
    return TRUE;
}
