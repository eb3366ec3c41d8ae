// What a snapshot of the machine tells apart.
#include <gtest/gtest.h>

#include <sim/firewall.h>
#include <sim/machine.h>
#include <sim/snapshot.h>

namespace
{

TEST(Snapshot, FirewallRulesComeAndGoEachByItself)
{
    const sim::Snapshot empty = sim::TakeSnapshot();
    sim::FirewallRule rule;
    rule.name = u"Setup";
    rule.applicationName = u"C:\\Setup\\KGSetup64.exe";
    sim::firewall().AddRule(rule);
    const sim::Snapshot one = sim::TakeSnapshot();
    rule.applicationName = u"C:\\Other\\KGSetup64.exe";
    sim::firewall().AddRule(rule); // the same name again
    const sim::Snapshot two = sim::TakeSnapshot();

    EXPECT_EQ(sim::Difference(empty, one), std::vector<std::string>{"+ firewall Setup #0"});
    EXPECT_EQ(sim::Difference(one, two), std::vector<std::string>{"+ firewall Setup #1"});
    EXPECT_EQ(sim::Difference(two, empty),
              (std::vector<std::string>{"- firewall Setup #0", "- firewall Setup #1"}));

    sim::machine().Reset();
    sim::firewall().AddRule(rule); // another program's rule under the first one's name
    EXPECT_EQ(sim::Difference(one, sim::TakeSnapshot()), std::vector<std::string>{"~ firewall Setup #0"});
}

} // namespace
