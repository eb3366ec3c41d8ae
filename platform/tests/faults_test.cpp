#include <gtest/gtest.h>

#include <platform/objbase.h>
#include <sim/machine.h>

#include <stdexcept>

TEST(Faults, AMisspeltNameIsRefused)
{
    EXPECT_THROW(sim::machine().FailNext("ReadFiel", ERROR_ACCESS_DENIED), std::invalid_argument);
    EXPECT_TRUE(sim::machine().PendingFaults().empty());
}

TEST(Faults, AFaultIsPendingUntilItsCallTakesIt)
{
    sim::machine().FailNext("DeleteFileW", ERROR_ACCESS_DENIED, 1, 1);
    ASSERT_EQ(sim::machine().PendingFaults(), std::vector<std::string>{"DeleteFileW"});

    sim::machine().PutFile(u"C:\\a.txt", "a");
    sim::machine().PutFile(u"C:\\b.txt", "b");
    EXPECT_TRUE(DeleteFileW(u"C:\\a.txt")); // the skipped call
    EXPECT_TRUE(sim::machine().PendingFaults() == std::vector<std::string>{"DeleteFileW"});
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(DeleteFileW(u"C:\\b.txt"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(sim::machine().PendingFaults().empty());
    EXPECT_TRUE(sim::machine().FileExists(u"C:\\b.txt"));
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
        sim::machine().FailNext("CoInitializeEx", c.asked);
        HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        EXPECT_EQ(result, c.reported) << c.asked;
        EXPECT_TRUE(FAILED(result));
    }
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK) << "nothing counted by the failures";
    CoUninitialize();
}

TEST(Machine, ResetLeavesNothingOfTheMachineBefore)
{
    sim::machine().SetRegistryValue(HKEY_CURRENT_USER, u"Software\\Probe", u"v", REG_DWORD,
                                    std::vector<BYTE>(4, 1));
    sim::machine().PutFile(u"C:\\probe.txt", "x");
    sim::machine().SetCodePage(932);
    sim::machine().Advance(5000);
    HANDLE file = CreateFileW(u"C:\\probe.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);

    sim::machine().Reset();

    EXPECT_FALSE(sim::machine().RegistryKeyExists(HKEY_CURRENT_USER, u"Software\\Probe"));
    EXPECT_FALSE(sim::machine().FileExists(u"C:\\probe.txt"));
    EXPECT_EQ(sim::machine().Now(), 0u);
    EXPECT_EQ(GetACP(), 1252u);
    EXPECT_FALSE(CloseHandle(file));
}
