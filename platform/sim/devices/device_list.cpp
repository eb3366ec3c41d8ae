// The device tree: nodes below one root, the hardware a test attached, re-enumeration making present
// nodes for that hardware (USB printers numbered on "USB00n" ports of the dynamic monitor, the same
// number for the same device), and from Windows 8 on a software device for every print queue.
#include "devices/device_list.h"

#include "core/state.h"
#include "winspool/spooler_internal.h"

#include <sim/port_monitors.h>
#include <sim/spooler.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

namespace sim::detail
{
namespace
{
struct AttachedUsb
{
    UsbPrinterHardware hardware;
    bool attached = true;
};

struct AttachedLpt
{
    LptPrinterHardware hardware;
    bool attached = true;
};

struct DeviceList : PartBase
{
    std::shared_ptr<DeviceNode> root;
    std::vector<std::shared_ptr<DeviceNode>> nodes;
    DWORD nextDevInst = kRootDevInst + 1;
    std::vector<AttachedUsb> usb;
    std::vector<AttachedLpt> lpt;
    std::map<WString, int> usbPortNumbers;                 // by folded device id
    std::map<WString, std::shared_ptr<DeviceNode>> queues; // print queue nodes by folded printer name
    int reenumerations = 0;
    int pendingInstallEvents = 0;
    DWORD driverUpdateFailure = 0;
};

DeviceList& list()
{
    return Part<DeviceList>();
}

WString Hex(unsigned long value, int digits)
{
    char text[16];
    std::snprintf(text, sizeof text, "%0*lX", digits, value);
    return Widen(text);
}

// A stable stand-in for the parent-derived part of a child's id.
WString HashOf(WStringView text)
{
    std::uint32_t h = 2166136261u;
    for (char16_t c : text)
        h = (h ^ FoldChar(c)) * 16777619u;
    return Hex(h, 8);
}

bool PrintQueueNodes()
{
    OsIdentity os = machine().Os();
    return os.major > 6 || (os.major == 6 && os.minor >= 2);
}

void Add(std::shared_ptr<DeviceNode> node)
{
    node->devInst = list().nextDevInst++;
    list().nodes.push_back(std::move(node));
}

std::shared_ptr<DeviceNode> FindById(WStringView id)
{
    for (const auto& node : list().nodes)
        if (EqualNoCase(node->instanceId, id))
            return node;
    return nullptr;
}

WString UsbId(const UsbPrinterHardware& h)
{
    return u"USB\\VID_" + Hex(h.vendorId, 4) + u"&PID_" + Hex(h.productId, 4) + u"\\" + h.serial;
}

WString LptId(const LptPrinterHardware& h)
{
    return u"LPTENUM\\" + h.printerId + u"\\5&" + HashOf(h.port) + u"&0&" + h.port;
}

int UsbPortNumber(const UsbPrinterHardware& h, bool give)
{
    auto& numbers = list().usbPortNumbers;
    auto it = numbers.find(Fold(UsbId(h)));
    if (it != numbers.end())
        return it->second;
    if (!give)
        return 0;
    int n = static_cast<int>(numbers.size()) + 1;
    numbers[Fold(UsbId(h))] = n;
    return n;
}

WString UsbPortName(int n)
{
    char text[16];
    std::snprintf(text, sizeof text, "USB%03d", n);
    return Widen(text);
}

WString UsbPrintId(const UsbPrinterHardware& h, int port)
{
    return u"USBPRINT\\" + h.printerId + u"\\7&" + HashOf(UsbId(h)) + u"&0&" + UsbPortName(port);
}

// Makes (or marks present) a node of that id, filled by `fill` when new.
template <typename Fill> void Present(const WString& id, Fill fill)
{
    if (auto node = FindById(id))
    {
        node->present = true;
        return;
    }
    auto node = std::make_shared<DeviceNode>();
    node->instanceId = id;
    fill(*node);
    Add(node);
}

void Arrive(const UsbPrinterHardware& h)
{
    const WString usbId = UsbId(h);
    const WString ids = u"USB\\VID_" + Hex(h.vendorId, 4) + u"&PID_" + Hex(h.productId, 4);
    Present(usbId, [&](DeviceNode& n) {
        n.hardwareIds = {ids + u"&REV_0100", ids};
        n.className = u"USB";
        n.classGuid = kUsbClass;
        n.description = u"USB Printing Support";
        n.busDescription = h.description;
        n.service = u"usbprint";
    });
    const int port = UsbPortNumber(h, true);
    const WString portName = UsbPortName(port);
    Present(UsbPrintId(h, port), [&](DeviceNode& n) {
        n.parentId = usbId;
        n.hardwareIds = {u"USBPRINT\\" + h.printerId, h.printerId};
        n.className = u"Printer";
        n.classGuid = kPrinterClass;
        n.description = h.description;
        n.busDescription = h.description;
        n.portName = portName;
    });
    // The dynamic monitor's port, kept once made, as Windows keeps it.
    AddMonitorPort({portName, WString(kUsbPortMonitor), u"Virtual printer port for USB", {}});
}

void Arrive(const LptPrinterHardware& h)
{
    Present(LptId(h), [&](DeviceNode& n) {
        n.hardwareIds = {u"LPTENUM\\" + h.printerId, h.printerId};
        n.className = u"Printer";
        n.classGuid = kPrinterClass;
        n.description = h.description;
        n.busDescription = h.description;
        n.portName = h.port + u":";
    });
}

void Depart(const WString& id)
{
    if (auto node = FindById(id))
        node->present = false;
}

std::shared_ptr<DeviceNode> MakeQueueNode(const PrinterSetup& printer)
{
    auto node = std::make_shared<DeviceNode>();
    // Named after the queue, so the same queue made again is the same device.
    for (unsigned salt = 0; node->instanceId.empty() || FindById(node->instanceId); ++salt)
    {
        const WString seed = Fold(printer.name) + u"#" + Widen(std::to_string(salt));
        node->instanceId = u"SWD\\PRINTENUM\\{" + HashOf(seed) + u"-0000-4000-8000-" +
                           HashOf(seed + u"#").substr(0, 4) + HashOf(u"#" + seed) + u"}";
    }
    node->hardwareIds = {u"PRINTENUM\\LocalPrintQueue"};
    node->className = u"PrintQueue";
    node->classGuid = kPrintQueueClass;
    node->description = printer.name;
    node->friendlyName = printer.name;
    node->printerName = printer.name;
    return node;
}
} // namespace

std::vector<std::shared_ptr<DeviceNode>>& DeviceNodes()
{
    return list().nodes;
}

bool SameGuid(const GUID& a, const GUID& b)
{
    return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
           std::memcmp(a.Data4, b.Data4, sizeof a.Data4) == 0;
}

void SyncDeviceTree()
{
    DeviceList& l = list();
    if (!l.root)
    {
        l.root = std::make_shared<DeviceNode>();
        l.root->instanceId = WString(kRootId);
        l.root->className = u"System";
        l.root->classGuid = kSystemClass;
        l.root->devInst = kRootDevInst;
    }
    for (auto& node : l.nodes)
        if (!node->devInst)
            node->devInst = l.nextDevInst++;

    // Print queues: one software device each while the spooler has them, none before Windows 8.
    const bool queues = PrintQueueNodes();
    std::map<WString, std::shared_ptr<DeviceNode>> kept;
    if (queues && SpoolerRunning())
        for (const PrinterSetup& printer : spooler().Printers())
        {
            auto it = l.queues.find(Fold(printer.name));
            if (it != l.queues.end() && std::ranges::find(l.nodes, it->second) != l.nodes.end())
            {
                kept[it->first] = it->second;
                continue;
            }
            auto node = MakeQueueNode(printer);
            Add(node);
            kept[Fold(printer.name)] = node;
        }
    if (!queues || SpoolerRunning())
    {
        for (const auto& [name, node] : l.queues)
            if (!kept.count(name))
                std::erase(l.nodes, node);
        l.queues = std::move(kept);
    }
}

std::vector<std::shared_ptr<DeviceNode>> AllDeviceNodes()
{
    SyncDeviceTree();
    std::vector<std::shared_ptr<DeviceNode>> all{list().root};
    all.insert(all.end(), list().nodes.begin(), list().nodes.end());
    return all;
}

std::shared_ptr<DeviceNode> FindDeviceNode(WStringView instanceId)
{
    for (const auto& node : AllDeviceNodes())
        if (EqualNoCase(node->instanceId, instanceId))
            return node;
    return nullptr;
}

std::shared_ptr<DeviceNode> FindDeviceNode(DWORD devInst)
{
    for (const auto& node : AllDeviceNodes())
        if (node->devInst == devInst)
            return node;
    return nullptr;
}

WString EnumeratorOf(const DeviceNodeSetup& node)
{
    return node.instanceId.substr(0, node.instanceId.find(u'\\'));
}

bool KnownEnumerator(WStringView enumerator)
{
    static constexpr WStringView kBuses[] = {u"ROOT",     u"HTREE",   u"ACPI", u"PCI",     u"USB",
                                             u"USBPRINT", u"LPTENUM", u"HID",  u"STORAGE", u"SW"};
    for (WStringView bus : kBuses)
        if (EqualNoCase(bus, enumerator))
            return true;
    if (EqualNoCase(enumerator, u"SWD") && PrintQueueNodes())
        return true;
    for (const auto& node : AllDeviceNodes())
        if (EqualNoCase(EnumeratorOf(*node), enumerator))
            return true;
    return false;
}

bool RemoveDeviceSubtree(const std::shared_ptr<DeviceNode>& node)
{
    auto& nodes = list().nodes;
    if (std::ranges::find(nodes, node) == nodes.end())
        return false;
    // Children first, as the system takes a subtree down.
    std::vector<std::shared_ptr<DeviceNode>> children;
    for (const auto& n : nodes)
        if (EqualNoCase(n->parentId, node->instanceId))
            children.push_back(n);
    for (const auto& child : children)
        RemoveDeviceSubtree(child);
    std::erase(nodes, node);
    if (!node->printerName.empty())
    {
        list().queues.erase(Fold(node->printerName));
        if (FindPrinter(node->printerName))
            RemovePrinter(node->printerName);
    }
    return true;
}

void ReenumerateBelow(const DeviceNode& node)
{
    ++list().reenumerations;
    const bool fromRoot = EqualNoCase(node.instanceId, kRootId);
    for (const AttachedUsb& usb : list().usb)
    {
        if (!fromRoot && !EqualNoCase(node.instanceId, UsbId(usb.hardware)))
            continue;
        if (usb.attached)
            Arrive(usb.hardware);
        else
        {
            Depart(UsbId(usb.hardware));
            if (int port = UsbPortNumber(usb.hardware, false))
                Depart(UsbPrintId(usb.hardware, port));
        }
    }
    if (!fromRoot)
        return;
    for (const AttachedLpt& lpt : list().lpt)
        lpt.attached ? Arrive(lpt.hardware) : Depart(LptId(lpt.hardware));
}

void RenamePrintQueueNode(WStringView oldName, WStringView newName)
{
    auto it = list().queues.find(Fold(oldName));
    if (it == list().queues.end())
        return;
    auto node = it->second;
    list().queues.erase(it);
    node->friendlyName = WString(newName);
    node->description = WString(newName);
    node->printerName = WString(newName);
    list().queues[Fold(newName)] = node;
}

DWORD NewDevInst()
{
    return list().nextDevInst++;
}

void AddDeviceNode(const std::shared_ptr<DeviceNode>& node)
{
    if (!node->devInst)
        node->devInst = list().nextDevInst++;
    list().nodes.push_back(node);
}

int& PendingInstallEvents()
{
    return list().pendingInstallEvents;
}

DWORD DriverUpdateFailure()
{
    return list().driverUpdateFailure;
}

} // namespace sim::detail

namespace sim
{
using namespace detail;

void DeviceTree::AttachUsbPrinter(const UsbPrinterHardware& hardware, bool arrives)
{
    {
        std::lock_guard g(StateLock());
        std::erase_if(list().usb,
                      [&](const AttachedUsb& a) { return EqualNoCase(UsbId(a.hardware), UsbId(hardware)); });
        list().usb.push_back({hardware, true});
        if (arrives)
            Arrive(hardware);
    }
    if (arrives)
        TellTopLevelWindows();
}

void DeviceTree::AttachLptPrinter(const LptPrinterHardware& hardware, bool arrives)
{
    {
        std::lock_guard g(StateLock());
        std::erase_if(list().lpt,
                      [&](const AttachedLpt& a) { return EqualNoCase(a.hardware.port, hardware.port); });
        list().lpt.push_back({hardware, true});
        if (arrives)
            Arrive(hardware);
    }
    if (arrives)
        TellTopLevelWindows();
}

void DeviceTree::Detach(WStringView serialOrPort)
{
    {
        std::lock_guard g(StateLock());
        for (AttachedUsb& usb : list().usb)
            if (usb.attached && EqualNoCase(usb.hardware.serial, serialOrPort))
            {
                usb.attached = false;
                Depart(UsbId(usb.hardware));
                if (int port = UsbPortNumber(usb.hardware, false))
                    Depart(UsbPrintId(usb.hardware, port));
            }
        for (AttachedLpt& lpt : list().lpt)
            if (lpt.attached && EqualNoCase(lpt.hardware.port, serialOrPort))
            {
                lpt.attached = false;
                Depart(LptId(lpt.hardware));
            }
    }
    TellTopLevelWindows();
}

void DeviceTree::AddNode(const DeviceNodeSetup& setup)
{
    std::lock_guard g(StateLock());
    if (auto old = FindById(setup.instanceId))
    {
        static_cast<DeviceNodeSetup&>(*old) = setup;
        return;
    }
    auto node = std::make_shared<DeviceNode>();
    static_cast<DeviceNodeSetup&>(*node) = setup;
    Add(node);
}

std::vector<DeviceNodeSetup> DeviceTree::Nodes() const
{
    std::lock_guard g(StateLock());
    std::vector<DeviceNodeSetup> out;
    for (const auto& node : AllDeviceNodes())
        out.push_back(*node);
    return out;
}

std::optional<DeviceNodeSetup> DeviceTree::Node(WStringView instanceId) const
{
    std::lock_guard g(StateLock());
    auto node = FindDeviceNode(instanceId);
    return node ? std::optional<DeviceNodeSetup>(*node) : std::nullopt;
}

WString DeviceTree::UsbDeviceId(const UsbPrinterHardware& hardware)
{
    return UsbId(hardware);
}

std::optional<WString> DeviceTree::UsbPrinterId(const UsbPrinterHardware& hardware) const
{
    std::lock_guard g(StateLock());
    int port = UsbPortNumber(hardware, false);
    return port ? std::optional<WString>(UsbPrintId(hardware, port)) : std::nullopt;
}

WString DeviceTree::LptPrinterId(const LptPrinterHardware& hardware)
{
    return LptId(hardware);
}

int DeviceTree::Reenumerations() const
{
    std::lock_guard g(StateLock());
    return list().reenumerations;
}

void DeviceTree::SetPendingInstallEvents(int polls)
{
    std::lock_guard g(StateLock());
    list().pendingInstallEvents = polls;
}

int DeviceTree::PendingInstallEvents() const
{
    std::lock_guard g(StateLock());
    return list().pendingInstallEvents;
}

void DeviceTree::FailDriverUpdates(DWORD error)
{
    std::lock_guard g(StateLock());
    list().driverUpdateFailure = error;
}

DeviceTree& deviceTree()
{
    static DeviceTree tree;
    return tree;
}
} // namespace sim
