// NetUserEnum at level 0: the local accounts' names, as many as the preferred size holds, resumed
// where the last call stopped while ERROR_MORE_DATA says more follow.
#include "advapi32/accounts.h"

#include <platform/lm.h>

#include <cstdlib>
#include <cstring>

using namespace sim;
using namespace sim::detail;

NET_API_STATUS WINAPI NetUserEnum(LPCWSTR serverName, DWORD level, DWORD, LPBYTE* buffer,
                                  DWORD preferredMaximumLength, LPDWORD entriesRead, LPDWORD totalEntries,
                                  PDWORD resumeHandle)
{
    SIM_FAULT_STATUS("NetUserEnum", NET_API_STATUS);
    if (!buffer || !entriesRead || !totalEntries)
        return ERROR_INVALID_PARAMETER;
    *buffer = nullptr;
    *entriesRead = *totalEntries = 0;
    if (level != 0)
        return ERROR_INVALID_LEVEL;
    if (serverName && *serverName)
        return ERROR_ACCESS_DENIED; // no other machine answers
    std::vector<WString> names;
    {
        std::lock_guard g(StateLock());
        for (const LocalUser& user : Accounts())
            names.push_back(user.name);
    }
    size_t start = resumeHandle ? *resumeHandle : 0;
    if (start > names.size())
        start = names.size();
    // Each entry costs its record and its name; at least one goes into every buffer.
    size_t end = start, bytes = 0;
    while (end < names.size())
    {
        size_t cost = sizeof(USER_INFO_0) + (names[end].size() + 1) * sizeof(WCHAR);
        if (end > start && preferredMaximumLength != MAX_PREFERRED_LENGTH &&
            bytes + cost > preferredMaximumLength)
            break;
        bytes += cost;
        ++end;
    }
    auto* block = static_cast<BYTE*>(std::calloc(1, bytes ? bytes : 1));
    if (!block)
        return ERROR_NOT_ENOUGH_MEMORY;
    auto* records = reinterpret_cast<USER_INFO_0*>(block);
    auto* text = reinterpret_cast<WCHAR*>(block + sizeof(USER_INFO_0) * (end - start));
    for (size_t i = start; i < end; ++i)
    {
        records[i - start].usri0_name = text;
        std::memcpy(text, names[i].c_str(), (names[i].size() + 1) * sizeof(WCHAR));
        text += names[i].size() + 1;
    }
    *buffer = block;
    *entriesRead = static_cast<DWORD>(end - start);
    *totalEntries = static_cast<DWORD>(names.size() - start);
    bool more = end < names.size();
    if (resumeHandle)
        *resumeHandle = more ? static_cast<DWORD>(end) : 0;
    return more ? ERROR_MORE_DATA : NERR_Success;
}

NET_API_STATUS WINAPI NetApiBufferFree(LPVOID buffer)
{
    std::free(buffer);
    return NERR_Success;
}
