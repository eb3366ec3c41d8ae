// The simulated machine's one virtual clock as tests see it. It moves only when told (or when every
// simulated thread waits), stepping through every timer and deadline on the way.
#pragma once

#include <platform/windows.h>

namespace sim
{

class VirtualClock
{
public:
    // Milliseconds since the machine started.
    ULONGLONG Now() const;
    void Advance(ULONGLONG milliseconds);
    // The date and time GetLocalTime reports now (2026-01-01 00:00 when the machine starts); it runs
    // on with the virtual clock. False for a date that cannot be.
    bool SetLocalTime(const SYSTEMTIME& now);
};

// Not `clock`: the C library has one.
VirtualClock& virtualClock();

} // namespace sim
