#include <gtest/gtest.h>

#include "environment.h"

#include <sim/machine.h>

#include <optional>
#include <vector>

namespace
{
using launch::OsReading;

struct Version
{
    DWORD major;
    DWORD minor;
};

struct Case
{
    const char* name;
    std::optional<OsReading> reported; // nothing: the query failed or is missing
    std::optional<Version> actual;     // what VerifyVersionInfo compares against; nothing: it is missing
    DWORD menuWord;
    DWORD launcherWord;

    friend void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }
};

constexpr WORD kX86 = 0;
constexpr WORD kX64 = 9;
constexpr WORD kArm64 = 12;
constexpr WORD kIa64 = 6;

OsReading Nt(DWORD major, DWORD minor, BYTE productType, WORD architecture)
{
    return OsReading{major, minor, 2, productType, architecture};
}

class EnvironmentWord : public ::testing::TestWithParam<Case>
{
};

TEST_P(EnvironmentWord, BothFormsComposeTheWordFromWhatTheyRead)
{
    const Case& c = GetParam();
    launch::VersionProbe probe = [&](DWORD major, DWORD minor) {
        return c.actual &&
               (c.actual->major > major || (c.actual->major == major && c.actual->minor >= minor));
    };
    EXPECT_EQ(launch::MenuEnvironmentWord(c.reported, probe), c.menuWord) << std::hex << c.menuWord;
    EXPECT_EQ(launch::LauncherEnvironmentWord(c.reported, probe), c.launcherWord)
        << std::hex << c.launcherWord;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EnvironmentWord,
    ::testing::Values(
        Case{"Windows10", Nt(10, 0, 1, kX64), Version{10, 0}, 0x0A000140, 0x0A000140},
        Case{"AboveTenIsAllOnes", Nt(10, 0, 1, kX64), Version{10, 1}, 0xFFFF0140, 0xFFFF0140},
        Case{"Windows81ReportedAs62", Nt(6, 2, 1, kX64), Version{6, 3}, 0x06020140, 0x06030140},
        Case{"Windows10ReportedAs62", Nt(6, 2, 1, kX86), Version{10, 0}, 0x06020120, 0x0A000120},
        Case{"XpX64", Nt(5, 2, 1, kX64), Version{5, 2}, 0x05020140, 0x05020140},
        Case{"Arm64", Nt(10, 0, 1, kArm64), Version{10, 0}, 0x0A000120, 0x0A000120},
        Case{"Itanium", Nt(5, 2, 3, kIa64), Version{5, 2}, 0x05020320, 0x05020320},
        Case{"Server", Nt(6, 3, 3, kX64), Version{6, 3}, 0x06030340, 0x06030340},
        Case{"DomainController", Nt(6, 1, 2, kX64), Version{6, 1}, 0x06010340, 0x06010340},
        Case{"NoProductTypeCountsAsServer", Nt(6, 1, 0, kX64), Version{6, 1}, 0x06010340, 0x06010340},
        Case{"Windows2000X64ArchitectureIsNotX64", Nt(5, 0, 1, kX64), Version{5, 0}, 0x05000120, 0x05000120},
        Case{"Nt4", Nt(4, 0, 1, kX86), Version{4, 0}, 0x04000120, 0x04000120},
        Case{"Nt4AnyMinor", Nt(4, 5, 1, kX86), Version{4, 5}, 0x04000120, 0x04000120},
        Case{"Windows95", OsReading{4, 0, 1, 0, kX86}, Version{4, 0}, 0, 0},
        Case{"Windows98", OsReading{4, 10, 1, 0, kX86}, Version{4, 10}, 0x040A0020, 0x040A0020},
        Case{"UnknownPlatform", OsReading{4, 10, 3, 0, kX86}, Version{4, 10}, 0, 0},
        Case{"BelowFour", Nt(3, 51, 1, kX86), Version{3, 51}, 0, 0},
        Case{"QueryFailed", std::nullopt, Version{10, 0}, 0, 0},
        Case{"NoVerifyVersionInfo", Nt(10, 0, 1, kX64), std::nullopt, 0x0A000120, 0x0A000140}));

TEST(FindProbedVersion, TakesTheFirstProbeThatPasses)
{
    struct Row
    {
        std::optional<Version> actual;
        WORD expected;
    };
    for (Row row : {Row{Version{10, 1}, 0xFFFF}, Row{Version{10, 0}, 0x0A00}, Row{Version{6, 3}, 0x0603},
                    Row{Version{6, 2}, 0x0602}, Row{Version{5, 1}, 0x0501}, Row{Version{4, 0}, 0x0400},
                    Row{Version{3, 51}, 0}, Row{std::nullopt, 0}})
    {
        launch::VersionProbe probe = [&](DWORD major, DWORD minor) {
            return row.actual &&
                   (row.actual->major > major || (row.actual->major == major && row.actual->minor >= minor));
        };
        EXPECT_EQ(launch::FindProbedVersion(probe), row.expected) << std::hex << row.expected;
    }
}

} // namespace

namespace
{
struct MachineCase
{
    const char* name;
    sim::OsIdentity os;
    WORD architecture;
    bool manifestAware;
    std::vector<std::pair<const char16_t*, const char*>> removed;
    DWORD menuWord;
    DWORD launcherWord;
    bool program32 = false;

    friend void PrintTo(const MachineCase& c, std::ostream* os) { *os << c.name; }
};

sim::OsIdentity Os(DWORD major, DWORD minor, BYTE productType = VER_NT_WORKSTATION)
{
    sim::OsIdentity os;
    os.major = major;
    os.minor = minor;
    os.productType = productType;
    return os;
}

class AnalyzeOnTheMachine : public ::testing::TestWithParam<MachineCase>
{
};

TEST_P(AnalyzeOnTheMachine, ReadsWhatEachFormIsAllowedToSee)
{
    const MachineCase& c = GetParam();
    auto& m = sim::machine();
    m.SetOs(c.os);
    m.SetNativeArchitecture(c.architecture);
    m.SetProgram32(c.program32);
    m.SetManifestOsAware(u"test.exe", c.manifestAware);
    for (const auto& [module, name] : c.removed)
        m.RemoveSystemExport(module, name);
    launch::CAnalyzeEnvironment menu(launch::CAnalyzeEnvironment::Form::Menu);
    launch::CAnalyzeEnvironment launcher(launch::CAnalyzeEnvironment::Form::Launcher);
    menu.Analyze();
    launcher.Analyze();
    EXPECT_EQ(menu.environmentWord, c.menuWord) << std::hex << menu.environmentWord;
    EXPECT_EQ(launcher.environmentWord, c.launcherWord) << std::hex << launcher.environmentWord;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AnalyzeOnTheMachine,
    ::testing::Values(
        MachineCase{"Windows10", Os(10, 0), PROCESSOR_ARCHITECTURE_AMD64, true, {}, 0x0A000140, 0x0A000140},
        MachineCase{"Windows81Unmanifested",
                    Os(6, 3),
                    PROCESSOR_ARCHITECTURE_AMD64,
                    false,
                    {},
                    0x06020140,
                    0x06030140},
        MachineCase{"ServerX86",
                    Os(6, 1, VER_NT_SERVER),
                    PROCESSOR_ARCHITECTURE_INTEL,
                    true,
                    {},
                    0x06010320,
                    0x06010320},
        MachineCase{"WithoutRtlGetVersionNoProductType",
                    Os(10, 0),
                    PROCESSOR_ARCHITECTURE_AMD64,
                    true,
                    {{u"ntdll.dll", "RtlGetVersion"}},
                    0x0A000140,
                    0x0A000340},
        MachineCase{"WithoutGetVersionExW",
                    Os(10, 0),
                    PROCESSOR_ARCHITECTURE_AMD64,
                    true,
                    {{u"kernel32.dll", "GetVersionExW"}},
                    0,
                    0x0A000140},
        MachineCase{"WithoutAnyVersionQuery",
                    Os(10, 0),
                    PROCESSOR_ARCHITECTURE_AMD64,
                    true,
                    {{u"ntdll.dll", "RtlGetVersion"}, {u"kernel32.dll", "GetVersionExA"}},
                    0x0A000140,
                    0},
        MachineCase{"WithoutVerifyVersionInfoW",
                    Os(10, 0),
                    PROCESSOR_ARCHITECTURE_AMD64,
                    true,
                    {{u"kernel32.dll", "VerifyVersionInfoW"}},
                    0x0A000120,
                    0x0A000140},
        MachineCase{"WithoutNativeSystemInfoA32BitProgramSeesX86",
                    Os(10, 0),
                    PROCESSOR_ARCHITECTURE_AMD64,
                    true,
                    {{u"kernel32.dll", "GetNativeSystemInfo"}},
                    0x0A000120,
                    0x0A000120,
                    true},
        MachineCase{"A32BitProgramSeesTheNativeX64",
                    Os(10, 0),
                    PROCESSOR_ARCHITECTURE_AMD64,
                    true,
                    {},
                    0x0A000140,
                    0x0A000140,
                    true}));
} // namespace
