// The graphics DLL's reading of the user interface's DEVMODE, field by field, as an application's
// input and as the printer's stored default.
#include <gtest/gtest.h>

#include <sim/machine.h>
#include <sim/spooler.h>
#include <testing/duplicator.h>

#include "settings_record.h"
#include "ui_layout.h"

#include <cstring>
#include <functional>
#include <memory>
#include <vector>

using namespace velmo;

namespace
{
const WCHAR* kPrinter = u"Office Duplicator";

// A DEVMODE of the UI's layout with nothing set but its version, sizes, signature and `edit`.
std::vector<BYTE> UiDevMode(const std::function<void(SettingsRecord&)>& edit)
{
    auto r = std::make_unique<SettingsRecord>();
    std::memset(r.get(), 0, sizeof *r);
    r->dm.dmSpecVersion = DM_SPECVERSION;
    r->dm.dmDriverVersion = kRecordDriverVersion;
    r->dm.dmSize = kCmnDModeSize;
    r->dm.dmDriverExtra = kRecordPrivateSize;
    r->signature = kSelfSignature;
    r->orientation = 1;
    r->paperFeed = 1;
    r->copies = 1;
    r->sets = 1;
    r->zoom = 10000;
    r->layoutMode = 1;
    r->swingValue = 30;
    r->colorAdjustment = g_DefHTClrAdj;
    edit(*r);
    std::vector<BYTE> b(kRecordDevModeSize);
    std::memcpy(b.data(), r.get(), b.size());
    return b;
}

std::unique_ptr<SelfDMode> Defaults(const WCHAR* model)
{
    auto r = std::make_unique<SelfDMode>();
    _UdcResetSelfDMode(*r, kPrinter, model);
    return r;
}
} // namespace

TEST(UiLayout, FieldsByName)
{
    struct Case
    {
        const char* what;
        const char16_t* model;
        std::function<void(SettingsRecord&)> ui;
        std::function<void(const SelfDMode&)> check;
    } cases[] = {
        {"letter is 258", u"KORIGRAPH DX-2660",
         [](SettingsRecord& r) {
             r.dm.dmFields = DM_PAPERSIZE;
             r.dm.dmPaperSize = 1;
         },
         [](const SelfDMode& s) { EXPECT_EQ(s.paperId, 258); }},
        {"postcard is 257", u"KORIGRAPH DX-2660",
         [](SettingsRecord& r) {
             r.dm.dmFields = DM_PAPERSIZE;
             r.dm.dmPaperSize = 43;
         },
         [](const SelfDMode& s) { EXPECT_EQ(s.paperId, 257); }},
        {"A3 stays", u"KORIGRAPH DX-3800",
         [](SettingsRecord& r) {
             r.dm.dmFields = DM_PAPERSIZE;
             r.dm.dmPaperSize = 8;
         },
         [](const SelfDMode& s) { EXPECT_EQ(s.paperId, 8); }},
        {"a named user paper is a custom size of its size", u"KORIGRAPH DX-2660",
         [](SettingsRecord& r) {
             r.dm.dmFields = DM_PAPERSIZE;
             r.dm.dmPaperSize = 261;
             std::memcpy(r.userPapers[2].name, u"Card", 10);
             r.userPapers[2].width = 1500;
             r.userPapers[2].height = 2000;
         },
         [](const SelfDMode& s) {
             EXPECT_EQ(s.paperId, 256);
             EXPECT_EQ(s.customWidth, 1500);
             EXPECT_EQ(s.customHeight, 2000);
         }},
        {"an unnamed user paper is no paper", u"KORIGRAPH DX-2660",
         [](SettingsRecord& r) {
             r.dm.dmFields = DM_PAPERSIZE;
             r.dm.dmPaperSize = 259;
             r.userPapers[0].width = 1500;
             r.userPapers[0].height = 2000;
         },
         [](const SelfDMode& s) { EXPECT_EQ(s.paperId, 9); }},
        {"within the maximum is the document's size", u"KORIGRAPH DX-2660",
         [](SettingsRecord& r) { r.outputSize = 257; },
         [](const SelfDMode& s) { EXPECT_EQ(s.outputSize, 0); }},
        {"zoom in percent, rounded", u"KORIGRAPH DX-2660",
         [](SettingsRecord& r) {
             r.zoomMode = 1;
             r.zoom = 14950;
         },
         [](const SelfDMode& s) {
             EXPECT_EQ(s.zoom, 150);
             EXPECT_EQ(s.paperOverride, 0) << "the zoom mode lands nowhere";
         }},
        {"zoom 50 %", u"KORIGRAPH DX-2660", [](SettingsRecord& r) { r.zoom = 5000; },
         [](const SelfDMode& s) { EXPECT_EQ(s.zoom, 50); }},
        {"a zoom out of this DLL's range", u"KORIGRAPH DX-2660", [](SettingsRecord& r) { r.zoom = 3000; },
         [](const SelfDMode& s) { EXPECT_EQ(s.zoom, 100); }},
        {"booklet", u"KORIGRAPH DX-2660",
         [](SettingsRecord& r) {
             r.layoutMode = 8;
             r.duplex = 1;
             r.dm.dmFields = DM_DUPLEX;
             r.dm.dmDuplex = DMDUP_HORIZONTAL;
         },
         [](const SelfDMode& s) {
             EXPECT_EQ(s.booklet, 1);
             EXPECT_EQ(s.duplex, 1);
         }},
        {"no booklet in another layout mode", u"KORIGRAPH DX-2660",
         [](SettingsRecord& r) { r.layoutMode = 4; }, [](const SelfDMode& s) { EXPECT_EQ(s.booklet, 0); }},
        {"copies, sets, orientation", u"KORIGRAPH DX-2660",
         [](SettingsRecord& r) {
             r.dm.dmFields = DM_COPIES | DM_ORIENTATION;
             r.dm.dmCopies = 7;
             r.dm.dmOrientation = DMORIENT_LANDSCAPE;
             r.sets = 3;
         },
         [](const SelfDMode& s) {
             EXPECT_EQ(s.copies, 7);
             EXPECT_EQ(s.sets, 3);
             EXPECT_EQ(s.orientation, 2);
         }},
        {"photos", u"KORIGRAPH DX-2660", [](SettingsRecord& r) { r.documentTypeIndex = 3; },
         [](const SelfDMode& s) {
             EXPECT_EQ(s.documentTypeIndex, 3);
             EXPECT_EQ(s.ditherIndex, 3);
         }},
        {"finishing and gray shift", u"KORIGRAPH DX-2660",
         [](SettingsRecord& r) {
             r.finishing[0] = 1;
             r.finishing[1] = 2;
             r.finishing[2] = 3;
             r.grayShiftOn = 1;
             r.grayShift = -20;
         },
         [](const SelfDMode& s) {
             EXPECT_EQ(s.finishing[0], 1);
             EXPECT_EQ(s.finishing[1], 2);
             EXPECT_EQ(s.finishing[2], 3);
             EXPECT_EQ(s.grayShiftOn, 1);
             EXPECT_EQ(s.grayShift, -20);
         }},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        auto r = Defaults(c.model);
        auto ui = UiDevMode(c.ui);
        ASSERT_TRUE(IsUiLayout(ui));
        MergeUiLayout(*r, ui, kPrinter, 0);
        c.check(*r);
    }
}

TEST(UiLayout, OnlyTheWholeLayoutCounts)
{
    auto ui = UiDevMode([](SettingsRecord& r) {
        r.dm.dmFields = DM_PAPERSIZE | DM_COPIES;
        r.dm.dmPaperSize = 1;
        r.dm.dmCopies = 5;
        r.sets = 4;
    });
    EXPECT_FALSE(IsUiLayout(std::span(ui).first(kRecordDevModeSize - 1))) << "the signature cut off";
    auto foreign = ui;
    foreign[kRecordDevModeSize - 1] ^= 1;
    EXPECT_FALSE(IsUiLayout(foreign));
    auto r = Defaults(u"KORIGRAPH DX-2660");
    auto before = *r;
    MergeUiLayout(*r, std::span(ui).first(kRecordDevModeSize - 1), kPrinter, 0);
    EXPECT_EQ(std::memcmp(r.get(), &before, sizeof before), 0) << "nothing is taken from a short one";

    // Through the conversion the whole one is read by name; a short one gives its standard fields
    // only, where the letter's standard code names no paper of this DLL.
    printtest::InstallDuplicator(kPrinter, u"KORIGRAPH DX-2660");
    HANDLE h = sim::spooler().OpenPrinter(kPrinter);
    std::vector<BYTE> out(kSelfDModeSize);
    const auto* got = reinterpret_cast<const SelfDMode*>(out.data());
    ASSERT_EQ(CfcConvertSelfDMode(out, ui, kPrinter, h, kConvertWhole | 0x2000, 0), 1u);
    EXPECT_EQ(got->paperId, 258);
    EXPECT_EQ(got->copies, 5);
    EXPECT_EQ(got->sets, 4);
    ASSERT_EQ(CfcConvertSelfDMode(out, std::span(ui).first(kRecordDevModeSize - 1), kPrinter, h,
                                  kConvertWhole | 0x2000, 0),
              1u);
    EXPECT_EQ(got->paperId, 9);
    EXPECT_EQ(got->copies, 5);
    EXPECT_EQ(got->sets, 1);
    sim::spooler().ClosePrinter(h);
}

TEST(UiLayout, TheUisStoredDefaultIsThePrintersOwn)
{
    auto stored = UiDevMode([](SettingsRecord& r) {
        r.dm.dmFields = DM_PAPERSIZE | DM_COPIES;
        r.dm.dmPaperSize = 43;
        r.dm.dmCopies = 4;
        r.zoom = 7000;
    });
    printtest::InstallDuplicator(kPrinter, u"KORIGRAPH DX-2660", stored);
    std::vector<BYTE> block(kPrinterBlockSize, 0);
    block[8] = 77; // DevPelsDPI
    sim::spooler().SetPrinterData(kPrinter, u"Private DevMode", REG_BINARY, block);
    HANDLE h = sim::spooler().OpenPrinter(kPrinter);
    auto r = std::make_unique<SelfDMode>();
    ASSERT_TRUE(RtcReadRegSelfDMode(*r, h, kPrinter));
    EXPECT_EQ(r->paperId, 257);
    EXPECT_EQ(r->copies, 4);
    EXPECT_EQ(r->zoom, 70);
    EXPECT_EQ(r->printer.devHTInfo.DevPelsDPI, 77u) << "the block behind it is read";

    sim::spooler().SetPrinterData(kPrinter, u"Private DevMode", REG_BINARY, std::vector<BYTE>(303, 0));
    ASSERT_TRUE(RtcReadRegSelfDMode(*r, h, kPrinter));
    EXPECT_EQ(r->copies, 4) << "a short block keeps the settings";
    EXPECT_NE(r->printer.devHTInfo.DevPelsDPI, 77u);
    sim::spooler().ClosePrinter(h);
}
