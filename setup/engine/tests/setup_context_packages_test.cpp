// The context's view of the packages beside the program and the drivers already installed, the
// models it offers and the ports it lists.
#include "machines.h"
#include "setup_context.h"

#include <gtest/gtest.h>
#include <sim/machine.h>
#include <sim/spooler.h>

#include <cstring>
#include <functional>

namespace kgsetup
{
namespace
{
const WString kProgram = u"C:\\Pkg\\KGSetup64.exe";

std::string Narrow(const WString& s)
{
    return std::string(s.begin(), s.end());
}

// A test package's INF with its own DriverVer and [Strings] "Destination" (none when empty).
std::string InfText(const char* fixture, const std::string& driverVer, const std::string& destination)
{
    std::string text = test::FixtureBytes(fixture);
    const size_t at = text.find("DriverVer=");
    text.replace(at, text.find('\n', at) - at, "DriverVer=" + driverVer);
    const std::string fixtureLanguage = "Destination=\"Velmo ENGLISH\"\n";
    text.replace(text.find(fixtureLanguage), fixtureLanguage.size(),
                 destination.empty() ? "" : "Destination=\"" + destination + "\"\n");
    return text;
}

void PutV4(const WString& folder, const std::string& destination,
           const std::string& driverVer = "06/01/2023,4.1.0.0")
{
    test::PutFixtures("v4", folder, {"VeKglV4.gpd", "VeKglV4-PrintToFile.gpd", "VeKglV4-manifest.ini"});
    sim::files().Put(folder + u"\\VeKglV4.inf", InfText("v4/VeKglV4.inf", driverVer, destination));
}

void PutV3(const WString& folder, const std::string& destination,
           const std::string& driverVer = "03/15/2021,1.2.0.0")
{
    test::PutFixtures("v3", folder, {"VelmoQ7.spd", "VELMOQ7.DLL", "VelmQ7UI.DLL", "KglPrint.dll"});
    sim::files().Put(folder + u"\\VelmoQ7.inf", InfText("v3/VelmoQ7.inf", driverVer, destination));
}

void FreshMachine()
{
    sim::machine().Reset();
    sim::processes().SetCallingProgram(kProgram, u"KGSetup64.exe");
}

void SetOs(DWORD major, DWORD minor, WORD architecture)
{
    sim::OsIdentity os;
    os.major = major;
    os.minor = minor;
    sim::machine().SetOs(os);
    sim::machine().SetNativeArchitecture(architecture);
}

TEST(SetupContextPackages, FindsThePackagesBesideTheProgram)
{
    struct Case
    {
        const char* name;
        std::function<void()> setup;
        UINT mask;
        int kind;
        SHORT layout;
        UINT installLcid;
    } cases[] = {
        {"one V4 folder", [] { PutV4(u"C:\\Pkg\\Driver", "Velmo German"); }, 16, 4, 1, 1033},
        {"V4 of an unknown language", [] { PutV4(u"C:\\Pkg\\Driver", "Velmo Klingon"); }, 0, 0, 0, 1033},
        {"German only, French system",
         [] {
             sim::machine().SetSystemLanguage(0x040C);
             PutV4(u"C:\\Pkg\\German\\Driver", "Velmo German");
         },
         16, 4, 2, 1031},
        {"Japanese and English (US), French system: Japanese comes first",
         [] {
             sim::machine().SetSystemLanguage(0x040C);
             PutV4(u"C:\\Pkg\\Japanese\\Driver", "Velmo JAPAN");
             PutV4(u"C:\\Pkg\\EnglishUS\\Driver", "Velmo USA");
         },
         64 | 4, 4, 2, 1041},
        {"the system's language packaged",
         [] {
             sim::machine().SetSystemLanguage(0x0407);
             PutV4(u"C:\\Pkg\\Japanese\\Driver", "Velmo JAPAN");
             PutV4(u"C:\\Pkg\\German\\Driver", "Velmo German");
         },
         64 | 16, 4, 2, 1031},
        {"V3 for 64-bit", [] { PutV3(u"C:\\Pkg\\Win64", "Velmo ENGLISH"); }, 2, 3, 1, 1033},
        {"V3 for 32-bit",
         [] {
             SetOs(6, 1, PROCESSOR_ARCHITECTURE_INTEL);
             PutV3(u"C:\\Pkg\\Win2k", "0x0411");
         },
         64, 3, 1, 1033},
        {"a 32-bit V3 package on a 64-bit system", [] { PutV3(u"C:\\Pkg\\Win2k", "Velmo ENGLISH"); }, 0, 0, 0,
         1033},
        {"a V3 package per language", [] { PutV3(u"C:\\Pkg\\Korean\\Win64", "Velmo KOREA"); }, 128, 3, 2,
         1042},
        {"nothing", [] {}, 0, 0, 0, 1033},
    };
    for (const Case& c : cases)
    {
        FreshMachine();
        c.setup();
        CSetupContext context;
        EXPECT_EQ(context.packageMask, c.mask) << c.name;
        EXPECT_EQ(context.driverKind, c.kind) << c.name;
        EXPECT_EQ(context.folderLayout, c.layout) << c.name;
        EXPECT_EQ(context.installLcid, c.installLcid) << c.name;
        if (!c.mask)
        {
            EXPECT_EQ(context.versionCompare, 6) << c.name << ": nothing beside and nothing installed";
        }
    }
}

sim::PrinterSetup PrinterOn(const WString& name, const WString& driver)
{
    sim::PrinterSetup p;
    p.name = name;
    p.driverName = driver;
    return p;
}

TEST(SetupContextPackages, JudgesTheInstalledDriverAgainstThePackage)
{
    const WString v4Beside = u"C:\\Pkg\\Driver";
    const WString v3Beside = u"C:\\Pkg\\Win64";
    auto installV4 = [](const std::string& destination, const std::string& version, bool withDriver = true) {
        PutV4(u"C:\\Old\\Driver", destination, version);
        if (withDriver)
            return !test::InstallThroughSpooler(u"C:\\Old\\Driver\\VeKglV4.inf", u"Velmo KG-100").empty();
        WCHAR out[MAX_PATH] = {};
        ULONG size = MAX_PATH;
        return UploadPrinterDriverPackageW(nullptr, u"C:\\Old\\Driver\\VeKglV4.inf", nullptr,
                                           UPDP_UPLOAD_ALWAYS, nullptr, out, &size) == S_OK;
    };
    auto installV3 = [](const std::string& version) {
        PutV3(u"C:\\Old\\Win64", "Velmo ENGLISH", version);
        return !test::InstallThroughSpooler(u"C:\\Old\\Win64\\VelmoQ7.inf", u"Velmo KG-200").empty();
    };
    struct Case
    {
        const char* name;
        std::function<bool()> setup;
        int versionCompare;
        int driverInstalled;
        int driverKind;
        int updateAvailable;
        std::vector<WString> printersToUpdate;
        UINT installLcid = 1033;
    } cases[] = {
        {"older V4, same date",
         [&] {
             PutV4(v4Beside, "Velmo ENGLISH");
             return installV4("Velmo ENGLISH", "06/01/2023,4.0.9.0");
         },
         3,
         1,
         4,
         1,
         {},
         2057},
        {"equal V4",
         [&] {
             PutV4(v4Beside, "Velmo ENGLISH");
             return installV4("Velmo ENGLISH", "06/01/2023,4.1.0.0");
         },
         4,
         1,
         4,
         1,
         {},
         2057},
        {"newer V4",
         [&] {
             PutV4(v4Beside, "Velmo ENGLISH");
             return installV4("Velmo ENGLISH", "07/01/2023,4.0.0.0");
         },
         4,
         1,
         4,
         1,
         {},
         2057},
        {"V4 package only in the store",
         [&] {
             PutV4(v4Beside, "Velmo ENGLISH");
             return installV4("Velmo ENGLISH", "06/01/2023,4.1.0.0", false);
         },
         4,
         1,
         4,
         1,
         {},
         2057},
        {"V4 of a language not packaged",
         [&] {
             PutV4(v4Beside, "Velmo ENGLISH");
             return installV4("Velmo German", "06/01/2023,4.1.0.0");
         },
         6,
         1,
         4,
         1,
         {}},
        {"V3 in use beside a V4 package",
         [&] {
             PutV4(v4Beside, "Velmo ENGLISH");
             bool ok = installV3("03/15/2021,1.2.0.0");
             sim::spooler().AddPrinter(PrinterOn(u"Office", u"Velmo KG-200"));
             sim::spooler().AddPrinter(PrinterOn(u"Other", u"Another Driver"));
             return ok;
         },
         0,
         0,
         4,
         1,
         {u"Office"}},
        {"V3 unused beside a V4 package",
         [&] {
             PutV4(v4Beside, "Velmo ENGLISH");
             return installV3("03/15/2021,1.2.0.0");
         },
         2,
         0,
         4,
         0,
         {}},
        {"V4 package, nothing installed",
         [&] {
             PutV4(v4Beside, "Velmo ENGLISH");
             return true;
         },
         0,
         0,
         4,
         0,
         {}},
        {"older V3 beside a V3 package",
         [&] {
             PutV3(v3Beside, "Velmo ENGLISH");
             return installV3("03/15/2021,1.1.0.0");
         },
         3,
         1,
         3,
         1,
         {},
         2057},
        {"V3 package, nothing installed",
         [&] {
             PutV3(v3Beside, "Velmo ENGLISH");
             return true;
         },
         0,
         0,
         3,
         0,
         {}},
        {"no package, V4 installed",
         [&] { return installV4("Velmo ENGLISH", "06/01/2023,4.1.0.0"); },
         4,
         1,
         4,
         1,
         {}},
        {"no package, V3 installed", [&] { return installV3("03/15/2021,1.2.0.0"); }, 4, 1, 3, 1, {}},
        {"no package, both installed",
         [&] { return installV3("03/15/2021,1.2.0.0") && installV4("Velmo ENGLISH", "06/01/2023,4.1.0.0"); },
         5,
         1,
         0,
         1,
         {}},
        {"no package, nothing installed", [] { return true; }, 6, 0, 0, 1, {}},
    };
    for (const Case& c : cases)
    {
        FreshMachine();
        ASSERT_TRUE(c.setup()) << c.name;
        CSetupContext context;
        EXPECT_EQ(context.versionCompare, c.versionCompare) << c.name;
        EXPECT_EQ(context.driverInstalled, c.driverInstalled) << c.name;
        EXPECT_EQ(context.driverKind, c.driverKind) << c.name;
        EXPECT_EQ(context.updateAvailable, c.updateAvailable) << c.name;
        EXPECT_EQ(context.printersToUpdate, c.printersToUpdate) << c.name;
        EXPECT_EQ(context.installLcid, c.installLcid) << c.name;
        if (context.driverInstalled && context.driverKind != 0)
        {
            ASSERT_FALSE(context.installedInfs.empty()) << c.name;
            EXPECT_EQ(context.installedInfPath, context.installedInfs.rbegin()->second) << c.name;
            EXPECT_EQ(context.installedInfPath.rfind(u"C:\\Windows\\INF\\oem", 0), 0u)
                << c.name << ": " << Narrow(context.installedInfPath);
        }
    }
}

TEST(SetupContextPackages, ComparisonSlotsFollowThePackageKind)
{
    FreshMachine();
    PutV4(u"C:\\Pkg\\Driver", "Velmo ENGLISH");
    PutV4(u"C:\\Old\\Driver", "Velmo ENGLISH", "06/01/2023,4.0.9.0");
    ASSERT_FALSE(test::InstallThroughSpooler(u"C:\\Old\\Driver\\VeKglV4.inf", u"Velmo KG-100").empty());
    CSetupContext context;
    EXPECT_EQ(context.v4CompareResult, 2);
    EXPECT_EQ(context.v3CompareResult, 0);
    ASSERT_EQ(context.installedInfs.size(), 1u);
    EXPECT_EQ(context.GetDriverInfPath(), context.installedInfPath);
}

TEST(SetupContextPackages, ModelListFromThePackageOrTheInstalledInfs)
{
    FreshMachine();
    PutV4(u"C:\\Pkg\\Driver", "Velmo ENGLISH");
    CSetupContext fromPackage;
    ASSERT_EQ(fromPackage.driverInstalled, 0);
    EXPECT_EQ(fromPackage.LoadModelList(), 1);
    EXPECT_EQ(fromPackage.models, (std::vector<WString>{u"Velmo KG-100", u"Velmo KG-300 Print to File"}));
    EXPECT_EQ(fromPackage.modelMap.at(u"Velmo KG-100"), 4);
    EXPECT_EQ(fromPackage.LoadModelList(), 0) << "same language and connection kind";
    fromPackage.connectionKind = 2;
    EXPECT_EQ(fromPackage.LoadModelList(), 1);
    EXPECT_EQ(fromPackage.models, std::vector<WString>{u"Velmo KG-300 Print to File"});
    EXPECT_EQ(fromPackage.modelMap.size(), 1u);

    // Both kinds installed, no package: every installed INF in name order, the last one's kind wins
    // for a model both offer, each model once.
    FreshMachine();
    PutV3(u"C:\\Old\\Win64", "Velmo ENGLISH");
    ASSERT_FALSE(test::InstallThroughSpooler(u"C:\\Old\\Win64\\VelmoQ7.inf", u"Velmo KG-100").empty());
    PutV4(u"C:\\Old\\Driver", "Velmo ENGLISH");
    ASSERT_FALSE(test::InstallThroughSpooler(u"C:\\Old\\Driver\\VeKglV4.inf", u"Velmo KG-100").empty());
    CSetupContext installed;
    ASSERT_EQ(installed.driverKind, 0);
    ASSERT_EQ(installed.installedInfs.size(), 2u);
    EXPECT_EQ(installed.LoadModelList(), 1);
    EXPECT_EQ(installed.models,
              (std::vector<WString>{u"Velmo KG-100", u"Velmo KG-200", u"Velmo KG-300 Print to File"}));
    EXPECT_EQ(installed.modelMap.at(u"Velmo KG-100"), 4);
    EXPECT_EQ(installed.modelMap.at(u"Velmo KG-200"), 3);
    // Print to File: the V3 models of [Filing] in the settings file (read from the driver store, as
    // the system INF folder has none), the V4 models that install the print-to-file GPD.
    installed.connectionKind = 2;
    EXPECT_EQ(installed.LoadModelList(), 1);
    EXPECT_EQ(installed.models, (std::vector<WString>{u"Velmo KG-200", u"Velmo KG-300 Print to File"}));
    installed.installLcid = 1041;
    EXPECT_EQ(installed.LoadModelList(), 1) << "another language loads again";
}

// An INF whose models cannot be read leaves the list not whole: the failure says so, with its code,
// and the next call reads the list again.
TEST(SetupContextPackages, AModelListMissingAnUnreadableInfIsAFailure)
{
    FreshMachine();
    PutV4(u"C:\\Pkg\\Driver", "Velmo ENGLISH");
    CSetupContext context;
    ASSERT_EQ(context.driverInstalled, 0);
    sim::faults().FailNext("SetupOpenInfFileW", ERROR_GEN_FAILURE);
    EXPECT_EQ(context.LoadModelList(), 1);
    EXPECT_EQ(context.modelsError, DWORD{ERROR_GEN_FAILURE});
    EXPECT_TRUE(context.models.empty());
    EXPECT_EQ(context.LoadModelList(), 1);
    EXPECT_EQ(context.modelsError, 0u);
    EXPECT_EQ(context.models, (std::vector<WString>{u"Velmo KG-100", u"Velmo KG-300 Print to File"}));
}

TEST(SetupContextPackages, PortsListedOnceAndFoundWithoutCase)
{
    FreshMachine();
    sim::spooler().AddPort({u"USB001", u"Dynamic Print Monitor", u""});
    CSetupContext context;
    EXPECT_EQ(context.EnumPorts(), 1);
    EXPECT_EQ(context.portNames, (std::vector<WString>{u"LPT1:", u"COM1:", u"FILE:", u"USB001"}));
    ASSERT_EQ(context.portDescriptions.size(), 4u);
    EXPECT_EQ(context.portDescriptions[0], u"Local Port");
    EXPECT_EQ(context.portDescriptions[3], u"   ") << "a port without a description";
    EXPECT_EQ(context.EnumPorts(), 0) << "the list is current";

    WString name = u"usb001";
    EXPECT_EQ(context.FindPort(name), 1);
    EXPECT_EQ(name, u"USB001") << "the listed spelling";
    sim::spooler().AddPort({u"NUL:"});
    name = u"NUL:";
    EXPECT_EQ(context.FindPort(name), 0) << "the cached list does not hold it yet";
    context.portsListed = 0;
    EXPECT_EQ(context.FindPort(name), 1);
    EXPECT_EQ(context.portNames.size(), 5u);

    context.portsListed = 0;
    sim::faults().FailNext("EnumPortsW", RPC_S_SERVER_UNAVAILABLE);
    EXPECT_EQ(context.EnumPorts(), 0);
    EXPECT_TRUE(context.portNames.empty());
    EXPECT_EQ(context.portsListed, 0);
}

TEST(SetupContextPackages, SelfRemovalOnlyWhenNoMakerInfIsLeft)
{
    const WString key = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KORIGRAPH Printer Driver";
    const WString icon = u"C:\\P\\Velmo\\KORIGRAPH\\uninst.exe";
    for (bool infLeft : {true, false})
    {
        FreshMachine();
        sim::processes().InstallCommandInterpreter(false);
        std::vector<BYTE> bytes((icon.size() + 1) * 2, 0);
        std::memcpy(bytes.data(), icon.data(), icon.size() * 2);
        sim::registry().SetValue(HKEY_LOCAL_MACHINE, key, u"DisplayIcon", REG_SZ, bytes);
        if (infLeft)
        {
            // An uploaded package without a driver still counts.
            PutV4(u"C:\\Old\\Driver", "Velmo ENGLISH");
            WCHAR out[MAX_PATH] = {};
            ULONG size = MAX_PATH;
            ASSERT_EQ(UploadPrinterDriverPackageW(nullptr, u"C:\\Old\\Driver\\VeKglV4.inf", nullptr,
                                                  UPDP_UPLOAD_ALWAYS, nullptr, out, &size),
                      S_OK);
        }
        {
            CSetupContext context;
            context.selfDeleteAtExit = 1;
        }
        // Only the interpreter's command counts: the interpreter may already have started the wait.
        size_t commands = 0;
        for (const sim::StartedProcess& p : sim::processes().Started())
            commands += p.commandLine.find(u" /c ") != WString::npos &&
                        p.commandLine.find(u"timeout.exe\" /NOBREAK") != WString::npos;
        EXPECT_EQ(commands, infLeft ? 0u : 1u) << infLeft;
        EXPECT_EQ(sim::registry().KeyExists(HKEY_LOCAL_MACHINE, key), infLeft) << infLeft;
    }
}

} // namespace
} // namespace kgsetup
