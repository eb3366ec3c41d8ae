#include "shell_files.h"

#include <gtest/gtest.h>
#include <platform/objbase.h>
#include <sim/machine.h>

namespace kgsetup
{
namespace
{

TEST(CompareFileVersions, WordsCompareAsNumbers)
{
    struct Case
    {
        WORD a[4], b[4];
        UINT expected;
    } cases[] = {
        {{1, 2, 0, 0}, {1, 10, 0, 0}, kFirstOlder},    {{1, 10, 0, 0}, {1, 2, 0, 0}, kFirstNewer},
        {{2, 0, 0, 0}, {1, 65535, 9, 9}, kFirstNewer}, {{1, 0, 5, 1}, {1, 0, 5, 1}, kVersionsEqual},
        {{1, 0, 5, 2}, {1, 0, 5, 10}, kFirstOlder},    {{1, 0, 6, 0}, {1, 0, 5, 9}, kFirstNewer},
    };
    for (const Case& c : cases)
    {
        sim::files().SetVersion(u"C:\\a.exe", c.a[0], c.a[1], c.a[2], c.a[3]);
        sim::files().SetVersion(u"C:\\b.exe", c.b[0], c.b[1], c.b[2], c.b[3]);
        EXPECT_EQ(CompareFileVersions(u"C:\\a.exe", u"C:\\b.exe"), c.expected) << c.a[1] << " " << c.b[1];
    }
    sim::files().Put(u"C:\\plain.exe", "no version");
    const BYTE damaged[] = {8, 0, 52, 0, 0, 0, 0, 0};
    sim::files().SetVersionRecord(u"C:\\damaged.exe", damaged);
    for (const char16_t* other : {u"C:\\plain.exe", u"C:\\damaged.exe", u"C:\\missing.exe"})
    {
        EXPECT_EQ(CompareFileVersions(u"C:\\a.exe", other), kVersionUnreadable);
        EXPECT_EQ(CompareFileVersions(other, u"C:\\a.exe"), kVersionUnreadable);
    }
}

TEST(ShellFiles, CopyAndDeleteThroughTheShell)
{
    sim::files().Put(u"C:\\Setup\\KGSetup64.exe", "setup");
    sim::files().Put(u"C:\\Setup\\Driver\\VeKglV4.inf", "inf");
    sim::files().Put(u"C:\\Target\\keep.txt");
    EXPECT_EQ(CopyWithShell(u"C:\\Setup\\KGSetup64.exe", u"C:\\Target"), S_OK);
    EXPECT_EQ(CopyWithShell(u"C:\\Setup\\Driver", u"C:\\Target"), S_OK);
    EXPECT_EQ(sim::files().Bytes(u"C:\\Target\\KGSetup64.exe"), "setup");
    EXPECT_EQ(sim::files().Bytes(u"C:\\Target\\Driver\\VeKglV4.inf"), "inf");
    EXPECT_EQ(DeleteWithShell(u"C:\\Target\\Driver"), S_OK);
    EXPECT_FALSE(sim::files().Exists(u"C:\\Target\\Driver"));
    EXPECT_EQ(DeleteWithShell(u"C:\\Target\\Driver"), static_cast<HRESULT>(0x80070002));
    EXPECT_EQ(CopyWithShell(u"C:\\Setup\\none.exe", u"C:\\Target"), static_cast<HRESULT>(0x80070002));

    // Each step's failure is the result.
    struct Fault
    {
        const char* api;
        int skip;
    } faults[] = {{"CoInitializeEx", 0},
                  {"CoCreateInstance", 0},
                  {"SHCreateItemFromParsingName", 0},
                  {"SHCreateItemFromParsingName", 1},
                  {"CreateFileW", 1}};
    for (const Fault& f : faults)
    {
        sim::faults().FailNext(f.api, 0x80070005u, 1, f.skip);
        EXPECT_EQ(CopyWithShell(u"C:\\Setup\\KGSetup64.exe", u"C:\\Target"), static_cast<HRESULT>(0x80070005))
            << f.api;
    }
}

TEST(ShellFiles, AnotherApartmentModelIsReturnedAndLeftAlone)
{
    sim::files().Put(u"C:\\Setup\\KGSetup64.exe", "setup");
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    EXPECT_EQ(CopyWithShell(u"C:\\Setup\\KGSetup64.exe", u"C:\\Windows"), RPC_E_CHANGED_MODE);
    {
        CComInitScope scope;
        EXPECT_EQ(scope.Result(), RPC_E_CHANGED_MODE);
    }
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE) << "the thread's own apartment stays";
    CoUninitialize();
    CoUninitialize();
    CComInitScope scope;
    EXPECT_EQ(scope.Result(), S_OK);
}

TEST(StartMenuShortcut, MadeOnceAndNeverOverwritten)
{
    ASSERT_TRUE(SetEnvironmentVariableW(u"ProgramData", u"C:\\ProgramData"));
    sim::files().Put(u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\desktop.ini");
    const WString link =
        u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Velmo\\KORIGRAPH Printer Driver.lnk";
    CComInitScope com;
    EXPECT_EQ(CreateStartMenuShortcut(u""), E_FAIL);
    EXPECT_EQ(CreateStartMenuShortcut(u"C:\\P\\Velmo\\KORIGRAPH\\uninst.exe"), S_OK);
    EXPECT_EQ(CreateStartMenuShortcut(u"C:\\Other\\uninst.exe"), S_FALSE);
    auto saved = sim::files().ReadShellLink(link);
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->target, u"C:\\P\\Velmo\\KORIGRAPH\\uninst.exe");
    EXPECT_EQ(saved->arguments, u"");
    EXPECT_EQ(saved->iconPath, u"C:\\P\\Velmo\\KORIGRAPH\\uninst.exe");
    EXPECT_EQ(saved->iconIndex, 4);
    EXPECT_EQ(saved->appUserModelId, u"Velmo_Ranth.KORIGRAPH");

    ASSERT_TRUE(SetEnvironmentVariableW(u"ProgramData", nullptr));
    EXPECT_EQ(CreateStartMenuShortcut(u"C:\\P\\Velmo\\KORIGRAPH\\uninst.exe"), E_INVALIDARG);
    ASSERT_TRUE(SetEnvironmentVariableW(u"ProgramData", (u"C:\\" + WString(MAX_PATH, u'x')).c_str()));
    EXPECT_EQ(CreateStartMenuShortcut(u"C:\\P\\Velmo\\KORIGRAPH\\uninst.exe"), E_INVALIDARG);
}

TEST(StartMenuShortcut, AFailingStepIsTheResultAndLeavesNoLink)
{
    sim::files().Put(u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\desktop.ini");
    const WString link =
        u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Velmo\\KORIGRAPH Printer Driver.lnk";
    CComInitScope com;
    sim::faults().FailNext("CoCreateInstance", static_cast<DWORD>(E_OUTOFMEMORY));
    EXPECT_EQ(CreateStartMenuShortcut(u"C:\\P\\uninst.exe"), E_OUTOFMEMORY);
    sim::faults().FailNext("CreateFileW", ERROR_ACCESS_DENIED);
    EXPECT_EQ(CreateStartMenuShortcut(u"C:\\P\\uninst.exe"), static_cast<HRESULT>(0x80070005));
    EXPECT_FALSE(sim::files().Exists(link));
}

} // namespace
} // namespace kgsetup
