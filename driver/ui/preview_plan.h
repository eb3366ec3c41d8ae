// The preview picture of the document pages as a plan, without windows: which bitmaps go where on
// the background, the N-up grid's cells and the scale for the screen's DPI. The painter only
// carries it out.
#pragma once

#include "page_common.h"

#include <functional>
#include <vector>

namespace velmoui
{

inline constexpr UINT kBitmapBackground = 228;
inline constexpr UINT kBitmapSheetMatching = 229; // the layout's orientation is the page's
inline constexpr UINT kBitmapSheetOther = 230;
inline constexpr UINT kBitmapRotation = 231;     // 231..234
inline constexpr UINT kBitmapBooklet = 250;      // 250..253
inline constexpr UINT kBitmapTilesCombine = 284; // N-up: a numbered tile per page
inline constexpr UINT kBitmapTilesSplit = 285;
inline constexpr UINT kBitmapDocument = 286; // 286..289 by document type
inline constexpr COLORREF kTileKey = RGB(255, 0, 255);

// What the preview shows, read from the working record.
struct PreviewInput
{
    bool graphicsPage = false;
    LONG documentType = 1;
    LONG orientation = DMORIENT_PORTRAIT;
    LONG layoutMode = 1;
    LONG pagesPerSheet = 1;
    LONG nupOrder = 1;
    LONG bookletOpening = 0;
    bool rotate180 = false;
};
PreviewInput PreviewInputOf(const SettingsRecord& r, bool graphicsPage);

// The orientation the layout prints in: landscape for 2, 6 or 8 pages per sheet in modes 2 and 4
// and for booklets.
LONG EffectiveOrientation(const PreviewInput& in);

// A bitmap's extent at `dpi`: reloaded as (dpi * size + 48) / 96 above 96 dpi.
LONG ScaledExtent(LONG size, UINT dpi);

struct NupGrid
{
    int rows = 0;
    int columns = 0;
    std::vector<POINT> cells; // column and row of tile i
};
// The grid of P pages per sheet in `order` (1, 2, 4, 8); empty for a count without one.
NupGrid NupGridOf(LONG pages, LONG order, bool sheetWiderThanTall);

struct PreviewLayer
{
    UINT bitmap = 0;
    RECT at{};                // on the composed picture
    RECT from{};              // part of the bitmap; empty: all of it
    bool transparent = false; // keyed on kTileKey
};

struct PreviewPlan
{
    SIZE size{};                      // the composed picture: the background at the screen's DPI
    std::vector<PreviewLayer> layers; // the background first
};

// Extents of the bitmaps at 96 dpi, by id (a missing one is {0, 0} and is left out).
using BitmapExtent = std::function<SIZE(UINT bitmap)>;
PreviewPlan PlanPreview(const PreviewInput& in, const BitmapExtent& natural, UINT dpi);

// Where the composed picture goes in the control: scaled by dpi / 96 and centred.
RECT PreviewTarget(const RECT& control, SIZE natural, UINT dpiX, UINT dpiY);

} // namespace velmoui
