#include "driver_package.h"
#include "inf_file.h"
#include "machines.h"

#include <gtest/gtest.h>

namespace kgsetup
{
namespace
{
using test::kV3Inf;
using test::kV4Inf;

struct InfCase
{
    const char* name;
    std::string text;
    bool maker, makerV4, makerV3;
    std::vector<WString> models;
    const WCHAR* modelsSection;
};

const std::string kHead = "[Version]\nSignature=\"$Windows NT$\"\nClass=Printer\nDriverVer=01/02/2020,1.0\n";

std::vector<InfCase> Cases()
{
    return {
        {"V3 package",
         test::FixtureBytes("v3/VelmoQ7.inf"),
         true,
         false,
         true,
         {u"Velmo KG-100", u"Velmo KG-200"},
         u"Velmo.NTamd64"},
        {"V4 package",
         test::FixtureBytes("v4/VeKglV4.inf"),
         true,
         true,
         false,
         {u"Velmo KG-100", u"Velmo KG-300 Print to File"},
         u"Velmo.NTamd64"},
        {"another provider",
         kHead +
             "Provider=Other Maker\nCatalogFile=VeOther.cat\n[Manufacturer]\n%M%=Other\n[Other]\n\"X 1\"=X1\n"
             "[Strings]\nM=\"Other Maker\"\n",
         false,
         false,
         false,
         {u"X 1"},
         u"Other"},
        {"lower-case catalog, unquoted key, one-letter key",
         kHead + "Provider=%Mfg%\nCatalogFile=veX.cat\n[Manufacturer]\n%Mfg%=Velmo,NTamd64\n[Velmo.NTamd64]\n"
                 "KG-500=KG500\nQ=Q1\n\"\"=Nothing\n[Strings]\nMfg=\"Velmo Ranth\"\n",
         true,
         false,
         true,
         {u"KG-500", u"Q"},
         u"Velmo.NTamd64"},
        {"catalog of another maker",
         kHead + "Provider=%Mfg%\nCatalogFile=Other.cat\nClassVer=4.0\n[Strings]\nMfg=\"Velmo Ranth\"\n",
         false,
         false,
         false,
         {},
         u"__NO_DATA__"},
        {"no manufacturer string",
         kHead + "Provider=Velmo Ranth\nCatalogFile=Ve.cat\n[Manufacturer]\nVelmo=Velmo\n",
         true,
         false,
         true,
         {},
         u"__NO_DATA__"},
    };
}

TEST(InfFileTest, ClassifiesReadsModelsAndFindsTheModelsSection)
{
    for (const InfCase& c : Cases())
    {
        SCOPED_TRACE(c.name);
        sim::files().Put(u"C:\\Pkg\\case.inf", c.text);
        const WString path = u"C:\\Pkg\\case.inf";
        EXPECT_EQ(CDriverPackage::ClassifyInf(path, kFilterMaker), c.maker);
        EXPECT_EQ(CDriverPackage::ClassifyInf(path, kFilterMakerV4), c.makerV4);
        EXPECT_EQ(CDriverPackage::ClassifyInf(path, kFilterMakerV3), c.makerV3);
        CDriverPackage package(path);
        EXPECT_EQ(package.models, c.models);
        EXPECT_EQ(package.result, c.models.empty() ? ERROR_INVALID_DATA : 0);
        EXPECT_EQ(package.driverKind, c.makerV3 ? 3u : 4u);
        CInfFile inf(path);
        EXPECT_EQ(inf.GetModelsSection(), c.modelsSection);
    }
}

TEST(InfFileTest, ReadsFieldsWithStringsSubstitutedAndLinesOfASection)
{
    test::PutV3Package();
    CInfFile inf(kV3Inf);
    ASSERT_TRUE(inf.IsOpen());
    EXPECT_EQ(inf.GetField(u"version", u"PROVIDER", 1), u"Velmo Ranth");
    EXPECT_EQ(inf.GetField(u"KG100", u"LanguageMonitor", 1), u"KORIGRAPH Q7 Language Monitor");
    EXPECT_EQ(inf.GetField(u"KG100", u"LanguageMonitor", 2), u"VelmoLM.dll");
    EXPECT_EQ(inf.GetField(u"Velmo.NTamd64", u"Velmo KG-200", 2), u"USBPRINT\\VelmoKG-200ABCD");
    EXPECT_EQ(inf.GetField(u"Version", u"DriverVer", 3), u"__NO_DATA__");
    EXPECT_EQ(inf.GetField(u"Nowhere", u"Class", 1), u"__NO_DATA__");
    EXPECT_EQ(inf.GetManufacturer(), u"Velmo Ranth");
    EXPECT_TRUE(inf.FieldBeginsWith(u"Version", u"CatalogFile", u"velmo"));
    EXPECT_FALSE(inf.FieldBeginsWith(u"Version", u"CatalogFile", u"VelmoQ7.cat and more"));
    EXPECT_EQ(inf.GetLines(u"KG100_Files", WString()),
              (std::vector<WString>{u"VELMOQ7.DLL", u"VelmQ7UI.DLL", u"VelmoQ7.spd", u"KglPrint.dll"}));
    EXPECT_EQ(inf.GetLines(u"KG100", u"DataFile"),
              (std::vector<WString>{u"VelmoQ7.spd", u"KglPrint", u"KORIGRAPH Q7 Language Monitor"}));

    CInfFile missing(u"C:\\Pkg\\none.inf");
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_EQ(missing.GetField(u"Version", u"Class", 1), u"__NO_DATA__");
    EXPECT_EQ(missing.GetManufacturer(), u"__NO_DATA__");
    EXPECT_TRUE(missing.GetLines(u"Version", WString()).empty());
}

TEST(InfFileTest, TellsWhichModelsCarryAFile)
{
    test::PutV4Package();
    CDriverPackage package(kV4Inf);
    EXPECT_TRUE(package.ModelHasFile(u"Velmo KG-300 Print to File", u"VeKglV4-PrintToFile.gpd"));
    EXPECT_TRUE(package.ModelHasFile(u"Velmo KG-300 Print to File", u"vekglv4-printtofile.GPD"));
    EXPECT_FALSE(package.ModelHasFile(u"Velmo KG-100", u"VeKglV4-PrintToFile.gpd"));
    EXPECT_FALSE(package.ModelHasFile(u"Velmo KG-999", u"VeKglV4.gpd"));
    // Without a models section nothing can be ruled out.
    sim::files().Put(u"C:\\Pkg\\bare.inf", kHead);
    CDriverPackage bare(u"C:\\Pkg\\bare.inf");
    EXPECT_TRUE(bare.ModelHasFile(u"Velmo KG-100", u"VeKglV4.gpd"));
}

// INF text is outside bytes: each of these reads as missing data or no models, never more.
TEST(InfFileTest, DamagedTextGivesNoDataOrNoModels)
{
    const std::string models = "[Manufacturer]\n%Mfg%=Velmo\n[Strings]\nMfg=\"Velmo Ranth\"\n[Velmo]\n";
    std::string utf16 = "\xFF\xFE";
    for (char c : kHead + "Provider=Velmo Ranth\n")
        utf16 += std::string{c, '\0'};
    std::string manyKeys = kHead + models;
    for (int i = 0; i < 20000; ++i)
        manyKeys += "\"M" + std::to_string(i) + "\"=I\n";
    struct Damaged
    {
        const char* name;
        std::string text;
        size_t models;
        const WCHAR* provider;
    } cases[] = {
        {"no closing bracket", kHead + "[Manufacturer\n%Mfg%=Velmo\n", 0, u"__NO_DATA__"},
        {"unbalanced quotes", kHead + "Provider=\"Velmo Ranth\n" + models + "\"Open=1\n", 1, u"Velmo Ranth"},
        {"5,000-character field", kHead + "Provider=" + std::string(5000, 'x') + "\n", 0, u"__NO_DATA__"},
        {"NUL bytes", kHead + std::string("Provider=Velmo\0Ranth\n", 21) + models + "\"A\"=1\n", 1, u"Velmo"},
        {"odd-length UTF-16", utf16 + "P", 0, u"Velmo Ranth"},
        {"self-naming string", kHead + "Provider=%Mfg%\n[Strings]\nMfg=%Mfg%\n", 0, u"%Mfg%"},
        {"20,000 keys", manyKeys, kMaxModels, u"__NO_DATA__"},
        {"empty file", "", 0, u"__NO_DATA__"},
    };
    for (const Damaged& c : cases)
    {
        SCOPED_TRACE(c.name);
        sim::files().Put(u"C:\\Pkg\\bad.inf", c.text);
        CInfFile inf(u"C:\\Pkg\\bad.inf");
        EXPECT_EQ(inf.GetField(u"Version", u"Provider", 1), c.provider);
        CDriverPackage package(u"C:\\Pkg\\bad.inf");
        EXPECT_EQ(package.models.size(), c.models);
        for (const WString& m : package.models)
            EXPECT_FALSE(m.empty());
        EXPECT_EQ(package.lastError, c.models ? 0u : DWORD{ERROR_INVALID_DATA});
    }
}

} // namespace
} // namespace kgsetup
