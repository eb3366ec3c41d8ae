// Icons a program owns: those it loaded from a module without LR_SHARED and has not destroyed.
#pragma once

#include <cstddef>

namespace sim
{
size_t LiveIcons();
} // namespace sim
