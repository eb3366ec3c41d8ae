#include <gtest/gtest.h>

#include "device_caps.h"
#include "ui_fixture.h"
#include "ui_strings.h"
#include "ui_tables.h"

#include <sim/machine.h>
#include <sim/spooler.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>

using namespace velmoui;
using namespace velmoui_test;
using velmo::SettingsRecord;

namespace
{
using CapsFn = DWORD(WINAPI*)(HANDLE, LPWSTR, WORD, PVOID, PDEVMODEW);
using SplCapsFn = DWORD(WINAPI*)(HANDLE, LPWSTR, WORD, PVOID, DWORD, PDEVMODEW);
using ConvertFn = BOOL(WINAPI*)(LPWSTR, PDEVMODEW, PDEVMODEW, PLONG, DWORD);

class DeviceCaps : public ::testing::Test
{
protected:
    void Install(const char16_t* model)
    {
        sim::PrinterSetup s;
        s.name = kPrinterName;
        s.driverName = model;
        sim::spooler().AddPrinter(s);
        printer = sim::spooler().OpenPrinter(kPrinterName);
    }
    void SetUp() override
    {
        module = LoadLibraryW(u"VelmQ7UI.dll");
        ASSERT_TRUE(module);
        caps = Proc<CapsFn>(module, "DrvDeviceCapabilities");
        splCaps = Proc<SplCapsFn>(module, "DrvSplDeviceCaps");
        convert = Proc<ConvertFn>(module, "DrvConvertDevMode");
        ASSERT_TRUE(caps && splCaps && convert);
        Install(u"KORIGRAPH DX-2660");
    }
    void TearDown() override
    {
        sim::spooler().ClosePrinter(printer);
        FreeLibrary(module);
    }

    // The printer's default DEVMODE with `edit` applied, as an application hands it in.
    std::unique_ptr<SettingsRecord> DevMode(const std::function<void(SettingsRecord&)>& edit)
    {
        auto r = std::make_unique<SettingsRecord>();
        LONG size = 2944;
        EXPECT_TRUE(convert(Name(), nullptr, &r->dm, &size, CDM_DRIVER_DEFAULT));
        r->dm.dmFields = 0;
        edit(*r);
        return r;
    }
    // The record the driver answers from.
    std::unique_ptr<SettingsRecord> Record()
    {
        auto r = std::make_unique<SettingsRecord>();
        SpoolerPrinterProbe(*r);
        return r;
    }
    void SpoolerPrinterProbe(SettingsRecord& r)
    {
        LONG size = 2944;
        ASSERT_TRUE(convert(Name(), nullptr, &r.dm, &size, CDM_DRIVER_DEFAULT));
    }

    static LPWSTR Name() { return const_cast<LPWSTR>(kPrinterName); }

    HMODULE module = nullptr;
    HANDLE printer = nullptr;
    CapsFn caps = nullptr;
    SplCapsFn splCaps = nullptr;
    ConvertFn convert = nullptr;
};

void NameUserPapers(SettingsRecord& r, std::initializer_list<int> which)
{
    for (int i : which)
    {
        std::u16string name = u"User " + std::u16string(1, char16_t(u'A' + i));
        CopyName(r.userPapers[i].name, name.c_str());
        r.userPapers[i].width = 1500 + i;
        r.userPapers[i].height = 2000 + i;
    }
}

WString NameAt(const std::vector<WCHAR>& names, size_t index, size_t chars)
{
    const WCHAR* p = names.data() + index * chars;
    return WString(p, std::find(p, p + chars, WCHAR{0}));
}
} // namespace

TEST_F(DeviceCaps, PapersInOrderWithTheNamedUserPapers)
{
    const int model = static_cast<int>(PaperList(10).size()); // the model's type, custom row offered
    const struct
    {
        const char* what;
        std::initializer_list<int> named;
        int users;
    } cases[] = {
        {"none", {}, 0},
        {"the first two", {0, 1}, 2},
        {"all twenty", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19}, 20},
        {"only the second", {1}, 0},
        {"a gap after the first", {0, 2, 3}, 1},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        auto dm = DevMode([&](SettingsRecord& r) { NameUserPapers(r, c.named); });
        const DWORD count = caps(printer, Name(), DC_PAPERS, nullptr, &dm->dm);
        ASSERT_EQ(count, static_cast<DWORD>(model + c.users));
        std::vector<WORD> ids(count + 1, 0xEEEE);
        EXPECT_EQ(caps(printer, Name(), DC_PAPERS, ids.data(), &dm->dm), count);
        EXPECT_EQ(ids[count], 0xEEEE) << "nothing past the count";
        std::vector<POINT> sizes(count);
        EXPECT_EQ(caps(printer, Name(), DC_PAPERSIZE, sizes.data(), &dm->dm), count);
        std::vector<WCHAR> names(64 * count + 1, 0xEEEE);
        EXPECT_EQ(caps(printer, Name(), DC_PAPERNAMES, names.data(), &dm->dm), count);
        EXPECT_EQ(names.back(), 0xEEEE);
        for (int i = 0; i < model; ++i)
        {
            const PaperRow& row = PaperList(10)[i];
            EXPECT_EQ(ids[i], row.id);
            if (row.id != 256)
            {
                EXPECT_EQ(sizes[i].x, row.width) << row.id;
            }
            EXPECT_EQ(NameAt(names, i, 64), UiString(PaperNameId(row.id))) << row.id;
        }
        for (int u = 0; u < c.users; ++u)
        {
            EXPECT_EQ(ids[model + u], 259 + u);
            EXPECT_EQ(sizes[model + u].x, 1500 + u);
            EXPECT_EQ(sizes[model + u].y, 2000 + u);
            EXPECT_EQ(NameAt(names, model + u, 64), u"User " + std::u16string(1, char16_t(u'A' + u)));
        }
    }
}

TEST_F(DeviceCaps, BinsFollowBinListEnable)
{
    for (int enable : {0, 1, 2})
    {
        SCOPED_TRACE(enable);
        sim::files().Put(kSettingsFile,
                         "[KORIGRAPH DX-2660]\r\nBinListEnable=" + std::to_string(enable) + "\r\n");
        const size_t offered = enable == 1 ? 6 : 1;
        std::vector<WORD> ids(8, 0xEEEE);
        ASSERT_EQ(caps(printer, Name(), DC_BINS, ids.data(), nullptr), offered);
        std::vector<WCHAR> names(24 * 8, 0xEEEE);
        ASSERT_EQ(caps(printer, Name(), DC_BINNAMES, names.data(), nullptr), offered);
        for (size_t i = 0; i < offered; ++i)
        {
            EXPECT_EQ(ids[i], g_BinList[i].value);
            EXPECT_EQ(NameAt(names, i, 24), UiString(static_cast<UINT>(508 + i)).substr(0, 23));
        }
        EXPECT_EQ(ids[offered], 0xEEEE);
        EXPECT_EQ(names[24 * offered], 0xEEEE);
    }
}

TEST_F(DeviceCaps, ValuesByCapability)
{
    auto r = Record();
    const struct
    {
        WORD capability;
        DWORD result;
    } cases[] = {
        {DC_FIELDS, r->dm.dmFields},
        {DC_DUPLEX, 1},
        {DC_SIZE, 220},
        {DC_EXTRA, 2724},
        {DC_VERSION, 0x0401},
        {DC_DRIVER, 1835},
        {DC_ENUMRESOLUTIONS, 1},
        {DC_TRUETYPE, 1},
        {DC_EMF_COMPLIANT, 1},
        {DC_COLLATE, 1},
        {DC_COLORDEVICE, 1},
        {DC_ORIENTATION, 90},
        {DC_COPIES, 9999},
        {DC_STAPLE, 0},
        {DC_MEDIATYPES, 1},
        {DC_MEDIATYPENAMES, 1},
        {DC_FILEDEPENDENCIES, GDI_ERROR},
        {DC_BINADJUST, GDI_ERROR},
        {DC_DATATYPE_PRODUCED, GDI_ERROR},
        {DC_MANUFACTURER, GDI_ERROR},
        {DC_MODEL, GDI_ERROR},
        {DC_PERSONALITY, GDI_ERROR},
        {DC_PRINTRATE, GDI_ERROR},
        {DC_PRINTRATEUNIT, GDI_ERROR},
        {DC_PRINTERMEM, GDI_ERROR},
        {DC_PRINTRATEPPM, GDI_ERROR},
        {DC_NUP, GDI_ERROR},
        {0, GDI_ERROR},
        {36, GDI_ERROR},
        {0xFFFF, GDI_ERROR},
    };
    for (const auto& c : cases)
        EXPECT_EQ(caps(printer, Name(), c.capability, nullptr, nullptr), c.result) << c.capability;

    LONG dpi[3] = {0, 0, -7};
    caps(printer, Name(), DC_ENUMRESOLUTIONS, dpi, nullptr);
    EXPECT_EQ(dpi[0], r->dm.dmPrintQuality);
    EXPECT_EQ(dpi[1], r->dm.dmYResolution);
    EXPECT_EQ(dpi[2], -7);
    WCHAR media[65];
    std::fill(std::begin(media), std::end(media), WCHAR{0xEEEE});
    caps(printer, Name(), DC_MEDIATYPENAMES, media, nullptr);
    EXPECT_EQ(WString(media), WString(g_MediaTypeList[0].name));
    EXPECT_EQ(media[64], 0xEEEE);

    // Duplex on limits the copies; a turned landscape reports 270.
    auto duplex = DevMode([](SettingsRecord& d) {
        d.dm.dmFields = DM_DUPLEX;
        d.dm.dmDuplex = DMDUP_VERTICAL;
        d.rotate180 = 1;
    });
    EXPECT_EQ(caps(printer, Name(), DC_COPIES, nullptr, &duplex->dm), 500u);
    EXPECT_EQ(caps(printer, Name(), DC_ORIENTATION, nullptr, &duplex->dm), 270u);

    EXPECT_EQ(caps(nullptr, Name(), DC_PAPERS, nullptr, nullptr),
              static_cast<DWORD>(PaperList(kUnknownPaperListType).size()))
        << "no printer: the defaults of an unknown driver";
}

TEST_F(DeviceCaps, ExtentsPackWidthAndHeight)
{
    const struct
    {
        const char16_t* model;
        LONG type;
    } cases[] = {{u"KORIGRAPH DX-1400", 6}, {u"KORIGRAPH DX-2600", 4}, {u"KORIGRAPH DX-1300", 2}};
    for (const auto& c : cases)
    {
        sim::spooler().ClosePrinter(printer);
        Install(c.model);
        for (auto [capability, size] :
             {std::pair{DC_MINEXTENT, MinPaperSize(c.type)}, std::pair{DC_MAXEXTENT, MaxPaperSize(c.type)}})
        {
            POINT p{-1, -1};
            const DWORD packed = caps(printer, Name(), static_cast<WORD>(capability), &p, nullptr);
            EXPECT_EQ(packed, static_cast<DWORD>(size.width | size.height << 16)) << c.type;
            EXPECT_EQ(p.x, size.width);
            EXPECT_EQ(p.y, size.height);
        }
    }
    sim::spooler().ClosePrinter(printer);
    Install(u"KORIGRAPH DX-1400");
    EXPECT_EQ(caps(printer, Name(), DC_MINEXTENT, nullptr, nullptr), 0x05C801F4u);
}

TEST_F(DeviceCaps, SpoolerNamesIntoBuffersOfEachLength)
{
    auto dm = DevMode([](SettingsRecord& r) { NameUserPapers(r, {0, 1, 2}); });
    const DWORD count = caps(printer, Name(), DC_PAPERS, nullptr, &dm->dm);
    const struct
    {
        DWORD length;
        DWORD result;
    } cases[] = {{63, GDI_ERROR}, {64, 1}, {100, 1}, {128, 2}, {6400, count}};
    for (WORD capability : {WORD{DC_PAPERNAMES}, WORD{DC_MEDIAREADY}})
    {
        EXPECT_EQ(splCaps(printer, Name(), capability, nullptr, 0, &dm->dm), count);
        for (const auto& c : cases)
        {
            std::vector<WCHAR> out(c.length + 8, 0xEEEE);
            EXPECT_EQ(splCaps(printer, Name(), capability, out.data(), c.length, &dm->dm), c.result)
                << c.length;
            const size_t written = c.result == GDI_ERROR ? 0 : c.result * 64;
            EXPECT_TRUE(std::all_of(out.begin() + static_cast<std::ptrdiff_t>(written), out.end(),
                                    [](WCHAR w) { return w == 0xEEEE; }))
                << c.length << ": nothing past the names written";
            if (written)
            {
                EXPECT_EQ(NameAt(out, 0, 64), UiString(PaperNameId(PaperList(10)[0].id)));
            }
        }
    }
    std::vector<WCHAR> out(6400);
    EXPECT_EQ(splCaps(printer, Name(), DC_PAPERS, out.data(), 6400, nullptr), GDI_ERROR);
    EXPECT_EQ(splCaps(printer, Name(), DC_BINNAMES, out.data(), 6400, nullptr), GDI_ERROR);
}
