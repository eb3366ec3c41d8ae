// Terminal sessions: a list set by the test, the console's session, and message boxes sent to a
// session's desktop, recorded and answered as the test scripted.
#include <sim/sessions.h>

#include "core/internal.h"
#include "core/state.h"

#include <cstdlib>
#include <cstring>

namespace sim
{
namespace
{
struct SessionState : detail::PartBase
{
    std::vector<SessionSetup> sessions{{0, u"Services", WTSDisconnected}, {1, u"Console", WTSActive}};
    DWORD console = 1;
    DWORD answer = IDOK;
    std::vector<SessionMessage> messages;
};

SessionState& state()
{
    return detail::Part<SessionState>();
}

const SessionSetup* FindSession(DWORD id)
{
    for (const SessionSetup& s : state().sessions)
        if (s.id == id)
            return &s;
    return nullptr;
}

WString Counted(LPCWSTR text, DWORD bytes)
{
    return text ? WString(text, bytes / sizeof(WCHAR)) : WString();
}
} // namespace

void Sessions::Set(std::vector<SessionSetup> sessions)
{
    std::lock_guard g(detail::StateLock());
    state().sessions = std::move(sessions);
}

std::vector<SessionSetup> Sessions::List() const
{
    std::lock_guard g(detail::StateLock());
    return state().sessions;
}

void Sessions::SetActiveConsole(DWORD sessionId)
{
    std::lock_guard g(detail::StateLock());
    state().console = sessionId;
}

void Sessions::SetAnswer(DWORD response)
{
    std::lock_guard g(detail::StateLock());
    state().answer = response;
}

std::vector<SessionMessage> Sessions::Messages() const
{
    std::lock_guard g(detail::StateLock());
    return state().messages;
}

Sessions& sessions()
{
    static Sessions s;
    return s;
}
} // namespace sim

using namespace sim;
using namespace sim::detail;

DWORD WINAPI WTSGetActiveConsoleSessionId()
{
    std::lock_guard g(StateLock());
    return state().console;
}

BOOL WINAPI WTSEnumerateSessionsW(HANDLE server, DWORD reserved, DWORD version, PWTS_SESSION_INFOW* sessions,
                                  DWORD* count)
{
    if (server != WTS_CURRENT_SERVER_HANDLE || reserved != 0 || version != 1 || !sessions || !count)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard g(StateLock());
    const auto& list = state().sessions;
    // One block, as WTSFreeMemory frees it: the records, then their names.
    size_t bytes = list.size() * sizeof(WTS_SESSION_INFOW);
    for (const SessionSetup& s : list)
        bytes += (s.name.size() + 1) * sizeof(WCHAR);
    auto* block = static_cast<BYTE*>(std::calloc(bytes ? bytes : 1, 1));
    if (!block)
    {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    auto* records = reinterpret_cast<WTS_SESSION_INFOW*>(block);
    auto* names = reinterpret_cast<WCHAR*>(block + list.size() * sizeof(WTS_SESSION_INFOW));
    for (size_t i = 0; i < list.size(); ++i)
    {
        records[i].SessionId = list[i].id;
        records[i].State = list[i].state;
        records[i].pWinStationName = names;
        std::memcpy(names, list[i].name.c_str(), (list[i].name.size() + 1) * sizeof(WCHAR));
        names += list[i].name.size() + 1;
    }
    *sessions = records;
    *count = static_cast<DWORD>(list.size());
    return TRUE;
}

void WINAPI WTSFreeMemory(PVOID memory)
{
    std::free(memory);
}

BOOL WINAPI WTSSendMessageW(HANDLE server, DWORD sessionId, LPWSTR title, DWORD titleLength, LPWSTR message,
                            DWORD messageLength, DWORD style, DWORD timeout, DWORD* response, BOOL wait)
{
    if (server != WTS_CURRENT_SERVER_HANDLE || !response)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DWORD sender = GetCurrentProcessId();
    std::lock_guard g(StateLock());
    if (sessionId == WTS_CURRENT_SESSION)
        sessionId = CurrentProcess().sessionId;
    const SessionSetup* session = FindSession(sessionId);
    // Only a session with a user's desktop can show a box.
    if (!session || (session->state != WTSActive && session->state != WTSConnected))
    {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    state().messages.push_back(SessionMessage{sessionId, Counted(title, titleLength),
                                              Counted(message, messageLength), style, timeout, wait != FALSE,
                                              sender});
    *response = wait ? state().answer : DWORD{IDASYNC};
    return TRUE;
}
