#include <gtest/gtest.h>

#include <sim/engine_print.h>
#include <sim/machine.h>
#include <sim/spooler.h>
#include <testing/duplicator.h>
#include <testing/stream_decoder.h>

#include "enable.h"
#include "page_flow.h"
#include "pdev.h"

#include <bit>
#include <cstring>
#include <functional>
#include <string>

using namespace velmoq7;
using namespace streamtest;

namespace
{
const WCHAR* kPrinter = u"Duplicator";

void AddPrinter(const WCHAR* model)
{
    printtest::InstallDuplicator(kPrinter, model);
}

// 300-dpi A4 model without options; drawn at half size unless a test says otherwise.
constexpr const WCHAR* kSmallModel = u"KORIGRAPH DX-1300";
// 600-dpi A3 model with duplex and the finishing options.
constexpr const WCHAR* kDuplexModel = u"KORIGRAPH Driver";

velmo::SelfDMode Settings(const WCHAR* model, const std::function<void(velmo::SelfDMode&)>& edit = {})
{
    AddPrinter(model);
    velmo::SelfDMode s;
    velmo::_UdcResetSelfDMode(s, kPrinter, model);
    s.zoom = 50;
    s.halftoneOn = 0; // line art: black is a dot, white is none
    if (edit)
        edit(s);
    return s;
}

// What no DEVMODE carries is set on every PDEV before its surface exists.
void OnEveryPdev(std::function<void(velmo::SelfDMode&)> edit)
{
    sim::engine().OnPdevEnabled([edit](DHPDEV dhpdev) {
        if (PDev* pdev = CfgQueryMyDeviceQuiet(dhpdev))
            edit(*pdev->settings);
    });
}

void Unbanded()
{
    OnEveryPdev([](velmo::SelfDMode& s) {
        s.bandingStartNo = 1;
        s.forceBanding = 0;
    });
}

using Drawing = std::function<void(sim::PrintDC&)>;

std::vector<Record> Records(const std::string& stream)
{
    std::string error;
    auto records = ReadStream(stream, error);
    EXPECT_TRUE(records) << error;
    return records.value_or(std::vector<Record>{});
}

std::vector<PageImageBits> PagesOf(const std::vector<Record>& records)
{
    std::string error;
    auto pages = Pages(records, error);
    EXPECT_TRUE(pages) << error;
    return pages.value_or(std::vector<PageImageBits>{});
}

// One job of one page through the engine; the printer's output.
std::string PrintPage(const velmo::SelfDMode& s, const Drawing& draw, SIZEL* drawn = nullptr)
{
    auto dc = sim::PrintDC::Create(kPrinter, &s.dm);
    EXPECT_TRUE(dc);
    if (!dc)
        return {};
    if (drawn)
        *drawn = dc->PageSize();
    EXPECT_TRUE(dc->StartDoc(u"test"));
    EXPECT_TRUE(dc->StartPage());
    draw(*dc);
    EXPECT_TRUE(dc->EndPage());
    EXPECT_TRUE(dc->EndDoc());
    dc.reset();
    EXPECT_TRUE(sim::engine().Outstanding().empty());
    return sim::spooler().Output(kPrinter);
}

RECTL Bounds(const PageImageBits& page, size_t& dots)
{
    RECTL r{0x7FFFFFFF, 0x7FFFFFFF, -1, -1};
    dots = 0;
    for (size_t y = 0; y < page.lines.size(); ++y)
        for (size_t x = 0; x < page.bytesPerLine * 8u; ++x)
            if (page.Dot(x, y))
            {
                ++dots;
                r.left = std::min<LONG>(r.left, static_cast<LONG>(x));
                r.top = std::min<LONG>(r.top, static_cast<LONG>(y));
                r.right = std::max<LONG>(r.right, static_cast<LONG>(x) + 1);
                r.bottom = std::max<LONG>(r.bottom, static_cast<LONG>(y) + 1);
            }
    return r;
}

void ExpectRect(const RECTL& got, const RECTL& want)
{
    EXPECT_EQ(got.left, want.left);
    EXPECT_EQ(got.top, want.top);
    EXPECT_EQ(got.right, want.right);
    EXPECT_EQ(got.bottom, want.bottom);
}

void TestPage(sim::PrintDC& dc)
{
    const SIZEL size = dc.PageSize();
    dc.TextOut({40, 40}, u"Band flow 123", RGB(0, 0, 0), 3);
    dc.Rectangle({20, 20, size.cx - 20, size.cy - 20}, RGB(0, 0, 0), 3);
    dc.LineTo({20, 200}, {size.cx - 20, 260}, RGB(0, 0, 0));
    dc.FillRect({100, 300, 400, 330}, RGB(0, 0, 0));
    dc.Polygon({{500, 400}, {700, 420}, {600, 600}}, RGB(0, 0, 0));
    sim::Bitmap ramp(256, 1);
    for (LONG x = 0; x < 256; ++x)
        ramp.Set(x, 0, RGB(x, x, x));
    dc.StretchBlt({50, 700, size.cx - 50, 900}, ramp, {0, 0, 256, 1}, COLORONCOLOR);
}
} // namespace

TEST(PageFlow, BandedAndUnbandedPagesGiveTheSameRecordsAndLines)
{
    auto s = Settings(kSmallModel, [](velmo::SelfDMode& r) { r.halftoneOn = 1; });
    SIZEL drawn{};
    const std::string banded = PrintPage(s, TestPage, &drawn);
    sim::machine().Reset();
    s = Settings(kSmallModel, [](velmo::SelfDMode& r) { r.halftoneOn = 1; });
    Unbanded();
    const std::string whole = PrintPage(s, TestPage);

    const auto a = Records(banded), b = Records(whole);
    auto withoutSubBands = [](const std::vector<Record>& rs) {
        std::vector<Record> out;
        for (const auto& r : rs)
            if (r.type != '"')
                out.push_back(r);
        return out;
    };
    const auto pa = withoutSubBands(a), pb = withoutSubBands(b);
    EXPECT_EQ(Types(pa), std::string(",&( !#'"));
    ASSERT_EQ(Types(pa), Types(pb));
    for (size_t i = 0; i < pa.size(); ++i)
        EXPECT_EQ(pa[i].payload, pb[i].payload) << pa[i].type;
    // Banded pages end every band with its own shorter sub-band.
    EXPECT_GT(a.size(), b.size());

    const auto imageA = PagesOf(a), imageB = PagesOf(b);
    ASSERT_EQ(imageA.size(), 1u);
    ASSERT_EQ(imageB.size(), 1u);
    EXPECT_EQ(imageA[0].lines.size(), static_cast<size_t>(drawn.cy));
    EXPECT_EQ(imageA[0].lines, imageB[0].lines);
    size_t dots = 0;
    Bounds(imageA[0], dots);
    EXPECT_GT(dots, 1000u); // the drawing is there
}

TEST(PageFlow, BlankPageSendsAllItsLinesAsZeros)
{
    SIZEL drawn{};
    auto s = Settings(kSmallModel);
    const auto records = Records(PrintPage(
        s, [](sim::PrintDC&) {}, &drawn));
    const auto pages = PagesOf(records);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].lines.size(), static_cast<size_t>(drawn.cy));
    EXPECT_EQ(pages[0].bytesPerLine, ((drawn.cx + 31) >> 3) & 0xFFFC);
    size_t dots = 0;
    Bounds(pages[0], dots);
    EXPECT_EQ(dots, 0u);
}

// A black mark drawn near the top left of the page, read back from the image for each band code.
TEST(PageFlow, AsymmetricMarkLandsWhereEachBandCodePutsIt)
{
    struct Case
    {
        const char* name;
        LONG orientation;
        LONG rotate;
        LONG code;
    } cases[] = {
        {"portrait", DMORIENT_PORTRAIT, 0, kBandTopDown},
        {"portrait turned", DMORIENT_PORTRAIT, 1, kBandBottomUp},
        {"landscape", DMORIENT_LANDSCAPE, 0, kBandRightToLeft},
        {"landscape turned", DMORIENT_LANDSCAPE, 1, kBandLeftToRight},
    };
    const RECTL mark{30, 10, 70, 25}; // wider than high, off every axis
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        sim::machine().Reset();
        auto s = Settings(kSmallModel, [&](velmo::SelfDMode& r) {
            r.dm.dmOrientation = static_cast<short>(c.orientation);
            r.rotate = c.rotate;
        });
        LONG code = 0;
        sim::engine().OnPdevEnabled([&](DHPDEV d) { code = CfgQueryMyDeviceQuiet(d)->band.code; });
        SIZEL drawn{};
        const auto pages = PagesOf(Records(PrintPage(
            s, [&](sim::PrintDC& dc) { dc.FillRect(mark, RGB(0, 0, 0)); }, &drawn)));
        ASSERT_EQ(code, c.code);
        ASSERT_EQ(pages.size(), 1u);
        const LONG pad = pages[0].bytesPerLine * 8;
        RECTL want{};
        switch (c.code)
        {
        case kBandTopDown:
            want = mark;
            break;
        case kBandBottomUp: // turned by 180 degrees, the padding of each line included
            want = {pad - mark.right, drawn.cy - mark.bottom, pad - mark.left, drawn.cy - mark.top};
            break;
        case kBandRightToLeft: // columns from the right, each from the top
            want = {mark.top, drawn.cx - mark.right, mark.bottom, drawn.cx - mark.left};
            break;
        case kBandLeftToRight: // columns from the left, each from the bottom
            want = {drawn.cy - mark.bottom, mark.left, drawn.cy - mark.top, mark.right};
            break;
        }
        size_t dots = 0;
        ExpectRect(Bounds(pages[0], dots), want);
        EXPECT_EQ(dots, static_cast<size_t>((mark.right - mark.left) * (mark.bottom - mark.top)));
        const size_t lines = c.code == kBandTopDown || c.code == kBandBottomUp ? drawn.cy : drawn.cx;
        EXPECT_EQ(pages[0].lines.size(), lines);
    }
}

TEST(PageFlow, PageLargerThanTheLargestPaperIsCroppedOnBothSides)
{
    // A5 at 200 % on a 300-dpi A4 model: the drawn page is wider and longer than A4's printable area.
    auto s = Settings(kSmallModel, [](velmo::SelfDMode& r) {
        r.zoom = 200;
        r.dm.dmPaperSize = 11;
    });
    SIZEL drawn{};
    const POINTL centre{1700, 2400};
    const auto pages = PagesOf(Records(PrintPage(
        s,
        [&](sim::PrintDC& dc) {
            dc.FillRect({0, 0, 8, 8}, RGB(0, 0, 0)); // the corner lies outside what is printed
            dc.FillRect({centre.x, centre.y, centre.x + 20, centre.y + 10}, RGB(0, 0, 0));
        },
        &drawn)));
    ASSERT_EQ(pages.size(), 1u);
    ASSERT_GT(drawn.cx, 3000);
    const LONG width = pages[0].bytesPerLine * 8; // the image width rounded up to 32 pixels
    const LONG lines = static_cast<LONG>(pages[0].lines.size());
    EXPECT_LT(width, drawn.cx);
    EXPECT_LT(lines, drawn.cy);
    EXPECT_GT(lines, drawn.cy / 2);
    // Cropped evenly: the mark keeps its place relative to the centre of the drawn page.
    size_t dots = 0;
    const RECTL got = Bounds(pages[0], dots);
    EXPECT_EQ(dots, 200u);
    const LONG firstLine = (drawn.cy - lines) / 2;
    EXPECT_EQ(got.top, centre.y - firstLine);
    const LONG firstPixel = centre.x - got.left;
    EXPECT_LE(std::abs((drawn.cx - 2 * firstPixel) - width), 32);
}

TEST(PageFlow, SubBandsAreCutAfterTheLineThatPasses32768Bytes)
{
    auto s = Settings(kDuplexModel, [](velmo::SelfDMode& r) {
        r.zoom = 100;
        r.dm.dmPaperSize = 8;
    });
    Unbanded();
    auto dc = sim::PrintDC::Create(kPrinter, &s.dm);
    ASSERT_TRUE(dc);
    ASSERT_TRUE(dc->StartDoc(u"cut"));
    ASSERT_TRUE(dc->StartPage());
    SURFOBJ* surface = dc->Surface();
    PDev& pdev = *CfgQueryMyDeviceQuiet(surface->dhpdev);
    ASSERT_GE(pdev.page.printableWidthPx, 4960);
    // A band of 600 lines of 620 bytes.
    pdev.flow.image.lineLength = 4960;
    pdev.flow.image.bytesPerLine = 620;
    pdev.flow.image.firstPixel = 0;
    pdev.flow.image.firstLine = 0;
    pdev.flow.image.lineCount = 600;
    pdev.flow.image.drawnCount = 600;
    ASSERT_TRUE(_UdgSendPageMemory(pdev, *surface, BandRect{0, 0, 4960, 600}));
    ASSERT_TRUE(render::RtgWriteSpoolFlash(*pdev.spool));
    const auto records = Records(sim::spooler().Output(kPrinter));
    std::vector<std::pair<int, int>> cuts;
    for (const auto& r : records)
        if (r.type == '"')
        {
            cuts.emplace_back(r.firstLine, r.lineCount);
            EXPECT_EQ(r.data, Bytes(size_t{r.lineCount} * 620, 0));
        }
    ASSERT_EQ(cuts.size(), 12u);
    for (int i = 0; i < 11; ++i)
        EXPECT_EQ(cuts[i], std::make_pair(i * 53, 53));
    EXPECT_EQ(cuts[11], std::make_pair(583, 17));
}

namespace
{
struct TwoPages
{
    std::vector<Record> records;
    std::vector<Record> layouts;
    int jobStarts = 0;
};

using ResetOrder = sim::PrintDC::ResetOrder;
constexpr ResetOrder kResetOrders[] = {ResetOrder::SurfaceAfterReset, ResetOrder::SurfaceBeforeReset};

const char* Name(ResetOrder order)
{
    return order == ResetOrder::SurfaceAfterReset ? "new surface after the reset"
                                                  : "new surface before the reset";
}

TwoPages PrintTwoPages(const velmo::SelfDMode& first, const velmo::SelfDMode& second, ResetOrder order)
{
    auto dc = sim::PrintDC::Create(kPrinter, &first.dm);
    EXPECT_TRUE(dc);
    if (!dc)
        return {};
    EXPECT_TRUE(dc->StartDoc(u"two"));
    EXPECT_TRUE(dc->StartPage());
    dc->FillRect({10, 10, 20, 20}, RGB(0, 0, 0));
    EXPECT_TRUE(dc->EndPage());
    EXPECT_TRUE(dc->ResetDC(&second.dm, order));
    EXPECT_TRUE(dc->StartPage());
    EXPECT_TRUE(dc->EndPage());
    EXPECT_TRUE(dc->EndDoc());
    dc.reset();
    EXPECT_TRUE(sim::engine().Outstanding().empty());
    TwoPages out;
    out.records = Records(sim::spooler().Output(kPrinter));
    for (const auto& r : out.records)
    {
        out.jobStarts += r.type == ',';
        if (r.type == '(')
            out.layouts.push_back(r);
    }
    return out;
}
} // namespace

// Whichever order the engine replaces the PDEV in, the job is handed over the same way.
TEST(PageFlow, ResetThatOnlyTurnsThePageKeepsTheJob)
{
    auto duplex = [](velmo::SelfDMode& r) {
        r.dm.dmFields |= DM_DUPLEX;
        r.dm.dmDuplex = DMDUP_VERTICAL;
        r.dm.dmPaperSize = 9;
    };
    std::vector<std::string> streams;
    for (ResetOrder order : kResetOrders)
    {
        SCOPED_TRACE(Name(order));
        sim::machine().Reset();
        const auto portrait = Settings(kDuplexModel, duplex);
        const auto landscape = Settings(kDuplexModel, [&](velmo::SelfDMode& r) {
            duplex(r);
            r.dm.dmOrientation = DMORIENT_LANDSCAPE;
        });
        const TwoPages turned = PrintTwoPages(portrait, landscape, order);
        streams.push_back(sim::spooler().Output(kPrinter));
        EXPECT_EQ(turned.jobStarts, 1);
        ASSERT_EQ(turned.layouts.size(), 2u);
        EXPECT_EQ(turned.layouts[0].payload[0], 0x01);
        EXPECT_EQ(turned.layouts[1].payload[0], 0x05); // the duplex count goes on
        EXPECT_EQ(Types(turned.records).back(), '\'');

        sim::machine().Reset();
        const auto a4 = Settings(kDuplexModel, duplex);
        const auto a3 = Settings(kDuplexModel, [&](velmo::SelfDMode& r) {
            duplex(r);
            r.dm.dmPaperSize = 8;
        });
        const TwoPages changed = PrintTwoPages(a4, a3, order);
        streams.push_back(sim::spooler().Output(kPrinter));
        EXPECT_EQ(changed.jobStarts, 2);
        ASSERT_EQ(changed.layouts.size(), 2u);
        EXPECT_EQ(changed.layouts[1].payload[0], 0x01); // a new job counts its duplex pages afresh
        const std::string types = Types(changed.records);
        EXPECT_EQ(types.find(','), 0u);
        EXPECT_EQ(std::count(types.begin(), types.end(), '#'), 2);
        EXPECT_EQ(std::count(types.begin(), types.end(), '\''), 1);
    }
    ASSERT_EQ(streams.size(), 4u);
    EXPECT_EQ(streams[0], streams[2]);
    EXPECT_EQ(streams[1], streams[3]);
}

TEST(PageFlow, RefusedDuplexJobsPrintNothing)
{
    struct Case
    {
        const char* name;
        short paper;
        short copies;
        LONG sets;
        bool printed;
    } cases[] = {
        {"A5", 11, 1, 1, false},
        {"100 copies x 6 sets", 9, 100, 6, false},
        {"50 copies x 10 sets", 9, 50, 10, true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        sim::machine().Reset();
        auto s = Settings(kDuplexModel, [&](velmo::SelfDMode& r) {
            r.dm.dmFields |= DM_DUPLEX | DM_COPIES;
            r.dm.dmDuplex = DMDUP_VERTICAL;
            r.dm.dmPaperSize = c.paper;
            r.dm.dmCopies = c.copies;
            r.sets = c.sets;
        });
        const std::string out = PrintPage(s, [](sim::PrintDC& dc) { dc.FillRect({0, 0, 50, 50}, 0); });
        EXPECT_EQ(out.empty(), !c.printed);
    }
}

TEST(PageFlow, RefusalIsDecidedAgainOnTheReplacingPdev)
{
    for (ResetOrder order : kResetOrders)
    {
        SCOPED_TRACE(Name(order));
        sim::machine().Reset();
        auto refused = Settings(kDuplexModel, [](velmo::SelfDMode& r) {
            r.dm.dmFields |= DM_DUPLEX;
            r.dm.dmDuplex = DMDUP_VERTICAL;
            r.dm.dmPaperSize = 11;
        });
        auto simplex = Settings(kDuplexModel, [](velmo::SelfDMode& r) { r.dm.dmPaperSize = 11; });
        const TwoPages job = PrintTwoPages(refused, simplex, order);
        // The first page vanished with its job start; the second starts the job again.
        EXPECT_EQ(Types(job.records).substr(0, 5), ",&( !");
        EXPECT_EQ(job.jobStarts, 1);
        EXPECT_EQ(std::count_if(job.records.begin(), job.records.end(),
                                [](const Record& r) { return r.type == '#'; }),
                  1);
        EXPECT_EQ(Types(job.records).back(), '\'');
    }
}

TEST(PageFlow, CopyCountEscapeReachesThePageHeader)
{
    auto s = Settings(kSmallModel);
    const auto records = Records(PrintPage(s, [](sim::PrintDC& dc) {
        const DWORD copies = 25;
        DWORD inForce = 0;
        EXPECT_EQ(dc.Escape(SETCOPYCOUNT, sizeof copies, &copies, sizeof inForce, &inForce), 1u);
        EXPECT_EQ(inForce, 25u);
        const WORD asked = SETCOPYCOUNT;
        EXPECT_EQ(dc.Escape(QUERYESCSUPPORT, sizeof asked, &asked, 0, nullptr), 1u);
    }));
    auto header = std::find_if(records.begin(), records.end(), [](const Record& r) { return r.type == '!'; });
    ASSERT_NE(header, records.end());
    EXPECT_EQ(Le16At(header->payload, 2), 25);
}

TEST(PageFlow, FailedSpoolWriteAbandonsTheJob)
{
    auto s = Settings(kSmallModel);
    auto dc = sim::PrintDC::Create(kPrinter, &s.dm);
    ASSERT_TRUE(dc);
    ASSERT_TRUE(dc->StartDoc(u"fail"));
    ASSERT_TRUE(dc->StartPage());
    dc->FillRect({0, 0, 100, 100}, RGB(0, 0, 0));
    sim::faults().FailNext("EngWritePrinter", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_FALSE(dc->EndPage());
    EXPECT_FALSE(dc->StartPage());
    EXPECT_FALSE(dc->EndDoc());
    EXPECT_TRUE(sim::spooler().Output(kPrinter).empty());
}

// The conversion sees the image's lines numbered in the order they are sent, whichever way the page is
// walked: a uniform gray page dithers or diffuses to the same image portrait and turned either way.
TEST(PageFlow, TurnedPagesNumberTheirLinesInImageOrder)
{
    struct Method
    {
        const char* name;
        LONG ditherIndex;
        LONG errorDiffusionMethod;
    } methods[] = {{"ordered dither", 1, 0}, {"four-neighbour diffusion", 3, 1}};
    struct Turn
    {
        LONG orientation;
        LONG rotate;
    } turns[] = {{DMORIENT_PORTRAIT, 0}, {DMORIENT_LANDSCAPE, 0}, {DMORIENT_LANDSCAPE, 1}};
    for (const Method& m : methods)
    {
        SCOPED_TRACE(m.name);
        std::vector<std::vector<Bytes>> images;
        for (const Turn& t : turns)
        {
            sim::machine().Reset();
            auto s = Settings(kSmallModel, [&](velmo::SelfDMode& r) {
                r.halftoneOn = 1;
                r.dm.dmOrientation = static_cast<short>(t.orientation);
                r.rotate = t.rotate;
            });
            OnEveryPdev([&](velmo::SelfDMode& r) {
                r.ditherIndex = m.ditherIndex;
                r.ErrorDiffusionMethod = m.errorDiffusionMethod;
            });
            const auto pages = PagesOf(Records(PrintPage(s, [](sim::PrintDC& dc) {
                const SIZEL size = dc.PageSize();
                dc.FillRect({0, 0, size.cx, size.cy}, RGB(128, 128, 128));
            })));
            ASSERT_EQ(pages.size(), 1u);
            images.push_back(pages[0].lines);
        }
        size_t dots = 0;
        for (const auto& line : images[0])
            for (BYTE b : line)
                dots += std::popcount(b);
        EXPECT_GT(dots, images[0].size() * 8); // gray, neither white nor black
        EXPECT_TRUE(images[0] == images[1]) << "turned one way";
        EXPECT_TRUE(images[0] == images[2]) << "turned the other way";
    }
}

// An application that ends its document with a page still open gets a stream whose page is closed
// before the job ends, whichever way the page is drawn.
TEST(PageFlow, EndingTheDocumentClosesAnOpenPage)
{
    for (bool banded : {false, true})
    {
        SCOPED_TRACE(banded ? "banded" : "unbanded");
        sim::machine().Reset();
        auto s = Settings(kSmallModel);
        if (!banded)
            Unbanded();
        auto dc = sim::PrintDC::Create(kPrinter, &s.dm);
        ASSERT_TRUE(dc);
        ASSERT_TRUE(dc->StartDoc(u"open"));
        ASSERT_TRUE(dc->StartPage());
        dc->FillRect({0, 0, 40, 40}, RGB(0, 0, 0));
        if (banded)
        {
            // The engine has started sending the page's bands when the application ends the document.
            SURFOBJ* surface = dc->Surface();
            POINTL origin{};
            ASSERT_TRUE(DrvStartBanding(surface, &origin));
            ASSERT_TRUE(DrvNextBand(surface, &origin));
            ASSERT_NE(origin.y, -1);
        }
        EXPECT_TRUE(dc->EndDoc());
        dc.reset();
        const auto records = Records(sim::spooler().Output(kPrinter));
        EXPECT_EQ(Types(records).substr(0, 5), ",&( !");
        const std::string types = Types(records);
        ASSERT_GE(types.size(), 2u);
        EXPECT_EQ(types.substr(types.size() - 2), "#'");
        EXPECT_EQ(std::count(types.begin(), types.end(), '#'), 1);
    }
}

// The duplex copy limit holds for the copy count in force when each page is sent, however late the
// application changes it.
TEST(PageFlow, CopyCountEscapeIsHeldToTheDuplexLimit)
{
    struct Case
    {
        const char* name;
        int escapeBeforePage; // 0: before the first page, 1: between the pages
        DWORD copies;
        bool refused;
    } cases[] = {
        {"600 before the first page", 0, 600, true},
        {"600 after the first page", 1, 600, true},
        {"400 after the first page", 1, 400, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        sim::machine().Reset();
        auto s = Settings(kDuplexModel, [](velmo::SelfDMode& r) {
            r.dm.dmFields |= DM_DUPLEX;
            r.dm.dmDuplex = DMDUP_VERTICAL;
            r.dm.dmPaperSize = 9;
        });
        auto dc = sim::PrintDC::Create(kPrinter, &s.dm);
        ASSERT_TRUE(dc);
        ASSERT_TRUE(dc->StartDoc(u"copies"));
        BOOL ok = TRUE;
        for (int page = 0; page < 2; ++page)
        {
            if (page == c.escapeBeforePage)
            {
                EXPECT_EQ(dc->Escape(SETCOPYCOUNT, sizeof c.copies, &c.copies, 0, nullptr), 1u);
            }
            ok = ok && dc->StartPage();
            dc->FillRect({0, 0, 40, 40}, RGB(0, 0, 0));
            ok = ok && dc->EndPage();
        }
        ok = dc->EndDoc() && ok;
        dc.reset();
        const auto records = Records(sim::spooler().Output(kPrinter));
        int headers = 0;
        for (const auto& r : records)
            if (r.type == '!')
            {
                ++headers;
                EXPECT_NE(Le16At(r.payload, 2), c.copies > 500 ? c.copies : 0u);
            }
        if (!c.refused)
        {
            EXPECT_TRUE(ok);
            EXPECT_EQ(headers, 2);
        }
        else if (c.escapeBeforePage == 0)
        {
            EXPECT_TRUE(ok); // refused before anything went out: the job vanishes quietly
            EXPECT_TRUE(records.empty());
        }
        else
        {
            EXPECT_FALSE(ok); // the first page is out already: the job is abandoned
            EXPECT_EQ(headers, 1);
        }
    }
}

// A stored default whose largest paper is out of range cannot turn the cropping off: a custom paper two
// metres long is held to the model's largest one, and every line keeps its own number.
TEST(PageFlow, StoredDefaultsCannotLiftTheLargestPaper)
{
    velmo::SelfDMode stored;
    velmo::_UdcResetSelfDMode(stored, kPrinter, kDuplexModel);
    stored.paperId = velmo::kCustomPaperId;
    stored.customWidth = 1000;
    stored.customHeight = 20000;
    stored.zoom = 200;
    stored.halftoneOn = 0;
    stored.maxPaperWidth = 0x7FFFFFF0;
    stored.maxPaperHeight = 0x7FFFFFF0;
    velmo::_UdcUpdateCmnDModeArea(stored, kPrinter);
    std::vector<BYTE> devMode(velmo::kDevModeSize);
    std::memcpy(devMode.data(), &stored, devMode.size());
    printtest::InstallDuplicator(kPrinter, kDuplexModel, devMode);
    std::vector<BYTE> block(velmo::kPrinterBlockSize);
    std::memcpy(block.data(), &stored.printer, block.size());
    sim::spooler().SetPrinterData(kPrinter, u"Private DevMode", REG_BINARY, block);

    // The application brings no DEVMODE of its own: the printer's defaults are the job's settings.
    auto dc = sim::PrintDC::Create(kPrinter, nullptr);
    ASSERT_TRUE(dc);
    const SIZEL drawn = dc->PageSize();
    ASSERT_TRUE(dc->StartDoc(u"long"));
    ASSERT_TRUE(dc->StartPage());
    ASSERT_TRUE(dc->EndPage());
    ASSERT_TRUE(dc->EndDoc());
    dc.reset();
    const auto pages = PagesOf(Records(sim::spooler().Output(kPrinter)));
    ASSERT_EQ(pages.size(), 1u);
    // The custom paper is held to the largest, 431.8 mm, and the page cut to it less its margins at
    // 600 dpi: drawn at twice that, printed at it.
    EXPECT_LT(drawn.cy, 2 * 10300);
    EXPECT_LT(pages[0].lines.size(), 10300u);
    EXPECT_GT(pages[0].lines.size(), 9900u);
}
