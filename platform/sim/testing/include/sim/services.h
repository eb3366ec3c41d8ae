// The simulated service control manager as tests see it: the services installed, their states and
// the knobs that make one hang. Programs reach it through advapi32's OpenSCManagerW family. A fresh
// machine has the "Spooler" service running.
#pragma once

#include <platform/winsvc.h>

#include <optional>
#include <string>
#include <vector>

namespace sim
{

struct ServiceSetup
{
    WString name;
    WString displayName;
    WString binaryPath;
    DWORD state = SERVICE_STOPPED; // SERVICE_STOPPED or SERVICE_RUNNING
    DWORD startType = SERVICE_DEMAND_START;
    std::vector<WString> dependencies; // services that must run while this one runs
    // How long a start or a stop stays pending, on the machine's clock.
    ULONGLONG startMilliseconds = 1500;
    ULONGLONG stopMilliseconds = 1500;
    bool neverStops = false;  // a stop stays pending for ever
    bool neverStarts = false; // a start stays pending for ever
    bool startEndsStopped = false; // a start is accepted, then the service stops at once
    WString description;
};

class Services
{
public:
    void Add(const ServiceSetup& service); // installs or replaces
    void Remove(WStringView name);
    // The state a status query would report now; none when there is no such service.
    std::optional<DWORD> State(WStringView name) const;
    std::optional<ServiceSetup> Setup(WStringView name) const;
    void SetNeverStops(WStringView name, bool never);
    void SetNeverStarts(WStringView name, bool never);
    // A service of this name, now or made later, stops as soon as it starts (its program exits).
    void SetStartsEndStopped(WStringView name, bool ends);
    // Every start and stop the manager accepted, in order: "start Spooler", "stop LPDSVC", ...
    std::vector<std::string> Journal() const;
};

Services& services();

} // namespace sim
