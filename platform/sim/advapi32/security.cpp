// Privileges a process token holds and enables, and local accounts with their security identifiers
// in the binary layout programs pass around (revision, count, authority, sub-authorities).
#include "advapi32/accounts.h"
#include "core/state.h"

#include <platform/sddl.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

namespace sim::detail
{
namespace
{
struct Privileges : PartBase
{
    std::map<DWORD, std::set<DWORD>> enabled; // by process id
};

struct AccountTable : PartBase
{
    std::vector<LocalUser> users{LocalUser{u"User", u"S-1-5-21-1004336348-1177238915-682003330-1001", true}};
};

struct PrivilegeName
{
    const char* name;
    DWORD value;
};
constexpr PrivilegeName kPrivileges[] = {{"SeBackupPrivilege", kPrivilegeBackup},
                                         {"SeRestorePrivilege", kPrivilegeRestore},
                                         {"SeShutdownPrivilege", kPrivilegeShutdown}};

BOOL Fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

// "S-1-5-21-1-2-3" as a binary SID; empty when the text is no SID.
std::vector<BYTE> SidBytes(WStringView text)
{
    std::vector<unsigned long long> parts;
    if (text.size() < 4 || text.substr(0, 2) != u"S-")
        return {};
    unsigned long long value = 0;
    bool digits = false;
    for (size_t i = 2; i <= text.size(); ++i)
    {
        if (i == text.size() || text[i] == u'-')
        {
            if (!digits)
                return {};
            parts.push_back(value);
            value = 0;
            digits = false;
            continue;
        }
        if (text[i] < u'0' || text[i] > u'9' || value > 0xFFFFFFFFull)
            return {};
        value = value * 10 + static_cast<unsigned>(text[i] - u'0');
        digits = true;
    }
    if (parts.size() < 2 || parts.size() > 17 || parts[0] != 1)
        return {};
    std::vector<BYTE> sid(8 + 4 * (parts.size() - 2));
    sid[0] = 1;
    sid[1] = static_cast<BYTE>(parts.size() - 2);
    for (int i = 0; i < 6; ++i)
        sid[2 + i] = static_cast<BYTE>(parts[1] >> (8 * (5 - i)));
    for (size_t i = 2; i < parts.size(); ++i)
        for (int b = 0; b < 4; ++b)
            sid[8 + 4 * (i - 2) + b] = static_cast<BYTE>(parts[i] >> (8 * b));
    return sid;
}
} // namespace

bool PrivilegeEnabled(DWORD processId, DWORD privilege)
{
    std::lock_guard g(StateLock());
    auto& enabled = Part<Privileges>().enabled;
    auto it = enabled.find(processId);
    return it != enabled.end() && it->second.count(privilege) > 0;
}

std::vector<LocalUser>& Accounts()
{
    return Part<AccountTable>().users;
}

WString HiveFileOf(const LocalUser& user)
{
    return WString(kProfilesFolder) + u"\\" + user.name + u"\\ntuser.dat";
}

} // namespace sim::detail

namespace sim
{
void Machine::AddUser(const LocalUser& user)
{
    std::lock_guard g(detail::StateLock());
    detail::Accounts().push_back(user);
}
} // namespace sim

using namespace sim;
using namespace sim::detail;

BOOL WINAPI LookupPrivilegeValueA(LPCSTR, LPCSTR name, PLUID luid)
{
    if (!name || !luid)
        return Fail(ERROR_INVALID_PARAMETER);
    for (const PrivilegeName& p : kPrivileges)
        if (EqualNoCase(Widen(name), Widen(p.name)))
        {
            luid->LowPart = p.value;
            luid->HighPart = 0;
            return TRUE;
        }
    return Fail(ERROR_NO_SUCH_PRIVILEGE);
}

BOOL WINAPI AdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState, DWORD,
                                  PTOKEN_PRIVILEGES, PDWORD returnLength)
{
    SIM_FAULT_POINT("AdjustTokenPrivileges", FALSE);
    std::lock_guard g(StateLock());
    auto object = FindHandleOf<TokenObject>(token);
    if (!object)
        return Fail(ERROR_INVALID_HANDLE);
    if (!(object->access & TOKEN_ADJUST_PRIVILEGES))
        return Fail(ERROR_ACCESS_DENIED);
    if (!disableAll && !newState)
        return Fail(ERROR_INVALID_PARAMETER);
    if (returnLength)
        *returnLength = 0;
    std::set<DWORD>& enabled = Part<Privileges>().enabled[object->processId];
    if (disableAll)
    {
        enabled.clear();
        SetLastError(ERROR_SUCCESS);
        return TRUE;
    }
    // An administrator's token holds backup, restore and shutdown; a user's only shutdown.
    bool notAll = false;
    for (DWORD i = 0; i < newState->PrivilegeCount; ++i)
    {
        const LUID_AND_ATTRIBUTES& p = (&newState->Privileges[0])[i];
        bool held = p.Luid.HighPart == 0 && (p.Luid.LowPart == kPrivilegeShutdown ||
                                             (object->elevated && (p.Luid.LowPart == kPrivilegeBackup ||
                                                                   p.Luid.LowPart == kPrivilegeRestore)));
        if (!held)
        {
            notAll = true;
            continue;
        }
        if (p.Attributes & SE_PRIVILEGE_ENABLED)
            enabled.insert(p.Luid.LowPart);
        else
            enabled.erase(p.Luid.LowPart);
    }
    SetLastError(notAll ? ERROR_NOT_ALL_ASSIGNED : ERROR_SUCCESS);
    return TRUE;
}

BOOL WINAPI LookupAccountNameA(LPCSTR, LPCSTR accountName, PSID sid, LPDWORD cbSid, LPSTR domain,
                               LPDWORD cchDomain, PSID_NAME_USE use)
{
    if (!accountName || !cbSid || !cchDomain)
        return Fail(ERROR_INVALID_PARAMETER);
    std::lock_guard g(StateLock());
    WString name = Widen(accountName);
    for (const LocalUser& user : Accounts())
        if (EqualNoCase(user.name, name))
        {
            std::vector<BYTE> bytes = SidBytes(user.sid);
            const std::string machineName = "VELMO-PC";
            if (bytes.empty())
                return Fail(ERROR_NONE_MAPPED);
            if (!sid || *cbSid < bytes.size() || !domain || *cchDomain <= machineName.size())
            {
                *cbSid = static_cast<DWORD>(bytes.size());
                *cchDomain = static_cast<DWORD>(machineName.size() + 1);
                return Fail(ERROR_INSUFFICIENT_BUFFER);
            }
            std::memcpy(sid, bytes.data(), bytes.size());
            std::memcpy(domain, machineName.c_str(), machineName.size() + 1);
            *cbSid = static_cast<DWORD>(bytes.size());
            *cchDomain = static_cast<DWORD>(machineName.size());
            if (use)
                *use = SidTypeUser;
            return TRUE;
        }
    return Fail(ERROR_NONE_MAPPED);
}

BOOL WINAPI ConvertSidToStringSidA(PSID sid, LPSTR* stringSid)
{
    if (!sid || !stringSid)
        return Fail(ERROR_INVALID_PARAMETER);
    const BYTE* b = static_cast<const BYTE*>(sid);
    if (b[0] != 1 || b[1] > 15)
        return Fail(ERROR_INVALID_PARAMETER);
    unsigned long long authority = 0;
    for (int i = 0; i < 6; ++i)
        authority = authority << 8 | b[2 + i];
    std::string text = "S-1-" + std::to_string(authority);
    for (int i = 0; i < b[1]; ++i)
    {
        DWORD sub = 0;
        for (int k = 3; k >= 0; --k)
            sub = sub << 8 | b[8 + 4 * i + k];
        text += "-" + std::to_string(sub);
    }
    // LocalFree releases it.
    auto* out = static_cast<LPSTR>(std::malloc(text.size() + 1));
    if (!out)
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    std::memcpy(out, text.c_str(), text.size() + 1);
    *stringSid = out;
    return TRUE;
}
