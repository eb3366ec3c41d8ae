// The shell's window: below the handles the desktop gives out, owned by the shell process of the machine's
// process table, outside the desktop the programs under test make their windows on.
#include "core/internal.h"

HWND WINAPI GetShellWindow()
{
    return sim::detail::ShellProcessId() ? reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x0000FFF0))
                                         : nullptr;
}
