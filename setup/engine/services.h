// Windows services: start, stop or restart one and wait for it, and the round a driver change needs
// (the spooler restarted with the LPD service it hosts stopped around it).
#pragma once

#include <platform/windows.h>

namespace kgsetup
{

enum ServiceOperation : DWORD
{
    kServiceStart = 129,
    kServiceStop = 130,
    kServiceRestart = 131,
};

// True when the service ends in the state the operation asks for, within 120 polls 1 s apart per
// step; false for a missing service, a missing manager entry point or one that never gets there.
bool ControlService(WStringView serviceName, DWORD operation);

// True once the service is stopped or gone, within 120 polls 1 s apart; one marked for deletion is
// waited for until it has gone. A check that fails is made again at the next poll: false with its code
// when the next fails too, with ERROR_SERVICE_REQUEST_TIMEOUT when the service still runs at the end.
bool WaitForServiceStopped(WStringView serviceName);

// True only when the service manager says there is no such service; a look that fails says nothing.
bool ServiceGone(WStringView serviceName);

// Stops "LPDSVC", restarts "Spooler" and starts "LPDSVC" again whatever happened; the spooler's result.
// A spooler or LPD service left stopped by a failed step is started once more. A failed restart
// leaves its own code as the last error.
bool RestartSpooler();

} // namespace kgsetup
