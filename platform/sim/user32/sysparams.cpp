// System parameters in their wide form: the work area and the font of icon titles.
#include "user32/desktop_internal.h"

#include <algorithm>

using namespace sim;
using namespace sim::detail;

BOOL WINAPI SystemParametersInfoW(UINT action, UINT param, PVOID data, UINT winIni)
{
    if (action != SPI_GETICONTITLELOGFONT)
        return SystemParametersInfoA(action, param, data, winIni);
    if (!data || (param != 0 && param != sizeof(LOGFONTW)))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    LOGFONTW font{};
    font.lfHeight = -12;
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    constexpr WStringView kFace = u"Segoe UI";
    std::copy(kFace.begin(), kFace.end(), font.lfFaceName);
    *static_cast<LOGFONTW*>(data) = font;
    return TRUE;
}
