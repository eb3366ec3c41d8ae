#include "core/state.h"

#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <utility>
#include <vector>

namespace sim::detail
{
namespace
{
constexpr std::size_t kMaxParts = 128;

struct MachineState
{
    std::recursive_mutex mu; // making a part may make the parts it uses
    std::array<std::atomic<PartBase*>, kMaxParts> slots{};
    std::vector<std::pair<std::size_t, std::unique_ptr<PartBase>>> made; // in the order made
};

MachineState& Machine()
{
    static MachineState m; // the holder only: what it holds is replaced on every reset
    return m;
}

std::atomic<std::size_t> g_nextSlot{0};
} // namespace

std::size_t NewPartSlot()
{
    std::size_t slot = g_nextSlot++;
    if (slot >= kMaxParts)
    {
        std::fputs("simulated machine: too many parts\n", stderr);
        std::abort();
    }
    return slot;
}

PartBase* FindPart(std::size_t slot)
{
    return Machine().slots[slot].load(std::memory_order_acquire);
}

PartBase* MakePart(std::size_t slot, std::unique_ptr<PartBase> (*make)())
{
    MachineState& m = Machine();
    std::lock_guard g(m.mu);
    if (PartBase* part = m.slots[slot].load(std::memory_order_acquire))
        return part;
    std::unique_ptr<PartBase> part = make();
    PartBase* raw = part.get();
    m.made.emplace_back(slot, std::move(part));
    m.slots[slot].store(raw, std::memory_order_release);
    return raw;
}

void DestroyParts()
{
    MachineState& m = Machine();
    std::lock_guard g(m.mu);
    // A destructor may still reach a part already gone; that part is made again and destroyed in
    // a later round, so the loop ends with nothing left.
    while (!m.made.empty())
    {
        auto [slot, part] = std::move(m.made.back());
        m.made.pop_back();
        m.slots[slot].store(nullptr, std::memory_order_release);
        part.reset();
    }
}

} // namespace sim::detail
