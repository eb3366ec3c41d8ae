// Threads: simulated threads are host threads registered with the machine's scheduler.
#include "core/scheduler.h"

using namespace sim::detail;

DWORD WINAPI GetCurrentThreadId()
{
    return Self().id;
}
