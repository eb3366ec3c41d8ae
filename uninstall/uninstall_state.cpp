#include "uninstall_state.h"

#include <platform/process_local.h>

#include <new>

namespace uninstall
{
namespace
{
struct Holder
{
    std::unique_ptr<UninstallState> state = std::make_unique<UninstallState>();
};

// One record per process: the first and the second stage may run side by side in one test program.
ProcessLocal<Holder> g_state;
} // namespace

UninstallState& State()
{
    return *g_state->state;
}

void ResetState()
{
    g_state->state = std::make_unique<UninstallState>();
}

bool BuildSectionTable(UninstallState& state)
{
    state.sections.reset(new (std::nothrow) UninstallSection[1]);
    state.sectionCount = state.sections ? 1 : 0;
    return state.sections != nullptr;
}

} // namespace uninstall
