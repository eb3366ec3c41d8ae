#include <gtest/gtest.h>

#include "device_caps.h"
#include "print_proc_caps.h"
#include "ui_fixture.h"

#include <memory>

using namespace velmoui;
using namespace velmoui_test;
using velmo::SettingsRecord;

namespace
{

std::unique_ptr<SettingsRecord> Record(LONG caps)
{
    auto r = std::make_unique<SettingsRecord>();
    r->capabilityFlags = caps;
    r->paperFeed = 1;
    r->paperId = 9;
    r->outputSize = 257;
    return r;
}

TEST(LayoutFeatures, TheWordFromTheProcessorsCapabilitiesThePrinterTheModelAndTheSystem)
{
    struct Case
    {
        const char* name;
        DWORD level, nup, pageOrder;
        DWORD attributes;
        const char16_t* port;
        LONG modelCaps;
        int os;
        DWORD word;
        std::vector<LONG> listed;
    } cases[] = {
        {"no capabilities, XP", 2, 0xFF, 0x7FFFFFFF, 0, u"LPT1:", 0x10000, 201, 0x100000, {1}},
        {"no capabilities, Vista", 2, 0xFF, 0x2, 0, u"LPT1:", 0x10000, 203, 0x60100000, {1}},
        {"one N-up value", 1, 0x1, 0, 0, u"LPT1:", 0, 211, 0x60100000, {1}},
        {"N-up list", 1, 0x2B, 0, 0, u"LPT1:", 0, 201, 0x300000, {1, 4}},
        {"split and booklet", 1, 0x1, 0x10000002, 0, u"LPT1:", 0x10000, 201, 0x10100002, {1, 2, 8}},
        {"booklet without duplex", 1, 0x1, 0x2, 0, u"LPT1:", 0x101, 201, 0x100000, {1}},
        {"every page-order bit", 1, 0x3, 0xFFFFFFFF, 0, u"LPT1:", 0x10000, 201, 0x7C300002, {1, 2, 4, 8}},
        {"raw only", 1, 0x2B, 0x10000002, 0x1000, u"LPT1:", 0x10000, 201, 0x100000, {1}},
        {"direct", 1, 0x2B, 0x10000002, 0x2, u"LPT1:", 0x10000, 201, 0x100000, {1}},
        {"to a file", 1, 0x2B, 0x10000002, 0, u"FILE:", 0x10000, 201, 0x100000, {1}},
        {"to a named file port",
         1,
         0x2B,
         0x10000002,
         0,
         u"C:\\out.prn",
         0x10000,
         201,
         0x10300002,
         {1, 2, 4, 8}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        PrinterRecord printer;
        printer.attributes = c.attributes;
        printer.portName = c.port;
        auto caps = ParsePrintProcCaps(CapsRecord(c.nup, c.pageOrder, c.level), printer, true);
        auto r = Record(c.modelCaps);
        DWORD word = LayoutFeatureWord(*r, caps, c.os);
        EXPECT_EQ(word, c.word);
        EXPECT_EQ(ListedLayoutModes(word), c.listed);
        EXPECT_TRUE(LayoutModeAllowed(1, word, false));
        EXPECT_FALSE(LayoutModeAllowed(16, 0xFFFFFFFF & ~0x80000000u, true));
        EXPECT_FALSE(LayoutModeAllowed(3, 0xFFFFFFFF, true));
    }
    // Booklet is kept only with its paper; a short record is never taken, a longer one is read.
    EXPECT_TRUE(LayoutModeAllowed(8, 0x100002, true));
    EXPECT_FALSE(LayoutModeAllowed(8, 0x100002, false));
    PrinterRecord printer;
    EXPECT_FALSE(ParsePrintProcCaps(std::vector<BYTE>(15, 1), printer, true));
    auto longer = CapsRecord(0x2B, 0);
    longer.resize(20, 0xFF);
    auto caps = ParsePrintProcCaps(longer, printer, true);
    ASSERT_TRUE(caps);
    EXPECT_EQ(caps->nupList, (std::vector<LONG>{1, 2, 4, 6}));
}

TEST(LayoutFeatures, BookletPaperByFeedOutputSizeAndModel)
{
    struct Case
    {
        LONG caps, zoomMode, feed, paper, output;
        bool allowed;
    } cases[] = {
        {0x10000, 0, 1, 8, 257, true},  {0x10000, 0, 1, 12, 0, true},    {0x10000, 0, 1, 9, 8, true},
        {0x10000, 0, 1, 8, 13, false},  {0x10000, 0, 1, 13, 257, false}, {0x10000, 0, 2, 9, 0, true},
        {0x10000, 0, 2, 8, 257, false}, {0x10000, 0, 2, 8, 9, true},     {0x10000, 0, 2, 13, 257, false},
        {0x90000, 0, 2, 13, 257, true}, {0x90000, 0, 2, 8, 13, true},    {0x90000, 0, 1, 13, 257, false},
        {0x10000, 1, 1, 9, 257, false}, {0x80000, 0, 2, 13, 257, false}, {0, 0, 1, 9, 257, false},
        {0x10000, 0, 0, 9, 257, false}, {0x10000, 0, 3, 9, 257, false},
    };
    for (const Case& c : cases)
    {
        auto r = Record(c.caps);
        r->zoomMode = c.zoomMode;
        r->paperFeed = c.feed;
        r->paperId = c.paper;
        r->outputSize = c.output;
        EXPECT_EQ(BookletPaperAllowed(*r), c.allowed)
            << c.caps << " " << c.zoomMode << " " << c.feed << " " << c.paper << " " << c.output;
    }
}

} // namespace
