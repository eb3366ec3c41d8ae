#include "setup_context.h"

#include <gtest/gtest.h>
#include <sim/machine.h>

#include <algorithm>
#include <cstring>

namespace kgsetup
{
namespace
{

void SetOs(DWORD major, DWORD minor, WORD architecture, bool r2 = false)
{
    sim::OsIdentity os;
    os.major = major;
    os.minor = minor;
    os.serverR2 = r2;
    sim::machine().SetOs(os);
    sim::machine().SetNativeArchitecture(architecture);
}

TEST(SetupContext, OperatingSystemCodes)
{
    struct Case
    {
        DWORD major, minor;
        WORD architecture;
        bool r2;
        int code;
        UINT isX64, isWin7;
    } cases[] = {
        {5, 1, PROCESSOR_ARCHITECTURE_INTEL, false, 104, 0, 0},
        {5, 2, PROCESSOR_ARCHITECTURE_AMD64, false, 201, 1, 0},
        {5, 2, PROCESSOR_ARCHITECTURE_AMD64, true, 0, 1, 0},
        {5, 2, PROCESSOR_ARCHITECTURE_INTEL, false, 0, 0, 0},
        {6, 1, PROCESSOR_ARCHITECTURE_AMD64, false, 205, 1, 1},
        {6, 1, PROCESSOR_ARCHITECTURE_INTEL, false, 108, 0, 1},
        {10, 0, PROCESSOR_ARCHITECTURE_AMD64, false, 211, 1, 0},
        {10, 1, PROCESSOR_ARCHITECTURE_AMD64, false, -1, 1, 0},
        {11, 0, PROCESSOR_ARCHITECTURE_INTEL, false, -1, 0, 0},
        {6, 4, PROCESSOR_ARCHITECTURE_INTEL, false, -1, 0, 0},
        {10, 0, PROCESSOR_ARCHITECTURE_ARM64, false, 0, 0, 0},
        {4, 0, PROCESSOR_ARCHITECTURE_INTEL, false, 0, 0, 0},
    };
    for (const Case& c : cases)
    {
        SetOs(c.major, c.minor, c.architecture, c.r2);
        CSetupContext context;
        EXPECT_EQ(context.osCode, c.code) << c.major << "." << c.minor << " " << c.architecture;
        EXPECT_EQ(context.isX64, c.isX64) << c.major << "." << c.minor;
        EXPECT_EQ(context.isWin7, c.isWin7) << c.major << "." << c.minor;
    }
}

TEST(SetupContext, WithoutNtdllTheVersionChecksDecide)
{
    SetOs(6, 3, PROCESSOR_ARCHITECTURE_AMD64);
    sim::processes().SetCallingProgram(u"C:\\Setup\\KGSetup64.exe", u"KGSetup64.exe");
    sim::machine().RemoveSystemExport(u"ntdll.dll", "RtlGetVersion");
    EXPECT_EQ(CSetupContext().osCode, 209);
    // A program the system takes for one unaware of 8.1 is told 6.2 by the version checks.
    sim::machine().SetManifestOsAware(u"KGSetup64.exe", false);
    EXPECT_EQ(CSetupContext().osCode, 207);
    sim::faults().FailNext("LoadLibraryExW", ERROR_MOD_NOT_FOUND);
    SetOs(6, 1, PROCESSOR_ARCHITECTURE_INTEL);
    EXPECT_EQ(CSetupContext().osCode, 108);
}

TEST(SetupContext, BrowserVersionFromTheRegistry)
{
    auto put = [](DWORD type, const WString& text, bool terminated) {
        std::vector<BYTE> bytes((text.size() + (terminated ? 1 : 0)) * 2, 0);
        std::memcpy(bytes.data(), text.data(), text.size() * 2);
        sim::registry().SetValue(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Internet Explorer", u"Version",
                                 type, bytes);
    };
    struct Case
    {
        DWORD type;
        WString text;
        bool terminated;
        UINT expected;
    } cases[] = {
        {REG_SZ, u"9.11.19041.0", true, (9u << 16) | 11},
        {REG_SZ, u"11.0", false, 11u << 16},
        {REG_SZ, u"9", true, 0},
        {REG_SZ, u"abc", true, 0},
        {REG_SZ, WString(300, u'9'), true, 0},
        {REG_BINARY, u"9.11", true, 0},
    };
    EXPECT_EQ(CSetupContext().ieVersion, 0u) << "no value";
    for (const Case& c : cases)
    {
        put(c.type, c.text, c.terminated);
        EXPECT_EQ(CSetupContext().ieVersion, c.expected) << c.text.size();
    }
}

TEST(SetupContext, ParseIeVersionReadsLikeScanf)
{
    struct Case
    {
        const char16_t* text;
        UINT expected;
    } cases[] = {
        {u"8.0.7601.17514", 8u << 16},
        {u" 7. 1", (7u << 16) | 1},
        {u"7 .1", 0},
        {u"6.70000", (6u << 16) | (70000 & 0xFFFF)},
        {u"5.x", 0},
        {u"", 0},
        {u"99999999999999.1", (0x7FFFFFFFu << 16) | 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseIeVersion(c.text), c.expected);
}

TEST(SetupContext, LanguagesFromTheLocales)
{
    struct Case
    {
        LCID lcid;
        UINT language;
    } cases[] = {{0x0C09, 2057}, {0x0409, 1033}, {0x10409, 1033}, {0x0809, 2057}, {0x0407, 1031},
                 {0x0411, 1041}, {0x0804, 2052}, {0x0C0A, 1034},  {0x0416, 2057}, {0x0419, 1049}};
    for (const Case& c : cases)
        EXPECT_EQ(LcidToLanguage(c.lcid), c.language) << c.lcid;

    sim::machine().SetSystemLanguage(0x0C09);
    sim::desktop().SetUserLanguage(0x0411);
    CSetupContext context;
    EXPECT_EQ(context.installLcid, 2057u);
    EXPECT_EQ(context.uiLanguage, 17u);
    ASSERT_EQ(context.messageTables.size(), 2u);
    EXPECT_EQ(context.currentMessageTable, context.messageTables[1].table.get());
    sim::machine().SetSystemLanguage(0x0409);
    sim::desktop().SetUserLanguage(0x0407);
    CSetupContext us;
    EXPECT_EQ(us.installLcid, 1033u);
    EXPECT_EQ(us.uiLanguage, 9u);
    EXPECT_EQ(us.Text(4), us.messageTables[0].table->Text(4));
}

TEST(SetupContext, ModulePathsAndTheNativeBuild)
{
    struct Case
    {
        bool system64, program32;
        const char16_t* nativeSetup;
        UINT isNative;
    } cases[] = {
        {true, false, u"C:\\Media\\Setup\\KGSetup64.exe", 1},
        {true, true, u"C:\\Media\\Setup\\KGSetup64.exe", 0},
        {false, true, u"C:\\Media\\Setup\\KGSetup.exe", 1},
    };
    for (const Case& c : cases)
    {
        sim::machine().SetSystem64(c.system64);
        sim::machine().SetProgram32(c.program32);
        sim::processes().SetCallingProgram(u"C:\\Media\\Setup\\KGSetup64.exe", u"KGSetup64.exe");
        sim::machine().SetProgram32(c.program32);
        CSetupContext context;
        EXPECT_EQ(context.modulePath, u"C:\\Media\\Setup\\KGSetup64.exe");
        EXPECT_EQ(context.moduleFileName, u"KGSetup64.exe");
        EXPECT_EQ(context.moduleFolder, u"C:\\Media\\Setup\\");
        EXPECT_EQ(context.nativeSetupPath, c.nativeSetup);
        EXPECT_EQ(context.isNativeBuild, c.isNative) << c.system64 << c.program32;
    }
}

TEST(SetupContext, DriverLanguagesInOrdinalOrder)
{
    auto map = MakeDriverLanguages();
    ASSERT_EQ(map.size(), 29u) << "three names a language, two for English (US)";
    // Languages in the order a fallback meets them: the first name of each in map order.
    std::vector<int> order;
    for (const auto& [name, language] : map)
        if (std::find(order.begin(), order.end(), language.lcid) == order.end())
            order.push_back(language.lcid);
    EXPECT_EQ(order, (std::vector<int>{2052, 1031, 2057, 1034, 1036, 1040, 1041, 1042, 1049, 1033}));
    EXPECT_EQ(map.begin()->first, u"0x0004");
    EXPECT_EQ(map.rbegin()->first, u"Velmo USA");
    for (const auto& [name, language] : map)
    {
        EXPECT_TRUE(IsSupportedInstallLcid(language.lcid));
        EXPECT_EQ(language.languageBit & (language.languageBit - 1), 0) << "one bit";
        EXPECT_EQ(map.at(name).lcid, language.lcid);
    }
    EXPECT_EQ(map.at(u"Velmo German").languageBit, map.at(u"0x0007").languageBit);
    EXPECT_EQ(map.at(u"0x0C0A").lcid, 1034);
}

TEST(SetupContext, LanguageFoldersAndTheDriverInf)
{
    CSetupContext c;
    c.moduleFolder = u"C:\\M\\";
    struct Case
    {
        SHORT layout;
        int osCode;
        UINT isX64;
        UINT lcid;
        BOOL withDriver, isV4;
        const char16_t* expected; // empty: 0
    } cases[] = {
        {0, 211, 1, 2057, TRUE, TRUE, u""},
        {1, 211, 1, 2057, TRUE, TRUE, u"C:\\M\\Driver\\"},
        {1, 211, 1, 2057, TRUE, FALSE, u"C:\\M\\Win64\\"},
        {1, 108, 0, 2057, TRUE, FALSE, u"C:\\M\\Win2k\\"},
        {1, -1, 0, 2057, TRUE, FALSE, u"C:\\M\\Win2k\\"},
        {1, 0, 1, 2057, TRUE, FALSE, u"C:\\M\\"},
        {1, 211, 1, 2057, FALSE, TRUE, u"C:\\M\\"},
        {2, 211, 1, 1031, TRUE, TRUE, u"C:\\M\\German\\Driver\\"},
        {2, 211, 1, 2057, FALSE, FALSE, u"C:\\M\\EnglishAB\\"},
        {2, 211, 1, 1046, TRUE, TRUE, u""},
    };
    for (const Case& k : cases)
    {
        c.folderLayout = k.layout;
        c.osCode = k.osCode;
        c.isX64 = k.isX64;
        WCHAR buffer[MAX_PATH] = {};
        UINT n = c.GetLanguageFolder(k.lcid, buffer, MAX_PATH, k.withDriver, k.isV4);
        EXPECT_EQ(WString(buffer, n), k.expected) << k.layout << " " << k.osCode << " " << k.lcid;
    }
    c.folderLayout = 1;
    WCHAR exact[13];
    EXPECT_EQ(c.GetLanguageFolder(2057, exact, 13, TRUE, TRUE), 12u) << "fits with its terminator";
    EXPECT_EQ(c.GetLanguageFolder(2057, exact, 12, TRUE, TRUE), 0u);

    c.folderLayout = 0;
    EXPECT_EQ(c.GetDriverInfPath(), u"") << "never a bare INF name";
    c.folderLayout = 1;
    c.driverKind = 4;
    EXPECT_EQ(c.GetDriverInfPath(), u"C:\\M\\Driver\\VeKglV4.inf");
    c.driverKind = 3;
    EXPECT_EQ(c.GetDriverInfPath(), u"C:\\M\\Win64\\VelmoQ7.inf");
    c.driverInstalled = 1;
    c.SetInstalledInfPath(u"C:\\Windows\\INF\\oem9.inf");
    c.SetInstalledInfPath(c.installedInfPath);
    EXPECT_EQ(c.GetDriverInfPath(), u"C:\\Windows\\INF\\oem9.inf");
}

TEST(SetupContext, InstallLanguageIsOneOfTheTen)
{
    CSetupContext c;
    for (UINT lcid : {1031u, 1033u, 1034u, 1036u, 1040u, 1041u, 1042u, 1049u, 2052u, 2057u})
    {
        c.SetInstallLcid(lcid);
        EXPECT_EQ(c.installLcid, lcid);
    }
    for (UINT lcid : {0u, 1046u, 0x0C09u})
    {
        c.SetInstallLcid(lcid);
        EXPECT_EQ(c.installLcid, 2057u) << lcid;
    }
}

TEST(SetupContext, PageSequences)
{
    const std::vector<UINT> install = {132, 152, 160, 137, 153, 138, 155, 139};
    const std::vector<UINT> modify = {146, 152, 160, 137, 153, 138, 155, 139};
    struct Case
    {
        WORD mode, kind;
        bool fileOnly;
        std::vector<UINT> pages;
    } cases[] = {
        {0, 0, false, {132, 152, 138, 155, 139}},
        {0, 0, true, {132, 138, 155, 139}},
        {0, 1, false, install},
        {0, 2, false, {132, 152, 160, 153, 138, 155, 139}},
        {0, 3, false, {132, 152, 153, 138, 155, 139}},
        {0, 4, true, {132, 160, 137, 153, 138, 155, 139}},
        {3, 0, false, {146, 152, 138, 155, 139}},
        {3, 4, false, modify},
        {1, 0, true, {146, 150, 156, 139}},
        {1, 3, false, {146, 150, 156, 139}},
        {2, 2, true, {146, 151, 157, 139}},
    };
    CSetupContext c;
    for (const Case& k : cases)
    {
        c.mode = k.mode;
        c.connectionKind = k.kind;
        c.fileOnly = k.fileOnly;
        EXPECT_EQ(c.BuildPageSequence(), k.pages) << k.mode << " " << k.kind << " " << k.fileOnly;
    }
}

TEST(SetupContext, LogErrorKeepsTheLastWithTheSystemText)
{
    CSetupContext c;
    c.LogError(0);
    EXPECT_EQ(c.errorLog, u"");
    c.LogError(5);
    EXPECT_EQ(c.errorLog, u"Error Code:\t0x00000005\r\nAccess is denied.\r\n");
    c.LogError(0xE0001234);
    EXPECT_EQ(c.errorLog, u"Error Code:\t0xE0001234\r\n") << "a code without a system text";
    c.LogError(0);
    EXPECT_EQ(c.errorLog, u"Error Code:\t0xE0001234\r\n");
}

TEST(SetupContext, FlagsAndDefaults)
{
    CSetupContext c;
    EXPECT_EQ(c.installLcid, 1033u) << "the machine's system language is English (US)";
    EXPECT_EQ(c.languageMonitorSwitch, 1u);
    EXPECT_EQ(c.updateAvailable, 1);
    EXPECT_EQ(c.flags, 0u);
    EXPECT_FALSE(c.selectedDevice);
    c.SetFlag(3);
    c.SetFlag(4);
    EXPECT_EQ(c.flags, 0x18u);
    c.SetFlag(0);
    EXPECT_EQ(c.flags, 0u);
    c.SetFlag(40);
    EXPECT_EQ(c.flags, 0u) << "no bit beyond the word";
}

} // namespace
} // namespace kgsetup
