#include <gtest/gtest.h>

#include "strings_table.h"
#include "print_proc_caps.h"
#include "ui_fixture.h"
#include "ui_settings.h"
#include "ui_strings.h"

#include <settings.h>

#include <functional>
#include <string>

using namespace velmoui;
using namespace velmoui_test;
using velmo::SettingsRecord;

namespace
{
class UiSettings : public ::testing::Test
{
protected:
    void SetUp() override { sim::desktop().RegisterResources(u"test.exe", VELMO_UI_RC); }
};

std::string Narrow(WStringView s)
{
    std::string out;
    for (WCHAR c : s)
        out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

// An application's DEVMODE of this layout: the printer's defaults with `edit` applied.
std::vector<BYTE> Input(FakePrinter& printer, const std::function<void(SettingsRecord&)>& edit,
                        DWORD fields = 0)
{
    auto r = Defaults(printer);
    r->dm.dmFields = fields;
    edit(*r);
    return BytesOf(*r, velmo::kRecordDevModeSize);
}

std::unique_ptr<SettingsRecord> Merged(FakePrinter& printer, const std::vector<BYTE>& input)
{
    auto r = Defaults(printer);
    _UdcMergeSelfDMode(*r, input, printer, kPrinterName);
    return r;
}
} // namespace

// Golden defaults for paper-list types 2, 6 and 21 and resolution keys 1, 2, 3, 4 and 7.
TEST_F(UiSettings, DefaultsByModel)
{
    const std::pair<size_t, LONG> common[] = {{220, 5},         {224, 0},
                                              {228, 100},       {232, 9},
                                              {236, 257},       {240, 0},
                                              {244, 0},         {248, 1},
                                              {252, 1},         {256, 1},
                                              {260, 0},         {276, 0},
                                              {280, 1},         {284, 0},
                                              {288, 2100},      {292, 2970},
                                              {296, 1},         {316, 0},
                                              {320 + 80, 259},  {320 + 84, 2100},
                                              {320 + 88, 2970}, {320 + 92 * 19 + 80, 278},
                                              {2176, 1},        {2180, 0},
                                              {2188, 1},        {2196, 1},
                                              {2216, 1},        {2220, 0},
                                              {2224, 30},       {2232, 0},
                                              {2244, 1},        {2248, 2},
                                              {2252, 1},        {2268, 0},
                                              {2808, 0},        {2820, 1},
                                              {2824, 128},      {2828, 0},
                                              {2832, 2},        {2888, 0},
                                              {2892, 30},       {2900, 10000},
                                              {2904, 10000},    {2916, 0},
                                              {2920, 1},        {2924, 0},
                                              {2928, 1},        {2932, 500},
                                              {2936, 0},        {2940, static_cast<LONG>(0x28116119)},
                                              {2944 + 296, 0},  {2944 + 300, 2}};
    struct Model
    {
        const char16_t* driver;
        LONG key, type, caps, index, klass, dpi, minWidth, maxWidth, maxHeight, printWidth, printHeight;
        DWORD fields;
    } models[] = {
        {u"KORIGRAPH Driver", 3, 21, 0x90117, 2, 0, 600, 500, 3200, 5400, 2970, 4318, 0x9B4F},
        {u"KORIGRAPH DX-1400", 2, 6, 0x1, 1, 0, 400, 500, 2970, 5400, 2100, 2970, 0x8B4F},
        {u"KORIGRAPH DX-1300", 1, 2, 0, 0, 0, 300, 1000, 2100, 2970, 2100, 2970, 0x8B4F},
        {u"KORIGRAPH DX-3600", 4, 9, 0x103, 3, 1, 600, 500, 2970, 5400, 2970, 4318, 0x8B4F},
        {u"KORIGRAPH DX-5360", 7, 8, 0x101, 6, 3, 360, 500, 2970, 5400, 2570, 3640, 0x8B4F},
    };
    for (const Model& m : models)
    {
        SCOPED_TRACE(Narrow(m.driver));
        FakePrinter printer(m.driver);
        auto r = Defaults(printer);
        auto b = BytesOf(*r);
        for (auto [offset, value] : common)
            EXPECT_EQ(At(b, offset), value) << "offset " << offset;
        const std::pair<size_t, LONG> own[] = {{2812, m.key},        {2816, m.type},       {2228, m.caps},
                                               {2164, m.index},      {2168, m.klass},      {300, m.maxWidth},
                                               {304, m.maxHeight},   {308, m.minWidth},    {312, 1480},
                                               {2908, m.printWidth}, {2912, m.printHeight}};
        for (auto [offset, value] : own)
            EXPECT_EQ(At(b, offset), value) << "offset " << offset;
        EXPECT_EQ(r->dm.dmSpecVersion, 0x0401);
        EXPECT_EQ(r->dm.dmDriverVersion, 1835);
        EXPECT_EQ(r->dm.dmSize, 220);
        EXPECT_EQ(r->dm.dmDriverExtra, 2724);
        EXPECT_EQ(r->dm.dmFields, m.fields);
        EXPECT_EQ(r->dm.dmPrintQuality, m.dpi);
        EXPECT_EQ(r->dm.dmYResolution, m.dpi);
        EXPECT_EQ(r->dm.dmPaperSize, 9);
        EXPECT_EQ(r->dm.dmPaperWidth, 2100);
        EXPECT_EQ(r->dm.dmPaperLength, 2970);
        EXPECT_EQ(r->dm.dmDuplex, 1);
        EXPECT_EQ(r->dm.dmNup, 1u);
        EXPECT_EQ(WString(r->dm.dmFormName), u"A4 (210 x 297 mm)");
        EXPECT_EQ(r->colorAdjustment.caRedGamma, 10000);
        EXPECT_EQ(r->printer.devHTInfo.ColorInfo.Red.x, 6810);
        EXPECT_TRUE(SettingsInRange(*r));
    }
}

TEST_F(UiSettings, UnknownDriverGetsTheSmallestListAt600DpiAndNoCapability)
{
    FakePrinter printer(u"Another Printer");
    auto r = Defaults(printer);
    EXPECT_EQ(r->modelPaperListType, 2);
    EXPECT_EQ(r->modelResolutionType, 3);
    EXPECT_EQ(r->capabilityFlags, 0);
    EXPECT_EQ(r->dm.dmPrintQuality, 600);
    FakePrinter lower(u"korigraph dx-3800");
    auto l = Defaults(lower);
    EXPECT_EQ(l->capabilityFlags, 0x90107) << "capabilities are found without case";
    EXPECT_EQ(l->modelPaperListType, 2) << "the paper-list type is not";
    FakePrinter none;
    none.hasPrinter = false;
    EXPECT_EQ(Defaults(none)->dm.dmPrintQuality, 600);
}

TEST_F(UiSettings, SettingsFileOverridesByModelSection)
{
    sim::files().Put(kSettingsFile, "[OperationSetup]\r\nProcessingMethodForDensity=3\r\n"
                                    "ProcessingMethodForColorSeparation=4\r\n"
                                    "[KORIGRAPH DX-2660]\r\nBinListEnable=1\r\nOrderedDitherMethod=5\r\n"
                                    "ErrorDiffusionMethod=6\r\nDuplexMaxCopies=300\r\n"
                                    "[KORIGRAPH DX-1300]\r\nDuplexMaxCopies=0\r\n"
                                    "[KORIGRAPH DX-1400]\r\nDuplexMaxCopies=10000\r\n");
    FakePrinter printer;
    auto r = Defaults(printer);
    EXPECT_EQ(r->ProcessingMethodForDensity, 3);
    EXPECT_EQ(r->ProcessingMethodForColorSeparation, 4);
    EXPECT_EQ(r->binListEnable, 1);
    EXPECT_EQ(r->OrderedDitherMethod, 5);
    EXPECT_EQ(r->ErrorDiffusionMethod, 6);
    EXPECT_EQ(r->duplexMaxCopies, 300);
    for (const char16_t* driver : {u"KORIGRAPH DX-1300", u"KORIGRAPH DX-1400", u"KORIGRAPH DX-3600"})
    {
        FakePrinter other(driver);
        auto o = Defaults(other);
        EXPECT_EQ(o->duplexMaxCopies, 500) << Narrow(driver);
        EXPECT_EQ(o->binListEnable, 0) << Narrow(driver);
        EXPECT_EQ(o->ProcessingMethodForDensity, 3) << Narrow(driver);
    }
}

TEST_F(UiSettings, PrintToFileDefaultComesFromThePrinterData)
{
    struct Row
    {
        std::vector<BYTE> data;
        LONG expected;
    } rows[] = {{{1}, 1}, {{0}, 0}, {{}, 0}, {{7}, 0}};
    for (const Row& row : rows)
    {
        FakePrinter printer;
        printer.SetBinary(kDefaultPrintToFileValue, row.data);
        EXPECT_EQ(Defaults(printer)->printToFile, row.expected);
    }
    FakePrinter absent;
    EXPECT_EQ(Defaults(absent)->printToFile, 0);
}

TEST_F(UiSettings, StandardPartFromThePrivateFields)
{
    FakePrinter printer;
    auto r = Defaults(printer, u"\\\\server\\Velmo Q7 on the second floor of the east wing, copy");
    EXPECT_EQ(WString(r->dm.dmDeviceName), u"\\\\server\\Velmo Q7 on the second");
    r = Defaults(printer, u"Velmo,LPT1:");
    EXPECT_EQ(WString(r->dm.dmDeviceName), u"Velmo");
    EXPECT_EQ(r->dm.dmFields, 0x9B4Fu);

    struct Duplex
    {
        LONG duplex, binding, sameMaster, layout;
        short expected;
    } duplexRows[] = {{0, 0, 0, 1, 1}, {1, 0, 0, 1, 2}, {1, 1, 0, 1, 3}, {1, 0, 1, 1, 1}, {1, 0, 0, 8, 3}};
    for (const Duplex& d : duplexRows)
    {
        r->duplex = d.duplex;
        r->binding = d.binding;
        r->sameMasterBothSides = d.sameMaster;
        r->layoutMode = d.layout;
        _UdcUpdateCmnDModeArea(*r, kPrinterName);
        EXPECT_EQ(r->dm.dmDuplex, d.expected) << d.duplex << d.binding << d.sameMaster << d.layout;
    }
    FakePrinter simplex(u"KORIGRAPH DX-1300");
    auto s = Defaults(simplex);
    s->duplex = 1;
    _UdcUpdateCmnDModeArea(*s, kPrinterName);
    EXPECT_EQ(s->dm.dmDuplex, 1) << "a model without duplex";

    struct Paper
    {
        LONG id;
        const char16_t* form;
        short width, length;
    } papers[] = {
        {1, u"Letter (215.9 x 279.4 mm)", 2159, 2794},
        {43, u"엽서 (100 x 148 mm)", 1000, 1480},
        {8, u"A3 (297 x 420 mm)", 2970, 4200},
        {256, u"사용자 용지 크기", 1234, 2345},
        {260, u"My paper", 1500, 2500},
    };
    r->customWidth = 1234;
    r->customHeight = 2345;
    CopyName(r->userPapers[1].name, u"My paper");
    r->userPapers[1].width = 1500;
    r->userPapers[1].height = 2500;
    for (const Paper& p : papers)
    {
        r->paperId = p.id;
        _UdcUpdateCmnDModeArea(*r, kPrinterName);
        EXPECT_EQ(WString(r->dm.dmFormName), p.form) << p.id;
        EXPECT_EQ(r->dm.dmPaperWidth, p.width) << p.id;
        EXPECT_EQ(r->dm.dmPaperLength, p.length) << p.id;
    }
}

TEST_F(UiSettings, ValidityMaskAndTheDeviceNameBeforeVista)
{
    FakePrinter printer;
    auto r = Defaults(printer);
    auto good = BytesOf(*r, velmo::kRecordDevModeSize);
    EXPECT_EQ(CfcCheckMySelfDMode(good, kPrinterName, 211), 0u);
    EXPECT_EQ(CfcCheckMySelfDMode(good, u"Velmo Q7 copy 2", 201), 0u) << "compared over the shorter name";
    EXPECT_EQ(CfcCheckMySelfDMode(good, u"Other", 201), 0x20u);
    EXPECT_EQ(CfcCheckMySelfDMode(good, u"Other", 203), 0u);

    velmo::SelfDMode graphics;
    velmo::_UdcResetSelfDMode(graphics, kPrinterName, u"KORIGRAPH DX-2660");
    auto old = BytesOf(graphics, velmo::kDevModeSize);
    EXPECT_EQ(CfcCheckMySelfDMode(old, kPrinterName, 211), 0x2u | 0x8u);
    EXPECT_EQ(CfcCheckMySelfDMode(std::span<const BYTE>(good).first(100), kPrinterName, 211), 0x10u);
    EXPECT_EQ(CfcCheckMySelfDMode({}, kPrinterName, 211), 0x1Fu);
}

namespace
{
struct MergeCase
{
    const char* name;
    const char16_t* driver;
    DWORD fields;
    std::function<void(SettingsRecord&)> edit;
    std::function<void(const SettingsRecord&)> check;
    std::vector<BYTE> caps = {}; // the print processor's record; empty: none
};

void Name40(SettingsRecord& r, int i, char16_t fill)
{
    std::fill(std::begin(r.userPapers[i].name), std::end(r.userPapers[i].name), fill);
}
} // namespace

TEST_F(UiSettings, MergeRules)
{
    sim::files().Put(kSettingsFile, "[KORIGRAPH DX-2660]\r\nDuplexMaxCopies=300\r\n");
    const char16_t* k2660 = u"KORIGRAPH DX-2660"; // type 10, duplex, options B, memory storage
    const char16_t* k1400 = u"KORIGRAPH DX-1400"; // type 6, option A only
    const auto booklet = CapsRecord(0x2 | 0x8 | 0x20, 0x2 | 0x10000000 | 0x200000 | 0x40000000 | 0x20000000);
    const MergeCase cases[] = {
        {"dmDuplex 2: long edge", k2660, DM_DUPLEX, [](SettingsRecord& i) { i.dm.dmDuplex = 2; },
         [](const SettingsRecord& r) {
             EXPECT_EQ(std::make_tuple(r.duplex, r.binding, r.sameMasterBothSides), std::make_tuple(1, 0, 0));
             EXPECT_EQ(r.dm.dmDuplex, 2);
         }},
        {"dmDuplex 3: short edge", k2660, DM_DUPLEX, [](SettingsRecord& i) { i.dm.dmDuplex = 3; },
         [](const SettingsRecord& r) {
             EXPECT_EQ(std::make_tuple(r.duplex, r.binding), std::make_tuple(1, 1));
             EXPECT_EQ(r.dm.dmDuplex, 3);
         }},
        {"dmDuplex 1 keeps one master", k2660, DM_DUPLEX,
         [](SettingsRecord& i) { i.dm.dmDuplex = 1, i.duplex = 1, i.sameMasterBothSides = 1; },
         [](const SettingsRecord& r) {
             EXPECT_EQ(std::make_tuple(r.duplex, r.sameMasterBothSides), std::make_tuple(1, 1));
             EXPECT_EQ(r.dm.dmDuplex, 1);
         }},
        {"dmDuplex 1 without one master", k2660, DM_DUPLEX,
         [](SettingsRecord& i) { i.dm.dmDuplex = 1, i.duplex = 1; },
         [](const SettingsRecord& r) { EXPECT_EQ(r.duplex, 0); }},
        {"duplex ignored without DM_DUPLEX", k2660, 0,
         [](SettingsRecord& i) { i.dm.dmDuplex = 2, i.duplex = 1; },
         [](const SettingsRecord& r) { EXPECT_EQ(r.duplex, 0); }},
        {"document type 0", k2660, 0, [](SettingsRecord& i) { i.documentTypeIndex = 0; },
         [](const SettingsRecord& r) {
             EXPECT_EQ(std::make_tuple(r.documentTypeIndex, r.ditherIndex, r.documentType),
                       std::make_tuple(0, 2, 0));
         }},
        {"document type 2", k2660, 0, [](SettingsRecord& i) { i.documentTypeIndex = 2; },
         [](const SettingsRecord& r) {
             EXPECT_EQ(std::make_tuple(r.documentTypeIndex, r.ditherIndex, r.documentType),
                       std::make_tuple(2, 0, 0));
         }},
        {"document type 3", k2660, 0, [](SettingsRecord& i) { i.documentTypeIndex = 3; },
         [](const SettingsRecord& r) {
             EXPECT_EQ(std::make_tuple(r.documentTypeIndex, r.ditherIndex, r.documentType),
                       std::make_tuple(3, 3, 3));
         }},
        {"document type 7", k2660, 0, [](SettingsRecord& i) { i.documentTypeIndex = 7, i.documentType = 3; },
         [](const SettingsRecord& r) {
             EXPECT_EQ(std::make_tuple(r.documentTypeIndex, r.ditherIndex, r.documentType),
                       std::make_tuple(1, 1, 0));
         }},
        {"user zoom 0", k2660, 0, [](SettingsRecord& i) { i.zoomMode = 1, i.zoom = 0; },
         [](const SettingsRecord& r) {
             EXPECT_EQ(std::make_tuple(r.zoomMode, r.zoom), std::make_tuple(1, 10000));
         }},
        {"user zoom 4999", k2660, 0, [](SettingsRecord& i) { i.zoomMode = 1, i.zoom = 4999; },
         [](const SettingsRecord& r) { EXPECT_EQ(r.zoom, 5000); }},
        {"user zoom 25000", k2660, 0, [](SettingsRecord& i) { i.zoomMode = 1, i.zoom = 25000; },
         [](const SettingsRecord& r) { EXPECT_EQ(r.zoom, 20000); }},
        {"user zoom -5", k2660, 0, [](SettingsRecord& i) { i.zoomMode = 1, i.zoom = -5; },
         [](const SettingsRecord& r) { EXPECT_EQ(r.zoom, 5000); }},
        {"copies above DuplexMaxCopies on duplex", k2660, DM_DUPLEX | DM_COPIES,
         [](SettingsRecord& i) { i.dm.dmDuplex = 2, i.dm.dmCopies = 301; },
         [](const SettingsRecord& r) { EXPECT_EQ(r.copies, 1); }},
        {"copies at DuplexMaxCopies on duplex", k2660, DM_DUPLEX | DM_COPIES,
         [](SettingsRecord& i) { i.dm.dmDuplex = 2, i.dm.dmCopies = 300; },
         [](const SettingsRecord& r) { EXPECT_EQ(r.copies, 300); }},
        {"copies on one side", k2660, DM_COPIES, [](SettingsRecord& i) { i.dm.dmCopies = 9999; },
         [](const SettingsRecord& r) { EXPECT_EQ(r.copies, 9999); }},
        {"copies 0", k2660, DM_COPIES, [](SettingsRecord& i) { i.dm.dmCopies = 0; },
         [](const SettingsRecord& r) { EXPECT_EQ(r.copies, 1); }},
        {"sets 0", k2660, 0, [](SettingsRecord& i) { i.sets = 0; },
         [](const SettingsRecord& r) { EXPECT_EQ(r.sets, 1); }},
        {"sets 100", k2660, 0, [](SettingsRecord& i) { i.sets = 100; },
         [](const SettingsRecord& r) { EXPECT_EQ(r.sets, 1); }},
        {"sets 99", k2660, 0, [](SettingsRecord& i) { i.sets = 99; },
         [](const SettingsRecord& r) { EXPECT_EQ(r.sets, 99); }},
        {"swing 0", k2660, 0, [](SettingsRecord& i) { i.swingValue = 0; },
         [](const SettingsRecord& r) { EXPECT_EQ(r.swingValue, 30); }},
        {"swing 256", k2660, 0, [](SettingsRecord& i) { i.swingValue = 256; },
         [](const SettingsRecord& r) { EXPECT_EQ(r.swingValue, 30); }},
        {"swing 7", k2660, 0, [](SettingsRecord& i) { i.swingValue = 7; },
         [](const SettingsRecord& r) { EXPECT_EQ(r.swingValue, 7); }},
        {"custom paper within the extents", k2660, DM_PAPERSIZE,
         [](SettingsRecord& i) {
             i.dm.dmPaperSize = 256, i.dm.dmPaperWidth = 100, i.dm.dmPaperLength = 9000;
         },
         [](const SettingsRecord& r) {
             EXPECT_EQ(std::make_tuple(r.paperId, r.customWidth, r.customHeight),
                       std::make_tuple(256, 500, 5400));
         }},
        {"a paper the list lacks", u"KORIGRAPH DX-1300", DM_PAPERSIZE,
         [](SettingsRecord& i) { i.dm.dmPaperSize = 8; },
         [](const SettingsRecord& r) { EXPECT_EQ(r.paperId, 9); }},
        {"letter by its standard id", u"KORIGRAPH DX-1300", DM_PAPERSIZE,
         [](SettingsRecord& i) { i.dm.dmPaperSize = 1; },
         [](const SettingsRecord& r) {
             EXPECT_EQ(r.paperId, 1);
             EXPECT_EQ(r.dm.dmPaperWidth, 2159);
         }},
        {"paper ignored without DM_PAPERSIZE", k2660, 0, [](SettingsRecord& i) { i.dm.dmPaperSize = 8; },
         [](const SettingsRecord& r) { EXPECT_EQ(r.paperId, 9); }},
        {"an output size the list lacks", u"KORIGRAPH DX-1300", 0,
         [](SettingsRecord& i) { i.outputSize = 8; },
         [](const SettingsRecord& r) { EXPECT_EQ(r.outputSize, 257); }},
        {"an output size of the list", u"KORIGRAPH DX-1300", 0, [](SettingsRecord& i) { i.outputSize = 43; },
         [](const SettingsRecord& r) { EXPECT_EQ(r.outputSize, 43); }},
        {"orientation", k2660, DM_ORIENTATION, [](SettingsRecord& i) { i.dm.dmOrientation = 2; },
         [](const SettingsRecord& r) { EXPECT_EQ(r.orientation, 2); }},
        {"orientation 3", k2660, DM_ORIENTATION, [](SettingsRecord& i) { i.dm.dmOrientation = 3; },
         [](const SettingsRecord& r) { EXPECT_EQ(r.orientation, 1); }},
        {"a source the list does not offer", k2660, DM_DEFAULTSOURCE,
         [](SettingsRecord& i) { i.dm.dmDefaultSource = 2; },
         [](const SettingsRecord& r) { EXPECT_EQ(r.paperSource, 5); }},
        {"memory storage with its capability", u"KORIGRAPH DX-4600", 0,
         [](SettingsRecord& i) { i.memoryStorage = 4, i.userNumber = 150; },
         [](const SettingsRecord& r) {
             EXPECT_EQ(std::make_pair(r.memoryStorage, r.userNumber), std::make_pair(WORD(4), WORD(100)));
         }},
        {"memory storage above 4", u"KORIGRAPH DX-4600", 0, [](SettingsRecord& i) { i.memoryStorage = 5; },
         [](const SettingsRecord& r) { EXPECT_EQ(r.memoryStorage, 0); }},
        {"memory storage without its capability", k1400, 0,
         [](SettingsRecord& i) { i.memoryStorage = 4, i.userNumber = 50; },
         [](const SettingsRecord& r) {
             EXPECT_EQ(std::make_pair(r.memoryStorage, r.userNumber), std::make_pair(WORD(0), WORD(0)));
         }},
        {"finishing with both option B parts", k2660, 0,
         [](SettingsRecord& i) { i.finishing[0] = 3, i.finishing[3] = 1, i.finishing[4] = 2; },
         [](const SettingsRecord& r) {
             EXPECT_EQ(std::make_tuple(r.finishing[0], r.finishing[3], r.finishing[4]),
                       std::make_tuple(3, 1, 2));
         }},
        {"finishing without option B", k1400, 0,
         [](SettingsRecord& i) { i.finishing[3] = 1, i.finishing[4] = 2; },
         [](const SettingsRecord& r) {
             EXPECT_EQ(std::make_pair(r.finishing[3], r.finishing[4]), std::make_pair(0, 0));
         }},
        {"user papers: names ended, ids by place, sizes in the extents", k2660, 0,
         [](SettingsRecord& i) {
             Name40(i, 0, u'x');
             i.userPapers[0].id = 7;
             i.userPapers[0].width = 99999;
             CopyName(i.userPapers[1].name, u"zero");
             i.userPapers[1].width = 0;
             CopyName(i.userPapers[2].name, u"small");
             i.userPapers[2].width = 10;
             i.userPapers[2].height = 20000;
         },
         [](const SettingsRecord& r) {
             EXPECT_EQ(WString(r.userPapers[0].name), WString(39, u'x'));
             EXPECT_EQ(r.userPapers[0].id, 259);
             EXPECT_EQ(r.userPapers[0].width, 3200);
             EXPECT_EQ(WString(r.userPapers[1].name), u"");
             EXPECT_EQ(std::make_pair(r.userPapers[2].width, r.userPapers[2].height),
                       std::make_pair(500, 5400));
         }},
        {"an unended folder is not taken", k2660, 0,
         [](SettingsRecord& i) {
             std::fill(std::begin(i.printToFileFolder), std::end(i.printToFileFolder), u'd');
         },
         [](const SettingsRecord& r) { EXPECT_EQ(r.printToFileFolder[0], 0); }},
        {"a folder and the print-to-file flag", k2660, 0,
         [](SettingsRecord& i) { CopyName(i.printToFileFolder, u"C:\\Jobs"), i.printToFile = 1; },
         [](const SettingsRecord& r) {
             EXPECT_EQ(WString(r.printToFileFolder), u"C:\\Jobs");
             EXPECT_EQ(r.printToFile, 1);
         }},
        {"colour adjustment out of its ranges", k2660, 0,
         [](SettingsRecord& i) { i.colorAdjustment.caRedGamma = 1; },
         [](const SettingsRecord& r) { EXPECT_EQ(r.colorAdjustment.caRedGamma, 10000); }},
        {"options 2860 only while 2864 is 0", k2660, 0,
         [](SettingsRecord& i) { i.uiValue4 = 1, i.uiValue5 = 3; },
         [](const SettingsRecord& r) {
             EXPECT_EQ(std::make_pair(r.uiValue4, r.uiValue5), std::make_pair(0, 3));
         }},
        {"booklet without print-processor capabilities", k2660, 0,
         [](SettingsRecord& i) { i.layoutMode = 8, i.pagesPerSheet = 4, i.nupOrder = 2, i.rotate180 = 1; },
         [](const SettingsRecord& r) {
             EXPECT_EQ(std::make_tuple(r.layoutMode, r.pagesPerSheet, r.nupOrder, r.rotate),
                       std::make_tuple(1, 2, 1, 1));
         }},
        {"booklet with its flag, portrait fed landscape", k2660, 0,
         [](SettingsRecord& i) { i.layoutMode = 8, i.paperFeed = 2, i.bookletOpening = 1; },
         [](const SettingsRecord& r) {
             EXPECT_EQ(std::make_tuple(r.layoutMode, r.rotate, r.bookletOpening), std::make_tuple(8, 1, 1));
             EXPECT_EQ(r.dm.dmDuplex, 1) << "duplex is off";
         },
         booklet},
        {"split with a listed count turns with 2 pages", k2660, 0,
         [](SettingsRecord& i) { i.layoutMode = 2, i.pagesPerSheet = 2, i.paperFeed = 2, i.nupOrder = 4; },
         [](const SettingsRecord& r) {
             EXPECT_EQ(std::make_tuple(r.layoutMode, r.rotate, r.nupOrder), std::make_tuple(2, 1, 4));
         },
         booklet},
        {"combination with 4 pages does not turn", k2660, 0,
         [](SettingsRecord& i) { i.layoutMode = 4, i.pagesPerSheet = 4, i.paperFeed = 2; },
         [](const SettingsRecord& r) {
             EXPECT_EQ(std::make_tuple(r.layoutMode, r.rotate), std::make_tuple(4, 0));
         },
         booklet},
        {"an unlisted count", k2660, 0, [](SettingsRecord& i) { i.layoutMode = 4, i.pagesPerSheet = 3; },
         [](const SettingsRecord& r) {
             EXPECT_EQ(std::make_tuple(r.layoutMode, r.pagesPerSheet), std::make_tuple(4, 2));
         },
         booklet},
        {"scaling needs the sign bit", k2660, 0, [](SettingsRecord& i) { i.layoutMode = 16; },
         [](const SettingsRecord& r) { EXPECT_EQ(r.layoutMode, 1); }, booklet},
        {"scaling with the sign bit", k2660, 0, [](SettingsRecord& i) { i.layoutMode = 16; },
         [](const SettingsRecord& r) { EXPECT_EQ(r.layoutMode, 16); }, CapsRecord(0x2, 0x80000000)},
        {"a record of another level is not read", k2660, 0, [](SettingsRecord& i) { i.layoutMode = 8; },
         [](const SettingsRecord& r) { EXPECT_EQ(r.layoutMode, 1); }, CapsRecord(0x2, 0x2, 2)},
        {"print-processor switches with a listed N-up", k2660, 0,
         [](SettingsRecord& i) {
             i.nupPagesPerSide = 4, i.ppSwitch1 = 1, i.ppSwitch2 = 1, i.ppSwitch3 = 0, i.collate = 1;
         },
         [](const SettingsRecord& r) {
             EXPECT_EQ(std::make_tuple(r.nupPagesPerSide, r.ppSwitch1, r.ppSwitch2, r.collate),
                       std::make_tuple(4, 1, 1, 1));
         },
         booklet},
        {"an N-up count with a bad switch", k2660, 0,
         [](SettingsRecord& i) { i.nupPagesPerSide = 4, i.ppSwitch1 = 1, i.ppSwitch3 = 2; },
         [](const SettingsRecord& r) {
             EXPECT_EQ(std::make_tuple(r.nupPagesPerSide, r.ppSwitch1), std::make_tuple(0, 1));
         },
         booklet},
    };
    for (const MergeCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        FakePrinter printer(c.driver);
        if (!c.caps.empty())
            printer.SetBinary(kPrintProcCapsValue, c.caps);
        auto r = Merged(printer, Input(printer, c.edit, c.fields));
        c.check(*r);
        EXPECT_TRUE(SettingsInRange(*r));
    }
}

TEST_F(UiSettings, SourcesFollowBinListEnable)
{
    sim::files().Put(kSettingsFile, "[KORIGRAPH DX-2660]\r\nBinListEnable=1\r\n"
                                    "[KORIGRAPH DX-1300]\r\nBinListEnable=2\r\n");
    for (auto [driver, expected] : {std::pair{u"KORIGRAPH DX-2660", 2}, std::pair{u"KORIGRAPH DX-1300", 5}})
    {
        FakePrinter printer(driver);
        auto r = Merged(printer,
                        Input(
                            printer, [](SettingsRecord& i) { i.dm.dmDefaultSource = 2; }, DM_DEFAULTSOURCE));
        EXPECT_EQ(r->paperSource, expected) << Narrow(driver);
    }
}

TEST_F(UiSettings, GraphicsLayoutMergesItsStandardFieldsWithoutReadingPastItsEnd)
{
    FakePrinter printer;
    velmo::SelfDMode graphics;
    velmo::_UdcResetSelfDMode(graphics, kPrinterName, u"KORIGRAPH DX-2660");
    graphics.dm.dmFields = DM_ORIENTATION | DM_COPIES;
    graphics.dm.dmOrientation = 2;
    graphics.dm.dmCopies = 12;
    // Exactly the bytes the DEVMODE claims: a read past them is a fault the sanitizer reports.
    auto bytes = BytesOf(graphics, velmo::kDevModeSize);
    auto r = Merged(printer, bytes);
    EXPECT_EQ(r->orientation, 2);
    EXPECT_EQ(r->copies, 12);
    EXPECT_EQ(r->signature, 0x28116119u);
    EXPECT_EQ(r->zoom, 10000) << "the private area ends before the zoom";

    for (size_t size : {0u, 1u, 70u, 100u, 221u, 2943u})
    {
        auto cut = std::vector<BYTE>(BytesOf(*Defaults(printer), size));
        auto m = Merged(printer, cut);
        EXPECT_TRUE(SettingsInRange(*m)) << size;
    }
}

TEST_F(UiSettings, ReadPathTakesOnlyThisDriversStoredSettings)
{
    auto stored = [](FakePrinter& p, std::function<void(SettingsRecord&)> edit) {
        auto r = Defaults(p);
        r->orientation = 2;
        r->printer.printerValues[velmo::kBlockCountThreshold] = 120;
        edit(*r);
        p.record.defaultDevMode = BytesOf(*r, velmo::kRecordDevModeSize);
        p.SetBinary(kPrivateDevModeValue, BytesOf(r->printer));
    };
    struct Row
    {
        const char* name;
        std::function<void(FakePrinter&)> setup;
        LONG orientation, threshold;
        int blockReads;
    } rows[] = {
        {"a valid default and block", [&](FakePrinter& p) { stored(p, [](SettingsRecord&) {}); }, 2, 120, 1},
        {"a block of 303 bytes",
         [&](FakePrinter& p) {
             stored(p, [](SettingsRecord&) {});
             p.data[kPrivateDevModeValue].data.pop_back();
         },
         1, 2, 1},
        {"a block of 305 bytes",
         [&](FakePrinter& p) {
             stored(p, [](SettingsRecord&) {});
             p.data[kPrivateDevModeValue].data.push_back(0);
         },
         1, 2, 1},
        {"no block",
         [&](FakePrinter& p) { stored(p, [](SettingsRecord&) {}), p.data.erase(kPrivateDevModeValue); }, 1, 2,
         1},
        {"the graphics DLL's default",
         [&](FakePrinter& p) {
             velmo::SelfDMode g;
             velmo::_UdcResetSelfDMode(g, kPrinterName, u"KORIGRAPH DX-2660");
             p.record.defaultDevMode = BytesOf(g, velmo::kDevModeSize);
             p.SetBinary(kPrivateDevModeValue, BytesOf(g.printer));
         },
         1, 2, 0},
        {"another device name after Vista",
         [&](FakePrinter& p) { stored(p, [](SettingsRecord& r) { CopyName(r.dm.dmDeviceName, u"Other"); }); },
         2, 120, 1},
        {"another device name before Vista",
         [&](FakePrinter& p) {
             stored(p, [](SettingsRecord& r) { CopyName(r.dm.dmDeviceName, u"Other"); });
             p.osCode = 201;
         },
         1, 2, 0},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        FakePrinter printer;
        row.setup(printer);
        printer.reads.clear();
        auto r = std::make_unique<SettingsRecord>();
        RtcReadRegSelfDMode(*r, printer, kPrinterName);
        EXPECT_EQ(r->orientation, row.orientation);
        EXPECT_EQ(r->printer.printerValues[velmo::kBlockCountThreshold], row.threshold);
        EXPECT_EQ(printer.reads[kPrivateDevModeValue], row.blockReads);
        EXPECT_TRUE(SettingsInRange(*r));
    }
}

TEST_F(UiSettings, StoredSettingsAreBroughtIntoRange)
{
    FakePrinter printer(u"KORIGRAPH DX-1300");
    auto r = Defaults(printer);
    r->copies = 0;
    r->paperId = 8;                // no A3 on this model
    r->capabilityFlags = 0xFFFFFF; // the model decides
    r->modelPaperListType = 40;
    r->resolutionIndex = 7; // the terminator: -1 dpi
    r->zoom = 1;
    r->layoutMode = 3;
    r->duplexMaxCopies = 0;
    r->printer.printerValues[velmo::kBlockCountThreshold] = 0;
    printer.record.defaultDevMode = BytesOf(*r, velmo::kRecordDevModeSize);
    printer.SetBinary(kPrivateDevModeValue, BytesOf(r->printer));
    auto read = std::make_unique<SettingsRecord>();
    RtcReadRegSelfDMode(*read, printer, kPrinterName);
    EXPECT_EQ(read->copies, 1);
    EXPECT_EQ(read->paperId, 9);
    EXPECT_EQ(read->capabilityFlags, 0);
    EXPECT_EQ(read->modelPaperListType, 2);
    EXPECT_EQ(read->dm.dmPrintQuality, 300);
    EXPECT_EQ(read->zoom, 10000);
    EXPECT_EQ(read->layoutMode, 1);
    EXPECT_EQ(read->duplexMaxCopies, 500);
    EXPECT_EQ(read->printer.printerValues[velmo::kBlockCountThreshold], 2);
    EXPECT_TRUE(SettingsInRange(*read));
    EXPECT_FALSE(SettingsInRange(*r));
}

TEST_F(UiSettings, ConvertFlags)
{
    FakePrinter printer;
    auto landscape = Input(
        printer, [](SettingsRecord& i) { i.dm.dmOrientation = 2; }, DM_ORIENTATION);
    std::vector<BYTE> out(4000, 0xEE);

    printer.reads.clear();
    EXPECT_EQ(CfcConvertSelfDMode({}, {}, printer, kPrinterName, 0, 0), 3248u);
    EXPECT_TRUE(printer.reads.empty()) << "the size alone reads nothing";

    ASSERT_EQ(CfcConvertSelfDMode(out, landscape, printer, kPrinterName, kConvertCopy, 14), 1u);
    EXPECT_EQ(At(out, 248), 1) << "without a merge flag the input is not read";
    EXPECT_EQ(out[2944], 0xEE) << "the private DEVMODE alone";

    ASSERT_EQ(CfcConvertSelfDMode(out, landscape, printer, kPrinterName, kConvertCopy | 0x8, 15), 1u);
    EXPECT_EQ(At(out, 248), 2);
    EXPECT_EQ(out[76], 2) << "dmOrientation";
    EXPECT_EQ(static_cast<DWORD>(At(out, 2940)), 0x28116119u);
    EXPECT_EQ(out[2944], 0xEE);
    EXPECT_TRUE(printer.writes.empty() && printer.broadcasts.empty()) << "a conversion alone writes nothing";

    ASSERT_EQ(CfcConvertSelfDMode(out, landscape, printer, kPrinterName, kConvertWhole | 0x2000, 16), 1u);
    EXPECT_EQ(At(out, 2944 + 300), 2) << "the block follows";
    EXPECT_EQ(out[3248], 0xEE);

    SetLastError(0);
    EXPECT_EQ(
        CfcConvertSelfDMode(std::span<BYTE>(out).first(2943), {}, printer, kPrinterName, kConvertCopy, 16),
        0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(
        CfcConvertSelfDMode(std::span<BYTE>(out).first(3000), {}, printer, kPrinterName, kConvertWhole, 16),
        0u);
}

TEST_F(UiSettings, WriteBroadcastsOnlyWhatWasWritten)
{
    FakePrinter printer;
    auto threshold = Input(printer, [](SettingsRecord&) {});
    ASSERT_EQ(CfcConvertSelfDMode({}, threshold, printer, kPrinterName, kConvertWrite | 0x8, 0), 1u);
    ASSERT_EQ(printer.writes.size(), 1u);
    EXPECT_EQ(printer.data[kPrivateDevModeValue].type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(printer.data[kPrivateDevModeValue].data.size(), 304u);
    EXPECT_EQ(printer.broadcasts, std::vector<WString>{kPrinterName});

    FakePrinter denied;
    denied.writeError = ERROR_ACCESS_DENIED;
    SetLastError(0);
    EXPECT_EQ(CfcConvertSelfDMode({}, {}, denied, kPrinterName, kConvertWrite, 0), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(denied.broadcasts.empty());
}

TEST_F(UiSettings, AnOlderDevModeGoesBackInItsOwnShape)
{
    FakePrinter printer;
    std::vector<BYTE> old(156 + 40, 0x11);
    old[68] = 156; // dmSize
    old[69] = 0;
    old[70] = 40; // dmDriverExtra
    old[71] = 0;
    std::vector<BYTE> out(2944, 0xEE);
    ASSERT_EQ(CfcConvertSelfDMode(out, old, printer, kPrinterName, kConvertCopy | 0x8, 15), 1u);
    EXPECT_TRUE(std::equal(old.begin(), old.end(), out.begin()));
    EXPECT_TRUE(std::all_of(out.begin() + old.size(), out.end(), [](BYTE b) { return b == 0; }));

    old[70] = 0xFF; // a private part larger than the bytes handed in
    old[71] = 0x7F;
    ASSERT_EQ(CfcConvertSelfDMode(out, old, printer, kPrinterName, kConvertCopy | 0x8, 15), 1u);
    EXPECT_EQ(out[70] | out[71] << 8, 2724);
}

TEST_F(UiSettings, EveryStringWithItsPlaceholders)
{
    for (const StringRow& row : kStrings)
        EXPECT_EQ(UiString(row.id), row.text) << row.id;
    const std::pair<UINT, const char*> formatted[] = {
        {518, "s"},  {563, "dd"}, {564, "d"}, {566, "sss"}, {567, "sss"}, {573, "d"}, {575, "dd"}, {576, "s"},
        {577, "dd"}, {589, "d"},  {590, "d"}, {593, "dd"},  {596, "sss"}, {610, "d"}, {617, "s"}};
    for (const StringRow& row : kStrings)
    {
        std::string kinds;
        WString text = row.text;
        for (size_t i = text.find(u'%'); i != WString::npos; i = text.find(u'%', i + 2))
            kinds.push_back(static_cast<char>(text[i + 1]));
        auto it = std::find_if(std::begin(formatted), std::end(formatted),
                               [&](auto& f) { return f.first == row.id; });
        EXPECT_EQ(kinds, it == std::end(formatted) ? "" : it->second) << row.id;
    }
    EXPECT_EQ(VersionText(), u"Version 7.43");
}
