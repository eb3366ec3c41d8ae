// Painting: a window's device contexts; nothing else is drawn, but an update reaches the owner-drawn
// controls that show it.
#include "user32/desktop_internal.h"
#include "gdi/objects.h"
#include "user32/owner_draw.h"

using namespace sim;
using namespace sim::detail;

BOOL WINAPI UpdateWindow(HWND window)
{
    std::lock_guard g(Desk().mu);
    return WindowOrErrorLocked(window) ? TRUE : FALSE;
}

BOOL WINAPI InvalidateRect(HWND window, const RECT*, BOOL)
{
    if (!window)
        return TRUE;
    if (!IsWindow(window))
    {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    SchedulePaint(window);
    return TRUE;
}

HDC WINAPI BeginPaint(HWND window, LPPAINTSTRUCT paint)
{
    if (!paint)
        return nullptr;
    *paint = PAINTSTRUCT{};
    paint->hdc = GetDC(window);
    GetClientRect(window, &paint->rcPaint);
    return paint->hdc;
}

BOOL WINAPI EndPaint(HWND window, const PAINTSTRUCT* paint)
{
    if (paint && paint->hdc)
        ReleaseDC(window, paint->hdc);
    return TRUE;
}

BOOL WINAPI RedrawWindow(HWND window, const RECT*, HRGN, UINT)
{
    if (window && !IsWindow(window))
    {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return TRUE; // nothing is drawn: what a user sees is read from the windows' state
}

HDC WINAPI GetDC(HWND window)
{
    if (window && !IsWindow(window))
    {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    auto context = std::make_shared<DeviceContext>();
    context->window = window;
    context->font = static_cast<HFONT>(StockGdiObject(SYSTEM_FONT));
    return AddDeviceContext(std::move(context));
}

int WINAPI ReleaseDC(HWND, HDC dc)
{
    auto context = FindDeviceContext(dc);
    if (!context || context->memory) // a memory DC is DeleteDC's
        return 0;
    return RemoveDeviceContext(dc) ? 1 : 0;
}
