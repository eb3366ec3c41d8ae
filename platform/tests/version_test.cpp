#include <gtest/gtest.h>

#include <platform/entry.h>
#include <platform/process_local.h>
#include <sim/machine.h>

#include <string>

namespace
{
OSVERSIONINFOEXW VersionEx()
{
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof info;
    EXPECT_TRUE(GetVersionExW(reinterpret_cast<LPOSVERSIONINFOW>(&info)));
    return info;
}

using RtlGetVersionFn = LONG(WINAPI*)(PRTL_OSVERSIONINFOW);

RtlGetVersionFn RtlGetVersionOf()
{
    return reinterpret_cast<RtlGetVersionFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(u"ntdll.dll"), "RtlGetVersion")));
}

TEST(Version, AProgramSeesTheVersionItsManifestAllows)
{
    auto& m = sim::machine();
    sim::OsIdentity win7;
    win7.major = 6;
    win7.minor = 1;
    win7.build = 7601;
    win7.servicePackMajor = 1;
    win7.csdVersion = u"Service Pack 1";
    m.SetOs(win7);
    OSVERSIONINFOEXW info = VersionEx();
    EXPECT_EQ(info.dwMajorVersion, 6u);
    EXPECT_EQ(info.dwMinorVersion, 1u);
    EXPECT_EQ(info.wServicePackMajor, 1);
    EXPECT_EQ(WString(info.szCSDVersion), u"Service Pack 1");

    m.SetOs({}); // Windows 10
    sim::processes().SetCallingProgram(u"C:\\old\\legacy.exe", u"legacy.exe");
    m.SetManifestOsAware(u"LEGACY.EXE", false);
    info = VersionEx();
    EXPECT_EQ(info.dwMajorVersion, 6u);
    EXPECT_EQ(info.dwMinorVersion, 2u) << "an undeclared program is told Windows 8 on newer systems";

    RTL_OSVERSIONINFOW rtl{};
    rtl.dwOSVersionInfoSize = sizeof rtl;
    ASSERT_NE(RtlGetVersionOf(), nullptr);
    EXPECT_EQ(RtlGetVersionOf()(&rtl), 0);
    EXPECT_EQ(rtl.dwMajorVersion, 10u) << "ntdll tells the truth";
    EXPECT_EQ(rtl.dwBuildNumber, 19045u);
    rtl.dwOSVersionInfoSize = 100;
    EXPECT_NE(RtlGetVersionOf()(&rtl), 0);

    OSVERSIONINFOA narrow{};
    narrow.dwOSVersionInfoSize = 100;
    EXPECT_FALSE(GetVersionExA(&narrow));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

    m.RemoveSystemExport(u"NTDLL.DLL", "RtlGetVersion");
    EXPECT_EQ(RtlGetVersionOf(), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
}

TEST(Version, VerifyVersionInfoComparesVersionAndServicePackAsOneNumber)
{
    auto& m = sim::machine();
    sim::OsIdentity vistaSp2;
    vistaSp2.major = 6;
    vistaSp2.minor = 0;
    vistaSp2.build = 6002;
    vistaSp2.servicePackMajor = 2;
    m.SetOs(vistaSp2);
    struct Row
    {
        DWORD major, minor;
        WORD sp;
        BYTE condition;
        bool holds;
    } rows[] = {
        {5, 1, 3, VER_GREATER_EQUAL, true}, // a higher major decides before the service pack
        {6, 0, 2, VER_GREATER_EQUAL, true},  {6, 0, 3, VER_GREATER_EQUAL, false},
        {6, 1, 0, VER_GREATER_EQUAL, false}, {6, 0, 2, VER_GREATER, false},
        {6, 0, 2, VER_EQUAL, true},          {7, 0, 0, VER_LESS, true},
    };
    for (const Row& r : rows)
    {
        OSVERSIONINFOEXW want{};
        want.dwOSVersionInfoSize = sizeof want;
        want.dwMajorVersion = r.major;
        want.dwMinorVersion = r.minor;
        want.wServicePackMajor = r.sp;
        DWORDLONG mask = 0;
        VER_SET_CONDITION(mask, VER_MAJORVERSION, r.condition);
        VER_SET_CONDITION(mask, VER_MINORVERSION, r.condition);
        VER_SET_CONDITION(mask, VER_SERVICEPACKMAJOR, r.condition);
        SetLastError(0);
        BOOL ok = VerifyVersionInfoW(&want, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR, mask);
        EXPECT_EQ(ok != FALSE, r.holds)
            << r.major << "." << r.minor << " sp" << r.sp << " c" << int(r.condition);
        if (!r.holds)
        {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OLD_WIN_VERSION));
        }
    }
    EXPECT_EQ(
        VerSetConditionMask(VerSetConditionMask(VerSetConditionMask(0, VER_MAJORVERSION, VER_GREATER_EQUAL),
                                                VER_MINORVERSION, VER_GREATER_EQUAL),
                            VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL),
        0x1801Bull)
        << "three bits per type, at the type's bit index";

    OSVERSIONINFOEXW server{};
    server.dwOSVersionInfoSize = sizeof server;
    server.wProductType = VER_NT_WORKSTATION;
    EXPECT_TRUE(
        VerifyVersionInfoW(&server, VER_PRODUCT_TYPE, VerSetConditionMask(0, VER_PRODUCT_TYPE, VER_EQUAL)));
    EXPECT_FALSE(VerifyVersionInfoW(&server, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_ARGUMENTS));
}

TEST(Version, ArchitectureAndLanguagesFollowTheMachine)
{
    auto& m = sim::machine();
    SYSTEM_INFO native{}, own{};
    BOOL wow = TRUE;
    m.SetProgram32(true);
    GetNativeSystemInfo(&native);
    GetSystemInfo(&own);
    EXPECT_EQ(native.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_AMD64);
    EXPECT_EQ(own.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_INTEL);
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow));
    EXPECT_TRUE(wow);

    m.SetNativeArchitecture(PROCESSOR_ARCHITECTURE_ARM64);
    GetNativeSystemInfo(&native);
    EXPECT_EQ(native.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_ARM64);
    m.SetSystem64(false);
    GetNativeSystemInfo(&native);
    EXPECT_EQ(native.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_INTEL);
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow));
    EXPECT_FALSE(wow);

    EXPECT_EQ(GetSystemDefaultLangID(), 0x0409);
    m.SetSystemLanguage(0x0411);
    EXPECT_EQ(GetSystemDefaultLCID(), 0x0411u);
    EXPECT_EQ(GetSystemMetrics(SM_SERVERR2), 0);
}

struct Counter
{
    int value = 0;
    static inline int destroyed = 0;
    ~Counter() { ++destroyed; }
};
ProcessLocal<Counter> g_counter;

int WINAPI CountingProgram(HINSTANCE, HINSTANCE, LPSTR, int)
{
    return ++g_counter->value;
}
PLATFORM_WINMAIN(u"counting.exe", CountingProgram)

TEST(ProcessLocal, EachProcessHasItsOwnAndLosesItAtExit)
{
    g_counter->value = 10;
    Counter::destroyed = 0;
    EXPECT_EQ(sim::processes().Run(u"C:\\bin\\counting.exe"), 1u);
    EXPECT_EQ(sim::processes().Run(u"C:\\bin\\counting.exe"), 1u) << "a second run starts from fresh globals";
    EXPECT_EQ(Counter::destroyed, 2);
    EXPECT_EQ(g_counter->value, 10) << "the test program's own stays apart";
}
} // namespace
