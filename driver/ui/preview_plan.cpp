#include "preview_plan.h"

#include "page_models.h"

#include <algorithm>
#include <optional>

namespace velmoui
{
namespace
{
RECT Centred(const RECT& within, SIZE size)
{
    LONG left = within.left + (within.right - within.left - size.cx) / 2;
    LONG top = within.top + (within.bottom - within.top - size.cy) / 2;
    return RECT{left, top, left + size.cx, top + size.cy};
}

SIZE Scaled(SIZE size, UINT dpi)
{
    return SIZE{ScaledExtent(size.cx, dpi), ScaledExtent(size.cy, dpi)};
}

bool Has(SIZE s)
{
    return s.cx > 0 && s.cy > 0;
}
} // namespace

PreviewInput PreviewInputOf(const SettingsRecord& r, bool graphicsPage)
{
    PreviewInput in;
    in.graphicsPage = graphicsPage;
    in.documentType = r.documentType;
    in.orientation = r.orientation == DMORIENT_LANDSCAPE ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
    in.layoutMode = r.layoutMode;
    in.pagesPerSheet = r.pagesPerSheet;
    in.nupOrder = r.nupOrder;
    in.bookletOpening = r.bookletOpening;
    in.rotate180 = r.rotate180 != 0;
    return in;
}

LONG EffectiveOrientation(const PreviewInput& in)
{
    bool nup = in.layoutMode == 2 || in.layoutMode == 4;
    LONG p = in.pagesPerSheet;
    if ((nup && (p == 2 || p == 6 || p == 8)) || in.layoutMode == 8)
        return DMORIENT_LANDSCAPE;
    return DMORIENT_PORTRAIT;
}

LONG ScaledExtent(LONG size, UINT dpi)
{
    if (dpi <= 96)
        return size;
    return static_cast<LONG>((static_cast<int64_t>(dpi) * size + 48) / 96);
}

NupGrid NupGridOf(LONG pages, LONG order, bool sheetWiderThanTall)
{
    int rows = 0;
    switch (pages)
    {
    case 1:
        rows = 1;
        break;
    case 2:
    case 4:
        rows = 2;
        break;
    case 6:
    case 9:
        rows = 3;
        break;
    case 8:
    case 16:
        rows = 4;
        break;
    case 25:
        rows = 5;
        break;
    default:
        return {};
    }
    int p = static_cast<int>(pages);
    if (sheetWiderThanTall)
        rows = p / rows;
    NupGrid grid{rows, p / rows, {}};
    const int r = grid.rows, c = grid.columns;
    for (int i = 0; i < p; ++i)
    {
        int t = i % (r * c);
        switch (order)
        {
        case 2:
            grid.cells.push_back(POINT{t / r, t % r});
            break;
        case 4:
            grid.cells.push_back(POINT{c - 1 - t % c, t / c});
            break;
        case 8:
            grid.cells.push_back(POINT{c - 1 - t / r, t % r});
            break;
        default: // 1, and anything the record should not hold
            grid.cells.push_back(POINT{t % c, t / c});
            break;
        }
    }
    return grid;
}

PreviewPlan PlanPreview(const PreviewInput& in, const BitmapExtent& natural, UINT dpi)
{
    PreviewPlan plan;
    SIZE background = natural(kBitmapBackground);
    if (!Has(background))
        return plan;
    plan.size = Scaled(background, dpi);
    RECT whole{0, 0, plan.size.cx, plan.size.cy};
    plan.layers.push_back(PreviewLayer{kBitmapBackground, whole, {}, false});
    auto add = [&](UINT id, const RECT& within) -> std::optional<RECT> {
        SIZE s = natural(id);
        if (!Has(s))
            return std::nullopt;
        RECT at = Centred(within, Scaled(s, dpi));
        plan.layers.push_back(PreviewLayer{id, at, {}, false});
        return at;
    };

    if (in.graphicsPage)
    {
        add(kBitmapDocument + static_cast<UINT>(DocumentTypeRow(in.documentType)), whole);
        return plan;
    }
    UINT sheetId = EffectiveOrientation(in) == in.orientation ? kBitmapSheetMatching : kBitmapSheetOther;
    std::optional<RECT> sheet = add(sheetId, whole);
    if (!sheet)
        return plan;
    bool wide = sheet->right - sheet->left > sheet->bottom - sheet->top;
    LONG inset = ScaledExtent(2, dpi);

    if (in.layoutMode == 8)
        add(kBitmapBooklet + (in.bookletOpening ? 1u : 0u) + (wide ? 0u : 2u), *sheet);
    else if (in.layoutMode == 2 || in.layoutMode == 4)
    {
        UINT stripId = in.layoutMode == 4 ? kBitmapTilesCombine : kBitmapTilesSplit;
        SIZE strip = Scaled(natural(stripId), dpi);
        NupGrid grid = NupGridOf(in.pagesPerSheet, in.nupOrder, wide);
        if (Has(strip) && !grid.cells.empty())
        {
            LONG tile = strip.cy;
            LONG tiles = std::max<LONG>(strip.cx / tile, 1);
            LONG cellW = (sheet->right - sheet->left) / grid.columns;
            LONG cellH = (sheet->bottom - sheet->top) / grid.rows;
            for (size_t i = 0; i < grid.cells.size(); ++i)
            {
                LONG n = in.layoutMode == 4 ? static_cast<LONG>(i) : static_cast<LONG>(i % 2);
                n = std::min(n, tiles - 1);
                LONG left = sheet->left + grid.cells[i].x * cellW + inset;
                LONG top = sheet->top + grid.cells[i].y * cellH + inset;
                plan.layers.push_back(PreviewLayer{stripId, RECT{left, top, left + tile, top + tile},
                                                   RECT{n * tile, 0, (n + 1) * tile, tile}, true});
            }
        }
    }
    if (in.rotate180)
    {
        UINT id = kBitmapRotation + (wide ? 1u : 0u) + (in.layoutMode == 8 ? 2u : 0u);
        SIZE s = Scaled(natural(id), dpi);
        if (Has(s))
            plan.layers.push_back(PreviewLayer{id,
                                               RECT{sheet->right - s.cx - inset, sheet->bottom - s.cy - inset,
                                                    sheet->right - inset, sheet->bottom - inset},
                                               {},
                                               true});
    }
    return plan;
}

RECT PreviewTarget(const RECT& control, SIZE natural, UINT dpiX, UINT dpiY)
{
    SIZE size{MulDiv(natural.cx, static_cast<int>(dpiX), 96), MulDiv(natural.cy, static_cast<int>(dpiY), 96)};
    return Centred(control, size);
}

} // namespace velmoui
