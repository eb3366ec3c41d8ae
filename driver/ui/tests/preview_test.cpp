#include <gtest/gtest.h>

#include "preview_painter.h"
#include "ui_fixture.h"

#include <platform/winddiui.h>
#include <sim/machine.h>
#include <sim/spooler.h>

using namespace velmoui;
using namespace velmoui_test;

namespace
{
constexpr COLORREF kFace = RGB(240, 240, 240); // COLOR_BTNFACE
constexpr COLORREF kFrame = RGB(70, 76, 84);   // the edge of the background and the tiles

class Preview : public UiDllTest
{
protected:
    void SetUp() override
    {
        UiDllTest::SetUp();
        if (HasFatalFailure())
            return;
        screen = GetDC(nullptr);
        canvas = CreateCompatibleDC(screen);
        picture = CreateCompatibleBitmap(screen, kWidth, kHeight);
        old = SelectObject(canvas, picture);
    }
    void TearDown() override
    {
        SelectObject(canvas, old);
        DeleteObject(picture);
        DeleteDC(canvas);
        ReleaseDC(nullptr, screen);
        UiDllTest::TearDown();
    }

    void SetDpi(UINT dpi)
    {
        sim::MonitorSetup display;
        display.dpi = dpi;
        sim::desktop().SetMonitors({display});
    }

    // Paints the input as the page's WM_DRAWITEM does, into a control of kWidth x kHeight.
    void Paint(const PreviewInput& in)
    {
        DRAWITEMSTRUCT item{};
        item.CtlType = ODT_STATIC;
        item.CtlID = kPreview;
        item.itemAction = ODA_DRAWENTIRE;
        item.hDC = canvas;
        item.rcItem = RECT{0, 0, kWidth, kHeight};
        PaintPreview(reinterpret_cast<HINSTANCE>(module), item, in);
    }

    SIZE Natural(UINT id)
    {
        auto b = static_cast<HBITMAP>(
            LoadImageW(reinterpret_cast<HINSTANCE>(module), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, 0));
        BITMAP info{};
        if (b)
            GetObjectW(b, sizeof info, &info);
        DeleteObject(b);
        return SIZE{info.bmWidth, info.bmHeight};
    }

    static constexpr int kWidth = 200;
    static constexpr int kHeight = 250;
    HDC screen = nullptr;
    HDC canvas = nullptr;
    HBITMAP picture = nullptr;
    HGDIOBJ old = nullptr;
};

PreviewInput FourUp()
{
    PreviewInput in;
    in.layoutMode = 4;
    in.pagesPerSheet = 4;
    in.nupOrder = 8; // right to left, down first
    return in;
}

TEST_F(Preview, EachNumberedTileIsDrawnInItsCellOverTheSheet)
{
    SetDpi(96);
    sim::GdiCounts before = sim::CountGdi();
    Paint(FourUp());
    EXPECT_EQ(sim::CountGdi(), before) << "every DC and bitmap of the paint is freed";

    PreviewPlan plan = PlanPreview(
        FourUp(), [&](UINT id) { return Natural(id); }, 96);
    RECT target = PreviewTarget(RECT{0, 0, kWidth, kHeight}, Natural(kBitmapBackground), 96, 96);
    ASSERT_EQ(plan.layers.size(), 6u);

    // The strip's pixels, to compare each tile with what was painted.
    auto strip = static_cast<HBITMAP>(LoadImageW(
        reinterpret_cast<HINSTANCE>(module), MAKEINTRESOURCEW(kBitmapTilesCombine), IMAGE_BITMAP, 0, 0, 0));
    HDC stripDc = CreateCompatibleDC(screen);
    HGDIOBJ stripOld = SelectObject(stripDc, strip);
    const RECT sheet = plan.layers[1].at;
    const LONG cellW = (sheet.right - sheet.left) / 2, cellH = (sheet.bottom - sheet.top) / 2;
    const POINT cells[] = {{1, 0}, {1, 1}, {0, 0}, {0, 1}}; // order 8 on a 2 x 2 grid
    for (int i = 0; i < 4; ++i)
    {
        const PreviewLayer& tile = plan.layers[static_cast<size_t>(2 + i)];
        ASSERT_EQ(tile.bitmap, kBitmapTilesCombine);
        LONG size = tile.at.right - tile.at.left;
        LONG cellLeft = target.left + sheet.left + cells[i].x * cellW;
        LONG cellTop = target.top + sheet.top + cells[i].y * cellH;
        int inked = 0;
        for (LONG y = 0; y < size; ++y)
            for (LONG x = 0; x < size; ++x)
            {
                COLORREF want = GetPixel(stripDc, i * size + x, y);
                if (want == kTileKey)
                    continue;
                ++inked;
                ASSERT_EQ(GetPixel(canvas, cellLeft + 2 + x, cellTop + 2 + y), want)
                    << "tile " << i << " at " << x << ", " << y;
            }
        EXPECT_GT(inked, 0);
        // Keyed out: the sheet shows through the tile's corner.
        EXPECT_EQ(GetPixel(canvas, cellLeft + 2, cellTop + 2), RGB(250, 250, 246)) << i;
    }
    SelectObject(stripDc, stripOld);
    DeleteDC(stripDc);
    DeleteObject(strip);
}

TEST_F(Preview, ThePictureGrowsWithTheScreenAndStaysCentred)
{
    for (auto [dpi, width, height] : {std::tuple{96u, 120L, 150L}, {120u, 150L, 188L}, {144u, 180L, 225L}})
    {
        SetDpi(dpi);
        Paint(PreviewInput{});
        LONG left = (kWidth - width) / 2, top = (kHeight - height) / 2;
        SCOPED_TRACE(dpi);
        EXPECT_EQ(GetPixel(canvas, left, top), kFrame);
        EXPECT_EQ(GetPixel(canvas, left + width - 1, top + height - 1), kFrame);
        EXPECT_EQ(GetPixel(canvas, left - 1, top), kFace);
        EXPECT_EQ(GetPixel(canvas, left + width, top + height), kFace);
    }
}

TEST_F(Preview, AFailingDrawingCallLeavesThePlainControlAndNothingBehind)
{
    SetDpi(120);
    sim::GdiCounts before = sim::CountGdi();
    struct Fault
    {
        const char* api;
        int skip;
    } faults[] = {{"CreateCompatibleDC", 0}, {"CreateCompatibleDC", 1}, {"CreateCompatibleBitmap", 0},
                  {"LoadImageW", 0},         {"LoadImageW", 1},         {"LoadImageW", 3}};
    for (const Fault& f : faults)
    {
        RECT all{0, 0, kWidth, kHeight};
        FillRect(canvas, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        sim::faults().FailNext(f.api, ERROR_NOT_ENOUGH_MEMORY, 1, f.skip);
        Paint(FourUp());
        SCOPED_TRACE(::testing::Message() << f.api << " after " << f.skip);
        EXPECT_EQ(sim::CountGdi(), before);
        EXPECT_EQ(GetPixel(canvas, 0, 0), kFace) << "the control is cleared";
    }
}

// The pages draw their preview through WM_DRAWITEM; a change on the page draws it again.
TEST_F(Preview, DocumentPagesDrawThePreviewAndRedrawItOnAChange)
{
    SetDpi(96);
    HANDLE printer = AddPrinter(kPrinterName, u"KORIGRAPH DX-2660");
    std::vector<BYTE> out(2944);
    DocumentSheet(printer, kPrinterName, out, nullptr, DM_PROMPT | DM_COPY, [&] {
        auto& d = sim::desktop();
        HWND sheet = d.TopWindow(u"Properties");
        ASSERT_NE(sheet, nullptr);
        HWND tabs = d.FindControl(sheet, u"SysTabControl32");
        HWND paperPreview = d.Control(GetParent(d.Control(sheet, 1104)), kPreview);
        sim::Picture paper = sim::Drawn(paperPreview);
        ASSERT_FALSE(paper.Empty());
        EXPECT_EQ(paper.At(paper.width / 2, paper.height / 2), RGB(250, 250, 246)) << "the sheet";

        EXPECT_TRUE(d.Pick(tabs, 1));
        HWND layout = GetParent(d.Control(sheet, 1202));
        HWND layoutPreview = d.Control(layout, kPreview);
        auto reds = [&] {
            sim::Picture shown = sim::Drawn(layoutPreview);
            return std::count(shown.pixels.begin(), shown.pixels.end(), RGB(200, 40, 40));
        };
        ASSERT_FALSE(sim::Drawn(layoutPreview).Empty());
        EXPECT_EQ(reds(), 0);
        EXPECT_TRUE(d.SetCheck(d.Control(layout, 1202), true)); // 180 degrees
        EXPECT_GT(reds(), 0) << "the rotation overlay";
        EXPECT_TRUE(d.Click(d.Control(sheet, IDCANCEL)));
    });
}
} // namespace
