#include <gtest/gtest.h>

#include "print_proc_caps.h"
#include "ui_fixture.h"

#include <platform/winddiui.h>
#include <sim/machine.h>
#include <sim/spooler.h>

#include <cstring>
#include <functional>
#include <memory>

using namespace velmoui;
using namespace velmoui_test;
using velmo::SettingsRecord;

namespace
{
using JobFn = BOOL(WINAPI*)(HANDLE, PDEVMODEW, DWORD, LPBYTE);
using ConvertFn = BOOL(WINAPI*)(LPWSTR, PDEVMODEW, PDEVMODEW, PLONG, DWORD);

constexpr DWORD kNupList = 0x812B; // 1, 2, 4, 6, 9 and 16 pages per side

struct Expected
{
    DWORD jobPages = 1;
    DWORD border = NO_BORDER_PRINT;
    DWORD order = 0;
    DWORD copies = 1;
    DWORD direction = 1;
    DWORD booklet = 0;
};

class JobAttributes : public ::testing::Test
{
protected:
    void SetUp() override
    {
        sim::PrinterSetup s;
        s.name = kPrinterName;
        s.driverName = u"KORIGRAPH DX-2660";
        sim::spooler().AddPrinter(s);
        module = LoadLibraryW(u"VelmQ7UI.dll");
        ASSERT_TRUE(module);
        query = Proc<JobFn>(module, "DrvQueryJobAttributes");
        convert = Proc<ConvertFn>(module, "DrvConvertDevMode");
        ASSERT_TRUE(query && convert);
        printer = sim::spooler().OpenPrinter(kPrinterName);
    }
    void TearDown() override
    {
        sim::spooler().ClosePrinter(printer);
        FreeLibrary(module);
    }
    void Caps(DWORD pageOrder, DWORD nup = kNupList)
    {
        sim::spooler().SetPrinterData(kPrinterName, kPrintProcCapsValue, REG_BINARY,
                                      CapsRecord(nup, pageOrder));
    }
    std::unique_ptr<SettingsRecord> Job(const std::function<void(SettingsRecord&)>& edit)
    {
        auto r = std::make_unique<SettingsRecord>();
        LONG size = 2944;
        EXPECT_TRUE(convert(const_cast<LPWSTR>(kPrinterName), nullptr, &r->dm, &size, CDM_DRIVER_DEFAULT));
        r->dm.dmFields = 0;
        r->nupPagesPerSide = 1;
        edit(*r);
        return r;
    }

    HMODULE module = nullptr;
    HANDLE printer = nullptr;
    JobFn query = nullptr;
    ConvertFn convert = nullptr;
};
} // namespace

TEST_F(JobAttributes, LayoutsAsThePrintProcessorCarriesThemOut)
{
    const struct
    {
        const char* what;
        DWORD pageOrder;
        std::function<void(SettingsRecord&)> job;
        Expected expected;
    } cases[] = {
        {"standard, 3 copies",
         0,
         [](SettingsRecord& r) {
             r.dm.dmFields = DM_COPIES;
             r.dm.dmCopies = 3;
         },
         {1, NO_BORDER_PRINT, 0, 3, 1, 0}},
        {"reverse order",
         REVERSE_PRINT,
         [](SettingsRecord& r) { r.ppSwitch2 = 1; },
         {1, NO_BORDER_PRINT, 1, 1, 1, 0}},
        {"reverse order the processor cannot do", 0, [](SettingsRecord& r) { r.ppSwitch2 = 1; }, {}},
        {"combination of 4 in direction 2",
         0x20200000,
         [](SettingsRecord& r) {
             r.layoutMode = 4;
             r.pagesPerSheet = 4;
             r.nupOrder = 2;
         },
         {4, NO_BORDER_PRINT, 0, 1, 2, 0}},
        {"combination with borders",
         0x200000,
         [](SettingsRecord& r) {
             r.layoutMode = 4;
             r.pagesPerSheet = 6;
             r.ppSwitch1 = 1;
         },
         {6, BORDER_PRINT, 0, 1, 1, 0}},
        {"combination the job asks one-up",
         0x200000,
         [](SettingsRecord& r) {
             r.layoutMode = 4;
             r.pagesPerSheet = 4;
             r.dm.dmNup = DMNUP_ONEUP;
         },
         {}},
        {"split into 4, borders off",
         0x18000000,
         [](SettingsRecord& r) {
             r.layoutMode = 2;
             r.pagesPerSheet = 4;
             r.nupBorderOff = 1;
         },
         {1, NO_BORDER_PRINT, 0x18040000, 1, 1, 0}},
        {"booklet, duplex, opening right",
         0x40000002,
         [](SettingsRecord& r) {
             r.layoutMode = 8;
             r.bookletOpening = 1;
             r.dm.dmFields = DM_DUPLEX;
             r.dm.dmDuplex = DMDUP_HORIZONTAL;
         },
         {2, NO_BORDER_PRINT, BOOKLET_PRINT, 1, 1, 1}},
        {"booklet without duplex",
         0x2,
         [](SettingsRecord& r) { r.layoutMode = 8; },
         {2, NO_BORDER_PRINT, 0, 1, 1, 0}},
        {"booklet the processor cannot do", 0x200000, [](SettingsRecord& r) { r.layoutMode = 8; }, {}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        Caps(c.pageOrder);
        auto job = Job(c.job);
        ATTRIBUTE_INFO_4 a;
        std::memset(&a, 0xEE, sizeof a);
        ASSERT_TRUE(query(printer, &job->dm, 4, reinterpret_cast<LPBYTE>(&a)));
        EXPECT_EQ(a.dwJobNumberOfPagesPerSide, c.expected.jobPages);
        EXPECT_EQ(a.dwDrvNumberOfPagesPerSide, 1u);
        EXPECT_EQ(a.dwNupBorderFlags, c.expected.border);
        EXPECT_EQ(a.dwJobPageOrderFlags, c.expected.order);
        EXPECT_EQ(a.dwDrvPageOrderFlags, 0u);
        EXPECT_EQ(a.dwJobNumberOfCopies, c.expected.copies);
        EXPECT_EQ(a.dwDrvNumberOfCopies, c.expected.copies);
        EXPECT_EQ(a.dwColorOptimization, 0u);
        EXPECT_EQ(a.dwDuplexFlags, 2u);
        EXPECT_EQ(a.dwNupDirection, c.expected.direction);
        EXPECT_EQ(a.dwBookletFlags, c.expected.booklet);
        EXPECT_EQ(a.dwScalingPercentX, 100u);
        EXPECT_EQ(a.dwScalingPercentY, 100u);
    }
}

TEST_F(JobAttributes, LevelsFillTheirOwnRecordAndTheCollateIsWritten)
{
    Caps(0);
    const struct
    {
        DWORD level;
        size_t bytes;
    } levels[] = {{1, 28}, {2, 32}, {3, 36}, {4, sizeof(ATTRIBUTE_INFO_4)}};
    for (const auto& l : levels)
    {
        SCOPED_TRACE(l.level);
        auto job = Job([](SettingsRecord& r) {
            r.collate = 1;
            r.dm.dmCollate = 0;
        });
        std::vector<BYTE> out(sizeof(ATTRIBUTE_INFO_4) + 4, 0xEE);
        ASSERT_TRUE(query(printer, &job->dm, l.level, out.data()));
        EXPECT_TRUE(std::all_of(out.begin() + static_cast<std::ptrdiff_t>(l.bytes), out.end(),
                                [](BYTE b) { return b == 0xEE; }));
        EXPECT_EQ(job->dm.dmCollate, 1) << "the settings' collation goes to the job";
        if (l.level >= 3)
        {
            short dpi[2];
            std::memcpy(dpi, out.data() + 32, sizeof dpi);
            EXPECT_EQ(dpi[0], job->dm.dmPrintQuality);
            EXPECT_EQ(dpi[1], job->dm.dmYResolution);
        }
    }
    auto job = Job([](SettingsRecord&) {});
    ATTRIBUTE_INFO_4 a;
    for (DWORD level : {0u, 5u})
    {
        SetLastError(0);
        EXPECT_FALSE(query(printer, &job->dm, level, reinterpret_cast<LPBYTE>(&a)));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    EXPECT_FALSE(query(printer, nullptr, 1, reinterpret_cast<LPBYTE>(&a))) << "no job DEVMODE";

    // A short job DEVMODE: its collate field is not written.
    std::vector<BYTE> shortJob(120, 0);
    shortJob[68] = 120;
    EXPECT_TRUE(
        query(printer, reinterpret_cast<PDEVMODEW>(shortJob.data()), 1, reinterpret_cast<LPBYTE>(&a)));
    EXPECT_TRUE(std::all_of(shortJob.begin() + 72, shortJob.end(), [](BYTE b) { return b == 0; }));
}

TEST_F(JobAttributes, NoPrintProcessorCapabilitiesNoAttributes)
{
    auto job = Job([](SettingsRecord&) {});
    ATTRIBUTE_INFO_4 a;
    EXPECT_FALSE(query(printer, &job->dm, 1, reinterpret_cast<LPBYTE>(&a)));
    sim::spooler().SetPrinterData(kPrinterName, kPrintProcCapsValue, REG_BINARY, CapsRecord(kNupList, 0, 2));
    EXPECT_FALSE(query(printer, &job->dm, 1, reinterpret_cast<LPBYTE>(&a))) << "level 2 capabilities";
    auto shortCaps = CapsRecord(kNupList, 0);
    shortCaps.resize(15);
    sim::spooler().SetPrinterData(kPrinterName, kPrintProcCapsValue, REG_BINARY, shortCaps);
    EXPECT_FALSE(query(printer, &job->dm, 1, reinterpret_cast<LPBYTE>(&a))) << "15 bytes";
    EXPECT_FALSE(query(nullptr, &job->dm, 1, reinterpret_cast<LPBYTE>(&a))) << "no printer";
}
