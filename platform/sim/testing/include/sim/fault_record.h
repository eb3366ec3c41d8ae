// The fault points a stretch of a run consults, in order: what a sweep fails one at a time. Every
// listed API consults its fault point on each call, so the record is every call a test could fail.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim
{

struct FaultPointCall
{
    std::string api;
    int nth = 0;            // earlier calls of the same API in the record: FailNext's `skip`
    std::uint64_t site = 0; // the calling code's return addresses folded: equal for calls from one place
};

// Starts a new record (any earlier one is dropped); the machine's Reset ends it.
void StartFaultPointRecord();
// Ends the record and gives it.
std::vector<FaultPointCall> StopFaultPointRecord();
// The first call from each distinct site, in order: a sweep that cannot afford every call.
std::vector<FaultPointCall> DistinctSites(const std::vector<FaultPointCall>& calls);

} // namespace sim
