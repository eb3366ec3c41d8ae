#include <gtest/gtest.h>

#include "preview_plan.h"

#include <algorithm>
#include <map>
#include <set>

using namespace velmoui;

namespace
{
// Extents of the bitmaps at 96 dpi as the module draws them.
SIZE Natural(UINT id)
{
    static const std::map<UINT, SIZE> sizes = {
        {228, {120, 150}}, {229, {80, 110}}, {230, {110, 80}}, {231, {24, 24}},  {232, {24, 24}},
        {233, {24, 24}},   {234, {24, 24}},  {250, {110, 80}}, {251, {110, 80}}, {252, {80, 110}},
        {253, {80, 110}},  {284, {400, 16}}, {285, {32, 16}},  {286, {80, 110}}, {287, {80, 110}},
        {288, {80, 110}},  {289, {80, 110}},
    };
    auto it = sizes.find(id);
    return it == sizes.end() ? SIZE{} : it->second;
}

std::vector<std::pair<int, int>> Cells(const NupGrid& g)
{
    std::vector<std::pair<int, int>> out;
    for (POINT p : g.cells)
        out.emplace_back(static_cast<int>(p.x), static_cast<int>(p.y));
    return out;
}

TEST(PreviewPlan, NupGridsPlaceEachTileByOrderAndSheetShape)
{
    using C = std::vector<std::pair<int, int>>;
    struct Case
    {
        LONG pages, order;
        bool wide;
        int rows, columns;
        C cells; // of the first tiles, column and row
    } cases[] = {
        {1, 1, false, 1, 1, {{0, 0}}},
        {2, 1, true, 1, 2, {{0, 0}, {1, 0}}},
        {2, 4, true, 1, 2, {{1, 0}, {0, 0}}},
        {2, 1, false, 2, 1, {{0, 0}, {0, 1}}},
        {4, 1, false, 2, 2, {{0, 0}, {1, 0}, {0, 1}, {1, 1}}},
        {4, 2, false, 2, 2, {{0, 0}, {0, 1}, {1, 0}, {1, 1}}},
        {4, 4, false, 2, 2, {{1, 0}, {0, 0}, {1, 1}, {0, 1}}},
        {4, 8, false, 2, 2, {{1, 0}, {1, 1}, {0, 0}, {0, 1}}},
        {6, 2, true, 2, 3, {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}, {2, 1}}},
        {6, 8, false, 3, 2, {{1, 0}, {1, 1}, {1, 2}, {0, 0}, {0, 1}, {0, 2}}},
        {8, 4, true, 2, 4, {{3, 0}, {2, 0}, {1, 0}, {0, 0}, {3, 1}}},
        {8, 1, false, 4, 2, {{0, 0}, {1, 0}, {0, 1}}},
        {9, 8, false, 3, 3, {{2, 0}, {2, 1}, {2, 2}, {1, 0}}},
        {16, 2, true, 4, 4, {{0, 0}, {0, 1}, {0, 2}, {0, 3}, {1, 0}}},
        {25, 4, false, 5, 5, {{4, 0}, {3, 0}, {2, 0}, {1, 0}, {0, 0}, {4, 1}}},
    };
    for (const Case& c : cases)
    {
        NupGrid g = NupGridOf(c.pages, c.order, c.wide);
        SCOPED_TRACE(::testing::Message()
                     << c.pages << " pages, order " << c.order << (c.wide ? " wide" : ""));
        EXPECT_EQ(g.rows, c.rows);
        EXPECT_EQ(g.columns, c.columns);
        C got = Cells(g);
        ASSERT_GE(got.size(), c.cells.size());
        EXPECT_EQ(C(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(c.cells.size())), c.cells);
    }
    for (LONG none : {0L, 3L, 5L, 12L, 36L, -4L})
        EXPECT_TRUE(NupGridOf(none, 1, false).cells.empty()) << none;
}

TEST(PreviewPlan, EveryGridFillsEachCellOnce)
{
    for (LONG pages : {2L, 4L, 6L, 8L, 9L, 16L, 25L})
        for (LONG order : {1L, 2L, 4L, 8L})
            for (bool wide : {false, true})
            {
                NupGrid g = NupGridOf(pages, order, wide);
                ASSERT_EQ(g.rows * g.columns, pages);
                std::set<std::pair<int, int>> seen;
                for (POINT p : g.cells)
                {
                    EXPECT_TRUE(p.x >= 0 && p.x < g.columns && p.y >= 0 && p.y < g.rows);
                    seen.emplace(static_cast<int>(p.x), static_cast<int>(p.y));
                }
                EXPECT_EQ(seen.size(), static_cast<size_t>(pages)) << pages << " pages, order " << order;
            }
}

// The bitmaps a plan draws after the background, in order.
std::vector<UINT> Pictures(const PreviewPlan& plan)
{
    std::vector<UINT> out;
    for (size_t i = 1; i < plan.layers.size(); ++i)
        out.push_back(plan.layers[i].bitmap);
    return out;
}

TEST(PreviewPlan, PicturesFollowThePageModeOrientationAndRotation)
{
    using P = std::vector<UINT>;
    auto in = [](LONG mode, LONG pages, LONG orientation) {
        PreviewInput i;
        i.layoutMode = mode;
        i.pagesPerSheet = pages;
        i.orientation = orientation;
        return i;
    };
    const LONG portrait = DMORIENT_PORTRAIT, landscape = DMORIENT_LANDSCAPE;
    EXPECT_EQ(Pictures(PlanPreview(in(1, 1, portrait), Natural, 96)), P{229});
    EXPECT_EQ(Pictures(PlanPreview(in(1, 1, landscape), Natural, 96)), P{230});
    EXPECT_EQ(Pictures(PlanPreview(in(16, 2, portrait), Natural, 96)), P{229}) << "scaling: no grid";
    // Two pages side by side turn the sheet; four do not.
    EXPECT_EQ(Pictures(PlanPreview(in(4, 2, portrait), Natural, 96)), (P{230, 284, 284}));
    EXPECT_EQ(Pictures(PlanPreview(in(4, 2, landscape), Natural, 96)), (P{229, 284, 284}));
    EXPECT_EQ(Pictures(PlanPreview(in(2, 4, portrait), Natural, 96)), (P{229, 285, 285, 285, 285}));
    EXPECT_EQ(Pictures(PlanPreview(in(4, 3, portrait), Natural, 96)), P{229}) << "a count without a grid";

    PreviewInput booklet = in(8, 1, portrait);
    EXPECT_EQ(Pictures(PlanPreview(booklet, Natural, 96)), (P{230, 250}));
    booklet.bookletOpening = 1;
    booklet.rotate180 = true;
    EXPECT_EQ(Pictures(PlanPreview(booklet, Natural, 96)), (P{230, 251, 234}));
    booklet.orientation = landscape;
    EXPECT_EQ(Pictures(PlanPreview(booklet, Natural, 96)), (P{229, 253, 233}));

    PreviewInput rotated = in(1, 1, portrait);
    rotated.rotate180 = true;
    EXPECT_EQ(Pictures(PlanPreview(rotated, Natural, 96)), (P{229, 231}));

    PreviewInput graphics = in(4, 4, landscape);
    graphics.graphicsPage = true;
    for (auto [type, picture] : {std::pair{0L, 286u}, {1L, 287u}, {2L, 288u}, {3L, 289u}, {9L, 287u}})
    {
        graphics.documentType = type;
        EXPECT_EQ(Pictures(PlanPreview(graphics, Natural, 96)), P{picture}) << type;
    }

    // Without a background nothing is drawn; without a sheet only the background.
    EXPECT_TRUE(PlanPreview(
                    in(1, 1, portrait), [](UINT) { return SIZE{}; }, 96)
                    .layers.empty());
    auto onlyBackground = [](UINT id) { return id == 228 ? SIZE{120, 150} : SIZE{}; };
    EXPECT_EQ(PlanPreview(in(4, 4, portrait), onlyBackground, 96).layers.size(), 1u);
}

TEST(PreviewPlan, TilesLandInTheirCellsAtEveryDpi)
{
    PreviewInput in;
    in.layoutMode = 4;
    in.pagesPerSheet = 4;
    in.nupOrder = 4; // right to left
    struct Case
    {
        UINT dpi;
        SIZE picture;
        LONG tile;
        LONG inset;
    } cases[] = {{96, {120, 150}, 16, 2}, {120, {150, 188}, 20, 3}, {144, {180, 225}, 24, 3}};
    for (const Case& c : cases)
    {
        PreviewPlan plan = PlanPreview(in, Natural, c.dpi);
        SCOPED_TRACE(c.dpi);
        EXPECT_EQ(plan.size.cx, c.picture.cx);
        EXPECT_EQ(plan.size.cy, c.picture.cy);
        ASSERT_EQ(plan.layers.size(), 6u);
        RECT sheet = plan.layers[1].at;
        EXPECT_EQ(sheet.right - sheet.left, ScaledExtent(80, c.dpi));
        EXPECT_EQ(sheet.left, (c.picture.cx - ScaledExtent(80, c.dpi)) / 2) << "centred";
        LONG cellW = (sheet.right - sheet.left) / 2, cellH = (sheet.bottom - sheet.top) / 2;
        const POINT cells[] = {{1, 0}, {0, 0}, {1, 1}, {0, 1}};
        for (int i = 0; i < 4; ++i)
        {
            const PreviewLayer& t = plan.layers[static_cast<size_t>(2 + i)];
            EXPECT_TRUE(t.transparent);
            EXPECT_EQ(t.at.left, sheet.left + cells[i].x * cellW + c.inset) << i;
            EXPECT_EQ(t.at.top, sheet.top + cells[i].y * cellH + c.inset) << i;
            EXPECT_EQ(t.at.right - t.at.left, c.tile);
            EXPECT_EQ(t.from.left, i * c.tile) << "tile i of the strip";
        }
    }
}

TEST(PreviewPlan, ThePictureIsScaledByTheScreenAndCentred)
{
    EXPECT_EQ(ScaledExtent(150, 96), 150);
    EXPECT_EQ(ScaledExtent(150, 72), 150) << "never shrunk";
    EXPECT_EQ(ScaledExtent(150, 120), 188);
    EXPECT_EQ(ScaledExtent(16, 120), 20);
    RECT control{0, 0, 200, 250};
    RECT at96 = PreviewTarget(control, {120, 150}, 96, 96);
    EXPECT_EQ(at96.left, 40);
    EXPECT_EQ(at96.top, 50);
    EXPECT_EQ(at96.right, 160);
    RECT at144 = PreviewTarget(control, {120, 150}, 144, 144);
    EXPECT_EQ(at144.left, 10);
    EXPECT_EQ(at144.top, 12);
    EXPECT_EQ(at144.right - at144.left, 180);
    EXPECT_EQ(at144.bottom - at144.top, 225);
}
} // namespace
