#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "halftone_tables.h"

using namespace velmoq7;

namespace
{

struct Curve
{
    const char* name;
    const GammaCurve* curve;
};

const Curve kCurves[] = {
    {"088", &g_Gamma088},     {"115", &g_Gamma115},   {"145", &g_Gamma145},   {"140M", &g_Gamma140M},
    {"170M", &g_Gamma170M},   {"210M", &g_Gamma210M}, {"220M", &g_Gamma220M}, {"250M", &g_Gamma250M},
    {"270M", &g_Gamma270M},   {"280M", &g_Gamma280M}, {"130A", &g_Gamma130A}, {"140A", &g_Gamma140A},
    {"150A", &g_Gamma150A},   {"160A", &g_Gamma160A}, {"180A", &g_Gamma180A}, {"190A", &g_Gamma190A},
    {"190AW", &g_Gamma190AW},
};

TEST(HalftoneTables, CurvesRiseMonotonicallyFromBlackToWhite)
{
    for (const Curve& c : kCurves)
    {
        SCOPED_TRACE(c.name);
        const GammaCurve& g = *c.curve;
        EXPECT_EQ(g.front(), 0);
        EXPECT_EQ(g.back(), 255);
        EXPECT_TRUE(std::is_sorted(g.begin(), g.end()));
        EXPECT_LE(*std::max_element(g.begin(), g.end()), 255);
    }
}

TEST(HalftoneTables, CurvesCorrectMoreWhereDotsGainMore)
{
    // A larger gamma lifts the mid-tones more: the finer screens of the higher resolutions.
    EXPECT_LT(g_Gamma130A[128], g_Gamma150A[128]);
    EXPECT_LT(g_Gamma150A[128], g_Gamma190A[128]);
    EXPECT_LT(g_Gamma140M[128], g_Gamma280M[128]);
    EXPECT_GT(g_Gamma190A[128], 128);
}

TEST(HalftoneTables, LegacyCurveEndsKeepTheirValues)
{
    const std::vector<int> head = {0, 0, 1, 1, 2, 2, 3, 4};
    const std::vector<int> tail = {251, 252, 253, 255};
    EXPECT_EQ(std::vector<int>(g_Gamma088.begin(), g_Gamma088.begin() + 8), head);
    EXPECT_EQ(std::vector<int>(g_Gamma088.end() - 4, g_Gamma088.end()), tail);
}

struct Matrix
{
    const char* name;
    DitherView view;
    int width, height;
    bool doubled; // every value twice along a row
};

const Matrix kMatrices[] = {
    {"4x4", View(g_Dither_4x4), 4, 4, false},
    {"6x6", View(g_Dither_6x6), 6, 6, false},
    {"8x8", View(g_Dither_8x8), 8, 8, false},
    {"10x10", View(g_Dither_10x10), 10, 10, false},
    {"12x12", View(g_Dither_12x12), 12, 12, false},
    {"14x14", View(g_Dither_14x14), 14, 14, false},
    {"4x8", View(g_Dither_4x8), 4, 8, false},
    {"6x12", View(g_Dither_6x12), 6, 12, false},
    {"8x16", View(g_Dither_8x16), 8, 16, false},
    {"10x20", View(g_Dither_10x20), 10, 20, false},
    {"8x8w", View(g_Dither_8x8w), 8, 8, true},
    {"12x12w", View(g_Dither_12x12w), 12, 12, true},
    {"16x16w", View(g_Dither_16x16w), 16, 16, true},
    {"6x7", View(g_Dither_6x7), 6, 7, false},
    {"8x10", View(g_Dither_8x10), 8, 10, false},
    {"10x12", View(g_Dither_10x12), 10, 12, false},
    {"So", View(g_Dither_So), 16, 16, false},
    {"Standard", View(g_Dither_Standard), 16, 16, false},
    {"Mitsu", View(g_Dither_Mitsu), 16, 16, false},
    {"8x8_45", View(g_Dither_8x8_45), 16, 16, false},
    {"4x4_Bayer", View(g_Dither_4x4_Bayer), 16, 16, false},
    {"4x4_Halftone", View(g_Dither_4x4_Halftone), 16, 16, false},
    {"4x8_45_36", View(g_Dither_4x8_45_36), 16, 16, false},
    {"4x8_Bayer_36", View(g_Dither_4x8_Bayer_36), 16, 16, false},
    {"4x8_Halftone_36", View(g_Dither_4x8_Halftone_36), 16, 16, false},
};

TEST(HalftoneTables, MatricesHaveTheirNamedShapeAndPrintAFlatGrayInProportion)
{
    for (const Matrix& m : kMatrices)
    {
        SCOPED_TRACE(m.name);
        ASSERT_EQ(m.view.width, m.width);
        ASSERT_EQ(m.view.height, m.height);
        const int n = m.width * m.height;
        std::vector<int> values(m.view.thresholds, m.view.thresholds + n);
        EXPECT_GE(*std::min_element(values.begin(), values.end()), 1) << "solid black leaves a cell white";
        EXPECT_EQ(*std::max_element(values.begin(), values.end()), 255) << "white must print no dot";
        // A flat gray g prints dots where threshold > g: the share must follow (255 - g) / 255 within one
        // step of the matrix's levels, or a ramp shows bands.
        std::vector<int> levels = values;
        std::sort(levels.begin(), levels.end());
        levels.erase(std::unique(levels.begin(), levels.end()), levels.end());
        const double slack = double(n) / double(levels.size());
        for (int g = 0; g <= 255; ++g)
        {
            const auto dots = std::count_if(values.begin(), values.end(), [&](int t) { return t > g; });
            EXPECT_NEAR(double(dots), n * (255 - g) / 255.0, slack) << "gray " << g;
        }
        for (int y = 0; m.doubled && y < m.height; ++y)
            for (int x = 0; x < m.width; x += 2)
            {
                EXPECT_EQ(m.view.At(x, y), m.view.At(x + 1, y)) << x << "," << y;
            }
    }
}

TEST(HalftoneTables, LegacyMatrixCellsKeepTheirValues)
{
    const std::vector<int> row10 = {112, 71, 51, 76, 117, 147, 188, 209, 183, 142};
    const std::vector<int> rowSo = {96, 64, 32, 120, 136, 176, 208, 144};
    EXPECT_EQ(std::vector<int>(g_Dither_10x10.thresholds.begin(), g_Dither_10x10.thresholds.begin() + 10),
              row10);
    EXPECT_EQ(std::vector<int>(g_Dither_So.begin(), g_Dither_So.begin() + 8), rowSo);
}

TEST(HalftoneTables, ClusteredScreensGrowCompactDotsAndDispersedOnesSpreadThem)
{
    // At a light gray a clustered screen's first dots touch each other; a dispersed screen's never do.
    auto touchingPairs = [](const DitherView& m, int g) {
        int pairs = 0;
        for (int y = 0; y < m.height; ++y)
            for (int x = 0; x < m.width; ++x)
                if (m.At(x, y) > g && m.At((x + 1) % m.width, y) > g)
                    ++pairs;
        return pairs;
    };
    EXPECT_GT(touchingPairs(View(g_Dither_10x10), 200), 0);
    EXPECT_GT(touchingPairs(View(g_Dither_4x4_Halftone), 190), 0);
    EXPECT_EQ(touchingPairs(View(g_Dither_Standard), 127), 0);
    EXPECT_EQ(touchingPairs(View(g_Dither_4x4_Bayer), 127), 0);
}

} // namespace
