// The component and port-monitor records' text rules on their own: entries, orders, system suffixes,
// versions, the driver-use decision, the runner's command, and what the INF reader makes of a file.
#include "components.h"
#include "inf_reader.h"
#include "os_index.h"
#include "port_monitors.h"

#include <gtest/gtest.h>

namespace uninstall
{
namespace
{
TEST(ComponentTables, ModesAndResultTexts)
{
    EXPECT_EQ(ParseComponentMode("INSTALL"), kModeInstall);
    EXPECT_EQ(ParseComponentMode("UNINSTALL"), kModeUninstall);
    EXPECT_EQ(ParseComponentMode("VCHECK"), kModeVersionCheck);
    EXPECT_EQ(ParseComponentMode("ICHECK"), kModeInstalledCheck);
    EXPECT_EQ(ParseComponentMode("STOP"), kModeStop);
    EXPECT_EQ(ParseComponentMode("uninstall"), kModeNone);
    EXPECT_EQ(ParseComponentMode(""), kModeNone);
    EXPECT_EQ(ComponentResultText(0), "Successful.");
    EXPECT_EQ(ComponentResultText(10), "Restart required.");
    EXPECT_EQ(ComponentResultText(18), "Uninstallation was successful, but we failed to stop service.");
    EXPECT_EQ(ComponentResultText(19), "There is not enough memory.");
    EXPECT_EQ(ComponentResultText(20), "20");
    EXPECT_EQ(ComponentResultText(-1), "-1");
}

TEST(ComponentTables, EntriesKeepTheirFieldsWithinBounds)
{
    auto e = ParseComponentEntry("Port;Tzspe Driver;UNINSTALL", "C:\\c.ini");
    ASSERT_TRUE(e);
    EXPECT_STREQ(e->name, "Port");
    EXPECT_STREQ(e->componentName, "Tzspe Driver");
    EXPECT_EQ(e->mode, kModeUninstall);
    EXPECT_STREQ(e->iniPath, "C:\\c.ini");

    auto bare = ParseComponentEntry("OnlyName", "C:\\c.ini");
    ASSERT_TRUE(bare);
    EXPECT_STREQ(bare->componentName, "");
    EXPECT_EQ(bare->mode, kModeNone);
    EXPECT_FALSE(ParseComponentEntry(";x;INSTALL", "C:\\c.ini"));

    auto longName = ParseComponentEntry(std::string(300, 'n') + ";" + std::string(300, 'c') + ";INSTALL",
                                        std::string(400, 'p'));
    ASSERT_TRUE(longName);
    EXPECT_EQ(std::string(longName->name).size(), 63u);
    EXPECT_EQ(std::string(longName->componentName).size(), 63u);
    EXPECT_EQ(std::string(longName->iniPath).size(), size_t{MAX_PATH - 1});
}

TEST(ComponentTables, UninstallOrder)
{
    struct Case
    {
        const char* text;
        std::array<int, 3> order;
    } cases[] = {
        {"", {1, 2, 3}},           {"FILE;SERVICE;DRIVER", {3, 2, 1}}, {"driver;file", {1, 3, 0}},
        {"foo;DRIVER", {1, 2, 3}}, {"SERVICE;bar;FILE", {2, 0, 3}},    {"DRIVER;DRIVER;DRIVER", {1, 1, 1}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseUninstallOrder(c.text), c.order) << c.text;
}

TEST(ComponentTables, SystemSuffixes)
{
    struct Case
    {
        std::vector<std::string> lists;
        WORD os;
        bool is64;
        WORD sp;
        const char* suffix;
    } cases[] = {
        {{"_W10:10X64"}, kOs10, true, 0, "_W10"},
        {{"_W10:10X64"}, kOs10, false, 0, ""},
        {{"_W10:10"}, kOs10, true, 0, ""},
        {{"_A:XP_SP2;_B:XP"}, kOsXp, false, 2, "_A"},
        {{"_A:XP_SP2;_B:XP"}, kOsXp, false, 3, "_B"},
        {{"_A:XP_SP3"}, kOsXp, false, 4, "_A"},
        {{"_A:2K_SP4"}, kOs2000, false, 5, "_A"},
        {{"_A:2K_SP4"}, kOs2000, false, 3, ""},
        {{"_A:2003_SP1"}, kOs2003, false, 2, "_A"},
        {{"_A:XPX64_SP2"}, kOsXp, true, 2, "_A"},
        {{"_A:VISTA_SP1"}, kOsVista, false, 2, ""},
        {{"_OS:7,8", "_01:7"}, kOs7, false, 0, "_OS"}, // the OS key comes first
        {{"_01:8", "_02:7X64,81X64"}, kOs81, true, 0, "_02"},
        {{"nocolon", ":", "_X:"}, kOs10, false, 0, ""},
        {{"_S:SERVER"}, kOsServer10, false, 0, "_S"},
        {{"_A:XP_SP", "_B:XP_SPx"}, kOsXp, false, 0, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MatchOsSuffix(c.lists, c.os, c.is64, c.sp), c.suffix) << c.lists[0] << " os " << c.os;
}

TEST(ComponentTables, DottedVersions)
{
    EXPECT_EQ(DottedVersionValue("6.1.7600.16385"), 601);
    EXPECT_EQ(DottedVersionValue("2.10"), 210);
    EXPECT_FALSE(DottedVersionValue("2"));
    EXPECT_FALSE(DottedVersionValue("a.b"));
    EXPECT_FALSE(DottedVersionValue("1.99999999999"));
    EXPECT_FALSE(DottedVersionValue(""));
}

TEST(ComponentTables, DriverUseDecision)
{
    struct Case
    {
        std::vector<std::string> applications;
        std::optional<DWORD> count;
        bool virtualLink;
        const char* application;
        const char* driver;
        bool remove;
        bool clear;
    } cases[] = {
        {{"MyApp"}, 1, false, "MyApp", "Tzuptp Driver", true, false},
        {{}, std::nullopt, false, "MyApp", "Tzuptp Driver", true, false},
        {{"MyApp", "Other"}, 2, false, "MyApp", "Tzuptp Driver", false, false},
        {{"MYAPP"}, 1, false, "MyApp", "Tzuptp Driver", true, false}, // the registry's names have no case
        {{"MyApp"}, 1, true, "MyApp", "TZUPTP Driver", false, false},
        {{"MyApp"}, 1, true, "MyApp", "Tzspe Driver", true, true},
        {{"TZ Virtual Link"}, 1, true, "TZ Virtual Link", "Tzuptp Driver", true, false},
        {{"MyApp", "Other"}, 1, false, "MyApp", "Tzspe Driver", false, true},
        {{"MyApp"}, 2, false, "MyApp", "Tzspe Driver", true, false},
    };
    for (const Case& c : cases)
    {
        DriverUseDecision d =
            DecideDriverUse({c.applications, c.count, c.virtualLink}, c.application, c.driver);
        EXPECT_EQ(d.remove, c.remove) << c.application << " " << c.driver;
        EXPECT_EQ(d.clearComInfo, c.clear) << c.application << " " << c.driver;
    }
}

TEST(ComponentTables, RunnerCommand)
{
    struct Case
    {
        const char* command;
        const char* install;
        const char* uninstall;
        short mode;
        WORD log;
        const char* expected;
    } cases[] = {
        {"/x", "/i", "/u", kModeUninstall, 0, "/x"},    {"", "/i", "/u", kModeInstall, 0, "/i"},
        {"", "/i", "/u", kModeUninstall, 0, "/u"},      {"", "/i", "/u", kModeUninstall, 0x11, "/u -dlogout"},
        {"", "", "", kModeUninstall, 0x101, "-dlogqa"}, {"", "/i", "", kModeUninstall, 0, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RunnerCommand(c.command, c.install, c.uninstall, c.mode, c.log), c.expected);
}

TEST(PortMonitorTables, EntriesModesAndEnvironments)
{
    auto e = ParseStatusMonitorEntry("Monitor;VelmoStatus;12;VelmoStatusRun");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->windowClass, "VelmoStatus");
    EXPECT_EQ(e->messageOffset, 12);
    EXPECT_EQ(e->runValue, "VelmoStatusRun");
    auto three = ParseStatusMonitorEntry("a;Cls;x9");
    ASSERT_TRUE(three);
    EXPECT_EQ(three->messageOffset, 0);
    EXPECT_TRUE(three->runValue.empty());
    EXPECT_FALSE(ParseStatusMonitorEntry("a;Cls"));
    EXPECT_EQ(ParseStatusMonitorEntry("a;b;99999999999999")->messageOffset, 100000);

    EXPECT_EQ(PortListOfPrintMode(0), 0);
    EXPECT_EQ(PortListOfPrintMode(95), 0);
    EXPECT_EQ(PortListOfPrintMode(1), 1);
    EXPECT_EQ(PortListOfPrintMode(2), 2);
    EXPECT_FALSE(PortListOfPrintMode(3));

    EXPECT_STREQ(MonitorEnvironment(kOs10, true), "Windows x64");
    EXPECT_STREQ(MonitorEnvironment(kOs10, false), "Windows NT x86");
    EXPECT_STREQ(MonitorEnvironment(kOs98, false), "Windows 4.0");
    EXPECT_EQ(SplitPortList("VM_1, VM_2,,LPT1:"), (std::vector<std::string>{"VM_1", "VM_2", "LPT1:"}));
}

constexpr const char* kInf = R"([Version]
Signature="$Windows NT$"
Class=USB ; the bus
ClassGuid={36FC9E60-C465-11CF-8056-444553540000}
DriverVer=05/01/2020,2.3.0.1

[Manufacturer]
%Mfg%=Models,NTamd64

[Models.NTamd64]
%Desc%=Install, USB\VID_1234&PID_0001, USB\VID_1234&PID_0002

[Install]
CopyFiles=Old

[Install.NT]
CopyFiles=Files, \
  @extra.dll

[Install.NT.Services]
AddService = TZUPTP, 0x2, Service

[Files]
tzuptp.sys

[SourceDisksNames.amd64]
1 = "Disk ""one""",,,\amd64

[SourceDisksFiles.amd64]
tzuptp.sys = 1
extra.dll = 1

[Strings]
Mfg="Maker; Inc"
Desc="Device server"
)";

TEST(InfReader, ResolvesTheDriversPieces)
{
    InfText inf = InfText::Parse(kInf);
    EXPECT_EQ(inf.Value("Version", "CLASS"), "USB");
    EXPECT_EQ(inf.Value("Manufacturer", "Maker; Inc"), "Models");
    EXPECT_EQ(inf.Section("SourceDisksNames.amd64")->front().fields[0], "Disk \"one\"");

    InfDriver d = ResolveInfDriver(inf, "C:\\Pkg\\Drv", "NTamd64", true);
    EXPECT_EQ(d.className, "USB");
    EXPECT_EQ(d.driverVer, "2.3.0.1");
    EXPECT_EQ(d.hardwareId, "USB\\VID_1234&PID_0001");
    EXPECT_EQ(d.installSection, "Install.NT");
    EXPECT_EQ(d.services, std::vector<std::string>{"TZUPTP"});
    EXPECT_EQ(d.files, (std::vector<std::string>{"C:\\Pkg\\Drv\\amd64\\tzuptp.sys",
                                                 "C:\\Pkg\\Drv\\amd64\\extra.dll"}));
    // The decorated section counts: the INF has no plain [SourceDisksFiles].
    EXPECT_EQ(d.sourceDiskFileLines, 2u);

    // Without the decoration the model section is not found and nothing else follows from it.
    InfDriver plain = ResolveInfDriver(inf, "C:\\Pkg\\Drv", "", false);
    EXPECT_TRUE(plain.hardwareId.empty());
    EXPECT_EQ(plain.sourceDiskFileLines, 0u);
}

TEST(InfReader, DamagedTextStaysBounded)
{
    std::string longLine = "[A]\nkey=" + std::string(100000, 'x') + "\n" + std::string(5000, ',') + "\n[B";
    InfText inf = InfText::Parse(longLine);
    ASSERT_TRUE(inf.Section("A"));
    EXPECT_LE(inf.Value("A", "key").size(), InfText::kMaxLine);
    for (const InfLine& l : *inf.Section("A"))
        EXPECT_LE(l.fields.size(), InfText::kMaxFields);
    EXPECT_TRUE(inf.Section("B"));

    // A continuation at the end of the text, an unclosed quote and a string key that never ends.
    InfText odd = InfText::Parse("[S]\nk=\"open, x\\\nv=%unterminated\n");
    ASSERT_TRUE(odd.Section("S"));
    EXPECT_TRUE(ResolveInfDriver(odd, "C:\\", "", true).files.empty());

    // UTF-16 with its mark.
    std::string wide = "\xFF\xFE";
    for (char c : std::string("[Version]\r\nClass=Ports\r\n"))
        wide += std::string{c, '\0'};
    EXPECT_EQ(InfText::Parse(wide).Value("Version", "Class"), "Ports");
}

} // namespace
} // namespace uninstall
