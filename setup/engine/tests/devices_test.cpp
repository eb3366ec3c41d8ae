#include <gtest/gtest.h>

#include "devices.h"

#include <sim/machine.h>
#include <sim/port_monitors.h>
#include <sim/spooler.h>

#include <cstring>
#include <string>
#include <vector>

namespace
{
using namespace kgsetup;

const WORD kProducts[] = {2, 4};

sim::UsbPrinterHardware Usb(WORD product, std::u16string serial, std::u16string description = u"Velmo KG-100",
                            WORD vendor = 0x155E)
{
    sim::UsbPrinterHardware h;
    h.vendorId = vendor;
    h.productId = product;
    h.serial = serial;
    h.description = description;
    return h;
}

bool Present(const WString& id)
{
    auto node = sim::deviceTree().Node(id);
    return node && node->present;
}

bool Exists(const WString& id)
{
    return sim::deviceTree().Node(id).has_value();
}

std::vector<BYTE> Utf16(std::u16string_view text)
{
    std::vector<BYTE> bytes(text.size() * 2);
    std::memcpy(bytes.data(), text.data(), bytes.size());
    return bytes;
}

TEST(DevicePropertyParsers, TakeOnlyWhatTheBytesHold)
{
    EXPECT_EQ(PropertyText(Utf16(std::u16string(u"Velmo\0tail", 10))), u"Velmo");
    EXPECT_EQ(PropertyText(Utf16(u"unterminated")), u"unterminated");
    std::vector<BYTE> odd = Utf16(u"ab");
    odd.push_back('c');
    EXPECT_EQ(PropertyText(odd), u"ab");
    EXPECT_EQ(PropertyText({}), u"");

    EXPECT_EQ(PropertyList(Utf16(std::u16string(u"A\0B\0\0C\0", 7))), (std::vector<WString>{u"A", u"B"}));
    EXPECT_EQ(PropertyList(Utf16(std::u16string(u"A\0B", 3))), (std::vector<WString>{u"A", u"B"}));
    EXPECT_TRUE(PropertyList(Utf16(std::u16string(u"\0\0", 2))).empty());
    EXPECT_TRUE(PropertyList({}).empty());
}

TEST(DevicePropertyParsers, UsbInstanceIds)
{
    struct Case
    {
        std::u16string id;
        bool understood;
        WORD vendor, product;
        std::u16string serial;
    };
    const Case cases[] = {
        {u"USB\\VID_155E&PID_0004\\A1B2C3", true, 0x155E, 4, u"A1B2C3"},
        {u"usb\\vid_155e&pid_2\\ser", true, 0x155E, 2, u"SER"},
        {u"USB\\VID_155E&PID_0004&MI_00\\7&1&0", true, 0x155E, 4, u"7&1&0"},
        {u"USB\\PID_0004\\A1", false, 0, 0, u""},         // no vendor
        {u"USB\\VID_155E\\A1", false, 0, 0, u""},         // no product
        {u"USB\\VID_XYZ&PID_0004\\A1", false, 0, 0, u""}, // not hexadecimal
        {u"USB\\VID_0155E&PID_0004\\A1", false, 0, 0, u""},
        {u"USB\\VID_155E&PID_00004\\A1", false, 0, 0, u""},  // overlong numbers
        {u"VID_155E&PID_0004", false, 0, 0, u""},            // no serial part
        {u"USB\\VID_155E&PID_0004\\", false, 0, 0, u""},     // empty serial
        {u"USB\\A1B2\\VID_155E&PID_0004", false, 0, 0, u""}, // numbers only in the serial
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::string(c.id.begin(), c.id.end()));
        auto identity = ParseUsbInstanceId(c.id);
        ASSERT_EQ(identity.has_value(), c.understood);
        if (!identity)
            continue;
        EXPECT_EQ(identity->vendorId, c.vendor);
        EXPECT_EQ(identity->productId, c.product);
        EXPECT_EQ(identity->serial, c.serial);
    }
    EXPECT_EQ(PortKeyOf(u"USBPRINT\\VELMOKG-100ABCD\\7&1A2B3C4D&0&USB001"), u"USB001");
    EXPECT_FALSE(PortKeyOf(u"USBPRINT\\VELMO\\NOAMP").has_value());
    EXPECT_FALSE(PortKeyOf(u"USBPRINT\\VELMO\\7&").has_value());
}

// The machine's USB printers: the maker's products 2 and 4, its product 3, a printer of another make on
// the maker's vendor id, and another vendor's product 4.
struct UsbMachine
{
    sim::UsbPrinterHardware two = Usb(2, u"S2"), four = Usb(4, u"S4"), three = Usb(3, u"S3"),
                            other = Usb(4, u"SX", u"Other Printer"),
                            vendor = Usb(4, u"SV", u"Velmo KG", 0x1234);
    std::vector<sim::UsbPrinterHardware> all() const { return {two, four, three, other, vendor}; }
    UsbMachine()
    {
        for (const auto& h : all())
            sim::deviceTree().AttachUsbPrinter(h);
    }
    std::vector<WString> Remaining() const
    {
        std::vector<WString> serials;
        for (const auto& h : all())
            if (Exists(sim::DeviceTree::UsbDeviceId(h)))
                serials.push_back(h.serial);
        return serials;
    }
};

TEST(RemoveUsbPrinters, TakesTheMakersDuplicatorsByProductAndKey)
{
    struct Case
    {
        const char* name;
        std::u16string key;
        std::vector<WString> remaining;
    };
    const Case cases[] = {
        {"all", u"", {u"S3", u"SX", u"SV"}},
        {"by serial", u"s4", {u"S2", u"S3", u"SX", u"SV"}},
        {"by port key", u"USB001", {u"S4", u"S3", u"SX", u"SV"}},
        {"unknown key", u"NOPE", {u"S2", u"S4", u"S3", u"SX", u"SV"}},
        {"a product kept by key", u"S3", {u"S2", u"S4", u"S3", u"SX", u"SV"}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        sim::machine().Reset();
        UsbMachine m;
        ASSERT_EQ(PortKeyOf(*sim::deviceTree().UsbPrinterId(m.two)), u"USB001");
        EXPECT_EQ(RemoveUsbPrinters(kProducts, c.key), S_OK);
        EXPECT_EQ(m.Remaining(), c.remaining);
        // The printer function goes with its device.
        for (const auto& h : m.all())
            EXPECT_EQ(Exists(*sim::deviceTree().UsbPrinterId(h)), Exists(sim::DeviceTree::UsbDeviceId(h)));
    }
}

TEST(RemoveUsbPrinters, NonPresentDevicesOnlyWithFlagsZero)
{
    UsbMachine m;
    sim::deviceTree().Detach(u"S4");
    ASSERT_FALSE(Present(sim::DeviceTree::UsbDeviceId(m.four)));
    EXPECT_EQ(RemoveUsbPrinters(kProducts, u"", DIGCF_PRESENT), S_OK);
    EXPECT_EQ(m.Remaining(), (std::vector<WString>{u"S4", u"S3", u"SX", u"SV"}));
    EXPECT_EQ(RemoveUsbPrinters(kProducts, u"", 0), S_OK);
    EXPECT_EQ(m.Remaining(), (std::vector<WString>{u"S3", u"SX", u"SV"}));
}

TEST(RemoveUsbPrinters, FailuresAreReported)
{
    UsbMachine m;
    sim::faults().FailNext("SetupDiGetClassDevsW", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(RemoveUsbPrinters(kProducts, u""), HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY));
    sim::faults().FailNext("SetupDiGetClassDevsW", ERROR_NOT_ENOUGH_MEMORY, 1, 1);
    EXPECT_EQ(RemoveUsbPrinters(kProducts, u""), HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(m.Remaining().size(), 5u);

    // One uninstall fails: the other device still goes, and the result says one failed.
    sim::faults().FailNext("DiUninstallDevice", ERROR_ACCESS_DENIED);
    EXPECT_EQ(RemoveUsbPrinters(kProducts, u""), E_FAIL);
    EXPECT_EQ(m.Remaining(), (std::vector<WString>{u"S2", u"S3", u"SX", u"SV"}));

    sim::machine().SetAdministrator(false);
    EXPECT_EQ(RemoveUsbPrinters(kProducts, u""), E_FAIL);
    EXPECT_TRUE(Exists(sim::DeviceTree::UsbDeviceId(m.two)));

    // Without newdev.dll nothing can be uninstalled, and that is no success.
    sim::machine().SetAdministrator(true);
    sim::deviceTree().AttachLptPrinter(sim::LptPrinterHardware{});
    sim::processes().RemoveSystemModule(u"newdev.dll");
    EXPECT_EQ(RemoveUsbPrinters(kProducts, u""), E_FAIL);
    EXPECT_NE(RemoveLptDevices(u"VELMO"), 0u);
    EXPECT_TRUE(Exists(sim::DeviceTree::UsbDeviceId(m.two)));
}

// A printer function whose properties are damaged or missing: left alone, never removed on a guess.
TEST(RemoveUsbPrinters, DevicesNotUnderstoodAreLeftAlone)
{
    const DEVPROPKEY busReported = {
        {0x540B947E, 0x8B40, 0x45BC, {0xA8, 0xA2, 0x6A, 0x0B, 0x89, 0x4C, 0xBD, 0xA2}}, 4};
    const DEVPROPKEY parent = {{0x4340A6C5, 0x93FA, 0x4706, {0x97, 0x2C, 0x7B, 0x64, 0x80, 0x08, 0xA5, 0xA7}},
                               8};
    struct Case
    {
        std::u16string parentId;
        std::optional<std::vector<BYTE>> description; // none: the node has no description
        std::optional<std::vector<BYTE>> rawParent;   // the parent as raw bytes, standing in for the id
    };
    const std::vector<Case> cases = {
        {u"USB\\VID_155E&PID_0004\\A1", std::nullopt, std::nullopt},
        {u"USB\\VID_155E&PID_0004\\A2", Utf16(u"velmo lower case"), std::nullopt},
        {u"USB\\VID_155E&PID_XYZ\\A3", Utf16(u"Velmo KG-100"), std::nullopt},
        {u"USB\\VID_155E&PID_000004\\A4", Utf16(u"Velmo KG-100"), std::nullopt},
        {u"USB\\VID_155E&PID_0004\\", Utf16(u"Velmo KG-100"), std::nullopt},
        {u"USB-VID_155E&PID_0004", Utf16(u"Velmo KG-100"), std::nullopt},
        {u"USB\\VID_155E&PID_0004\\A7", Utf16(u"Velmo KG-100"), std::vector<BYTE>{}},
        {u"USB\\VID_155E&PID_0004\\A8", Utf16(u"Velmo KG-100"), Utf16(u"USB\\VID_155E")},
    };
    int n = 0;
    for (const Case& c : cases)
    {
        sim::DeviceNodeSetup usb;
        usb.instanceId = c.parentId;
        usb.className = u"USB";
        usb.classGuid = sim::kUsbClass;
        sim::deviceTree().AddNode(usb);
        sim::DeviceNodeSetup printer;
        printer.instanceId =
            u"USBPRINT\\VELMOKG-100ABCD\\7&" + std::u16string(1, char16_t(u'0' + n++)) + u"&0&USB001";
        printer.parentId = c.parentId;
        printer.className = u"Printer";
        printer.classGuid = sim::kPrinterClass;
        if (c.description)
            printer.rawProperties.push_back({std::nullopt, busReported, DEVPROP_TYPE_STRING, *c.description});
        if (c.rawParent)
            printer.rawProperties.push_back({std::nullopt, parent, DEVPROP_TYPE_STRING, *c.rawParent});
        sim::deviceTree().AddNode(printer);
    }
    const size_t before = sim::deviceTree().Nodes().size();
    EXPECT_EQ(RemoveUsbPrinters(kProducts, u""), S_OK);
    EXPECT_EQ(sim::deviceTree().Nodes().size(), before);
}

TEST(RemoveLptDevices, TakesTheMatchingParallelPrinters)
{
    sim::LptPrinterHardware ranth, other;
    other.port = u"LPT2";
    other.printerId = u"OTHERMAKEPRINTER";
    sim::deviceTree().AttachLptPrinter(ranth);
    sim::deviceTree().AttachLptPrinter(other);
    EXPECT_EQ(RemoveLptDevices(u"VELMO_RANTH"), 0u);
    EXPECT_FALSE(Exists(sim::DeviceTree::LptPrinterId(ranth)));
    EXPECT_TRUE(Present(sim::DeviceTree::LptPrinterId(other)));

    // Made again by the next enumeration; a failed uninstall's code is the result.
    ASSERT_TRUE(ReenumerateDevices());
    ASSERT_TRUE(Present(sim::DeviceTree::LptPrinterId(ranth)));
    sim::faults().FailNext("DiUninstallDevice", ERROR_ACCESS_DENIED);
    EXPECT_EQ(RemoveLptDevices(u"VELMO_RANTH"), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(Exists(sim::DeviceTree::LptPrinterId(ranth)));
    sim::faults().FailNext("SetupDiGetClassDevsW", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(RemoveLptDevices(u"VELMO_RANTH"), DWORD(ERROR_NOT_ENOUGH_MEMORY));
}

TEST(ReenumerateDevices, MakesNodesForAttachedHardwareOnStablePorts)
{
    const auto first = Usb(4, u"S1"), second = Usb(2, u"S2");
    sim::deviceTree().AttachUsbPrinter(first, false);
    EXPECT_FALSE(Exists(sim::DeviceTree::UsbDeviceId(first)));
    ASSERT_TRUE(ReenumerateDevices());
    EXPECT_TRUE(Present(sim::DeviceTree::UsbDeviceId(first)));
    sim::deviceTree().AttachUsbPrinter(second);
    EXPECT_EQ(PortKeyOf(*sim::deviceTree().UsbPrinterId(first)), u"USB001");
    EXPECT_EQ(PortKeyOf(*sim::deviceTree().UsbPrinterId(second)), u"USB002");
    auto port = sim::portMonitors().Port(u"USB002");
    ASSERT_TRUE(port.has_value());
    EXPECT_EQ(port->monitor, sim::kUsbPortMonitor);

    // Unplugged: the nodes stay, not present; plugged again after the other's removal: the same port.
    sim::deviceTree().Detach(u"S1");
    ASSERT_TRUE(ReenumerateDevices());
    EXPECT_FALSE(Present(*sim::deviceTree().UsbPrinterId(first)));
    EXPECT_TRUE(Exists(*sim::deviceTree().UsbPrinterId(first)));
    ASSERT_EQ(RemoveUsbPrinters(kProducts, u"S1"), S_OK);
    sim::deviceTree().AttachUsbPrinter(first, false);
    ASSERT_TRUE(ReenumerateDevices());
    EXPECT_TRUE(Present(*sim::deviceTree().UsbPrinterId(first)));
    EXPECT_EQ(PortKeyOf(*sim::deviceTree().UsbPrinterId(first)), u"USB001");

    sim::faults().FailNext("CM_Reenumerate_DevNode", 1);
    EXPECT_FALSE(ReenumerateDevices());
}

TEST(DeviceLists, ByEnumeratorPresentOnly)
{
    const auto present = Usb(4, u"S1"), gone = Usb(2, u"S2");
    sim::deviceTree().AttachUsbPrinter(present);
    sim::deviceTree().AttachUsbPrinter(gone);
    sim::deviceTree().Detach(u"S2");
    const WString presentId = *sim::deviceTree().UsbPrinterId(present);

    auto ids = DevicesByEnumerator(u"USBPRINT");
    ASSERT_EQ(ids.size(), 1u);
    EXPECT_EQ(ids.begin()->second, presentId);
    auto tails = GetDeviceInstances(u"USBPRINT");
    ASSERT_EQ(tails.size(), 1u);
    EXPECT_EQ(tails.begin()->second, u"USB001");
    EXPECT_EQ(tails.begin()->first, ids.begin()->first);

    auto hardware = EnumDeviceProperty(u"USBPRINT", SPDRP_HARDWAREID, 0);
    EXPECT_EQ(hardware.size(), 2u);
    for (const auto& [devInst, id] : hardware)
        EXPECT_EQ(id, u"USBPRINT\\VELMOKG-100ABCD");
    EXPECT_EQ(EnumDeviceProperty(u"USBPRINT", SPDRP_HARDWAREID, DIGCF_PRESENT).size(), 1u);
    EXPECT_TRUE(EnumDeviceProperty(u"USBPRINT", SPDRP_FRIENDLYNAME, 0).empty());

    EXPECT_TRUE(DevicesByEnumerator(u"NOSUCHBUS").empty());
}

// A print queue's software device from Windows 8 on; none on Windows 7, where the bus is unknown.
TEST(DeviceLists, PrintQueuesAreSoftwareDevicesFromWindows8)
{
    sim::PrinterSetup printer;
    printer.name = u"Office";
    sim::spooler().AddPrinter(printer);
    auto queues = EnumDeviceProperty(u"SWD", SPDRP_FRIENDLYNAME, 0);
    ASSERT_EQ(queues.size(), 1u);
    EXPECT_EQ(queues.begin()->second, u"Office");

    sim::OsIdentity seven;
    seven.major = 6;
    seven.minor = 1;
    sim::machine().SetOs(seven);
    EXPECT_TRUE(DevicesByEnumerator(u"SWD").empty());
    EXPECT_EQ(SetupDiGetClassDevsW(nullptr, u"SWD", nullptr, DIGCF_ALLCLASSES), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_DATA));
}

} // namespace
