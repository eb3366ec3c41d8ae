// Draws a preview plan into an owner-drawn control.
#pragma once

#include "preview_plan.h"

namespace velmoui
{

// Composes the picture in a memory DC from the module's bitmaps and stretches it into the item's
// rectangle; whatever fails leaves the control plain. Every GDI object made is freed.
void PaintPreview(HINSTANCE module, const DRAWITEMSTRUCT& item, const PreviewInput& in);

} // namespace velmoui
