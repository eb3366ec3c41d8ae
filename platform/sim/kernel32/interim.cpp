// Until the machine has a settable clock: local time starts at a fixed moment and moves with the
// machine's clock.
#include "core/internal.h"

#include <chrono>

using namespace sim;
using namespace sim::detail;

void WINAPI GetLocalTime(LPSYSTEMTIME time)
{
    if (!time)
        return;
    using namespace std::chrono;
    // 2024-01-02 03:04:05.000 when the machine starts.
    constexpr sys_days kStartDay = year{2024} / January / 2;
    auto now = sys_time<milliseconds>(kStartDay) + hours(3) + minutes(4) + seconds(5) +
               milliseconds(machine().Now());
    sys_days day = floor<days>(now);
    year_month_day ymd(day);
    hh_mm_ss clock(now - day);
    time->wYear = static_cast<WORD>(static_cast<int>(ymd.year()));
    time->wMonth = static_cast<WORD>(static_cast<unsigned>(ymd.month()));
    time->wDay = static_cast<WORD>(static_cast<unsigned>(ymd.day()));
    time->wDayOfWeek = static_cast<WORD>(weekday(day).c_encoding());
    time->wHour = static_cast<WORD>(clock.hours().count());
    time->wMinute = static_cast<WORD>(clock.minutes().count());
    time->wSecond = static_cast<WORD>(clock.seconds().count());
    time->wMilliseconds = static_cast<WORD>(clock.subseconds().count());
}
