// Test support: Windows bringing its shell back by itself some time after it was ended, played by a
// watching program started on the machine.
#pragma once

#include "processes.h"

#include <sim/machine.h>
#include <testing/on_machine.h>

namespace kgsetup::test
{

inline const WString kWatcher = u"C:\\Tools\\watch.exe";

// Once process `shell` has ended, a new "C:\Windows\explorer.exe" owning the shell window runs
// `afterMs` later.
inline void StartRestartingShell(DWORD shell, DWORD afterMs)
{
    sim::files().Put(kWatcher, "MZ");
    sim::processes().RegisterStandIn(u"watch.exe", [shell, afterMs](const sim::StartedProcess&) -> DWORD {
        while (sim::processes().Running(shell))
            Sleep(50);
        Sleep(afterMs);
        sim::ProcessSetup again;
        again.imagePath = u"C:\\Windows\\explorer.exe";
        again.shell = true;
        sim::processes().Add(again);
        return 0;
    });
    OnMachine([] { return RunProcessAndWait(kWatcher, 0); });
}

} // namespace kgsetup::test
