// The date and time of day: a wall clock set by tests (or SetLocalTime) that runs with the machine's
// virtual clock. The machine's time zone is UTC, so local and system time agree.
#include "core/internal.h"
#include "core/scheduler.h"
#include "core/state.h"

#include <chrono>

using namespace sim::detail;

namespace
{
using Ms = std::chrono::milliseconds;
using TimePoint = std::chrono::sys_time<Ms>;

struct WallClock : PartBase
{
    // 2026-01-01 00:00:00.000 when the machine starts.
    TimePoint base = std::chrono::sys_days{std::chrono::year{2026} / 1 / 1};
    ULONGLONG baseAt = 0; // the virtual clock's time when `base` was set
};

WallClock& wall()
{
    return Part<WallClock>();
}

std::optional<TimePoint> FromSystemTime(const SYSTEMTIME& t)
{
    using namespace std::chrono;
    year_month_day date{year{t.wYear}, month{t.wMonth}, day{t.wDay}};
    if (!date.ok() || t.wYear < 1601 || t.wYear > 30827 || t.wHour > 23 || t.wMinute > 59 || t.wSecond > 59 ||
        t.wMilliseconds > 999)
        return std::nullopt;
    return sys_days{date} + hours{t.wHour} + minutes{t.wMinute} + seconds{t.wSecond} + Ms{t.wMilliseconds};
}

SYSTEMTIME ToSystemTime(TimePoint p)
{
    using namespace std::chrono;
    auto days = floor<std::chrono::days>(p);
    year_month_day date{days};
    hh_mm_ss time{p - days};
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(static_cast<int>(date.year()));
    t.wMonth = static_cast<WORD>(static_cast<unsigned>(date.month()));
    t.wDay = static_cast<WORD>(static_cast<unsigned>(date.day()));
    t.wDayOfWeek = static_cast<WORD>(weekday{days}.c_encoding());
    t.wHour = static_cast<WORD>(time.hours().count());
    t.wMinute = static_cast<WORD>(time.minutes().count());
    t.wSecond = static_cast<WORD>(time.seconds().count());
    t.wMilliseconds = static_cast<WORD>(time.subseconds().count());
    return t;
}

SYSTEMTIME Now()
{
    std::lock_guard g(StateLock());
    const WallClock& w = wall();
    return ToSystemTime(w.base + Ms{static_cast<long long>(Clock() - w.baseAt)});
}

bool Set(const SYSTEMTIME& t)
{
    auto p = FromSystemTime(t);
    if (!p)
        return false;
    std::lock_guard g(StateLock());
    wall().base = *p;
    wall().baseAt = Clock();
    return true;
}
} // namespace

namespace sim
{
bool VirtualClock::SetLocalTime(const SYSTEMTIME& now)
{
    return Set(now);
}
} // namespace sim

void WINAPI GetLocalTime(LPSYSTEMTIME time)
{
    if (time)
        *time = Now();
}

void WINAPI GetSystemTime(LPSYSTEMTIME time)
{
    if (time)
        *time = Now();
}

BOOL WINAPI SetLocalTime(const SYSTEMTIME* time)
{
    if (!time || !Set(*time))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}
