#include "user_hives.h"

#include "log.h"
#include "text.h"

#include <platform/lm.h>
#include <platform/sddl.h>
#include <platform/userenv.h>

#include <vector>

namespace uninstall
{
namespace
{
constexpr const char* kUsersRoot = "HKEY_USERS";

// Every local account's name, a buffer at a time.
std::vector<std::string> LocalUsers()
{
    std::vector<std::string> names;
    DWORD resume = 0;
    for (int rounds = 0; rounds < 10000; ++rounds)
    {
        LPBYTE buffer = nullptr;
        DWORD read = 0, total = 0;
        NET_API_STATUS status =
            NetUserEnum(nullptr, 0, 0, &buffer, MAX_PREFERRED_LENGTH, &read, &total, &resume);
        if (status != NERR_Success && status != ERROR_MORE_DATA)
        {
            if (buffer)
                NetApiBufferFree(buffer);
            break;
        }
        auto* users = reinterpret_cast<USER_INFO_0*>(buffer);
        for (DWORD i = 0; users && i < read; ++i)
        {
            char name[256] = {};
            if (users[i].usri0_name && WideCharToMultiByte(CP_ACP, 0, users[i].usri0_name, -1, name,
                                                           sizeof name, nullptr, nullptr) > 0)
                names.emplace_back(name);
        }
        if (buffer)
            NetApiBufferFree(buffer);
        if (status != ERROR_MORE_DATA)
            break;
    }
    return names;
}

std::string SidOf(const std::string& user)
{
    BYTE sid[68] = {};
    DWORD sidSize = sizeof sid;
    char domain[256] = {};
    DWORD domainSize = sizeof domain;
    SID_NAME_USE use{};
    if (!LookupAccountNameA(nullptr, user.c_str(), sid, &sidSize, domain, &domainSize, &use))
        return {};
    LPSTR text = nullptr;
    if (!ConvertSidToStringSidA(sid, &text) || !text)
        return {};
    std::string result = text;
    LocalFree(text);
    return result;
}

std::string ProfilesFolder()
{
    char folder[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    if (!GetProfilesDirectoryA(folder, &size))
        return {};
    return folder;
}
} // namespace

bool EnablePrivileges(std::initializer_list<const char*> names)
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return false;
    // Room for each privilege after the record's own one.
    std::vector<BYTE> buffer(sizeof(TOKEN_PRIVILEGES) + names.size() * sizeof(LUID_AND_ATTRIBUTES));
    auto* privileges = reinterpret_cast<TOKEN_PRIVILEGES*>(buffer.data());
    bool ok = true;
    for (const char* name : names)
    {
        LUID_AND_ATTRIBUTES& p = (&privileges->Privileges[0])[privileges->PrivilegeCount];
        if (!LookupPrivilegeValueA(nullptr, name, &p.Luid))
            ok = false;
        p.Attributes = SE_PRIVILEGE_ENABLED;
        ++privileges->PrivilegeCount;
    }
    // Success with ERROR_NOT_ALL_ASSIGNED still leaves one off.
    ok = ok && AdjustTokenPrivileges(token, FALSE, privileges, 0, nullptr, nullptr) &&
         GetLastError() == ERROR_SUCCESS;
    CloseHandle(token);
    return ok;
}

void RemoveFromUserHives(UninstallState&, const std::vector<RegEntry>& entries)
{
    // Only the current user's entries belong in other users' hives; the rest are machine-wide.
    std::vector<RegEntry> mine;
    for (const RegEntry& e : entries)
        if (e.root == RegRoot::CurrentUser && e.form != RegForm::ControlPanel)
            mine.push_back(e);
    if (mine.empty())
        return;
    std::vector<std::string> users = LocalUsers();
    // Mounting a hive takes both the restore and the backup privilege.
    if (users.empty() || !EnablePrivileges({"SeRestorePrivilege", "SeBackupPrivilege"}))
        return;
    std::string profiles = ProfilesFolder();
    if (profiles.empty())
        return;
    for (const std::string& user : users)
    {
        std::string sid = SidOf(user);
        if (sid.rfind("S-1-5-21", 0) != 0)
            continue;
        std::string hive = JoinPath(JoinPath(profiles, user), "ntuser.dat");
        LogPrint("  Userfile: %s ", hive.c_str());
        if (RegLoadKeyA(HKEY_USERS, sid.c_str(), hive.c_str()) != ERROR_SUCCESS)
            continue;
        for (const RegEntry& e : mine)
        {
            LogPrint("  Delete : %s\\%s ", kUsersRoot, (sid + "\\" + e.subKey).c_str());
            RemoveEntryUnder(HKEY_USERS, kUsersRoot, sid + "\\", e);
        }
        LSTATUS status = RegUnLoadKeyA(HKEY_USERS, sid.c_str());
        if (status != ERROR_SUCCESS)
        {
            // A hive left mounted keeps the user's profile from loading: one more try.
            Sleep(100);
            status = RegUnLoadKeyA(HKEY_USERS, sid.c_str());
            if (status != ERROR_SUCCESS)
                LogPrint("  Unload : %s, Error(0x%08x)", sid.c_str(), static_cast<unsigned>(status));
        }
    }
}

} // namespace uninstall
