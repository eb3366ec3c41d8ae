#include <gtest/gtest.h>

#include <sim/machine.h>
#include <sim/spooler.h>
#include <testing/duplicator.h>

#include "settings.h"

#include <cstring>
#include <memory>
#include <vector>

using namespace velmo;

namespace
{
const WCHAR* kPrinter = u"Office Duplicator";

std::vector<BYTE> Bytes(const SelfDMode& r, size_t n = kDevModeSize)
{
    std::vector<BYTE> v(n);
    std::memcpy(v.data(), &r, n);
    return v;
}

LONG At(const std::vector<BYTE>& b, size_t off)
{
    LONG v;
    std::memcpy(&v, b.data() + off, 4);
    return v;
}

SelfDMode Defaults(const WCHAR* driver = u"KORIGRAPH DX-2660")
{
    SelfDMode r;
    _UdcResetSelfDMode(r, kPrinter, driver);
    return r;
}

HANDLE AddPrinter(std::vector<BYTE> devMode = {})
{
    printtest::InstallDuplicator(kPrinter, u"KORIGRAPH DX-2660", std::move(devMode));
    return sim::spooler().OpenPrinter(kPrinter);
}
} // namespace

TEST(SettingsRecord, DefaultsForOneModel)
{
    SelfDMode r = Defaults();
    auto b = Bytes(r, kSelfDModeSize);
    EXPECT_EQ(r.dm.dmSpecVersion, 0x0401);
    EXPECT_EQ(r.dm.dmDriverVersion, 0x0716);
    EXPECT_EQ(r.dm.dmSize, 220);
    EXPECT_EQ(r.dm.dmDriverExtra, 2152);
    EXPECT_EQ(r.dm.dmFields, 0x8B0Fu | DM_DUPLEX);
    EXPECT_EQ(r.dm.dmPaperSize, 9);
    EXPECT_EQ(r.dm.dmPaperWidth, 2100);
    EXPECT_EQ(r.dm.dmPaperLength, 2970);
    EXPECT_EQ(r.dm.dmPrintQuality, 600);
    EXPECT_EQ(r.dm.dmDuplex, 1);
    EXPECT_EQ(WString(r.dm.dmFormName), u"A4 (210 x 297 mm)");
    EXPECT_EQ(WString(r.dm.dmDeviceName), kPrinter);
    const std::pair<size_t, LONG> fields[] = {
        {220, 5},         {228, 100},  {232, 9},           {248, 1},
        {252, 1},         {256, 1},    {280, 1},           {284, 2100},
        {288, 2970},      {292, 1},    {296, 2159},        {300, 2970},
        {304, 1000},      {308, 1480}, {316 + 80, 259},    {316 + 92 * 19 + 80, 278},
        {316 + 84, 2100}, {2160, 2},   {2164, 0},          {2172, 1},
        {2184, 1},        {2192, 1},   {2212, 1},          {2220, 30},
        {2224, 0x10107},  {2240, 1},   {2244, 2},          {2248, 1},
        {2284, 3},        {2288, 3},   {2292, 20},         {2296, 100},
        {2304, 2},        {2364, 30},  {2368, 0x28116119}, {2672, 1}};
    for (auto [off, value] : fields)
        EXPECT_EQ(At(b, off), value) << "offset " << off;
    EXPECT_EQ(b[2368], 0x19);
    EXPECT_EQ(b[2371], 0x28);
    EXPECT_EQ(r.colorAdjustment.caSize, 24);
    EXPECT_EQ(r.colorAdjustment.caRedGamma, 10000);
    const LONG ht[] = {2,    7,     0,     6810,  3050,  0,    2260, 6550, 0,    1810, 500,
                       0,    2000,  2450,  0,     5210,  2100, 0,    4750, 5100, 0,    3324,
                       3474, 10000, 10000, 10000, 10000, 1422, 952,  787,  495,  324,  248};
    for (size_t i = 0; i < std::size(ht); ++i)
        EXPECT_EQ(At(b, 2372 + 4 * i), ht[i]) << "DEVHTINFO word " << i;
    EXPECT_EQ(b[2504] | b[2505] << 8, 0);
}

TEST(SettingsRecord, UnknownDriverGetsA4ListAnd600Dpi)
{
    SelfDMode r = Defaults(u"Some Other Printer");
    EXPECT_EQ(r.modelPaperListType, 3);
    EXPECT_EQ(r.modelResolutionType, 3);
    EXPECT_EQ(r.dm.dmPrintQuality, 600);
    EXPECT_EQ(r.capabilityFlags, 0);
    SelfDMode lower = Defaults(u"korigraph dx-3800");
    EXPECT_EQ(lower.capabilityFlags, 0x10107); // found without case
    EXPECT_EQ(lower.modelResolutionType, 3);   // not found with it
}

TEST(SettingsRecord, ValidityMask)
{
    SelfDMode own = Defaults();
    auto valid = Bytes(own);
    EXPECT_EQ(CfcCheckMySelfDMode(valid, kPrinter), 0u);
    EXPECT_EQ(CfcCheckMySelfDMode(valid, u"\\\\server\\Office Duplicator,winspool"), 0u);
    EXPECT_EQ(CfcCheckMySelfDMode(valid, u"Office"), 0u); // compared over the shorter name
    EXPECT_EQ(CfcCheckMySelfDMode(valid, u"Other"), kMaskDeviceName);

    struct Case
    {
        size_t offset;
        WORD value;
        DWORD mask;
    } cases[] = {{64, 0x0400, kMaskSpecVersion},
                 {66, 0x0715, kMaskDriverVersion},
                 {68, 212, kMaskSize | kMaskSignature},
                 {70, 2148, kMaskDriverExtra | kMaskSignature},
                 {70, 2, kMaskDriverExtra | kMaskSignature},
                 {2368, 0, kMaskSignature}};
    for (const Case& c : cases)
    {
        auto b = valid;
        b[c.offset] = static_cast<BYTE>(c.value);
        b[c.offset + 1] = static_cast<BYTE>(c.value >> 8);
        EXPECT_EQ(CfcCheckMySelfDMode(b, kPrinter), c.mask) << "offset " << c.offset;
    }
    // The newer layout: its own signature at the end it claims.
    std::vector<BYTE> newer(220 + 2724);
    std::memcpy(newer.data(), valid.data(), 220);
    newer[66] = 1835 & 0xFF;
    newer[67] = 1835 >> 8;
    newer[70] = 2724 & 0xFF;
    newer[71] = 2724 >> 8;
    DWORD sig = kSelfSignature;
    std::memcpy(newer.data() + newer.size() - 4, &sig, 4);
    EXPECT_EQ(CfcCheckMySelfDMode(newer, kPrinter), kMaskDriverVersion | kMaskDriverExtra);
    // Truncated to what the spooler copy holds: the signature lies outside and counts as missing.
    auto cut = std::make_unique<BYTE[]>(kDevModeSize);
    std::memcpy(cut.get(), newer.data(), kDevModeSize);
    EXPECT_EQ(CfcCheckMySelfDMode({cut.get(), kDevModeSize}, kPrinter),
              kMaskDriverVersion | kMaskDriverExtra | kMaskSignature);
}

TEST(SettingsRecord, MergeRules)
{
    struct Case
    {
        const char* name;
        void (*edit)(SelfDMode&);
        void (*check)(const SelfDMode&);
    } cases[] = {
        {"zoom low", [](SelfDMode& i) { i.zoom = 49; }, [](const SelfDMode& r) { EXPECT_EQ(r.zoom, 100); }},
        {"zoom edge", [](SelfDMode& i) { i.zoom = 200; }, [](const SelfDMode& r) { EXPECT_EQ(r.zoom, 200); }},
        {"zoom high", [](SelfDMode& i) { i.zoom = 201; }, [](const SelfDMode& r) { EXPECT_EQ(r.zoom, 100); }},
        {"sets", [](SelfDMode& i) { i.sets = 100; }, [](const SelfDMode& r) { EXPECT_EQ(r.sets, 1); }},
        {"sets edge", [](SelfDMode& i) { i.sets = 99; }, [](const SelfDMode& r) { EXPECT_EQ(r.sets, 99); }},
        {"swing low byte", [](SelfDMode& i) { i.swingValue = 0x1FF; },
         [](const SelfDMode& r) { EXPECT_EQ(r.swingValue, 0xFFu); }},
        {"swing zero", [](SelfDMode& i) { i.swingValue = 0x100; },
         [](const SelfDMode& r) { EXPECT_EQ(r.swingValue, 30u); }},
        {"duplex long edge",
         [](SelfDMode& i) {
             i.dm.dmFields |= DM_DUPLEX;
             i.dm.dmDuplex = 3;
         },
         [](const SelfDMode& r) {
             EXPECT_EQ(r.duplex, 1);
             EXPECT_EQ(r.binding, 1);
             EXPECT_EQ(r.dm.dmDuplex, 3);
         }},
        {"simplex keeps booklet",
         [](SelfDMode& i) {
             i.dm.dmFields |= DM_DUPLEX;
             i.dm.dmDuplex = 1;
             i.duplex = 1;
             i.booklet = 1;
         },
         [](const SelfDMode& r) {
             EXPECT_EQ(r.duplex, 1);
             EXPECT_EQ(r.booklet, 1);
         }},
        {"custom paper clamps",
         [](SelfDMode& i) {
             i.dm.dmPaperSize = 256;
             i.dm.dmPaperWidth = 500;
             i.dm.dmPaperLength = 9000;
         },
         [](const SelfDMode& r) {
             EXPECT_EQ(r.paperId, 256);
             EXPECT_EQ(r.customWidth, 1000);
             EXPECT_EQ(r.customHeight, 2970);
         }},
        {"paper not in A4 list", [](SelfDMode& i) { i.dm.dmPaperSize = 8; },
         [](const SelfDMode& r) { EXPECT_EQ(r.paperId, 9); }},
        {"copies", [](SelfDMode& i) { i.dm.dmCopies = 9999; },
         [](const SelfDMode& r) { EXPECT_EQ(r.copies, 9999); }},
        {"copies too many", [](SelfDMode& i) { i.dm.dmCopies = 10000; },
         [](const SelfDMode& r) { EXPECT_EQ(r.copies, 1); }},
        {"finishing gated",
         [](SelfDMode& i) {
             i.finishing[2] = 7;
             i.finishing[3] = 7;
             i.finishing[4] = 7;
         },
         [](const SelfDMode& r) {
             EXPECT_EQ(r.finishing[2], 7);
             EXPECT_EQ(r.finishing[3], 7); // 0x10107 has both option B bits
             EXPECT_EQ(r.finishing[4], 7);
         }},
        {"colour adjustment", [](SelfDMode& i) { i.colorAdjustment.caContrast = 40; },
         [](const SelfDMode& r) { EXPECT_EQ(r.colorAdjustment.caContrast, 40); }},
        {"colour adjustment wrong size",
         [](SelfDMode& i) {
             i.colorAdjustment.caSize = 20;
             i.colorAdjustment.caContrast = 40;
         },
         [](const SelfDMode& r) { EXPECT_EQ(r.colorAdjustment.caContrast, 0); }},
        {"document type", [](SelfDMode& i) { i.documentTypeIndex = 0; },
         [](const SelfDMode& r) { EXPECT_EQ(r.ditherIndex, 2); }},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        SelfDMode input = Defaults();
        c.edit(input);
        SelfDMode r = Defaults();
        auto b = Bytes(input);
        _UdcMergeSelfDMode(r, b, kPrinter, 0, CfcCheckMySelfDMode(b, kPrinter));
        c.check(r);
    }
    // A model without option B drops finishing 4 and 5.
    SelfDMode input = Defaults(u"KORIGRAPH DX-1400");
    input.finishing[3] = 5;
    input.finishing[4] = 5;
    SelfDMode r = Defaults(u"KORIGRAPH DX-1400");
    auto b = Bytes(input);
    _UdcMergeSelfDMode(r, b, kPrinter, 0, 0);
    EXPECT_EQ(r.finishing[3], 0);
    EXPECT_EQ(r.finishing[4], 0);
}

TEST(SettingsRecord, ForeignLayoutGivesOnlyStandardFields)
{
    SelfDMode input = Defaults();
    input.dm.dmDriverVersion = 1835;
    input.dm.dmOrientation = 2;
    input.halftoneOn = 0; // where the newer layout keeps something else
    input.outputSize = 257;
    auto b = Bytes(input);
    SelfDMode r = Defaults();
    _UdcMergeSelfDMode(r, b, kPrinter, 0, CfcCheckMySelfDMode(b, kPrinter));
    EXPECT_EQ(r.orientation, 2);
    EXPECT_EQ(r.halftoneOn, 1);
    EXPECT_EQ(r.outputSize, 0);
}

TEST(SettingsRecord, ShortInputsAreNotReadPastTheirEnd)
{
    SelfDMode input = Defaults();
    input.dm.dmOrientation = 2;
    input.zoom = 150;
    for (size_t n : {size_t{0}, size_t{40}, size_t{72}, size_t{100}, size_t{220}, size_t{232}, size_t{2371}})
    {
        auto heap = std::make_unique<BYTE[]>(n ? n : 1);
        std::memcpy(heap.get(), &input, n);
        std::span<const BYTE> span(heap.get(), n);
        SelfDMode r = Defaults();
        _UdcMergeSelfDMode(r, span, kPrinter, 1, CfcCheckMySelfDMode(span, kPrinter));
        EXPECT_EQ(r.zoom, n >= 232 ? 150 : 100) << n;
        EXPECT_EQ(r.orientation, n >= 78 ? 2 : 1) << n;
    }
}

TEST(SettingsRecord, MarginsCentreAWholeNumberOfHeadWords)
{
    // Worked by hand from the margin rule: the printable width rounds to 32 head pixels at the head's
    // horizontal dpi (300 for keys 4 and 7, 400 for key 5) and is centred; the top stays 5 mm.
    struct Case
    {
        const WCHAR* driver;
        LONG key;
        SIZEL paper;
        LONG left, right, bottom;
    } cases[] = {
        {u"KORIGRAPH DX-1300", 1, {21590, 27940}, 364, 364, 75},
        {u"KORIGRAPH DX-1300", 1, {21000, 29700}, 340, 340, 210},
        {u"KORIGRAPH DX-1400", 2, {21590, 27940}, 330, 330, 211},
        {u"KORIGRAPH DX-1400", 2, {21000, 29700}, 340, 340, 142},
        {u"KORIGRAPH DX-2660", 3, {21590, 27940}, 296, 296, 211},
        {u"KORIGRAPH DX-2660", 3, {21000, 29700}, 272, 272, 210},
        {u"KORIGRAPH DX-3600", 4, {21590, 27940}, 364, 364, 211},
        {u"KORIGRAPH DX-3600", 4, {21000, 29700}, 340, 340, 210},
        {u"KORIGRAPH DX-3800", 5, {21590, 27940}, 330, 330, 211},
        {u"KORIGRAPH DX-3800", 5, {21000, 29700}, 340, 340, 244},
        {u"KORIGRAPH DX-4600", 6, {21590, 27940}, 296, 296, 211},
        {u"KORIGRAPH DX-4600", 6, {21000, 29700}, 272, 272, 210},
        {u"KORIGRAPH DX-5360", 7, {21590, 27940}, 364, 364, 120},
        {u"KORIGRAPH DX-5360", 7, {21000, 29700}, 340, 340, 300},
    };
    for (const Case& c : cases)
    {
        SelfDMode r = Defaults(c.driver);
        ASSERT_EQ(ResolutionOf(r).key, c.key) << "the model table moved";
        Margins m{};
        SIZEL paper = c.paper;
        EXPECT_EQ(KgGetMarginSize(r, m, &paper), 1);
        EXPECT_EQ(m.left, c.left) << c.key << " " << c.paper.cx;
        EXPECT_EQ(m.right, c.right) << c.key << " " << c.paper.cx;
        EXPECT_EQ(m.top, 500);
        EXPECT_EQ(m.bottom, c.bottom) << c.key << " " << c.paper.cy;
    }
    Margins m{};
    EXPECT_EQ(KgGetMarginSize(Defaults(), m, nullptr), 0);
    EXPECT_EQ(m.left, 300);
    EXPECT_EQ(m.bottom, 200);
}

TEST(ConvertSelfDMode, ModesAgainstTheSpooler)
{
    EXPECT_EQ(CfcConvertSelfDMode({}, {}, kPrinter, nullptr, 0, 0), kSelfDModeSize);

    // No default DEVMODE: defaults, and the printer data is not read.
    HANDLE h = AddPrinter();
    std::vector<BYTE> out(kSelfDModeSize);
    ASSERT_EQ(CfcConvertSelfDMode(out, {}, kPrinter, h, kConvertWhole, 0), 1u);
    EXPECT_EQ(sim::spooler().PrinterDataReads(kPrinter), 0);
    EXPECT_EQ(At(out, 2672), 1);

    // Mode 1 writes the block: exactly 304 bytes, binary.
    ASSERT_EQ(CfcConvertSelfDMode(out, {}, kPrinter, h, kConvertUpdate, 0), 1u);
    auto stored = sim::spooler().PrinterData(kPrinter, u"Private DevMode");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->type, DWORD{REG_BINARY});
    EXPECT_EQ(stored->data.size(), kPrinterBlockSize);
}

TEST(ConvertSelfDMode, StoredBlockOfWrongSizeGivesDefaults)
{
    SelfDMode stored = Defaults();
    HANDLE h = AddPrinter(Bytes(stored));
    for (size_t size : {size_t{303}, size_t{305}, size_t{304}})
    {
        std::vector<BYTE> block(size, 0);
        block[8] = 77; // DevPelsDPI
        sim::spooler().SetPrinterData(kPrinter, u"Private DevMode", REG_BINARY, block);
        std::vector<BYTE> out(kSelfDModeSize);
        ASSERT_EQ(CfcConvertSelfDMode(out, {}, kPrinter, h, kConvertWhole, 0), 1u);
        EXPECT_EQ(At(out, 2372 + 8), size == 304 ? 77 : 0) << size;
    }
    EXPECT_EQ(sim::engine().Outstanding().size(), 0u);
}

TEST(ConvertSelfDMode, StoredRecordNumbersAreHeldToTheirRanges)
{
    // A stored record of this very layout passes the check and is taken whole; a damaged one must
    // not carry numbers into the device geometry that overflow its arithmetic.
    SelfDMode damaged = Defaults();
    damaged.zoom = 0x7FFFFFFF;
    damaged.copies = -5;
    damaged.sets = 1000;
    damaged.densityAdjust = 1 << 30;
    damaged.maxPaperWidth = 0x7FFFFFF0;
    damaged.customHeight = -1;
    damaged.userPapers[0].width = 0x40000000;
    HANDLE h = AddPrinter(Bytes(damaged));
    sim::spooler().SetPrinterData(kPrinter, u"Private DevMode", REG_BINARY,
                                  std::vector<BYTE>(kPrinterBlockSize, 0));
    std::vector<BYTE> out(kSelfDModeSize);
    ASSERT_EQ(CfcConvertSelfDMode(out, {}, kPrinter, h, kConvertWhole, 0), 1u);
    SelfDMode r{};
    std::memcpy(&r, out.data(), sizeof r);
    EXPECT_EQ(r.zoom, 100);
    EXPECT_EQ(r.copies, 1);
    EXPECT_EQ(r.sets, 1);
    EXPECT_EQ(r.densityAdjust, 0);
    // The largest paper is the model's again, and the paper sizes lie between its smallest and largest.
    EXPECT_EQ(r.maxPaperWidth, g_MaxPaperSizeA4.width);
    EXPECT_EQ(r.maxPaperHeight, g_MaxPaperSizeA4.height);
    EXPECT_EQ(r.customHeight, g_MinPaperSize.height);
    EXPECT_EQ(r.userPapers[0].width, g_MaxPaperSizeA4.width);

    // Numbers already in range stay as stored.
    SelfDMode good = Defaults();
    good.zoom = 150;
    good.sets = 7;
    sim::machine().Reset();
    h = AddPrinter(Bytes(good));
    sim::spooler().SetPrinterData(kPrinter, u"Private DevMode", REG_BINARY,
                                  std::vector<BYTE>(kPrinterBlockSize, 0));
    ASSERT_EQ(CfcConvertSelfDMode(out, {}, kPrinter, h, kConvertWhole, 0), 1u);
    std::memcpy(&r, out.data(), sizeof r);
    EXPECT_EQ(r.zoom, 150);
    EXPECT_EQ(r.sets, 7);
    EXPECT_EQ(r.maxPaperWidth, good.maxPaperWidth);
}

TEST(ConvertSelfDMode, AllocationFailure)
{
    HANDLE h = AddPrinter();
    sim::engine().FailTag(EngPoolTag("Dad0"));
    std::vector<BYTE> out(kSelfDModeSize);
    SetLastError(0);
    EXPECT_EQ(CfcConvertSelfDMode(out, {}, kPrinter, h, kConvertWhole, 0), 0u);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_NOT_ENOUGH_MEMORY});
}

TEST(ConvertSelfDMode, ShorterDevModeGoesBackInItsOwnShape)
{
    HANDLE h = AddPrinter();
    SelfDMode own = Defaults();
    own.dm.dmOrientation = 2;
    own.dm.dmFields = DM_ORIENTATION;

    // An older standard part of 156 bytes with 8 private bytes behind it.
    std::vector<BYTE> older = Bytes(own, 164);
    older[68] = 156;
    older[69] = 0;
    older[70] = 8;
    older[71] = 0;
    std::vector<BYTE> out(164, 0xEE);
    ASSERT_EQ(CfcConvertSelfDMode(out, older, kPrinter, h, kConvertCopy | 0x2000, 0), 1u);
    EXPECT_EQ(out, older);
    std::vector<BYTE> small(163);
    SetLastError(0);
    EXPECT_EQ(CfcConvertSelfDMode(small, older, kPrinter, h, kConvertCopy | 0x2000, 0), 0u);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});

    // A standard part that ends before its own dmDriverExtra: only what it holds is written, and the
    // output needs no more room than that.
    std::vector<BYTE> stub = Bytes(own, 100);
    stub[68] = 64;
    stub[69] = 0;
    stub[70] = 0;
    stub[71] = 0;
    std::vector<BYTE> exact(64);
    ASSERT_EQ(CfcConvertSelfDMode(exact, stub, kPrinter, h, kConvertCopy | 0x2000, 0), 1u);
    EXPECT_TRUE(std::equal(exact.begin(), exact.end(), stub.begin()));
}

// Every merge rule of an application's DEVMODE of this layout, one case each way.
TEST(SettingsRecord, MergeRulesForEveryField)
{
    struct Case
    {
        const char* name;
        void (*edit)(SelfDMode&);
        void (*check)(const SelfDMode&);
        LONG forceCopies = 0;
    } cases[] = {
        {"paper source in the bin list", [](SelfDMode& i) { i.dm.dmDefaultSource = 2; },
         [](const SelfDMode& r) { EXPECT_EQ(r.paperSource, 2); }},
        {"paper source not in the bin list", [](SelfDMode& i) { i.dm.dmDefaultSource = 7; },
         [](const SelfDMode& r) { EXPECT_EQ(r.paperSource, 5); }},
        {"paper source without its field bit",
         [](SelfDMode& i) {
             i.dm.dmDefaultSource = 2;
             i.dm.dmFields &= ~DM_DEFAULTSOURCE;
         },
         [](const SelfDMode& r) { EXPECT_EQ(r.paperSource, 5); }},
        {"paper override copied", [](SelfDMode& i) { i.paperOverride = 3; },
         [](const SelfDMode& r) { EXPECT_EQ(r.paperOverride, 3); }},
        {"output size in the list", [](SelfDMode& i) { i.outputSize = 11; },
         [](const SelfDMode& r) { EXPECT_EQ(r.outputSize, 11); }},
        {"output size not in the A4 list", [](SelfDMode& i) { i.outputSize = 8; },
         [](const SelfDMode& r) { EXPECT_EQ(r.outputSize, 0); }},
        {"rotate", [](SelfDMode& i) { i.rotate = 1; }, [](const SelfDMode& r) { EXPECT_EQ(r.rotate, 1); }},
        {"rotate out of range kept", [](SelfDMode& i) { i.rotate = 2; },
         [](const SelfDMode& r) { EXPECT_EQ(r.rotate, 0); }},
        {"orientation", [](SelfDMode& i) { i.dm.dmOrientation = 2; },
         [](const SelfDMode& r) { EXPECT_EQ(r.orientation, 2); }},
        {"orientation out of range kept", [](SelfDMode& i) { i.dm.dmOrientation = 3; },
         [](const SelfDMode& r) { EXPECT_EQ(r.orientation, 1); }},
        {"paper feed", [](SelfDMode& i) { i.paperFeed = 2; },
         [](const SelfDMode& r) { EXPECT_EQ(r.paperFeed, 2); }},
        {"paper feed out of range kept", [](SelfDMode& i) { i.paperFeed = 3; },
         [](const SelfDMode& r) { EXPECT_EQ(r.paperFeed, 1); }},
        {"no copies kept", [](SelfDMode& i) { i.dm.dmCopies = 0; },
         [](const SelfDMode& r) { EXPECT_EQ(r.copies, 1); }},
        {"copies without their field bit",
         [](SelfDMode& i) {
             i.dm.dmCopies = 7;
             i.dm.dmFields &= ~DM_COPIES;
         },
         [](const SelfDMode& r) { EXPECT_EQ(r.copies, 1); }},
        {"copies forced without their field bit",
         [](SelfDMode& i) {
             i.dm.dmCopies = 7;
             i.dm.dmFields &= ~DM_COPIES;
         },
         [](const SelfDMode& r) { EXPECT_EQ(r.copies, 7); }, 1},
        {"collate", [](SelfDMode& i) { i.dm.dmCollate = 1; },
         [](const SelfDMode& r) { EXPECT_EQ(r.collate, 1); }},
        {"sets none", [](SelfDMode& i) { i.sets = 0; }, [](const SelfDMode& r) { EXPECT_EQ(r.sets, 1); }},
        {"user paper flag", [](SelfDMode& i) { i.userPaperFlag = 1; },
         [](const SelfDMode& r) { EXPECT_EQ(r.userPaperFlag, 1); }},
        {"user paper flag out of range", [](SelfDMode& i) { i.userPaperFlag = 2; },
         [](const SelfDMode& r) { EXPECT_EQ(r.userPaperFlag, 0); }},
        {"user papers copied, names ended",
         [](SelfDMode& i) {
             std::fill(std::begin(i.userPapers[3].name), std::end(i.userPapers[3].name), u'x');
             i.userPapers[3].width = 1500;
             i.userPapers[3].height = 2500;
         },
         [](const SelfDMode& r) {
             EXPECT_EQ(r.userPapers[3].name[38], u'x');
             EXPECT_EQ(r.userPapers[3].name[39], 0);
             EXPECT_EQ(r.userPapers[3].width, 1500);
             EXPECT_EQ(r.userPapers[3].height, 2500);
         }},
        {"user papers held to the model's sizes",
         [](SelfDMode& i) {
             i.userPapers[0].width = 0x7FFFFFFF;
             i.userPapers[0].height = -5;
             i.userPapers[1].width = 10;
             i.userPapers[1].height = 40000;
         },
         [](const SelfDMode& r) {
             EXPECT_EQ(r.userPapers[0].width, g_MaxPaperSizeA4.width);
             EXPECT_EQ(r.userPapers[0].height, g_MinPaperSize.height);
             EXPECT_EQ(r.userPapers[1].width, g_MinPaperSize.width);
             EXPECT_EQ(r.userPapers[1].height, g_MaxPaperSizeA4.height);
         }},
        {"the model's one resolution",
         [](SelfDMode& i) {
             i.dm.dmPrintQuality = 600;
             i.dm.dmYResolution = 600;
         },
         [](const SelfDMode& r) { EXPECT_EQ(ResolutionOf(r).key, 3); }},
        {"another resolution is not taken",
         [](SelfDMode& i) {
             i.dm.dmPrintQuality = 300;
             i.dm.dmYResolution = 300;
         },
         [](const SelfDMode& r) { EXPECT_EQ(ResolutionOf(r).x, 600); }},
        {"density at its edges",
         [](SelfDMode& i) {
             i.densityAdjust = -64;
             i.contrastAdjust = 64;
         },
         [](const SelfDMode& r) {
             EXPECT_EQ(r.densityAdjust, -64);
             EXPECT_EQ(r.contrastAdjust, 64);
         }},
        {"density beyond its edges",
         [](SelfDMode& i) {
             i.densityAdjust = 65;
             i.contrastAdjust = -65;
         },
         [](const SelfDMode& r) {
             EXPECT_EQ(r.densityAdjust, 0);
             EXPECT_EQ(r.contrastAdjust, 0);
         }},
        {"halftone off", [](SelfDMode& i) { i.halftoneOn = 0; },
         [](const SelfDMode& r) { EXPECT_EQ(r.halftoneOn, 0); }},
        {"gray shift",
         [](SelfDMode& i) {
             i.grayShiftOn = 1;
             i.grayShift = -64;
         },
         [](const SelfDMode& r) {
             EXPECT_EQ(r.grayShiftOn, 1);
             EXPECT_EQ(r.grayShift, -64);
         }},
        {"gray shift out of range", [](SelfDMode& i) { i.grayShift = 65; },
         [](const SelfDMode& r) { EXPECT_EQ(r.grayShift, 30); }},
        {"colour separation copied",
         [](SelfDMode& i) {
             i.colorSeparation = 5;
             i.separationInvert = 0;
             i.separationColors = 3;
         },
         [](const SelfDMode& r) {
             EXPECT_EQ(r.colorSeparation, 5);
             EXPECT_EQ(r.separationInvert, 0);
             EXPECT_EQ(r.separationColors, 3);
         }},
        {"document type photograph", [](SelfDMode& i) { i.documentTypeIndex = 3; },
         [](const SelfDMode& r) {
             EXPECT_EQ(r.documentType, 3);
             EXPECT_EQ(r.ditherIndex, 3);
         }},
        {"document type graphics", [](SelfDMode& i) { i.documentTypeIndex = 2; },
         [](const SelfDMode& r) {
             EXPECT_EQ(r.documentType, 0);
             EXPECT_EQ(r.ditherIndex, 0);
         }},
        {"document type out of range kept", [](SelfDMode& i) { i.documentTypeIndex = 4; },
         [](const SelfDMode& r) {
             EXPECT_EQ(r.documentTypeIndex, 1);
             EXPECT_EQ(r.ditherIndex, 1);
         }},
        {"duplex short edge",
         [](SelfDMode& i) {
             i.dm.dmFields |= DM_DUPLEX;
             i.dm.dmDuplex = 2;
             i.binding = 1;
             i.booklet = 1;
         },
         [](const SelfDMode& r) {
             EXPECT_EQ(r.duplex, 1);
             EXPECT_EQ(r.binding, 0);
             EXPECT_EQ(r.booklet, 0);
         }},
        {"simplex without booklet",
         [](SelfDMode& i) {
             i.dm.dmFields |= DM_DUPLEX;
             i.dm.dmDuplex = 1;
             i.duplex = 1;
         },
         [](const SelfDMode& r) { EXPECT_EQ(r.duplex, 0); }},
        {"finishing 1 to 3 copied",
         [](SelfDMode& i) {
             i.finishing[0] = 1;
             i.finishing[1] = 2;
         },
         [](const SelfDMode& r) {
             EXPECT_EQ(r.finishing[0], 1);
             EXPECT_EQ(r.finishing[1], 2);
         }},
        {"ui value 5 hides ui value 4",
         [](SelfDMode& i) {
             i.uiValue5 = 2;
             i.uiValue4 = 1;
         },
         [](const SelfDMode& r) {
             EXPECT_EQ(r.uiValue5, 2);
             EXPECT_EQ(r.uiValue4, 0);
         }},
        {"ui value 4 alone", [](SelfDMode& i) { i.uiValue4 = 1; },
         [](const SelfDMode& r) { EXPECT_EQ(r.uiValue4, 1); }},
        {"ui values out of range",
         [](SelfDMode& i) {
             i.uiValue5 = 4;
             i.uiValue6 = 3;
             i.uiValue7 = 6;
         },
         [](const SelfDMode& r) {
             EXPECT_EQ(r.uiValue5, 0);
             EXPECT_EQ(r.uiValue6, 0);
             EXPECT_EQ(r.uiValue7, 0);
         }},
        {"ui values in range",
         [](SelfDMode& i) {
             i.uiValue6 = 2;
             i.uiValue7 = 5;
         },
         [](const SelfDMode& r) {
             EXPECT_EQ(r.uiValue6, 2);
             EXPECT_EQ(r.uiValue7, 5);
         }},
        {"values that are never merged",
         [](SelfDMode& i) {
             i.bandingStartNo = 1;
             i.pixelOrder = 0;
             i.maxPaperWidth = 9000;
             i.capabilityFlags = 0;
         },
         [](const SelfDMode& r) {
             EXPECT_EQ(r.bandingStartNo, 20);
             EXPECT_EQ(r.pixelOrder, 2);
             EXPECT_EQ(r.maxPaperWidth, g_MaxPaperSizeA4.width);
             EXPECT_EQ(r.capabilityFlags, 0x10107);
         }},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        SelfDMode input = Defaults();
        c.edit(input);
        SelfDMode r = Defaults();
        auto b = Bytes(input);
        _UdcMergeSelfDMode(r, b, kPrinter, c.forceCopies, CfcCheckMySelfDMode(b, kPrinter));
        c.check(r);
    }
}

TEST(ConvertSelfDMode, PrinterInformationByCode)
{
    SelfDMode stored = Defaults();
    HANDLE h = AddPrinter(Bytes(stored));
    struct TextCase
    {
        DWORD code;
        const char16_t* text;
    } texts[] = {
        {0, u"KORIGRAPH DX-2660"},
        {11, u"KORIGRAPH DX-2660"},
        {14, kPrinter},
        {12, u"LPT1:"},
        {4, u"WinPrint"},
        {3, u"C:\\Windows\\System32\\spool\\drivers\\x64\\3"},
        {1, u"C:\\Windows\\System32\\spool\\drivers\\x64\\"},
        {2, u"C:\\Windows\\System32\\spool\\drivers\\x64\\"},
        {100, u"C:\\Windows\\System32\\spool\\drivers\\x64\\"},
    };
    for (const TextCase& c : texts)
    {
        WCHAR buffer[MAX_PATH];
        std::fill(std::begin(buffer), std::end(buffer), u'#');
        DWORD written = 0;
        ASSERT_TRUE(RtcGetPrinterInfo(h, kPrinter, buffer, sizeof buffer, c.code, &written)) << c.code;
        EXPECT_EQ(WString(buffer), WString(c.text)) << c.code;
        EXPECT_EQ(written, (WString(c.text).size() + 1) * sizeof(WCHAR)) << c.code;
        EXPECT_EQ(buffer[MAX_PATH - 1], 0) << "the buffer is cleared first, " << c.code;
    }
    // A name cut to the buffer still ends in a terminator.
    WCHAR small[4];
    ASSERT_TRUE(RtcGetPrinterInfo(h, kPrinter, small, sizeof small, 12));
    EXPECT_EQ(WString(small), u"LPT");
    for (DWORD code : {DWORD{13}, DWORD{20}, DWORD{30}})
    {
        DWORD attributes = 0xEEEEEEEE;
        ASSERT_TRUE(RtcGetPrinterInfo(h, kPrinter, &attributes, sizeof attributes, code)) << code;
        EXPECT_EQ(attributes, DWORD{PRINTER_ATTRIBUTE_LOCAL}) << code;
        EXPECT_FALSE(RtcGetPrinterInfo(h, kPrinter, &attributes, 2, code)) << code;
    }
    std::vector<BYTE> copy(kSelfDModeSize, 0xEE);
    DWORD written = 0;
    ASSERT_TRUE(RtcGetPrinterInfo(h, kPrinter, copy.data(), static_cast<DWORD>(copy.size()), 10, &written));
    EXPECT_EQ(written, kDevModeSize);
    EXPECT_TRUE(std::equal(copy.begin(), copy.begin() + kDevModeSize, Bytes(stored).begin()));
    EXPECT_EQ(copy[kDevModeSize], 0); // cleared, not left as it was
    ASSERT_TRUE(RtcGetPrinterInfo(h, kPrinter, copy.data(), 100, 10, &written));
    EXPECT_EQ(written, 100u);
    for (DWORD code : {DWORD{110}, DWORD{111}, DWORD{5}, DWORD{99}})
    {
        DWORD value = 0;
        EXPECT_FALSE(RtcGetPrinterInfo(h, kPrinter, &value, sizeof value, code)) << code;
    }
}

TEST(ConvertSelfDMode, StoredDefaultTooShortForItsSizeFieldsIsTakenAsItIs)
{
    SelfDMode stored = Defaults();
    HANDLE h = AddPrinter(Bytes(stored, 40));
    std::vector<BYTE> copy(kDevModeSize, 0xEE);
    DWORD written = 0;
    ASSERT_TRUE(RtcGetPrinterInfo(h, kPrinter, copy.data(), static_cast<DWORD>(copy.size()), 10, &written));
    EXPECT_EQ(written, 40u);
    std::vector<BYTE> out(kSelfDModeSize);
    ASSERT_EQ(CfcConvertSelfDMode(out, {}, kPrinter, h, kConvertWhole, 0), 1u);
    EXPECT_EQ(At(out, offsetof(SelfDMode, signature)), LONG{kSelfSignature}); // the defaults
}

TEST(ConvertSelfDMode, CopyOfAFullSizeInputIsTheMergedRecord)
{
    HANDLE h = AddPrinter();
    struct Case
    {
        const char* name;
        WORD driverVersion;
        WORD driverExtra;
        bool signatureTaken;
    } cases[] = {{"this layout", 0x0716, kPrivateSize, true}, {"the newer layout", 1835, 2724, false}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        SelfDMode own = Defaults();
        own.dm.dmOrientation = 2;
        own.zoom = 150;
        std::vector<BYTE> input(size_t{kCmnDModeSize} + c.driverExtra, 0);
        std::memcpy(input.data(), &own, std::min(input.size(), kDevModeSize));
        input[66] = static_cast<BYTE>(c.driverVersion);
        input[67] = static_cast<BYTE>(c.driverVersion >> 8);
        input[70] = static_cast<BYTE>(c.driverExtra);
        input[71] = static_cast<BYTE>(c.driverExtra >> 8);
        const DWORD signature = 0x28116119u;
        std::memcpy(input.data() + input.size() - 4, &signature, 4);
        std::vector<BYTE> out(kDevModeSize + 8, 0xEE);
        ASSERT_EQ(CfcConvertSelfDMode(out, input, kPrinter, h, kConvertCopy | 0x2000, 0), 1u);
        SelfDMode r{};
        std::memcpy(&r, out.data(), kDevModeSize);
        EXPECT_EQ(r.dm.dmSize, kCmnDModeSize);
        EXPECT_EQ(r.dm.dmDriverExtra, kPrivateSize);
        EXPECT_EQ(r.dm.dmDriverVersion, 0x0716);
        EXPECT_EQ(r.orientation, 2);
        EXPECT_EQ(r.zoom, c.signatureTaken ? 150 : 100); // the newer layout's private part is not read
        EXPECT_EQ(r.signature, kSelfSignature);
        EXPECT_EQ(out[kDevModeSize], 0xEE); // the DEVMODE part only
    }
}

// The settings code takes its memory from the engine's pool, so running out of it is the documented
// failure with error 8, never an exception and never a job silently printed with the defaults.
TEST(ConvertSelfDMode, PoolExhaustionIsReportedAsError8)
{
    SelfDMode stored = Defaults();
    stored.zoom = 150;
    HANDLE h = AddPrinter(Bytes(stored));
    sim::spooler().SetPrinterData(kPrinter, u"Private DevMode", REG_BINARY,
                                  std::vector<BYTE>(kPrinterBlockSize, 0));
    for (DWORD code : {DWORD{14}, DWORD{10}, DWORD{20}, DWORD{3}})
    {
        WCHAR buffer[MAX_PATH];
        sim::engine().FailTag(EngPoolTag("Dad0"));
        SetLastError(0);
        EXPECT_FALSE(RtcGetPrinterInfo(h, kPrinter, buffer, sizeof buffer, code)) << code;
        EXPECT_EQ(GetLastError(), DWORD{ERROR_NOT_ENOUGH_MEMORY}) << code;
    }
    // Whichever allocation of a conversion fails, it fails whole and leaves nothing behind.
    std::vector<BYTE> out(kSelfDModeSize);
    for (int n = 0;; ++n)
    {
        ASSERT_LT(n, 20);
        sim::faults().FailNext("EngAllocMem", ERROR_NOT_ENOUGH_MEMORY, 1, n);
        SetLastError(0);
        const DWORD result = CfcConvertSelfDMode(out, {}, kPrinter, h, kConvertWhole, 0);
        EXPECT_TRUE(sim::engine().Outstanding().empty()) << n;
        if (result == 1)
        {
            EXPECT_GT(n, 1) << "the default DEVMODE is read through the pool";
            EXPECT_EQ(At(out, offsetof(SelfDMode, zoom)), 150);
            // The fault the conversion did not reach is used up here.
            for (int i = 0; i <= n; ++i)
            {
                void* p = EngAllocMem(0, 8, EngPoolTag("Test"));
                if (!p)
                    break;
                EngFreeMem(p);
            }
            break;
        }
        EXPECT_EQ(result, 0u) << n;
        EXPECT_EQ(GetLastError(), DWORD{ERROR_NOT_ENOUGH_MEMORY}) << n;
    }
}
