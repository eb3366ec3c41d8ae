#include <gtest/gtest.h>

#include "kgl_fixture.h"
#include "print_scan.h"

#include <sim/machine.h>

#include <functional>

namespace printfile
{
namespace
{
using namespace fixture;

std::vector<CPrintTicket> Scan(const Bytes& bytes)
{
    MemoryByteView view(bytes);
    std::vector<CPrintTicket> pages;
    const int count = ScanPrintFile(pages, view);
    EXPECT_EQ(count, static_cast<int>(pages.size()));
    return pages;
}

const Bytes kBlank = PackCodes({257, 0, 0, 0, 258});

TEST(Scan, RecordStructure)
{
    Bytes fake(20, 0);
    std::copy(kgl::kEscapePrefix.begin(), kgl::kEscapePrefix.end(), fake.begin() + 4);
    fake[12] = static_cast<BYTE>(kgl::RecordType::PageEnd); // a page end inside a payload is not a record

    struct Case
    {
        const char* name;
        std::function<void(Stream&)> build;
        std::vector<int> lineCounts; // of the pages listed
    };
    const Case cases[] = {
        {"a page without a page header",
         [](Stream& s) { s.JobStart().Options().Band(0, 4, kBlank).PageEnd().JobEnd(); },
         {}},
        {"a page end alone", [](Stream& s) { s.PageEnd().PageEnd(); }, {}},
        {"no job start, no job end", [](Stream& s) { s.PageStart().Band(0, 4, kBlank).PageEnd(); }, {4}},
        {"a job end ends the scan",
         [](Stream& s) {
             s.PageStart().Band(0, 4, kBlank).PageEnd().JobEnd().PageStart().Band(0, 9, kBlank).PageEnd();
         },
         {4}},
        {"a job start inside a page drops it",
         [](Stream& s) {
             s.PageStart().Band(0, 7, kBlank).JobStart().PageEnd();
             s.PageStart().Band(0, 5, kBlank).PageEnd();
         },
         {5}},
        {"a dropped page lends no bands to the next",
         [](Stream& s) {
             s.PageStart().Band(0, 40, kBlank).JobStart().PageHeader().Band(0, 3, kBlank).PageEnd();
         },
         {3}},
        {"bands 0, 100, 200 of 100 lines",
         [](Stream& s) {
             s.PageStart().Band(0, 100, kBlank).Band(100, 100, kBlank).Band(200, 100, kBlank).PageEnd();
         },
         {300}},
        {"one band from line 50", [](Stream& s) { s.PageStart().Band(50, 100, kBlank).PageEnd(); }, {150}},
        {"foreign records and bytes between records",
         [&](Stream& s) {
             s.Raw("junk\x1b#1234").JobStart().Record('$', Bytes(10, 0x1B)).Record('%', fake).Record(')');
             s.Record('*').Record('+').Record('z').PageStart().Raw("\x1b#12345").Band(0, 6, kBlank, 0);
             s.Band(6, 2, kBlank, 9).PageEnd();
         },
         {8}},
        {"a band length past the end of the file",
         [](Stream& s) {
             s.PageStart().Band(0, 4, kBlank).PageEnd().PageStart();
             Bytes head(10, 0);
             PutU16(&head[0], 5000);
             s.Record(kgl::RecordType::SubBand, head).PageEnd();
         },
         {4}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        Stream s;
        c.build(s);
        auto pages = Scan(s.bytes);
        std::vector<int> lineCounts;
        for (const auto& p : pages)
            lineCounts.push_back(p.lineCount);
        EXPECT_EQ(lineCounts, c.lineCounts);
    }
}

TEST(Scan, PagePayloadsAndDataOffset)
{
    Stream s;
    s.JobStart().PageStart();
    const size_t behindHeader = s.bytes.size();
    Bytes reserved(20);
    for (size_t i = 0; i < reserved.size(); ++i)
        reserved[i] = static_cast<BYTE>(i + 1);
    s.Record('%', reserved).Band(0, 4, kBlank).PageEnd().JobEnd();
    auto pages = Scan(s.bytes);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].dataOffset, behindHeader);
    EXPECT_EQ(Bytes(pages[0].rawReserved.begin(), pages[0].rawReserved.end()), reserved);
    EXPECT_EQ(ReadU16(pages[0].rawHeader.data() + 24), 100);
    EXPECT_EQ(pages[0].reserved, 1);
}

TEST(Scan, ListsAtMost999Pages)
{
    Stream s;
    s.JobStart();
    for (int i = 0; i < 1200; ++i)
        s.PageStart().Band(0, 1, kBlank).PageEnd();
    EXPECT_EQ(Scan(s.bytes).size(), 999u);
}

TEST(Scan, AFileCutAnywhereListsOnlyTheWholePages)
{
    Stream s;
    s.JobStart();
    std::vector<size_t> pageEnds;
    for (unsigned page = 0; page < 3; ++page)
    {
        s.PageStart().Band(0, 2, kBlank).Band(2, 2, LiteralBlock(Bytes(8, 0x5A))).PageEnd();
        pageEnds.push_back(s.bytes.size());
    }
    s.JobEnd();
    for (size_t cut = 0; cut <= s.bytes.size(); ++cut)
    {
        // An exact-size copy, so that reading past the cut is caught.
        Bytes head(s.bytes.begin(), s.bytes.begin() + static_cast<std::ptrdiff_t>(cut));
        const size_t whole = static_cast<size_t>(
            std::count_if(pageEnds.begin(), pageEnds.end(), [&](size_t e) { return e <= cut; }));
        ASSERT_EQ(Scan(head).size(), whole) << "cut at " << cut;
    }
}

TEST(Scan, DecodesThePageRecords)
{
    struct Case
    {
        const char* name;
        Header header;
        std::optional<Layout> layout;
        std::function<void(const CPrintTicket&)> check;
    };
    auto headerWith = [](auto change) {
        Header h;
        change(h);
        return h;
    };
    auto layoutWith = [](auto change) {
        Layout l;
        change(l);
        return l;
    };
    const Case cases[] = {
        {"600 x 600", headerWith([](Header& h) { h.resolution = 0x66; }), Layout{},
         [](const CPrintTicket& t) {
             EXPECT_EQ(t.xDpi, 600);
             EXPECT_EQ(t.yDpi, 600);
         }},
        {"300 across, 600 down", headerWith([](Header& h) { h.resolution = 0x36; }), Layout{},
         [](const CPrintTicket& t) {
             EXPECT_EQ(t.xDpi, 300);
             EXPECT_EQ(t.yDpi, 600);
         }},
        // 300- and 360-dpi pages share a code; 100 lines above, 54 of image and the bottom margin make the
        // sheet's height at the one or the other.
        {"the shared code, A4 filled at 360 dpi down", headerWith([](Header& h) { h.top = 100; }),
         layoutWith([](Layout& l) { l.bottom = 4209 - 154; }),
         [](const CPrintTicket& t) {
             EXPECT_EQ(t.xDpi, 300);
             EXPECT_EQ(t.yDpi, 360);
         }},
        {"the shared code, A4 filled at 300 dpi", headerWith([](Header& h) { h.top = 100; }),
         layoutWith([](Layout& l) { l.bottom = 3507 - 154; }),
         [](const CPrintTicket& t) {
             EXPECT_EQ(t.xDpi, 300);
             EXPECT_EQ(t.yDpi, 300);
         }},
        {"the shared code, letter in 0.01 inch filled at 360 dpi down",
         headerWith([](Header& h) { h.paperCode = 19, h.top = 100; }),
         layoutWith([](Layout& l) { l.extent1 = 850, l.extent2 = 1100, l.bottom = 3960 - 154; }),
         [](const CPrintTicket& t) { EXPECT_EQ(t.yDpi, 360); }},
        {"the shared code, zoomed A4 filled at 300 dpi", headerWith([](Header& h) { h.top = 100; }),
         layoutWith([](Layout& l) { l.extent1 = 2520, l.extent2 = 3564, l.bottom = 4209 - 154; }),
         [](const CPrintTicket& t) { EXPECT_EQ(t.yDpi, 300); }},
        {"the shared code without a layout", headerWith([](Header& h) { h.top = 4000; }), std::nullopt,
         [](const CPrintTicket& t) { EXPECT_EQ(t.yDpi, 300); }},
        {"copies, sets, bin, offsets", headerWith([](Header& h) {
             h.copies = 9999, h.sets = 99, h.source = 4, h.left = 71, h.top = 83, h.bytesPerLine = 620;
         }),
         Layout{},
         [](const CPrintTicket& t) {
             EXPECT_EQ(t.copies, 9999);
             EXPECT_EQ(t.sets, 99);
             EXPECT_EQ(t.bin, 2);
             EXPECT_EQ(t.leftOffset, 71);
             EXPECT_EQ(t.topOffset, 83);
             EXPECT_EQ(t.lineWidth, 4960);
         }},
        {"automatic bin", headerWith([](Header& h) { h.source = 5; }), Layout{},
         [](const CPrintTicket& t) { EXPECT_EQ(t.bin, 7); }},
        {"A4 landscape code", headerWith([](Header& h) { h.paperCode = 6; }), Layout{},
         [](const CPrintTicket& t) {
             EXPECT_EQ(t.paperId, 77);
             EXPECT_EQ(t.paperWidth, 2970);
             EXPECT_EQ(t.paperHeight, 2100);
             EXPECT_EQ(t.orientation, 2);
             EXPECT_EQ(t.inchUnits, 0);
         }},
        {"statement landscape", headerWith([](Header& h) { h.paperCode = 28; }), Layout{},
         [](const CPrintTicket& t) {
             EXPECT_EQ(t.paperId, 257);
             EXPECT_EQ(t.paperWidth, 2159);
             EXPECT_EQ(t.paperHeight, 1397);
             EXPECT_EQ(t.orientation, 2);
             EXPECT_EQ(t.inchUnits, 1);
         }},
        {"postcard fed the usual way", headerWith([](Header& h) { h.paperCode = 14; }), Layout{},
         [](const CPrintTicket& t) {
             EXPECT_EQ(t.paperId, 43);
             EXPECT_EQ(t.paperWidth, 1000);
             EXPECT_EQ(t.paperHeight, 1480);
             EXPECT_EQ(t.orientation, 1);
         }},
        {"postcard fed the other way", headerWith([](Header& h) { h.paperCode = 14; }),
         layoutWith([](Layout& l) { l.orientation = 1 | (4 << 1); }),
         [](const CPrintTicket& t) {
             EXPECT_EQ(t.paperId, 43);
             EXPECT_EQ(t.paperWidth, 1480);
             EXPECT_EQ(t.paperHeight, 1000);
             EXPECT_EQ(t.orientation, 2);
         }},
        {"custom paper in inches", headerWith([](Header& h) { h.paperCode = 16; }),
         layoutWith([](Layout& l) { l.extent1 = 827, l.extent2 = 1169; }),
         [](const CPrintTicket& t) {
             EXPECT_EQ(t.paperId, 256);
             EXPECT_EQ(t.inchUnits, 1);
             EXPECT_EQ(t.paperWidth, 2100);
             EXPECT_EQ(t.paperHeight, 2969);
         }},
        {"custom paper in 0.1 mm, fed the other way", headerWith([](Header& h) { h.paperCode = 0; }),
         layoutWith([](Layout& l) { l.extent1 = 2970, l.extent2 = 2100, l.orientation = 1; }),
         [](const CPrintTicket& t) {
             EXPECT_EQ(t.paperId, 256);
             EXPECT_EQ(t.inchUnits, 0);
             EXPECT_EQ(t.paperWidth, 2970);
             EXPECT_EQ(t.paperHeight, 2100);
             EXPECT_EQ(t.orientation, 2);
         }},
        {"custom paper without a layout has no size", headerWith([](Header& h) { h.paperCode = 99; }),
         std::nullopt,
         [](const CPrintTicket& t) {
             EXPECT_EQ(t.paperId, 256);
             // The sheet is taken from the image: 32 pixels and 54 lines at 300 dpi.
             EXPECT_EQ(t.paperWidth, 27);
             EXPECT_EQ(t.paperHeight, 46);
             EXPECT_EQ(t.rightMargin, 0);
             EXPECT_EQ(t.duplexMode, 1);
             EXPECT_EQ(t.angle, -1);
         }},
        {"margins without a layout", headerWith([](Header& h) { h.left = 40, h.top = 50; }), std::nullopt,
         [](const CPrintTicket& t) {
             EXPECT_EQ(t.rightMargin, 2480 - 40 - 32);  // 2100 x 300 / 254 = 2480.3
             EXPECT_EQ(t.bottomMargin, 3508 - 54 - 50); // 2970 x 300 / 254 = 3507.9
         }},
        {"margins, rotation, layout nibbles", headerWith([](Header&) {}), layoutWith([](Layout& l) {
             l.right = 17, l.bottom = 19, l.orientation = (4 << 1) | 0x10, l.byte2 = 0x73, l.byte3 = 0x2A;
         }),
         [](const CPrintTicket& t) {
             EXPECT_EQ(t.rightMargin, 17);
             EXPECT_EQ(t.bottomMargin, 19);
             EXPECT_EQ(t.angle, 270);
             EXPECT_EQ(t.rotate180, 1);
             EXPECT_EQ(t.layoutMode, 8);
             EXPECT_EQ(t.layoutHigh, 2);
             EXPECT_EQ(t.layoutLow, 10);
             EXPECT_EQ(t.orientation, 1) << "fixed papers take their orientation from the code";
         }},
        {"rotation code 0", headerWith([](Header&) {}), layoutWith([](Layout& l) { l.orientation = 0; }),
         [](const CPrintTicket& t) { EXPECT_EQ(t.angle, -1); }},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        Stream s;
        s.Options();
        if (c.layout)
            s.PageLayout(*c.layout);
        s.PageHeader(c.header).Band(50, 4, kBlank).PageEnd();
        auto pages = Scan(s.bytes);
        ASSERT_EQ(pages.size(), 1u);
        c.check(pages[0]);
    }
}

TEST(Scan, DuplexByte)
{
    const std::pair<BYTE, std::pair<int, int>> cases[] = {
        {0x00, {1, 0}}, {0x01, {2, 0}}, {0x05, {2, 1}}, {0x09, {3, 0}},
        {0x0D, {3, 1}}, {0x03, {4, 0}}, {0x0B, {4, 0}}, {0x04, {1, 0}},
    };
    for (auto [byte, expected] : cases)
    {
        Stream s;
        Layout l;
        l.duplex = byte;
        s.PageStart({}, l).Band(0, 1, kBlank).PageEnd();
        auto pages = Scan(s.bytes);
        ASSERT_EQ(pages.size(), 1u);
        EXPECT_EQ(std::make_pair(pages[0].duplexMode, pages[0].backSide), expected)
            << "duplex byte " << int(byte);
    }
}

TEST(MulDivRounded, RoundsLikeWindows)
{
    EXPECT_EQ(MulDivRounded(2100, 300, 254), 2480);
    EXPECT_EQ(MulDivRounded(5, 1, 2), 3);
    EXPECT_EQ(MulDivRounded(-5, 1, 2), -3);
    EXPECT_EQ(MulDivRounded(7, 1, 0), -1);
    EXPECT_EQ(MulDivRounded(INT32_MAX, 4, 2), -1);
}
} // namespace
} // namespace printfile
