// Program files that carry the registered program they were made from, so a copy under another
// name (an installed uninstaller) starts as that program and finds its resources.
#pragma once

#include <sim/machine.h>

#include <optional>

namespace sim::detail
{
// The folded file name of the registered program whose file `windowsPath` is a copy of, if its
// bytes carry one.
std::optional<WString> ProgramMadeFrom(WStringView windowsPath);
} // namespace sim::detail
