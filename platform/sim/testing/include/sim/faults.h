// Faults injected into the simulated machine's functions: each fault point is a named call site
// that fails as Windows would, with the error a test gives.
#pragma once

#include <platform/windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace sim
{

class Faults
{
public:
    // The next `count` calls of `api` (after `skip` good ones) fail with `error`. A name that is no
    // fault point throws std::invalid_argument; a fault still pending when a test ends fails that test.
    void FailNext(std::string_view api, DWORD error, int count = 1, int skip = 0);
    std::vector<std::string> Pending() const;
};

Faults& faults();

} // namespace sim
