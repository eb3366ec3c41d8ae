// Until the machine has per-process environments and a settable clock: the variables every
// process of this machine sees, and local time that starts at a fixed moment and moves with the
// machine's clock.
#include "core/internal.h"

#include <array>
#include <chrono>
#include <utility>

using namespace sim;
using namespace sim::detail;

namespace
{
constexpr std::array<std::pair<WStringView, WStringView>, 12> kVariables = {{
    {u"SystemDrive", u"C:"},
    {u"SystemRoot", u"C:\\Windows"},
    {u"windir", u"C:\\Windows"},
    {u"ProgramFiles", u"C:\\Program Files"},
    {u"ProgramData", u"C:\\ProgramData"},
    {u"ALLUSERSPROFILE", u"C:\\ProgramData"},
    {u"USERPROFILE", u"C:\\Users\\User"},
    {u"APPDATA", u"C:\\Users\\User\\AppData\\Roaming"},
    {u"LOCALAPPDATA", u"C:\\Users\\User\\AppData\\Local"},
    {u"TEMP", u"C:\\Users\\User\\AppData\\Local\\Temp"},
    {u"TMP", u"C:\\Users\\User\\AppData\\Local\\Temp"},
    {u"USERNAME", u"User"},
}};
} // namespace

DWORD WINAPI ExpandEnvironmentStringsW(LPCWSTR source, LPWSTR destination, DWORD size)
{
    if (!source)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    WStringView in(source);
    WString out;
    for (size_t i = 0; i < in.size();)
    {
        size_t end = in[i] == u'%' ? in.find(u'%', i + 1) : WStringView::npos;
        if (end == WStringView::npos)
        {
            out += in[i++];
            continue;
        }
        WStringView name = in.substr(i + 1, end - i - 1);
        const WStringView* value = nullptr;
        for (const auto& [n, v] : kVariables)
            if (EqualNoCase(n, name))
                value = &v;
        if (value)
        {
            out += *value;
            i = end + 1;
        }
        else // an unknown name stays as written, and its closing % may open the next one
        {
            out += in.substr(i, end - i);
            i = end;
        }
    }
    if (destination && size > out.size())
        std::copy(out.c_str(), out.c_str() + out.size() + 1, destination);
    return static_cast<DWORD>(out.size() + 1);
}

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
