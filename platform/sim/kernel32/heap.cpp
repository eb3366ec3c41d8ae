// Local memory is the C heap; CommandLineToArgvW hands out its block from there.
#include "user32/desktop_internal.h"

#include <cstdlib>

using namespace sim;
using namespace sim::detail;

HLOCAL WINAPI LocalFree(HLOCAL memory)
{
    std::free(memory);
    return nullptr;
}

// Fixed global blocks: the handle is the block, as GMEM_FIXED gives it.
HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes)
{
    SIM_FAULT_POINT("GlobalAlloc", nullptr);
    if (flags & ~UINT{GMEM_ZEROINIT})
    {
        SetLastError(ERROR_INVALID_PARAMETER); // only fixed blocks: no code here moves or locks memory
        return nullptr;
    }
    void* block =
        (flags & GMEM_ZEROINIT) ? std::calloc(bytes ? bytes : 1, 1) : std::malloc(bytes ? bytes : 1);
    if (!block)
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return block;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL memory)
{
    std::free(memory);
    return nullptr;
}
