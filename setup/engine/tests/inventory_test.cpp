#include "inventory.h"
#include "machines.h"

#include <gtest/gtest.h>
#include <sim/faults.h>

namespace kgsetup
{
namespace
{
using test::kSharedModel;
using test::kV3Inf;

sim::PrinterSetup PrinterOf(const WString& name, const WString& driver, const WString& port)
{
    sim::PrinterSetup p;
    p.name = name;
    p.driverName = driver;
    p.portName = port;
    return p;
}

std::vector<WString> NamesOf(const EnumBuffer<PRINTER_INFO_2W>& printers)
{
    std::vector<WString> names;
    for (const PRINTER_INFO_2W& p : printers.records)
        names.emplace_back(p.pPrinterName ? p.pPrinterName : u"(null)");
    return names;
}

TEST(InventoryTest, TiesDriversPrintersAndJobsToTheInstalledInfs)
{
    const WString v3 = test::MachineWithV3();
    const WString v4 = test::MachineWithV4();
    ASSERT_FALSE(v3.empty() || v4.empty());
    sim::spooler().AddPrinter(PrinterOf(u"Office", kSharedModel, u"LPT1:"));
    sim::spooler().AddPrinter(PrinterOf(u"Idle", kSharedModel, u"COM1:"));
    sim::spooler().AddPrinter(PrinterOf(u"Other", u"Another Driver", u"LPT1:"));
    sim::PrinterSetup locked = PrinterOf(u"Locked", kSharedModel, u"FILE:");
    locked.grantedAccess = PRINTER_ACCESS_USE;
    sim::spooler().AddPrinter(locked);
    const DWORD job = sim::spooler().AddJob(u"Office", u"Report", 3);
    sim::spooler().AddJob(u"Locked", u"Kept");

    CDriverPackage package(kV3Inf);
    CInstalledInventory inventory(&package);
    // Both INFs offer the shared model: both list its drivers, the V3 and the V4 one.
    ASSERT_EQ(inventory.driversByInf.size(), 2u);
    for (const WString& inf : {v3, v4})
    {
        ASSERT_TRUE(inventory.driversByInf.count(inf)) << std::string(inf.begin(), inf.end());
        const auto& drivers = inventory.driversByInf.at(inf);
        ASSERT_EQ(drivers.count, 2u);
        EXPECT_EQ(WString(drivers.records[0].pName), kSharedModel);
        EXPECT_EQ(drivers.records[0].cVersion + drivers.records[1].cVersion, 7u);
    }
    ASSERT_EQ(inventory.printersByDriver.size(), 1u);
    EXPECT_EQ(NamesOf(inventory.printersByDriver.at(kSharedModel)),
              (std::vector<WString>{u"Idle", u"Locked", u"Office"}));
    // An openable printer without jobs has an empty list; one that cannot be opened has none.
    ASSERT_TRUE(inventory.jobsByPrinter.count(u"Idle"));
    EXPECT_EQ(inventory.jobsByPrinter.at(u"Idle").count, 0u);
    EXPECT_FALSE(inventory.jobsByPrinter.count(u"Locked"));
    const auto& jobs = inventory.jobsByPrinter.at(u"Office");
    ASSERT_EQ(jobs.count, 1u);
    EXPECT_EQ(jobs.records[0].JobId, job);
    EXPECT_EQ(WString(jobs.records[0].pDocument), u"Report");
    EXPECT_EQ(jobs.records[0].TotalPages, 3u);

    EXPECT_TRUE(inventory.HasDrivers(3));
    EXPECT_EQ(package.oemInfs, std::vector<WString>{v3});
    EXPECT_EQ(inventory.driverNames, (std::vector<WString>{kSharedModel, kSharedModel}));
}

TEST(InventoryTest, FindsNothingOnACleanMachine)
{
    test::PutV3Package();
    CDriverPackage package(kV3Inf);
    CInstalledInventory inventory(&package);
    EXPECT_TRUE(inventory.driversByInf.empty());
    EXPECT_FALSE(inventory.HasDrivers(4));
    EXPECT_TRUE(inventory.driverNames.empty());
}

// One open of the installed maker INF fails, when it is listed or when its models are read. A file
// that is no INF, or gone since the folder was listed, is not the maker's; any other failure leaves
// the scan not whole, with that code, instead of counting the INF as someone else's.
TEST(InventoryTest, AnInfThatCannotBeOpenedIsSkippedOnlyWhenItIsNoInf)
{
    struct Case
    {
        const char* name;
        DWORD error;
        int skip; // good opens before it: 0 the listing, 1 the reading of its models
        bool listed;
        DWORD expected;
    } cases[] = {
        {"another style", ERROR_WRONG_INF_STYLE, 0, false, 0},
        {"bad syntax", ERROR_GENERAL_SYNTAX, 0, false, 0},
        {"gone since the folder was listed", ERROR_FILE_NOT_FOUND, 0, false, 0},
        {"a read error", ERROR_GEN_FAILURE, 0, false, ERROR_GEN_FAILURE},
        {"access denied", ERROR_ACCESS_DENIED, 0, false, ERROR_ACCESS_DENIED},
        {"no memory for its models", ERROR_NOT_ENOUGH_MEMORY, 1, true, ERROR_NOT_ENOUGH_MEMORY},
        {"a read error for its models", ERROR_GEN_FAILURE, 1, true, ERROR_GEN_FAILURE},
        {"gone before its models were read", ERROR_FILE_NOT_FOUND, 1, true, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        sim::machine().Reset();
        const WString v3 = test::MachineWithV3();
        ASSERT_FALSE(v3.empty());
        CDriverPackage package{WString()};
        sim::faults().FailNext("SetupOpenInfFileW", c.error, 1, c.skip);
        CInstalledInventory inventory(&package);
        EXPECT_EQ(package.oemInfs, c.listed ? std::vector<WString>{v3} : std::vector<WString>{});
        EXPECT_EQ(package.oemInfsError, c.skip == 0 ? c.expected : 0u);
        EXPECT_EQ(inventory.error, c.expected);
        EXPECT_EQ(inventory.infError, c.expected);
        EXPECT_TRUE(sim::faults().Pending().empty());
    }

    // A text that is no INF at all beside the maker's is passed over without a failure.
    sim::machine().Reset();
    const WString v3 = test::MachineWithV3();
    sim::files().Put(u"C:\\Windows\\INF\\oem40.inf", "no sections here\n");
    sim::files().Put(u"C:\\Windows\\INF\\oem41.inf", "[Strings]\nA=B\n");
    CDriverPackage package{WString()};
    package.FindMakerOemInfs(kFilterMaker);
    EXPECT_EQ(package.oemInfs, std::vector<WString>{v3});
    EXPECT_EQ(package.oemInfsError, 0u);
}

TEST(InventoryTest, EnumeratesAgainWhenTheListGrowsBetweenTheCalls)
{
    sim::spooler().AddPrinter(PrinterOf(u"First", u"D", u"LPT1:"));
    int calls = 0;
    auto printers =
        TwoCallEnumerate<PRINTER_INFO_2W>([&](LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned) {
            if (++calls == 2)
                sim::spooler().AddPrinter(PrinterOf(u"Second", u"D", u"LPT1:"));
            return EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer, size, needed, returned);
        });
    EXPECT_EQ(calls, 4);
    EXPECT_EQ(NamesOf(printers), (std::vector<WString>{u"First", u"Second"}));

    // A list that keeps growing ends empty after three tries, not in a loop.
    calls = 0;
    auto growing =
        TwoCallEnumerate<PRINTER_INFO_2W>([&](LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned) {
            if (++calls % 2 == 0)
                sim::spooler().AddPrinter(PrinterOf(u"More" + WString(1, u'A' + calls), u"D", u"LPT1:"));
            return EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer, size, needed, returned);
        });
    EXPECT_EQ(calls, 6);
    EXPECT_EQ(growing.count, 0u);
    EXPECT_TRUE(growing.records.empty());
    EXPECT_EQ(growing.error, DWORD{ERROR_INSUFFICIENT_BUFFER});

    sim::faults().FailNext("EnumPrintersW", ERROR_ACCESS_DENIED);
    auto refused = EnumPrintersLocal();
    EXPECT_EQ(refused.count, 0u);
    EXPECT_EQ(refused.error, DWORD{ERROR_ACCESS_DENIED});
    EXPECT_EQ(EnumPrintersLocal().error, 0u);
}

TEST(InventoryTest, KeepsRecordsReadableAfterAMove)
{
    for (int i = 0; i < 5; ++i)
        sim::spooler().AddPrinter(PrinterOf(u"Printer " + WString(1, u'0' + i), u"Driver", u"LPT1:"));
    std::map<WString, EnumBuffer<PRINTER_INFO_2W>> byKey;
    {
        EnumBuffer<PRINTER_INFO_2W> printers = EnumPrintersLocal();
        EXPECT_EQ(printers.bytesNeeded > 5 * sizeof(PRINTER_INFO_2W), true);
        byKey[u"all"] = std::move(printers);
    }
    byKey[u"other"] = EnumPrintersLocal();
    byKey.erase(u"other");
    const auto& moved = byKey.at(u"all");
    ASSERT_EQ(moved.count, 5u);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(WString(moved.records[i].pPrinterName), u"Printer " + WString(1, u'0' + i));
}

TEST(InventoryTest, FiltersKeepTheSpoolersOrder)
{
    sim::spooler().AddPrinter(PrinterOf(u"Alpha", u"D1", u"LPT1:"));
    sim::spooler().AddPrinter(PrinterOf(u"Beta", u"d1", u"COM1:"));
    sim::spooler().AddPrinter(PrinterOf(u"Gamma", u"D2", u"LPT1:"));
    sim::spooler().AddPrinter(PrinterOf(u"Delta", WString(), u"lpt1:"));
    struct Case
    {
        const char* name;
        EnumBuffer<PRINTER_INFO_2W> got;
        std::vector<WString> expected;
    } cases[] = {
        {"drivers, exact", EnumPrintersByDrivers({u"D2", u"D1"}), {u"Alpha", u"Gamma"}},
        {"a missing driver as empty text", EnumPrintersByDrivers({WString()}), {u"Delta"}},
        {"port, exact", EnumPrintersOnPort(u"LPT1:"), {u"Alpha", u"Gamma"}},
        {"names, without case", EnumPrintersByName({u"GAMMA", u"beta", u"Omega"}), {u"Beta", u"Gamma"}},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(NamesOf(c.got), c.expected) << c.name;
        EXPECT_EQ(c.got.count, c.expected.size()) << c.name;
    }
}

} // namespace
} // namespace kgsetup
