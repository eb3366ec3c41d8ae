// Text for a debugger: the machine has none, so it goes to the test's error stream.
#include "core/internal.h"
#include "core/state.h"
#include "user32/desktop_internal.h"

#include <platform/boundary.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace
{
struct DebugOutputs : sim::detail::PartBase
{
    std::vector<std::string> texts;
};
} // namespace

std::vector<std::string> sim::Processes::DebugOutput() const
{
    std::lock_guard g(sim::detail::StateLock());
    return sim::detail::Part<DebugOutputs>().texts;
}

void WINAPI OutputDebugStringA(LPCSTR text)
{
    if (!text)
        return;
    std::fputs(text, stderr);
    std::lock_guard g(sim::detail::StateLock());
    sim::detail::Part<DebugOutputs>().texts.emplace_back(text);
}

namespace platform::detail
{
void ReportEscaped(const char* what) noexcept
{
    // A program the machine gave up on is already reported; its boundary only lets it end.
    if (std::strcmp(what, sim::detail::ProgramStuck().what()) == 0)
        return;
    // ExitThread stopped on its way to the thread's start: the thread still ends with its code.
    if (std::strcmp(what, sim::detail::ThreadExit(0).what()) == 0)
        return;
    try
    {
        sim::detail::ReportFailure(std::string("an exception was stopped at a boundary: ") + what);
    }
    catch (...)
    {
        std::fputs("an exception was stopped at a boundary\n", stderr);
    }
}
} // namespace platform::detail
