// System parameters (the work area, the font of icon titles) and the screen's metrics.
#include "user32/desktop_internal.h"

#include <algorithm>

using namespace sim;
using namespace sim::detail;

BOOL WINAPI SystemParametersInfoA(UINT action, UINT, PVOID data, UINT)
{
    if (action != SPI_GETWORKAREA || !data)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // The task bar takes the bottom of the one screen.
    *static_cast<RECT*>(data) = RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN) - 40};
    return TRUE;
}

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

int WINAPI GetSystemMetrics(int index)
{
    switch (index)
    {
    case SM_CXSCREEN:
    case SM_CXFULLSCREEN:
        return 1920;
    case SM_CYSCREEN:
        return 1080;
    case SM_CYFULLSCREEN:
        return 1017;
    case SM_CXICON:
    case SM_CYICON:
        return 32;
    case SM_CXSMICON:
    case SM_CYSMICON:
        return 16;
    case SM_SERVERR2:
        return sim::detail::ServerR2() ? 1 : 0;
    default:
        return 0;
    }
}
