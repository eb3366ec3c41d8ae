#include <gtest/gtest.h>

#include "page_models.h"
#include "page_preferences.h"
#include "ui_fixture.h"

#include <sim/machine.h>

using namespace velmoui;
using namespace velmoui_test;

namespace
{
constexpr LONG kA3 = 8, kA4 = 9, kB5 = 13, kLetter = 1;

WString Id(UINT id)
{
    return u"S" + FormatDecimal(id, 0, u"");
}

class PageModels : public ::testing::Test
{
protected:
    void SetUp() override { r = Defaults(printer); }

    FakePrinter printer; // a duplex model with every option
    std::unique_ptr<SettingsRecord> r;
};
} // namespace

TEST(DecimalFields, ParseAndFormat)
{
    struct Case
    {
        const char16_t* typed;
        int decimals;
        std::optional<int64_t> value;
    } cases[] = {
        {u"100.0", 2, 10000},
        {u"100,05", 2, 10005},
        {u"100.", 2, 10000},                 // missing decimals count as 0
        {u"12.345", 2, 1234},                // only the decimals wanted
        {u"abc-7", 0, -7},                   // a sign among the skipped characters
        {u"-+7", 0, 7},                      // the last sign counts
        {u"x 5 6", 0, 5},                    // digits end at the first non-digit
        {u"99999999999", 0, 9999999999},     // ten digits at most
        {u"9999999999.99", 2, 999999999990}, // no 32-bit wrap; the 13th character is not read
        {u"0000000000005", 0, 0},            // only 12 characters are read
        {u"", 0, std::nullopt},
        {u"--", 1, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseDecimal(c.typed, c.decimals), c.value) << static_cast<int>(c.typed[0]);
    EXPECT_EQ(FormatDecimal(10000, 2, u"."), u"100.00");
    EXPECT_EQ(FormatDecimal(1005, 1, u","), u"100,5");
    EXPECT_EQ(FormatDecimal(5, 2, u"."), u"0.05");
    EXPECT_EQ(FormatDecimal(-64, 0, u""), u"-64");
    EXPECT_EQ(Clamp(int64_t{1} << 40, 1, 99), 99);

    sim::machine().SetDecimalSeparator(u",");
    EXPECT_EQ(DecimalSeparator(), u",");
    sim::faults().FailNext("GetLocaleInfoW", ERROR_INVALID_PARAMETER);
    EXPECT_EQ(DecimalSeparator(), u".");
}

TEST(PaperZoom, PrintableAreaAndFitByResolutionClass)
{
    // A3 and A4 at 600 dpi, worked out by hand from the margins and the 32-dot rounding.
    struct Case
    {
        LONG resolutionClass;
        int64_t a3Width, a4Width;
    } cases[] = {{0, 6880, 4832}, {1, 6912, 4864}, {3, 6874, 4838}};
    for (const Case& c : cases)
    {
        PrintableArea a3 = PrintableAreaOf(2970, 4200, 600, 600, c.resolutionClass);
        PrintableArea a4 = PrintableAreaOf(2100, 2970, 600, 600, c.resolutionClass);
        EXPECT_EQ(a3.width, c.a3Width) << c.resolutionClass;
        EXPECT_EQ(a4.width, c.a4Width) << c.resolutionClass;
        EXPECT_EQ(a3.height, 9757);
        EXPECT_EQ(a4.height, 6851);
        // The heights decide (7022 against a larger width ratio), snapped to whole dots at 600 dpi.
        EXPECT_EQ(FitZoom({2970, 4200}, {2100, 2970}, 600, 600, c.resolutionClass), 7016)
            << c.resolutionClass;
    }
    EXPECT_EQ(FitZoom({0, 0}, {2100, 2970}, 600, 600, 0), 10000) << "no printable area: no division";
    EXPECT_EQ(FitZoom({2970, 4200}, {2100, 2970}, 0, 0, 0), 10000);
}

TEST_F(PageModels, AutomaticZoomByOutputSize)
{
    r->zoomMode = 0;
    r->paperId = kA3;
    r->outputSize = 0;
    EXPECT_EQ(AutomaticZoom(*r), 10000);
    r->outputSize = kA4;
    EXPECT_EQ(AutomaticZoom(*r), 7071); // min(2100/2970, 2970/4200), rounded
    r->outputSize = 257;
    r->printableMaxWidth = 2970;
    r->printableMaxHeight = 4318;
    EXPECT_EQ(AutomaticZoom(*r), 10000) << "fits the largest printable size";
    r->printableMaxWidth = 2100;
    r->printableMaxHeight = 2970;
    EXPECT_LT(AutomaticZoom(*r), 10000) << "does not fit";
    r->paperId = kA4;
    r->paperFeed = 2;
    EXPECT_LT(AutomaticZoom(*r), 10000) << "feed 2 crosses the largest size";
    r->paperFeed = 1;
    EXPECT_EQ(AutomaticZoom(*r), 10000);
    r->customWidth = 0;
    r->customHeight = 0;
    r->paperId = kCustomPaperId;
    r->outputSize = kA4;
    EXPECT_EQ(AutomaticZoom(*r), 10000) << "an empty document size divides nothing";
}

TEST_F(PageModels, PaperCorrections)
{
    struct Case
    {
        const char* what;
        LONG duplex;
        LONG limit;
        std::optional<int64_t> copies, sets;
        LONG wantCopies, wantSets;
        bool corrected;
        UINT message;
    } cases[] = {
        {"within", 0, 500, 3, 2, 3, 2, false, 0},
        {"duplex above the limit", 1, 500, 300, 2, 250, 2, true, 564},
        {"sets above the limit", 1, 50, 1, 99, 1, 50, true, 564},
        {"sets 150", 0, 500, 1, 150, 1, 99, true, 0},
        {"nothing", 0, 500, 0, -3, 1, 1, true, 0},
        {"copies above 9999", 0, 500, 10000, 1, 9999, 1, true, 0},
        {"unreadable copies keep theirs", 0, 500, std::nullopt, 1, 7, 1, true, 0},
    };
    for (const Case& c : cases)
    {
        SettingsRecord s = *r;
        s.duplex = c.duplex;
        s.duplexMaxCopies = c.limit;
        s.copies = 7;
        Correction got = CorrectPaper(s, {c.copies, c.sets, std::nullopt});
        EXPECT_EQ(s.copies, c.wantCopies) << c.what;
        EXPECT_EQ(s.sets, c.wantSets) << c.what;
        EXPECT_EQ(got.corrected, c.corrected) << c.what;
        EXPECT_EQ(got.message, c.message) << c.what;
        if (c.message)
        {
            EXPECT_EQ(got.messageValue, c.limit) << c.what;
            EXPECT_EQ(got.focus, 1121) << c.what;
        }
    }
    SettingsRecord s = *r;
    s.capabilityFlags &= ~kCapDuplex;
    s.duplex = 1;
    s.duplexMaxCopies = 10;
    EXPECT_EQ(CorrectPaper(s, {300, 2, std::nullopt}).message, 0u) << "no duplex model, no 564";
    s.zoomMode = 1;
    s.zoom = 10000;
    EXPECT_TRUE(CorrectPaper(s, {1, 1, 300000}).corrected);
    EXPECT_EQ(s.zoom, kZoomMax);
    EXPECT_FALSE(CorrectPaper(s, {1, 1, 15050}).corrected);
    EXPECT_EQ(s.zoom, 15050);
}

TEST_F(PageModels, LayoutModesAndDuplexTransitions)
{
    PrintProcCaps caps;
    caps.pageOrderFlags = 0x10000000 | 0x8000000;
    caps.nupList = {1, 2, 4};
    caps.booklet = true;
    DWORD word = LayoutFeatureWord(caps, 211, *r);
    EXPECT_EQ(word, 0x10000000u | 0x8000000 | 0x100000 | 0x60000000 | 0x200000 | 0x2);
    EXPECT_EQ(OfferedModes(word), (std::vector<LONG>{1, 2, 4, 8}));
    EXPECT_EQ(PagesPerSheetChoices(caps), (std::vector<LONG>{2, 4}));
    EXPECT_FALSE(LayoutListShown(LayoutFeatureWord(std::nullopt, 211, *r)));
    EXPECT_EQ(LayoutFeatureWord(std::nullopt, 201, *r), 0x100000u);

    r->zoomMode = 0;
    r->paperId = kA4;
    r->outputSize = 257;
    r->paperFeed = 1;
    r->sameMasterBothSides = 1;
    Transition t = ChooseLayoutMode(*r, kModeBooklet, word);
    EXPECT_TRUE(t.taken);
    EXPECT_EQ(r->duplex, 1);
    EXPECT_EQ(r->binding, 1);
    EXPECT_EQ(r->sameMasterBothSides, 0);
    EXPECT_EQ(BindingChoices(*r), std::vector<UINT>{584});
    t = SetDuplex(*r, false);
    EXPECT_EQ(r->layoutMode, kModeStandard) << "unchecking duplex leaves booklet mode";

    ASSERT_TRUE(ChooseLayoutMode(*r, kModeBooklet, word).taken);
    EXPECT_TRUE(ChooseLayoutMode(*r, kModeSplit, word).taken);
    EXPECT_EQ(r->duplex, 0) << "leaving booklet mode turns duplex off";
    EXPECT_EQ(BindingChoices(*r), (std::vector<UINT>{598, 599}));

    r->paperId = kLetter;
    r->capabilityFlags |= kCapDuplexB5;
    t = ChooseLayoutMode(*r, kModeBooklet, word);
    EXPECT_FALSE(t.taken);
    EXPECT_EQ(t.message, 569u) << "this model prints B5 duplex";
    EXPECT_EQ(r->layoutMode, kModeSplit);
    r->capabilityFlags &= ~kCapDuplexB5;
    EXPECT_EQ(ChooseLayoutMode(*r, kModeBooklet, word).message, 568u);

    r->paperId = kA3;
    r->duplex = 1;
    EXPECT_TRUE(DuplexCheck(*r).taken);
    r->paperFeed = 2;
    t = DuplexCheck(*r);
    EXPECT_FALSE(t.taken);
    EXPECT_EQ(r->duplex, 0) << "A3 fed sideways is no duplex paper";
    r->paperId = kB5;
    r->duplex = 1;
    EXPECT_FALSE(DuplexCheck(*r).taken) << "B5 sideways only with the B5 capability";
    r->capabilityFlags |= kCapDuplexB5;
    r->duplex = 1;
    EXPECT_TRUE(DuplexCheck(*r).taken);
    r->zoomMode = 1;
    EXPECT_FALSE(BookletPaperOk(*r)) << "a user zoom prints no duplex";
}

TEST_F(PageModels, OptionFieldsAndCommandLine)
{
    for (int row = 0; row < 4; ++row)
    {
        SetTapeCluster(*r, row);
        EXPECT_EQ(TapeClusterRow(*r), row);
    }
    SetTapeCluster(*r, 1);
    EXPECT_EQ(r->finishing[2], 5);
    EXPECT_EQ(r->finishing[0], 1);
    EXPECT_EQ(r->finishing[1], 1);
    EXPECT_EQ(MemoryStorageName(g_MemoryStorageValues[2]), 527u);
    EXPECT_EQ(MemoryStorageName(g_MemoryStorageValues[1]), 528u);

    r->userNumber = 5;
    EXPECT_TRUE(CorrectUserNumber(*r, 150).corrected);
    EXPECT_EQ(r->userNumber, 100);
    EXPECT_TRUE(CorrectUserNumber(*r, std::nullopt).corrected);
    EXPECT_EQ(r->userNumber, 100);
    EXPECT_FALSE(CorrectUserNumber(*r, 42).corrected);
    EXPECT_EQ(r->userNumber, 42);
    r->swingValue = 3;
    EXPECT_TRUE(CorrectSwingValue(*r, 256).corrected);
    EXPECT_EQ(r->swingValue, 255);
    EXPECT_TRUE(CorrectGrayShift(*r, -65).corrected);
    EXPECT_EQ(r->grayShift, -64);

    EXPECT_EQ(PrintUiCommandLine(u"C:\\Windows\\System32", u"Velmo Q7"),
              u"C:\\Windows\\System32\\rundll32.exe C:\\Windows\\System32\\printui.dll,PrintUIEntry /e /n "
              u"\"Velmo Q7\"");
    EXPECT_FALSE(PrintUiCommandLine(u"C:\\Windows\\System32", u"Bad\" /x"));
    WString longCaption(400, u'c');
    EXPECT_EQ(FormatWithText(u"a %s b", longCaption).size(), 404u) << "no fixed buffer";
    EXPECT_EQ(FormatWithNumber(u"limit %d.", 500), u"limit 500.");

    EXPECT_EQ(ReadWarnThreshold(u"120", 2).value, 120);
    EXPECT_FALSE(ReadWarnThreshold(u"120", 2).corrected);
    EXPECT_EQ(ReadWarnThreshold(u"989902", 2).value, 989901);
    EXPECT_EQ(ReadWarnThreshold(u"-5", 2).value, 1);
    EXPECT_TRUE(ReadWarnThreshold(u"none", 2).corrected);
}

TEST_F(PageModels, SummaryTexts)
{
    r->paperId = kA4;
    r->outputSize = 0;
    r->zoomMode = 0;
    r->duplex = 0;
    r->documentType = 2;
    r->rotate180 = 0;
    EXPECT_EQ(SummaryText(*r, Id, u"."), u"S557:\r\n  S542\r\nS556:\r\n  S553");

    r->outputSize = 257;
    r->zoom = 7071;
    r->duplex = 1;
    r->binding = 1;
    r->sameMasterBothSides = 0;
    r->layoutMode = 1;
    r->rotate180 = 1;
    EXPECT_EQ(
        SummaryText(*r, Id, u","),
        u"S557:\r\n  S542\r\nS595:\r\n  S606\r\nS604: 70,71%\r\nS558:\r\n  S599\r\nS556:\r\n  S553\r\nS603");

    r->zoomMode = 1;
    r->zoom = 15050;
    r->layoutMode = kModeBooklet;
    r->orientation = DMORIENT_PORTRAIT;
    r->bookletOpening = 1;
    r->rotate180 = 0;
    r->documentType = 9; // out of range reads as 1
    EXPECT_EQ(SummaryText(*r, Id, u"."),
              u"S557:\r\n  S542\r\nS605: 150.5%\r\nS558:\r\n  S584 [S515]\r\nS556:\r\n  S552");

    r->zoomMode = 0;
    r->outputSize = 0;
    r->duplex = 0;
    r->paperId = kCustomPaperId;
    r->customSizeEnabled = 1;
    r->customWidth = 2159;
    r->customHeight = 2794;
    r->userPaperFlag = 1;
    EXPECT_EQ(SummaryText(*r, Id, u"."), u"S557:\r\n  S551\r\n    (8.50 x 11.00 S608)\r\nS556:\r\n  S552");
}
