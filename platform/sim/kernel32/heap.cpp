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
