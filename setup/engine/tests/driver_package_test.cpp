#include "driver_package.h"
#include "inventory.h"
#include "machines.h"

#include <gtest/gtest.h>

namespace kgsetup
{
namespace
{
using test::kSharedModel;
using test::kV3Inf;
using test::kV4Inf;

constexpr HRESULT kFileExists = static_cast<HRESULT>(0x80070050);

TEST(DriverPackageTest, StartsWithItsDefaults)
{
    test::PutV3Package();
    CDriverPackage package(kV3Inf);
    EXPECT_EQ(package.printer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(package.uploadFlags, DWORD{UPDP_UPLOAD_ALWAYS});
    EXPECT_EQ(package.oemInfFilter, 1);
    EXPECT_EQ(package.driverKind, 3u);
    EXPECT_EQ(package.isValid, 1);
    EXPECT_EQ(package.isUploaded + package.isInstalled + package.printerAdded, 0);
    EXPECT_EQ(package.lastError, 0u);

    package.Upload();
    ASSERT_EQ(package.isUploaded, 1);
    test::PutV4Package();
    package.Reload(kV4Inf);
    EXPECT_EQ(package.infPath, kV4Inf);
    EXPECT_EQ(package.driverKind, 4u);
    EXPECT_EQ(package.isUploaded, 0);
    EXPECT_TRUE(package.uploadedInfPath.empty() && package.driverStoreFolder.empty());
    EXPECT_EQ(package.models, (std::vector<WString>{kSharedModel, u"Velmo KG-300 Print to File"}));
}

TEST(DriverPackageTest, UploadsInstallsAndAddsAPrinterThatPrints)
{
    test::PutV3Package();
    CDriverPackage package(kV3Inf);
    package.Upload();
    ASSERT_EQ(package.result, 0);
    EXPECT_EQ(package.isUploaded, 1);
    ASSERT_EQ(sim::spooler().Packages().size(), 1u);
    const sim::StorePackage stored = sim::spooler().Packages()[0];
    EXPECT_EQ(package.uploadedInfPath, stored.storeInfPath);
    EXPECT_EQ(package.driverStoreFolder, stored.storeInfPath);
    EXPECT_TRUE(sim::files().Exists(u"C:\\Windows\\INF\\" + stored.publishedName));
    EXPECT_TRUE(sim::files().Exists(package.uploadedInfPath));

    package.InstallFromPackage(kSharedModel);
    ASSERT_EQ(package.result, 0);
    EXPECT_EQ(package.isInstalled, 1);
    package.AddPrinter(u"Velmo KG-100 Office", u"LPT1:", true);
    ASSERT_EQ(package.result, 0) << package.lastError;
    EXPECT_EQ(package.printerAdded, 1);
    EXPECT_EQ(package.printer, INVALID_HANDLE_VALUE);

    auto printer = sim::spooler().Printer(u"Velmo KG-100 Office");
    ASSERT_TRUE(printer);
    EXPECT_EQ(printer->driverName, kSharedModel);
    EXPECT_EQ(printer->printProcessor, u"KglPrint");
    EXPECT_EQ(printer->driverPath, u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\VELMOQ7.DLL");
    EXPECT_TRUE(printer->attributes & PRINTER_ATTRIBUTE_ENABLE_BIDI);
    EXPECT_EQ(sim::files().Bytes(printer->driverPath), test::FixtureBytes("v3/VELMOQ7.DLL"));

    // What a program prints reaches the new printer's port.
    HANDLE h = sim::spooler().OpenPrinter(u"Velmo KG-100 Office");
    ASSERT_TRUE(h);
    WString document = u"page";
    DOC_INFO_1W doc{document.data(), nullptr, nullptr};
    ASSERT_NE(StartDocPrinterW(h, 1, reinterpret_cast<LPBYTE>(&doc)), 0u);
    char bytes[] = "KGL";
    DWORD written = 0;
    ASSERT_TRUE(WritePrinter(h, bytes, 3, &written));
    EXPECT_TRUE(EndDocPrinter(h));
    sim::spooler().ClosePrinter(h);
    EXPECT_EQ(sim::spooler().Output(u"Velmo KG-100 Office"), "KGL");
}

TEST(DriverPackageTest, CountsAnAlreadyStoredPackageAsUploaded)
{
    test::PutV3Package();
    CDriverPackage first(kV3Inf);
    first.Upload();
    for (HRESULT answer : {HRESULT{80}, kFileExists})
    {
        sim::spooler().SetUploadExistingAnswer(answer);
        CDriverPackage again(kV3Inf);
        again.Upload();
        EXPECT_EQ(again.result, 0);
        EXPECT_EQ(again.isUploaded, 1);
        EXPECT_EQ(again.lastError, static_cast<DWORD>(answer));
        EXPECT_EQ(again.uploadedInfPath, first.uploadedInfPath);
    }
    EXPECT_EQ(sim::spooler().Packages().size(), 1u);
}

TEST(DriverPackageTest, ReportsEachStepThatCannotBeDone)
{
    test::PutV3Package();
    CDriverPackage package(kV3Inf);
    package.InstallFromPackage(kSharedModel); // not uploaded yet
    EXPECT_EQ(package.result, 1);
    package.AddPrinter(u"P", u"LPT1:", false); // nothing installed
    EXPECT_EQ(package.result, 1);
    package.isValid = 0;
    package.Upload();
    EXPECT_EQ(package.result, 1);
    EXPECT_TRUE(sim::spooler().Packages().empty());

    package.isValid = 1;
    package.Upload();
    package.InstallFromPackage(u"Velmo KG-999");
    EXPECT_EQ(package.result, static_cast<INT>(0x80070705)); // no such model in the package
    EXPECT_EQ(package.isInstalled, 0);

    package.InstallFromPackage(kSharedModel);
    package.AddPrinter(u"P", u"NUL:", false);
    EXPECT_EQ(package.result, 1);
    EXPECT_EQ(package.lastError, DWORD{ERROR_UNKNOWN_PORT});
    EXPECT_FALSE(sim::spooler().Printer(u"P"));

    // A file the INF lists that the package lacks: nothing is stored.
    sim::files().Put(u"C:\\Pkg\\Broken\\VelmoQ7.inf", test::FixtureBytes("v3/VelmoQ7.inf"));
    CDriverPackage broken(u"C:\\Pkg\\Broken\\VelmoQ7.inf");
    broken.Upload();
    EXPECT_EQ(broken.result, static_cast<INT>(0x80070002));
    EXPECT_EQ(broken.isUploaded, 0);
    EXPECT_EQ(sim::spooler().Packages().size(), 1u);
}

TEST(DriverPackageTest, RefusesADriverNameInstalledTwice)
{
    // A version-3 and a version-4 driver of one name stand side by side.
    ASSERT_FALSE(test::MachineWithV3().empty());
    test::PutV4Package();
    CDriverPackage package(kV4Inf);
    package.Upload();
    package.InstallFromPackage(kSharedModel);
    ASSERT_EQ(package.isInstalled, 1);
    package.AddPrinter(u"P", u"LPT1:", false);
    EXPECT_EQ(package.result, 1);
    EXPECT_EQ(package.lastError, 1u);
    EXPECT_FALSE(sim::spooler().Printer(u"P"));
}

TEST(DriverPackageTest, SetsAndClearsTheBidiBit)
{
    test::PutV3Package();
    CDriverPackage package(kV3Inf);
    package.Upload();
    package.InstallFromPackage(kSharedModel);
    package.AddPrinter(u"Off", u"LPT1:", false);
    ASSERT_EQ(package.result, 0);
    EXPECT_FALSE(sim::spooler().Printer(u"Off")->attributes & PRINTER_ATTRIBUTE_ENABLE_BIDI);

    PRINTER_DEFAULTSW all{nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE h = nullptr;
    ASSERT_TRUE(OpenPrinter2W(u"Off", &h, &all, nullptr));
    EXPECT_EQ(SetPrinterAttributeBit(h, PRINTER_ATTRIBUTE_ENABLE_BIDI, true), TRUE);
    EXPECT_TRUE(sim::spooler().Printer(u"Off")->attributes & PRINTER_ATTRIBUTE_ENABLE_BIDI);
    EXPECT_EQ(SetPrinterAttributeBit(h, PRINTER_ATTRIBUTE_ENABLE_BIDI, true), 1); // nothing to change
    EXPECT_EQ(SetPrinterAttributeBit(h, PRINTER_ATTRIBUTE_ENABLE_BIDI, false), TRUE);
    EXPECT_FALSE(sim::spooler().Printer(u"Off")->attributes & PRINTER_ATTRIBUTE_ENABLE_BIDI);
    ClosePrinter(h);

    // A handle to use the printer cannot change it.
    PRINTER_DEFAULTSW use{nullptr, nullptr, PRINTER_ACCESS_USE};
    ASSERT_TRUE(OpenPrinter2W(u"Off", &h, &use, nullptr));
    EXPECT_EQ(SetPrinterAttributeBit(h, PRINTER_ATTRIBUTE_ENABLE_BIDI, true), FALSE);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
    ClosePrinter(h);
    EXPECT_EQ(SetPrinterAttributeBit(h, PRINTER_ATTRIBUTE_ENABLE_BIDI, true), 0); // closed: cannot be read
}

TEST(DriverPackageTest, FindsOnlyStoredMakerInfsOfTheAskedKind)
{
    const WString v3 = test::MachineWithV3();
    const WString v4 = test::MachineWithV4();
    ASSERT_FALSE(v3.empty());
    ASSERT_FALSE(v4.empty());
    // A maker INF copied into the INF folder by hand is not in the store.
    sim::files().Put(u"C:\\Windows\\INF\\oem40.inf", test::FixtureBytes("v3/VelmoQ7.inf"));
    sim::files().Put(u"C:\\Windows\\INF\\oem41.inf",
                     "[Version]\nSignature=\"$Windows NT$\"\nClass=Printer\n");
    CDriverPackage package(kV3Inf);
    struct Case
    {
        DWORD filter;
        std::vector<WString> expected;
    } cases[] = {{kFilterMaker, {v3, v4}}, {kFilterMakerV3, {v3}}, {kFilterMakerV4, {v4}}};
    for (const Case& c : cases)
    {
        package.FindMakerOemInfs(c.filter);
        EXPECT_EQ(package.oemInfs, c.expected) << c.filter;
    }
}

TEST(DriverPackageTest, ReadsFilingModelsBesideTheInfOrFromTheStore)
{
    test::PutV3Package();
    CDriverPackage package(kV3Inf);
    package.LoadFilingModels();
    EXPECT_EQ(package.filingModels, std::vector<WString>{u"Velmo KG-200"});

    const WString published = test::InstallThroughSpooler(kV3Inf, kSharedModel);
    ASSERT_FALSE(published.empty());
    // The published copy has no settings file beside it; the store's copy has.
    CDriverPackage installed(u"C:\\Windows\\INF\\" + published);
    installed.LoadFilingModels();
    EXPECT_EQ(installed.filingModels, std::vector<WString>{u"Velmo KG-200"});
    CDriverPackage upper(u"C:\\WINDOWS\\INF\\" + WString(published.begin(), published.end() - 4) + u".INF");
    upper.LoadFilingModels();
    EXPECT_EQ(upper.filingModels, std::vector<WString>{u"Velmo KG-200"});

    CDriverPackage nowhere(u"C:\\Pkg\\none.inf");
    nowhere.LoadFilingModels();
    EXPECT_TRUE(nowhere.filingModels.empty());
}

TEST(DriverPackageTest, UninstallsAStoredPackage)
{
    const WString published = test::MachineWithV3();
    ASSERT_FALSE(published.empty());
    const WString storeInf = sim::spooler().Packages()[0].storeInfPath;
    CDriverPackage package(kV3Inf);
    sim::spooler().SetPackageUsedByDevices(published, true); // forced, so devices do not keep it
    package.UninstallOemInf(published);
    EXPECT_EQ(package.result, 0);
    EXPECT_TRUE(sim::spooler().Packages().empty());
    EXPECT_FALSE(sim::files().Exists(u"C:\\Windows\\INF\\" + published));
    EXPECT_FALSE(sim::files().Exists(storeInf));

    package.UninstallOemInf(published);
    EXPECT_EQ(package.result, 1);
    EXPECT_EQ(package.lastError, DWORD{ERROR_NOT_AN_INSTALLED_OEM_INF});
}

} // namespace
} // namespace kgsetup
