// Painting of owner-drawn controls (see owner_draw.cpp).
#pragma once

#include <platform/windows.h>

namespace sim::detail
{
// Posts one WM_PAINT to every shown owner-drawn control at or under `window` not already due one.
void SchedulePaint(HWND window);
// A control's WM_PAINT: asks its parent to draw it; false when it is not owner-drawn.
bool PaintOwnerDrawn(HWND window);
} // namespace sim::detail
