// The user's locale as programs read it: the decimal separator and the user's languages.
#include "core/faults.h"
#include "core/internal.h"
#include "core/state.h"
#include "user32/desktop_internal.h"

#include <sim/machine.h>

using namespace sim;
using namespace sim::detail;

namespace
{
struct LocaleInfo : PartBase
{
    WString decimal = u".";
};
} // namespace

void sim::Machine::SetDecimalSeparator(WStringView separator)
{
    std::lock_guard g(StateLock());
    Part<LocaleInfo>().decimal = WString(separator);
}

int WINAPI GetLocaleInfoW(LCID, LCTYPE type, LPWSTR data, int size)
{
    SIM_FAULT_POINT("GetLocaleInfoW", 0);
    if (type != LOCALE_SDECIMAL || size < 0 || (size > 0 && !data))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    WString value;
    {
        std::lock_guard g(StateLock());
        value = Part<LocaleInfo>().decimal;
    }
    int need = static_cast<int>(value.size()) + 1;
    if (size == 0)
        return need;
    if (size < need)
    {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::copy(value.begin(), value.end(), data);
    data[value.size()] = 0;
    return need;
}

// The languages live with the desktop, whose test API sets them.
LANGID WINAPI GetUserDefaultUILanguage()
{
    std::lock_guard g(Desk().mu);
    return Desk().uiLanguage;
}

LANGID WINAPI GetUserDefaultLangID()
{
    std::lock_guard g(Desk().mu);
    return Desk().userLanguage;
}

LCID WINAPI GetUserDefaultLCID()
{
    return GetUserDefaultLangID();
}
