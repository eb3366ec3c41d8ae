#include <gtest/gtest.h>

#include <sim/engine_print.h>
#include <sim/machine.h>
#include <testing/duplicator.h>

#include "enable.h"
#include "pdev.h"

#include <cstring>
#include <functional>

using namespace velmoq7;

namespace
{
const WCHAR* kPrinter = u"Duplicator";

// A device context drawn in one piece, so each drawing call reaches the engine once.
std::unique_ptr<sim::PrintDC> OpenDc()
{
    printtest::InstallDuplicator(kPrinter, u"KORIGRAPH DX-1300");
    velmo::SelfDMode s;
    velmo::_UdcResetSelfDMode(s, kPrinter, u"KORIGRAPH DX-1300");
    s.zoom = 50;
    sim::engine().OnPdevEnabled([](DHPDEV d) { CfgQueryMyDeviceQuiet(d)->settings->bandingStartNo = 1; });
    auto dc = sim::PrintDC::Create(kPrinter, &s.dm);
    if (dc)
        sim::engine().RecordDrawing(true);
    return dc;
}

sim::Bitmap Checker(LONG w, LONG h)
{
    sim::Bitmap b(w, h);
    for (LONG y = 0; y < h; ++y)
        for (LONG x = 0; x < w; ++x)
            b.Set(x, y, (x + y) % 2 ? RGB(0, 0, 0) : RGB(255, 255, 255));
    return b;
}
} // namespace

TEST(DrawingHooks, EachHookHandsItsCallToTheEngineRoutineOfTheSameName)
{
    auto dc = OpenDc();
    ASSERT_TRUE(dc);
    ASSERT_FALSE(dc->Banding());
    sim::Bitmap bitmap = Checker(8, 8);
    struct Case
    {
        const char* engine;
        std::function<BOOL()> draw;
    } cases[] = {
        {"EngBitBlt",
         [&] {
             return dc->FillRect({1, 2, 30, 40}, RGB(0, 0, 0));
         }},
        {"EngBitBlt",
         [&] {
             return dc->BitBlt({5, 5, 13, 13}, bitmap, {0, 0});
         }},
        {"EngPaint",
         [&] {
             return dc->Paint({0, 0, 10, 10}, RGB(10, 20, 30));
         }},
        {"EngLineTo",
         [&] {
             return dc->LineTo({0, 0}, {50, 9}, RGB(0, 0, 0));
         }},
        {"EngStrokePath",
         [&] {
             return dc->Rectangle({3, 3, 60, 60}, RGB(0, 0, 0), 2);
         }},
        {"EngFillPath",
         [&] {
             return dc->Polygon({{0, 0}, {20, 0}, {10, 20}}, RGB(0, 0, 0));
         }},
        {"EngTextOut",
         [&] {
             return dc->TextOut({4, 4}, u"Hi", RGB(0, 0, 0), 2);
         }},
        {"EngStrokeAndFillPath",
         [&] {
             sim::SimPath path;
             path.figures.push_back({{{0, 0}, {9, 0}, {9, 9}}, true});
             BRUSHOBJ pen{}, fill{};
             return DrvStrokeAndFillPath(dc->Surface(), &path, nullptr, nullptr, &pen, nullptr, &fill,
                                         nullptr, 0x0D0D, 0);
         }},
    };
    SURFOBJ* surface = dc->Surface();
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.engine);
        sim::engine().RecordDrawing(true);
        ASSERT_TRUE(c.draw());
        const auto calls = sim::engine().DrawingCalls();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].name, c.engine);
        EXPECT_EQ(calls[0].dst, surface);
    }
    // The arguments arrive as given: the destination rectangle and the raster operation of a fill.
    sim::engine().RecordDrawing(true);
    ASSERT_TRUE(dc->FillRect({1, 2, 30, 40}, RGB(0, 0, 0)));
    const auto fill = sim::engine().DrawingCalls().at(0);
    EXPECT_EQ(fill.rop, 0xF0F0u);
    EXPECT_EQ(fill.dstRect.left, 1);
    EXPECT_EQ(fill.dstRect.bottom, 40);
}

TEST(DrawingHooks, StretchesAreHalftonedWithTheJobsColourAdjustment)
{
    auto dc = OpenDc();
    ASSERT_TRUE(dc);
    const PDev& pdev = *CfgQueryMyDeviceQuiet(dc->Surface()->dhpdev);
    sim::Bitmap bitmap = Checker(16, 16);
    ASSERT_TRUE(dc->StretchBlt({0, 0, 64, 64}, bitmap, {0, 0, 16, 16}, COLORONCOLOR));
    auto calls = sim::engine().DrawingCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].name, "EngStretchBlt");
    EXPECT_EQ(calls[0].mode, ULONG{HALFTONE});
    ASSERT_TRUE(calls[0].hasColorAdjustment);
    EXPECT_EQ(
        std::memcmp(&calls[0].colorAdjustment, &pdev.settings->colorAdjustment, sizeof(COLORADJUSTMENT)), 0);

    // A caller's own colour adjustment is kept.
    COLORADJUSTMENT own = pdev.settings->colorAdjustment;
    own.caContrast = 42;
    RECTL to{0, 0, 8, 8}, from{0, 0, 16, 16};
    sim::engine().RecordDrawing(true);
    ASSERT_TRUE(DrvStretchBlt(dc->Surface(), bitmap.Object(), nullptr, nullptr, nullptr, &own, nullptr, &to,
                              &from, nullptr, COLORONCOLOR));
    calls = sim::engine().DrawingCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].mode, ULONG{HALFTONE});
    EXPECT_EQ(calls[0].colorAdjustment.caContrast, 42);
}

TEST(DrawingHooks, CopyToThePageBecomesASameSizeStretchCutToTheSource)
{
    auto dc = OpenDc();
    ASSERT_TRUE(dc);
    sim::Bitmap bitmap = Checker(20, 10);
    // The destination asks for 30 x 10 pixels from x 5: only 15 columns of source exist there.
    ASSERT_TRUE(dc->CopyBits({100, 50, 130, 60}, bitmap, {5, 0}));
    const auto calls = sim::engine().DrawingCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].name, "EngStretchBlt");
    EXPECT_EQ(calls[0].mode, ULONG{HALFTONE});
    EXPECT_TRUE(calls[0].hasColorAdjustment);
    EXPECT_EQ(calls[0].srcRect.left, 5);
    EXPECT_EQ(calls[0].srcRect.right, 20);
    EXPECT_EQ(calls[0].dstRect.left, 100);
    EXPECT_EQ(calls[0].dstRect.right, 115);
    EXPECT_EQ(calls[0].dstRect.bottom - calls[0].dstRect.top, calls[0].srcRect.bottom - calls[0].srcRect.top);
    // Same size: the checker arrives pixel for pixel.
    const SURFOBJ* s = dc->Surface();
    auto pixel = [&](LONG x, LONG y) { return static_cast<const BYTE*>(s->pvScan0)[y * s->lDelta + 3 * x]; };
    EXPECT_EQ(pixel(100, 50), 0); // source (5, 0) is black
    EXPECT_EQ(pixel(101, 50), 255);
    EXPECT_EQ(pixel(116, 50), 255); // past the source: untouched paper
}

TEST(DrawingHooks, AMemoryBitmapDestinationPassesThroughUnchanged)
{
    auto dc = OpenDc();
    ASSERT_TRUE(dc);
    sim::Bitmap target(32, 32), source = Checker(8, 8);
    RECTL to{0, 0, 8, 8}, from{0, 0, 8, 8};
    POINTL at{0, 0};
    ASSERT_TRUE(DrvStretchBlt(target.Object(), source.Object(), nullptr, nullptr, nullptr, nullptr, nullptr,
                              &to, &from, nullptr, COLORONCOLOR));
    ASSERT_TRUE(DrvCopyBits(target.Object(), source.Object(), nullptr, nullptr, &to, &at));
    const auto calls = sim::engine().DrawingCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].name, "EngStretchBlt");
    EXPECT_EQ(calls[0].mode, ULONG{COLORONCOLOR});
    EXPECT_FALSE(calls[0].hasColorAdjustment);
    EXPECT_EQ(calls[1].name, "EngCopyBits");
    EXPECT_EQ(calls[1].dst, target.Object());
    EXPECT_EQ(target.Row(0)[3], 0); // the checker's black pixel at (1, 0) was copied
}

TEST(DrawingHooks, GlyphModeAndFontQueries)
{
    auto dc = OpenDc();
    ASSERT_TRUE(dc);
    DHPDEV pdev = dc->Dc().pdev;
    EXPECT_EQ(DrvGetGlyphMode(pdev, nullptr), ULONG{FO_GLYPHBITS});
    EXPECT_EQ(DrvQueryFont(pdev, 0, 1, nullptr), nullptr);
    EXPECT_EQ(DrvQueryFontTree(pdev, 0, 1, 0, nullptr), nullptr);
    EXPECT_EQ(DrvQueryFontData(pdev, nullptr, 0, 0, nullptr, nullptr, 0), -1);
}
