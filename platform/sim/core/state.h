// The machine's state is one owned object: each part (kernel objects, registry, files, desktop,
// engine, ...) keeps its state in a Part, made on first use and destroyed with the machine. Reset
// destroys every part in the reverse order of making, so a part made while making another (its
// dependency) outlives it; nothing is reset by hand and nothing survives into the next test.
#pragma once

#include <cstddef>
#include <memory>
#include <type_traits>

namespace sim::detail
{

struct PartBase
{
    virtual ~PartBase() = default;
};

std::size_t NewPartSlot();
PartBase* FindPart(std::size_t slot);
PartBase* MakePart(std::size_t slot, std::unique_ptr<PartBase> (*make)());
void DestroyParts();

template <typename T> inline const std::size_t kPartSlot = NewPartSlot();

template <typename T> T& Part()
{
    static_assert(std::is_base_of_v<PartBase, T>);
    const std::size_t slot = kPartSlot<T>;
    if (PartBase* part = FindPart(slot))
        return static_cast<T&>(*part);
    return static_cast<T&>(
        *MakePart(slot, []() -> std::unique_ptr<PartBase> { return std::make_unique<T>(); }));
}

} // namespace sim::detail
