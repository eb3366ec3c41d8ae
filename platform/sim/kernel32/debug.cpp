// Text for a debugger: the machine has none, so it goes to the test's error stream.
#include "core/internal.h"
#include "user32/desktop_internal.h"

#include <platform/boundary.h>

#include <cstdio>
#include <cstring>

void WINAPI OutputDebugStringA(LPCSTR text)
{
    if (text)
        std::fputs(text, stderr);
}

namespace platform::detail
{
void ReportEscaped(const char* what) noexcept
{
    // A program the machine gave up on is already reported; its boundary only lets it end.
    if (std::strcmp(what, sim::detail::ProgramStuck().what()) == 0)
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
