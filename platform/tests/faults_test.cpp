#include <gtest/gtest.h>

#include <platform/objbase.h>
#include <sim/machine.h>

#include <stdexcept>

TEST(Faults, AMisspeltNameIsRefused)
{
    EXPECT_THROW(sim::faults().FailNext("ReadFiel", ERROR_ACCESS_DENIED), std::invalid_argument);
    EXPECT_TRUE(sim::faults().Pending().empty());
}

TEST(Faults, AFaultIsPendingUntilItsCallTakesIt)
{
    sim::faults().FailNext("DeleteFileW", ERROR_ACCESS_DENIED, 1, 1);
    ASSERT_EQ(sim::faults().Pending(), std::vector<std::string>{"DeleteFileW"});

    sim::files().Put(u"C:\\a.txt", "a");
    sim::files().Put(u"C:\\b.txt", "b");
    EXPECT_TRUE(DeleteFileW(u"C:\\a.txt")); // the skipped call
    EXPECT_TRUE(sim::faults().Pending() == std::vector<std::string>{"DeleteFileW"});
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(DeleteFileW(u"C:\\b.txt"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(sim::faults().Pending().empty());
    EXPECT_TRUE(sim::files().Exists(u"C:\\b.txt"));
}

TEST(Faults, AComCallFailsWithAnHResultWhateverKindOfCodeTheTestNames)
{
    const struct
    {
        DWORD asked;
        HRESULT reported;
    } cases[] = {
        {ERROR_ACCESS_DENIED, E_ACCESSDENIED}, // a Win32 code would otherwise read as success
        {static_cast<DWORD>(RPC_E_CHANGED_MODE), RPC_E_CHANGED_MODE},
    };
    for (const auto& c : cases)
    {
        sim::faults().FailNext("CoInitializeEx", c.asked);
        HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        EXPECT_EQ(result, c.reported) << c.asked;
        EXPECT_TRUE(FAILED(result));
    }
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK) << "nothing counted by the failures";
    CoUninitialize();
}

TEST(Machine, ResetLeavesNothingOfTheMachineBefore)
{
    sim::registry().SetValue(HKEY_CURRENT_USER, u"Software\\Probe", u"v", REG_DWORD, std::vector<BYTE>(4, 1));
    sim::files().Put(u"C:\\probe.txt", "x");
    sim::machine().SetCodePage(932);
    sim::virtualClock().Advance(5000);
    HANDLE file = CreateFileW(u"C:\\probe.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);

    sim::machine().Reset();

    EXPECT_FALSE(sim::registry().KeyExists(HKEY_CURRENT_USER, u"Software\\Probe"));
    EXPECT_FALSE(sim::files().Exists(u"C:\\probe.txt"));
    EXPECT_EQ(sim::virtualClock().Now(), 0u);
    EXPECT_EQ(GetACP(), 1252u);
    EXPECT_FALSE(CloseHandle(file));
}
