// A job set in the UI's DEVMODE, converted by the UI DLL, printed through the graphics DLL and read
// back by the print-file reader, prints as the same job set in the graphics DLL's own DEVMODE does.
#include <gtest/gtest.h>

#include <sim/engine_print.h>
#include <sim/machine.h>
#include <sim/spooler.h>
#include <testing/duplicator.h>
#include <testing/test_page.h>

#include "mapped_file.h"
#include "page_render.h"
#include "print_proc_caps.h"
#include "print_scan.h"
#include "settings_record.h"
#include "ui_entry_points.h"

#include <cctype>
#include <cstring>
#include <functional>
#include <memory>

namespace
{
using velmo::SelfDMode;
using velmo::SettingsRecord;

const WCHAR* kPrinter = u"Duplicator";
const WCHAR* kFile = u"C:\\Jobs\\job.kgl";

struct Job
{
    std::vector<printfile::CPrintTicket> tickets;
    std::vector<std::vector<BYTE>> images; // each page's dots, top line first
};

// Prints one page of the test page with `devMode` and reads the printer's output back.
Job PrintAndRead(const DEVMODEW* devMode)
{
    Job job;
    auto dc = sim::PrintDC::Create(kPrinter, devMode);
    EXPECT_TRUE(dc);
    if (!dc)
        return job;
    EXPECT_TRUE(dc->StartDoc(u"settings"));
    EXPECT_TRUE(dc->StartPage());
    printtest::DrawTestPage(*dc, "settings");
    EXPECT_TRUE(dc->EndPage());
    EXPECT_TRUE(dc->EndDoc());
    dc.reset();
    const std::string stream = sim::spooler().Output(kPrinter);
    sim::files().Put(kFile, stream);
    printfile::CMemoryMappedFile file;
    EXPECT_TRUE(file.Open(kFile));
    EXPECT_EQ(printfile::ScanPrintFile(job.tickets, file), 1);
    printfile::MappedFileByteView view(file);
    for (const auto& t : job.tickets)
    {
        std::vector<printfile::BandEntry> bands;
        printfile::PageImage image;
        EXPECT_EQ(printfile::CollectBands(view, t.dataOffset, bands), printfile::RenderError::None);
        EXPECT_EQ(printfile::DecodePageImage(t, bands, image), printfile::RenderError::None);
        job.images.emplace_back(image.bits.data(), image.bits.data() + image.stride * image.lines);
    }
    return job;
}

void ExpectSameTicket(const printfile::CPrintTicket& a, const printfile::CPrintTicket& b)
{
#define SAME(field) EXPECT_EQ(a.field, b.field) << #field
    SAME(paperId);
    SAME(inchUnits);
    SAME(paperWidth);
    SAME(paperHeight);
    SAME(lineWidth);
    SAME(lineCount);
    SAME(bin);
    SAME(angle);
    SAME(rotate180);
    SAME(orientation);
    SAME(xDpi);
    SAME(yDpi);
    SAME(copies);
    SAME(sets);
    SAME(duplexMode);
    SAME(layoutMode);
    SAME(leftOffset);
    SAME(topOffset);
    SAME(rightMargin);
    SAME(bottomMargin);
    SAME(rawOptions);
    SAME(rawLayout);
    SAME(rawReserved);
    SAME(rawExtra);
    SAME(rawHeader);
#undef SAME
}

struct Case
{
    const char* name;
    const char16_t* model;
    std::function<void(SettingsRecord&)> ui;  // on the UI's default, dmFields cleared
    std::function<void(SelfDMode&)> graphics; // the same job on the graphics DLL's default
    int paperId;                              // as the reader names it, and the sheet's size
    int width, height;
    int copies;
    bool caps = false; // the printer publishes its print processor's capabilities

    friend void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }
};

void Copies(SettingsRecord& r, short n)
{
    r.dm.dmFields |= DM_COPIES;
    r.dm.dmCopies = n;
}

const Case kCases[] = {
    {"letter landscape, 3 copies", u"KORIGRAPH DX-2660",
     [](SettingsRecord& r) {
         r.dm.dmFields = DM_PAPERSIZE | DM_ORIENTATION;
         r.dm.dmPaperSize = 1;
         r.dm.dmOrientation = DMORIENT_LANDSCAPE;
         Copies(r, 3);
     },
     [](SelfDMode& s) {
         s.dm.dmPaperSize = 258;
         s.dm.dmOrientation = DMORIENT_LANDSCAPE;
         s.dm.dmCopies = 3;
     },
     1, 2159, 2794, 3},
    {"postcard", u"KORIGRAPH DX-2660",
     [](SettingsRecord& r) {
         r.dm.dmFields = DM_PAPERSIZE;
         r.dm.dmPaperSize = 43;
     },
     [](SelfDMode& s) { s.dm.dmPaperSize = 257; }, 43, 1000, 1480, 1},
    {"a user paper", u"KORIGRAPH DX-2660",
     [](SettingsRecord& r) {
         r.dm.dmFields = DM_PAPERSIZE;
         r.dm.dmPaperSize = 259;
         std::memcpy(r.userPapers[0].name, u"Card", 10);
         r.userPapers[0].width = 1500;
         r.userPapers[0].height = 2000;
     },
     [](SelfDMode& s) {
         s.dm.dmPaperSize = 256;
         s.dm.dmPaperWidth = 1500;
         s.dm.dmPaperLength = 2000;
     },
     256, 1500, 2000, 1},
    {"A3 output within the maximum on A4", u"KORIGRAPH DX-3800",
     [](SettingsRecord& r) {
         r.dm.dmFields = DM_PAPERSIZE;
         r.dm.dmPaperSize = 8;
         r.outputSize = 257;
     },
     [](SelfDMode& s) {
         s.dm.dmPaperSize = 8;
         s.outputSize = 0;
     },
     8, 2970, 4200, 1},
    {"user zoom 50 %, photo", u"KORIGRAPH DX-2660",
     [](SettingsRecord& r) {
         r.zoomMode = 1;
         r.zoom = 5000;
         r.documentTypeIndex = 3;
     },
     [](SelfDMode& s) {
         s.zoom = 50;
         s.documentTypeIndex = 3;
     },
     9, 2100, 2970, 1},
    {"finishing, two sets", u"KORIGRAPH DX-2660",
     [](SettingsRecord& r) {
         r.finishing[0] = 1;
         r.finishing[1] = 2;
         r.finishing[2] = 1;
         r.sets = 2;
     },
     [](SelfDMode& s) {
         s.finishing[0] = 1;
         s.finishing[1] = 2;
         s.finishing[2] = 1;
         s.sets = 2;
     },
     9, 2100, 2970, 1},
    {"booklet", u"KORIGRAPH DX-2660",
     [](SettingsRecord& r) {
         r.dm.dmFields = DM_DUPLEX;
         r.dm.dmDuplex = DMDUP_HORIZONTAL;
         r.layoutMode = 8;
     },
     [](SelfDMode& s) {
         s.duplex = 1;
         s.binding = 1;
         s.booklet = 1;
     },
     9, 2100, 2970, 1, true},
};

class UiPrint : public ::testing::TestWithParam<Case>
{
};

TEST_P(UiPrint, PrintsAsTheGraphicsLayoutDoes)
{
    const Case& c = GetParam();
    printtest::InstallDuplicator(kPrinter, c.model);
    if (c.caps)
    {
        const DWORD words[4] = {1, 0x3F, 0x2, 1};
        const auto* b = reinterpret_cast<const BYTE*>(words);
        sim::spooler().SetPrinterData(kPrinter, velmoui::kPrintProcCapsValue, REG_BINARY,
                                      std::vector<BYTE>(b, b + sizeof words));
    }
    HMODULE ui = LoadLibraryW(u"VelmQ7UI.dll");
    ASSERT_TRUE(ui);
    auto convert = reinterpret_cast<BOOL(WINAPI*)(LPWSTR, PDEVMODEW, PDEVMODEW, PLONG, DWORD)>(
        reinterpret_cast<void (*)()>(GetProcAddress(ui, "DrvConvertDevMode")));

    auto defaults = std::make_unique<SettingsRecord>();
    auto merged = std::make_unique<SettingsRecord>();
    LONG size = velmoui::kDevModeSize;
    LPWSTR name = const_cast<LPWSTR>(kPrinter);
    ASSERT_TRUE(convert(name, nullptr, &defaults->dm, &size, CDM_DRIVER_DEFAULT));
    defaults->dm.dmFields = 0;
    c.ui(*defaults);
    ASSERT_TRUE(convert(name, &defaults->dm, &merged->dm, &size, CDM_CONVERT));
    FreeLibrary(ui);
    const Job fromUi = PrintAndRead(&merged->dm);

    sim::spooler().AddPrinter([&] {
        sim::PrinterSetup p;
        p.name = kPrinter;
        p.driverName = c.model;
        p.driverPath = printtest::kDriverPath;
        return p;
    }());
    auto own = std::make_unique<SelfDMode>();
    velmo::_UdcResetSelfDMode(*own, kPrinter, c.model);
    own->dm.dmFields |= DM_PAPERSIZE | DM_ORIENTATION | DM_COPIES | DM_DUPLEX;
    c.graphics(*own);
    velmo::_UdcUpdateCmnDModeArea(*own, kPrinter);
    const Job fromGraphics = PrintAndRead(&own->dm);

    ASSERT_EQ(fromUi.tickets.size(), 1u);
    ASSERT_EQ(fromGraphics.tickets.size(), 1u);
    EXPECT_EQ(fromUi.tickets[0].paperId, c.paperId);
    EXPECT_EQ(fromUi.tickets[0].paperWidth, c.width);
    EXPECT_EQ(fromUi.tickets[0].paperHeight, c.height);
    EXPECT_EQ(fromUi.tickets[0].copies, c.copies);
    ExpectSameTicket(fromUi.tickets[0], fromGraphics.tickets[0]);
    EXPECT_EQ(fromUi.images[0], fromGraphics.images[0]) << "the same dots";
}

INSTANTIATE_TEST_SUITE_P(Jobs, UiPrint, ::testing::ValuesIn(kCases), [](const auto& info) {
    std::string n;
    for (const char* p = info.param.name; *p; ++p)
        n += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
    return n;
});
} // namespace
