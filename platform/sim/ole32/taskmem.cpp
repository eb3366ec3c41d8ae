// Task memory: blocks of the C heap (CoTaskMemAlloc), and the folder browser's item id lists, which
// are tokens of the desktop rather than memory.
#include "user32/desktop_internal.h"

#include <cstdlib>

using namespace sim;
using namespace sim::detail;

LPVOID WINAPI CoTaskMemAlloc(SIZE_T size)
{
    return std::malloc(size ? size : 1);
}

void WINAPI CoTaskMemFree(LPVOID memory)
{
    if (!memory)
        return;
    {
        std::lock_guard g(Desk().mu);
        if (Desk().folders.erase(reinterpret_cast<ULONG_PTR>(memory)))
            return;
    }
    std::free(memory);
}
