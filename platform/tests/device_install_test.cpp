// Devices a program makes and registers, their keys, and INFs copied in as OEM INFs.
#include <platform/newdev.h>
#include <platform/setupapi.h>

#include <sim/device_tree.h>
#include <sim/machine.h>
#include <sim/spooler.h>

#include <gtest/gtest.h>

#include <cstring>

namespace
{
constexpr const char* kSystemInf = "[Version]\r\n"
                                   "Signature=\"$Windows NT$\"\r\n"
                                   "Class=System\r\n"
                                   "DriverVer=01/02/2021,1.4.0.0\r\n"
                                   "[Manufacturer]\r\n"
                                   "Maker=Models,NTamd64\r\n"
                                   "[Models.NTamd64]\r\n"
                                   "Link manager=Install,ROOT\\LNKMGR\r\n"
                                   "[Install.NT.Services]\r\n"
                                   "AddService=lnkmgr,2,Service\r\n"
                                   "[SourceDisksNames.amd64]\r\n"
                                   "1=Disk,,,\\amd64\r\n"
                                   "[SourceDisksFiles.amd64]\r\n"
                                   "lnkmgr.sys=1\r\n";

TEST(DeviceInstall, MadeDevicesAreNumberedAndJoinTheTreeWhenRegistered)
{
    HDEVINFO set = SetupDiCreateDeviceInfoList(&sim::kSystemClass, nullptr);
    SP_DEVINFO_DATA first{}, second{};
    first.cbSize = second.cbSize = sizeof(SP_DEVINFO_DATA);
    ASSERT_TRUE(SetupDiCreateDeviceInfoA(set, "System", &sim::kSystemClass, nullptr, nullptr,
                                         DICD_GENERATE_ID, &first));
    ASSERT_TRUE(SetupDiCreateDeviceInfoA(set, "System", &sim::kSystemClass, nullptr, nullptr,
                                         DICD_GENERATE_ID, &second));
    char id[64] = {};
    ASSERT_TRUE(SetupDiGetDeviceInstanceIdA(set, &second, id, sizeof id, nullptr));
    EXPECT_STREQ(id, "ROOT\\SYSTEM\\0001");
    EXPECT_FALSE(sim::deviceTree().Node(u"ROOT\\SYSTEM\\0000")); // not before it is registered
    EXPECT_FALSE(SetupDiCreateDeviceInfoA(set, "ROOT\\SYSTEM\\0000", &sim::kSystemClass, nullptr, nullptr, 0,
                                          nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_DEVINST_ALREADY_EXISTS));
    EXPECT_EQ(SetupDiOpenDevRegKey(set, &first, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ),
              reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_DEVINFO_NOT_REGISTERED));

    // A multi-string in the system code page comes back as written, each text on its own.
    const char ids[] = "ROOT\\LNKMGR\0LNKMGR\0";
    ASSERT_TRUE(SetupDiSetDeviceRegistryPropertyA(set, &first, SPDRP_HARDWAREID,
                                                  reinterpret_cast<const BYTE*>(ids), sizeof ids));
    char back[64] = {};
    DWORD type = 0, need = 0;
    ASSERT_TRUE(SetupDiGetDeviceRegistryPropertyA(set, &first, SPDRP_HARDWAREID, &type,
                                                  reinterpret_cast<BYTE*>(back), sizeof back, &need));
    EXPECT_EQ(type, DWORD(REG_MULTI_SZ));
    EXPECT_EQ(need, DWORD(sizeof ids));
    EXPECT_EQ(std::memcmp(back, ids, sizeof ids), 0);

    sim::machine().SetAdministrator(false);
    EXPECT_FALSE(SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set, &first));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    sim::machine().SetAdministrator(true);
    ASSERT_TRUE(SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set, &first));
    EXPECT_FALSE(SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set, &first));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_DEVINST_ALREADY_EXISTS));
    auto node = sim::deviceTree().Node(u"ROOT\\SYSTEM\\0000");
    ASSERT_TRUE(node);
    EXPECT_EQ(node->hardwareIds, (std::vector<WString>{u"ROOT\\LNKMGR", u"LNKMGR"}));
    EXPECT_EQ(node->className, u"System");
    // No driver yet: no driver key to open.
    EXPECT_EQ(SetupDiOpenDevRegKey(set, &first, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_READ),
              reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_KEY_DOES_NOT_EXIST));
    SetupDiDestroyDeviceInfoList(set);
}

TEST(DeviceInstall, AnOemInfIsPublishedOnceAndItsDriverGoesOnTheDevice)
{
    sim::files().Put(u"C:\\Pkg\\lnkmgr.inf", kSystemInf);
    sim::files().Put(u"C:\\Pkg\\amd64\\lnkmgr.sys", "driver");
    char name[MAX_PATH] = {};
    DWORD need = 0;
    EXPECT_FALSE(SetupCopyOEMInfA("C:\\Pkg\\lnkmgr.inf", nullptr, SPOST_PATH, 0, name, 4, &need, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(need, DWORD(std::strlen("C:\\Windows\\INF\\oem0.inf") + 1));
    PSTR component = nullptr;
    ASSERT_TRUE(
        SetupCopyOEMInfA("C:\\Pkg\\lnkmgr.inf", nullptr, SPOST_PATH, 0, name, MAX_PATH, &need, &component));
    EXPECT_STREQ(name, "C:\\Windows\\INF\\oem0.inf");
    EXPECT_STREQ(component, "oem0.inf");
    EXPECT_TRUE(sim::files().Exists(u"C:\\Windows\\INF\\oem0.pnf"));
    // The same package again is the one published; asked not to overwrite, it says it is there.
    ASSERT_TRUE(
        SetupCopyOEMInfA("C:\\Pkg\\lnkmgr.inf", nullptr, SPOST_PATH, 0, name, MAX_PATH, nullptr, nullptr));
    EXPECT_STREQ(name, "C:\\Windows\\INF\\oem0.inf");
    EXPECT_FALSE(SetupCopyOEMInfA("C:\\Pkg\\lnkmgr.inf", nullptr, SPOST_PATH, SP_COPY_NOOVERWRITE, name,
                                  MAX_PATH, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_EXISTS));
    EXPECT_EQ(sim::spooler().Packages().size(), 1u);

    sim::DeviceNodeSetup device;
    device.instanceId = u"ROOT\\SYSTEM\\0000";
    device.hardwareIds = {u"ROOT\\LNKMGR"};
    device.className = u"System";
    device.classGuid = sim::kSystemClass;
    device.needsRestart = true;
    sim::deviceTree().AddNode(device);
    BOOL reboot = FALSE;
    ASSERT_TRUE(UpdateDriverForPlugAndPlayDevicesA(nullptr, "ROOT\\LNKMGR", "C:\\Pkg\\lnkmgr.inf",
                                                   INSTALLFLAG_FORCE, &reboot));
    EXPECT_TRUE(reboot);
    auto node = sim::deviceTree().Node(u"ROOT\\SYSTEM\\0000");
    ASSERT_TRUE(node);
    EXPECT_EQ(node->service, u"lnkmgr");
    EXPECT_EQ(node->infPath, u"oem0.inf");
    EXPECT_TRUE(sim::spooler().Printers().empty()); // a device driver makes no printer

    // Its driver key holds the INF's version.
    HDEVINFO set = SetupDiGetClassDevsA(&sim::kSystemClass, nullptr, nullptr, 0);
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    ASSERT_TRUE(SetupDiOpenDeviceInfoW(set, u"ROOT\\SYSTEM\\0000", nullptr, 0, &data));
    HKEY key = SetupDiOpenDevRegKey(set, &data, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_READ);
    ASSERT_NE(key, reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE));
    char version[32] = {};
    DWORD size = sizeof version;
    EXPECT_EQ(
        RegQueryValueExA(key, "DriverVersion", nullptr, nullptr, reinterpret_cast<BYTE*>(version), &size),
        ERROR_SUCCESS);
    EXPECT_STREQ(version, "1.4.0.0");
    RegCloseKey(key);
    SetupDiDestroyDeviceInfoList(set);
}
} // namespace
