// Pages printed through the driver on the simulated machine and read back through the reader: each page
// record holds what the driver wrote, and each page image equals the lines the driver sent, as the
// driver-side test decoder reads them from the printer's output.
#include <gtest/gtest.h>

#include <sim/engine_print.h>
#include <sim/machine.h>
#include <sim/spooler.h>
#include <testing/duplicator.h>
#include <testing/stream_decoder.h>
#include <testing/test_page.h>

#include "enable.h"
#include "mapped_file.h"
#include "page_render.h"
#include "pdev.h"
#include "print_scan.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <functional>
#include <string>

namespace printfile
{
namespace
{
const WCHAR* kPrinter = u"Duplicator";
const WCHAR* kFile = u"C:\\Jobs\\job.kgl";
const WCHAR* kBmp = u"C:\\Jobs\\page.bmp";

// The sheet as the reader names it.
struct SheetRead
{
    int id;
    int inchUnits;
    int width; // 0.1 mm
    int height;
    int orientation;
};

struct Case
{
    const char* name;
    const char* model;
    printtest::Halftone halftone;
    std::function<void(velmo::SelfDMode&)> settings;
    LONG bands; // 1: the page drawn in one surface; more: that many bands, banding forced
    // What the reader must make of it.
    LONG bandCode;
    SheetRead paper;
    int xDpi;
    int yDpi;
    int angle;
    int pages = 1;
    short copies = 1;
    LONG sets = 1;

    friend void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }
};

struct Printed
{
    std::string stream;
    LONG bandCode = 0;
};

Printed Print(const Case& c)
{
    sim::machine().Reset();
    const std::string narrow = c.model;
    const WString model(narrow.begin(), narrow.end());
    printtest::InstallDuplicator(kPrinter, model.c_str());

    velmo::SelfDMode s;
    velmo::_UdcResetSelfDMode(s, kPrinter, model.c_str());
    printtest::SetHalftone(s, c.halftone);
    s.dm.dmCopies = c.copies;
    s.sets = c.sets;
    c.settings(s);

    Printed out;
    const LONG kernel = printtest::DiffusionKernel(c.halftone);
    sim::engine().OnPdevEnabled([&](DHPDEV d) {
        velmoq7::PDev* pdev = velmoq7::CfgQueryMyDeviceQuiet(d);
        pdev->settings->ErrorDiffusionMethod = kernel;
        pdev->settings->bandingStartNo = c.bands;
        pdev->settings->forceBanding = c.bands > 1 ? 1 : 0;
        out.bandCode = pdev->band.code;
    });
    auto dc = sim::PrintDC::Create(kPrinter, &s.dm);
    EXPECT_TRUE(dc);
    if (!dc)
        return out;
    EXPECT_EQ(dc->Banding(), c.bands > 1);
    EXPECT_TRUE(dc->StartDoc(u"round trip"));
    for (int page = 1; page <= c.pages; ++page)
    {
        EXPECT_TRUE(dc->StartPage());
        printtest::DrawTestPage(*dc, std::string(c.name) + ", page " + std::to_string(page));
        EXPECT_TRUE(dc->EndPage());
    }
    EXPECT_TRUE(dc->EndDoc());
    dc.reset();
    sim::engine().OnPdevEnabled({});
    out.stream = sim::spooler().Output(kPrinter);
    return out;
}

size_t Dots(const std::vector<streamtest::Bytes>& lines)
{
    size_t dots = 0;
    for (const auto& line : lines)
        for (BYTE b : line)
            dots += static_cast<size_t>(std::popcount(b));
    return dots;
}

// The page image the reader decodes for `page` equals the lines the driver sent.
void ExpectImage(IByteView& view, const CPrintTicket& page, const streamtest::PageImageBits& image)
{
    std::vector<BandEntry> bands;
    ASSERT_EQ(CollectBands(view, page.dataOffset, bands), RenderError::None);
    PageImage decoded;
    ASSERT_EQ(DecodePageImage(page, bands, decoded), RenderError::None);
    ASSERT_EQ(decoded.stride, image.bytesPerLine);
    ASSERT_EQ(decoded.lines, image.lines.size());
    size_t differing = 0;
    for (size_t y = 0; y < decoded.lines; ++y)
        differing += !std::equal(image.lines[y].begin(), image.lines[y].end(),
                                 decoded.bits.begin() + static_cast<std::ptrdiff_t>(y * decoded.stride));
    EXPECT_EQ(differing, 0u) << "lines that differ from the driver's";
}

void ExpectReadBack(const Case& c)
{
    const Printed printed = Print(c);
    EXPECT_EQ(printed.bandCode, c.bandCode);
    std::string error;
    const auto records = streamtest::ReadStream(printed.stream, error);
    ASSERT_TRUE(records) << error;
    const auto sent = streamtest::Pages(*records, error);
    ASSERT_TRUE(sent) << error;
    std::vector<const streamtest::Record*> headers, layouts;
    for (const auto& r : *records)
        if (r.type == '!')
            headers.push_back(&r);
        else if (r.type == '(')
            layouts.push_back(&r);
    ASSERT_EQ(sent->size(), static_cast<size_t>(c.pages));
    ASSERT_EQ(headers.size(), sent->size());
    ASSERT_EQ(layouts.size(), sent->size());

    sim::files().Put(kFile, printed.stream);
    CMemoryMappedFile file;
    ASSERT_TRUE(file.Open(kFile));
    std::vector<CPrintTicket> tickets;
    ASSERT_EQ(ScanPrintFile(tickets, file), c.pages);
    MappedFileByteView view(file);
    for (int p = 0; p < c.pages; ++p)
    {
        SCOPED_TRACE("page " + std::to_string(p + 1));
        const CPrintTicket& t = tickets[p];
        const streamtest::Bytes& header = headers[p]->payload;
        const streamtest::Bytes& layout = layouts[p]->payload;
        const streamtest::PageImageBits& image = (*sent)[p];

        EXPECT_EQ(t.copies, c.copies);
        EXPECT_EQ(t.sets, c.sets);
        EXPECT_EQ(t.xDpi, c.xDpi);
        EXPECT_EQ(t.yDpi, c.yDpi);
        EXPECT_EQ(t.paperId, c.paper.id);
        EXPECT_EQ(t.inchUnits, c.paper.inchUnits);
        EXPECT_EQ(t.paperWidth, c.paper.width);
        EXPECT_EQ(t.paperHeight, c.paper.height);
        EXPECT_EQ(t.orientation, c.paper.orientation);
        EXPECT_EQ(t.angle, c.angle);
        EXPECT_EQ(t.rotate180, c.bandCode == velmoq7::kBandBottomUp || c.bandCode == 18 ? 1 : 0);
        EXPECT_EQ(t.lineWidth, image.bytesPerLine * 8);
        EXPECT_EQ(static_cast<size_t>(t.lineCount), image.lines.size());
        EXPECT_EQ(t.leftOffset, streamtest::Le16At(header, 14));
        EXPECT_EQ(t.topOffset, streamtest::Le16At(header, 16));
        EXPECT_EQ(t.rightMargin, streamtest::Le16At(layout, 8));
        EXPECT_EQ(t.bottomMargin, streamtest::Le16At(layout, 10));

        ExpectImage(view, t, image);
        const size_t dots = Dots(image.lines);
        EXPECT_GT(dots, image.lines.size() * image.bytesPerLine * 8 / 50)
            << "a page with text, gray and a picture";

        const RenderResult rendered = RenderPageToBmp(file, t, kBmp);
        EXPECT_TRUE(rendered.Written()) << DescribeRenderError(rendered.error);
        EXPECT_EQ(rendered.blackPixels, dots);
        const uint64_t width = uint64_t(c.paper.width) * c.xDpi / 254,
                       height = uint64_t(c.paper.height) * c.yDpi / 254;
        EXPECT_EQ(sim::files().Bytes(kBmp).value_or("").size(),
                  kBmpHeaderSize + (((width + 31) >> 3) & ~uint64_t{3}) * height);
    }
}

void SetPaper(velmo::SelfDMode& s, short id, short orientation = DMORIENT_PORTRAIT, LONG feed = 1,
              LONG rotate = 0)
{
    s.dm.dmPaperSize = id;
    s.dm.dmOrientation = orientation;
    s.paperFeed = feed;
    s.rotate = rotate;
}

using printtest::Halftone;
constexpr short kA3 = 8, kA4 = 9, kPostcard = 257, kLetter = 258, kLegal = 5, kCustom = 256;

const Case kCases[] = {
    {"A4 at 300 dpi, line art, in one surface",
     "KORIGRAPH DX-1300",
     Halftone::LineArt,
     [](velmo::SelfDMode& s) { SetPaper(s, kA4); },
     1,
     17,
     {9, 0, 2100, 2970, 1},
     300,
     300,
     0,
     2,
     9,
     3},
    {"A4 turned at 400 dpi, dither-a, banded",
     "KORIGRAPH DX-1400",
     Halftone::DitherA,
     [](velmo::SelfDMode& s) { SetPaper(s, kA4, DMORIENT_PORTRAIT, 1, 1); },
     20,
     33,
     {9, 0, 2100, 2970, 1},
     400,
     400,
     180},
    {"A4 landscape at 600 dpi, dither-b",
     "KORIGRAPH DX-2660",
     Halftone::DitherB,
     [](velmo::SelfDMode& s) {
         SetPaper(s, kA4, DMORIENT_LANDSCAPE);
         s.zoom = 50;
     },
     20,
     34,
     {9, 0, 2100, 2970, 1},
     600,
     600,
     270},
    {"A3 landscape turned, 400 x 800 dpi, diffusion",
     "KORIGRAPH DX-3800",
     Halftone::Diffusion,
     [](velmo::SelfDMode& s) {
         SetPaper(s, kA3, DMORIENT_LANDSCAPE, 1, 1);
         s.zoom = 50;
     },
     20,
     18,
     {8, 0, 2970, 4200, 1},
     400,
     800,
     90},
    {"A4 fed the other way, four-point diffusion",
     "KORIGRAPH DX-2600",
     Halftone::DiffusionFourPoint,
     [](velmo::SelfDMode& s) {
         SetPaper(s, kA4, DMORIENT_PORTRAIT, 2);
         s.zoom = 50;
     },
     1,
     34,
     {77, 0, 2970, 2100, 2},
     600,
     600,
     270},
    {"letter landscape fed the other way, turned, 300 x 600 dpi",
     "KORIGRAPH DX-3600",
     Halftone::DitherC,
     [](velmo::SelfDMode& s) {
         SetPaper(s, kLetter, DMORIENT_LANDSCAPE, 2, 1);
         s.zoom = 50;
     },
     20,
     33,
     {75, 1, 2794, 2159, 2},
     300,
     600,
     180,
     1,
     40,
     12},
    {"legal, 600 dpi of the second kind",
     "KORIGRAPH DX-4600",
     Halftone::DitherB,
     [](velmo::SelfDMode& s) {
         SetPaper(s, kLegal);
         s.zoom = 50;
     },
     20,
     17,
     {5, 1, 2159, 3556, 1},
     600,
     600,
     0},
    // The postcard's code is the same for both feeds; the reader turns the sheet by the feed bit.
    {"postcard fed the other way",
     "KORIGRAPH DX-1300",
     Halftone::DitherA,
     [](velmo::SelfDMode& s) { SetPaper(s, kPostcard, DMORIENT_PORTRAIT, 2); },
     20,
     34,
     {43, 0, 1480, 1000, 2},
     300,
     300,
     270},
    // Inches travel rounded to 0.01 inch and come back truncated to 0.1 mm.
    {"custom A4 in inches",
     "KORIGRAPH DX-1300",
     Halftone::LineArt,
     [](velmo::SelfDMode& s) {
         SetPaper(s, kCustom);
         s.dm.dmPaperWidth = 2100;
         s.dm.dmPaperLength = 2970;
         s.userPaperFlag = 1;
     },
     20,
     17,
     {256, 1, 2100, 2969, 1},
     300,
     300,
     0},
    {"custom paper in millimetres",
     "KORIGRAPH DX-1300",
     Halftone::DitherB,
     [](velmo::SelfDMode& s) {
         SetPaper(s, kCustom);
         s.dm.dmPaperWidth = 1500;
         s.dm.dmPaperLength = 2000;
         s.userPaperFlag = 0;
     },
     1,
     17,
     {256, 0, 1500, 2000, 1},
     300,
     300,
     0},
    // 360-dpi pages carry the 300-dpi code, with 5 of 6 pixels kept across; their lines and margins
    // fill a sheet at 360 dpi down.
    {"A4 at 360 dpi",
     "KORIGRAPH DX-5360",
     Halftone::Diffusion,
     [](velmo::SelfDMode& s) { SetPaper(s, kA4); },
     20,
     17,
     {9, 0, 2100, 2970, 1},
     300,
     360,
     0},
    {"A5 landscape fed the other way, turned, at 360 dpi",
     "KORIGRAPH DX-5365",
     Halftone::DitherA,
     [](velmo::SelfDMode& s) { SetPaper(s, 11, DMORIENT_LANDSCAPE, 2, 1); },
     1,
     velmoq7::kBandBottomUp,
     {78, 0, 2100, 1480, 2},
     300,
     360,
     180},
    // Zoomed to 120 %, a 300-dpi page has as many lines as the sheet at 360 dpi; its extents tell.
    {"A4 at 300 dpi zoomed to 120 %",
     "KORIGRAPH DX-1300",
     Halftone::LineArt,
     [](velmo::SelfDMode& s) {
         SetPaper(s, kA4);
         s.zoom = 120;
     },
     1,
     17,
     {9, 0, 2100, 2970, 1},
     300,
     300,
     0},
};

class RoundTrip : public ::testing::TestWithParam<Case>
{
};

TEST_P(RoundTrip, PagesReadBackAsTheDriverWroteThem)
{
    ExpectReadBack(GetParam());
}

std::string CaseName(const ::testing::TestParamInfo<Case>& info)
{
    std::string name;
    for (const char* p = info.param.name; *p; ++p)
        if (std::isalnum(static_cast<unsigned char>(*p)))
            name += *p;
        else if (!name.empty() && name.back() != '_')
            name += '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Printed, RoundTrip, ::testing::ValuesIn(kCases), CaseName);

} // namespace
} // namespace printfile

namespace printfile
{
namespace
{
TEST(RoundTripJob, APaperChangeBetweenPagesStartsAnotherJobAndBothPagesReadBack)
{
    sim::machine().Reset();
    printtest::InstallDuplicator(kPrinter, u"KORIGRAPH DX-1300");
    velmo::SelfDMode a4;
    velmo::_UdcResetSelfDMode(a4, kPrinter, u"KORIGRAPH DX-1300");
    printtest::SetHalftone(a4, Halftone::DitherC);
    SetPaper(a4, kA4);
    velmo::SelfDMode a5 = a4;
    a5.dm.dmPaperSize = 11;

    auto dc = sim::PrintDC::Create(kPrinter, &a4.dm);
    ASSERT_TRUE(dc);
    ASSERT_TRUE(dc->StartDoc(u"two papers"));
    ASSERT_TRUE(dc->StartPage());
    printtest::DrawTestPage(*dc, "A4");
    ASSERT_TRUE(dc->EndPage());
    ASSERT_TRUE(dc->ResetDC(&a5.dm));
    ASSERT_TRUE(dc->StartPage());
    printtest::DrawTestPage(*dc, "A5");
    ASSERT_TRUE(dc->EndPage());
    ASSERT_TRUE(dc->EndDoc());
    dc.reset();
    const std::string stream = sim::spooler().Output(kPrinter);

    std::string error;
    const auto records = streamtest::ReadStream(stream, error);
    ASSERT_TRUE(records) << error;
    const std::string types = streamtest::Types(*records);
    ASSERT_EQ(std::count(types.begin(), types.end(), ','), 2) << "the new paper starts a new job";
    const auto sent = streamtest::Pages(*records, error);
    ASSERT_TRUE(sent) << error;
    ASSERT_EQ(sent->size(), 2u);

    sim::files().Put(kFile, stream);
    CMemoryMappedFile file;
    ASSERT_TRUE(file.Open(kFile));
    std::vector<CPrintTicket> tickets;
    ASSERT_EQ(ScanPrintFile(tickets, file), 2);
    EXPECT_EQ(tickets[0].paperId, 9);
    EXPECT_EQ(tickets[1].paperId, 11);
    EXPECT_EQ(tickets[1].paperWidth, 1480);
    EXPECT_EQ(tickets[1].paperHeight, 2100);
    MappedFileByteView view(file);
    for (size_t p = 0; p < 2; ++p)
    {
        SCOPED_TRACE(p);
        EXPECT_EQ(static_cast<size_t>(tickets[p].lineCount), (*sent)[p].lines.size());
        ExpectImage(view, tickets[p], (*sent)[p]);
    }
}
} // namespace
} // namespace printfile
