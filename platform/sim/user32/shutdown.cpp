// Ending the session: recorded for tests, never carried out; a restart or shutdown needs the
// shutdown privilege enabled in the caller's token.
#include "core/internal.h"
#include "core/state.h"

namespace sim::detail
{
namespace
{
struct Shutdowns : PartBase
{
    std::vector<UINT> requests;
};
} // namespace
} // namespace sim::detail

std::vector<UINT> sim::Machine::ShutdownRequests() const
{
    std::lock_guard g(detail::StateLock());
    return detail::Part<detail::Shutdowns>().requests;
}

BOOL WINAPI ExitWindowsEx(UINT flags, DWORD)
{
    using namespace sim::detail;
    SIM_FAULT_POINT("ExitWindowsEx", FALSE);
    std::lock_guard g(StateLock());
    bool logOff = (flags & (EWX_SHUTDOWN | EWX_REBOOT)) == 0;
    if (!logOff && !PrivilegeEnabled(CurrentProcess().id, kPrivilegeShutdown))
    {
        SetLastError(ERROR_PRIVILEGE_NOT_HELD);
        return FALSE;
    }
    Part<Shutdowns>().requests.push_back(flags);
    return TRUE;
}
