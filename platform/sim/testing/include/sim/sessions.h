// The machine's terminal sessions as tests see them: which exist and in what state, which one has the
// console, and the messages programs sent to a session's desktop (WTSSendMessageW).
#pragma once

#include <platform/wtsapi32.h>

#include <vector>

namespace sim
{

struct SessionSetup
{
    DWORD id = 0;
    WString name;
    WTS_CONNECTSTATE_CLASS state = WTSActive;
};

struct SessionMessage
{
    DWORD sessionId = 0;
    WString title;
    WString text;
    DWORD style = 0;
    DWORD timeout = 0;
    bool wait = false;
    DWORD senderProcessId = 0;
};

class Sessions
{
public:
    // At the start: session 0 "Services", disconnected, and session 1 "Console", active at the console.
    void Set(std::vector<SessionSetup> sessions);
    std::vector<SessionSetup> List() const;
    void SetActiveConsole(DWORD sessionId); // 0xFFFFFFFF: none attached
    // What a box sent with waiting answers (IDOK at the start); one sent without waiting answers IDASYNC.
    void SetAnswer(DWORD response);
    std::vector<SessionMessage> Messages() const;
};

Sessions& sessions();

} // namespace sim
