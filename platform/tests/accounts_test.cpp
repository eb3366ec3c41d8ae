#include <gtest/gtest.h>

#include <platform/lm.h>
#include <platform/sddl.h>
#include <platform/userenv.h>

#include <sim/machine.h>

#include <string>
#include <vector>

namespace
{
constexpr const char* kAnn = "S-1-5-21-10-20-30-1002";

// Enables privileges by name; TRUE from AdjustTokenPrivileges and the last error it left.
std::pair<BOOL, DWORD> Enable(std::vector<const char*> names)
{
    HANDLE token = nullptr;
    EXPECT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token));
    std::vector<BYTE> buffer(sizeof(TOKEN_PRIVILEGES) + names.size() * sizeof(LUID_AND_ATTRIBUTES));
    auto* p = reinterpret_cast<TOKEN_PRIVILEGES*>(buffer.data());
    for (const char* name : names)
    {
        LUID_AND_ATTRIBUTES& a = (&p->Privileges[0])[p->PrivilegeCount++];
        EXPECT_TRUE(LookupPrivilegeValueA(nullptr, name, &a.Luid)) << name;
        a.Attributes = SE_PRIVILEGE_ENABLED;
    }
    BOOL ok = AdjustTokenPrivileges(token, FALSE, p, 0, nullptr, nullptr);
    DWORD error = GetLastError();
    CloseHandle(token);
    return {ok, error};
}

std::vector<BYTE> Wide(const std::string& s)
{
    std::vector<BYTE> b((s.size() + 1) * 2, 0);
    for (size_t i = 0; i < s.size(); ++i)
        b[i * 2] = static_cast<BYTE>(s[i]);
    return b;
}

TEST(Accounts, HivesMountWithBothPrivilegesAndGoBackToTheirFileWithTheirChanges)
{
    auto& m = sim::machine();
    m.AddUser({u"Ann", u"S-1-5-21-10-20-30-1002", false});
    sim::registry().PutHive(u"C:\\Users\\Ann\\ntuser.dat",
                            {{u"Software\\A", u"V", REG_SZ, Wide("1")}, {u"Software\\B", {}, REG_NONE, {}}});

    EXPECT_EQ(RegLoadKeyA(HKEY_USERS, kAnn, "C:\\Users\\Ann\\ntuser.dat"), ERROR_PRIVILEGE_NOT_HELD);
    EXPECT_EQ(Enable({"SeRestorePrivilege"}).second, ERROR_SUCCESS);
    EXPECT_EQ(RegLoadKeyA(HKEY_USERS, kAnn, "C:\\Users\\Ann\\ntuser.dat"), ERROR_PRIVILEGE_NOT_HELD);
    EXPECT_EQ(Enable({"SeBackupPrivilege"}).second, ERROR_SUCCESS);
    // The signed-in user's hive is the system's; a file cannot be mounted twice.
    EXPECT_EQ(RegLoadKeyA(HKEY_USERS, "X", "C:\\Users\\User\\ntuser.dat"), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(RegLoadKeyA(HKEY_USERS, "X", "C:\\Users\\Nobody\\ntuser.dat"), ERROR_PATH_NOT_FOUND);
    sim::files().Put(u"C:\\Users\\Bad\\ntuser.dat", "SIMHIVE1\x05");
    EXPECT_EQ(RegLoadKeyA(HKEY_USERS, "X", "C:\\Users\\Bad\\ntuser.dat"), ERROR_BADDB);
    ASSERT_EQ(RegLoadKeyA(HKEY_USERS, kAnn, "C:\\Users\\Ann\\ntuser.dat"), ERROR_SUCCESS);
    EXPECT_EQ(RegLoadKeyA(HKEY_USERS, "Y", "C:\\Users\\Ann\\ntuser.dat"), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(sim::registry().LoadedHives(), std::vector<WString>{u"HKEY_USERS\\S-1-5-21-10-20-30-1002"});

    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_USERS, (std::string(kAnn) + "\\Software").c_str(), 0, KEY_READ, &key),
              ERROR_SUCCESS);
    EXPECT_EQ(RegUnLoadKeyA(HKEY_USERS, kAnn), ERROR_ACCESS_DENIED); // a key of it is open
    RegCloseKey(key);
    EXPECT_EQ(RegDeleteKeyA(HKEY_USERS, (std::string(kAnn) + "\\Software\\A").c_str()), ERROR_SUCCESS);
    EXPECT_EQ(RegUnLoadKeyA(HKEY_USERS, kAnn), ERROR_SUCCESS);
    EXPECT_EQ(RegUnLoadKeyA(HKEY_USERS, kAnn), ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(sim::registry().LoadedHives().empty());
    EXPECT_FALSE(sim::registry().KeyExists(HKEY_USERS, u"S-1-5-21-10-20-30-1002"));
    auto saved = sim::registry().ReadHive(u"C:\\Users\\Ann\\ntuser.dat");
    ASSERT_TRUE(saved);
    std::vector<WString> keys;
    for (const auto& v : *saved)
        keys.push_back(v.key);
    EXPECT_EQ(keys, (std::vector<WString>{u"Software", u"Software\\B"}));
}

TEST(Accounts, AUsersTokenHoldsOnlyTheShutdownPrivilegeAndARestartNeedsIt)
{
    EXPECT_FALSE(ExitWindowsEx(EWX_REBOOT, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRIVILEGE_NOT_HELD));
    sim::machine().SetAdministrator(false);
    auto [ok, error] = Enable({"SeRestorePrivilege", "SeShutdownPrivilege"});
    EXPECT_TRUE(ok);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_NOT_ALL_ASSIGNED));
    EXPECT_TRUE(ExitWindowsEx(EWX_REBOOT, 0));
    EXPECT_EQ(sim::machine().ShutdownRequests(), std::vector<UINT>{EWX_REBOOT});
    LUID luid{};
    EXPECT_FALSE(LookupPrivilegeValueA(nullptr, "SeNothing", &luid));
}

TEST(Accounts, UsersComeABufferAtATimeWithTheirSids)
{
    auto& m = sim::machine();
    for (auto [name, rid] :
         {std::pair{u"Ann", u"1002"}, std::pair{u"Bob", u"1003"}, std::pair{u"Carol", u"1004"}})
        m.AddUser({name, WString(u"S-1-5-21-10-20-30-") + rid, false});
    std::vector<WString> names;
    DWORD resume = 0;
    NET_API_STATUS status = ERROR_MORE_DATA;
    int calls = 0;
    while (status == ERROR_MORE_DATA && calls < 10)
    {
        LPBYTE buffer = nullptr;
        DWORD read = 0, total = 0;
        status = NetUserEnum(nullptr, 0, 0, &buffer, 40, &read, &total, &resume);
        ++calls;
        auto* users = reinterpret_cast<USER_INFO_0*>(buffer);
        for (DWORD i = 0; i < read; ++i)
            names.emplace_back(users[i].usri0_name);
        NetApiBufferFree(buffer);
    }
    EXPECT_EQ(status, static_cast<NET_API_STATUS>(NERR_Success));
    EXPECT_GT(calls, 1);
    EXPECT_EQ(names, (std::vector<WString>{u"User", u"Ann", u"Bob", u"Carol"}));

    BYTE sid[68];
    DWORD sidSize = sizeof sid;
    char domain[64];
    DWORD domainSize = sizeof domain;
    SID_NAME_USE use{};
    ASSERT_TRUE(LookupAccountNameA(nullptr, "user", sid, &sidSize, domain, &domainSize, &use));
    LPSTR text = nullptr;
    ASSERT_TRUE(ConvertSidToStringSidA(sid, &text));
    EXPECT_STREQ(text, "S-1-5-21-1004336348-1177238915-682003330-1001");
    LocalFree(text);
    sidSize = 4;
    EXPECT_FALSE(LookupAccountNameA(nullptr, "Ann", sid, &sidSize, domain, &domainSize, &use));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(sidSize, 28u);
    EXPECT_FALSE(LookupAccountNameA(nullptr, "Nobody", sid, &sidSize, domain, &domainSize, &use));

    char profiles[4];
    DWORD size = sizeof profiles;
    EXPECT_FALSE(GetProfilesDirectoryA(profiles, &size));
    EXPECT_EQ(size, 9u);
}

TEST(Accounts, DelayedDeletionsAreKeptAsTheSystemKeepsThem)
{
    sim::files().Put(u"C:\\T\\a.exe", "x");
    ASSERT_TRUE(MoveFileExA("C:\\T\\a.exe", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    ASSERT_TRUE(MoveFileExA("C:\\T\\b.txt", "C:\\T\\c.txt", MOVEFILE_DELAY_UNTIL_REBOOT));
    auto v = sim::registry().Value(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                                   u"PendingFileRenameOperations");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->type, static_cast<DWORD>(REG_MULTI_SZ));
    WString list(reinterpret_cast<const char16_t*>(v->data.data()), v->data.size() / 2);
    EXPECT_EQ(list, WString(u"\\??\\C:\\T\\a.exe\0\0\\??\\C:\\T\\b.txt\0\\??\\C:\\T\\c.txt\0\0", 47));
    EXPECT_TRUE(sim::files().Exists(u"C:\\T\\a.exe"));
    sim::files().Put(u"C:\\T\\d\\e.txt", "x");
    EXPECT_FALSE(RemoveDirectoryA("C:\\T\\d"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
}

} // namespace
