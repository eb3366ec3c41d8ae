// The machine's device tree: each device node with its instance id, parent, hardware ids, properties
// and the interfaces it offers. Read and changed with StateLock() held.
#pragma once

#include "core/internal.h"

#include <platform/setupapi.h>
#include <sim/device_tree.h>

#include <map>
#include <memory>
#include <vector>

namespace sim::detail
{

struct DeviceInterfaceRecord
{
    GUID classGuid{};
    WString path;
};

struct DeviceNode : DeviceNodeSetup
{
    std::vector<DeviceInterfaceRecord> interfaces;
    DWORD devInst = 0; // given when the tree first sees the node
};

// Nodes in the order they were made (the root is not among them).
std::vector<std::shared_ptr<DeviceNode>>& DeviceNodes();

bool SameGuid(const GUID& a, const GUID& b);

// The USB printer interface class.
inline constexpr GUID kUsbPrintInterface = {
    0x28D78FAD, 0x5A12, 0x11D1, {0xAE, 0x5B, 0x00, 0x00, 0xF8, 0x03, 0xA8, 0xC2}};

inline constexpr WStringView kRootId = u"HTREE\\ROOT\\0";
inline constexpr DWORD kRootDevInst = 1;

// The tree brought up to date (numbers given, the root made, the print queues' software devices in
// step with the spooler's printers); every reader calls it first.
void SyncDeviceTree();
// The root, then every node; by id or number (null when there is none).
std::vector<std::shared_ptr<DeviceNode>> AllDeviceNodes();
std::shared_ptr<DeviceNode> FindDeviceNode(WStringView instanceId);
std::shared_ptr<DeviceNode> FindDeviceNode(DWORD devInst);
WString EnumeratorOf(const DeviceNodeSetup& node);
// Whether the machine knows a bus of that name (SWD only from Windows 8 on).
bool KnownEnumerator(WStringView enumerator);
// Removes the node and every node below it; a print queue's software device takes its queue along.
// False when the node is no longer in the tree.
bool RemoveDeviceSubtree(const std::shared_ptr<DeviceNode>& node);
// A node made by a program (not yet in the tree) gets its number at once; it joins the tree when
// registered.
DWORD NewDevInst();
void AddDeviceNode(const std::shared_ptr<DeviceNode>& node);
// Re-enumeration below a node: attached hardware gets present nodes, hardware taken away leaves
// non-present ones.
void ReenumerateBelow(const DeviceNode& node);
// A printer's new name carried to its queue's software device.
void RenamePrintQueueNode(WStringView oldName, WStringView newName);

// Tells the top-level windows the device nodes changed (WM_DEVICECHANGE); without StateLock held.
void TellTopLevelWindows();

// Install events still pending (CMP_WaitNoPendingInstallEvents), and UpdateDriverForPlugAndPlayDevicesW's
// knob.
int& PendingInstallEvents();
DWORD DriverUpdateFailure();

// A set of device nodes or of device interfaces (setupapi).
struct DeviceInfoSet : KernelObject
{
    std::vector<DeviceInterfaceRecord> interfaces;
    std::vector<std::shared_ptr<DeviceNode>> nodes;
    std::vector<DWORD> unregistered;                      // made in the set, not yet in the tree
    std::map<DWORD, DWORD> installFlags;                  // DI_* by node number
    std::map<DWORD, SP_REMOVEDEVICE_PARAMS> removeParams; // the class installer's, by node number
};
// SetupDiGetClassDevsW's set of device nodes: by enumerator (a bus the machine knows, else
// ERROR_INVALID_DATA), class unless DIGCF_ALLCLASSES, present ones alone with DIGCF_PRESENT.
HDEVINFO NodeSet(const GUID* classGuid, PCWSTR enumerator, DWORD flags);
// The set, or null with ERROR_INVALID_HANDLE.
std::shared_ptr<DeviceInfoSet> DeviceSetOf(HDEVINFO set);
// The node an SP_DEVINFO_DATA of the set names, or null with the error set.
std::shared_ptr<DeviceNode> DeviceOfSet(HDEVINFO set, const SP_DEVINFO_DATA* data);
// Removal of the node a set's entry names and of the nodes below it: an administrator's.
BOOL RemoveDeviceOfSet(HDEVINFO set, PSP_DEVINFO_DATA device);
// DIF_REMOVE (an install flag left when the node asks for a restart) and DIF_REGISTERDEVICE (a node
// the set made joins the tree); StateLock held.
BOOL CallClassInstaller(DI_FUNCTION function, HDEVINFO set, PSP_DEVINFO_DATA device);

} // namespace sim::detail
