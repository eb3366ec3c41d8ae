// The simulated Windows Firewall as tests see it: the rules of its policy, which programs change
// through the NetFwPolicy2 object (hnetcfg). Adding or removing a rule needs the administrator's
// rights (E_ACCESSDENIED otherwise); each method can be made to fail by its name, for example
// faults().FailNext("INetFwRules::Add", E_FAIL).
#pragma once

#include <platform/windows.h>

#include <vector>

namespace sim
{

struct FirewallRule
{
    WString name;
    WString description;
    WString applicationName;
    WString grouping;
    LONG protocol = 256; // any
    LONG direction = 1;  // NET_FW_RULE_DIR_IN
    LONG action = 1;     // NET_FW_ACTION_ALLOW
    LONG profiles = 0x7FFFFFFF;
    bool enabled = false;
};

class Firewall
{
public:
    // In the order they were added; a name may repeat.
    std::vector<FirewallRule> Rules() const;
    void AddRule(const FirewallRule& rule);
    // Policy, rule collection and rule objects not yet released, by every program on the machine.
    int OpenObjects() const;
};

Firewall& firewall();

} // namespace sim
