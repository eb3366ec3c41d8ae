// The configuration manager over the device tree: nodes located by instance id (the root for none),
// walked by parent, child and sibling, re-enumerated; and the wait for plug-and-play installs.
#include "devices/device_list.h"
#include "kernel32/loader.h"
#include "winspool/spooler_internal.h"

#include <platform/cfgmgr32.h>
#include <platform/newdev.h>

#include <cstring>

using namespace sim::detail;

namespace
{
std::vector<std::shared_ptr<DeviceNode>> ChildrenOf(const DeviceNode& parent)
{
    std::vector<std::shared_ptr<DeviceNode>> children;
    const bool root = EqualNoCase(parent.instanceId, kRootId);
    for (const auto& node : AllDeviceNodes())
        if (!EqualNoCase(node->instanceId, kRootId) &&
            (EqualNoCase(node->parentId, parent.instanceId) || (root && node->parentId.empty())))
            children.push_back(node);
    return children;
}

// The root has no parent; a node whose parent id is empty hangs under the root.
std::shared_ptr<DeviceNode> ParentOf(const DeviceNode& node)
{
    if (EqualNoCase(node.instanceId, kRootId))
        return nullptr;
    return node.parentId.empty() ? FindDeviceNode(kRootDevInst) : FindDeviceNode(node.parentId);
}

// The tree walkers share their argument checks; the out value is cleared before the flags are looked at.
template <class Step> CONFIGRET StepFrom(PDEVINST out, DEVINST devInst, ULONG flags, Step step)
{
    if (!out)
        return CR_INVALID_POINTER;
    *out = 0;
    if (flags)
        return CR_INVALID_FLAG;
    std::lock_guard g(StateLock());
    auto node = FindDeviceNode(devInst);
    if (!node)
        return CR_INVALID_DEVNODE;
    auto found = step(node);
    if (!found)
        return CR_NO_SUCH_DEVNODE;
    *out = found->devInst;
    return CR_SUCCESS;
}
} // namespace

CONFIGRET WINAPI CM_Locate_DevNodeW(PDEVINST devInst, DEVINSTID_W deviceId, ULONG flags)
{
    SIM_FAULT_RESULT("CM_Locate_DevNodeW", CR_FAILURE);
    if (!devInst)
        return CR_INVALID_POINTER;
    *devInst = 0;
    if (flags & ~ULONG(CM_LOCATE_DEVNODE_PHANTOM))
        return CR_INVALID_FLAG;
    std::lock_guard g(StateLock());
    auto node = deviceId && *deviceId ? FindDeviceNode(WStringView(deviceId)) : FindDeviceNode(kRootDevInst);
    if (!node || (!node->present && !(flags & CM_LOCATE_DEVNODE_PHANTOM)))
        return CR_NO_SUCH_DEVNODE;
    *devInst = node->devInst;
    return CR_SUCCESS;
}

CONFIGRET WINAPI CM_Reenumerate_DevNode(DEVINST devInst, ULONG flags)
{
    RecordCall("CM_Reenumerate_DevNode");
    SIM_FAULT_RESULT("CM_Reenumerate_DevNode", CR_FAILURE);
    if (flags & ~ULONG(CM_REENUMERATE_SYNCHRONOUS))
        return CR_INVALID_FLAG;
    {
        std::lock_guard g(StateLock());
        auto node = FindDeviceNode(devInst);
        if (!node || !node->present)
            return CR_INVALID_DEVNODE;
        ReenumerateBelow(*node);
    }
    TellTopLevelWindows();
    return CR_SUCCESS;
}

CONFIGRET WINAPI CM_Get_Device_IDW(DEVINST devInst, PWSTR buffer, ULONG bufferLength, ULONG flags)
{
    if (flags)
        return CR_INVALID_FLAG;
    if (!buffer)
        return CR_INVALID_POINTER;
    std::lock_guard g(StateLock());
    auto node = FindDeviceNode(devInst);
    if (!node)
        return CR_INVALID_DEVNODE;
    const WString& id = node->instanceId;
    if (bufferLength < id.size())
        return CR_BUFFER_SMALL;
    std::memcpy(buffer, id.data(), id.size() * sizeof(WCHAR));
    if (bufferLength > id.size())
        buffer[id.size()] = 0; // the terminator only when there is room, as the system writes it
    return CR_SUCCESS;
}

CONFIGRET WINAPI CM_Get_Parent(PDEVINST parent, DEVINST devInst, ULONG flags)
{
    return StepFrom(parent, devInst, flags,
                    [](const std::shared_ptr<DeviceNode>& node) { return ParentOf(*node); });
}

CONFIGRET WINAPI CM_Get_Child(PDEVINST child, DEVINST devInst, ULONG flags)
{
    return StepFrom(child, devInst, flags, [](const std::shared_ptr<DeviceNode>& node) {
        auto children = ChildrenOf(*node);
        return children.empty() ? nullptr : children.front();
    });
}

CONFIGRET WINAPI CM_Get_Sibling(PDEVINST sibling, DEVINST devInst, ULONG flags)
{
    return StepFrom(sibling, devInst, flags,
                    [](const std::shared_ptr<DeviceNode>& node) -> std::shared_ptr<DeviceNode> {
                        auto parent = ParentOf(*node);
                        if (!parent)
                            return nullptr;
                        auto children = ChildrenOf(*parent);
                        auto it = std::find(children.begin(), children.end(), node);
                        if (it == children.end() || ++it == children.end())
                            return nullptr;
                        return *it;
                    });
}

DWORD WINAPI CMP_WaitNoPendingInstallEvents(DWORD milliseconds)
{
    {
        std::lock_guard g(StateLock());
        int& pending = PendingInstallEvents();
        if (pending <= 0)
            return WAIT_OBJECT_0;
        if (milliseconds == INFINITE)
        {
            pending = 0;
            return WAIT_OBJECT_0;
        }
        --pending;
    }
    if (milliseconds)
        Sleep(milliseconds);
    return WAIT_TIMEOUT;
}

std::vector<SystemExport> sim::detail::DeviceExports()
{
    return {
        {u"setupapi.dll", "CMP_WaitNoPendingInstallEvents", ExportAddress(&CMP_WaitNoPendingInstallEvents)},
        {u"cfgmgr32.dll", "CMP_WaitNoPendingInstallEvents", ExportAddress(&CMP_WaitNoPendingInstallEvents)},
        {u"cfgmgr32.dll", "CM_Locate_DevNodeW", ExportAddress(&CM_Locate_DevNodeW)},
        {u"cfgmgr32.dll", "CM_Reenumerate_DevNode", ExportAddress(&CM_Reenumerate_DevNode)},
        {u"newdev.dll", "DiUninstallDevice", ExportAddress(&DiUninstallDevice)},
        {u"newdev.dll", "UpdateDriverForPlugAndPlayDevicesA",
         ExportAddress(&UpdateDriverForPlugAndPlayDevicesA)},
        {u"newdev.dll", "UpdateDriverForPlugAndPlayDevicesW",
         ExportAddress(&UpdateDriverForPlugAndPlayDevicesW)},
    };
}
