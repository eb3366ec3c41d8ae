// The machine's device tree as tests see it: device nodes (the root, USB devices and the printers on
// them, parallel printers, print queues as software devices from Windows 8 on), the hardware attached
// to the machine, and re-enumeration making present nodes for it. Programs reach it through setupapi's
// device sets, cfgmgr32 and newdev.
#pragma once

#include <platform/setupapi.h>

#include <optional>
#include <string>
#include <vector>

namespace sim
{

// A property as raw bytes, standing in for what the node would report: lets a test hand the caller
// damaged or unterminated values.
struct RawDeviceProperty
{
    std::optional<DWORD> registryProperty; // SPDRP_*: SetupDiGetDeviceRegistryPropertyW answers with it
    DEVPROPKEY key{};                      // else: SetupDiGetDevicePropertyW answers for this key
    DWORD type = 0;                        // REG_* or DEVPROP_TYPE_*
    std::vector<BYTE> bytes;
};

struct DeviceNodeSetup
{
    WString instanceId;               // USB\VID_155E&PID_0004\A1B2C3
    WString parentId;                 // empty: a child of the root
    std::vector<WString> hardwareIds; // most specific first
    bool present = true;
    WString className; // USB, Printer, Ports, System, PrintQueue
    GUID classGuid{};
    WString description;                   // SPDRP_DEVICEDESC
    std::optional<WString> busDescription; // the bus-reported description
    std::optional<WString> friendlyName;
    WString manufacturer, service, driverKey, infPath; // empty: no driver installed
    WString portName;    // the printer port a printer node is on (USB001, LPT1:)
    WString printerName; // a print queue's software device: its queue
    std::vector<RawDeviceProperty> rawProperties;
    WString driverVersion;     // the driver key's DriverVersion (empty: none)
    bool needsRestart = false; // removing it, or updating its driver, asks for a restart
};

// A USB duplicator as plugged into the machine: a USB device and the printer function on it.
struct UsbPrinterHardware
{
    WORD vendorId = 0x155E;
    WORD productId = 0x0004;
    WString serial = u"A1B2C3";
    WString description = u"Velmo KG-100";  // what the device reports
    WString printerId = u"VELMOKG-100ABCD"; // the printer function's id: USBPRINT\<id>
};

// A printer on a parallel port.
struct LptPrinterHardware
{
    WString port = u"LPT1";
    WString printerId = u"VELMO_RANTHKG-100ABCD"; // LPTENUM\<id>
    WString description = u"Velmo Ranth KG-100";
};

class DeviceTree
{
public:
    // Attaches hardware; its nodes appear at once when it `arrives`, else at the next re-enumeration.
    // A USB printer's node is on port "USB00n", the same number for the same device every time.
    void AttachUsbPrinter(const UsbPrinterHardware& hardware, bool arrives = true);
    void AttachLptPrinter(const LptPrinterHardware& hardware, bool arrives = true);
    // Takes the hardware with that serial (USB) or port (LPT) away: its nodes stay, not present.
    void Detach(WStringView serialOrPort);
    // Installs (or replaces, by id) a node as it stands.
    void AddNode(const DeviceNodeSetup& node);
    std::vector<DeviceNodeSetup> Nodes() const; // the root first, then in the order made
    std::optional<DeviceNodeSetup> Node(WStringView instanceId) const;
    // The ids a USB printer's nodes get (the printer function's on its port number, once given one).
    static WString UsbDeviceId(const UsbPrinterHardware& hardware);
    std::optional<WString> UsbPrinterId(const UsbPrinterHardware& hardware) const;
    static WString LptPrinterId(const LptPrinterHardware& hardware);

    int Reenumerations() const; // from any node, since the machine started
    // The polls CMP_WaitNoPendingInstallEvents answers WAIT_TIMEOUT before it answers 0.
    void SetPendingInstallEvents(int polls);
    int PendingInstallEvents() const;
    // UpdateDriverForPlugAndPlayDevicesW fails with this code (0: works).
    void FailDriverUpdates(DWORD error);
};

DeviceTree& deviceTree();

// Class GUIDs the machine's nodes use.
inline constexpr GUID kUsbClass = {
    0x36FC9E60, 0xC465, 0x11CF, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
inline constexpr GUID kPrinterClass = {
    0x4D36E979, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
inline constexpr GUID kPortsClass = {
    0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
inline constexpr GUID kSystemClass = {
    0x4D36E97D, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
inline constexpr GUID kNetTransClass = {
    0x4D36E975, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
inline constexpr GUID kPrintQueueClass = {
    0x1ED2BBF9, 0x11F0, 0x4084, {0xB2, 0x1F, 0xAD, 0x83, 0xA8, 0xE6, 0xDC, 0xDC}};

} // namespace sim
