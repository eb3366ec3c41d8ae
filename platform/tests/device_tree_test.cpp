#include <gtest/gtest.h>

#include <platform/cfgmgr32.h>
#include <platform/newdev.h>
#include <platform/setupapi.h>
#include <sim/machine.h>

#include <cstring>
#include <vector>

namespace
{
WString IdOf(DEVINST devInst)
{
    WCHAR id[MAX_DEVICE_ID_LEN + 1] = {};
    EXPECT_EQ(CM_Get_Device_IDW(devInst, id, MAX_DEVICE_ID_LEN + 1, 0), DWORD(CR_SUCCESS));
    return id;
}

TEST(DeviceTree, WalkedFromTheRootByParentChildAndSibling)
{
    sim::UsbPrinterHardware usb;
    sim::deviceTree().AttachUsbPrinter(usb);
    sim::LptPrinterHardware lpt;
    sim::deviceTree().AttachLptPrinter(lpt);

    DEVINST root = 0, first = 0, second = 0, child = 0, parent = 0;
    ASSERT_EQ(CM_Locate_DevNodeW(&root, nullptr, CM_LOCATE_DEVNODE_NORMAL), DWORD(CR_SUCCESS));
    EXPECT_EQ(IdOf(root), u"HTREE\\ROOT\\0");
    ASSERT_EQ(CM_Get_Child(&first, root, 0), DWORD(CR_SUCCESS));
    EXPECT_EQ(IdOf(first), sim::DeviceTree::UsbDeviceId(usb));
    ASSERT_EQ(CM_Get_Sibling(&second, first, 0), DWORD(CR_SUCCESS));
    EXPECT_EQ(IdOf(second), sim::DeviceTree::LptPrinterId(lpt));
    DEVINST none = 0;
    EXPECT_EQ(CM_Get_Sibling(&none, second, 0), DWORD(CR_NO_SUCH_DEVNODE));
    ASSERT_EQ(CM_Get_Child(&child, first, 0), DWORD(CR_SUCCESS));
    EXPECT_EQ(IdOf(child), *sim::deviceTree().UsbPrinterId(usb));
    ASSERT_EQ(CM_Get_Parent(&parent, child, 0), DWORD(CR_SUCCESS));
    EXPECT_EQ(parent, first);
    EXPECT_EQ(CM_Get_Parent(&parent, root, 0), DWORD(CR_NO_SUCH_DEVNODE));

    WCHAR small[4] = {};
    EXPECT_EQ(CM_Get_Device_IDW(first, small, 4, 0), DWORD(CR_BUFFER_SMALL));

    // A node whose hardware is gone is found only when asked for phantoms.
    sim::deviceTree().Detach(usb.serial);
    WString id = sim::DeviceTree::UsbDeviceId(usb);
    DEVINST found = 0;
    EXPECT_EQ(CM_Locate_DevNodeW(&found, id.data(), CM_LOCATE_DEVNODE_NORMAL), DWORD(CR_NO_SUCH_DEVNODE));
    EXPECT_EQ(CM_Locate_DevNodeW(&found, id.data(), CM_LOCATE_DEVNODE_PHANTOM), DWORD(CR_SUCCESS));
    EXPECT_EQ(found, first);
}

// The two character sets are two entry points: a fault set on one leaves the other answering.
TEST(DeviceTree, EachCharacterSetOfAPropertyFailsOnItsOwn)
{
    sim::UsbPrinterHardware usb;
    sim::deviceTree().AttachUsbPrinter(usb);
    HDEVINFO set = SetupDiGetClassDevsW(&sim::kPrinterClass, u"USBPRINT", nullptr, DIGCF_PRESENT);
    ASSERT_NE(set, INVALID_HANDLE_VALUE);
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    ASSERT_TRUE(SetupDiEnumDeviceInfo(set, 0, &data));
    BYTE buffer[256];
    DWORD type = 0, needed = 0;
    auto wide = [&] {
        return SetupDiGetDeviceRegistryPropertyW(set, &data, SPDRP_HARDWAREID, &type, buffer, sizeof buffer,
                                                 &needed);
    };
    auto narrow = [&] {
        return SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_HARDWAREID, &type, buffer, sizeof buffer,
                                                 &needed);
    };
    sim::faults().FailNext("SetupDiGetDeviceRegistryPropertyA", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_TRUE(wide());
    EXPECT_FALSE(narrow());
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_ENOUGH_MEMORY));
    sim::faults().FailNext("SetupDiGetDeviceRegistryPropertyW", ERROR_GEN_FAILURE);
    EXPECT_TRUE(narrow());
    EXPECT_FALSE(wide());
    EXPECT_EQ(GetLastError(), DWORD(ERROR_GEN_FAILURE));
    SetupDiDestroyDeviceInfoList(set);
}

TEST(DeviceTree, PropertiesInTheTwoCallProtocol)
{
    sim::UsbPrinterHardware usb;
    sim::deviceTree().AttachUsbPrinter(usb);
    HDEVINFO set = SetupDiGetClassDevsW(&sim::kPrinterClass, u"USBPRINT", nullptr, DIGCF_PRESENT);
    ASSERT_NE(set, INVALID_HANDLE_VALUE);
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    ASSERT_TRUE(SetupDiEnumDeviceInfo(set, 0, &data));
    SP_DEVINFO_DATA past = data;
    EXPECT_FALSE(SetupDiEnumDeviceInfo(set, 1, &past));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_MORE_ITEMS));

    DWORD type = 0, needed = 0;
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyW(set, &data, SPDRP_HARDWAREID, &type, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    const std::u16string expected(u"USBPRINT\\VELMOKG-100ABCD\0VELMOKG-100ABCD\0\0", 42);
    EXPECT_EQ(needed, expected.size() * 2);
    std::vector<BYTE> bytes(needed);
    ASSERT_TRUE(SetupDiGetDeviceRegistryPropertyW(set, &data, SPDRP_HARDWAREID, &type, bytes.data(), needed,
                                                  &needed));
    EXPECT_EQ(type, DWORD(REG_MULTI_SZ));
    EXPECT_EQ(std::memcmp(bytes.data(), expected.data(), needed), 0);
    char narrow[64] = {};
    ASSERT_TRUE(SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_HARDWAREID, &type,
                                                  reinterpret_cast<BYTE*>(narrow), sizeof narrow, &needed));
    EXPECT_EQ(needed, 42u);
    EXPECT_STREQ(narrow + 25, "VELMOKG-100ABCD");
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyW(set, &data, SPDRP_FRIENDLYNAME, &type, bytes.data(),
                                                   needed, &needed));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_DATA));

    const DEVPROPKEY parentKey = {
        {0x4340A6C5, 0x93FA, 0x4706, {0x97, 0x2C, 0x7B, 0x64, 0x80, 0x08, 0xA5, 0xA7}}, 8};
    const DEVPROPKEY friendlyKey = {
        {0xA45C254E, 0xDF1C, 0x4EFD, {0x80, 0x20, 0x67, 0xD1, 0x46, 0xA8, 0x50, 0xE0}}, 14};
    DEVPROPTYPE propertyType = 0;
    WCHAR parent[MAX_DEVICE_ID_LEN] = {};
    ASSERT_TRUE(SetupDiGetDevicePropertyW(set, &data, &parentKey, &propertyType,
                                          reinterpret_cast<BYTE*>(parent), sizeof parent, &needed, 0));
    EXPECT_EQ(propertyType, DEVPROPTYPE(DEVPROP_TYPE_STRING));
    EXPECT_EQ(WString(parent), sim::DeviceTree::UsbDeviceId(usb));
    EXPECT_FALSE(SetupDiGetDevicePropertyW(set, &data, &friendlyKey, &propertyType,
                                           reinterpret_cast<BYTE*>(parent), sizeof parent, &needed, 0));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_FOUND));
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
}

TEST(DeviceTree, RemovalTakesTheSubtreeAndNeedsAnAdministrator)
{
    sim::UsbPrinterHardware usb;
    sim::deviceTree().AttachUsbPrinter(usb);
    const WString usbId = sim::DeviceTree::UsbDeviceId(usb);
    HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    EXPECT_FALSE(SetupDiOpenDeviceInfoW(set, u"USB\\VID_0000&PID_0000\\NONE", nullptr, 0, &data));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_SUCH_DEVINST));
    ASSERT_TRUE(SetupDiOpenDeviceInfoW(set, usbId.c_str(), nullptr, 0, &data));

    sim::machine().SetAdministrator(false);
    EXPECT_FALSE(SetupDiCallClassInstaller(DIF_REMOVE, set, &data));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    sim::machine().SetAdministrator(true);
    ASSERT_TRUE(SetupDiCallClassInstaller(DIF_REMOVE, set, &data));
    EXPECT_FALSE(sim::deviceTree().Node(usbId).has_value());
    EXPECT_FALSE(sim::deviceTree().Node(*sim::deviceTree().UsbPrinterId(usb)).has_value());
    EXPECT_FALSE(SetupDiRemoveDevice(set, &data)); // gone already
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_SUCH_DEVINST));
    SetupDiDestroyDeviceInfoList(set);

    // The update finds no present node with the id any more.
    sim::files().Put(u"C:\\Pkg\\a.inf", "[Version]\r\nSignature=\"$Windows NT$\"\r\n");
    EXPECT_FALSE(UpdateDriverForPlugAndPlayDevicesW(nullptr, u"USBPRINT\\VELMOKG-100ABCD", u"C:\\Pkg\\a.inf",
                                                    INSTALLFLAG_FORCE, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_SUCH_DEVINST));
}

} // namespace
