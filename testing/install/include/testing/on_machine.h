// Test support: runs setup engine code on a thread of the simulated machine, as the setup program
// would: its waits and sleeps then move the machine's clock.
#pragma once

#include <sim/machine.h>

template <typename F> auto OnMachine(F f)
{
    decltype(f()) result{};
    sim::desktop().Run(
        [&]() -> DWORD {
            result = f();
            return 0;
        },
        [] {});
    return result;
}
