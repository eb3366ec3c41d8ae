#include <gtest/gtest.h>

#include "kgl_fixture.h"
#include "page_render.h"
#include "print_scan.h"

#include <sim/machine.h>
#include <testing/address_space.h>

#include <cstdlib>

namespace printfile
{
namespace
{
using namespace fixture;

struct Rendered
{
    RenderResult result;
    std::optional<std::string> bmp;
};

Rendered RenderFirstPage(const Bytes& file, const RenderLimits& limits = {})
{
    MemoryByteView view(file);
    std::vector<CPrintTicket> pages;
    if (ScanPrintFile(pages, view) < 1)
        return {{RenderError::NoData, 0}, std::nullopt};
    DeleteFileW(u"C:\\out\\page.bmp");
    Rendered r;
    r.result = RenderPageToBmp(view, pages[0], u"C:\\out\\page.bmp", limits);
    r.bmp = sim::files().Bytes(u"C:\\out\\page.bmp");
    return r;
}

uint32_t U32(const std::string& s, size_t at)
{
    return ReadU16(reinterpret_cast<const BYTE*>(s.data()) + at) |
           (uint32_t{ReadU16(reinterpret_cast<const BYTE*>(s.data()) + at + 2)} << 16);
}

// Pixel (x, y) of a sheet, y counted from the top, read back from the bottom-up rows of the file.
bool Black(const std::string& bmp, uint32_t x, uint32_t y)
{
    const uint32_t width = U32(bmp, 18), height = U32(bmp, 22);
    const size_t rowBytes = ((width + 31) >> 3) & ~3u;
    const BYTE b = static_cast<BYTE>(bmp[62 + (height - 1 - y) * rowBytes + x / 8]);
    return b & (0x80 >> (x % 8));
}

class Render : public ::testing::Test
{
protected:
    void SetUp() override { CreateDirectoryW(u"C:\\out", nullptr); }
};

TEST_F(Render, AnA4PageAt300DpiOnItsSheet)
{
    // Eight lines of 32 pixels; line y has pixel y black, and line 7 is all black.
    Bytes lines(8 * 4, 0);
    for (unsigned y = 0; y < 8; ++y)
        lines[y * 4 + y / 8] = static_cast<BYTE>(0x80 >> (y % 8));
    std::fill(lines.begin() + 28, lines.end(), 0xFF);
    Header h;
    h.left = 13; // not on a byte
    h.top = 7;
    Stream s;
    s.JobStart().Page(lines, h, 3).JobEnd();

    const Rendered r = RenderFirstPage(s.bytes);
    ASSERT_EQ(r.result.error, RenderError::None) << DescribeRenderError(r.result.error);
    EXPECT_EQ(r.result.blackPixels, 7u + 32u);
    ASSERT_TRUE(r.bmp);
    const std::string& bmp = *r.bmp;
    ASSERT_EQ(bmp.size(), 1094246u);
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    EXPECT_EQ(U32(bmp, 2), 1094246u);
    EXPECT_EQ(U32(bmp, 10), 62u);
    EXPECT_EQ(U32(bmp, 14), 40u);
    EXPECT_EQ(U32(bmp, 18), 2480u);
    EXPECT_EQ(U32(bmp, 22), 3507u);
    EXPECT_EQ(U32(bmp, 26), 1u | (1u << 16)); // one plane, one bit
    EXPECT_EQ(U32(bmp, 30), 0u);
    EXPECT_EQ(U32(bmp, 38), 11811u);
    EXPECT_EQ(U32(bmp, 42), 11811u);
    EXPECT_EQ(U32(bmp, 46), 2u);
    EXPECT_EQ(U32(bmp, 54), 0x00FFFFFFu);
    EXPECT_EQ(U32(bmp, 58), 0u);

    for (unsigned y = 0; y < 7; ++y)
    {
        EXPECT_TRUE(Black(bmp, 13 + y, 7 + y)) << y;
        EXPECT_FALSE(Black(bmp, 12 + y, 7 + y)) << y;
        EXPECT_FALSE(Black(bmp, 14 + y, 7 + y)) << y;
    }
    EXPECT_FALSE(Black(bmp, 12, 14));
    EXPECT_TRUE(Black(bmp, 13, 14));
    EXPECT_TRUE(Black(bmp, 44, 14));
    EXPECT_FALSE(Black(bmp, 45, 14));
    EXPECT_EQ(std::count(bmp.begin() + 62, bmp.end(), '\0'),
              static_cast<std::ptrdiff_t>(bmp.size() - 62 - 7 - 5))
        << "nothing else is black";
}

TEST_F(Render, TopDownBitsGoToTheFileBottomUp)
{
    const Bytes rows = {0x80, 0, 0, 0, 0x01, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}; // three rows of 32 pixels
    ASSERT_TRUE(WriteMonochromeBmp(u"C:\\out\\rows.bmp", rows, 32, 3, 300, 300));
    const std::string bmp = sim::files().Bytes(u"C:\\out\\rows.bmp").value_or("");
    ASSERT_EQ(bmp.size(), 62u + 12u);
    EXPECT_EQ(U32(bmp, 22), 3u);
    EXPECT_EQ(bmp.substr(62), std::string("\xFF\xFF\xFF\xFF\x01\0\0\0\x80\0\0\0", 12));
}

TEST_F(Render, AnImageBeyondTheSheetIsClippedButCountedWhole)
{
    // Custom paper 10 x 10 mm at 300 dpi: a 118 x 118 sheet; the image is 128 pixels wide, placed at 100,
    // 110.
    Bytes lines(16 * 16, 0xFF);
    Header h;
    h.paperCode = 0;
    h.bytesPerLine = 16;
    h.left = 100;
    h.top = 110;
    Layout l;
    l.extent1 = 100;
    l.extent2 = 100;
    Stream s;
    s.Page(lines, h, 16, l);
    const Rendered r = RenderFirstPage(s.bytes);
    ASSERT_EQ(r.result.error, RenderError::None);
    EXPECT_EQ(r.result.blackPixels, 16u * 128u);
    ASSERT_TRUE(r.bmp);
    EXPECT_EQ(U32(*r.bmp, 18), 118u);
    EXPECT_TRUE(Black(*r.bmp, 117, 117));
    EXPECT_TRUE(Black(*r.bmp, 100, 110));
    EXPECT_FALSE(Black(*r.bmp, 99, 110));
    EXPECT_FALSE(Black(*r.bmp, 117, 109));
}

// The image laid on the sheet bit for bit at every phase of the left offset, for widths around the byte
// and the word, clipped at the sheet's right and bottom edges. The image's padding bits past its width
// are black: none may reach the sheet.
TEST(ComposeSheetPlacement, MatchesABitByBitModel)
{
    uint32_t seed = 7;
    for (int lineWidth : {8, 16, 24, 64, 136})
        for (int left : {0, 1, 3, 7, 8, 13, 60})
            for (int spare : {40, 3, 0, -5}) // sheet columns past the image's end; negative clips it
            {
                SCOPED_TRACE(testing::Message()
                             << "width " << lineWidth << " left " << left << " spare " << spare);
                CPrintTicket page;
                page.lineWidth = lineWidth;
                page.lineCount = 5;
                page.leftOffset = left;
                page.topOffset = 2;
                page.xDpi = page.yDpi = 254; // one pixel per 0.1 mm
                page.paperWidth = left + lineWidth + spare;
                page.paperHeight = 6; // the image's last line falls off the bottom
                PageImage image;
                image.stride = (((static_cast<size_t>(lineWidth) + 31) >> 3) & ~size_t{3}) + 4;
                image.lines = 5;
                ASSERT_TRUE(image.bits.Allocate(image.stride * image.lines));
                for (size_t i = 0; i < image.bits.size(); ++i)
                {
                    seed = seed * 1103515245 + 12345;
                    image.bits[i] = i % image.stride >= static_cast<size_t>(lineWidth) / 8
                                        ? 0xFF
                                        : static_cast<BYTE>(seed >> 16);
                }
                Sheet sheet;
                ASSERT_EQ(ComposeSheet(page, image, sheet), RenderError::None);
                ASSERT_EQ(sheet.width, static_cast<uint32_t>(page.paperWidth));
                for (uint32_t y = 0; y < sheet.height; ++y)
                    for (uint32_t x = 0; x < sheet.rowBytes * 8; ++x)
                    {
                        const int ix = static_cast<int>(x) - left, iy = static_cast<int>(y) - 2;
                        const bool inImage =
                            ix >= 0 && ix < lineWidth && iy >= 0 && iy < 5 && x < sheet.width;
                        const bool want = inImage && (image.bits[static_cast<size_t>(iy) * image.stride +
                                                                 static_cast<size_t>(ix) / 8] &
                                                      (0x80 >> (ix % 8)));
                        const bool got = sheet.bits[y * sheet.rowBytes + x / 8] & (0x80 >> (x % 8));
                        ASSERT_EQ(got, want) << "x " << x << " y " << y;
                    }
            }
}

TEST_F(Render, RawBandsAndUnknownEncodings)
{
    Header h;
    h.paperCode = 0;
    Layout l;
    l.extent1 = 30;
    l.extent2 = 30; // 35 x 35 pixels
    Stream s;
    s.PageStart(h, l);
    s.Band(0, 2, Bytes{0xF0, 0, 0, 0, 0x0F, 0, 0, 0}, 0);
    s.Band(2, 1, Bytes{0xFF, 0xFF, 0xFF, 0xFF}, 7);                      // not an encoding: stays white
    s.Band(3, 1, Bytes{0x01, 0, 0, 0, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA}, 0); // cut at the end of the page image
    s.PageEnd();
    const Rendered r = RenderFirstPage(s.bytes);
    ASSERT_EQ(r.result.error, RenderError::None);
    EXPECT_EQ(r.result.blackPixels, 4u + 4u + 1u);
    ASSERT_TRUE(r.bmp);
    EXPECT_TRUE(Black(*r.bmp, 0, 0));
    EXPECT_TRUE(Black(*r.bmp, 7, 1));
    EXPECT_FALSE(Black(*r.bmp, 0, 2));
    EXPECT_TRUE(Black(*r.bmp, 7, 3));
}

TEST_F(Render, ABlankPageIsWrittenAndTellsSo)
{
    Stream s;
    s.Page(Bytes(64, 0), Header{});
    const Rendered r = RenderFirstPage(s.bytes);
    EXPECT_TRUE(r.result.Written());
    EXPECT_EQ(r.result.blackPixels, 0u);
    EXPECT_TRUE(r.bmp);
}

TEST_F(Render, PagesThatCannotBeConvertedWriteNoFile)
{
    const Bytes blank = PackCodes({257, 0, 0, 0, 258});
    struct Case
    {
        const char* name;
        std::function<void(Stream&)> build;
        RenderError error;
    };
    auto big = [] {
        Header h;
        h.paperCode = 0;
        h.resolution = 0xFF;
        return h;
    }();
    Layout huge;
    huge.extent1 = huge.extent2 = 65535;
    const Case cases[] = {
        {"no bands", [](Stream& s) { s.PageStart().PageEnd(); }, RenderError::NoBands},
        {"a band beyond the page",
         [&](Stream& s) { s.PageStart().Band(9, 1, blank).Band(0, 1, blank).PageEnd(); },
         RenderError::BandOutsidePage},
        {"a damaged block",
         [](Stream& s) {
             s.PageStart().Band(0, 1, PackCodes({257, 0, 600, 258})).PageEnd();
         },
         RenderError::DamagedBand},
        {"a block longer than its lines",
         [](Stream& s) {
             s.PageStart().Band(0, 1, PackCodes({257, 0, 0, 259, 0, 258})).PageEnd();
         },
         RenderError::DamagedBand},
        {"no resolution",
         [](Stream& s) {
             Header h;
             h.resolution = 0;
             s.PageStart(h).Band(0, 1, PackCodes({257, 0, 0, 258})).PageEnd();
         },
         RenderError::BadPageSize},
        {"a sheet too large", [&](Stream& s) { s.PageStart(big, huge).Band(0, 1, blank).PageEnd(); },
         RenderError::TooLarge},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        Stream s;
        c.build(s);
        const Rendered r = RenderFirstPage(s.bytes);
        EXPECT_EQ(r.result.error, c.error) << DescribeRenderError(r.result.error);
        EXPECT_FALSE(r.bmp);
    }
}

// A file of a few hundred bytes may declare a page of a gigabyte. Where the address space cannot hold it,
// the converter reports that it is out of memory instead of ending; where it holds the page image once, the
// page is converted.
TEST_F(Render, ALargeDeclaredPageMeetsAFullAddressSpaceWithAnError)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe"); // the cap must not outlive the child
    auto page = [](unsigned lines) {
        Header h;
        h.paperCode = 0;
        h.bytesPerLine = 0xFFFC;
        Layout l;
        l.extent1 = l.extent2 = 100; // a sheet of 118 x 118 pixels
        Stream s;
        s.PageStart(h, l).Band(0, lines, PackCodes({257, 0, 0x80, 258})).PageEnd();
        return s.bytes;
    };
    struct Case
    {
        const char* name;
        Bytes file;
        uint64_t headroom;
        RenderError error;
        uint64_t black;
    };
    const Case cases[] = {
        {"a page image of 1 GB, 512 MB free", page(16384), uint64_t{512} << 20, RenderError::OutOfMemory, 0},
        {"a page image of 64 MB, 96 MB free", page(1024), uint64_t{96} << 20, RenderError::None, 1},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        ASSERT_LT(c.file.size(), 300u);
        auto convert = [&] {
            if (!memtest::CapAddressSpace(c.headroom))
                std::exit(2);
            const Rendered r = RenderFirstPage(c.file);
            const bool written = r.bmp.has_value();
            std::exit(r.result.error == c.error && written == r.result.Written() &&
                              r.result.blackPixels == c.black
                          ? 0
                          : 1);
        };
        EXPECT_EXIT(convert(), ::testing::ExitedWithCode(0), "");
    }
}

TEST_F(Render, AFailedSaveLeavesNoFile)
{
    Stream s;
    s.Page(Bytes(64, 0x11), Header{});
    sim::faults().FailNext("WriteFile", 112, 1, 1); // the header goes out, the rows do not
    Rendered r = RenderFirstPage(s.bytes);
    EXPECT_EQ(r.result.error, RenderError::WriteFailed);
    EXPECT_FALSE(r.bmp);

    sim::faults().FailNext("CreateFileW", ERROR_ACCESS_DENIED);
    r = RenderFirstPage(s.bytes);
    EXPECT_EQ(r.result.error, RenderError::CreateFailed);
    EXPECT_FALSE(r.bmp);
}

TEST_F(Render, EveryCutAndInflatedLengthFailsCleanly)
{
    Bytes lines(12 * 8);
    for (size_t i = 0; i < lines.size(); ++i)
        lines[i] = static_cast<BYTE>(i * 37);
    Header h;
    h.bytesPerLine = 8;
    Stream s;
    s.JobStart().Page(lines, h, 5).JobEnd();
    MemoryByteView whole(s.bytes);
    std::vector<CPrintTicket> pages;
    ASSERT_EQ(ScanPrintFile(pages, whole), 1);
    const CPrintTicket page = pages[0];

    // The page list of the whole file, the file cut at every byte afterwards.
    for (size_t cut = page.dataOffset; cut < s.bytes.size(); ++cut)
    {
        Bytes head(s.bytes.begin(), s.bytes.begin() + static_cast<std::ptrdiff_t>(cut));
        MemoryByteView view(head);
        std::vector<BandEntry> bands;
        const RenderError e = CollectBands(view, page.dataOffset, bands);
        if (e == RenderError::None)
        {
            PageImage image;
            EXPECT_EQ(DecodePageImage(page, bands, image), RenderError::None) << cut;
        }
        else
            EXPECT_TRUE(e == RenderError::NoPageEnd || e == RenderError::NoData || e == RenderError::NoBands)
                << cut;
    }

    // Every band length and line field inflated.
    size_t bandsSeen = 0;
    for (size_t at = 0; at + 10 <= s.bytes.size(); ++at)
    {
        if (!IsRecordHeader(std::span(s.bytes).subspan(at)) ||
            RecordTypeAt(std::span(s.bytes).subspan(at)) != kgl::RecordType::SubBand)
            continue;
        ++bandsSeen;
        for (size_t field : {0, 2, 4})
        {
            Bytes damaged = s.bytes;
            PutU16(&damaged[at + 10 + field], 0xFFF0);
            MemoryByteView view(damaged);
            std::vector<CPrintTicket> list;
            ScanPrintFile(list, view);
            for (const CPrintTicket& p : list)
            {
                std::vector<BandEntry> bands;
                if (CollectBands(view, p.dataOffset, bands) != RenderError::None)
                    continue;
                PageImage image;
                const RenderError e = DecodePageImage(p, bands, image);
                EXPECT_NE(e, RenderError::OutOfMemory);
            }
        }
    }
    EXPECT_EQ(bandsSeen, 3u);
}
} // namespace
} // namespace printfile
