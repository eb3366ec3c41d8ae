// What the machine holds at one moment, for a test to compare two: the registry's values, the files,
// the spooler's packages, drivers, printers, ports and jobs, the services, the device nodes and the
// firewall's rules. Each is one line: a key naming the thing and a value standing for its content.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace sim
{

struct Snapshot
{
    std::map<std::string, std::string> entries;
};

// Reads the registry through its own functions, so a registry fault a test asked for may be taken.
Snapshot TakeSnapshot();

// "+ key" for what appeared, "- key" for what went, "~ key" for what changed, in key order.
std::vector<std::string> Difference(const Snapshot& before, const Snapshot& after);

} // namespace sim
