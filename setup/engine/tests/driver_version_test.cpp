#include "driver_package.h"

#include <gtest/gtest.h>
#include <sim/machine.h>

namespace kgsetup
{
namespace
{
TEST(DriverVersionTest, ParsesDatesAndVersions)
{
    struct Case
    {
        const WCHAR* text;
        char kind;
        ULONGLONG expected;
    } cases[] = {
        {u"03/15/2021", 'd', 0x07E5030F},
        {u"12/31/1999", 'd', (1999ull << 16) | (12 << 8) | 31},
        {u"1.2", 'v', (1ull << 48) | (2ull << 32)},
        {u"1.2.3.4", 'v', (1ull << 48) | (2ull << 32) | (3ull << 16) | 4},
        {u"7", 'v', 7ull << 48},
        {u"03/15", 'd', 0},        // two numbers are no date
        {u"03/15/2021/1", 'd', 0}, // nor four
        {u"1.2.3.4.5", 'v', 0},    // five numbers are no version
        {u"ab/1/1", 'd', 0},       // letters are not counted, two numbers remain
        {u"1.70000", 'v', 0},      // no 16-bit number
        {u"99999999999999999999", 'v', 0},
        {u"", 'v', 0},
        {u"__NO_DATA__", 'd', 0},
        {u"03/15/2021", 'x', 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CDriverPackage::ParseDriverVer(c.text, c.kind), c.expected);
}

std::string InfWith(const std::string& driverVer)
{
    return "[Version]\nSignature=\"$Windows NT$\"\nClass=Printer\nDriverVer=" + driverVer + "\n";
}

TEST(DriverVersionTest, ComparesDateFirstThenVersion)
{
    struct Case
    {
        const char* installed;
        const char* package;
        int expected;
    } cases[] = {
        {"03/15/2021,1.2", "03/15/2021,1.2", 1},
        {"03/15/2021,1.2", "03/15/2021,1.10", 2}, // 10 is above 2
        {"03/15/2021,1.10", "03/15/2021,1.2", 3},
        {"03/15/2022,1.0", "03/15/2021,9.9", 3}, // the date decides before the version
        {"03/15/2021,9.9", "04/01/2021,1.0", 2},
        {"12/31/2020,1.0", "01/01/2021,1.0", 2}, // the year outweighs month and day
        {"ab/1/1,1.2.3.4.5", "ab/1/1,1.2.3.4.5", 1},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::string(c.installed) + " against " + c.package);
        sim::files().Put(u"C:\\Pkg\\installed.inf", InfWith(c.installed));
        sim::files().Put(u"C:\\Pkg\\package.inf", InfWith(c.package));
        EXPECT_EQ(CDriverPackage::CompareDriverVer(u"C:\\Pkg\\installed.inf", u"C:\\Pkg\\package.inf"),
                  c.expected);
    }
    EXPECT_EQ(CDriverPackage::CompareDriverVer(u"C:\\Pkg\\missing.inf", u"C:\\Pkg\\package.inf"), 0);
    EXPECT_EQ(CDriverPackage::CompareDriverVer(u"C:\\Pkg\\installed.inf", u"C:\\Pkg\\missing.inf"), 0);
}

} // namespace
} // namespace kgsetup
