// The Setup API's INF reading, the driver store and the spooler's package installs, printers and
// ports on the simulated machine.
#include <gtest/gtest.h>

#include <platform/setupapi.h>
#include <platform/winspool.h>
#include <sim/machine.h>
#include <sim/spooler.h>

#include <string>
#include <vector>

namespace
{
const std::string kInf = "; a package\n"
                         "[Version]\n"
                         "Signature = \"$Windows NT$\"\n"
                         "Class=Printer\n"
                         "ClassVer=%Ver%\n"
                         "Provider=%Mfg%\n"
                         "DriverVer=03/15/2021,1.2.3.4\n"
                         "[manufacturer]\n"
                         "%Mfg%=Maker,NTamd64.6.0\n"
                         "[Maker.NTamd64.6.0]\n"
                         "\"Model \"\"A\"\"\" = Install, HW\\A ; comment\n"
                         "[Install]\n"
                         "CopyFiles=Install_Files,@extra.dat\n"
                         "DriverFile=drv.dll\n"
                         "PrintProcessor=OwnPrint,ownprint.dll\n"
                         "[Install_Files]\n"
                         "drv.dll\n"
                         "[SourceDisksFiles]\n"
                         "drv.dll=1\n"
                         "extra.dat=1\n"
                         "[Strings]\n"
                         "Mfg=\"Maker 100%%\"\n"
                         "Ver=3.0\n";

void PutPackage(const std::string& inf = kInf, const WString& folder = u"C:\\Pkg")
{
    sim::files().Put(folder + u"\\pkg.inf", inf);
    sim::files().Put(folder + u"\\drv.dll", "driver");
    sim::files().Put(folder + u"\\extra.dat", "extra");
}

WString Field(HINF inf, const WCHAR* section, const WCHAR* key, DWORD index)
{
    INFCONTEXT context{};
    WCHAR buffer[256] = {};
    if (!SetupFindFirstLineW(inf, section, key, &context) ||
        !SetupGetStringFieldW(&context, index, buffer, 256, nullptr))
        return u"<none>";
    return buffer;
}

// Uploads pkg.inf from a folder; the store INF path, or the HRESULT as text.
WString Upload(const WString& folder = u"C:\\Pkg")
{
    WCHAR out[MAX_PATH] = {};
    ULONG size = MAX_PATH;
    HRESULT hr = UploadPrinterDriverPackageW(nullptr, (folder + u"\\pkg.inf").c_str(), nullptr,
                                             UPDP_UPLOAD_ALWAYS, nullptr, out, &size);
    if (hr != 0)
    {
        std::string text = std::to_string(static_cast<DWORD>(hr));
        return WString(text.begin(), text.end());
    }
    return out;
}

TEST(InfReaderTest, ReadsSectionsKeysAndFieldsAsSetupDoes)
{
    PutPackage();
    UINT line = 99;
    HINF inf = SetupOpenInfFileW(u"C:\\Pkg\\pkg.inf", nullptr, INF_STYLE_WIN4, &line);
    ASSERT_NE(inf, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Field(inf, u"VERSION", u"signature", 1), u"$Windows NT$");
    EXPECT_EQ(Field(inf, u"Version", u"Provider", 1), u"Maker 100%");
    EXPECT_EQ(Field(inf, u"Version", u"ClassVer", 1), u"3.0");
    EXPECT_EQ(Field(inf, u"Manufacturer", u"Maker 100%", 2), u"NTamd64.6.0");
    EXPECT_EQ(Field(inf, u"Maker.NTamd64.6.0", u"Model \"A\"", 0), u"Model \"A\"");
    EXPECT_EQ(Field(inf, u"Maker.NTamd64.6.0", u"Model \"A\"", 2), u"HW\\A");
    EXPECT_EQ(Field(inf, u"Maker.NTamd64.6.0", u"Model \"A\"", 3), u"<none>");
    EXPECT_EQ(Field(inf, u"Install_Files", nullptr, 1), u"drv.dll");

    INFCONTEXT context{};
    ASSERT_TRUE(SetupFindFirstLineW(inf, u"Install", u"DriverFile", &context));
    DWORD needed = 0;
    EXPECT_TRUE(SetupGetStringFieldW(&context, 1, nullptr, 0, &needed));
    EXPECT_EQ(needed, 8u);
    WCHAR small[7];
    EXPECT_FALSE(SetupGetStringFieldW(&context, 1, small, 7, &needed));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
    EXPECT_TRUE(SetupFindNextLine(&context, &context));
    EXPECT_FALSE(SetupFindNextLine(&context, &context));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_LINE_NOT_FOUND});
    EXPECT_FALSE(SetupFindFirstLineW(inf, u"Install", u"HelpFile", &context));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_LINE_NOT_FOUND});
    SetupCloseInfFile(inf);
}

TEST(InfReaderTest, RefusesWhatItCannotOpen)
{
    std::string utf16 = "\xFF\xFE";
    for (char c : std::string("[Version]\r\nSignature=$Chicago$\r\n"))
        utf16 += std::string{c, '\0'};
    struct Case
    {
        const char* name;
        const WCHAR* path;
        std::string text;
        DWORD error; // 0: opens
        UINT line;
    } cases[] = {
        {"missing", u"C:\\Pkg\\none.inf", "", ERROR_FILE_NOT_FOUND, 0},
        {"no signature", u"C:\\Pkg\\a.inf", "[Version]\nClass=Printer\n", ERROR_WRONG_INF_STYLE, 0},
        {"no closing bracket", u"C:\\Pkg\\a.inf", "[Version]\nSignature=$Chicago$\n[Strings\n",
         ERROR_BAD_SECTION_NAME_LINE, 3},
        {"a line before any section", u"C:\\Pkg\\a.inf", "Key=1\n[Version]\n", ERROR_EXPECTED_SECTION_NAME,
         1},
        {"UTF-16", u"C:\\Pkg\\a.inf", utf16, 0, 0},
        {"bare name in the INF folder", u"bare.inf", "", 0, 0},
    };
    sim::files().Put(u"C:\\Windows\\INF\\bare.inf", "[Version]\nSignature=\"$Windows NT$\"\n");
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        if (!c.text.empty())
            sim::files().Put(c.path, c.text);
        UINT line = 0;
        HINF inf = SetupOpenInfFileW(c.path, nullptr, INF_STYLE_WIN4, &line);
        if (c.error == 0)
        {
            ASSERT_NE(inf, INVALID_HANDLE_VALUE);
            EXPECT_NE(Field(inf, u"Version", u"Signature", 1), u"<none>");
            SetupCloseInfFile(inf);
            continue;
        }
        EXPECT_EQ(inf, INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_EQ(line, c.line);
    }
}

TEST(DriverStoreTest, PublishesPackagesAndFindsTheSameOneAgain)
{
    PutPackage();
    const WString stored = Upload();
    ASSERT_EQ(sim::spooler().Packages().size(), 1u);
    const sim::StorePackage first = sim::spooler().Packages()[0];
    EXPECT_EQ(stored, first.storeInfPath);
    EXPECT_EQ(first.publishedName, u"oem0.inf");
    EXPECT_EQ(sim::files().Bytes(u"C:\\Windows\\INF\\oem0.inf"), kInf);
    const WString folder = stored.substr(0, stored.rfind(u'\\'));
    EXPECT_EQ(folder.rfind(u"C:\\Windows\\System32\\DriverStore\\FileRepository\\pkg.inf_amd64_", 0), 0u);
    EXPECT_EQ(sim::files().Bytes(folder + u"\\extra.dat"), "extra");

    EXPECT_EQ(Upload(), stored); // the same package keeps its place and name
    PutPackage(kInf + "; changed\n", u"C:\\Other");
    const WString second = Upload(u"C:\\Other");
    EXPECT_NE(second, stored);
    ASSERT_EQ(sim::spooler().Packages().size(), 2u);

    WCHAR location[MAX_PATH];
    EXPECT_TRUE(SetupGetInfDriverStoreLocationW(u"OEM0.INF", nullptr, nullptr, location, MAX_PATH, nullptr));
    EXPECT_EQ(WString(location), stored);
    EXPECT_TRUE(SetupGetInfDriverStoreLocationW(u"C:\\Windows\\INF\\oem1.inf", nullptr, nullptr, location,
                                                MAX_PATH, nullptr));
    EXPECT_EQ(WString(location), second);
    EXPECT_FALSE(
        SetupGetInfDriverStoreLocationW(u"C:\\Pkg\\pkg.inf", nullptr, nullptr, location, MAX_PATH, nullptr));
    // A published INF, whose files are not beside it, uploads as the package it stands for.
    WCHAR out[MAX_PATH] = {};
    ULONG size = MAX_PATH;
    EXPECT_EQ(UploadPrinterDriverPackageW(nullptr, u"C:\\Windows\\INF\\OEM1.INF", nullptr, UPDP_UPLOAD_ALWAYS,
                                          nullptr, out, &size),
              S_OK);
    EXPECT_EQ(WString(out), second);

    sim::files().Put(u"C:\\Bad\\pkg.inf", kInf);       // its files are missing
    EXPECT_EQ(Upload(u"C:\\Bad"), u"2147942402");      // HRESULT of ERROR_FILE_NOT_FOUND
    sim::files().Put(u"C:\\Bad\\pkg.inf", "[Version]\nClass=Printer\n[Open\n");
    EXPECT_EQ(Upload(u"C:\\Bad"), u"2148466689"); // the setup error under its facility
    EXPECT_EQ(sim::spooler().Packages().size(), 2u);
}

TEST(DriverStoreTest, UninstallsOnlyWhatItMay)
{
    PutPackage();
    const WString stored = Upload();
    struct Case
    {
        const char* name;
        const WCHAR* inf;
        DWORD flags;
        bool admin, usedByDevices;
        DWORD error; // 0: removed
    } cases[] = {
        {"a path", u"C:\\Windows\\INF\\oem0.inf", SUOI_FORCEDELETE, true, false, ERROR_INVALID_PARAMETER},
        {"no administrator", u"oem0.inf", SUOI_FORCEDELETE, false, false, ERROR_ACCESS_DENIED},
        {"used by devices", u"oem0.inf", 0, true, true, ERROR_INF_IN_USE_BY_DEVICES},
        {"unknown", u"oem7.inf", SUOI_FORCEDELETE, true, false, ERROR_NOT_AN_INSTALLED_OEM_INF},
        {"forced", u"OEM0.inf", SUOI_FORCEDELETE, true, true, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        sim::machine().SetAdministrator(c.admin);
        sim::spooler().SetPackageUsedByDevices(u"oem0.inf", c.usedByDevices);
        EXPECT_EQ(SetupUninstallOEMInfW(c.inf, c.flags, nullptr), c.error == 0);
        if (c.error)
        {
            EXPECT_EQ(GetLastError(), c.error);
        }
        EXPECT_EQ(sim::spooler().Packages().size(), c.error ? 1u : 0u);
        EXPECT_EQ(sim::files().Exists(stored), c.error != 0);
        EXPECT_EQ(sim::files().Exists(u"C:\\Windows\\INF\\oem0.inf"), c.error != 0);
    }
}

TEST(SpoolerPackageTest, InstallsDriversFromTheStore)
{
    PutPackage();
    const WString stored = Upload();
    EXPECT_EQ(InstallPrinterDriverFromPackageW(nullptr, stored.c_str(), u"Model \"A\"", nullptr,
                                               IPDFP_COPY_ALL_FILES),
              0);
    EXPECT_EQ(static_cast<DWORD>(InstallPrinterDriverFromPackageW(nullptr, stored.c_str(), u"Model B",
                                                                  nullptr, IPDFP_COPY_ALL_FILES)),
              0x80070705u);
    EXPECT_EQ(static_cast<DWORD>(InstallPrinterDriverFromPackageW(
                  nullptr, u"C:\\Pkg\\pkg.inf", u"Model \"A\"", nullptr, IPDFP_COPY_ALL_FILES)),
              0x80070002u); // not in the store

    DWORD needed = 0, returned = 0;
    EXPECT_FALSE(EnumPrinterDriversW(nullptr, nullptr, 8, nullptr, 0, &needed, &returned));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
    std::vector<BYTE> buffer(needed);
    ASSERT_TRUE(EnumPrinterDriversW(nullptr, nullptr, 8, buffer.data(), needed, &needed, &returned));
    ASSERT_EQ(returned, 1u);
    const auto& d = *reinterpret_cast<const DRIVER_INFO_8W*>(buffer.data());
    EXPECT_EQ(d.cVersion, 3u);
    EXPECT_EQ(WString(d.pDriverPath), u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\drv.dll");
    EXPECT_EQ(WString(d.pszInfPath), stored);
    EXPECT_EQ(WString(d.pszPrintProcessor), u"OwnPrint");
    EXPECT_EQ(WString(d.pszMfgName), u"Maker 100%");
    EXPECT_EQ(d.dwlDriverVersion, 0x0001000200030004ull);
    // 2021-03-15 in 100-nanosecond steps since 1601.
    EXPECT_EQ((ULONGLONG{d.ftDriverDate.dwHighDateTime} << 32) | d.ftDriverDate.dwLowDateTime,
              132602400000000000ull);
    EXPECT_EQ(sim::files().Bytes(u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\extra.dat"), "extra");

    // A version-4 package of the same model stands beside it; installed again, it is replaced.
    std::string v4 = kInf;
    v4.replace(v4.find("Ver=3.0"), 7, "Ver=4.0");
    PutPackage(v4, u"C:\\V4");
    const WString storedV4 = Upload(u"C:\\V4");
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(InstallPrinterDriverFromPackageW(nullptr, storedV4.c_str(), u"Model \"A\"", nullptr, 0), 0);
    ASSERT_EQ(sim::spooler().Drivers().size(), 2u);
    EXPECT_EQ(sim::spooler().Drivers()[1].version, 4u);
    EXPECT_EQ(sim::spooler().Drivers()[1].driverPath,
              storedV4.substr(0, storedV4.rfind(u'\\')) + u"\\drv.dll");

    // A 32-bit machine finds no model listed for it.
    sim::machine().SetSystem64(false);
    EXPECT_EQ(static_cast<DWORD>(InstallPrinterDriverFromPackageW(nullptr, stored.c_str(), u"Model \"A\"",
                                                                  nullptr, IPDFP_COPY_ALL_FILES)),
              0x80070705u);
}

TEST(SpoolerPackageTest, AddsPrintersOnlyOfKnownParts)
{
    sim::DriverSetup driver;
    driver.name = u"Driver";
    driver.driverPath = u"C:\\drv.dll";
    sim::spooler().InstallDriver(driver);
    sim::PrinterSetup taken;
    taken.name = u"Taken";
    taken.driverName = u"Driver";
    sim::spooler().AddPrinter(taken);
    struct Case
    {
        const WCHAR *name, *port, *driver, *processor;
        DWORD error; // 0: added
    } cases[] = {
        {u"Taken", u"LPT1:", u"Driver", u"winprint", ERROR_PRINTER_ALREADY_EXISTS},
        {u"New", u"LPT1:", u"Unknown", u"winprint", ERROR_UNKNOWN_PRINTER_DRIVER},
        {u"New", u"NUL:", u"Driver", u"winprint", ERROR_UNKNOWN_PORT},
        {u"New", u"LPT1:", u"Driver", u"OwnPrint", ERROR_UNKNOWN_PRINTPROCESSOR},
        {u"New", u"file:", u"Driver", u"WinPrint", 0},
    };
    for (const Case& c : cases)
    {
        WString name = c.name, port = c.port, drv = c.driver, processor = c.processor;
        PRINTER_INFO_2W info{};
        info.pPrinterName = name.data();
        info.pPortName = port.data();
        info.pDriverName = drv.data();
        info.pPrintProcessor = processor.data();
        HANDLE h = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
        EXPECT_EQ(h != nullptr, c.error == 0) << c.error;
        if (c.error)
        {
            EXPECT_EQ(GetLastError(), c.error);
        }
        else
        {
            EXPECT_TRUE(ClosePrinter(h));
        }
    }
    auto added = sim::spooler().Printer(u"New");
    ASSERT_TRUE(added);
    EXPECT_EQ(added->driverPath, u"C:\\drv.dll");

    WString unknown = u"Nobody";
    HANDLE h = nullptr;
    EXPECT_FALSE(OpenPrinterW(unknown.data(), &h, nullptr));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PRINTER_NAME});
    // A change needs a handle that may administer the printer.
    WString name = u"New";
    ASSERT_TRUE(OpenPrinterW(name.data(), &h, nullptr));
    PRINTER_INFO_4W four{name.data(), nullptr, PRINTER_ATTRIBUTE_LOCAL | PRINTER_ATTRIBUTE_WORK_OFFLINE};
    EXPECT_FALSE(SetPrinterW(h, 4, reinterpret_cast<LPBYTE>(&four), 0));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
    ClosePrinter(h);
    PRINTER_DEFAULTSW admin{nullptr, nullptr, PRINTER_ALL_ACCESS};
    ASSERT_TRUE(OpenPrinter2W(name.c_str(), &h, &admin, nullptr));
    EXPECT_TRUE(SetPrinterW(h, 4, reinterpret_cast<LPBYTE>(&four), 0));
    EXPECT_EQ(sim::spooler().Printer(u"New")->attributes, four.Attributes);
    EXPECT_TRUE(DeletePrinter(h));
    ClosePrinter(h);
    EXPECT_FALSE(sim::spooler().Printer(u"New"));
}

TEST(SpoolerPackageTest, ListsTheLocalPorts)
{
    DWORD needed = 0, returned = 0;
    EXPECT_FALSE(EnumPortsW(nullptr, 2, nullptr, 0, &needed, &returned));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
    std::vector<BYTE> buffer(needed);
    EXPECT_FALSE(EnumPortsW(nullptr, 2, buffer.data(), needed - 1, &needed, &returned));
    ASSERT_TRUE(EnumPortsW(nullptr, 2, buffer.data(), needed, &needed, &returned));
    ASSERT_EQ(returned, 3u);
    const auto* ports = reinterpret_cast<const PORT_INFO_2W*>(buffer.data());
    const WCHAR* names[] = {u"LPT1:", u"COM1:", u"FILE:"};
    for (DWORD i = 0; i < returned; ++i)
    {
        EXPECT_EQ(WString(ports[i].pPortName), names[i]);
        EXPECT_EQ(WString(ports[i].pMonitorName), u"Local Port");
    }
}

} // namespace
