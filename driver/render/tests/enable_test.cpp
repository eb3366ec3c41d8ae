#include <gtest/gtest.h>

#include <sim/machine.h>
#include <sim/spooler.h>
#include <testing/duplicator.h>

#include "enable.h"
#include "pdev.h"

#include <cstring>
#include <vector>

using namespace velmoq7;

namespace
{
const WCHAR* kPrinter = u"Office Duplicator";

void AddPrinter()
{
    printtest::InstallDuplicator(kPrinter, u"KORIGRAPH DX-2660");
}

velmo::SelfDMode Settings(void (*edit)(velmo::SelfDMode&) = nullptr)
{
    velmo::SelfDMode s;
    velmo::_UdcResetSelfDMode(s, kPrinter, u"KORIGRAPH DX-2660");
    if (edit)
        edit(s);
    return s;
}
} // namespace

TEST(EnableDriver, VersionAndSizeChecks)
{
    DRVENABLEDATA data{};
    SetLastError(0);
    EXPECT_FALSE(DrvEnableDriver(0x1FFFF, sizeof data, &data));
    EXPECT_EQ(GetLastError(), 119u);
    // Every record too short for the table pointer is refused: 11 bytes anywhere, 12 to 15 on x64.
    for (ULONG size = 11; size < sizeof data; ++size)
    {
        data.pdrvfn = nullptr;
        SetLastError(0);
        EXPECT_FALSE(DrvEnableDriver(0x20000, size, &data)) << size;
        EXPECT_EQ(GetLastError(), 119u) << size;
    }
    ASSERT_TRUE(DrvEnableDriver(0x20000, sizeof data, &data));
    EXPECT_EQ(data.iDriverVersion, 0x20000u);
    ASSERT_EQ(data.c, 26u);
    const ULONG order[] = {0,  7,  1,  2,  3,  4,  18, 20, 19, 23, 37, 17, 15,
                           16, 31, 14, 35, 33, 32, 34, 57, 58, 26, 27, 28, 24};
    for (ULONG i = 0; i < 26; ++i)
        EXPECT_EQ(data.pdrvfn[i].iFunc, order[i]) << i;
    DWORD userMode = 0, needed = 0;
    EXPECT_TRUE(DrvQueryDriverInfo(DRVQUERY_USERMODE, &userMode, sizeof userMode, &needed));
    EXPECT_EQ(userMode, 1u);
}

TEST(EnableDriver, DeviceContextThroughTheEngine)
{
    AddPrinter();
    velmo::SelfDMode s = Settings();
    auto dc = sim::engine().CreateDC(kPrinter, &s.dm);
    ASSERT_TRUE(dc) << GetLastError();
    EXPECT_EQ(dc->gdiInfo.ulLogPixelsX, 600u);
    EXPECT_EQ(dc->gdiInfo.ulHorzRes, 4832u); // ((21000 - 600) * 600 + 1270) / 2540 = 4819, to 32: 4832
    EXPECT_EQ(dc->gdiInfo.cBitsPixel, 24u);
    EXPECT_EQ(dc->gdiInfo.ulHTOutputFormat, ULONG{HT_FORMAT_24BPP});
    EXPECT_EQ(dc->gdiInfo.ciDevice.Red.x, 6810);
    EXPECT_EQ(dc->devInfo.iDitherFormat, ULONG{BMF_24BPP});
    auto surface = sim::engine().Surface(dc->surface);
    ASSERT_TRUE(surface);
    EXPECT_TRUE(surface->banding);
    EXPECT_EQ(surface->hooks, FLONG{0x5FB});
    EXPECT_EQ(surface->size.cx, LONG(dc->gdiInfo.ulHorzRes));
    // The engine holds the DLL loaded, as LoadLibrary would, while the device context lives.
    HMODULE dll = GetModuleHandleW(u"VELMOQ7.DLL");
    ASSERT_NE(dll, nullptr);
    EXPECT_EQ(dll, dc->driver.module);
    EXPECT_NE(GetProcAddress(dll, MAKEINTRESOURCEA(1)), nullptr);
    EXPECT_EQ(GetProcAddress(dll, MAKEINTRESOURCEA(1)), GetProcAddress(dll, "DrvEnableDriver"));
    sim::engine().DeleteDC(*dc);
    EXPECT_EQ(GetModuleHandleW(u"VELMOQ7.DLL"), nullptr);
    EXPECT_TRUE(sim::engine().Outstanding().empty());
    EXPECT_TRUE(sim::engine().Surfaces().empty());
    EXPECT_TRUE(sim::engine().Palettes().empty());
}

TEST(EnableDriver, ZoomHalvesTheDeviceResolution)
{
    AddPrinter();
    velmo::SelfDMode s = Settings([](velmo::SelfDMode& r) { r.zoom = 50; });
    auto dc = sim::engine().CreateDC(kPrinter, &s.dm);
    ASSERT_TRUE(dc);
    EXPECT_EQ(dc->gdiInfo.ulLogPixelsX, 300u);
    EXPECT_EQ(dc->gdiInfo.ulLogPixelsY, 300u);
    sim::engine().DeleteDC(*dc);
}

TEST(EnableDriver, BandCountGrowsUntilTheSurfaceFits)
{
    AddPrinter();
    velmo::SelfDMode s = Settings();
    sim::faults().FailNext("EngCreateBitmap", ERROR_NOT_ENOUGH_MEMORY, 3);
    auto dc = sim::engine().CreateDC(kPrinter, &s.dm);
    ASSERT_TRUE(dc);
    auto* pdev = reinterpret_cast<PDev*>(dc->pdev);
    EXPECT_EQ(pdev->band.requestedBands, 23);
    EXPECT_EQ(pdev->band.stripSize, CfgCalcBandSize(pdev->page.printableHeightPx, 23, 1));
    sim::engine().DeleteDC(*dc);

    sim::engine().SetSurfaceLimit(1);
    SetLastError(0);
    EXPECT_FALSE(sim::engine().CreateDC(kPrinter, &s.dm));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_NOT_ENOUGH_MEMORY});
    EXPECT_TRUE(sim::engine().Outstanding().empty());
    EXPECT_TRUE(sim::engine().Surfaces().empty());
}

TEST(EnableDriver, AssociationOrBandingMarkFailureDeletesTheSurface)
{
    AddPrinter();
    velmo::SelfDMode s = Settings();
    for (const char* api : {"EngAssociateSurface", "EngMarkBandingSurface"})
    {
        sim::faults().FailNext(api, ERROR_INVALID_PARAMETER);
        SetLastError(0);
        EXPECT_FALSE(sim::engine().CreateDC(kPrinter, &s.dm)) << api;
        EXPECT_EQ(GetLastError(), DWORD{ERROR_NOT_ENOUGH_MEMORY}) << api;
        EXPECT_TRUE(sim::engine().Surfaces().empty()) << api;
        EXPECT_TRUE(sim::engine().Outstanding().empty()) << api;
    }
}

TEST(EnableDriver, MemoryFailureAtEachTag)
{
    AddPrinter();
    velmo::SelfDMode s = Settings();
    for (const char* tag : {"Dap0", "Dad0", "Das0", "Dau0", "Dau1", "Dau2"})
    {
        sim::engine().FailTag(EngPoolTag(*reinterpret_cast<const char(*)[5]>(tag)));
        SetLastError(0);
        EXPECT_FALSE(sim::engine().CreateDC(kPrinter, &s.dm)) << tag;
        EXPECT_EQ(GetLastError(), DWORD{ERROR_NOT_ENOUGH_MEMORY}) << tag;
        EXPECT_TRUE(sim::engine().Outstanding().empty()) << tag;
        EXPECT_TRUE(sim::engine().Palettes().empty()) << tag;
        EXPECT_EQ(GetModuleHandleW(u"VELMOQ7.DLL"), nullptr) << tag;
    }
}

TEST(EnableDriver, EveryHookRefusesADamagedPdev)
{
    AddPrinter();
    velmo::SelfDMode s = Settings();
    auto dc = sim::engine().CreateDC(kPrinter, &s.dm);
    ASSERT_TRUE(dc);
    auto* bytes = reinterpret_cast<BYTE*>(dc->pdev);
    struct Damage
    {
        size_t offset;
        const char* what;
    } damages[] = {{0, "first marker"}, {4, "size"}, {kPDevSize - 2, "last marker"}};
    for (const Damage& d : damages)
    {
        SCOPED_TRACE(d.what);
        BYTE keep = bytes[d.offset];
        bytes[d.offset] ^= 0x5A;
        DHPDEV bad = dc->pdev;
        SURFOBJ so{};
        so.dhpdev = bad;
        auto refused = [](bool failed) {
            EXPECT_TRUE(failed);
            EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
        };
        SetLastError(0), refused(!DrvEnableSurface(bad));
        SetLastError(0), refused(!DrvResetPDEV(bad, bad));
        SetLastError(0), refused(!DrvStartDoc(&so, nullptr, 1));
        SetLastError(0), refused(!DrvStartPage(&so));
        SetLastError(0), refused(!DrvSendPage(&so));
        SetLastError(0), refused(!DrvEndDoc(&so, 0));
        SetLastError(0), refused(!DrvStartBanding(&so, nullptr));
        SetLastError(0), refused(!DrvNextBand(&so, nullptr));
        SetLastError(0), refused(DrvQueryFontData(bad, nullptr, 0, 0, nullptr, nullptr, 0) == -1);
        SetLastError(0), refused(!DrvQueryFont(bad, 0, 0, nullptr));
        SetLastError(0), refused(!DrvQueryFontTree(bad, 0, 0, 0, nullptr));
        SetLastError(0), refused(DrvEscape(&so, 0, 0, nullptr, 0, nullptr) == 0);
        SetLastError(0), refused(DrvGetGlyphMode(bad, nullptr) == 0);
        SetLastError(0), DrvDisableSurface(bad), refused(true);
        SetLastError(0), DrvCompletePDEV(bad, nullptr), refused(true);
        SetLastError(0), DrvDisablePDEV(bad), refused(true);
        // A drawing destination that is not ours is the engine's: the call goes there unchanged.
        sim::engine().RecordDrawing(true);
        DrvPaint(&so, nullptr, nullptr, nullptr, 0);
        const auto calls = sim::engine().DrawingCalls();
        sim::engine().RecordDrawing(false);
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].name, "EngPaint");
        EXPECT_EQ(calls[0].dst, &so);
        bytes[d.offset] = keep;
    }
    EXPECT_EQ(sim::engine().Outstanding().size(), 5u); // PDEV, system and three user buffers: still ours
    sim::engine().DeleteDC(*dc);
    EXPECT_TRUE(sim::engine().Outstanding().empty());
}

// The printer's defaults select a user paper and an application's DEVMODE brings that paper's size:
// the size is held to the model's paper range before any geometry is computed from it.
TEST(EnableDriver, UserPaperSizesFromAnApplicationAreHeldToTheModel)
{
    velmo::SelfDMode stored = Settings([](velmo::SelfDMode& r) {
        r.paperId = velmo::kFirstUserPaperId;
        velmo::_UdcUpdateCmnDModeArea(r, kPrinter);
    });
    std::vector<BYTE> devMode(velmo::kDevModeSize);
    std::memcpy(devMode.data(), &stored, devMode.size());
    printtest::InstallDuplicator(kPrinter, u"KORIGRAPH DX-2660", devMode);
    std::vector<BYTE> block(velmo::kPrinterBlockSize);
    std::memcpy(block.data(), &stored.printer, block.size());
    sim::spooler().SetPrinterData(kPrinter, u"Private DevMode", REG_BINARY, block);

    struct Case
    {
        LONG width, height;
        velmo::PaperSize held;
    } cases[] = {
        {0x7FFFFFFF, 0x7FFFFFFF, velmo::g_MaxPaperSizeA4},
        {-0x7FFFFFFF, 5, velmo::g_MinPaperSize},
        {1500, 2000, {1500, 2000}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.width);
        velmo::SelfDMode app = stored;
        app.userPapers[0].width = c.width;
        app.userPapers[0].height = c.height;
        auto dc = sim::engine().CreateDC(kPrinter, &app.dm);
        ASSERT_TRUE(dc);
        const PDev& pdev = *reinterpret_cast<PDev*>(dc->pdev);
        EXPECT_EQ(pdev.settings->paperId, velmo::kFirstUserPaperId);
        EXPECT_EQ(pdev.page.paperWidth, c.held.width);
        EXPECT_EQ(pdev.page.paperHeight, c.held.height);
        EXPECT_GT(dc->gdiInfo.ulVertRes, 0u);
        sim::engine().DeleteDC(*dc);
    }
    EXPECT_TRUE(sim::engine().Outstanding().empty());
}
