// The record of fault-point calls. A call's site is its stack's return addresses above the
// simulated API, so a loop over many items is one site and the same API from two steps is two.
#include "core/internal.h"
#include "core/state.h"

#include <sim/fault_record.h>

#include <execinfo.h>

#include <map>
#include <set>
#include <utility>

namespace sim
{
namespace
{
struct FaultRecord : detail::PartBase
{
    bool on = false;
    std::vector<FaultPointCall> calls;
    std::map<std::string, int, std::less<>> counts;
};

FaultRecord& record()
{
    return detail::Part<FaultRecord>();
}

// Frames below these are the recorder, TakeFault and the simulated API itself; the frames above
// them tell the caller apart without following a deep stack.
constexpr int kOwnFrames = 3;
constexpr int kCallerFrames = 10;
} // namespace

namespace detail
{
void RecordFaultPoint(std::string_view api)
{
    std::lock_guard g(StateLock());
    FaultRecord& r = record();
    if (!r.on)
        return;
    void* frames[kOwnFrames + kCallerFrames] = {};
    const int depth = backtrace(frames, kOwnFrames + kCallerFrames);
    std::uint64_t site = 14695981039346656037ull;
    for (int i = kOwnFrames; i < depth; ++i)
        site = (site ^ reinterpret_cast<std::uintptr_t>(frames[i])) * 1099511628211ull;
    FaultPointCall call;
    call.api = std::string(api);
    call.site = site;
    auto [it, added] = r.counts.try_emplace(call.api, 0);
    call.nth = it->second++;
    r.calls.push_back(std::move(call));
}
} // namespace detail

void StartFaultPointRecord()
{
    std::lock_guard g(detail::StateLock());
    FaultRecord& r = record();
    r.calls.clear();
    r.counts.clear();
    r.on = true;
}

std::vector<FaultPointCall> StopFaultPointRecord()
{
    std::lock_guard g(detail::StateLock());
    FaultRecord& r = record();
    r.on = false;
    r.counts.clear();
    return std::exchange(r.calls, {});
}

std::vector<FaultPointCall> DistinctSites(const std::vector<FaultPointCall>& calls)
{
    std::set<std::pair<std::string, std::uint64_t>> seen;
    std::vector<FaultPointCall> first;
    for (const FaultPointCall& call : calls)
        if (seen.emplace(call.api, call.site).second)
            first.push_back(call);
    return first;
}

} // namespace sim
