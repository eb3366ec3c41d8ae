#include <gtest/gtest.h>

#include <sim/machine.h>

#include "monitor_launcher.h"

namespace
{
const WString kFolder = u"C:\\Program Files\\VELMO\\Monitor";
const WString kLauncher = kFolder + u"\\MonitorLauncher.exe";
const WString kMonitor = kFolder + u"\\RXMonitor.exe";
const WString kKey = u"SOFTWARE\\VELMO\\STATWATCH";

std::vector<BYTE> Show()
{
    auto v = sim::registry().Value(HKEY_CURRENT_USER, kKey, u"SHOW");
    EXPECT_TRUE(v.has_value());
    if (v)
    {
        EXPECT_EQ(v->type, static_cast<DWORD>(REG_BINARY));
    }
    return v ? v->data : std::vector<BYTE>{};
}

struct Case
{
    const char* name;
    std::optional<std::vector<BYTE>> stored; // nothing: no key at all
    bool failRegistry;
    const char16_t* arguments;
    const char16_t* expectedTail; // what follows the quoted program path
    int expectedShow;
    std::vector<BYTE> expectedValue; // empty: no value expected

    friend void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }
};

class MonitorLauncherTable : public ::testing::TestWithParam<Case>
{
};

TEST_P(MonitorLauncherTable, StartsTheMonitorAsTheSettingSays)
{
    const Case& c = GetParam();
    sim::files().Put(kMonitor);
    if (c.stored)
    {
        if (c.stored->empty())
            sim::registry().SetValue(HKEY_CURRENT_USER, kKey, u"Other", REG_DWORD,
                                     std::vector<BYTE>{1, 0, 0, 0});
        else
            sim::registry().SetValue(HKEY_CURRENT_USER, kKey, u"SHOW", REG_BINARY, *c.stored);
    }
    if (c.failRegistry)
    {
        sim::faults().FailNext("RegOpenKeyExA", ERROR_ACCESS_DENIED);
        sim::faults().FailNext("RegCreateKeyA", ERROR_ACCESS_DENIED);
    }

    EXPECT_EQ(sim::processes().Run(kLauncher, c.arguments), 1u);

    auto started = sim::processes().Started();
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].commandLine, u"\"" + kMonitor + u"\" " + c.expectedTail);
    EXPECT_EQ(started[0].applicationPath, kMonitor);
    EXPECT_EQ(started[0].showCommand, c.expectedShow);
    if (c.expectedValue.empty())
        EXPECT_FALSE(sim::registry().KeyExists(HKEY_CURRENT_USER, kKey));
    else
        EXPECT_EQ(Show(), c.expectedValue);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MonitorLauncherTable,
    ::testing::Values(
        Case{"FirstRunCreatesTheSetting", std::nullopt, false, u"", u"-B ", SW_SHOWNOACTIVATE, {0}},
        Case{"ShowOneStartsHidden", std::vector<BYTE>{1}, false, u"", u"-S ", SW_HIDE, {1}},
        Case{"AnyOtherNonZeroStartsHidden", std::vector<BYTE>{0xFF}, false, u"", u"-S ", SW_HIDE, {0xFF}},
        Case{"ShowZeroStartsVisibly", std::vector<BYTE>{0}, false, u"", u"-B ", SW_SHOWNOACTIVATE, {0}},
        Case{"TwoByteValueIsRewritten", std::vector<BYTE>{1, 1}, false, u"", u"-B ", SW_SHOWNOACTIVATE, {0}},
        Case{"MissingValueIsWritten", std::vector<BYTE>{}, false, u"", u"-B ", SW_SHOWNOACTIVATE, {0}},
        Case{"RegistryFailureCountsAsVisible", std::nullopt, true, u"", u"-B ", SW_SHOWNOACTIVATE, {}},
        Case{"CommandLinePassedVerbatim",
             std::vector<BYTE>{1},
             false,
             u"/tray  \"a b\" -x",
             u"-S /tray  \"a b\" -x",
             SW_HIDE,
             {1}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MonitorLauncher, QuotedPathStartsTheMonitorNotAProgramEarlierInThePath)
{
    // Unquoted, Windows would try "C:\Program.exe" first for a folder under "C:\Program Files".
    sim::files().Put(kMonitor);
    sim::files().Put(u"C:\\Program.exe");
    EXPECT_EQ(sim::processes().Run(kLauncher), 1u);
    auto started = sim::processes().Started();
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].applicationPath, kMonitor);
}

TEST(MonitorLauncher, CommandThatDoesNotFitStartsNothing)
{
    sim::files().Put(kMonitor);
    // "\"" folder "\RXMonitor.exe\" -B " arguments must stay below 260 bytes with its terminator.
    size_t fixed = 1 + kFolder.size() + 15 + 4; // quote, folder, \RXMonitor.exe", " -B "
    WString fits(259 - fixed, u'x');
    EXPECT_EQ(sim::processes().Run(kLauncher, fits), 1u);
    ASSERT_EQ(sim::processes().Started().size(), 1u);
    EXPECT_EQ(sim::processes().Started()[0].commandLine.size(), 259u);

    EXPECT_EQ(sim::processes().Run(kLauncher, fits + u"x"), 1u);
    EXPECT_EQ(sim::processes().Started().size(), 1u) << "a command one byte too long must not start anything";
}

TEST(MonitorLauncher, MissingMonitorStillEndsWithOne)
{
    EXPECT_EQ(sim::processes().Run(kLauncher, u"-x"), 1u);
    EXPECT_TRUE(sim::processes().Started().empty());
    EXPECT_EQ(Show(), std::vector<BYTE>{0});
}

TEST(MonitorLauncher, FormatCommandRefusesRatherThanCuts)
{
    EXPECT_EQ(monitorlauncher::FormatCommand("C:\\A", true, "x"), "\"C:\\A\\RXMonitor.exe\" -S x");
    EXPECT_EQ(monitorlauncher::FormatCommand(std::string(300, 'a'), false, ""), std::nullopt);
}
} // namespace
