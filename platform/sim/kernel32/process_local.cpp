// ProcessLocal's home: each simulated process keeps its own objects, keyed by the ProcessLocal that
// asked. They are made outside the machine's lock (a constructor may call the system) and the
// first one made for a key wins.
#include "core/internal.h"

#include <platform/process_local.h>

#include <algorithm>

namespace sim
{
void* ProcessLocalSlot(const void* key, std::shared_ptr<void> (*make)())
{
    detail::Process& process = detail::CurrentProcess();
    auto find = [&]() -> void* {
        auto it = std::find_if(process.locals.begin(), process.locals.end(),
                               [&](const auto& entry) { return entry.first == key; });
        return it == process.locals.end() ? nullptr : it->second.get();
    };
    {
        std::lock_guard g(detail::StateLock());
        if (void* found = find())
            return found;
    }
    std::shared_ptr<void> made = make();
    std::lock_guard g(detail::StateLock());
    if (void* found = find())
        return found;
    process.locals.emplace_back(key, made);
    return made.get();
}

namespace detail
{
void EndProcessLocals()
{
    Process& process = CurrentProcess();
    for (;;)
    {
        std::shared_ptr<void> last;
        {
            std::lock_guard g(StateLock());
            if (process.locals.empty())
                return;
            last = std::move(process.locals.back().second);
            process.locals.pop_back();
        }
        last.reset(); // its destructor may call the system
    }
}
} // namespace detail
} // namespace sim
