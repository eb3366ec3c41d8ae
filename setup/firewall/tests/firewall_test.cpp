// The program's firewall rule on the simulated firewall: what the rule holds, the stop at the first
// failing step (later steps never called: their faults stay pending), the name buffer's limit and
// the apartment the policy leaves behind.
#include "firewall.h"

#include <gtest/gtest.h>
#include <sim/firewall.h>
#include <sim/machine.h>

#include <algorithm>
#include <string>
#include <vector>

namespace
{
using namespace firewall;

constexpr const WCHAR* kName = u"KORIGRAPH Printer Driver";
constexpr const WCHAR* kPath = u"C:\\Package\\KGSetup64.exe";

std::vector<WString> RuleNames()
{
    std::vector<WString> names;
    for (const sim::FirewallRule& r : sim::firewall().Rules())
        names.push_back(r.name);
    return names;
}

// The apartment the calling thread is in after the policy went: S_OK from a fresh single-threaded
// entry means nothing was left entered.
bool ThreadLeftOutsideApartments()
{
    HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    CoUninitialize();
    return hr == S_OK;
}

TEST(FirewallPolicyTest, AddsAnInboundAllowRuleForTheProgramAndRemovesIt)
{
    int openBefore = sim::firewall().OpenObjects();
    {
        CFirewallPolicy policy;
        ASSERT_EQ(policy.coInitResult, S_OK);
        ASSERT_EQ(policy.policyResult, S_OK);
        ASSERT_EQ(policy.AddApplicationRule(kName, kPath), S_OK);
        std::vector<sim::FirewallRule> rules = sim::firewall().Rules();
        ASSERT_EQ(rules.size(), 1u);
        EXPECT_EQ(rules[0].name, kName);
        EXPECT_EQ(rules[0].applicationName, kPath);
        EXPECT_EQ(rules[0].direction, NET_FW_RULE_DIR_IN);
        EXPECT_EQ(rules[0].action, NET_FW_ACTION_ALLOW);
        EXPECT_EQ(rules[0].profiles, NET_FW_PROFILE2_ALL);
        EXPECT_TRUE(rules[0].enabled);

        EXPECT_EQ(policy.RemoveRule(kName), S_OK);
        EXPECT_TRUE(sim::firewall().Rules().empty());
    }
    EXPECT_EQ(sim::firewall().OpenObjects(), openBefore) << "an interface was not released";
    EXPECT_TRUE(ThreadLeftOutsideApartments());
}

TEST(FirewallPolicyTest, KeepsOtherRulesAndRepeatedNamesAndRemovingAMissingNameSucceeds)
{
    sim::FirewallRule other;
    other.name = u"Other program";
    sim::firewall().AddRule(other);
    CFirewallPolicy policy;
    EXPECT_EQ(policy.RemoveRule(kName), S_OK);
    EXPECT_EQ(policy.AddApplicationRule(kName, kPath), S_OK);
    EXPECT_EQ(policy.AddApplicationRule(kName, kPath), S_OK);
    EXPECT_EQ(RuleNames(), (std::vector<WString>{u"Other program", kName, kName}));
    EXPECT_EQ(policy.RemoveRule(kName), S_OK);
    EXPECT_EQ(RuleNames(), (std::vector<WString>{u"Other program", kName}));
}

TEST(FirewallPolicyTest, EachFailingStepIsReturnedAndNothingAfterItRuns)
{
    // Add's firewall calls in order; the rule object is made between get_Rules and put_Name.
    const std::vector<std::string> steps = {"SysAllocString",
                                            "INetFwPolicy2::get_Rules",
                                            "CoCreateInstance",
                                            "INetFwRule::put_Name",
                                            "INetFwRule::put_Direction",
                                            "INetFwRule::put_Action",
                                            "INetFwRule::put_ApplicationName",
                                            "INetFwRule::put_Profiles",
                                            "INetFwRule::put_Enabled",
                                            "INetFwRules::Add"};
    for (size_t failing = 0; failing < steps.size(); ++failing)
    {
        SCOPED_TRACE(steps[failing]);
        sim::machine().Reset();
        std::vector<std::string> later(steps.begin() + static_cast<std::ptrdiff_t>(failing) + 1, steps.end());
        std::erase(later, std::string("SysAllocString"));
        {
            CFirewallPolicy policy;
            ASSERT_TRUE(policy.editor);
            const DWORD code = 0x80004005; // E_FAIL
            sim::faults().FailNext(steps[failing], code);
            for (const std::string& step : later)
                sim::faults().FailNext(step, 0x80004004);
            HRESULT expected =
                steps[failing] == "SysAllocString" ? E_OUTOFMEMORY : static_cast<HRESULT>(code);
            EXPECT_EQ(policy.AddApplicationRule(kName, kPath), expected);
            EXPECT_EQ(policy.editor->Result(), expected);
        }
        EXPECT_TRUE(sim::firewall().Rules().empty());
        std::vector<std::string> pending = sim::faults().Pending();
        std::sort(pending.begin(), pending.end());
        std::sort(later.begin(), later.end());
        EXPECT_EQ(pending, later);
        sim::machine().Reset(); // the faults left pending were never meant to be taken
    }
}

TEST(FirewallPolicyTest, RemoveStopsAtTheFirstFailure)
{
    CFirewallPolicy policy;
    ASSERT_EQ(policy.AddApplicationRule(kName, kPath), S_OK);
    sim::faults().FailNext("INetFwPolicy2::get_Rules", 0x80004005);
    EXPECT_EQ(policy.RemoveRule(kName), static_cast<HRESULT>(0x80004005));
    sim::faults().FailNext("INetFwRules::Remove", 0x80070006);
    EXPECT_EQ(policy.RemoveRule(kName), static_cast<HRESULT>(0x80070006));
    EXPECT_EQ(RuleNames(), std::vector<WString>{kName});
}

TEST(FirewallPolicyTest, ANameOfTheBuffersSizeFailsBeforeAnyFirewallCall)
{
    const WString fits(kNameCapacity - 1, u'n');
    const WString tooLong(kNameCapacity, u'n');
    {
        CFirewallPolicy policy;
        EXPECT_EQ(policy.AddApplicationRule(fits.c_str(), kPath), S_OK);
        EXPECT_EQ(RuleNames(), std::vector<WString>{fits});

        sim::faults().FailNext("INetFwPolicy2::get_Rules", 0x80004005); // must stay pending
        EXPECT_EQ(policy.AddApplicationRule(tooLong.c_str(), kPath), kNameTooLong);
        EXPECT_EQ(policy.RemoveRule(tooLong.c_str()), kNameTooLong);
        EXPECT_EQ(WString(policy.editor->Name()), fits); // cut to what fits
    }
    EXPECT_EQ(sim::faults().Pending(), std::vector<std::string>{"INetFwPolicy2::get_Rules"});
    EXPECT_EQ(RuleNames(), std::vector<WString>{fits});
    sim::machine().Reset();
}

TEST(FirewallPolicyTest, AThreadInTheMultithreadedApartmentGetsItsRuleAndStaysThere)
{
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    {
        CFirewallPolicy policy;
        EXPECT_EQ(policy.coInitResult, RPC_E_CHANGED_MODE);
        EXPECT_EQ(policy.AddApplicationRule(kName, kPath), S_OK);
        EXPECT_EQ(policy.RemoveRule(kName), S_OK);
    }
    // Still entered once, as the caller left it: a second multithreaded entry is counted.
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
    CoUninitialize();
    CoUninitialize();
    EXPECT_TRUE(ThreadLeftOutsideApartments());
}

TEST(FirewallPolicyTest, WithoutAPolicyObjectTheRuleCallsReturnWhyAndCallNothing)
{
    struct Case
    {
        const char* fault;
        DWORD code;
    };
    for (const Case& c : {Case{"CoInitializeEx", 0x8007000E}, Case{"CoCreateInstance", 0x80040154}})
    {
        SCOPED_TRACE(c.fault);
        sim::machine().Reset();
        sim::faults().FailNext(c.fault, c.code);
        {
            CFirewallPolicy policy;
            EXPECT_FALSE(policy.editor);
            EXPECT_EQ(policy.policy, nullptr);
            EXPECT_EQ(policy.policyResult, static_cast<HRESULT>(c.code));
            sim::faults().FailNext("INetFwPolicy2::get_Rules", 0x80004005); // must stay pending
            EXPECT_EQ(policy.AddApplicationRule(kName, kPath), static_cast<HRESULT>(c.code));
            EXPECT_EQ(policy.RemoveRule(kName), static_cast<HRESULT>(c.code));
        }
        EXPECT_TRUE(ThreadLeftOutsideApartments());
        EXPECT_EQ(sim::faults().Pending(), std::vector<std::string>{"INetFwPolicy2::get_Rules"});
        sim::machine().Reset();
    }
}

TEST(FirewallPolicyTest, WithoutTheAdministratorsRightsTheRuleIsRefused)
{
    sim::FirewallRule existing;
    existing.name = kName;
    sim::firewall().AddRule(existing);
    sim::machine().SetAdministrator(false);
    CFirewallPolicy policy;
    EXPECT_EQ(policy.AddApplicationRule(kName, kPath), E_ACCESSDENIED);
    EXPECT_EQ(policy.RemoveRule(kName), E_ACCESSDENIED);
    EXPECT_EQ(RuleNames(), std::vector<WString>{kName});
}

} // namespace
